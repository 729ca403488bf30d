// The Linkup Script page (row 5): one sub-protection with the file box, "Browse...", "Logon..."
// and its link. Its kill-active check tells 20021 (no file) or 20034 (no logon while the service
// runs under the system account) and keeps the sheet open. GUI thread only.
#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "viewer/core/protection/DetectionPages.h"
#include "viewer/widgets/CPropertySheet.h"

namespace tarvell {

class CProtectionListWnd;
class LinkLabel;

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

}  // namespace tarvell
