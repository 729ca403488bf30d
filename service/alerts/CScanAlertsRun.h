// The run-command alert channel: for every alert, each configured command whose filters accept
// it is started with the alert's values in its parameters. An entry is
// "<unused>;<program>;<parameters>;<user>;<domain>;<password>" and optionally "|" and filters
// (split at the last "|"; shared/AlertTarget.h). The parameters are split into arguments first
// (blanks separate, double quotes group, nothing else is special) and the macros are expanded
// inside each argument afterwards, so a value from the network is always one argument and never
// reaches a shell. A named user runs the program as that local user; when the account cannot be
// taken the program does not run at all. Programs are never waited for, but always reaped (and
// killed with their group after kRunCommandTimeLimitMs or when the service stops).
#pragma once

#include <set>
#include <string>
#include <vector>

#include "platform/Process.h"
#include "service/alerts/AlertChannelThread.h"
#include "shared/AlertTarget.h"

namespace tarvell {

inline constexpr std::int64_t kRunCommandTimeLimitMs = 10 * 60 * 1000;

// Splits a parameter template into arguments: runs of blanks separate, a double-quoted part
// keeps its blanks (the quotes are dropped; "" is an empty argument), nothing else is special.
std::vector<std::string> SplitParameters(const std::string& parameters);

class CScanAlertsRun : public AlertChannelThread {
public:
    explicit CScanAlertsRun(CTarvellFrm& engine, std::int64_t intervalMs = 1000);
    ~CScanAlertsRun() override { StopAndJoin(); }
    ProcessReaper& Reaper() { return reaper_; }

protected:
    bool Enabled(const CTarvellDoc& settings) const override {
        return settings.RunAlertsEnabled != 0;
    }
    void Deliver(const std::string& key, const CAlertItem& alert,
                 const CTarvellDoc& settings) override;

private:
    void Launch(const CommandProperties& command, const std::vector<std::string>& argv);

    ProcessReaper reaper_;
    std::set<std::string> reportedEntries_;  // channel thread only: short entries logged once
};

}  // namespace tarvell
