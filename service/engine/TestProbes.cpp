#include "service/engine/TestProbes.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>

#include "platform/Files.h"
#include "platform/RecursiveLock.h"
#include "platform/Text.h"

namespace tarvell {

namespace {

constexpr std::size_t kMaxEventFileLine = 4096;
constexpr std::size_t kMaxEventFilePath = 4096;

template <class Int>
bool ParseDecimal(std::string_view text, Int& out) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return !text.empty() && ec == std::errc() && ptr == end;
}

void ReadPassInterval(const char* text, ServiceTestSettings& settings) {
    if (!text || !*text) return;
    std::int64_t ms = 0;
    if (!ParseDecimal(std::string_view(text), ms)) {
        settings.notes.push_back("TARVELL_PASS_INTERVAL_MS ignored (not a number)");
        return;
    }
    const std::int64_t bounded = std::clamp(ms, kMinTestPassIntervalMs, kMaxTestPassIntervalMs);
    settings.passIntervalMs = bounded;
    settings.notes.push_back("pass interval " + FormatLong(bounded) + " ms" +
                             (bounded != ms ? " (bounded)" : ""));
}

void ReadEmailSlot(const char* text, ServiceTestSettings& settings) {
    if (!text || !*text || std::string_view(text) == "0") return;
    if (std::string_view(text) != "1") {
        settings.notes.push_back("TARVELL_TEST_EMAIL_SLOT ignored (not 0 or 1)");
        return;
    }
    settings.emailSlotProbe = true;
    settings.notes.push_back("e-mail slot probe");
}

void ReadEventFile(const char* text, ServiceTestSettings& settings) {
    if (!text || !*text) return;
    const std::string_view path(text);
    if (path.front() != '/' || path.size() > kMaxEventFilePath) {
        settings.notes.push_back("TARVELL_TEST_EVENT_FILE ignored (not an absolute path)");
        return;
    }
    settings.eventFile = std::string(path);
    settings.notes.push_back("test event file " + settings.eventFile);
}

void ReadPort(const char* name, const char* text, std::optional<std::uint16_t>& port,
              ServiceTestSettings& settings) {
    if (!text || !*text) return;
    std::uint32_t value = 0;
    if (!ParseDecimal(std::string_view(text), value) || value < 1 || value > 65535) {
        settings.notes.push_back(std::string(name) + " ignored (not a port 1..65535)");
        return;
    }
    port = static_cast<std::uint16_t>(value);
    settings.notes.push_back(std::string(name) + " " + std::to_string(value));
}

void ReadKillPoint(const char* text, ServiceTestSettings& settings) {
    if (!text || !*text) return;
    const std::string_view point(text);
    if (point != "requests-state-saved" && point != "requests-settings-saved") {
        settings.notes.push_back("TARVELL_TEST_KILL_AT ignored (not a save point)");
        return;
    }
    settings.killAt = std::string(point);
    settings.notes.push_back("killed at " + settings.killAt);
}

bool HasControlCharacter(std::string_view text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

// One "<field> <value>" line into the event.
bool ParseEventLine(std::string_view line, CEventItem& event, std::set<std::string>& seen,
                    std::string* error) {
    const std::size_t blank = line.find(' ');
    const std::string name(line.substr(0, blank));
    const std::string_view value =
        blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
    for (const auto& field : CEventItem::ArchiveFields()) {
        if (name != field.name) continue;
        if (!seen.insert(name).second) {
            if (error) *error = "field " + name + " given twice";
            return false;
        }
        if (field.text) {
            event.*field.text = std::string(value);
            return true;
        }
        if (ParseDecimal(value, event.*field.word)) return true;
        if (error) *error = "field " + name + " needs a number";
        return false;
    }
    if (error) *error = "unknown field " + name;
    return false;
}

}  // namespace

ServiceTestSettings ReadServiceTestSettings(const EnvironmentLookup& lookup) {
    const auto get = [&](const char* name) { return lookup ? lookup(name) : std::getenv(name); };
    ServiceTestSettings settings;
    ReadPassInterval(get("TARVELL_PASS_INTERVAL_MS"), settings);
    ReadEmailSlot(get("TARVELL_TEST_EMAIL_SLOT"), settings);
    ReadEventFile(get("TARVELL_TEST_EVENT_FILE"), settings);
    ReadPort("TARVELL_SYSLOG_PORT", get("TARVELL_SYSLOG_PORT"), settings.syslogPort, settings);
    ReadPort("TARVELL_TRAP_MANAGER_PORT", get("TARVELL_TRAP_MANAGER_PORT"),
             settings.trapManagerPort, settings);
    ReadPort("TARVELL_TRAP_PORT", get("TARVELL_TRAP_PORT"), settings.trapPort, settings);
    ReadPort("TARVELL_SNMP_AGENT_PORT", get("TARVELL_SNMP_AGENT_PORT"), settings.snmpAgentPort,
             settings);
    ReadKillPoint(get("TARVELL_TEST_KILL_AT"), settings);
    return settings;
}

// ---- e-mail slot

void EmailSlotProbe::Run() {
    while (!WaitForStop(intervalMs_)) TakeOnce();
}

void EmailSlotProbe::TakeOnce() {
    ObjectMap<CAlertItem> taken;
    int flag = 0;
    {
        RecursiveGuard guard(engine_.AlertLock);
        taken.swap(engine_.EmailQueue);
        flag = engine_.EmailTestFlag.exchange(0);
    }
    for (const auto& [key, alert] : taken)
        engine_.Log("E-mail slot received " + key + " " + alert->Category + " " + alert->EventType);
    if (flag != 0) engine_.Log("E-mail slot test flag cleared");
}

// ---- test events

std::optional<CEventItem> ParseTestEvent(std::string_view text, std::string* error) {
    CEventItem event;
    std::set<std::string> seen;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        std::string why;
        if (line.size() > kMaxEventFileLine) why = "line too long";
        else if (HasControlCharacter(line)) why = "control character";
        else ParseEventLine(line, event, seen, &why);
        if (!why.empty()) {
            if (error) *error = "line " + std::to_string(lineNumber) + ": " + why;
            return std::nullopt;
        }
    }
    if (event.SwitchKey.empty() || event.PortKey.empty()) {
        if (error) *error = "SwitchKey and PortKey are needed";
        return std::nullopt;
    }
    return event;
}

void EventFileProbe::Run() {
    while (!WaitForStop(intervalMs_)) TakeOnce();
}

// The file is renamed away first, so a writer's next file is never lost or half read.
bool EventFileProbe::TakeOnce() {
    const std::string taken = path_ + ".taken";
    if (std::rename(path_.c_str(), taken.c_str()) != 0) return false;
    struct stat st {};
    std::optional<std::string> text;
    if (::lstat(taken.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        text = ReadWholeFile(taken, kMaxTestEventFileBytes);
    RemoveFile(taken);
    if (!text) {
        engine_.Log("Test event file " + path_ + " rejected: not a readable file up to 64 KiB");
        return false;
    }
    std::string error;
    std::optional<CEventItem> event = ParseTestEvent(*text, &error);
    if (!event) {
        engine_.Log("Test event file " + path_ + " rejected: " + error);
        return false;
    }
    const std::string key = event->SwitchKey + "/" + event->PortKey;
    engine_.RecordEvent(std::make_unique<CEventItem>(std::move(*event)));
    engine_.Log("Test event recorded " + key);
    return true;
}

}  // namespace tarvell
