#pragma once
// Small helpers shared by the tests.

#include "apperror.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#include <sys/wait.h>

#include <csignal>
#endif

// Restores the current directory the build changes. Declared after the
// temporary folders: Windows removes no folder that is a process's current one.
struct CurrentDirGuard
{
    QString saved = QDir::currentPath();
    ~CurrentDirGuard() { QDir::setCurrent(saved); }
};

// Errors as the tests expect them: the program's own, the C library's
// (errno), or none.
inline constexpr auto programError = [](AppError::Number number) { return AppError::Code{{}, number}; };
inline constexpr auto errnoError = [](int number) { return AppError::Code{AppError::Domain::CLibrary, number}; };
inline constexpr AppError::Code NoError{};
Q_DECLARE_METATYPE(AppError::Code)

// How QCOMPARE shows an error it did not expect.
inline char *toString(const AppError::Code &code)
{
    const char *domains[] = {"program", "errno", "Windows"};
    return qstrdup(QByteArray(domains[int(code.domain)]) + ' ' + QByteArray::number(code.number));
}

// The error that f raises, NoError when it raises none.
template <class F>
AppError::Code errorOf(F &&f)
{
    try {
        f();
    } catch (const AppError &e) {
        return e.code();
    }
    return NoError;
}

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// The build's script runs on its own; waits for the image it writes. Read
// only at its full size: on Windows, a file open for reading makes the
// script's next "copy" onto it fail.
inline QByteArray waitForContent(const QString &path, const QByteArray &expected)
{
    const auto done = [&] { return QFileInfo(path).size() == expected.size() && readAll(path) == expected; };
    return QTest::qWaitFor(done, 20000) ? expected : readAll(path);
}

#ifdef Q_OS_LINUX

// Whatever a test starts ends with it: as a subreaper the test inherits what
// its processes leave (the build starts batrun detached, a shell leaves its
// jobs), to wait for them and to end them when this object goes.
class Descendants
{
public:
    Descendants() { QVERIFY(::prctl(PR_SET_CHILD_SUBREAPER, 1) == 0); }
    // Killed, and what they leave in turn, until none is left.
    ~Descendants()
    {
        siginfo_t any = {};
        for (int round = 0; round < 10 && ::waitid(P_ALL, 0, &any, WEXITED | WNOHANG | WNOWAIT) == 0; ++round) {
            for (const QString &task : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
                for (const QByteArray &pid : readAll("/proc/self/task/" + task + "/children").split(' '))
                    if (pid.toInt() > 0)
                        ::kill(pid.toInt(), SIGKILL);
            }
            waitForAll(1000);
        }
    }

    // Waits until none is left, at most `ms`: how each ended, by its exit
    // code or 128 + the signal that ended it.
    QList<int> waitForAll(int ms)
    {
        QList<int> ended;
        for (const QDeadlineTimer deadline(ms);;) {
            int status = 0;
            const pid_t pid = ::waitpid(-1, &status, WNOHANG);
            if (pid > 0)
                ended << (WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
            else if (pid < 0 || deadline.hasExpired())
                return ended;
            else
                QTest::qSleep(20);
        }
    }
};
#endif
