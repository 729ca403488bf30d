// A large server for the viewer's benchmarks, in a temporary folder removed at the end: settings
// with 1 000 deletion requests, 100 000 events (48 ports a switch) in Tarvell.db and 100 000
// alerts in Tarvell.log, as the service writes them.
#pragma once

#include <string>

#include "platform/Files.h"
#include "platform/Registry.h"
#include "shared/CTarvellDoc.h"
#include "shared/StateFiles.h"
#include "viewer/bench/BenchKit.h"

namespace tarvell::bench {

inline constexpr int kLargeServerEvents = 100'000;
inline constexpr int kLargeServerAlerts = 100'000;

// Writes the settings and both state files into `folder` (which exists); false when a file could
// not be written.
inline bool WriteLargeServer(const std::string& folder) {
    CTarvellDoc doc;
    doc.SetDefaults();
    for (int i = 0; i < 1000; ++i) doc.DeleteRequests.push_back("S" + std::to_string(i) + "/1");
    if (!doc.SaveToFile(JoinPath(folder, "Tarvell.ini"), true)) return false;
    EventDatabaseFile events;
    AddMacEvents(events, kLargeServerEvents);
    if (!WriteStateFile(JoinPath(folder, "Tarvell.db"), events)) return false;
    AlertLogFile alerts;
    for (int i = 0; i < kLargeServerAlerts; ++i)
        alerts.AlertLog.emplace(std::to_string(1700000000 + i / 10) + "." + std::to_string(i % 10),
                                MacAlert(i));
    return WriteStateFile(JoinPath(folder, "Tarvell.log"), alerts);
}

struct LargeServer {
    std::string root = MakeTempFolder("tarvell-viewer-bench-");
    std::string folder = JoinPath(root, "server");
    Registry registry{JoinPath(root, "m"), JoinPath(root, "u")};

    LargeServer() {
        MakeDirectories(folder);
        WriteLargeServer(folder);
    }
    ~LargeServer() { RemoveTree(root); }
    LargeServer(const LargeServer&) = delete;
    LargeServer& operator=(const LargeServer&) = delete;
};

}  // namespace tarvell::bench
