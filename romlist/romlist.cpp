#include "romlist.h"

#include "apperror.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace {

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The end of the run of digits that starts at from.
qsizetype digitsEnd(QStringView text, qsizetype from)
{
    while (from < text.size() && isDigit(text[from]))
        ++from;
    return from;
}

} // namespace

bool titleLess(QStringView a, QStringView b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // By value: without leading zeros, the longer run is the larger
            // number, and runs of one length compare digit by digit.
            const qsizetype endA = digitsEnd(a, i), endB = digitsEnd(b, j);
            while (i + 1 < endA && a[i] == u'0')
                ++i;
            while (j + 1 < endB && b[j] == u'0')
                ++j;
            if (endA - i != endB - j)
                return endA - i < endB - j;
            for (; i < endA; ++i, ++j) {
                if (a[i] != b[j])
                    return a[i] < b[j];
            }
            continue;
        }
        const QChar foldedA = a[i].toCaseFolded(), foldedB = b[j].toCaseFolded();
        if (foldedA != foldedB)
            return foldedA < foldedB;
        ++i;
        ++j;
    }
    return i == a.size() && j < b.size();
}

QString cleanedTitle(const QString &title)
{
    // A group closes the innermost open one of its kind; a bracket that
    // closes nothing, or is never closed, is kept as written.
    QString kept;
    kept.reserve(title.size());
    std::vector<qsizetype> opened; // where each open group starts in kept
    for (const QChar c : title) {
        const QChar opener = c == u')' ? u'(' : c == u']' ? u'[' : QChar();
        if (!opener.isNull() && !opened.empty() && kept[opened.back()] == opener) {
            kept.truncate(opened.back());
            opened.pop_back();
            continue;
        }
        if (c == u'(' || c == u'[')
            opened.push_back(kept.size());
        kept += c == u'_' ? QChar(u' ') : c;
    }
    kept = kept.simplified();
    return kept.isEmpty() ? title : kept;
}

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

std::vector<qint16> RomList::titleOrder() const
{
    std::vector<qint16> order(static_cast<std::size_t>(upperBound()));
    std::iota(order.begin(), order.end(), qint16(0));
    std::stable_sort(order.begin(), order.end(), [this](qint16 a, qint16 b) {
        return titleLess(m_roms[std::size_t(a)].MenuTitle, m_roms[std::size_t(b)].MenuTitle);
    });
    return order;
}

std::vector<qint16> RomList::sortByTitle()
{
    std::vector<qint16> order = titleOrder();
    permute(order);
    return order;
}

void RomList::permute(const std::vector<qint16> &order)
{
    if (order.size() != std::size_t(upperBound()))
        throw AppError::outOfRange();
    std::vector<RomEntry> permuted;
    permuted.reserve(m_roms.size());
    for (const qint16 old : order)
        permuted.push_back(std::move(m_roms.at(std::size_t(old))));
    permuted.emplace_back(); // the spare slot
    m_roms = std::move(permuted);
}

void RomList::cleanUpTitles()
{
    for (qint16 i = 0; i < upperBound(); ++i)
        m_roms[std::size_t(i)].MenuTitle = cleanedTitle(m_roms[std::size_t(i)].MenuTitle);
}

void RomList::insertAt(qint16 index, const RomEntry &entry)
{
    checkIndex(index);
    checkedInt16(upperBound() + 1);
    m_roms.insert(m_roms.begin() + index, entry);
}

void RomList::removeLast(qint16 count)
{
    if (count < 0 || count > upperBound())
        throw AppError::outOfRange();
    m_roms.erase(m_roms.end() - 1 - count, m_roms.end() - 1);
}
