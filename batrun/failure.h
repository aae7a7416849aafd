#pragma once

// How the interpreter's parts fail: a Failure thrown with the reason, which
// the run turns into the script's result for the line it was at.

#include "interpreter.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace batrun {

// The signal that asked the running script to stop, 0 while none has. Set by
// a handler on whichever thread took the signal, read by the script's.
extern std::atomic<int> g_signal;

// Why a line could not be parsed, planned or run.
struct Failure
{
    std::string reason;
};

[[noreturn]] inline void fail(std::string reason)
{
    throw Failure{std::move(reason)};
}

// "roms/x.nes: No such file or directory"
[[noreturn]] inline void failErrno(std::string_view name)
{
    fail(std::string(name) + ": " + std::strerror(errno));
}

// Between steps: a signal or the observer's cancel stops the script.
inline void failIfStopped(const ScriptObserver &observer)
{
    if (const int signal = g_signal)
        fail(::strsignal(signal));
    if (observer.cancelled())
        fail("cancelled");
}

} // namespace batrun
