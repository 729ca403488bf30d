#include "viewer/core/hub/SettingsEdit.h"

#include <mutex>

#include "platform/RecursiveLock.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/base/StringTable.h"

namespace tarvell {

EditResult EditSettings(CTarvellApp& app, const std::function<void(CTarvellDoc&)>& edit) {
    const EditResult result = EditSettingsQuietly(app, edit);
    if (result == EditResult::Saved) app.NotifyHub(HubChange::SettingsSaved);
    else if (result == EditResult::SaveFailed) app.NotifyHub(HubChange::SettingsReloaded);
    return result;
}

EditResult EditSettingsQuietly(CTarvellApp& app, const std::function<void(CTarvellDoc&)>& edit) {
    ViewerDocument& document = app.Document();
    RecursiveGuard guard(document.DocumentLock);
    if (!app.ReloadDocument()) return EditResult::ReloadFailed;
    const CTarvellDoc reloaded = document.Fields();
    if (edit) edit(document.Fields());
    if (app.SaveDocument()) return EditResult::Saved;
    document.Fields() = reloaded;
    return EditResult::SaveFailed;
}

unsigned EditResultMessage(EditResult result) {
    switch (result) {
        case EditResult::Saved: return 0;
        case EditResult::ReloadFailed: return str::kSettingsReloadFailed;
        case EditResult::SaveFailed: return str::kSettingsSaveFailed;
    }
    return 0;
}

}  // namespace tarvell
