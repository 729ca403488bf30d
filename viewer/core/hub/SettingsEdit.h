// The one way to change the settings of the current server: reload them, change the fields,
// save them, all under the document's lock, so two edits never interleave and an edit never
// lands on a copy older than the server's file.
#pragma once

#include <functional>

namespace tarvell {

class CTarvellApp;
class CTarvellDoc;

enum class EditResult { Saved, ReloadFailed, SaveFailed };

// Holds DocumentLock from the reload through `edit` to the save. ReloadFailed: `edit` did not
// run and nothing changed. SaveFailed: the fields are put back to what was reloaded. Each
// successful reload and save renews CTarvellApp::ReaderSettings().
// Afterwards (no lock held) the hub's listeners hear SettingsSaved, or SettingsReloaded when the
// save failed (the fields are the reloaded ones then).
EditResult EditSettings(CTarvellApp& app, const std::function<void(CTarvellDoc&)>& edit);
// The same without telling the listeners, for the hub's mutators: they hold a hub lock during
// the edit and, once it is released, announce their own change (which covers the save).
EditResult EditSettingsQuietly(CTarvellApp& app, const std::function<void(CTarvellDoc&)>& edit);

// The message of a failed edit: 20040 after a failed reload, 20041 after a failed save, 0 when
// saved.
unsigned EditResultMessage(EditResult result);

}  // namespace tarvell
