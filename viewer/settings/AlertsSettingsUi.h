// The settings window's Alerts panel (removal of old alerts, archiving, the four forwarding
// switches with the links to their option sheets) and the option sheets of two channels:
// "Snmp Options" (Snmp, Managers) and "Syslog Options" (Syslog, Listeners). The links open the
// sheets registered by caption (SettingsSheets.h), so "Email Options" and "Run Commands Options"
// plug in from their own files; a link whose sheet is not registered does nothing. GUI thread
// only.
#pragma once

#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <array>

#include "viewer/core/settings/AlertsSettings.h"
#include "viewer/settings/CSettingsPanelBase.h"
#include "viewer/settings/SettingsSheets.h"
#include "viewer/widgets/CPropertySheet.h"

namespace tarvell {

class CTarvellApp;
class LinkLabel;
class Prompt;
class ServiceControl;

inline constexpr const char* kEmailOptionsSheet = "Email Options";
inline constexpr const char* kSnmpOptionsSheet = "Snmp Options";
inline constexpr const char* kSyslogOptionsSheet = "Syslog Options";
inline constexpr const char* kRunCommandsOptionsSheet = "Run Commands Options";

class CAlertsSettingsPanel : public CSettingsPanelBase {
    Q_OBJECT
public:
    enum Channel { Email, Snmp, Syslog, Run };
    CAlertsSettingsPanel(const SheetServices& services, QWidget* parent);

    void LoadPanel() override;
    const SettingsPanel* Document() const override { return &fields_; }

    QCheckBox* RemoveBox() const { return remove_; }
    QLineEdit* DaysEdit() const { return days_; }
    QSpinBox* DaysSpin() const { return spin_; }
    QCheckBox* ArchiveBox() const { return archive_; }
    QCheckBox* ChannelBox(Channel c) const { return boxes_[c]; }
    LinkLabel* ChannelLink(Channel c) const { return links_[c]; }
    // As a click on the channel's link (nothing while the link is inactive).
    void OpenChannel(Channel c);

private:
    void ShowDays();

    const PageContext& context_;
    FolderPicker& folders_;
    FilePicker& files_;
    AlertsPanelFields fields_;
    QCheckBox* remove_;
    QLineEdit* days_;
    QSpinBox* spin_;
    QCheckBox* archive_;
    std::array<QCheckBox*, 4> boxes_{};
    std::array<LinkLabel*, 4> links_{};
};

class CSettingsAlertsSnmp : public CPropertyPage {
    Q_OBJECT
public:
    CSettingsAlertsSnmp(CTarvellApp& app, Prompt& prompt, QWidget* parent = nullptr);
    void OnInitDialog() override;
    bool OnOK() override;

    QRadioButton* ExperimentalRadio() const { return experimental_; }
    QRadioButton* EnterpriseRadio() const { return enterprise_; }
    QRadioButton* V1Radio() const { return v1_; }
    QRadioButton* V3Radio() const { return v3_; }
    QLineEdit* CommunityEdit() const { return community_; }
    QLineEdit* EnterpriseEdit() const { return enterpriseId_; }
    const TrapPage& State() const { return state_; }

private:
    void Show();

    CTarvellApp& app_;
    Prompt& prompt_;
    TrapPage state_;
    QButtonGroup* kinds_;
    QButtonGroup* versions_;
    QRadioButton* experimental_;
    QRadioButton* enterprise_;
    QRadioButton* v1_;
    QRadioButton* v3_;
    QLineEdit* community_;
    QLineEdit* enterpriseId_;
};

class CSettingsAlertsSyslog : public CPropertyPage {
    Q_OBJECT
public:
    CSettingsAlertsSyslog(CTarvellApp& app, Prompt& prompt, QWidget* parent = nullptr);
    void OnInitDialog() override;
    bool OnOK() override;

    QRadioButton* StandardRadio() const { return standard_; }
    QRadioButton* SpecificRadio() const { return specific_; }
    QComboBox* FacilityBox() const { return facility_; }
    QComboBox* SeverityBox() const { return severity_; }
    const SyslogPage& State() const { return state_; }

private:
    void Show();

    CTarvellApp& app_;
    Prompt& prompt_;
    SyslogPage state_;
    QButtonGroup* kinds_;
    QRadioButton* standard_;
    QRadioButton* specific_;
    QComboBox* facility_;
    QComboBox* severity_;
};

void AddSnmpOptionsPages(CPropertySheet& sheet, CTarvellApp& app, Prompt& prompt,
                         ServiceControl* service);
void AddSyslogOptionsPages(CPropertySheet& sheet, CTarvellApp& app, Prompt& prompt,
                           ServiceControl* service);

// Registers the Alerts panel and the "Snmp Options" and "Syslog Options" sheets.
void RegisterAlertSheets();

}  // namespace tarvell
