#pragma once

// Joining a plan: each chain's lines write into its temporary file, which
// replaces the output only once the last of them succeeded, so an output is
// whole or as it was before.

#include "interpreter.h"
#include "plan.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace batrun {

class Runner
{
public:
    Runner(Plan plan, ScriptObserver &observer);
    Runner(const Runner &) = delete;
    Runner &operator=(const Runner &) = delete;
    // Temporary files not put in place are removed: an output is whole or untouched.
    ~Runner();

    const Plan &plan() const { return m_plan; }
    // Runs the planned steps; `current` names the one that failed.
    void run(Place &current);

    const std::vector<ScriptOutput> &outputs() const { return m_outputs; }
    // After a failure: the files at destinations whose output is not in place, left as they were.
    std::vector<std::string> keptFiles() const;

private:
    // What joining has made of one chain's output so far.
    struct Progress
    {
        std::uint64_t written = 0;
        std::uint64_t flushedTo = 0; // handed to write-back so far
        std::string tempName;        // while a named temporary file is ours to remove
        bool inPlace = false;
    };

    void joined(std::uint64_t bytes, std::size_t chain);
    Fd reopen(const Piece &piece) const;
    void join(const Piece &piece, std::size_t chain);
    // Read into the buffer and written out a buffer at a time: small files
    // (many in one write), what the kernel will not copy, and to the end a
    // file whose size says nothing (`size` 0).
    void pour(int in, const Piece &piece, std::uint64_t size, std::size_t chain);
    void writePending();
    // Flushed to disk before it replaces anything: a write error shows here,
    // not as a broken image after a "success".
    void finish(std::size_t chain);

    const Plan m_plan;
    ScriptObserver &m_observer;
    std::vector<Progress> m_progress; // by chain
    std::vector<ScriptOutput> m_outputs;
    std::uint64_t m_bytesDone = 0;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_pending = 0;                    // bytes in m_buffer not yet written to m_pendingChain
    std::size_t m_pendingChain = std::size_t(-1); // none yet
};

} // namespace batrun
