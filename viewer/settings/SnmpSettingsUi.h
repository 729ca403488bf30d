// The Snmp category: the panel with the waiting time and retry spins and the three query boxes,
// and the sheets its links open, "SNMP Communities" (Communities) and "SNMPv3 Options"
// (Paramerts, then Networks). Each page saves its own fields in its OK through EditSettings;
// Communities and Networks are list editors (CListEditorPage). GUI thread only.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>

#include "viewer/settings/CAddressListPage.h"
#include "viewer/settings/SettingsPageKit.h"

namespace tarvell {

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

class CSettingsSnmpCommunities : public CListEditorPage {
    Q_OBJECT
public:
    CSettingsSnmpCommunities(CTarvellApp& app, Prompt& prompt, QWidget* parent = nullptr);
    QLineEdit* CommunityEdit() const { return community_; }
    QComboBox* RightsBox() const { return rights_; }

protected:
    bool InputReady() const override;
    QTreeWidgetItem* TypedRow() override;
    void ClearInput() override;
    void ResetInput() override;
    QTreeWidgetItem* RowOf(const std::string& entry) const override;
    std::string EntryOf(const QTreeWidgetItem& row) const override;

private:
    QLineEdit* community_;
    QComboBox* rights_;
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

class CSettingsSnmpNetworks : public CAddressListPage {
    Q_OBJECT
public:
    CSettingsSnmpNetworks(CTarvellApp& app, Prompt& prompt, QWidget* parent = nullptr);
    QRadioButton* AllRadio() const { return all_; }
    QRadioButton* SpecificRadio() const { return specific_; }
    CIpAddressCtrl* NetworkCtrl() const { return AddressCtrl(); }

protected:
    void Fill(const std::vector<std::string>& entries) override;

private:
    void EnableAddresses(bool on);

    QRadioButton* all_;
    QRadioButton* specific_;
};

// The pages of each sheet, in tab order.
void AddSnmpCommunitiesPages(CPropertySheet& sheet, CTarvellApp& app, Prompt& prompt);
void AddSnmpV3Pages(CPropertySheet& sheet, CTarvellApp& app, Prompt& prompt);

// Registers the panel and its two sheets.
void RegisterSnmpSettings();

}  // namespace tarvell
