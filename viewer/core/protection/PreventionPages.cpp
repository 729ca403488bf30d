#include "viewer/core/protection/PreventionPages.h"

#include <algorithm>

#include "platform/Text.h"
#include "shared/SettingRanges.h"
#include "shared/SnmpQuery.h"

namespace tarvell {

namespace {

TwoOptionPage LoadTwo(const std::string& a, const std::string& aLogon, const std::string& b,
                      const std::string& bLogon) {
    TwoOptionPage page;
    page.first = {!a.empty(), a, a.empty() ? "" : aLogon};
    page.second = {!b.empty(), b, b.empty() ? "" : bLogon};
    page.master = page.first.on || page.second.on;
    return page;
}

// An option stored only while the master and it are ticked and its text is set.
void StoreOption(bool master, const TwoOptionPage::Option& option, std::string& text,
                 std::string& logon) {
    const bool keep = master && option.on && !option.text.empty();
    text = keep ? option.text : "";
    logon = keep ? option.logon : "";
}

}  // namespace

PreventAlertsPage LoadPreventAlerts(const CTarvellDoc& doc) {
    PreventAlertsPage page;
    page.master = doc.PreventAlertsEnabled != 0;
    if (!page.master) return page;
    page.statusAlert = doc.PreventStatusAlerts != 0;
    page.unblockLink = doc.EmailUnblockLink != 0;
    page.deleteLink = doc.EmailDeleteLink != 0;
    page.passwordOn = !doc.MonitorPassword.empty();
    if (page.passwordOn) page.password = kPasswordPlaceholder;
    return page;
}

bool EmailReady(const CTarvellDoc& doc) {
    return doc.EmailAlertsEnabled != 0 && !Trim(doc.SmtpServer).empty() &&
           std::any_of(doc.EmailRecipients.begin(), doc.EmailRecipients.end(),
                       [](const std::string& r) { return !Trim(r).empty(); });
}

int Check(const PreventAlertsPage& page, const CTarvellDoc& reloaded) {
    if (page.master && (page.unblockLink || page.deleteLink) && !EmailReady(reloaded))
        return kMsgEmailRequired;
    return 0;
}

void Store(const PreventAlertsPage& page, CTarvellDoc& doc) {
    doc.PreventAlertsEnabled = page.master ? 1 : 0;
    doc.PreventStatusAlerts = page.master && page.statusAlert ? 1 : 0;
    doc.EmailUnblockLink = page.master && page.unblockLink ? 1 : 0;
    doc.EmailDeleteLink = page.master && page.deleteLink ? 1 : 0;
    if (!page.master || !page.passwordOn) doc.MonitorPassword.clear();
    else if (page.password != kPasswordPlaceholder) doc.MonitorPassword = page.password;
    // else: the stored password, unchanged
}

TwoOptionPage LoadNotify(const CTarvellDoc& doc) {
    return LoadTwo(doc.NetSendMessage, doc.NetSendLogon, doc.NotifyScriptFile,
                   doc.NotifyScriptLogon);
}

TwoOptionPage LoadScripts(const CTarvellDoc& doc) {
    return LoadTwo(doc.BlockScriptFile, doc.BlockScriptLogon, doc.UnblockScriptFile,
                   doc.UnblockScriptLogon);
}

int Check(const TwoOptionPage& page, bool serviceUserAccount) {
    if (!page.master) return 0;
    for (const auto* option : {&page.first, &page.second})
        if (option->on && Trim(option->text).empty()) return kMsgSettingsInvalid;
    for (const auto* option : {&page.first, &page.second})
        if (option->on && !serviceUserAccount && option->logon.empty()) return kMsgLogonRequired;
    return 0;
}

void StoreNotify(const TwoOptionPage& page, CTarvellDoc& doc) {
    StoreOption(page.master, page.first, doc.NetSendMessage, doc.NetSendLogon);
    StoreOption(page.master, page.second, doc.NotifyScriptFile, doc.NotifyScriptLogon);
}

void StoreScripts(const TwoOptionPage& page, CTarvellDoc& doc) {
    StoreOption(page.master, page.first, doc.BlockScriptFile, doc.BlockScriptLogon);
    StoreOption(page.master, page.second, doc.UnblockScriptFile, doc.UnblockScriptLogon);
}

PreventSnmpPage LoadPreventSnmp(const CTarvellDoc& doc) {
    PreventSnmpPage page;
    page.master = doc.SnmpPreventionEnabled != 0;
    page.standard = !page.master || doc.SnmpPreventionMethod != 0;
    if (page.master && !page.standard) {
        BlockingQuery block = SplitBlockingQuery(doc.SnmpBlockQuery);
        BlockingQuery unblock = SplitBlockingQuery(doc.SnmpUnblockQuery);
        page.blockQuery = std::move(block.oid);
        page.blockValue = std::move(block.value);
        page.unblockQuery = std::move(unblock.oid);
        page.unblockValue = std::move(unblock.value);
    }
    return page;
}

bool HasWriteCommunity(const CTarvellDoc& doc) {
    if (doc.SnmpV3Enabled != 0) return true;
    if (doc.SnmpCommunitiesEnabled == 0) return false;
    return std::any_of(doc.SnmpCommunities.begin(), doc.SnmpCommunities.end(),
                       [](const std::string& entry) {
                           const std::size_t slash = entry.rfind('/');
                           if (slash == std::string::npos || slash == 0) return false;
                           const auto n = ParseBoxNumber(entry.substr(slash + 1));
                           return n && *n > 0 && slash + 1 < entry.size();
                       });
}

int Check(const PreventSnmpPage& page, const CTarvellDoc& reloaded) {
    if (!page.master) return 0;
    if (!HasWriteCommunity(reloaded)) return kMsgWriteCommunityRequired;
    if (!page.standard &&
        (!IsOidText(Trim(page.blockQuery)) || !IsOidText(Trim(page.unblockQuery)) ||
         page.blockValue.empty() || page.unblockValue.empty()))
        return kMsgSettingsInvalid;
    return 0;
}

void Store(const PreventSnmpPage& page, CTarvellDoc& doc) {
    doc.SnmpPreventionEnabled = page.master ? 1 : 0;
    doc.SnmpPreventionMethod = page.master && page.standard ? 1 : 0;
    const bool specific = page.master && !page.standard;
    doc.SnmpBlockQuery =
        specific ? JoinBlockingQuery({Trim(page.blockQuery), page.blockValue}) : "";
    doc.SnmpUnblockQuery =
        specific ? JoinBlockingQuery({Trim(page.unblockQuery), page.unblockValue}) : "";
}

PreventSchedulePage LoadPreventSchedule(const CTarvellDoc& doc) {
    PreventSchedulePage page;
    for (const std::string& entry : doc.PreventionSchedule)
        if (const auto row = ParseStoredSchedule(entry)) page.rows.push_back(*row);
    page.master = !doc.PreventionSchedule.empty();
    page.deleteLink = page.master && doc.EmailScheduleDeleteLink != 0;
    SortScheduleRows(page.rows);
    return page;
}

int Check(const PreventSchedulePage& page) {
    return page.master && page.rows.empty() ? kMsgSettingsInvalid : 0;
}

void Store(const PreventSchedulePage& page, CTarvellDoc& doc) {
    doc.EmailScheduleDeleteLink = page.master && page.deleteLink ? 1 : 0;
    doc.PreventionSchedule.clear();
    if (!page.master) return;
    for (const ScheduleRow& row : page.rows)
        doc.PreventionSchedule.push_back(StoredScheduleEntry(row));
}

PreventUnblockPage LoadPreventUnblock(const CTarvellDoc& doc) {
    PreventUnblockPage page;
    page.master = doc.UnblockAfterMinutes != 0;
    if (!page.master) return page;
    page.minutes = std::to_string(doc.UnblockAfterMinutes);
    page.systemBlocked = doc.UnblockSystemBlocked != 0;
    page.manualBlocked = doc.UnblockManualBlocked != 0;
    page.authorization = std::clamp(doc.UnblockAuthorization, 0, 2);
    return page;
}

int Check(const PreventUnblockPage& page) {
    if (!page.master) return 0;
    const auto minutes = ParseBoxNumber(page.minutes);
    return minutes && *minutes >= 1 && *minutes <= RangeOf("UnblockAfterMinutes").max
               ? 0
               : kMsgSettingsInvalid;
}

void Store(const PreventUnblockPage& page, CTarvellDoc& doc) {
    const auto minutes = page.master ? ParseBoxNumber(page.minutes) : std::optional<int>(0);
    doc.UnblockAfterMinutes = minutes.value_or(0);
    doc.UnblockSystemBlocked = page.master && page.systemBlocked ? 1 : 0;
    doc.UnblockManualBlocked = page.master && page.manualBlocked ? 1 : 0;
    if (page.master) doc.UnblockAuthorization = page.authorization;
}

}  // namespace tarvell
