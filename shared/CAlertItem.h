// One alert, made from an event or a test. Same text fields as the event without DateKey and
// Extra; the alert's time is part of its map key.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/Archive.h"
#include "shared/RecordFields.h"

namespace tarvell {

class CEventItem;

class CAlertItem {
public:
    static constexpr const char* kClassName = "CAlertItem";
    static constexpr std::uint16_t kSchema = 1;

    std::int32_t State = 0;  // 0 active, 1 removed
    std::int32_t Severity = 0;
    std::string Description;
    std::string EventType;
    std::string Before;
    std::string Current;
    std::string Category;
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

    static std::span<const RecordField<CAlertItem>> ArchiveFields();

    void Store(ArchiveWriter& ar) const;
    void Load(ArchiveReader& ar);
    std::vector<RecordValue> Values() const { return RecordValues(*this, ArchiveFields()); }

    bool operator==(const CAlertItem&) const = default;
};

// The alert of an event: its texts and severity, active.
std::unique_ptr<CAlertItem> AlertFromEvent(const CEventItem& event);

}  // namespace tarvell
