#include "buildaction.h"

#include "apperror.h"
#include "buildfiles.h"
#include "menufile.h"
#include "romlist.h"
#include "scriptrunner.h"
#include "systemcalls.h"

#include <QDir>
#include <QFileInfo>

namespace {

// The error of a check that failed: what failed, the system's reason and
// where, then advice where there is some.
[[noreturn]] void refuse(int errorNumber, const QString &what, const QString &path, const QString &advice = {})
{
    const AppError reason = AppError::fromErrno(errorNumber, QDir::toNativeSeparators(path));
    throw AppError(reason.number(), what + QStringLiteral(": ") + reason.text() + advice);
}

} // namespace

qint64 checkBuildInputs(const QString &startDir, const QString &outputPath, const RomList &roms)
{
    // cmd's "copy" with no destination would join into its first source, the emulator image.
    if (outputPath.isEmpty())
        throw AppError::invalidArgument(QStringLiteral("No output file is named."));
    const QDir start(startDir);
    qint64 total = 0, size = 0;
    if (const int error = unreadableFileError(BuildFiles::EmulatorImage, size))
        refuse(error, QStringLiteral("The emulator image cannot be read"), start.filePath(BuildFiles::EmulatorImage),
               QStringLiteral(". TamblinVX Lofter must be started from the folder that holds \"%1\".")
                       .arg(BuildFiles::EmulatorImage));
    total += size;
    const qint16 games = roms.upperBound();
    for (qint16 i = 0; i < games; ++i) {
        const QString &rom = roms.at(i).RomPath;
        if (const int error = unreadableFileError(rom, size))
            refuse(error, QStringLiteral("The ROM file of the game in row %1 cannot be read").arg(i + 1), rom);
        total += size;
    }
    const QString outputFolder = QFileInfo(start.absoluteFilePath(outputPath)).absolutePath();
    if (const int error = notFolderError(outputFolder))
        refuse(error, QStringLiteral("The output file's folder cannot be used"), outputFolder);
    return total;
}

void RunBuild(const QString &startDir, const QString &outputPath, RomList &roms, ScriptRunner &runner)
{
    // The file dialogs may have changed the current directory since start-up;
    // both files are written by bare name into startDir.
    try {
        setCurrentDirectory(startDir);
    } catch (const AppError &error) {
        throw AppError(error.number(), QStringLiteral("The start folder is gone: ") + error.text());
    }
    checkBuildPaths(startDir, outputPath, roms);
    // Made before any file is written: a path the script cannot spell is refused first.
    const QByteArray script = buildScriptBytes(startDir, outputPath, roms, runner.form());
    const qint64 inputBytes = checkBuildInputs(startDir, outputPath, roms);
    runner.holdStartFolder(startDir);
    try {
        WriteMenuFile(roms);
        WriteBuildScript(script);
        runner.start(startDir, outputPath, inputBytes + QFileInfo(BuildFiles::Menu).size());
    } catch (...) {
        runner.releaseStartFolder();
        throw;
    }
}
