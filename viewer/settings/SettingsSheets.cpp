#include "viewer/settings/SettingsSheets.h"

#include <map>

#include "viewer/settings/CAccessSettingsPanel.h"
#include "viewer/settings/EmailAlertSettingsUi.h"
#include "viewer/settings/DevicesSettingsUi.h"
#include "viewer/settings/AlertsSettingsUi.h"
#include "viewer/settings/ExportSettingsUi.h"
#include "viewer/settings/NodesSettingsUi.h"
#include "viewer/settings/SnmpSettingsUi.h"

namespace tarvell {

// Each panel's and sheet's file has a registration, called once from here, one a line.

namespace {

using SheetTable = std::map<QString, SettingsSheetOpener>;
using PanelTable = std::map<CommandId, SettingsPanelMaker>;

void RegisterBuiltInSheets() {
    RegisterExportSheets();
    RegisterAccessPanel();
    RegisterAlertChannelSheets();
    RegisterSnmpSettings();
    RegisterDevicesSettings();
    RegisterNodesSettings();
    RegisterAlertSheets();
}

SheetTable& Table() {
    static SheetTable sheets;
    return sheets;
}

PanelTable& Panels() {
    static PanelTable panels;
    return panels;
}

// Both tables with the built-ins registered (registration itself writes to Table()).
SheetTable& Sheets() {
    static const bool registered = (RegisterBuiltInSheets(), true);
    (void)registered;
    return Table();
}

PanelTable& RegisteredPanels() {
    (void)Sheets();
    return Panels();
}

}  // namespace

void RegisterSettingsSheet(const QString& caption, SettingsSheetOpener opener) {
    Table()[caption] = std::move(opener);
}

void RegisterSettingsPanel(CommandId category, SettingsPanelMaker maker) {
    Panels()[category] = std::move(maker);
}

CSettingsPanelBase* MakeSettingsPanel(CommandId category, const SheetServices& services) {
    const auto found = RegisteredPanels().find(category);
    return found != RegisteredPanels().end() && found->second ? found->second(services) : nullptr;
}

bool HasSettingsSheet(const QString& caption) { return Sheets().count(caption) != 0; }

bool OpenSettingsSheet(const QString& caption, const SheetServices& services) {
    const auto found = Sheets().find(caption);
    return found != Sheets().end() && found->second && found->second(services);
}

}  // namespace tarvell
