#include "frmmain.h"

#include "buildaction.h"
#include "buildreadback.h"
#include "menupreview.h"
#include "romlist.h"
#include "ui_frmMain.h"

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QPixmap>
#include <QStyle>

#include <algorithm>

#include "icon.xpm"

namespace {

// The option boxes of the two follow options, which exclude each other.
constexpr int SpriteBox = int(Option::ScreenFollowsSprite);
constexpr int MemoryBox = int(Option::ScreenFollowsMemory);

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

// The ROM files among dragged data, as the open dialog would name them: local
// .nes files only, in the order they were dragged.
QStringList draggedRoms(const QMimeData *data)
{
    QStringList paths;
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile() && url.toLocalFile().endsWith(QLatin1String(".nes"), Qt::CaseInsensitive))
            paths << QDir::toNativeSeparators(url.toLocalFile());
    }
    return paths;
}

// A row of the list: its game's file name, and the ROM check of the file,
// made when the row is first shown or its tooltip asked for, so that an add
// of thousands of games reads only the files of the rows in view.
class RomRow : public QListWidgetItem
{
public:
    RomRow(const QString &path, const std::function<RomCheck(const QString &)> &check, const QIcon &warning)
        : QListWidgetItem(QFileInfo(path).fileName()), m_path(path), m_checkRom(check), m_warning(warning)
    {
    }

    // Moves with the game when two rows exchange their games.
    void swapFile(RomRow &other)
    {
        std::swap(m_path, other.m_path);
        std::swap(m_check, other.m_check);
    }

    QVariant data(int role) const override
    {
        if ((role != Qt::ToolTipRole && role != Qt::DecorationRole) || !m_checkRom)
            return QListWidgetItem::data(role);
        if (!m_check)
            m_check = m_checkRom(m_path);
        if (role == Qt::ToolTipRole)
            return romCheckText(m_path, *m_check);
        return m_check->verdict == RomCheck::Good ? QVariant() : QVariant(m_warning);
    }

private:
    QString m_path;
    const std::function<RomCheck(const QString &)> &m_checkRom;
    const QIcon &m_warning;
    mutable std::optional<RomCheck> m_check;
};

} // namespace

frmMain::frmMain(RomList &romList, QWidget *parent)
    : QWidget(parent), m_roms(romList), m_ui(std::make_unique<Ui::frmMain>())
{
    m_ui->setupUi(this);
    setWindowIcon(QPixmap(icon_xpm));
    m_chkOptions = {m_ui->chkOptions_0, m_ui->chkOptions_1, m_ui->chkOptions_2, m_ui->chkOptions_3,
                    m_ui->chkOptions_4, m_ui->chkOptions_5, m_ui->chkOptions_6};

    // Tabbing into a list that never had a current row makes its first row
    // current, which would run the row click without the user choosing a row.
    // An explicitly set empty current index keeps the list as it is.
    m_ui->lbRoms->setCurrentIndex(QModelIndex());
    m_ui->lbRoms->viewport()->setAcceptDrops(true);
    m_ui->lbRoms->viewport()->installEventFilter(this);
    // Ctrl+click would clear the highlight but keep the current row, which the
    // editor and the commands act on: the row the user works on stays marked.
    connect(m_ui->lbRoms, &QListWidget::itemSelectionChanged, this, [this] {
        if (QListWidgetItem *current = m_ui->lbRoms->currentItem(); current && !current->isSelected())
            current->setSelected(true);
    });

    for (int i = 0; i < int(m_chkOptions.size()); ++i)
        connect(m_chkOptions[std::size_t(i)], &QCheckBox::toggled, this, [this, i] { chkOptions_Click(i); });
    connect(m_ui->txtMenuTitle, &QLineEdit::textChanged, this, &frmMain::txtMenuTitle_Change);
    connect(m_ui->txtSprite, &QLineEdit::textChanged, this, &frmMain::txtSprite_Change);
    connect(m_ui->txtMem, &QLineEdit::textChanged, this, &frmMain::txtMem_Change);
    connect(m_ui->lbRoms, &QListWidget::currentRowChanged, this, &frmMain::lbRoms_Click);
    connect(m_ui->txtOutputFile, &QLineEdit::textChanged, this, &frmMain::txtOutputFile_Change);
    connect(m_ui->cmdOutput, &QPushButton::clicked, this, &frmMain::cmdOutput_Click);
    connect(m_ui->cmdBrowse, &QPushButton::clicked, this, &frmMain::cmdBrowse_Click);
    connect(m_ui->cmdRemoveRom, &QPushButton::clicked, this, &frmMain::cmdRemoveRom_Click);
    connect(m_ui->cmdUpList, &QPushButton::clicked, this, &frmMain::cmdUpList_Click);
    connect(m_ui->cmdDownList, &QPushButton::clicked, this, &frmMain::cmdDownList_Click);
    connect(m_ui->cmdSave, &QPushButton::clicked, this, &frmMain::cmdSave_Click);
    // A join that cmd ran unseen and left without a whole image.
    connect(&m_scriptRunner, &ScriptRunner::joinFailed, this,
            [this](const AppError &error) { m_errorReport.show(this, error); });

    // The list's context menu (the right button, the Menu key, Shift+F10) and keys.
    m_mnuList = new QMenu(this);
    m_mnuList->setObjectName(QStringLiteral("mnuList"));
    const auto addEntry = [this](const char *name, const QString &text, void (frmMain::*handler)()) {
        m_mnuList->addAction(text, this, handler)->setObjectName(QLatin1String(name));
    };
    addEntry("mnuSortByTitle", QStringLiteral("&Sort by Title"), &frmMain::mnuSortByTitle_Click);
    addEntry("mnuCleanUpTitles", QStringLiteral("&Clean Up Titles"), &frmMain::mnuCleanUpTitles_Click);
    addEntry("mnuShowMenu", QStringLiteral("Show &Menu..."), &frmMain::mnuShowMenu_Click);
    m_mnuList->addSeparator();
    addEntry("mnuReopenLastBuild", QStringLiteral("&Reopen Last Build"), &frmMain::mnuReopenLastBuild_Click);
    m_ui->lbRoms->installEventFilter(this);
    // Rows are one line each; sized alike, the list lays out without asking
    // each row for its mark, which is as high as a line of text.
    m_ui->lbRoms->setUniformItemSizes(true);
    const int lineHeight = m_ui->lbRoms->fontMetrics().height();
    m_ui->lbRoms->setIconSize({lineHeight, lineHeight});
    m_warningIcon = style()->standardIcon(QStyle::SP_MessageBoxWarning);

    // The answer to the emptied list runs inside RemoveRom, while the removed
    // row is still selected, so the clearing cascade writes into the spare slot.
    m_roms.setEmptiedListHandler([this] {
        EnableRomEditor(false);
        ClearRomEditor();
        EnableOutput(false);
    });

    // Start-up: a step that fails is skipped and the next one runs.
    ignoreErrors([this] { StartDir = QDir::toNativeSeparators(QDir::currentPath()); });
    ignoreErrors([this] { m_roms.InitRoms(); });
    ignoreErrors([this] { EnableRomEditor(false); });
    ignoreErrors([this] { EnableOutput(false); });
    ignoreErrors([this] { m_ui->cmdOutput->setEnabled(false); });
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

RomEntry *frmMain::selectedEntry()
{
    const int row = m_ui->lbRoms->currentRow();
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
        if (RomEntry *entry = selectedEntry())
            entry->MenuTitle = m_ui->txtMenuTitle->text();
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
    ignoreErrors([this] {
        if (RomEntry *entry = selectedEntry())
            entry->MemFollow = m_ui->txtMem->text();
    });
}

void frmMain::lbRoms_Click()
{
    // The row comes from currentRow(), never from the signal: takeItem of the
    // current row reports a stale one.
    m_errorReport.reportErrors(this, [this] {
        const int row = m_ui->lbRoms->currentRow();
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
    m_errorReport.reportErrors(this,
                               [this] { RunBuild(StartDir, m_ui->txtOutputFile->text(), m_roms, m_scriptRunner); });
}

void frmMain::cmdBrowse_Click()
{
    m_cdOpen.CancelError = true;
    ignoreErrors([this] {
        m_cdOpen.Flags = CommonDialog::Explorer | CommonDialog::AllowMultiSelect;
        m_cdOpen.Filter = QStringLiteral("NES Roms (*.nes)|*.nes|All Files (*.*)|*.*");
        m_cdOpen.ShowOpen(this);
        addRoms(m_cdOpen.FileNames);
    });
}

void frmMain::addRoms(const QStringList &paths)
{
    for (const QString &path : paths) {
        // A file that cannot become a game fails before its row exists,
        // so that row i always stands for game i.
        m_roms.checkAddable(path);
        m_ui->lbRoms->addItem(new RomRow(path, m_checkRom, m_warningIcon));
        m_roms.AddRom(path);
    }
    // The save command ends on a cancelled dialog only with cancel reporting
    // on: else it would empty the output path and still enable the build.
    m_cdOpen.CancelError = true;
    EnableOutput(true);
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_ui->lbRoms || watched == m_ui->lbRoms->viewport()) {
        if (event->type() == QEvent::ContextMenu) {
            const auto *request = static_cast<QContextMenuEvent *>(event);
            showListMenu(request->reason() == QContextMenuEvent::Mouse ? std::optional(request->globalPos())
                                                                       : std::nullopt);
            return true;
        }
        if (event->type() == QEvent::KeyPress && lbRoms_KeyPress(*static_cast<QKeyEvent *>(event)))
            return true;
    }
    if (watched != m_ui->lbRoms->viewport())
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDropEvent *>(event);
        if (!draggedRoms(drag->mimeData()).isEmpty())
            drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        const QStringList paths = draggedRoms(drop->mimeData());
        if (paths.isEmpty())
            return true;
        drop->acceptProposedAction();
        // Ends silently at the first failure, as the Browse command does.
        ignoreErrors([this, &paths] { addRoms(paths); });
        return true;
    }
    default:
        return QWidget::eventFilter(watched, event);
    }
}

void frmMain::cmdRemoveRom_Click()
{
    ignoreErrors([this] {
        QListWidget *list = m_ui->lbRoms;
        const qint16 selected = checkedInt16(list->currentRow());
        if (selected == -1)
            return;
        m_roms.RemoveRom(selected);
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
    QListWidgetItem *above = m_ui->lbRoms->item(upper);
    QListWidgetItem *below = m_ui->lbRoms->item(upper + 1);
    static_cast<RomRow *>(above)->swapFile(*static_cast<RomRow *>(below));
    const QString text = above->text();
    above->setText(below->text());
    below->setText(text);
    m_roms.SwapRomWithNext(checkedInt16(upper));
    m_ui->lbRoms->setCurrentRow(select);
}

void frmMain::cmdUpList_Click()
{
    ignoreErrors([this] {
        const int row = m_ui->lbRoms->currentRow();
        if (row == -1 || row == 0)
            return;
        swapRows(row - 1, row - 1);
    });
}

void frmMain::cmdDownList_Click()
{
    ignoreErrors([this] {
        const int row = m_ui->lbRoms->currentRow();
        if (row == -1 || row == m_ui->lbRoms->count() - 1)
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
        m_ui->txtOutputFile->setText(m_cdOpen.FileName);
        m_ui->cmdOutput->setEnabled(true);
    });
}

void frmMain::showListMenu(std::optional<QPoint> mousePosition)
{
    const bool games = m_roms.upperBound() > 0;
    for (const char *name : {"mnuSortByTitle", "mnuCleanUpTitles", "mnuShowMenu"})
        m_mnuList->findChild<QAction *>(QLatin1String(name))->setEnabled(games);
    m_mnuList->findChild<QAction *>(QStringLiteral("mnuReopenLastBuild"))->setEnabled(!games);
    QListWidget *list = m_ui->lbRoms;
    const QRect selected = list->currentItem() ? list->visualItemRect(list->currentItem()) : QRect();
    m_mnuList->popup(mousePosition.value_or(list->viewport()->mapToGlobal(selected.bottomLeft())));
}

bool frmMain::lbRoms_KeyPress(const QKeyEvent &key)
{
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    if (key.key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier)
        showListMenu(std::nullopt);
    else if (key.key() == Qt::Key_Delete && modifiers == Qt::NoModifier)
        cmdRemoveRom_Click();
    else if (key.key() == Qt::Key_Up && modifiers == Qt::ControlModifier)
        cmdUpList_Click();
    else if (key.key() == Qt::Key_Down && modifiers == Qt::ControlModifier)
        cmdDownList_Click();
    else
        return false;
    return true;
}

void frmMain::mnuSortByTitle_Click()
{
    m_errorReport.reportErrors(this, [this] {
        QListWidget *list = m_ui->lbRoms;
        const int selected = list->currentRow();
        const std::vector<qint16> order = m_roms.sortByTitle();
        std::vector<QListWidgetItem *> rows(order.size());
        {
            // Rows move with their games. Left without a current row, the
            // list takes the selection below as a change and shows the game.
            const QSignalBlocker blocker(list);
            for (int row = list->count() - 1; row >= 0; --row)
                rows[std::size_t(row)] = list->takeItem(row);
            for (const qint16 old : order)
                list->addItem(rows[std::size_t(old)]);
            list->setCurrentRow(-1);
        }
        if (selected != -1)
            list->setCurrentRow(int(std::find(order.begin(), order.end(), selected) - order.begin()));
    });
}

void frmMain::mnuCleanUpTitles_Click()
{
    m_errorReport.reportErrors(this, [this] {
        m_roms.cleanUpTitles();
        if (const int row = m_ui->lbRoms->currentRow(); row != -1)
            ShowRom(checkedInt16(row));
    });
}

void frmMain::mnuShowMenu_Click()
{
    m_errorReport.reportErrors(this, [this] {
        QStringList optionNames;
        for (const QCheckBox *box : m_chkOptions)
            optionNames << box->text().remove(u'&');
        showMenuPreview(this, m_roms, optionNames);
    });
}

void frmMain::mnuReopenLastBuild_Click()
{
    m_errorReport.reportErrors(this, [this] {
        if (m_roms.upperBound() != 0)
            return;
        // Read whole before the first game is added: a mismatch leaves the list empty.
        const LastBuild build = ReadLastBuild(StartDir, m_scriptRunner.form());
        QStringList paths;
        for (qint16 i = 0; i < build.roms.upperBound(); ++i)
            paths << build.roms.at(i).RomPath;
        addRoms(paths);
        for (qint16 i = 0; i < build.roms.upperBound(); ++i)
            m_roms.at(i) = build.roms.at(i);
        m_ui->txtOutputFile->setText(build.outputPath);
        m_ui->cmdOutput->setEnabled(true);
    });
}
