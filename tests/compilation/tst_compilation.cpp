#include "buildaction.h"
#include "buildreadback.h"
#include "menufile.h"
#include "romlist.h"
#include "scriptrunner.h"
#include "testsupport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#endif

namespace {

const QByteArray Top = "# Generated with TamblinVX Lofter by Veskin\r\n\r\n";
const QByteArray Bottom = "\r\n# Generated with TamblinVx Lofter by Veskin\r\n\r\n";

const ScriptForm Batrun = ScriptForm::batrun(), Cp437 = ScriptForm::windowsIn(437), Cp850 = ScriptForm::windowsIn(850);

// What sits under a name in the start folder before a build: a link to the
// file "victim" beside it or to itself, a pipe, a folder, a file that holds
// "old" and may not be run, a script whose interpreter is missing; or
// another program holds the start folder.
enum class Planted { Nothing, LinkToVictim, LinkToItself, Pipe, Folder, OldFile, ScriptOfMissingShell, FolderLock };

// What the build takes the planted name for.
enum class Use { BuildFile, StartFolder, Interpreter };

// A build after something was planted, and what it then reports.
struct Failure
{
    QString name = {}; // in the start folder
    Planted planted = Planted::Nothing;
    Use as = Use::BuildFile;
    qint64 fileSizeLimit = 0; // bytes a process may write to a file; 0: no limit
    int error = 0;            // errno of the report; 0: no report
    QString named = {};       // the file the report names; {start} is the start folder
    QByteArray menu = {};     // what "menu.txt" holds afterwards
    QString memFollow = "0";  // the game's MemFollow afterwards; "x" until the menu is written
};

// How a build's two files are edited before they are read back: a text
// replaced in "menu.txt" or in "TamLof.bat", or every game's line left out of both.
enum class Edit { Menu, Script, NoGames };

} // namespace

Q_DECLARE_METATYPE(ScriptForm)
Q_DECLARE_METATYPE(Failure)
Q_DECLARE_METATYPE(Edit)

class TestBuild : public QObject
{
    Q_OBJECT

private slots:
    void numeric_data()
    {
        // clang-format off
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("numeric");
        for (const char *t : {"0", "200", "-7", "+3", "1.5", ".5", "5.", "1e3", "2.5E-2", " 12 ", "  -0.0e+0"})
            QTest::newRow(t) << QString(t) << true;
        for (const char *t : {"", " ", "12abc", "abc", "+", "-.", ".", "1e", "1e+", "1 2", "--1", "0x1F", "1.2.3"})
            QTest::newRow(t) << QString(t) << false;
        // clang-format on
    }

    void numeric()
    {
        QFETCH(QString, text);
        QFETCH(bool, numeric);
        QCOMPARE(isNumeric(text), numeric);
    }

    void menuLine_data()
    {
        // clang-format off
        QTest::addColumn<QString>("title");
        QTest::addColumn<QList<int>>("options");
        QTest::addColumn<QString>("sprite");
        QTest::addColumn<QString>("mem");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("why"); // the title's mark says why it does not reach the menu as typed
        const QString fine, bar = "\"|\" separates the menu line's fields.";
        const QString latin1 = "A character outside Latin-1 becomes \"?\".", control = "A control character becomes a blank.";
        QTest::newRow("title alone") << "Alpha" << QList<int>{} << "3" << "4" << QByteArray("Alpha") << fine;
        QTest::newRow("flags") << "Alpha" << QList<int>{0, 2} << "" << "" << QByteArray("Alpha|5") << fine;
        QTest::newRow("memory") << "Alpha" << QList<int>{3, 5} << "" << "200" << QByteArray("Alpha|40|200") << fine;
        QTest::newRow("sprite wins") << "Alpha" << QList<int>{4, 5} << "7" << "200" << QByteArray("Alpha|48|7") << fine;
        QTest::newRow("empty memory") << "A" << QList<int>{5} << "" << "" << QByteArray("A|32|0") << fine;
        QTest::newRow("bad sprite") << "A" << QList<int>{4} << "x1" << "" << QByteArray("A|16|0") << fine;
        QTest::newRow("kept blanks") << "A" << QList<int>{4} << " 9" << "" << QByteArray("A|16| 9") << fine;
        QTest::newRow("all options") << "A" << QList<int>{0, 1, 2, 3, 6} << "" << "" << QByteArray("A|79") << fine;
        QTest::newRow("empty title") << "" << QList<int>{} << "" << "" << QByteArray("") << fine;
        QTest::newRow("empty title, flags") << "" << QList<int>{1} << "" << "" << QByteArray("|2") << fine;
        QTest::newRow("bar in title") << "A|B" << QList<int>{} << "" << "" << QByteArray("A|B") << bar;
        QTest::newRow("outside Latin-1") << "Caf\u00e9 \u4e16 \U0001F600" << QList<int>{} << "" << "" << QByteArray("Caf\xe9 ? ?") << latin1;
        QTest::newRow("control characters") << "two\r\nlines\t!\x10\x7f\u009f\u00ff" << QList<int>{} << "" << "" << QByteArray("two  lines !   \xff") << control;
        // clang-format on
    }

    void menuLine()
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
        QFETCH(QString, why);
        QCOMPARE(titleWarning(roms.at(0)),
                 why.isEmpty() ? "" : "menu.txt will hold: " + QString::fromLatin1(line) + '\n' + why);
        normaliseFollowValues(roms);
        QCOMPARE(menuFileBytes(roms), Top + line + "\r\n" + Bottom);
    }

    void menuOfWholeList()
    {
        RomList roms;
        QCOMPARE(menuFileBytes(roms), Top + Bottom);
        // MemFollow is replaced although no option writes it; any option value but 0 counts as set.
        roms.AddRom("a.nes");
        roms.at(0) = RomEntry{"a.nes", "a", {2}, "abc", " 1.5 "};
        normaliseFollowValues(roms);
        QCOMPARE(menuFileBytes(roms), Top + "a|1\r\n" + Bottom);
        QCOMPARE(roms.at(0).MemFollow, QString("0"));
        QCOMPARE(roms.at(0).SpriteFollow, QString(" 1.5 "));
        QCOMPARE(roms.at(1), RomEntry{}); // the spare slot is not a game
    }

    void scriptExample()
    {
        RomList roms(u'\\');
        roms.AddRom(R"(C:\roms\a.nes)");
        roms.AddRom(R"(C:\roms\b.nes)");
        roms.AddRom(R"(C:\roms\a.nes)"); // twice in the list, appended twice
        QCOMPARE(buildScriptBytes(R"(C:\Tools)", R"(C:\out.gba)", roms, ScriptRunner().form()),
                 QByteArray("cd C:\\Tools\r\n"
                            "copy /b tamblinvx.gba+menu.txt C:\\out.gba\r\n"
                            "copy /b C:\\out.gba+C:\\roms\\a.nes C:\\out.gba\r\n"
                            "copy /b C:\\out.gba+C:\\roms\\b.nes C:\\out.gba\r\n"
                            "copy /b C:\\out.gba+C:\\roms\\a.nes C:\\out.gba\r\n"));
    }

    void scriptPath_data()
    {
        // clang-format off
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
        QTest::newRow("longer than cmd opens") << Cp437 << "C:\\" + QString(257, u'x') << QByteArray();
        QTest::newRow("as long as cmd opens") << Cp437 << "C:\\" + QString(256, u'x') << "C:\\" + QByteArray(256, 'x');
        // clang-format on
    }

    void scriptPath()
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

    // A build refused before it writes: the start folder, which may lack the
    // emulator image, holds other names for the inputs (a link "roms" to the
    // ROM folder, "image.gba" to the emulator image, a hard link "hard.gba" to
    // the ROM); {start} and {roms} in a path stand for the two folders.
    void refusals_data()
    {
        // clang-format off
        QTest::addColumn<bool>("imageThere");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("rom");
        QTest::addColumn<AppError::Code>("error");
        const AppError::Code InvalidArgument = programError(AppError::InvalidArgument);
        QTest::newRow("no output") << true << "" << "{roms}/a.nes" << InvalidArgument;
        QTest::newRow("no emulator image") << false << "{start}/x.gba" << "{roms}/a.nes" << errnoError(ENOENT);
        QTest::newRow("rom missing") << true << "{start}/x.gba" << "{roms}/gone.nes" << errnoError(ENOENT);
        QTest::newRow("rom is a folder") << true << "{start}/x.gba" << "{roms}/folder.nes" << errnoError(EISDIR);
        QTest::newRow("output folder missing") << true << "{start}/none/x.gba" << "{roms}/a.nes" << errnoError(ENOENT);
        QTest::newRow("quote in output") << true << "/o/\"x\".gba" << "{roms}/a.nes" << InvalidArgument;
        QTest::newRow("newline in rom") << true << "/o/x.gba" << "{roms}/a\nb.nes" << InvalidArgument;
        QTest::newRow("escape in output") << true << "/o/\x1bx.gba" << "{roms}/a.nes" << InvalidArgument;
        QTest::newRow("rom outside the code page") << true << "/o/x.gba" << "{roms}/\u4e16.nes" << InvalidArgument;
        QTest::newRow("output is a rom") << true << "{roms}/./a.nes" << "{roms}/a.nes" << InvalidArgument;
        QTest::newRow("output is the emulator image") << true << "tamblinvx.gba" << "{roms}/a.nes" << InvalidArgument;
        QTest::newRow("output is the menu") << true << "{start}/sub/../menu.txt" << "{roms}/a.nes" << InvalidArgument;
        QTest::newRow("output is the script") << true << "{start}/TamLof.bat" << "{roms}/a.nes" << InvalidArgument;
#ifndef Q_OS_WIN
        QTest::newRow("rom through a linked folder") << true << "{start}/roms/a.nes" << "{roms}/a.nes" << InvalidArgument;
        QTest::newRow("link to the emulator image") << true << "image.gba" << "{roms}/a.nes" << InvalidArgument;
        QTest::newRow("hard link to a rom") << true << "{start}/hard.gba" << "{roms}/a.nes" << InvalidArgument;
        QTest::newRow("emulator image by another name") << true << "/proc/self/cwd/tamblinvx.gba" << "{roms}/a.nes" << InvalidArgument;
        QTest::newRow("script not written yet, another name") << true << "/proc/self/cwd/TamLof.bat" << "{roms}/a.nes" << InvalidArgument;
        QTest::newRow("missing rom is the output, not written yet") << true << "{roms}/gone.nes" << "{roms}/gone.nes" << InvalidArgument;
#endif
        // clang-format on
    }

    void refusals()
    {
        QFETCH(bool, imageThere);
        QFETCH(QString, output);
        QFETCH(QString, rom);
        QFETCH(AppError::Code, error);
        QTemporaryDir start, romDir;
        // Windows removes no folder that is a process's current one, as the build makes start.
        const CurrentDirGuard guard;
        if (imageThere)
            writeFile(start.filePath("tamblinvx.gba"), "image");
        writeFile(romDir.filePath("a.nes"), "rom");
        QVERIFY(QDir(romDir.path()).mkdir("folder.nes"));
#ifndef Q_OS_WIN
        QCOMPARE(QProcess::execute(
                         "sh",
                         {"-c",
                          "cd \"$0\" && ln -s \"$1\" roms && ln -s tamblinvx.gba image.gba && ln \"$1/a.nes\" hard.gba",
                          start.path(), romDir.path()}),
                 0);
#endif
        const QStringList before = QDir(start.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        const auto inFolders = [&](QString path) {
            return path.replace("{start}", start.path()).replace("{roms}", romDir.path());
        };
        RomList roms;
        roms.AddRom(inFolders(rom));
        // In the Windows form, whose code page refuses a path as the other rules do.
#ifdef Q_OS_WIN
        ScriptRunner runner;
#else
        ScriptRunner runner(ScriptRunner::besideProgram(), Cp437);
#endif
        QCOMPARE(errorOf([&] { RunBuild(start.path(), inFolders(output), roms, runner); }), error);
        QCOMPARE(QDir(start.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot), before);
        QCOMPARE(readAll(start.filePath("tamblinvx.gba")), QByteArray(imageThere ? "image" : ""));
        QCOMPARE(readAll(romDir.filePath("a.nes")), QByteArray("rom"));
    }

    // What the report says when cmd has ended: the sizes the build expected
    // and found (-1: no file), cmd's exit code; NoError: no report.
    void joinedImage_data()
    {
        // clang-format off
        QTest::addColumn<qint64>("expected");
        QTest::addColumn<qint64>("found");
        QTest::addColumn<AppError::Code>("error");
        QTest::addColumn<QString>("says");
        const qint64 limit = CartridgeLimit;
        // Windows' ERROR_FILE_NOT_FOUND and ERROR_INVALID_DATA, the report's numbers on every system.
        const AppError::Code FileNotFound{AppError::Domain::Windows, 2}, InvalidData{AppError::Domain::Windows, 13};
        QTest::newRow("whole") << qint64(84113) << qint64(84113) << NoError << "";
        QTest::newRow("short") << qint64(84113) << qint64(76113) << InvalidData << "76113 bytes long, and it should be 84113 bytes long. The command interpreter ended with exit code 1.";
        QTest::newRow("longer") << qint64(84113) << qint64(84114) << InvalidData << "84114 bytes long, and it should be 84113";
        QTest::newRow("missing") << qint64(84113) << qint64(-1) << FileNotFound << "not whole: no image is there";
        QTest::newRow("empty") << qint64(84113) << qint64(0) << InvalidData << "0 bytes long";
        QTest::newRow("whole, as big as a cartridge") << limit << limit << NoError << "";
        QTest::newRow("whole, over 32 MiB") << limit + 1 << limit + 1 << programError(AppError::Overflow) << "is 32.0 MiB, more than the 32 MiB a Game Boy Advance cartridge can address. The image was kept.";
        QTest::newRow("short, over 32 MiB") << limit + 9 << limit + 1 << InvalidData << "should be 33554441 bytes long";
        // clang-format on
    }

    void joinedImage()
    {
        QFETCH(qint64, expected);
        QFETCH(qint64, found);
        QFETCH(AppError::Code, error);
        QFETCH(QString, says);
        const std::optional<AppError> report = joinedImageReport("C:/out/x.gba", expected, found, 1);
        QCOMPARE(report ? report->code() : NoError, error);
        QVERIFY(!report
                || (report->text().contains(QDir::toNativeSeparators("C:/out/x.gba"))
                    && report->text().contains(says)));
    }

#ifndef Q_OS_WIN
    // A second build, from this program or another, while the first's join
    // still runs: refused, and the first image whole. batrun starts only once
    // the test says so, which makes the overlap certain.
    void secondBuildWhileJoining()
    {
        Descendants started;
        QTemporaryDir dir;
        writeFile(dir.filePath("tamblinvx.gba"), QByteArray(70000, 'G'));
        writeFile(dir.filePath("a.nes"), "NES\x1a");
        const QString gatedBatrun = dir.filePath("gated batrun");
        writeFile(gatedBatrun,
                  "#!/bin/sh\nuntil [ -e go ]; do sleep 0.01; done\nexec '"
                          + QFile::encodeName(ScriptRunner::besideProgram()) + "' \"$@\"\n");
        QVERIFY(QFile::setPermissions(gatedBatrun, QFile::ReadOwner | QFile::ExeOwner));
        RomList roms;
        roms.AddRom(dir.filePath("a.nes"));
        ScriptRunner first(gatedBatrun), second(gatedBatrun);
        RunBuild(dir.path(), dir.filePath("first.gba"), roms, first);
        const QByteArray menu = readAll(dir.filePath("menu.txt")), script = readAll(dir.filePath("TamLof.bat"));
        for (ScriptRunner *runner : {&first, &second})
            QCOMPARE(errorOf([&] { RunBuild(dir.path(), dir.filePath("second.gba"), roms, *runner); }),
                     errnoError(EWOULDBLOCK));
        QCOMPARE(readAll(dir.filePath("TamLof.bat")), script);
        writeFile(dir.filePath("go"), {});
        QCOMPARE(started.waitForAll(60000), QList<int>{0});
        QCOMPARE(readAll(dir.filePath("first.gba")), QByteArray(70000, 'G') + menu + "NES\x1a");
        QVERIFY(!QFileInfo::exists(dir.filePath("second.gba")));
    }

    // A build after something was planted in its start folder, and what the
    // build then reports.
    void failures_data()
    {
        const QByteArray menu = Top + "a\r\n" + Bottom;
        QTest::addColumn<Failure>("failure");
        // clang-format off
        QTest::newRow("link under the menu's name") << Failure{.name = "menu.txt", .planted = Planted::LinkToVictim, .menu = menu};
        QTest::newRow("link under the script's name") << Failure{.name = "TamLof.bat", .planted = Planted::LinkToVictim, .menu = menu};
        QTest::newRow("pipe under the menu's name") << Failure{.name = "menu.txt", .planted = Planted::Pipe, .menu = menu};
        QTest::newRow("start folder gone") << Failure{.name = "gone", .planted = Planted::Nothing, .as = Use::StartFolder, .error = ENOENT, .named = "{start}/gone", .memFollow = "x"};
        QTest::newRow("folder under the menu's name") << Failure{.name = "menu.txt", .planted = Planted::Folder, .error = EISDIR, .named = "{start}/menu.txt"};
        QTest::newRow("folder under the script's name") << Failure{.name = "TamLof.bat", .planted = Planted::Folder, .error = EISDIR, .named = "{start}/TamLof.bat", .menu = menu};
        QTest::newRow("menu cannot be written whole") << Failure{.name = "menu.txt", .planted = Planted::OldFile, .fileSizeLimit = 16, .error = EFBIG, .named = "{start}/menu.txt", .menu = "old"};
        QTest::newRow("menu a link to itself") << Failure{.name = "menu.txt", .planted = Planted::LinkToItself, .error = ELOOP, .named = "{start}/menu.txt", .memFollow = "x"};
        QTest::newRow("held by another program") << Failure{.planted = Planted::FolderLock, .error = EWOULDBLOCK, .memFollow = "x"};
        QTest::newRow("no interpreter") << Failure{.name = "batrun", .planted = Planted::Nothing, .as = Use::Interpreter, .error = ENOENT, .named = "{start}/batrun", .menu = menu};
        QTest::newRow("interpreter's own interpreter missing") << Failure{.name = "batrun", .planted = Planted::ScriptOfMissingShell, .as = Use::Interpreter, .error = ENOENT, .named = "{start}/batrun", .menu = menu};
        QTest::newRow("interpreter cannot run") << Failure{.name = "batrun", .planted = Planted::OldFile, .as = Use::Interpreter, .error = EACCES, .named = "{start}/batrun", .menu = menu};
        // clang-format on
    }

    void failures()
    {
        QFETCH(Failure, failure);
        QTemporaryDir dir;
        const QString name = dir.filePath(failure.name);
        writeFile(dir.filePath("victim"), "victim");
        if (failure.planted == Planted::LinkToVictim)
            QVERIFY(QFile::link("victim", name));
        if (failure.planted == Planted::LinkToItself)
            QVERIFY(QFile::link(name, name));
        if (failure.planted == Planted::Pipe)
            QCOMPARE(::mkfifo(qPrintable(name), 0600), 0);
        if (failure.planted == Planted::Folder)
            QVERIFY(QDir().mkdir(name));
        if (failure.planted == Planted::OldFile)
            writeFile(name, "old");
        if (failure.planted == Planted::ScriptOfMissingShell) {
            writeFile(name, "#!/nonexistent/sh\n");
            QVERIFY(QFile::setPermissions(name, QFile::ExeOwner | QFile::ReadOwner));
        }
        // As another program's build would hold the folder, from its own descriptor.
        const int other = ::open(qPrintable(dir.path()), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (failure.planted == Planted::FolderLock)
            QCOMPARE(::flock(other, LOCK_EX | LOCK_NB), 0);
        writeFile(dir.filePath("tamblinvx.gba"), "image");
        writeFile(dir.filePath("a.nes"), "rom");
        RomList roms;
        roms.AddRom(dir.filePath("a.nes"));
        roms.at(0).MemFollow = "x";
        // A file size limit makes a write fail part-way, even for root.
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit small{failure.fileSizeLimit ? rlim_t(failure.fileSizeLimit) : limit.rlim_cur, limit.rlim_max};
        const auto sizeSignal = signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
        QString report;
        ScriptRunner runner(failure.as == Use::Interpreter ? name : QStringLiteral("/bin/true"));
        try {
            RunBuild(failure.as == Use::StartFolder ? name : dir.path(), dir.filePath("out.gba"), roms, runner);
        } catch (const AppError &e) {
            report = QString("%1 %2").arg(e.number()).arg(e.text());
        }
        setrlimit(RLIMIT_FSIZE, &limit);
        signal(SIGXFSZ, sizeSignal);
        ::close(other);
        const QString reason = QString::fromLocal8Bit(std::strerror(failure.error));
        const QString where =
                failure.named.isEmpty() ? QString() : " (" + failure.named.replace("{start}", dir.path()) + ")";
        QVERIFY2(failure.error ? report.startsWith(QString::number(failure.error) + ' ')
                                 && (where.isEmpty() || report.contains(reason + where))
                               : report.isEmpty(),
                 qPrintable(report));
        QCOMPARE(readAll(dir.filePath("victim")), QByteArray("victim"));
        QCOMPARE(readAll(dir.filePath("menu.txt")), failure.menu);
        QCOMPARE(roms.at(0).MemFollow, failure.memFollow);
        QCOMPARE(QDir(dir.path()).entryList({"*.tmp"}, QDir::AllEntries | QDir::Hidden), QStringList());
    }
#endif

    // A build's two files, written for three games, read back after one edit.
    void readBack_data()
    {
        QTest::addColumn<ScriptForm>("form");
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("error"); // how the report begins; empty: read back whole
        // clang-format off
        QTest::newRow("round trip, batrun") << Batrun << Edit::Menu << "" << "" << "";
        QTest::newRow("round trip, Windows") << Cp850 << Edit::Menu << "" << "" << "";
        QTest::newRow("a game less in the script") << Batrun << Edit::Script << "copy /b /o/x.gba+/r/c.nes /o/x.gba\r\n" << "" << "Games in menu.txt: 3; in TamLof.bat: 2.";
        QTest::newRow("a game more in the menu") << Batrun << Edit::Menu << "c|1\r\n" << "c|1\r\nd\r\n" << "Games in menu.txt: 4; in TamLof.bat: 3.";
        QTest::newRow("no games") << Batrun << Edit::NoGames << "" << "" << "menu.txt lists no games.";
        QTest::newRow("another start folder") << Batrun << Edit::Script << "cd /start" << "cd /other" << "Line 1 of TamLof.bat is not as this program writes it: \"cd /other\".";
        QTest::newRow("a line feed alone") << Batrun << Edit::Menu << "c|1\r\n" << "c|1\n" << "Line 5 of menu.txt does not end with CR LF.";
        QTest::newRow("no line end") << Batrun << Edit::Script << ".gba\r\n" << ".gba" << "TamLof.bat does not end with a line end.";
        QTest::newRow("no output") << Batrun << Edit::Script << "menu.txt /o/x.gba\r\n" << "menu.txt\r\n" << "Line 2 of TamLof.bat names no output file.";
        QTest::newRow("another output in a game's line") << Batrun << Edit::Script << "+/r/c.nes /o/x.gba" << "+/r/c.nes /o/y.gba" << "Line 5 of TamLof.bat does not add a ROM file to the output.";
        QTest::newRow("a ROM without extension") << Batrun << Edit::Script << "/r/c.nes" << "/r/c" << "Line 5 of TamLof.bat does not add a ROM file to the output.";
        QTest::newRow("a path bare that needs quotes") << Batrun << Edit::Script << "\"/r/b b.nes\"" << "/r/b b.nes" << "Line 4 of TamLof.bat is not as this program writes it";
        QTest::newRow("a quote in a path") << Batrun << Edit::Script << "/r/c.nes" << "/r/c\".nes" << "The path \"/r/c\".nes\" holds a double quote";
        QTest::newRow("percent not doubled") << Cp850 << Edit::Script << "%%" << "%" << "Line 4 of TamLof.bat is not as this program writes it";
        QTest::newRow("not a number") << Batrun << Edit::Menu << "|32|250" << "|32|x" << "Line 3 of menu.txt is not as this program writes it: \"A|B|32|x\".";
        QTest::newRow("both follow options") << Batrun << Edit::Menu << "|32|250" << "|48|250" << "Line 3 of menu.txt sets both follow options.";
        QTest::newRow("a control character") << Batrun << Edit::Menu << "c|1" << "c\t|1" << "Line 5 of menu.txt is not as this program writes it";
        QTest::newRow("another first line") << Batrun << Edit::Menu << "TamblinVX" << "Tamblin" << "Line 1 of menu.txt is not as this program writes it";
        // clang-format on
    }

    void readBack()
    {
        QFETCH(ScriptForm, form);
        QFETCH(Edit, edit);
        QFETCH(QString, from);
        QFETCH(QString, to);
        const QString start = form.windows ? "C:\\start" : "/start",
                      output = form.windows ? "C:\\o\\x.gba" : "/o/x.gba";
        RomList roms(form.windows ? u'\\' : u'/');
        for (const QString path : {"/r/a.nes", "/r/b b.nes", "/r/c.nes"})
            roms.AddRom(form.windows ? QString("C:" + path).replace(u'/', u'\\').replace("b b", "b%\u00e9") : path);
        roms.at(0) = RomEntry{roms.at(0).RomPath, "A|B", {0, 0, 0, 0, 0, 1}, "250", "x"};
        roms.at(1) = RomEntry{roms.at(1).RomPath, "\u00c9t\u00e9|3", {0, 0, 0, 1, 1}, {}, "7"};
        roms.at(2).Options[0] = 1;
        QByteArray menu = menuFileBytes(roms), script = buildScriptBytes(start, output, roms, form);
        (edit == Edit::Script ? script : menu).replace(from.toLatin1(), to.toLatin1());
        if (edit == Edit::NoGames) // the script keeps its first two lines
            std::tie(menu, script) = std::pair(menuFileBytes(RomList()),
                                               script.first(script.indexOf('\n', script.indexOf('\n') + 1) + 1));
        QString report;
        try {
            const LastBuild build = readBuildFiles(menu, script, start, form);
            QCOMPARE(build.outputPath, output);
            for (qint16 i = 0; i < 3; ++i)
                QCOMPARE(build.roms.at(i),
                         (RomEntry{roms.at(i).RomPath, roms.at(i).MenuTitle, roms.at(i).Options, i == 0 ? "250" : "",
                                   i == 1 ? "7" : ""}));
        } catch (const AppError &error) {
            report = error.text();
        }
        QFETCH(QString, error);
        QVERIFY2(error.isEmpty() ? report.isEmpty() : report.startsWith(error), qPrintable(report));
    }
};

QTEST_GUILESS_MAIN(TestBuild)
#include "tst_compilation.moc"
