// Runs a program with an argument vector: never through a shell, with an optional time limit
// after which the program and everything it started in its process group are killed. The
// program is always waited for, so no zombie is left behind.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ManualResetEvent.h"

namespace tarvell {

struct ProcessOptions {
    // argv[0] is the program; without a "/" it is looked up in PATH. Each argument reaches the
    // program unchanged: blanks, quotes and "$" mean nothing here.
    std::vector<std::string> argv;
    std::string workingDir;                              // empty: the caller's
    std::optional<std::vector<std::string>> environment; // "NAME=value"; nullopt: the caller's
    std::int64_t timeLimitMs = 0;                        // 0: no limit
    // When set, the program is killed as soon as the event is signalled (a stopping service).
    const ManualResetEvent* cancel = nullptr;
    // Collect standard output and error; otherwise they are the caller's. Standard input is
    // always /dev/null.
    bool captureOutput = false;
    std::size_t maxOutputBytes = 64 * 1024;              // per stream; the rest is dropped
};

enum class ProcessEnd {
    Exited,      // exitCode holds the status
    Signalled,   // signal holds the signal that ended it
    TimedOut,    // killed at the time limit
    Cancelled,   // killed because `cancel` was signalled
    NotStarted,  // error holds the errno (ENOENT for a missing program, EACCES, ...)
};

struct ProcessResult {
    ProcessEnd end = ProcessEnd::NotStarted;
    int exitCode = -1;
    int signal = 0;
    int error = 0;
    int pid = -1;
    std::string out;
    std::string err;
    bool outTruncated = false;
    bool errTruncated = false;

    bool Succeeded() const { return end == ProcessEnd::Exited && exitCode == 0; }
};

// Starts the program in a process group of its own, with no signal blocked, default signal
// dispositions and no descriptor of the caller other than 0, 1 and 2, then waits for it.
ProcessResult RunProcess(const ProcessOptions& options);

}  // namespace tarvell
