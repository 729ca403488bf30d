#include "viewer/protection/CProtectionSummaryWnd.h"

#include <QPainter>

#include "viewer/core/base/ControlIds.h"
#include "viewer/core/look/Look.h"
#include "viewer/core/protection/ProtectionRows.h"
#include "viewer/protection/ProtectionPanels.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {
namespace {

void ShowState(QLabel* label, bool on) {
    const QString text = FromUtf8(StatusTextsOf(on).state);
    if (label->text() != text) label->setText(text);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, on ? ToQColor(look::kText) : QColor(255, 0, 0));
    label->setPalette(pal);
}

}  // namespace

// ---- CProtectInformationPanel

CProtectInformationPanel::CProtectInformationPanel(CTarvellApp& app, QWidget* parent)
    : OverviewPanel(app, nullptr, parent) {
    AddLabel(ctl::kPanelTitle, QStringLiteral("Protect Information"), QRect(8, 6, 150, 22),
             PanelTitleFont(*this));
    AddLabel(ctl::kStatic, QStringLiteral("Detect:"), QRect(50, 45, 55, 15), PanelTextFont());
    // The states stand a little right of 95 so that "Prevent:" in the substitute face stays whole.
    detect_ = AddLabel(ctl::kDetectionState, QStringLiteral("In-active"), QRect(103, 45, 55, 15),
                       PanelBoldFont());
    AddLabel(ctl::kStatic, QStringLiteral("Prevent:"), QRect(50, 60, 55, 15), PanelTextFont());
    prevent_ = AddLabel(ctl::kPreventionState, QStringLiteral("In-active"), QRect(103, 60, 55, 15),
                        PanelBoldFont());
    AddLabel(
        ctl::kStatic,
        QStringLiteral(
            "With real-time protection you can set intrusion detection and prevention rules that "
            "helps to protect your network from potential intruders and malicious network "
            "activities."),
        QRect(10, 78, 150, 97), DesignFont(QStringLiteral("Tahoma"), 12), true);
    resize(160, 175);
}

QString CProtectInformationPanel::DetectState() const { return detect_->text(); }
QString CProtectInformationPanel::PreventState() const { return prevent_->text(); }

void CProtectInformationPanel::Update() {
    const auto settings = ShownSettings(app_);
    ShowState(detect_, MasterSwitchOn(ProtectionSide::Detection, *settings));
    ShowState(prevent_, MasterSwitchOn(ProtectionSide::Prevention, *settings));
}

void CProtectInformationPanel::paintEvent(QPaintEvent* e) {
    OverviewPanel::paintEvent(e);
    QPainter p(this);
    // The heading's tab, open to the bottom and the right.
    const QRect frame(QPoint(0, 0), QPoint(164, 29));
    p.setPen(ToQColor(look::kPanelFrame));
    p.drawRoundedRect(frame, look::kPanelCorner / 2, look::kPanelCorner / 2);
    p.fillRect(QRect(frame.left(), frame.bottom() - 4, frame.width() + 1, 6), Qt::white);
    p.fillRect(QRect(frame.right() - 4, frame.top(), 6, frame.height() + 1), Qt::white);
    // The shield icon beside the states.
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(102, 51, 153));
    p.setBrush(QColor(185, 165, 215));
    const QPointF shield[] = {{12, 42}, {30, 38}, {40, 42}, {38, 62}, {26, 74}, {14, 62}};
    p.drawPolygon(shield, 6);
}

// ---- CProtectionSummaryWnd

CProtectionSummaryWnd::CProtectionSummaryWnd(CTarvellApp& app, SendCommand send, QWidget* parent)
    : OverviewPage(parent) {
    information_ = new CProtectInformationPanel(app, this);
    details_ = new CProtectionDetailsDlg(app, std::move(send), this);
    PlacePanels(information_, details_);
}

void CProtectionSummaryWnd::showEvent(QShowEvent* e) {
    OverviewPage::showEvent(e);
    information_->show();
    details_->show();
}

void CProtectionSummaryWnd::hideEvent(QHideEvent* e) {
    information_->hide();
    details_->hide();
    OverviewPage::hideEvent(e);
}

}  // namespace tarvell
