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
#include "viewer/alerts/AlertListModel.h"
#include "viewer/alerts/AlertsPanels.h"
#include "viewer/core/alerts/AlertArchive.h"
#include "viewer/core/alerts/AlertText.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "shared/EventTypes.h"
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
      model_(new AlertListModel(list_)),
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
    // The last column takes what the others leave.
    list_->SetFitColumns(true, {kAlertWholeColumns.begin(), kAlertWholeColumns.end()});
    list_->setModel(model_);
    for (int c = 0; c < kAlertColumns; ++c)
        list_->setColumnWidth(c, c < 4 ? kAlertFixedWidths[static_cast<std::size_t>(c)] : 200);
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

    AlertListModel* model = model_;
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
    return model_->Rows().Key(row);
}

void CAlertsListWnd::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    archiveView_ = false;
    archived_.reset();
    ShowArchiveLinks(false);
    detection_->setVisible(Mode() == kDetectionAlertsMode);
    prevention_->setVisible(Mode() == kPreventionAlertsMode);
    header_->SetTitle(FromUtf8(MenuText(res::kMainMenu, Mode())));
    header_->SetCount(0);
    SetRows(nullptr);
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
    SharedAlertSort() = AlertSortState{};  // Date, newest first
    SetRows(app_.View().alerts);
}

void CAlertsListWnd::RefreshAlerts() {
    if (archiveView_ || !isVisible() || fillTimer_.isActive()) return;
    const HubView view = app_.View();
    std::optional<AlertList::Plan> plan =
        model_->Rows().PlanFrom(Mode(), view.alertsGeneration, view.alerts);
    if (!plan) return;
    const bool shownSame = plan->Empty();  // new records with the texts shown: no row changes
    const bool added = plan->added > 0;
    model_->Apply(*plan);
    app_.RetireSnapshot(model_->Rows().TakeRetired());
    if (shownSame) return;
    // A changed alert keeps its key, and so its place when the list is in date order.
    const AlertSortState sort = SharedAlertSort();
    if (added || sort.column != 0) model_->Sort(sort.column, sort.ascending);
    UpdateCount();
    SelectionChanged();
}

void CAlertsListWnd::SetRows(std::shared_ptr<const AlertsSnapshot> alerts) {
    model_->Clear();
    app_.RetireSnapshot(model_->Rows().TakeRetired());
    if (alerts) {
        std::optional<AlertList::Plan> plan =
            model_->Rows().PlanFrom(Mode(), archiveView_ ? 0 : app_.View().alertsGeneration,
                                    std::move(alerts));
        if (plan) model_->Apply(*plan);
        const AlertSortState sort = SharedAlertSort();
        model_->Sort(sort.column, sort.ascending);
        list_->SetSortIndicator(sort.column, sort.ascending);
    }
    DetailsPanel()->ShowDescription();
}

void CAlertsListWnd::UpdateCount() {
    const int count = model_->rowCount();
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
    panel->ShowDetails(AlertDetails(model_->Rows().Row(row), alert));
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
    model_->Sort(now.column, now.ascending);
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
            // The rows that stay keep their order; the next plan does not remove these again.
            const std::set<std::string> gone(removed.begin(), removed.end());
            std::vector<int> rows;
            for (int r = 0; r < model_->rowCount(); ++r)
                if (gone.count(RowKey(r))) rows.push_back(r);
            model_->RemoveRows(std::move(rows));  // many go in one layout change
            UpdateCount();
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
    const int count = model_->rowCount();
    shown.reserve(static_cast<std::size_t>(count));
    for (int r = 0; r < count; ++r) {
        AlertRow row = model_->Rows().Row(r);
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
    if (result == EditResult::Saved && !archiveView_) SetRows(nullptr);
    DetailsPanel()->update();
}

void CAlertsListWnd::ViewArchivedAlerts() {
    const QString chosen = picker_ ? picker_->OpenPath(this) : QString();
    if (chosen.isEmpty()) return;
    WaitCursor wait;
    tarvell::ArchiveView view = ReadAlertArchive(chosen.toStdString(), Mode());
    archiveView_ = true;
    auto archived = std::make_shared<AlertsSnapshot>();
    for (auto& [key, alert] : view.alerts)
        archived->AlertLog.emplace(key, std::make_shared<const CAlertItem>(std::move(alert)));
    archived_ = archived;
    ShowArchiveLinks(true);
    header_->SetTitle(QFileInfo(chosen).fileName());
    // In the order the header's arrow shows.
    SetRows(archived_);
    if (!view.readable) Tell(prompt_, std::string(kArchiveDamagedText));
}

bool CAlertsListWnd::FindAlert(const std::string& key, CAlertItem& alert) const {
    if (!archiveView_) return app_.LookupAlert(key, alert);
    if (!archived_) return false;
    const auto it = archived_->AlertLog.find(key);
    if (it == archived_->AlertLog.end() || !it->second) return false;
    alert = *it->second;
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
