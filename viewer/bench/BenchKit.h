// What the viewer's benchmark programs share: the resident size in MiB, a viewer environment over
// a private server folder, and the made-up rows of a large server (events of switches of 48 ports,
// alerts of the same addresses). Nothing here starts a thread or needs a display.
#pragma once

#include <memory>
#include <string>

#include "platform/Memory.h"
#include "platform/Registry.h"
#include "shared/StateFiles.h"
#include "viewer/core/hub/CTarvellApp.h"

namespace tarvell::bench {

// The resident size of this process in MiB (0 when /proc could not be read).
inline double ResidentMiB() { return static_cast<double>(ResidentBytes()) / 1048576.0; }

// A viewer over `folder` as its "Local" server, with `registry` and no mounted shares; the
// system clock unless `clock` is given.
inline ViewerEnvironment BenchEnvironment(const std::string& folder, Registry& registry,
                                          Clock* clock = nullptr) {
    ViewerEnvironment env;
    env.programFolder = folder;
    env.registry = &registry;
    env.clock = clock;
    env.mountInfo = [] { return std::string(); };
    return env;
}

// Adds `count` "New Mac" events, one a second from 1700000000, 48 ports a switch
// (keys "S<switch>/<port>").
inline void AddMacEvents(EventDatabaseFile& file, int count) {
    for (int i = 0; i < count; ++i) {
        auto e = std::make_unique<CEventItem>();
        e->EventType = e->Description = "New Mac";
        e->Category = "Detection";
        e->Current = "00AABBCC" + std::to_string(10000 + i);
        e->DeviceName = "switch-" + std::to_string(i / 48);
        e->DevicePort = "Gi0/" + std::to_string(i % 48);
        e->DateKey = std::to_string(1700000000 + i);
        file.EventMap.emplace("S" + std::to_string(i / 48) + "/" + std::to_string(i % 48),
                              std::move(e));
    }
}

// The "New Mac" alert number `i`: every third one a prevention alert, the rest detection.
inline std::unique_ptr<CAlertItem> MacAlert(int i) {
    auto a = std::make_unique<CAlertItem>();
    a->Category = i % 3 ? "Detection" : "Prevention";
    a->EventType = a->Description = "New Mac";
    a->Current = "00AABBCC" + std::to_string(10000 + i);
    a->DeviceName = "switch-" + std::to_string(i / 48);
    return a;
}

}  // namespace tarvell::bench
