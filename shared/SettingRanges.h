// The ranges of the settings that both programs read: one row per field whose value has bounds.
// The service applies them to every settings file it loads (at start and at each hand-over), and
// the viewer's checks and its spin and edit ranges take their bounds from the same rows, so what
// the viewer stores is always what the service uses.
//
// A value outside its range is clamped to the range or, where a clamped value would mean
// something nobody chose (a port, a code), replaced by the field's last good value. A text is
// bounded by its length: a longer text is refused and the field keeps its last good value. One
// field never makes the whole file unusable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvell {

class CTarvellDoc;

enum class OutOfRange : std::uint8_t {
    Clamp,  // the nearer bound is used
    Keep,   // the field keeps its last good value
};

struct SettingRange {
    std::string_view field;  // the document field's name
    std::int64_t min;        // a word, or a decimal text (an empty text means "not set")
    std::int64_t max;
    OutOfRange outside;
};

// The retries and the wait of one SNMP request are bounded together: at most
// (kMaxSnmpRetries + 1) x kMaxSnmpTimeoutMs = 110 s for a request nobody answers.
inline constexpr std::int64_t kMinSnmpTimeoutMs = 1'000;
inline constexpr std::int64_t kMaxSnmpTimeoutMs = 10'000;
inline constexpr std::int64_t kMaxSnmpRetries = 10;

inline constexpr SettingRange kSettingRanges[] = {
    {"AlertRemoveDays", 0, 999, OutOfRange::Clamp},  // days; 0 = off
    {"SyslogFacility", 0, 7, OutOfRange::Keep},      // Local0..Local7
    {"SyslogSeverity", 0, 7, OutOfRange::Keep},      // Emergency..Debug
    {"SmtpPort", 1, 65'535, OutOfRange::Keep},
    {"SmtpTimeout", 1, 10, OutOfRange::Clamp},  // minutes
    // A wait or retry count nobody chose (a negative one read as unsigned was hours) is not
    // clamped to a bound that nobody chose either: the last good value stays.
    {"SnmpRetries", 0, kMaxSnmpRetries, OutOfRange::Keep},
    // Milliseconds, from the shortest wait the viewer offers: a wait of a few milliseconds times
    // out nearly every request, so a switch would look dead.
    {"SnmpTimeout", kMinSnmpTimeoutMs, kMaxSnmpTimeoutMs, OutOfRange::Keep},
    {"NodesCountThreshold", 0, 999, OutOfRange::Keep},      // nodes on a port; 0 = off
    {"ReceiveThreshold", 0, 99, OutOfRange::Clamp},         // percent
    {"TransmitThreshold", 0, 99, OutOfRange::Clamp},        // percent
    {"BroadcastThreshold", 0, 9'999, OutOfRange::Clamp},    // packets a second
    {"ErrorsThreshold", 0, 9'999, OutOfRange::Clamp},       // packets a second
    {"UnblockAfterMinutes", 0, 10'000, OutOfRange::Clamp},  // about a week; 0 = off
    {"UnblockAuthorization", 0, 2, OutOfRange::Keep},       // nothing, white, black list
    {"SqlInterval", 0, 9'999, OutOfRange::Clamp},           // minutes
    {"HtmlInterval", 0, 9'999, OutOfRange::Clamp},          // minutes
};

// The longest text of a field: a host name (253 bytes) for the mail server, 64 KiB for any other.
inline constexpr std::size_t kMaxSmtpServerText = 255;
inline constexpr std::size_t kMaxSettingText = 64 * 1024;

// The row of a field; the table must hold it (checked at compile time where used as a constant).
constexpr const SettingRange& RangeOf(std::string_view field) {
    for (const SettingRange& r : kSettingRanges)
        if (r.field == field) return r;
    throw "no range for this field";  // not a constant expression: a compile error
}

std::size_t MaxTextOf(std::string_view field);

// A decimal text as the range check reads it: optional blanks, an optional sign and 1 to 18
// digits, nothing else. nullopt for anything else (an empty text too).
std::optional<std::int64_t> ParseSettingNumber(std::string_view text);
// Whether a decimal text field holds a value inside its row (an empty text is "not set": in).
bool TextInRange(const SettingRange& range, std::string_view text);

// Brings every ranged word and decimal text, and every text's length, of `doc` into range;
// `lastGood` gives the values a Keep field returns to. Returns one message per field changed:
// "Setting <field> value <given> is out of range (<min> to <max>); <used> is used". A refused
// text leaves `doc` without any copy of it (its memory is given back).
std::vector<std::string> ApplySettingRanges(CTarvellDoc& doc, const CTarvellDoc& lastGood);

}  // namespace tarvell
