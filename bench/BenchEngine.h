#pragma once

// An engine's folders for a benchmark: a fresh temporary root holding the service folder (with
// its hand-over folder) and the sibling folder. The caller removes `root` when done.

#include <string>

#include "platform/EventLog.h"
#include "platform/Files.h"
#include "service/engine/CTarvellFrm.h"

namespace tarvell {

struct BenchEngineFolders {
    std::string root;
    EngineEnvironment env;
};

inline BenchEngineFolders MakeBenchEngineFolders(const char* prefix, EventLog& log) {
    BenchEngineFolders f;
    f.root = MakeTempFolder(prefix);
    f.env.ServiceFolder = JoinPath(f.root, "service");
    f.env.HandOverFolder = JoinPath(f.env.ServiceFolder, "handover");
    f.env.SiblingFolder = JoinPath(f.root, "sibling");
    MakeDirectories(f.env.HandOverFolder);
    MakeDirectories(f.env.SiblingFolder);
    f.env.log = &log;
    return f;
}

}  // namespace tarvell
