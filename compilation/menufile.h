#pragma once

#include "romlist.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Whether text, blanks around it aside, reads as one number: an optional sign,
// digits with an optional decimal point, and an optional exponent.
bool isNumeric(const QString &text);

// text as "menu.txt" holds it, one byte per character: Latin-1, "?" for a
// character outside it (a character beyond the 16-bit range counts once), and
// a blank for a control character so that no title can break a menu line in two.
QByteArray menuFileText(const QString &text);

// The fields of a game's menu line, as a build writes them.
struct MenuLine
{
    QString title; // MenuTitle, unchanged
    // OptionFlags: bit j set when Options(j) is not 0; no field when 0.
    int flags = 0;
    // The follow option whose value ends the line: "Screen Follows Sprite"
    // when it is set, else "Screen Follows Memory" when that is; no field when
    // neither is.
    std::optional<Option> follows;
    // That option's value, "0" in place of one that is not numeric, as the
    // build makes it.
    QString follow;
};

MenuLine menuLine(const RomEntry &entry);

// A game's line of "menu.txt", without its line end.
QByteArray menuLineBytes(const RomEntry &entry);

// Why a game's title does not reach "menu.txt" as typed, after the line the
// menu will hold; empty when it does. The title is still written as it is.
QString titleWarning(const RomEntry &entry);

// Replaces a follow value that is not numeric by "0" in every game.
void normaliseFollowValues(RomList &roms);

// The bytes of "menu.txt" for the list.
QByteArray menuFileBytes(const RomList &roms);

// Writes "menu.txt" into startDir, normalising the follow values once the
// file is open.
void WriteMenuFile(const QString &startDir, RomList &roms);
