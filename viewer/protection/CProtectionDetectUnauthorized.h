// The Unauthorized nodes page (row 0): black list, white list and nodes/port count, each with its
// link and its "Manage ..." button. The manage dialogs save on their own when accepted; a Devices
// List left with Cancel does not mark the page modified. GUI thread only.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <array>

#include "viewer/core/protection/DetectionPages.h"
#include "viewer/widgets/CPropertySheet.h"

namespace tarvell {

class CProtectionListWnd;
class LinkLabel;

class CProtectionDetectUnauthorized : public CPropertyPage {
    Q_OBJECT
public:
    explicit CProtectionDetectUnauthorized(CProtectionListWnd& list);

    void OnInitDialog() override;
    bool OnOK() override;

    QCheckBox* Master() const { return master_; }
    QCheckBox* Sub(int i) const { return subs_[static_cast<std::size_t>(i)].check; }
    LinkLabel* Link(int i) const { return subs_[static_cast<std::size_t>(i)].link; }
    QPushButton* Manage(int i) const { return subs_[static_cast<std::size_t>(i)].manage; }

private:
    void Sync();
    void RunManage(int i);

    struct SubControls {
        QCheckBox* check = nullptr;
        QLabel* second = nullptr;
        LinkLabel* link = nullptr;
        QPushButton* manage = nullptr;
    };
    CProtectionListWnd& list_;
    QCheckBox* master_;
    std::array<SubControls, UnauthorizedPage::kSubs> subs_;
    UnauthorizedPage state_;
};

}  // namespace tarvell
