// One node's linkup script: waits for the node's address, then runs LinkupScriptFile with the
// node's name as its one argument (verbatim, never through a shell), as the local user of
// LinkupScriptLogon when one is set. An exit code above 1 (or a crash) records "Linkup Script".
// A script still running at the time limit is killed with its process group and logged, without
// an event. A log-on that fails runs nothing and is logged: the script never runs as the
// service's own account in place of the configured one.
#pragma once

#include <cstdint>

#include "service/linkup/LinkupWorker.h"

namespace tarvell {

inline constexpr std::int64_t kLinkupScriptLimitMs = 300'000;

class CScanLinkupScript : public LinkupWorker {
public:
    CScanLinkupScript(CTarvellFrm& engine, LinkupTarget target,
                      const ManualResetEvent* stop = nullptr,
                      std::int64_t limitMs = kLinkupScriptLimitMs)
        : LinkupWorker(engine, std::move(target), stop), limitMs_(limitMs) {}
    ~CScanLinkupScript() override { StopAndJoin(); }

    void Check() override;

private:
    const std::int64_t limitMs_;
};

}  // namespace tarvell
