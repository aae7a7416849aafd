#pragma once

#include "commondialog.h"
#include "errorreport.h"
#include "memberchooser.h"
#include "romlistmodel.h"
#include "scriptrunner.h"
#include "unpackanswer.h"

#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class ListCommands;
class ListHistory;
class QCheckBox;
class QListView;
class RomList;

namespace Ui {
class frmMain;
}

// Where the window asks and tells the user: the system's own dialogs unless
// a test hands in its own.
struct WindowDialogs
{
    FileChooser &files = systemFileChooser();
    ErrorDisplay &errors = messageBoxDisplay();
    Question &questions = messageBoxQuestion();
    MemberChooser &members = memberChooserDialog();
};

// The program's one window: the list of games, the option editor of the
// selected game and the output-file row. Setting a control from code runs its
// handler at once (toggled, textChanged, the list's current row), and the
// panel procedures below rely on those cascades.
class frmMain : public QWidget
{
    Q_OBJECT

public:
    explicit frmMain(RomList &roms, WindowDialogs dialogs = {}, QWidget *parent = nullptr);
    ~frmMain() override;

    // The option boxes, reached by option index 0 to 6.
    QCheckBox *chkOptions(int index) const;
    QListView *lbRoms() const;
    RomListModel &games() { return m_games; }
    const RomListModel &games() const { return m_games; }
    ErrorReport &errorReport() { return m_errorReport; }
    ListHistory &history() { return *m_history; }
    // The output panel's own enabled setting, which EnableOutput sets.
    bool outputEnabled() const;
    const QString &startDir() const { return StartDir; }
    const ScriptForm &scriptForm() const { return m_scriptRunner.form(); }

    // Loads game index into the editor; raises out of range before touching
    // any control when index is not an element of the store.
    void ShowRom(qint16 index);
    void EnableRomEditor(bool enabled);
    void ClearRomEditor();
    // Switches the output row except cmdOutput, which only its text box gates.
    void EnableOutput(bool enabled);

    // Appends one game per path, in order, then enables the output panel;
    // raises at the first path that cannot become a game, leaving the ones
    // before it added.
    void addRoms(const QStringList &paths);
    // Adds an open dialog's answer as addRoms does, each archive's ROMs
    // unpacked into the cache first (several: the ones the user chooses),
    // with the unpack's progress once it takes a while. An archive that
    // cannot be read goes to the error report, then raises as addRoms does.
    void addAnswer(const QStringList &paths);
    // Where ROMs unpacked from archives are kept.
    void setRomCache(const QString &folder) { m_romCache = folder; }
    // Names the output file as the save command does.
    void setOutputFile(const QString &path);
    // Runs change, which reshapes the list's rows, without the row click that
    // the view's own moves of its current row would run.
    void changeRows(const std::function<void()> &change);
    // Makes row the selected one after such a change: the list is first left
    // without a current row, so that selecting row is a change and runs the
    // row's Click handling once (none for -1).
    void selectRowAfterChange(int row);

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

protected:
    // Asks before changes that no build has written are lost.
    void closeEvent(QCloseEvent *event) override;

private:
    // The entry of the selected row, or nullptr when no row is selected.
    RomEntry *selectedEntry();
    // The selected row, -1 for none.
    int currentRow() const;
    // Exchanges games upper and upper + 1, then selects row select.
    void swapGames(int upper, int select);
    // After games were added from paths: the open dialog's folder, the output panel.
    void added(const QStringList &paths);

    RomList &m_roms;
    RomListModel m_games;
    QString StartDir;
    std::unique_ptr<Ui::frmMain> m_ui;
    std::array<QCheckBox *, 7> m_chkOptions;
    CommonDialog m_cdOpen;
    ErrorReport m_errorReport;
    Question &m_questions;
    MemberChooser &m_memberChooser;
    QString m_romCache = romCacheFolder();
    ScriptRunner m_scriptRunner;
    ListHistory *m_history;
    ListCommands *m_listCommands;
    bool m_rowsChanging = false;
    int m_removedRow = -1;
    int m_gamesBuilt = 0; // by the build whose join runs, for its notice
};
