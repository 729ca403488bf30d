#include "viewer/core/hub/CTarvellPopup.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <vector>

#include "shared/AlertKey.h"

namespace tarvell {

CTarvellPopup::CTarvellPopup(CTarvellApp& app, Show show, std::int64_t periodMs)
    : app_(app), show_(std::move(show)), periodMs_(periodMs) {}

int CTarvellPopup::LookOnce() {
    const std::string folder = app_.Server().Folder;
    if (folder != folder_) {
        // A new server: only what arrives from now on pops up.
        folder_ = folder;
        shownUpTo_ = {app_.clock().Now(), INT64_MAX};
    }
    if (app_.PopupAlerts() == 0) return 0;
    std::vector<std::pair<std::pair<std::int64_t, std::int64_t>, std::string>> fresh;
    const auto alerts = app_.Alerts();
    for (const auto& [key, alert] : alerts->AlertLog) {
        const std::optional<AlertKeyParts> parts = ParseAlertKey(key);
        if (!parts) continue;
        const std::pair<std::int64_t, std::int64_t> order{parts->seconds, parts->counter};
        if (order > shownUpTo_) fresh.push_back({order, key});
    }
    std::sort(fresh.begin(), fresh.end());
    int shown = 0;
    for (const auto& [order, key] : fresh) {
        if (StopRequested() || app_.PopupAlerts() == 0) break;
        show_(key, *alerts->AlertLog.at(key));
        shownUpTo_ = order;
        ++shown;
    }
    return shown;
}

void CTarvellPopup::Run() {
    while (!WaitForStop(periodMs_)) LookOnce();
}

}  // namespace tarvell
