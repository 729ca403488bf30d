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

bool ParseRunCommand(const std::string& withoutFilters, RunCommand& out) {
    std::vector<std::string> fields;
    std::size_t from = 0;
    while (fields.size() < 5) {
        const std::size_t semi = withoutFilters.find(';', from);
        if (semi == std::string::npos) break;
        fields.push_back(withoutFilters.substr(from, semi - from));
        from = semi + 1;
    }
    if (fields.size() < 5) return false;
    // The password keeps any further ";", except one that ends the entry: that one closes the
    // sixth field, as the viewer writes "<name>;<program>;<parameters>;<user>;<domain>;<pw>;".
    std::string password = withoutFilters.substr(from);
    if (!password.empty() && password.back() == ';') password.pop_back();
    fields.push_back(std::move(password));
    out = {fields[1], fields[2], fields[3], fields[4], fields[5]};
    return true;
}

CScanAlertsRun::CScanAlertsRun(CTarvellFrm& engine, std::int64_t intervalMs)
    : AlertChannelThread(engine, engine.RunQueue, engine.RunTestFlag, "Run command", intervalMs) {}

void CScanAlertsRun::Deliver(const std::string& key, const CAlertItem& alert,
                             const CTarvellDoc& settings) {
    const AlertTextSources sources = LookUpAlertTexts(engine_, alert);
    const std::string description = ExpandEventText(sources.descriptionText, alert, sources);
    for (std::size_t index = 0; index < settings.RunCommands.size(); ++index) {
        const std::string& entry = settings.RunCommands[index];
        const std::size_t bar = entry.rfind('|');
        const std::string command = entry.substr(0, bar);
        // The filters are the text after the last "|"; the shared rule splits at the first.
        const std::string target = bar == std::string::npos ? "x" : "x|" + entry.substr(bar + 1);
        if (!TargetMatchesAlert(target, alert, description).deliver) continue;
        RunCommand run;
        if (!ParseRunCommand(command, run) || Trim(run.program).empty()) {
            if (reportedEntries_.insert(entry).second)
                engine_.Log("Run command entry " +
                            FormatLong(static_cast<std::int64_t>(index + 1)) +
                            " is skipped (it needs six fields separated by \";\" and a program)");
            continue;
        }
        std::vector<std::string> argv{Trim(run.program)};
        for (const std::string& argument : SplitParameters(run.parameters))
            argv.push_back(ExpandAlertMacros(argument, alert, key, sources));
        Launch(run, argv);
    }
}

void CScanAlertsRun::Launch(const RunCommand& command, const std::vector<std::string>& argv) {
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
