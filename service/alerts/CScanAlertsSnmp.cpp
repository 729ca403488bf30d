#include "service/alerts/CScanAlertsSnmp.h"

#include <cstring>

#include "platform/Text.h"
#include "service/alerts/AlertText.h"
#include "service/engine/SnmpClient.h"

namespace tarvell {

std::string TrapSuffix(const CAlertItem& alert) {
    if (alert.Category == "Detection") return ".1";
    if (alert.Category == "Prevention") return ".2";
    return {};
}

std::string TrapCommunity(const CTarvellDoc& settings) {
    if (settings.SnmpTrapSpecific == 0) return "public";
    if (settings.SnmpTrapV3On != 0) return SnmpClient::kV3Marker;
    if (settings.SnmpTrapCommunityOn != 0 && !settings.SnmpTrapCommunity.empty())
        return settings.SnmpTrapCommunity;
    return "public";
}

std::string TrapEnterprise(const CTarvellDoc& settings) {
    if (settings.SnmpTrapSpecific == 0 || settings.SnmpTrapEnterprise.empty())
        return kPublicEnterprise;
    std::string enterprise = settings.SnmpTrapEnterprise;
    if (enterprise.front() == '.') enterprise.erase(0, 1);
    return enterprise;
}

namespace {

// At most `limit` bytes of UTF-8 text, never ending inside a character.
std::string CutUtf8(std::string text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    return text;
}

}  // namespace

CScanAlertsSnmp::CScanAlertsSnmp(CTarvellFrm& engine, std::int64_t intervalMs)
    : AlertChannelThread(engine, engine.SnmpQueue, engine.SnmpTestFlag, "SNMP trap", intervalMs) {}

void CScanAlertsSnmp::Deliver(const std::string&, const CAlertItem& alert,
                              const CTarvellDoc& settings) {
    const std::string text = ChannelAlertText(engine_, alert);
    const std::string value = alert.DeviceIp + "/" + alert.DevicePort + ": " + text;
    const std::string suffix = TrapSuffix(alert);
    for (const std::string& entry : settings.SnmpManagers) {
        const TargetDecision decision = TargetMatchesAlert(entry, alert, text);
        if (!decision.deliver) continue;
        ReportDelivery(decision.target, SendTrap(decision.target, suffix, value, settings),
                       "the trap could not be sent");
    }
}

bool CScanAlertsSnmp::SendTrap(const std::string& manager, const std::string& suffix,
                               const std::string& value, const CTarvellDoc& settings) {
    if (!engine_.Snmp) return false;
    const std::string oid = TrapEnterprise(settings) + suffix;
    const std::string utf8 = CutUtf8(Cp1252ToUtf8(value), kMaxTrapValue);
    if (oid.size() >= SnmpOidEntry::kTextSize) return false;
    SnmpOidEntry entry{};
    std::memcpy(entry.oid, oid.c_str(), oid.size() + 1);
    std::memcpy(entry.value, utf8.c_str(), utf8.size() + 1);
    return engine_.Snmp->Request(SnmpClient::kTrap, manager, TrapCommunity(settings),
                                 static_cast<std::uint32_t>(settings.SnmpTimeout),
                                 static_cast<std::uint32_t>(settings.SnmpRetries), 1, 10,
                                 &entry) == 1;
}

}  // namespace tarvell
