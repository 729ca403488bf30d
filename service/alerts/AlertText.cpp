#include "service/alerts/AlertText.h"

#include <cstddef>
#include <cstdint>

#include "platform/DateText.h"
#include "shared/AlertKey.h"
#include "shared/AlertTarget.h"
#include "service/engine/CTarvellFrm.h"

namespace tarvell {

namespace {

// The alert value a filter type (0..8) tests.
const std::string& FilterValue(int type, const CAlertItem& alert,
                               const std::string& descriptionText) {
    switch (type) {
        case 0: return alert.Description;
        case 1: return alert.DeviceName;
        case 2: return alert.DeviceIp;
        case 3: return alert.DevicePort;
        case 4: return alert.DeviceLocation;
        case 5: return alert.SourceMac;
        case 6: return alert.SourceIp;
        case 7: return alert.SourceName;
        default: return descriptionText;
    }
}

}  // namespace

bool MatchWildcard(const std::string& text, const std::string& pattern) {
    return CTarvellFrm::WildcardMatch(text, pattern);
}

bool FiltersMatchAlert(std::string_view filters, const CAlertItem& alert,
                       const std::string& descriptionText) {
    if (filters.empty()) return true;
    for (const TargetFilter& filter : ParseFilters(filters))
        if (MatchWildcard(FilterValue(filter.type, alert, descriptionText), filter.pattern))
            return true;
    return false;
}

TargetDecision TargetMatchesAlert(const std::string& entry, const CAlertItem& alert,
                                  const std::string& descriptionText) {
    TargetEntry split = SplitTargetEntry(entry);
    return {std::move(split.target), FiltersMatchAlert(split.filters, alert, descriptionText)};
}

std::string ReplaceMacro(std::string_view text, std::string_view macro, std::string_view value) {
    if (macro.empty()) return std::string(text);
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    while (true) {
        const std::size_t hit = text.find(macro, from);
        if (hit == std::string_view::npos) break;
        out.append(text.substr(from, hit - from));
        out.append(value);
        from = hit + macro.size();
    }
    out.append(text.substr(from));
    return out;
}

AlertTextSources LookUpAlertTexts(const CTarvellFrm& engine, const CAlertItem& alert) {
    AlertTextSources sources;
    sources.alertText = engine.FormatAlertCause(alert.Description);
    sources.descriptionText = engine.FormatAlertDescription(alert.Description);
    sources.causeText = engine.FormatAlertCause(alert.EventType);
    sources.severityText = engine.FormatAlertSeverity(alert.Severity);
    return sources;
}

std::string ExpandEventText(const std::string& text, const CAlertItem& alert,
                            const AlertTextSources& sources) {
    std::string out = ReplaceMacro(text, "$cause", sources.causeText);
    out = ReplaceMacro(out, "$before", alert.Before);
    out = ReplaceMacro(out, "$current", alert.Current);
    out = ReplaceMacro(out, "$submitter", alert.Submitter);
    return ReplaceMacro(out, "$severity", sources.severityText);
}

std::string AlertDateText(const std::string& key) {
    return FormatUserDateTime(AlertKeySeconds(key));
}

std::string ExpandAlertMacros(const std::string& templateText, const CAlertItem& alert,
                              const std::string& key, const AlertTextSources& sources,
                              MacroValueEscape escape) {
    auto value = [escape](const std::string& text) { return escape ? escape(text) : text; };
    std::string out = ReplaceMacro(templateText, "$date", value(AlertDateText(key)));
    out = ReplaceMacro(out, "$alert", value(ExpandEventText(sources.alertText, alert, sources)));
    out = ReplaceMacro(out, "$description",
                       value(ExpandEventText(sources.descriptionText, alert, sources)));
    out = ReplaceMacro(out, "$device_name", value(alert.DeviceName));
    out = ReplaceMacro(out, "$device_ip", value(alert.DeviceIp));
    out = ReplaceMacro(out, "$device_port", value(alert.DevicePort));
    out = ReplaceMacro(out, "$device_location", value(alert.DeviceLocation));
    out = ReplaceMacro(out, "$source_mac", value(alert.SourceMac));
    out = ReplaceMacro(out, "$source_ip", value(alert.SourceIp));
    return ReplaceMacro(out, "$source_name", value(alert.SourceName));
}

std::string ExpandAlertMacros(const std::string& templateText, const CAlertItem& alert,
                              const std::string& key, const AlertTextSources& sources) {
    return ExpandAlertMacros(templateText, alert, key, sources, nullptr);
}

std::string ExpandAlertMacros(const CTarvellFrm& engine, const std::string& templateText,
                              const CAlertItem& alert, const std::string& key) {
    return ExpandAlertMacros(templateText, alert, key, LookUpAlertTexts(engine, alert));
}

}  // namespace tarvell
