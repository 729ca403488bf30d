// Page 2 of the main view: the monitor information and monitor details panels on the light page
// background. GUI thread only.
#pragma once

#include <functional>

#include "viewer/widgets/OverviewPanel.h"

namespace tarvell {

class CMonitorDetailsDlg;
class CMonitorInfoDlg;

class CMonitorWnd : public OverviewPage {
    Q_OBJECT
public:
    CMonitorWnd(CTarvellApp& app, std::function<void(int commandId)> sendCommand,
                QWidget* parent = nullptr);

    CMonitorInfoDlg* InfoDlg() const { return info_; }
    CMonitorDetailsDlg* DetailsDlg() const { return details_; }

private:
    CMonitorInfoDlg* info_;
    CMonitorDetailsDlg* details_;
};

}  // namespace tarvell
