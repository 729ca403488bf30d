#include "viewer/core/CTarvellPopup.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <vector>

namespace tarvell {

std::pair<std::int64_t, std::int64_t> AlertKeyOrder(const std::string& key) {
    const std::size_t dot = key.find('.');
    std::int64_t seconds = 0;
    std::int64_t counter = 0;
    const char* begin = key.data();
    const char* end = key.data() + key.size();
    if (dot == std::string::npos) return {-1, -1};
    const auto a = std::from_chars(begin, begin + dot, seconds);
    const auto b = std::from_chars(begin + dot + 1, end, counter);
    if (a.ec != std::errc() || a.ptr != begin + dot || b.ec != std::errc() || b.ptr != end) return {-1, -1};
    return {seconds, counter};
}

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
        const auto order = AlertKeyOrder(key);
        if (order.first >= 0 && order > shownUpTo_) fresh.push_back({order, key});
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
