#include "frmmain.h"

#include "buildaction.h"
#include "errorreport.h"
#include "romlist.h"
#include "ui_frmMain.h"

#include <QDir>
#include <QFileInfo>
#include <QPixmap>

#include "icon.xpm"

namespace {

constexpr int SpriteOption = 4;
constexpr int MemOption = 5;

// For the steps that go on whatever fails (the start-up sequence and txtMem's
// Change handling), and for the list commands, which end silently at the
// first failure, a cancelled dialog included, and undo nothing.
template <typename Step>
void ignoreErrors(Step &&step)
{
    try {
        step();
    } catch (const std::exception &) {
    }
}

} // namespace

frmMain::frmMain(RomList &romList, QWidget *parent)
    : QWidget(parent), roms(romList), ui(std::make_unique<Ui::frmMain>())
{
    ui->setupUi(this);
    setWindowIcon(QPixmap(icon_xpm));
    m_chkOptions = {ui->chkOptions_0, ui->chkOptions_1, ui->chkOptions_2, ui->chkOptions_3,
                    ui->chkOptions_4, ui->chkOptions_5, ui->chkOptions_6};

    // Tabbing into a list that never had a current row makes its first row
    // current, which would run the row click without the user choosing a row.
    // An explicitly set empty current index keeps the list as it is.
    ui->lbRoms->setCurrentIndex(QModelIndex());
    // Ctrl+click would clear the highlight but keep the current row, which the
    // editor and the commands act on: the row the user works on stays marked.
    connect(ui->lbRoms, &QListWidget::itemSelectionChanged, this, [this] {
        if (QListWidgetItem *current = ui->lbRoms->currentItem(); current && !current->isSelected())
            current->setSelected(true);
    });

    for (int i = 0; i < int(m_chkOptions.size()); ++i)
        connect(m_chkOptions[std::size_t(i)], &QCheckBox::toggled, this, [this, i] { chkOptions_Click(i); });
    connect(ui->txtMenuTitle, &QLineEdit::textChanged, this, &frmMain::txtMenuTitle_Change);
    connect(ui->txtSprite, &QLineEdit::textChanged, this, &frmMain::txtSprite_Change);
    connect(ui->txtMem, &QLineEdit::textChanged, this, &frmMain::txtMem_Change);
    connect(ui->lbRoms, &QListWidget::currentRowChanged, this, &frmMain::lbRoms_Click);
    connect(ui->txtOutputFile, &QLineEdit::textChanged, this, &frmMain::txtOutputFile_Change);
    connect(ui->cmdOutput, &QPushButton::clicked, this, &frmMain::cmdOutput_Click);
    connect(ui->cmdBrowse, &QPushButton::clicked, this, &frmMain::cmdBrowse_Click);
    connect(ui->cmdRemoveRom, &QPushButton::clicked, this, &frmMain::cmdRemoveRom_Click);
    connect(ui->cmdUpList, &QPushButton::clicked, this, &frmMain::cmdUpList_Click);
    connect(ui->cmdDownList, &QPushButton::clicked, this, &frmMain::cmdDownList_Click);
    connect(ui->cmdSave, &QPushButton::clicked, this, &frmMain::cmdSave_Click);

    // The answer to the emptied list runs inside RemoveRom, while the removed
    // row is still selected, so the clearing cascade writes into the spare slot.
    roms.setEmptiedListHandler([this] {
        EnableRomEditor(false);
        ClearRomEditor();
        EnableOutput(false);
    });

    // Start-up: a step that fails is skipped and the next one runs.
    ignoreErrors([this] { StartDir = QDir::toNativeSeparators(QDir::currentPath()); });
    ignoreErrors([this] { roms.InitRoms(); });
    ignoreErrors([this] { EnableRomEditor(false); });
    ignoreErrors([this] { EnableOutput(false); });
    ignoreErrors([this] { ui->cmdOutput->setEnabled(false); });
    ui->lbRoms->setFocus();
}

frmMain::~frmMain()
{
    roms.setEmptiedListHandler(nullptr);
}

QCheckBox *frmMain::chkOptions(int index) const
{
    return m_chkOptions.at(std::size_t(index));
}

RomEntry *frmMain::selectedEntry()
{
    const int row = ui->lbRoms->currentRow();
    return row == -1 ? nullptr : &roms.at(checkedInt16(row));
}

void frmMain::ShowRom(qint16 index)
{
    // Read through the store at every step: the cascades write into the
    // selected entry, which is normally this one.
    const RomEntry &entry = roms.at(index);
    for (int i = 0; i < int(m_chkOptions.size()); ++i)
        chkOptions(i)->setChecked(entry.Options[std::size_t(i)] != 0);
    ui->txtMem->setText(entry.MemFollow);
    ui->txtSprite->setText(entry.SpriteFollow);
    ui->txtMenuTitle->setText(entry.MenuTitle);
}

void frmMain::EnableRomEditor(bool enabled)
{
    ui->frOptions->setEnabled(enabled);
    for (QCheckBox *box : m_chkOptions)
        box->setEnabled(enabled);
    // The value boxes follow their option boxes, not the flag.
    ui->txtSprite->setEnabled(chkOptions(SpriteOption)->isChecked());
    ui->txtMem->setEnabled(chkOptions(MemOption)->isChecked());
    ui->txtMenuTitle->setEnabled(enabled);
    ui->Label1->setEnabled(enabled);
}

void frmMain::ClearRomEditor()
{
    for (QCheckBox *box : m_chkOptions)
        box->setChecked(false);
    ui->txtMem->setText(QString());
    ui->txtSprite->setText(QString());
    ui->txtMenuTitle->setText(QString());
}

void frmMain::EnableOutput(bool enabled)
{
    ui->txtOutputFile->setEnabled(enabled);
    ui->frOutput->setEnabled(enabled);
    ui->cmdSave->setEnabled(enabled);
    ui->Label2->setEnabled(enabled);
}

void frmMain::chkOptions_Click(int index)
{
    reportErrors(this, [this, index] {
        RomEntry *entry = selectedEntry();
        if (!entry)
            return;
        entry->Options.at(std::size_t(index)) = chkOptions(index)->isChecked() ? 1 : 0;
        if (index != SpriteOption && index != MemOption)
            return;
        // The follow options exclude each other. Unchecking the partner runs
        // its own handling here, nested, when it was checked.
        const int partner = index == SpriteOption ? MemOption : SpriteOption;
        QLineEdit *valueBox = index == SpriteOption ? ui->txtSprite : ui->txtMem;
        if (chkOptions(index)->isChecked())
            chkOptions(partner)->setChecked(false);
        valueBox->setEnabled(chkOptions(index)->isChecked());
    });
}

void frmMain::txtMenuTitle_Change()
{
    reportErrors(this, [this] {
        if (RomEntry *entry = selectedEntry())
            entry->MenuTitle = ui->txtMenuTitle->text();
    });
}

void frmMain::txtSprite_Change()
{
    reportErrors(this, [this] {
        if (RomEntry *entry = selectedEntry())
            entry->SpriteFollow = ui->txtSprite->text();
    });
}

void frmMain::txtMem_Change()
{
    ignoreErrors([this] {
        if (RomEntry *entry = selectedEntry())
            entry->MemFollow = ui->txtMem->text();
    });
}

void frmMain::lbRoms_Click()
{
    // The row comes from currentRow(), never from the signal: takeItem of the
    // current row reports a stale one.
    reportErrors(this, [this] {
        const int row = ui->lbRoms->currentRow();
        if (row == -1)
            return;
        EnableRomEditor(true);
        ShowRom(checkedInt16(row));
    });
}

void frmMain::txtOutputFile_Change()
{
    // Blanks count as a path; only the empty text keeps the build off.
    ui->cmdOutput->setEnabled(!ui->txtOutputFile->text().isEmpty());
}

void frmMain::cmdOutput_Click()
{
    reportErrors(this, [this] { RunBuild(StartDir, ui->txtOutputFile->text(), roms); });
}

void frmMain::cmdBrowse_Click()
{
    m_cdOpen.CancelError = true;
    ignoreErrors([this] {
        m_cdOpen.Flags = CommonDialog::Explorer | CommonDialog::AllowMultiSelect;
        m_cdOpen.Filter = QStringLiteral("NES Roms (*.nes)|*.nes|All Files (*.*)|*.*");
        m_cdOpen.ShowOpen(this);
        for (const QString &path : std::as_const(m_cdOpen.FileNames)) {
            // A file that cannot become a game fails before its row exists,
            // so that row i always stands for game i.
            roms.checkAddable(path);
            ui->lbRoms->addItem(QFileInfo(path).fileName());
            roms.AddRom(path);
        }
        EnableOutput(true);
    });
}

void frmMain::cmdRemoveRom_Click()
{
    ignoreErrors([this] {
        QListWidget *list = ui->lbRoms;
        const qint16 selected = checkedInt16(list->currentRow());
        if (selected == -1)
            return;
        roms.RemoveRom(selected);
        {
            // Removing the current row would run the row click with a stale
            // row; the list is left without one, so the selection below is a change.
            const QSignalBlocker blocker(list);
            delete list->takeItem(selected);
            list->setCurrentRow(-1);
        }
        list->setCurrentRow(selected == list->count() ? list->count() - 1 : selected);
        if (list->currentRow() != -1)
            ShowRom(checkedInt16(list->currentRow()));
    });
}

void frmMain::swapRows(int upper, int select)
{
    QListWidgetItem *above = ui->lbRoms->item(upper);
    QListWidgetItem *below = ui->lbRoms->item(upper + 1);
    const QString text = above->text();
    above->setText(below->text());
    below->setText(text);
    roms.SwapRomWithNext(checkedInt16(upper));
    ui->lbRoms->setCurrentRow(select);
}

void frmMain::cmdUpList_Click()
{
    ignoreErrors([this] {
        const int row = ui->lbRoms->currentRow();
        if (row == -1 || row == 0)
            return;
        swapRows(row - 1, row - 1);
    });
}

void frmMain::cmdDownList_Click()
{
    ignoreErrors([this] {
        const int row = ui->lbRoms->currentRow();
        if (row == -1 || row == ui->lbRoms->count() - 1)
            return;
        swapRows(row, row + 1);
    });
}

void frmMain::cmdSave_Click()
{
    ignoreErrors([this] {
        // Ask before replacing a file; a write-protected one cannot take the image.
        m_cdOpen.Flags = CommonDialog::OverwritePrompt | CommonDialog::NoReadOnlyReturn;
        m_cdOpen.Filter = QStringLiteral("GBA Roms (*.gba)|*.gba|All Files (*.*)|*.*");
        m_cdOpen.FileName = QString();
        m_cdOpen.ShowSave(this);
        ui->txtOutputFile->setText(m_cdOpen.FileName);
        ui->cmdOutput->setEnabled(true);
    });
}
