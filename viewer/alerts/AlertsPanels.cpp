#include "viewer/alerts/AlertsPanels.h"

#include <QLabel>
#include <QPainter>
#include <QTextCursor>
#include <QTextEdit>

#include "viewer/core/look/Look.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/OverviewPanel.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {
namespace {

constexpr int kActionsHeight = 52;

QLabel* Static(const QString& text, QRect place, const QFont& font, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setFont(font);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, ToQColor(look::kText));
    l->setPalette(pal);
    l->setGeometry(place);
    return l;
}

LinkLabel* Link(const QString& text, QRect place, QWidget* parent) {
    auto* link = new LinkLabel(text, 0, parent);
    link->SetColor(ToQColor(look::kLink));
    link->SetUnderlined(true);
    link->setFont(DesignFont(QStringLiteral("Tahoma"), 13));
    link->setGeometry(place);
    return link;
}

void RoundedFrame(QPainter& p, const QRectF& r, const QColor& fill) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(ToQColor(look::kPanelFrame));
    p.setBrush(fill);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    p.setRenderHint(QPainter::Antialiasing, false);
}

}  // namespace

// ---- header

CAlertsHeaderPanel::CAlertsHeaderPanel(QWidget* parent) : QWidget(parent) {
    title_ = Static(QString(), QRect(8, 6, 124, 20), PanelTitleFont(*this), this);
    Static(QStringLiteral("Alerts:"), QRect(150, 9, 40, 16), PanelTextFont(), this);
    count_ = Static(QStringLiteral("0"), QRect(192, 9, 60, 16), PanelBoldFont(), this);
    viewArchive_ = Link(QStringLiteral("View archived alerts"), QRect(262, 9, 140, 16), this);
    resize(410, 30);
}

void CAlertsHeaderPanel::SetTitle(const QString& title) {
    // A long archive name is shortened in its middle to fit the tab; the tooltip holds it whole.
    title_->setText(title_->fontMetrics().elidedText(title, Qt::ElideMiddle, title_->width()));
    title_->setToolTip(title);
}
void CAlertsHeaderPanel::SetCount(int count) { count_->setText(QString::number(count)); }
QString CAlertsHeaderPanel::CountText() const { return count_->text(); }
QString CAlertsHeaderPanel::TitleText() const { return title_->text(); }

void CAlertsHeaderPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    RoundedFrame(p, QRectF(0, 3, 135, 27), Qt::white);
    p.fillRect(QRect(0, 25, 135, 5), Qt::white);
    p.fillRect(QRect(130, 3, 5, 27), Qt::white);
}

// ---- report links

CAlertsReportPanel::CAlertsReportPanel(QWidget* parent) : QWidget(parent) {
    report_ = Link(QStringLiteral("Create alerts report..."), QRect(5, 7, 150, 16), this);
    archive_ = Link(QStringLiteral("Archive current alerts"), QRect(170, 7, 150, 16), this);
    clear_ = Link(QStringLiteral("Clear current alerts"), QRect(335, 7, 140, 16), this);
    resize(480, 30);
}

// ---- actions

CAlertActionsPanel::CAlertActionsPanel(QWidget* parent) : QWidget(parent) {
    remove_ = Link(QStringLiteral("Remove selected alerts"), QRect(10, 6, 200, 16), this);
    learnMore_ =
        Link(QStringLiteral("Learn more about this alert..."), QRect(10, 28, 200, 16), this);
    resize(239, kActionsHeight);
}

void CAlertActionsPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), ToQColor(look::kSelectedRow));
}

// ---- details

QString CAlertDetailsPanel::Title(std::uint32_t mode) {
    return mode == kPreventionAlertsMode ? QStringLiteral("Prevention Details")
                                         : QStringLiteral("Detection Details");
}

QString CAlertDetailsPanel::Description(std::uint32_t mode) {
    const QString kind =
        mode == kPreventionAlertsMode ? QStringLiteral("prevention") : QStringLiteral("detection");
    return QStringLiteral(
               "The real-time %1 alerts screen contains Tarvell %1 events collection information. "
               "At any "
               "time you can select an alert in order to check its details or perform your "
               "preferred "
               "task over it.")
        .arg(kind);
}

CAlertDetailsPanel::CAlertDetailsPanel(std::uint32_t mode, QWidget* parent)
    : QWidget(parent),
      mode_(mode),
      pane_(new QTextEdit(this)),
      actions_(new CAlertActionsPanel(this)) {
    pane_->setReadOnly(true);
    SetControlName(pane_, QStringLiteral("Alert details"));
    pane_->setFrameShape(QFrame::NoFrame);
    pane_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    pane_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ShowDescription();
}

QString CAlertDetailsPanel::PaneText() const { return pane_->toPlainText(); }

void CAlertDetailsPanel::ShowDescription() {
    selected_ = false;
    pane_->clear();
    QTextCharFormat grey;
    grey.setFont(DesignFont(QStringLiteral("Tahoma"), 11));
    grey.setForeground(ToQColor(look::kText));
    QTextCursor c(pane_->document());
    c.insertText(Description(mode_), grey);
    QPalette pal = pane_->palette();
    pal.setColor(QPalette::Base, Qt::white);
    pane_->setPalette(pal);
    actions_->hide();
    update();
}

void CAlertDetailsPanel::ShowDetails(const std::vector<DetailsPiece>& pieces) {
    selected_ = true;
    pane_->clear();
    QTextCharFormat label, value;
    label.setFont(DesignFont(QStringLiteral("Tahoma"), 11, 700));
    value.setFont(DesignFont(QStringLiteral("Tahoma"), 11));
    QTextCursor c(pane_->document());
    for (const DetailsPiece& piece : pieces)
        c.insertText(FromStored(piece.text), piece.label ? label : value);
    pane_->moveCursor(QTextCursor::Start);
    QPalette pal = pane_->palette();
    pal.setColor(QPalette::Base, ToQColor(look::kSelectedRow));
    pane_->setPalette(pal);
    actions_->show();
    update();
}

void CAlertDetailsPanel::resizeEvent(QResizeEvent*) {
    const int w = width(), h = height();
    pane_->setGeometry(10, 42, w - 20, h - kActionsHeight - 45);
    actions_->setGeometry(1, h - kActionsHeight - 3, w - 3, kActionsHeight);
}

void CAlertDetailsPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QColor fill = selected_ ? ToQColor(look::kSelectedRow) : QColor(Qt::white);
    RoundedFrame(p, QRectF(0, 3, width(), height() - 3), fill);
    p.setPen(ToQColor(look::kPanelFrame));
    p.drawLine(1, 33, width() - 2, 33);
    p.setFont(PanelTitleFont(*this));
    p.setPen(ToQColor(look::kText));
    p.drawText(QRect(10, 6, width() - 20, 26), Qt::AlignVCenter | Qt::AlignLeft, Title(mode_));
}

}  // namespace tarvell
