#include "romlist.h"

#include "apperror.h"

#include <utility>

RomList::RomList(QChar folderSeparator) : m_separator(folderSeparator)
{
    InitRoms();
}

void RomList::InitRoms()
{
    m_roms.assign(1, RomEntry{});
}

void RomList::checkIndex(int index) const
{
    if (index < 0 || index > upperBound())
        throw AppError::outOfRange();
}

RomEntry &RomList::at(qint16 index)
{
    checkIndex(index);
    return m_roms[std::size_t(index)];
}

const RomEntry &RomList::at(qint16 index) const
{
    checkIndex(index);
    return m_roms[std::size_t(index)];
}

void RomList::checkAddable(const QString &path) const
{
    // In AddRom's order: the dot's position, the title, the room.
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot >= 32767)
        throw AppError::overflow();
    if (dot <= path.lastIndexOf(m_separator))
        throw AppError::invalidArgument();
    if (upperBound() == MaxGames)
        throw AppError::overflow();
}

void RomList::AddRom(const QString &path)
{
    const qint16 n = upperBound();
    const qsizetype titleStart = path.lastIndexOf(m_separator) + 1; // 0-based
    const qint16 dotPosition = checkedInt16(int(qMin<qsizetype>(path.lastIndexOf(u'.') + 1, 32768)));
    RomEntry &spare = m_roms[std::size_t(n)];
    spare.RomPath = path;
    const qsizetype titleLength = qsizetype(dotPosition) - 1 - titleStart;
    if (titleLength < 0)
        throw AppError::invalidArgument();
    spare.MenuTitle = path.mid(titleStart, titleLength);
    checkedInt16(n + 1);
    m_roms.emplace_back();
}

void RomList::RemoveRom(qint16 index)
{
    // Only a game can be removed: the spare slot must never become one.
    if (index < 0 || index >= upperBound())
        throw AppError::outOfRange();
    m_roms.erase(m_roms.begin() + index);
    if (upperBound() == 0 && m_emptied)
        m_emptied();
}

void RomList::SwapRomWithNext(qint16 index) noexcept
{
    // The spare slot is no game, so the last game has no next one to swap with.
    if (index < 0 || index + 1 >= upperBound())
        return;
    std::swap(m_roms[std::size_t(index)], m_roms[std::size_t(index) + 1]);
}
