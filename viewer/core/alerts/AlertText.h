// What an alert shows: its heading, text, body lines and kind, and the steps by which its popup
// slides in and out. Pure functions of the record, the key and the screen's rectangles.
//
// Record fields: the type key (such as "New Mac") is CAlertItem::Description, the cause key (the
// type named by "$cause") is CAlertItem::EventType.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "shared/CAlertItem.h"
#include "viewer/core/look/Geometry.h"

namespace tarvell {

struct AlertText {
    std::string heading;  // display name of the type key, macros expanded
    std::string text;     // text template of the type key, macros expanded
    std::string cause;    // display name of the cause key
    std::string level;    // name of the threat level (Severity)
};

// Heading and text with "$cause", "$before", "$current", "$submitter" and "$severity" put in.
AlertText MakeAlertText(const CAlertItem& alert);

// Labels of the popup's body.
inline constexpr std::string_view kLabelDeviceName = "Device name";
inline constexpr std::string_view kLabelDeviceIp = "Device ip";
inline constexpr std::string_view kLabelDevicePort = "Device port";
inline constexpr std::string_view kLabelOccurredOn = "Occurred on";
inline constexpr std::string_view kLabelDescription = "Description";

// The body: a "<label>: <value>\r\n" line for each of DeviceName, DeviceIp, DevicePort that is
// not empty, a blank line after them when any was written, then "Occurred on: <date>\r\n\r\n"
// and "Description: <text>". The date is the key's seconds in the user's date and time form.
std::string AlertBody(std::string_view key, const CAlertItem& alert, const std::string& text);

// The kind band and icon. Icons: 0 a threat at the normal level, 1 detection, 2 prevention.
struct AlertKind {
    bool hasBrush = false;
    Rgb brush;
    int icon = -1;  // -1: none
    bool operator==(const AlertKind&) const = default;
};
// "Detection" yellow with icon 1, except a type key beginning with "Threat" at Severity 0, green
// with icon 0; "Prevention" red with icon 2; any other category neither.
AlertKind KindOf(const CAlertItem& alert);
// "Detection Alert Information", "Prevention Alert Information", or empty for another category.
std::string AlertInformationTitle(std::string_view category);

// Sliding, in screen pixels. `desktop` is the whole screen, `workArea` the part left by panels.
struct Point {
    int x = 0, y = 0;
    bool operator==(const Point&) const = default;
};
struct Size {
    int width = 0, height = 0;
};
inline constexpr int kSlideStep = 10;    // pixels per step
inline constexpr int kSlideStepMs = 10;  // between steps
// The top-left corners of the slide in, in order. travel = popup height + (desktop height -
// work area height); the rise grows by 10 up to travel - 3, so the last top is
// desktop.bottom - travel + 3. A travel of 3 or less gives no step.
std::vector<Point> SlidePositions(Size popup, const Rect& desktop, const Rect& workArea);
// The slide out from a top of `top`: 10 pixels down per step until the top reaches
// desktop.bottom; no step when it is already there.
std::vector<Point> SlideOutPositions(Size popup, int top, const Rect& desktop);

}  // namespace tarvell
