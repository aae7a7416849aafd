// Runs batrun on join scripts in a scratch directory and checks the files it
// leaves behind, byte for byte.
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <map>
#include <memory>

namespace {

struct Result {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QByteArray lineOf(const QByteArray& script, int number)
{
    return script.split('\n').value(number - 1).trimmed();
}

}  // namespace

class TstBatrun : public QObject {
    Q_OBJECT

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    QByteArray input(const QString& name) const { return m_inputs.at(name); }

    Result run(const QByteArray& script, const QString& workDir = {},
               const QStringList& args = {QStringLiteral("TamLof.bat")})
    {
        Result result;
        writeFile(path("TamLof.bat"), script);
        QProcess process;
        process.setWorkingDirectory(workDir.isEmpty() ? m_dir->path() : workDir);
        process.start(QStringLiteral(BATRUN_PATH), args);
        if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit)
            result.exitCode = process.exitCode();
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        return result;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::map<QString, QByteArray> m_inputs;

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(QDir(m_dir->path()).mkpath("roms"));
        // Bigger than one read buffer, with bytes a text copy would mangle.
        QByteArray image(3 * 1024 * 1024 + 17, Qt::Uninitialized);
        for (qsizetype i = 0; i < image.size(); ++i)
            image[i] = char((i * 131) >> 3);
        m_inputs = {{"tamblinvx.gba", image},
                    {"menu.txt", "Menu\r\n\x1a"},
                    {"roms/a.nes", QByteArray("NES\x1a\0\r\n", 7)},
                    {"roms/my game.nes", "my game"},
                    {"roms/b+c.nes", "b plus c"}};
        for (const auto& [name, data] : m_inputs)
            writeFile(path(name), data);
    }

    void joinsTheToolsScript()
    {
        const QByteArray script = "cd \"" + m_dir->path().toUtf8() + "\"\r\n"
            "copy /b tamblinvx.gba+menu.txt out.gba\r\n"
            "copy /b out.gba+roms/a.nes out.gba\r\n"
            "copy /b ./out.gba+\"roms/my game.nes\" out.gba\r\n"
            "copy /b out.gba+\"roms/b+c.nes\" \"my out.gba\"\r\n"
            "copy /b \"my out.gba\"+\"roms/b+c.nes\" \"my out.gba\"\r\n";
        const Result result = run(script, QStringLiteral("/"), {path("TamLof.bat")});
        QCOMPARE(result.err, QByteArray());
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out, QByteArray(script).replace("\r\n", "\n"));
        const QByteArray joined = input("tamblinvx.gba") + input("menu.txt") + input("roms/a.nes")
            + input("roms/my game.nes");
        QCOMPARE(readAll(path("out.gba")), joined);
        QCOMPARE(readAll(path("my out.gba")), joined + input("roms/b+c.nes") + input("roms/b+c.nes"));
    }

    void replacesAnExistingDestination_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::newRow("new file") << QByteArray();
        QTest::newRow("longer file") << QByteArray(5 * 1024 * 1024, 'x');
    }
    void replacesAnExistingDestination()
    {
        QFETCH(QByteArray, before);
        if (!before.isEmpty())
            writeFile(path("out.gba"), before);
        QCOMPARE(run("copy /b roms/a.nes+menu.txt out.gba\r\n").exitCode, 0);
        QCOMPARE(readAll(path("out.gba")), input("roms/a.nes") + input("menu.txt"));
    }

    void acceptsLineEndsBlanksAndCase_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::newRow("CR LF") << QByteArray("copy /b roms/a.nes+menu.txt out.gba\r\ncopy /b out.gba+roms/a.nes out.gba\r\n");
        QTest::newRow("LF") << QByteArray("copy /b roms/a.nes+menu.txt out.gba\ncopy /b out.gba+roms/a.nes out.gba\n");
        QTest::newRow("no final line end") << QByteArray("copy /b roms/a.nes+menu.txt out.gba\r\ncopy /b out.gba+roms/a.nes out.gba");
        QTest::newRow("empty lines, padding, case")
            << QByteArray("\r\n \t\r\n  COPY /B roms/a.nes+menu.txt   out.gba \t\r\n\r\n\tCopy /b out.gba+roms/a.nes out.gba\r\n\r\n");
    }
    void acceptsLineEndsBlanksAndCase()
    {
        QFETCH(QByteArray, script);
        const Result result = run(script);
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out.count('\n'), qsizetype(2));
        QCOMPARE(readAll(path("out.gba")), input("roms/a.nes") + input("menu.txt") + input("roms/a.nes"));
    }

    void cdIntoAQuotedDirectory()
    {
        QVERIFY(QDir(m_dir->path()).mkdir("my dir"));
        QCOMPARE(run("cd \"my dir\"\r\ncopy /b ../menu.txt+\"../roms/b+c.nes\" out.gba\r\n").exitCode, 0);
        QCOMPARE(readAll(path("my dir/out.gba")), input("menu.txt") + input("roms/b+c.nes"));
        QVERIFY(!QFileInfo::exists(path("out.gba")));
    }

    // The kernel will not copy from /proc to a disk file; read/write must.
    void copiesWhatTheKernelCopyRefuses()
    {
        QCOMPARE(run("copy /b menu.txt+/proc/version out.gba\r\n").exitCode, 0);
        QCOMPARE(readAll(path("out.gba")), input("menu.txt") + readAll("/proc/version"));
    }

    void stopsAtABadLine_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<int>("line");
        QTest::addColumn<QByteArray>("reason");
        const QByteArray first = "copy /b tamblinvx.gba+menu.txt out.gba\r\n";
        QTest::newRow("unknown command, later line") << first + "del out.gba\r\n" << 2 << QByteArray("unknown command");
        QTest::newRow("unterminated quote") << QByteArray("copy /b menu.txt+\"roms/a.nes out.gba\r\n") << 1 << QByteArray("unterminated quote");
        QTest::newRow("no destination") << QByteArray("copy /b tamblinvx.gba+menu.txt\r\n") << 1 << QByteArray("copy without a destination");
        QTest::newRow("no sources") << QByteArray("copy /b \r\n") << 1 << QByteArray("copy without sources");
        QTest::newRow("text after destination") << QByteArray("copy /b menu.txt out.gba x\r\n") << 1 << QByteArray("unexpected text after the destination");
        QTest::newRow("missing source, appending") << first + "copy /b out.gba+roms/zz.nes out.gba\r\n" << 2 << QByteArray("No such file or directory");
        QTest::newRow("missing source, creating") << QByteArray("copy /b tamblinvx.gba+zz.nes out.gba\r\n") << 1 << QByteArray("No such file or directory");
        QTest::newRow("destination is a directory") << QByteArray("copy /b menu.txt roms\r\n") << 1 << QByteArray("Is a directory");
        QTest::newRow("destination in a missing directory") << QByteArray("copy /b menu.txt nodir/out.gba\r\n") << 1 << QByteArray("No such file or directory");
        QTest::newRow("cd into a missing directory") << QByteArray("cd nodir\r\ncopy /b menu.txt out.gba\r\n") << 1 << QByteArray("No such file or directory");
        QTest::newRow("destination is a later source") << QByteArray("copy /b menu.txt+roms/a.nes roms/a.nes\r\n") << 1 << QByteArray("destination is also a source");
    }
    void stopsAtABadLine()
    {
        QFETCH(QByteArray, script);
        QFETCH(int, line);
        QFETCH(QByteArray, reason);
        const Result result = run(script);
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(result.err, "batrun: TamLof.bat:" + QByteArray::number(line) + ": " + lineOf(script, line) + ": " + reason + "\n");
        QVERIFY(!QFileInfo::exists(path("out.gba")));
        QVERIFY(QFileInfo(path("roms")).isDir());
        for (const auto& [name, data] : m_inputs)
            QVERIFY2(readAll(path(name)) == data, qPrintable(name));
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("no argument") << QStringList() << QByteArray("usage");
        QTest::newRow("missing script") << QStringList{"none.bat"} << QByteArray("none.bat: No such file or directory");
    }
    void usageErrors()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, message);
        const Result result = run("copy /b menu.txt out.gba\r\n", {}, args);
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.contains(message), result.err.constData());
    }
};

QTEST_GUILESS_MAIN(TstBatrun)
#include "tst_batrun.moc"
