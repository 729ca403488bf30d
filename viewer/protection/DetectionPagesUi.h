// The property pages of the New nodes and Changed nodes detection rows: a master check box and
// four sub-protections, each with its two-line caption and a "Select Devices..." link shown only
// while it is on. OK stores the page through SaveProtectionPage.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "viewer/core/protection/DetectionPages.h"
#include "viewer/widgets/CPropertySheet.h"

namespace tarvell {

class CProtectionListWnd;

// Runs the devices list on `keys` (changed in place); true when accepted. Empty (the default):
// the Devices List dialog of the current server.
using SelectDevicesHook = std::function<bool(QWidget* parent, std::vector<std::string>& keys)>;
void SetSelectDevicesHook(SelectDevicesHook hook);

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

class CProtectionDetectNew : public CProtectionDetectFlags {
    Q_OBJECT
public:
    explicit CProtectionDetectNew(CProtectionListWnd& list);

protected:
    void Load(const CTarvellDoc& doc, bool& master, std::array<SubProtection, 4>& subs) override;
    void Store(bool master, const std::array<SubProtection, 4>& subs, CTarvellDoc& doc) override;
};

class CProtectionDetectChanges : public CProtectionDetectFlags {
    Q_OBJECT
public:
    explicit CProtectionDetectChanges(CProtectionListWnd& list);

protected:
    void Load(const CTarvellDoc& doc, bool& master, std::array<SubProtection, 4>& subs) override;
    void Store(bool master, const std::array<SubProtection, 4>& subs, CTarvellDoc& doc) override;
};

// The Linkup Script page (row 5): one sub-protection with the file box, "Browse...", "Logon..."
// and its link. Its kill-active check tells 20021 (no file) or 20034 (no logon while the service
// runs under the system account) and keeps the sheet open.
class CProtectionDetectScript : public CPropertyPage {
    Q_OBJECT
public:
    explicit CProtectionDetectScript(CProtectionListWnd& list);

    void OnInitDialog() override;
    bool OnKillActive() override;
    bool OnOK() override;

    QCheckBox* Master() const { return master_; }
    QCheckBox* Sub() const { return sub_; }
    QLineEdit* File() const { return file_; }
    LinkLabel* Link() const { return link_; }

private:
    void Sync();
    void TakeFile();

    CProtectionListWnd& list_;
    QCheckBox* master_;
    QCheckBox* sub_;
    QLineEdit* file_;
    QPushButton* browse_;
    QPushButton* logon_;
    LinkLabel* link_;
    ScriptPage state_;
};

// Enters the pages above for detection rows 1, 2 and 5.
void RegisterDetectionPages();

}  // namespace tarvell
