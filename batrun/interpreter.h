#pragma once

// The interpreter behind batrun: reads a join script, plans it whole, then
// runs it. Plain C++ and POSIX, no widgets: the command line and the script's
// window are two fronts on it.

#include <cstdint>
#include <string>
#include <vector>

// Told what a running script does, on the thread that runs it.
class ScriptObserver
{
public:
    virtual ~ScriptObserver() = default;

    // Once, after the script is read and planned, before its first line runs:
    // the bytes of every source the script joins.
    virtual void planned(std::uint64_t totalBytes) { (void)totalBytes; }
    // Before each line runs, with its control characters escaped.
    virtual void lineStarted(int number, const std::string &text) { (void)number, (void)text; }
    // After each step of a join: the bytes joined so far, over the whole script.
    virtual void joined(std::uint64_t bytesDone) { (void)bytesDone; }
    // Asked between steps; true stops the script as a failure, leaving no partial output.
    virtual bool cancelled() const { return false; }
};

// An image the script wrote, once it is in place.
struct ScriptOutput
{
    std::string path; // from the root, where the system tells it
    std::uint64_t size = 0;
};

struct ScriptResult
{
    bool ok = false;
    // The failing line; 0 when the script itself could not be read or planned as a whole.
    int lineNumber = 0;
    // The failing line's text, control characters escaped.
    std::string lineText;
    // Why, in the system's words, with the file it concerns.
    std::string reason;
    // The signal (SIGTERM, SIGINT, SIGHUP) that stopped the script, else 0;
    // a command line re-raises it once the message is out.
    int signal = 0;
    // On success, every image written, in the order the script finished them.
    std::vector<ScriptOutput> outputs;
    // On failure, the files that stood where images not yet in place were to
    // go, left as they were, as the script names them.
    std::vector<std::string> keptFiles;
};

// Reads, plans and runs the script at scriptPath from the current directory.
// lockedFolder: a descriptor of the current directory whose lock the program
// that started batrun took and hands on (refused, and left open, when it is
// not the current directory); -1 to take the lock here.
ScriptResult runScript(const std::string &scriptPath, ScriptObserver &observer, int lockedFolder = -1);

// On the calling thread, and on those it starts from then on: the signals
// that stop a script (SIGTERM, SIGINT, SIGHUP) blocked or let through. A
// program that runs the script on a thread of its own blocks them everywhere
// else, before its first thread starts, so that they interrupt the very call
// the join waits in.
void setStopSignalsBlocked(bool blocked);

// The line a failure prints on standard error: "batrun: SCRIPT:LINE: text: reason".
std::string failureMessage(const std::string &scriptPath, const ScriptResult &result);
