#include "service/alerts/CScanAlertsRun.h"

#include "platform/Text.h"
#include "service/alerts/AlertText.h"

namespace tarvell {

std::vector<std::string> SplitParameters(const std::string& parameters) {
    std::vector<std::string> args;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (const char c : parameters) {
        if (c == '"') {
            quoted = !quoted;
            inArgument = true;
        } else if (c == ' ' && !quoted) {
            if (inArgument) args.push_back(std::move(current));
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument) args.push_back(std::move(current));
    return args;
}

CScanAlertsRun::CScanAlertsRun(CTarvellFrm& engine, std::int64_t intervalMs)
    : AlertChannelThread(engine, engine.RunQueue, engine.RunTestFlag, "Run command", intervalMs) {}

void CScanAlertsRun::Deliver(const std::string& key, const CAlertItem& alert,
                             const CTarvellDoc& settings) {
    const AlertTextSources sources = LookUpAlertTexts(engine_, alert);
    const std::string description = ExpandEventText(sources.descriptionText, alert, sources);
    for (std::size_t index = 0; index < settings.RunCommands.size(); ++index) {
        const std::string& entry = settings.RunCommands[index];
        const TargetEntry split = SplitTargetEntry(entry, true);
        const std::string& command = split.target;
        if (!FiltersMatchAlert(split.filters, alert, description)) continue;
        const std::optional<CommandProperties> run = ParseCommandTarget(command);
        if (!run || Trim(run->command).empty()) {
            if (reportedEntries_.insert(entry).second)
                engine_.Log("Run command entry " +
                            FormatLong(static_cast<std::int64_t>(index + 1)) +
                            " is skipped (it needs six fields separated by \";\" and a program)");
            continue;
        }
        std::vector<std::string> argv{Trim(run->command)};
        for (const std::string& argument : SplitParameters(run->parameters))
            argv.push_back(ExpandAlertMacros(argument, alert, key, sources));
        Launch(*run, argv);
    }
}

void CScanAlertsRun::Launch(const CommandProperties& command,
                            const std::vector<std::string>& argv) {
    ProcessOptions options;
    options.argv = argv;
    options.timeLimitMs = kRunCommandTimeLimitMs;
    if (!command.user.empty())
        options.account = ProcessAccount{command.user, command.domain, command.password};
    const ProcessResult result = StartProcess(options, reaper_);
    const std::string who = command.user.empty() ? argv[0] : argv[0] + " as " + command.user;
    ReportDelivery(who, result.end == ProcessEnd::Running,
                   result.errorText.empty() ? "not started" : result.errorText);
}

}  // namespace tarvell
