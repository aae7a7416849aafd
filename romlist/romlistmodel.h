#pragma once

#include "romcheck.h"
#include "romlist.h"

#include <QAbstractListModel>
#include <QVariant>

#include <functional>
#include <optional>
#include <vector>

// The games of one RomList as the list shows them: row i is game i by
// construction, since every change of the list's shape goes through here and
// reaches the view as Qt's inserts, removals and moves. A row shows its
// game's file name, a tooltip with the ROM check of its file and, where that
// check finds a fault, the warning mark. The check is made when a row is
// first shown, so an add of thousands of games reads only the files in view.
class RomListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit RomListModel(RomList &roms, QObject *parent = nullptr);

    RomList &roms() { return m_roms; }
    const RomList &roms() const { return m_roms; }

    // What a row learns about its file; none: rows show no mark and a bare path.
    void setRomCheck(std::function<RomCheck(const QString &path)> check);
    // What a row with a fault shows (the window's warning icon).
    void setWarningMark(const QVariant &mark) { m_warningMark = mark; }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    // The store's operations, each with the rows it changes.
    void InitRoms();
    // Raises what RomList::AddRom raises, before any row changes.
    void AddRom(const QString &path);
    void RemoveRom(qint16 index);
    void SwapRomWithNext(qint16 index);
    // Returns the old index of the game now at each index.
    std::vector<qint16> sortByTitle();
    void cleanUpTitles();

private:
    RomList &m_roms;
    std::function<RomCheck(const QString &)> m_checkRom = checkRomFile;
    QVariant m_warningMark;
    mutable std::vector<std::optional<RomCheck>> m_checks; // by game, made when first asked for
};
