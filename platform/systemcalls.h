#pragma once

#include <QByteArray>
#include <QString>

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
    QString m_temporaryName;
    int m_fd = -1;
    bool m_committed = false;
};

// Where the build finds batrun, the program that runs the script off Windows:
// next to the running executable.
QString scriptInterpreter();

// Starts the build script by its bare name in the current directory, without
// waiting: on Windows minimized, through the system's command interpreter;
// elsewhere through interpreter, which shows the script's window.
void startBuildScript(const QString &scriptName, const QString &interpreter = scriptInterpreter());
