#pragma once

#include "interpreter.h"

#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace Ui {
class ScriptWindow;
}

// The join script's console where the system has none: the lines as they run
// and a bar over the bytes to join. The script runs on a thread of its own and
// the window follows it from a timer, so the copy never waits for the window.
// It opens minimized, closes by itself when the script ends well and comes to
// the front when the user must look: a failure, or an image too big for a
// cartridge.
class ScriptWindow : public QWidget
{
    Q_OBJECT

public:
    explicit ScriptWindow(QWidget *parent = nullptr);
    ~ScriptWindow() override;

    // Opens the window minimized and runs the script from the current
    // directory, with the folder's lock handed on as runScript() takes it.
    void run(const std::string &scriptPath, int lockedFolder = -1);
    bool isFinished() const { return m_finished; }
    // 0 when the script ended well, 1 when it failed or was stopped.
    int exitStatus() const { return m_result.ok ? 0 : 1; }
    // The signal that stopped the script, 0 when none did.
    int stopSignal() const { return m_result.signal; }
    const ScriptResult &result() const { return m_result; }

signals:
    void finished();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    class Observer;

    // Takes what the script reported since the last call onto the screen.
    void showProgress();
    void finish();
    void showFailure();
    void markFailingLine();
    void comeForward();

    std::unique_ptr<Ui::ScriptWindow> m_ui;
    std::unique_ptr<Observer> m_observer;
    std::thread m_worker;
    QTimer m_progressTimer;
    ScriptResult m_result;
    // Started while the window was minimized, for the list once it is seen.
    QStringList m_unshownLines;
    // The number of the last line started, 0 before the first.
    int m_lastLineNumber = 0;
    bool m_finished = false;
    // Closing while the script runs stops it; the window goes once it has stopped.
    bool m_closeRequested = false;
};

// The window's side of batrun, loaded only when a window is wanted, so that
// the plain command line never pays for the toolkit.
extern "C" int batrunWindowMain(const char *scriptPath, int lockedFolder);
