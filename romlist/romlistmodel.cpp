#include "romlistmodel.h"

#include "apperror.h"

#include <QFileInfo>

#include <algorithm>

RomListModel::RomListModel(RomList &roms, QObject *parent) : QAbstractListModel(parent), m_roms(roms)
{
    m_checks.resize(std::size_t(m_roms.upperBound()));
}

void RomListModel::setRomCheck(std::function<RomCheck(const QString &path)> check)
{
    beginResetModel();
    m_checkRom = std::move(check);
    std::fill(m_checks.begin(), m_checks.end(), std::nullopt);
    endResetModel();
}

int RomListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_checks.size());
}

QVariant RomListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)
        || index.row() >= m_roms.upperBound())
        return {};
    const qint16 game = qint16(index.row());
    const QString &path = m_roms.at(game).RomPath;
    if (role == Qt::DisplayRole)
        return QFileInfo(path).fileName();
    if (role != Qt::ToolTipRole && role != Qt::DecorationRole)
        return {};
    if (!m_checkRom)
        return role == Qt::ToolTipRole ? QVariant(path) : QVariant();
    std::optional<RomCheck> &check = m_checks[std::size_t(game)];
    if (!check)
        check = m_checkRom(path);
    if (role == Qt::ToolTipRole)
        return romCheckText(path, *check);
    return check->verdict == RomCheck::Good ? QVariant() : m_warningMark;
}

void RomListModel::InitRoms()
{
    beginResetModel();
    m_roms.InitRoms();
    m_checks.clear();
    endResetModel();
}

void RomListModel::AddRom(const QString &path)
{
    // A path that cannot become a game fails before its row exists.
    m_roms.checkAddable(path);
    const int row = m_roms.upperBound();
    beginInsertRows({}, row, row);
    m_roms.AddRom(path);
    m_checks.emplace_back();
    endInsertRows();
}

void RomListModel::RemoveRom(qint16 index)
{
    // Only a game can go. The store's answer to the emptied list runs while
    // the view still counts the removed row.
    if (index < 0 || index >= m_roms.upperBound())
        throw AppError::outOfRange();
    beginRemoveRows({}, index, index);
    m_roms.RemoveRom(index);
    m_checks.erase(m_checks.begin() + index);
    endRemoveRows();
}

void RomListModel::SwapRomWithNext(qint16 index)
{
    if (index < 0 || index + 1 >= m_roms.upperBound())
        return;
    // The lower row moves above the upper one: the same exchange as a move.
    beginMoveRows({}, index + 1, index + 1, {}, index);
    m_roms.SwapRomWithNext(index);
    std::swap(m_checks[std::size_t(index)], m_checks[std::size_t(index) + 1]);
    endMoveRows();
}

std::vector<qint16> RomListModel::sortByTitle()
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const std::vector<qint16> order = m_roms.sortByTitle();
    std::vector<std::optional<RomCheck>> checks(order.size());
    std::vector<int> newRow(order.size());
    for (std::size_t row = 0; row < order.size(); ++row) {
        checks[row] = std::move(m_checks[std::size_t(order[row])]);
        newRow[std::size_t(order[row])] = int(row);
    }
    m_checks = std::move(checks);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &index : before)
        after << this->index(newRow[std::size_t(index.row())]);
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    return order;
}

void RomListModel::cleanUpTitles()
{
    m_roms.cleanUpTitles();
}
