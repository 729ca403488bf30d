// Memory of the engine's loads: peak resident size and bytes per record for a large sibling file
// (Ombrix.db) and a large event file (Tarvell.db), and the time of a pass over an unchanged
// sibling file. Each measurement runs in a process of its own, so that the peak is its own:
//
//   state_memory_bench make-sibling <folder> <nodes>    writes <folder>/Ombrix.db
//   state_memory_bench make-events <folder> <events>    writes <folder>/Tarvell.db
//   state_memory_bench load-sibling <folder> [passes]   loads it, then `passes` more loads
//   state_memory_bench load-events <folder>
//
// bench/state_memory runs them all on a temporary folder (the files are far too large for the
// repository) and prints the figures.
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "service/engine/CTarvellFrm.h"

namespace tarvell {
namespace {

std::string Hex(std::uint64_t n, int digits) {
    char text[17];
    std::snprintf(text, sizeof text, "%0*llX", digits, static_cast<unsigned long long>(n));
    return text;
}

long PeakRssKb() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

long FileBytes(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// A node as the sibling product records one: its MAC, address, the switch and port where it was
// seen. 200 switches of 48 ports carry the nodes.
int MakeSibling(const std::string& folder, long nodes) {
    SiblingDatabaseFile db;
    for (int s = 0; s < 200; ++s) {
        auto sw = std::make_unique<CDbItem>();
        sw->SwitchKey() = "00AABB" + Hex(s, 6);
        sw->SwitchIps() = "10.0." + std::to_string(s) + ".1";
        sw->SwitchName() = "sw" + std::to_string(s);
        sw->SwitchMac() = sw->SwitchKey();
        for (int p = 1; p <= 48; ++p) {
            auto port = std::make_unique<CDbItem>();
            port->PortSwitch() = sw->SwitchKey();
            port->PortIndex() = std::to_string(p);
            port->PortName() = "Gi0/" + std::to_string(p);
            port->PortMac() = "00CCDD" + Hex(s * 48 + p, 6);
            port->PortStatus() = 1;
            db.SiblingPorts[sw->SwitchKey() + "/" + port->PortIndex()] = std::move(port);
        }
        db.SiblingSwitches[sw->SwitchKey()] = std::move(sw);
    }
    for (long n = 0; n < nodes; ++n) {
        auto node = std::make_unique<CDbItem>();
        node->NodeMac() = "02" + Hex(static_cast<std::uint64_t>(n), 10);
        node->NodeSwitch() = "00AABB" + Hex(n % 200, 6);
        node->NodePort() = std::to_string(n % 48 + 1);
        node->NodeIp() = "10." + std::to_string(n / 65536 % 256) + "." +
                         std::to_string(n / 256 % 256) + "." + std::to_string(n % 256);
        const std::string mac = node->NodeMac();
        db.SiblingNodes[mac] = std::move(node);
    }
    const std::string path = JoinPath(folder, kSiblingDatabaseName);
    if (!WriteStateFile(path, db)) return 1;
    std::printf("sibling file: %ld nodes, %ld bytes (%.1f bytes per record)\n", nodes,
                FileBytes(path),
                static_cast<double>(FileBytes(path)) / static_cast<double>(nodes + 200 + 200 * 48));
    return 0;
}

// Small events: the keys and the few texts a detection sets.
int MakeEvents(const std::string& folder, long events) {
    EventDatabaseFile file;
    for (long n = 0; n < events; ++n) {
        auto event = std::make_unique<CEventItem>();
        event->SwitchKey = Hex(static_cast<std::uint64_t>(n / 48), 6);
        event->PortKey = std::to_string(n % 48 + 1);
        event->DateKey = std::to_string(1'700'000'000 + n);
        event->EventType = "New Mac";
        file.EventMap[event->SwitchKey + "/" + event->PortKey] = std::move(event);
    }
    const std::string path = JoinPath(folder, kEventDatabaseName);
    if (!WriteStateFile(path, file)) return 1;
    std::printf("event file: %ld events, %ld bytes (%.1f bytes per record)\n", events,
                FileBytes(path),
                static_cast<double>(FileBytes(path)) / static_cast<double>(events));
    return 0;
}

EngineEnvironment Environment(const std::string& folder, bool sibling) {
    EngineEnvironment env;
    env.ServiceFolder = folder;
    env.HandOverFolder = JoinPath(folder, "handover");
    if (sibling) env.SiblingFolder = folder;
    return env;
}

int LoadSibling(const std::string& folder, int passes) {
    const long before = PeakRssKb();
    CTarvellFrm engine(Environment(folder, true));
    const auto started = std::chrono::steady_clock::now();
    if (!engine.LoadSiblingDatabase()) return 1;
    const double loadSeconds = Seconds(started);
    const long peak = PeakRssKb();
    const long records = static_cast<long>(engine.SiblingNodes.size() + engine.SiblingPorts.size() +
                                           engine.SiblingSwitches.size());
    const long file = FileBytes(JoinPath(folder, kSiblingDatabaseName));
    std::printf(
        "sibling load: %ld records kept, %.2f s, peak RSS %ld MiB (%.1f times the file; "
        "%.0f bytes per kept record)\n",
        records, loadSeconds, peak / 1024, (peak - before) * 1024.0 / static_cast<double>(file),
        (peak - before) * 1024.0 / static_cast<double>(records));
    for (int p = 0; p < passes; ++p) {
        const auto again = std::chrono::steady_clock::now();
        engine.LoadSiblingDatabase();
        std::printf("sibling load of the unchanged file, pass %d: %.4f s\n", p + 1, Seconds(again));
    }
    std::printf("peak RSS after the passes: %ld MiB\n", PeakRssKb() / 1024);
    return 0;
}

int LoadEvents(const std::string& folder) {
    const long before = PeakRssKb();
    CTarvellFrm engine(Environment(folder, false));
    const auto started = std::chrono::steady_clock::now();
    engine.LoadEventDatabase();
    const double seconds = Seconds(started);
    const long peak = PeakRssKb();
    const long events = static_cast<long>(engine.EventMap.size());
    const long file = FileBytes(JoinPath(folder, kEventDatabaseName));
    std::printf(
        "event load: %ld events, %.2f s, peak RSS %ld MiB (%.1f times the file; %.0f bytes per "
        "event)\n",
        events, seconds, peak / 1024, (peak - before) * 1024.0 / static_cast<double>(file),
        (peak - before) * 1024.0 / static_cast<double>(events));
    return events > 0 ? 0 : 1;
}

}  // namespace
}  // namespace tarvell

int main(int argc, char** argv) {
    using namespace tarvell;
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: %s make-sibling|make-events|load-sibling|load-events <folder> [n]\n",
                     argv[0]);
        return 64;
    }
    const std::string command = argv[1];
    const std::string folder = argv[2];
    const long n = argc > 3 ? std::strtol(argv[3], nullptr, 10) : 0;
    if (command == "make-sibling") return MakeSibling(folder, n);
    if (command == "make-events") return MakeEvents(folder, n);
    if (command == "load-sibling") return LoadSibling(folder, static_cast<int>(n));
    if (command == "load-events") return LoadEvents(folder);
    std::fprintf(stderr, "unknown command %s\n", command.c_str());
    return 64;
}
