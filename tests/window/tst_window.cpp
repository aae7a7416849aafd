// The window driven as a user drives it, with the file dialog's answers
// scripted, and the real dialog once.
#include "archivesupport.h"
#include "buildnotice.h"
#include "buildscript.h"
#include "listhistory.h"
#include "menufile.h"
#include "scriptrunner.h"
#include "testsupport.h"
#include "windowsupport.h"

#include <QAbstractItemDelegate>
#include <QAccessible>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QSettings>
#include <QStandardPaths>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>
#endif

namespace {

// A game added as the title's first letter, with the seven option values.
RomEntry game(const QString &title, std::array<qint16, 7> options = {}, const QString &sprite = {},
              const QString &mem = {})
{
    return {title.left(1) + ".nes", title, options, mem, sprite};
}

// What a real file dialog showed as it opened.
struct Shown
{
    QStringList filters;
    QString name;
    bool several = false;
};

// Once the real file dialog is open (it runs its own event loop): notes what
// it shows, then types text into its name box and accepts, or cancels for no text.
void answerDialog(const QString &text, Shown &shown, QTimer &timer)
{
    QObject::connect(&timer, &QTimer::timeout, [&, text] {
#ifdef Q_OS_WIN
        const HWND dialog = FindWindowW(L"#32770", nullptr);
        if (!dialog)
            return;
        timer.stop();
        wchar_t buffer[MAX_PATH] = {};
        for (WPARAM i = 0; SendDlgItemMessageW(dialog, cmb1, CB_GETLBTEXT, i, LPARAM(buffer)) != CB_ERR; ++i)
            shown.filters << QString::fromWCharArray(buffer);
        shown.name = QString::fromWCharArray(buffer, GetDlgItemTextW(dialog, cmb13, buffer, MAX_PATH));
        // The list of files, as wine's dialog makes it.
        const HWND files = FindWindowExW(FindWindowExW(dialog, {}, L"SHELLDLL_DefView", {}), {}, L"SysListView32", {});
        shown.several = files && !(GetWindowLongW(files, GWL_STYLE) & LVS_SINGLESEL);
        SetDlgItemTextW(dialog, cmb13, reinterpret_cast<const wchar_t *>(text.utf16()));
        PostMessageW(dialog, WM_COMMAND, text.isEmpty() ? IDCANCEL : IDOK, 0);
#else
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isActiveWindow())
            return;
        timer.stop();
        auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
        shown = {dialog->nameFilters(), name->text(), dialog->fileMode() == QFileDialog::ExistingFiles};
        if (text.isEmpty())
            return dialog->reject();
        name->setFocus(); // typed there, a name replaces the dialog's own choice
        name->setText(text);
        // Enabled once the dialog has read the folder and knows the typed files.
        QAbstractButton *accept = dialog->findChild<QDialogButtonBox *>()->buttons().first();
        QVERIFY(QTest::qWaitFor([accept] { return accept->isEnabled(); }, 5000));
        accept->click();
#endif
    });
    timer.start(20);
}

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

    std::optional<WindowFixture> f;

    // Everything a step can change, one line per thing: games, spare slot,
    // rows, selection, editor and output panel.
    QStringList state() const
    {
        QStringList lines;
        for (qint16 i = 0; i <= f->roms.upperBound(); ++i) {
            const RomEntry &e = f->roms.at(i);
            QStringList options;
            for (const qint16 option : e.Options)
                options << QString::number(option);
            lines << QStringList{e.RomPath, e.MenuTitle, options.join(u','), e.MemFollow, e.SpriteFollow}.join(u'|');
        }
        lines << "rows " + f->rowTexts().join(u' ') << "current " + QString::number(f->currentRow());
        for (const char *box : {"txtMenuTitle", "txtMem", "txtSprite", "txtOutputFile"})
            lines << QString("%1 %2 %3").arg(box, f->text(box)).arg(f->enabled(box));
        for (int i = 0; i < 7; ++i)
            lines << QString("box %1 %2 %3")
                             .arg(i)
                             .arg(f->window.chkOptions(i)->isChecked())
                             .arg(f->enabled(QString("chkOptions_%1").arg(i)));
        for (const char *name : {"frOptions", "Label1", "frOutput", "Label2", "cmdSave", "cmdOutput"})
            lines << QString("%1 %2").arg(name).arg(f->enabled(name));
        return lines;
    }

    // The editor shows the selected game (none: the empty spare slot), the
    // selected row is marked, and only an output path allows the build.
    void verifyEditor()
    {
        const int current = f->currentRow();
        const RomEntry &selected = f->roms.at(qint16(current == -1 ? f->roms.upperBound() : current));
        RomEntry shown{selected.RomPath, f->text("txtMenuTitle"), {}, f->text("txtMem"), f->text("txtSprite")};
        for (int i = 0; i < 7; ++i)
            shown.Options[std::size_t(i)] = f->window.chkOptions(i)->isChecked();
        QCOMPARE(shown, selected);
        for (const char *name : {"frOptions", "Label1", "txtMenuTitle", "chkOptions_0", "chkOptions_6"})
            QCOMPARE(f->enabled(name), current != -1);
        QCOMPARE(f->enabled("txtSprite"), selected.Options[4] != 0);
        QCOMPARE(f->enabled("txtMem"), selected.Options[5] != 0);
        QVERIFY(current == -1 || f->window.lbRoms()->selectionModel()->isRowSelected(current));
        QCOMPARE(f->enabled("cmdOutput"), !f->text("txtOutputFile").isEmpty());
    }

private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void init() { f.emplace(); }

    void commands_data()
    {
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<QString>("rows");
        QTest::addColumn<int>("current");
        QTest::addColumn<bool>("outputPanel");
        QTest::addColumn<QString>("output");
        const QString abc = "a.nes b.nes c.nes";
        const auto browse = [](const QString &files) {
            return click("cmdBrowse", files.split(u' ', Qt::SkipEmptyParts));
        };
        const auto drop = [](const QStringList &urls) { return Step{"lbRoms", {}, {}, urls}; };
        const Step add = browse(abc), save = click("cmdSave", {{"o"}});
        const Step remove = click("cmdRemoveRom"), up = click("cmdUpList"), down = click("cmdDownList");
        const Step typeOutput = type("txtOutputFile", "k");
        // clang-format off
        QTest::newRow("start-up") << Steps{} << "" << -1 << false << "";
        QTest::newRow("add") << Steps{browse("a.nes c.nes a.nes")} << "a.nes c.nes a.nes" << -1 << true << "";
        QTest::newRow("cancelled add") << Steps{browse("")} << "" << -1 << false << "";
        QTest::newRow("no dot ends the add") << Steps{browse("a.nes x b.nes")} << "a.nes" << -1 << false << "";
        QTest::newRow("add keeps the selection")
            << Steps{add, row(1), typeOutput, add} << abc + " " + abc << 1 << true << "k";
        QTest::newRow("focus enters the list") << Steps{add, type("cmdBrowse", "\t\t\t\t")} << abc << -1 << true << "";
        QTest::newRow("remove middle") << Steps{add, row(1), remove} << "a.nes c.nes" << 1 << true << "";
        QTest::newRow("remove last") << Steps{add, row(2), remove} << "a.nes b.nes" << 1 << true << "";
        QTest::newRow("remove one of two")
            << Steps{browse("a.nes b.nes"), save, row(0), remove} << "b.nes" << 0 << true << "o";
        QTest::newRow("remove the only game")
            << Steps{browse("a.nes"), save, row(0), click("chkOptions_5"), remove} << "" << -1 << false << "o";
        QTest::newRow("nothing selected") << Steps{add, remove, up, down} << abc << -1 << true << "";
        QTest::newRow("up from the top") << Steps{add, row(0), up} << abc << 0 << true << "";
        QTest::newRow("down from the bottom") << Steps{add, row(2), down} << abc << 2 << true << "";
        QTest::newRow("up") << Steps{add, row(2), click("chkOptions_4"), up} << "a.nes c.nes b.nes" << 1 << true << "";
        QTest::newRow("down") << Steps{add, row(0), typeOutput, down} << "b.nes a.nes c.nes" << 1 << true << "k";
        QTest::newRow("ctrl+space keeps the mark")
            << Steps{add, row(1), type("lbRoms", " ", Qt::ControlModifier)} << abc << 1 << true << "";
        QTest::newRow("output cancelled") << Steps{add, typeOutput, click("cmdSave", {{}})} << abc << -1 << true << "k";
        QTest::newRow("output emptied")
            << Steps{add, typeOutput, type("txtOutputFile", "\b")} << abc << -1 << true << "";
        QTest::newRow("output a blank") << Steps{add, type("txtOutputFile", " ")} << abc << -1 << true << " ";
        QTest::newRow("drop, then the save cancelled")
            << Steps{drop({"file:///r/b.nes"}), typeOutput, click("cmdSave", {{}})} << "b.nes" << -1 << true << "k";
        QTest::newRow("sort by title") << Steps{browse("c.nes B.nes a.nes"), row(0), menu("s")} << "a.nes B.nes c.nes" << 2 << true << "";
        QTest::newRow("sort, nothing selected") << Steps{browse("b.nes a.nes"), menu("s")} << "a.nes b.nes" << -1 << true << "";
        QTest::newRow("delete") << Steps{add, row(1), key("lbRoms", Qt::Key_Delete)} << "a.nes c.nes" << 1 << true << "";
        QTest::newRow("ctrl+up") << Steps{add, row(2), key("lbRoms", Qt::Key_Up, Qt::ControlModifier)} << "a.nes c.nes b.nes" << 1 << true << "";
        QTest::newRow("ctrl+down") << Steps{add, row(0), key("lbRoms", Qt::Key_Down, Qt::ControlModifier)} << "b.nes a.nes c.nes" << 1 << true << "";
        QTest::newRow("drop") << Steps{drop({"https://h/d.nes", "file:///r/b.nes", "file:///r/d.txt", "file:///r/a.NES", "file:///r/"})}
            << "b.nes a.NES" << -1 << true << "";
        QTest::newRow("drop ends at a game that cannot be added")
            << Steps{drop({"file:///r/a.nes", "file:///" + QString(32767, u'r') + ".nes", "file:///r/c.nes"})} << "a.nes" << -1 << false << "";
        // clang-format on
    }
    void commands()
    {
        QFETCH(Steps, steps);
        f->play(steps);
        QTEST(f->rowTexts().join(u' '), "rows");
        QTEST(f->currentRow(), "current");
        for (const char *name : {"frOutput", "Label2", "txtOutputFile", "cmdSave"})
            QTEST(f->enabled(name), "outputPanel");
        QTEST(f->text("txtOutputFile"), "output");
        verifyEditor();
    }

    void editing_data()
    {
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<RomEntry>("a");
        QTest::addColumn<RomEntry>("b");
        const Step sprite = click("chkOptions_4"), mem = click("chkOptions_5");
        // clang-format off
        QTest::newRow("sprite then memory") << Steps{row(0), sprite, mem} << game("A", {0, 0, 0, 0, 0, 1}) << game("B");
        QTest::newRow("memory then sprite") << Steps{row(0), mem, sprite} << game("A", {0, 0, 0, 0, 1}) << game("B");
        QTest::newRow("value boxes hold 3 and 5 characters")
            << Steps{row(0), sprite, type("txtSprite", "123456"), mem, type("txtMem", "123456")}
            << game("A", {0, 0, 0, 0, 0, 1}, "123", "12345") << game("B");
        QTest::newRow("unchecking keeps the value")
            << Steps{row(0), mem, type("txtMem", "12"), mem} << game("A", {}, {}, "12") << game("B");
        QTest::newRow("title as typed") << Steps{row(1), type("txtMenuTitle", " 2 ")} << game("A") << game("B 2 ");
        QTest::newRow("edits stay with their game")
            << Steps{row(0), type("txtMenuTitle", "X"), sprite, type("txtSprite", "7"), row(1), row(0)}
            << game("AX", {0, 0, 0, 0, 1}, "7") << game("B");
        QTest::newRow("showing a game swaps the follow option")
            << Steps{row(0), mem, type("txtMem", "100"), row(1), sprite, type("txtSprite", "7"), row(0)}
            << game("A", {0, 0, 0, 0, 0, 1}, {}, "100") << game("B", {0, 0, 0, 0, 1}, "7");
        QTest::newRow("clean up titles") << Steps{row(1), type("txtMenuTitle", "_(U)_[!]"), menu("c")} << game("A") << game("B");
        QTest::newRow("sort moves the edits") << Steps{row(0), type("txtMenuTitle", "\bC"), sprite, menu("s")} << game("B") << RomEntry{"A.nes", "C", {0, 0, 0, 0, 1}, {}, {}};
        // clang-format on
    }
    void editing()
    {
        QFETCH(Steps, steps);
        f->play(Steps{click("cmdBrowse", {{"A.nes", "B.nes"}})} + steps);
        QTEST(f->roms.at(0), "a");
        QTEST(f->roms.at(1), "b");
        verifyEditor();
    }

    // The context menu's entries, as "text" with "+" enabled or "-" not ("|" a separator), opened
    // by the keyboard or the right button, and the menu window's rows.
    void listMenu_data()
    {
        QTest::addColumn<QString>("added");
        QTest::addColumn<bool>("mouse");
        QTest::addColumn<QString>("entries");
        QTest::addColumn<QStringList>("menuRows");
        const QString empty = "&Undo- Re&do- | &Sort by Title- &Clean Up Titles- Show &Menu...- Show &Titles+ | "
                              "&Reopen Last Build+";
        const QString games = "&Undo Check Screen Follows Sprite+ Re&do- | &Sort by Title+ &Clean Up Titles+ "
                              "Show &Menu...+ Show &Titles+ | &Reopen Last Build-";
        // clang-format off
        QTest::newRow("empty list, Shift+F10") << "" << false << empty << QStringList();
        QTest::newRow("games, right button") << "a.nes b.nes" << true << games << QStringList{"1 a Speed Hack 1, Screen Follows Sprite 0", "2 b "};
        QTest::newRow("a title outside Latin-1") << "\u4e16\u00e9.nes" << false << games << QStringList{"1 ?\u00e9 Speed Hack 1, Screen Follows Sprite 0"};
        // clang-format on
    }
    void listMenu()
    {
        QFETCH(QString, added);
        QFETCH(bool, mouse);
        // The first game follows the sprite with an empty value, which the build writes as 0.
        f->play({click("cmdBrowse", added.split(u' ', Qt::SkipEmptyParts)), row(0), click("chkOptions_0"),
                 click("chkOptions_4")});
        QWidget *list = f->window.lbRoms()->viewport();
        QContextMenuEvent rightButton(QContextMenuEvent::Mouse, {5, 5}, list->mapToGlobal(QPoint(5, 5)));
        mouse ? void(QApplication::sendEvent(list, &rightButton))
              : f->play({key("lbRoms", Qt::Key_F10, Qt::ShiftModifier)});
        auto *listMenu = f->find<QMenu>("mnuList");
        QVERIFY(listMenu->isVisible());
        QStringList entries;
        for (const QAction *entry : listMenu->actions())
            entries << entry->text() + (entry->isSeparator() ? "|" : entry->isEnabled() ? "+" : "-");
        QTEST(entries.join(u' '), "entries");
        f->play({key("mnuList", Qt::Key_Escape)});
        QVERIFY(!listMenu->isVisible());
        if (added.isEmpty())
            return;
        f->play({menu("m")});
        auto *rows = f->find<QTreeWidget>("tvMenu");
        QStringList menuRows;
        for (const QTreeWidgetItem *item : rows->findItems("*", Qt::MatchWildcard))
            menuRows << item->text(0) + ' ' + item->text(1) + ' ' + item->text(2);
        QTEST(menuRows, "menuRows");
        QVERIFY(rows->window()->isVisible());
        f->play({key("dlgMenu", Qt::Key_Escape)});
        QVERIFY(!rows->window()->isVisible());
        verifyEditor();
    }

    // Reopen Last Build in a start folder that holds the files a build of a
    // sound ROM and a missing one wrote, "cut" taken out of "menu.txt" ("*": all
    // of it); {start} in the report stands for the start folder.
    void reopenLastBuild_data()
    {
        QTest::addColumn<QByteArray>("cut");
        QTest::addColumn<QString>("report");
        QTest::newRow("whole") << QByteArray() << "";
        QTest::newRow("a game less in the menu")
                << QByteArray("gone|32|300\r\n")
                << QStringLiteral("Error %1: Games in menu.txt: 1; in TamLof.bat: 2.").arg(AppError::InvalidArgument);
        QTest::newRow("no menu") << QByteArray("*")
                                 << QStringLiteral("Error %1: %2 ({start}/menu.txt)")
                                            .arg(ENOENT)
                                            .arg(QString::fromLocal8Bit(std::strerror(ENOENT)));
    }
    void reopenLastBuild()
    {
        QFETCH(QByteArray, cut);
        QFETCH(QString, report);
        QTemporaryDir start;
        CurrentDirGuard guard;
        QDir::setCurrent(start.path());
        RomList roms;
        for (const QString name : {"good.nes", "gone.nes"})
            roms.AddRom(QDir::toNativeSeparators(start.filePath(name)));
        roms.at(1).option(Option::ScreenFollowsMemory) = 1;
        roms.at(1).MemFollow = "300";
        writeFile("TamLof.bat",
                  buildScriptBytes(QDir::currentPath(), QDir::current().filePath("out.gba"), roms,
                                   ScriptRunner().form()));
        writeFile("menu.txt", menuFileBytes(roms).replace(cut, ""));
        writeFile("good.nes", QByteArray("NES\x1a\x01\x01") + QByteArray(10 + 24 * 1024, 0));
        if (cut == "*")
            QFile::remove("menu.txt");
        f.emplace();
        f->play({menu("r")});
        QCOMPARE(f->errors.messages.value(0), QDir::toNativeSeparators(report.replace("{start}", start.path())));
        QCOMPARE(f->rowTexts().join(u' '), report.isEmpty() ? "good.nes gone.nes" : "");
        QCOMPARE(f->text("txtOutputFile"), report.isEmpty() ? QDir::toNativeSeparators(start.filePath("out.gba")) : "");
        // A reopened list is what the last build wrote: closing it loses nothing.
        QVERIFY(!f->window.history().unbuiltChanges());
        verifyEditor();
        if (!report.isEmpty())
            return;
        // Reopening switched the dialog's cancel reporting on, which the save command relies on.
        f->play({click("cmdSave", {{}})});
        QCOMPARE(f->text("txtOutputFile"), QDir::toNativeSeparators(start.filePath("out.gba")));
        QCOMPARE(f->roms.at(1), (RomEntry{roms.at(1).RomPath, "gone", {0, 0, 0, 0, 0, 1}, "300", {}}));
        const RomListModel &games = f->window.games();
        QCOMPARE(games.index(0).data(Qt::ToolTipRole), roms.at(0).RomPath + "\nMapper 0, PRG 16 KiB, CHR 8 KiB");
        QVERIFY(games.index(0).data(Qt::DecorationRole).isNull() && !games.index(1).data(Qt::DecorationRole).isNull());
    }

    // Every step, then Undo from the list's menu (all as before the step, the
    // panels included), then Redo (all as after it). Three games A, B, C are
    // added first, then "setup" runs, then "step".
    void undoRedo_data()
    {
        QTest::addColumn<Steps>("setup");
        QTest::addColumn<Step>("step");
        QTest::addColumn<QString>("undo");
        const Step sprite = click("chkOptions_4"), mem = click("chkOptions_5");
        const Steps edited = {row(1), mem, type("txtMem", "12"), type("txtMenuTitle", "_(U)")};
        // clang-format off
        QTest::newRow("add") << edited << click("cmdBrowse", {{"D.nes", "E.nes"}}) << "&Undo Add Roms";
        QTest::newRow("add, nothing selected") << Steps{} << click("cmdBrowse", {{"D.nes"}}) << "&Undo Add Roms";
        QTest::newRow("drop") << edited << Step{"lbRoms", {}, {}, {"file:///r/d.nes"}} << "&Undo Add Roms";
        QTest::newRow("remove") << edited << click("cmdRemoveRom") << "&Undo Remove Rom";
        QTest::newRow("remove the last") << Steps{row(2), sprite} << key("lbRoms", Qt::Key_Delete) << "&Undo Remove Rom";
        QTest::newRow("remove the only game")
            << Steps{row(0), click("cmdRemoveRom"), row(0), click("cmdRemoveRom"), click("cmdSave", {{"o"}}), row(0), sprite}
            << click("cmdRemoveRom") << "&Undo Remove Rom";
        QTest::newRow("up") << edited << click("cmdUpList") << "&Undo Move Up";
        QTest::newRow("down") << edited << key("lbRoms", Qt::Key_Down, Qt::ControlModifier) << "&Undo Move Down";
        QTest::newRow("drag down") << edited << Step{"lbRoms", {}, {}, {}, std::pair(0, 2)} << "&Undo Move Rom";
        QTest::newRow("drag up") << edited << Step{"lbRoms", {}, {}, {}, std::pair(2, 0)} << "&Undo Move Rom";
        QTest::newRow("sort") << Steps{row(0), type("txtMenuTitle", "\bZ"), sprite} << menu("s") << "&Undo Sort by Title";
        QTest::newRow("clean up titles") << edited << menu("c") << "&Undo Clean Up Titles";
        QTest::newRow("typing joins") << Steps{row(1)} << type("txtMenuTitle", "xy") << "&Undo Edit Menu Title";
        QTest::newRow("typing after choosing a game again") << Steps{row(1), type("txtMenuTitle", "x"), row(0), row(1)}
            << type("txtMenuTitle", "y") << "&Undo Edit Menu Title";
        QTest::newRow("an option") << edited << click("chkOptions_0") << "&Undo Check Speed Hack 1";
        QTest::newRow("an option clears its partner") << edited << sprite << "&Undo Check Screen Follows Sprite";
        QTest::newRow("a follow value") << Steps{row(1), sprite} << type("txtSprite", "12") << "&Undo Edit Sprite Value";
        // clang-format on
    }
    void undoRedo()
    {
        QFETCH(Steps, setup);
        QFETCH(Step, step);
        QFETCH(QString, undo);
        f->play(Steps{click("cmdBrowse", {{"A.nes", "B.nes", "C.nes"}})} + setup);
        const QStringList before = state();
        f->play({step});
        const QStringList after = state();
        QVERIFY(before != after);
        auto *undoEntry = f->find<QAction>("mnuUndo");
        auto *redoEntry = f->find<QAction>("mnuRedo");
        QCOMPARE(undoEntry->text(), undo);
        f->play({menu("u")});
        QCOMPARE(state(), before);
        QCOMPARE(redoEntry->text(), "Re&do" + undo.mid(5));
        f->play({menu("d")});
        QCOMPARE(state(), after);
        QCOMPARE(undoEntry->text(), undo);
        QVERIFY(!redoEntry->isEnabled());
    }

    // The keys while the list has the focus, each step's row texts after it.
    void undoKeys()
    {
        f->play({click("cmdBrowse", {{"A.nes", "B.nes"}}), row(0), click("cmdRemoveRom")});
        const auto press = [this](const char *control, QKeyCombination keys) {
            f->find(control)->setFocus();
            QTest::keyClick(f->find(control), keys.key(), keys.keyboardModifiers());
            return f->rowTexts().join(u' ') + "|" + f->text("txtMenuTitle");
        };
        QCOMPARE(press("lbRoms", Qt::CTRL | Qt::Key_Z), "A.nes B.nes|A");
        QCOMPARE(press("lbRoms", Qt::CTRL | Qt::SHIFT | Qt::Key_Z), "B.nes|B");
        QCOMPARE(press("lbRoms", Qt::CTRL | Qt::Key_Z), "A.nes B.nes|A");
        QCOMPARE(press("lbRoms", Qt::CTRL | Qt::Key_Y), "B.nes|B");
        // A text box keeps its own undo.
        f->play({type("txtMenuTitle", "x")});
        QCOMPARE(press("txtMenuTitle", Qt::CTRL | Qt::Key_Z), "B.nes|B");
        QCOMPARE(f->roms.at(0).MenuTitle, "B");
        // Typed and taken back in the box: the game is as it was, and no step is left.
        QCOMPARE(f->window.history().stack().count(), 2); // the add and the remove
    }

    // Closing the window after "steps": asked whether to lose unbuilt changes, answered "yes".
    void closing_data()
    {
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("asked");
        const Step add = click("cmdBrowse", {{"A.nes"}});
        // clang-format off
        QTest::newRow("empty") << Steps{} << false << false;
        QTest::newRow("changes, no") << Steps{add} << false << true;
        QTest::newRow("changes, yes") << Steps{add} << true << true;
        QTest::newRow("emptied again") << Steps{add, row(0), click("cmdRemoveRom")} << false << false;
        // clang-format on
    }
    void closing()
    {
        QFETCH(Steps, steps);
        QFETCH(bool, yes);
        QFETCH(bool, asked);
        f->play(steps);
        f->questions.answer = yes;
        QCOMPARE(f->window.close(), !asked || yes);
        QCOMPARE(f->questions.asked,
                 asked ? QStringList{"The list has changes that are not in a built image. Close anyway?"}
                       : QStringList());
    }

    // Show Titles: rows show menu titles, kept for the next run; every row keeps the mark's place.
    void titlesView()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("a.nes"), QByteArray("NES\x1a\x01\x01") + QByteArray(10 + 24 * 1024, 0));
        const QStringList paths{dir.filePath("a.nes"), dir.filePath("gone/a.nes")};
        f->play({click("cmdBrowse", paths), row(1), type("txtMenuTitle", "\b\bB")});
        const RomListModel &games = f->window.games();
        QCOMPARE(f->rowTexts(), QStringList({"a.nes", "a.nes"}));
        QListView *list = f->window.lbRoms();
        QStyleOptionViewItem option;
        option.initFrom(list);
        option.decorationSize = list->iconSize();
        QVERIFY(games.index(0).data(Qt::DecorationRole).isNull() && !games.index(1).data(Qt::DecorationRole).isNull());
        QCOMPARE(list->itemDelegate()->sizeHint(option, games.index(0)),
                 list->itemDelegate()->sizeHint(option, games.index(1)));
        f->play({menu("t"), type("txtMenuTitle", "x")});
        QCOMPARE(f->rowTexts(), QStringList({"a", "Bx"}));
        QVERIFY(games.index(1).data(Qt::ToolTipRole).toString().startsWith("a.nes\n"));
        f->play({menu("u")});
        QCOMPARE(f->rowTexts(), QStringList({"a", "a"}));
        RomList again;
        frmMain next(again, {f->files, f->errors, f->questions});
        QVERIFY(next.games().showTitles());
        // The dialogs start where the last game and the last output were.
        f->play({click("cmdSave", {{dir.filePath("out/o.gba")}})});
        f->files.answers = {std::nullopt, std::nullopt};
        next.cmdBrowse_Click();
        next.cmdSave_Click();
        QCOMPARE(f->files.requests.at(f->files.requests.size() - 2).folder, dir.filePath("gone"));
        QCOMPARE(f->files.requests.back().folder, dir.filePath("out"));
        QCOMPARE(f->files.requests.back().fileName, "");
    }

    // A build refused for a ROM shows that game, whichever was selected.
    void refusedBuildShowsItsGame()
    {
        QTemporaryDir start;
        CurrentDirGuard guard;
        QDir::setCurrent(start.path());
        writeFile("tamblinvx.gba", "G");
        writeFile("a.nes", "NES");
        f.emplace();
        f->play({click("cmdBrowse", QStringList{start.filePath("a.nes"), start.filePath("gone.nes")}), row(0),
                 click("cmdSave", {{start.filePath("out.gba")}}), click("cmdOutput")});
        QVERIFY(f->errors.messages.value(0).startsWith("Error 2: The ROM file of the game in row 2 cannot be read"));
        QCOMPARE(f->currentRow(), 1);
        QCOMPARE(f->text("txtMenuTitle"), "gone");
        QVERIFY(!QFile::exists("menu.txt"));
    }

    // A notice of 200 x 100 beside a window on a screen of 1024 x 768, or in
    // the corner where it covers least of a window with no room beside it.
    void noticePlace_data()
    {
        QTest::addColumn<QRect>("window");
        QTest::addColumn<QPoint>("place");
        QTest::newRow("right of the window") << QRect(100, 50, 424, 321) << QPoint(532, 50);
        QTest::newRow("left of it, at the right edge") << QRect(600, 50, 424, 321) << QPoint(392, 50);
        QTest::newRow("kept on the screen") << QRect(100, 700, 424, 321) << QPoint(532, 668);
        QTest::newRow("no room beside: a free corner") << QRect(150, 0, 724, 300) << QPoint(0, 668);
        QTest::newRow("a window as big as the screen") << QRect(0, 0, 1024, 768) << QPoint(0, 0);
    }
    void noticePlace()
    {
        QFETCH(QRect, window);
        QTEST(::noticePlace(window, {200, 100}, {0, 0, 1024, 768}), "place");
    }

    // A whole image announced: a notice that names it and leaves the focus
    // where the player types, closed by Escape; none once turned off.
    void buildNotice()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings().clear();
        QWidget *typing = QApplication::focusWidget();
        BuildNotice::announce(&f->window, {"/images/out.gba", 12, 3565158});
        auto *notice = f->find("frmBuildNotice");
        QVERIFY(notice && notice->isVisible());
        QCOMPARE(notice->findChild<QLabel *>("lblSummary")->text(), "12 games, 3.4 MiB of 32 MiB");
        QCOMPARE(notice->findChild<QLabel *>("lblImage")->text(),
                 QDir::toNativeSeparators(QFileInfo("/images/out.gba").absoluteFilePath()));
        QVERIFY(!notice->frameGeometry().intersects(f->window.frameGeometry()));
        QCOMPARE(QApplication::focusWidget(), typing);
        QCOMPARE(QApplication::activeWindow(), &f->window);
        QTest::keyClick(notice, Qt::Key_Escape);
        QTRY_VERIFY(!f->find("frmBuildNotice"));
        BuildNotice::announce(&f->window, {"/images/out.gba", 1, 0});
        QTest::mouseClick(f->find<QCheckBox>("chkDoNotShow"), Qt::LeftButton);
        QTest::mouseClick(f->find("cmdClose"), Qt::LeftButton);
        QTRY_VERIFY(!f->find("frmBuildNotice"));
        QVERIFY(!BuildNotice::wanted());
        BuildNotice::announce(&f->window, {"/images/out.gba", 1, 0});
        QVERIFY(!f->find("frmBuildNotice"));
        QSettings().clear();
    }

    // Archives in the open dialog's answer or dropped, their ROMs unpacked
    // into the cache: a game per ROM, titled by the ROM's own name.
    void archives_data()
    {
        QTest::addColumn<QStringList>("answer");      // in a folder holding one.zip, two.7z and damaged.zip
        QTest::addColumn<bool>("dropped");            // else chosen with Browse
        QTest::addColumn<QList<qsizetype>>("chosen"); // the chooser's answer for two.7z
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QString>("report"); // %1: the folder
        const QString damaged =
                "Error 321: The archive %1/damaged.zip is truncated: it ends before its last member does.";
        // clang-format off
        QTest::newRow("one ROM") << QStringList{"one.zip"} << false << QList<qsizetype>{} << QStringList{"Alpha (U)"} << "";
        QTest::newRow("two ROMs, both chosen") << QStringList{"a.nes", "two.7z"} << false << QList<qsizetype>{0, 1}
            << QStringList{"a", "Beta (E)", "Beta (U)"} << "";
        QTest::newRow("dropped") << QStringList{"one.zip", "two.7z"} << true << QList<qsizetype>{1}
            << QStringList{"Alpha (U)", "Beta (U)"} << "";
        QTest::newRow("a damaged archive") << QStringList{"damaged.zip"} << false << QList<qsizetype>{} << QStringList{} << damaged;
        QTest::newRow("a damaged archive after a game") << QStringList{"one.zip", "damaged.zip", "a.nes"} << false
            << QList<qsizetype>{} << QStringList{"Alpha (U)"} << damaged;
        // clang-format on
    }
    void archives()
    {
        QFETCH(QStringList, answer);
        QFETCH(bool, dropped);
        QFETCH(QList<qsizetype>, chosen);
        QFETCH(QString, report);
        QTemporaryDir dir;
        writeArchive(dir.filePath("one.zip"), "zip", {}, {"roms/Alpha (U).nes"});
        writeArchive(dir.filePath("two.7z"), "7zip", {}, {"Europe/Beta (E).nes", "USA/Beta (U).nes"});
        writeArchive(dir.filePath("damaged.zip"), "zip", {}, {"Gamma.nes"});
        QVERIFY(QFile(dir.filePath("damaged.zip")).resize(1000));
        for (QString &name : answer)
            name = dropped ? QUrl::fromLocalFile(dir.filePath(name)).toString()
                           : QDir::toNativeSeparators(dir.filePath(name));
        f->members.answers << chosen;
        f->play({dropped ? Step{"lbRoms", {}, {}, answer} : click("cmdBrowse", answer)});
        QStringList titles;
        for (qint16 i = 0; i < f->roms.upperBound(); ++i) {
            titles << f->roms.at(i).MenuTitle;
            if (titles.last() == "a")
                continue;
            // The ROM unpacked whole into the cache; the tooltip names its archive.
            QVERIFY(f->roms.at(i).RomPath.startsWith(QDir::toNativeSeparators(f->cache.path())));
            QCOMPARE(readAll(f->roms.at(i).RomPath), memberBytes(titles.last() + ".nes"));
            const QString archive = QDir::toNativeSeparators(dir.filePath(i == 0 ? "one.zip" : "two.7z"));
            QVERIFY(f->window.games().index(i).data(Qt::ToolTipRole).toString().endsWith("archive " + archive));
        }
        QTEST(titles, "titles");
        QCOMPARE(f->errors.messages,
                 report.isEmpty() ? QStringList() : QStringList{QDir::toNativeSeparators(report.arg(dir.path()))});
        verifyEditor();
    }

    // The chooser of an archive's several ROMs: the first selected as it
    // opens, several in the archive's order, none when cancelled.
    void memberChooser_data()
    {
        QTest::addColumn<QTestEventList>("keys"); // typed into its list; Return adds, Escape cancels
        QTest::addColumn<QList<qsizetype>>("chosen");
        QTestEventList first, two;
        first.addKeyClick(Qt::Key_Return);
        for (const Qt::Key key : {Qt::Key_End, Qt::Key_Up, Qt::Key_Up, Qt::Key_Space})
            two.addKeyClick(key, key == Qt::Key_End ? Qt::NoModifier : Qt::ControlModifier);
        QTestEventList cancelled = two;
        two.addKeyClick(Qt::Key_Return);
        cancelled.addKeyClick(Qt::Key_Escape);
        QTest::newRow("the first as it opens") << first << QList<qsizetype>{0};
        QTest::newRow("two, in the archive's order") << two << QList<qsizetype>{0, 2};
        QTest::newRow("cancelled") << cancelled << QList<qsizetype>{};
    }
    void memberChooser()
    {
        QFETCH(QTestEventList, keys);
        MemberChooserDialog dialog(&f->window, "/roms/Game.7z", {"USA/Game (U).nes", "Game (E).nes", "Game (J).nes"});
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        keys.simulate(dialog.findChild<QListWidget *>("lbMembers"));
        QTEST(dialog.chosen(), "chosen");
    }

    // What a screen reader says each control does.
    void accessibleNames_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        // clang-format off
        QTest::newRow("list") << "lbRoms" << "Games";
        QTest::newRow("up") << "cmdUpList" << "Move up";
        QTest::newRow("down") << "cmdDownList" << "Move down";
        QTest::newRow("add") << "cmdBrowse" << "Browse for ROM files";
        QTest::newRow("title") << "txtMenuTitle" << "Menu title";
        QTest::newRow("sprite") << "txtSprite" << "Sprite follow value";
        QTest::newRow("memory") << "txtMem" << "Memory follow value";
        QTest::newRow("output") << "txtOutputFile" << "Output file";
        QTest::newRow("choose output") << "cmdSave" << "Browse for the output file";
        // clang-format on
    }
    void accessibleNames()
    {
        QFETCH(QString, control);
        QTEST(QAccessible::queryAccessibleInterface(f->find(control))->text(QAccessible::Name), "name");
    }

    // The real dialogs, as the two Browse buttons set them up, after a first
    // game "first.nes" was added; "%1" is the folder of the games.
    void realFileDialogs_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("output");
        // clang-format off
        QTest::newRow("one file") << "cmdBrowse" << "second.nes" << "first.nes second.nes" << "";
        QTest::newRow("several at once") << "cmdBrowse" << "\"first.nes\" \"second.nes\"" << "first.nes first.nes second.nes" << "";
        QTest::newRow("open cancelled") << "cmdBrowse" << "" << "first.nes" << "";
        QTest::newRow("a name without extension") << "cmdSave" << "%1/plain" << "first.nes" << "%1/plain";
        QTest::newRow("another extension") << "cmdSave" << "%1/alpha.nes" << "first.nes" << "%1/alpha.nes";
        QTest::newRow("save cancelled") << "cmdSave" << "" << "first.nes" << "";
        // clang-format on
    }
    void realFileDialogs()
    {
        QFETCH(QString, command);
        QFETCH(QString, typed);
        QFETCH(QString, output);
        QTemporaryDir dir;
        const auto native = [&](QString path) { return QDir::toNativeSeparators(path.replace("%1", dir.path())); };
        for (const QString name : {"first.nes", "second.nes"})
            QVERIFY(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
        f->play({click("cmdBrowse", {{dir.filePath("first.nes")}})});
        Shown shown;
        QTimer timer;
        answerDialog(native(typed), shown, timer);
        QTest::mouseClick(f->find(command), Qt::LeftButton);
        QTEST(f->rowTexts().join(u' '), "rows");
        QCOMPARE(f->text("txtOutputFile"), native(output));
        // The open dialog takes several files and starts from the last one; the save dialog starts empty.
        const bool open = command == "cmdBrowse";
        // Windows lists the descriptions as given; elsewhere "*.*" would hide the files without a dot.
        const bool windows = QSysInfo::kernelType() == "winnt";
        const QString all = windows ? "All Files (*.*)" : "All Files (*)";
        const QString zipped = windows ? "Zipped NES Roms (*.zip;*.7z)" : "Zipped NES Roms (*.zip *.7z)";
        QCOMPARE(shown.filters,
                 open ? QStringList({"NES Roms (*.nes)", all, zipped}) : QStringList({"GBA Roms (*.gba)", all}));
        QCOMPARE(shown.name, open ? "first.nes" : "");
        QCOMPARE(shown.several, open);
        verifyEditor();
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
