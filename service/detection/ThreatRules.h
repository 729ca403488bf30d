// The four threat rules of a detection pass: each judges one traffic figure of a switch port
// against its threshold and gives the port a level from a fixed scale. Plain functions over the
// port's current and previous figure texts and the rule's level map; the detection thread
// (CScanDatabase) records what they find. Figures come from the sibling product's file and are
// read as C-locale decimal numbers; a text that is no number reads as 0.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tarvell {

enum class ThreatRule { Receive, Transmit, Broadcast, Errors };

// The rules in the order a pass runs them.
inline constexpr ThreatRule kThreatRules[] = {ThreatRule::Receive, ThreatRule::Transmit,
                                              ThreatRule::Broadcast, ThreatRule::Errors};

// "Threat Receive", "Threat Transmit", "Threat Broadcast", "Threat Errors".
const char* ThreatEventType(ThreatRule rule);
// "%" for the utilisations, " p/s" for the rates.
const char* ThreatUnit(ThreatRule rule);

// A band of the level scale.
struct ThreatBand {
    int severity;  // 1 "Low" .. 5 "Severe"
    const char* text;
};

// The band of a figure: above 80 "Severe", above 60 "High", above 40 "Elevated", above 20
// "Moderate", above 0 "Low"; nullopt for 0 or less (and for a NaN).
std::optional<ThreatBand> ThreatBandOf(double figure);

// Reads a figure text like the C library's atof, but always in the C locale (so "12.5" is 12.5
// whatever the process locale says): leading blanks, an optional sign, a number, and nothing
// read after it. No number reads as 0; a number too large reads as infinity.
double ReadFigure(std::string_view text);

// What one rule found for one port.
struct ThreatFinding {
    enum class Kind { Raised, Cleared };
    Kind kind;
    int severity;         // the band's code; 0 for Cleared
    std::string current;  // the current figure text and the unit
    std::string before;   // the previous figure text and the unit
};

// The inputs of one rule for one port.
struct ThreatInput {
    ThreatRule rule;
    std::uint32_t threshold;        // 0 switches the rule off
    bool selected;                  // the device selection test passed for the port's switch
    bool normalAlerts;              // ThreatNormalAlerts
    std::string_view currentText;   // the figure of this pass
    std::string_view previousText;  // the figure of the previous pass's copy
};

// Level map of one rule: port key to the level text last raised; no entry, no active threat.
using ThreatLevels = std::map<std::string, std::string>;

// Judges one rule for the port `key` and updates `levels`:
// - reached (threshold > 0, selected, figure >= threshold): when the figure's band differs from
//   the remembered level, the level is remembered and a Raised finding returned;
// - otherwise, when the figure is at or below the threshold and a level is remembered, the level
//   is forgotten, and a Cleared finding is returned when normal alerts are on. The level is
//   forgotten whatever that switch says, so a second rise into the same band is raised again.
std::optional<ThreatFinding> JudgeThreat(const ThreatInput& in, const std::string& key,
                                         ThreatLevels& levels);

}  // namespace tarvell
