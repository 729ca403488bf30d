// The Nodes category: the panel with its management and exclusion boxes, and the one-page sheets
// its links open, "Mac Options" (Exclude MAC) and "Ip Options" (Exclude IP), two list editors
// (CListEditorPage, CAddressListPage). GUI thread only.
#pragma once

#include <QLineEdit>

#include "viewer/settings/CAddressListPage.h"
#include "viewer/settings/SettingsPageKit.h"

namespace tarvell {

class CNodesSettingsPanel : public CFieldsSettingsPanel {
    Q_OBJECT
public:
    CNodesSettingsPanel(const SheetServices& services, QWidget* parent);
    LinkLabel* MacLink() const { return mac_; }
    LinkLabel* IpLink() const { return ip_; }

private:
    LinkLabel* mac_;
    LinkLabel* ip_;
};

class CSettingsNodesMac : public CListEditorPage {
    Q_OBJECT
public:
    CSettingsNodesMac(CTarvellApp& app, Prompt& prompt, QWidget* parent = nullptr);
    QLineEdit* MacEdit() const { return mac_; }

protected:
    bool InputReady() const override;
    QTreeWidgetItem* TypedRow() override;
    void ClearInput() override;

private:
    QLineEdit* mac_;
};

class CSettingsNodesIp : public CAddressListPage {
    Q_OBJECT
public:
    CSettingsNodesIp(CTarvellApp& app, Prompt& prompt, QWidget* parent = nullptr);

protected:
    void ResetInput() override;
};

// Registers the panel and its two sheets.
void RegisterNodesSettings();

}  // namespace tarvell
