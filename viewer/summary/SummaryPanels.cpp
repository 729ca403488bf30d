#include "viewer/summary/SummaryPanels.h"

#include <QPainter>
#include <QResizeEvent>

#include "viewer/core/Look.h"
#include "viewer/core/MenuTable.h"
#include "viewer/core/StringTable.h"
#include "viewer/core/SummaryRules.h"
#include "viewer/widgets/CFlatToolBarCtrl.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Images.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {
namespace {

constexpr int kTitleId = 1000;
constexpr int kPanelPeriodMs = 10'000;
// A count text of the events file is shown as it is, within this length.
constexpr int kMaxCountText = 16;

QFont TitleFont(const QWidget& w) { return BodyFont(w, QStringLiteral("Tahoma"), 700); }
QFont TextFont() { return DesignFont(QStringLiteral("Tahoma"), 13); }
QFont BoldText() { return DesignFont(QStringLiteral("Tahoma"), 13, 700); }
// The monitor information panel keeps its small fixed layout (160 x 175); its texts take a
// smaller size so that the stand-in face, wider than Tahoma, fits in it.
QFont SmallText() { return DesignFont(QStringLiteral("Tahoma"), 11); }

QString Number(long value) { return QString::number(value); }

}  // namespace

// ---- OverviewPanel

OverviewPanel::OverviewPanel(CTarvellApp& app, SendCommand send, int periodMs, QWidget* parent)
    : QWidget(parent), app_(app), send_(std::move(send)), periodMs_(periodMs) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &OverviewPanel::Refresh);
}

void OverviewPanel::Refresh() {
    timer_.stop();
    Update();
    if (periodMs_ > 0 && isVisible()) timer_.start(periodMs_);
}

QString OverviewPanel::Text(int id) const {
    if (const auto it = labels_.find(id); it != labels_.end()) return it->second->text();
    if (const auto it = links_.find(id); it != links_.end()) return it->second->Text();
    return {};
}

LinkLabel* OverviewPanel::Link(int id) const {
    const auto it = links_.find(id);
    return it == links_.end() ? nullptr : it->second;
}

QLabel* OverviewPanel::AddLabel(int id, const QString& text, QRect place, const QFont& font, bool wrap) {
    auto* label = new QLabel(text, this);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(wrap);
    label->setAlignment(Qt::AlignLeft | (wrap ? Qt::AlignTop : Qt::AlignVCenter));
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, ToQColor(look::kText));
    label->setPalette(pal);
    label->setGeometry(place);
    if (id != 0) labels_[id] = label;
    return label;
}

LinkLabel* OverviewPanel::AddLink(int id, const QString& text, CommandId command, QRect place) {
    auto* link = new LinkLabel(text, command, this);
    link->setFont(TextFont());
    link->setGeometry(place);
    connect(link, &LinkLabel::activated, this, [this](CommandId c) {
        if (send_) send_(static_cast<int>(c));
    });
    links_[id] = link;
    return link;
}

void OverviewPanel::SetTextIfChanged(int id, const QString& text) {
    const auto it = labels_.find(id);
    if (it != labels_.end() && it->second->text() != text) it->second->setText(text);
}

void OverviewPanel::ApplyPermissions(const std::map<int, std::string_view>& permissions) {
    const CTarvellDoc& settings = app_.Document().Fields();
    const std::string granted = settings.ViewerUsers.empty() ? std::string() : app_.GetUserPermissions();
    for (const auto& [id, permission] : permissions)
        if (LinkLabel* link = Link(id)) link->setEnabled(PermissionGranted(settings, granted, permission));
}

void OverviewPanel::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    Refresh();
}

void OverviewPanel::hideEvent(QHideEvent* e) {
    timer_.stop();
    QWidget::hideEvent(e);
}

void OverviewPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    // Thin separators, fading from the frame grey to almost white at both ends.
    for (int y : separators_) {
        const int w = width() - 20;
        for (int x = 0; x < w; ++x) {
            const int edge = std::min(x, w - 1 - x);
            const int fade = std::max(0, 40 - edge) * 59 / 40;   // 193 .. 252
            p.fillRect(QRect(10 + x, y, 1, 1), QColor(193 + fade, 193 + fade, 193 + fade));
        }
    }
}

// ---- CSummaryDlg

CSummaryDlg::CSummaryDlg(CTarvellApp& app, SendCommand send, QWidget* parent)
    : OverviewPanel(app, std::move(send), kPanelPeriodMs, parent) {
    const int ppi = logicalDpiX();
    QLabel* title = AddLabel(kTitleId, QStringLiteral("System Summary:"), QRect(10, 10, 500, ppi / 5 + 10),
                             DesignFont(QStringLiteral("Arial"), ppi / 5, 700));
    QPalette pal = title->palette();
    pal.setColor(QPalette::WindowText, QColor(120, 85, 155));
    title->setPalette(pal);
    AddLabel(1007, FromUtf8(LoadString(str::kNotConnected)), QRect(12, 20 + ppi / 5, 500, ppi / 7 + 8),
             BodyFont(*this, QStringLiteral("Tahoma"), 700));
    AddLabel(1004,
             QStringLiteral("Select an item from the list above in order to get more information and take the "
                            "necessary action."),
             QRect(12, 100, 400, 40), BodyFont(*this), true);

    favorites_ = new CFlatToolBarCtrl(this);
    favorites_->setObjectName(QStringLiteral("favorites"));
    favorites_->SetTextColor(ToQColor(look::kText));
    favorites_->SetImageList(&ViewerImages(res::kFavorites));
    const CommandId commands[] = {cmd::kMonitor, cmd::kProtect, cmd::kAlerts, cmd::kSettings};
    int image = 0;
    for (CommandId c : commands) {
        FlatButton b;
        b.command = c;
        b.text = FromUtf8(MenuText(res::kFavoritesMenu, c));
        b.image = image++;
        favorites_->AddButton(b);
    }
    favorites_->SetRows(4);
    // The buttons' commands go to the main frame, which switches the page.
    connect(favorites_, &CFlatToolBarCtrl::commandTriggered, this, [this](CommandId c) {
        if (send_) send_(static_cast<int>(c));
    });
}

void CSummaryDlg::Update() {
    const CTarvellDoc& settings = app_.Document().Fields();
    SetTextIfChanged(1007, FromUtf8(ServiceStateText(app_.Document().Title(), query_, settings)));
}

void CSummaryDlg::resizeEvent(QResizeEvent* e) {
    OverviewPanel::resizeEvent(e);
    const int side = 3 * logicalDpiX();
    favorites_->setGeometry(2, 100, side, std::min(side, favorites_->sizeHint().height()));
    const int below = 100 + favorites_->height() + 10;
    for (QLabel* label : findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
        if (label->wordWrap()) label->setGeometry(12, below, std::max(100, width() - 24), 48);
}

void CSummaryDlg::paintEvent(QPaintEvent* e) {
    OverviewPanel::paintEvent(e);
    QPainter p(this);
    p.fillRect(QRect(10, 100 - 8, width() - 20, 1), ToQColor(look::kPanelFrame));
}

// ---- CMonitorDetailsDlg

namespace {

// The two-part layout of the details panels: a total, then a block per side with its count,
// description and link.
struct SideTexts {
    int countId;
    QString heading, description;
    int linkId;
    QString link;
    CommandId command;
};

}  // namespace

static void LayoutDetails(OverviewPanel& panel, const QString& title, int totalId, const QString& totalText,
                          const SideTexts (&sides)[2], const QString& countText,
                          const std::function<QLabel*(int, const QString&, QRect, const QFont&, bool)>& label,
                          const std::function<void(int, const QString&, CommandId, QRect)>& link,
                          const std::function<void(int)>& separator) {
    label(1000, title, QRect(10, 8, 400, panel.logicalDpiX() / 7 + 6), TitleFont(panel), false);
    label(totalId, QStringLiteral("0"), QRect(12, 36, 40, 18), BoldText(), false);
    label(0, totalText, QRect(56, 36, 340, 18), TextFont(), false);
    separator(62);
    int y = 72;
    for (const SideTexts& side : sides) {
        label(0, side.heading, QRect(12, y, 300, 18), BoldText(), false);
        label(side.countId, QStringLiteral("0"), QRect(12, y + 20, 40, 18), BoldText(), false);
        label(0, countText, QRect(56, y + 20, 200, 18), TextFont(), false);
        label(0, side.description, QRect(12, y + 42, 390, 34), TextFont(), true);
        link(side.linkId, side.link, side.command, QRect(12, y + 78, 200, 18));
        y += 106;
        if (&side == &sides[0]) separator(y - 6);
    }
    panel.resize(420, y);
}

CMonitorDetailsDlg::CMonitorDetailsDlg(CTarvellApp& app, SendCommand send, QWidget* parent)
    : OverviewPanel(app, std::move(send), kPanelPeriodMs, parent) {
    const SideTexts sides[2] = {
        {1009, QStringLiteral("Detection Monitor"),
         QStringLiteral("With detection monitor you can view Tarvell events about device ports that were detected "
                        "as potential network intruders."),
         1011, QStringLiteral("View detection monitor"), cmd::kDetectionMonitor},
        {1010, QStringLiteral("Prevention Monitor"),
         QStringLiteral("With prevention monitor you can view Tarvell events about device ports that were "
                        "eliminated from accessing the network."),
         1012, QStringLiteral("View prevention monitor"), cmd::kPreventionMonitor},
    };
    LayoutDetails(
        *this, QStringLiteral("Monitor Details"), 1008, QStringLiteral("Events are currently active"), sides,
        QStringLiteral("active events"),
        [this](int id, const QString& t, QRect r, const QFont& f, bool w) { return AddLabel(id, t, r, f, w); },
        [this](int id, const QString& t, CommandId c, QRect r) { AddLink(id, t, c, r); },
        [this](int y) { AddSeparator(y); });
}

void CMonitorDetailsDlg::showEvent(QShowEvent* e) {
    ApplyPermissions({{1011, LoadString(str::kPermDetectionMonitor)}, {1012, LoadString(str::kPermPreventionMonitor)}});
    OverviewPanel::showEvent(e);
}

void CMonitorDetailsDlg::Update() {
    const ItemCounts counts = app_.EventCounts();
    SetTextIfChanged(1008, Number(counts.total));
    SetTextIfChanged(1009, Number(counts.detection));
    SetTextIfChanged(1010, Number(counts.prevention));
}

// ---- CMonitorInfoDlg

CMonitorInfoDlg::CMonitorInfoDlg(CTarvellApp& app, QWidget* parent)
    : OverviewPanel(app, nullptr, kPanelPeriodMs, parent) {
    AddLabel(1000, QStringLiteral("Monitor Information"), QRect(10, 10, 150, logicalDpiX() / 7 + 6), TitleFont(*this));
    AddLabel(1012, QStringLiteral("Total Devices:"), QRect(50, 45, 75, 15), SmallText());
    AddLabel(1014, QStringLiteral("0"), QRect(125, 45, 35, 15), SmallText());
    AddLabel(1013, QStringLiteral("Total Nodes:"), QRect(50, 60, 75, 15), SmallText());
    AddLabel(1015, QStringLiteral("0"), QRect(125, 60, 35, 15), SmallText());
    AddLabel(1016,
             QStringLiteral("With real-time monitor you can view your current device ports network access control. "
                            "Use the detection and prevention monitors to analyze your network potential risks."),
             QRect(10, 90, 150, 100), SmallText(), true);
    AddSeparator(80);
    resize(160, 175);
}

void CMonitorInfoDlg::Update() {
    const std::shared_ptr<const EventsSnapshot> events = app_.Events();
    if (!events) return;
    SetTextIfChanged(1014, FromStored(events->SwitchCount).left(kMaxCountText));
    SetTextIfChanged(1015, FromStored(events->NodeCount).left(kMaxCountText));
}

// ---- CProtectionDetailsDlg

CProtectionDetailsDlg::CProtectionDetailsDlg(CTarvellApp& app, SendCommand send, QWidget* parent)
    : OverviewPanel(app, std::move(send), 0, parent) {
    const SideTexts sides[2] = {
        {1009, QStringLiteral("Intrusion Detection"),
         QStringLiteral("With intrusion detection you can set your preferred protection detection methods that will "
                        "be used by Tarvell to discover network intruders on your network."),
         1018, QStringLiteral("View detection settings"), cmd::kIntrusionDetection},
        {1010, QStringLiteral("Intrusion Prevention"),
         QStringLiteral("With intrusion prevention you can set your preferred protection prevention methods that "
                        "will be used by Tarvell to block network intruders from accessing your network."),
         1019, QStringLiteral("View prevention settings"), cmd::kIntrusionPrevention},
    };
    LayoutDetails(
        *this, QStringLiteral("Protection Details"), 1017, QStringLiteral("Protections are currently active"), sides,
        QStringLiteral("active protections"),
        [this](int id, const QString& t, QRect r, const QFont& f, bool w) { return AddLabel(id, t, r, f, w); },
        [this](int id, const QString& t, CommandId c, QRect r) { AddLink(id, t, c, r); },
        [this](int y) { AddSeparator(y); });
}

void CProtectionDetailsDlg::showEvent(QShowEvent* e) {
    ApplyPermissions(
        {{1018, LoadString(str::kPermIntrusionDetection)}, {1019, LoadString(str::kPermIntrusionPrevention)}});
    OverviewPanel::showEvent(e);
}

void CProtectionDetailsDlg::Update() {
    const ProtectionCounts counts = CountProtections(app_.Document().Fields());
    SetTextIfChanged(1009, Number(counts.detection));
    SetTextIfChanged(1010, Number(counts.prevention));
    SetTextIfChanged(1017, Number(counts.Total()));
}

}  // namespace tarvell
