#pragma once

#include <QChar>
#include <QDir>
#include <QString>

#include <array>
#include <functional>
#include <vector>

// The seven emulator options, by the index that selects the option box, the
// slot in RomEntry::Options and the bit in a menu line's flags.
enum class Option : int {
    SpeedHack1,
    SpeedHack2,
    SpeedHack3,
    NoVBlankWait,
    ScreenFollowsSprite, // with SpriteFollow; excludes ScreenFollowsMemory
    ScreenFollowsMemory, // with MemFollow; excludes ScreenFollowsSprite
    Profiling,
};
inline constexpr int OptionCount = 7;

// One game of the compilation.
struct RomEntry
{
    QString RomPath;
    QString MenuTitle;
    std::array<qint16, OptionCount> Options{}; // one per Option: 0 clear, 1 set
    QString MemFollow;
    QString SpriteFollow;

    qint16 &option(Option which) { return Options[std::size_t(which)]; }
    qint16 option(Option which) const { return Options[std::size_t(which)]; }

    bool operator==(const RomEntry &) const = default;
};

// Whether title a sorts before title b in sortByTitle()'s order.
bool titleLess(QStringView a, QStringView b);

// A title without the "(...)" and "[...]" groups ROM sets add to file names,
// "_" read as a blank, blanks single and trimmed; title as it was when that
// leaves nothing.
QString cleanedTitle(const QString &title);

// The ordered list of games (Roms). Games are 0 .. n-1; element n is a spare
// slot that is empty between operations, so the upper bound equals the number
// of games. Indices are 16-bit signed, as the list box's row numbers are.
class RomList
{
public:
    static constexpr qint16 MaxGames = 32767;

    // The folder separator that ends the folder part of a path when a title is
    // derived; the native one unless a caller needs the other.
    explicit RomList(QChar folderSeparator = QDir::separator());

    // Discards all games; only the empty spare slot remains.
    void InitRoms();
    // Appends a game for path, titled with the file name without its extension.
    void AddRom(const QString &path);
    // Removes game index; the later games move one place forward.
    void RemoveRom(qint16 index);
    // Exchanges games index and index + 1; does nothing when either is not a game.
    void SwapRomWithNext(qint16 index) noexcept;

    // Orders the games by title as a player reads a list: case ignored, a run
    // of digits compared by its value, games with equal titles in their order.
    // Returns the old index of the game now at each index.
    std::vector<qint16> sortByTitle();
    // The order sortByTitle() would give, without changing anything.
    std::vector<qint16> titleOrder() const;
    // Puts the game at index order[i] at index i, for every game.
    void permute(const std::vector<qint16> &order);
    // Gives every game its cleanedTitle().
    void cleanUpTitles();
    // Puts a game at index, 0 .. upperBound(); the later ones move one place back.
    void insertAt(qint16 index, const RomEntry &entry);
    // Removes the last count games, without the emptied-list notification.
    void removeLast(qint16 count);

    // The highest index, which is also the number of games.
    qint16 upperBound() const { return qint16(m_roms.size() - 1); }
    // Element index, 0 .. upperBound() (the spare slot included); raises out of range otherwise.
    RomEntry &at(qint16 index);
    const RomEntry &at(qint16 index) const;

    // Raises the error AddRom would raise for path (no "." after the last
    // folder separator, or no room for another game) without changing anything.
    void checkAddable(const QString &path) const;

    // Called when RemoveRom has removed the last game.
    void setEmptiedListHandler(std::function<void()> handler) { m_emptied = std::move(handler); }

private:
    void checkIndex(int index) const;

    QChar m_separator;
    std::vector<RomEntry> m_roms;
    std::function<void()> m_emptied;
};
