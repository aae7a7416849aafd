// The list commands, the output file and the window's dialog, with the
// dialog's answers scripted.
#include "windowsupport.h"

#include <QCheckBox>
#include <QDir>
#include <QSignalSpy>

namespace {

const QString Dir = QDir::toNativeSeparators("/home/p/roms");

QString romPath(const QString &name)
{
    return Dir + QDir::separator() + name;
}

struct Fixture : WindowFixture
{
    Fixture() { window.show(); }
    // Adds files of one folder through the add command.
    void add(const QStringList &names)
    {
        QStringList paths;
        for (const QString &name : names)
            paths << romPath(name);
        addFiles(paths);
    }
};

} // namespace

class TestRomCommands : public QObject
{
    Q_OBJECT

private slots:
    void cancelledDialogsChangeNothing();
    void addsRowsAndEntriesInDialogOrder();
    void addingKeepsSelectionAndEditor();
    void fileWithoutExtensionStopsTheRest();
    void removeSelectsTheNeighbour_data();
    void removeSelectsTheNeighbour();
    void removingTheOnlyRowEmptiesTheWindow();
    void commandsWithoutSelectionOrAtTheEnds();
    void upThenDownRestores();
    void outputFile();
};

void TestRomCommands::cancelledDialogsChangeNothing()
{
    Fixture f;
    f.window.cdOpen().scriptNextAnswer(std::nullopt);
    f.click("cmdBrowse");
    QCOMPARE(f.lbRoms()->count(), 0);
    QCOMPARE(f.roms.upperBound(), 0);
    QVERIFY(!ownEnabled(f.find("frOutput")));

    f.add({"a.nes"});
    f.text("txtOutputFile")->setText("/o/keep.gba");
    f.window.cdOpen().scriptNextAnswer(std::nullopt);
    f.click("cmdSave");
    QCOMPARE(f.text("txtOutputFile")->text(), QString("/o/keep.gba"));
    QVERIFY(ownEnabled(f.find("cmdOutput")));
    QVERIFY(f.window.cdOpen().FileName.isEmpty()); // cleared before the dialog showed
}

void TestRomCommands::addsRowsAndEntriesInDialogOrder()
{
    Fixture f;
    f.add({"one.nes"});
    QCOMPARE(f.rowTexts(), QStringList{"one.nes"});
    QCOMPARE(f.roms.at(0).RomPath, romPath("one.nes"));
    QCOMPARE(f.roms.at(0).MenuTitle, QString("one"));
    QVERIFY(ownEnabled(f.find("frOutput")));
    QVERIFY(!ownEnabled(f.find("frOptions"))); // until a row is chosen
    QCOMPARE(f.lbRoms()->currentRow(), -1);

    f.add({"c.nes", "a b.nes", "one.nes"}); // the same file again is a further game
    QCOMPARE(f.rowTexts(), QStringList({"one.nes", "c.nes", "a b.nes", "one.nes"}));
    QCOMPARE(f.roms.upperBound(), 4);
    QCOMPARE(f.roms.at(2).RomPath, romPath("a b.nes"));
    QCOMPARE(f.roms.at(3).RomPath, romPath("one.nes"));
}

void TestRomCommands::addingKeepsSelectionAndEditor()
{
    Fixture f;
    f.add({"a.nes", "b.nes"});
    f.lbRoms()->setCurrentRow(1);
    f.text("txtMenuTitle")->setText("Edited");
    f.add({"c.nes"});
    QCOMPARE(f.lbRoms()->currentRow(), 1);
    QCOMPARE(f.text("txtMenuTitle")->text(), QString("Edited"));
    QCOMPARE(f.roms.at(1).MenuTitle, QString("Edited"));
    QCOMPARE(f.roms.at(2).MenuTitle, QString("c"));
}

void TestRomCommands::fileWithoutExtensionStopsTheRest()
{
    Fixture f;
    f.add({"a.nes", "README", "b.nes"});
    QCOMPARE(f.rowTexts(), QStringList{"a.nes"});
    QCOMPARE(f.roms.upperBound(), 1);
    QCOMPARE(f.roms.at(0).RomPath, romPath("a.nes"));
    QVERIFY(!ownEnabled(f.find("frOutput"))); // the command ended early
}

void TestRomCommands::removeSelectsTheNeighbour_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("selected");
    QTest::newRow("first") << 0 << QStringList({"b.nes", "c.nes"}) << 0;
    QTest::newRow("middle") << 1 << QStringList({"a.nes", "c.nes"}) << 1;
    QTest::newRow("last") << 2 << QStringList({"a.nes", "b.nes"}) << 1;
}

void TestRomCommands::removeSelectsTheNeighbour()
{
    QFETCH(int, row);
    QFETCH(QStringList, rows);
    QFETCH(int, selected);
    Fixture f;
    f.add({"a.nes", "b.nes", "c.nes"});
    for (qint16 i = 0; i < 3; ++i)
        f.roms.at(i).Options[std::size_t(i)] = 1;
    f.lbRoms()->setCurrentRow(row);
    QSignalSpy rowClicks(f.lbRoms(), &QListWidget::currentRowChanged);
    f.click("cmdRemoveRom");
    QCOMPARE(rowClicks.count(), 1); // the removal itself runs no row click
    QCOMPARE(f.rowTexts(), rows);
    QCOMPARE(f.lbRoms()->currentRow(), selected);
    for (qint16 i = 0; i < 2; ++i)
        QCOMPARE(f.roms.at(i).RomPath, romPath(rows[i]));
    QCOMPARE(f.roms.at(2), RomEntry{});
    // The editor shows the newly selected game.
    const RomEntry &shown = f.roms.at(qint16(selected));
    QCOMPARE(f.text("txtMenuTitle")->text(), shown.MenuTitle);
    for (int i = 0; i < 7; ++i)
        QCOMPARE(f.window.chkOptions(i)->isChecked(), shown.Options[std::size_t(i)] != 0);
}

void TestRomCommands::removingTheOnlyRowEmptiesTheWindow()
{
    Fixture f;
    f.add({"a.nes"});
    f.text("txtOutputFile")->setText("/o/x.gba");
    f.lbRoms()->setCurrentRow(0);
    f.window.chkOptions(5)->setChecked(true);
    f.click("cmdRemoveRom");
    QCOMPARE(f.lbRoms()->count(), 0);
    QCOMPARE(f.lbRoms()->currentRow(), -1);
    QCOMPARE(f.roms.at(0), RomEntry{});
    QVERIFY(!ownEnabled(f.find("frOptions")));
    QVERIFY(!ownEnabled(f.find("frOutput")));
    // The output path and the build button wait for the next games.
    QVERIFY(ownEnabled(f.find("cmdOutput")));
    f.add({"b.nes"});
    QCOMPARE(f.text("txtOutputFile")->text(), QString("/o/x.gba"));
    QVERIFY(f.find("cmdOutput")->isEnabled());
}

void TestRomCommands::commandsWithoutSelectionOrAtTheEnds()
{
    Fixture f;
    f.click("cmdDownList"); // empty list
    f.add({"a.nes", "b.nes"});
    for (const char *button : {"cmdRemoveRom", "cmdUpList", "cmdDownList"})
        f.click(button);
    QCOMPARE(f.rowTexts(), QStringList({"a.nes", "b.nes"}));
    QCOMPARE(f.roms.upperBound(), 2);

    f.lbRoms()->setCurrentRow(0);
    f.click("cmdUpList");
    f.lbRoms()->setCurrentRow(1);
    f.click("cmdDownList");
    QCOMPARE(f.rowTexts(), QStringList({"a.nes", "b.nes"}));
    QCOMPARE(f.roms.at(0).MenuTitle, QString("a"));
    QCOMPARE(f.lbRoms()->currentRow(), 1);
}

void TestRomCommands::upThenDownRestores()
{
    Fixture f;
    f.add({"a.nes", "b.nes", "c.nes"});
    f.lbRoms()->setCurrentRow(2);
    f.text("txtMenuTitle")->setText("Cee");
    f.window.chkOptions(4)->setChecked(true);
    f.text("txtSprite")->setText("9");
    const RomEntry moved = f.roms.at(2);

    f.click("cmdUpList");
    QCOMPARE(f.rowTexts(), QStringList({"a.nes", "c.nes", "b.nes"}));
    QCOMPARE(f.lbRoms()->currentRow(), 1);
    QCOMPARE(f.roms.at(1), moved);
    QCOMPARE(f.text("txtSprite")->text(), QString("9"));
    // Edits after the move go into the moved game.
    f.text("txtMenuTitle")->setText("Cee2");
    QCOMPARE(f.roms.at(1).MenuTitle, QString("Cee2"));

    f.click("cmdDownList");
    QCOMPARE(f.rowTexts(), QStringList({"a.nes", "b.nes", "c.nes"}));
    QCOMPARE(f.lbRoms()->currentRow(), 2);
    QCOMPARE(f.roms.at(2).MenuTitle, QString("Cee2"));
    QCOMPARE(f.roms.at(1).MenuTitle, QString("b"));
    QCOMPARE(f.roms.at(1).Options[4], qint16(0));
}

void TestRomCommands::outputFile()
{
    Fixture f;
    f.add({"a.nes"});
    auto *path = f.text("txtOutputFile");
    auto *build = f.find<QPushButton>("cmdOutput");
    QSignalSpy changes(path, &QLineEdit::textChanged);

    f.window.cdOpen().scriptNextAnswer(QStringList{"/o/x.gba"});
    f.click("cmdSave");
    QCOMPARE(path->text(), QDir::toNativeSeparators("/o/x.gba"));
    QVERIFY(build->isEnabled());
    QCOMPARE(changes.count(), 1);

    // The same path again changes no text and leaves the button on.
    f.window.cdOpen().scriptNextAnswer(QStringList{"/o/x.gba"});
    f.click("cmdSave");
    QCOMPARE(changes.count(), 1);
    QVERIFY(build->isEnabled());

    // Typing: empty turns the build off, any character, a blank too, on.
    path->selectAll();
    QTest::keyClick(path, Qt::Key_Delete);
    QVERIFY(!build->isEnabled());
    QTest::keyClick(path, Qt::Key_Space);
    QVERIFY(build->isEnabled());
    QTest::keyClick(path, Qt::Key_Backspace);
    QTest::keyClicks(path, "o.gba");
    QVERIFY(build->isEnabled());
}

QTEST_MAIN(TestRomCommands)
#include "tst_romcommands.moc"
