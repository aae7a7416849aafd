// The window driven as a user drives it, with the answers of the file dialog
// and of the error report scripted.
#include "testsupport.h"
#include "windowsupport.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <optional>

using Answers = QList<QStringList>;

namespace {

RomEntry game(const QString &title, QList<int> options = {}, const QString &sprite = {}, const QString &mem = {})
{
    RomEntry entry{"/roms/" + title.left(1) + ".nes", title, {}, mem, sprite};
    for (int option : options)
        entry.Options[std::size_t(option)] = 1;
    return entry;
}

// Acts on the real file dialog once it is open: it runs its own event loop.
void whenDialogOpens(std::function<void(QFileDialog *, QLineEdit *)> act)
{
    QTimer::singleShot(10, [act] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget()))
            act(dialog, dialog->findChild<QLineEdit *>("fileNameEdit"));
        else
            whenDialogOpens(act);
    });
}

// The dialog enables its accept button once it has read the folder and knows the typed files.
void typeAndAccept(QFileDialog *dialog, QLineEdit *name, const QString &text)
{
    name->setText(text);
    QAbstractButton *accept = dialog->findChild<QDialogButtonBox *>()->buttons().first();
    QVERIFY(QTest::qWaitFor([accept] { return accept->isEnabled(); }, 5000));
    accept->click();
}

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

    std::optional<WindowFixture> f;

    // Row i stands for game i, and the editor shows the selected game.
    void verifyInStep()
    {
        const int current = f->find<QListWidget>("lbRoms")->currentRow();
        QCOMPARE(f->roms.upperBound(), f->rowTexts().size());
        for (qint16 i = 0; i < f->roms.upperBound(); ++i)
            QCOMPARE(QFileInfo(f->roms.at(i).RomPath).fileName(), f->rowTexts().at(i));
        QCOMPARE(f->roms.at(f->roms.upperBound()), RomEntry{});
        const RomEntry shown = current == -1 ? RomEntry{} : f->roms.at(qint16(current));
        for (int i = 0; i < 7; ++i)
            QCOMPARE(f->window.chkOptions(i)->isChecked(), shown.Options[std::size_t(i)] != 0);
        for (const char *name : {"frOptions", "Label1", "txtMenuTitle", "chkOptions_0", "chkOptions_6"})
            QCOMPARE(ownEnabled(f->find(name)), current != -1);
        QCOMPARE(ownEnabled(f->find("txtSprite")), shown.Options[4] != 0);
        QCOMPARE(ownEnabled(f->find("txtMem")), shown.Options[5] != 0);
        QCOMPARE(f->text("txtMenuTitle"), shown.MenuTitle);
        QCOMPARE(f->text("txtSprite"), shown.SpriteFollow);
        QCOMPARE(f->text("txtMem"), shown.MemFollow);
        QVERIFY(current == -1 || f->find<QListWidget>("lbRoms")->item(current)->isSelected());
    }

private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void init() { f.emplace(); }
    void cleanup() { f.reset(); }

    void startupEmptiesTheList()
    {
        RomList roms;
        roms.AddRom("/roms/Left.nes");
        const frmMain window(roms);
        QCOMPARE(window.startDir(), QDir::currentPath());
        QCOMPARE(roms.upperBound(), 0);
        QCOMPARE(roms.at(0), RomEntry{});
    }

    void commands_data()
    {
        QTest::addColumn<Answers>("answers");
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("rowClicks"); // in the last step
        QTest::addColumn<bool>("outputPanel");
        QTest::addColumn<QString>("output");
        QTest::addColumn<bool>("build");
        const Answers abc = {{"/r/a.nes", "/r/b.nes", "/r/c.nes"}};
        const QStringList rows = {"a.nes", "b.nes", "c.nes"};
        const Step add = click("cmdBrowse"), remove = click("cmdRemoveRom"), save = click("cmdSave");
        const Step up = click("cmdUpList"), down = click("cmdDownList");
        QTest::newRow("start-up") << Answers{} << Steps{} << QStringList{} << -1 << 0 << false << "" << false;
        QTest::newRow("the focus enters the list") << abc << Steps{add, keys("cmdBrowse", QList<Qt::Key>(4, Qt::Key_Tab))}
                                                   << rows << -1 << 0 << true << "" << false;
        QTest::newRow("add, in dialog order") << Answers{{"/r/a.nes", "/r/c.nes", "/r/a.nes"}} << Steps{add}
                                              << QStringList{"a.nes", "c.nes", "a.nes"} << -1 << 0 << true << "" << false;
        QTest::newRow("cancelled add") << Answers{{}} << Steps{add} << QStringList{} << -1 << 0 << false << "" << false;
        QTest::newRow("name without a dot ends the add") << Answers{{"/r/a.nes", "/r/README", "/r/b.nes"}} << Steps{add}
                                                         << QStringList{"a.nes"} << -1 << 0 << false << "" << false;
        QTest::newRow("adding keeps the selection") << abc + Answers{{"/r/d.nes"}} << Steps{add, row(1), type("txtMenuTitle", "2"), add}
                                                    << rows + QStringList{"d.nes"} << 1 << 0 << true << "" << false;
        QTest::newRow("remove first") << abc << Steps{add, row(0), remove} << QStringList{"b.nes", "c.nes"} << 0 << 1 << true << "" << false;
        QTest::newRow("remove middle") << abc << Steps{add, row(1), remove} << QStringList{"a.nes", "c.nes"} << 1 << 1 << true << "" << false;
        QTest::newRow("remove last") << abc << Steps{add, row(2), remove} << QStringList{"a.nes", "b.nes"} << 1 << 1 << true << "" << false;
        QTest::newRow("remove the only game")
            << Answers{{"/r/a.nes"}, {"/o.gba"}} << Steps{add, save, row(0), click("chkOptions_5"), type("txtMem", "9"), remove}
            << QStringList{} << -1 << 0 << false << "/o.gba" << true;
        QTest::newRow("nothing selected") << abc << Steps{add, remove, up, down} << rows << -1 << 0 << true << "" << false;
        QTest::newRow("up from the top") << abc << Steps{add, row(0), up} << rows << 0 << 0 << true << "" << false;
        QTest::newRow("down from the bottom") << abc << Steps{add, row(2), down} << rows << 2 << 0 << true << "" << false;
        QTest::newRow("up") << abc << Steps{add, row(2), click("chkOptions_4"), type("txtSprite", "9"), up}
                            << QStringList{"a.nes", "c.nes", "b.nes"} << 1 << 1 << true << "" << false;
        QTest::newRow("down") << abc << Steps{add, row(0), type("txtMenuTitle", "x"), down}
                              << QStringList{"b.nes", "a.nes", "c.nes"} << 1 << 1 << true << "" << false;
        QTest::newRow("up, then down") << abc << Steps{add, row(1), type("txtMenuTitle", "x"), up, down} << rows << 1 << 1 << true << "" << false;
        QTest::newRow("ctrl+space keeps the row marked")
            << abc << Steps{add, row(1), keys("lbRoms", {Qt::Key_Space}, Qt::ControlModifier)} << rows << 1 << 0 << true << "" << false;
        QTest::newRow("output chosen") << abc + Answers{{"/o/x.gba"}} << Steps{add, save} << rows << -1 << 0 << true << "/o/x.gba" << true;
        QTest::newRow("output cancelled") << abc + Answers{{}} << Steps{add, type("txtOutputFile", "k"), save} << rows << -1 << 0 << true << "k" << true;
        QTest::newRow("output emptied") << abc << Steps{add, type("txtOutputFile", "k"), keys("txtOutputFile", {Qt::Key_Backspace})}
                                        << rows << -1 << 0 << true << "" << false;
        QTest::newRow("output a blank") << abc << Steps{add, type("txtOutputFile", " ")} << rows << -1 << 0 << true << " " << true;
    }
    void commands()
    {
        QFETCH(Answers, answers);
        QFETCH(Steps, steps);
        f->play(answers, steps.mid(0, steps.size() - 1));
        QSignalSpy rowClicks(f->find<QListWidget>("lbRoms"), &QListWidget::currentRowChanged);
        f->play({}, steps.mid(steps.size() - 1));
        QTEST(int(rowClicks.count()), "rowClicks");
        QTEST(f->rowTexts(), "rows");
        QTEST(f->find<QListWidget>("lbRoms")->currentRow(), "current");
        for (const char *name : {"frOutput", "Label2", "txtOutputFile", "cmdSave"})
            QTEST(ownEnabled(f->find(name)), "outputPanel");
        QTEST(f->text("txtOutputFile"), "output");
        QTEST(ownEnabled(f->find("cmdOutput")), "build");
        verifyInStep();
    }

    void editing_data()
    {
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<RomEntry>("a");
        QTest::addColumn<RomEntry>("b");
        const Step sprite = click("chkOptions_4"), memory = click("chkOptions_5");
        QTest::newRow("sprite, then memory") << Steps{row(0), sprite, memory} << game("A", {5}) << game("B");
        QTest::newRow("memory, then sprite") << Steps{row(0), memory, sprite} << game("A", {4}) << game("B");
        QTest::newRow("sprite, then box 0") << Steps{row(0), sprite, click("chkOptions_0")} << game("A", {0, 4}) << game("B");
        QTest::newRow("value boxes hold 3 and 5 characters")
            << Steps{row(0), sprite, type("txtSprite", "123456"), memory, type("txtMem", "123456")}
            << game("A", {5}, "123", "12345") << game("B");
        QTest::newRow("unchecking keeps the value") << Steps{row(0), memory, type("txtMem", "12"), memory}
                                                    << game("A", {}, {}, "12") << game("B");
        QTest::newRow("title as typed") << Steps{row(1), type("txtMenuTitle", " 2 ")} << game("A") << game("B 2 ");
        QTest::newRow("edits stay with their game")
            << Steps{row(0), type("txtMenuTitle", "X"), sprite, type("txtSprite", "7"), row(1), row(0)}
            << game("AX", {4}, "7") << game("B");
        QTest::newRow("showing a game swaps the follow option")
            << Steps{row(0), memory, type("txtMem", "100"), row(1), sprite, type("txtSprite", "7"), row(0)}
            << game("A", {5}, {}, "100") << game("B", {4}, "7");
    }
    void editing()
    {
        QFETCH(Steps, steps);
        f->play({{"/roms/A.nes", "/roms/B.nes"}}, Steps{click("cmdBrowse")} + steps);
        QTEST(f->roms.at(0), "a");
        QTEST(f->roms.at(1), "b");
        QCOMPARE(f->rowTexts(), QStringList({"A.nes", "B.nes"}));
        verifyInStep();
    }

    // The real dialogs, as the two Browse buttons set them up.
    void realFileDialogs()
    {
        QTemporaryDir dir;
        for (const char *name : {"first.nes", "second.nes", "noext"})
            QVERIFY(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
        whenDialogOpens([&](QFileDialog *dialog, QLineEdit *name) {
            QCOMPARE(dialog->nameFilters(), QStringList({"NES Roms (*.nes)", "All Files (*)"}));
            dialog->setDirectory(dir.path());
            typeAndAccept(dialog, name, "\"first.nes\" \"second.nes\"");
        });
        QTest::mouseClick(f->find("cmdBrowse"), Qt::LeftButton);
        QCOMPARE(f->rowTexts(), QStringList({"first.nes", "second.nes"}));
        QCOMPARE(f->window.cdOpen().FileTitle, "first.nes");
        // The next dialog starts from the last file, the save dialog from none.
        whenDialogOpens([&](QFileDialog *dialog, QLineEdit *name) {
            QVERIFY(QTest::qWaitFor([name] { return !name->text().isEmpty(); }, 5000));
            QCOMPARE(name->text(), "first.nes");
            QCOMPARE(dialog->directory(), QDir(dir.path()));
            dialog->reject();
        });
        QCOMPARE(errorOf([&] { f->window.cdOpen().ShowOpen(&f->window); }), 32755);
        whenDialogOpens([&](QFileDialog *dialog, QLineEdit *name) {
            QCOMPARE(name->text(), "");
            QVERIFY(!dialog->testOption(QFileDialog::DontConfirmOverwrite));
            typeAndAccept(dialog, name, dir.filePath("out.gba"));
        });
        QTest::mouseClick(f->find("cmdSave"), Qt::LeftButton);
        QCOMPARE(f->rowTexts().size(), 2);
        QCOMPARE(f->text("txtOutputFile"), dir.filePath("out.gba"));
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
