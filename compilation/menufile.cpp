#include "menufile.h"

#include "buildfiles.h"
#include "romlist.h"
#include "systemcalls.h"

#include <algorithm>

namespace {

const char *const LineEnd = "\r\n";

} // namespace

QByteArray menuFileText(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        if (c < 0x20 || (c >= 0x7f && c < 0xa0))
            bytes.append(' ');
        else if (c <= 0xff)
            bytes.append(char(c));
        else
            bytes.append('?');
    }
    return bytes;
}

bool isNumeric(const QString &text)
{
    const qsizetype end = text.size();
    qsizetype i = 0;
    const auto skipBlanks = [&] {
        while (i < end && text[i] == u' ')
            ++i;
    };
    const auto skipDigits = [&] {
        const qsizetype from = i;
        while (i < end && text[i] >= u'0' && text[i] <= u'9')
            ++i;
        return i - from;
    };
    skipBlanks();
    if (i < end && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    qsizetype digits = skipDigits();
    if (i < end && text[i] == u'.') {
        ++i;
        digits += skipDigits();
    }
    if (digits == 0)
        return false;
    if (i < end && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < end && (text[i] == u'+' || text[i] == u'-'))
            ++i;
        if (skipDigits() == 0)
            return false;
    }
    skipBlanks();
    return i == end;
}

MenuLine menuLine(const RomEntry &entry)
{
    MenuLine line;
    line.title = entry.MenuTitle;
    for (int option = 0; option < OptionCount; ++option) {
        if (entry.Options[std::size_t(option)] != 0)
            line.flags |= 1 << option;
    }
    if (entry.option(Option::ScreenFollowsSprite) != 0)
        line.follows = Option::ScreenFollowsSprite;
    else if (entry.option(Option::ScreenFollowsMemory) != 0)
        line.follows = Option::ScreenFollowsMemory;
    if (line.follows) {
        const QString &value = line.follows == Option::ScreenFollowsSprite ? entry.SpriteFollow : entry.MemFollow;
        line.follow = isNumeric(value) ? value : QStringLiteral("0");
    }
    return line;
}

QByteArray menuLineBytes(const RomEntry &entry)
{
    const MenuLine line = menuLine(entry);
    QString text = line.title;
    if (line.flags != 0)
        text += u'|' + QString::number(line.flags);
    if (line.follows)
        text += u'|' + line.follow;
    return menuFileText(text);
}

QString titleWarning(const RomEntry &entry)
{
    QStringList why;
    const QList<uint> title = entry.MenuTitle.toUcs4();
    if (std::any_of(title.begin(), title.end(), [](uint c) { return c > 0xff; }))
        why << QStringLiteral("A character outside Latin-1 becomes \"?\".");
    if (entry.MenuTitle.contains(u'|'))
        why << QStringLiteral("\"|\" separates the menu line's fields.");
    if (std::any_of(title.begin(), title.end(), [](uint c) { return c < 0x20 || (c >= 0x7f && c < 0xa0); }))
        why << QStringLiteral("A control character becomes a blank.");
    if (why.isEmpty())
        return {};
    return QStringLiteral("menu.txt will hold: %1\n%2").arg(QString::fromLatin1(menuLineBytes(entry)), why.join(u'\n'));
}

void normaliseFollowValues(RomList &roms)
{
    const qint16 games = roms.upperBound();
    for (qint16 i = 0; i < games; ++i) {
        RomEntry &entry = roms.at(i);
        if (!isNumeric(entry.MemFollow))
            entry.MemFollow = QStringLiteral("0");
        if (!isNumeric(entry.SpriteFollow))
            entry.SpriteFollow = QStringLiteral("0");
    }
}

QByteArray menuFileBytes(const RomList &roms)
{
    QByteArray out;
    out += "# Generated with TamblinVX Lofter by Veskin";
    out += LineEnd;
    out += LineEnd;
    const qint16 games = roms.upperBound();
    out.reserve(out.size() + qsizetype(games) * 32);
    for (qint16 i = 0; i < games; ++i) {
        out += menuLineBytes(roms.at(i));
        out += LineEnd;
    }
    out += LineEnd;
    out += "# Generated with TamblinVx Lofter by Veskin";
    out += LineEnd;
    out += LineEnd;
    return out;
}

void WriteMenuFile(const QString &startDir, RomList &roms)
{
    // Opened before any entry is touched, so a file that cannot be created
    // leaves the follow values as they were.
    OutputFile file(BuildFiles::inStartFolder(startDir, BuildFiles::Menu));
    normaliseFollowValues(roms);
    file.write(menuFileBytes(roms));
    file.commit();
}
