// The small panels of the overview pages: the system summary (page 1), the monitor details and
// monitor information (page 2), and the protection details that the protection overview page
// places. Each is a frameless child that shows a few counts or a state text read from the hub
// and the settings document, refreshes them while it is visible, and has links that switch the
// main view to a detailed screen through `sendCommand`. None of them changes any data.
// GUI thread only.
#pragma once

#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <map>

#include "viewer/core/CTarvellApp.h"
#include "viewer/core/CommandIds.h"

namespace tarvell {

class CFlatToolBarCtrl;
class LinkLabel;

using SendCommand = std::function<void(int commandId)>;

// Shared by the panels: the white background with thin separators, the title, value labels that
// are rewritten only when their text changes, links, and the refresh on show.
class OverviewPanel : public QWidget {
    Q_OBJECT
public:
    OverviewPanel(CTarvellApp& app, SendCommand send, int periodMs, QWidget* parent);

    // Updates the texts now (and restarts the timer while the panel is visible).
    void Refresh();
    // The text of the control with the given dialog control id (1000 the title, 1008 a count, ...).
    QString Text(int id) const;
    LinkLabel* Link(int id) const;
    bool TimerActive() const { return timer_.isActive(); }

protected:
    virtual void Update() = 0;
    QLabel* AddLabel(int id, const QString& text, QRect place, const QFont& font, bool wrap = false);
    LinkLabel* AddLink(int id, const QString& text, CommandId command, QRect place);
    void SetTextIfChanged(int id, const QString& text);
    // Links guarded by permissions, checked at each show.
    void ApplyPermissions(const std::map<int, std::string_view>& permissions);
    void AddSeparator(int y) { separators_.push_back(y); }

    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;
    void paintEvent(QPaintEvent*) override;

    CTarvellApp& app_;
    SendCommand send_;

private:
    int periodMs_;
    QTimer timer_;
    std::map<int, QLabel*> labels_;
    std::map<int, LinkLabel*> links_;
    std::vector<int> separators_;
};

class CSummaryDlg : public OverviewPanel {
    Q_OBJECT
public:
    CSummaryDlg(CTarvellApp& app, SendCommand send, QWidget* parent);
    // The service control's answer for the current server: 1 running, 0 stopped, -1
    // unreachable. Without one a connected server reads "Unavailable".
    void SetServiceQuery(std::function<int()> query) { query_ = std::move(query); }
    CFlatToolBarCtrl* Favorites() const { return favorites_; }

protected:
    void Update() override;
    void resizeEvent(QResizeEvent*) override;
    void paintEvent(QPaintEvent*) override;

private:
    std::function<int()> query_;
    CFlatToolBarCtrl* favorites_;
};

class CMonitorDetailsDlg : public OverviewPanel {
    Q_OBJECT
public:
    CMonitorDetailsDlg(CTarvellApp& app, SendCommand send, QWidget* parent);

protected:
    void Update() override;
    void showEvent(QShowEvent*) override;
};

class CMonitorInfoDlg : public OverviewPanel {
    Q_OBJECT
public:
    CMonitorInfoDlg(CTarvellApp& app, QWidget* parent);

protected:
    void Update() override;
};

class CProtectionDetailsDlg : public OverviewPanel {
    Q_OBJECT
public:
    CProtectionDetailsDlg(CTarvellApp& app, SendCommand send, QWidget* parent);

protected:
    void Update() override;
    void showEvent(QShowEvent*) override;
};

}  // namespace tarvell
