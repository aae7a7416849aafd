#pragma once

#include "buildscript.h"
#include "systemcalls.h"

#include <QString>

class RomList;

// The build behind "Make TamblinVX": makes startDir current, writes "menu.txt"
// and "TamLof.bat" there and starts the script without waiting for it.
// Raises AppError at the first step that fails; what was done stays done.
void RunBuild(const QString &startDir, const QString &outputPath, RomList &roms,
              const QString &interpreter = scriptInterpreter(), const ScriptForm &form = ScriptForm::platform());
