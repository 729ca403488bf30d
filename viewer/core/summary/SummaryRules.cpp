#include "viewer/core/summary/SummaryRules.h"

#include <cmath>
#include <cstdio>
#include <set>

#include "viewer/core/base/StringTable.h"

namespace tarvell {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr std::size_t kMaxCountDigits = 9;  // a larger total would not fit a long everywhere
constexpr double kNeedleBase = 4.0;

double Share(std::size_t count, long total) {
    return static_cast<double>(count) * 100.0 / static_cast<double>(total);
}

double ToDegrees(double radians) { return radians * 180.0 / kPi; }

// The angle of (x, y) on the ellipse of `box`, counter-clockwise on the screen from three o'clock.
double EllipseAngle(const Rect& box, double x, double y) {
    const double cx = (box.left + box.right) / 2.0, cy = (box.top + box.bottom) / 2.0;
    const double hw = box.Width() / 2.0, hh = box.Height() / 2.0;
    if (hw <= 0 || hh <= 0) return 0;
    double deg = ToDegrees(std::atan2(-(y - cy) / hh, (x - cx) / hw));
    if (deg < 0) deg += 360;
    return deg;
}

bool On(std::int32_t word) { return word != 0; }
bool On(const std::string& text) { return !text.empty(); }
bool On(const std::vector<std::string>& list) { return !list.empty(); }

}  // namespace

// A settings field by its exact name, with the test that reads it.
#define TARVELL_PROTECTION_FIELD(name)                         \
    ProtectionField {                                          \
#name, [](const CTarvellDoc& d) { return On(d.name); } \
    }

const ProtectionTable& DetectionProtections() {
    static const ProtectionTable table{
        TARVELL_PROTECTION_FIELD(DetectionEnabled),
        {
            {"Unauthorized nodes",
             {TARVELL_PROTECTION_FIELD(BlackListEnabled),
              TARVELL_PROTECTION_FIELD(WhiteListEnabled),
              TARVELL_PROTECTION_FIELD(NodesCountThreshold)}},
            {"New nodes",
             {TARVELL_PROTECTION_FIELD(NewMacEnabled), TARVELL_PROTECTION_FIELD(NewIpEnabled),
              TARVELL_PROTECTION_FIELD(NewNameEnabled), TARVELL_PROTECTION_FIELD(NewUserEnabled)}},
            {"Changed nodes",
             {TARVELL_PROTECTION_FIELD(ChangedIpEnabled),
              TARVELL_PROTECTION_FIELD(ChangedNameEnabled),
              TARVELL_PROTECTION_FIELD(ChangedUserEnabled),
              TARVELL_PROTECTION_FIELD(ChangedPortEnabled)}},
            {"Threatened nodes",
             {TARVELL_PROTECTION_FIELD(ReceiveThreshold),
              TARVELL_PROTECTION_FIELD(TransmitThreshold),
              TARVELL_PROTECTION_FIELD(BroadcastThreshold),
              TARVELL_PROTECTION_FIELD(ErrorsThreshold),
              TARVELL_PROTECTION_FIELD(ThreatNormalAlerts)}},
            {"Linkup script", {TARVELL_PROTECTION_FIELD(LinkupScriptFile)}},
            {"WMI checks", {TARVELL_PROTECTION_FIELD(WmiConditions)}},
        }};
    return table;
}

const ProtectionTable& PreventionProtections() {
    static const ProtectionTable table{
        TARVELL_PROTECTION_FIELD(PreventionEnabled),
        {
            {"Prevention alerts", {TARVELL_PROTECTION_FIELD(PreventAlertsEnabled)}},
            {"Notification",
             {TARVELL_PROTECTION_FIELD(NetSendMessage),
              TARVELL_PROTECTION_FIELD(NotifyScriptFile)}},
            {"SNMP prevention", {TARVELL_PROTECTION_FIELD(SnmpPreventionEnabled)}},
            {"Scripts",
             {TARVELL_PROTECTION_FIELD(BlockScriptFile),
              TARVELL_PROTECTION_FIELD(UnblockScriptFile)}},
            {"Automatic unblocking", {TARVELL_PROTECTION_FIELD(UnblockAfterMinutes)}},
            {"Schedule", {TARVELL_PROTECTION_FIELD(PreventionSchedule)}},
        }};
    return table;
}

#undef TARVELL_PROTECTION_FIELD

int CountProtections(const ProtectionTable& table, const CTarvellDoc& settings) {
    if (!table.master.on(settings)) return 0;
    int count = 0;
    for (const ProtectionRule& rule : table.rules)
        for (const ProtectionField& field : rule.fields)
            if (field.on(settings)) {
                ++count;
                break;
            }
    return count;
}

ProtectionCounts CountProtections(const CTarvellDoc& settings) {
    return {CountProtections(DetectionProtections(), settings),
            CountProtections(PreventionProtections(), settings)};
}

// ---- levels

LevelSets CountLevelSets(const EventRecords& events, const CTarvellDoc& settings) {
    // The keys with a block request, once, as the hub's counts take them (a long request list
    // is not scanned again for every event).
    std::set<std::string> requested;
    for (const std::string& entry : settings.BlockRequests)
        if (entry.find(';') != std::string::npos) requested.insert(RequestKey(entry));
    std::set<std::string> nodes[2], devices[2];
    for (const auto& [key, event] : events) {
        if (!event) continue;
        const bool prevention =
            event->Blocked != 0 || !event->Extra.empty() || requested.count(key) != 0;
        const int side = prevention ? 1 : 0;
        const std::string& macs = event->SourceMac;
        std::size_t start = 0;
        while (start <= macs.size()) {
            const std::size_t end = std::min(macs.find(';', start), macs.size());
            if (end > start) nodes[side].insert(macs.substr(start, end - start));
            start = end + 1;
        }
        if (!event->DeviceIp.empty()) devices[side].insert(event->DeviceIp);
    }
    return {nodes[0].size(), devices[0].size(), nodes[1].size(), devices[1].size()};
}

long ParseCountText(std::string_view text) {
    if (text.empty() || text.size() > kMaxCountDigits) return 0;
    long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + (c - '0');
    }
    return value;
}

void ComputeLevels(const EventsSnapshot& events, const CTarvellDoc& settings,
                   SummaryLevels& levels) {
    const LevelSets sets = CountLevelSets(events.EventMap, settings);
    const long nodeTotal = ParseCountText(events.NodeCount);
    if (nodeTotal > 0) {
        levels.DetectionNodeLevel = Share(sets.detectionNodes, nodeTotal);
        levels.PreventionNodeLevel = Share(sets.preventionNodes, nodeTotal);
    }
    const long deviceTotal = ParseCountText(events.SwitchCount);
    if (deviceTotal > 0) {
        levels.DetectionDeviceLevel = Share(sets.detectionDevices, deviceTotal);
        levels.PreventionDeviceLevel = Share(sets.preventionDevices, deviceTotal);
    }
}

// ---- dial

Rect ChartBox(const Rect& panel) {
    const int cx = (panel.left + panel.right) / 2, cy = (panel.top + panel.bottom) / 2;
    return Rect{cx - 49, cy - 22, cx + 51, cy + 80};
}

double ClampLevel(double level) {
    if (!(level > 0)) return 0;  // also a value that is not a number
    return level > 100 ? 100 : level;
}

double DialValue(double level) { return 50 + 0.7 * (ClampLevel(level) - 50); }

PointF DialPoint(const Rect& box, double level) {
    const double a = (100 - DialValue(level)) * 2 * kPi / 100;
    const double cx = (box.left + box.right) / 2.0, cy = (box.top + box.bottom) / 2.0;
    return {cx + std::sin(a) * box.Width() / 2.0, cy + std::cos(a) * box.Height() / 2.0};
}

std::array<PointF, 3> NeedlePolygon(const Rect& box, double level) {
    const double b = DialValue(level) * 2 * kPi / 100;
    const double cx = (box.left + box.right) / 2.0, cy = (box.top + box.bottom) / 2.0;
    const double dx = kNeedleBase * std::cos(b), dy = kNeedleBase * std::sin(b);
    return {DialPoint(box, level), PointF{cx + dx, cy + dy}, PointF{cx - dx, cy - dy}};
}

PieAngles PieSector(const Rect& box, double level) {
    const PointF from = DialPoint(box, level);
    const double start = EllipseAngle(box, from.x, from.y);
    const double end = EllipseAngle(box, box.left, box.bottom - 14);
    double span = end - start;
    if (span < 0) span += 360;
    // The dial never sweeps more than 0.7 of a turn; a span near a whole turn is the empty
    // sector of level 0 after rounding, not a full disc.
    if (span > 300) span = 0;
    return {start, span};
}

std::string LevelText(double level) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %%", ClampLevel(level));
    return text;
}

// ---- state and permissions

std::string ServiceStateText(std::string_view documentTitle, const std::function<int()>& query,
                             const CTarvellDoc& settings) {
    const std::string_view notConnected = LoadString(str::kNotConnected);
    if (documentTitle == notConnected) return std::string(notConnected);
    const int state = query ? query() : kServiceUnreachable;
    switch (state) {
        case kServiceRunning:
            return std::string(LoadString(settings.DiscoverDatabaseEnabled != 0 ||
                                                  settings.DiscoverTrapsEnabled != 0
                                              ? str::kRunningNormally
                                              : str::kRunningSilently));
        case kServiceStopped: return std::string(LoadString(str::kServiceStopped));
        default: return std::string(LoadString(str::kServiceUnavailable));
    }
}

bool PermissionGranted(const CTarvellDoc& settings, std::string_view userPermissions,
                       std::string_view permission) {
    if (settings.ViewerUsers.empty()) return true;
    if (permission.empty()) return false;
    std::string entry(permission);
    entry += ';';
    return userPermissions.find(entry) != std::string_view::npos;
}

}  // namespace tarvell
