// The interpreter behind batrun: runs the join script (TamLof.bat) the window
// writes, on systems whose shell cannot. It knows the two commands such a script uses:
//
//   cd DIR
//   copy /b SRC+SRC+... DEST
//
// A path is bare, or in double quotes when it holds blanks or '+'.
// The whole script is parsed before its first line runs, so a bad line near
// the end cannot leave a half-built image behind.

#include "interpreter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace {

// The read/write fallback moves data in pieces this big.
constexpr std::size_t kBufferSize = std::size_t{1} << 20;
// copy_file_range is asked for this much per call; the kernel clamps it.
constexpr std::size_t kKernelChunk = std::size_t{1} << 30;

// Why a line could not be parsed or run; it ends up after the line on stderr.
struct Failure {
    std::string reason;
};

[[noreturn]] void fail(std::string reason) { throw Failure{std::move(reason)}; }
[[noreturn]] void failErrno() { fail(std::strerror(errno)); }

class Fd {
public:
    explicit Fd(int fd) noexcept : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { close(); }

    int get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }

    // Writers must check this: a delayed write error may only show here.
    bool close() noexcept {
        if (fd_ < 0)
            return true;
        const int rc = ::close(std::exchange(fd_, -1));
        return rc == 0 || errno == EINTR;  // on Linux the fd is gone either way
    }

private:
    int fd_;
};

// ---------------------------------------------------------------- parsing

struct Blank {};
struct Cd {
    std::string dir;
};
struct Copy {
    std::vector<std::string> sources;
    std::string dest;
};
struct Bad {
    std::string reason;
};
using Command = std::variant<Blank, Cd, Copy, Bad>;

constexpr bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// Consumes the text of one line from the left.
class Cursor {
public:
    explicit Cursor(std::string_view text) : rest_(text) {}

    bool atEnd() const { return rest_.empty(); }
    bool at(char c) const { return !rest_.empty() && rest_.front() == c; }
    void skip() { rest_.remove_prefix(1); }

    // True when at least one blank was skipped.
    bool skipBlanks()
    {
        const std::size_t before = rest_.size();
        while (!rest_.empty() && isBlank(rest_.front()))
            rest_.remove_prefix(1);
        return rest_.size() != before;
    }

    std::string_view word()
    {
        std::size_t n = 0;
        while (n < rest_.size() && !isBlank(rest_[n]))
            ++n;
        return take(n);
    }

    // A bare path ends at a blank, and inside a source list also at '+'.
    std::string path(bool inSourceList)
    {
        if (at('"')) {
            const std::size_t close = rest_.find('"', 1);
            if (close == std::string_view::npos)
                fail("unterminated quote");
            std::string quoted(rest_.substr(1, close - 1));
            rest_.remove_prefix(close + 1);
            if (quoted.empty())
                fail("empty path");
            return quoted;
        }
        std::size_t n = 0;
        while (n < rest_.size() && !isBlank(rest_[n]) && rest_[n] != '"'
               && !(inSourceList && rest_[n] == '+'))
            ++n;
        if (n == 0)
            fail("missing path");
        return std::string(take(n));
    }

    // After a path only a separator or the end of the line may follow.
    void expectSeparator()
    {
        if (!rest_.empty() && !isBlank(rest_.front()) && rest_.front() != '+')
            fail(std::string("unexpected '") + rest_.front() + "' after a path");
    }

private:
    std::string_view take(std::size_t n)
    {
        const std::string_view taken = rest_.substr(0, n);
        rest_.remove_prefix(n);
        return taken;
    }

    std::string_view rest_;
};

Cd parseCd(Cursor& in)
{
    if (!in.skipBlanks() || in.atEnd())
        fail("cd without a directory");
    Cd cd{in.path(false)};
    in.expectSeparator();
    in.skipBlanks();
    if (!in.atEnd())
        fail("unexpected text after the directory");
    return cd;
}

Copy parseCopy(Cursor& in)
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
    try {
        if (line.empty())
            return Blank{};
        for (const char c : line)
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
                fail("control character in line");
        Cursor in(line);
        const std::string_view name = in.word();
        if (equalsIgnoringCase(name, "cd"))
            return parseCd(in);
        if (equalsIgnoringCase(name, "copy"))
            return parseCopy(in);
        fail("unknown command");
    } catch (Failure& failure) {
        return Bad{std::move(failure.reason)};
    }
}

// ---------------------------------------------------------------- running

void writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            failErrno();
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

// Errors with which copy_file_range says "not for this pair of files",
// not "this file is broken".
bool kernelCopyUnsupported(int error)
{
    return error == ENOSYS || error == EXDEV || error == EINVAL || error == EOPNOTSUPP
        || error == EPERM || error == ETXTBSY;
}

class Runner {
public:
    explicit Runner(ScriptObserver& observer) : observer_(observer) {}

    void run(const Command& command)
    {
        if (const auto* cd = std::get_if<Cd>(&command)) {
            if (::chdir(cd->dir.c_str()) != 0)
                failErrno();
        } else if (const auto* copy = std::get_if<Copy>(&command)) {
            join(*copy);
        }
    }

    const std::vector<ScriptOutput>& outputs() const { return outputs_; }

private:
    void join(const Copy& copy)
    {
        const bool append = destIsFirstSource(copy);
        Fd out(::open(copy.dest.c_str(),
                      append ? O_WRONLY | O_CLOEXEC : O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
        if (!out)
            failErrno();
        // From here on the destination is ours: on failure it would be an
        // incomplete image, and none is better than that.
        try {
            if (append && ::lseek(out.get(), 0, SEEK_END) < 0)
                failErrno();
            for (std::size_t i = append ? 1 : 0; i < copy.sources.size(); ++i) {
                const Fd in(::open(copy.sources[i].c_str(), O_RDONLY | O_CLOEXEC));
                if (!in)
                    failErrno();
                pour(in.get(), out.get());
            }
            struct stat written {};
            if (::fstat(out.get(), &written) != 0)
                failErrno();
            if (!out.close())
                failErrno();
            noteOutput(copy.dest, static_cast<std::uint64_t>(written.st_size));
        } catch (...) {
            out.close();
            ::unlink(copy.dest.c_str());
            throw;
        }
    }

    void noteOutput(const std::string& path, std::uint64_t size)
    {
        std::erase_if(outputs_, [&](const ScriptOutput& output) { return output.path == path; });
        outputs_.push_back({path, size});
    }

    // Compares files, not spellings: "./out.gba" is "out.gba".
    static bool destIsFirstSource(const Copy& copy)
    {
        struct stat dest {};
        if (::stat(copy.dest.c_str(), &dest) != 0)
            return false;
        bool first = false;
        for (std::size_t i = 0; i < copy.sources.size(); ++i) {
            struct stat source {};
            if (::stat(copy.sources[i].c_str(), &source) != 0)
                continue;  // reported when it is opened
            if (source.st_dev != dest.st_dev || source.st_ino != dest.st_ino)
                continue;
            if (i > 0)
                fail("destination is also a source");
            first = true;
        }
        return first;
    }

    // Appends the rest of `in` at the current position of `out`. The kernel
    // copy keeps the bytes out of user space; when it refuses this pair of
    // files, read/write does the job.
    void pour(int in, int out)
    {
        for (bool first = true;;) {
            const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kKernelChunk, 0);
            if (n > 0) {
                first = false;
                step(static_cast<std::uint64_t>(n));
                continue;
            }
            if (n == 0) {
                if (!first)
                    return;
                break;  // empty, or a file whose size the kernel cannot tell
            }
            if (errno == EINTR)
                continue;
            if (first && kernelCopyUnsupported(errno))
                break;
            failErrno();
        }
        if (!buffer_)
            buffer_ = std::make_unique_for_overwrite<char[]>(kBufferSize);
        for (;;) {
            const ssize_t n = ::read(in, buffer_.get(), kBufferSize);
            if (n == 0)
                return;
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                failErrno();
            }
            writeAll(out, buffer_.get(), static_cast<std::size_t>(n));
            step(static_cast<std::uint64_t>(n));
        }
    }

    void step(std::uint64_t bytes)
    {
        bytesDone_ += bytes;
        observer_.joined(bytesDone_);
        if (observer_.cancelled())
            fail("cancelled");
    }

    ScriptObserver& observer_;
    std::uint64_t bytesDone_ = 0;
    std::vector<ScriptOutput> outputs_;
    std::unique_ptr<char[]> buffer_;
};

// ---------------------------------------------------------------- the script

bool readFile(const char* path, std::string& text)
{
    const Fd fd(::open(path, O_RDONLY | O_CLOEXEC));
    if (!fd)
        return false;
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        text.append(chunk, static_cast<std::size_t>(n));
    }
}

struct Line {
    int number;
    std::string_view text;
    Command command;
};

ScriptResult failedAt(const Line& line, std::string reason)
{
    ScriptResult result;
    result.lineNumber = line.number;
    result.lineText = std::string(line.text);
    result.reason = std::move(reason);
    return result;
}

}  // namespace

ScriptResult runScript(const std::string& scriptPath, ScriptObserver& observer)
{
    std::string text;
    if (!readFile(scriptPath.c_str(), text)) {
        ScriptResult result;
        result.reason = std::strerror(errno);
        return result;
    }

    std::vector<Line> lines;
    std::string_view rest = text;
    for (int number = 1; !rest.empty(); ++number) {
        const std::size_t end = rest.find('\n');
        std::string_view raw = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (!raw.empty() && raw.back() == '\r')
            raw.remove_suffix(1);
        Line line{number, trimmed(raw), Blank{}};
        line.command = parseLine(line.text);
        if (auto* bad = std::get_if<Bad>(&line.command))
            return failedAt(line, std::move(bad->reason));
        if (!std::holds_alternative<Blank>(line.command))
            lines.push_back(std::move(line));
    }

    observer.planned(0);
    Runner runner(observer);
    for (const Line& line : lines) {
        observer.lineStarted(line.number, std::string(line.text));
        try {
            runner.run(line.command);
        } catch (const Failure& failure) {
            return failedAt(line, failure.reason);
        }
    }
    ScriptResult result;
    result.ok = true;
    result.outputs = runner.outputs();
    return result;
}

std::string failureMessage(const std::string& scriptPath, const ScriptResult& result)
{
    if (result.lineNumber == 0)
        return "batrun: cannot read " + scriptPath + ": " + result.reason;
    return "batrun: " + scriptPath + ":" + std::to_string(result.lineNumber) + ": " + result.lineText
        + ": " + result.reason;
}
