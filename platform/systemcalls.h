#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>

// The few operating-system services the build needs, each raising AppError
// with the system's own error number and message when it fails.

// Makes dir the process's current directory.
void setCurrentDirectory(const QString &dir);

// A file created or emptied on opening and written whole. A failure part-way
// leaves what was written on disk.
class OutputFile
{
public:
    explicit OutputFile(const QString &fileName);
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    void write(const QByteArray &bytes);
    void close();

private:
    std::FILE *m_file;
};

// Starts the build script by its bare name in the current directory, without
// waiting: minimized on Windows, through batrun (found next to the running
// executable) elsewhere.
void startBuildScript(const QString &scriptName);
