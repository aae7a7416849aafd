#include "buildreadback.h"

#include "apperror.h"
#include "buildfiles.h"
#include "codepage.h"
#include "menufile.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

namespace {

// The lines a menu has besides its games: two above them, three below.
constexpr qsizetype MenuLinesAbove = 2, MenuLinesBelow = 3;

AppError mismatch(const QString &text)
{
    return AppError::invalidArgument(text);
}

// The lines of a file this program wrote: each ends in CR LF.
QList<QByteArray> lines(const QByteArray &bytes, const QString &file)
{
    QList<QByteArray> split = bytes.split('\n');
    if (split.takeLast() != QByteArray())
        throw mismatch(QStringLiteral("%1 does not end with a line end.").arg(file));
    for (qsizetype i = 0; i < split.size(); ++i) {
        if (!split[i].endsWith('\r'))
            throw mismatch(QStringLiteral("Line %1 of %2 does not end with CR LF.").arg(i + 1).arg(file));
        split[i].chop(1);
    }
    return split;
}

// The first line where what was read differs from what this program writes.
void compareWithWritten(const QByteArray &read, const QByteArray &written, const QString &file)
{
    if (read == written)
        return;
    const QList<QByteArray> readLines = read.split('\n'), writtenLines = written.split('\n');
    qsizetype line = 0;
    while (line < readLines.size() && line < writtenLines.size() && readLines[line] == writtenLines[line])
        ++line;
    const QByteArray shown = line < readLines.size() ? readLines[line].left(200).trimmed() : QByteArray();
    throw mismatch(QStringLiteral("Line %1 of %2 is not as this program writes it: \"%3\".")
                           .arg(line + 1)
                           .arg(file, QString::fromLatin1(shown)));
}

// A path as the script spells it, back as text: in double quotes when it
// holds a blank or an operator ("%" doubled there in the Windows form).
QString scriptPathText(QByteArray spelled, const ScriptForm &form)
{
    const bool quoted = spelled.size() >= 2 && spelled.startsWith('"') && spelled.endsWith('"');
    if (quoted)
        spelled = spelled.sliced(1, spelled.size() - 2);
    if (!form.windows)
        return QFile::decodeName(spelled);
    const std::optional<std::u16string> text =
            decodeFromCodePage(std::string_view(spelled.constData(), std::size_t(spelled.size())), form.codePage);
    if (!text)
        return QString();
    QString path = QString::fromStdU16String(*text);
    return quoted ? path.replace(QStringLiteral("%%"), QStringLiteral("%")) : path;
}

// Title, options and follow value from a menu line: "title", "title|flags",
// or "title|flags|value" when the flags name a follow option. A title may
// hold "|" itself: the fields are taken from the right.
void readMenuLine(const QString &line, RomEntry &entry, qsizetype number)
{
    const QStringList fields = line.split(u'|');
    const auto flagsAt = [&](qsizetype i) {
        bool ok = false;
        const int value = i >= 1 ? fields[i].toInt(&ok) : 0;
        return ok && value > 0 && value < 1 << OptionCount && QString::number(value) == fields[i] ? value : 0;
    };
    const int follows = 1 << int(Option::ScreenFollowsSprite) | 1 << int(Option::ScreenFollowsMemory);
    const qsizetype last = fields.size() - 1;
    int flags = 0;
    qsizetype titleFields = fields.size();
    if (flagsAt(last - 1) & follows) {
        flags = flagsAt(last - 1);
        titleFields -= 2;
    } else if (flagsAt(last) != 0 && !(flagsAt(last) & follows)) {
        flags = flagsAt(last);
        titleFields -= 1;
    }
    if ((flags & follows) == follows)
        throw mismatch(QStringLiteral("Line %1 of %2 sets both follow options.").arg(number).arg(BuildFiles::Menu));
    entry.MenuTitle = fields.first(titleFields).join(u'|');
    for (int option = 0; option < OptionCount; ++option)
        entry.Options[std::size_t(option)] = qint16((flags >> option) & 1);
    if (flags & 1 << int(Option::ScreenFollowsSprite))
        entry.SpriteFollow = fields[last];
    else if (flags & 1 << int(Option::ScreenFollowsMemory))
        entry.MemFollow = fields[last];
}

QByteArray readBuildFile(const QString &path)
{
#ifdef Q_OS_WIN
    std::FILE *opened = _wfopen(reinterpret_cast<const wchar_t *>(path.utf16()), L"rb");
#else
    std::FILE *opened = std::fopen(QFile::encodeName(path).constData(), "rb");
#endif
    if (!opened)
        throw AppError::fromErrno(errno, path);
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(opened, std::fclose);
    QByteArray bytes;
    char buffer[65536];
    while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get()))
        bytes.append(buffer, qsizetype(got));
    if (std::ferror(file.get()))
        throw AppError::fromErrno(errno, path);
    return bytes;
}

} // namespace

LastBuild readBuildFiles(const QByteArray &menu, const QByteArray &script, const QString &startDir,
                         const ScriptForm &form)
{
    const QList<QByteArray> menuLines = lines(menu, BuildFiles::Menu);
    const QList<QByteArray> scriptLines = lines(script, BuildFiles::Script);
    if (menuLines.size() < MenuLinesAbove + MenuLinesBelow)
        throw mismatch(QStringLiteral("%1 is not a menu this program writes.").arg(BuildFiles::Menu));
    if (scriptLines.size() < 2)
        throw mismatch(QStringLiteral("%1 is not a script this program writes.").arg(BuildFiles::Script));
    const qsizetype games = menuLines.size() - MenuLinesAbove - MenuLinesBelow;
    if (games != scriptLines.size() - 2)
        throw mismatch(QStringLiteral("Games in %1: %2; in %3: %4.")
                               .arg(BuildFiles::Menu)
                               .arg(games)
                               .arg(BuildFiles::Script)
                               .arg(scriptLines.size() - 2));
    if (games == 0)
        throw mismatch(QStringLiteral("%1 lists no games.").arg(BuildFiles::Menu));

    // The output follows the join of the emulator image and the menu; each
    // game's line appends its ROM to the output.
    const QByteArray join = "copy /b " + BuildFiles::EmulatorImage.toLatin1() + '+' + BuildFiles::Menu.toLatin1() + ' ';
    if (!scriptLines[1].startsWith(join) || scriptLines[1].size() == join.size())
        throw mismatch(QStringLiteral("Line 2 of %1 names no output file.").arg(BuildFiles::Script));
    const QByteArray output = scriptLines[1].sliced(join.size());
    const QByteArray appendTo = "copy /b " + output + '+', appendEnd = ' ' + output;
    LastBuild build;
    build.outputPath = scriptPathText(output, form);
    for (qsizetype i = 0; i < games; ++i) {
        const QByteArray &line = scriptLines[i + 2];
        const qsizetype romSize = line.size() - appendTo.size() - appendEnd.size();
        const QString rom = romSize > 0 && line.startsWith(appendTo) && line.endsWith(appendEnd)
                ? scriptPathText(line.sliced(appendTo.size(), romSize), form)
                : QString();
        try {
            build.roms.checkAddable(rom);
        } catch (const AppError &) {
            throw mismatch(QStringLiteral("Line %1 of %2 does not add a ROM file to the output.")
                                   .arg(i + 3)
                                   .arg(BuildFiles::Script));
        }
        build.roms.AddRom(rom);
        readMenuLine(QString::fromLatin1(menuLines[MenuLinesAbove + i]), build.roms.at(qint16(i)),
                     MenuLinesAbove + i + 1);
    }

    // Whatever the reading above let through, writing the games again shows,
    // but for a path the build would refuse to write.
    for (qsizetype i = 0; i <= games; ++i) {
        const QString &path = i < games ? build.roms.at(qint16(i)).RomPath : build.outputPath;
        if (hasUnsafeCharacter(path))
            throw mismatch(QStringLiteral("The path \"%1\" holds a double quote or a control character.").arg(path));
    }
    compareWithWritten(script, buildScriptBytes(startDir, build.outputPath, build.roms, form), BuildFiles::Script);
    // A build writes the follow values it has normalised.
    RomList written = build.roms;
    normaliseFollowValues(written);
    compareWithWritten(menu, menuFileBytes(written), BuildFiles::Menu);
    return build;
}

LastBuild ReadLastBuild(const QString &startDir, const ScriptForm &form)
{
    const QDir dir(startDir);
    const QByteArray menu = readBuildFile(QDir::toNativeSeparators(dir.filePath(BuildFiles::Menu)));
    const QByteArray script = readBuildFile(QDir::toNativeSeparators(dir.filePath(BuildFiles::Script)));
    return readBuildFiles(menu, script, startDir, form);
}
