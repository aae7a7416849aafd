#include "script.h"

#include "failure.h"
#include "fd.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>

namespace batrun {

namespace {

// A script the window writes holds at most 32767 short lines; anything this
// big is not one, and reading it whole would only exhaust memory.
constexpr std::uint64_t MaxScriptSize = std::uint64_t{64} << 20;

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

} // namespace

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

} // namespace batrun
