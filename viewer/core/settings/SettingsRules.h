// The settings window without its widgets: the viewer's texts that the service's settings carry,
// which category a user may open, and the save of the visible panel.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "viewer/core/base/CommandIds.h"

namespace tarvell {

class CTarvellApp;
class CTarvellDoc;

// Brings the settings' three alert-text tables (AlertSeverityTexts, AlertCauseTexts,
// AlertDescriptionTexts) in step with the shared rows (shared/EventTypes.h), in that order, index
// by index: a missing entry is appended, a differing one (exact comparison) replaced; entries
// past the shared rows stay. True when anything changed.
bool SyncTextTables(CTarvellDoc& doc);

// The six categories of the settings window, in toolbar order.
struct SettingsCategory {
    CommandId command;
    std::string_view title;       // the panel's title
    std::string_view permission;  // empty: open to everyone
};
std::span<const SettingsCategory> SettingsCategories();
// The category of a command, or null.
const SettingsCategory* FindCategory(CommandId command);
// Whether the user may open the category: always with no viewer users and always for Local,
// else when the permission string holds the category's permission followed by ";". An unknown
// command is never enabled.
bool CategoryEnabled(CommandId command, bool hasUsers, std::string_view permissions);

// What showing the window does to the settings: reload them and, only when the reload worked,
// bring the text tables in step and save when that changed anything. True when nothing failed.
bool RepairTextTables(CTarvellApp& app);

// A panel whose fields live in the settings document: Load fills the panel from the settings,
// Store writes its fields back. Check returns a message id when what the panel holds cannot be
// stored (0 when it can).
class SettingsPanel {
public:
    virtual ~SettingsPanel() = default;
    virtual void Load(const CTarvellDoc& doc) = 0;
    virtual void Store(CTarvellDoc& doc) const = 0;
    virtual unsigned Check() const { return 0; }
};

// Save of a document panel: its check, then reload, Store and save as one edit. Returns the
// message to show: "Your settings have been saved." only after a save that worked, the reload
// or save failure otherwise (nothing is written after a failed reload).
unsigned SaveVisiblePanel(CTarvellApp& app, const SettingsPanel& panel);

// Whether every character of `utf8` has a Windows-1252 byte (malformed UTF-8 has not), so the
// text can be stored without becoming "?".
bool StorableText(std::string_view utf8);
// A panel's Check over its texts: 0 when all can be stored, else the message refusing them.
unsigned CheckStorable(std::initializer_list<std::string_view> utf8Texts);

}  // namespace tarvell
