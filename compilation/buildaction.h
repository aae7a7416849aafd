#pragma once

#include <QString>

class RomList;
class ScriptRunner;

// The build behind "Make TamblinVX": makes startDir current, checks the
// build (planBuild), writes "menu.txt" and "TamLof.bat" into startDir and has
// runner start the script without waiting for it. Raises AppError at the
// first step that fails; nothing is written unless every check passed, and
// what was written stays. romCache is where ROMs unpacked from archives are kept.
void RunBuild(const QString &startDir, const QString &outputPath, RomList &roms, ScriptRunner &runner,
              const QString &romCache = {});
