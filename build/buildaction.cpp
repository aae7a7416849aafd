#include "buildaction.h"

#include "buildfiles.h"
#include "menufile.h"

void RunBuild(const QString &startDir, const QString &outputPath, RomList &roms, const QString &interpreter,
              const ScriptForm &form)
{
    // The file dialogs may have changed the current directory since start-up;
    // both files are written by bare name into startDir.
    setCurrentDirectory(startDir);
    checkBuildPaths(startDir, outputPath, roms);
    // Made before any file is written: a path the script cannot spell is refused first.
    const QByteArray script = buildScriptBytes(startDir, outputPath, roms, form);
    WriteMenuFile(roms);
    WriteBuildScript(script);
    startBuildScript(BuildFiles::Script, interpreter);
}
