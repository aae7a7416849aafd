#pragma once

#include <QByteArray>
#include <QString>

class RomList;

// Whether text, blanks around it aside, reads as one number: an optional sign,
// digits with an optional decimal point, and an optional exponent.
bool isNumeric(const QString &text);

// text as "menu.txt" holds it, one byte per character: Latin-1, "?" for a
// character outside it (a character beyond the 16-bit range counts once), and
// a blank for a control character so that no title can break a menu line in two.
QByteArray menuFileText(const QString &text);

// Replaces a follow value that is not numeric by "0" in every game.
void normaliseFollowValues(RomList &roms);

// The bytes of "menu.txt" for the list.
QByteArray menuFileBytes(const RomList &roms);

// Writes "menu.txt" into the current directory, normalising the follow values
// once the file is open.
void WriteMenuFile(RomList &roms);
