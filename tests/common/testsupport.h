#pragma once
// Small helpers shared by the tests.

#include "apperror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

// Restores the current directory the build changes. Declared after the
// temporary folders: Windows removes no folder that is a process's current one.
struct CurrentDirGuard
{
    QString saved = QDir::currentPath();
    ~CurrentDirGuard() { QDir::setCurrent(saved); }
};

// The number of the AppError that f raises, 0 when it raises none.
template <class F>
int errorOf(F &&f)
{
    try {
        f();
    } catch (const AppError &e) {
        return e.number();
    }
    return 0;
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
