// Engine throughput: one save pass over large maps, and recording events and queueing alerts.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/Files.h"
#include "platform/RecursiveLock.h"
#include "bench/BenchEngine.h"
#include "service/engine/CTarvellFrm.h"

namespace tarvell {
namespace {

constexpr int kEvents = 50'000;
constexpr int kAlerts = 100'000;
constexpr int kNodes = 20'000;

std::unique_ptr<CEventItem> MakeEvent(int n) {
    auto event = std::make_unique<CEventItem>();
    event->SwitchKey = "SW" + std::to_string(n / 48);
    event->PortKey = std::to_string(n % 48 + 1);
    event->Category = "Detection";
    event->EventType = "New Mac";
    event->Description = "New Mac";
    event->DeviceIp = "10.0." + std::to_string(n / 48 % 250) + ".1";
    event->DeviceName = "switch-" + event->SwitchKey;
    event->DevicePort = "GigabitEthernet0/" + event->PortKey;
    event->DeviceLocation = "Building 4, floor 2, wiring closet B";
    event->SourceMac = BenchMac(n);
    event->SourceIp = "10.1." + std::to_string(n / 250 % 250) + "." + std::to_string(n % 250);
    event->SourceName = "workstation-" + std::to_string(n) + ".example.internal";
    event->Before = "";
    event->Current = event->SourceMac;
    event->Severity = n % 6;
    return event;
}

std::unique_ptr<CAlertItem> MakeAlert(int n) {
    const auto event = MakeEvent(n);
    auto alert = std::make_unique<CAlertItem>();
    alert->Severity = event->Severity;
    alert->Category = event->Category;
    alert->EventType = event->EventType;
    alert->Description = event->Description;
    alert->DeviceIp = event->DeviceIp;
    alert->DeviceName = event->DeviceName;
    alert->DevicePort = event->DevicePort;
    alert->DeviceLocation = event->DeviceLocation;
    alert->SwitchKey = event->SwitchKey;
    alert->PortKey = event->PortKey;
    alert->SourceMac = event->SourceMac;
    alert->SourceIp = event->SourceIp;
    alert->SourceName = event->SourceName;
    alert->Current = event->Current;
    return alert;
}

// An engine on a temporary folder with a clock that stands still unless moved.
struct BenchEngine {
    BenchEngine() {
        folder = MakeTempFolder("tarvell-bench-");
        EngineEnvironment env;
        env.ServiceFolder = folder;
        env.HandOverFolder = folder;
        env.clock = &clock;
        engine = std::make_unique<CTarvellFrm>(env);
    }
    ~BenchEngine() {
        engine.reset();
        RemoveTree(folder);
    }

    void Settings(bool channels, bool archive) {
        engine->Document->DetectionEnabled = 1;
        engine->Document->AlertRemoveDays = 30;
        engine->Document->EmailAlertsEnabled = channels;
        engine->Document->SnmpAlertsOn = channels;
        engine->Document->SyslogAlertsOn = channels;
        engine->Document->RunAlertsEnabled = channels;
        engine->Document->AlertArchiveEnabled = archive;
        engine->PublishSettings();
    }

    // 50 000 events, 100 000 alerts and 20 000 sibling nodes for the address refresh.
    void Fill() {
        RecursiveGuard engineGuard(engine->EngineLock);
        for (int n = 0; n < kEvents; ++n) {
            auto event = MakeEvent(n);
            event->DateKey = std::to_string(clock.Now());
            std::string key = event->SwitchKey + "/" + event->PortKey + "#" + std::to_string(n);
            engine->EventMap[std::move(key)] = std::move(event);
        }
        AddBenchSiblingNodes(*engine, kNodes);
        RecursiveGuard alertGuard(engine->AlertLock);
        for (int n = 0; n < kAlerts; ++n)
            engine->AlertLog[std::to_string(clock.Now() - n / 10) + "." + std::to_string(n % 10)] =
                MakeAlert(n);
    }

    FakeClock clock;
    std::string folder;
    std::unique_ptr<CTarvellFrm> engine;
};

// Measures how long a thread that wants a lock has to wait for it while the pass runs.
class LockProbe {
public:
    explicit LockProbe(std::recursive_mutex& lock) : lock_(lock), thread_([this] { Run(); }) {}
    ~LockProbe() {
        stop_ = true;
        thread_.join();
    }
    double MaxWaitMs() const { return maxWaitUs_.load() / 1000.0; }

private:
    void Run() {
        while (!stop_) {
            const auto before = std::chrono::steady_clock::now();
            { RecursiveGuard guard(lock_); }
            const auto waited = std::chrono::duration_cast<std::chrono::microseconds>(
                                    std::chrono::steady_clock::now() - before)
                                    .count();
            if (waited > maxWaitUs_) maxWaitUs_ = waited;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    std::recursive_mutex& lock_;
    std::atomic<bool> stop_{false};
    std::atomic<std::int64_t> maxWaitUs_{0};
    std::thread thread_;
};

// One save pass in which both files changed: Tarvell.log (ageing and refresh included),
// Tarvell.db, and the empty report store, each taken in chunks under its lock and written
// outside it (bench/save_pass_bench.cpp measures the pass against dd and with nothing changed).
void BM_SavePass(benchmark::State& state) {
    BenchEngine bench;
    bench.Settings(false, false);
    bench.Fill();
    double maxAlertWait = 0, maxEngineWait = 0;
    for (auto _ : state) {
        {
            // Every pass writes: the saves skip a file whose content did not change.
            RecursiveGuard engineGuard(bench.engine->EngineLock);
            RecursiveGuard alertGuard(bench.engine->AlertLock);
            ++bench.engine->EventsChanged;
            ++bench.engine->AlertsChanged;
        }
        LockProbe alertProbe(bench.engine->AlertLock);
        LockProbe engineProbe(bench.engine->EngineLock);
        benchmark::DoNotOptimize(bench.engine->SaveAlertLog());
        benchmark::DoNotOptimize(bench.engine->SaveEventDatabase());
        benchmark::DoNotOptimize(bench.engine->SaveReportStore());
        maxAlertWait = std::max(maxAlertWait, alertProbe.MaxWaitMs());
        maxEngineWait = std::max(maxEngineWait, engineProbe.MaxWaitMs());
    }
    state.counters["alertLockMaxWaitMs"] = maxAlertWait;
    state.counters["engineLockMaxWaitMs"] = maxEngineWait;
    state.counters["fileMB"] =
        static_cast<double>(ReadWholeFile(JoinPath(bench.folder, kAlertLogName))->size() +
                            ReadWholeFile(JoinPath(bench.folder, kEventDatabaseName))->size()) /
        1e6;
}
BENCHMARK(BM_SavePass)->Unit(benchmark::kMillisecond)->Iterations(5);

// The part of the alert-log save that runs under the alert lock (the copy), and the part that
// runs outside it (encoding), for 100 000 alerts.
void BM_AlertLogCopyUnderLock(benchmark::State& state) {
    BenchEngine bench;
    bench.Fill();
    for (auto _ : state) {
        RecursiveGuard guard(bench.engine->AlertLock);
        benchmark::DoNotOptimize(CloneObjectMap(bench.engine->AlertLog));
    }
}
BENCHMARK(BM_AlertLogCopyUnderLock)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_AlertLogEncode(benchmark::State& state) {
    BenchEngine bench;
    bench.Fill();
    AlertLogFile copy;
    copy.AlertLog = CloneObjectMap(bench.engine->AlertLog);
    for (auto _ : state) benchmark::DoNotOptimize(EncodeStateFile(copy));
}
BENCHMARK(BM_AlertLogEncode)->Unit(benchmark::kMillisecond)->Iterations(5);

// RecordEvent with detection on: the event replaces its port's event and its alert is keyed,
// logged and copied to the channels (state.range(0): channels and archive on).
void BM_RecordEventAndQueueAlert(benchmark::State& state) {
    BenchEngine bench;
    const bool everything = state.range(0) != 0;
    bench.Settings(everything, everything);
    std::vector<std::unique_ptr<CEventItem>> events;
    events.reserve(static_cast<std::size_t>(state.max_iterations));
    for (std::int64_t n = 0; n < state.max_iterations; ++n)
        events.push_back(MakeEvent(static_cast<int>(n % kEvents)));
    std::size_t next = 0;
    for (auto _ : state) {
        bench.engine->RecordEvent(std::move(events[next++]));
        if (next % 1000 == 0) bench.clock.Advance(1);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RecordEventAndQueueAlert)->Arg(0)->Arg(1)->Iterations(100'000);

void BM_QueueAlert(benchmark::State& state) {
    BenchEngine bench;
    bench.Settings(false, false);
    std::vector<std::unique_ptr<CAlertItem>> alerts;
    alerts.reserve(static_cast<std::size_t>(state.max_iterations));
    for (std::int64_t n = 0; n < state.max_iterations; ++n)
        alerts.push_back(MakeAlert(static_cast<int>(n)));
    std::size_t next = 0;
    for (auto _ : state) {
        bench.engine->QueueAlert(std::move(alerts[next++]));
        if (next % 1000 == 0) bench.clock.Advance(1);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QueueAlert)->Iterations(100'000);

}  // namespace
}  // namespace tarvell

BENCHMARK_MAIN();
