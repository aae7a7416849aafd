#include "systemcalls.h"

#include "apperror.h"
#include "temporaryname.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>

#ifdef Q_OS_WIN
#include <windows.h>
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_WIN
const wchar_t *nativeName(const QString &name)
{
    return reinterpret_cast<const wchar_t *>(name.utf16());
}

int createNewFile(const std::filesystem::path &name)
{
    return _wopen(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

// Flushes the file to disk where asked, and closes it.
bool syncAndClose(int fd, bool sync = true)
{
    const bool synced = !sync || _commit(fd) == 0;
    return _close(fd) == 0 && synced;
}

void closeFile(int fd)
{
    _close(fd);
}

void removeFile(const std::filesystem::path &name)
{
    _wunlink(name.c_str());
}

// The volume and file index, which _wstat64 leaves out (st_ino 0), from a
// handle that asks for no access, so that no sharing mode stands in its way.
FileIdentity fileIdentity(const QString &path)
{
    const HANDLE file = CreateFileW(nativeName(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION info = {};
    if (file == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file, &info)) {
        const AppError failure = AppError::fromLastWindowsError(path);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        throw failure;
    }
    CloseHandle(file);
    return {info.dwVolumeSerialNumber, quint64(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}
#else
int createNewFile(const std::filesystem::path &name)
{
    return ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

bool syncAndClose(int fd, bool sync = true)
{
    const bool synced = !sync || ::fsync(fd) == 0;
    return ::close(fd) == 0 && synced;
}

void closeFile(int fd)
{
    ::close(fd);
}

void removeFile(const std::filesystem::path &name)
{
    ::unlink(name.c_str());
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

OutputFile::OutputFile(const QString &fileName, Flush flush) : m_fileName(fileName), m_flush(flush)
{
    m_temporaryName = makeUnderTemporaryName(filesystemPath(fileName), [this](const std::filesystem::path &name) {
        m_fd = createNewFile(name);
        return m_fd >= 0;
    });
    if (m_fd < 0)
        fail(errno);
}

OutputFile::~OutputFile()
{
    if (m_committed)
        return;
    // Not flushed: the file goes.
    if (m_fd >= 0)
        closeFile(m_fd);
    removeFile(m_temporaryName);
}

void OutputFile::fail(int errorNumber)
{
    throw AppError::fromErrno(errorNumber, m_fileName);
}

void OutputFile::write(QByteArrayView bytes)
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
    commitAs(m_fileName);
}

void OutputFile::commitAs(const QString &fileName)
{
    m_fileName = fileName;
    // Flushed before the rename, so the name never stands for a file whose
    // bytes a crash or a late write error could still lose.
    if (!syncAndClose(std::exchange(m_fd, -1), m_flush == Flush::ToDisk))
        fail(errno);
#ifdef Q_OS_WIN
    if (!MoveFileExW(m_temporaryName.c_str(), nativeName(m_fileName),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw AppError::fromLastWindowsError(m_fileName);
#else
    if (::rename(m_temporaryName.c_str(), QFile::encodeName(m_fileName).constData()) != 0)
        fail(errno);
#endif
    m_committed = true;
}

std::filesystem::path filesystemPath(const QString &path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

QString qtPath(const std::filesystem::path &path)
{
#ifdef Q_OS_WIN
    return QString::fromStdWString(path.native());
#else
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
#endif
}

FileLookup lookUpFile(const QString &path, bool withIdentity)
{
    FileLookup lookup;
#ifdef Q_OS_WIN
    struct _stat64 st = {};
    if (_wstat64(nativeName(path), &st) != 0) {
        lookup.error = errno;
        return lookup;
    }
    const int readError = _waccess(nativeName(path), 4) == 0 ? 0 : errno;
    const auto mode = st.st_mode & _S_IFMT;
    if (withIdentity)
        lookup.identity = fileIdentity(path);
#else
    Q_UNUSED(withIdentity);
    const QByteArray name = QFile::encodeName(path);
    struct stat st = {};
    if (::stat(name.constData(), &st) != 0) {
        lookup.error = errno;
        return lookup;
    }
    const int readError = ::access(name.constData(), R_OK) == 0 ? 0 : errno;
    const auto mode = st.st_mode & S_IFMT;
    lookup.identity = {quint64(st.st_dev), quint64(st.st_ino)};
#endif
    lookup.found = true;
    lookup.size = qint64(st.st_size);
    if (mode == S_IFDIR)
        lookup.error = EISDIR;
    else if (mode != S_IFREG)
        lookup.error = EINVAL;
    else
        lookup.error = readError;
    return lookup;
}

int unreadableFileError(const QString &path, qint64 &size)
{
    const FileLookup lookup = lookUpFile(path);
    if (lookup.error == 0)
        size = lookup.size;
    return lookup.error;
}

int notFolderError(const QString &path)
{
#ifdef Q_OS_WIN
    struct _stat64 st = {};
    if (_wstat64(nativeName(path), &st) != 0)
        return errno;
#else
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return errno;
#endif
    return (st.st_mode & S_IFMT) == S_IFDIR ? 0 : ENOTDIR;
}

#ifdef Q_OS_WIN
QString shortPathName(const QString &path)
{
    const auto shortName = [](const QString &longName) {
        std::wstring buffer(32768, L'\0');
        const DWORD n = GetShortPathNameW(nativeName(longName), buffer.data(), DWORD(buffer.size()));
        return n > 0 && n < buffer.size() ? QString::fromWCharArray(buffer.data(), int(n)) : QString();
    };
    if (const QString whole = shortName(path); !whole.isEmpty())
        return whole;
    const qsizetype cut = path.lastIndexOf(u'\\');
    const QString folder = cut > 0 ? shortName(path.left(cut)) : QString();
    return folder.isEmpty() ? QString() : folder + path.mid(cut);
}
#endif
