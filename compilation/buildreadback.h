#pragma once

#include "buildscript.h"
#include "romlist.h"

#include <QByteArray>
#include <QString>

// A build read back from the two files it wrote: its games, in order, and
// the output path.
struct LastBuild
{
    RomList roms;
    QString outputPath;
};

// Reads a build back from the bytes of "menu.txt" and "TamLof.bat": each
// game's path from the script, its title, options and follow value from its
// menu line (the value in the box of the follow option the flags name). Only
// files this program would write for startDir in form are taken; otherwise
// raises an invalid-argument error that says what does not match.
LastBuild readBuildFiles(const QByteArray &menu, const QByteArray &script, const QString &startDir,
                         const ScriptForm &form);

// Reads "menu.txt" and "TamLof.bat" in startDir back, as readBuildFiles does.
// A file that cannot be read raises the system's error, naming the file.
LastBuild ReadLastBuild(const QString &startDir, const ScriptForm &form);
