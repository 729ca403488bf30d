#include "viewer/core/settings/DevicesSettings.h"

#include <algorithm>
#include <set>

namespace tarvell {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool LessNoCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Lower(x) < Lower(y); });
}

// Every copy goes, so a list doubled by an older viewer heals.
void Remove(std::vector<std::string>& list, const std::string& entry) {
    list.erase(std::remove(list.begin(), list.end(), entry), list.end());
}

}  // namespace

DeviceEntry DeviceEntryOf(const std::string& key, std::string_view value) {
    DeviceEntry row;
    row.key = key;
    const std::size_t first = value.find('/');
    if (first == std::string_view::npos) {
        row.name = std::string(value);
        return row;
    }
    row.ip = std::string(value.substr(0, first));
    const std::string_view rest = value.substr(first + 1);
    row.name = std::string(rest.substr(0, rest.find('/')));
    return row;
}

std::vector<DeviceChoice> DeviceChoices(const DeviceTable& devices, bool byAddress) {
    std::vector<DeviceChoice> out;
    for (const auto& [key, value] : devices) {
        DeviceEntry row = DeviceEntryOf(key, value);
        std::string text = byAddress ? row.ip : row.name;
        if (byAddress && text.empty()) continue;
        out.push_back({std::move(text), key});
    }
    std::stable_sort(out.begin(), out.end(), [](const DeviceChoice& a, const DeviceChoice& b) {
        return LessNoCase(a.text, b.text);
    });
    return out;
}

// ---- devices

DeviceExclusions::DeviceExclusions(const DeviceTable& devices,
                                   const std::vector<std::string>& stored) {
    for (const auto& [key, value] : devices) {
        rows_.push_back(DeviceEntryOf(key, value));
        checked_.push_back(std::find(stored.begin(), stored.end(), key) != stored.end());
    }
}

bool DeviceExclusions::Set(std::size_t row, bool on) {
    if (row >= rows_.size()) return false;
    checked_[row] = on;
    return true;
}

void DeviceExclusions::SetAll(bool on) { std::fill(checked_.begin(), checked_.end(), on); }

std::vector<std::string> DeviceExclusions::Stored(const std::vector<std::string>& current) const {
    std::vector<std::string> out;
    std::set<std::string> shown;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        shown.insert(rows_[i].key);
        if (checked_[i]) out.push_back(rows_[i].key);
    }
    for (const std::string& key : current)
        if (!shown.count(key) && std::find(out.begin(), out.end(), key) == out.end())
            out.push_back(key);
    return out;
}

// ---- ports

void PortExclusions::ShowDevice(const DeviceTable& ports, const std::string& deviceKey) {
    device_ = deviceKey;
    rows_.clear();
    for (const auto& [key, text] : ports) {
        const std::size_t slash = key.find('/');
        if (key.substr(0, slash) == deviceKey) rows_.push_back(text);
    }
    std::stable_sort(rows_.begin(), rows_.end(), LessNoCase);
}

bool PortExclusions::Checked(std::size_t row) const {
    return row < rows_.size() &&
           std::find(entries_.begin(), entries_.end(), EntryOf(row)) != entries_.end();
}

bool PortExclusions::Set(std::size_t row, bool on) {
    if (row >= rows_.size()) return false;
    const std::string entry = EntryOf(row);
    Remove(entries_, entry);
    if (on) entries_.push_back(entry);
    return true;
}

void PortExclusions::SetAll(bool on) {
    for (std::size_t row = 0; row < rows_.size(); ++row) Set(row, on);
}

}  // namespace tarvell
