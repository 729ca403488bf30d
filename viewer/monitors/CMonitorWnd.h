// Page 2 of the main view: the monitor information and monitor details panels on the light page
// background. GUI thread only.
#pragma once

#include <QWidget>
#include <functional>

#include "viewer/core/hub/CTarvellApp.h"

namespace tarvell {

class CMonitorDetailsDlg;
class CMonitorInfoDlg;

class CMonitorWnd : public QWidget {
    Q_OBJECT
public:
    CMonitorWnd(CTarvellApp& app, std::function<void(int commandId)> sendCommand,
                QWidget* parent = nullptr);

    CMonitorInfoDlg* InfoDlg() const { return info_; }
    CMonitorDetailsDlg* DetailsDlg() const { return details_; }

protected:
    void resizeEvent(QResizeEvent*) override;
    void paintEvent(QPaintEvent*) override;

private:
    CMonitorInfoDlg* info_;
    CMonitorDetailsDlg* details_;
};

}  // namespace tarvell
