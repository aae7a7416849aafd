#include "spawn.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

namespace {

// Sends why a step failed to the caller, from a process about to end. Fewer
// bytes than a pipe takes at once: written whole or not at all.
[[noreturn]] void failIn(int reasonPipe, SpawnFailure::Step step)
{
    const SpawnFailure failure{step, errno};
    retryOnInterrupt([&] { return ::write(reasonPipe, &failure, sizeof failure); });
    ::_exit(127);
}

// The program's own process, between fork and exec of a program with
// threads: only calls that are safe there.
[[noreturn]] void runProgram(char *const argv[], int folder, std::span<const int> inherited, int reasonPipe)
{
    if (::fchdir(folder) != 0)
        failIn(reasonPipe, SpawnFailure::Folder);
    for (const int fd : inherited)
        ::fcntl(fd, F_SETFD, 0);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    ::execv(argv[0], argv);
    failIn(reasonPipe, SpawnFailure::Program);
}

} // namespace

std::optional<SpawnFailure> spawnDetached(char *const argv[], int folder, std::span<const int> inherited)
{
    // Why a step failed comes back over this pipe; a successful exec closes
    // the program's end, so the pipe is empty when the program runs.
    int reason[2];
    if (::pipe2(reason, O_CLOEXEC) != 0)
        return SpawnFailure{SpawnFailure::Processes, errno};
    const pid_t middle = ::fork();
    if (middle == 0) {
        // The middle process: makes the program's process and ends at once,
        // leaving the program to the system's reaper.
        const pid_t program = ::fork();
        if (program == 0)
            runProgram(argv, folder, inherited, reason[1]);
        if (program < 0)
            failIn(reason[1], SpawnFailure::Processes);
        ::_exit(0);
    }

    // The caller's process: reaps the middle one and reads why, if at all, the program did not start.
    const int forkError = errno;
    ::close(reason[1]);
    std::optional<SpawnFailure> failure;
    if (middle < 0) {
        failure = SpawnFailure{SpawnFailure::Processes, forkError};
    } else {
        retryOnInterrupt([&] { return ::waitpid(middle, nullptr, 0); });
        SpawnFailure sent{};
        if (retryOnInterrupt([&] { return ::read(reason[0], &sent, sizeof sent); }) == ssize_t(sizeof sent))
            failure = sent;
    }
    ::close(reason[0]);
    return failure;
}
