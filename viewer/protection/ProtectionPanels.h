// The protection details panel that the protection overview page places: the active protections
// per side, with links to the detection and prevention settings. GUI thread only.
#pragma once

#include "viewer/widgets/OverviewPanel.h"

namespace tarvell {

class CProtectionDetailsDlg : public OverviewDetailsPanel {
    Q_OBJECT
public:
    CProtectionDetailsDlg(CTarvellApp& app, SendCommand send, QWidget* parent);
};

}  // namespace tarvell
