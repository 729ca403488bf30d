#include "viewer/monitors/MonitorHeaderPanels.h"

#include <QAction>
#include <QPainter>
#include <QPainterPath>

#include "viewer/core/look/DialogUnits.h"
#include "viewer/core/look/Look.h"
#include "viewer/core/shell/MenuTable.h"
#include "viewer/core/monitors/MonitorRules.h"
#include "viewer/monitors/CEventMonitorWnd.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/Painting.h"
#include "viewer/widgets/TextConv.h"
#include "viewer/widgets/WaitCursor.h"

namespace tarvell {

namespace {

constexpr int kPanelWidthDlu = 305;
constexpr int kPanelHeight = 30;

void AddItems(QMenu* menu, const std::vector<MenuItem>& items) {
    for (const MenuItem& item : items) {
        if (item.IsSeparator()) {
            menu->addSeparator();
        } else if (item.IsPopup()) {
            AddItems(menu->addMenu(FromUtf8(StripMnemonic(item.text))), item.popup);
        } else {
            QAction* action = menu->addAction(FromUtf8(StripMnemonic(item.text)));
            action->setData(item.command);
        }
    }
}

QAction* FindCommand(QMenu* menu, CommandId command, QMenu** owner) {
    for (QAction* action : menu->actions()) {
        if (action->menu()) {
            if (QAction* found = FindCommand(action->menu(), command, owner)) return found;
        } else if (!action->isSeparator() && action->data().toUInt() == command) {
            *owner = menu;
            return action;
        }
    }
    return nullptr;
}

QLabel* TextLabel(const QString& text, QWidget* parent, int weight) {
    auto* label = new QLabel(text, parent);
    label->setFont(DesignFont(QStringLiteral("Tahoma"), 13, weight));
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, ToQColor(look::kText));
    label->setPalette(pal);
    return label;
}

}  // namespace

CMonitorHeaderPanel::CMonitorHeaderPanel(CEventMonitorWnd* window, bool detection,
                                         const QString& title)
    : QWidget(window), window_(window), detection_(detection), filter_(cmd::kAllEvents) {
    setFixedSize(DluToPixelsX(kPanelWidthDlu), kPanelHeight);
    title_ = TextLabel(title, this, 700);
    title_->setGeometry(8, 6, 122, 18);
    events_ = TextLabel(QStringLiteral("Events:"), this, 400);
    events_->setGeometry(145, 8, 45, 16);
    count_ = TextLabel(QString(), this, 400);
    count_->setGeometry(192, 8, 60, 16);
    link_ = new LinkLabel(QStringLiteral("Filter by type:"), 0, this);
    link_->setFont(DesignFont(QStringLiteral("Tahoma"), 13, 400, false, true));
    link_->SetColor(ToQColor(look::kLink));
    link_->setGeometry(256, 8, width() - 258, 16);
    connect(link_, &LinkLabel::activated, this, [this] { OnFilterByType(); });
    OnInitDialog();
    hide();
}

void CMonitorHeaderPanel::OnInitDialog() {
    const unsigned menu = detection_ ? res::kDetectionFilterMenu : res::kPreventionFilterMenu;
    link_->SetText(FromUtf8(FilterLinkText(link_->Text().toStdString(), MenuText(menu, filter_))));
}

QString CMonitorHeaderPanel::LinkText() const { return link_->Text(); }

void CMonitorHeaderPanel::SetCountText(const QString& text) {
    if (count_->text() != text) count_->setText(text);
}

std::unique_ptr<QMenu> CMonitorHeaderPanel::BuildFilterMenu() const {
    auto menu = std::make_unique<QMenu>();
    const auto* items =
        LoadMenu(detection_ ? res::kDetectionFilterMenu : res::kPreventionFilterMenu);
    if (items != nullptr && !items->empty()) AddItems(menu.get(), items->front().popup);
    const DefaultFilterItem item = FilterDefaultItem(detection_, filter_);
    if (item.position >= 0 && item.position < menu->actions().size()) {
        menu->setDefaultAction(menu->actions().at(item.position));
    } else {
        QMenu* owner = nullptr;
        if (QAction* action = FindCommand(menu.get(), item.command, &owner))
            owner->setDefaultAction(action);
    }
    return menu;
}

void CMonitorHeaderPanel::OnFilterByType() {
    std::unique_ptr<QMenu> menu = BuildFilterMenu();
    QAction* chosen = menu->exec(link_->mapToGlobal(QPoint(0, link_->height())));
    if (chosen == nullptr || chosen->menu() != nullptr) return;
    const CommandId command = chosen->data().toUInt();
    if (command == 0 || command == filter_) return;
    SetFilter(command, chosen->text());
}

void CMonitorHeaderPanel::SetFilter(CommandId command, const QString& text) {
    filter_ = command;
    link_->SetText(FromUtf8(FilterLinkText(link_->Text().toStdString(), text.toStdString())));
    WaitCursor wait;
    if (window_ != nullptr) window_->OnFilterChanged(detection_);
}

void CMonitorHeaderPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QColor white = ToQColor(look::kWhite);
    p.fillRect(rect(), white);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(ToQColor(look::kPanelFrame));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRect(0, 3, 134, 26), 3, 3);
    p.fillRect(QRect(QPoint(0, 25), QPoint(134, 29)), white);
    p.fillRect(QRect(QPoint(130, 3), QPoint(134, 29)), white);
}

CDetectionMonitorHeaderPanel::CDetectionMonitorHeaderPanel(CEventMonitorWnd* window)
    : CMonitorHeaderPanel(window, true, QStringLiteral("Detection Monitor")) {}

CPreventionMonitorHeaderPanel::CPreventionMonitorHeaderPanel(CEventMonitorWnd* window)
    : CMonitorHeaderPanel(window, false, QStringLiteral("Prevention Monitor")) {}

CFramedPanel::CFramedPanel(const QString& name, QSize size, QWidget* parent) : QWidget(parent) {
    setObjectName(name);
    resize(size);
    hide();
}

void CFramedPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    FillRoundedPanel(p, rect());
}

}  // namespace tarvell
