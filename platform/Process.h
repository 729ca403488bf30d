// Runs a program with an argument vector: never through a shell, with an optional time limit
// after which the program and everything it started in its process group are killed. The
// program is always waited for (RunProcess) or handed to a ProcessReaper that waits for it
// (StartProcess), so no zombie is left behind.
//
// A program may run under a local account: the child takes the user's groups, group and user id
// after the fork and before the exec, and HOME, USER and LOGNAME name that user. A password, when
// given, is checked through PAM first. When the account cannot be taken (unknown user, refused
// password, a service without the right to switch users) nothing runs: the result says
// NotStarted with the reason, and the program never runs under the caller's own account instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ManualResetEvent.h"
#include "platform/UniqueFd.h"

namespace tarvell {

// The local user a program runs as.
struct ProcessAccount {
    std::string user;
    std::string domain;    // carried for the callers' log-on texts; ignored on this platform
    std::string password;  // empty: not checked (the caller has the right to switch users)
};

// The PAM service whose rules check account passwords. Without a file of that name in
// /etc/pam.d, PAM applies its "other" rules.
inline constexpr const char* kPamService = "tarvell";

struct ProcessOptions {
    // argv[0] is the program; without a "/" it is looked up in PATH. Each argument reaches the
    // program unchanged: blanks, quotes and "$" mean nothing here.
    std::vector<std::string> argv;
    std::string workingDir;                               // empty: the caller's
    std::optional<std::vector<std::string>> environment;  // "NAME=value"; nullopt: the caller's
    std::int64_t timeLimitMs = 0;                         // 0: no limit
    // When set, the program is killed as soon as the event is signalled (a stopping service).
    const ManualResetEvent* cancel = nullptr;
    // Collect standard output and error; otherwise they are the caller's. Standard input is
    // always /dev/null.
    bool captureOutput = false;
    std::size_t maxOutputBytes = 64 * 1024;  // per stream; the rest is dropped
    // Run as this local user; nullopt: as the caller.
    std::optional<ProcessAccount> account;
};

enum class ProcessEnd {
    Exited,      // exitCode holds the status
    Signalled,   // signal holds the signal that ended it
    TimedOut,    // killed at the time limit
    Cancelled,   // killed because `cancel` was signalled
    NotStarted,  // error holds the errno (ENOENT for a missing program, EACCES, ...);
                 // logonFailed when the account could not be taken; errorText says why
    Running,     // StartProcess only: started; its reaper waits for it
};

struct ProcessResult {
    ProcessEnd end = ProcessEnd::NotStarted;
    int exitCode = -1;
    int signal = 0;
    int error = 0;
    int pid = -1;
    bool logonFailed = false;
    std::string errorText;  // NotStarted: one line for the log
    std::string out;
    std::string err;
    bool outTruncated = false;
    bool errTruncated = false;

    bool Succeeded() const { return end == ProcessEnd::Exited && exitCode == 0; }
};

// Starts the program in a process group of its own, with no signal blocked, default signal
// dispositions and no descriptor of the caller other than 0, 1 and 2, then waits for it.
ProcessResult RunProcess(const ProcessOptions& options);

// Waits for programs started by StartProcess, none of which its starter waits for: each one is
// reaped when it ends, and killed with its group at its time limit. Safe to call from any thread.
// The destructor kills the group of every program still running and reaps it, so a stopping
// service leaves neither zombies nor programs beyond their owner.
class ProcessReaper {
public:
    // Called on the reaper's thread when a program ended (Exited, Signalled, TimedOut, or
    // Cancelled when the reaper was stopped). It must not call back into the reaper.
    using EndHandler = std::function<void(const ProcessResult&)>;

    explicit ProcessReaper(std::size_t maxRunning = kDefaultMaxRunning);
    ~ProcessReaper();
    ProcessReaper(const ProcessReaper&) = delete;
    ProcessReaper& operator=(const ProcessReaper&) = delete;

    static constexpr std::size_t kDefaultMaxRunning = 64;

    // Programs started and not yet reaped.
    std::size_t Running() const;
    // Waits up to ms until no program is running; true when none is.
    bool WaitIdle(std::int64_t ms) const;

private:
    friend ProcessResult StartProcess(const ProcessOptions&, ProcessReaper&, EndHandler);
    struct State;
    std::shared_ptr<State> state_;
};

// Starts the program as RunProcess does and returns at once; the reaper waits for it. The result
// has end NotStarted when nothing runs (also when the reaper already watches maxRunning
// programs: EAGAIN), else Running with the pid.
// captureOutput and cancel are not used: the program writes to the caller's standard output and
// error, and the reaper's destructor is its cancel.
ProcessResult StartProcess(const ProcessOptions& options, ProcessReaper& reaper,
                           ProcessReaper::EndHandler onEnd = {});

// A program spoken to line by line over its standard input and output (a helper that answers
// requests). Standard error stays the caller's. Used by one thread at a time. Every read and
// write has a time limit and ends when `cancel` is set; the program (with its group) is killed
// by Kill and by the destructor, and always reaped.
class ProcessPipe {
public:
    ProcessPipe() = default;
    ~ProcessPipe();
    ProcessPipe(const ProcessPipe&) = delete;
    ProcessPipe& operator=(const ProcessPipe&) = delete;

    // Starts the program (argv, environment, folder, account of `options`; its time limit,
    // cancel and capture are not used). false with the reason when nothing runs.
    bool Start(const ProcessOptions& options, std::string* why);
    bool Running() const { return pid_ > 0; }
    // Writes the line and a newline; false when the program does not take it in time.
    bool WriteLine(std::string_view line, std::int64_t limitMs,
                   const ManualResetEvent* cancel = nullptr);
    // The next line without its newline; nullopt at the time limit, on cancel, when the program
    // closed its output, or when a line grows beyond maxBytes.
    std::optional<std::string> ReadLine(std::size_t maxBytes, std::int64_t limitMs,
                                        const ManualResetEvent* cancel = nullptr);
    // Closes the program's standard input, so that it reads end of file.
    void CloseInput();
    // Waits up to limitMs for the program to end and reaps it: its exit code, or nullopt when it
    // still runs (or was killed by a signal, or cancel was set).
    std::optional<int> WaitForExit(std::int64_t limitMs, const ManualResetEvent* cancel = nullptr);
    void Kill();

private:
    int pid_ = -1;
    UniqueFd toChild_;
    UniqueFd fromChild_;
    std::string buffer_;
};

}  // namespace tarvell
