#include "systemcalls.h"

#include "apperror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <utility>

#ifdef Q_OS_WIN
#include <windows.h>
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_WIN
const wchar_t *nativeName(const QString &name)
{
    return reinterpret_cast<const wchar_t *>(name.utf16());
}

int createNewFile(const QString &name)
{
    return _wopen(nativeName(name), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

// Flushes the file to disk and closes it.
bool syncAndClose(int fd)
{
    const bool synced = _commit(fd) == 0;
    return _close(fd) == 0 && synced;
}

void removeFile(const QString &name)
{
    _wunlink(nativeName(name));
}
#else
int createNewFile(const QString &name)
{
    return ::open(QFile::encodeName(name).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

bool syncAndClose(int fd)
{
    const bool synced = ::fsync(fd) == 0;
    return ::close(fd) == 0 && synced;
}

void removeFile(const QString &name)
{
    ::unlink(QFile::encodeName(name).constData());
}
#endif

} // namespace

void setCurrentDirectory(const QString &dir)
{
#ifdef Q_OS_WIN
    const int rc = _wchdir(nativeName(QDir::toNativeSeparators(dir)));
#else
    const int rc = ::chdir(QFile::encodeName(dir).constData());
#endif
    if (rc != 0)
        throw AppError::fromErrno(errno, dir);
}

OutputFile::OutputFile(const QString &fileName) : m_fileName(fileName)
{
    // A fresh name each try: a name already taken is someone else's file.
    for (int attempt = 0; m_fd < 0; ++attempt) {
        const quint32 tag = QRandomGenerator::global()->generate();
        m_temporaryName = QStringLiteral("%1.%2.tmp").arg(fileName).arg(tag, 8, 16, QLatin1Char('0'));
        m_fd = createNewFile(m_temporaryName);
        if (m_fd < 0 && (errno != EEXIST || attempt == 100))
            fail(errno);
    }
}

OutputFile::~OutputFile()
{
    if (m_committed)
        return;
    if (m_fd >= 0)
        syncAndClose(m_fd);
    removeFile(m_temporaryName);
}

void OutputFile::fail(int errorNumber)
{
    throw AppError::fromErrno(errorNumber, m_fileName);
}

void OutputFile::write(const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
#ifdef Q_OS_WIN
        const auto n =
                _write(m_fd, bytes.constData() + done, unsigned(std::min<qsizetype>(bytes.size() - done, 1 << 30)));
#else
        const auto n = ::write(m_fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
#endif
        if (n < 0)
            fail(errno);
        done += n;
    }
}

void OutputFile::commit()
{
    // Flushed before the rename, so the name never stands for a file whose
    // bytes a crash or a late write error could still lose.
    if (!syncAndClose(std::exchange(m_fd, -1)))
        fail(errno);
#ifdef Q_OS_WIN
    if (!MoveFileExW(nativeName(m_temporaryName), nativeName(m_fileName),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw AppError::fromLastWindowsError(m_fileName);
#else
    if (::rename(QFile::encodeName(m_temporaryName).constData(), QFile::encodeName(m_fileName).constData()) != 0)
        fail(errno);
#endif
    m_committed = true;
}

QString scriptInterpreter()
{
    // The folder of the executable's own file, links resolved: the installed
    // command on the path is a link to the program beside batrun.
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("batrun"));
}

void startBuildScript(const QString &scriptName, const QString &interpreter)
{
#ifdef Q_OS_WIN
    // The system's own interpreter runs the script. ShellExecuteExW, unlike
    // ShellExecuteW, leaves a last error to report. NOASYNC: the start is
    // complete on return (not the script, which runs on); NO_UI: a failure
    // goes to the program's own report, not a system message box.
    Q_UNUSED(interpreter);
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = nativeName(scriptName);
    info.nShow = SW_SHOWMINIMIZED;
    if (!ShellExecuteExW(&info))
        throw AppError::fromLastWindowsError(scriptName);
#else
    if (!QFileInfo(interpreter).isExecutable())
        throw AppError::fromErrno(QFileInfo::exists(interpreter) ? EACCES : ENOENT, interpreter);
    QProcess process;
    process.setProgram(interpreter);
    // Off Windows nothing else would show what the script does, or that it failed.
    process.setArguments({QStringLiteral("--window"), scriptName});
    process.setWorkingDirectory(QDir::currentPath());
    errno = 0;
    if (!process.startDetached())
        throw AppError::fromErrno(errno ? errno : ENOEXEC, interpreter);
#endif
}
