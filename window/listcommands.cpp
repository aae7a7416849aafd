#include "listcommands.h"

#include "buildreadback.h"
#include "frmmain.h"
#include "menupreview.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QDropEvent>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QStyle>

#include <algorithm>

namespace {

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

} // namespace

ListCommands::ListCommands(frmMain &window) : QObject(&window), m_window(window), m_mnuList(new QMenu(&window))
{
    m_mnuList->setObjectName(QStringLiteral("mnuList"));
    const auto addEntry = [this](const char *name, const QString &text, void (ListCommands::*handler)()) {
        m_mnuList->addAction(text, this, handler)->setObjectName(QLatin1String(name));
    };
    addEntry("mnuSortByTitle", QStringLiteral("&Sort by Title"), &ListCommands::mnuSortByTitle_Click);
    addEntry("mnuCleanUpTitles", QStringLiteral("&Clean Up Titles"), &ListCommands::mnuCleanUpTitles_Click);
    addEntry("mnuShowMenu", QStringLiteral("Show &Menu..."), &ListCommands::mnuShowMenu_Click);
    m_mnuList->addSeparator();
    addEntry("mnuReopenLastBuild", QStringLiteral("&Reopen Last Build"), &ListCommands::mnuReopenLastBuild_Click);

    QListView *list = window.lbRoms();
    list->installEventFilter(this);
    list->viewport()->installEventFilter(this);
    list->viewport()->setAcceptDrops(true);
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
    const QStringList paths = draggedRoms(drop->mimeData());
    if (paths.isEmpty())
        return true;
    drop->acceptProposedAction();
    if (event->type() == QEvent::Drop) {
        // Ends silently at the first failure, as the Browse command does.
        m_window.errorReport().ignoreErrors(&m_window, [this, &paths] { m_window.addRoms(paths); });
    }
    return true;
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
        m_window.cmdRemoveRom_Click();
    else if (key.key() == Qt::Key_Up && modifiers == Qt::ControlModifier)
        m_window.cmdUpList_Click();
    else if (key.key() == Qt::Key_Down && modifiers == Qt::ControlModifier)
        m_window.cmdDownList_Click();
    else
        return false;
    return true;
}

void ListCommands::mnuSortByTitle_Click()
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
    m_window.errorReport().reportErrors(&m_window, [this] {
        m_window.games().cleanUpTitles();
        if (const int row = m_window.lbRoms()->currentIndex().row(); row != -1)
            m_window.ShowRom(checkedInt16(row));
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
            roms.at(i) = build.roms.at(i);
        m_window.setOutputFile(build.outputPath);
    });
}
