// The linkup WMI page (row 4): the nodes mode, the conditions list, logon and devices. GUI thread
// only.
#pragma once

#include <QCheckBox>
#include <QPushButton>

#include "viewer/core/protection/WmiConditions.h"
#include "viewer/widgets/CPropertySheet.h"

class QRadioButton;

namespace tarvell {

class CProtectionListWnd;
class CSortListCtrl;
class LinkLabel;

class CProtectionDetectWmi : public CPropertyPage {
    Q_OBJECT
public:
    explicit CProtectionDetectWmi(CProtectionListWnd& list);

    void OnInitDialog() override;
    bool OnKillActive() override;
    bool OnOK() override;

    QCheckBox* Master() const { return master_; }
    QRadioButton* Mode(int i) const { return modes_[i]; }
    CSortListCtrl* Rows() const { return rows_; }
    QPushButton* AddButton() const { return add_; }
    QPushButton* RemoveButton() const { return remove_; }
    LinkLabel* Link() const { return link_; }
    // As "Add..." (index -1) or a double click on a row.
    void RunProperties(int index);
    void SortBy(int column);

private:
    void Fill();
    void Sync();

    CProtectionListWnd& list_;
    QCheckBox* master_;
    QRadioButton* modes_[2];
    CSortListCtrl* rows_;
    QPushButton* add_;
    QPushButton* remove_;
    QPushButton* logon_;
    LinkLabel* link_;
    WmiPage state_;
};

}  // namespace tarvell
