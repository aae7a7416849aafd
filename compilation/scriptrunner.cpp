#include "scriptrunner.h"

#include "buildfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

#ifdef Q_OS_WIN
#include <QCryptographicHash>
#include <QWinEventNotifier>

#include <windows.h>
#include <shellapi.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

namespace {

QString mebibytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1 << 20), 'f', 1);
}

[[noreturn]] void refuseBusyFolder(int errorNumber)
{
    throw AppError(errorNumber,
                   QStringLiteral("A build is still joining its image in this folder (%1). Press "
                                  "\"Make TamblinVX\" again when it is done.")
                           .arg(QDir::toNativeSeparators(QDir::currentPath())));
}

} // namespace

std::optional<AppError> joinedImageReport(const QString &output, qint64 expected, qint64 found, unsigned exitCode)
{
    // Windows' own numbers for the reason: no file there, or not the data it should hold.
    constexpr int FileNotFound = 2, InvalidData = 13;
    const QString path = QDir::toNativeSeparators(output);
    if (found != expected) {
        const QString what =
                found < 0 ? QStringLiteral("no image is there") : QStringLiteral("it is %1 bytes long").arg(found);
        return AppError(found < 0 ? FileNotFound : InvalidData,
                        QStringLiteral("The image %1 is not whole: %2, and it should be %3 bytes long. "
                                       "The command interpreter ended with exit code %4.")
                                .arg(path, what)
                                .arg(expected)
                                .arg(exitCode));
    }
    if (found > CartridgeLimit)
        return AppError(AppError::Overflow,
                        QStringLiteral("Done, but the image %1 is %2 MiB, more than the %3 MiB a Game Boy Advance "
                                       "cartridge can address. The image was kept.")
                                .arg(path, mebibytes(found), QString::number(CartridgeLimit >> 20)));
    return std::nullopt;
}

#ifdef Q_OS_WIN

ScriptRunner::ScriptRunner() : m_form(ScriptForm::windowsIn(GetOEMCP())) {}

ScriptRunner::~ScriptRunner()
{
    delete m_processEnd;
    if (m_process)
        CloseHandle(m_process);
    releaseStartFolder();
}

void ScriptRunner::holdStartFolder()
{
    // A named object per folder, seen by every program of the session: cmd
    // reads the script line by line as it runs, so nothing may rewrite it meanwhile.
    const QByteArray folder = QDir::toNativeSeparators(QDir::currentPath()).toLower().toUtf8();
    const QString name =
            QStringLiteral("Local\\TamblinVX Lofter start folder %1")
                    .arg(QString::fromLatin1(QCryptographicHash::hash(folder, QCryptographicHash::Sha1).toHex()));
    HANDLE hold = CreateMutexW(nullptr, FALSE, reinterpret_cast<const wchar_t *>(name.utf16()));
    if (!hold)
        throw AppError::fromLastWindowsError(QDir::toNativeSeparators(QDir::currentPath()));
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(hold);
        refuseBusyFolder(ERROR_ALREADY_EXISTS);
    }
    m_folderHold = hold;
}

void ScriptRunner::releaseStartFolder()
{
    if (m_folderHold)
        CloseHandle(m_folderHold);
    m_folderHold = nullptr;
}

void ScriptRunner::start(const QString &output, qint64 expectedSize)
{
    // ShellExecuteExW, unlike ShellExecuteW, leaves a last error to report.
    // NOASYNC: the start is complete on return (not the script, which runs
    // on); NO_UI: a failure goes to the program's own report.
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = L"open";
    info.lpFile = reinterpret_cast<const wchar_t *>(BuildFiles::Script.utf16());
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
    m_process = info.hProcess;
    m_output = QDir::current().absoluteFilePath(output);
    m_expectedSize = expectedSize;
    m_processEnd = new QWinEventNotifier(m_process);
    connect(m_processEnd, &QWinEventNotifier::activated, this, &ScriptRunner::joinEnded);
}

void ScriptRunner::joinEnded()
{
    DWORD exitCode = 0;
    GetExitCodeProcess(m_process, &exitCode);
    m_processEnd->deleteLater();
    m_processEnd = nullptr;
    CloseHandle(std::exchange(m_process, nullptr));
    releaseStartFolder();
    const QFileInfo image(m_output);
    if (const auto report = joinedImageReport(m_output, m_expectedSize, image.isFile() ? image.size() : -1, exitCode))
        emit joinFailed(*report);
}

#else

ScriptRunner::ScriptRunner(QString interpreter, ScriptForm form) : m_form(form), m_interpreter(std::move(interpreter))
{
}

QString ScriptRunner::besideProgram()
{
    // The folder of the executable's own file, links resolved: the installed
    // command on the path is a link to the program beside batrun.
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("batrun"));
}

ScriptRunner::~ScriptRunner()
{
    releaseStartFolder();
}

void ScriptRunner::holdStartFolder()
{
    // batrun's own lock on the folder: a batrun started by hand waits for it,
    // and one the build starts takes this one over.
    m_folderLock = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_folderLock < 0)
        throw AppError::fromErrno(errno, QDir::currentPath());
    if (::flock(m_folderLock, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        releaseStartFolder();
        if (error == EWOULDBLOCK)
            refuseBusyFolder(error);
        throw AppError::fromErrno(error, QDir::currentPath());
    }
}

void ScriptRunner::releaseStartFolder()
{
    if (m_folderLock >= 0)
        ::close(m_folderLock);
    m_folderLock = -1;
}

void ScriptRunner::start(const QString &output, qint64 expectedSize)
{
    // batrun checks its own joins and shows what went wrong.
    Q_UNUSED(output);
    Q_UNUSED(expectedSize);
    // Detached through a child that ends at once, with the reason an exec
    // failed sent back over a pipe that a successful exec closes.
    const QByteArray program = QFile::encodeName(m_interpreter);
    const QByteArray locked = "--locked=" + QByteArray::number(m_folderLock);
    const QByteArray script = QFile::encodeName(BuildFiles::Script);
    char *const argv[] = {const_cast<char *>(program.constData()), const_cast<char *>(locked.constData()),
                          const_cast<char *>("--window"), const_cast<char *>(script.constData()), nullptr};
    int reason[2];
    if (::pipe2(reason, O_CLOEXEC) != 0)
        throw AppError::fromErrno(errno, m_interpreter);
    const int lock = m_folderLock;
    const pid_t child = ::fork();
    if (child == 0) {
        const pid_t grandchild = ::fork();
        if (grandchild == 0) {
            // Only what is safe between fork and exec in a program with threads.
            ::fcntl(lock, F_SETFD, 0);
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ::signal(SIGPIPE, SIG_DFL);
            ::execv(argv[0], argv);
        }
        if (grandchild <= 0) {
            const int error = errno;
            [[maybe_unused]] const auto sent = ::write(reason[1], &error, sizeof error);
        }
        ::_exit(0);
    }
    const int forkError = errno;
    ::close(reason[1]);
    int error = 0;
    if (child < 0)
        error = forkError;
    else {
        ::waitpid(child, nullptr, 0);
        if (::read(reason[0], &error, sizeof error) != sizeof error)
            error = 0;
    }
    ::close(reason[0]);
    // batrun holds the lock from here, on its own copy of the descriptor.
    releaseStartFolder();
    if (error != 0)
        throw AppError::fromErrno(error, m_interpreter);
}

#endif
