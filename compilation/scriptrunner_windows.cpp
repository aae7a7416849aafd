// The runner on Windows, where the system's own interpreter runs the script
// unseen: the runner keeps cmd's process and checks the image when it ends.

#include "scriptrunner.h"

#include "buildfiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QWinEventNotifier>

#include <windows.h>
#include <shellapi.h>

#include <utility>

namespace {

// Follows one started join to its end without waiting for it: the start
// folder stays held until cmd has ended, then the image is checked.
class JoinWatch : public QObject
{
public:
    JoinWatch(HANDLE process, HANDLE folderHold, const QString &image, qint64 expectedSize, ScriptRunner *runner)
        : QObject(runner), m_process(process), m_folderHold(folderHold), m_ended(process), m_image(image),
          m_expectedSize(expectedSize)
    {
        connect(&m_ended, &QWinEventNotifier::activated, this, &JoinWatch::ended);
    }
    ~JoinWatch() override
    {
        m_ended.setEnabled(false);
        CloseHandle(m_process);
        if (m_folderHold)
            CloseHandle(m_folderHold);
    }

private:
    void ended()
    {
        m_ended.setEnabled(false);
        deleteLater();
        DWORD exitCode = 0;
        GetExitCodeProcess(m_process, &exitCode);
        // Free before anything is reported: the report waits for the user.
        CloseHandle(std::exchange(m_folderHold, nullptr));
        const QFileInfo image(m_image);
        const qint64 found = image.isFile() ? image.size() : -1;
        auto *runner = static_cast<ScriptRunner *>(parent());
        if (const auto report = joinedImageReport(m_image, m_expectedSize, found, exitCode))
            emit runner->joinFailed(*report);
        else
            emit runner->joinSucceeded(QDir::cleanPath(m_image), found);
    }

    HANDLE m_process;
    HANDLE m_folderHold;
    QWinEventNotifier m_ended;
    QString m_image;
    qint64 m_expectedSize;
};

const wchar_t *nativeName(const QString &name)
{
    return reinterpret_cast<const wchar_t *>(name.utf16());
}

} // namespace

struct ScriptRunner::Hold
{
    HANDLE folder = nullptr;
};

ScriptRunner::ScriptRunner() : m_form(ScriptForm::windowsIn(GetOEMCP())), m_hold(std::make_unique<Hold>()) {}

ScriptRunner::~ScriptRunner()
{
    releaseStartFolder();
}

void ScriptRunner::holdStartFolder(const QString &startDir)
{
    // A named object per folder, seen by every program of the session: cmd
    // reads the script line by line as it runs, so nothing may rewrite it meanwhile.
    releaseStartFolder();
    const QString folder = QDir::toNativeSeparators(QDir(startDir).absolutePath());
    const QString name =
            QStringLiteral("Local\\TamblinVX Lofter start folder %1")
                    .arg(QString::fromLatin1(
                            QCryptographicHash::hash(folder.toLower().toUtf8(), QCryptographicHash::Sha1).toHex()));
    HANDLE hold = CreateMutexW(nullptr, FALSE, nativeName(name));
    if (!hold)
        throw AppError::fromLastWindowsError(folder);
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        const AppError busy = AppError::fromLastWindowsError();
        CloseHandle(hold);
        refuseBusyFolder(busy, startDir);
    }
    m_hold->folder = hold;
}

void ScriptRunner::releaseStartFolder()
{
    if (m_hold->folder)
        CloseHandle(m_hold->folder);
    m_hold->folder = nullptr;
}

void ScriptRunner::start(const QString &startDir, const QString &output, qint64 expectedSize)
{
    // ShellExecuteExW, unlike ShellExecuteW, leaves a last error to report.
    // NOASYNC: the start is complete on return (not the script, which runs
    // on); NO_UI: a failure goes to the program's own report.
    const QDir start(startDir);
    const QString folder = QDir::toNativeSeparators(start.absolutePath());
    const QString script = QDir::toNativeSeparators(start.absoluteFilePath(BuildFiles::Script));
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = L"open";
    info.lpFile = nativeName(script);
    info.lpDirectory = nativeName(folder);
    info.nShow = SW_SHOWMINIMIZED;
    if (!ShellExecuteExW(&info)) {
        const AppError error = AppError::fromLastWindowsError(BuildFiles::Script);
        releaseStartFolder();
        throw error;
    }
    if (!info.hProcess) { // started through a running program: nothing to follow
        releaseStartFolder();
        return;
    }
    // Owned by the runner until the join ends.
    new JoinWatch(info.hProcess, std::exchange(m_hold->folder, nullptr), start.absoluteFilePath(output), expectedSize,
                  this);
}
