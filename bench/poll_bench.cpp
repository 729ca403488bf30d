// One poll of a port against `snmpwalk -v1 -Cc` of the same columns, on the same snmpsim agent in
// the same run: the largest recording of the fixtures and a generated 10 000-row table. Prints
// wall time and CPU time per row of each side (ours: this process's CPU during the poll;
// snmpwalk: its children's CPU), then the time from a linkUp trap sent to the first event, then
// the resident memory of a burst of polls: at its peak and after it, through the scheduler (which
// hands the freed heap back when a burst ends) against the same burst of bare polls that keep it.
// Run: build/bench/poll_bench [rounds]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <atomic>
#include <thread>

#include "platform/Clock.h"
#include "platform/EventLog.h"
#include "platform/Files.h"
#include "platform/Memory.h"
#include "platform/RecursiveLock.h"
#include "service/engine/SnmpClient.h"
#include "service/polling/CScanSnmpMacs.h"
#include "service/polling/PollScheduler.h"
#include "service/traps/CScanSnmpTraps.h"
#include "tests/support/SwitchLab.h"

namespace {

using namespace tarvell;
using Steady = std::chrono::steady_clock;

constexpr int kGeneratedRows = 10000;

double Ms(Steady::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double CpuMs(int who) {
    rusage u{};
    ::getrusage(who, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

// A switch whose 10 000 learned MACs all sit on bridge port 1 (ifIndex 101).
std::string GeneratedTable() {
    std::ostringstream out;
    out << "1.3.6.1.2.1.1.1.0|4|generated\n1.3.6.1.2.1.1.2.0|6|1.3.6.1.4.1.99999.1\n";
    out << "1.3.6.1.2.1.17.1.4.1.1.1|2|1\n1.3.6.1.2.1.17.1.4.1.2.1|2|101\n";
    for (int column = 1; column <= 3; ++column) {
        for (int i = 0; i < kGeneratedRows; ++i) {
            const int mac[6] = {0x00, 0x1a, 0x2b, (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF};
            out << "1.3.6.1.2.1.17.4.3.1." << column;
            for (int b : mac) out << "." << b;
            if (column == 1) {
                char hex[13];
                std::snprintf(hex, sizeof hex, "%02x%02x%02x%02x%02x%02x", mac[0], mac[1], mac[2],
                              mac[3], mac[4], mac[5]);
                out << "|4x|" << hex << "\n";
            } else {
                out << "|2|" << (column == 2 ? 1 : 3) << "\n";
            }
        }
    }
    return out.str();
}

struct Side {
    double wallMs = 0;
    double cpuMs = 0;
    long rows = 0;
};

const std::vector<std::string> kColumns = {
    "1.3.6.1.2.1.17.1.4.1.1",     "1.3.6.1.2.1.17.1.4.1.2",    "1.3.6.1.2.1.17.4.3.1.1",
    "1.3.6.1.2.1.17.4.3.1.2",     "1.3.6.1.2.1.17.4.3.1.3",    "1.3.6.1.2.1.17.7.1.2.2.1.1",
    "1.3.6.1.2.1.17.7.1.2.2.1.2", "1.3.6.1.2.1.17.7.1.2.2.1.3"};

Side Snmpwalk(const std::string& address, std::uint16_t port, const std::string& community) {
    Side side;
    const double cpu0 = CpuMs(RUSAGE_CHILDREN);
    const auto start = Steady::now();
    for (const std::string& column : kColumns) {
        ProcessOptions run;
        run.argv = {"/usr/bin/snmpwalk",
                    "-v1",
                    "-Cc",
                    "-c",
                    community,
                    "-On",
                    "-t",
                    "2",
                    "-r",
                    "1",
                    address + ":" + std::to_string(port),
                    column};
        run.environment = std::vector<std::string>{"MIBS=", "MIBDIRS=/nonexistent", "HOME=/tmp"};
        run.captureOutput = true;
        run.maxOutputBytes = 64 * 1024 * 1024;
        const ProcessResult r = RunProcess(run);
        std::istringstream lines(r.out);
        for (std::string line; std::getline(lines, line);)
            side.rows += line.rfind("." + column + ".", 0) == 0;
    }
    side.wallMs = Ms(Steady::now() - start);
    side.cpuMs = CpuMs(RUSAGE_CHILDREN) - cpu0;
    return side;
}

struct Bench {
    FakeClock clock;
    TestEventLog log;
    std::string root = MakeTempFolder("tarvell-bench-");
    std::unique_ptr<CTarvellFrm> engine;
    RecordingLinkupStarter linkup;

    Bench() {
        MakeDirectories(JoinPath(root, "service"));
        EngineEnvironment env;
        env.ServiceFolder = JoinPath(root, "service");
        env.HandOverFolder = JoinPath(root, "service");
        env.clock = &clock;
        env.log = &log;
        engine = std::make_unique<CTarvellFrm>(env);
        CTarvellDoc doc;
        doc.SnmpTimeout = 2000;
        doc.SnmpRetries = 1;
        doc.DiscoverTrapsEnabled = 1;
        doc.DetectionEnabled = 1;
        doc.NewMacEnabled = 1;
        const std::string folder = engine->Document->GetPathName();
        *engine->Document = doc;
        engine->Document->SetPathName(folder);
        engine->PublishSettings();
    }
    ~Bench() {
        engine.reset();
        RemoveTree(root);
    }
    void Client(std::uint16_t port) {
        SnmpClientOptions options;
        options.agentPort = port;
        options.bootCounterPath = JoinPath(root, "boots");
        engine->Snmp = std::make_unique<SnmpClient>(
            [this] {
                SnmpClientSettings s;
                s.SnmpTimeout = 2000;
                s.SnmpRetries = 1;
                return s;
            },
            options);
    }
    Side Poll(const std::string& address, const std::string& community, const std::string& objectId,
              const std::string& port) {
        PollRequest r;
        r.PortIndex = port;
        r.SwitchObjectId = objectId;
        r.SwitchIp = address;
        r.SwitchKey = "BENCH";
        r.Community = community;
        PollOptions once;
        once.attempts = 1;
        CScanSnmpMacs poll(*engine, linkup, {r}, nullptr, once);
        Side side;
        const double cpu0 = CpuMs(RUSAGE_SELF);
        const auto start = Steady::now();
        poll.Run();
        side.wallMs = Ms(Steady::now() - start);
        side.cpuMs = CpuMs(RUSAGE_SELF) - cpu0;
        side.rows = static_cast<long>(poll.Found()[0].size());
        return side;
    }
};

void Compare(const char* name, Bench& bench, const lab::SimSwitch& sim,
             const std::string& community, const std::string& objectId, const std::string& port,
             int rounds) {
    Side ours, walk;
    for (int i = 0; i < rounds; ++i) {
        const Side o = bench.Poll(sim.Address(), community, objectId, port);
        const Side w = Snmpwalk(sim.Address(), sim.Port(), community);
        ours.wallMs += o.wallMs;
        ours.cpuMs += o.cpuMs;
        ours.rows = o.rows;
        walk.wallMs += w.wallMs;
        walk.cpuMs += w.cpuMs;
        walk.rows = w.rows;
    }
    ours.wallMs /= rounds;
    ours.cpuMs /= rounds;
    walk.wallMs /= rounds;
    walk.cpuMs /= rounds;
    std::printf(
        "%-22s poll %8.1f ms (%ld MACs found)   snmpwalk -v1 -Cc of the %zu columns %8.1f ms (%ld "
        "rows)   "
        "wall ratio %.2f\n",
        name, ours.wallMs, ours.rows, kColumns.size(), walk.wallMs, walk.rows,
        ours.wallMs / walk.wallMs);
    // Rows our poll read: the snmpwalk row count (same columns; the poll reads them all).
    const double rows = static_cast<double>(std::max(walk.rows, 1L));
    std::printf("%-22s CPU per row: ours %.2f us, snmpwalk %.2f us, ratio %.2f\n", name,
                ours.cpuMs * 1000 / rows, walk.cpuMs * 1000 / rows,
                ours.cpuMs / std::max(walk.cpuMs, 0.001));
}

double Mb(std::size_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

// Samples the resident size until stopped; the largest seen.
class PeakSampler {
public:
    PeakSampler()
        : thread_([this] {
              while (!stop_) {
                  peak_ = std::max(peak_.load(), ResidentBytes());
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
              }
          }) {}
    std::size_t Stop() {
        stop_ = true;
        thread_.join();
        return peak_;
    }

private:
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> peak_{0};
    std::thread thread_;
};

constexpr int kBurst = 8;

PollRequest BurstRequest(const lab::SimSwitch& sim, int i) {
    PollRequest r;
    r.PortIndex = "101";
    r.SwitchObjectId = "1.3.6.1.4.1.99999.1";
    r.SwitchIp = sim.Address();
    r.SwitchKey = "BURST" + std::to_string(i);
    r.Community = "generated";
    return r;
}

void BurstMemory(Bench& bench, const lab::SimSwitch& sim) {
    const std::size_t before = ResidentBytes();
    // Reference: the burst as bare polls on threads of their own; nothing hands memory back.
    PeakSampler bare;
    {
        std::vector<std::thread> polls;
        for (int i = 0; i < kBurst; ++i)
            polls.emplace_back([&, i] {
                PollOptions once;
                once.attempts = 1;
                CScanSnmpMacs poll(*bench.engine, bench.linkup, {BurstRequest(sim, i)}, nullptr,
                                   once);
                poll.Run();
            });
        for (std::thread& t : polls) t.join();
    }
    const std::size_t barePeak = bare.Stop(), bareAfter = ResidentBytes();
    ReturnFreedMemory();
    const std::size_t between = ResidentBytes();

    PeakSampler scheduled;
    {
        PollSchedulerOptions options;
        options.maxPolls = kBurst;
        options.poll.attempts = 1;
        PollScheduler scheduler(*bench.engine, bench.linkup, options);
        for (int i = 0; i < kBurst; ++i) scheduler.RequestPoll(BurstRequest(sim, i));
        scheduler.WaitIdle(300'000);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the last poll's trim
    }
    const std::size_t scheduledPeak = scheduled.Stop(), scheduledAfter = ResidentBytes();
    std::printf(
        "burst of %d polls of the 10000-row table: resident before %.1f MB\n"
        "  bare polls (reference)  peak %.1f MB, after %.1f MB\n"
        "  through the scheduler   peak %.1f MB, after %.1f MB (burst started at %.1f MB)\n",
        kBurst, Mb(before), Mb(barePeak), Mb(bareAfter), Mb(scheduledPeak), Mb(scheduledAfter),
        Mb(between));
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    // "ours": only our poll of the generated table, for a profiler.
    const bool oursOnly = argc > 2 && std::string(argv[2]) == "ours";
    lab::Lab().agentPort = lab::PortFreeOnLabAddresses();
    Bench bench;
    if (oursOnly) {
        snmptest::TempDir dir("bench-table");
        snmptest::WriteFile(dir / "generated.snmprec", GeneratedTable());
        lab::SimSwitch sim;
        if (!sim.Start(3, {"generated"}, dir.Path())) return 1;
        bench.Client(sim.Port());
        for (int i = 0; i < rounds; ++i) {
            const Side o = bench.Poll(sim.Address(), "generated", "1.3.6.1.4.1.99999.1", "101");
            std::printf("poll %.1f ms, CPU %.1f ms, %ld MACs\n", o.wallMs, o.cpuMs, o.rows);
        }
        return 0;
    }

    {
        lab::SimSwitch sim;
        if (!sim.Start(2, {"bdcom-s5612"})) {
            std::cerr << "snmpsim did not start\n" << sim.Log();
            return 1;
        }
        bench.Client(sim.Port());
        // Interface 20 holds the most MACs of the recording by the poll's rules (626).
        Compare("bdcom-s5612", bench, sim, "bdcom-s5612", "1.3.6.1.4.1.3320.1.283.0", "20", rounds);
    }
    {
        snmptest::TempDir dir("bench-table");
        snmptest::WriteFile(dir / "generated.snmprec", GeneratedTable());
        lab::SimSwitch sim;
        if (!sim.Start(3, {"generated"}, dir.Path())) {
            std::cerr << "snmpsim did not start\n" << sim.Log();
            return 1;
        }
        bench.Client(sim.Port());
        Compare("generated-10000", bench, sim, "generated", "1.3.6.1.4.1.99999.1", "101", rounds);
        BurstMemory(bench, sim);
    }
    {
        // linkUp trap sent to the first event recorded, through listener, scheduler and poll.
        lab::SimSwitch sim;
        if (!sim.Start(2, {"lab-switch", "lab-switch@1", "lab-switch@20"})) return 1;
        bench.Client(sim.Port());
        auto sw = std::make_unique<CDbItem>();
        sw->SwitchKey() = "00AABB000001";
        sw->SwitchIps() = "127.0.0.2";
        sw->SwitchCommunity() = "lab-switch";
        sw->SwitchObjectId() = "1.3.6.1.4.1.9.1.999";
        {
            RecursiveGuard lock(bench.engine->EngineLock);
            bench.engine->SiblingSwitches["00AABB000001"] = std::move(sw);
        }
        PollScheduler scheduler(*bench.engine, bench.linkup);
        TrapListenerOptions options;
        options.port = snmptest::FreeUdpPort();
        options.address = "127.0.0.1";
        CScanSnmpTraps listener(*bench.engine, scheduler, options);
        listener.Start();
        snmptest::WaitUntil([&] { return listener.BoundPort() != 0; }, std::chrono::seconds(5));
        double total = 0;
        for (int i = 0; i < rounds; ++i) {
            {
                RecursiveGuard lock(bench.engine->EngineLock);
                bench.engine->EventMap.clear();
                bench.engine->UnknownNodeLocations.clear();
            }
            const auto start = Steady::now();
            lab::SendV2c("snmptrap", "127.0.0.2", options.port, "public", "1.3.6.1.6.3.1.1.5.4",
                         {"1.3.6.1.2.1.2.2.1.1.11", "i", "11"});
            snmptest::WaitUntil(
                [&] {
                    RecursiveGuard lock(bench.engine->EngineLock);
                    return !bench.engine->EventMap.empty();
                },
                std::chrono::seconds(30));
            total += Ms(Steady::now() - start);
            scheduler.WaitIdle(30'000);
        }
        std::printf(
            "linkUp trap sent (snmptrap process included) to first event recorded: %.1f ms\n",
            total / rounds);
        listener.StopAndJoin();
    }
    return 0;
}
