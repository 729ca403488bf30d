// The current detection or prevention event of one switch port.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/Archive.h"
#include "shared/RecordFields.h"

namespace tarvell {

class CEventItem {
public:
    static constexpr const char* kClassName = "CEventItem";
    static constexpr std::uint16_t kSchema = 1;

    std::int32_t Blocked = 0;   // 1 while the event's node is (to be) blocked
    std::int32_t Deleted = 0;   // 1 when the event is purged at the next service start
    std::int32_t Severity = 0;  // 0 threshold, 1 Low .. 5 Severe
    std::string DateKey;        // "%ld" seconds of the recording
    std::string Description;    // event type name for the configured description text
    std::string EventType;      // event type name for the configured cause text
    std::string Before;
    std::string Current;
    std::string Category;  // "Detection", "Prevention" or "Test Alert"
    std::string DeviceIp;
    std::string SourceIp;
    std::string Submitter;
    std::string SwitchKey;
    std::string SourceMac;
    std::string DeviceName;
    std::string SourceName;
    std::string DevicePort;
    std::string PortKey;
    std::string DeviceLocation;
    std::string Extra;  // "%ld" time of the completed block, empty while not shut

    // Fields in the order they are archived.
    static std::span<const RecordField<CEventItem>> ArchiveFields();

    void Store(ArchiveWriter& ar) const;
    void Load(ArchiveReader& ar);
    std::vector<RecordValue> Values() const { return RecordValues(*this, ArchiveFields()); }

    bool operator==(const CEventItem&) const = default;
};

}  // namespace tarvell
