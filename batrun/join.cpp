#include "join.h"

#include "failure.h"

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

std::string tempName(const std::string &base, int attempt)
{
    return "." + base + "." + std::to_string(::getpid()) + "." + std::to_string(attempt);
}

void Join::run(Place &current)
{
    for (Chain &chain : m_chains)
        chain.size = 0;
    std::string text;
    for (std::size_t i = 0; i < m_steps.size(); ++i) {
        Step &step = m_steps[i];
        current = step.place;
        failIfStopped(m_observer);
        text.assign(step.place.text); // no control characters: parsing refused those
        m_observer.lineStarted(step.place.number, text);
        failIfStopped(m_observer);
        if (step.chain < 0)
            continue;
        Chain &chain = m_chains[std::size_t(step.chain)];
        for (Piece &piece : step.pieces)
            join(piece, chain);
        if (i == chain.lastStep)
            finish(chain);
    }
}

void Join::joined(std::uint64_t bytes, Chain &chain)
{
    chain.size += bytes;
    if (chain.size - chain.flushedTo >= WriteBehind) {
        // Starts writing what is there, so the closing fsync has little left to wait for.
        ::sync_file_range(chain.out.get(), off64_t(chain.flushedTo), off64_t(chain.size - chain.flushedTo),
                          SYNC_FILE_RANGE_WRITE);
        chain.flushedTo = chain.size;
    }
    m_bytesDone += bytes;
    m_observer.joined(m_bytesDone);
    failIfStopped(m_observer);
}

Fd Join::reopen(const Piece &piece)
{
    Fd file(::openat(m_dirs[std::size_t(piece.dir)].get(), std::string(piece.name).c_str(),
                     O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st = {};
    if (!file || ::fstat(file.get(), &st) != 0)
        failErrno(piece.name);
    if (!S_ISREG(st.st_mode) || FileKey{st.st_dev, st.st_ino, {}} != piece.key)
        fail(std::string(piece.name) + ": replaced while the script ran");
    return file;
}

void Join::join(Piece &piece, Chain &chain)
{
    if (m_pendingChain != &chain || piece.chain >= 0)
        writePending(); // a chain's output is read, or another one written
    Fd reopened;
    int in = -1;
    if (piece.chain >= 0) {
        const Chain &source = m_chains[std::size_t(piece.chain)];
        in = source.out.get();
        piece.size = source.size; // as written by now, files read to their end included
    } else if (piece.file) {
        in = piece.file.get();
    } else {
        in = (reopened = reopen(piece)).get();
    }

    loff_t offset = 0;
    bool kernelCopy = piece.size >= SmallPiece;
    if (kernelCopy)
        writePending();
    while (kernelCopy && std::uint64_t(offset) < piece.size) {
        const std::size_t step = std::min<std::uint64_t>(piece.size - std::uint64_t(offset), CopyStep);
        const ssize_t n = ::copy_file_range(in, &offset, chain.out.get(), nullptr, step, 0);
        if (n > 0) {
            joined(std::uint64_t(n), chain);
        } else if (n == 0) {
            fail(std::string(piece.name) + ": shrank while the script ran");
        } else if (errno == EINTR) {
            failIfStopped(m_observer);
        } else if (offset == 0 && copyUnsupported(errno)) {
            kernelCopy = false;
        } else {
            failErrno(isOutputError(errno) ? chain.shown : piece.name);
        }
    }
    if (!kernelCopy)
        pour(in, piece, chain);
    piece.file.close();
}

void Join::pour(int in, const Piece &piece, Chain &chain)
{
    if (!m_buffer)
        m_buffer = std::make_unique_for_overwrite<char[]>(BufferSize);
    m_pendingChain = &chain;
    for (std::uint64_t offset = 0; piece.size == 0 || offset < piece.size;) {
        if (m_pending == BufferSize)
            writePending();
        const std::size_t room = BufferSize - m_pending;
        const std::size_t want = piece.size == 0 ? room : std::min<std::uint64_t>(piece.size - offset, room);
        const ssize_t n = ::pread(in, m_buffer.get() + m_pending, want, off_t(offset));
        if (n == 0 && piece.size == 0)
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

void Join::writePending()
{
    for (std::size_t written = 0; written < m_pending;) {
        const ssize_t n = ::write(m_pendingChain->out.get(), m_buffer.get() + written, m_pending - written);
        if (n < 0 && errno != EINTR)
            failErrno(m_pendingChain->shown);
        if (n < 0)
            failIfStopped(m_observer);
        else
            written += std::size_t(n);
    }
    m_pending = 0;
}

void Join::finish(Chain &chain)
{
    writePending();
    if (::fsync(chain.out.get()) != 0)
        failErrno(chain.shown);
    const int dir = m_dirs[std::size_t(chain.dir)].get();
    if (chain.tempName.empty()) {
        const std::string self = "/proc/self/fd/" + std::to_string(chain.out.get());
        for (int attempt = 0; chain.tempName.empty(); ++attempt) {
            std::string name = tempName(chain.name, attempt);
            if (::linkat(AT_FDCWD, self.c_str(), dir, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
                chain.tempName = std::move(name);
            else if (errno != EEXIST)
                failErrno(chain.shown);
        }
    }
    if (::renameat(dir, chain.tempName.c_str(), dir, chain.name.c_str()) != 0)
        failErrno(chain.shown);
    chain.tempName.clear();
    chain.inPlace = true;
    const std::string folder = pathOf(dir);
    m_outputs.push_back({folder.empty() ? chain.shown : folder + "/" + chain.name, chain.size});
}

} // namespace batrun
