// Page 6 of the main view: how many alerts the hub holds, in all and per kind, with links to the
// two alerts screens (each enabled by its viewer permission when viewer users are set). The
// panels refresh on showing, on the hub's changes and every 10 s while shown. GUI thread only.
#pragma once

#include <functional>

#include "viewer/widgets/OverviewPanel.h"

namespace tarvell {

class CAlertsDetailsPanel : public OverviewDetailsPanel {
    Q_OBJECT
public:
    CAlertsDetailsPanel(CTarvellApp& app, SendCommand send, QWidget* parent);

protected:
    void paintEvent(QPaintEvent*) override;
};

class CAlertsInformationPanel : public OverviewPanel {
    Q_OBJECT
public:
    CAlertsInformationPanel(CTarvellApp& app, QWidget* parent);

protected:
    void Update() override;
};

class CAlertsSummaryWnd : public OverviewPage {
    Q_OBJECT
public:
    CAlertsSummaryWnd(CTarvellApp& app, std::function<void(int commandId)> sendCommand,
                      QWidget* parent = nullptr);
    CAlertsDetailsPanel* DetailsPanel() const { return details_; }
    CAlertsInformationPanel* InformationPanel() const { return info_; }

private:
    CAlertsInformationPanel* info_;
    CAlertsDetailsPanel* details_;
};

}  // namespace tarvell
