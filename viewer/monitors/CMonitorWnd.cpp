#include "viewer/monitors/CMonitorWnd.h"

#include <QPainter>

#include "viewer/monitors/MonitorPanels.h"
#include "viewer/widgets/OverviewPanel.h"

namespace tarvell {

CMonitorWnd::CMonitorWnd(CTarvellApp& app, std::function<void(int)> sendCommand, QWidget* parent)
    : QWidget(parent),
      info_(new CMonitorInfoDlg(app, this)),
      details_(new CMonitorDetailsDlg(app, std::move(sendCommand), this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CMonitorWnd::resizeEvent(QResizeEvent*) {
    details_->move(220, 30);
    info_->setGeometry(30, 30, 160, 175);
}

void CMonitorWnd::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintOverviewBackground(p, rect());
}

}  // namespace tarvell
