// A real `TarvellSrv -Run` for the tests that need the whole service: a temporary root (service
// folder var/lib/tarvell with its hand-over folder, sibling folder opt/ombrix), the settings and
// state files it starts from, the service started with its test environment, waits for its
// start, its passes and its hand-over, a stop by SIGTERM (SIGKILL at the end of the test when it
// still runs) and its output. The programs run with the service's environment of the root, so a
// test never touches the real /etc or /var.
//
// Use:
//     RunningService service("my-test-");
//     ASSERT_TRUE(service.Start(doc, {"TARVELL_SYSLOG_PORT=..."})) << service.Output();
//     ... service.HandOverTaken(), service.Event("S1/7"), service.PrintIni() ...
//     EXPECT_TRUE(service.Stop()) << service.Output();
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "platform/Process.h"
#include "shared/CTarvellDoc.h"
#include "shared/StateFiles.h"
#include "tests/support/Programs.h"

namespace tarvell::testing {

// A private folder under /tmp, removed with everything in it at the end of the test.
class TempFolder {
public:
    explicit TempFolder(const std::string& prefix = "service-test-")
        : path_(MakeTempFolder(prefix)) {}
    ~TempFolder() {
        if (!path_.empty()) RemoveTree(path_);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(std::string_view name) const { return JoinPath(path_, name); }

private:
    std::string path_;
};

// Polls until the condition holds or the time is up; true when it held.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Only root and the administrators (tarvell-admin) may leave files in the hand-over folder.
inline bool MayHandOver() {
    const struct group* admins = ::getgrnam("tarvell-admin");
    return ::geteuid() == 0 || (admins && ::group_member(admins->gr_gid));
}

// This process's environment without TARVELL_* and NOTIFY_SOCKET, with TARVELL_ROOT = root and
// the extra "NAME=value" entries (each in place of this process's entry of that name).
inline std::vector<std::string> ServiceEnvironment(const std::string& root,
                                                   const std::vector<std::string>& extra = {}) {
    const auto replaced = [&](const std::string& entry) {
        for (const std::string& e : extra) {
            const std::size_t name = e.find('=');
            if (name != std::string::npos && entry.compare(0, name + 1, e, 0, name + 1) == 0)
                return true;
        }
        return false;
    };
    std::vector<std::string> env;
    for (char** e = ::environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("TARVELL_", 0) != 0 && entry.rfind("NOTIFY_SOCKET=", 0) != 0 &&
            !replaced(entry))
            env.push_back(entry);
    }
    env.push_back("TARVELL_ROOT=" + root);
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

// A program started in the background with no signal blocked and its standard output and error
// in one file; killed and waited for at the end unless it has ended.
class BackgroundProgram {
public:
    BackgroundProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                      std::string outputFile)
        : output_(std::move(outputFile)) {
        std::vector<std::string> args = argv, vars = env;
        std::vector<char*> argPtrs, envPtrs;
        for (auto& a : args) argPtrs.push_back(a.data());
        argPtrs.push_back(nullptr);
        for (auto& e : vars) envPtrs.push_back(e.data());
        envPtrs.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, output_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
        if (posix_spawn(&pid_, args.front().c_str(), &actions, &attr, argPtrs.data(),
                        envPtrs.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
    ~BackgroundProgram() {
        if (pid_ > 0 && !status_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    pid_t Pid() const { return pid_; }
    bool Signal(int signo) const { return pid_ > 0 && !status_ && ::kill(pid_, signo) == 0; }
    std::string Output() const { return ReadWholeFile(output_).value_or(""); }
    // The complete lines of the output that contain `part`.
    std::vector<std::string> LinesWith(const std::string& part) const {
        std::vector<std::string> found;
        const std::string text = Output();
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos;
             start = end + 1) {
            std::string line = text.substr(start, end - start);
            if (line.find(part) != std::string::npos) found.push_back(std::move(line));
        }
        return found;
    }
    bool WaitForLineWith(const std::string& part, int timeoutMs = 5000) const {
        return WaitUntil([&] { return !LinesWith(part).empty(); }, timeoutMs);
    }
    // The exit status once the program has ended within the time, else nullopt (also when a
    // signal ended it).
    std::optional<int> WaitForExit(int timeoutMs) {
        WaitUntil(
            [&] {
                int status = 0;
                if (::waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
                return status_.has_value();
            },
            timeoutMs);
        if (!status_ || !WIFEXITED(*status_)) return std::nullopt;
        return WEXITSTATUS(*status_);
    }

private:
    std::string output_;
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// Runs one of the project's tools with the service environment of `root`.
inline ProcessResult RunServiceTool(const std::string& root, const std::vector<std::string>& argv) {
    ProcessOptions options;
    options.argv = argv;
    options.environment = ServiceEnvironment(root);
    options.timeLimitMs = 30'000;
    options.captureOutput = true;
    return RunProcess(options);
}

// State files as a service that ran before leaves them, where the folder holds none yet: start-up
// then reads each at once instead of spending five retries on each missing one. A folder made
// here is closed to others as the service leaves it, so that start-up has nothing to replace
// (a replaced file would count as a save).
inline bool SeedStateFiles(const std::string& serviceFolder) {
    const auto seed = [&](std::string_view name, const auto& empty) {
        const std::string path = JoinPath(serviceFolder, name);
        return FileExists(path) || WriteStateFile(path, empty);
    };
    const bool fresh = !FileExists(serviceFolder);
    if (!MakeDirectories(serviceFolder)) return false;
    if (fresh && ::chmod(serviceFolder.c_str(), 02750) != 0) return false;
    return seed(kAlertLogName, AlertLogFile{}) &&
           seed(kEventDatabaseName, EventDatabaseFile{}) &&
           seed(kReportStoreName, ReportStoreFile{});
}

// The sibling database made by ombrix-make from the description file, in siblingFolder, and that
// folder registered where the service looks for the sibling product. The failing tool's error
// output goes to `why`.
inline bool InstallSiblingDatabase(const std::string& root, const std::string& description,
                                   const std::string& siblingFolder, std::string* why = nullptr) {
    const std::string key = "SYSTEM\\CurrentControlSet\\Services\\Quenmark Ombrix";
    for (const std::vector<std::string>& argv :
         {std::vector<std::string>{test::ToolProgram("ombrix-make"), description,
                                   siblingFolder + "/Ombrix.db"},
          {test::ToolProgram("tarvell-reg"), "set", "HKLM", key, "ImagePath",
           siblingFolder + "/ombrix"}}) {
        const ProcessResult result = RunServiceTool(root, argv);
        if (!result.Succeeded()) {
            if (why) *why = argv.front() + ": " + result.err;
            return false;
        }
    }
    return true;
}

// A sibling database description for ombrix-make: switch 00AABB000001 with two ports; port 2
// receives at 30.5 %, and the node on port 1 has the address given.
inline std::string OneSwitchGeneration(const std::string& nodeIp) {
    return "switch 00AABB000001\n  SwitchIps 127.0.0.11\n  SwitchName core-1\n"
           "  SwitchLocation Building A\n  SwitchMac 00AABB000001\nend\n"
           "port 00AABB000001/1\n  PortName Gi0/1\n  PortStatus 1\n  PortReceiveRate 3\nend\n"
           "port 00AABB000001/2\n  PortName Gi0/2\n  PortStatus 1\n  PortReceiveRate 30.5\nend\n"
           "node 00AA00000001\n  NodeIp " +
           nodeIp +
           "\n  NodeName pc-1\n  NodeSwitch 00AABB000001\n"
           "  NodePort 1\n  NodesOnPort 1\n  NodeFirstSeen 1000\n  NodeLastSeen 2000\nend\n";
}

// The service's installation under a temporary root, and TarvellSrv -Run on it. The environment
// always names the test event file (EventFile()), so RecordEvent can add an event at any time.
class RunningService {
public:
    // `program`: another build of the service, to compare with.
    explicit RunningService(const std::string& prefix = "service-run-",
                            std::string program = Program())
        : root_(prefix), program_(std::move(program)) {}
    RunningService(const RunningService&) = delete;
    RunningService& operator=(const RunningService&) = delete;

    static std::string Program() { return test::ServiceProgram(); }
    const TempFolder& Root() const { return root_; }
    const std::string& Folder() const { return folder_; }
    std::string Path(std::string_view name) const { return JoinPath(folder_, name); }
    std::string Ini() const { return Path(CTarvellDoc::kFileName); }
    std::string HandOver() const { return JoinPath(Path("handover"), CTarvellDoc::kFileName); }
    std::string SiblingFolder() const { return root_ / "opt/ombrix"; }
    std::string EventFile() const { return root_ / "event.txt"; }
    // The environment of the last start (empty before one).
    const std::vector<std::string>& Environment() const { return env_; }

    // The folders and the state files a run before left (those not written already); without
    // a settings file the service writes its own at the start.
    // The folders and state files as a prepared installation holds them, so that start-up has
    // nothing to change.
    bool Install() const {
        return SeedStateFiles(folder_) && MakeDirectories(Path("handover")) &&
               ::chmod(Path("handover").c_str(), 02770) == 0;
    }
    // The same with `doc` as the settings.
    bool Install(const CTarvellDoc& doc) const { return Install() && doc.SaveToFile(Ini(), true); }
    // The sibling database that `description` (ombrix-make's text) describes; the failing step
    // goes to `why`.
    bool InstallSibling(const std::string& description, std::string* why = nullptr) const {
        const std::string text = root_ / "ombrix.txt";
        if (!MakeDirectories(SiblingFolder()) || !AtomicWriteFile(text, description)) {
            if (why) *why = "cannot write " + text;
            return false;
        }
        return InstallSiblingDatabase(root_.Path(), text, SiblingFolder(), why);
    }
    // A new generation of the sibling database, renamed into place as the sibling product
    // replaces its file whole.
    bool ReplaceSibling(const std::string& description) const {
        const std::string text = root_ / "ombrix.txt", staged = SiblingFolder() + "/Ombrix.new";
        return AtomicWriteFile(text, description) &&
               RunServiceTool(root_.Path(), {test::ToolProgram("ombrix-make"), text, staged})
                   .Succeeded() &&
               ::rename(staged.c_str(), (SiblingFolder() + "/Ombrix.db").c_str()) == 0;
    }

    // Starts TarvellSrv -Run with a pass every `passMs` and the `extraEnv` entries; a later start
    // (after Stop or Kill) writes its output to a file of its own. True when it was started.
    bool Run(const std::vector<std::string>& extraEnv = {}, int passMs = 200) {
        std::vector<std::string> extra = {"TARVELL_PASS_INTERVAL_MS=" + std::to_string(passMs),
                                          "TARVELL_TEST_EVENT_FILE=" + EventFile()};
        extra.insert(extra.end(), extraEnv.begin(), extraEnv.end());
        env_ = ServiceEnvironment(root_.Path(), extra);
        ++starts_;
        srv_.reset();
        std::vector<std::string> argv = launcher_;
        argv.insert(argv.end(), {program_, "-Run"});
        srv_ = std::make_unique<BackgroundProgram>(argv, env_,
            root_ / ("service-" + std::to_string(starts_) + ".txt"));
        return srv_->Pid() > 0;
    }
    // Later runs start through `launcher` (its words, then the program and "-Run"), e.g. in
    // namespaces of their own.
    void RunThrough(std::vector<std::string> launcher) { launcher_ = std::move(launcher); }
    // Install(doc), then Run.
    bool Start(const CTarvellDoc& doc, const std::vector<std::string>& extraEnv = {},
               int passMs = 200) {
        return Install(doc) && Run(extraEnv, passMs);
    }
    // True once the service has logged its start.
    bool Started(int ms = 30'000) const {
        return srv_ && srv_->WaitForLineWith("Service started", ms);
    }
    // SIGTERM; true when the service then ends cleanly within `ms`.
    bool Stop(int ms = 10'000) {
        return srv_ && srv_->Signal(SIGTERM) && srv_->WaitForExit(ms) == std::optional<int>(0);
    }
    // SIGKILL, as a crash or kill -9 ends the service.
    void Kill() {
        if (srv_ && srv_->Signal(SIGKILL)) srv_->WaitForExit(10'000);
    }

    BackgroundProgram& Process() { return *srv_; }
    pid_t Pid() const { return srv_ ? srv_->Pid() : -1; }
    // The output of the current (or last) run.
    std::string Output() const { return srv_ ? srv_->Output() : std::string(); }
    std::vector<std::string> LinesWith(const std::string& part) const {
        return srv_ ? srv_->LinesWith(part) : std::vector<std::string>{};
    }
    bool WaitForLineWith(const std::string& part, int ms = 30'000) const {
        return srv_ && srv_->WaitForLineWith(part, ms);
    }

    // True once the service has taken the hand-over copy (it is gone), within `ms`.
    bool HandOverTaken(int ms = 10'000) const {
        return WaitUntil([&] { return !FileExists(HandOver()); }, ms);
    }
    // Waits until the engine has rewritten Tarvell.db `count` times (its first pass writes it,
    // later ones when something changed).
    bool WaitForSaves(int count, int ms = 10'000) const {
        const auto stamp = [&]() -> std::optional<std::pair<ino_t, std::int64_t>> {
            struct stat st {};
            if (::stat(Path(kEventDatabaseName).c_str(), &st) != 0) return std::nullopt;
            return std::pair(st.st_ino, st.st_mtim.tv_sec * 1'000'000'000LL + st.st_mtim.tv_nsec);
        };
        for (auto last = stamp(); count > 0; --count) {
            decltype(last) now;
            if (!WaitUntil([&] { return (now = stamp()) && now != last; }, ms)) return false;
            last = now;
        }
        return true;
    }
    // Sleeps for `count` passes of `passMs` and a little more.
    static void Passes(int count, int passMs = 200) {
        std::this_thread::sleep_for(std::chrono::milliseconds(count * passMs + 300));
    }

    // A state file as it is on disk now.
    template <class File>
    std::optional<File> Read(std::string_view name) const {
        File file;
        if (!ReadStateFile(Path(name), file)) return std::nullopt;
        return file;
    }
    // The event under `key` in the service's event database now.
    std::optional<CEventItem> Event(const std::string& key) const {
        const auto db = Read<EventDatabaseFile>(kEventDatabaseName);
        if (!db) return std::nullopt;
        const auto it = db->EventMap.find(key);
        if (it == db->EventMap.end()) return std::nullopt;
        return *it->second;
    }
    // Hands the service one event through its test event file ("Field value" lines) and waits
    // until it has recorded it.
    bool RecordEvent(const std::string& lines, const std::string& key) const {
        return AtomicWriteFile(EventFile(), lines) && WaitForLineWith("Test event recorded " + key);
    }
    // The service's settings file as `Field=value` lines.
    std::string PrintIni() const {
        ProcessOptions print;
        print.argv = {test::ToolProgram("tarvell-ini"), "--print", Ini()};
        print.environment = ServiceEnvironment(root_.Path());
        print.timeLimitMs = 10'000;
        print.captureOutput = true;
        const ProcessResult printed = RunProcess(print);
        return printed.Succeeded() ? printed.out : std::string();
    }

private:
    TempFolder root_;
    std::string program_;
    std::vector<std::string> launcher_;
    std::string folder_ = root_ / "var/lib/tarvell";
    std::vector<std::string> env_;
    int starts_ = 0;
    std::unique_ptr<BackgroundProgram> srv_;
};

}  // namespace tarvell::testing
