// The runner with the real batrun: where it starts the script, and what it
// reports when the join ends. batrun starts only once the test says so.
#include "scriptrunner.h"
#include "testsupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>

class TestScriptRunner : public QObject
{
    Q_OBJECT

private slots:
    // "start" and "other" name the current directory at the hold and at the
    // start; previous is the size of the image there before (-1: none).
    void joinEnd_data()
    {
        // clang-format off
        QTest::addColumn<qint64>("imageSize");
        QTest::addColumn<qint64>("previous");
        QTest::addColumn<bool>("romGone");
        QTest::addColumn<QString>("holdIn");
        QTest::addColumn<QString>("startIn");
        QTest::addColumn<bool>("succeeded");
        const qint64 image = 70000, whole = image + 4, cartridge = qint64(CartridgeLimit);
        QTest::newRow("whole image") << image << qint64(-1) << false << "start" << "start" << true;
        QTest::newRow("whole image over one of its size") << image << whole << false << "start" << "start" << true;
        QTest::newRow("failed join") << image << qint64(-1) << true << "start" << "start" << false;
        QTest::newRow("failed join, an image of its size kept") << image << whole << true << "start" << "start" << false;
        QTest::newRow("whole image over a cartridge") << cartridge << qint64(-1) << false << "start" << "start" << false;
        QTest::newRow("current directory elsewhere") << image << qint64(-1) << false << "other" << "other" << true;
        QTest::newRow("current directory changed after the hold") << image << qint64(-1) << false << "start" << "other" << true;
        // clang-format on
    }

    void joinEnd()
    {
        QFETCH(qint64, imageSize);
        QFETCH(qint64, previous);
        QFETCH(bool, romGone);
        QFETCH(QString, holdIn);
        QFETCH(QString, startIn);
        QFETCH(bool, succeeded);
        Descendants started;
        QTemporaryDir start, other;
        CurrentDirGuard guard;
        const auto folder = [&](const QString &which) { return which == "start" ? start.path() : other.path(); };
        const QString gatedBatrun = other.filePath("gated batrun"), image = start.filePath("out.gba");
        writeFile(gatedBatrun,
                  "#!/bin/sh\nuntil [ -e go ]; do sleep 0.01; done\nexec '"
                          + QFile::encodeName(ScriptRunner::besideProgram()) + "' \"$@\"\n");
        QVERIFY(QFile::setPermissions(gatedBatrun, QFile::ReadOwner | QFile::ExeOwner));
        const auto sparseFile = [](const QString &path, qint64 size) {
            writeFile(path, {});
            return QFile::resize(path, size);
        };
        QVERIFY(sparseFile(start.filePath("tamblinvx.gba"), imageSize));
        writeFile(start.filePath("a.nes"), "NES\x1a");
        QVERIFY(previous < 0 || sparseFile(image, previous));
        writeFile(start.filePath("TamLof.bat"), "copy /b tamblinvx.gba+a.nes out.gba\r\n");

        ScriptRunner runner(gatedBatrun);
        QSignalSpy ends(&runner, &ScriptRunner::joinSucceeded);
        QVERIFY(QDir::setCurrent(folder(holdIn)));
        runner.holdStartFolder(start.path());
        QVERIFY(QDir::setCurrent(folder(startIn)));
        runner.start(start.path(), "out.gba", imageSize + 4);
        // The folder is batrun's now, whatever was current at the hold.
        QCOMPARE(errorOf([&] { ScriptRunner().holdStartFolder(start.path()); }), errnoError(EWOULDBLOCK));
        if (romGone)
            QVERIFY(QFile::remove(start.filePath("a.nes")));
        writeFile(start.filePath("go"), {}); // where the script starts
        QCOMPARE(started.waitForAll(20000), QList<int>{romGone ? 1 : 0});
        // The runner lets the join go once it has seen its end.
        QTRY_VERIFY(runner.children().isEmpty());
        const QList<QVariantList> announced = {{image, imageSize + 4}};
        QCOMPARE(ends, succeeded ? announced : QList<QVariantList>());
    }
};

QTEST_GUILESS_MAIN(TestScriptRunner)
#include "tst_scriptrunner.moc"
