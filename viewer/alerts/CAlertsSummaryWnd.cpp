#include "viewer/alerts/CAlertsSummaryWnd.h"

#include <QPainter>

#include "viewer/core/base/StringTable.h"
#include "viewer/widgets/Fonts.h"

namespace tarvell {
namespace {

// Grey levels of the 4 x 4 bullets, by column then row.
constexpr int kBullet[4][4] = {
    {235, 220, 225, 244}, {225, 233, 240, 235}, {229, 240, 252, 241}, {245, 235, 241, 249}};

}  // namespace

// ---- CAlertsDetailsPanel

CAlertsDetailsPanel::CAlertsDetailsPanel(CTarvellApp& app, SendCommand send, QWidget* parent)
    : OverviewDetailsPanel(
          app, std::move(send),
          DetailsTexts{
              QStringLiteral("Alerts Details"),
              ctl::kDetailsTotal,
              QStringLiteral("Alerts are currently active"),
              {{ctl::kDetectionCount, QStringLiteral("Detection Alerts"),
                QStringLiteral("With detection alerts you can view Tarvell events about device "
                               "ports that were detected as potential network intruders."),
                ctl::kDetectionLink, QStringLiteral("View detection alerts"), cmd::kDetectionAlerts},
               {ctl::kPreventionCount, QStringLiteral("Prevention Alerts"),
                QStringLiteral("With prevention alerts you can view Tarvell events about device "
                               "ports that were eliminated from accessing the network."),
                ctl::kPreventionLink, QStringLiteral("View prevention alerts"), cmd::kPreventionAlerts}},
              QStringLiteral("active alerts"),
              {LoadString(str::kPermDetectionAlerts), LoadString(str::kPermProtectionAlerts)},
              true},
          [&app] { return app.AlertCounts(); }, parent) {}

void CAlertsDetailsPanel::paintEvent(QPaintEvent* e) {
    OverviewPanel::paintEvent(e);
    QPainter p(this);
    for (int top : {35, 42, 49, 56})
        for (int x = 0; x < 4; ++x)
            for (int y = 0; y < 4; ++y) {
                const int g = kBullet[x][y];
                p.setPen(QColor(g, g, g));
                p.drawPoint(13 + x, top + y);
            }
}

// ---- CAlertsInformationPanel

CAlertsInformationPanel::CAlertsInformationPanel(CTarvellApp& app, QWidget* parent)
    : OverviewPanel(app, nullptr, parent) {
    AddInformationTitle(QStringLiteral("Alerts Information"));
    AddLabel(ctl::kAlertsLabel, QStringLiteral("Total Alerts:"), QRect(50, 45, 65, 15), InformationFont());
    AddLabel(ctl::kAlertsCount, QStringLiteral("0"), QRect(110, 45, 35, 15),
             DesignFont(QStringLiteral("Tahoma"), 11, 700));
    AddInformationText(QStringLiteral(
        "With real-time alerts you can analyze network protection events. Use the detection and "
        "prevention alerts to view potential risks before it can cause severe damage."));
}

void CAlertsInformationPanel::Update() {
    SetTextIfChanged(ctl::kAlertsCount, QString::number(app_.AlertCounts().total));
}

// ---- CAlertsSummaryWnd

CAlertsSummaryWnd::CAlertsSummaryWnd(CTarvellApp& app, std::function<void(int)> sendCommand,
                                     QWidget* parent)
    : OverviewPage(parent),
      info_(new CAlertsInformationPanel(app, this)),
      details_(new CAlertsDetailsPanel(app, std::move(sendCommand), this)) {
    PlacePanels(info_, details_);
}

}  // namespace tarvell
