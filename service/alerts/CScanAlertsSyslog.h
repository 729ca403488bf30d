// The syslog alert channel: every alert as one datagram "<PRI>DeviceIp/DevicePort: text" to UDP
// port 514 of each listener whose filters accept it. Listener addresses are dotted IPv4 only
// (no name look-up); a malformed one is logged and skipped. Texts go out as UTF-8, on one line.
#pragma once

#include <cstdint>
#include <string>

#include "service/alerts/AlertChannelThread.h"

namespace tarvell {

inline constexpr std::uint16_t kSyslogPort = 514;

// The PRI number of an alert under the settings (standard mode by category, specific mode from
// facility and severity, else 191).
int SyslogPriority(const CTarvellDoc& settings, const CAlertItem& alert);
// The whole datagram text, each control byte of the values replaced by a blank.
std::string SyslogMessage(int priority, const CAlertItem& alert, const std::string& alertText);

class CScanAlertsSyslog : public AlertChannelThread {
public:
    CScanAlertsSyslog(CTarvellFrm& engine, std::uint16_t port = kSyslogPort,
                      std::int64_t intervalMs = 1000);
    ~CScanAlertsSyslog() override { StopAndJoin(); }
    // Sends one datagram; false with the reason when it could not be sent.
    bool SendDatagram(const std::string& listener, const std::string& message, std::string* why);

protected:
    bool Enabled(const CTarvellDoc& settings) const override {
        return settings.SyslogAlertsOn != 0;
    }
    void Deliver(const std::string& key, const CAlertItem& alert,
                 const CTarvellDoc& settings) override;

private:
    const std::uint16_t port_;
};

}  // namespace tarvell
