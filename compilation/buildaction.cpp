#include "buildaction.h"

#include "apperror.h"
#include "buildcheck.h"
#include "buildfiles.h"
#include "menufile.h"
#include "scriptrunner.h"
#include "systemcalls.h"

#include <QFileInfo>

void RunBuild(const QString &startDir, const QString &outputPath, RomList &roms, ScriptRunner &runner,
              const QString &romCache)
{
    // Made current as it always was, so that what comes after the build (a
    // file dialog among them) finds the same current directory; the build
    // itself reaches every file through startDir.
    try {
        setCurrentDirectory(startDir);
    } catch (const AppError &error) {
        throw error.withText(QStringLiteral("The start folder is gone: ") + error.text());
    }
    const BuildPlan plan = planBuild(startDir, outputPath, roms, runner.form(), romCache);
    runner.holdStartFolder(startDir);
    try {
        WriteMenuFile(startDir, roms);
        WriteBuildScript(startDir, plan.script);
        const qint64 menuBytes = QFileInfo(BuildFiles::inStartFolder(startDir, BuildFiles::Menu)).size();
        runner.start(startDir, outputPath, plan.inputBytes + menuBytes);
    } catch (...) {
        runner.releaseStartFolder();
        throw;
    }
}
