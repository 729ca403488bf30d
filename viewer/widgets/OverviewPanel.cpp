#include "viewer/widgets/OverviewPanel.h"

#include <QPainter>
#include <algorithm>

#include "viewer/core/look/Look.h"
#include "viewer/core/summary/SummaryRules.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/HubSignals.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/Painting.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

namespace {
constexpr int kPanelMargin = 10;  // a count moved left stops here
}  // namespace

QFont PanelTitleFont(const QWidget& w) { return BodyFont(w, QStringLiteral("Tahoma"), 700); }
QFont PanelTextFont() { return DesignFont(QStringLiteral("Tahoma"), 13); }
QFont PanelBoldFont() { return DesignFont(QStringLiteral("Tahoma"), 13, 700); }
QFont InformationFont() { return DesignFont(QStringLiteral("Tahoma"), 11); }

void PaintOverviewBackground(QPainter& p, const QRect& client) {
    FillPageGradient(p, client);
    FillRoundedPanel(p, QRect(QPoint(20, 20), QPoint(200 - 1, 210 - 1)));
    FillRoundedPanel(
        p, QRect(QPoint(210, 20), QPoint(client.width() - 20 - 1, client.height() - 20 - 1)));
}

// ---- OverviewPanel

OverviewPanel::OverviewPanel(CTarvellApp& app, SendCommand send, QWidget* parent)
    : QWidget(parent), app_(app), send_(std::move(send)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(new HubSignals(app_, this), &HubSignals::changed, this, [this] {
        if (isVisible()) Refresh();
    });
}

void OverviewPanel::Refresh() {
    Update();
}

QString OverviewPanel::Text(ControlId id) const {
    if (const auto it = labels_.find(id); it != labels_.end()) return it->second->text();
    if (const auto it = links_.find(id); it != links_.end()) return it->second->Text();
    return {};
}

LinkLabel* OverviewPanel::Link(ControlId id) const {
    const auto it = links_.find(id);
    return it == links_.end() ? nullptr : it->second;
}

QLabel* OverviewPanel::AddLabel(ControlId id, const QString& text, QRect place, const QFont& font,
                                bool wrap) {
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

LinkLabel* OverviewPanel::AddLink(ControlId id, const QString& text, CommandId command, QRect place) {
    auto* link = new LinkLabel(text, command, this);
    link->setFont(PanelTextFont());
    link->setGeometry(place);
    connect(link, &LinkLabel::activated, this, [this](CommandId c) {
        if (send_) send_(static_cast<int>(c));
    });
    links_[id] = link;
    return link;
}

QLabel* OverviewPanel::Label(ControlId id) const {
    const auto it = labels_.find(id);
    return it == labels_.end() ? nullptr : it->second;
}

void OverviewPanel::SetTextIfChanged(ControlId id, const QString& text) {
    const auto it = labels_.find(id);
    if (it == labels_.end() || it->second->text() == text) return;
    QLabel* label = it->second;
    label->setText(text);
    const auto fit = fits_.find(id);
    if (fit == fits_.end()) return;
    const CountFit& f = fit->second;
    QRect r = f.place;
    r.setWidth(std::max(f.place.width(), QFontMetrics(label->font()).horizontalAdvance(text) + 2));
    if (f.before != nullptr) {
        const int over = r.right() - (width() - 1);
        const int shift = std::clamp(over, 0, std::max(0, f.beforePlace.left() - kPanelMargin));
        r.translate(-shift, 0);
        f.before->setGeometry(f.beforePlace.translated(-shift, 0));
    }
    label->setGeometry(r);
    if (f.next != nullptr) {
        const int left = std::max(f.nextPlace.left(),
                                  r.right() + 1 + (f.nextPlace.left() - f.place.right() - 1));
        f.next->setGeometry(
            QRect(QPoint(left, f.nextPlace.top()),
                  QPoint(std::max(left, f.nextPlace.right()), f.nextPlace.bottom())));
    }
}

void OverviewPanel::FitCount(ControlId id, QLabel* next, QLabel* before) {
    const auto it = labels_.find(id);
    if (it == labels_.end()) return;
    fits_[id] = {it->second->geometry(), next, next ? next->geometry() : QRect(), before,
                 before ? before->geometry() : QRect()};
}

void OverviewPanel::ApplyPermissions(const std::map<ControlId, std::string_view>& permissions) {
    const CTarvellDoc& settings = app_.Document().Fields();
    const std::string granted =
        settings.ViewerUsers.empty() ? std::string() : app_.GetUserPermissions();
    for (const auto& [id, permission] : permissions)
        if (LinkLabel* link = Link(id))
            link->setEnabled(PermissionGranted(settings, granted, permission));
}

void OverviewPanel::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    Refresh();
}

void OverviewPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    // Thin separators, fading from the frame grey to almost white at both ends.
    for (int y : separators_) {
        const int w = width() - 20;
        for (int x = 0; x < w; ++x) {
            const int edge = std::min(x, w - 1 - x);
            const int fade = std::max(0, 40 - edge) * 59 / 40;  // 193 .. 252
            p.fillRect(QRect(10 + x, y, 1, 1), QColor(193 + fade, 193 + fade, 193 + fade));
        }
    }
}

void OverviewPanel::AddInformationTitle(const QString& title) {
    AddLabel(ctl::kPanelTitle, title, QRect(10, 10, 150, logicalDpiX() / 7 + 6), PanelTitleFont(*this));
}

void OverviewPanel::AddInformationText(const QString& text) {
    AddLabel(ctl::kInformationText, text, QRect(10, 90, 150, 100), InformationFont(), true);
    AddSeparator(80);
    resize(160, 175);
}

// ---- OverviewDetailsPanel

OverviewDetailsPanel::OverviewDetailsPanel(CTarvellApp& app, SendCommand send,
                                           const DetailsTexts& texts,
                                           std::function<ItemCounts()> counts, QWidget* parent)
    : OverviewPanel(app, std::move(send), parent),
      totalId_(texts.totalId),
      countIds_{texts.sides[0].countId, texts.sides[1].countId},
      permissions_{{texts.sides[0].linkId, texts.permissions[0]},
                   {texts.sides[1].linkId, texts.permissions[1]}},
      keepLinksWithoutUsers_(texts.keepLinksWithoutUsers),
      counts_(std::move(counts)) {
    // The two-part layout: a total, then a block per side with its count, description and link;
    // the panel takes the height it needs.
    AddLabel(ctl::kPanelTitle, texts.title, QRect(10, 8, 400, logicalDpiX() / 7 + 6), PanelTitleFont(*this));
    AddLabel(totalId_, QStringLiteral("0"), QRect(12, 36, 40, 18), PanelBoldFont());
    FitCount(totalId_, AddLabel(ctl::kStatic, texts.totalText, QRect(56, 36, 340, 18), PanelTextFont()),
             nullptr);
    AddSeparator(62);
    int y = 72;
    for (const SideTexts& side : texts.sides) {
        AddLabel(ctl::kStatic, side.heading, QRect(12, y, 300, 18), PanelBoldFont());
        AddLabel(side.countId, QStringLiteral("0"), QRect(12, y + 20, 40, 18), PanelBoldFont());
        FitCount(side.countId,
                 AddLabel(ctl::kStatic, texts.countText, QRect(56, y + 20, 200, 18), PanelTextFont()),
                 nullptr);
        QLabel* text =
            AddLabel(ctl::kStatic, side.description, QRect(12, y + 42, 390, 34), PanelTextFont(), true);
        // Two lines of room, or as many as the face in use wraps the text into.
        const int height = std::max(34, text->heightForWidth(390));
        text->resize(390, height);
        AddLink(side.linkId, side.link, side.command, QRect(12, y + 44 + height, 200, 18));
        y += 72 + height;
        if (&side == &texts.sides[0]) AddSeparator(y - 6);
    }
    resize(420, y);
}

void OverviewDetailsPanel::showEvent(QShowEvent* e) {
    if (!keepLinksWithoutUsers_ || !app_.Document().Fields().ViewerUsers.empty())
        ApplyPermissions(permissions_);
    OverviewPanel::showEvent(e);
}

void OverviewDetailsPanel::Update() {
    const ItemCounts counts = counts_();
    SetTextIfChanged(totalId_, QString::number(counts.total));
    SetTextIfChanged(countIds_[0], QString::number(counts.detection));
    SetTextIfChanged(countIds_[1], QString::number(counts.prevention));
}

// ---- OverviewPage

OverviewPage::OverviewPage(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void OverviewPage::PlacePanels(QWidget* information, QWidget* details) {
    information_ = information;
    details_ = details;
}

void OverviewPage::resizeEvent(QResizeEvent*) {
    if (details_) details_->move(220, 30);
    if (information_) information_->setGeometry(30, 30, 160, 175);
}

void OverviewPage::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintOverviewBackground(p, rect());
}

}  // namespace tarvell
