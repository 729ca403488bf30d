// Helpers shared by the service host's tests.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "platform/ManualResetEvent.h"
#include "platform/Process.h"
#include "service/engine/EngineControl.h"
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
        if (!path_.empty()) {
            RemoveTree(path_);
        }
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
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// What a fake engine did, kept apart from the engine so a test can look after it is gone.
struct FakeEngineRecord {
    ManualResetEvent running;  // Run was entered
    ManualResetEvent release;  // lets a stubborn engine's Run return
    std::atomic<bool> sawStop{false};
    std::atomic<bool> destroyed{false};
    std::mutex mutex;
    std::vector<int> codes;

    std::vector<int> Codes() {
        std::lock_guard<std::mutex> lock(mutex);
        return codes;
    }
};

enum class FakeBehaviour { StopsOnRequest, IgnoresStop, Throws };

class FakeEngine : public EngineControl {
public:
    FakeEngine(std::shared_ptr<FakeEngineRecord> record, FakeBehaviour behaviour)
        : record_(std::move(record)), behaviour_(behaviour) {}
    ~FakeEngine() override { record_->destroyed = true; }

    void Run(ManualResetEvent& stop) override {
        record_->running.Set();
        switch (behaviour_) {
            case FakeBehaviour::StopsOnRequest:
                stop.Wait();
                record_->sawStop = true;
                break;
            case FakeBehaviour::IgnoresStop: record_->release.Wait(); break;
            case FakeBehaviour::Throws: throw std::runtime_error("settings lost");
        }
    }
    void QueueTestAlert(int controlCode) override {
        std::lock_guard<std::mutex> lock(record_->mutex);
        record_->codes.push_back(controlCode);
    }

private:
    std::shared_ptr<FakeEngineRecord> record_;
    FakeBehaviour behaviour_;
};

inline EngineFactory FakeEngineFactory(std::shared_ptr<FakeEngineRecord> record,
                                       FakeBehaviour behaviour = FakeBehaviour::StopsOnRequest) {
    return [record, behaviour]() -> std::unique_ptr<EngineControl> {
        return std::make_unique<FakeEngine>(record, behaviour);
    };
}

// This process's environment without TARVELL_* and NOTIFY_SOCKET, with TARVELL_ROOT = root and
// the extra "NAME=value" entries.
inline std::vector<std::string> ServiceEnvironment(const std::string& root,
                                                   const std::vector<std::string>& extra = {}) {
    std::vector<std::string> env;
    for (char** e = ::environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("TARVELL_", 0) != 0 && entry.rfind("NOTIFY_SOCKET=", 0) != 0) {
            env.push_back(entry);
        }
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
        std::vector<std::string> args = argv;
        std::vector<std::string> vars = env;
        std::vector<char*> argPtrs;
        for (auto& a : args) argPtrs.push_back(a.data());
        argPtrs.push_back(nullptr);
        std::vector<char*> envPtrs;
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
                        envPtrs.data()) != 0) {
            pid_ = -1;
        }
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

// State files as a service that ran before leaves them: start-up then reads each at once instead
// of spending five retries on each missing one. Makes the folder when it is missing.
inline bool SeedStateFiles(const std::string& serviceFolder) {
    return MakeDirectories(serviceFolder) &&
           WriteStateFile(JoinPath(serviceFolder, kAlertLogName), AlertLogFile{}) &&
           WriteStateFile(JoinPath(serviceFolder, kEventDatabaseName), EventDatabaseFile{}) &&
           WriteStateFile(JoinPath(serviceFolder, kReportStoreName), ReportStoreFile{});
}

// Runs one of the project's tools with the service environment of `root`.
inline ProcessResult RunServiceTool(const std::string& root, const std::vector<std::string>& argv) {
    ProcessOptions options;
    options.argv = argv;
    options.environment = ServiceEnvironment(root);
    options.timeLimitMs = 30'000;
    options.captureOutput = true;
    return RunProcess(options);
}

// The sibling database made by ombrix-make from the description file in siblingFolder, and that
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

// A service installed under `root` (service folder var/lib/tarvell, sibling folder opt/ombrix)
// to record the new MACs that linkUp traps reveal: the sibling database that `sibling`
// describes, state files of an earlier run, and detection, new MACs and trap discovery on. The
// failing step goes to `why`.
inline bool InstallTrapWatchingService(const std::string& root, const std::string& sibling,
                                       std::string* why) {
    const std::string description = JoinPath(root, "sibling.txt");
    const std::string siblingFolder = JoinPath(root, "opt/ombrix");
    const std::string serviceFolder = JoinPath(root, "var/lib/tarvell");
    if (!MakeDirectories(siblingFolder) || !AtomicWriteFile(description, sibling)) {
        *why = "cannot write " + description;
        return false;
    }
    if (!InstallSiblingDatabase(root, description, siblingFolder, why)) return false;
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.DetectionEnabled = 1;
    doc.NewMacEnabled = 1;
    doc.DiscoverTrapsEnabled = 1;
    if (!SeedStateFiles(serviceFolder) ||
        !doc.SaveToFile(JoinPath(serviceFolder, CTarvellDoc::kFileName), true)) {
        *why = "cannot write the state files or settings in " + serviceFolder;
        return false;
    }
    return true;
}

// The environment of such a service: a pass every 200 ms, traps taken on `trapPort`, switches
// asked on `agentPort`.
inline std::vector<std::string> TrapServiceEnvironment(const std::string& root,
                                                       std::uint16_t trapPort,
                                                       std::uint16_t agentPort) {
    return ServiceEnvironment(
        root, {"TARVELL_PASS_INTERVAL_MS=200", "TARVELL_TRAP_PORT=" + std::to_string(trapPort),
               "TARVELL_SNMP_AGENT_PORT=" + std::to_string(agentPort)});
}

// Whether the service's event database holds a "New Mac" event at the port.
inline bool NewMacRecorded(const std::string& serviceFolder, const std::string& portKey) {
    EventDatabaseFile db;
    if (!ReadStateFile(JoinPath(serviceFolder, kEventDatabaseName), db)) return false;
    const auto it = db.EventMap.find(portKey);
    return it != db.EventMap.end() && it->second->EventType == "New Mac";
}

}  // namespace tarvell::testing
