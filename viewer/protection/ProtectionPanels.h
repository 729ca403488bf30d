// The protection details panel that the protection overview page places: the active protections
// per side, with links to the detection and prevention settings. GUI thread only.
#pragma once

#include "viewer/widgets/OverviewPanel.h"

namespace tarvell {

class CProtectionDetailsDlg : public OverviewPanel {
    Q_OBJECT
public:
    CProtectionDetailsDlg(CTarvellApp& app, SendCommand send, QWidget* parent);

protected:
    void Update() override;
    void showEvent(QShowEvent*) override;
};

}  // namespace tarvell
