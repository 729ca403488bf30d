// The Threatened nodes page (row 3): four thresholds with their number boxes and the normal rate.
// A typed number beyond a signed 32-bit value is told with 20021 and keeps the sheet open. GUI
// thread only.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <array>

#include "viewer/core/protection/DetectionPages.h"
#include "viewer/protection/CNumberBox.h"
#include "viewer/widgets/CPropertySheet.h"

namespace tarvell {

class CProtectionListWnd;
class LinkLabel;

class CProtectionDetectThreats : public CPropertyPage {
    Q_OBJECT
public:
    explicit CProtectionDetectThreats(CProtectionListWnd& list);

    void OnInitDialog() override;
    bool OnKillActive() override;
    bool OnOK() override;

    QCheckBox* Master() const { return master_; }
    // 0..3 the thresholds, 4 the normal rate.
    QCheckBox* Sub(int i) const { return subs_[static_cast<std::size_t>(i)].check; }
    LinkLabel* Link(int i) const { return subs_[static_cast<std::size_t>(i)].link; }
    CNumberBox* Box(int i) const { return subs_[static_cast<std::size_t>(i)].box; }

private:
    void Take();
    void Show();
    void Sync();
    SubProtection& SubOf(int i);

    struct SubControls {
        QCheckBox* check = nullptr;
        QLabel* label = nullptr;
        CNumberBox* box = nullptr;
        LinkLabel* link = nullptr;
    };
    CProtectionListWnd& list_;
    QCheckBox* master_;
    std::array<SubControls, ThreatsPage::kThresholds + 1> subs_;
    ThreatsPage state_;
};

}  // namespace tarvell
