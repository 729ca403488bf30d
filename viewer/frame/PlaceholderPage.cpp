#include "viewer/frame/PlaceholderPage.h"

#include <QGuiApplication>
#include <QPainter>

#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/look/Look.h"
#include "viewer/core/shell/MenuTable.h"
#include "viewer/core/shell/StringTable.h"
#include "viewer/widgets/CFlatToolBarCtrl.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Painting.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

namespace {

const char* OverviewName(int slot) {
    switch (slot) {
        case 1: return "Summary";
        case 2: return "Monitor Summary";
        case 4: return "Protect Summary";
        case 6: return "Alerts Summary";
        case 8: return "Settings";
        default: return "";
    }
}

QWidget* MakePanel(QWidget* parent, const QString& text) {
    auto* panel = new QLabel(text, parent);
    panel->setAlignment(Qt::AlignCenter);
    panel->setStyleSheet(QStringLiteral(
        "background: white; border: 1px solid rgb(193,193,193); border-radius: 6px;"));
    panel->hide();
    return panel;
}

}  // namespace

CPlaceholderPage::CPlaceholderPage(int slot, const PageContext& context, QWidget* parent)
    : QWidget(parent), slot_(slot), context_(context) {
    setObjectName(QStringLiteral("page%1").arg(slot));
    setAttribute(Qt::WA_NoSystemBackground, false);
    title_ = new QLabel(this);
    title_->setFont(DesignFont(QStringLiteral("Arial"), 16, 700));
    title_->setStyleSheet(QStringLiteral("color: rgb(66,26,66);"));
    title_->move(30, 10);
    count_ = new QLabel(this);
    count_->setFont(BodyFont(*this));
    count_->setStyleSheet(QStringLiteral("color: rgb(83,83,83);"));
    fill_.setSingleShot(true);
    fill_.setInterval(1);
    connect(&fill_, &QTimer::timeout, this, [this] { Fill(); });
    if (slot == 4 || slot == 6) {
        details_ = MakePanel(this, slot == 4 ? QStringLiteral("Protection Details")
                                             : QStringLiteral("Alerts Details"));
        information_ = MakePanel(this, slot == 4 ? QStringLiteral("Protection Information")
                                                 : QStringLiteral("Alerts Information"));
        title_->hide();
    }
    hide();
}

QString CPlaceholderPage::PageTitle() const {
    if (Mode() != 0 && (slot_ == 3 || slot_ == 5 || slot_ == 7))
        return FromUtf8(MenuText(res::kMainMenu, Mode()));
    return QString::fromLatin1(OverviewName(slot_));
}

void CPlaceholderPage::showEvent(QShowEvent*) {
    ++shows_;
    title_->setText(PageTitle());
    title_->adjustSize();
    if (details_) {
        details_->show();
        information_->show();
    }
    if (slot_ == 3 || slot_ == 7) count_->setText(QStringLiteral("0"));
    if (slot_ != 8 && slot_ != 4 && slot_ != 6) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        fill_.start();
    }
}

void CPlaceholderPage::hideEvent(QHideEvent*) {
    if (fill_.isActive()) {
        fill_.stop();
        QGuiApplication::restoreOverrideCursor();
    }
    if (details_) {
        details_->hide();
        information_->hide();
    }
}

void CPlaceholderPage::Fill() {
    QGuiApplication::restoreOverrideCursor();
    ++fills_;
    const ItemCounts events = context_.app.EventCounts();
    const ItemCounts alerts = context_.app.AlertCounts();
    const bool prevention = Mode() == cmd::kPreventionMonitor ||
                            Mode() == cmd::kIntrusionPrevention || Mode() == cmd::kPreventionAlerts;
    QString text;
    switch (slot_) {
        case 1:
        case 2:
        case 3:
        case 5:
            text = slot_ == 3 || slot_ == 5
                       ? QString::number(prevention ? events.prevention : events.detection)
                       : QStringLiteral("%1 events: %2 detection, %3 prevention")
                             .arg(events.total)
                             .arg(events.detection)
                             .arg(events.prevention);
            break;
        case 7: text = QString::number(prevention ? alerts.prevention : alerts.detection); break;
        default: break;
    }
    count_->setText(text);
    count_->adjustSize();
}

void CPlaceholderPage::resizeEvent(QResizeEvent*) {
    count_->move(30, 40);
    if (details_) {
        information_->setGeometry(30, 30, 160, 175);
        details_->setGeometry(220, 30, 260, 175);
    }
}

void CPlaceholderPage::paintEvent(QPaintEvent*) {
    QPainter p(this);
    FillPageGradient(p, rect());
}

}  // namespace tarvell
