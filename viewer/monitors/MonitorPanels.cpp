#include "viewer/monitors/MonitorPanels.h"

#include "viewer/core/base/StringTable.h"
#include "viewer/core/summary/SummaryRules.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {
namespace {

// A count text of the events file is shown as it is, within this length.
constexpr int kMaxCountText = 16;

}  // namespace

// ---- CMonitorDetailsDlg

CMonitorDetailsDlg::CMonitorDetailsDlg(CTarvellApp& app, SendCommand send, QWidget* parent)
    : OverviewDetailsPanel(
          app, std::move(send),
          DetailsTexts{
              QStringLiteral("Monitor Details"),
              ctl::kDetailsTotal,
              QStringLiteral("Events are currently active"),
              {{ctl::kDetectionCount, QStringLiteral("Detection Monitor"),
                QStringLiteral("With detection monitor you can view Tarvell events about device "
                               "ports that were detected as potential network intruders."),
                ctl::kDetectionLink, QStringLiteral("View detection monitor"), cmd::kDetectionMonitor},
               {ctl::kPreventionCount, QStringLiteral("Prevention Monitor"),
                QStringLiteral("With prevention monitor you can view Tarvell events about device "
                               "ports that were eliminated from accessing the network."),
                ctl::kPreventionLink, QStringLiteral("View prevention monitor"), cmd::kPreventionMonitor}},
              QStringLiteral("active events"),
              {LoadString(str::kPermDetectionMonitor), LoadString(str::kPermPreventionMonitor)}},
          [&app] { return app.EventCounts(); }, parent) {}

// ---- CMonitorInfoDlg

CMonitorInfoDlg::CMonitorInfoDlg(CTarvellApp& app, QWidget* parent)
    : OverviewPanel(app, nullptr, parent) {
    AddInformationTitle(QStringLiteral("Monitor Information"));
    QLabel* devices =
        AddLabel(ctl::kDevicesLabel, QStringLiteral("Total Devices:"), QRect(50, 45, 75, 15), InformationFont());
    AddLabel(ctl::kDevicesCount, QStringLiteral("0"), QRect(125, 45, 35, 15), InformationFont());
    FitCount(ctl::kDevicesCount, nullptr, devices);
    QLabel* nodes =
        AddLabel(ctl::kNodesLabel, QStringLiteral("Total Nodes:"), QRect(50, 60, 75, 15), InformationFont());
    AddLabel(ctl::kNodesCount, QStringLiteral("0"), QRect(125, 60, 35, 15), InformationFont());
    FitCount(ctl::kNodesCount, nullptr, nodes);
    AddInformationText(QStringLiteral(
        "With real-time monitor you can view your current device ports network access control. "
        "Use the detection and prevention monitors to analyze your network potential risks."));
}

void CMonitorInfoDlg::Update() {
    const std::shared_ptr<const EventsSnapshot> events = app_.Events();
    if (!events) return;
    SetTextIfChanged(ctl::kDevicesCount, FromStored(events->SwitchCount).left(kMaxCountText));
    SetTextIfChanged(ctl::kNodesCount, FromStored(events->NodeCount).left(kMaxCountText));
}

}  // namespace tarvell
