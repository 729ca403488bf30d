#include "viewer/core/alerts/AlertPlan.h"

#include <algorithm>

namespace tarvell {

void AlertPlanner::Reset() {
    last_.reset();
    rows_.clear();
    alerts_.reset();
}

void AlertPlanner::Forget(const std::string& key) {
    const auto it =
        std::lower_bound(rows_.begin(), rows_.end(), std::string_view(key),
                         [](const auto& row, std::string_view k) { return row.first < k; });
    if (it != rows_.end() && it->first == key) rows_.erase(it);
}

std::optional<AlertDiff> AlertPlanner::Plan(std::uint32_t mode, std::uint64_t generation,
                                            const std::shared_ptr<const AlertsSnapshot>& alerts) {
    if (last_ && last_->first == mode && last_->second == generation) return std::nullopt;
    if (last_ && last_->first != mode) rows_.clear();
    AlertDiff diff;
    std::vector<std::pair<std::string_view, const CAlertItem*>> next;
    next.reserve(rows_.size() + 16);
    auto old = rows_.begin();
    const std::string_view category = ModeCategory(mode);
    if (alerts && !category.empty()) {
        for (const auto& [key, alert] : alerts->AlertLog) {
            if (!alert || alert->Category != category) continue;
            const std::string_view k(key);
            for (; old != rows_.end() && old->first < k; ++old)
                diff.removed.emplace_back(old->first);
            const bool known = old != rows_.end() && old->first == k;
            const CAlertItem* was = known ? old->second : nullptr;
            if (known) ++old;
            next.emplace_back(k, alert.get());
            if (known && (was == alert.get() || *was == *alert)) continue;
            (known ? diff.changed : diff.added).push_back(MakeAlertRow(key, *alert));
        }
    }
    for (; old != rows_.end(); ++old) diff.removed.emplace_back(old->first);
    rows_ = std::move(next);
    alerts_ = alerts;
    last_ = {mode, generation};
    return diff;
}

}  // namespace tarvell
