#pragma once
// Small helpers shared by the tests.

#include "apperror.h"

#include <QFile>
#include <QTest>

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

// The build's script runs on its own; waits for the image it writes.
inline QByteArray waitForContent(const QString &path, const QByteArray &expected)
{
    return QTest::qWaitFor([&] { return readAll(path) == expected; }, 20000) ? expected : readAll(path);
}
