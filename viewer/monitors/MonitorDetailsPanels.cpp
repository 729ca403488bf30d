#include "viewer/monitors/MonitorDetailsPanels.h"
#include "viewer/monitors/EventListModel.h"

#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextEdit>
#include <algorithm>
#include <mutex>

#include "platform/Text.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "shared/EventTypes.h"
#include "viewer/core/look/Look.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/monitors/CEventMonitorWnd.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/CPaintListCtrl.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Images.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/OverviewPanel.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

namespace {

constexpr int kLinkPitch = 24;
constexpr int kLinkTop = 6;
constexpr int kActionsHeight = kLinkTop + 5 * kLinkPitch + 4;
constexpr int kSearchWidth = 90;
constexpr int kTitleBand = 33;

QColor ButtonHighlight() { return QGuiApplication::palette().color(QPalette::Light); }

// The wait cursor while a handler runs.
struct WaitCursor {
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
};

}  // namespace

// ---- CMonitorActionsPanel

CMonitorActionsPanel::CMonitorActionsPanel(bool detection, CEventMonitorWnd& window,
                                           QWidget* parent)
    : QWidget(parent), detection_(detection), window_(window) {
    setObjectName(detection ? QStringLiteral("detectionActions")
                            : QStringLiteral("preventionActions"));
    if (detection) {
        AddLink(MonitorLink::BlockEvents, QStringLiteral("Block events"), 0);
    } else {
        AddLink(MonitorLink::UnblockEvents, QStringLiteral("Unblock events"), 0);
    }
    AddLink(MonitorLink::EventDetails, QStringLiteral("Event details..."), 1);
    AddLink(MonitorLink::SetInformation, QStringLiteral("Set event information..."), 2);
    if (detection) AddLink(MonitorLink::RemoveEvents, QStringLiteral("Remove selected events"), 3);
    AddLink(MonitorLink::LearnMore, QStringLiteral("Learn more about this event..."), 4);
    resize(242, kActionsHeight);
}

void CMonitorActionsPanel::AddLink(MonitorLink link, const QString& text, int slot) {
    auto* label = new LinkLabel(text, 0, this);
    label->setFont(DesignFont(QStringLiteral("Tahoma"), 13));
    label->SetUnderlined(true);
    label->SetColor(ToQColor(kActiveLink));
    QPalette palette = label->palette();
    palette.setColor(QPalette::Disabled, QPalette::WindowText, ToQColor(kInactiveLink));
    label->setPalette(palette);
    label->setGeometry(30, kLinkTop + slot * kLinkPitch, 200, 18);
    links_[link] = label;
    connect(label, &LinkLabel::activated, this, [this, link] {
        switch (link) {
            case MonitorLink::BlockEvents: OnBlockEvents(); break;
            case MonitorLink::UnblockEvents: OnUnblockEvents(); break;
            case MonitorLink::EventDetails: OnEventDetails(); break;
            case MonitorLink::SetInformation: OnSetEventInformation(); break;
            case MonitorLink::RemoveEvents: OnRemoveEvents(); break;
            case MonitorLink::LearnMore: OnLearnMore(); break;
        }
    });
}

LinkLabel* CMonitorActionsPanel::Link(MonitorLink link) const {
    const auto it = links_.find(link);
    return it == links_.end() ? nullptr : it->second;
}

bool CMonitorActionsPanel::IsLinkActive(MonitorLink link) const {
    const LinkLabel* label = Link(link);
    return label != nullptr && label->IsActive() && label->isEnabled();
}

void CMonitorActionsPanel::SetLinkActive(MonitorLink link, bool active) {
    LinkLabel* label = Link(link);
    if (label == nullptr) return;
    label->SetActive(active);
    label->setEnabled(active);
}

void CMonitorActionsPanel::ApplyPermissions() {
    CTarvellApp& app = window_.Context().app;
    const std::string permissions = app.GetUserPermissions();
    std::lock_guard lock(app.Document().DocumentLock);
    const CTarvellDoc& settings = app.Document().Fields();
    for (const auto& [link, label] : links_)
        SetLinkActive(
            link, LinkActiveAfterShow(settings, permissions, detection_, link, IsLinkActive(link)));
}

void CMonitorActionsPanel::showEvent(QShowEvent*) { ApplyPermissions(); }

void CMonitorActionsPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), ToQColor(look::kSelectedRow));
    const ImageList& images = ViewerImages(res::kEventRows);
    for (const auto& [link, label] : links_)
        images.Draw(p, detection_ ? 0 : 2, QPoint(8, label->y() + 1));
}

std::string CMonitorActionsPanel::FirstSelectedKey() const {
    const CPaintListCtrl* list = window_.List(detection_);
    const int row = list->SelectedRow();
    return row < 0 ? std::string() : EventRows(*list)->Rows().Key(row);
}

// Each action runs only while its link is active, whatever called it (the link, a double click
// in the list): an inactive link is a permission the user lacks.
void CMonitorActionsPanel::OnBlockEvents() {
    if (!IsLinkActive(MonitorLink::BlockEvents)) return;
    if (window_.hooks.blockEvents) window_.hooks.blockEvents(window_.List(true));
}

void CMonitorActionsPanel::OnUnblockEvents() {
    if (!IsLinkActive(MonitorLink::UnblockEvents)) return;
    CPaintListCtrl* list = window_.List(false);
    if (list->SelectedRow() >= 0 && window_.hooks.unblockEvents) window_.hooks.unblockEvents(list);
}

void CMonitorActionsPanel::OnRemoveEvents() {
    if (!IsLinkActive(MonitorLink::RemoveEvents)) return;
    if (window_.hooks.removeEvents) window_.hooks.removeEvents(window_.List(true));
}

void CMonitorActionsPanel::OnEventDetails() {
    if (!IsLinkActive(MonitorLink::EventDetails)) return;
    WaitCursor wait;
    const std::string key = FirstSelectedKey();
    if (!key.empty() && window_.hooks.eventDetails) window_.hooks.eventDetails(detection_, key);
}

void CMonitorActionsPanel::OnSetEventInformation() {
    if (!IsLinkActive(MonitorLink::SetInformation)) return;
    WaitCursor wait;
    const std::string key = FirstSelectedKey();
    if (!key.empty() && window_.hooks.setEventInformation)
        window_.hooks.setEventInformation(detection_, key);
}

void CMonitorActionsPanel::OnLearnMore() {
    if (!IsLinkActive(MonitorLink::LearnMore)) return;
    std::string page;
    {
        WaitCursor wait;
        const std::string key = FirstSelectedKey();
        if (key.empty()) return;
        CTarvellApp& app = window_.Context().app;
        CEventItem event;
        if (!app.LookupEvent(key, event)) return;
        if (detection_) {
            page = EventTypeHelp(event.EventType);
        } else {
            std::string requester;
            {
                std::lock_guard lock(app.Document().DocumentLock);
                requester = BlockRequester(app.Document().Fields().BlockRequests, key);
            }
            page = PreventionHelpPage(requester, event);
        }
    }
    const PageContext& context = window_.Context();
    if (context.showInformation)
        context.showInformation(FromUtf8(InformationTitle(detection_)), FromUtf8(page), window());
}

// ---- CMonitorDetailsPanel

CMonitorDetailsPanel::CMonitorDetailsPanel(bool detection, CEventMonitorWnd& window,
                                           QWidget* parent)
    : QWidget(parent), detection_(detection), window_(window) {
    setObjectName(detection ? QStringLiteral("detectionDetails")
                            : QStringLiteral("preventionDetails"));
    title_ = new QLabel(QStringLiteral("Details"), this);
    title_->setFont(PanelTitleFont(*this));
    title_->setGeometry(10, 8, 80, 22);
    searchLink_ = new LinkLabel(QStringLiteral("Search:"), 0, this);
    searchLink_->setFont(DesignFont(QStringLiteral("Tahoma"), 13));
    searchLink_->SetUnderlined(true);
    searchLink_->resize(45, 20);
    edit_ = Named(new QLineEdit(this), QStringLiteral("Search"));
    edit_->setFont(DesignFont(QStringLiteral("Tahoma"), 13));
    connect(edit_, &QLineEdit::returnPressed, this, [this] { OnSearch(); });
    connect(searchLink_, &LinkLabel::activated, this, [this] { OnSearch(); });
    text_ = Named(new QTextEdit(this), QStringLiteral("Event details"));
    text_->setReadOnly(true);
    text_->setAcceptRichText(false);
    text_->setFrameShape(QFrame::NoFrame);
    text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    actions_ =
        detection
            ? static_cast<CMonitorActionsPanel*>(new CDetectionMonitorActionsPanel(window, this))
            : new CPreventionMonitorActionsPanel(window, this);
    actions_->hide();

    const QFont face = DesignFont(QStringLiteral("Tahoma"), 11);
    m_NormalFormat.setFont(face);
    m_NormalFormat.setFontWeight(QFont::Normal);
    m_NormalFormat.setForeground(ToQColor(look::kText));
    m_BoldFormat = m_NormalFormat;
    m_BoldFormat.setFontWeight(QFont::Bold);
    resize(242, 300);
}

CPaintListCtrl* CMonitorDetailsPanel::List() const { return window_.List(detection_); }

bool CMonitorDetailsPanel::Selected() const { return List()->SelectedRow() >= 0; }

void CMonitorDetailsPanel::SetEventText(const EventText& text) {
    text_->clear();
    QTextCursor cursor(text_->document());
    for (const EventTextRun& run : text.runs)
        cursor.insertText(FromStored(run.text), run.bold ? m_BoldFormat : m_NormalFormat);
    text_->moveCursor(QTextCursor::Start);
    text_->verticalScrollBar()->setValue(0);
}

void CMonitorDetailsPanel::Redraw() {
    const bool selected = Selected();
    QPalette palette = text_->palette();
    palette.setColor(QPalette::Base, selected ? ToQColor(look::kSelectedRow) : ButtonHighlight());
    text_->setPalette(palette);
    if (!selected) {
        text_->clear();
        QTextCursor(text_->document())
            .insertText(FromUtf8(DetailsIntroText(detection_)), m_NormalFormat);
    }
    actions_->setVisible(selected && isVisible());
    update();
}

void CMonitorDetailsPanel::showEvent(QShowEvent*) {
    edit_->clear();
    Redraw();
}

void CMonitorDetailsPanel::hideEvent(QHideEvent*) { actions_->hide(); }

void CMonitorDetailsPanel::resizeEvent(QResizeEvent*) {
    const int cx = width(), cy = height();
    const int h = actions_->height();
    // A narrow pane gives up to half its search field, never the title's room.
    const int titleEnd = title_->x() + title_->fontMetrics().horizontalAdvance(title_->text()) + 8;
    const int search =
        std::clamp(cx - 10 - titleEnd - searchLink_->width() - 4, kSearchWidth / 2, kSearchWidth);
    edit_->setGeometry(cx - 10 - search, 8, search, 20);
    searchLink_->move(edit_->x() - searchLink_->width(), 8);
    text_->setGeometry(10, 42, std::max(0, cx - 20), std::max(0, cy - h - 45));
    actions_->setGeometry(1, cy - h - 3, std::max(0, cx - 3), h);
}

void CMonitorDetailsPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect().adjusted(0, 3, -1, -1)).adjusted(0.5, 0.5, 0, 0);
    p.setPen(ToQColor(look::kPanelFrame));
    p.setBrush(Selected() ? ToQColor(look::kSelectedRow) : ButtonHighlight());
    p.drawRoundedRect(box, look::kPanelCorner / 2.0, look::kPanelCorner / 2.0);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.drawLine(0, kTitleBand, width() - 2, kTitleBand);
}

bool CMonitorDetailsPanel::SelectMatch(int start) {
    CPaintListCtrl* list = List();
    EventListModel* model = EventRows(*list);
    const EventList& rows = model->Rows();
    const int row =
        FindEventRow(searchText_, start, model->rowCount(), [&](int r, SearchTexts& texts) {
            for (int c = 0; c < 4; ++c) texts[static_cast<std::size_t>(c)] = rows.Cell(r, c);
            const CEventItem& event = *rows.At(r).event;
            texts[4] = event.SourceIp;
            texts[5] = event.SourceMac;
            texts[6] = event.SourceName;
        });
    if (row < 0) return false;
    list->setFocus();
    list->scrollTo(model->index(row, 0));
    list->SelectRow(row);
    window_.ShowEvent(detection_, row);
    list->setFocus();
    return true;
}

void CMonitorDetailsPanel::OnSearch() {
    searchText_ = ToUpperAscii(ToStored(edit_->text()));
    CPaintListCtrl* list = List();
    if (searchText_.empty()) {
        list->setFocus();
        return;
    }
    if (QItemSelectionModel* selection = list->selectionModel()) selection->clearSelection();
    if (SelectMatch(0)) return;
    Redraw();
    window_.Context().prompt.Ask(
        {std::string(kNoEventsFound), "", PromptButtons::Ok, PromptIcon::Information});
    list->setFocus();
}

void CMonitorDetailsPanel::FindNext() {
    CPaintListCtrl* list = List();
    if (searchText_.empty()) {
        list->setFocus();
        return;
    }
    const int selected = list->SelectedRow();
    if (selected >= 0 && list->selectionModel() != nullptr)
        list->selectionModel()->clearSelection();
    if (SelectMatch(selected + 1)) return;
    Redraw();
    searchText_.clear();
    window_.Context().prompt.Ask(
        {std::string(kNoMoreEventsFound), "", PromptButtons::Ok, PromptIcon::Information});
    list->setFocus();
}

}  // namespace tarvell
