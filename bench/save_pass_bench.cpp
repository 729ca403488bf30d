// The engine's save pass at 100 000 events and 200 000 alerts (with 20 000 sibling nodes whose
// addresses the save refreshes):
//
//   save_pass_bench [folder] [passes]
//
// Runs `passes` (default 20) passes in which one event and one alert changed, and as many in
// which nothing changed (the pass saves Tarvell.log and Tarvell.db at the same time). Two probe
// threads take EngineLock and AlertLock over and over, 20 us apart, and keep the longest wait:
// the longest hold of the lock (an upper bound; a wait also holds the probe's own scheduling
// delay: a third probe takes a lock nobody else takes, and its longest wait in the same passes
// is the scheduler's share). The save also times its own holds, which on a loaded machine hold
// the times its thread was preempted with the lock held. Before each changed pass the same bytes
// are written with `dd conv=fsync`, one file after the other, so that both meet the disk in the
// same state. For reference the run ends with passes of the former way: each file encoded whole
// under its lock, one file after the other. The folder (default a new one under
// /var/tmp) is removed at the end.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <time.h>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/RecursiveLock.h"
#include "bench/BenchEngine.h"
#include "service/engine/CTarvellFrm.h"

namespace tarvell {
namespace {

constexpr int kEvents = 100'000;
constexpr int kAlerts = 200'000;
constexpr int kNodes = 20'000;

using SteadyClock = std::chrono::steady_clock;

double ThreadCpuMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double MsSince(SteadyClock::time_point start) {
    return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
}

template <class Item>
void FillRecord(Item& r, int n) {
    r.SwitchKey = "SW" + std::to_string(n / 48);
    r.PortKey = std::to_string(n % 48 + 1);
    r.Category = "Detection";
    r.EventType = r.Description = "New Mac";
    r.DeviceIp = "10.0." + std::to_string(n / 48 % 250) + ".1";
    r.DeviceName = "switch-" + r.SwitchKey;
    r.DevicePort = "GigabitEthernet0/" + r.PortKey;
    r.DeviceLocation = "Building 4, floor 2, wiring closet B";
    r.SourceMac = BenchMac(n % (2 * kNodes));  // half of them have a node record
    r.SourceIp = "10.1." + std::to_string(n / 250 % 250) + "." + std::to_string(n % 250);
    r.SourceName = "workstation-" + std::to_string(n) + ".example.internal";
    r.Current = r.SourceMac;
    r.Submitter = "administrator@EXAMPLE";
    r.Severity = n % 6;
}

// Takes the lock over and over and keeps the longest wait since the last Take.
class LockProbe {
public:
    explicit LockProbe(std::recursive_mutex& lock)
        : thread_([this, &lock] {
              while (!stop_.load()) {
                  const auto start = SteadyClock::now();
                  { RecursiveGuard hold(lock); }
                  const double waited = MsSince(start);
                  double longest = longest_.load();
                  while (waited > longest && !longest_.compare_exchange_weak(longest, waited)) {
                  }
                  std::this_thread::sleep_for(std::chrono::microseconds(20));
              }
          }) {}
    ~LockProbe() {
        stop_.store(true);
        thread_.join();
    }
    double Take() { return longest_.exchange(0); }

private:
    std::atomic<bool> stop_{false};
    std::atomic<double> longest_{0};
    std::thread thread_;
};

double FileBytes(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<double>(st.st_size) : 0;
}

// /proc/self/io wchar: bytes this process handed to write calls.
long long WrittenBytes() {
    std::ifstream io("/proc/self/io");
    std::string name;
    long long value = 0;
    while (io >> name >> value)
        if (name == "wchar:") return value;
    return -1;
}

double RunDd(const std::string& from, const std::string& to) {
    ProcessOptions options;
    options.argv = {"dd", "if=" + from, "of=" + to, "bs=1M", "conv=fsync"};
    options.captureOutput = true;
    const auto start = SteadyClock::now();
    RunProcess(options);
    return MsSince(start);
}

struct Stats {
    std::vector<double> values;
    void Add(double v) { values.push_back(v); }
    double Max() const {
        return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
    }
    double Median() const {
        if (values.empty()) return 0;
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }
};

struct Bench {
    explicit Bench(const std::string& folder) {
        EngineEnvironment env;
        env.ServiceFolder = folder;
        env.HandOverFolder = folder;
        env.clock = &clock;
        engine = std::make_unique<CTarvellFrm>(env);
        engine->Document->DetectionEnabled = 1;
        engine->Document->AlertRemoveDays = 30;
        engine->PublishSettings();
        {
            RecursiveGuard guard(engine->EngineLock);
            for (int n = 0; n < kEvents; ++n) {
                auto event = std::make_unique<CEventItem>();
                FillRecord(*event, n);
                event->DateKey = std::to_string(clock.Now());
                engine
                    ->EventMap[event->SwitchKey + "/" + event->PortKey + "#" + std::to_string(n)] =
                    std::move(event);
            }
            AddBenchSiblingNodes(*engine, kNodes);
            ++engine->EventsChanged;
        }
        engine->PublishSiblingView();  // as a load of Ombrix.db leaves it
        RecursiveGuard guard(engine->AlertLock);
        for (int n = 0; n < kAlerts; ++n) {
            auto alert = std::make_unique<CAlertItem>();
            FillRecord(*alert, n);
            engine->AlertLog[std::to_string(clock.Now() - n / 10) + "." + std::to_string(n % 10)] =
                std::move(alert);
        }
        ++engine->AlertsChanged;
    }

    // One event and one alert change, by the engine's own operations.
    void ChangeOne(int n) {
        auto event = std::make_unique<CEventItem>();
        FillRecord(*event, n);
        engine->RecordEvent(std::move(event));
        clock.Advance(1);
    }

    void Save() { engine->SaveStateFiles(); }

    // The former pass: each file encoded whole under its lock, written after it.
    void SaveEncodingUnderTheLock(const std::string& folder) {
        AtomicWriteFile(JoinPath(folder, kAlertLogName), engine->Serialize(StoredFileKind::Alerts));
        AtomicWriteFile(JoinPath(folder, kEventDatabaseName),
                        engine->Serialize(StoredFileKind::Events));
    }

    FakeClock clock;
    std::unique_ptr<CTarvellFrm> engine;
};

int Main(int argc, char** argv) {
    const std::string folder =
        argc > 1 ? std::string(argv[1]) : MakeTempFolder("tarvell-save-bench-", "/var/tmp");
    const int passes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    MakeDirectories(folder);
    const std::string copies = JoinPath(folder, "dd");
    MakeDirectories(copies);

    Bench b(folder);
    b.Save();  // the first files
    const std::string db = JoinPath(folder, kEventDatabaseName);
    const std::string log = JoinPath(folder, kAlertLogName);
    const double megabytes = (FileBytes(db) + FileBytes(log)) / 1e6;

    LockProbe engineProbe(b.engine->EngineLock);
    LockProbe alertProbe(b.engine->AlertLock);
    std::recursive_mutex untaken;
    LockProbe noiseProbe(untaken);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double idleEngine = engineProbe.Take(), idleAlert = alertProbe.Take();

    Stats changedCpuMs, changedMs, ddMs, ratio, engineHold, alertHold, engineHeld, alertHeld, noise;
    for (int i = 0; i < passes; ++i) {
        const double dd = RunDd(db, JoinPath(copies, "db")) + RunDd(log, JoinPath(copies, "log"));
        b.ChangeOne(i);
        engineProbe.Take();
        alertProbe.Take();
        noiseProbe.Take();
        b.engine->TakeSaveHolds();
        const auto start = SteadyClock::now();
        const double cpuStart = ThreadCpuMs();
        b.Save();
        const double ms = MsSince(start);
        changedCpuMs.Add(ThreadCpuMs() - cpuStart);
        engineHold.Add(engineProbe.Take());
        alertHold.Add(alertProbe.Take());
        noise.Add(noiseProbe.Take());
        const CTarvellFrm::SaveHolds held = b.engine->TakeSaveHolds();
        engineHeld.Add(static_cast<double>(held.engineUs) / 1000);
        alertHeld.Add(static_cast<double>(held.alertUs) / 1000);
        changedMs.Add(ms);
        ddMs.Add(dd);
        ratio.Add(ms / dd);
    }

    Stats unchangedMs, unchangedEngine, unchangedAlert;
    const long long writtenBefore = WrittenBytes();
    for (int i = 0; i < passes; ++i) {
        engineProbe.Take();
        alertProbe.Take();
        const auto start = SteadyClock::now();
        b.Save();
        unchangedMs.Add(MsSince(start));
        unchangedEngine.Add(engineProbe.Take());
        unchangedAlert.Add(alertProbe.Take());
    }
    const long long unchangedWritten = WrittenBytes() - writtenBefore;

    Stats formerMs, formerEngine, formerAlert;
    for (int i = 0; i < std::min(passes, 5); ++i) {
        b.ChangeOne(passes + i);
        engineProbe.Take();
        alertProbe.Take();
        const auto start = SteadyClock::now();
        b.SaveEncodingUnderTheLock(folder);
        formerMs.Add(MsSince(start));
        formerEngine.Add(engineProbe.Take());
        formerAlert.Add(alertProbe.Take());
    }

    std::printf("files: %.1f MB (%d events, %d alerts, %d sibling nodes)\n", megabytes, kEvents,
                kAlerts, kNodes);
    std::printf("probe wait with the locks free: EngineLock %.2f ms, AlertLock %.2f ms\n",
                idleEngine, idleAlert);
    std::printf(
        "changed pass x%d: median %.0f ms (CPU %.0f ms), max %.0f ms; dd conv=fsync median "
        "%.0f ms; pass/dd median %.2f, max %.2f\n",
        passes, changedMs.Median(), changedCpuMs.Median(), changedMs.Max(), ddMs.Median(),
        ratio.Median(), ratio.Max());
    std::printf(
        "changed pass longest hold as timed by the save: EngineLock %.2f ms (median "
        "%.2f), AlertLock %.2f ms (median %.2f)\n",
        engineHeld.Max(), engineHeld.Median(), alertHeld.Max(), alertHeld.Median());
    std::printf(
        "changed pass longest wait of the probes: EngineLock %.2f ms (median %.2f), "
        "AlertLock %.2f ms (median %.2f)\n",
        engineHold.Max(), engineHold.Median(), alertHold.Max(), alertHold.Median());
    std::printf(
        "changed pass longest wait of a probe of an untaken lock (scheduler): %.2f ms "
        "(median %.2f)\n",
        noise.Max(), noise.Median());
    std::printf(
        "unchanged pass x%d: median %.2f ms, bytes written %lld; longest hold EngineLock "
        "%.2f ms, AlertLock %.2f ms\n",
        passes, unchangedMs.Median(), unchangedWritten, unchangedEngine.Max(),
        unchangedAlert.Max());
    std::printf(
        "reference, encoded under the lock x%zu: median %.0f ms; longest hold EngineLock "
        "%.1f ms, AlertLock %.1f ms\n",
        formerMs.values.size(), formerMs.Median(), formerEngine.Max(), formerAlert.Max());
    if (argc <= 1) RemoveTree(folder);
    return 0;
}

}  // namespace
}  // namespace tarvell

int main(int argc, char** argv) { return tarvell::Main(argc, argv); }
