#include "service/alerts/CScanAlertsSyslog.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/Text.h"
#include "service/alerts/AlertText.h"

namespace tarvell {
namespace {

constexpr int kLocal0 = 16;
constexpr int kLocal7 = 23;
constexpr int kInformational = 6;
constexpr int kWarning = 4;
constexpr int kDebug = 7;

int Pri(int facility, int severity) { return facility * 8 + severity; }

}  // namespace

int SyslogPriority(const CTarvellDoc& settings, const CAlertItem& alert) {
    if (settings.SyslogStandardMode != 0) {
        if (alert.Category == "Detection") return Pri(kLocal0, kInformational);
        if (alert.Category == "Prevention") return Pri(kLocal0, kWarning);
        return Pri(kLocal7, kDebug);
    }
    if (settings.SyslogSpecificMode != 0) {
        // Out-of-range settings are held to Local0..Local7 and Emergency..Debug.
        const int facility = std::clamp(settings.SyslogFacility, 0, 7);
        const int severity = std::clamp(settings.SyslogSeverity, 0, 7);
        return Pri(kLocal0 + facility, severity);
    }
    return Pri(kLocal7, kDebug);
}

std::string SyslogMessage(int priority, const CAlertItem& alert, const std::string& alertText) {
    // A receiver splits datagrams into records at line ends: a value holding CR, LF or another
    // control byte must not start a record of its own.
    std::string text = alert.DeviceIp + "/" + alert.DevicePort + ": " + alertText;
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    return "<" + std::to_string(priority) + ">" + text;
}

CScanAlertsSyslog::CScanAlertsSyslog(CTarvellFrm& engine, std::uint16_t port,
                                     std::int64_t intervalMs)
    : AlertChannelThread(engine, engine.SyslogQueue, engine.SyslogTestFlag, "Syslog", intervalMs),
      port_(port) {}

void CScanAlertsSyslog::Deliver(const std::string&, const CAlertItem& alert,
                                const CTarvellDoc& settings) {
    const std::string text = ChannelAlertText(engine_, alert);
    const std::string message =
        Cp1252ToUtf8(SyslogMessage(SyslogPriority(settings, alert), alert, text));
    for (const std::string& entry : settings.SyslogListeners) {
        const TargetDecision decision = TargetMatchesAlert(entry, alert, text);
        if (!decision.deliver) continue;
        std::string why;
        ReportDelivery(decision.target, SendDatagram(decision.target, message, &why), why);
    }
}

bool CScanAlertsSyslog::SendDatagram(const std::string& listener, const std::string& message,
                                     std::string* why) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port_);
    if (::inet_pton(AF_INET, listener.c_str(), &to.sin_addr) != 1) {
        if (why) *why = "not a dotted IPv4 address";
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) {
        if (why) *why = std::strerror(errno);
        return false;
    }
    const ssize_t sent = ::sendto(fd, message.data(), message.size(), 0,
                                  reinterpret_cast<sockaddr*>(&to), sizeof to);
    const int error = errno;
    ::close(fd);
    if (sent != static_cast<ssize_t>(message.size())) {
        if (why) *why = sent < 0 ? std::strerror(error) : "datagram cut short";
        return false;
    }
    return true;
}

}  // namespace tarvell
