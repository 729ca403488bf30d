// The Nodes category: the panel with its management and exclusion boxes, and the one-page sheets
// its links open, "Mac Options" (Exclude MAC) and "Ip Options" (Exclude IP). Each page saves its
// list in its OK through EditSettings. GUI thread only.
#pragma once

#include <QLineEdit>
#include <QPushButton>

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

class CSettingsNodesMac : public CPropertyPage {
    Q_OBJECT
public:
    CSettingsNodesMac(CTarvellApp& app, Prompt& prompt, QWidget* parent = nullptr);
    void OnInitDialog() override;
    bool OnOK() override;
    void OnAdd();

    QLineEdit* MacEdit() const { return mac_; }
    QPushButton* AddButton() const { return add_; }
    QTreeWidget* List() const { return list_; }
    LinkLabel* RemoveLink() const { return remove_; }

private:
    CTarvellApp& app_;
    Prompt& prompt_;
    QLineEdit* mac_;
    QPushButton* add_;
    QTreeWidget* list_;
    LinkLabel* remove_;
};

class CSettingsNodesIp : public CPropertyPage {
    Q_OBJECT
public:
    CSettingsNodesIp(CTarvellApp& app, Prompt& prompt, QWidget* parent = nullptr);
    void OnInitDialog() override;
    bool OnOK() override;
    void OnAdd();

    CIpAddressCtrl* AddressCtrl() const { return address_; }
    CIpAddressCtrl* MaskCtrl() const { return mask_; }
    QPushButton* AddButton() const { return add_; }
    QTreeWidget* List() const { return list_; }
    LinkLabel* RemoveLink() const { return remove_; }

private:
    CTarvellApp& app_;
    Prompt& prompt_;
    CIpAddressCtrl* address_;
    CIpAddressCtrl* mask_;
    QPushButton* add_;
    QTreeWidget* list_;
    LinkLabel* remove_;
};

// Registers the panel and its two sheets.
void RegisterNodesSettings();

}  // namespace tarvell
