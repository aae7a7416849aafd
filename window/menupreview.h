#pragma once

#include <QStringList>

class QWidget;
class RomList;

// A small window, owned by owner, that lists the menu as the next build would
// write it: one row per game, numbered from 1, its title as "menu.txt" holds
// it and its options (named by optionNames) and follow value in words. It
// reads the list and changes nothing; Escape closes it.
void showMenuPreview(QWidget *owner, const RomList &roms, const QStringList &optionNames);
