#include "buildaction.h"
#include "menufile.h"
#include "romlist.h"
#include "testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

const QByteArray Top = "# Generated with TamblinVX Lofter by Veskin\r\n\r\n";
const QByteArray Bottom = "\r\n# Generated with TamblinVx Lofter by Veskin\r\n\r\n";

const ScriptForm Batrun = ScriptForm::batrun(), Cp437 = ScriptForm::windowsIn(437), Cp850 = ScriptForm::windowsIn(850);

// What opening a folder as a file fails with.
#ifdef Q_OS_WIN
const int FolderAsFile = EACCES;
#else
const int FolderAsFile = EISDIR;
#endif

} // namespace

Q_DECLARE_METATYPE(ScriptForm)

class TestBuild : public QObject
{
    Q_OBJECT

private slots:
    void numeric_data();
    void numeric();
    void menuLine_data();
    void menuLine();
    void menuOfWholeList();
    void scriptExample();
    void scriptPath_data();
    void scriptPath();
    void failures_data();
    void failures();
    void errorTexts();
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
    QTest::newRow("outside Latin-1") << "Caf\u00e9 \u4e16 \U0001F600" << QList<int>{} << "" << "" << QByteArray("Caf\xe9 ? ?");
    QTest::newRow("control characters") << "two\r\nlines\t!" << QList<int>{} << "" << "" << QByteArray("two  lines !");
}

void TestBuild::menuLine()
{
    QFETCH(QString, title);
    QFETCH(QList<int>, options);
    QFETCH(QString, sprite);
    QFETCH(QString, mem);
    QFETCH(QByteArray, line);
    RomList roms;
    roms.AddRom("x.nes");
    roms.at(0) = RomEntry{"x.nes", title, {}, mem, sprite};
    for (int option : options)
        roms.at(0).Options[std::size_t(option)] = 1;
    QCOMPARE(menuFileBytes(roms), Top + line + "\r\n" + Bottom);
}

void TestBuild::menuOfWholeList()
{
    RomList roms;
    QCOMPARE(menuFileBytes(roms), Top + Bottom);
    // MemFollow is replaced although no option writes it; any option value but 0 counts as set.
    roms.AddRom("a.nes");
    roms.at(0) = RomEntry{"a.nes", "a", {2}, "abc", " 1.5 "};
    QCOMPARE(menuFileBytes(roms), Top + "a|1\r\n" + Bottom);
    QCOMPARE(roms.at(0).MemFollow, QString("0"));
    QCOMPARE(roms.at(0).SpriteFollow, QString(" 1.5 "));
    QCOMPARE(roms.at(1), RomEntry{}); // the spare slot is not a game
}

void TestBuild::scriptExample()
{
    RomList roms(u'\\');
    roms.AddRom(R"(C:\roms\a.nes)");
    roms.AddRom(R"(C:\roms\b.nes)");
    roms.AddRom(R"(C:\roms\a.nes)"); // twice in the list, appended twice
    QCOMPARE(buildScriptBytes(R"(C:\Tools)", R"(C:\out.gba)", roms),
             QByteArray("cd C:\\Tools\r\n"
                        "copy /b tamblinvx.gba+menu.txt C:\\out.gba\r\n"
                        "copy /b C:\\out.gba+C:\\roms\\a.nes C:\\out.gba\r\n"
                        "copy /b C:\\out.gba+C:\\roms\\b.nes C:\\out.gba\r\n"
                        "copy /b C:\\out.gba+C:\\roms\\a.nes C:\\out.gba\r\n"));
}

void TestBuild::scriptPath_data()
{
    QTest::addColumn<ScriptForm>("form");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("spelled"); // empty: refused
    QTest::newRow("plain") << Batrun << "/roms/ok_name-1.nes" << QByteArray("/roms/ok_name-1.nes");
    for (const char c : QByteArray(" +&|<>^(),;=%!")) // no "%" doubled for batrun
        QTest::newRow(QByteArray(1, c)) << Batrun << QStringLiteral("/o%1.gba").arg(c) << "\"/o" + QByteArray(1, c) + ".gba\"";
    QTest::newRow("backslashes") << Cp437 << "C:/roms/a.nes" << QByteArray("C:\\roms\\a.nes");
    QTest::newRow("doubled percent") << Cp437 << "C:\\100%!.gba" << QByteArray("\"C:\\100%%!.gba\"");
    QTest::newRow("e acute, 437") << Cp437 << "C:\\Caf\u00e9\\a.nes" << QByteArray("C:\\Caf\x82\\a.nes");
    QTest::newRow("O stroke, 850") << Cp850 << "C:\\\u00d8.nes" << QByteArray("C:\\\x9d.nes");
    QTest::newRow("O stroke, 437") << Cp437 << "C:\\\u00d8.nes" << QByteArray();
    QTest::newRow("a macron, 437") << Cp437 << "C:\\\u0101.nes" << QByteArray(); // not "a"
}

void TestBuild::scriptPath()
{
    QFETCH(ScriptForm, form);
    QFETCH(QString, path);
    QFETCH(QByteArray, spelled);
    try {
        QCOMPARE(buildScriptBytes(path, path, RomList(), form),
                 "cd " + spelled + "\r\ncopy /b tamblinvx.gba+menu.txt " + spelled + "\r\n");
    } catch (const AppError &error) {
        QVERIFY2(spelled.isEmpty() && error.text().contains(path), error.what());
    }
}

void TestBuild::failures_data()
{
    QTest::addColumn<ScriptForm>("form");
    QTest::addColumn<QString>("start"); // "%1" stands for a fresh temporary folder
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("rom");
    QTest::addColumn<QString>("folder"); // made in it first, under a name the build writes
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("menuWritten");
    const int refused = AppError::InvalidArgument;
    QTest::newRow("quote in output") << Batrun << "%1" << "/o/\"x\".gba" << "/r/a.nes" << "" << refused << false;
    QTest::newRow("newline in rom") << Batrun << "%1" << "/o/x.gba" << "/r/a\nb.nes" << "" << refused << false;
    QTest::newRow("outside the code page") << Cp437 << "%1" << "/o/x.gba" << "/r/\u4e16.nes" << "" << refused << false;
    QTest::newRow("output is a rom") << Batrun << "%1" << "/r/./a.nes" << "/r/a.nes" << "" << refused << false;
    QTest::newRow("output is the emulator image") << Batrun << "%1" << "tamblinvx.gba" << "/r/a.nes" << "" << refused << false;
    QTest::newRow("output is the menu") << Batrun << "%1" << "%1/sub/../menu.txt" << "/r/a.nes" << "" << refused << false;
    QTest::newRow("output is the script") << Batrun << "%1" << "%1/TamLof.bat" << "/r/a.nes" << "" << refused << false;
    QTest::newRow("start folder gone") << Batrun << "%1/gone" << "/o.gba" << "/r/a.nes" << "" << ENOENT << false;
    QTest::newRow("menu unwritable") << Batrun << "%1" << "/o.gba" << "/r/a.nes" << "menu.txt" << FolderAsFile << false;
    QTest::newRow("script unwritable") << Batrun << "%1" << "/o.gba" << "/r/a.nes" << "TamLof.bat" << FolderAsFile << true;
}

void TestBuild::failures()
{
    QFETCH(ScriptForm, form);
    QFETCH(QString, start);
    QFETCH(QString, output);
    QFETCH(QString, rom);
    QFETCH(QString, folder);
    QFETCH(int, error);
    QFETCH(bool, menuWritten);
    // Windows cannot remove a folder that is current.
    const auto restore = qScopeGuard([saved = QDir::currentPath()] { QDir::setCurrent(saved); });
    QTemporaryDir dir;
    QVERIFY(folder.isEmpty() || QDir(dir.path()).mkdir(folder));
    RomList roms(u'/');
    roms.AddRom(rom);
    roms.at(0).MemFollow = "x";
    const auto inDir = [&](QString path) { return path.replace("%1", dir.path()); };
    QCOMPARE(errorOf([&] { RunBuild(inDir(start), inDir(output), roms, form); }), error);
    // What was done before the failing step stays done, nothing after it runs.
    QCOMPARE(readAll(dir.filePath("menu.txt")), menuWritten ? Top + "a\r\n" + Bottom : QByteArray());
    QCOMPARE(roms.at(0).MemFollow, QString(menuWritten ? "0" : "x"));
    QVERIFY(!QFileInfo(dir.filePath("TamLof.bat")).isFile());
}

void TestBuild::errorTexts()
{
    // Read as Windows codes, 13 and 28 would say "The data is invalid." and
    // "The printer is out of paper.".
    for (const int number : {EACCES, ENOSPC, ENOENT})
        QCOMPARE(AppError::fromErrno(number).text(), QString::fromLocal8Bit(std::strerror(number)));
#ifdef Q_OS_WIN
    SetLastError(ERROR_FILE_NOT_FOUND);
    const AppError error = AppError::fromLastWindowsError();
    QCOMPARE(error.number(), int(ERROR_FILE_NOT_FOUND));
    QVERIFY(!error.text().isEmpty() && !error.text().endsWith(u'\n'));
#endif
}

QTEST_GUILESS_MAIN(TestBuild)
#include "tst_build.moc"
