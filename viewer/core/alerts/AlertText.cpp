#include "viewer/core/alerts/AlertText.h"

#include "platform/DateText.h"
#include "shared/AlertKey.h"
#include "shared/EventTypes.h"
#include "viewer/core/hub/EventMacros.h"

namespace tarvell {

AlertText MakeAlertText(const CAlertItem& alert) {
    AlertText t;
    t.cause = EventTypeName(alert.EventType);
    t.level = ThreatLevelName(alert.Severity);
    const EventMacroValues values{t.cause, alert.Before, alert.Current, alert.Submitter, t.level};
    t.heading = ExpandEventMacros(EventTypeName(alert.Description), values);
    t.text = ExpandEventMacros(EventTypeText(alert.Description), values);
    return t;
}

std::string AlertBody(std::string_view key, const CAlertItem& alert, const std::string& text) {
    std::string body;
    const std::pair<std::string_view, const std::string*> devices[] = {
        {kLabelDeviceName, &alert.DeviceName},
        {kLabelDeviceIp, &alert.DeviceIp},
        {kLabelDevicePort, &alert.DevicePort},
    };
    for (const auto& [label, value] : devices) {
        if (value->empty()) continue;
        body.append(label).append(": ").append(*value).append("\r\n");
    }
    if (!body.empty()) body += "\r\n";
    body.append(kLabelOccurredOn).append(": ").append(FormatUserDateTime(AlertKeySeconds(key)));
    body.append("\r\n\r\n").append(kLabelDescription).append(": ").append(text);
    return body;
}

AlertKind KindOf(const CAlertItem& alert) {
    if (alert.Category == "Detection") {
        if (alert.Description.starts_with("Threat") && alert.Severity == 0)
            return {true, {77, 191, 38}, 0};
        return {true, {255, 204, 0}, 1};
    }
    if (alert.Category == "Prevention") return {true, {204, 0, 0}, 2};
    return {};
}

std::string AlertInformationTitle(std::string_view category) {
    if (category == "Detection") return "Detection Alert Information";
    if (category == "Prevention") return "Prevention Alert Information";
    return {};
}

std::vector<Point> SlidePositions(Size popup, const Rect& desktop, const Rect& workArea) {
    std::vector<Point> steps;
    const int travel = popup.height + (desktop.Height() - workArea.Height());
    const int x = desktop.right - popup.width - 1;
    for (int rise = 0; rise < travel - 3;) {
        rise = rise >= travel - 13 ? travel - 3 : rise + kSlideStep;
        steps.push_back({x, desktop.bottom - rise});
    }
    return steps;
}

std::vector<Point> SlideOutPositions(Size popup, int top, const Rect& desktop) {
    std::vector<Point> steps;
    const int x = desktop.right - popup.width - 1;
    while (top < desktop.bottom) {
        top += kSlideStep;
        steps.push_back({x, top});
    }
    return steps;
}

}  // namespace tarvell
