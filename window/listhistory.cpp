#include "listhistory.h"

#include "frmmain.h"

#include <QEvent>
#include <QLineEdit>
#include <QListView>
#include <QUndoCommand>

#include <numeric>

namespace {

// One step: the changes it made and the panels before and after it.
class Step : public QUndoCommand
{
public:
    static constexpr int TypingId = 1;

    Step(ListHistory &history, const QString &what, std::vector<GamesChange> changes, PanelState before,
         PanelState after, bool typing = false, bool joinsPrevious = false)
        : QUndoCommand(what), m_history(history), m_changes(std::move(changes)), m_before(before), m_after(after),
          m_typing(typing), m_joinsPrevious(joinsPrevious)
    {
    }

    void undo() override { m_history.replay(m_changes, true, m_before); }
    void redo() override
    {
        // Pushed after the command ran: only a later redo does it again.
        if (m_done)
            m_history.replay(m_changes, false, m_after);
        m_done = true;
    }
    int id() const override { return m_typing ? TypingId : -1; }
    bool mergeWith(const QUndoCommand *other) override
    {
        // Typing joins the typing step it follows in the same box and game.
        const auto *next = static_cast<const Step *>(other);
        if (!next->m_joinsPrevious || next->text() != text() || next->m_changes[0].index != m_changes[0].index)
            return false;
        m_changes[0].entries[1] = next->m_changes[0].entries[1];
        m_after = next->m_after;
        setObsolete(m_changes[0].entries[0] == m_changes[0].entries[1]);
        return true;
    }

private:
    ListHistory &m_history;
    std::vector<GamesChange> m_changes;
    PanelState m_before, m_after;
    bool m_typing, m_joinsPrevious;
    bool m_done = false;
};

} // namespace

ListHistory::ListHistory(frmMain &window) : QObject(&window), m_window(window)
{
    m_stack.setUndoLimit(StepLimit);
    RomListModel &games = window.games();
    connect(&games, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int first, int last) {
        noteChange({GamesChange::Insert, qint16(first), std::vector<RomEntry>(std::size_t(last - first + 1)), {}, {}});
    });
    connect(&games, &QAbstractItemModel::rowsAboutToBeRemoved, this, [this](const QModelIndex &, int first, int) {
        noteChange({GamesChange::Remove, qint16(first), {m_window.games().roms().at(qint16(first))}, {}, {}});
    });
    // An exchange of neighbours is reported as the lower row moving above the upper one.
    connect(&games, &QAbstractItemModel::rowsMoved, this,
            [this](const QModelIndex &, int, int, const QModelIndex &, int row) {
                noteChange({GamesChange::Swap, qint16(row), {}, {}, {}});
            });
    connect(&games, &RomListModel::permuted, this, &ListHistory::notePermutation);
    connect(&games, &RomListModel::titlesReplaced, this, [this](const std::vector<std::pair<qint16, QString>> &old) {
        noteChange({GamesChange::Titles, 0, {}, {}, old});
    });
    // Emptied at start-up: nothing before it can be taken back.
    connect(&games, &QAbstractItemModel::modelReset, &m_stack, &QUndoStack::clear);

    for (QLineEdit *box : window.findChildren<QLineEdit *>()) {
        if (box->objectName() != QLatin1String("txtOutputFile"))
            box->installEventFilter(this);
    }
    connect(window.lbRoms()->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &ListHistory::endTyping);
}

bool ListHistory::eventFilter(QObject *, QEvent *event)
{
    if (event->type() == QEvent::FocusOut)
        endTyping();
    return false;
}

void ListHistory::noteChange(GamesChange change)
{
    if (m_replaying)
        return;
    if (!m_recording) {
        // A change no step knows: the steps before it cannot be replayed.
        m_stack.clear();
        return;
    }
    std::vector<GamesChange> &changes = *m_recording;
    if (change.kind == GamesChange::Insert && !changes.empty() && changes.back().kind == GamesChange::Insert
        && changes.back().index + qsizetype(changes.back().entries.size()) == change.index) {
        changes.back().entries.resize(changes.back().entries.size() + change.entries.size());
        return;
    }
    if (change.kind == GamesChange::Titles) {
        const std::size_t count = change.titles.size();
        for (std::size_t i = 0; i < count; ++i) {
            const qint16 index = change.titles[i].first;
            change.titles.emplace_back(index, m_window.games().roms().at(index).MenuTitle);
        }
    }
    changes.push_back(std::move(change));
}

void ListHistory::notePermutation(const std::vector<qint16> &order)
{
    // Only the stretch in which games moved, and that as runs of games that
    // kept their neighbours where that is shorter: a drag or a sort after a
    // small change costs a few numbers, not one per game.
    std::size_t first = 0, end = order.size();
    while (first < end && order[first] == qint16(first))
        ++first;
    while (end > first && order[end - 1] == qint16(end - 1))
        --end;
    GamesChange change{GamesChange::Permute, qint16(first), {}, {}, {}};
    for (std::size_t i = first; i < end && change.order.size() < end - first;) {
        std::size_t next = i + 1;
        while (next < end && order[next] == order[next - 1] + 1)
            ++next;
        change.order.insert(change.order.end(), {order[i], qint16(next - i)});
        i = next;
    }
    change.orderAsRuns = change.order.size() < end - first;
    if (!change.orderAsRuns)
        change.order.assign(order.begin() + qsizetype(first), order.begin() + qsizetype(end));
    noteChange(std::move(change));
}

PanelState ListHistory::panels() const
{
    return {m_window.lbRoms()->currentIndex().row(), m_window.outputEnabled()};
}

void ListHistory::record(const QString &what, const std::function<void()> &command)
{
    if (m_recording || m_replaying)
        return command();
    endTyping();
    const PanelState before = panels();
    m_recording.emplace();
    struct Done
    {
        std::optional<std::vector<GamesChange>> &recording;
        ~Done() { recording.reset(); }
    } done{m_recording};
    command();
    std::vector<GamesChange> changes = std::move(*m_recording);
    if (changes.empty())
        return;
    // The games added are kept as they are now that the command has set them up.
    for (GamesChange &change : changes) {
        if (change.kind != GamesChange::Insert)
            continue;
        for (std::size_t i = 0; i < change.entries.size(); ++i)
            change.entries[i] = m_window.games().roms().at(qint16(change.index + qsizetype(i)));
    }
    m_stack.push(new Step(*this, what, std::move(changes), before, panels()));
}

void ListHistory::recordEdit(const QString &what, bool typing, const std::function<void()> &handler)
{
    const PanelState state = panels();
    if (m_recording || m_replaying || state.row == -1)
        return handler();
    RomListModel &games = m_window.games();
    const RomEntry before = games.roms().at(qint16(state.row));
    m_recording.emplace();
    handler();
    m_recording.reset();
    const RomEntry &after = games.roms().at(qint16(state.row));
    if (after == before)
        return;
    games.entryChanged(qint16(state.row));
    const bool joins = typing && m_typing && m_typing->what == what && m_typing->row == state.row;
    m_stack.push(new Step(*this, what, {{GamesChange::Entry, qint16(state.row), {before, after}, {}, {}}}, state, state,
                          typing, joins));
    m_typing = typing ? std::optional(Typing{what, state.row}) : std::nullopt;
}

bool ListHistory::unbuiltChanges() const
{
    return m_window.games().rowCount() > 0 && !m_stack.isClean();
}

void ListHistory::replay(const std::vector<GamesChange> &changes, bool undo, PanelState panels)
{
    endTyping();
    m_replaying = true;
    // The row click runs once, when the step's row is selected after the change.
    m_window.changeRows([&] {
        m_window.lbRoms()->setCurrentIndex({});
        if (undo) {
            for (auto change = changes.rbegin(); change != changes.rend(); ++change)
                apply(*change, true);
        } else {
            for (const GamesChange &change : changes)
                apply(change, false);
        }
    });
    showPanels(panels);
    m_replaying = false;
}

void ListHistory::apply(const GamesChange &change, bool undo)
{
    RomListModel &games = m_window.games();
    switch (change.kind) {
    case GamesChange::Insert:
        if (undo)
            games.removeLast(qint16(change.entries.size()));
        for (std::size_t i = 0; !undo && i < change.entries.size(); ++i)
            games.insertAt(qint16(change.index + qsizetype(i)), change.entries[i]);
        break;
    case GamesChange::Remove:
        undo ? games.insertAt(change.index, change.entries[0]) : games.RemoveRom(change.index);
        break;
    case GamesChange::Swap:
        games.SwapRomWithNext(change.index);
        break;
    case GamesChange::Permute: {
        std::vector<qint16> moved;
        for (std::size_t run = 0; change.orderAsRuns && run < change.order.size(); run += 2) {
            for (qint16 i = 0; i < change.order[run + 1]; ++i)
                moved.push_back(qint16(change.order[run] + i));
        }
        const std::vector<qint16> &from = change.orderAsRuns ? moved : change.order;
        std::vector<qint16> order(std::size_t(games.roms().upperBound()));
        std::iota(order.begin(), order.end(), qint16(0));
        for (std::size_t i = 0; i < from.size(); ++i) {
            const std::size_t to = std::size_t(change.index) + i;
            if (undo)
                order[std::size_t(from[i])] = qint16(to);
            else
                order[to] = from[i];
        }
        games.applyPermutation(order);
        break;
    }
    case GamesChange::Titles: {
        // Old titles first, then the new ones, in the same order of games.
        const std::size_t count = change.titles.size() / 2;
        for (std::size_t i = 0; i < count; ++i) {
            const auto &[index, title] = change.titles[undo ? i : count + i];
            RomEntry entry = games.roms().at(index);
            entry.MenuTitle = title;
            games.setEntry(index, entry);
        }
        break;
    }
    case GamesChange::Entry:
        games.setEntry(change.index, change.entries[undo ? 0 : 1]);
        break;
    }
}

void ListHistory::showPanels(PanelState panels)
{
    if (panels.row == -1 || m_window.games().rowCount() == 0) {
        // No row selected writes nothing back; the follow boxes follow their cleared options.
        m_window.ClearRomEditor();
        m_window.EnableRomEditor(false);
    } else {
        m_window.selectRowAfterChange(panels.row);
    }
    m_window.EnableOutput(panels.output);
}
