// The panels of the alerts screen: the header (title, count, "View archived alerts"), the report
// links under the list, and the details panel of each kind with its actions panel. They paint
// and lay themselves out; CAlertsListWnd does the work of their links. GUI thread only.
#pragma once

#include <QWidget>

#include "viewer/core/alerts/AlertRows.h"

class QLabel;
class QTextEdit;

namespace tarvell {

class LinkLabel;

class CAlertsHeaderPanel : public QWidget {
    Q_OBJECT
public:
    explicit CAlertsHeaderPanel(QWidget* parent);
    void SetTitle(const QString& title);
    void SetCount(int count);
    QString CountText() const;
    QString TitleText() const;
    LinkLabel* ViewArchive() const { return viewArchive_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QLabel* title_;
    QLabel* count_;
    LinkLabel* viewArchive_;
};

class CAlertsReportPanel : public QWidget {
    Q_OBJECT
public:
    explicit CAlertsReportPanel(QWidget* parent);
    LinkLabel* CreateReport() const { return report_; }
    LinkLabel* ArchiveAlerts() const { return archive_; }
    LinkLabel* ClearAlerts() const { return clear_; }

private:
    LinkLabel* report_;
    LinkLabel* archive_;
    LinkLabel* clear_;
};

// "Remove selected alerts" and "Learn more about this alert..." on the selection colour.
class CAlertActionsPanel : public QWidget {
    Q_OBJECT
public:
    explicit CAlertActionsPanel(QWidget* parent);
    LinkLabel* Remove() const { return remove_; }
    LinkLabel* LearnMore() const { return learnMore_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    LinkLabel* remove_;
    LinkLabel* learnMore_;
};
using CDetectionAlertsActionsPanel = CAlertActionsPanel;
using CPreventionAlertsActionsPanel = CAlertActionsPanel;

// The details panel of one kind: title, the details pane and the actions panel. Without a
// selected row it shows the screen's description and hides the actions panel.
class CAlertDetailsPanel : public QWidget {
    Q_OBJECT
public:
    CAlertDetailsPanel(std::uint32_t mode, QWidget* parent);
    std::uint32_t Mode() const { return mode_; }
    // The details of a selected row, or the description (no pieces).
    void ShowDetails(const std::vector<DetailsPiece>& pieces);
    void ShowDescription();
    bool HasSelection() const { return selected_; }
    QString PaneText() const;
    CAlertActionsPanel* Actions() const { return actions_; }
    static QString Description(std::uint32_t mode);
    static QString Title(std::uint32_t mode);

protected:
    void resizeEvent(QResizeEvent*) override;
    void paintEvent(QPaintEvent*) override;

private:
    std::uint32_t mode_;
    bool selected_ = false;
    QTextEdit* pane_;
    CAlertActionsPanel* actions_;
};
using CDetectionAlertsDetailsPanel = CAlertDetailsPanel;
using CPreventionAlertsDetailsPanel = CAlertDetailsPanel;

}  // namespace tarvell
