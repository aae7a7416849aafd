#include "listcommands.h"

#include "buildreadback.h"
#include "frmmain.h"
#include "listhistory.h"
#include "menupreview.h"
#include "romarchive.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QDropEvent>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QStyle>
#include <QStyledItemDelegate>

#include <algorithm>

namespace {

// The ROM files and archives among dragged data, as the open dialog would
// name them: local .nes, .zip and .7z files only, in the order they were dragged.
QStringList draggedRoms(const QMimeData *data)
{
    QStringList paths;
    for (const QUrl &url : data->urls()) {
        const QString path = url.toLocalFile();
        if (url.isLocalFile() && (path.endsWith(QLatin1String(".nes"), Qt::CaseInsensitive) || isRomArchive(path)))
            paths << QDir::toNativeSeparators(path);
    }
    return paths;
}

// Rows keep one text column: a row without a mark keeps the mark's place.
class MarkColumnDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->features |= QStyleOptionViewItem::HasDecoration;
    }
};

const QString showTitlesKey = QStringLiteral("list/showTitles");

} // namespace

ListCommands::ListCommands(frmMain &window) : QObject(&window), m_window(window), m_mnuList(new QMenu(&window))
{
    m_mnuList->setObjectName(QStringLiteral("mnuList"));
    QListView *list = window.lbRoms();
    // Undo and Redo of the list's steps; in a text box, the box's own.
    QUndoStack &steps = window.history().stack();
    QAction *undo = steps.createUndoAction(m_mnuList, QStringLiteral("&Undo"));
    QAction *redo = steps.createRedoAction(m_mnuList, QStringLiteral("Re&do"));
    undo->setObjectName(QStringLiteral("mnuUndo"));
    redo->setObjectName(QStringLiteral("mnuRedo"));
    undo->setShortcut(QKeySequence::Undo);
    QList<QKeySequence> redoKeys = QKeySequence::keyBindings(QKeySequence::Redo);
    for (const QKeySequence &keys :
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)})
        if (!redoKeys.contains(keys))
            redoKeys << keys;
    redo->setShortcuts(redoKeys);
    for (QAction *action : {undo, redo}) {
        action->setShortcutContext(Qt::WidgetShortcut);
        list->addAction(action);
    }
    m_mnuList->addActions({undo, redo});
    m_mnuList->addSeparator();
    const auto addEntry = [this](const char *name, const QString &text, void (ListCommands::*handler)()) {
        m_mnuList->addAction(text, this, handler)->setObjectName(QLatin1String(name));
    };
    addEntry("mnuSortByTitle", QStringLiteral("&Sort by Title"), &ListCommands::mnuSortByTitle_Click);
    addEntry("mnuCleanUpTitles", QStringLiteral("&Clean Up Titles"), &ListCommands::mnuCleanUpTitles_Click);
    addEntry("mnuShowMenu", QStringLiteral("Show &Menu..."), &ListCommands::mnuShowMenu_Click);
    QAction *showTitles = m_mnuList->addAction(QStringLiteral("Show &Titles"), this, [this](bool shown) {
        m_window.games().setShowTitles(shown);
        QSettings().setValue(showTitlesKey, shown);
    });
    showTitles->setObjectName(QStringLiteral("mnuShowTitles"));
    showTitles->setCheckable(true);
    showTitles->setChecked(QSettings().value(showTitlesKey, false).toBool());
    window.games().setShowTitles(showTitles->isChecked());
    m_mnuList->addSeparator();
    addEntry("mnuReopenLastBuild", QStringLiteral("&Reopen Last Build"), &ListCommands::mnuReopenLastBuild_Click);

    list->installEventFilter(this);
    list->viewport()->installEventFilter(this);
    list->viewport()->setAcceptDrops(true);
    list->setDragEnabled(true);
    list->setItemDelegate(new MarkColumnDelegate(list));
    // Rows are one line each; sized alike, the list lays out without asking
    // each row for its mark, which is as high as a line of text.
    const int lineHeight = list->fontMetrics().height();
    list->setIconSize({lineHeight, lineHeight});
    window.games().setWarningMark(window.style()->standardIcon(QStyle::SP_MessageBoxWarning));
}

bool ListCommands::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ContextMenu: {
        const auto *request = static_cast<QContextMenuEvent *>(event);
        showMenu(request->reason() == QContextMenuEvent::Mouse ? std::optional(request->globalPos()) : std::nullopt);
        return true;
    }
    case QEvent::KeyPress:
        return watched == m_window.lbRoms() && lbRoms_KeyPress(*static_cast<QKeyEvent *>(event));
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return watched == m_window.lbRoms()->viewport() && handleDrop(event);
    default:
        return false;
    }
}

bool ListCommands::handleDrop(QEvent *event)
{
    auto *drop = static_cast<QDropEvent *>(event);
    if (drop->mimeData()->hasFormat(RomListModel::rowMimeType())) {
        drop->acceptProposedAction();
        if (event->type() == QEvent::Drop)
            moveDraggedRow(drop->mimeData()->data(RomListModel::rowMimeType()).toInt(), drop->position().toPoint());
        return true;
    }
    const QStringList paths = draggedRoms(drop->mimeData());
    if (paths.isEmpty())
        return true;
    drop->acceptProposedAction();
    if (event->type() == QEvent::Drop) {
        // Ends silently at the first failure, as the Browse command does.
        m_window.history().record(QStringLiteral("Add Roms"), [this, &paths] {
            m_window.errorReport().ignoreErrors(&m_window, [this, &paths] { m_window.addAnswer(paths); });
        });
    }
    return true;
}

void ListCommands::moveDraggedRow(int from, QPoint position)
{
    m_window.history().record(QStringLiteral("Move Rom"), [&] {
        m_window.errorReport().reportErrors(&m_window, [&] {
            // Dropped below the last row, the game goes last.
            QListView *list = m_window.lbRoms();
            const int games = m_window.games().rowCount();
            const QModelIndex target = list->indexAt(position);
            const int to = target.isValid() ? target.row() : games - 1;
            if (from < 0 || from >= games || from == to)
                return;
            m_window.changeRows([&] { m_window.games().moveGame(checkedInt16(from), checkedInt16(to)); });
            m_window.selectRowAfterChange(to);
        });
    });
}

void ListCommands::showMenu(std::optional<QPoint> mousePosition)
{
    const bool games = m_window.games().rowCount() > 0;
    for (const char *name : {"mnuSortByTitle", "mnuCleanUpTitles", "mnuShowMenu"})
        m_mnuList->findChild<QAction *>(QLatin1String(name))->setEnabled(games);
    m_mnuList->findChild<QAction *>(QStringLiteral("mnuReopenLastBuild"))->setEnabled(!games);
    QListView *list = m_window.lbRoms();
    const QRect selected = list->visualRect(list->currentIndex());
    m_mnuList->popup(mousePosition.value_or(list->viewport()->mapToGlobal(selected.bottomLeft())));
}

bool ListCommands::lbRoms_KeyPress(const QKeyEvent &key)
{
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    if (key.key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier)
        showMenu(std::nullopt);
    else if (key.key() == Qt::Key_Delete && modifiers == Qt::NoModifier)
        clickButton("cmdRemoveRom");
    else if (key.key() == Qt::Key_Up && modifiers == Qt::ControlModifier)
        clickButton("cmdUpList");
    else if (key.key() == Qt::Key_Down && modifiers == Qt::ControlModifier)
        clickButton("cmdDownList");
    else
        return false;
    return true;
}

void ListCommands::clickButton(const char *name)
{
    // As the button's own click, so that the step is recorded in one place.
    m_window.findChild<QPushButton *>(QLatin1String(name))->click();
}

void ListCommands::mnuSortByTitle_Click()
{
    m_window.history().record(QStringLiteral("Sort by Title"), [this] { sortByTitle(); });
}

void ListCommands::sortByTitle()
{
    m_window.errorReport().reportErrors(&m_window, [this] {
        const int selected = m_window.lbRoms()->currentIndex().row();
        std::vector<qint16> order;
        m_window.changeRows([&] { order = m_window.games().sortByTitle(); });
        if (selected != -1)
            m_window.selectRowAfterChange(int(std::find(order.begin(), order.end(), selected) - order.begin()));
    });
}

void ListCommands::mnuCleanUpTitles_Click()
{
    m_window.history().record(QStringLiteral("Clean Up Titles"), [this] {
        m_window.errorReport().reportErrors(&m_window, [this] {
            m_window.games().cleanUpTitles();
            if (const int row = m_window.lbRoms()->currentIndex().row(); row != -1)
                m_window.ShowRom(checkedInt16(row));
        });
    });
}

void ListCommands::mnuShowMenu_Click()
{
    m_window.errorReport().reportErrors(&m_window, [this] {
        QStringList optionNames;
        for (int option = 0; option < OptionCount; ++option)
            optionNames << m_window.chkOptions(option)->text().remove(u'&');
        showMenuPreview(&m_window, m_window.games().roms(), optionNames);
    });
}

void ListCommands::mnuReopenLastBuild_Click()
{
    const bool wasEmpty = m_window.games().rowCount() == 0;
    m_window.history().record(QStringLiteral("Reopen Last Build"), [this] { reopenLastBuild(); });
    // What was reopened is what the last build wrote.
    if (wasEmpty && m_window.games().rowCount() > 0)
        m_window.history().markBuilt();
}

void ListCommands::reopenLastBuild()
{
    m_window.errorReport().reportErrors(&m_window, [this] {
        RomList &roms = m_window.games().roms();
        if (roms.upperBound() != 0)
            return;
        // Read whole before the first game is added: a mismatch leaves the list empty.
        const LastBuild build = ReadLastBuild(m_window.startDir(), m_window.scriptForm());
        QStringList paths;
        for (qint16 i = 0; i < build.roms.upperBound(); ++i)
            paths << build.roms.at(i).RomPath;
        m_window.addRoms(paths);
        for (qint16 i = 0; i < build.roms.upperBound(); ++i)
            m_window.games().setEntry(i, build.roms.at(i));
        m_window.setOutputFile(build.outputPath);
    });
}
