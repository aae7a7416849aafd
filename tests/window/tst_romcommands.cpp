// The list commands, the output file and the window's dialog, with the
// dialog's answers scripted.
#include "frmmain.h"
#include "romlist.h"
#include "windowsupport.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

const QString Dir = QDir::toNativeSeparators("/home/p/roms");

QString romPath(const QString &name)
{
    return Dir + QDir::separator() + name;
}

} // namespace

class TestRomCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
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

private:
    QStringList rowTexts() const;
    void add(const QStringList &names);
    void click(const char *button) { QTest::mouseClick(control<QPushButton>(button), Qt::LeftButton); }
    template <class T>
    T *control(const char *name) const { return window->findChild<T *>(name); }

    std::unique_ptr<RomList> roms;
    std::unique_ptr<frmMain> window;
    QListWidget *list = nullptr;
};

void TestRomCommands::init()
{
    roms = std::make_unique<RomList>();
    window = std::make_unique<frmMain>(*roms);
    list = control<QListWidget>("lbRoms");
    window->show();
}

void TestRomCommands::cleanup()
{
    window.reset();
    roms.reset();
}

QStringList TestRomCommands::rowTexts() const
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

void TestRomCommands::add(const QStringList &names)
{
    QStringList paths;
    for (const QString &name : names)
        paths << romPath(name);
    window->cdOpen().scriptNextAnswer(paths);
    click("cmdBrowse");
}

void TestRomCommands::cancelledDialogsChangeNothing()
{
    window->cdOpen().scriptNextAnswer(std::nullopt);
    click("cmdBrowse");
    QCOMPARE(list->count(), 0);
    QCOMPARE(roms->upperBound(), 0);
    QVERIFY(!ownEnabled(control<QWidget>("frOutput")));

    add({"a.nes"});
    control<QLineEdit>("txtOutputFile")->setText("/o/keep.gba");
    window->cdOpen().scriptNextAnswer(std::nullopt);
    click("cmdSave");
    QCOMPARE(control<QLineEdit>("txtOutputFile")->text(), QString("/o/keep.gba"));
    QVERIFY(ownEnabled(control<QWidget>("cmdOutput")));
    QVERIFY(window->cdOpen().FileName.isEmpty()); // cleared before the dialog showed
}

void TestRomCommands::addsRowsAndEntriesInDialogOrder()
{
    add({"one.nes"});
    QCOMPARE(rowTexts(), QStringList{"one.nes"});
    QCOMPARE(roms->at(0).RomPath, romPath("one.nes"));
    QCOMPARE(roms->at(0).MenuTitle, QString("one"));
    QVERIFY(ownEnabled(control<QWidget>("frOutput")));
    QVERIFY(!ownEnabled(control<QWidget>("frOptions"))); // until a row is chosen
    QCOMPARE(list->currentRow(), -1);

    add({"c.nes", "a b.nes", "one.nes"}); // the same file again is a further game
    QCOMPARE(rowTexts(), QStringList({"one.nes", "c.nes", "a b.nes", "one.nes"}));
    QCOMPARE(roms->upperBound(), 4);
    QCOMPARE(roms->at(2).RomPath, romPath("a b.nes"));
    QCOMPARE(roms->at(3).RomPath, romPath("one.nes"));
}

void TestRomCommands::addingKeepsSelectionAndEditor()
{
    add({"a.nes", "b.nes"});
    list->setCurrentRow(1);
    control<QLineEdit>("txtMenuTitle")->setText("Edited");
    add({"c.nes"});
    QCOMPARE(list->currentRow(), 1);
    QCOMPARE(control<QLineEdit>("txtMenuTitle")->text(), QString("Edited"));
    QCOMPARE(roms->at(1).MenuTitle, QString("Edited"));
    QCOMPARE(roms->at(2).MenuTitle, QString("c"));
}

void TestRomCommands::fileWithoutExtensionStopsTheRest()
{
    add({"a.nes", "README", "b.nes"});
    QCOMPARE(rowTexts(), QStringList{"a.nes"});
    QCOMPARE(roms->upperBound(), 1);
    QCOMPARE(roms->at(0).RomPath, romPath("a.nes"));
    QVERIFY(!ownEnabled(control<QWidget>("frOutput"))); // the command ended early
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
    add({"a.nes", "b.nes", "c.nes"});
    for (qint16 i = 0; i < 3; ++i)
        roms->at(i).Options[std::size_t(i)] = 1;
    list->setCurrentRow(row);
    QSignalSpy rowClicks(list, &QListWidget::currentRowChanged);
    click("cmdRemoveRom");
    QCOMPARE(rowClicks.count(), 1); // the removal itself runs no row click
    QCOMPARE(rowTexts(), rows);
    QCOMPARE(list->currentRow(), selected);
    for (qint16 i = 0; i < 2; ++i)
        QCOMPARE(roms->at(i).RomPath, romPath(rows[i]));
    QCOMPARE(roms->at(2), RomEntry{});
    // The editor shows the newly selected game.
    const RomEntry &shown = roms->at(qint16(selected));
    QCOMPARE(control<QLineEdit>("txtMenuTitle")->text(), shown.MenuTitle);
    for (int i = 0; i < 7; ++i)
        QCOMPARE(window->chkOptions(i)->isChecked(), shown.Options[std::size_t(i)] != 0);
}

void TestRomCommands::removingTheOnlyRowEmptiesTheWindow()
{
    add({"a.nes"});
    control<QLineEdit>("txtOutputFile")->setText("/o/x.gba");
    list->setCurrentRow(0);
    window->chkOptions(5)->setChecked(true);
    click("cmdRemoveRom");
    QCOMPARE(list->count(), 0);
    QCOMPARE(list->currentRow(), -1);
    QCOMPARE(roms->at(0), RomEntry{});
    QVERIFY(!ownEnabled(control<QWidget>("frOptions")));
    QVERIFY(!ownEnabled(control<QWidget>("frOutput")));
    // The output path and the build button wait for the next games.
    QVERIFY(ownEnabled(control<QWidget>("cmdOutput")));
    add({"b.nes"});
    QCOMPARE(control<QLineEdit>("txtOutputFile")->text(), QString("/o/x.gba"));
    QVERIFY(control<QWidget>("cmdOutput")->isEnabled());
}

void TestRomCommands::commandsWithoutSelectionOrAtTheEnds()
{
    click("cmdDownList"); // empty list
    add({"a.nes", "b.nes"});
    for (const char *button : {"cmdRemoveRom", "cmdUpList", "cmdDownList"})
        click(button);
    QCOMPARE(rowTexts(), QStringList({"a.nes", "b.nes"}));
    QCOMPARE(roms->upperBound(), 2);

    list->setCurrentRow(0);
    click("cmdUpList");
    list->setCurrentRow(1);
    click("cmdDownList");
    QCOMPARE(rowTexts(), QStringList({"a.nes", "b.nes"}));
    QCOMPARE(roms->at(0).MenuTitle, QString("a"));
    QCOMPARE(list->currentRow(), 1);
}

void TestRomCommands::upThenDownRestores()
{
    add({"a.nes", "b.nes", "c.nes"});
    list->setCurrentRow(2);
    control<QLineEdit>("txtMenuTitle")->setText("Cee");
    window->chkOptions(4)->setChecked(true);
    control<QLineEdit>("txtSprite")->setText("9");
    const RomEntry moved = roms->at(2);

    click("cmdUpList");
    QCOMPARE(rowTexts(), QStringList({"a.nes", "c.nes", "b.nes"}));
    QCOMPARE(list->currentRow(), 1);
    QCOMPARE(roms->at(1), moved);
    QCOMPARE(control<QLineEdit>("txtSprite")->text(), QString("9"));
    // Edits after the move go into the moved game.
    control<QLineEdit>("txtMenuTitle")->setText("Cee2");
    QCOMPARE(roms->at(1).MenuTitle, QString("Cee2"));

    click("cmdDownList");
    QCOMPARE(rowTexts(), QStringList({"a.nes", "b.nes", "c.nes"}));
    QCOMPARE(list->currentRow(), 2);
    QCOMPARE(roms->at(2).MenuTitle, QString("Cee2"));
    QCOMPARE(roms->at(1).MenuTitle, QString("b"));
    QCOMPARE(roms->at(1).Options[4], qint16(0));
}

void TestRomCommands::outputFile()
{
    add({"a.nes"});
    auto *path = control<QLineEdit>("txtOutputFile");
    auto *build = control<QPushButton>("cmdOutput");
    QSignalSpy changes(path, &QLineEdit::textChanged);

    window->cdOpen().scriptNextAnswer(QStringList{"/o/x.gba"});
    click("cmdSave");
    QCOMPARE(path->text(), QDir::toNativeSeparators("/o/x.gba"));
    QVERIFY(build->isEnabled());
    QCOMPARE(changes.count(), 1);

    // The same path again changes no text and leaves the button on.
    window->cdOpen().scriptNextAnswer(QStringList{"/o/x.gba"});
    click("cmdSave");
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
