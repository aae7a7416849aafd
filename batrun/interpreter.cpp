// The interpreter behind batrun: runs the join script (TamLof.bat) the window
// writes, on systems whose shell cannot. Its parts: script.h reads and parses
// the script, plan.h plans it whole, runner.h joins it, and this file runs
// it, one join at a time in a start folder, stopped cleanly by a signal.

#include "interpreter.h"

#include "failure.h"
#include "plan.h"
#include "runner.h"
#include "script.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <array>
#include <csignal>
#include <ctime>
#include <optional>

namespace batrun {

std::atomic<int> g_signal = 0;
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may only touch lock-free atomics");

} // namespace batrun

using namespace batrun;

namespace {

// The signals that stop the script as a failure; those after them would kill the process mid-join.
constexpr std::array<int, 5> HandledSignals = {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGXFSZ};
constexpr std::size_t StopSignals = 3;

void noteSignal(int number)
{
    g_signal = number;
}

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
        for (std::size_t i = 0; i < HandledSignals.size(); ++i) {
            sigaction(HandledSignals[i], i < StopSignals ? &stop : &ignore, &m_previous[i]);
            // What whoever started us ignores (nohup, a background job) stays ignored.
            if (i < StopSignals && m_previous[i].sa_handler == SIG_IGN)
                sigaction(HandledSignals[i], &m_previous[i], nullptr);
        }
    }
    ~SignalGuard()
    {
        for (std::size_t i = 0; i < HandledSignals.size(); ++i)
            sigaction(HandledSignals[i], &m_previous[i], nullptr);
    }
    SignalGuard(const SignalGuard &) = delete;
    SignalGuard &operator=(const SignalGuard &) = delete;

private:
    std::array<struct sigaction, HandledSignals.size()> m_previous = {};
};

// Joins in one start folder run one after the other. The script is read only
// once the lock is ours, so a join that waited runs the newest script there.
void lock(int startDir, ScriptObserver &observer)
{
    while (::flock(startDir, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            fail(std::string("cannot lock the start folder: ") + std::strerror(errno));
        failIfStopped(observer);
        const timespec pause = {0, 5'000'000};
        ::nanosleep(&pause, nullptr);
    }
}

// A descriptor handed on as the start folder must be the folder batrun runs
// in; anything else is refused, and not taken.
void checkHandedFolder(int fd)
{
    const std::string name = "--locked=" + std::to_string(fd);
    struct stat handed = {}, current = {};
    if (::fstat(fd, &handed) != 0)
        failErrno(name);
    if (!S_ISDIR(handed.st_mode)) {
        errno = ENOTDIR;
        failErrno(name);
    }
    if (::stat(".", &current) != 0)
        failErrno(".");
    if (handed.st_dev != current.st_dev || handed.st_ino != current.st_ino)
        fail(name + ": not the current directory");
}

ScriptResult failedAt(const Place &place, std::string reason, const std::optional<Planner> &planner,
                      const std::optional<Runner> &runner)
{
    ScriptResult result;
    if (runner)
        result.keptFiles = runner->keptFiles();
    else if (planner)
        result.keptFiles = planner->plan().keptFiles([](int) { return false; });
    result.lineNumber = place.number;
    result.lineText = escaped(place.text);
    result.reason = std::move(reason);
    result.signal = g_signal;
    return result;
}

} // namespace

ScriptResult runScript(const std::string &scriptPath, ScriptObserver &observer, int lockedFolder)
{
    const SignalGuard signals;
    std::string text; // what `current` points into, so it outlives the catch
    Place current;
    std::optional<Planner> planner;
    std::optional<Runner> runner;
    try {
        // A lock handed on is ours already: locking it again succeeds at once.
        if (lockedFolder >= 0)
            checkHandedFolder(lockedFolder);
        Fd startDir(lockedFolder >= 0 ? lockedFolder : ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!startDir)
            failErrno(".");
        ::fcntl(startDir.get(), F_SETFD, FD_CLOEXEC);
        lock(startDir.get(), observer);
        text = readScript(scriptPath);
        const std::vector<Line> lines = parseScript(text, current);
        planner.emplace(std::move(startDir));
        for (const Line &line : lines) {
            current = line.place;
            planner->add(line);
        }
        current = Place{};
        runner.emplace(planner->take(), observer);
        observer.planned(runner->plan().bytes());
        runner->run(current);
        ScriptResult result;
        result.ok = true;
        result.outputs = runner->outputs();
        return result;
    } catch (Failure &failure) {
        return failedAt(current, std::move(failure.reason), planner, runner);
    } catch (const std::exception &e) {
        return failedAt(current, e.what(), planner, runner);
    }
}

void setStopSignalsBlocked(bool blocked)
{
    sigset_t stops;
    sigemptyset(&stops);
    for (std::size_t i = 0; i < StopSignals; ++i)
        sigaddset(&stops, HandledSignals[i]);
    pthread_sigmask(blocked ? SIG_BLOCK : SIG_UNBLOCK, &stops, nullptr);
}

std::string failureMessage(const std::string &scriptPath, const ScriptResult &result)
{
    if (result.lineNumber == 0)
        return "batrun: " + result.reason;
    return "batrun: " + scriptPath + ":" + std::to_string(result.lineNumber) + ": " + result.lineText + ": "
            + result.reason;
}
