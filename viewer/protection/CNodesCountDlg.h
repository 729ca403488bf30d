// "Manage Nodes Count": the nodes-per-port threshold, all ports or the listed ones; OK rewrites
// the count entries and clears both flags. GUI thread only.
#pragma once

#include "viewer/protection/CNodeListDlgBase.h"

class QButtonGroup;
class QCheckBox;
class QRadioButton;
class QSpinBox;

namespace tarvell {

class CNodesCountDlg : public CNodeListDlgBase {
    Q_OBJECT
public:
    CNodesCountDlg(int& threshold, const CTarvellDoc& opened, NodeDialogServices services,
                   QWidget* parent = nullptr);
    void accept() override;

    QSpinBox* threshold_ = nullptr;
    QCheckBox* automatic_ = nullptr;
    QRadioButton *allPorts_ = nullptr, *specificPort_ = nullptr;

private:
    void SetAutomatic(bool on);
    int& thresholdOut_;
    QButtonGroup* radios_ = nullptr;
};

}  // namespace tarvell
