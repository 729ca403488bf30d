// The ids of the overview panels' controls, as their dialog resources numbered them. A panel
// finds a label or link by its id (OverviewPanel::Text, Link, SetTextIfChanged, FitCount,
// ApplyPermissions), and tests read the panels the same way. An id is unique within its panel
// only, so one number may carry two names here, each saying which panel it belongs to.
#pragma once

namespace tarvell {

using ControlId = int;

namespace ctl {
// A text nothing looks up.
inline constexpr ControlId kStatic = 0;
// Every panel's title.
inline constexpr ControlId kPanelTitle = 1000;

// The details panels of the monitors and the alerts: the total, then a count and a link per side.
inline constexpr ControlId kDetailsTotal = 1008;
inline constexpr ControlId kDetectionCount = 1009;
inline constexpr ControlId kPreventionCount = 1010;
inline constexpr ControlId kDetectionLink = 1011;
inline constexpr ControlId kPreventionLink = 1012;
// The protection details panel: the counts as above, its own total and links.
inline constexpr ControlId kProtectionTotal = 1017;
inline constexpr ControlId kDetectionSettingsLink = 1018;
inline constexpr ControlId kPreventionSettingsLink = 1019;

// The Protect Information panel: each side's state.
inline constexpr ControlId kDetectionState = 1001;
inline constexpr ControlId kPreventionState = 1002;
// The Monitor Information panel.
inline constexpr ControlId kDevicesLabel = 1012;
inline constexpr ControlId kNodesLabel = 1013;
inline constexpr ControlId kDevicesCount = 1014;
inline constexpr ControlId kNodesCount = 1015;
inline constexpr ControlId kInformationText = 1016;
// The Alerts Information panel (with kInformationText).
inline constexpr ControlId kAlertsLabel = 1012;
inline constexpr ControlId kAlertsCount = 1014;
// The System Summary panel.
inline constexpr ControlId kServiceState = 1007;
inline constexpr ControlId kSummaryHint = 1004;
}  // namespace ctl

}  // namespace tarvell
