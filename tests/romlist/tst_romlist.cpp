#include "romcheck.h"
#include "romlist.h"
#include "romlistmodel.h"
#include "testsupport.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestRomList : public QObject
{
    Q_OBJECT

private slots:
    void add_data()
    {
        QTest::addColumn<int>("games"); // already in the list
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<QString>("path");
        QTest::addColumn<AppError::Code>("error");
        QTest::addColumn<QString>("title");
        QTest::addColumn<RomEntry>("spare"); // the spare slot afterwards: a failed add may leave texts there
        const QString far = QString(32767, u'a') + ".nes";
        // clang-format off
        const AppError::Code InvalidArgument = programError(AppError::InvalidArgument), Overflow = programError(AppError::Overflow);
        QTest::newRow("two dots") << 0 << QChar(u'\\') << R"(C:\roms\game.eu.nes)" << NoError << "game.eu" << RomEntry{};
        QTest::newRow("blanks kept") << 0 << QChar(u'/') << "/roms.v2/ Game One .nes" << NoError << " Game One " << RomEntry{};
        QTest::newRow("other separator") << 0 << QChar(u'\\') << "C:/roms/game.nes" << NoError << "C:/roms/game" << RomEntry{};
        QTest::newRow("only a dot") << 0 << QChar(u'/') << "/roms/.nes" << NoError << "" << RomEntry{};
        QTest::newRow("no dot") << 0 << QChar(u'\\') << R"(C:\roms\game)" << InvalidArgument << "" << RomEntry{R"(C:\roms\game)", {}, {}, {}, {}};
        QTest::newRow("dot in folder only") << 0 << QChar(u'/') << "/roms.old/game" << InvalidArgument << "" << RomEntry{"/roms.old/game", {}, {}, {}, {}};
        QTest::newRow("dot at 32767") << 0 << QChar(u'/') << QString(32766, u'a') + ".nes" << NoError << QString(32766, u'a') << RomEntry{};
        QTest::newRow("dot at 32768") << 0 << QChar(u'/') << far << Overflow << "" << RomEntry{};
        QTest::newRow("last game") << 32766 << QChar(u'/') << "/r/last.nes" << NoError << "last" << RomEntry{};
        QTest::newRow("one game too many") << 32767 << QChar(u'/') << "/r/last.nes" << Overflow << "" << RomEntry{"/r/last.nes", "last", {}, {}, {}};
        // clang-format on
    }
    void add()
    {
        QFETCH(int, games);
        QFETCH(QChar, separator);
        QFETCH(QString, path);
        QFETCH(AppError::Code, error);
        QFETCH(QString, title);
        RomList roms(separator);
        for (int i = 0; i < games; ++i)
            roms.AddRom("g.nes");
        QCOMPARE(errorOf([&] { roms.checkAddable(path); }), error);
        QCOMPARE(roms.at(qint16(games)), RomEntry{}); // the check changes nothing
        QCOMPARE(errorOf([&] { roms.AddRom(path); }), error);
        QCOMPARE(roms.upperBound(), games + (error == NoError ? 1 : 0));
        if (error == NoError)
            QCOMPARE(roms.at(qint16(games)), (RomEntry{path, title, {}, {}, {}}));
        QTEST(roms.at(roms.upperBound()), "spare");
    }

    void removeAndSwap_data()
    {
        QTest::addColumn<bool>("remove"); // else swap with the next game
        QTest::addColumn<int>("index");
        QTest::addColumn<AppError::Code>("error");
        QTest::addColumn<QString>("after"); // each game as its title and memory value
        QTest::newRow("remove first") << true << 0 << NoError << "BbCc";
        QTest::newRow("remove middle") << true << 1 << NoError << "AaCc";
        QTest::newRow("remove last") << true << 2 << NoError << "AaBb";
        const AppError::Code OutOfRange = programError(AppError::OutOfRange);
        QTest::newRow("remove without selection") << true << -1 << OutOfRange << "AaBbCc";
        QTest::newRow("remove the spare slot") << true << 3 << OutOfRange << "AaBbCc";
        QTest::newRow("swap first") << false << 0 << NoError << "BbAaCc";
        QTest::newRow("swap second") << false << 1 << NoError << "AaCcBb";
        QTest::newRow("swap the last game") << false << 2 << NoError << "AaBbCc";
        QTest::newRow("swap without selection") << false << -1 << NoError << "AaBbCc";
    }
    void removeAndSwap()
    {
        QFETCH(bool, remove);
        QFETCH(int, index);
        RomList roms(u'/');
        for (const QChar title : QStringLiteral("ABC")) {
            roms.AddRom(QStringLiteral("/r/%1.nes").arg(title));
            roms.at(qint16(roms.upperBound() - 1)).MemFollow = title.toLower(); // travels with its game
        }
        const qint16 i = qint16(index);
        QTEST(errorOf([&] { remove ? roms.RemoveRom(i) : roms.SwapRomWithNext(i); }), "error");
        QString games;
        for (qint16 game = 0; game < roms.upperBound(); ++game)
            games += roms.at(game).MenuTitle + roms.at(game).MemFollow;
        QTEST(games, "after");
        QCOMPARE(roms.at(roms.upperBound()), RomEntry{});
    }

    void sortByTitle_data()
    {
        QTest::addColumn<QString>("titles"); // separated by "/"
        QTest::addColumn<QString>("sorted");
        // clang-format off
        QTest::newRow("case ignored") << "b/A/a/B" << "A/a/b/B";
        QTest::newRow("digits by value") << "Game 10/Game 2/Game 1b/Game 1a" << "Game 1a/Game 1b/Game 2/Game 10";
        QTest::newRow("leading zeros") << "x10/x009/x9/x1" << "x1/x009/x9/x10";
        QTest::newRow("digits before letters") << "a/9/-/ " << " /-/9/a";
        QTest::newRow("prefix first") << "Mario 3/Mario/Mario Bros" << "Mario/Mario 3/Mario Bros";
        QTest::newRow("ties keep their order") << "Zelda/zelda/ZELDA/Metroid" << "Metroid/Zelda/zelda/ZELDA";
        // Enough ties that a sort which is not stable shows it: a, B, b, A, b, B, a, ...
        QStringList many, first, then;
        for (int i = 0; i < 60; ++i) {
            const QString title = QString(i % 3 ? u'b' : u'a');
            many << (i % 2 ? title.toUpper() : title);
            (i % 3 ? then : first) << many.last();
        }
        QTest::newRow("many ties") << many.join(u'/') << (first + then).join(u'/');
        QTest::newRow("non-ASCII by code point") << "\u00e9lan/Zoo/\u00c9lan/Eel" << "Eel/Zoo/\u00e9lan/\u00c9lan";
        // clang-format on
    }
    void sortByTitle()
    {
        QFETCH(QString, titles);
        RomList roms(u'/');
        const QStringList given = titles.split(u'/');
        for (const QString &title : given)
            roms.AddRom("/r/" + title + ".nes");
        const std::vector<qint16> order = roms.sortByTitle();
        QStringList sorted;
        for (qint16 i = 0; i < roms.upperBound(); ++i) {
            sorted << roms.at(i).MenuTitle;
            QCOMPARE(given.at(order[std::size_t(i)]), sorted.last()); // the old index of each game
            if (i > 0 && !titleLess(sorted[i - 1], sorted[i]))        // a tie keeps its order
                QVERIFY(order[std::size_t(i) - 1] < order[std::size_t(i)]);
        }
        QTEST(sorted.join(u'/'), "sorted");
        QCOMPARE(roms.at(roms.upperBound()), RomEntry{});
    }

    // The list's model over three games "c", "b", "a": its rows follow every
    // change of the store's shape, within the rules Qt's views rely on.
    void model_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("rows");
        QTest::newRow("add") << "add"
                             << "c.nes b.nes a.nes d.nes";
        QTest::newRow("remove") << "remove 1"
                                << "c.nes a.nes";
        QTest::newRow("swap") << "swap 0"
                              << "b.nes c.nes a.nes";
        QTest::newRow("swap the last game") << "swap 2"
                                            << "c.nes b.nes a.nes";
        QTest::newRow("sort") << "sort"
                              << "a.nes b.nes c.nes";
        QTest::newRow("emptied") << "remove 0,remove 0,remove 0"
                                 << "";
        QTest::newRow("init") << "init"
                              << "";
    }
    void model()
    {
        QFETCH(QString, change);
        RomList roms(u'/');
        RomListModel model(roms);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setRomCheck(nullptr);
        for (const char *name : {"c", "b", "a"})
            model.AddRom(QStringLiteral("/r/%1.nes").arg(name));
        // The window's answer to the emptied list still finds the removed row there.
        int rowsWhenEmptied = -1;
        roms.setEmptiedListHandler([&] { rowsWhenEmptied = model.rowCount(); });
        for (const QString &step : change.split(u',')) {
            const qint16 index = qint16(step.section(u' ', 1).toInt());
            if (step == "add")
                model.AddRom("/r/d.nes");
            else if (step.startsWith("remove"))
                model.RemoveRom(index);
            else if (step.startsWith("swap"))
                model.SwapRomWithNext(index);
            else if (step == "sort")
                model.sortByTitle();
            else
                model.InitRoms();
        }
        QStringList rows;
        for (int row = 0; row < model.rowCount(); ++row) {
            rows << model.index(row).data().toString();
            QCOMPARE(model.index(row).data(Qt::ToolTipRole), roms.at(qint16(row)).RomPath);
        }
        QTEST(rows.join(u' '), "rows");
        QCOMPARE(model.rowCount(), roms.upperBound());
        QCOMPARE(rowsWhenEmptied, change.startsWith("remove 0,") ? 1 : -1);
    }

    void cleanUpTitles_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("cleaned");
        // clang-format off
        QTest::newRow("groups") << "Some Game (U) [!]" << "Some Game";
        QTest::newRow("group inside a word") << "Super(J)Mario" << "SuperMario";
        QTest::newRow("nested") << "A (B [C] (D) E) F [G (H)]" << "A F";
        QTest::newRow("underscores") << "__Some_Game_(E)_" << "Some Game";
        QTest::newRow("blanks joined") << "  A   B  " << "A B";
        QTest::newRow("all tags") << "(U) [!]" << "(U) [!]";
        QTest::newRow("only blanks") << " _ " << " _ ";
        QTest::newRow("never closed") << "Game (U" << "Game (U";
        QTest::newRow("closes nothing") << "Game U) ]" << "Game U) ]";
        QTest::newRow("other kind") << "Game (U] x" << "Game (U] x";
        // clang-format on
    }
    void cleanUpTitles()
    {
        QFETCH(QString, title);
        RomList roms;
        roms.AddRom("a.nes");
        roms.at(0).MenuTitle = title;
        roms.cleanUpTitles();
        QTEST(roms.at(0).MenuTitle, "cleaned");
    }

    // A file as its header and size; "-" for a folder in its place, "?" for none.
    void romCheck_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<QString>("about"); // the tooltip's second line
        const auto ines = [](int prg, int chr, int flags6, int flags7, QByteArray rest = QByteArray(8, 0)) {
            return QByteArray("NES\x1a") + char(prg) + char(chr) + char(flags6) + char(flags7) + rest;
        };
        const qint64 k = 1024;
        // clang-format off
        QTest::newRow("iNES") << ines(2, 1, 0x41, 0x00) << 16 + 40 * k << int(RomCheck::Good) << "Mapper 4, PRG 32 KiB, CHR 8 KiB";
        QTest::newRow("iNES, trainer") << ines(1, 0, 0x04, 0x10) << 16 + 512 + 16 * k << int(RomCheck::Good) << "Mapper 16, PRG 16 KiB, CHR 0 KiB";
        QTest::newRow("iNES, a name in bytes 7 to 15") << ines(1, 0, 0x10, 'D', "iskDude!") << 16 + 16 * k << int(RomCheck::Good) << "Mapper 1, PRG 16 KiB, CHR 0 KiB";
        QTest::newRow("NES 2.0 sizes and mapper") << ines(0x02, 0x01, 0x10, 0x48, QByteArray("\x35\x21", 2) + QByteArray(6, 0)) << 16 + (0x102 * 16 + 0x201 * 8) * k << int(RomCheck::Good) << "Mapper 1345, PRG 4128 KiB, CHR 4104 KiB";
        QTest::newRow("NES 2.0 exponent sizes") << ines(0x35, 0x00, 0x00, 0x08, QByteArray("\x00\xff", 2) + QByteArray(6, 0)) << 16 + 24 * k + 1 << int(RomCheck::Good) << "Mapper 0, PRG 24 KiB, CHR 0.0009765625 KiB";
        QTest::newRow("NES 2.0 exponent too large") << ines(0xff, 0x00, 0x00, 0x08, QByteArray("\x00\x0f", 2) + QByteArray(6, 0)) << 16 * k << int(RomCheck::Short) << "Too short: the header promises 4611686018427387920 bytes, the file has 16384.";
        QTest::newRow("short") << ines(2, 1, 0, 0) << 16 + 40 * k - 1 << int(RomCheck::Short) << "Too short: the header promises 40976 bytes, the file has 40975.";
        QTest::newRow("overdump") << ines(2, 1, 0, 0) << 16 + 48 * k << int(RomCheck::Overdump) << "Overdump: 8192 bytes past the 40976 bytes the header promises.";
        QTest::newRow("NES 2.0 other ROMs after") << ines(1, 0, 0, 0x08, QByteArray(6, 0) + "\x01" + QByteArray(1, 0)) << 16 + 20 * k << int(RomCheck::Good) << "Mapper 0, PRG 16 KiB, CHR 0 KiB";
        QTest::newRow("not a ROM") << QByteArray("PK\x03\x04") + QByteArray(12, 0) << 4 * k << int(RomCheck::NotARom) << "Not an NES ROM: the file has no iNES header.";
        QTest::newRow("shorter than a header") << QByteArray("NES\x1a\x01") << qint64(5) << int(RomCheck::NotARom) << "Not an NES ROM: the file has no iNES header.";
        QTest::newRow("empty") << QByteArray() << qint64(0) << int(RomCheck::Empty) << "Not an NES ROM: the file is empty.";
        QTest::newRow("a folder") << QByteArray("-") << qint64(0) << int(RomCheck::Unreadable) << "Cannot be read: Is a directory.";
        QTest::newRow("no file") << QByteArray("?") << qint64(0) << int(RomCheck::Unreadable) << "Cannot be read: No such file or directory.";
        // clang-format on
    }
    void romCheck()
    {
        QFETCH(QByteArray, header);
        QFETCH(qint64, size);
        QTemporaryDir dir;
        const QString path = dir.filePath("a.nes");
        if (header == "-") {
            QVERIFY(QDir().mkdir(path));
        } else if (header != "?") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(header) == header.size() && file.resize(size));
        }
        const RomCheck check = checkRomFile(path);
        QTEST(int(check.verdict), "verdict");
        QFETCH(QString, about);
        QCOMPARE(romCheckText(path, check), path + u'\n' + about);
    }
};

QTEST_APPLESS_MAIN(TestRomList)
#include "tst_romlist.moc"
