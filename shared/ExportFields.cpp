#include "shared/ExportFields.h"

namespace tarvell {

const std::array<const char*, kExportFields>& EventExportFields() {
    static const std::array<const char*, kExportFields> fields = {
        "Occurrence", "DeviceName", "DeviceIp", "DevicePort", "SourceMac",
        "SourceIp",   "SourceName", "Blocked",  "Description"};
    return fields;
}

const std::array<const char*, kExportFields>& AlertExportFields() {
    static const std::array<const char*, kExportFields> fields = {
        "Occurrence", "DeviceName", "DeviceIp",   "DevicePort", "DeviceLocation",
        "SourceMac",  "SourceIp",   "SourceName", "Description"};
    return fields;
}

}  // namespace tarvell
