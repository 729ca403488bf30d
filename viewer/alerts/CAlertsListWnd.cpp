#include "viewer/alerts/CAlertsListWnd.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <set>
#include <unordered_map>

#include "platform/Memory.h"
#include "viewer/alerts/AlertArchivePicker.h"
#include "viewer/alerts/AlertsPanels.h"
#include "viewer/core/alerts/AlertArchive.h"
#include "viewer/core/alerts/AlertText.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/hub/EventTypes.h"
#include "viewer/core/hub/SettingsEdit.h"
#include "viewer/core/look/ColumnFit.h"
#include "viewer/core/look/Look.h"
#include "viewer/core/shell/MenuTable.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/CPaintListCtrl.h"
#include "viewer/widgets/HubSignals.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/ListRowsModel.h"
#include "viewer/widgets/Painting.h"
#include "viewer/widgets/TextConv.h"
#include "viewer/widgets/WaitCursor.h"

namespace tarvell {
namespace {

constexpr int kFillDelayMs = 1;

PromptAnswer AskText(Prompt& prompt, std::string text, PromptIcon icon) {
    return prompt.Ask({std::move(text), std::string(LoadString(str::kAppTitle)),
                       PromptButtons::YesNoCancel, icon});
}

void Tell(Prompt& prompt, std::string text) {
    prompt.Ask({std::move(text), std::string(LoadString(str::kAppTitle)), PromptButtons::Ok,
                PromptIcon::Information});
}

}  // namespace

CAlertsListWnd::CAlertsListWnd(CTarvellApp& app, Prompt& prompt, AlertDialogs dialogs,
                               QWidget* parent)
    : QWidget(parent),
      app_(app),
      prompt_(prompt),
      dialogs_(std::move(dialogs)),
      ownPicker_(std::make_unique<FileDialogPicker>()),
      picker_(ownPicker_.get()),
      list_(new CPaintListCtrl(this)),
      header_(new CAlertsHeaderPanel(this)),
      report_(new CAlertsReportPanel(this)),
      detection_(new CAlertDetailsPanel(kDetectionAlertsMode, this)),
      prevention_(new CAlertDetailsPanel(kPreventionAlertsMode, this)) {
    ShellPage::SetMode(kDetectionAlertsMode);
    SetControlName(list_, QStringLiteral("Alerts"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->SetEmptyText(QStringLiteral("There are currently no active alerts."));
    list_->SetRowHeight(16);
    // The last column takes what the others leave; the date and the device's name are never cut.
    list_->SetFitColumns(true, {0, 1});
    for (int c = 0; c < kAlertColumns; ++c)
        list_->InsertColumn(c, FromUtf8(kAlertColumnNames[c]), c < 4 ? kAlertFixedWidths[c] : 200);
    list_->viewport()->installEventFilter(this);
    list_->installEventFilter(this);
    report_->hide();
    prevention_->hide();

    fillTimer_.setSingleShot(true);
    fillTimer_.setInterval(kFillDelayMs);
    connect(&fillTimer_, &QTimer::timeout, this, &CAlertsListWnd::FillAlertLists);
    connect(new HubSignals(app_, this), &HubSignals::changed, this, [this](HubChange change) {
        if (change == HubChange::AlertsPublished || change == HubChange::AlertsChangedLocally)
            RefreshAlerts();
    });

    ListRowsModel* model = list_->Rows();
    connect(model, &QAbstractItemModel::rowsInserted, this, &CAlertsListWnd::UpdateCount);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &CAlertsListWnd::UpdateCount);
    connect(model, &QAbstractItemModel::modelReset, this, &CAlertsListWnd::UpdateCount);
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CAlertsListWnd::SelectionChanged);
    connect(list_, &CSortListCtrl::headerClicked, this, &CAlertsListWnd::SortBy);
    connect(list_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& i) {
        if (i.isValid()) LearnMore();
    });

    for (CAlertDetailsPanel* panel : {detection_, prevention_}) {
        connect(panel->Actions()->Remove(), &LinkLabel::activated, this,
                &CAlertsListWnd::RemoveSelected);
        connect(panel->Actions()->LearnMore(), &LinkLabel::activated, this,
                &CAlertsListWnd::LearnMore);
    }
    connect(report_->CreateReport(), &LinkLabel::activated, this, &CAlertsListWnd::CreateReport);
    connect(report_->ArchiveAlerts(), &LinkLabel::activated, this, &CAlertsListWnd::ArchiveAlerts);
    connect(report_->ClearAlerts(), &LinkLabel::activated, this, &CAlertsListWnd::ClearAlerts);
    connect(header_->ViewArchive(), &LinkLabel::activated, this,
            &CAlertsListWnd::ViewArchivedAlerts);
}

CAlertsListWnd::~CAlertsListWnd() = default;

void CAlertsListWnd::SetMode(CommandId mode) {
    if (mode != kDetectionAlertsMode && mode != kPreventionAlertsMode) return;
    ShellPage::SetMode(mode);
}

CAlertDetailsPanel* CAlertsListWnd::DetailsPanel() const {
    return Mode() == kPreventionAlertsMode ? prevention_ : detection_;
}

std::string CAlertsListWnd::RowKey(int row) const {
    if (row < 0 || row >= list_->Rows()->rowCount()) return {};
    const quint64 data = list_->Rows()->ItemData(row);
    return data < rows_.size() ? rows_[data].key : std::string();
}

void CAlertsListWnd::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    archiveView_ = false;
    archived_.clear();
    ShowArchiveLinks(false);
    detection_->setVisible(Mode() == kDetectionAlertsMode);
    prevention_->setVisible(Mode() == kPreventionAlertsMode);
    header_->SetTitle(FromUtf8(MenuText(res::kMainMenu, Mode())));
    header_->SetCount(0);
    SetRows({});
    fillTimer_.start();
}

void CAlertsListWnd::hideEvent(QHideEvent* e) {
    fillTimer_.stop();
    QWidget::hideEvent(e);
    ReturnFreedMemory();  // what the screen's fills freed goes back to the system
}

void CAlertsListWnd::FillAlertLists() {
    fillTimer_.stop();
    WaitCursor wait;
    const HubView view = app_.View();
    planner_.Reset();
    std::optional<AlertDiff> diff = planner_.Plan(Mode(), view.alertsGeneration, view.alerts);
    std::vector<AlertRow> rows = diff ? std::move(diff->added) : std::vector<AlertRow>{};
    SharedAlertSort() = AlertSortState{};  // Date, newest first
    SortAlertRows(rows, SharedAlertSort());
    SetRows(std::move(rows));
    list_->SetSortIndicator(0, false);
}

void CAlertsListWnd::RefreshAlerts() {
    if (archiveView_ || !isVisible() || fillTimer_.isActive()) return;
    ListRowsModel* model = list_->Rows();
    // The list was changed here without the plan (a clear): it is planned and filled again.
    const bool refill = static_cast<std::size_t>(model->rowCount()) != planner_.size();
    if (refill) planner_.Reset();
    const HubView view = app_.View();
    std::optional<AlertDiff> diff = planner_.Plan(Mode(), view.alertsGeneration, view.alerts);
    if (!diff || diff->Empty()) return;
    const AlertSortState sort = SharedAlertSort();
    if (refill || model->rowCount() == 0) {
        SortAlertRows(diff->added, sort);
        SetRows(std::move(diff->added));
        return;
    }
    // Rows by their alert's key, looked up once per changing pass.
    std::unordered_map<std::string_view, int> rowOf;
    rowOf.reserve(static_cast<std::size_t>(model->rowCount()));
    for (int r = 0; r < model->rowCount(); ++r) rowOf.emplace(rows_[model->ItemData(r)].key, r);
    for (AlertRow& row : diff->changed) {
        const auto it = rowOf.find(row.key);
        if (it == rowOf.end()) continue;
        const int r = it->second;
        for (int c = 0; c < kAlertColumns; ++c) {
            const QString text = FromStored(row.cells[static_cast<std::size_t>(c)]);
            if (model->ItemText(r, c) != text) model->SetItemText(r, c, text);
        }
        rows_[model->ItemData(r)] = std::move(row);
    }
    std::vector<int> gone;
    for (const std::string& key : diff->removed) {
        const auto it = rowOf.find(key);
        if (it == rowOf.end()) continue;
        const quint64 slot = model->ItemData(it->second);
        gone.push_back(it->second);
        rows_[slot] = AlertRow{};
        freeSlots_.push_back(slot);
    }
    rowOf.clear();  // its keys go with the rows
    model->DeleteRows(std::move(gone));
    std::vector<ListRow> added;
    added.reserve(diff->added.size());
    for (AlertRow& row : diff->added) {
        ListRow r;
        r.cells.reserve(kAlertColumns);
        for (const std::string& cell : row.cells) r.cells.push_back(FromStored(cell));
        if (freeSlots_.empty()) {
            r.data = rows_.size();
            rows_.push_back(std::move(row));
        } else {
            r.data = freeSlots_.back();
            freeSlots_.pop_back();
            rows_[r.data] = std::move(row);
        }
        added.push_back(std::move(r));
    }
    model->AppendRows(std::move(added));
    // A changed alert keeps its key, and so its place when the list is in date order.
    if (!diff->added.empty() || (!diff->changed.empty() && sort.column != 0)) {
        list_->Rows()->SortItems([this, sort](const ListRow& a, const ListRow& b) {
            return AlertRowLess(rows_[a.data], rows_[b.data], sort.column, sort.ascending);
        });
    }
    UpdateCount();
    SelectionChanged();
}

void CAlertsListWnd::SetRows(std::vector<AlertRow> rows) {
    rows_ = std::move(rows);
    freeSlots_.clear();
    std::vector<ListRow> list;
    list.reserve(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        ListRow r;
        r.cells.reserve(kAlertColumns);
        for (const std::string& cell : rows_[i].cells) r.cells.push_back(FromStored(cell));
        r.data = i;
        list.push_back(std::move(r));
    }
    list_->Rows()->SetRows(std::move(list));
    DetailsPanel()->ShowDescription();
}

void CAlertsListWnd::UpdateCount() {
    const int count = list_->Rows()->rowCount();
    header_->SetCount(count);
    report_->setVisible(count > 0);
}

std::vector<int> CAlertsListWnd::SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& i : list_->selectionModel()->selectedRows()) rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CAlertsListWnd::SelectionChanged() {
    const std::vector<int> selected = SelectedRows();
    CAlertDetailsPanel* panel = DetailsPanel();
    if (selected.empty()) {
        panel->ShowDescription();
        return;
    }
    const int row = list_->currentIndex().isValid() &&
                            list_->selectionModel()->isRowSelected(list_->currentIndex().row())
                        ? list_->currentIndex().row()
                        : selected.front();
    CAlertItem alert;
    if (!FindAlert(RowKey(row), alert)) return;  // left the hub: nothing changes
    panel->ShowDetails(AlertDetails(rows_[list_->Rows()->ItemData(row)], alert));
}

bool CAlertsListWnd::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto* me = static_cast<QMouseEvent*>(event);
        if (!list_->indexAt(me->position().toPoint()).isValid()) {
            list_->clearSelection();
            DetailsPanel()->ShowDescription();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CAlertsListWnd::SortBy(int column) {
    if (column < 0 || column >= kAlertColumns) return;
    AlertSortState& sort = SharedAlertSort();
    sort.Click(column);
    const AlertSortState now = sort;
    list_->Rows()->SortItems([this, now](const ListRow& a, const ListRow& b) {
        return AlertRowLess(rows_[a.data], rows_[b.data], now.column, now.ascending);
    });
    list_->SetSortIndicator(now.column, now.ascending);
}

void CAlertsListWnd::EditFailed(EditResult result) {
    if (const unsigned id = EditResultMessage(result))
        prompt_.AskString(id, PromptButtons::Ok, PromptIcon::Information);
}

void CAlertsListWnd::RemoveSelected() {
    const std::vector<int> selected = SelectedRows();
    if (!selected.empty() &&
        AskText(prompt_, "Are you sure you would like to remove the selected alerts?",
                PromptIcon::Information) == PromptAnswer::Yes) {
        WaitCursor wait;
        std::vector<std::string> keys;
        for (int row : selected) keys.push_back(RowKey(row));
        EditResult saved = EditResult::Saved;
        const std::vector<std::string> removed = app_.RemoveAlerts(keys, &saved);
        if (!removed.empty()) {
            // One reset for the rows that stay, in their order (deleting rows one at a time
            // moves the rest of a long list for each).
            const std::set<std::string> gone(removed.begin(), removed.end());
            ListRowsModel* model = list_->Rows();
            std::vector<ListRow> kept;
            kept.reserve(static_cast<std::size_t>(model->rowCount()));
            for (int r = 0; r < model->rowCount(); ++r)
                if (!gone.count(RowKey(r))) kept.push_back(model->Row(r));
            model->SetRows(std::move(kept));
            for (const std::string& key : removed) planner_.Forget(key);
            DetailsPanel()->ShowDescription();
        }
        EditFailed(saved);
        update();
    }
    list_->setFocus();
}

void CAlertsListWnd::LearnMore() {
    const std::vector<int> selected = SelectedRows();
    if (!selected.empty()) {
        WaitCursor wait;
        CAlertItem alert;
        if (FindAlert(RowKey(selected.front()), alert) && dialogs_.information) {
            const QString title = Mode() == kPreventionAlertsMode
                                      ? QStringLiteral("Prevention Alert Information")
                                      : QStringLiteral("Detection Alert Information");
            dialogs_.information(title, FromUtf8(EventTypeHelp(alert.Description)));
        }
    }
    list_->setFocus();
}

void CAlertsListWnd::CreateReport() {
    WaitCursor wait;
    std::vector<AlertRow> shown;
    const int count = list_->Rows()->rowCount();
    shown.reserve(static_cast<std::size_t>(count));
    for (int r = 0; r < count; ++r) {
        AlertRow row = rows_[list_->Rows()->ItemData(r)];
        for (std::string& cell : row.cells)
            cell = FromStored(cell).toStdString();  // report cells are UTF-8
        shown.push_back(std::move(row));
    }
    if (dialogs_.report)
        dialogs_.report(window(), FromUtf8(AlertReportCaption(Mode())),
                        FromUtf8(AlertReportTitle(Mode())), AlertReportTable(shown));
}

void CAlertsListWnd::ArchiveAlerts() {
    if (AskText(prompt_, "Are you sure you would like to archive your entire alerts?",
                PromptIcon::Information) != PromptAnswer::Yes)
        return;
    const QString chosen = picker_ ? picker_->SavePath(this) : QString();
    if (chosen.isEmpty()) return;
    WaitCursor wait;
    const std::string path = ArchiveFileName(chosen.toStdString());
    if (!WriteAlertArchive(app_, path))
        prompt_.AskString(str::kArchiveWriteFailed, PromptButtons::Ok, PromptIcon::Information);
}

void CAlertsListWnd::ClearAlerts() {
    const bool prevention = Mode() == kPreventionAlertsMode;
    const std::string question = prevention ? "Are you sure you would like to clear your "
                                              "prevention alerts? This will permanently remove all "
                                              "prevention alerts from your computer."
                                            : "Are you sure you would like to clear your detection "
                                              "alerts? This will permanently remove all "
                                              "detection alerts from your computer.";
    if (AskText(prompt_, question, PromptIcon::Question) != PromptAnswer::Yes) return;
    WaitCursor wait;
    const EditResult result =
        prevention ? app_.ClearPreventionAlerts() : app_.ClearDetectionAlerts();
    EditFailed(result);
    if (result == EditResult::Saved && !archiveView_) {
        SetRows({});
        planner_.Reset();
    }
    DetailsPanel()->update();
}

void CAlertsListWnd::ViewArchivedAlerts() {
    const QString chosen = picker_ ? picker_->OpenPath(this) : QString();
    if (chosen.isEmpty()) return;
    WaitCursor wait;
    tarvell::ArchiveView view = ReadAlertArchive(chosen.toStdString(), Mode());
    archiveView_ = true;
    archived_ = std::move(view.alerts);
    ShowArchiveLinks(true);
    header_->SetTitle(QFileInfo(chosen).fileName());
    // In the order the header's arrow shows.
    const AlertSortState sort = SharedAlertSort();
    SortAlertRows(view.rows, sort);
    SetRows(std::move(view.rows));
    list_->SetSortIndicator(sort.column, sort.ascending);
    if (!view.readable) Tell(prompt_, std::string(kArchiveDamagedText));
}

bool CAlertsListWnd::FindAlert(const std::string& key, CAlertItem& alert) const {
    if (!archiveView_) return app_.LookupAlert(key, alert);
    const auto it = archived_.find(key);
    if (it == archived_.end()) return false;
    alert = it->second;
    return true;
}

void CAlertsListWnd::ShowArchiveLinks(bool archive) {
    report_->ArchiveAlerts()->setVisible(!archive);
    report_->ClearAlerts()->setVisible(!archive);
    for (CAlertDetailsPanel* panel : {detection_, prevention_})
        panel->Actions()->Remove()->setVisible(!archive);
}

void CAlertsListWnd::resizeEvent(QResizeEvent*) {
    const int cx = width(), cy = height();
    header_->move(30, 27);
    report_->move(25, cy - 60);
    const int pane = DetailsPaneWidth(cx);
    detection_->setGeometry(cx - 30 - pane, 27, pane, cy - 57);
    prevention_->setGeometry(cx - 30 - pane, 27, pane, cy - 57);
    list_->setGeometry(30, 61, cx - 60 - pane, cy - 122);
}

void CAlertsListWnd::paintEvent(QPaintEvent*) {
    QPainter p(this);
    FillPageGradient(p, rect());
    FillRoundedPanel(p, QRect(QPoint(20, 20), QPoint(width() - 21, height() - 21)));
    p.setPen(ToQColor(look::kPanelFrame));
    p.drawRect(QRect(QPoint(30, 60), QPoint(width() - 31, 60)));
}

}  // namespace tarvell
