// The system summary panel of the summary page: the service state of the connected server and the
// favourite buttons that switch the main view to the four areas. GUI thread only.
#pragma once

#include "viewer/widgets/OverviewPanel.h"

namespace tarvell {

class CFlatToolBarCtrl;

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

}  // namespace tarvell
