#include "buildscript.h"

#include "apperror.h"
#include "codepage.h"
#include "romlist.h"
#include "systemcalls.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

namespace {

const QString ScriptName = QStringLiteral("TamLof.bat");

bool hasUnsafeCharacter(const QString &path)
{
    for (const QChar c : path) {
        if (c == u'"' || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

// The command interpreter splits a bare path at a blank and reads the other
// characters here as operators; such a path goes in double quotes.
QByteArray scriptPath(const QString &path, const ScriptForm &form)
{
    const auto special = [](QChar c) {
        switch (c.unicode()) {
        case ' ': case '+': case '&': case '|': case '<': case '>': case '^':
        case '(': case ')': case ',': case ';': case '=': case '%': case '!':
            return true;
        default:
            return false;
        }
    };
    const bool quote = std::any_of(path.begin(), path.end(), special);
    if (!form.windows) {
        const QByteArray bytes = QFile::encodeName(path);
        return quote ? '"' + bytes + '"' : bytes;
    }
    // "copy" reads a "/" as a switch. Inside quotes the interpreter still
    // expands %...%; a doubled % is a plain one.
    QString text = QString(path).replace(u'/', u'\\');
    if (quote)
        text = u'"' + text.replace(u'%', QStringLiteral("%%")) + u'"';
    const std::optional<std::string> bytes = encodeInCodePage(
        std::u16string_view(reinterpret_cast<const char16_t *>(text.utf16()), std::size_t(text.size())),
        form.codePage);
    if (!bytes)
        throw AppError::invalidArgument(
            QStringLiteral("The path \"%1\" holds a character that code page %2 cannot hold "
                           "and cannot be written into the build script.").arg(path).arg(form.codePage));
    return QByteArray::fromStdString(*bytes);
}

QString cleanAbsolute(const QDir &base, const QString &path)
{
    return QDir::cleanPath(base.absoluteFilePath(path));
}

} // namespace

void checkBuildPaths(const QString &startDir, const QString &outputPath, const RomList &roms)
{
    const qint16 games = roms.upperBound();
    const auto refuseUnsafe = [](const QString &path) {
        if (hasUnsafeCharacter(path))
            throw AppError::invalidArgument(
                QStringLiteral("The path \"%1\" holds a double quote or a control character "
                               "and cannot be written into the build script.").arg(path));
    };
    refuseUnsafe(startDir);
    refuseUnsafe(outputPath);
    for (qint16 i = 0; i < games; ++i)
        refuseUnsafe(roms.at(i).RomPath);

    const QDir base(startDir);
    const Qt::CaseSensitivity sensitivity =
        QDir::separator() == u'\\' ? Qt::CaseInsensitive : Qt::CaseSensitive;
    const QString output = cleanAbsolute(base, outputPath);
    const auto refuseOverwrite = [&](const QString &input) {
        if (cleanAbsolute(base, input).compare(output, sensitivity) == 0)
            throw AppError::invalidArgument(
                QStringLiteral("The output file \"%1\" is one of the build's inputs "
                               "and would be destroyed.").arg(outputPath));
    };
    refuseOverwrite(QStringLiteral("tamblinvx.gba"));
    refuseOverwrite(QStringLiteral("menu.txt"));
    refuseOverwrite(ScriptName);
    for (qint16 i = 0; i < games; ++i)
        refuseOverwrite(roms.at(i).RomPath);
}

ScriptForm ScriptForm::platform()
{
#ifdef Q_OS_WIN
    return windowsIn(oemCodePage());
#else
    return batrun();
#endif
}

QByteArray buildScriptBytes(const QString &startDir, const QString &outputPath, const RomList &roms,
                            const ScriptForm &form)
{
    const QByteArray output = scriptPath(outputPath, form);
    QByteArray out;
    out += "cd " + scriptPath(startDir, form) + "\r\n";
    out += "copy /b tamblinvx.gba+menu.txt " + output + "\r\n";
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
    OutputFile file(ScriptName);
    file.write(script);
    file.close();
}
