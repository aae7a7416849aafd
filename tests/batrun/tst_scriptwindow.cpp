// Runs join scripts under the script's window and checks what the user is
// left with: the window, what it says, and the files on disk.
#include "cartridge.h"
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
        QTest::newRow("image over a cartridge") << QByteArray() << int(CartridgeLimit) + (1 << 20) << "" << "out.gba is 33.0 MiB";
        QTest::newRow("missing source") << QByteArray("copy /b out.gba+zz.nes out.gba") << 3000000 << "copy /b out.gba+zz.nes out.gba" << "zz.nes: No such file or directory\nNo image was made";
        QTest::newRow("missing source, earlier image") << QByteArray("copy /b menu.txt+zz.nes image.gba") << 3000000 << "copy /b menu.txt+zz.nes image.gba" << "The previous image image.gba was left as it was";
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

    // batrun itself: the window only when the build asks for it and a display
    // can show it. Nobody has to close anything: every row ends by itself.
    void windowOnlyWhenAskedOnADisplay_data()
    {
        // clang-format off
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<QByteArray>("following");
        QTest::addColumn<bool>("window");
        const QStringList asked = {"--window", "TamLof.bat"}, offscreen = {"QT_QPA_PLATFORM=offscreen"};
        const QStringList deadX = {"DISPLAY=:65000"}, goneWayland = {"WAYLAND_DISPLAY=gone"};
        const QByteArray fails = "copy /b out.gba+zz.nes out.gba\r\n";
        QTest::newRow("from a terminal") << QStringList{"TamLof.bat"} << offscreen << QByteArray() << false;
        QTest::newRow("asked, no display") << asked << QStringList() << QByteArray() << false;
        QTest::newRow("asked, a display") << asked << offscreen << QByteArray() << true;
        QTest::newRow("asked, X server not answering") << asked << deadX << QByteArray() << false;
        QTest::newRow("asked, Wayland socket gone") << asked << goneWayland << QByteArray() << false;
        QTest::newRow("fails, X server not answering") << asked << deadX << fails << false;
        QTest::newRow("fails where the window shows nothing") << asked << offscreen << fails << true;
        // clang-format on
    }
    void windowOnlyWhenAskedOnADisplay()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, environment);
        QFETCH(QByteArray, following);
        QFETCH(bool, window);
        writeInputs(following, 1000);
        QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            variables.remove(name);
        variables.insert("XDG_RUNTIME_DIR", m_dir.path());
        for (const QString &variable : environment)
            variables.insert(variable.section('=', 0, 0), variable.section('=', 1));
        QProcess batrun;
        batrun.setProcessEnvironment(variables);
        batrun.start(BATRUN_PATH, args);
        QVERIFY(batrun.waitForFinished(10000));
        const bool ok = following.isEmpty();
        QCOMPARE(batrun.exitCode(), ok ? 0 : 1);
        QCOMPARE(readAll("out.gba"), ok ? readAll("image.gba") + "Menu\r\n" : QByteArray());
        // The command line echoes each line; the window keeps them to itself.
        QCOMPARE(batrun.readAllStandardOutput(), window || !ok ? QByteArray() : "copy /b image.gba+menu.txt out.gba\n");
        // A failure is told on standard error, window or not.
        const QByteArray errors = batrun.readAllStandardError();
        QVERIFY2(ok ? !errors.contains("batrun:")
                    : errors.endsWith("batrun: TamLof.bat:2: " + following.trimmed()
                                      + ": zz.nes: No such file or directory\n"),
                 errors);
    }
};

QTEST_MAIN(TstScriptWindow)
#include "tst_scriptwindow.moc"
