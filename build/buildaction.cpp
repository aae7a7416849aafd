#include "buildaction.h"

#include "buildscript.h"
#include "menufile.h"
#include "systemcalls.h"

void RunBuild(const QString &startDir, const QString &outputPath, RomList &roms, const QString &interpreter)
{
    // The file dialogs may have changed the current directory since start-up;
    // both files are written by bare name into startDir.
    setCurrentDirectory(startDir);
    checkBuildPaths(startDir, outputPath, roms);
    WriteMenuFile(roms);
    WriteBuildScript(startDir, outputPath, roms);
    startBuildScript(QStringLiteral("TamLof.bat"), interpreter);
}
