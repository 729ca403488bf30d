#include "viewer/core/protection/DeviceChoice.h"

#include <algorithm>
#include <set>

#include "viewer/core/base/StringTable.h"

namespace tarvell {

std::vector<DeviceRow> BuildDeviceRows(const std::map<std::string, std::string>& devices,
                                       const std::vector<std::string>& chosen) {
    const std::set<std::string> wanted(chosen.begin(), chosen.end());
    std::vector<DeviceRow> rows;
    rows.reserve(devices.size());
    for (const auto& [key, value] : devices) {
        DeviceRow row;
        const std::size_t first = value.find('/');
        if (first == std::string::npos) {
            row.name = value;
        } else {
            row.ip = value.substr(0, first);
            const std::size_t second = value.find('/', first + 1);
            row.name = value.substr(
                first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
        }
        row.key = key;
        row.checked = wanted.count(key) != 0;
        rows.push_back(std::move(row));
    }
    std::set<std::string> added;
    for (const std::string& key : chosen) {
        if (devices.count(key) || !added.insert(key).second) continue;
        rows.push_back({key, "", key, true});
    }
    return rows;
}

std::optional<std::uint32_t> IpToHostOrder(const std::string& text) {
    std::uint32_t value = 0;
    std::size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != '.') return std::nullopt;
            ++at;
        }
        std::size_t digits = 0;
        unsigned number = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 3) {
            number = number * 10 + static_cast<unsigned>(text[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0 || number > 255) return std::nullopt;
        value = (value << 8) | number;
    }
    if (at != text.size()) return std::nullopt;
    return value;
}

bool DeviceRowBefore(const DeviceRow& a, const DeviceRow& b, DeviceColumn column, bool ascending) {
    const DeviceRow& x = ascending ? a : b;
    const DeviceRow& y = ascending ? b : a;
    switch (column) {
        case DeviceColumn::Ip: {
            const auto ix = IpToHostOrder(x.ip), iy = IpToHostOrder(y.ip);
            if (ix && iy) return *ix < *iy;
            if (ix || iy) return ix.has_value();
            return x.ip < y.ip;
        }
        case DeviceColumn::Key: return x.key < y.key;
        case DeviceColumn::Name:
        default: return x.name < y.name;
    }
}

DeviceVerdict ConfirmDevices(bool allDevices, const std::vector<DeviceRow>& rows) {
    if (allDevices) return {};
    DeviceVerdict verdict;
    for (const DeviceRow& row : rows)
        if (row.checked) verdict.keys.push_back(row.key);
    if (verdict.keys.empty()) verdict.message = str::kSettingsInvalid;
    return verdict;
}

}  // namespace tarvell
