// The rows of a long list kept by key: the entries in key order (as the hub's snapshots hold
// them) and the order the list shows them in, as indexes into the entries. A list screen plans
// its entries from a snapshot, then brings the shown rows to the plan in three steps, each of
// which a table model can announce on its own: the rows that go leave the display (Unshow),
// the plan's entries replace the current ones while every shown row stays where it is (Commit,
// which names the rows whose texts may differ), and the new entries are shown after the others
// (ShowNew). An entry holds no text: a row's texts are made from its record when asked, so only
// the rows on screen are ever converted.
//
// Entries point into the snapshot that `keep` holds alive. Not thread-safe: one list per screen,
// on the thread of its screen. Row numbers outside the list are ignored.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <numeric>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvell {

template <class Entry>
class KeyedRows {
public:
    // A plan not yet applied.
    struct Plan {
        std::vector<Entry> next;           // the planned entries, in key order
        std::vector<std::int32_t> from;    // per planned entry: the current entry it continues,
                                           // -1 for a new one
        std::vector<std::uint8_t> change;  // per planned entry: its texts may differ
        std::vector<int> removed;          // shown rows whose entries go, ascending
        int added = 0;                     // planned entries that are new
        std::shared_ptr<const void> keep;  // what the planned entries point into
        bool Empty() const {
            return removed.empty() && added == 0 &&
                   std::find(change.begin(), change.end(), 1) == change.end();
        }
    };

    int Count() const { return static_cast<int>(order_.size()); }
    const Entry& At(int row) const { return entries_[order_[static_cast<std::size_t>(row)]]; }
    Entry& At(int row) { return entries_[order_[static_cast<std::size_t>(row)]]; }
    bool Valid(int row) const { return row >= 0 && row < Count(); }
    // The entries in key order (those not shown included, between Commit and ShowNew).
    const std::vector<Entry>& Entries() const { return entries_; }

    // The heap bytes the rows take (what the snapshot holds aside).
    std::size_t Footprint() const {
        return entries_.capacity() * sizeof(Entry) +
               (order_.capacity() + fresh_.capacity()) * sizeof(std::uint32_t);
    }
    // The shown row of each entry, -1 for an entry not shown.
    std::vector<int> RowsOfEntries() const {
        std::vector<int> rows(entries_.size(), -1);
        for (std::size_t r = 0; r < order_.size(); ++r) rows[order_[r]] = static_cast<int>(r);
        return rows;
    }
    // The shown rows, ascending, of the entries a plan did not keep (`kept` flags each entry).
    std::vector<int> RemovedRows(const std::vector<std::uint8_t>& kept) const {
        std::vector<int> removed;
        const std::vector<int> rowOf = RowsOfEntries();
        for (std::size_t i = 0; i < entries_.size(); ++i)
            if (!kept[i] && rowOf[i] >= 0) removed.push_back(rowOf[i]);
        std::sort(removed.begin(), removed.end());
        return removed;
    }
    // The shown row of `key`, -1 when none. Linear in the rows.
    int RowOfKey(std::string_view key) const {
        const auto it = std::lower_bound(
            entries_.begin(), entries_.end(), key,
            [](const Entry& e, std::string_view k) { return e.key < k; });
        if (it == entries_.end() || it->key != key) return -1;
        const auto at = static_cast<std::uint32_t>(it - entries_.begin());
        const auto row = std::find(order_.begin(), order_.end(), at);
        return row == order_.end() ? -1 : static_cast<int>(row - order_.begin());
    }

    // ---- the steps that bring the rows to a plan
    void Unshow(int row) {
        if (Valid(row)) order_.erase(order_.begin() + row);
    }
    // Several rows at once; returns the new row of each old one (-1 for a row that left).
    std::vector<int> Unshow(std::vector<int> rows) {
        std::vector<int> newRowOf(order_.size(), 0);
        for (int r : rows)
            if (Valid(r)) newRowOf[static_cast<std::size_t>(r)] = -1;
        std::size_t kept = 0;
        for (std::size_t r = 0; r < order_.size(); ++r) {
            if (newRowOf[r] < 0) continue;
            newRowOf[r] = static_cast<int>(kept);
            order_[kept++] = order_[r];
        }
        order_.resize(kept);
        return newRowOf;
    }
    // The plan's entries replace the current ones; every shown entry must be one the plan
    // continues (the rows of its `removed` left first). Returns the shown rows whose texts may
    // differ, ascending.
    std::vector<int> Commit(Plan& plan) {
        std::vector<std::int32_t> newOf(entries_.size(), -1);
        fresh_.clear();
        for (std::size_t i = 0; i < plan.next.size(); ++i) {
            if (plan.from[i] >= 0) newOf[static_cast<std::size_t>(plan.from[i])] =
                static_cast<std::int32_t>(i);
            else fresh_.push_back(static_cast<std::uint32_t>(i));
        }
        std::vector<int> changed;
        for (std::size_t r = 0; r < order_.size(); ++r) {
            const std::int32_t now = newOf[order_[r]];
            order_[r] = static_cast<std::uint32_t>(now);
            if (plan.change[static_cast<std::size_t>(now)]) changed.push_back(static_cast<int>(r));
        }
        entries_ = std::move(plan.next);
        // A plan grows its vector as it walks; a long list keeps no spare quarter.
        if (entries_.capacity() > entries_.size() + entries_.size() / 4 + 64)
            entries_.shrink_to_fit();
        retired_ = std::exchange(keep_, std::move(plan.keep));
        plan = Plan{};
        return changed;
    }
    // The entries new with the last Commit are shown after the others, in key order.
    int ShowNew() {
        order_.insert(order_.end(), fresh_.begin(), fresh_.end());
        const int n = static_cast<int>(fresh_.size());
        std::vector<std::uint32_t>().swap(fresh_);
        return n;
    }
    // Entries whose rows were unshown outside a plan are forgotten.
    void DropUnshown() {
        std::vector<std::int32_t> newOf(entries_.size(), -1);
        for (std::uint32_t i : order_) newOf[i] = 0;
        std::size_t kept = 0;
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (newOf[i] < 0) continue;
            newOf[i] = static_cast<std::int32_t>(kept);
            entries_[kept++] = std::move(entries_[i]);
        }
        entries_.resize(kept);
        for (std::uint32_t& i : order_) i = static_cast<std::uint32_t>(newOf[i]);
        fresh_.clear();
    }
    void Clear() {
        entries_.clear();
        order_.clear();
        fresh_.clear();
        retired_ = std::move(keep_);
    }
    // What the entries pointed into before the last Commit or Clear, for its owner to free
    // where it was built (CTarvellApp::RetireSnapshot); null when taken already.
    std::shared_ptr<const void> TakeRetired() { return std::move(retired_); }

    // Orders the rows by a key worked out once per entry (`keyOf(entry)`), compared with `less`
    // (stable: equal rows keep their order). `unique`: no two entries have equal keys, so the
    // reverse of an ascending order is the descending one. Returns the new row of each old one;
    // empty when the rows were in order already.
    template <class Key, class KeyOf, class Less>
    std::vector<int> SortBy(const KeyOf& keyOf, const Less& less, bool unique) {
        std::vector<Key> keys(entries_.size());
        for (std::uint32_t i : order_) keys[i] = keyOf(entries_[i]);
        const auto byEntry = [&](std::uint32_t a, std::uint32_t b) {
            return less(keys[a], keys[b]);
        };
        if (std::is_sorted(order_.begin(), order_.end(), byEntry)) return {};
        std::vector<std::uint32_t> before = order_;
        if (unique && std::is_sorted(order_.rbegin(), order_.rend(), byEntry))
            std::reverse(order_.begin(), order_.end());
        else std::stable_sort(order_.begin(), order_.end(), byEntry);
        std::vector<int> rowOfEntry(entries_.size(), -1);
        for (std::size_t r = 0; r < order_.size(); ++r) rowOfEntry[order_[r]] = static_cast<int>(r);
        std::vector<int> newRowOf(before.size());
        for (std::size_t r = 0; r < before.size(); ++r) newRowOf[r] = rowOfEntry[before[r]];
        return newRowOf;
    }

protected:
    std::vector<Entry> entries_;        // in key order
    std::vector<std::uint32_t> order_;  // shown row -> entry
    std::vector<std::uint32_t> fresh_;  // entries new with the last Commit, not yet shown
    std::shared_ptr<const void> keep_;  // what the entries point into
    std::shared_ptr<const void> retired_;
};

}  // namespace tarvell
