// The Nodes category: the panel with its management and exclusion boxes, and the one-page sheets
// its links open, "Mac Options" (Exclude MAC) and "Ip Options" (Exclude IP), two list editors
// (CListEditorPage). GUI thread only.
#pragma once

#include <QLineEdit>

#include "viewer/settings/CListEditorPage.h"
#include "viewer/settings/SettingsPageKit.h"

namespace tarvell {

class CIpAddressCtrl;

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

class CSettingsNodesIp : public CListEditorPage {
    Q_OBJECT
public:
    CSettingsNodesIp(CTarvellApp& app, Prompt& prompt, QWidget* parent = nullptr);
    CIpAddressCtrl* AddressCtrl() const { return address_; }
    CIpAddressCtrl* MaskCtrl() const { return mask_; }

protected:
    bool InputReady() const override;
    QTreeWidgetItem* TypedRow() override;
    void ClearInput() override;
    void ResetInput() override;
    QTreeWidgetItem* RowOf(const std::string& entry) const override;
    std::string EntryOf(const QTreeWidgetItem& row) const override;

private:
    CIpAddressCtrl* address_;
    CIpAddressCtrl* mask_;
};

// Registers the panel and its two sheets.
void RegisterNodesSettings();

}  // namespace tarvell
