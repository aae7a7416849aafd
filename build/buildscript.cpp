#include "buildscript.h"

#include "apperror.h"
#include "romlist.h"
#include "systemcalls.h"

#include <QDir>
#include <QFile>

#include <algorithm>

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
QByteArray scriptPath(const QString &path)
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
    if (!quote)
        return QFile::encodeName(path);
#ifdef Q_OS_WIN
    // Inside quotes the interpreter still expands %...%; a doubled % is a plain one.
    const QString text = QString(path).replace(u'%', QStringLiteral("%%"));
#else
    const QString &text = path;
#endif
    return '"' + QFile::encodeName(text) + '"';
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

QByteArray buildScriptBytes(const QString &startDir, const QString &outputPath, const RomList &roms)
{
    const QByteArray output = scriptPath(outputPath);
    QByteArray out;
    out += "cd " + scriptPath(startDir) + "\r\n";
    out += "copy /b tamblinvx.gba+menu.txt " + output + "\r\n";
    const qint16 games = roms.upperBound();
    out.reserve(out.size() + qsizetype(games) * (2 * output.size() + 64));
    for (qint16 i = 0; i < games; ++i) {
        out += "copy /b ";
        out += output;
        out += '+';
        out += scriptPath(roms.at(i).RomPath);
        out += ' ';
        out += output;
        out += "\r\n";
    }
    return out;
}

void WriteBuildScript(const QString &startDir, const QString &outputPath, const RomList &roms)
{
    OutputFile file(ScriptName);
    file.write(buildScriptBytes(startDir, outputPath, roms));
    file.close();
}
