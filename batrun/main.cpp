// batrun: the command line in front of the interpreter. Echoes each line as
// it starts, so whoever watches sees the join progress.

#include "interpreter.h"
#include "windowloader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
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

} // namespace

int main(int argc, char **argv)
{
    // The build took the start folder's lock before it wrote the script and hands it on.
    int lockedFolder = -1;
    if (argc >= 2 && std::strncmp(argv[1], "--locked=", 9) == 0) {
        lockedFolder = std::atoi(argv[1] + 9);
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
