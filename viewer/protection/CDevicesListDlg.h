// "Devices List": all devices or the ticked ones of the current server's device table, sorted
// by a column; OK writes the chosen keys back into the list it was given. GUI thread only.
#pragma once

#include <string>
#include <vector>

#include "viewer/core/protection/DeviceChoice.h"
#include "viewer/protection/CBandedDialog.h"
#include "viewer/protection/NodeDialogServices.h"

class QRadioButton;

namespace tarvell {

class CCheckListCtrl;

class CDevicesListDlg : public CBandedDialog {
    Q_OBJECT
public:
    CDevicesListDlg(std::vector<std::string>& list, StringTable devices, Prompt& prompt,
                    QWidget* parent = nullptr);
    void accept() override;
    void SortBy(int column);
    void CheckAll(bool checked);

    QRadioButton* allRadio_ = nullptr;
    QRadioButton* specificRadio_ = nullptr;
    CCheckListCtrl* list_ = nullptr;

private:
    void Fill();
    void TakeChecks();
    std::vector<std::string>& target_;
    StringTable devices_;
    Prompt& prompt_;
    std::vector<DeviceRow> rows_;
    int sortColumn_ = -1;
    bool ascending_ = false;
};

}  // namespace tarvell
