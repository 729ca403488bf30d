#include "viewer/core/settings/PanelFields.h"

#include <algorithm>
#include <array>

#include "viewer/core/settings/SnmpSettings.h"

namespace tarvell {

namespace {

constexpr std::array kDevicesFields = {
    PanelField{"Enable discovery from standard monitoring database.",
               &CTarvellDoc::DiscoverDatabaseEnabled},
    PanelField{"Enable discovery from snmp link traps.", &CTarvellDoc::DiscoverTrapsEnabled},
    PanelField{"Exclude devices interconnecting trunking ports (recommended).",
               &CTarvellDoc::ExcludeTrunkPorts},
    PanelField{"Exclude specific devices addresses.", &CTarvellDoc::ExcludeDevicesEnabled},
    PanelField{"Exclude specific devices ports.", &CTarvellDoc::ExcludePortsEnabled},
    PanelField{"Exclude specific port types.", &CTarvellDoc::ExcludePortTypesEnabled},
};

constexpr std::array kNodesFields = {
    PanelField{"Unmanaged specific nodes MAC addresses...", &CTarvellDoc::UnmanagedMacEnabled},
    PanelField{"Unmanaged specific nodes IP addresses...", &CTarvellDoc::UnmanagedIpEnabled},
    PanelField{"Exclude direct nodes (nodes that located on device port without other nodes).",
               &CTarvellDoc::ExcludeDirectNodes},
    PanelField{"Exclude indirect nodes (nodes that located on device port with other nodes).",
               &CTarvellDoc::ExcludeIndirectNodes},
};

constexpr std::array kSnmpFields = {
    PanelField{"Use maximum waiting time of:", &CTarvellDoc::SnmpTimeout, kSnmpTimeoutMin,
               kSnmpTimeoutMax},
    PanelField{"Use maximum retry queries of:", &CTarvellDoc::SnmpRetries, kSnmpRetriesMin,
               kSnmpRetriesMax},
    PanelField{"Enable SNMPv1 vantor community for query SNMP devices (recommended).",
               &CTarvellDoc::SnmpPublicEnabled},
    PanelField{"Enable SNMPv1 additional communities for query SNMP devices...",
               &CTarvellDoc::SnmpCommunitiesEnabled},
    PanelField{"Enable SNMPv3 for query SNMP devices...", &CTarvellDoc::SnmpV3Enabled},
};

}  // namespace

std::int32_t ClampToField(const PanelField& field, std::int64_t stored) {
    if (field.IsCheck()) return stored != 0 ? 1 : 0;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(stored, field.low, field.high));
}

FieldsPanel::FieldsPanel(std::span<const PanelField> fields)
    : fields_(fields), values_(fields.size(), 0) {
    for (std::size_t i = 0; i < fields_.size(); ++i) values_[i] = ClampToField(fields_[i], 0);
}

void FieldsPanel::Load(const CTarvellDoc& doc) {
    for (std::size_t i = 0; i < fields_.size(); ++i)
        values_[i] = ClampToField(fields_[i], doc.*(fields_[i].field));
}

void FieldsPanel::Store(CTarvellDoc& doc) const {
    for (std::size_t i = 0; i < fields_.size(); ++i) doc.*(fields_[i].field) = values_[i];
}

void FieldsPanel::SetValue(std::size_t index, std::int64_t value) {
    values_.at(index) = ClampToField(fields_[index], value);
}

std::span<const PanelField> DevicesPanelFields() { return kDevicesFields; }
std::span<const PanelField> NodesPanelFields() { return kNodesFields; }
std::span<const PanelField> SnmpPanelFields() { return kSnmpFields; }

}  // namespace tarvell
