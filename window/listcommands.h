#pragma once

#include <QObject>
#include <QPoint>

#include <optional>

class QKeyEvent;
class QMenu;
class frmMain;

// What the list of games offers beyond its buttons: its context menu (the
// right button, the Menu key, Shift+F10), its keys (Delete, Ctrl+Up and
// Ctrl+Down as the buttons, Ctrl+Z and Ctrl+Shift+Z or Ctrl+Y to undo and
// redo), ROM files dropped onto it and its rows dragged into place. Every change goes
// through the window's own procedures, so the panels follow as they do for
// the buttons.
class ListCommands : public QObject
{
    Q_OBJECT

public:
    explicit ListCommands(frmMain &window);

public slots:
    void mnuSortByTitle_Click();
    void mnuCleanUpTitles_Click();
    void mnuShowMenu_Click();
    void mnuReopenLastBuild_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Opens the menu at the mouse, or for the keyboard at the selected row,
    // its entries enabled for the list as it is.
    void showMenu(std::optional<QPoint> mousePosition);
    bool lbRoms_KeyPress(const QKeyEvent &key);
    bool handleDrop(QEvent *event);
    // Moves the game of a row dragged within the list to where it was dropped.
    void moveDraggedRow(int from, QPoint position);
    void clickButton(const char *name);
    void sortByTitle();
    void reopenLastBuild();

    frmMain &m_window;
    QMenu *m_mnuList;
};
