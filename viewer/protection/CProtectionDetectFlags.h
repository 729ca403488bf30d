// The base of the detection pages made of a master box and four sub-protections (new nodes,
// changed nodes), each with its two texts and its "Select Devices..." link. GUI thread only.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <array>

#include "viewer/core/protection/DetectionPages.h"
#include "viewer/widgets/CPropertySheet.h"

namespace tarvell {

class CProtectionListWnd;
class LinkLabel;

class CProtectionDetectFlags : public CPropertyPage {
    Q_OBJECT
public:
    struct SubText {
        const char* first;
        const char* second;
    };
    CProtectionDetectFlags(CProtectionListWnd& list, int row, const char* heading,
                           const char* master, const std::array<SubText, 4>& texts);

    void OnInitDialog() override;
    bool OnOK() override;

    QCheckBox* Master() const { return master_; }
    QCheckBox* Sub(int i) const { return subs_[static_cast<std::size_t>(i)].check; }
    LinkLabel* Link(int i) const { return subs_[static_cast<std::size_t>(i)].link; }

protected:
    // The page's working state in and out of a settings document.
    virtual void Load(const CTarvellDoc& doc, bool& master, std::array<SubProtection, 4>& subs) = 0;
    virtual void Store(bool master, const std::array<SubProtection, 4>& subs, CTarvellDoc& doc) = 0;
    // The two for a core page state of a master switch and four sub-protections.
    template <typename Page>
    static void Take(const Page& page, bool& master, std::array<SubProtection, 4>& subs) {
        master = page.master;
        subs = page.subs;
    }
    template <typename Page>
    static Page Make(bool master, const std::array<SubProtection, 4>& subs) {
        Page page;
        page.master = master;
        page.subs = subs;
        return page;
    }

private:
    void Sync();

    struct SubControls {
        QCheckBox* check = nullptr;
        QLabel* second = nullptr;
        LinkLabel* link = nullptr;
    };
    CProtectionListWnd& list_;
    int row_;
    QCheckBox* master_;
    std::array<SubControls, 4> subs_;
    std::array<SubProtection, 4> state_;
};

}  // namespace tarvell
