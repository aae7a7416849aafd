#pragma once

#include "romcheck.h"
#include "romlist.h"

#include <QAbstractListModel>
#include <QHash>
#include <QVariant>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

// The games of one RomList as the list shows them: row i is game i by
// construction, since every change of the list's shape goes through here and
// reaches the view as Qt's inserts, removals and moves. A row shows its
// game's file name, a tooltip with the ROM check of its file (and the archive
// it was unpacked from) and, where that
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
    // Why a game's title will not reach the menu as typed (empty: it will),
    // which marks its row too.
    void setTitleCheck(std::function<QString(const RomEntry &)> check) { m_checkTitle = std::move(check); }
    // What a row with a fault shows (the window's warning icon).
    void setWarningMark(const QVariant &mark) { m_warningMark = mark; }

    // Rows show menu titles, their file names in the tooltip; else file names.
    void setShowTitles(bool shown);
    bool showTitles() const { return m_showTitles; }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    // A row can be dragged; it travels as its row number (rowMimeType).
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    static QString rowMimeType();

    // The store's operations, each with the rows it changes.
    void InitRoms();
    // Raises what RomList::AddRom raises, before any row changes. archive:
    // the one the file was unpacked from, which its tooltip names.
    void AddRom(const QString &path, const QString &archive = {});
    void RemoveRom(qint16 index);
    void SwapRomWithNext(qint16 index);
    // Returns the old index of the game now at each index.
    std::vector<qint16> sortByTitle();
    // Announces the titles it changes (titlesReplaced).
    void cleanUpTitles();

    // What taking a step back or doing it again needs; the rows change with the games.
    void insertAt(qint16 index, const RomEntry &entry);
    void removeLast(qint16 count);
    // Puts the game at index order[i] at index i; announced (permuted) when it moves a game.
    void applyPermutation(const std::vector<qint16> &order);
    // Moves game from to index to, the games between moving up or down a place.
    void moveGame(qint16 from, qint16 to);
    void setEntry(qint16 index, const RomEntry &entry);
    // Shows again a row whose game was changed in the store directly.
    void entryChanged(qint16 index);

signals:
    void permuted(const std::vector<qint16> &order);
    // The old title of every game whose title changed, by index.
    void titlesReplaced(const std::vector<std::pair<qint16, QString>> &oldTitles);

private:
    RomList &m_roms;
    std::function<RomCheck(const QString &)> m_checkRom = checkRomFile;
    std::function<QString(const RomEntry &)> m_checkTitle;
    QVariant m_warningMark;
    bool m_showTitles = false;
    mutable std::vector<std::optional<RomCheck>> m_checks; // by game, made when first asked for
    // The archive each unpacked ROM came from, by its path: it follows its
    // game through every move, undo and redo.
    QHash<QString, QString> m_archives;
};
