#include "viewer/monitors/MonitorPanels.h"

#include "viewer/core/base/ControlIds.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/core/summary/SummaryRules.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {
namespace {

// A count text of the events file is shown as it is, within this length.
constexpr int kMaxCountText = 16;

// The monitor information panel keeps its small fixed layout (160 x 175); its texts take a
// smaller size so that the stand-in face, wider than the original face, fits in it.
QFont SmallText() { return DesignFont(QStringLiteral("Tahoma"), 11); }

QString Number(long value) { return QString::number(value); }

}  // namespace

// ---- CMonitorDetailsDlg

CMonitorDetailsDlg::CMonitorDetailsDlg(CTarvellApp& app, SendCommand send, QWidget* parent)
    : OverviewPanel(app, std::move(send), 0, parent) {
    const SideTexts sides[2] = {
        {ctl::kDetectionCount, QStringLiteral("Detection Monitor"),
         QStringLiteral("With detection monitor you can view Tarvell events about device ports "
                        "that were detected "
                        "as potential network intruders."),
         ctl::kDetectionLink, QStringLiteral("View detection monitor"), cmd::kDetectionMonitor},
        {ctl::kPreventionCount, QStringLiteral("Prevention Monitor"),
         QStringLiteral(
             "With prevention monitor you can view Tarvell events about device ports that were "
             "eliminated from accessing the network."),
         ctl::kPreventionLink, QStringLiteral("View prevention monitor"), cmd::kPreventionMonitor},
    };
    LayoutDetails(QStringLiteral("Monitor Details"), ctl::kDetailsTotal,
                  QStringLiteral("Events are currently active"), sides,
                  QStringLiteral("active events"));
}

void CMonitorDetailsDlg::showEvent(QShowEvent* e) {
    ApplyPermissions({{ctl::kDetectionLink, LoadString(str::kPermDetectionMonitor)},
                      {ctl::kPreventionLink, LoadString(str::kPermPreventionMonitor)}});
    OverviewPanel::showEvent(e);
}

void CMonitorDetailsDlg::Update() {
    const ItemCounts counts = app_.EventCounts();
    SetTextIfChanged(ctl::kDetailsTotal, Number(counts.total));
    SetTextIfChanged(ctl::kDetectionCount, Number(counts.detection));
    SetTextIfChanged(ctl::kPreventionCount, Number(counts.prevention));
}

// ---- CMonitorInfoDlg

CMonitorInfoDlg::CMonitorInfoDlg(CTarvellApp& app, QWidget* parent)
    : OverviewPanel(app, nullptr, 0, parent) {
    AddLabel(ctl::kPanelTitle, QStringLiteral("Monitor Information"),
             QRect(10, 10, 150, logicalDpiX() / 7 + 6), PanelTitleFont(*this));
    QLabel* devices = AddLabel(ctl::kDevicesLabel, QStringLiteral("Total Devices:"),
                               QRect(50, 45, 75, 15), SmallText());
    AddLabel(ctl::kDevicesCount, QStringLiteral("0"), QRect(125, 45, 35, 15), SmallText());
    FitCount(ctl::kDevicesCount, nullptr, devices);
    QLabel* nodes = AddLabel(ctl::kNodesLabel, QStringLiteral("Total Nodes:"),
                             QRect(50, 60, 75, 15), SmallText());
    AddLabel(ctl::kNodesCount, QStringLiteral("0"), QRect(125, 60, 35, 15), SmallText());
    FitCount(ctl::kNodesCount, nullptr, nodes);
    AddLabel(
        ctl::kInformationText,
        QStringLiteral(
            "With real-time monitor you can view your current device ports network access control. "
            "Use the detection and prevention monitors to analyze your network potential risks."),
        QRect(10, 90, 150, 100), SmallText(), true);
    AddSeparator(80);
    resize(160, 175);
}

void CMonitorInfoDlg::Update() {
    const std::shared_ptr<const EventsSnapshot> events = app_.Events();
    if (!events) return;
    SetTextIfChanged(ctl::kDevicesCount, FromStored(events->SwitchCount).left(kMaxCountText));
    SetTextIfChanged(ctl::kNodesCount, FromStored(events->NodeCount).left(kMaxCountText));
}

}  // namespace tarvell
