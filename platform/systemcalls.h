#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <filesystem>

// The few operating-system services the build needs, each raising AppError
// with the system's own error number and message when it fails.

// Makes dir the process's current directory.
void setCurrentDirectory(const QString &dir);

// A file replaced whole: the bytes go into a new temporary file beside it,
// which commit() flushes to disk and renames over the old one. Until then the
// old file stays as it was; whatever sits under the name (a link, a pipe) is
// replaced, never opened. Without commit() the temporary file is removed.
// Failures name the file. A file that can be made again (a cache's) may skip
// the flush, which costs more than the write itself.
class OutputFile
{
public:
    enum class Flush { ToDisk, Skip };
    explicit OutputFile(const QString &fileName, Flush flush = Flush::ToDisk);
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    void write(QByteArrayView bytes);
    void commit();
    // Commits under another name instead, one in the same file system: for a
    // file whose name depends on what was written into it.
    void commitAs(const QString &fileName);

private:
    [[noreturn]] void fail(int errorNumber);

    QString m_fileName;
    std::filesystem::path m_temporaryName;
    Flush m_flush;
    int m_fd = -1;
    bool m_committed = false;
};

// A path in the platform's own form for std::filesystem, and back.
std::filesystem::path filesystemPath(const QString &path);
QString qtPath(const std::filesystem::path &path);

// Which file a path names, the same through each of its names (links, other
// spellings, case-insensitive file systems).
struct FileIdentity
{
    quint64 volume = 0;
    quint64 file = 0;

    bool operator==(const FileIdentity &) const = default;
};

// What one look-up of a path finds, links followed, without opening the file.
struct FileLookup
{
    // Why it cannot be read as a regular file, as the system's error number
    // (a folder: EISDIR; another kind of file: EINVAL); 0 when it can.
    int error = 0;
    // Whether anything is there. Not found with an error other than ENOENT
    // and ENOTDIR: the system could not tell.
    bool found = false;
    qint64 size = 0;
    FileIdentity identity; // of what was found, where asked for
};

// Looks path up once. withIdentity: also which file it is, which on Windows
// takes a handle, and raises AppError there when none can be had; elsewhere
// the look-up gives it anyway.
FileLookup lookUpFile(const QString &path, bool withIdentity = false);

// lookUpFile's error; size gets the file's size.
int unreadableFileError(const QString &path, qint64 &size);
// Why path is not a folder (ENOTDIR when it is something else); 0 when it is
// one. Neither opens a file.
int notFolderError(const QString &path);

#ifdef Q_OS_WIN
// The 8.3 short name of path where its volume keeps one; for a file that does
// not exist yet, its folder's short name and its own name. Empty when there is none.
QString shortPathName(const QString &path);
#endif
