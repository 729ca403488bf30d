#include "viewer/core/monitors/EventSelection.h"

#include <algorithm>
#include <charconv>

#include "platform/Text.h"
#include "viewer/core/hub/EventMacros.h"
#include "shared/EventTypes.h"
#include "viewer/core/monitors/MonitorRules.h"

namespace tarvell {

namespace {

constexpr std::string_view kLabelSeparator = ": ";
constexpr std::string_view kBlockSeparator = "\n\n";

EventMacroValues MacroValues(const CEventItem& event) {
    return {EventTypeName(event.EventType), event.Before, event.Current, event.Submitter,
            ThreatLevelName(event.Severity)};
}

// A count of the label: leading blanks, an optional sign and digits; anything else counts 0.
long CountValue(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() ? value : 0;
}

std::string Lowered(std::string_view text) {
    return std::to_string(std::max(0L, CountValue(text) - 1));
}

}  // namespace

std::string EventText::Plain() const {
    std::string out;
    for (const EventTextRun& run : runs) out += run.text;
    return out;
}

std::vector<std::string> EventText::BoldParts() const {
    std::vector<std::string> out;
    for (const EventTextRun& run : runs)
        if (run.bold) out.push_back(run.text);
    return out;
}

void SplitEventSummary(std::string_view column4, std::string& title, std::string& description) {
    const std::size_t open = column4.find('(');
    if (open == std::string_view::npos) {
        title.assign(column4);
        description.clear();
        return;
    }
    title.assign(column4.substr(0, open));
    const std::size_t close = column4.rfind(')');
    const std::size_t end =
        close == std::string_view::npos || close < open ? column4.size() : close;
    description.assign(column4.substr(open + 1, end - open - 1));
}

std::string BlockRequester(const std::vector<std::string>& blockRequests, const std::string& key) {
    for (const std::string& entry : blockRequests)
        if (entry.size() > key.size() && entry[key.size()] == ';' &&
            entry.compare(0, key.size(), key) == 0)
            return entry.substr(key.size() + 1);
    return {};
}

bool IsManualBlocking(const std::string& requester, const CEventItem& event) {
    return !requester.empty() || !event.Submitter.empty();
}

EventText BuildEventText(bool detection, const CEventItem& event, std::string_view column4,
                         const std::string& requester) {
    std::string title, description;
    if (detection) {
        SplitEventSummary(column4, title, description);
    } else if (IsManualBlocking(requester, event)) {
        title = "Manual Blocking";
        description = ExpandEventMacros("Manual Blocking by $submitter.", MacroValues(event));
    } else {
        title = "System Blocking";
        description = ExpandEventMacros("System Blocking due to $cause.", MacroValues(event));
    }
    EventText out;
    out.runs.push_back({title, true});
    const auto block = [&out](std::string_view label, std::string value) {
        // The separator goes with the value before it, in normal weight.
        if (out.runs.back().bold) out.runs.push_back({std::string(kBlockSeparator), false});
        else out.runs.back().text += kBlockSeparator;
        out.runs.push_back({std::string(label) + std::string(kLabelSeparator), true});
        out.runs.push_back({std::move(value), false});
    };
    const std::size_t semi = event.SourceMac.find(';');
    block("Occurred on", FormatEventTime(event.DateKey));
    block("Source mac", event.SourceMac.substr(0, semi));
    if (!event.SourceIp.empty() || !event.SourceName.empty()) block("Source ip", event.SourceIp);
    if (!event.SourceName.empty()) block("Source name", event.SourceName);
    block("Description", description);
    return out;
}

int KeyTargetRow(MonitorKey key, int firstSelected, int rows) {
    int target = -1;
    switch (key) {
        case MonitorKey::Down: target = firstSelected + 1; break;
        case MonitorKey::Up: target = firstSelected - 1; break;
        default: return -1;
    }
    return target >= 0 && target < rows ? target : -1;
}

std::string LowerCountLabel(std::string_view text, bool allRemoved) {
    if (allRemoved) return "0";
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos) return Lowered(text);
    return Lowered(text.substr(0, slash)) + "/" + Lowered(text.substr(slash + 1));
}

bool SearchMatches(const std::string& upperNeedle, const SearchTexts& texts) {
    for (const std::string& text : texts)
        if (text.size() >= upperNeedle.size() &&
            ToUpperAscii(text).find(upperNeedle) != std::string::npos)
            return true;
    return false;
}

int FindEventRow(const std::string& upperNeedle, int start, int rows,
                 const std::function<void(int, SearchTexts&)>& textsOf) {
    if (upperNeedle.empty()) return -1;
    SearchTexts texts;
    for (int r = std::max(0, start); r < rows; ++r) {
        for (std::string& t : texts) t.clear();
        textsOf(r, texts);
        if (SearchMatches(upperNeedle, texts)) return r;
    }
    return -1;
}

std::string_view LinkPermission(bool detection, MonitorLink link) {
    switch (link) {
        case MonitorLink::BlockEvents: return "Detection Block";
        case MonitorLink::UnblockEvents: return "Prevention Unblock";
        case MonitorLink::RemoveEvents: return "Detection Remove";
        case MonitorLink::EventDetails:
            return detection ? "Detection Details" : "Prevention Details";
        case MonitorLink::SetInformation:
            return detection ? "Detection Information" : "Prevention Information";
        case MonitorLink::LearnMore: return detection ? "Detection About" : "Prevention About";
    }
    return {};
}

bool LinkActiveAfterShow(const CTarvellDoc& settings, std::string_view userPermissions,
                         bool detection, MonitorLink link, bool activeBefore) {
    if (settings.ViewerUsers.empty()) return activeBefore;
    const std::string wanted = std::string(LinkPermission(detection, link)) + ";";
    const bool granted = userPermissions.find(wanted) != std::string_view::npos;
    if (link == MonitorLink::BlockEvents)
        return granted && (settings.PreventionEnabled != 0 || activeBefore);
    return granted;
}

std::string PreventionHelpPage(const std::string& requester, const CEventItem& event) {
    return EventTypeHelp(IsManualBlocking(requester, event) ? "Manual Blocking"
                                                            : "System Blocking");
}

std::string_view InformationTitle(bool detection) {
    return detection ? "Detection Event Information" : "Prevention Event Information";
}

std::string_view DetailsIntroText(bool detection) {
    return detection ? "The real-time detection monitor screen contains Tarvell detection events "
                       "collection information. "
                       "At any time you can select an event in order to check its details or "
                       "perform your preferred "
                       "task over it."
                     : "The real-time prevention monitor screen contains Tarvell prevention events "
                       "collection information. "
                       "At any time you can select an event in order to check its details or "
                       "perform your preferred "
                       "task over it.";
}

}  // namespace tarvell
