#include "romlistmodel.h"

#include "apperror.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeData>

#include <algorithm>
#include <numeric>

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
    const RomEntry &entry = m_roms.at(game);
    if (role == Qt::DisplayRole)
        return m_showTitles ? entry.MenuTitle : QFileInfo(entry.RomPath).fileName();
    if (role != Qt::ToolTipRole && role != Qt::DecorationRole)
        return {};
    std::optional<RomCheck> &check = m_checks[std::size_t(game)];
    if (!check && m_checkRom)
        check = m_checkRom(entry.RomPath);
    const QString title = m_checkTitle ? m_checkTitle(entry) : QString();
    if (role == Qt::DecorationRole)
        return (check && check->verdict != RomCheck::Good) || !title.isEmpty() ? m_warningMark : QVariant();
    const QString fileNameLine = m_showTitles ? QFileInfo(entry.RomPath).fileName() + u'\n' : QString();
    const QString archive = m_archives.value(entry.RomPath);
    const QString file = fileNameLine + (check ? romCheckText(entry.RomPath, *check) : entry.RomPath)
            + (archive.isEmpty() ? QString()
                                 : u'\n' + QStringLiteral("From the archive ") + QDir::toNativeSeparators(archive));
    return title.isEmpty() ? file : file + u'\n' + title;
}

void RomListModel::InitRoms()
{
    beginResetModel();
    m_roms.InitRoms();
    m_checks.clear();
    endResetModel();
}

void RomListModel::AddRom(const QString &path, const QString &archive)
{
    // A path that cannot become a game fails before its row exists.
    m_roms.checkAddable(path);
    if (!archive.isEmpty())
        m_archives.insert(path, archive);
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
    const std::vector<qint16> order = m_roms.titleOrder();
    applyPermutation(order);
    return order;
}

void RomListModel::applyPermutation(const std::vector<qint16> &order)
{
    if (order.size() != m_checks.size())
        throw AppError::outOfRange();
    qint16 unmoved = 0;
    while (std::size_t(unmoved) < order.size() && order[std::size_t(unmoved)] == unmoved)
        ++unmoved;
    if (std::size_t(unmoved) == order.size())
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    m_roms.permute(order);
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
    emit permuted(order);
}

void RomListModel::moveGame(qint16 from, qint16 to)
{
    const int games = m_roms.upperBound();
    if (from < 0 || from >= games || to < 0 || to >= games)
        throw AppError::outOfRange();
    std::vector<qint16> order(std::size_t(games), 0);
    std::iota(order.begin(), order.end(), qint16(0));
    if (from < to)
        std::rotate(order.begin() + from, order.begin() + from + 1, order.begin() + to + 1);
    else
        std::rotate(order.begin() + to, order.begin() + from, order.begin() + from + 1);
    applyPermutation(order);
}

void RomListModel::cleanUpTitles()
{
    std::vector<QString> before; // shared with the store until a title changes
    before.reserve(m_checks.size());
    for (qint16 i = 0; i < m_roms.upperBound(); ++i)
        before.push_back(m_roms.at(i).MenuTitle);
    m_roms.cleanUpTitles();
    std::vector<std::pair<qint16, QString>> changed;
    for (qint16 i = 0; i < m_roms.upperBound(); ++i) {
        if (m_roms.at(i).MenuTitle != before[std::size_t(i)])
            changed.emplace_back(i, std::move(before[std::size_t(i)]));
    }
    if (changed.empty())
        return;
    emit dataChanged(index(changed.front().first), index(changed.back().first));
    emit titlesReplaced(changed);
}

void RomListModel::setShowTitles(bool shown)
{
    m_showTitles = shown;
    if (!m_checks.empty())
        emit dataChanged(index(0), index(int(m_checks.size()) - 1), {Qt::DisplayRole, Qt::ToolTipRole});
}

void RomListModel::insertAt(qint16 index, const RomEntry &entry)
{
    if (index < 0 || index > m_roms.upperBound())
        throw AppError::outOfRange();
    checkedInt16(m_roms.upperBound() + 1);
    beginInsertRows({}, index, index);
    m_roms.insertAt(index, entry);
    m_checks.emplace(m_checks.begin() + index);
    endInsertRows();
}

void RomListModel::removeLast(qint16 count)
{
    const int games = m_roms.upperBound();
    if (count < 0 || count > games)
        throw AppError::outOfRange();
    if (count == 0)
        return;
    beginRemoveRows({}, games - count, games - 1);
    m_roms.removeLast(count);
    m_checks.resize(std::size_t(games - count));
    endRemoveRows();
}

void RomListModel::setEntry(qint16 index, const RomEntry &entry)
{
    if (index < 0 || index >= m_roms.upperBound())
        throw AppError::outOfRange();
    if (m_roms.at(index).RomPath != entry.RomPath)
        m_checks[std::size_t(index)].reset();
    m_roms.at(index) = entry;
    entryChanged(index);
}

void RomListModel::entryChanged(qint16 index)
{
    emit dataChanged(this->index(index), this->index(index));
}

Qt::ItemFlags RomListModel::flags(const QModelIndex &index) const
{
    const Qt::ItemFlags flags = QAbstractListModel::flags(index);
    return index.isValid() ? flags | Qt::ItemIsDragEnabled : flags;
}

QString RomListModel::rowMimeType()
{
    return QStringLiteral("application/x-tamblinvx-lofter-row");
}

QStringList RomListModel::mimeTypes() const
{
    return {rowMimeType()};
}

QMimeData *RomListModel::mimeData(const QModelIndexList &indexes) const
{
    if (indexes.size() != 1)
        return nullptr;
    auto *data = new QMimeData;
    data->setData(rowMimeType(), QByteArray::number(indexes.first().row()));
    return data;
}
