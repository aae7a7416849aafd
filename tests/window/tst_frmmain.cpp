#include "testsupport.h"
#include "windowsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

namespace {

using Options = QList<qint16>;

// The window with the option boxes read as a list and games put in place
// the way the add command would.
struct Fixture : WindowFixture
{
    QLineEdit *valueBox(int option) const { return text(option == 4 ? "txtSprite" : "txtMem"); }
    QCheckBox *box(int i) const { return window.chkOptions(i); }
    Options shownOptions() const
    {
        Options shown;
        for (int i = 0; i < 7; ++i)
            shown << (box(i)->isChecked() ? 1 : 0);
        return shown;
    }

    // What the add command does for one file: a row, then an entry.
    void addGame(const QString &path)
    {
        lbRoms()->addItem(path.section(u'/', -1));
        roms.AddRom(path);
    }
    RomEntry &selectNewGame(const QString &path = "/roms/Alpha.nes")
    {
        addGame(path);
        lbRoms()->setCurrentRow(lbRoms()->count() - 1);
        return roms.at(roms.upperBound() - 1);
    }
};

Options stored(const RomEntry &entry)
{
    return Options(entry.Options.begin(), entry.Options.end());
}

// Rows for the two follow options, box 4 with txtSprite and box 5 with txtMem.
void followOptionRows()
{
    QTest::addColumn<int>("option");
    QTest::newRow("sprite") << 4;
    QTest::newRow("memory") << 5;
}

const QStringList editorControls = {"frOptions", "Label1", "txtMenuTitle", "chkOptions_0", "chkOptions_1",
                                    "chkOptions_2", "chkOptions_3", "chkOptions_4", "chkOptions_5", "chkOptions_6"};
const QStringList outputPanel = {"frOutput", "Label2", "txtOutputFile", "cmdSave"};

} // namespace

class TestFrmMain : public QObject
{
    Q_OBJECT

private slots:
    void startupState_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("enabled");
        for (const char *name : {"frRoms", "lbRoms", "cmdUpList", "cmdDownList", "cmdBrowse", "cmdRemoveRom"})
            QTest::newRow(name) << name << true;
        for (const QString &name : editorControls + outputPanel + QStringList{"txtSprite", "txtMem", "cmdOutput"})
            QTest::newRow(qPrintable(name)) << name << false;
    }

    void startupState()
    {
        QFETCH(QString, name);
        QFETCH(bool, enabled);
        QTemporaryDir dir;
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        const QString startDir = QDir::currentPath();
        std::optional<Fixture> f;
        f.emplace();
        QVERIFY(QDir::setCurrent(before));

        QCOMPARE(ownEnabled(f->find(name)), enabled);
        QCOMPARE(f->window.startDir(), startDir);
        QCOMPARE(f->lbRoms()->count(), 0);
        QCOMPARE(f->shownOptions(), Options(7, 0));
        for (const QLineEdit *edit : f->window.findChildren<QLineEdit *>())
            QVERIFY2(edit->text().isEmpty(), qPrintable(edit->objectName()));
    }

    void startupEmptiesStore()
    {
        RomList roms{u'/'};
        roms.AddRom("/roms/Left.nes");
        frmMain window(roms);
        QCOMPARE(roms.upperBound(), 0);
        QCOMPARE(window.size(), QSize(424, 321));
        QVERIFY(window.windowIcon().availableSizes().contains(QSize(32, 32)));
    }

    void layout_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("geometry");
        // Pixels: the twips of the layout divided by 15.
        QTest::newRow("frRoms") << "frRoms" << "frmMain" << "Roms" << QRect(8, 0, 177, 241);
        QTest::newRow("lbRoms") << "lbRoms" << "frRoms" << "" << QRect(8, 16, 161, 160);
        QTest::newRow("cmdUpList") << "cmdUpList" << "frRoms" << "/\\" << QRect(8, 176, 81, 17);
        QTest::newRow("cmdDownList") << "cmdDownList" << "frRoms" << "\\/" << QRect(88, 176, 81, 17);
        QTest::newRow("cmdBrowse") << "cmdBrowse" << "frRoms" << "Browse" << QRect(8, 200, 161, 17);
        QTest::newRow("cmdRemoveRom") << "cmdRemoveRom" << "frRoms" << "Remove Rom" << QRect(8, 216, 161, 17);
        QTest::newRow("frOptions") << "frOptions" << "frmMain" << "Options" << QRect(192, 0, 225, 241);
        QTest::newRow("Label1") << "Label1" << "frOptions" << "Menu Title:" << QRect(24, 32, 57, 17);
        QTest::newRow("txtMenuTitle") << "txtMenuTitle" << "frOptions" << "" << QRect(96, 32, 113, 19);
        QTest::newRow("chkOptions 0") << "chkOptions_0" << "frOptions" << "Speed Hack 1" << QRect(16, 64, 113, 25);
        QTest::newRow("chkOptions 1") << "chkOptions_1" << "frOptions" << "Speed Hack 2" << QRect(16, 88, 113, 25);
        QTest::newRow("chkOptions 2") << "chkOptions_2" << "frOptions" << "Speed Hack 3" << QRect(16, 112, 113, 25);
        QTest::newRow("chkOptions 3") << "chkOptions_3" << "frOptions" << "No VBLANK Wait" << QRect(16, 136, 113, 25);
        QTest::newRow("chkOptions 4") << "chkOptions_4" << "frOptions" << "Screen Follows Sprite" << QRect(16, 160, 129, 25);
        QTest::newRow("txtSprite") << "txtSprite" << "frOptions" << "" << QRect(144, 160, 65, 19);
        QTest::newRow("chkOptions 5") << "chkOptions_5" << "frOptions" << "Screen Follows Memory" << QRect(16, 184, 137, 25);
        QTest::newRow("txtMem") << "txtMem" << "frOptions" << "" << QRect(160, 184, 49, 19);
        QTest::newRow("chkOptions 6") << "chkOptions_6" << "frOptions" << "Profiling" << QRect(16, 208, 113, 25);
        QTest::newRow("frOutput") << "frOutput" << "frmMain" << "Output File" << QRect(8, 248, 409, 65);
        QTest::newRow("Label2") << "Label2" << "frOutput" << "Output File:" << QRect(16, 18, 57, 17);
        QTest::newRow("txtOutputFile") << "txtOutputFile" << "frOutput" << "" << QRect(80, 16, 249, 19);
        QTest::newRow("cmdSave") << "cmdSave" << "frOutput" << "Browse" << QRect(336, 16, 57, 17);
        QTest::newRow("cmdOutput") << "cmdOutput" << "frOutput" << "Make TamblinVX" << QRect(24, 40, 377, 17);
    }

    void layout()
    {
        QFETCH(QString, name);
        QFETCH(QString, container);
        QFETCH(QString, caption);
        QFETCH(QRect, geometry);
        Fixture f;
        const QWidget *w = f.find(name);
        QString shown;
        if (auto *frame = qobject_cast<const QGroupBox *>(w))
            shown = frame->title();
        else if (auto *button = qobject_cast<const QAbstractButton *>(w))
            shown = button->text();
        else if (auto *label = qobject_cast<const QLabel *>(w))
            shown = label->text();
        QCOMPARE(w->parentWidget()->objectName(), container);
        QCOMPARE(shown, caption);
        QCOMPARE(w->geometry(), geometry);
        if (name.startsWith("chkOptions_"))
            QCOMPARE(f.box(name.back().digitValue()), w);
    }

    void tabOrder_data()
    {
        QTest::addColumn<int>("followOption"); // -1: right after start-up
        QTest::addColumn<QStringList>("order");
        const QStringList head = {"lbRoms", "txtMenuTitle", "chkOptions_0", "chkOptions_1", "chkOptions_2",
                                  "chkOptions_3", "chkOptions_4"};
        const QStringList tail = {"chkOptions_6", "cmdUpList", "cmdDownList", "cmdBrowse", "cmdRemoveRom",
                                  "txtOutputFile", "cmdSave", "cmdOutput", "lbRoms"};
        QTest::newRow("start-up") << -1
                                  << QStringList{"lbRoms", "cmdUpList", "cmdDownList", "cmdBrowse", "cmdRemoveRom", "lbRoms"};
        QTest::newRow("sprite value") << 4 << head + QStringList{"txtSprite", "chkOptions_5"} + tail;
        QTest::newRow("memory value") << 5 << head + QStringList{"chkOptions_5", "txtMem"} + tail;
    }

    void tabOrder()
    {
        QFETCH(int, followOption);
        QFETCH(QStringList, order);
        Fixture f;
        if (followOption != -1) {
            f.selectNewGame();
            f.box(followOption)->click();
            f.window.EnableOutput(true);
            f.text("txtOutputFile")->setText("/out/all.gba");
        }
        QVERIFY(f.showActive());
        QCOMPARE(QApplication::focusWidget()->objectName(), order.first());
        for (const QString &next : order.mid(1)) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), next);
        }
    }

    // Qt makes the first row current when the focus enters a list that never
    // had one; that must not count as choosing a game.
    void tabbingIntoListSelectsNothing()
    {
        Fixture f;
        f.addGame("/roms/Alpha.nes");
        QVERIFY(f.showActive());
        f.find("cmdRemoveRom")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), f.lbRoms());
        QCOMPARE(f.lbRoms()->currentRow(), -1);
        QVERIFY(!ownEnabled(f.find("frOptions")));
    }

    // The row the editor writes into always looks selected.
    void ctrlClickKeepsTheRowSelected()
    {
        Fixture f;
        f.addGame("/roms/Alpha.nes");
        QVERIFY(f.showActive());
        f.clickRow(0);
        f.clickRow(0, Qt::ControlModifier);
        QCOMPARE(f.lbRoms()->currentRow(), 0);
        QVERIFY(f.lbRoms()->item(0)->isSelected());
    }

    void valueBoxLimits_data() { followOptionRows(); }

    void valueBoxLimits()
    {
        QFETCH(int, option);
        const QString kept = option == 4 ? "123" : "12345";
        Fixture f;
        const RomEntry &game = f.selectNewGame();
        f.box(option)->click();
        QTest::keyClicks(f.valueBox(option), "123456789");
        QCOMPARE(f.valueBox(option)->text(), kept);
        QCOMPARE(option == 4 ? game.SpriteFollow : game.MemFollow, kept);
    }

    // Box 4 of B unchecks box 5 of A on its way in; that write-back must land
    // in B, where box 5 is already clear.
    void showingEntrySwapsFollowOption()
    {
        Fixture f;
        f.addGame("/roms/A.nes");
        f.addGame("/roms/B.nes");
        RomEntry &a = f.roms.at(0);
        RomEntry &b = f.roms.at(1);
        a.Options[5] = 1;
        b.Options[4] = 1;
        a.MemFollow = b.MemFollow = "100";
        a.SpriteFollow = b.SpriteFollow = "7";
        const RomEntry aBefore = a, bBefore = b;

        f.lbRoms()->setCurrentRow(0);
        f.lbRoms()->setCurrentRow(1);
        QCOMPARE(f.shownOptions(), stored(b));
        QVERIFY(ownEnabled(f.text("txtSprite")));
        QVERIFY(!ownEnabled(f.text("txtMem")));
        QCOMPARE(a, aBefore);
        QCOMPARE(b, bBefore);
    }

    void optionClicks_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::addColumn<Options>("options");
        QTest::addColumn<bool>("spriteEnabled");
        QTest::addColumn<bool>("memEnabled");
        QTest::newRow("sprite, then memory") << 4 << 5 << Options{0, 0, 0, 0, 0, 1, 0} << false << true;
        QTest::newRow("memory, then sprite") << 5 << 4 << Options{0, 0, 0, 0, 1, 0, 0} << true << false;
        QTest::newRow("sprite, then box 0") << 4 << 0 << Options{1, 0, 0, 0, 1, 0, 0} << true << false;
        QTest::newRow("memory, then box 6") << 5 << 6 << Options{0, 0, 0, 0, 0, 1, 1} << false << true;
        QTest::newRow("box 3, then box 2") << 3 << 2 << Options{0, 0, 1, 1, 0, 0, 0} << false << false;
    }

    void optionClicks()
    {
        QFETCH(int, first);
        QFETCH(int, second);
        QFETCH(Options, options);
        QFETCH(bool, spriteEnabled);
        QFETCH(bool, memEnabled);
        Fixture f;
        const RomEntry &game = f.selectNewGame();
        f.box(first)->click();
        f.box(second)->click();
        QCOMPARE(stored(game), options);
        QCOMPARE(f.shownOptions(), options);
        QCOMPARE(ownEnabled(f.text("txtSprite")), spriteEnabled);
        QCOMPARE(ownEnabled(f.text("txtMem")), memEnabled);
    }

    void uncheckingKeepsFollowValue_data() { followOptionRows(); }

    void uncheckingKeepsFollowValue()
    {
        QFETCH(int, option);
        Fixture f;
        const RomEntry &game = f.selectNewGame();
        const QString &follow = option == 4 ? game.SpriteFollow : game.MemFollow;
        f.box(option)->click();
        QTest::keyClicks(f.valueBox(option), "12");
        f.box(option)->click();
        QCOMPARE(game.Options[std::size_t(option)], 0);
        QVERIFY(!ownEnabled(f.valueBox(option)));
        QCOMPARE(f.valueBox(option)->text(), "12");
        QCOMPARE(follow, "12");
        f.box(option)->click();
        QVERIFY(ownEnabled(f.valueBox(option)));
    }

    void titleStoredAfterEveryKey()
    {
        Fixture f;
        const RomEntry &game = f.selectNewGame("/roms/Alpha.nes");
        QLineEdit *title = f.text("txtMenuTitle");
        QCOMPARE(title->text(), "Alpha");
        title->selectAll();
        QTest::keyClick(title, Qt::Key_Delete);
        QCOMPARE(game.MenuTitle, "");
        const QString typed = "Zed 2";
        for (qsizetype n = 1; n <= typed.size(); ++n) {
            QTest::keyClick(title, typed[n - 1].toLatin1());
            QCOMPARE(game.MenuTitle, typed.left(n));
        }
        QCOMPARE(f.lbRoms()->item(0)->text(), "Alpha.nes");
    }

    void editsStayWithTheirGame()
    {
        Fixture f;
        f.addGame("/roms/A.nes");
        f.addGame("/roms/B.nes");
        const RomEntry b = f.roms.at(1);
        QVERIFY(f.showActive());
        f.clickRow(0);
        QVERIFY(ownEnabled(f.find("frOptions")));
        QTest::keyClicks(f.text("txtMenuTitle"), "X");
        f.box(0)->click();
        f.box(5)->click();
        QTest::keyClicks(f.text("txtMem"), "42");
        const RomEntry a = f.roms.at(0);
        QCOMPARE(a.MenuTitle, "AX");
        QCOMPARE(a.MemFollow, "42");

        for (const auto &[row, entry] : {std::pair(1, b), std::pair(0, a), std::pair(1, b)}) {
            f.clickRow(row);
            QCOMPARE(f.lbRoms()->currentRow(), row);
            QCOMPARE(f.roms.at(0), a);
            QCOMPARE(f.roms.at(1), b);
            QCOMPARE(f.shownOptions(), stored(entry));
            QCOMPARE(f.text("txtMenuTitle")->text(), entry.MenuTitle);
            QCOMPARE(f.text("txtMem")->text(), entry.MemFollow);
            QCOMPARE(ownEnabled(f.text("txtMem")), entry.Options[5] != 0);
        }
    }

    void enableRomEditor_data()
    {
        QTest::addColumn<bool>("flag");
        QTest::addColumn<bool>("spriteChecked");
        QTest::newRow("on, sprite clear") << true << false;
        QTest::newRow("on, sprite checked") << true << true;
        QTest::newRow("off, sprite checked") << false << true;
    }

    void enableRomEditor()
    {
        QFETCH(bool, flag);
        QFETCH(bool, spriteChecked);
        Fixture f;
        f.selectNewGame();
        if (spriteChecked)
            f.box(4)->click();
        f.window.EnableRomEditor(!flag);
        f.window.EnableRomEditor(flag);
        for (const QString &name : editorControls)
            QVERIFY2(ownEnabled(f.find(name)) == flag, qPrintable(name));
        QCOMPARE(ownEnabled(f.text("txtSprite")), spriteChecked);
        QVERIFY(!ownEnabled(f.text("txtMem")));
    }

    void emptiedListClearsEditor_data() { followOptionRows(); }

    void emptiedListClearsEditor()
    {
        QFETCH(int, option);
        Fixture f;
        f.selectNewGame();
        f.box(0)->click();
        f.box(option)->click();
        QTest::keyClicks(f.valueBox(option), "9");
        f.window.EnableOutput(true);
        f.text("txtOutputFile")->setText("/out/all.gba");

        f.roms.RemoveRom(0);
        for (const QString &name : editorControls + outputPanel + QStringList{"txtSprite", "txtMem"})
            QVERIFY2(!ownEnabled(f.find(name)), qPrintable(name));
        QCOMPARE(f.shownOptions(), Options(7, 0));
        for (const char *name : {"txtMenuTitle", "txtSprite", "txtMem"})
            QVERIFY2(f.text(name)->text().isEmpty(), name);
        QCOMPARE(f.roms.upperBound(), 0);
        QCOMPARE(f.roms.at(0), RomEntry{});
        // The output path and the build button outlast the list.
        QCOMPARE(f.text("txtOutputFile")->text(), "/out/all.gba");
        QVERIFY(ownEnabled(f.find("cmdOutput")));
    }

    void showRomOutOfRangeChangesNothing()
    {
        Fixture f;
        f.selectNewGame();
        f.box(4)->click();
        for (qint16 index : {qint16(-1), qint16(2)}) {
            QCOMPARE(errorOf([&] { f.window.ShowRom(index); }), int(AppError::OutOfRange));
            QCOMPARE(f.shownOptions(), Options({0, 0, 0, 0, 1, 0, 0}));
            QCOMPARE(f.text("txtMenuTitle")->text(), "Alpha");
        }
    }
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
