#include "viewer/monitors/CEventMonitorWnd.h"
#include "viewer/monitors/EventRequestDialogs.h"
#include "viewer/monitors/MonitorReportPanels.h"

#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <array>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/Memory.h"
#include "platform/Text.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/look/ColumnFit.h"
#include "viewer/core/look/Look.h"
#include "viewer/core/monitors/EventSelection.h"
#include "viewer/core/monitors/EventList.h"
#include "viewer/core/monitors/MonitorRules.h"
#include "viewer/monitors/CEventDetailsDlg.h"
#include "viewer/monitors/EventListModel.h"
#include "viewer/monitors/MonitorDetailsPanels.h"
#include "viewer/monitors/MonitorHeaderPanels.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/CPaintListCtrl.h"
#include "viewer/widgets/HubSignals.h"
#include "viewer/widgets/Images.h"
#include "viewer/widgets/Painting.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

int CEventMonitorWnd::s_SortColumn = -1;
bool CEventMonitorWnd::s_SortAscending = false;

namespace {

}  // namespace

CEventMonitorWnd::CEventMonitorWnd(const PageContext& context, QWidget* parent)
    : QWidget(parent), context_(context) {
    setObjectName(QStringLiteral("page3"));
    m_DetectionList = MakeList(true);
    m_PreventionList = MakeList(false);
    detectionHeader_ = new CDetectionMonitorHeaderPanel(this);
    preventionHeader_ = new CPreventionMonitorHeaderPanel(this);
    const QSize reportSize(detectionHeader_->width(), 30);
    reports_[0] = new CDetectionMonitorReportPanel(*this);
    reports_[1] = new CPreventionMonitorReportPanel(*this);
    for (CFramedPanel* report : reports_) report->resize(reportSize);
    details_[0] = new CDetectionMonitorDetailsPanel(*this, this);
    details_[1] = new CPreventionMonitorDetailsPanel(*this, this);
    for (int i = 0; i < 2; ++i) {
        details_[i]->hide();
        const bool detection = i == 0;
        CPaintListCtrl* list = List(detection);
        connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                [this, detection] { details_[detection ? 0 : 1]->Redraw(); });
        connect(Rows(detection), &QAbstractItemModel::rowsRemoved, this,
                [this, detection] { OnRowsRemoved(detection, false); });
        connect(Rows(detection), &QAbstractItemModel::modelReset, this, [this, detection] {
            if (Rows(detection)->rowCount() == 0) OnRowsRemoved(detection, true);
        });
    }
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { OnTimer(); });
    // The first pass after a show is the timer's; later ones follow the hub.
    connect(new HubSignals(context_.app, this), &HubSignals::changed, this, [this](HubChange c) {
        if (isVisible() && !timer_.isActive() && c != HubChange::AlertsPublished &&
            c != HubChange::AlertsChangedLocally)
            FillEventLists();
    });
    hooks.eventDetails = [this](bool, const std::string& key) {
        OpenEventDetails(context_.app, key, this);
    };
    InstallEventRequestHooks(*this);
    hide();
}

CEventMonitorWnd::~CEventMonitorWnd() {
    m_DetectionList->SetSmallImages(nullptr);
    m_PreventionList->SetSmallImages(nullptr);
}

CPaintListCtrl* CEventMonitorWnd::MakeList(bool detection) {
    auto* list = Named(new CPaintListCtrl(this), detection ? QStringLiteral("Detection events")
                                                           : QStringLiteral("Prevention events"));
    ImageList& images = images_[detection ? 0 : 1];
    images = ViewerImages(res::kEventRows);
    list->SetSmallImages(&images);
    list->SetKeepSelection(true);
    // The actions work on every selected row: ctrl and shift pick several.
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto* model = new EventListModel(list);
    model->Rows().SetDetection(detection);
    models_[detection ? 0 : 1] = model;
    list->setModel(model);
    std::vector<int> whole;
    for (int c = 0; c < kEventColumns; ++c) {
        const EventColumn& column = kEventColumnTable[static_cast<std::size_t>(c)];
        list->setColumnWidth(c, column.width);
        if (column.whole) whole.push_back(c);
    }
    list->SetEmptyText(QStringLiteral("There are currently no active events."));
    // The last column takes what the others leave.
    list->SetFitColumns(true, std::move(whole));
    connect(list, &CSortListCtrl::headerClicked, this,
            [this, list](int column) { OnHeaderClick(list, column); });
    list->installEventFilter(this);
    list->viewport()->installEventFilter(this);
    list->hide();
    return list;
}

CMonitorHeaderPanel* CEventMonitorWnd::Header(bool detection) const {
    return detection ? static_cast<CMonitorHeaderPanel*>(detectionHeader_) : preventionHeader_;
}

void CEventMonitorWnd::SetMode(CommandId mode) { ShellPage::SetMode(mode); }

void CEventMonitorWnd::ShowScreen(bool detection, bool shown) {
    const int i = detection ? 0 : 1;
    QWidget* parts[4] = {List(detection), Header(detection), reports_[i], details_[i]};
    for (QWidget* w : parts) w->setVisible(shown);
}

void CEventMonitorWnd::showEvent(QShowEvent* event) {
    // A restore or a return from the tray keeps the lists: selection, scroll, sort and search.
    if (!showing_.Starts(*event)) return;
    const bool detection = IsDetection();
    s_SortColumn = kShownSortColumn;
    Rows(detection)->Clear();
    context_.app.RetireSnapshot(Rows(detection)->Rows().TakeRetired());
    ShowScreen(!detection, false);
    ShowScreen(detection, true);
    Header(detection)->SetCountText(QStringLiteral("0"));
    if (!waitCursor_) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    waitCursor_ = true;
    timer_.start(kFirstFillMs);
}

void CEventMonitorWnd::hideEvent(QHideEvent* event) {
    if (!showing_.Stops(*this, *event)) return;  // the window went, the page goes on
    timer_.stop();
    if (waitCursor_) QGuiApplication::restoreOverrideCursor();
    waitCursor_ = false;
    ShowScreen(true, false);
    ShowScreen(false, false);
    ReturnFreedMemory();  // what the screen's passes freed goes back to the system
}

void CEventMonitorWnd::OnTimer() {
    if (waitCursor_) QGuiApplication::restoreOverrideCursor();
    waitCursor_ = false;
    FillEventLists();
}

bool CEventMonitorWnd::FillEventLists() {
    if (filling_) return false;
    filling_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{filling_};
    ++passes_;

    const bool detection = IsDetection();
    CPaintListCtrl* list = List(detection);
    EventListModel* model = Rows(detection);
    CTarvellApp& app = context_.app;
    const HubView view = app.View();
    EventList::Inputs inputs{detection, Header(detection)->Filter(), view.eventsGeneration,
                             view.settingsGeneration, view.readMarksGeneration};
    // A read-mark query of its own may answer differently at any time: it is asked each pass.
    if (readMark_) inputs.readMarks = ++ownMarksPass_;
    std::shared_ptr<const ReadMarkSet> marks;
    std::function<bool(const std::string&)> isRead = readMark_;
    if (!isRead) {
        // The read marks are read once per pass at most, and only when a row needs them.
        isRead = [&](const std::string& key) {
            if (!marks) marks = app.ReadMarks();
            return marks->count(ToLowerAscii(key)) != 0;
        };
    }
    std::optional<EventList::Plan> plan = model->Rows().PlanFrom(inputs, view, isRead);
    if (!plan) return true;  // nothing changed since the last pass: nothing is touched
    model->Apply(*plan);
    app.RetireSnapshot(model->Rows().TakeRetired());
    const QString count = FromUtf8(CountLabelText(detection, Header(detection)->Filter(),
                                                  model->rowCount(), model->Rows().Counter()));
    if (Header(detection)->CountText() != count) Header(detection)->SetCountText(count);
    SortList(list);
    return true;
}

void CEventMonitorWnd::SortList(CPaintListCtrl* list) {
    const int column = s_SortColumn;
    if (column < 0) return;
    EventRows(*list)->SortBy(column, s_SortAscending);
    list->SetSortIndicator(column, s_SortAscending);
}

void CEventMonitorWnd::OnHeaderClick(CPaintListCtrl* list, int column) {
    if (column < 0 || column > 4) return;
    s_SortColumn = column;
    s_SortAscending = !s_SortAscending;
    SortList(list);
}

void CEventMonitorWnd::OnFilterChanged(bool detection) {
    if (QItemSelectionModel* selection = List(detection)->selectionModel()) selection->clear();
    DetailsPane(detection)->Redraw();
    FillEventLists();
}

bool CEventMonitorWnd::eventFilter(QObject* watched, QEvent* event) {
    for (int i = 0; i < 2; ++i) {
        const bool detection = i == 0;
        CPaintListCtrl* list = List(detection);
        if (list == nullptr || details_[i] == nullptr) continue;  // still being built
        if (watched == list && event->type() == QEvent::KeyPress) {
            if (OnListKey(detection, static_cast<QKeyEvent*>(event)->key())) return true;
        } else if (watched == list->viewport() && (event->type() == QEvent::MouseButtonRelease ||
                                                   event->type() == QEvent::MouseButtonDblClick)) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton) continue;
            const QModelIndex index = list->indexAt(mouse->position().toPoint());
            if (event->type() == QEvent::MouseButtonRelease)
                OnListClick(detection, index.isValid() ? index.row() : -1);
            else if (index.isValid()) OnListDoubleClick(index.row());
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool CEventMonitorWnd::OnListKey(bool detection, int key) {
    CPaintListCtrl* list = List(detection);
    const MonitorKey which = key == Qt::Key_Down ? MonitorKey::Down
                             : key == Qt::Key_Up ? MonitorKey::Up
                             : key == Qt::Key_F3 ? MonitorKey::F3
                                                 : MonitorKey::Other;
    if (which == MonitorKey::F3) {
        DetailsPane(detection)->FindNext();
        return false;
    }
    const int selected = list->SelectedRow();
    const int target = KeyTargetRow(which, selected, Rows(detection)->rowCount());
    if (target < 0) return false;
    ShowEvent(detection, target);
    // With nothing selected the list's own move would start from its current row, which it may
    // or may not have set on focus: select the row shown here instead.
    if (selected >= 0) return false;
    list->SelectRow(target);
    return true;
}

void CEventMonitorWnd::OnListClick(bool detection, int row) {
    if (row >= 0) {
        ShowEvent(detection, row);
        return;
    }
    for (CMonitorDetailsPanel* pane : details_)
        if (pane->Actions()->isVisible()) pane->Redraw();
}

void CEventMonitorWnd::OnListDoubleClick(int row) {
    if (row < 0) return;
    for (CMonitorDetailsPanel* pane : details_)
        if (pane->Actions()->isVisible()) pane->Actions()->OnEventDetails();
}

void CEventMonitorWnd::ShowEvent(bool detection, int row) {
    EventListModel* model = Rows(detection);
    if (row < 0 || row >= model->rowCount()) return;
    const std::string key = model->Rows().Key(row);
    CTarvellApp& app = context_.app;
    CEventItem event;
    CMonitorDetailsPanel* pane = DetailsPane(detection);
    if (app.LookupEvent(key, event)) {
        std::string requester;
        if (!detection) {
            std::lock_guard lock(app.Document().DocumentLock);
            requester = BlockRequester(app.Document().Fields().BlockRequests, key);
        }
        pane->SetEventText(
            BuildEventText(detection, event, model->Rows().Cell(row, 4), requester));
    }
    if (!pane->Actions()->isVisible()) pane->Redraw();
    app.MarkEventRead(key);
    if (model->ItemBold(row) && app.IsEventRead(key)) model->SetItemBold(row, false);
}

void CEventMonitorWnd::OnRowsRemoved(bool detection, bool all) {
    if (filling_) return;
    CMonitorHeaderPanel* header = Header(detection);
    header->SetCountText(FromUtf8(LowerCountLabel(ToStored(header->CountText()), all)));
}

void CEventMonitorWnd::resizeEvent(QResizeEvent*) {
    const int cx = width(), cy = height();
    for (int i = 0; i < 2; ++i) {
        const bool detection = i == 0;
        Header(detection)->move(30, 27);
        reports_[i]->move(25, cy - 60);
        const int pane = DetailsPaneWidth(cx);
        details_[i]->setGeometry(cx - 30 - pane, 27, pane, std::max(0, cy - 57));
        List(detection)->setGeometry(30, 61, std::max(0, cx - 60 - pane), std::max(0, cy - 122));
    }
}

void CEventMonitorWnd::paintEvent(QPaintEvent*) {
    QPainter p(this);
    FillPageGradient(p, rect());
    FillRoundedPanel(p, QRect(20, 20, std::max(0, width() - 40), std::max(0, height() - 40)));
    p.fillRect(QRect(30, 60, std::max(0, width() - 60), 1), ToQColor(look::kPanelFrame));
}

}  // namespace tarvell
