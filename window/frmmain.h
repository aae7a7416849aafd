#pragma once

#include "commondialog.h"
#include "errorreport.h"
#include "romcheck.h"
#include "scriptrunner.h"

#include <QIcon>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QKeyEvent;
class QMenu;
class RomList;
struct RomEntry;

namespace Ui {
class frmMain;
}

// The program's one window: the list of games, the option editor of the
// selected game and the output-file row. Setting a control from code runs its
// handler at once (toggled, textChanged, currentRowChanged), and the panel
// procedures below rely on those cascades.
class frmMain : public QWidget
{
    Q_OBJECT

public:
    explicit frmMain(RomList &roms, QWidget *parent = nullptr);
    ~frmMain() override;

    // The option boxes, reached by option index 0 to 6.
    QCheckBox *chkOptions(int index) const;

    // The file dialog of both Browse buttons; tests script its answers.
    CommonDialog &cdOpen() { return m_cdOpen; }
    // The report of a failed build; tests script its answers.
    ErrorReport &errorReport() { return m_errorReport; }

    // Loads game index into the editor; raises out of range before touching
    // any control when index is not an element of the store.
    void ShowRom(qint16 index);
    void EnableRomEditor(bool enabled);
    void ClearRomEditor();
    // Switches the output row except cmdOutput, which only its text box gates.
    void EnableOutput(bool enabled);

    // What a row learns about its game's file for its mark (the warning icon
    // when the file is no sound NES ROM) and its tooltip; none, for the add as
    // it was without the check.
    void setRomCheck(std::function<RomCheck(const QString &path)> check) { m_checkRom = std::move(check); }

public slots:
    void cmdBrowse_Click();
    void cmdRemoveRom_Click();
    void cmdUpList_Click();
    void cmdDownList_Click();
    void cmdSave_Click();
    void chkOptions_Click(int index);
    void txtMenuTitle_Change();
    void txtSprite_Change();
    void txtMem_Change();
    void lbRoms_Click();
    void txtOutputFile_Change();
    void cmdOutput_Click();

    // The list's context menu.
    void mnuSortByTitle_Click();
    void mnuCleanUpTitles_Click();
    void mnuShowMenu_Click();
    void mnuReopenLastBuild_Click();

protected:
    // Takes ROM files dropped onto the list, as if chosen in the open dialog.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Appends one row and one game per path, in order, then enables the output
    // panel; raises at the first path that cannot become a game, leaving the
    // ones before it added.
    void addRoms(const QStringList &paths);
    // The entry of the selected row, or nullptr when no row is selected.
    RomEntry *selectedEntry();
    // Exchanges rows upper and upper + 1 and their games, then selects row select.
    void swapRows(int upper, int select);
    // Opens the list's context menu at the mouse, or for the keyboard at the
    // selected row, its entries enabled for the list as it is.
    void showListMenu(std::optional<QPoint> mousePosition);
    // The list's keys: the context menu, Delete and Ctrl+Up/Down as the buttons.
    bool lbRoms_KeyPress(const QKeyEvent &key);

    RomList &m_roms;
    QString StartDir;
    std::unique_ptr<Ui::frmMain> m_ui;
    std::array<QCheckBox *, 7> m_chkOptions;
    CommonDialog m_cdOpen;
    ErrorReport m_errorReport;
    ScriptRunner m_scriptRunner;
    QMenu *m_mnuList;
    QIcon m_warningIcon;
    std::function<RomCheck(const QString &)> m_checkRom = checkRomFile;
};
