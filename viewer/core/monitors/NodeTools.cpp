#include "viewer/core/monitors/NodeTools.h"

#include <cstdio>

namespace tarvell::nodetools {

namespace {

// Splits at the first "/": the text before it, and `rest` becomes the text after it.
bool TakeField(std::string& rest, std::string& field) {
    const auto slash = rest.find('/');
    if (slash == std::string::npos) return false;
    field = rest.substr(0, slash);
    rest.erase(0, slash + 1);
    return true;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlnum(char c) { return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::string Statistics(const char* tool, const std::string& target, int sent, int received) {
    char buf[160];
    const int lost = sent - received;
    std::snprintf(buf, sizeof buf,
                  "\r\n%s statistics for %%s:\r\n\tPackets: Sent = %d, Received = %d, "
                  "Lost = %d (%d%% loss).",
                  tool, sent, received, lost, sent ? lost * 100 / sent : 0);
    std::string text = buf;
    text.replace(text.find("%s"), 2, target);
    return text;
}

std::string InvalidTarget(const std::string& target) {
    return "Invalid target address \"" + target + "\".\r\n";
}

}  // namespace

DeviceFields SplitDeviceValue(std::string_view value) {
    DeviceFields f;
    std::string v(value);
    std::string ip;
    if (TakeField(v, ip)) f.ip = ip;  // steps 1 and 2
    std::string name;
    if (!TakeField(v, name)) {  // step 3
        f.name = v;
        return f;
    }
    f.name = name;  // step 4
    std::string contact;
    if (TakeField(v, contact)) f.contact = contact;  // steps 5 and 6
    const auto slash = v.find('/');                  // step 7
    f.location = slash == std::string::npos ? v : v.substr(0, slash);
    return f;
}

std::string FirstMac(std::string_view sourceMac) {
    return std::string(sourceMac.substr(0, sourceMac.find(';')));
}

std::string LocationText(const EventsSnapshot& events, const std::string& switchKey,
                         const std::string& eventKey) {
    DeviceFields f;
    if (auto it = events.DeviceTable.find(switchKey); it != events.DeviceTable.end())
        f = SplitDeviceValue(it->second);
    std::string port;
    if (auto it = events.PortNames.find(eventKey); it != events.PortNames.end()) port = it->second;
    return "Device IP:\t" + f.ip + "\r\nDevice Name:\t" + f.name + "\r\nDevice Contact:\t" +
           f.contact + "\r\nDevice Location:\t" + f.location + "\r\nDevice Port:\t" + port + "\r\n";
}

bool IsDottedIPv4(std::string_view text) {
    int parts = 0;
    std::size_t i = 0;
    while (true) {
        std::size_t start = i;
        int value = 0;
        while (i < text.size() && IsDigit(text[i]) && i - start < 3)
            value = value * 10 + (text[i++] - '0');
        if (i == start || value > 255) return false;
        ++parts;
        if (i == text.size()) return parts == 4;
        if (text[i] != '.' || parts == 4) return false;
        ++i;
    }
}

bool IsDeviceAddress(std::string_view text) {
    if (IsDottedIPv4(text)) return true;
    if (text.empty() || text.size() > 253) return false;
    bool allNumeric = true;
    std::size_t label = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            if (label == 0 || label > 63 || text[i - 1] == '-' || text[i - label] == '-')
                return false;
            label = 0;
            continue;
        }
        const char c = text[i];
        if (!IsAlnum(c) && c != '-') return false;
        if (!IsDigit(c) && c != '.') allNumeric = false;
        ++label;
    }
    return !allNumeric;  // "10.0.0.300" is a bad address, not a host name
}

std::string DeviceWebUrl(const std::string& address) { return "http://" + address; }

std::vector<std::string> DeviceTelnetArguments(const std::string& address) {
    return {"-e", "telnet", address};
}

std::optional<int> ParseBounded(std::string_view text, int lo, int hi) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    long value = 0;
    for (char c : text) {
        if (!IsDigit(c)) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < lo) return lo;
    if (value > hi) return hi;
    return static_cast<int>(value);
}

const ToolOptionsForm& ToolOptionsFormOf(int tab) {
    // clang-format off
    static const ToolOptionsForm kForms[] = {
        {240, "Ping", "Set ping properties",
         {"Set ping size:", "32", "bytes.", true, false},
         {"Set ping timeout:", "1000", "milliseconds.", true, false}},
        {241, "Snmp", "Set snmp properties",
         {"Set snmp community:", "vantor", "", false, false},
         {"Set snmp timeout:", "1000", "milliseconds.", true, false}},
        {242, "Wmi", "Set wmi properties",
         {"Set wmi username:", "", "", false, false},
         {"Set wmi password:", "", "", false, true}},
    };
    // clang-format on
    return kForms[tab >= 1 && tab <= 3 ? tab - 1 : 0];
}

std::string PingPayload(std::uint32_t token, int size) {
    std::string payload = std::to_string(token);
    payload.push_back('\0');
    if (static_cast<int>(payload.size()) < size)
        payload.resize(static_cast<std::size_t>(size), '\0');
    return payload;
}

bool ReplyCarriesToken(std::string_view data, std::uint32_t token) {
    const std::string text = std::to_string(token);
    return data.size() > text.size() && data.substr(0, text.size()) == text &&
           data[text.size()] == '\0';
}

PingResult RunPing(EchoBackend& backend, const std::string& target, std::string_view sizeText,
                   std::string_view timeoutText, std::uint32_t token,
                   const std::atomic<bool>& cancel, const LineSink& sink) {
    PingResult r;
    if (!IsDottedIPv4(target)) {
        sink(InvalidTarget(target));
        return r;
    }
    const int minSize = static_cast<int>(std::to_string(token).size()) + 1;
    const auto size = ParseBounded(sizeText, minSize, kMaxPingSize);
    const auto timeout = ParseBounded(timeoutText, kMinTimeoutMs, kMaxTimeoutMs);
    if (!size || !timeout) {
        sink("Invalid ping option \"" + std::string(size ? timeoutText : sizeText) + "\".\r\n");
        return r;
    }
    if (const std::string reason = backend.Open(); !reason.empty()) {
        sink("No ICMP socket (" + reason + ").\r\n");
        return r;
    }
    const std::string payload = PingPayload(token, *size);
    for (int round = 0; round < 4; ++round) {
        if (cancel.load()) return r;
        const EchoReply reply = backend.Echo(target, payload, *timeout);
        ++r.sent;
        if (reply.answered && ReplyCarriesToken(reply.data, token)) {
            ++r.received;
            sink("Reply from " + reply.from + " : bytes=" + std::to_string(reply.data.size()) +
                 " time=" + std::to_string(reply.ms) + "ms\r\n");
        } else {
            sink("Request timed out.\r\n");
        }
    }
    if (cancel.load()) return r;
    sink(Statistics("Ping", target, r.sent, r.received));
    return r;
}

std::string UptimeText(std::uint32_t ticks) {
    const std::uint32_t s = ticks / 100;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%u:%02u:%02u:%02u", s / 86400, s / 3600 % 24, s / 60 % 60,
                  s % 60);
    return buf;
}

std::string SystemGroupText(const SystemGroup& g) {
    return "Description: " + g.description + "\r\n\r\nOid: " + g.objectId +
           "\r\n\r\nUptime: " + (g.uptimeTicks ? UptimeText(*g.uptimeTicks) : std::string()) +
           "\r\n\r\nContact: " + g.contact + "\r\n\r\nName: " + g.name +
           "\r\n\r\nLocation: " + g.location + "\r\n";
}

PingResult RunSnmp(SnmpBackend& backend, const std::string& target, const std::string& community,
                   std::string_view timeoutText, const std::atomic<bool>& cancel,
                   const LineSink& sink) {
    PingResult r;
    if (!IsDottedIPv4(target)) {
        sink(InvalidTarget(target));
        return r;
    }
    const auto timeout = ParseBounded(timeoutText, kMinTimeoutMs, kMaxTimeoutMs);
    if (!timeout) {
        sink("Invalid snmp option \"" + std::string(timeoutText) + "\".\r\n");
        return r;
    }
    if (const std::string reason = backend.Open(target, community, *timeout); !reason.empty()) {
        sink("Snmp session failed (" + reason + ").\r\n");
        return r;
    }
    while (r.sent < kMaxSnmpRequests && !cancel.load()) {
        SystemGroup group;
        ++r.sent;
        if (backend.GetSystemGroup(group) == GetStatus::Answered) {
            ++r.received;
            sink(SystemGroupText(group));
            break;
        }
        sink("Request timed out.\r\n");
    }
    if (r.sent > 0 && !cancel.load()) sink(Statistics("Snmp", target, r.sent, r.received));
    return r;
}

bool WmiUsesAccount(const std::string& user, const std::string& password, const std::string& target,
                    const std::string& localIp) {
    return !user.empty() && !password.empty() && target != localIp;
}

std::string WmiObjectText(
    const std::function<std::optional<std::string>(const std::string& property)>& get) {
    static const std::pair<const char*, const char*> kFields[] = {
        {"System: ", "Caption"},
        {"Description: ", "Description"},
        {"Name: ", "CSName"},
        {"Username: ", "RegisteredUser"},
        {"Organization: ", "Organization"}};
    std::string text;
    for (const auto& [label, property] : kFields) {
        text += label;
        if (auto value = get(property)) text += *value;
        text += "\r\n\r\n";
    }
    return text;
}

void RunWmi(WmiClient& client, const std::string& target, const std::string& user,
            const std::string& password, const std::string& localIp,
            const std::atomic<bool>& cancel, const LineSink& sink) {
    if (!IsDottedIPv4(target)) {
        sink(InvalidTarget(target));
        return;
    }
    const std::unique_ptr<WmiConnection> connection = client.Open(nullptr);
    std::optional<WmiAccount> account;
    if (WmiUsesAccount(user, password, target, localIp)) account = WmiAccount{user, "", password};
    std::string why;
    if (!connection ||
        !connection->Connect(target, "root\\cimv2", account, kWmiConnectLimitMs, &why)) {
        sink("WMI connection failed (" + (why.empty() ? std::string("no WMI backend") : why) +
             ").\r\n");
        return;
    }
    bool failed = false;
    const std::string text = WmiObjectText([&](const std::string& property) {
        std::optional<std::string> value;
        if (cancel.load() || failed) return value;
        const auto values =
            connection->Query("Select * from Win32_OperatingSystem", property, kWmiQueryLimitMs);
        if (!values) failed = true;
        else if (!values->empty()) value = values->front();
        return value;
    });
    connection->Disconnect();
    if (cancel.load()) return;
    sink(failed ? std::string("WMI query failed.\r\n") : text);
}

}  // namespace tarvell::nodetools
