#pragma once

#include <QByteArray>
#include <QString>

class RomList;

// Refuses, with an invalid-argument error, what the script cannot carry
// safely: a path holding a double quote or a control character, and an output
// path that names one of the build's own inputs (the script would destroy it).
void checkBuildPaths(const QString &startDir, const QString &outputPath, const RomList &roms);

// The bytes of "TamLof.bat": change to startDir, join the emulator image and
// the menu into the output, then append every game's ROM file in list order.
QByteArray buildScriptBytes(const QString &startDir, const QString &outputPath, const RomList &roms);

// Writes "TamLof.bat" into the current directory.
void WriteBuildScript(const QString &startDir, const QString &outputPath, const RomList &roms);
