// The node tools of the event details dialog without their widgets: the device value split, the
// location text, option parsing, address checks, and the ping and SNMP runs over small backends.
// A run writes its text through a sink and stops between rounds once its cancel flag is set.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wmi/WmiClient.h"
#include "viewer/core/hub/CTarvellApp.h"

namespace tarvell::nodetools {

struct DeviceFields {
    std::string ip, name, contact, location;
};
// "<ip>/<name>/<contact>/<location>" with fewer fields: two fill ip and name, one is the name,
// three fill ip, name and location.
DeviceFields SplitDeviceValue(std::string_view value);
// The first of several ";"-separated MAC addresses.
std::string FirstMac(std::string_view sourceMac);
// Five "<label>:\t<value>\r\n" lines for the switch and the port of an event.
std::string LocationText(const EventsSnapshot& events, const std::string& switchKey,
                         const std::string& eventKey);

// A dotted IPv4 address of four decimal parts 0..255, nothing else.
bool IsDottedIPv4(std::string_view text);
// A dotted IPv4 address or a host name (letters, digits, "-" and "." labels, at most 253
// characters); anything a shell or a URL would read further is refused.
bool IsDeviceAddress(std::string_view text);
std::string DeviceWebUrl(const std::string& address);                        // "http://<address>"
std::vector<std::string> DeviceTelnetArguments(const std::string& address);  // -e telnet <a>

inline constexpr int kMaxPingSize = 65500;
inline constexpr int kMinTimeoutMs = 1;
inline constexpr int kMaxTimeoutMs = 60000;
// Decimal digits only (at most 9); the value is brought within lo..hi. Anything else: nullopt.
std::optional<int> ParseBounded(std::string_view text, int lo, int hi);

// ---- the tools' options dialogs
// One text an options dialog asks for; its initial value is set each time the dialog opens.
struct OptionField {
    const char* label;
    const char* initial;
    const char* unit;  // the text after the edit, "" when none
    bool digitsOnly;   // at most kMaxOptionDigits digits, nothing else
    bool password;
};
struct ToolOptionsForm {
    int dialogId;
    const char* caption;
    const char* header;
    OptionField first, second;
};
inline constexpr int kMaxOptionDigits = 9;  // what ParseBounded reads
// The dialog of tool tab 1 (ping), 2 (SNMP) or 3 (WMI); another tab gives the ping's.
const ToolOptionsForm& ToolOptionsFormOf(int tab);

using LineSink = std::function<void(const std::string&)>;  // text to append, "\r\n" included

// ---- ping ----
struct EchoReply {
    bool answered = false;
    std::string from;  // dotted address of the replying node
    std::string data;  // the reply's data, exactly as long as received
    long ms = 0;       // round trip
};
class EchoBackend {
public:
    virtual ~EchoBackend() = default;
    // Empty when a socket is open, else the reason.
    virtual std::string Open() = 0;
    virtual EchoReply Echo(const std::string& target, const std::string& payload,
                           int timeoutMs) = 0;
};
// The request data: the token's decimal text, a zero, then zeros up to `size`.
std::string PingPayload(std::uint32_t token, int size);
// True when the reply's data holds the token's text and its zero within its length.
bool ReplyCarriesToken(std::string_view data, std::uint32_t token);

struct PingResult {
    int sent = 0, received = 0;
};
// Four rounds, then the statistics. An invalid target or an unparsable option writes one line
// and sends nothing; no socket writes its reason and no statistics. A cancel ends the run
// between rounds without statistics.
PingResult RunPing(EchoBackend& backend, const std::string& target, std::string_view sizeText,
                   std::string_view timeoutText, std::uint32_t token,
                   const std::atomic<bool>& cancel, const LineSink& sink);

// ---- SNMP ----
// The six system-group values; a field whose binding had another type or was missing stays
// empty (uptime absent).
struct SystemGroup {
    std::string description, objectId, contact, name, location;
    std::optional<std::uint32_t> uptimeTicks;
};
enum class GetStatus { Answered, TimedOut };
class SnmpBackend {
public:
    virtual ~SnmpBackend() = default;
    // Empty when the session could be set up, else the reason.
    virtual std::string Open(const std::string& target, const std::string& community,
                             int timeoutMs) = 0;
    virtual GetStatus GetSystemGroup(SystemGroup& out) = 0;
};
inline constexpr const char* kSystemGroupOids[6] = {"1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.2.0",
                                                    "1.3.6.1.2.1.1.3.0", "1.3.6.1.2.1.1.4.0",
                                                    "1.3.6.1.2.1.1.5.0", "1.3.6.1.2.1.1.6.0"};
inline constexpr int kMaxSnmpRequests = 4;
// Hundredths of a second as "<days>:<hh>:<mm>:<ss>".
std::string UptimeText(std::uint32_t ticks);
std::string SystemGroupText(const SystemGroup& group);
PingResult RunSnmp(SnmpBackend& backend, const std::string& target, const std::string& community,
                   std::string_view timeoutText, const std::atomic<bool>& cancel,
                   const LineSink& sink);

// ---- WMI ----
// The account is used only when both parts are set and the target is not this machine.
bool WmiUsesAccount(const std::string& user, const std::string& password, const std::string& target,
                    const std::string& localIp);
// "System: ", "Description: ", "Name: ", "Username: ", "Organization: " with Caption,
// Description, CSName, RegisteredUser and Organization; a null value leaves the label alone.
std::string WmiObjectText(
    const std::function<std::optional<std::string>(const std::string& property)>& get);
// The query of the node's operating system: connects to root\\cimv2 of `target` (with the
// account only as WmiUsesAccount says), reads the five properties of Win32_OperatingSystem and
// writes the whole text once. A failed connection or query writes one line that says why.
void RunWmi(WmiClient& client, const std::string& target, const std::string& user,
            const std::string& password, const std::string& localIp,
            const std::atomic<bool>& cancel, const LineSink& sink);

}  // namespace tarvell::nodetools
