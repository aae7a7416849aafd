// Runs batrun on join scripts in a scratch directory and checks what it
// leaves there: every file byte for byte, and no file more than expected.
#include "interpreter.h"
#include "testsupport.h"

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

class TstBatrun : public QObject
{
    Q_OBJECT

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }

    // Runs batrun on the script through bash `shell`, whose output is left
    // unread for `pause` ms: the exit code (-1 when a signal ended it) and
    // standard error.
    std::pair<int, QByteArray> run(const QByteArray &script, const QStringList &args = {"TamLof.bat"},
                                   const QString &shell = "exec \"$0\" \"$@\"", int pause = 0)
    {
        writeFile(path("TamLof.bat"), script);
        const Descendants started; // a row's shell may leave jobs behind when it fails
        QProcess process;
        process.setWorkingDirectory(m_dir->path());
        process.start("bash", QStringList{"-c", "set -o pipefail; " + shell, BATRUN_PATH} + args);
        QTest::qSleep(pause);
        return {process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit ? process.exitCode()
                                                                                               : -1,
                process.readAllStandardError()};
    }

    // Hidden files included, so a stray temporary file shows.
    QStringList listing() const
    {
        QStringList names;
        for (QDirIterator it(m_dir->path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                             QDirIterator::Subdirectories);
             it.hasNext();)
            names << it.next().mid(m_dir->path().size() + 1);
        names.sort();
        return names;
    }

    // Each output "NAME=PART|PART..." holds its parts joined, every other input is as it was.
    void verifyDisk(const QStringList &outputs)
    {
        QMap<QString, QByteArray> expected = m_inputs;
        for (const QString &output : outputs) {
            QByteArray &joined = expected[output.section('=', 0, 0)] = {};
            for (const QString &part : output.section('=', 1).split('|'))
                joined += m_inputs.contains(part) ? m_inputs[part] : readAll(part);
        }
        QStringList names = m_listing + expected.keys();
        names.removeDuplicates();
        names.sort();
        QCOMPARE(listing(), names);
        for (auto [name, data] : expected.asKeyValueRange())
            QVERIFY2(readAll(path(name)) == data, qPrintable(name));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QMap<QString, QByteArray> m_inputs;
    QStringList m_listing;

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QProcess setup; // the inputs, and what a hostile start folder may hold besides
        setup.start("bash",
                    {"-c",
                     "cd \"$0\" && mkdir roms 'my dir' && head -c 3145745 /dev/urandom > tamblinvx.gba && printf "
                     "'Menu\\r\\n\\x1a' > menu.txt"
                     " && printf 'NES\\x1a\\0\\r\\n' > roms/a.nes && echo my game > 'roms/my game.nes' && echo b plus "
                     "c > roms/b+c.nes && head -c 4M /dev/zero | tr '\\0' p > out.gba"
                     " && mkfifo fifo.nes && ln -s /dev/zero zero.nes && ln -s roms romlink && ln -s tamblinvx.gba "
                     "link.gba && ln roms/a.nes hard.gba && truncate -s 65M big.bat && touch TamLof.bat",
                     m_dir->path()});
        QVERIFY(setup.waitForFinished() && setup.exitCode() == 0);
        // The image is bigger than a piece of the read/write fallback; out.gba, the previous image, is longer still.
        for (const char *name :
             {"tamblinvx.gba", "menu.txt", "roms/a.nes", "roms/my game.nes", "roms/b+c.nes", "out.gba"})
            m_inputs[name] = readAll(path(name));
        m_listing = listing();
    }

    // A script either leaves every image it names whole, or is refused before
    // a byte is written with a message that is all of standard error.
    void joinsWholeOrNothing_data()
    {
        // clang-format off
        QTest::addColumn<QString>("scriptName");
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QStringList>("outputs");
        QTest::addColumn<QByteArray>("message");
        const auto row = [](const char *name, const QByteArray &script, const QStringList &outputs, const QByteArray &message = {}, const QString &scriptName = "TamLof.bat") {
            QTest::newRow(name) << scriptName << script << outputs << (message.isEmpty() ? message : "batrun: " + message + "\n"); };
        row("the window's script", "cd \"DIR\"\r\ncopy /b tamblinvx.gba+menu.txt out.gba\r\ncopy /b out.gba+roms/a.nes out.gba\r\ncopy /b ./out.gba+\"roms/my game.nes\" out.gba\r\ncopy /b out.gba+\"roms/b+c.nes\" \"my out.gba\"\r\ncopy /b \"my out.gba\"+\"roms/b+c.nes\" \"my out.gba\"\r\n",
             {"out.gba=tamblinvx.gba|menu.txt|roms/a.nes|roms/my game.nes", "my out.gba=tamblinvx.gba|menu.txt|roms/a.nes|roms/my game.nes|roms/b+c.nes|roms/b+c.nes"});
        row("LF, blanks, case, no final line end", "\n \t\n  COPY /B roms/a.nes+menu.txt   out.gba \t\n\n\tCopy /b out.gba+roms/a.nes out.gba", {"out.gba=roms/a.nes|menu.txt|roms/a.nes"});
        row("cd takes the rest of the line", "cd my dir\r\ncopy /b ../menu.txt+\"../roms/b+c.nes\" x.gba\r\n", {"my dir/x.gba=menu.txt|roms/b+c.nes"});
        row("a file the kernel will not copy", "copy /b menu.txt+/proc/version out.gba\r\n", {"out.gba=menu.txt|/proc/version"});
        row("appends to the image already there", "copy /b out.gba+roms/a.nes out.gba\r\n", {"out.gba=out.gba|roms/a.nes"});
        row("a link to the image as output is replaced", "copy /b tamblinvx.gba+menu.txt link.gba\r\ncopy /b link.gba+roms/a.nes link.gba\r\ncopy /b menu.txt+./link.gba x.gba\r\n", {"link.gba=tamblinvx.gba|menu.txt|roms/a.nes", "x.gba=menu.txt|tamblinvx.gba|menu.txt|roms/a.nes"});
        const QByteArray first = "copy /b tamblinvx.gba+menu.txt out.gba\r\n";
        row("unknown command after a good line", first + "del out.gba", {}, "TamLof.bat:2: del out.gba: unknown command");
        row("control characters, escaped, whole", QByteArray("copy /b a\x1b[2J\0b out.gba", 23), {}, "TamLof.bat:1: copy /b a\\x1b[2J\\x00b out.gba: control character in line");
        row("missing source", first + "copy /b out.gba+roms/zz.nes out.gba", {}, "TamLof.bat:2: copy /b out.gba+roms/zz.nes out.gba: roms/zz.nes: No such file or directory");
        row("cd into a missing folder", "cd nodir\r\n" + first, {}, "TamLof.bat:1: cd nodir: nodir: No such file or directory");
        row("source is a FIFO", first + "copy /b out.gba+fifo.nes out.gba", {}, "TamLof.bat:2: copy /b out.gba+fifo.nes out.gba: fifo.nes: not a regular file");
        row("source links to a device", first + "copy /b out.gba+zero.nes out.gba", {}, "TamLof.bat:2: copy /b out.gba+zero.nes out.gba: zero.nes: not a regular file");
        row("destination is a folder", "copy /b menu.txt roms", {}, "TamLof.bat:1: copy /b menu.txt roms: roms: Is a directory");
        row("destination is a device", "copy /b menu.txt /dev/null", {}, "TamLof.bat:1: copy /b menu.txt /dev/null: /dev/null: not a regular file");
        row("destination in a missing folder", "copy /b menu.txt nodir/out.gba", {}, "TamLof.bat:1: copy /b menu.txt nodir/out.gba: nodir/out.gba: No such file or directory");
        row("new destination feeds itself", "copy /b roms/a.nes+new.gba new.gba", {}, "TamLof.bat:1: copy /b roms/a.nes+new.gba new.gba: destination is also a source");
        row("output a source on a later line", first + "copy /b out.gba+roms/a.nes out.gba\r\ncopy /b menu.txt+out.gba out.gba", {}, "TamLof.bat:3: copy /b menu.txt+out.gba out.gba: destination is also a source");
        row("hard link to a source", "copy /b menu.txt+roms/a.nes hard.gba", {}, "TamLof.bat:1: copy /b menu.txt+roms/a.nes hard.gba: destination is also a source");
        row("through a linked folder", "copy /b menu.txt+roms/a.nes romlink/a.nes", {}, "TamLof.bat:1: copy /b menu.txt+roms/a.nes romlink/a.nes: destination is also a source");
        row("another spelling of a source", "copy /b menu.txt+tamblinvx.gba /proc/self/cwd/tamblinvx.gba", {}, "TamLof.bat:1: copy /b menu.txt+tamblinvx.gba /proc/self/cwd/tamblinvx.gba: destination is also a source");
        QTest::newRow("no script") << QString() << QByteArray() << QStringList() << QByteArray("usage: batrun SCRIPT\n");
        row("missing script", {}, {}, "cannot read none.bat: No such file or directory", "none.bat");
        row("script is a FIFO", {}, {}, "cannot read fifo.nes: not a regular file", "fifo.nes");
        row("script links to a device", {}, {}, "cannot read zero.nes: not a regular file", "zero.nes");
        row("script over 64 MiB", {}, {}, "cannot read big.bat: larger than 64 MiB", "big.bat");
        // clang-format on
    }
    void joinsWholeOrNothing()
    {
        QFETCH(QString, scriptName);
        QFETCH(QByteArray, script);
        QFETCH(QStringList, outputs);
        QFETCH(QByteArray, message);
        QCOMPARE(run(script.replace("DIR", m_dir->path().toUtf8()),
                     scriptName.isEmpty() ? QStringList() : QStringList{scriptName}),
                 std::make_pair(message.isEmpty() ? 0 : 1, message));
        verifyDisk(outputs);
    }

    // The start folder handed on as "--locked=N" (the redirections after it
    // open N): a number spelled otherwise is a usage error that takes no
    // descriptor, not even the start folder on standard input; one that is
    // not the folder batrun runs in is refused.
    void refusesHandedFolders_data()
    {
        // clang-format off
        QTest::addColumn<QString>("handed");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QStringList>("outputs");
        for (const char *number : {"x", "", "-1", "+0", " 0", "0x", "2147483648"})
            QTest::newRow(("--locked=" + QByteArray(number)).constData()) << QString("'--locked=%1' 0<.").arg(number) << 1 << "batrun: --locked=" + QByteArray(number) + ": not a descriptor number\n" << QStringList();
        QTest::newRow("closed") << "--locked=9 9<&-" << 1 << QByteArray("batrun: --locked=9: Bad file descriptor\n") << QStringList();
        QTest::newRow("a file") << "--locked=9 9<menu.txt" << 1 << QByteArray("batrun: --locked=9: Not a directory\n") << QStringList();
        QTest::newRow("another folder") << "--locked=9 9<roms" << 1 << QByteArray("batrun: --locked=9: not the current directory\n") << QStringList();
        QTest::newRow("the start folder") << "--locked=9 9<." << 0 << QByteArray() << QStringList{"out.gba=menu.txt|roms/a.nes"};
        // clang-format on
    }
    void refusesHandedFolders()
    {
        QFETCH(QString, handed);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, message);
        QFETCH(QStringList, outputs);
        QCOMPARE(run("copy /b menu.txt+roms/a.nes out.gba\r\n", {"TamLof.bat"}, "exec \"$0\" " + handed + " \"$@\""),
                 std::make_pair(exitCode, message));
        verifyDisk(outputs);
    }

    // The long script's echo fills a pipe nobody reads for a while: batrun
    // waits there mid-join, as a second join waits for it.
    void survivesInterruptionsAndRaces_data()
    {
        // clang-format off
        QTest::addColumn<QString>("shell");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("outputs");
        const QString exec = "\"$0\" \"$@\"";
        const QString stop = "set -m; " + exec + " & sleep 0.3; kill -%1 $!; wait $!"; // -m: a job that heeds SIGINT
        QTest::newRow("SIGTERM mid-join") << stop.arg("TERM") << 128 + SIGTERM << QStringList();
        QTest::newRow("SIGINT mid-join") << stop.arg("INT") << 128 + SIGINT << QStringList();
        QTest::newRow("SIGHUP mid-join") << stop.arg("HUP") << 128 + SIGHUP << QStringList();
        QTest::newRow("SIGTERM to its window, waiting its turn") << "flock . sleep 9 & while flock -n . true; do sleep 0.01; done; QT_QPA_PLATFORM=offscreen \"$0\" --window \"$@\" & sleep 1; kill -TERM $!; wait $!" << 128 + SIGTERM << QStringList();
        QTest::newRow("SIGPIPE: stdout closed") << exec + " | true" << 0 << QStringList{"out.gba=tamblinvx.gba|menu.txt" + QString("|roms/a.nes").repeated(4000)};
        QTest::newRow("SIGXFSZ: file size limit") << "ulimit -f 1024; " + exec << 1 << QStringList();
        QTest::newRow("more games than descriptors") << "ulimit -n 100; " + exec << 0 << QStringList{"out.gba=tamblinvx.gba|menu.txt" + QString("|roms/a.nes").repeated(4000)};
        QTest::newRow("the later of two joins wins") << exec + " & sleep 0.03; printf 'copy /b menu.txt+\"roms/b+c.nes\" out.gba\\r\\n' > next.bat; mv next.bat TamLof.bat; " + exec + " && wait $!" << 0 << QStringList{"out.gba=menu.txt|roms/b+c.nes"};
        // clang-format on
    }
    void survivesInterruptionsAndRaces()
    {
        QFETCH(QString, shell);
        QFETCH(int, exitCode);
        QFETCH(QStringList, outputs);
        QCOMPARE(run("copy /b tamblinvx.gba+menu.txt out.gba\r\n"
                             + QByteArray("copy /b out.gba+roms/a.nes out.gba\r\n").repeated(4000),
                     {"TamLof.bat"}, shell, 600)
                         .first,
                 exitCode);
        verifyDisk(outputs);
    }

    // In process, as the script's window drives it: a cancel leaves nothing behind.
    void reportsProgressAndCancels()
    {
        struct : ScriptObserver
        {
            std::uint64_t total = 0, done = 0;
            void planned(std::uint64_t bytes) override { total = bytes; }
            void joined(std::uint64_t bytes) override { done = bytes; }
            bool cancelled() const override { return done > 0; }
        } watcher;
        writeFile(path("TamLof.bat"),
                  "copy /b tamblinvx.gba+menu.txt out.gba\r\ncopy /b out.gba+roms/a.nes out.gba\r\n");
        QDir::setCurrent(m_dir->path());
        QCOMPARE(runScript("TamLof.bat", watcher).reason, "cancelled");
        QCOMPARE(watcher.total, std::uint64_t(m_inputs["tamblinvx.gba"].size() + m_inputs["menu.txt"].size() + 7));
        QCOMPARE(watcher.done, std::uint64_t(m_inputs["tamblinvx.gba"].size()));
        verifyDisk({});
    }
};

QTEST_GUILESS_MAIN(TstBatrun)
#include "tst_batrun.moc"
