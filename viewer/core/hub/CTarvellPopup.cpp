#include "viewer/core/hub/CTarvellPopup.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "shared/AlertKey.h"

namespace tarvell {

CTarvellPopup::CTarvellPopup(CTarvellApp& app, Show show, std::int64_t periodMs)
    : app_(app), show_(std::move(show)), periodMs_(periodMs) {}

int CTarvellPopup::LookOnce() {
    if (app_.PopupAlerts() == 0) return 0;
    const std::string folder = app_.Server().Folder;
    if (!started_ || folder != folder_) {
        // Only what is recorded after this moment pops up.
        started_ = true;
        folder_ = folder;
        shownUpTo_ = {app_.clock().Now(), INT64_MAX};
        lookedAt_ = 0;
    }
    const HubView view = app_.View();
    // Every alert of a snapshot looked at whole was shown or was too old: nothing is new in it.
    if (view.alertsGeneration == lookedAt_) return 0;
    // The keys of the shared snapshot are read in place: no record is copied here.
    using Order = std::pair<std::int64_t, std::int64_t>;
    std::vector<std::pair<Order, const std::string*>> fresh;
    for (const auto& [key, alert] : view.alerts->AlertLog) {
        const std::optional<AlertKeyParts> parts = ParseAlertKey(key);
        if (!parts) continue;
        const Order order{parts->seconds, parts->counter};
        if (order > shownUpTo_) fresh.push_back({order, &key});
    }
    std::sort(fresh.begin(), fresh.end());
    int shown = 0;
    bool whole = true;
    for (const auto& [order, key] : fresh) {
        if (StopRequested() || app_.PopupAlerts() == 0) {
            whole = false;
            break;
        }
        shownUpTo_ = order;
        // The record as it is now: one removed while an earlier popup was open is skipped.
        CAlertItem alert;
        if (!app_.LookupAlert(*key, alert)) continue;
        show_(*key, alert, StopEvent());
        ++shown;
    }
    if (whole) lookedAt_ = view.alertsGeneration;
    return shown;
}

void CTarvellPopup::Run() {
    while (!WaitForStop(periodMs_)) LookOnce();
}

}  // namespace tarvell
