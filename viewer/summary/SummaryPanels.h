// The system summary panel of the summary page: the service state of the connected server and the
// favourite buttons that switch the main view to the four areas. The state is the hub's (its
// reading cycle asks the service), so the panel follows the hub's signal like the other panels
// and asks nothing itself. GUI thread only.
#pragma once

#include "viewer/widgets/OverviewPanel.h"

namespace tarvell {

class CFlatToolBarCtrl;

class CSummaryDlg : public OverviewPanel {
    Q_OBJECT
public:
    CSummaryDlg(CTarvellApp& app, SendCommand send, QWidget* parent);
    CFlatToolBarCtrl* Favorites() const { return favorites_; }

protected:
    void Update() override;
    void resizeEvent(QResizeEvent*) override;
    void paintEvent(QPaintEvent*) override;

private:
    CFlatToolBarCtrl* favorites_;
};

}  // namespace tarvell
