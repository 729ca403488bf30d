#pragma once

// An engine's folders for a benchmark: a fresh temporary root holding the service folder (with
// its hand-over folder) and the sibling folder. The caller removes `root` when done.

#include <cstdio>
#include <memory>
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

// The node address number `n` as twelve hexadecimal digits.
inline std::string BenchMac(int n) {
    char text[13];
    std::snprintf(text, sizeof text, "%012X", n);
    return text;
}

// `count` sibling nodes, all on port 1 of SW1, with addresses BenchMac(0 ...) and an IP each;
// the caller holds EngineLock.
inline void AddBenchSiblingNodes(CTarvellFrm& engine, int count) {
    for (int n = 0; n < count; ++n) {
        auto node = std::make_unique<CDbItem>();
        node->NodeMac() = BenchMac(n);
        node->NodeIp() = "10.2.0." + std::to_string(n % 250);
        node->NodeName() = "node-" + std::to_string(n);
        node->NodeSwitch() = "SW1";
        node->NodePort() = "1";
        engine.SiblingNodes[BenchMac(n)] = std::move(node);
    }
}

}  // namespace tarvell
