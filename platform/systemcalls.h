#pragma once

#include <QByteArray>
#include <QString>

#include <filesystem>

// The few operating-system services the build needs, each raising AppError
// with the system's own error number and message when it fails.

// Makes dir the process's current directory.
void setCurrentDirectory(const QString &dir);

// A file in the current directory replaced whole: the bytes go into a new
// temporary file beside it, which commit() flushes to disk and renames over
// the old one. Until then the old file stays as it was; whatever sits under
// the name (a link, a pipe) is replaced, never opened. Without commit() the
// temporary file is removed. Failures name the file.
class OutputFile
{
public:
    explicit OutputFile(const QString &fileName);
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    void write(const QByteArray &bytes);
    void commit();

private:
    [[noreturn]] void fail(int errorNumber);

    QString m_fileName;
    std::filesystem::path m_temporaryName;
    int m_fd = -1;
    bool m_committed = false;
};

// A path in the platform's own form for std::filesystem, and back.
std::filesystem::path filesystemPath(const QString &path);
QString qtPath(const std::filesystem::path &path);

// Why path cannot be read as a regular file, as the system's error number (a
// folder: EISDIR; another kind of file: EINVAL); 0 when it can. size gets the
// file's size. Neither opens the file.
int unreadableFileError(const QString &path, qint64 &size);
// Why path is not a folder (ENOTDIR when it is something else); 0 when it is one.
int notFolderError(const QString &path);

#ifdef Q_OS_WIN
// The 8.3 short name of path where its volume keeps one; for a file that does
// not exist yet, its folder's short name and its own name. Empty when there is none.
QString shortPathName(const QString &path);
#endif
