#include "runner.h"

#include "failure.h"
#include "temporaryname.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

namespace batrun {

namespace {

// copy_file_range is asked for this much at a time: few calls, yet progress
// moves and a cancel is heard within a step.
constexpr std::size_t CopyStep = std::size_t{8} << 20;
// Written output is handed to the disk in stretches this big while the join
// goes on, rather than all at its end.
constexpr std::uint64_t WriteBehind = std::uint64_t{4} << 20;
// Files smaller than this are read into a buffer that is written out when
// full: for a few KiB, a read is cheaper than a kernel copy, and one write
// serves hundreds of games.
constexpr std::uint64_t SmallPiece = std::uint64_t{64} << 10;
constexpr std::size_t BufferSize = std::size_t{1} << 20;

// Where a descriptor leads, for the window to show.
std::string pathOf(int fd)
{
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    std::string path(4096, '\0');
    const ssize_t n = ::readlink(link.c_str(), path.data(), path.size());
    if (n <= 0 || std::size_t(n) == path.size())
        return {};
    path.resize(std::size_t(n));
    return path;
}

// Errors with which copy_file_range says "not for this pair of files",
// not "this file is broken".
bool copyUnsupported(int error)
{
    return error == ENOSYS || error == EXDEV || error == EINVAL || error == EOPNOTSUPP || error == EPERM
            || error == ETXTBSY;
}

bool isOutputError(int error)
{
    return error == ENOSPC || error == EDQUOT || error == EFBIG || error == EROFS;
}

} // namespace

Runner::Runner(Plan plan, ScriptObserver &observer)
    : m_plan(std::move(plan)), m_observer(observer), m_progress(m_plan.chains.size())
{
    for (std::size_t i = 0; i < m_progress.size(); ++i)
        m_progress[i].tempName = m_plan.chains[i].namedTemp;
}

Runner::~Runner()
{
    for (std::size_t i = 0; i < m_progress.size(); ++i) {
        if (!m_progress[i].tempName.empty())
            ::unlinkat(m_plan.dirs[std::size_t(m_plan.chains[i].dir)].get(), m_progress[i].tempName.c_str(), 0);
    }
}

std::vector<std::string> Runner::keptFiles() const
{
    return m_plan.keptFiles([this](int chain) { return m_progress[std::size_t(chain)].inPlace; });
}

void Runner::run(Place &current)
{
    std::string text;
    for (std::size_t i = 0; i < m_plan.steps.size(); ++i) {
        const Step &step = m_plan.steps[i];
        current = step.place;
        failIfStopped(m_observer);
        text.assign(step.place.text); // no control characters: parsing refused those
        m_observer.lineStarted(step.place.number, text);
        failIfStopped(m_observer);
        if (step.chain < 0)
            continue;
        const std::size_t chain = std::size_t(step.chain);
        for (const Piece &piece : step.pieces)
            join(piece, chain);
        if (i == m_plan.chains[chain].lastStep)
            finish(chain);
    }
}

void Runner::joined(std::uint64_t bytes, std::size_t chain)
{
    Progress &progress = m_progress[chain];
    progress.written += bytes;
    if (progress.written - progress.flushedTo >= WriteBehind) {
        // Starts writing what is there, so the closing fsync has little left to wait for.
        ::sync_file_range(m_plan.chains[chain].out.get(), off64_t(progress.flushedTo),
                          off64_t(progress.written - progress.flushedTo), SYNC_FILE_RANGE_WRITE);
        progress.flushedTo = progress.written;
    }
    m_bytesDone += bytes;
    m_observer.joined(m_bytesDone);
    failIfStopped(m_observer);
}

Fd Runner::reopen(const Piece &piece) const
{
    Fd file(::openat(m_plan.dirs[std::size_t(piece.dir)].get(), std::string(piece.name).c_str(),
                     O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st = {};
    if (!file || ::fstat(file.get(), &st) != 0)
        failErrno(piece.name);
    if (!S_ISREG(st.st_mode) || FileKey{st.st_dev, st.st_ino, {}} != piece.key)
        fail(std::string(piece.name) + ": replaced while the script ran");
    return file;
}

void Runner::join(const Piece &piece, std::size_t chain)
{
    if (m_pendingChain != chain || piece.chain >= 0)
        writePending(); // a chain's output is read, or another one written
    Fd reopened;
    int in = -1;
    std::uint64_t size = piece.size;
    if (piece.chain >= 0) {
        in = m_plan.chains[std::size_t(piece.chain)].out.get();
        size = m_progress[std::size_t(piece.chain)].written; // files read to their end included
    } else if (piece.file) {
        in = piece.file.get();
    } else {
        in = (reopened = reopen(piece)).get();
    }

    const Chain &to = m_plan.chains[chain];
    loff_t offset = 0;
    bool kernelCopy = size >= SmallPiece;
    if (kernelCopy)
        writePending();
    while (kernelCopy && std::uint64_t(offset) < size) {
        const std::size_t step = std::min<std::uint64_t>(size - std::uint64_t(offset), CopyStep);
        const ssize_t n = ::copy_file_range(in, &offset, to.out.get(), nullptr, step, 0);
        if (n > 0) {
            joined(std::uint64_t(n), chain);
        } else if (n == 0) {
            fail(std::string(piece.name) + ": shrank while the script ran");
        } else if (errno == EINTR) {
            failIfStopped(m_observer);
        } else if (offset == 0 && copyUnsupported(errno)) {
            kernelCopy = false;
        } else {
            failErrno(isOutputError(errno) ? to.shown : piece.name);
        }
    }
    if (!kernelCopy)
        pour(in, piece, size, chain);
}

void Runner::pour(int in, const Piece &piece, std::uint64_t size, std::size_t chain)
{
    if (!m_buffer)
        m_buffer = std::make_unique_for_overwrite<char[]>(BufferSize);
    m_pendingChain = chain;
    for (std::uint64_t offset = 0; size == 0 || offset < size;) {
        if (m_pending == BufferSize)
            writePending();
        const std::size_t room = BufferSize - m_pending;
        const std::size_t want = size == 0 ? room : std::min<std::uint64_t>(size - offset, room);
        const ssize_t n = ::pread(in, m_buffer.get() + m_pending, want, off_t(offset));
        if (n == 0 && size == 0)
            return;
        if (n == 0)
            fail(std::string(piece.name) + ": shrank while the script ran");
        if (n < 0) {
            if (errno != EINTR)
                failErrno(piece.name);
            failIfStopped(m_observer);
            continue;
        }
        m_pending += std::size_t(n);
        offset += std::uint64_t(n);
        joined(std::uint64_t(n), chain);
    }
}

void Runner::writePending()
{
    for (std::size_t written = 0; written < m_pending;) {
        const Chain &chain = m_plan.chains[m_pendingChain];
        const ssize_t n = ::write(chain.out.get(), m_buffer.get() + written, m_pending - written);
        if (n < 0 && errno != EINTR)
            failErrno(chain.shown);
        if (n < 0)
            failIfStopped(m_observer);
        else
            written += std::size_t(n);
    }
    m_pending = 0;
}

void Runner::finish(std::size_t chain)
{
    writePending();
    const Chain &planned = m_plan.chains[chain];
    Progress &progress = m_progress[chain];
    if (::fsync(planned.out.get()) != 0)
        failErrno(planned.shown);
    const int dir = m_plan.dirs[std::size_t(planned.dir)].get();
    if (progress.tempName.empty()) {
        const std::string self = "/proc/self/fd/" + std::to_string(planned.out.get());
        progress.tempName = makeUnderTemporaryName(planned.name, [&](const std::filesystem::path &name) {
                                return ::linkat(AT_FDCWD, self.c_str(), dir, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
                            }).native();
        if (progress.tempName.empty())
            failErrno(planned.shown);
    }
    if (::renameat(dir, progress.tempName.c_str(), dir, planned.name.c_str()) != 0)
        failErrno(planned.shown);
    progress.tempName.clear();
    progress.inPlace = true;
    const std::string folder = pathOf(dir);
    m_outputs.push_back({folder.empty() ? planned.shown : folder + "/" + planned.name, progress.written});
}

} // namespace batrun
