// Runs join scripts under the script's window and checks what the user is
// left with: the window, what it says, and the files on disk.
#include "scriptwindow.h"
#include "testsupport.h"

#include <QtTest>
#include <QtWidgets>

class TstScriptWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // An image of about size bytes, holding what a text copy would mangle, a menu
    // and a script that joins them into out.gba, then runs the lines that follow.
    static void writeInputs(const QByteArray &following, int size)
    {
        QFile::remove("out.gba");
        writeFile("image.gba", QByteArray("\0\x1a\r\n\xff", 5).repeated(size / 5));
        writeFile("menu.txt", "Menu\r\n");
        writeFile("TamLof.bat", "copy /b image.gba+menu.txt out.gba\r\n" + following);
    }

private slots:
    void initTestCase() { QVERIFY(QDir::setCurrent(m_dir.path())); }

    // What the user is left with once the script ends: said where the window stays up.
    void endOfScript_data()
    {
        // clang-format off
        QTest::addColumn<QByteArray>("following");
        QTest::addColumn<int>("imageSize");
        QTest::addColumn<QString>("failingLine");
        QTest::addColumn<QString>("says");
        QTest::newRow("good image") << QByteArray() << 3000000 << "" << "";
        QTest::newRow("image over a cartridge") << QByteArray() << int(ScriptWindow::CartridgeLimit) + (1 << 20) << "" << "out.gba is 33.0 MiB";
        QTest::newRow("missing source") << QByteArray("copy /b out.gba+zz.nes out.gba") << 3000000 << "copy /b out.gba+zz.nes out.gba" << "zz.nes: No such file or directory";
        QTest::newRow("line never started") << QByteArray("del out.gba\r\n") << 3000000 << "del out.gba" << "unknown command";
        // clang-format on
    }
    void endOfScript()
    {
        QFETCH(QByteArray, following);
        QFETCH(int, imageSize);
        QFETCH(QString, failingLine);
        QFETCH(QString, says);
        writeInputs(following, imageSize);
        ScriptWindow window;
        window.run("TamLof.bat");
        QTRY_VERIFY_WITH_TIMEOUT(window.isFinished(), 30000);
        QCOMPARE(window.exitStatus(), failingLine.isEmpty() ? 0 : 1);
        QCOMPARE(window.isVisible() && !window.isMinimized(), !says.isEmpty());
        QVERIFY(window.findChild<QLabel *>("status")->text().contains(says));
        QCOMPARE(readAll("out.gba"), failingLine.isEmpty() ? readAll("image.gba") + "Menu\r\n" : QByteArray());
        QCOMPARE(window.findChild<QProgressBar *>("progress")->text() == "100%", failingLine.isEmpty());
        QCOMPARE(window.findChild<QPlainTextEdit *>("lines")->extraSelections().value(0).cursor.block().text(),
                 failingLine);
    }

    // batrun itself: the window only when the build asks for it, and only on a display.
    void windowOnlyWhenAskedOnADisplay_data()
    {
        // clang-format off
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("platform");
        QTest::addColumn<bool>("window");
        QTest::newRow("from a terminal") << QStringList{"TamLof.bat"} << QByteArray("offscreen") << false;
        QTest::newRow("asked, no display") << QStringList{"--window", "TamLof.bat"} << QByteArray() << false;
        QTest::newRow("asked, a display") << QStringList{"--window", "TamLof.bat"} << QByteArray("offscreen") << true;
        // clang-format on
    }
    void windowOnlyWhenAskedOnADisplay()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, platform);
        QFETCH(bool, window);
        writeInputs({}, 1000);
        qputenv("DISPLAY", ""), qputenv("WAYLAND_DISPLAY", ""), qputenv("QT_QPA_PLATFORM", platform);
        QProcess batrun;
        batrun.start(BATRUN_PATH, args);
        QVERIFY(batrun.waitForFinished(30000));
        QCOMPARE(batrun.exitCode(), 0);
        // The command line echoes each line; the window keeps them to itself.
        QCOMPARE(batrun.readAllStandardOutput(), window ? QByteArray() : "copy /b image.gba+menu.txt out.gba\n");
    }
};

QTEST_MAIN(TstScriptWindow)
#include "tst_scriptwindow.moc"
