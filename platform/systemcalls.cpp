#include "systemcalls.h"

#include "apperror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cerrno>
#include <cstdio>
#include <utility>

#ifdef Q_OS_WIN
#include <direct.h>
#include <windows.h>
#include <shellapi.h>
#else
#include <unistd.h>
#endif

void setCurrentDirectory(const QString &dir)
{
#ifdef Q_OS_WIN
    const int rc = _wchdir(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(dir).utf16()));
#else
    const int rc = ::chdir(QFile::encodeName(dir).constData());
#endif
    if (rc != 0)
        throw AppError::fromErrno(errno);
}

OutputFile::OutputFile(const QString &fileName)
{
#ifdef Q_OS_WIN
    m_file = _wfopen(reinterpret_cast<const wchar_t *>(fileName.utf16()), L"wb");
#else
    m_file = std::fopen(QFile::encodeName(fileName).constData(), "wb");
#endif
    if (!m_file)
        throw AppError::fromErrno(errno);
}

OutputFile::~OutputFile()
{
    if (m_file)
        std::fclose(m_file);
}

void OutputFile::write(const QByteArray &bytes)
{
    errno = 0;
    if (std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), m_file) != std::size_t(bytes.size()))
        throw AppError::fromErrno(errno ? errno : EIO);
}

void OutputFile::close()
{
    std::FILE *file = std::exchange(m_file, nullptr);
    errno = 0;
    if (std::fclose(file) != 0)
        throw AppError::fromErrno(errno ? errno : EIO);
}

void startBuildScript(const QString &scriptName)
{
#ifdef Q_OS_WIN
    // ShellExecuteExW, unlike ShellExecuteW, leaves a last error to report.
    // NOASYNC: the start is complete on return (not the script, which runs on);
    // NO_UI: the failure goes to the program's own report, not a system box.
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = reinterpret_cast<const wchar_t *>(scriptName.utf16());
    info.nShow = SW_SHOWMINIMIZED;
    if (!ShellExecuteExW(&info))
        throw AppError::fromLastWindowsError();
#else
    // batrun is installed next to the running program.
    const QString interpreter = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("batrun"));
    if (!QFileInfo(interpreter).isExecutable())
        throw AppError::fromErrno(QFileInfo::exists(interpreter) ? EACCES : ENOENT);
    QProcess process;
    process.setProgram(interpreter);
    process.setArguments({scriptName});
    process.setWorkingDirectory(QDir::currentPath());
    errno = 0;
    if (!process.startDetached())
        throw AppError::fromErrno(errno ? errno : ENOEXEC);
#endif
}
