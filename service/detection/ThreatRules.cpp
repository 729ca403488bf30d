#include "service/detection/ThreatRules.h"

#include <charconv>
#include <cmath>

namespace tarvell {

const char* ThreatEventType(ThreatRule rule) {
    switch (rule) {
        case ThreatRule::Receive: return "Threat Receive";
        case ThreatRule::Transmit: return "Threat Transmit";
        case ThreatRule::Broadcast: return "Threat Broadcast";
        case ThreatRule::Errors: return "Threat Errors";
    }
    return "";
}

const char* ThreatUnit(ThreatRule rule) {
    switch (rule) {
        case ThreatRule::Receive:
        case ThreatRule::Transmit: return "%";
        case ThreatRule::Broadcast:
        case ThreatRule::Errors: return " p/s";
    }
    return "";
}

std::optional<ThreatBand> ThreatBandOf(double figure) {
    if (figure > 80) return ThreatBand{5, "Severe"};
    if (figure > 60) return ThreatBand{4, "High"};
    if (figure > 40) return ThreatBand{3, "Elevated"};
    if (figure > 20) return ThreatBand{2, "Moderate"};
    if (figure > 0) return ThreatBand{1, "Low"};
    return std::nullopt;
}

double ReadFigure(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    text.remove_prefix(i);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // from_chars takes no sign of its own here (a second sign is no number) and reads in the C
    // locale by definition.
    if (text.empty() || text.front() == '+' || text.front() == '-') return 0.0;
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value,
                                        std::chars_format::general);
    if (result.ec == std::errc::invalid_argument) return 0.0;
    if (result.ec == std::errc::result_out_of_range) value = HUGE_VAL;   // tiny values read as 0
    return negative ? -value : value;
}

std::optional<ThreatFinding> JudgeThreat(const ThreatInput& in, const std::string& key,
                                         ThreatLevels& levels) {
    const double now = ReadFigure(in.currentText);
    const double threshold = static_cast<double>(in.threshold);
    const std::string unit = ThreatUnit(in.rule);
    const auto remembered = levels.find(key);

    if (in.threshold > 0 && in.selected && now >= threshold) {
        const auto band = ThreatBandOf(now);
        if (!band) return std::nullopt;   // cannot happen for a threshold of 1 or more
        if (remembered != levels.end() && remembered->second == band->text) return std::nullopt;
        levels[key] = band->text;
        return ThreatFinding{ThreatFinding::Kind::Raised, band->severity,
                             std::string(in.currentText) + unit, std::string(in.previousText) + unit};
    }
    if (now <= threshold && remembered != levels.end()) {
        levels.erase(remembered);
        if (in.normalAlerts)
            return ThreatFinding{ThreatFinding::Kind::Cleared, 0, std::string(in.currentText) + unit,
                                 std::string(in.previousText) + unit};
    }
    return std::nullopt;
}

}  // namespace tarvell
