#pragma once

#include "apperror.h"
#include "buildscript.h"

#include <QObject>
#include <QString>

#include <optional>

// The most a Game Boy Advance cartridge can address.
constexpr qint64 CartridgeLimit = qint64{32} << 20;

// What the error report says of the image a join left at output, found bytes
// long (-1: no file there), when the build's inputs add up to expected bytes:
// nothing when it is whole and fits a cartridge. exitCode is the
// interpreter's. The number of an image not whole is Windows' code for the
// reason (2: no file, 13: not the data it should hold); of one too big, overflow.
std::optional<AppError> joinedImageReport(const QString &output, qint64 expected, qint64 found, unsigned exitCode);

// Who runs "TamLof.bat", chosen once per system. On Windows the system's own
// interpreter, which reads the console's code page and runs unseen: the runner
// keeps its process and checks the image when it ends. Elsewhere batrun, which
// shows the script's window and reports its own failures. From a build's first
// write until its join has ended the start folder is held, so that two builds
// there (in one program or two) never run into each other.
class ScriptRunner : public QObject
{
    Q_OBJECT

public:
#ifdef Q_OS_WIN
    ScriptRunner();
#else
    // batrun at interpreter, by default the one beside the program, writing
    // the script in form.
    explicit ScriptRunner(QString interpreter = besideProgram(), ScriptForm form = ScriptForm::batrun());
    static QString besideProgram();
#endif
    ~ScriptRunner() override;

    // How the script spells paths for this interpreter.
    const ScriptForm &form() const
    {
        return m_form;
    }

    // Holds the current directory, the start folder, for one build; raises
    // when a build still joins its image there.
    void holdStartFolder();
    // Lets the start folder go when the build ends before its script starts.
    void releaseStartFolder();
    // Starts "TamLof.bat" by its bare name in the current directory without
    // waiting, and hands it the start folder until its join ends. output and
    // expectedSize: the image it writes and the size its inputs add up to.
    void start(const QString &output, qint64 expectedSize);

signals:
    // A join that ended without a whole image, found when it ended (Windows).
    void joinFailed(const AppError &error);

private:
    ScriptForm m_form;
#ifdef Q_OS_WIN
    void joinEnded();

    Qt::HANDLE m_folderHold = nullptr;
    Qt::HANDLE m_process = nullptr;
    class QWinEventNotifier *m_processEnd = nullptr;
    QString m_output;
    qint64 m_expectedSize = 0;
#else
    QString m_interpreter;
    int m_folderLock = -1;
#endif
};
