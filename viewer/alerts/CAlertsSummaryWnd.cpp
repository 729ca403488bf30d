#include "viewer/alerts/CAlertsSummaryWnd.h"

#include <QPainter>

#include "viewer/core/base/ControlIds.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/widgets/Fonts.h"

namespace tarvell {
namespace {

QString Number(long value) { return QString::number(value); }
QFont SmallText() { return DesignFont(QStringLiteral("Tahoma"), 11); }

// Grey levels of the 4 x 4 bullets, by column then row.
constexpr int kBullet[4][4] = {
    {235, 220, 225, 244}, {225, 233, 240, 235}, {229, 240, 252, 241}, {245, 235, 241, 249}};

}  // namespace

// ---- CAlertsDetailsPanel

CAlertsDetailsPanel::CAlertsDetailsPanel(CTarvellApp& app, SendCommand send, QWidget* parent)
    : OverviewPanel(app, std::move(send), 0, parent) {
    const SideTexts sides[2] = {
        {ctl::kDetectionCount, QStringLiteral("Detection Alerts"),
         QStringLiteral("With detection alerts you can view Tarvell events about device ports that "
                        "were detected as "
                        "potential network intruders."),
         ctl::kDetectionLink, QStringLiteral("View detection alerts"), cmd::kDetectionAlerts},
        {ctl::kPreventionCount, QStringLiteral("Prevention Alerts"),
         QStringLiteral("With prevention alerts you can view Tarvell events about device ports "
                        "that were eliminated "
                        "from accessing the network."),
         ctl::kPreventionLink, QStringLiteral("View prevention alerts"), cmd::kPreventionAlerts},
    };
    LayoutDetails(QStringLiteral("Alerts Details"), ctl::kDetailsTotal,
                  QStringLiteral("Alerts are currently active"), sides,
                  QStringLiteral("active alerts"));
}

void CAlertsDetailsPanel::showEvent(QShowEvent* e) {
    // With no viewer users the links keep the state they have.
    if (!app_.Document().Fields().ViewerUsers.empty())
        ApplyPermissions({{ctl::kDetectionLink, LoadString(str::kPermDetectionAlerts)},
                          {ctl::kPreventionLink, LoadString(str::kPermProtectionAlerts)}});
    OverviewPanel::showEvent(e);
}

void CAlertsDetailsPanel::Update() {
    const ItemCounts counts = app_.AlertCounts();
    SetTextIfChanged(ctl::kDetailsTotal, Number(counts.total));
    SetTextIfChanged(ctl::kDetectionCount, Number(counts.detection));
    SetTextIfChanged(ctl::kPreventionCount, Number(counts.prevention));
}

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
    : OverviewPanel(app, nullptr, 0, parent) {
    AddLabel(ctl::kPanelTitle, QStringLiteral("Alerts Information"),
             QRect(10, 10, 150, logicalDpiX() / 7 + 6), PanelTitleFont(*this));
    AddLabel(ctl::kAlertsLabel, QStringLiteral("Total Alerts:"), QRect(50, 45, 65, 15),
             SmallText());
    AddLabel(ctl::kAlertsCount, QStringLiteral("0"), QRect(110, 45, 35, 15),
             DesignFont(QStringLiteral("Tahoma"), 11, 700));
    AddLabel(ctl::kInformationText,
             QStringLiteral(
                 "With real-time alerts you can analyze network protection events. Use the "
                 "detection and "
                 "prevention alerts to view potential risks before it can cause severe damage."),
             QRect(10, 90, 150, 100), SmallText(), true);
    AddSeparator(80);
    resize(160, 175);
}

void CAlertsInformationPanel::Update() {
    SetTextIfChanged(ctl::kAlertsCount, Number(app_.AlertCounts().total));
}

// ---- CAlertsSummaryWnd

CAlertsSummaryWnd::CAlertsSummaryWnd(CTarvellApp& app, std::function<void(int)> sendCommand,
                                     QWidget* parent)
    : QWidget(parent),
      info_(new CAlertsInformationPanel(app, this)),
      details_(new CAlertsDetailsPanel(app, std::move(sendCommand), this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CAlertsSummaryWnd::resizeEvent(QResizeEvent*) {
    details_->move(220, 30);
    info_->setGeometry(30, 30, 160, 175);
}

void CAlertsSummaryWnd::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintOverviewBackground(p, rect());
}

}  // namespace tarvell
