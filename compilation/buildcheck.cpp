#include "buildcheck.h"

#include "apperror.h"
#include "buildfiles.h"
#include "romlist.h"
#include "systemcalls.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

// The error of a check that failed: what failed, the system's reason and
// where, then advice where there is some.
AppError refusal(int errorNumber, const QString &what, const QString &path, const QString &advice = {})
{
    const AppError reason = AppError::fromErrno(errorNumber, QDir::toNativeSeparators(path));
    return reason.withText(what + QStringLiteral(": ") + reason.text() + advice);
}

void refuseUnsafe(const QString &path)
{
    if (hasUnsafeCharacter(path))
        throw AppError::invalidArgument(QStringLiteral("The path \"%1\" holds a double quote or a control character "
                                                       "and cannot be written into the build script.")
                                                .arg(path));
}

// A path spelled as it would be once it exists: the folders that exist now
// resolved (links, "..", case), the rest as written.
QString resolvedSpelling(const QString &path)
{
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(filesystemPath(path), error);
    return QDir::cleanPath(error ? path : qtPath(resolved));
}

// Looks up the build's inputs, each once, for both checks that need them, and
// refuses one that is the output once written: by identity where both exist
// (links, other spellings, case-insensitive file systems count), by resolved
// spelling where neither does yet. One that exists and one that does not are
// different files. A look-up that fails is refused: what cannot be told apart
// might be the same file.
class InputLookup
{
public:
    InputLookup(const QDir &start, const QString &outputPath)
        : m_start(start), m_outputPath(outputPath), m_output(start.absoluteFilePath(outputPath)),
          m_outputFile(lookUp(m_output, true))
    {
    }

    FileLookup operator()(const QString &input)
    {
        const QString path = m_start.absoluteFilePath(input);
        const FileLookup file = lookUp(path, m_outputFile.found);
        if (file.found != m_outputFile.found)
            return file;
        if (file.found ? file.identity == m_outputFile.identity : sameSpelling(path))
            throw AppError::invalidArgument(
                    QStringLiteral("The output file \"%1\" is one of the build's inputs and would be destroyed.")
                            .arg(m_outputPath));
        return file;
    }

private:
    FileLookup lookUp(const QString &path, bool withIdentity) const
    {
        try {
            const FileLookup file = lookUpFile(path, withIdentity);
            if (!file.found && file.error != ENOENT && file.error != ENOTDIR)
                throw AppError::fromErrno(file.error, path);
            return file;
        } catch (const AppError &reason) {
            throw reason.withText(
                    QStringLiteral("Cannot tell whether the output file \"%1\" is one of the build's inputs: %2")
                            .arg(m_output, reason.text()));
        }
    }

    bool sameSpelling(const QString &path)
    {
        if (m_outputSpelling.isNull())
            m_outputSpelling = resolvedSpelling(m_output);
        const Qt::CaseSensitivity sensitivity = QDir::separator() == u'\\' ? Qt::CaseInsensitive : Qt::CaseSensitive;
        return resolvedSpelling(path).compare(m_outputSpelling, sensitivity) == 0;
    }

    QDir m_start;
    QString m_outputPath;
    QString m_output;
    FileLookup m_outputFile;
    QString m_outputSpelling;
};

} // namespace

BuildPlan planBuild(const QString &startDir, const QString &outputPath, const RomList &roms, const ScriptForm &form,
                    const QString &romCache)
{
    const auto inCache = [cache = QDir::cleanPath(QDir::fromNativeSeparators(romCache)) + u'/'](const QString &rom) {
        return cache.size() > 1 && QDir::cleanPath(QDir::fromNativeSeparators(rom)).startsWith(cache);
    };
    const qint16 games = roms.upperBound();
    refuseUnsafe(startDir);
    refuseUnsafe(outputPath);
    for (qint16 i = 0; i < games; ++i)
        refuseUnsafe(roms.at(i).RomPath);

    const QDir start(startDir);
    InputLookup lookUp(start, outputPath);
    const FileLookup image = lookUp(BuildFiles::EmulatorImage);
    lookUp(BuildFiles::Menu);
    lookUp(BuildFiles::Script);
    std::vector<FileLookup> romFiles;
    romFiles.reserve(std::size_t(games));
    for (qint16 i = 0; i < games; ++i)
        romFiles.push_back(lookUp(roms.at(i).RomPath));

    // Made before the inputs are judged: a path the script cannot spell is refused first.
    BuildPlan plan;
    plan.script = buildScriptBytes(startDir, outputPath, roms, form);
    if (outputPath.isEmpty())
        throw AppError::invalidArgument(QStringLiteral("No output file is named."));
    if (image.error)
        throw refusal(image.error, QStringLiteral("The emulator image cannot be read"),
                      start.filePath(BuildFiles::EmulatorImage),
                      QStringLiteral(". TamblinVX Lofter must be started from the folder that holds \"%1\".")
                              .arg(BuildFiles::EmulatorImage));
    plan.inputBytes = image.size;
    for (qint16 i = 0; i < games; ++i) {
        if (const int error = romFiles[std::size_t(i)].error)
            throw GameRefused(refusal(error,
                                      QStringLiteral("The ROM file of the game in row %1 cannot be read").arg(i + 1),
                                      roms.at(i).RomPath,
                                      inCache(roms.at(i).RomPath)
                                              ? QStringLiteral(". It was unpacked from an archive into the cache, "
                                                               "which no longer holds it: add the archive again.")
                                              : QString()),
                              i);
        plan.inputBytes += romFiles[std::size_t(i)].size;
    }
    const QString outputFolder = QFileInfo(start.absoluteFilePath(outputPath)).absolutePath();
    if (const int error = notFolderError(outputFolder))
        throw refusal(error, QStringLiteral("The output file's folder cannot be used"), outputFolder);
    return plan;
}
