#include "buildscript.h"

#include "apperror.h"
#include "buildfiles.h"
#include "codepage.h"
#include "romlist.h"
#include "systemcalls.h"

#include <QFile>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

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

} // namespace

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

void WriteBuildScript(const QString &startDir, const QByteArray &script)
{
    OutputFile file(BuildFiles::inStartFolder(startDir, BuildFiles::Script));
    file.write(script);
    file.commit();
}
