// From clicks on the window to the finished image, with the file dialog's
// answers scripted, the real build and the real interpreter: batrun, or on
// Windows the system's own. The folders' names hold what an interpreter would
// split or misread unquoted, and letters outside ASCII: one the code page
// holds, and one it does not, which Windows reaches by the short name.
#include "archivesupport.h"
#include "testsupport.h"
#include "windowsupport.h"

#include <QDir>
#include <QTemporaryDir>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    // A failed build is reported and leaves the list as it was; once its
    // cause is gone, the next build makes the image. A zipped ROM goes in as
    // its archive holds it; gone from the cache, the build says to add the
    // archive again.
    void clickThroughToTheImage()
    {
#ifdef Q_OS_LINUX
        Descendants started;
#endif
        QTemporaryDir work;
        const CurrentDirGuard guard;
        const auto path = [&](const QString &name) { return work.filePath(name); };
        const QString start = path("start \u00e9 & (1)"), output = path("out (\u00e9) 50%!^&.gba");
        const QStringList roms = {path("roms 100% ^! S\u00e3o/Alpha.nes"), path("roms 100% ^! S\u00e3o/Beta (E).nes"),
                                  path("roms 100% ^! S\u00e3o/Gamma+1.nes")};
        QVERIFY(QDir().mkpath(path("roms 100% ^! S\u00e3o")));
        for (const QString &rom : roms)
            writeFile(rom, "NES\x1a" + rom.toUtf8().repeated(1000));
        const QString zipped = path("roms 100% ^! S\u00e3o/Delta (E).7z");
        writeArchive(zipped, "7zip", {}, {"Europe/Delta (E).nes"});
        // A directory named "menu.txt" cannot be written, not even by root.
        QVERIFY(QDir().mkpath(start + "/menu.txt"));
        writeFile(start + "/tamblinvx.gba", QByteArray(70000, 'G'));
        QDir::setCurrent(start); // the window's start directory
        WindowFixture f;
        QDir::setCurrent(work.path()); // the build goes back to its start directory
        f.play({click("cmdBrowse", roms + QStringList{QDir::toNativeSeparators(zipped)}), row(0),
                type("txtMenuTitle", "!"), click("chkOptions_0"), click("chkOptions_5"), type("txtMem", "4096"), row(2),
                click("chkOptions_4"), type("txtSprite", "12"), click("cmdUpList"), row(2), click("cmdRemoveRom"),
                click("cmdSave", {{output}}), click("cmdOutput")});
#ifdef Q_OS_WIN
        const int refused = ERROR_ACCESS_DENIED; // Windows' answer to a file renamed over a folder
#else
        const int refused = EISDIR;
#endif
        const QString report = f.errors.messages.value(0);
        QCOMPARE(report.left(report.indexOf(" (")),
                 QStringLiteral("Error %1: %2").arg(refused).arg(qt_error_string(refused)));
        QCOMPARE(f.rowTexts(), QStringList({"Alpha.nes", "Gamma+1.nes", "Delta (E).nes"}));

        QVERIFY(QDir(start).rmdir("menu.txt"));
        // On Windows the build reports an image that is not whole once cmd has ended.
        f.play({click("cmdOutput")});
#ifdef Q_OS_LINUX
        // batrun ends by itself where its window shows nothing, the join failed or not.
        QCOMPARE(started.waitForAll(60000), QList<int>{0});
#endif
        const QByteArray menu = "# Generated with TamblinVX Lofter by Veskin\r\n\r\n"
                                "Alpha!|33|4096\r\n"
                                "Gamma+1|16|12\r\n"
                                "Delta (E)\r\n"
                                "\r\n# Generated with TamblinVx Lofter by Veskin\r\n\r\n";
        QCOMPARE(readAll(start + "/menu.txt"), menu);
        const QByteArray image =
                QByteArray(70000, 'G') + menu + readAll(roms[0]) + readAll(roms[2]) + memberBytes("Delta (E).nes");
        QCOMPARE(waitForContent(output, image), image);
        QCOMPARE(f.errors.messages, QStringList{report});
        QVERIFY(QDir(f.cache.path()).removeRecursively());
        f.play({click("cmdOutput")});
        QVERIFY(f.errors.messages.value(1).endsWith(": add the archive again."));
        // Windows removes no folder that a process has made current, as the
        // script's interpreter did until it ended.
        QDir::setCurrent(guard.saved);
        QVERIFY(QTest::qWaitFor([&] { return QDir(work.path()).removeRecursively(); }, 20000));
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
