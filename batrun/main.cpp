// batrun: the command line in front of the interpreter. Echoes each line as
// it starts, so whoever watches sees the join progress.

#include "interpreter.h"
#include "windowloader.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

class EchoLines : public ScriptObserver
{
public:
    // A terminal or a pipe may have someone watching line by line; a file or
    // /dev/null takes the echo in blocks, which spares a write per game.
    EchoLines()
    {
        struct stat st = {};
        m_live = ::isatty(STDOUT_FILENO) || ::fstat(STDOUT_FILENO, &st) != 0
                || !(S_ISREG(st.st_mode) || S_ISCHR(st.st_mode));
    }

    void lineStarted(int number, const std::string &text) override
    {
        (void)number;
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
        if (m_live)
            std::fflush(stdout);
    }

private:
    bool m_live = true;
};

// The descriptor number of "--locked=N": digits only, within an int; -1 for anything else.
int descriptorNumber(const char *text)
{
    const char *end = text + std::strlen(text);
    int number = -1;
    if (text == end || *text < '0' || *text > '9' || std::from_chars(text, end, number).ptr != end)
        return -1;
    return number;
}

// Every source is held open from planning to joining, a descriptor per game:
// batrun asks for as many as the system allows.
void raiseOpenFileLimit()
{
    rlimit limit = {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int main(int argc, char **argv)
{
    // What the build hands on (the start folder's lock, a pipe it watches for
    // batrun's end) stays with batrun: none of it goes to a program batrun or
    // its toolkit starts.
    ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    raiseOpenFileLimit();
    // The build took the start folder's lock before it wrote the script and hands it on.
    int lockedFolder = -1;
    if (argc >= 2 && std::strncmp(argv[1], "--locked=", 9) == 0) {
        lockedFolder = descriptorNumber(argv[1] + 9);
        if (lockedFolder < 0) {
            std::fprintf(stderr, "batrun: %s: not a descriptor number\n", argv[1]);
            return 1;
        }
        --argc, ++argv;
    }
    // The build asks for the script's window; without a display it runs as from a terminal.
    if (argc == 3 && std::strcmp(argv[1], "--window") == 0) {
        if (const WindowMain windowMain = loadScriptWindow())
            return windowMain(argv[2], lockedFolder);
        --argc, ++argv;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: batrun SCRIPT\n");
        return 1;
    }
    EchoLines echo;
    const ScriptResult result = runScript(argv[1], echo, lockedFolder);
    if (result.ok)
        return 0;
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", failureMessage(argv[1], result).c_str());
    if (result.signal != 0) {
        std::signal(result.signal, SIG_DFL);
        std::raise(result.signal);
    }
    return 1;
}
