#include "apperror.h"
#include "buildaction.h"
#include "buildscript.h"
#include "menufile.h"
#include "romlist.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray Top = "# Generated with TamblinVX Lofter by Veskin\r\n\r\n";
const QByteArray Bottom = "\r\n# Generated with TamblinVx Lofter by Veskin\r\n\r\n";

RomEntry &addGame(RomList &roms, const QString &path, const QString &title = {})
{
    roms.AddRom(path);
    RomEntry &entry = roms.at(qint16(roms.upperBound() - 1));
    if (!title.isNull())
        entry.MenuTitle = title;
    return entry;
}

// Restores the current directory the build changes.
struct CurrentDirGuard
{
    QString saved = QDir::currentPath();
    ~CurrentDirGuard() { QDir::setCurrent(saved); }
};

} // namespace

class TestBuild : public QObject
{
    Q_OBJECT

private slots:
    void numeric_data();
    void numeric();
    void menuLine_data();
    void menuLine();
    void menuOfEmptyList();
    void menuNormalisesEveryFollowValueInPlace();
    void menuEncoding();
    void scriptExample();
    void scriptQuotesWhatTheInterpreterWouldSplit();
    void refusals_data();
    void refusals();
    void failuresKeepWhatWasDone();
    void buildJoinsTheImage();
};

void TestBuild::numeric_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("numeric");
    for (const char *t : {"0", "200", "-7", "+3", "1.5", ".5", "5.", "1e3", "2.5E-2", " 12 ", "  -0.0e+0"})
        QTest::newRow(t) << QString(t) << true;
    for (const char *t : {"", " ", "12abc", "abc", "+", "-.", ".", "1e", "1e+", "1 2", "--1", "0x1F", "1.2.3"})
        QTest::newRow(t) << QString(t) << false;
}

void TestBuild::numeric()
{
    QFETCH(QString, text);
    QFETCH(bool, numeric);
    QCOMPARE(isNumeric(text), numeric);
}

void TestBuild::menuLine_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QList<int>>("options");
    QTest::addColumn<QString>("sprite");
    QTest::addColumn<QString>("mem");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("title alone") << "Alpha" << QList<int>{} << "3" << "4" << QByteArray("Alpha");
    QTest::newRow("flags") << "Alpha" << QList<int>{0, 2} << "" << "" << QByteArray("Alpha|5");
    QTest::newRow("memory") << "Alpha" << QList<int>{3, 5} << "" << "200" << QByteArray("Alpha|40|200");
    QTest::newRow("sprite wins") << "Alpha" << QList<int>{4, 5} << "7" << "200" << QByteArray("Alpha|48|7");
    QTest::newRow("empty memory") << "A" << QList<int>{5} << "" << "" << QByteArray("A|32|0");
    QTest::newRow("bad sprite") << "A" << QList<int>{4} << "x1" << "" << QByteArray("A|16|0");
    QTest::newRow("kept blanks") << "A" << QList<int>{4} << " 9" << "" << QByteArray("A|16| 9");
    QTest::newRow("all options") << "A" << QList<int>{0, 1, 2, 3, 6} << "" << "" << QByteArray("A|79");
    QTest::newRow("empty title") << "" << QList<int>{} << "" << "" << QByteArray("");
    QTest::newRow("empty title, flags") << "" << QList<int>{1} << "" << "" << QByteArray("|2");
    QTest::newRow("bar in title") << "A|B" << QList<int>{} << "" << "" << QByteArray("A|B");
}

void TestBuild::menuLine()
{
    QFETCH(QString, title);
    QFETCH(QList<int>, options);
    QFETCH(QString, sprite);
    QFETCH(QString, mem);
    QFETCH(QByteArray, line);
    RomList roms;
    RomEntry &entry = addGame(roms, "x.nes", title);
    for (int option : options)
        entry.Options[std::size_t(option)] = 1;
    entry.SpriteFollow = sprite;
    entry.MemFollow = mem;
    QCOMPARE(menuFileBytes(roms), Top + line + "\r\n" + Bottom);
}

void TestBuild::menuOfEmptyList()
{
    RomList roms;
    QCOMPARE(menuFileBytes(roms), Top + Bottom);
    QCOMPARE(menuFileBytes(roms).count("\r\n"), 5);
}

void TestBuild::menuNormalisesEveryFollowValueInPlace()
{
    RomList roms;
    RomEntry &a = addGame(roms, "a.nes");
    a.MemFollow = "abc";
    a.SpriteFollow = " 1.5 ";
    RomEntry &b = addGame(roms, "b.nes");
    b.Options[0] = 2; // any value other than 0 counts as set
    b.SpriteFollow = "";
    QCOMPARE(menuFileBytes(roms), Top + "a\r\nb|1\r\n" + Bottom);
    QCOMPARE(roms.at(0).MemFollow, QString("0"));
    QCOMPARE(roms.at(0).SpriteFollow, QString(" 1.5 "));
    QCOMPARE(roms.at(1).SpriteFollow, QString("0"));
    QCOMPARE(roms.at(1).MemFollow, QString("0"));
    QCOMPARE(roms.at(2), RomEntry{}); // the spare slot is not a game
}

void TestBuild::menuEncoding()
{
    RomList roms;
    addGame(roms, "a.nes", QString::fromUtf8("Caf\u00e9 \u4e16 \U0001F600"));
    addGame(roms, "b.nes", "two\r\nlines\t!");
    QCOMPARE(menuFileBytes(roms), Top + "Caf\xe9 ? ?\r\ntwo  lines !\r\n" + Bottom);
}

void TestBuild::scriptExample()
{
    RomList roms(u'\\');
    addGame(roms, R"(C:\roms\a.nes)");
    addGame(roms, R"(C:\roms\b.nes)");
    addGame(roms, R"(C:\roms\a.nes)"); // twice in the list, appended twice
    QCOMPARE(buildScriptBytes(R"(C:\Tools)", R"(C:\out.gba)", roms),
             QByteArray("cd C:\\Tools\r\n"
                        "copy /b tamblinvx.gba+menu.txt C:\\out.gba\r\n"
                        "copy /b C:\\out.gba+C:\\roms\\a.nes C:\\out.gba\r\n"
                        "copy /b C:\\out.gba+C:\\roms\\b.nes C:\\out.gba\r\n"
                        "copy /b C:\\out.gba+C:\\roms\\a.nes C:\\out.gba\r\n"));
    RomList empty;
    QCOMPARE(buildScriptBytes("/w", "/o.gba", empty), QByteArray("cd /w\r\ncopy /b tamblinvx.gba+menu.txt /o.gba\r\n"));
}

void TestBuild::scriptQuotesWhatTheInterpreterWouldSplit()
{
    RomList roms;
    addGame(roms, "/roms/My Game (E).nes");
    addGame(roms, "/roms/a+b.nes");
    addGame(roms, "/roms/ok_name-1.nes");
    const QString percent = "/out/100%!.gba";
#ifdef Q_OS_WIN
    const QByteArray out = "\"/out/100%%!.gba\"";
#else
    const QByteArray out = "\"/out/100%!.gba\"";
#endif
    QCOMPARE(buildScriptBytes("/my dir", percent, roms),
             "cd \"/my dir\"\r\ncopy /b tamblinvx.gba+menu.txt " + out + "\r\n"
             "copy /b " + out + "+\"/roms/My Game (E).nes\" " + out + "\r\n"
             "copy /b " + out + "+\"/roms/a+b.nes\" " + out + "\r\n"
             "copy /b " + out + "+/roms/ok_name-1.nes " + out + "\r\n");
    for (const char c : QByteArray("&|<>^,;="))
        QVERIFY(buildScriptBytes("/w", QStringLiteral("/o%1.gba").arg(c), roms).contains(QByteArray("\"/o") + c));
}

void TestBuild::refusals_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("rom");
    QTest::newRow("quote in output") << "/o/\"x\".gba" << "/r/a.nes";
    QTest::newRow("newline in rom") << "/o/x.gba" << "/r/a\nb.nes";
    QTest::newRow("output is a rom") << "/r/./a.nes" << "/r/a.nes";
    QTest::newRow("output is the emulator image") << "tamblinvx.gba" << "/r/a.nes";
    QTest::newRow("output is the menu") << "%1/sub/../menu.txt" << "/r/a.nes";
    QTest::newRow("output is the script") << "%1/TamLof.bat" << "/r/a.nes";
}

void TestBuild::refusals()
{
    QFETCH(QString, output);
    QFETCH(QString, rom);
    CurrentDirGuard guard;
    QTemporaryDir dir;
    output = output.contains("%1") ? output.arg(dir.path()) : output;
    RomList roms;
    addGame(roms, rom);
    QCOMPARE(errorOf([&] { RunBuild(dir.path(), output, roms); }), int(AppError::InvalidArgument));
    QVERIFY(QDir(dir.path()).isEmpty()); // nothing written
}

void TestBuild::failuresKeepWhatWasDone()
{
    CurrentDirGuard guard;
    QTemporaryDir dir;
    RomList roms;
    addGame(roms, "/r/a.nes").MemFollow = "x";

    // The start directory has gone.
    QCOMPARE(errorOf([&] { RunBuild(dir.filePath("gone"), "/o.gba", roms); }), ENOENT);
    QCOMPARE(roms.at(0).MemFollow, QString("x"));

    // "menu.txt" cannot be created: nothing is normalised, no script is written.
    QVERIFY(QDir(dir.path()).mkdir("menu.txt"));
    QCOMPARE(errorOf([&] { RunBuild(dir.path(), "/o.gba", roms); }), EISDIR);
    QCOMPARE(roms.at(0).MemFollow, QString("x"));
    QVERIFY(!QFile::exists(dir.filePath("TamLof.bat")));
    QVERIFY(QDir(dir.path()).rmdir("menu.txt"));

    // "TamLof.bat" cannot be created: the menu is complete and stays.
    QVERIFY(QDir(dir.path()).mkdir("TamLof.bat"));
    QCOMPARE(errorOf([&] { RunBuild(dir.path(), "/o.gba", roms); }), EISDIR);
    QCOMPARE(readAll(dir.filePath("menu.txt")), Top + "a\r\n" + Bottom);
    QCOMPARE(roms.at(0).MemFollow, QString("0"));
}

void TestBuild::buildJoinsTheImage()
{
    CurrentDirGuard guard;
    QTemporaryDir work, roms_dir;
    const QByteArray image(100000, 'E');
    writeFile(work.filePath("tamblinvx.gba"), image);
    RomList roms;
    QByteArray joinedRoms;
    for (const QString name : {"one.nes", "two words.nes", "three+.nes"}) {
        const QByteArray bytes = QByteArray("NES\x1a") + name.toUtf8().repeated(5000);
        writeFile(roms_dir.filePath(name), bytes);
        addGame(roms, roms_dir.filePath(name));
        joinedRoms += bytes;
    }
    roms.at(1).Options[5] = 1;
    roms.at(1).MemFollow = "300";
    const QString output = roms_dir.filePath("out put.gba");
    QDir::setCurrent(QDir::tempPath()); // the build goes back to its start directory

    RunBuild(work.path(), output, roms);
    QCOMPARE(QDir::currentPath(), QDir(work.path()).canonicalPath());

    const QByteArray menu = Top + "one\r\ntwo words|32|300\r\nthree+\r\n" + Bottom;
    QCOMPARE(readAll(work.filePath("menu.txt")), menu);
    QCOMPARE(waitForContent(output, image + menu + joinedRoms), image + menu + joinedRoms);
}

QTEST_GUILESS_MAIN(TestBuild)
#include "tst_build.moc"
