#include "viewer/monitors/CMonitorWnd.h"

#include "viewer/monitors/MonitorPanels.h"

namespace tarvell {

CMonitorWnd::CMonitorWnd(CTarvellApp& app, std::function<void(int)> sendCommand, QWidget* parent)
    : OverviewPage(parent),
      info_(new CMonitorInfoDlg(app, this)),
      details_(new CMonitorDetailsDlg(app, std::move(sendCommand), this)) {
    PlacePanels(info_, details_);
}

}  // namespace tarvell
