#include "viewer/monitors/MonitorReportPanels.h"
#include "viewer/monitors/EventListModel.h"

#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/look/Look.h"
#include "viewer/monitors/CEventMonitorWnd.h"
#include "viewer/monitors/EventRequestDialogs.h"
#include "viewer/widgets/CPaintListCtrl.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/TextConv.h"
#include "viewer/widgets/WaitCursor.h"

namespace tarvell {

namespace {
constexpr Rgb kLinkColour{66, 26, 66};
}  // namespace

ReportTable MonitorReportTable(bool detection, const CPaintListCtrl& list) {
    ReportTable table;
    table.headers = {"Device Mac", "Device Name", "Device Ip", "Device Port",
                     detection ? "Event Details" : "Blocking Status"};
    table.widths = {18, 18, 18, 18, 28};
    const EventListModel* rows = EventRows(list);
    if (rows == nullptr) return table;
    table.rows.reserve(static_cast<std::size_t>(rows->rowCount()));
    for (int r = 0; r < rows->rowCount(); ++r) {
        std::vector<std::string> cells;
        for (int c = 0; c < 5; ++c) cells.push_back(rows->ItemText(r, c).toStdString());
        table.rows.push_back(std::move(cells));
    }
    return table;
}

CMonitorReportPanel::CMonitorReportPanel(bool detection, CEventMonitorWnd& window)
    : CFramedPanel(
          detection ? QStringLiteral("detectionReport") : QStringLiteral("preventionReport"),
          QSize(458, 30), &window),
      detection_(detection),
      window_(window) {
    report_ = AddLink(detection ? QStringLiteral("Create detection report...")
                                : QStringLiteral("Create prevention report..."),
                      12, 190);
    connect(report_, &LinkLabel::activated, this, &CMonitorReportPanel::OnCreateReport);
}

LinkLabel* CMonitorReportPanel::AddLink(const QString& text, int x, int width) {
    auto* link = new LinkLabel(text, 0, this);
    link->setFont(DesignFont(QStringLiteral("Tahoma"), 13));
    link->SetUnderlined(true);
    link->SetColor(ToQColor(kLinkColour));
    link->setGeometry(x, 6, width, 18);
    return link;
}

void CMonitorReportPanel::OnCreateReport() {
    WaitCursor wait;
    if (!window_.hooks.report) return;
    window_.hooks.report(detection_ ? QStringLiteral("Detection events report")
                                    : QStringLiteral("Prevention events report"),
                         detection_ ? QStringLiteral("Tarvell - detection report")
                                    : QStringLiteral("Tarvell - prevention report"),
                         MonitorReportTable(detection_, *window_.List(detection_)));
}

CPreventionMonitorReportPanel::CPreventionMonitorReportPanel(CEventMonitorWnd& window)
    : CMonitorReportPanel(false, window) {
    stop_ = AddLink(QStringLiteral("Stop prevention and unblock all events..."), 210, 240);
    connect(stop_, &LinkLabel::activated, this, &CPreventionMonitorReportPanel::OnStopPrevention);
}

void CPreventionMonitorReportPanel::OnStopPrevention() {
    const PageContext& context = window_.Context();
    CStopPreventionDlg dialog(context.app, context.prompt, *window_.List(false), &window_);
    dialog.exec();
}

}  // namespace tarvell
