#include "apperror.h"
#include "romlist.h"
#include "testsupport.h"

#include <QTest>

namespace {

RomEntry game(const QString &path, const QString &title, qint16 option = -1)
{
    RomEntry e;
    e.RomPath = path;
    e.MenuTitle = title;
    if (option >= 0)
        e.Options[std::size_t(option)] = 1;
    return e;
}

} // namespace

class TestRomList : public QObject
{
    Q_OBJECT

private slots:
    void titleFromPath_data();
    void titleFromPath();
    void titleWithNativeSeparator();
    void failedAddKeepsCount();
    void addFillsOnlyPathAndTitle();
    void dotBeyond16BitRangeOverflows();
    void fullListOverflows();
    void removeKeepsOrderAndSpareSlot();
    void removeOutsideGamesChangesNothing_data();
    void removeOutsideGamesChangesNothing();
    void removingLastGameNotifiesOnceAfterShrink();
    void swapExchangesWholeEntries();
    void swapOutsideGamesChangesNothing_data();
    void swapOutsideGamesChangesNothing();
};

void TestRomList::titleFromPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("title");
    QTest::newRow("plain") << R"(C:\roms\game.nes)" << 0 << "game";
    QTest::newRow("two dots") << R"(C:\roms\game.eu.nes)" << 0 << "game.eu";
    QTest::newRow("no folder") << "game.nes" << 0 << "game";
    QTest::newRow("slashes are no separator") << "C:/roms/game.nes" << 0 << "C:/roms/game";
    QTest::newRow("only dot first") << R"(C:\roms\.nes)" << 0 << "";
    QTest::newRow("no dot") << R"(C:\roms\game)" << int(AppError::InvalidArgument) << "";
    QTest::newRow("bare name") << "game" << int(AppError::InvalidArgument) << "";
    QTest::newRow("dot in folder only") << R"(C:\roms.old\game)" << int(AppError::InvalidArgument) << "";
}

void TestRomList::titleFromPath()
{
    QFETCH(QString, path);
    QFETCH(int, error);
    QFETCH(QString, title);
    RomList roms(u'\\');
    QCOMPARE(errorOf([&] { roms.checkAddable(path); }), error);
    QCOMPARE(errorOf([&] { roms.AddRom(path); }), error);
    QCOMPARE(roms.upperBound(), error ? 0 : 1);
    if (!error)
        QCOMPARE(roms.at(0).MenuTitle, title);
}

void TestRomList::titleWithNativeSeparator()
{
    RomList roms(u'/');
    roms.AddRom("/home/me/roms.v2/Game One.nes");
    QCOMPARE(roms.at(0).MenuTitle, QString("Game One"));
    QCOMPARE(errorOf([&] { roms.AddRom("/home/me/roms.v2/readme"); }), int(AppError::InvalidArgument));
}

void TestRomList::failedAddKeepsCount()
{
    RomList roms(u'\\');
    roms.AddRom(R"(C:\a.nes)");
    QCOMPARE(errorOf([&] { roms.AddRom(R"(C:\roms\game)"); }), int(AppError::InvalidArgument));
    QCOMPARE(roms.upperBound(), 1);
    QCOMPARE(roms.at(1).RomPath, QString(R"(C:\roms\game)"));
    QVERIFY(roms.at(1).MenuTitle.isEmpty());
    // The next add that completes overwrites the leftovers.
    roms.AddRom(R"(C:\b.nes)");
    QCOMPARE(roms.at(1), game(R"(C:\b.nes)", "b"));
    QCOMPARE(roms.at(2), RomEntry{});
}

void TestRomList::addFillsOnlyPathAndTitle()
{
    RomList roms(u'\\');
    QCOMPARE(roms.upperBound(), 0);
    QCOMPARE(roms.at(0), RomEntry{});
    roms.AddRom(R"(C:\roms\game.nes)");
    QCOMPARE(roms.at(0), game(R"(C:\roms\game.nes)", "game"));
    QCOMPARE(roms.at(1), RomEntry{});
    QCOMPARE(errorOf([&] { roms.at(2); }), int(AppError::OutOfRange));
    QCOMPARE(errorOf([&] { roms.at(-1); }), int(AppError::OutOfRange));
    roms.InitRoms();
    QCOMPARE(roms.upperBound(), 0);
}

void TestRomList::dotBeyond16BitRangeOverflows()
{
    RomList roms(u'\\');
    const QString path = QString(32767, u'a') + ".nes";
    QCOMPARE(errorOf([&] { roms.checkAddable(path); }), int(AppError::Overflow));
    QCOMPARE(errorOf([&] { roms.AddRom(path); }), int(AppError::Overflow));
    QCOMPARE(roms.at(0), RomEntry{});
    // The last position that fits still works.
    roms.AddRom(QString(32766, u'a') + ".nes");
    QCOMPARE(roms.at(0).MenuTitle.size(), 32766);
}

void TestRomList::fullListOverflows()
{
    RomList roms(u'\\');
    for (int i = 0; i < RomList::MaxGames; ++i)
        roms.AddRom(QStringLiteral("g%1.nes").arg(i));
    QCOMPARE(roms.upperBound(), RomList::MaxGames);
    QCOMPARE(errorOf([&] { roms.checkAddable(R"(C:\last.nes)"); }), int(AppError::Overflow));
    QCOMPARE(errorOf([&] { roms.AddRom(R"(C:\last.nes)"); }), int(AppError::Overflow));
    QCOMPARE(roms.upperBound(), RomList::MaxGames);
    QCOMPARE(roms.at(RomList::MaxGames), game(R"(C:\last.nes)", "last"));
    roms.RemoveRom(0);
    QCOMPARE(roms.at(0).MenuTitle, QString("g1"));
    QCOMPARE(roms.upperBound(), RomList::MaxGames - 1);
}

void TestRomList::removeKeepsOrderAndSpareSlot()
{
    RomList roms(u'\\');
    int notified = 0;
    roms.setEmptiedListHandler([&] { ++notified; });
    for (const char *p : {"A.nes", "B.nes", "C.nes"})
        roms.AddRom(p);
    roms.at(2).MemFollow = "12";
    roms.RemoveRom(1);
    QCOMPARE(roms.upperBound(), 2);
    QCOMPARE(roms.at(0).MenuTitle, QString("A"));
    QCOMPARE(roms.at(1).MenuTitle, QString("C"));
    QCOMPARE(roms.at(1).MemFollow, QString("12"));
    QCOMPARE(roms.at(2), RomEntry{});
    roms.RemoveRom(1); // the last of several
    QCOMPARE(roms.upperBound(), 1);
    QCOMPARE(roms.at(1), RomEntry{});
    QCOMPARE(notified, 0);
}

void TestRomList::removeOutsideGamesChangesNothing_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("no selection") << -1;
    QTest::newRow("spare slot") << 2;
    QTest::newRow("beyond") << 3;
}

void TestRomList::removeOutsideGamesChangesNothing()
{
    QFETCH(int, index);
    RomList roms(u'\\');
    roms.AddRom("A.nes");
    roms.AddRom("B.nes");
    QCOMPARE(errorOf([&] { roms.RemoveRom(qint16(index)); }), int(AppError::OutOfRange));
    QCOMPARE(roms.upperBound(), 2);
    QCOMPARE(roms.at(1).MenuTitle, QString("B"));
}

void TestRomList::removingLastGameNotifiesOnceAfterShrink()
{
    RomList roms(u'\\');
    roms.AddRom("A.nes");
    QList<int> boundsSeen;
    // The window's answer writes into the selected row's entry, which is then the spare slot.
    roms.setEmptiedListHandler([&] {
        boundsSeen << roms.upperBound();
        roms.at(0).MenuTitle.clear();
    });
    roms.RemoveRom(0);
    QCOMPARE(boundsSeen, QList<int>{0});
    QCOMPARE(roms.at(0), RomEntry{});
}

void TestRomList::swapExchangesWholeEntries()
{
    RomList roms(u'\\');
    roms.AddRom("A.nes");
    roms.AddRom("B.nes");
    RomEntry &a = roms.at(0);
    a.Options[4] = 1;
    a.SpriteFollow = "7";
    a.MemFollow = "200";
    const RomEntry first = roms.at(0), second = roms.at(1);
    roms.SwapRomWithNext(0);
    QCOMPARE(roms.at(0), second);
    QCOMPARE(roms.at(1), first);
    roms.SwapRomWithNext(0);
    QCOMPARE(roms.at(0), first);
    QCOMPARE(roms.at(1), second);
}

void TestRomList::swapOutsideGamesChangesNothing_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("no selection") << -1;
    QTest::newRow("last game") << 1;
    QTest::newRow("spare slot") << 2;
    QTest::newRow("16-bit end") << 32767;
}

void TestRomList::swapOutsideGamesChangesNothing()
{
    QFETCH(int, index);
    RomList roms(u'\\');
    roms.AddRom("A.nes");
    roms.AddRom("B.nes");
    roms.SwapRomWithNext(qint16(index));
    QCOMPARE(roms.upperBound(), 2);
    QCOMPARE(roms.at(0).MenuTitle, QString("A"));
    QCOMPARE(roms.at(1).MenuTitle, QString("B"));
    QCOMPARE(roms.at(2), RomEntry{});
}

QTEST_APPLESS_MAIN(TestRomList)
#include "tst_romlist.moc"
