#pragma once

#include "apperror.h"
#include "buildscript.h"

#include <QByteArray>
#include <QString>

class RomList;

// What a build has made sure of before it writes anything: the script it
// writes, and the bytes the emulator image and the games' ROMs add up to.
struct BuildPlan
{
    QByteArray script;
    qint64 inputBytes = 0;
};

// A build refused for one game's ROM file, which the window points at.
class GameRefused : public AppError
{
public:
    GameRefused(const AppError &reason, qint16 game) : AppError(reason), m_game(game) {}
    qint16 game() const noexcept { return m_game; }

private:
    qint16 m_game;
};

// Checks a build before anything is written, looking each file up once, and
// refuses the first of these it finds, in this order:
// - a path the script cannot carry safely: a double quote or a control character;
// - an output that is one of the build's own inputs (a ROM, or the emulator
//   image, "menu.txt" or "TamLof.bat" in the start folder), which the script
//   would destroy;
// - a path the script's form cannot spell;
// - no output named (cmd's "copy" would join into the emulator image);
// - an emulator image or a game's ROM (GameRefused) that is not a regular file it can read
//   (for a ROM gone from romCache, where ROMs unpacked from archives are kept,
//   with the advice to add its archive again);
// - an output folder that does not exist.
// Relative paths are read in startDir, as the script's interpreter reads them.
BuildPlan planBuild(const QString &startDir, const QString &outputPath, const RomList &roms, const ScriptForm &form,
                    const QString &romCache = {});
