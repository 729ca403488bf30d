#include "viewer/summary/CSummaryWnd.h"

#include <QPainter>
#include <QPainterPath>

#include "viewer/core/look/Look.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/widgets/DialogLook.h"
#include "viewer/summary/SummaryPanels.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/HubSignals.h"
#include "viewer/widgets/OverviewPanel.h"
#include "viewer/widgets/Painting.h"
#include "viewer/widgets/QtGeometry.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {
namespace {

struct ChartLook {
    unsigned title;
    QColor pie, needle;
};

void PaintChart(QPainter& p, const QRect& panel, const ChartLook& look, double deviceLevel,
                double nodeLevel) {
    FillRoundedPanel(p, panel);
    const Rect r = FromQRect(panel);
    // Title band.
    p.fillRect(
        QRect(QPoint(r.left + 1, panel.top() + 1), QPoint(r.right - 2, panel.top() + 30 - 1)),
        ToQColor(look::kSelectedRow));
    p.setFont(DesignFont(QStringLiteral("Tahoma"), 13, 700));
    p.setPen(ToQColor(look::kText));
    p.drawText(
        QRect(QPoint(r.left + 10, panel.top() + 1), QPoint(r.right - 1, panel.top() + 30 - 1)),
        Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, FromUtf8(LoadString(look.title)));

    const Rect box = ChartBox(r);
    const QRectF boxF(box.left, box.top, box.Width(), box.Height());
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const PieAngles pie = PieSector(box, deviceLevel);
    p.setPen(look.pie);
    p.setBrush(look.pie);
    if (pie.spanDeg > 0)
        p.drawPie(boxF, static_cast<int>(pie.startDeg * 16), static_cast<int>(pie.spanDeg * 16));
    const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    p.drawImage(QPoint(cx - 76, cy - 47), DialImage());
    const auto needle = NeedlePolygon(box, nodeLevel);
    QPainterPath path;
    path.moveTo(needle[0].x, needle[0].y);
    path.lineTo(needle[1].x, needle[1].y);
    path.lineTo(needle[2].x, needle[2].y);
    path.closeSubpath();
    p.setPen(look.needle);
    p.setBrush(look.needle);
    p.drawPath(path);
    p.drawEllipse(boxF.center(), 4, 4);
    p.restore();
    p.setFont(DesignFont(QStringLiteral("Tahoma"), 13));
    p.setPen(ToQColor(look::kText));
    p.drawText(QRect(QPoint(box.left, box.bottom - 25), QPoint(box.right - 1, box.bottom - 10 - 1)),
               Qt::AlignCenter | Qt::TextSingleLine, FromUtf8(LevelText(nodeLevel)));
}

}  // namespace

// ---- CSummaryWnd

CSummaryWnd::CSummaryWnd(CTarvellApp& app, std::function<void(int)> sendCommand, QWidget* parent)
    : QWidget(parent), app_(app), summary_(new CSummaryDlg(app, std::move(sendCommand), this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(new HubSignals(app_, this), &HubSignals::changed, this, [this](HubChange change) {
        if (isVisible() && change != HubChange::AlertsPublished &&
            change != HubChange::AlertsChangedLocally && change != HubChange::ServerStateChanged)
            Refresh();
    });
}

void CSummaryWnd::Refresh() {
    const std::string server = app_.Server().Name;
    if (server != levelsServer_) {
        // Another server: the levels of the last one mean nothing here.
        levels_ = SummaryLevels{};
        levelsServer_ = server;
    }
    if (const std::shared_ptr<const EventsSnapshot> events = app_.Events())
        ComputeLevels(*events, app_.Document().Fields(), levels_);
    update();
}

void CSummaryWnd::resizeEvent(QResizeEvent*) {
    summary_->setGeometry(25, 25, std::max(0, width() - 300), std::max(0, height() - 50));
}

void CSummaryWnd::showEvent(QShowEvent*) {
    summary_->show();
    Refresh();
}

void CSummaryWnd::hideEvent(QHideEvent*) { summary_->hide(); }

void CSummaryWnd::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int cx = width(), cy = height();
    FillPageGradient(p, rect());
    FillRoundedPanel(p, QRect(QPoint(20, 20), QPoint(cx - 260 - 1, cy - 20 - 1)));
    PaintChart(p, DetectionPanel(cx),
               {str::kDetectionLevelTitle, QColor(255, 210, 200), QColor(255, 55, 0)},
               levels_.DetectionDeviceLevel, levels_.DetectionNodeLevel);
    PaintChart(p, PreventionPanel(cx),
               {str::kPreventionLevelTitle, QColor(215, 230, 255), QColor(0, 95, 255)},
               levels_.PreventionDeviceLevel, levels_.PreventionNodeLevel);
}

}  // namespace tarvell
