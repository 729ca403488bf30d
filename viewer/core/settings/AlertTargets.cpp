#include "viewer/core/settings/AlertTargets.h"

#include <algorithm>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "shared/CTarvellDoc.h"
#include "viewer/core/service/ServiceControl.h"
#include "viewer/core/settings/SettingsRules.h"
#include "viewer/core/base/StringTable.h"

namespace tarvell {

const std::array<std::string_view, kFilterTypes>& FilterTypeNames() {
    static constexpr std::array<std::string_view, kFilterTypes> kNames = {
        "Alert",      "Device Name", "Device Ip",   "Device Port", "Device Location",
        "Source Mac", "Source Ip",   "Source Name", "Description"};
    return kNames;
}

int FilterTypeOfName(std::string_view name) {
    const auto& names = FilterTypeNames();
    const auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : static_cast<int>(it - names.begin());
}

unsigned CheckTargetText(std::string_view utf8) {
    if (utf8.find('|') != std::string_view::npos) return str::kTargetHasBar;
    return CheckStorable({utf8});
}

unsigned CheckFilterPattern(std::string_view utf8) {
    if (utf8.find_first_of(";|") != std::string_view::npos) return str::kFilterHasSeparator;
    return CheckStorable({utf8});
}

const TargetFamilyInfo& FamilyInfo(TargetFamily family) {
    static const TargetFamilyInfo kFamilies[] = {
        {TargetFamily::Recipients, "Recipients", &CTarvellDoc::EmailRecipients,
         "Set the recipient email:", "Add Recipient", false, "Recipients",
         "There are currently no available recipients found.", "Remove recipient",
         "Test recipients", kTestEmail, false},
        {TargetFamily::Managers, "Managers", &CTarvellDoc::SnmpManagers,
         "Set the manager ip address:", "Add Snmp Manager", true, "Managers",
         "There are currently no available managers found.", "Remove manager", "Test managers",
         kTestSnmpTrap, false},
        {TargetFamily::Listeners, "Listeners", &CTarvellDoc::SyslogListeners,
         "Set the listener ip address:", "Add Syslog Listener", true, "Listeners",
         "There are currently no available listeners found.", "Remove listener", "Test listeners",
         kTestSyslog, false},
        // The Commands page has no empty-list text of its own.
        {TargetFamily::Commands, "Commands", &CTarvellDoc::RunCommands, "Set the command name:",
         "Add Command", false, "Commands", "There are currently no available recipients found.",
         "Remove command", "Test commands", kTestRunCommand, true},
    };
    return kFamilies[static_cast<int>(family)];
}

void TargetList::Load(const std::vector<std::string>& entries, bool splitAtLast) {
    rows_.clear();
    filters_.clear();
    for (const std::string& e : entries) {
        TargetEntry entry = SplitTargetEntry(e, splitAtLast);
        rows_.push_back(entry.target);
        if (!entry.filters.empty()) filters_[entry.target] = std::move(entry.filters);
    }
}

std::vector<std::string> TargetList::Entries() const {
    std::vector<std::string> out;
    for (const std::string& target : rows_)
        out.push_back(JoinTargetEntry({target, Filters(target)}));
    return out;
}

bool TargetList::Contains(std::string_view target) const {
    const std::string wanted = ToLowerAscii(target);
    return std::any_of(rows_.begin(), rows_.end(),
                       [&](const std::string& row) { return ToLowerAscii(row) == wanted; });
}

bool TargetList::Add(const std::string& target) {
    if (Contains(target)) return false;
    rows_.push_back(target);
    return true;
}

void TargetList::Remove(int row) {
    if (row < 0 || row >= Count()) return;
    const std::string target = rows_[static_cast<std::size_t>(row)];
    rows_.erase(rows_.begin() + row);
    // A row loaded twice keeps the filters of the copy left.
    if (std::find(rows_.begin(), rows_.end(), target) == rows_.end()) filters_.erase(target);
}

const std::string& TargetList::Filters(const std::string& target) const {
    static const std::string kNone;
    const auto it = filters_.find(target);
    return it == filters_.end() ? kNone : it->second;
}

void TargetList::SetFilters(const std::string& target, const std::string& list) {
    if (list.empty()) filters_.erase(target);
    else filters_[target] = list;
}

TestStep TestDecision(bool applyPending, int rowCount) {
    if (applyPending) return TestStep::AskApply;
    if (rowCount <= 0) return TestStep::NoTargets;
    return TestStep::Send;
}

unsigned SendTargetTest(ServiceControl& service, int code, const std::string& handOverFile,
                        Clock& clock, std::int64_t limitMs) {
    for (std::int64_t waited = 0; !handOverFile.empty() && FileExists(handOverFile);
         waited += kHandOverPollMs) {
        if (waited >= limitMs) return str::kTestNotTakenOver;
        clock.SleepMs(kHandOverPollMs);
    }
    return service.SendTestAlert(code) ? str::kTestSent : str::kTestFailed;
}

}  // namespace tarvell
