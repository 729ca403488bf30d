// The SNMP trap alert channel: every alert as one trap per manager whose filters accept it,
// through the service's SNMP client (SNMPv1 with a community, or SNMPv3 as the configured user).
// The trap's one binding is an OCTET STRING under <enterprise><suffix> holding
// "DeviceIp/DevicePort: text"; a value longer than kMaxTrapValue bytes is cut so that the trap
// fits one unfragmented datagram.
#pragma once

#include <string>

#include "service/alerts/AlertChannelThread.h"

namespace tarvell {

inline constexpr std::size_t kMaxTrapValue = 1300;
inline constexpr const char* kPublicEnterprise = "1.3.6.1.3";

// ".1" for a detection alert, ".2" for a prevention alert, empty for any other category.
std::string TrapSuffix(const CAlertItem& alert);
// The community (or the SNMPv3 marker) and the enterprise the settings give.
std::string TrapCommunity(const CTarvellDoc& settings);
std::string TrapEnterprise(const CTarvellDoc& settings);

class CScanAlertsSnmp : public AlertChannelThread {
public:
    explicit CScanAlertsSnmp(CTarvellFrm& engine, std::int64_t intervalMs = 1000);
    ~CScanAlertsSnmp() override { StopAndJoin(); }
    bool SendTrap(const std::string& manager, const std::string& suffix, const std::string& value,
                  const CTarvellDoc& settings);

protected:
    bool Enabled(const CTarvellDoc& settings) const override { return settings.SnmpAlertsOn != 0; }
    void Deliver(const std::string& key, const CAlertItem& alert,
                 const CTarvellDoc& settings) override;
};

}  // namespace tarvell
