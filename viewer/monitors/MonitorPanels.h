// The panels of the monitor overview page: the monitor details (active events per side, with
// links to the two monitors) and the monitor information (device and node totals). GUI thread only.
#pragma once

#include "viewer/widgets/OverviewPanel.h"

namespace tarvell {

class CMonitorDetailsDlg : public OverviewDetailsPanel {
    Q_OBJECT
public:
    CMonitorDetailsDlg(CTarvellApp& app, SendCommand send, QWidget* parent);
};

class CMonitorInfoDlg : public OverviewPanel {
    Q_OBJECT
public:
    CMonitorInfoDlg(CTarvellApp& app, QWidget* parent);

protected:
    void Update() override;
};

}  // namespace tarvell
