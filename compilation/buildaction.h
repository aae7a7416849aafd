#pragma once

#include <QString>

class RomList;
class ScriptRunner;

// The build behind "Make TamblinVX": makes startDir current, checks the
// build's inputs, writes "menu.txt" and "TamLof.bat" there and has runner
// start the script without waiting for it. Raises AppError at the first step
// that fails; nothing is written unless every check passed, and what was
// written stays.
void RunBuild(const QString &startDir, const QString &outputPath, RomList &roms, ScriptRunner &runner);

// Refuses, before anything is written, a build whose script cannot succeed:
// no output named, an emulator image or a game's ROM that is not a regular
// file it can read, an output folder that does not exist. Returns the bytes
// the emulator image and the ROMs add up to. Run in the start folder.
qint64 checkBuildInputs(const QString &startDir, const QString &outputPath, const RomList &roms);
