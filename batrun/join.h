#pragma once

// Planning and joining. The whole script is planned before a byte is written:
// every source and destination is looked up once, by file identity, so a line
// that would read its own output or a file that is not a plain file is
// refused while nothing has changed yet. The lines that build one output (the
// one that creates it and those that append to it) write into one temporary
// file beside it, which replaces the output only once the last of them
// succeeded: an output is whole or as it was before.

#include "fd.h"
#include "interpreter.h"
#include "script.h"

#include <sys/resource.h>
#include <sys/types.h>

#include <compare>
#include <cstdint>
#include <map>
#include <memory>
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
    // Bytes to join. A file that calls itself empty (as those under /proc
    // do) is read to its end.
    std::uint64_t size = 0;
};

// The lines that build one output.
struct Chain
{
    int dir = -1;
    std::string name;  // in dir; a link already followed
    std::string shown; // as the script spells it
    Fd out;
    std::string tempName; // while a named temporary file is ours to remove
    std::uint64_t size = 0;
    std::uint64_t flushedTo = 0; // handed to write-back so far
    std::size_t lastStep = 0;
    bool inPlace = false;
};

struct Step
{
    Place place;
    int chain = -1; // -1: a cd, resolved while planning
    std::vector<Piece> pieces;
};

class Join
{
public:
    Join(Fd startDir, ScriptObserver &observer);
    Join(const Join &) = delete;
    Join &operator=(const Join &) = delete;
    // Temporary files not put in place are removed: an output is whole or untouched.
    ~Join();

    // `line` must outlive the run: pieces name their files by its text.
    void plan(const Line &line);
    std::uint64_t plannedBytes() const;
    // Runs the planned steps; `current` names the one that failed.
    void run(Place &current);

    const std::vector<ScriptOutput> &outputs() const { return m_outputs; }
    // After a failure: the files at destinations whose output is not in place, left as they were.
    std::vector<std::string> keptFiles() const;

private:
    // Planning (plan.cpp)
    int currentDir() const { return m_dirs[m_current].get(); }
    bool isLink(const std::string &name) const;
    // The key a file still to be made, or one that replaces a link, will have.
    FileKey newFileKey(std::string_view name);
    // The same spelling in the same folder is the same file within one plan:
    // a chain's every line names its output again.
    FileKey destinationKey(const std::string &name);
    // `dest`, when given, is a file this source must not be.
    Piece source(const std::string &name, const FileKey *dest);
    int startChain(const std::string &shown);

    // Joining (join.cpp)
    void joined(std::uint64_t bytes, Chain &chain);
    Fd reopen(const Piece &piece);
    void join(Piece &piece, Chain &chain);
    // Read into the buffer and written out a buffer at a time: small files
    // (many in one write), what the kernel will not copy, and to the end a
    // file whose size says nothing.
    void pour(int in, const Piece &piece, Chain &chain);
    void writePending();
    // Flushed to disk before it replaces anything: a write error shows here,
    // not as a broken image after a "success".
    void finish(Chain &chain);

    ScriptObserver &m_observer;
    std::vector<Fd> m_dirs; // the start folder, those cd enters, those outputs go to
    std::size_t m_current = 0;
    std::pair<std::size_t, std::string> m_lastDest = {std::size_t(-1), {}};
    FileKey m_lastDestKey;
    bool m_linkReplaced = false;              // sources must then be matched by path as well
    std::map<FileKey, int> m_written;         // files this script writes, from the line that starts their chain
    std::map<FileKey, std::string> m_earlier; // files at destinations before the script, as named there
    std::vector<Chain> m_chains;
    std::vector<Step> m_steps;
    std::vector<ScriptOutput> m_outputs;
    rlim_t m_sparePieces = 0;
    rlim_t m_heldPieces = 0;
    std::uint64_t m_bytesDone = 0;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_pending = 0; // bytes in m_buffer not yet written to m_pendingChain
    Chain *m_pendingChain = nullptr;
};

// The name of a temporary file for the output `base`, beside it.
std::string tempName(const std::string &base, int attempt);

} // namespace batrun
