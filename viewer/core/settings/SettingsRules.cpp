#include "viewer/core/settings/SettingsRules.h"

#include <array>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/RecursiveLock.h"
#include "platform/Text.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/hub/SettingsEdit.h"
#include "viewer/core/shell/StringTable.h"

namespace tarvell {

namespace {
constexpr std::array<std::string_view, 6> kThreatLevels{"Normal",   "Low",  "Moderate",
                                                        "Elevated", "High", "Severe"};

// "WMI Process name" keeps its lower-case "n" and index 13 reads "Broadcasts" in the name but
// "Broadcast" in the message: the service's stored settings have always held them so.
constexpr std::array<std::string_view, 33> kTypeNames{"Unauthorized Node",
                                                      "Unauthorized Blacklist Node",
                                                      "Unauthorized Nodes Count",
                                                      "New Mac",
                                                      "New Ip",
                                                      "New Name",
                                                      "New User",
                                                      "Changed Ip",
                                                      "Changed Name",
                                                      "Changed User",
                                                      "Changed Port",
                                                      "$severity Receive Threat",
                                                      "$severity Transmit Threat",
                                                      "$severity Broadcasts Threat",
                                                      "$severity Errors Threat",
                                                      "WMI Not Responding",
                                                      "WMI Operating System",
                                                      "WMI Service Pack",
                                                      "WMI Computer Domain",
                                                      "WMI Hot Fix",
                                                      "WMI Service Name",
                                                      "WMI Process name",
                                                      "WMI Program Name",
                                                      "WMI Registry String",
                                                      "WMI Registry DWORD",
                                                      "Linkup Script",
                                                      "Manual Blocking",
                                                      "Manual Unblocking",
                                                      "System Blocking",
                                                      "System Unblocking",
                                                      "Prevention Enabled",
                                                      "Prevention Disabled",
                                                      "Quenmark Tarvell"};

constexpr std::array<std::string_view, 33> kTypeMessages{
    "Unauthorized Node Address $current discovered.",
    "Unauthorized Blacklist Node $current discovered.",
    "Unauthorized Nodes Count of $current discovered.",
    "New Mac Address $current $before.",
    "New Ip Address $current discovered.",
    "New Computer Name $current discovered.",
    "New User Name $current discovered.",
    "Changed Ip Address discovered from $before to $current.",
    "Changed Computer Name discovered from $before to $current.",
    "Changed User Name discovered from $before to $current.",
    "Changed Port Location discovered from $before to $current.",
    "$severity Receive Threat discovered from $before to $current.",
    "$severity Transmit Threat discovered from $before to $current.",
    "$severity Broadcast Threat discovered from $before to $current.",
    "$severity Errors Threat discovered from $before to $current.",
    "WMI Not Responding to query request.",
    "WMI Operating System $current found instead of $before.",
    "WMI Service Pack $current found instead of $before.",
    "WMI Computer Domain $current found instead of $before.",
    "WMI Hot Fix $current not found.",
    "WMI Service Name $current not found.",
    "WMI Process Name $current not found.",
    "WMI Program Name $current not found.",
    "WMI Registry String $current not found.",
    "WMI Registry DWORD $current not found.",
    "Linkup Script Failed running.",
    "Manual Blocking by $submitter.",
    "Manual Unblocking by $submitter.",
    "System Blocking due to $cause.",
    "System Unblocking due to $cause.",
    "Prevention Enabled by $submitter.",
    "Prevention Disabled by $submitter.",
    "Quenmark Tarvell - Test message"};

constexpr std::array<SettingsCategory, 6> kCategories{{
    {cmd::kSettingsLocal, "Local Settings", ""},
    {cmd::kSettingsAccess, "Access Settings", "Access Settings"},
    {cmd::kSettingsSnmp, "Snmp Settings", "Snmp Settings"},
    {cmd::kSettingsDevices, "Devices Settings", "Devices Settings"},
    {cmd::kSettingsNodes, "Nodes Settings", "Nodes Settings"},
    {cmd::kSettingsAlerts, "Alerts Settings", "Alerts Settings"},
}};

bool SyncTable(std::vector<std::string>& table, std::span<const std::string_view> texts) {
    bool changed = false;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (table.size() == i) {
            table.emplace_back(texts[i]);
            changed = true;
        } else if (table[i] != texts[i]) {
            table[i] = std::string(texts[i]);
            changed = true;
        }
    }
    return changed;
}
}  // namespace

std::span<const std::string_view> ThreatLevelTexts() { return kThreatLevels; }
std::span<const std::string_view> EventTypeTexts() { return kTypeNames; }
std::span<const std::string_view> EventMessageTexts() { return kTypeMessages; }

bool SyncTextTables(CTarvellDoc& doc) {
    bool changed = SyncTable(doc.AlertSeverityTexts, kThreatLevels);
    changed = SyncTable(doc.AlertCauseTexts, kTypeNames) || changed;
    changed = SyncTable(doc.AlertDescriptionTexts, kTypeMessages) || changed;
    return changed;
}

std::span<const SettingsCategory> SettingsCategories() { return kCategories; }

const SettingsCategory* FindCategory(CommandId command) {
    for (const SettingsCategory& c : kCategories)
        if (c.command == command) return &c;
    return nullptr;
}

bool CategoryEnabled(CommandId command, bool hasUsers, std::string_view permissions) {
    const SettingsCategory* category = FindCategory(command);
    if (!category) return false;
    if (!hasUsers || category->permission.empty()) return true;
    std::string entry(category->permission);
    entry += ';';
    return permissions.find(entry) != std::string_view::npos;
}

bool RepairTextTables(CTarvellApp& app) {
    ViewerDocument& document = app.Document();
    bool changed = false;
    {
        RecursiveGuard guard(document.DocumentLock);
        // A document that could not be read may never have been loaded: repairing it would hand
        // the service a settings file of defaults.
        if (!app.ReloadDocument()) return false;
        changed = SyncTextTables(document.Fields());
        if (changed && !app.SaveDocument()) return false;
    }
    app.NotifyHub(changed ? HubChange::SettingsSaved : HubChange::SettingsReloaded);
    return true;
}

unsigned SaveVisiblePanel(CTarvellApp& app, const SettingsPanel& panel) {
    if (const unsigned problem = panel.Check()) return problem;
    const EditResult result = EditSettings(app, [&](CTarvellDoc& doc) { panel.Store(doc); });
    return result == EditResult::Saved ? str::kSettingsSaved : EditResultMessage(result);
}

bool StorableText(std::string_view utf8) { return Cp1252ToUtf8(Utf8ToCp1252(utf8)) == utf8; }

unsigned CheckStorable(std::initializer_list<std::string_view> utf8Texts) {
    for (std::string_view text : utf8Texts)
        if (!StorableText(text)) return str::kTextNotStorable;
    return 0;
}

}  // namespace tarvell
