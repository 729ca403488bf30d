// The exclusion pages of the Devices panel without their widgets: the device table's values as
// rows, the drop-downs of the ports page, and the two working lists. A device value reads
// "<ip>/<name>/..." (a value without "/" is a name without address); a port key begins with
// "<device key>/"; an excluded port is stored as "<device key>/<port text>", as the service
// compares it.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tarvell {

using DeviceTable = std::map<std::string, std::string>;

// A device of the table as the Devices pages show it.
struct DeviceEntry {
    std::string name;
    std::string ip;
    std::string key;
};

DeviceEntry DeviceEntryOf(const std::string& key, std::string_view value);

// A drop-down item of the ports page: the shown text and its device's key.
struct DeviceChoice {
    std::string text;
    std::string key;
};
// The names (or addresses) of the table sorted without regard to case; devices without an
// address are not offered by address.
std::vector<DeviceChoice> DeviceChoices(const DeviceTable& devices, bool byAddress);

// "Exclude Devices": one row per device of the table, checked when its key is stored.
class DeviceExclusions {
public:
    DeviceExclusions(const DeviceTable& devices, const std::vector<std::string>& stored);

    const std::vector<DeviceEntry>& Rows() const { return rows_; }
    bool Checked(std::size_t row) const { return row < checked_.size() && checked_[row]; }
    // False for a row outside the list (nothing changes).
    bool Set(std::size_t row, bool on);
    void SetAll(bool on);
    // The keys of the checked rows in list order, then the keys of `current` (the list as
    // stored now) that the table lacks: a device not read yet stays excluded.
    std::vector<std::string> Stored(const std::vector<std::string>& current) const;

private:
    std::vector<DeviceEntry> rows_;
    std::vector<bool> checked_;
};

// "Exclude Ports": the working list over every device and the rows of the device shown.
class PortExclusions {
public:
    explicit PortExclusions(std::vector<std::string> stored) : entries_(std::move(stored)) {}

    // The device's ports (port keys "<key>/..."), sorted without regard to case.
    void ShowDevice(const DeviceTable& ports, const std::string& deviceKey);
    const std::string& Device() const { return device_; }
    const std::vector<std::string>& Rows() const { return rows_; }
    bool Checked(std::size_t row) const;
    // A row ticked or cleared: its entry leaves the list and, when ticked, is appended again.
    // False for a row outside the list (nothing changes).
    bool Set(std::size_t row, bool on);
    // Every row ticked (each entry moved to the end, never doubled) or cleared.
    void SetAll(bool on);
    const std::vector<std::string>& Entries() const { return entries_; }

private:
    std::string EntryOf(std::size_t row) const { return device_ + "/" + rows_[row]; }

    std::vector<std::string> entries_;
    std::string device_;
    std::vector<std::string> rows_;
};

}  // namespace tarvell
