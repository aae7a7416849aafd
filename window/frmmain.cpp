#include "frmmain.h"

#include "buildaction.h"
#include "buildcheck.h"
#include "buildnotice.h"
#include "listcommands.h"
#include "listhistory.h"
#include "menufile.h"
#include "romlist.h"
#include "ui_frmMain.h"

#include <QCloseEvent>
#include <QDir>
#include <QPixmap>
#include <QScopedValueRollback>

#include "icon.xpm"

namespace {

// The option boxes of the two follow options, which exclude each other.
constexpr int SpriteBox = int(Option::ScreenFollowsSprite);
constexpr int MemoryBox = int(Option::ScreenFollowsMemory);

// A follow box says that only a number counts: the build writes 0 for any
// other text, which shows in the warning colour meanwhile.
void showWhatCounts(QLineEdit *box)
{
    box->setToolTip(QStringLiteral("A number. Any other text becomes 0 in the menu when the image is made."));
    QObject::connect(box, &QLineEdit::textChanged, box, [box](const QString &text) {
        QPalette palette = box->palette();
        palette.setColor(QPalette::Text,
                         isNumeric(text) || text.isEmpty() ? QPalette().color(QPalette::Text)
                                                           : QColor(0xc0, 0x00, 0x00));
        box->setPalette(palette);
    });
}

} // namespace

frmMain::frmMain(RomList &romList, WindowDialogs dialogs, QWidget *parent)
    : QWidget(parent), m_roms(romList), m_games(romList), m_ui(std::make_unique<Ui::frmMain>()),
      m_cdOpen(dialogs.files), m_errorReport(dialogs.errors), m_questions(dialogs.questions),
      m_memberChooser(dialogs.members)
{
    m_ui->setupUi(this);
    setWindowIcon(QPixmap(icon_xpm));
    m_chkOptions = {m_ui->chkOptions_0, m_ui->chkOptions_1, m_ui->chkOptions_2, m_ui->chkOptions_3,
                    m_ui->chkOptions_4, m_ui->chkOptions_5, m_ui->chkOptions_6};
    m_ui->lbRoms->setModel(&m_games);
    QItemSelectionModel *selection = m_ui->lbRoms->selectionModel();
    // Ctrl+click would clear the highlight but keep the current row, which the
    // editor and the commands act on: the row the user works on stays marked.
    connect(selection, &QItemSelectionModel::selectionChanged, this, [selection] {
        if (const QModelIndex current = selection->currentIndex(); current.isValid() && !selection->isSelected(current))
            selection->select(current, QItemSelectionModel::Select);
    });

    // Every change to the games is a step of the history; the handlers run inside it.
    m_history = new ListHistory(*this);
    const auto edit = [this](const QString &what, bool typing, auto handler) {
        return [=, this] { m_history->recordEdit(what, typing, [=, this] { (this->*handler)(); }); };
    };
    for (int i = 0; i < int(m_chkOptions.size()); ++i) {
        connect(m_chkOptions[std::size_t(i)], &QCheckBox::toggled, this, [this, i] {
            const QString what = (chkOptions(i)->isChecked() ? QStringLiteral("Check ") : QStringLiteral("Uncheck "))
                    + chkOptions(i)->text().remove(u'&');
            m_history->recordEdit(what, false, [this, i] { chkOptions_Click(i); });
        });
    }
    connect(m_ui->txtMenuTitle, &QLineEdit::textChanged, this,
            edit(QStringLiteral("Edit Menu Title"), true, &frmMain::txtMenuTitle_Change));
    connect(m_ui->txtSprite, &QLineEdit::textChanged, this,
            edit(QStringLiteral("Edit Sprite Value"), true, &frmMain::txtSprite_Change));
    connect(m_ui->txtMem, &QLineEdit::textChanged, this,
            edit(QStringLiteral("Edit Memory Value"), true, &frmMain::txtMem_Change));
    connect(selection, &QItemSelectionModel::currentRowChanged, this, [this] {
        if (!m_rowsChanging)
            lbRoms_Click();
    });
    connect(m_ui->txtOutputFile, &QLineEdit::textChanged, this, &frmMain::txtOutputFile_Change);
    connect(m_ui->cmdOutput, &QPushButton::clicked, this, &frmMain::cmdOutput_Click);
    const auto step = [this](const QString &what, void (frmMain::*handler)()) {
        return [=, this] { m_history->record(what, [=, this] { (this->*handler)(); }); };
    };
    connect(m_ui->cmdBrowse, &QPushButton::clicked, this, step(QStringLiteral("Add Roms"), &frmMain::cmdBrowse_Click));
    connect(m_ui->cmdRemoveRom, &QPushButton::clicked, this,
            step(QStringLiteral("Remove Rom"), &frmMain::cmdRemoveRom_Click));
    connect(m_ui->cmdUpList, &QPushButton::clicked, this, step(QStringLiteral("Move Up"), &frmMain::cmdUpList_Click));
    connect(m_ui->cmdDownList, &QPushButton::clicked, this,
            step(QStringLiteral("Move Down"), &frmMain::cmdDownList_Click));
    connect(m_ui->cmdSave, &QPushButton::clicked, this, &frmMain::cmdSave_Click);
    connect(&m_scriptRunner, &ScriptRunner::joinSucceeded, this, [this](const QString &image, qint64 bytes) {
        BuildNotice::announce(this, {image, m_gamesBuilt, bytes});
    });
    // A join that cmd ran unseen and left without a whole image.
    connect(&m_scriptRunner, &ScriptRunner::joinFailed, this,
            [this](const AppError &error) { m_errorReport.show(this, error); });
    m_listCommands = new ListCommands(*this);
    m_games.setTitleCheck(titleWarning);
    showWhatCounts(m_ui->txtSprite);
    showWhatCounts(m_ui->txtMem);

    // The answer to the emptied list runs inside RemoveRom, while the removed
    // row is still in the list, so the clearing cascade writes into no game.
    m_roms.setEmptiedListHandler([this] {
        EnableRomEditor(false);
        ClearRomEditor();
        EnableOutput(false);
    });

    // Start-up: a step that fails is skipped and the next one runs.
    const auto startStep = [this](auto &&body) { m_errorReport.ignoreErrors(this, body); };
    startStep([this] { StartDir = QDir::toNativeSeparators(QDir::currentPath()); });
    startStep([this] { m_games.InitRoms(); });
    startStep([this] { EnableRomEditor(false); });
    startStep([this] { EnableOutput(false); });
    startStep([this] { m_ui->cmdOutput->setEnabled(false); });
    // Tabbing into a list that never had a current row makes its first row
    // current, which would run the row click without the user choosing a row.
    // An explicitly set empty current index keeps the list as it is.
    m_ui->lbRoms->setCurrentIndex(QModelIndex());
    m_ui->lbRoms->setFocus();
}

frmMain::~frmMain()
{
    m_roms.setEmptiedListHandler(nullptr);
}

QCheckBox *frmMain::chkOptions(int index) const
{
    return m_chkOptions.at(std::size_t(index));
}

QListView *frmMain::lbRoms() const
{
    return m_ui->lbRoms;
}

int frmMain::currentRow() const
{
    // While its game is removed the row still counts as selected, so that
    // the answer to an emptied list clears the editor into the spare slot.
    return m_removedRow != -1 ? m_removedRow : m_ui->lbRoms->currentIndex().row();
}

RomEntry *frmMain::selectedEntry()
{
    const int row = currentRow();
    return row == -1 ? nullptr : &m_roms.at(checkedInt16(row));
}

void frmMain::ShowRom(qint16 index)
{
    // Read through the store at every step: the cascades write into the
    // selected entry, which is normally this one.
    const RomEntry &entry = m_roms.at(index);
    for (int i = 0; i < int(m_chkOptions.size()); ++i)
        chkOptions(i)->setChecked(entry.Options[std::size_t(i)] != 0);
    m_ui->txtMem->setText(entry.MemFollow);
    m_ui->txtSprite->setText(entry.SpriteFollow);
    m_ui->txtMenuTitle->setText(entry.MenuTitle);
}

void frmMain::EnableRomEditor(bool enabled)
{
    m_ui->frOptions->setEnabled(enabled);
    for (QCheckBox *box : m_chkOptions)
        box->setEnabled(enabled);
    // The value boxes follow their option boxes, not the flag.
    m_ui->txtSprite->setEnabled(chkOptions(SpriteBox)->isChecked());
    m_ui->txtMem->setEnabled(chkOptions(MemoryBox)->isChecked());
    m_ui->txtMenuTitle->setEnabled(enabled);
    m_ui->Label1->setEnabled(enabled);
}

void frmMain::ClearRomEditor()
{
    for (QCheckBox *box : m_chkOptions)
        box->setChecked(false);
    m_ui->txtMem->setText(QString());
    m_ui->txtSprite->setText(QString());
    m_ui->txtMenuTitle->setText(QString());
}

void frmMain::EnableOutput(bool enabled)
{
    m_ui->txtOutputFile->setEnabled(enabled);
    m_ui->frOutput->setEnabled(enabled);
    m_ui->cmdSave->setEnabled(enabled);
    m_ui->Label2->setEnabled(enabled);
}

void frmMain::chkOptions_Click(int index)
{
    m_errorReport.reportErrors(this, [this, index] {
        RomEntry *entry = selectedEntry();
        if (!entry)
            return;
        entry->Options.at(std::size_t(index)) = chkOptions(index)->isChecked() ? 1 : 0;
        if (index != SpriteBox && index != MemoryBox)
            return;
        // The follow options exclude each other. Unchecking the partner runs
        // its own handling here, nested, when it was checked.
        const int partner = index == SpriteBox ? MemoryBox : SpriteBox;
        QLineEdit *valueBox = index == SpriteBox ? m_ui->txtSprite : m_ui->txtMem;
        if (chkOptions(index)->isChecked())
            chkOptions(partner)->setChecked(false);
        valueBox->setEnabled(chkOptions(index)->isChecked());
    });
}

void frmMain::txtMenuTitle_Change()
{
    m_errorReport.reportErrors(this, [this] {
        if (RomEntry *entry = selectedEntry()) {
            entry->MenuTitle = m_ui->txtMenuTitle->text();
            m_games.entryChanged(checkedInt16(currentRow()));
        }
    });
}

void frmMain::txtSprite_Change()
{
    m_errorReport.reportErrors(this, [this] {
        if (RomEntry *entry = selectedEntry())
            entry->SpriteFollow = m_ui->txtSprite->text();
    });
}

void frmMain::txtMem_Change()
{
    m_errorReport.ignoreErrors(this, [this] {
        if (RomEntry *entry = selectedEntry())
            entry->MemFollow = m_ui->txtMem->text();
    });
}

void frmMain::lbRoms_Click()
{
    // The row comes from the view, never from the signal: removing the
    // current row reports a stale one.
    m_errorReport.reportErrors(this, [this] {
        const int row = currentRow();
        if (row == -1)
            return;
        EnableRomEditor(true);
        ShowRom(checkedInt16(row));
    });
}

void frmMain::txtOutputFile_Change()
{
    // Blanks count as a path; only the empty text keeps the build off.
    m_ui->cmdOutput->setEnabled(!m_ui->txtOutputFile->text().isEmpty());
}

void frmMain::cmdOutput_Click()
{
    m_errorReport.reportErrors(this, [this] {
        try {
            RunBuild(StartDir, m_ui->txtOutputFile->text(), m_roms, m_scriptRunner, m_romCache);
            m_history->markBuilt();
            m_gamesBuilt = m_roms.upperBound();
        } catch (const GameRefused &refused) {
            // The report's row number is hard to find in a long list: the game is shown.
            m_ui->lbRoms->setCurrentIndex(m_games.index(refused.game()));
            throw;
        }
    });
}

void frmMain::cmdBrowse_Click()
{
    m_cdOpen.CancelError = true;
    m_errorReport.ignoreErrors(this, [this] {
        m_cdOpen.Flags = CommonDialog::Explorer | CommonDialog::AllowMultiSelect;
        m_cdOpen.Filter =
                QStringLiteral("NES Roms (*.nes)|*.nes|All Files (*.*)|*.*|Zipped NES Roms (*.zip;*.7z)|*.zip;*.7z");
        m_cdOpen.ShowOpen(this);
        addAnswer(m_cdOpen.FileNames);
    });
}

void frmMain::addRoms(const QStringList &paths)
{
    for (const QString &path : paths)
        m_games.AddRom(path);
    added(paths);
}

void frmMain::added(const QStringList &paths)
{
    if (!paths.isEmpty())
        CommonDialog::rememberFolder(FileRequest::Mode::Open, paths.last());
    // The save command ends on a cancelled dialog only with cancel reporting
    // on: else it would empty the output path and still enable the build.
    m_cdOpen.CancelError = true;
    EnableOutput(true);
}

void frmMain::addAnswer(const QStringList &paths)
{
    UnpackProgress progress(this, paths.size());
    // The add's own failures end it silently, as in addRoms; an archive's
    // are reported first.
    bool adding = false;
    try {
        unpackAnswer(
                paths, m_romCache,
                [&](const RomArchive &archive) {
                    return progress.whileAsking([&] { return m_memberChooser.choose(this, archive); });
                },
                [&](qsizetype item) { return progress.step(item, paths[item]); },
                [&](const RomSource &game) {
                    adding = true;
                    m_games.AddRom(game.romPath, game.archive);
                    adding = false;
                });
    } catch (const AppError &error) {
        if (!adding && error.number() != AppError::DialogCancelled)
            m_errorReport.show(this, error);
        throw;
    }
    added(paths);
}

void frmMain::changeRows(const std::function<void()> &change)
{
    const QScopedValueRollback quiet(m_rowsChanging, true);
    change();
}

void frmMain::selectRowAfterChange(int row)
{
    changeRows([this] { m_ui->lbRoms->setCurrentIndex(QModelIndex()); });
    m_ui->lbRoms->setCurrentIndex(m_games.index(row));
}

void frmMain::cmdRemoveRom_Click()
{
    m_errorReport.ignoreErrors(this, [this] {
        const qint16 selected = checkedInt16(currentRow());
        if (selected == -1)
            return;
        // The view moves its current row with the removal, which must not
        // run the row click for the game that takes its place.
        changeRows([&] {
            const QScopedValueRollback removing(m_removedRow, int(selected));
            m_games.RemoveRom(selected);
        });
        const int games = m_roms.upperBound();
        selectRowAfterChange(selected == games ? games - 1 : selected);
        if (currentRow() != -1)
            ShowRom(checkedInt16(currentRow()));
    });
}

void frmMain::swapGames(int upper, int select)
{
    changeRows([&] { m_games.SwapRomWithNext(checkedInt16(upper)); });
    selectRowAfterChange(select);
}

void frmMain::cmdUpList_Click()
{
    m_errorReport.ignoreErrors(this, [this] {
        const int row = currentRow();
        if (row == -1 || row == 0)
            return;
        swapGames(row - 1, row - 1);
    });
}

void frmMain::cmdDownList_Click()
{
    m_errorReport.ignoreErrors(this, [this] {
        const int row = currentRow();
        if (row == -1 || row == m_roms.upperBound() - 1)
            return;
        swapGames(row, row + 1);
    });
}

void frmMain::cmdSave_Click()
{
    m_errorReport.ignoreErrors(this, [this] {
        // Ask before replacing a file; a write-protected one cannot take the image.
        m_cdOpen.Flags = CommonDialog::OverwritePrompt | CommonDialog::NoReadOnlyReturn;
        m_cdOpen.Filter = QStringLiteral("GBA Roms (*.gba)|*.gba|All Files (*.*)|*.*");
        m_cdOpen.FileName = QString();
        m_cdOpen.ShowSave(this);
        setOutputFile(m_cdOpen.FileName);
    });
}

void frmMain::setOutputFile(const QString &path)
{
    m_ui->txtOutputFile->setText(path);
    m_ui->cmdOutput->setEnabled(true);
    CommonDialog::rememberFolder(FileRequest::Mode::Save, path);
}

bool frmMain::outputEnabled() const
{
    return m_ui->frOutput->isEnabledTo(this);
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (m_history->unbuiltChanges()
        && !m_questions.ask(this, QStringLiteral("The list has changes that are not in a built image. Close anyway?")))
        event->ignore();
}
