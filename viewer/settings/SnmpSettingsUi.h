// The Snmp category: the panel with the waiting time and retry spins and the three query boxes,
// and the sheets its links open, "SNMP Communities" (Communities) and "SNMPv3 Options"
// (Paramerts, then Networks). Each page saves its own fields in its OK through EditSettings.
// GUI thread only.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "viewer/settings/SettingsPageKit.h"

namespace tarvell {

class CIpAddressCtrl;

class CSnmpSettingsPanel : public CFieldsSettingsPanel {
    Q_OBJECT
public:
    CSnmpSettingsPanel(const SheetServices& services, QWidget* parent);
    QSpinBox* TimeoutSpin() const { return timeout_; }
    QSpinBox* RetriesSpin() const { return retries_; }
    LinkLabel* CommunitiesLink() const { return communities_; }
    LinkLabel* Version3Link() const { return version3_; }

protected:
    void ShowValues() override;

private:
    QSpinBox* timeout_;
    QSpinBox* retries_;
    LinkLabel* communities_;
    LinkLabel* version3_;
};

class CSettingsSnmpCommunities : public CPropertyPage {
    Q_OBJECT
public:
    CSettingsSnmpCommunities(CTarvellApp& app, Prompt& prompt, QWidget* parent = nullptr);
    void OnInitDialog() override;
    bool OnOK() override;
    void OnAdd();

    QLineEdit* CommunityEdit() const { return community_; }
    QComboBox* RightsBox() const { return rights_; }
    QPushButton* AddButton() const { return add_; }
    QTreeWidget* List() const { return list_; }
    LinkLabel* RemoveLink() const { return remove_; }

private:
    CTarvellApp& app_;
    Prompt& prompt_;
    QLineEdit* community_;
    QComboBox* rights_;
    QPushButton* add_;
    QTreeWidget* list_;
    LinkLabel* remove_;
};

class CSettingsSnmpVersion3 : public CPropertyPage {
    Q_OBJECT
public:
    CSettingsSnmpVersion3(CTarvellApp& app, Prompt& prompt, QWidget* parent = nullptr);
    void OnInitDialog() override;
    bool OnOK() override;

    QLineEdit* UserEdit() const { return user_; }
    QLineEdit* ContextEdit() const { return context_; }
    QLineEdit* EngineIdEdit() const { return engineId_; }
    QComboBox* AuthBox() const { return auth_; }
    QLineEdit* AuthPasswordEdit() const { return authPassword_; }
    QComboBox* PrivBox() const { return priv_; }
    QLineEdit* PrivPasswordEdit() const { return privPassword_; }

private:
    void FollowAuth();

    CTarvellApp& app_;
    Prompt& prompt_;
    QLineEdit* user_;
    QLineEdit* context_;
    QLineEdit* engineId_;
    QComboBox* auth_;
    QLineEdit* authPassword_;
    QComboBox* priv_;
    QLineEdit* privPassword_;
};

class CSettingsSnmpNetworks : public CPropertyPage {
    Q_OBJECT
public:
    CSettingsSnmpNetworks(CTarvellApp& app, Prompt& prompt, QWidget* parent = nullptr);
    void OnInitDialog() override;
    bool OnOK() override;
    void OnAdd();

    QRadioButton* AllRadio() const { return all_; }
    QRadioButton* SpecificRadio() const { return specific_; }
    CIpAddressCtrl* NetworkCtrl() const { return network_; }
    CIpAddressCtrl* MaskCtrl() const { return mask_; }
    QPushButton* AddButton() const { return add_; }
    QTreeWidget* List() const { return list_; }
    LinkLabel* RemoveLink() const { return remove_; }

private:
    void EnableAddresses(bool on);

    CTarvellApp& app_;
    Prompt& prompt_;
    QRadioButton* all_;
    QRadioButton* specific_;
    CIpAddressCtrl* network_;
    CIpAddressCtrl* mask_;
    QPushButton* add_;
    QTreeWidget* list_;
    LinkLabel* remove_;
};

// The pages of each sheet, in tab order.
void AddSnmpCommunitiesPages(CPropertySheet& sheet, CTarvellApp& app, Prompt& prompt);
void AddSnmpV3Pages(CPropertySheet& sheet, CTarvellApp& app, Prompt& prompt);

// Registers the panel and its two sheets.
void RegisterSnmpSettings();

}  // namespace tarvell
