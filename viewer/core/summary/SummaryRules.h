// What the overview pages show, computed without a display: the four level charts of the summary
// page (share of devices and nodes touched by current events), the dial geometry they are drawn
// with, the active protection counts read from the settings, the service state text and the link
// permissions. The windows in viewer/summary only draw and place what these return.
//
// Input: the hub's events snapshot and the settings document of the current server, both as the
// service wrote them (node and device texts come from the network). Nothing here changes data.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "shared/CTarvellDoc.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/look/Geometry.h"
#include "viewer/core/service/ServiceState.h"

namespace tarvell {

// ---- level charts

// Shares in percent; 0 until first computed.
struct SummaryLevels {
    double DetectionNodeLevel = 0;
    double DetectionDeviceLevel = 0;
    double PreventionNodeLevel = 0;
    double PreventionDeviceLevel = 0;
    bool operator==(const SummaryLevels&) const = default;
};

// The distinct nodes and devices touched by the events, by side. An event is on the prevention
// side when it is blocked, shut or has a block request (the hub's rule for its counts). Its
// SourceMac text may list several nodes separated by ";": each non-empty part is one node (an empty
// part, as in "a;;b" or a trailing ";", is not). An empty DeviceIp is not a device.
struct LevelSets {
    std::size_t detectionNodes = 0, detectionDevices = 0;
    std::size_t preventionNodes = 0, preventionDevices = 0;
};
LevelSets CountLevelSets(const EventRecords& events, const CTarvellDoc& settings);

// A count text of the events file ("SwitchCount", "NodeCount"): its decimal value when it is
// one (digits only, at most 9 of them), else 0. Nothing divides by a total of 0 or less.
long ParseCountText(std::string_view text);

// Recomputes `levels` from the snapshot: the node levels only when the node total is above 0,
// the device levels only when the device total is; otherwise those keep their earlier values.
void ComputeLevels(const EventsSnapshot& events, const CTarvellDoc& settings,
                   SummaryLevels& levels);

// ---- dial geometry

// The chart box of a panel: 49 pixels left of and 22 above the panel's centre to 51 right of
// and 80 below it.
Rect ChartBox(const Rect& panel);
// The level drawn on a dial: clamped to 0..100 (a node count above the stored total, or a value
// that is not a number, can never leave the dial).
double ClampLevel(double level);
// The displayed value e = 50 + 0.7 x (v - 50), v clamped: 0 shows as 15, 100 as 85.
double DialValue(double level);
struct PointF {
    double x = 0, y = 0;
};
// The point for `level` on the box's ellipse: angle a = (100 - e) x 2 pi / 100, point
// (centre x + sin a x half width, centre y + cos a x half height), y growing downwards.
PointF DialPoint(const Rect& box, double level);
// The needle: tip at DialPoint, base points (centre x +- 4 cos b, centre y +- 4 sin b) with
// b = e x 2 pi / 100.
std::array<PointF, 3> NeedlePolygon(const Rect& box, double level);
// The pie sector for `level`, from DialPoint counter-clockwise (as seen on the screen) to the
// point (box left, box bottom - 14). Angles in degrees in the painter's convention: 0 at three
// o'clock, positive counter-clockwise on the screen, measured on the box's ellipse.
struct PieAngles {
    double startDeg = 0, spanDeg = 0;
};
PieAngles PieSector(const Rect& box, double level);
// "%.1f %%" of the clamped level ("42.5 %").
std::string LevelText(double level);

// ---- protection counts

// One setting that switches a protection on: the settings field by its exact name and the test
// that reads it (a flag or number not 0, a text or list not empty).
struct ProtectionField {
    std::string_view field;
    bool (*on)(const CTarvellDoc&);
};
struct ProtectionRule {
    std::string_view protection;
    std::vector<ProtectionField> fields;  // the protection is active when any of them is on
};
struct ProtectionTable {
    ProtectionField master;             // off: the count is 0 whatever the rules say
    std::vector<ProtectionRule> rules;  // at most six
};
const ProtectionTable& DetectionProtections();
const ProtectionTable& PreventionProtections();

struct ProtectionCounts {
    int detection = 0, prevention = 0;
    int Total() const { return detection + prevention; }
};
int CountProtections(const ProtectionTable& table, const CTarvellDoc& settings);
ProtectionCounts CountProtections(const CTarvellDoc& settings);

// ---- service state and permissions

// The summary's state text. With the document's title "Not Connected" the text is that title and
// `query` is not called; otherwise "Running Normally" when the service runs and at least one of
// the two device-monitoring switches (DiscoverDatabaseEnabled, DiscoverTrapsEnabled) is on,
// "Running Silently" when it runs with both off, "Stopped", or "Unavailable" when unreachable (or
// when no query is given).
std::string ServiceStateText(std::string_view documentTitle, const std::function<int()>& query,
                             const CTarvellDoc& settings);

// A link guarded by `permission` ("Detection Monitor", ...): allowed when the settings list no
// viewer users, else only when the user's permission string contains the permission followed
// by ";".
bool PermissionGranted(const CTarvellDoc& settings, std::string_view userPermissions,
                       std::string_view permission);

}  // namespace tarvell
