#pragma once

// Planning. The whole script is planned before a byte is written: every
// source and destination is looked up once, by file identity, so a line that
// would read its own output or a file that is not a plain file is refused
// while nothing has changed yet. The lines that build one output (the one that
// creates it and those that append to it) form a chain, which writes into one
// temporary file beside the output, made while planning.

#include "fd.h"
#include "script.h"

#include <sys/resource.h>
#include <sys/types.h>

#include <compare>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace batrun {

// A file as the plan knows it: an existing one by device and inode, one still
// to be made by its folder's device and inode and its name.
struct FileKey
{
    dev_t dev = 0;
    ino_t ino = 0;
    std::string name;

    auto operator<=>(const FileKey &) const = default;
};

// One source of one line.
struct Piece
{
    std::string_view name; // as the script spells it
    int chain = -1;        // reads what this script wrote into that chain's output
    int dir = -1;          // where the name is looked up
    FileKey key;
    Fd file; // held from planning on while descriptors last
    // The bytes planned: the file's size, or what the chain it reads has
    // planned by this line. A file that calls itself empty (as those under
    // /proc do) is read to its end.
    std::uint64_t size = 0;
};

// The lines that build one output.
struct Chain
{
    int dir = -1;
    std::string name;  // in dir; a link already followed
    std::string shown; // as the script spells it
    Fd out;            // the temporary file joined into
    // Where dir makes no unnamed files, the name the temporary file was made under.
    std::string namedTemp;
    std::uint64_t size = 0; // the bytes planned
    std::size_t lastStep = 0;
};

struct Step
{
    Place place;
    int chain = -1; // -1: a cd, resolved while planning
    std::vector<Piece> pieces;
};

// A script planned whole, not changed by joining it.
struct Plan
{
    std::vector<Fd> dirs; // the start folder, those cd enters, those outputs go to
    std::vector<Chain> chains;
    std::vector<Step> steps;
    std::map<FileKey, int> written;         // files this script writes, from the line that starts their chain
    std::map<FileKey, std::string> earlier; // files at destinations before the script, as named there

    // The bytes of every source the script joins.
    std::uint64_t bytes() const;
    // The files at destinations whose chain is not in place, left as they were.
    std::vector<std::string> keptFiles(const std::function<bool(int chain)> &inPlace) const;
};

class Planner
{
public:
    explicit Planner(Fd startDir);
    Planner(const Planner &) = delete;
    Planner &operator=(const Planner &) = delete;
    // The named temporary files of a plan never taken are removed.
    ~Planner();

    // `line` must outlive the plan: pieces name their files by its text.
    void add(const Line &line);
    const Plan &plan() const { return m_plan; }
    // The plan, whose temporary files are then the taker's to remove.
    Plan take() { return std::exchange(m_plan, {}); }

private:
    int currentDir() const { return m_plan.dirs[m_current].get(); }
    bool isLink(const std::string &name) const;
    // The key a file still to be made, or one that replaces a link, will have.
    FileKey newFileKey(std::string_view name);
    // The same spelling in the same folder is the same file within one plan:
    // a chain's every line names its output again.
    FileKey destinationKey(const std::string &name);
    // `dest`, when given, is a file this source must not be.
    Piece source(const std::string &name, const FileKey *dest);
    int startChain(const std::string &shown);

    Plan m_plan;
    std::size_t m_current = 0; // the folder cd entered last
    std::pair<std::size_t, std::string> m_lastDest = {std::size_t(-1), {}};
    FileKey m_lastDestKey;
    bool m_linkReplaced = false; // sources must then be matched by path as well
    rlim_t m_sparePieces = 0;
    rlim_t m_heldPieces = 0;
};

} // namespace batrun
