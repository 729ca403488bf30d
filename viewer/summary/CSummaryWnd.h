// Page 1 of the main view: the system summary panel on the left and, on the right, the two level
// charts (detection and prevention) that tell how much of the network current events touch, as
// a share of devices (the pie) and of nodes (the needle and its percentage). The levels are
// recomputed when the page is shown and when the hub's events or settings change while it is
// visible (no timer of its own); they start again from 0 when the viewer connects to another
// server. GUI thread only.
#pragma once

#include <QWidget>
#include <functional>

#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/summary/SummaryRules.h"

namespace tarvell {

class CSummaryDlg;

class CSummaryWnd : public QWidget {
    Q_OBJECT
public:
    CSummaryWnd(CTarvellApp& app, std::function<void(int commandId)> sendCommand,
                QWidget* parent = nullptr);

    CSummaryDlg* SummaryDlg() const { return summary_; }
    // Recomputes the levels now.
    void Refresh();
    const SummaryLevels& Levels() const { return levels_; }

    // The two chart panels for a client width `cx`.
    static QRect DetectionPanel(int cx) {
        return QRect(QPoint(cx - 250, 20), QPoint(cx - 20 - 1, 193 - 1));
    }
    static QRect PreventionPanel(int cx) {
        return QRect(QPoint(cx - 250, 204), QPoint(cx - 20 - 1, 377 - 1));
    }

protected:
    void resizeEvent(QResizeEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;
    void paintEvent(QPaintEvent*) override;

private:
    CTarvellApp& app_;
    CSummaryDlg* summary_;
    SummaryLevels levels_;
    std::string levelsServer_;  // the server the levels were computed for
};

}  // namespace tarvell
