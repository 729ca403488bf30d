#include "viewer/core/protection/EditStandIn.h"

#include "viewer/core/hub/CTarvellApp.h"

namespace tarvell {

EditResult EditSettings(CTarvellApp& app, const std::function<void(CTarvellDoc&)>& edit) {
    std::lock_guard<std::recursive_mutex> guard(app.Document().DocumentLock);
    if (!app.ReloadDocument()) return EditResult::ReloadFailed;
    const CTarvellDoc before = app.Document().Fields();
    edit(app.Document().Fields());
    if (!app.SaveDocument()) {
        app.Document().Fields() = before;
        app.NotifyHub(HubChange::SettingsReloaded);
        return EditResult::SaveFailed;
    }
    app.SetReaderSettings(app.Document().Snapshot());
    app.NotifyHub(HubChange::SettingsSaved);
    return EditResult::Saved;
}

unsigned EditResultMessage(EditResult result) {
    return result == EditResult::ReloadFailed ? 20040 : result == EditResult::SaveFailed ? 20041 : 0;
}

}  // namespace tarvell
