// The interpreter behind batrun: runs the join script (TamLof.bat) the window
// writes, on systems whose shell cannot. It knows the two commands such a
// script uses:
//
//   cd DIR
//   copy /b SRC+SRC+... DEST
//
// A path is bare, or in double quotes when it holds blanks or '+'; a bare
// "cd" takes the rest of its line.
//
// The whole script is parsed and planned before a byte is written: every
// source and destination is looked up once, by file identity, so a line that
// would read its own output or a file that is not a plain file is refused
// while nothing has changed yet. The lines that build one output (the one
// that creates it and those that append to it) write into one temporary file
// beside it, which replaces the output only once the last of them succeeded:
// an output is whole or as it was before.

#include "interpreter.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string_view>
#include <utility>
#include <variant>

namespace {

// A script the window writes holds at most 32767 short lines; anything this
// big is not one, and reading it whole would only exhaust memory.
constexpr std::uint64_t MaxScriptSize = std::uint64_t{64} << 20;
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
// Descriptors left for everything else while sources are held open from
// planning to joining.
constexpr rlim_t SpareDescriptors = 64;

volatile std::sig_atomic_t g_signal = 0;

void noteSignal(int number)
{
    g_signal = number;
}

// Why a line could not be parsed, planned or run.
struct Failure
{
    std::string reason;
};

[[noreturn]] void fail(std::string reason)
{
    throw Failure{std::move(reason)};
}

// "roms/x.nes: No such file or directory"
[[noreturn]] void failErrno(std::string_view name)
{
    fail(std::string(name) + ": " + std::strerror(errno));
}

class Fd
{
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(Fd &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Fd &operator=(Fd &&other) noexcept
    {
        if (this != &other) {
            close();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    ~Fd() { close(); }

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }

    void close()
    {
        if (m_fd >= 0)
            ::close(std::exchange(m_fd, -1));
    }

private:
    int m_fd = -1;
};

// Ignores what would kill the process mid-join (a closed stdout, a file size
// limit: both then fail as errors) and turns the signals that ask it to stop
// into a failure that cleans up; the previous handlers come back afterwards.
class SignalGuard
{
public:
    SignalGuard()
    {
        g_signal = 0;
        struct sigaction stop = {};
        stop.sa_handler = noteSignal; // no SA_RESTART: a blocked call returns and sees the flag
        sigemptyset(&stop.sa_mask);
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        for (std::size_t i = 0; i < m_numbers.size(); ++i) {
            sigaction(m_numbers[i], i < StopSignals ? &stop : &ignore, &m_previous[i]);
            // What whoever started us ignores (nohup, a background job) stays ignored.
            if (i < StopSignals && m_previous[i].sa_handler == SIG_IGN)
                sigaction(m_numbers[i], &m_previous[i], nullptr);
        }
    }
    ~SignalGuard()
    {
        for (std::size_t i = 0; i < m_numbers.size(); ++i)
            sigaction(m_numbers[i], &m_previous[i], nullptr);
    }
    SignalGuard(const SignalGuard &) = delete;
    SignalGuard &operator=(const SignalGuard &) = delete;

private:
    static constexpr std::size_t StopSignals = 3;
    const std::array<int, 5> m_numbers = {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGXFSZ};
    std::array<struct sigaction, 5> m_previous = {};
};

// ---------------------------------------------------------------- parsing

struct Blank
{
};
struct Cd
{
    std::string dir;
};
struct Copy
{
    std::vector<std::string> sources;
    std::string dest;
};
using Command = std::variant<Blank, Cd, Copy>;

constexpr bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

constexpr bool isControl(unsigned char c)
{
    return (c < 0x20 && c != '\t') || c == 0x7f;
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// A line as it may go to a terminal: control characters as \xHH, nothing cut.
std::string escaped(std::string_view line)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(line.size());
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (isControl(byte)) {
            text += "\\x";
            text += digits[byte >> 4];
            text += digits[byte & 15];
        } else {
            text += c;
        }
    }
    return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return std::ranges::equal(a, b, {}, lower, lower);
}

// Consumes the text of one line from the left.
class Cursor
{
public:
    explicit Cursor(std::string_view text) : m_rest(text) {}

    bool atEnd() const { return m_rest.empty(); }
    bool at(char c) const { return !m_rest.empty() && m_rest.front() == c; }
    void skip() { m_rest.remove_prefix(1); }
    std::string_view rest() const { return m_rest; }

    // True when at least one blank was skipped.
    bool skipBlanks()
    {
        const std::size_t before = m_rest.size();
        while (!m_rest.empty() && isBlank(m_rest.front()))
            m_rest.remove_prefix(1);
        return m_rest.size() != before;
    }

    std::string_view word()
    {
        std::size_t n = 0;
        while (n < m_rest.size() && !isBlank(m_rest[n]))
            ++n;
        return take(n);
    }

    // A bare path ends at a blank, and inside a source list also at '+'.
    std::string path(bool inSourceList)
    {
        if (at('"')) {
            const std::size_t close = m_rest.find('"', 1);
            if (close == std::string_view::npos)
                fail("unterminated quote");
            std::string quoted(m_rest.substr(1, close - 1));
            m_rest.remove_prefix(close + 1);
            if (quoted.empty())
                fail("empty path");
            return quoted;
        }
        std::size_t n = 0;
        while (n < m_rest.size() && !isBlank(m_rest[n]) && m_rest[n] != '"' && !(inSourceList && m_rest[n] == '+'))
            ++n;
        if (n == 0)
            fail("missing path");
        return std::string(take(n));
    }

    // After a path only a separator or the end of the line may follow.
    void expectSeparator()
    {
        if (!m_rest.empty() && !isBlank(m_rest.front()) && m_rest.front() != '+')
            fail(std::string("unexpected '") + m_rest.front() + "' after a path");
    }

private:
    std::string_view take(std::size_t n)
    {
        const std::string_view taken = m_rest.substr(0, n);
        m_rest.remove_prefix(n);
        return taken;
    }

    std::string_view m_rest;
};

// Unquoted, the directory is the rest of the line, blanks and all, as the
// system's own interpreter takes it ("cd C:\Program Files").
Cd parseCd(Cursor &in)
{
    if (!in.skipBlanks() || in.atEnd())
        fail("cd without a directory");
    if (!in.at('"'))
        return Cd{std::string(in.rest())};
    Cd cd{in.path(false)};
    in.skipBlanks();
    if (!in.atEnd())
        fail("unexpected text after the directory");
    return cd;
}

Copy parseCopy(Cursor &in)
{
    in.skipBlanks();
    if (!equalsIgnoringCase(in.word(), "/b"))
        fail("copy without /b");
    if (!in.skipBlanks() || in.atEnd())
        fail("copy without sources");
    Copy copy;
    for (;;) {
        copy.sources.push_back(in.path(true));
        in.expectSeparator();
        if (!in.at('+'))
            break;
        in.skip();
    }
    in.skipBlanks();
    if (in.atEnd())
        fail("copy without a destination");
    copy.dest = in.path(false);
    in.expectSeparator();
    in.skipBlanks();
    if (!in.atEnd())
        fail("unexpected text after the destination");
    return copy;
}

// `line` comes without its line end and without surrounding blanks.
Command parseLine(std::string_view line)
{
    if (line.empty())
        return Blank{};
    if (std::ranges::any_of(line, [](char c) { return isControl(static_cast<unsigned char>(c)); }))
        fail("control character in line");
    Cursor in(line);
    const std::string_view name = in.word();
    if (equalsIgnoringCase(name, "cd"))
        return parseCd(in);
    if (equalsIgnoringCase(name, "copy"))
        return parseCopy(in);
    fail("unknown command");
}

// ---------------------------------------------------------------- the script

// Where in the script: what a message and the echo show.
struct Place
{
    int number = 0;
    std::string_view text;
};

struct Line
{
    Place place;
    Command command;
};

std::string readScript(const std::string &path)
{
    // Without blocking: a FIFO under the script's name must not hang us.
    const Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st = {};
    if (!fd || ::fstat(fd.get(), &st) != 0)
        fail("cannot read " + path + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        fail("cannot read " + path + ": not a regular file");
    const auto tooBig = [&] { fail("cannot read " + path + ": larger than 64 MiB"); };
    if (std::uint64_t(st.st_size) > MaxScriptSize)
        tooBig();
    std::string text(std::size_t(st.st_size) + 1, '\0');
    std::size_t size = 0;
    for (;;) {
        if (size == text.size()) {
            if (size > MaxScriptSize)
                tooBig();
            text.resize(std::min<std::size_t>(2 * size, MaxScriptSize + 1));
        }
        const ssize_t n = ::read(fd.get(), text.data() + size, text.size() - size);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR && !g_signal)
                continue;
            fail("cannot read " + path + ": " + std::strerror(errno));
        }
        size += std::size_t(n);
    }
    text.resize(size);
    return text;
}

// Throws a Failure naming the line when one cannot be parsed.
std::vector<Line> parseScript(std::string_view text, Place &current)
{
    std::vector<Line> lines;
    for (int number = 1; !text.empty(); ++number) {
        const std::size_t end = text.find('\n');
        std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!raw.empty() && raw.back() == '\r')
            raw.remove_suffix(1);
        current = Place{number, trimmed(raw)};
        Command command = parseLine(current.text);
        if (!std::holds_alternative<Blank>(command))
            lines.push_back(Line{current, std::move(command)});
    }
    return lines;
}

// ---------------------------------------------------------------- planning

// A file as the plan knows it: an existing one by device and inode, one still
// to be made by its folder's device and inode and its name.
struct FileKey
{
    dev_t dev = 0;
    ino_t ino = 0;
    std::string name;

    auto operator<=>(const FileKey &) const = default;
};

std::pair<std::string, std::string> splitPath(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

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

// What the process has open already (a window has its own), which the
// descriptors held for sources must leave room for.
rlim_t openDescriptors()
{
    DIR *dir = ::opendir("/proc/self/fd");
    if (!dir)
        return SpareDescriptors;
    rlim_t count = 0;
    while (::readdir(dir))
        ++count;
    ::closedir(dir);
    return count;
}

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
};

std::string tempName(const std::string &base, int attempt)
{
    return "." + base + "." + std::to_string(::getpid()) + "." + std::to_string(attempt);
}

struct Step
{
    Place place;
    int chain = -1; // -1: a cd, resolved while planning
    std::vector<Piece> pieces;
};

class Join
{
public:
    Join(Fd startDir, ScriptObserver &observer) : m_observer(observer)
    {
        m_dirs.push_back(std::move(startDir));
        rlimit limit = {};
        if (::getrlimit(RLIMIT_NOFILE, &limit) == 0) {
            // Holding each source open from planning to joining costs one
            // descriptor per game; ask for all the system allows.
            limit.rlim_cur = limit.rlim_max;
            ::setrlimit(RLIMIT_NOFILE, &limit);
            ::getrlimit(RLIMIT_NOFILE, &limit);
            const rlim_t used = openDescriptors() + SpareDescriptors;
            m_sparePieces = limit.rlim_cur > used ? limit.rlim_cur - used : 0;
        }
    }
    Join(const Join &) = delete;
    Join &operator=(const Join &) = delete;

    // Temporary files not put in place are removed: an output is whole or untouched.
    ~Join()
    {
        for (const Chain &chain : m_chains) {
            if (!chain.tempName.empty())
                ::unlinkat(m_dirs[std::size_t(chain.dir)].get(), chain.tempName.c_str(), 0);
        }
    }

    // `line` must outlive the run: pieces name their files by its text.
    void plan(const Line &line)
    {
        if (const auto *cd = std::get_if<Cd>(&line.command)) {
            Fd dir(::openat(currentDir(), cd->dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
            if (!dir)
                failErrno(cd->dir);
            m_current = m_dirs.size();
            m_dirs.push_back(std::move(dir));
            m_steps.push_back(Step{line.place, -1, {}});
            return;
        }
        const Copy &copy = std::get<Copy>(line.command);
        Step step{line.place, -1, {}};
        const FileKey dest = destinationKey(copy.dest);
        const auto written = m_written.find(dest);
        // The chain's own output, spelled as its destination, needs no lookup.
        const bool appends = written != m_written.end() && copy.sources.front() == copy.dest;
        for (std::size_t i = appends ? 1 : 0; i < copy.sources.size(); ++i)
            step.pieces.push_back(source(copy.sources[i], i == 0 ? nullptr : &dest));
        if (appends || (written != m_written.end() && step.pieces.front().key == dest)) {
            step.chain = written->second;
            if (!appends)
                step.pieces.erase(step.pieces.begin());
        } else {
            step.chain = startChain(copy.dest);
            m_written[dest] = step.chain;
        }
        Chain &chain = m_chains[std::size_t(step.chain)];
        for (const Piece &piece : step.pieces)
            chain.size += piece.size;
        chain.lastStep = m_steps.size();
        m_steps.push_back(std::move(step));
    }

    std::uint64_t plannedBytes() const
    {
        std::uint64_t total = 0;
        for (const Step &step : m_steps) {
            for (const Piece &piece : step.pieces)
                total += piece.size;
        }
        return total;
    }

    // Runs the planned steps; `current` names the one that failed.
    void run(Place &current)
    {
        for (Chain &chain : m_chains)
            chain.size = 0;
        std::string text;
        for (std::size_t i = 0; i < m_steps.size(); ++i) {
            Step &step = m_steps[i];
            current = step.place;
            checkStop();
            text.assign(step.place.text); // no control characters: parsing refused those
            m_observer.lineStarted(step.place.number, text);
            checkStop();
            if (step.chain < 0)
                continue;
            Chain &chain = m_chains[std::size_t(step.chain)];
            for (Piece &piece : step.pieces)
                join(piece, chain);
            if (i == chain.lastStep)
                finish(chain);
        }
    }

    const std::vector<ScriptOutput> &outputs() const { return m_outputs; }

private:
    int currentDir() const { return m_dirs[m_current].get(); }

    bool isLink(const std::string &name) const
    {
        struct stat st = {};
        return ::fstatat(currentDir(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
    }

    // The key a file still to be made, or one that replaces a link, will have.
    FileKey newFileKey(std::string_view name)
    {
        const auto [folder, base] = splitPath(std::string(name));
        struct stat st = {};
        if (::fstatat(currentDir(), folder.c_str(), &st, 0) != 0)
            failErrno(name);
        if (!S_ISDIR(st.st_mode)) {
            errno = ENOTDIR;
            failErrno(name);
        }
        return FileKey{st.st_dev, st.st_ino, base};
    }

    // The same spelling in the same folder is the same file within one plan:
    // a chain's every line names its output again.
    FileKey destinationKey(const std::string &name)
    {
        if (m_lastDest.first == m_current && m_lastDest.second == name)
            return m_lastDestKey;
        struct stat st = {};
        const bool exists = ::fstatat(currentDir(), name.c_str(), &st, 0) == 0;
        if (!exists && errno != ENOENT)
            failErrno(name);
        if (exists && S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            failErrno(name);
        }
        if (exists && !S_ISREG(st.st_mode))
            fail(name + ": not a regular file");
        FileKey key{st.st_dev, st.st_ino, {}};
        if (!exists || isLink(name)) {
            // A link under the output's name is replaced, never written
            // through: the file it names stays as it is.
            key = newFileKey(name);
            m_linkReplaced = m_linkReplaced || exists;
        }
        m_lastDest = {m_current, name};
        m_lastDestKey = key;
        return key;
    }

    // `dest`, when given, is a file this source must not be.
    Piece source(const std::string &name, const FileKey *dest)
    {
        Piece piece;
        piece.name = name;
        piece.dir = int(m_current);
        struct stat st = {};
        bool found = false;
        // Opened without blocking, so a FIFO is refused, not waited on.
        if (m_heldPieces < m_sparePieces) {
            piece.file = Fd(::openat(currentDir(), name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
            found = piece.file && ::fstat(piece.file.get(), &st) == 0;
            m_heldPieces += found;
        } else {
            found = ::fstatat(currentDir(), name.c_str(), &st, 0) == 0;
        }
        if (!found && errno != ENOENT)
            failErrno(piece.name);
        piece.key = found ? FileKey{st.st_dev, st.st_ino, {}} : newFileKey(name);
        if (found && m_linkReplaced && m_written.contains(newFileKey(name)))
            piece.key = newFileKey(name); // the path of a link this script replaces
        if (dest && piece.key == *dest)
            fail("destination is also a source");
        if (const auto written = m_written.find(piece.key); written != m_written.end()) {
            piece.chain = written->second;
            piece.size = m_chains[std::size_t(piece.chain)].size;
            piece.file.close();
        } else if (!found) {
            errno = ENOENT;
            failErrno(name);
        } else if (!S_ISREG(st.st_mode)) {
            fail(name + ": not a regular file");
        } else {
            piece.size = std::uint64_t(st.st_size);
        }
        return piece;
    }

    int startChain(const std::string &shown)
    {
        Chain chain;
        chain.shown = shown;
        struct stat st = {};
        const bool replacesFile =
                ::fstatat(currentDir(), shown.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
        const auto [folder, base] = splitPath(shown);
        chain.name = base;
        chain.dir = int(m_current);
        if (folder != ".") {
            Fd folderFd(::openat(currentDir(), folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
            if (!folderFd)
                failErrno(shown);
            chain.dir = int(m_dirs.size());
            m_dirs.push_back(std::move(folderFd));
        }
        const int dir = m_dirs[std::size_t(chain.dir)].get();
        chain.out = Fd(::openat(dir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
        if (!chain.out && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
            // No unnamed files here: a named one, removed unless it is put in place.
            for (int attempt = 0; !chain.out && (attempt == 0 || errno == EEXIST); ++attempt) {
                chain.tempName = tempName(base, attempt);
                chain.out = Fd(::openat(dir, chain.tempName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
            }
        }
        if (!chain.out) {
            chain.tempName.clear();
            failErrno(shown);
        }
        if (replacesFile)
            ::fchmod(chain.out.get(), st.st_mode & 07777);
        m_chains.push_back(std::move(chain));
        return int(m_chains.size()) - 1;
    }

    void checkStop()
    {
        if (g_signal)
            fail(::strsignal(g_signal));
        if (m_observer.cancelled())
            fail("cancelled");
    }

    void joined(std::uint64_t bytes, Chain &chain)
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
        checkStop();
    }

    Fd reopen(const Piece &piece)
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

    void join(Piece &piece, Chain &chain)
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
                checkStop();
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

    // Errors with which copy_file_range says "not for this pair of files",
    // not "this file is broken".
    static bool copyUnsupported(int error)
    {
        return error == ENOSYS || error == EXDEV || error == EINVAL || error == EOPNOTSUPP || error == EPERM
                || error == ETXTBSY;
    }

    static bool isOutputError(int error)
    {
        return error == ENOSPC || error == EDQUOT || error == EFBIG || error == EROFS;
    }

    // Read into the buffer and written out a buffer at a time: small files
    // (many in one write), what the kernel will not copy, and to the end a
    // file whose size says nothing.
    void pour(int in, const Piece &piece, Chain &chain)
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
                checkStop();
                continue;
            }
            m_pending += std::size_t(n);
            offset += std::uint64_t(n);
            joined(std::uint64_t(n), chain);
        }
    }

    void writePending()
    {
        for (std::size_t written = 0; written < m_pending;) {
            const ssize_t n = ::write(m_pendingChain->out.get(), m_buffer.get() + written, m_pending - written);
            if (n < 0 && errno != EINTR)
                failErrno(m_pendingChain->shown);
            if (n < 0)
                checkStop();
            else
                written += std::size_t(n);
        }
        m_pending = 0;
    }

    // Flushed to disk before it replaces anything: a write error shows here,
    // not as a broken image after a "success".
    void finish(Chain &chain)
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
        const std::string folder = pathOf(dir);
        m_outputs.push_back({folder.empty() ? chain.shown : folder + "/" + chain.name, chain.size});
    }

    ScriptObserver &m_observer;
    std::vector<Fd> m_dirs; // the start folder, those cd enters, those outputs go to
    std::size_t m_current = 0;
    std::pair<std::size_t, std::string> m_lastDest = {std::size_t(-1), {}};
    FileKey m_lastDestKey;
    bool m_linkReplaced = false;      // sources must then be matched by path as well
    std::map<FileKey, int> m_written; // files this script writes, from the line that starts their chain
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

// Joins in one start folder run one after the other. The script is read only
// once the lock is ours, so a join that waited runs the newest script there.
void lock(int startDir, ScriptObserver &observer)
{
    while (::flock(startDir, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            fail(std::string("cannot lock the start folder: ") + std::strerror(errno));
        if (g_signal)
            fail(::strsignal(g_signal));
        if (observer.cancelled())
            fail("cancelled");
        const timespec pause = {0, 5'000'000};
        ::nanosleep(&pause, nullptr);
    }
}

ScriptResult failedAt(const Place &place, std::string reason)
{
    ScriptResult result;
    result.lineNumber = place.number;
    result.lineText = escaped(place.text);
    result.reason = std::move(reason);
    result.signal = g_signal;
    return result;
}

} // namespace

ScriptResult runScript(const std::string &scriptPath, ScriptObserver &observer)
{
    const SignalGuard signals;
    std::string text; // what `current` points into, so it outlives the catch
    Place current;
    try {
        Fd startDir(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!startDir)
            failErrno(".");
        lock(startDir.get(), observer);
        text = readScript(scriptPath);
        const std::vector<Line> lines = parseScript(text, current);
        Join join(std::move(startDir), observer);
        for (const Line &line : lines) {
            current = line.place;
            join.plan(line);
        }
        current = Place{};
        observer.planned(join.plannedBytes());
        join.run(current);
        ScriptResult result;
        result.ok = true;
        result.outputs = join.outputs();
        return result;
    } catch (Failure &failure) {
        return failedAt(current, std::move(failure.reason));
    } catch (const std::exception &e) {
        return failedAt(current, e.what());
    }
}

std::string failureMessage(const std::string &scriptPath, const ScriptResult &result)
{
    if (result.lineNumber == 0)
        return "batrun: " + result.reason;
    return "batrun: " + scriptPath + ":" + std::to_string(result.lineNumber) + ": " + result.lineText + ": "
            + result.reason;
}
