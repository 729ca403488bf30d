#include "viewer/core/alerts/AlertPlan.h"

namespace tarvell {

void AlertPlanner::Reset() {
    last_.reset();
    rows_.clear();
    alerts_.reset();
}

std::optional<AlertDiff> AlertPlanner::Plan(std::uint32_t mode, std::uint64_t generation,
                                            const std::shared_ptr<const AlertsSnapshot>& alerts) {
    if (last_ && last_->first == mode && last_->second == generation) return std::nullopt;
    if (last_ && last_->first != mode) rows_.clear();
    AlertDiff diff;
    std::unordered_map<std::string_view, const CAlertItem*> next;
    next.reserve(rows_.size() + 16);
    const std::string_view category = ModeCategory(mode);
    if (alerts && !category.empty()) {
        for (const auto& [key, alert] : alerts->AlertLog) {
            if (!alert || alert->Category != category) continue;
            next.emplace(key, alert.get());
            const auto old = rows_.find(key);
            const bool known = old != rows_.end();
            if (known && (old->second == alert.get() || *old->second == *alert)) continue;
            (known ? diff.changed : diff.added).push_back(MakeAlertRow(key, *alert));
        }
    }
    for (const auto& [key, alert] : rows_)
        if (!next.count(key)) diff.removed.emplace_back(key);
    rows_ = std::move(next);
    alerts_ = alerts;
    last_ = {mode, generation};
    return diff;
}

}  // namespace tarvell
