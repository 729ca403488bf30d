#include "service/detection/ThreatRules.h"

#include <locale.h>
#include <stdlib.h>

#include <string>

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
    // atof in the C locale whatever the process locale says. The text is copied because the
    // reader needs its end marked.
    static const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (!cLocale) return 0.0;
    const std::string bounded(text.substr(0, text.find('\0')));
    return ::strtod_l(bounded.c_str(), nullptr, cLocale);
}

std::optional<ThreatFinding> JudgeThreat(const ThreatInput& in, const std::string& key,
                                         ThreatLevels& levels) {
    const double now = ReadFigure(in.currentText);
    const double threshold = static_cast<double>(in.threshold);
    const std::string unit = ThreatUnit(in.rule);
    const auto remembered = levels.find(key);

    if (in.threshold > 0 && in.selected && now >= threshold) {
        const auto band = ThreatBandOf(now);
        if (!band) return std::nullopt;  // cannot happen for a threshold of 1 or more
        if (remembered != levels.end() && remembered->second == band->text) return std::nullopt;
        levels[key] = band->text;
        return ThreatFinding{ThreatFinding::Kind::Raised, band->severity,
                             std::string(in.currentText) + unit,
                             std::string(in.previousText) + unit};
    }
    if (now <= threshold && remembered != levels.end()) {
        levels.erase(remembered);
        if (in.normalAlerts)
            return ThreatFinding{ThreatFinding::Kind::Cleared, 0,
                                 std::string(in.currentText) + unit,
                                 std::string(in.previousText) + unit};
    }
    return std::nullopt;
}

}  // namespace tarvell
