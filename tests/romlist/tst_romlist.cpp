#include "romlist.h"
#include "testsupport.h"

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
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("title");
        // clang-format off
        QTest::newRow("two dots") << 0 << QChar(u'\\') << R"(C:\roms\game.eu.nes)" << 0 << "game.eu";
        QTest::newRow("blanks kept") << 0 << QChar(u'/') << "/roms.v2/ Game One .nes" << 0 << " Game One ";
        QTest::newRow("other separator") << 0 << QChar(u'\\') << "C:/roms/game.nes" << 0 << "C:/roms/game";
        QTest::newRow("only a dot") << 0 << QChar(u'/') << "/roms/.nes" << 0 << "";
        QTest::newRow("no dot") << 0 << QChar(u'\\') << R"(C:\roms\game)" << 5 << "";
        QTest::newRow("dot in folder only") << 0 << QChar(u'/') << "/roms.old/game" << 5 << "";
        QTest::newRow("dot at 32767") << 0 << QChar(u'/') << QString(32766, u'a') + ".nes" << 0 << QString(32766, u'a');
        QTest::newRow("dot at 32768") << 0 << QChar(u'/') << QString(32767, u'a') + ".nes" << 6 << "";
        QTest::newRow("last game") << 32766 << QChar(u'/') << "/r/last.nes" << 0 << "last";
        QTest::newRow("one game too many") << 32767 << QChar(u'/') << "/r/last.nes" << 6 << "";
        // clang-format on
    }
    void add()
    {
        QFETCH(int, games);
        QFETCH(QChar, separator);
        QFETCH(QString, path);
        QFETCH(int, error);
        QFETCH(QString, title);
        RomList roms(separator);
        for (int i = 0; i < games; ++i)
            roms.AddRom("g.nes");
        QCOMPARE(errorOf([&] { roms.checkAddable(path); }), error);
        QCOMPARE(errorOf([&] { roms.AddRom(path); }), error);
        QCOMPARE(roms.upperBound(), games + (error ? 0 : 1));
        if (!error)
            QCOMPARE(roms.at(qint16(games)), (RomEntry{path, title, {}, {}, {}}));
    }

    void removeAndSwap_data()
    {
        QTest::addColumn<bool>("remove"); // else swap with the next game
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("after"); // each game as its title and memory value
        QTest::newRow("remove first") << true << 0 << 0 << "BbCc";
        QTest::newRow("remove middle") << true << 1 << 0 << "AaCc";
        QTest::newRow("remove last") << true << 2 << 0 << "AaBb";
        QTest::newRow("remove without selection") << true << -1 << 9 << "AaBbCc";
        QTest::newRow("remove the spare slot") << true << 3 << 9 << "AaBbCc";
        QTest::newRow("swap first") << false << 0 << 0 << "BbAaCc";
        QTest::newRow("swap second") << false << 1 << 0 << "AaCcBb";
        QTest::newRow("swap the last game") << false << 2 << 0 << "AaBbCc";
        QTest::newRow("swap without selection") << false << -1 << 0 << "AaBbCc";
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
};

QTEST_APPLESS_MAIN(TestRomList)
#include "tst_romlist.moc"
