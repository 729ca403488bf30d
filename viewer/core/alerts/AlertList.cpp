#include "viewer/core/alerts/AlertList.h"

#include <algorithm>

#include "platform/DateText.h"
#include "shared/AlertKey.h"
#include "viewer/core/alerts/AlertText.h"

namespace tarvell {

std::optional<AlertList::Plan> AlertList::PlanFrom(std::uint32_t mode, std::uint64_t generation,
                                                   std::shared_ptr<const AlertsSnapshot> alerts) {
    if (last_ && last_->mode == mode && last_->generation == generation) return std::nullopt;
    // Another kind: every row is new to the comparison.
    if (last_ && last_->mode != mode) last_.reset();
    const bool sameKind = last_.has_value();
    Plan plan;
    plan.next.reserve(entries_.size() + 16);
    plan.from.reserve(entries_.size() + 16);
    plan.change.reserve(entries_.size() + 16);
    std::vector<std::uint8_t> kept(entries_.size(), 0);
    std::size_t old = 0;
    const std::string_view category = ModeCategory(mode);
    if (alerts && !category.empty()) {
        for (const auto& [key, alert] : alerts->AlertLog) {
            if (!alert || alert->Category != category) continue;
            const std::string_view k(key);
            while (sameKind && old < entries_.size() && entries_[old].key < k) ++old;
            const bool known = sameKind && old < entries_.size() && entries_[old].key == k;
            plan.next.push_back({k, alert.get(), {}});
            if (!known) {
                plan.from.push_back(-1);
                plan.change.push_back(0);
                ++plan.added;
                continue;
            }
            const CAlertItem* was = entries_[old].alert;
            kept[old] = 1;
            const bool same = was == alert.get() || *was == *alert;
            // The plan replaces the entries it walks: an unchanged row's text moves over.
            if (same) plan.next.back().sortText = std::move(entries_[old].sortText);
            plan.from.push_back(static_cast<std::int32_t>(old));
            plan.change.push_back(same ? 0 : 1);
            ++old;
        }
    }
    plan.removed = RemovedRows(kept);
    plan.keep = std::move(alerts);
    last_ = Last{mode, generation};
    return plan;
}

std::string AlertList::Cell(int row, int column) const {
    if (!Valid(row)) return {};
    const AlertEntry& e = At(row);
    switch (column) {
        case 0: return FormatUserDateTime(AlertKeySeconds(e.key));
        case 1: return e.alert->DeviceName;
        case 2: return e.alert->DeviceIp;
        case 3: return e.alert->DevicePort;
        case 4: {
            if (!e.sortText.empty()) return e.sortText;
            const AlertText t = MakeAlertText(*e.alert);
            return t.heading + " (" + t.text + ")";
        }
        default: return {};
    }
}

AlertRow AlertList::Row(int row) const {
    if (!Valid(row)) return {};
    return MakeAlertRow(std::string(At(row).key), *At(row).alert);
}

std::vector<int> AlertList::SortRows(int column, bool ascending) {
    if (column != 4)
        for (AlertEntry& e : entries_) std::string().swap(e.sortText);
    // Descending swaps the operands, so equal rows keep their order either way.
    const auto less = [ascending](const auto& a, const auto& b) {
        return ascending ? a < b : b < a;
    };
    switch (column) {
        case 0:
            return SortBy<std::pair<std::int64_t, std::int64_t>>(
                [](const AlertEntry& e) { return AlertKeyOrder(e.key); }, less, false);
        case 2:
            return SortBy<std::uint32_t>(
                [](const AlertEntry& e) { return IpToHostOrder(e.alert->DeviceIp); }, less, false);
        case 1:
        case 3:
            return SortBy<std::string_view>(
                [column](const AlertEntry& e) -> std::string_view {
                    return column == 1 ? e.alert->DeviceName : e.alert->DevicePort;
                },
                [ascending](std::string_view a, std::string_view b) {
                    return ascending ? ReportCellLess(a, b) : ReportCellLess(b, a);
                },
                false);
        case 4: {
            // Made for the rows that have none (new, changed, or the first sort by it).
            for (std::uint32_t i : order_) {
                AlertEntry& e = entries_[i];
                if (e.sortText.empty()) {
                    const AlertText t = MakeAlertText(*e.alert);
                    e.sortText = t.heading + " (" + t.text + ")";
                }
            }
            return SortBy<std::string_view>(
                [](const AlertEntry& e) -> std::string_view { return e.sortText; },
                [ascending](std::string_view a, std::string_view b) {
                    return ascending ? ReportCellLess(a, b) : ReportCellLess(b, a);
                },
                false);
        }
        default: return {};
    }
}

}  // namespace tarvell
