#include "service/linkup/CScanLinkupScript.h"

#include "platform/Process.h"
#include "platform/Text.h"
#include "service/linkup/LinkupRules.h"

namespace tarvell {

void CScanLinkupScript::Check() {
    const auto node = WaitForNode();
    const auto settings = engine_.Settings();
    if (!node || settings->LinkupScriptFile.empty()) {
        Finish();
        return;
    }
    const std::string script = LogText(settings->LinkupScriptFile);
    ProcessOptions options;
    options.argv = {settings->LinkupScriptFile, node->name};
    options.timeLimitMs = limitMs_;
    options.cancel = &StopSignal();
    options.captureOutput = true;  // kept out of the service's log; bounded
    options.maxOutputBytes = 4096;
    if (!settings->LinkupScriptLogon.empty()) {
        const WmiAccount logon = SplitLogon(settings->LinkupScriptLogon);
        options.account = ProcessAccount{logon.user, logon.domain, logon.password};
    }
    const ProcessResult result = RunProcess(options);
    switch (result.end) {
        case ProcessEnd::NotStarted:
            if (result.logonFailed) {
                engine_.Log("Linkup script " + script + " could not be run as " +
                            LogText(options.account->user) + " (" + LogText(result.errorText) +
                            "); it was not run for " + LogText(node->name));
            } else {
                engine_.Log("Linkup script " + script + " could not be started (" +
                            LogText(result.errorText) + ")");
            }
            break;
        case ProcessEnd::TimedOut:
            engine_.Log("Linkup script " + script + " for " + LogText(node->name) +
                        " did not end within " + FormatLong(limitMs_ / 1000) +
                        " s; it was stopped");
            break;
        case ProcessEnd::Exited:
            if (result.exitCode > 1) engine_.RecordEvent(NodeEvent(*node, "Linkup Script"));
            break;
        case ProcessEnd::Signalled:  // a crash is a failure like an exit code above 1
            engine_.RecordEvent(NodeEvent(*node, "Linkup Script"));
            break;
        case ProcessEnd::Cancelled:
        case ProcessEnd::Running: break;
    }
    Finish();
}

}  // namespace tarvell
