// "Node Properties": one node of a node list, by MAC or IP address, optionally tied to one port
// of a device chosen by name or address. GUI thread only.
#pragma once

#include <string>
#include <vector>

#include "viewer/core/protection/NodeLists.h"
#include "viewer/protection/CBandedDialog.h"
#include "viewer/protection/NodeDialogServices.h"

class QComboBox;
class QLineEdit;
class QRadioButton;

namespace tarvell {

class CCheckListCtrl;
class CIpAddressCtrl;

class CNodePropertiesDlg : public CBandedDialog {
    Q_OBJECT
public:
    // An empty node adds one; a node given is edited (its address controls locked).
    CNodePropertiesDlg(NodeListEdit& edit, const std::string& node, const std::string& port,
                       const NodeDialogServices& services, QWidget* parent = nullptr);
    void accept() override;
    void ChooseDevice(const std::string& key);

    QRadioButton *macRadio_ = nullptr, *ipRadio_ = nullptr, *byNameRadio_ = nullptr,
                 *byAddressRadio_ = nullptr;
    QLineEdit* mac_ = nullptr;
    CIpAddressCtrl* ip_ = nullptr;
    QComboBox *byName_ = nullptr, *byAddress_ = nullptr;
    CCheckListCtrl* ports_ = nullptr;

private:
    void FillDevices(bool byName);
    void FillPorts();
    NodeListEdit& edit_;
    const NodeDialogServices& services_;
    std::string port_;
    std::vector<std::string> deviceKeys_;
    std::string deviceKey_;
    std::vector<long> portIndexes_;
};

}  // namespace tarvell
