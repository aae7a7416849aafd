#include "buildscript.h"

#include "apperror.h"
#include "buildfiles.h"
#include "codepage.h"
#include "romlist.h"
#include "systemcalls.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

bool hasUnsafeCharacter(const QString &path)
{
    for (const QChar c : path) {
        if (c == u'"' || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

namespace {

// The longest path the Windows interpreter opens: MAX_PATH less its terminating null.
constexpr qsizetype LongestWindowsPath = 259;

// The command interpreter splits a bare path at a blank and reads the other
// characters here as operators; such a path goes in double quotes.
bool needsQuotes(const QString &path)
{
    return std::any_of(path.begin(), path.end(), [](QChar c) { return QStringView(u" +&|<>^(),;=%!").contains(c); });
}

// The Windows interpreter's spelling of path in the code page: quoted where
// needed, with "%" doubled, since inside quotes it still expands %...%.
std::optional<std::string> windowsSpelling(QString path, unsigned codePage)
{
    if (needsQuotes(path))
        path = u'"' + path.replace(u'%', QStringLiteral("%%")) + u'"';
    return encodeInCodePage(
            std::u16string_view(reinterpret_cast<const char16_t *>(path.utf16()), std::size_t(path.size())), codePage);
}

QByteArray scriptPath(const QString &path, const ScriptForm &form)
{
    if (!form.windows) {
        const QByteArray bytes = QFile::encodeName(path);
        return needsQuotes(path) ? '"' + bytes + '"' : bytes;
    }
    // "copy" reads a "/" as a switch.
    QString text = QString(path).replace(u'/', u'\\');
    std::optional<std::string> bytes = windowsSpelling(text, form.codePage);
#ifdef Q_OS_WIN
    // Where the volume keeps them, short names are plain letters that any code page holds.
    if (!bytes) {
        if (const QString shortName = shortPathName(text); !shortName.isEmpty())
            bytes = windowsSpelling(text = shortName, form.codePage);
    }
#endif
    if (!bytes)
        throw AppError::invalidArgument(
                QStringLiteral("The path \"%1\" holds a character that code page %2 cannot hold, has no short "
                               "name that it can, and cannot be written into the build script.")
                        .arg(path)
                        .arg(form.codePage));
    if (text.size() > LongestWindowsPath)
        throw AppError::invalidArgument(
                QStringLiteral("The path \"%1\" is longer than the %2 characters the command "
                               "interpreter can open and cannot be written into the build script.")
                        .arg(path)
                        .arg(LongestWindowsPath));
    return QByteArray::fromStdString(*bytes);
}

// A path spelled as it would be once it exists: the folders that exist now
// resolved (links, "..", case), the rest as written.
QString resolvedSpelling(const std::filesystem::path &path)
{
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
    return QDir::cleanPath(qtPath(error ? path : resolved));
}

// Whether output, once written, would be the file input: by identity where
// both exist (links, other spellings, case-insensitive file systems count),
// by resolved spelling where neither does yet. One that exists and one that
// does not are different files. A look-up that fails is refused: what cannot
// be told apart might be the same file.
class SameFileCheck
{
public:
    explicit SameFileCheck(std::filesystem::path output) : m_output(std::move(output)), m_outputExists(exists(m_output))
    {
    }

    bool operator()(const std::filesystem::path &input)
    {
        const bool inputExists = exists(input);
        if (m_outputExists && inputExists) {
            std::error_code error;
            const bool same = std::filesystem::equivalent(m_output, input, error);
            if (error)
                refuse(input, error);
            return same;
        }
        if (m_outputExists || inputExists)
            return false;
        if (m_outputSpelling.isNull())
            m_outputSpelling = resolvedSpelling(m_output);
        const Qt::CaseSensitivity sensitivity = QDir::separator() == u'\\' ? Qt::CaseInsensitive : Qt::CaseSensitive;
        return resolvedSpelling(input).compare(m_outputSpelling, sensitivity) == 0;
    }

private:
    bool exists(const std::filesystem::path &path) const
    {
        std::error_code error;
        const bool found = std::filesystem::exists(path, error);
        if (error)
            refuse(path, error);
        return found;
    }

    [[noreturn]] void refuse(const std::filesystem::path &path, const std::error_code &error) const
    {
        throw AppError(
                error.value(),
                QStringLiteral("Cannot tell whether the output file \"%1\" is one of the build's inputs: %2 (%3)")
                        .arg(qtPath(m_output), QString::fromLocal8Bit(error.message()), qtPath(path)));
    }

    std::filesystem::path m_output;
    bool m_outputExists;
    QString m_outputSpelling;
};

} // namespace

void checkBuildPaths(const QString &startDir, const QString &outputPath, const RomList &roms)
{
    const qint16 games = roms.upperBound();
    const auto refuseUnsafe = [](const QString &path) {
        if (hasUnsafeCharacter(path))
            throw AppError::invalidArgument(
                    QStringLiteral("The path \"%1\" holds a double quote or a control character "
                                   "and cannot be written into the build script.")
                            .arg(path));
    };
    refuseUnsafe(startDir);
    refuseUnsafe(outputPath);
    for (qint16 i = 0; i < games; ++i)
        refuseUnsafe(roms.at(i).RomPath);

    const QDir base(startDir);
    const auto absolute = [&](const QString &path) { return filesystemPath(base.absoluteFilePath(path)); };
    SameFileCheck isOutput(absolute(outputPath));
    const auto refuseOverwrite = [&](const QString &input) {
        if (isOutput(absolute(input)))
            throw AppError::invalidArgument(QStringLiteral("The output file \"%1\" is one of the build's inputs "
                                                           "and would be destroyed.")
                                                    .arg(outputPath));
    };
    for (const QString &file : {BuildFiles::EmulatorImage, BuildFiles::Menu, BuildFiles::Script})
        refuseOverwrite(file);
    for (qint16 i = 0; i < games; ++i)
        refuseOverwrite(roms.at(i).RomPath);
}

QByteArray buildScriptBytes(const QString &startDir, const QString &outputPath, const RomList &roms,
                            const ScriptForm &form)
{
    const QByteArray output = scriptPath(outputPath, form);
    QByteArray out;
    out += "cd " + scriptPath(startDir, form) + "\r\n";
    out += "copy /b " + scriptPath(BuildFiles::EmulatorImage, form) + '+' + scriptPath(BuildFiles::Menu, form) + ' '
            + output + "\r\n";
    const qint16 games = roms.upperBound();
    out.reserve(out.size() + qsizetype(games) * (2 * output.size() + 64));
    for (qint16 i = 0; i < games; ++i) {
        out += "copy /b ";
        out += output;
        out += '+';
        out += scriptPath(roms.at(i).RomPath, form);
        out += ' ';
        out += output;
        out += "\r\n";
    }
    return out;
}

void WriteBuildScript(const QByteArray &script)
{
    OutputFile file(BuildFiles::Script);
    file.write(script);
    file.commit();
}
