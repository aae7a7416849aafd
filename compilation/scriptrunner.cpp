#include "scriptrunner.h"

#include <QDir>

std::optional<AppError> joinedImageReport(const QString &output, qint64 expected, qint64 found, unsigned exitCode)
{
    // Windows' own numbers for the reason: no file there, or not the data it should hold.
    constexpr int FileNotFound = 2, InvalidData = 13;
    const QString path = QDir::toNativeSeparators(output);
    if (found != expected) {
        const QString what =
                found < 0 ? QStringLiteral("no image is there") : QStringLiteral("it is %1 bytes long").arg(found);
        return AppError(found < 0 ? FileNotFound : InvalidData,
                        QStringLiteral("The image %1 is not whole: %2, and it should be %3 bytes long. "
                                       "The command interpreter ended with exit code %4.")
                                .arg(path, what)
                                .arg(expected)
                                .arg(exitCode),
                        AppError::Domain::Windows);
    }
    if (found > qint64(CartridgeLimit))
        return AppError(AppError::Overflow,
                        QString::fromStdString(tooBigForCartridge(path.toStdString(), std::uint64_t(found))));
    return std::nullopt;
}

void ScriptRunner::refuseBusyFolder(const AppError &reason, const QString &startDir)
{
    throw reason.withText(QStringLiteral("A build is still joining its image in this folder (%1). Press "
                                         "\"Make TamblinVX\" again when it is done.")
                                  .arg(QDir::toNativeSeparators(QDir(startDir).absolutePath())));
}
