// The rows of the devices list dialog and its result: device keys of the hub's device table
// (values "<ip>/<name>/..."), an empty result meaning every device.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tarvell {

struct DeviceRow {
    std::string name, ip, key;
    bool checked = false;
};

// One row per device of the table, checked when its key is in `chosen`; then, for every chosen
// key the table does not hold (not read yet, device gone), a checked row labelled by the key, so
// an OK keeps it.
std::vector<DeviceRow> BuildDeviceRows(const std::map<std::string, std::string>& devices,
                                       const std::vector<std::string>& chosen);

// Dotted IPv4 text -> its value in host byte order; nullopt when it is not four numbers 0..255.
std::optional<std::uint32_t> IpToHostOrder(const std::string& text);

enum class DeviceColumn { Name = 0, Ip = 1, Key = 2 };

// Strict order of two rows by a column: the IP column by address value (an address that does not
// parse sorts after every one that does, then byte-wise), the others byte-wise; descending
// reverses the whole order.
bool DeviceRowBefore(const DeviceRow& a, const DeviceRow& b, DeviceColumn column, bool ascending);

struct DeviceVerdict {
    unsigned message = 0;  // 0: accepted, else 20021 (the dialog stays open)
    std::vector<std::string> keys;
};

// OK: "All devices" gives the empty list; "Only specific devices" gives the checked keys in row
// order and refuses an empty choice, which would silently mean every device.
DeviceVerdict ConfirmDevices(bool allDevices, const std::vector<DeviceRow>& rows);

}  // namespace tarvell
