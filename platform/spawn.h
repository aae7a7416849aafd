#pragma once

// Starting a program without waiting for it, on POSIX systems. Plain POSIX.

#include <cerrno>
#include <optional>
#include <span>

// Calls call() again for as long as a signal interrupts it (-1 with EINTR).
template <class Call>
auto retryOnInterrupt(Call call)
{
    auto result = call();
    while (result == -1 && errno == EINTR)
        result = call();
    return result;
}

// What kept a program from starting, with the system's error number.
struct SpawnFailure
{
    enum Step {
        Processes, // no process could be made for it
        Folder,    // its working folder could not be entered
        Program,   // the program could not be run
    };
    Step step;
    int error;
};

// Runs argv[0] with the arguments argv (ending in nullptr) and returns as
// soon as it runs, without waiting for it to end: it is not the caller's
// child, so it never needs reaping and outlives the caller. It starts in the
// folder open at descriptor `folder`, with the descriptors `inherited` open;
// the caller's other descriptors must be close-on-exec.
std::optional<SpawnFailure> spawnDetached(char *const argv[], int folder, std::span<const int> inherited);
