#include "viewer/core/settings/SettingsRules.h"

#include <array>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/RecursiveLock.h"
#include "platform/Text.h"
#include "shared/EventTypes.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/hub/SettingsEdit.h"
#include "viewer/core/base/StringTable.h"

namespace tarvell {

namespace {
constexpr std::array<SettingsCategory, 6> kCategories{{
    {cmd::kSettingsLocal, "Local Settings", ""},
    {cmd::kSettingsAccess, "Access Settings", "Access Settings"},
    {cmd::kSettingsSnmp, "Snmp Settings", "Snmp Settings"},
    {cmd::kSettingsDevices, "Devices Settings", "Devices Settings"},
    {cmd::kSettingsNodes, "Nodes Settings", "Nodes Settings"},
    {cmd::kSettingsAlerts, "Alerts Settings", "Alerts Settings"},
}};

bool SyncEntry(std::vector<std::string>& table, std::size_t i, std::string_view text) {
    if (table.size() == i) {
        table.emplace_back(text);
        return true;
    }
    if (table[i] == text) return false;
    table[i] = std::string(text);
    return true;
}
}  // namespace

bool SyncTextTables(CTarvellDoc& doc) {
    bool changed = false;
    const auto levels = ThreatLevelNames();
    for (std::size_t i = 0; i < levels.size(); ++i)
        changed = SyncEntry(doc.AlertSeverityTexts, i, levels[i]) || changed;
    const auto rows = AlertTextTable();
    for (std::size_t i = 0; i < rows.size(); ++i)
        changed = SyncEntry(doc.AlertCauseTexts, i, rows[i].name) || changed;
    for (std::size_t i = 0; i < rows.size(); ++i)
        changed = SyncEntry(doc.AlertDescriptionTexts, i, rows[i].sentence) || changed;
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
