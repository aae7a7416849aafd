#pragma once

#include "romlist.h"

#include <QObject>
#include <QString>
#include <QUndoStack>

#include <functional>
#include <optional>
#include <vector>

class frmMain;

// What the panels showed around a step: the selected row (-1 for none) and
// whether the output panel was enabled.
struct PanelState
{
    int row = -1;
    bool output = false;
};

// One change of the games, as the list's model reported it.
struct GamesChange
{
    enum Kind { Insert, Remove, Swap, Permute, Titles, Entry };

    Kind kind = Insert;
    qint16 index = 0;              // the first game concerned
    std::vector<RomEntry> entries; // Insert: the games added; Remove: the game; Entry: before, after
    // Permute: the old index of each game from index on, as far as a game
    // moved; or, where shorter, as runs: first old index, length, ...
    std::vector<qint16> order;
    std::vector<std::pair<qint16, QString>> titles; // Titles: index and old title, then the new one
    bool orderAsRuns = false;
};

// Every change to the games as a step that can be taken back and done again,
// on Qt's undo stack. A list command runs inside record(), which notes what
// the list's model reports as it changes (games added, removed, exchanged,
// reordered, retitled) and how the panels stood before and after; an edit of
// the selected game runs inside recordEdit(), which keeps the game as it was
// and as it became. Taking a step back reverses those changes and then sets
// the panels as they were through the window's own procedures, so the editor
// shows the game the step was about and the handlers stay as they are.
class ListHistory : public QObject
{
    Q_OBJECT

public:
    static constexpr int StepLimit = 200;

    explicit ListHistory(frmMain &window);

    QUndoStack &stack() { return m_stack; }

    // Runs command as one step named what; none when no game changed.
    void record(const QString &what, const std::function<void()> &command);
    // Runs an editor's handler as one step named what; typing into one box
    // for one game joins the step before it until endTyping().
    void recordEdit(const QString &what, bool typing, const std::function<void()> &handler);
    void endTyping() { m_typing.reset(); }

    // The list holds changes that no build start or Reopen has written.
    bool unbuiltChanges() const;
    void markBuilt() { m_stack.setClean(); }

    // Takes changes back (undo) or does them again, then shows panels.
    void replay(const std::vector<GamesChange> &changes, bool undo, PanelState panels);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void noteChange(GamesChange change);
    void notePermutation(const std::vector<qint16> &order);
    void apply(const GamesChange &change, bool undo);
    PanelState panels() const;
    void showPanels(PanelState panels);

    struct Typing
    {
        QString what;
        int row;
    };

    frmMain &m_window;
    QUndoStack m_stack;
    std::optional<std::vector<GamesChange>> m_recording; // while a command or edit runs
    bool m_replaying = false;
    std::optional<Typing> m_typing;
};
