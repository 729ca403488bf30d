// Page 4 of the main view: the protection overview. At the left the Protect Information panel
// tells whether intrusion detection and intrusion prevention are switched on; at the right the
// Protection Details panel counts the active protections and links to the two protection lists.
// Both read the hub's copy of the settings and refresh on show, on the hub's changes while
// visible, and every 10 s. GUI thread only.
#pragma once

#include <QWidget>

#include "viewer/widgets/OverviewPanel.h"

namespace tarvell {

class CProtectionDetailsDlg;

class CProtectInformationPanel : public OverviewPanel {
    Q_OBJECT
public:
    CProtectInformationPanel(CTarvellApp& app, QWidget* parent);
    QString DetectState() const;
    QString PreventState() const;

protected:
    void Update() override;
    void paintEvent(QPaintEvent*) override;

private:
    QLabel* detect_;
    QLabel* prevent_;
};

class CProtectionSummaryWnd : public OverviewPage {
    Q_OBJECT
public:
    CProtectionSummaryWnd(CTarvellApp& app, SendCommand send, QWidget* parent = nullptr);
    CProtectInformationPanel* Information() const { return information_; }
    CProtectionDetailsDlg* Details() const { return details_; }

protected:
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    CProtectInformationPanel* information_;
    CProtectionDetailsDlg* details_;
};

}  // namespace tarvell
