#pragma once

#include "apperror.h"
#include "buildscript.h"
#include "cartridge.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

// What the error report says of the image a join left at output, found bytes
// long (-1: no file there), when the build's inputs add up to expected bytes:
// nothing when it is whole and fits a cartridge. exitCode is the
// interpreter's. The number of an image not whole is Windows' code for the
// reason (2: no file, 13: not the data it should hold); of one too big, overflow.
std::optional<AppError> joinedImageReport(const QString &output, qint64 expected, qint64 found, unsigned exitCode);

// Who runs "TamLof.bat", chosen once per system. On Windows the system's own
// interpreter, which reads the console's code page and runs unseen: the runner
// checks the image when it ends and reports an image not whole
// (scriptrunner_windows.cpp). Elsewhere batrun, which shows the script's
// window and reports its own failures (scriptrunner_posix.cpp). From a build's
// first write until its join has ended the start folder is held, so that two
// builds there (in one program or two) never run into each other. The end of
// every join is learnt without waiting for it.
class ScriptRunner : public QObject
{
    Q_OBJECT

public:
    // The system's interpreter: Windows' own, elsewhere batrun beside the program.
    ScriptRunner();
#ifndef Q_OS_WIN
    // batrun, or a stand-in for it, at interpreter, the script written in form.
    explicit ScriptRunner(const QString &interpreter, const ScriptForm &form = ScriptForm::batrun());
    static QString besideProgram();
#endif
    ~ScriptRunner() override;

    // How the script spells paths for this interpreter.
    const ScriptForm &form() const
    {
        return m_form;
    }

    // Holds startDir for one build; raises when a build still joins its image there.
    void holdStartFolder(const QString &startDir);
    // Lets the start folder go when the build ends before its script starts.
    void releaseStartFolder();
    // Starts "TamLof.bat" in startDir, held before, as its working directory,
    // without waiting, and hands it the start folder until its join ends.
    // output (relative to startDir, or absolute) and expectedSize: the image
    // it writes and the size its inputs add up to.
    void start(const QString &startDir, const QString &output, qint64 expectedSize);

signals:
    // Once, when a join started here ended with the whole image, which fits a
    // cartridge: its absolute path (with "/") and its size.
    void joinSucceeded(const QString &image, qint64 bytes);
    // A join that ended without a whole image, found when it ended (Windows).
    void joinFailed(const AppError &error);

private:
    [[noreturn]] static void refuseBusyFolder(const AppError &reason, const QString &startDir);

    // What holds the start folder on this system.
    struct Hold;

    ScriptForm m_form;
    std::unique_ptr<Hold> m_hold;
};
