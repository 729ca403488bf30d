// Page 7 of the main view: the alerts of one kind (mode 32797 detection, 32798 prevention) in a
// list, the details of the selected one, and the actions on it and on the whole list (report,
// archive, clear, view an archive). Filled 1 ms after each showing, then kept to the hub's alerts
// on each change the hub announces (rows found by key: only added, removed and changed rows are
// touched; the order, selection and scroll position stay); an archive on view is left alone.
// Each row keeps its alert's key. GUI thread only.
#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "viewer/core/alerts/AlertRows.h"
#include "viewer/widgets/ShellPage.h"

namespace tarvell {

class AlertListModel;
struct AlertsSnapshot;
class ArchivePicker;
class CAlertDetailsPanel;
class CAlertsHeaderPanel;
class CAlertsReportPanel;
class CPaintListCtrl;
class CTarvellApp;
class Prompt;
enum class EditResult;

// The dialogs the screen opens but does not own (the frame supplies them).
struct AlertDialogs {
    // An information page (title, HTML) in a window of its own.
    std::function<QWidget*(const QString& title, const QString& html)> information;
    // A report dialog with the caption, the title and the table (UTF-8 cells, relative widths).
    std::function<QWidget*(QWidget* parent, const QString& caption, const QString& title,
                           const ReportTable& table)>
        report;
};

class CAlertsListWnd : public QWidget, public ShellPage {
    Q_OBJECT
public:
    CAlertsListWnd(CTarvellApp& app, Prompt& prompt, AlertDialogs dialogs,
                   QWidget* parent = nullptr);
    ~CAlertsListWnd() override;

    void SetMode(CommandId mode) override;
    // Replaces the file dialogs (tests); the window does not own it.
    void SetPicker(ArchivePicker* picker) { picker_ = picker; }

    // Rebuilds the list from the hub (the 1 ms timer's work).
    void FillAlertLists();
    // Brings the shown list to the hub's alerts (each change the hub announces while shown);
    // nothing is touched when they are those of the last fill.
    void RefreshAlerts();
    bool ArchiveView() const { return archiveView_; }
    CPaintListCtrl& List() const { return *list_; }
    // The rows of the list, by alert key.
    AlertListModel* Rows() const { return model_; }
    CAlertsHeaderPanel* Header() const { return header_; }
    CAlertsReportPanel* ReportPanel() const { return report_; }
    CAlertDetailsPanel* DetailsPanel() const;
    // The key of a row of the list, empty outside it.
    std::string RowKey(int row) const;
    bool FillPending() const { return fillTimer_.isActive(); }

    // The links' work.
    void RemoveSelected();
    void LearnMore();
    void CreateReport();
    void ArchiveAlerts();
    void ClearAlerts();
    void ViewArchivedAlerts();
    void SortBy(int column);

protected:
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void paintEvent(QPaintEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Shows the alerts of the current kind in `alerts` from nothing, sorted by the shared order.
    void SetRows(std::shared_ptr<const AlertsSnapshot> alerts);
    void UpdateCount();
    void SelectionChanged();
    std::vector<int> SelectedRows() const;
    void EditFailed(EditResult result);
    // The alert of a row's key: from the archive while one is shown, else from the hub.
    bool FindAlert(const std::string& key, CAlertItem& alert) const;
    // An archive offers the report and the details; removal, archiving and clearing act on the
    // hub's alerts and are offered only over them.
    void ShowArchiveLinks(bool archive);

    CTarvellApp& app_;
    Prompt& prompt_;
    AlertDialogs dialogs_;
    std::unique_ptr<ArchivePicker> ownPicker_;
    ArchivePicker* picker_;
    bool archiveView_ = false;
    std::shared_ptr<const AlertsSnapshot> archived_;  // the shown archive's alerts
    CPaintListCtrl* list_;
    AlertListModel* model_;
    CAlertsHeaderPanel* header_;
    CAlertsReportPanel* report_;
    CAlertDetailsPanel* detection_;
    CAlertDetailsPanel* prevention_;
    QTimer fillTimer_;
};

}  // namespace tarvell
