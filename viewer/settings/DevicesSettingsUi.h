// The Devices category: the panel with its discovery and exclusion boxes, and the one-page sheets
// its links open, "Devices Options" (Exclude Devices), "Ports Options" (Exclude Ports) and
// "Types Options" (Exclude Types). The device and port choices come from the tables the viewer
// read from the server's event file. Each page saves its own fields in its OK through
// EditSettings. GUI thread only.
#pragma once

#include <QComboBox>
#include <QRadioButton>
#include <array>
#include <optional>

#include "viewer/core/settings/DevicesSettings.h"
#include "viewer/settings/SettingsPageKit.h"

namespace tarvell {

class CCheckListCtrl;

class CDevicesSettingsPanel : public CFieldsSettingsPanel {
    Q_OBJECT
public:
    CDevicesSettingsPanel(const SheetServices& services, QWidget* parent);
    LinkLabel* Link(int index) const { return links_.at(static_cast<std::size_t>(index)); }

private:
    std::array<LinkLabel*, 3> links_{};
};

class CSettingsSwitchesAddresses : public CPropertyPage {
    Q_OBJECT
public:
    CSettingsSwitchesAddresses(CTarvellApp& app, Prompt& prompt, QWidget* parent = nullptr);
    void OnInitDialog() override;
    bool OnOK() override;

    CCheckListCtrl* List() const { return list_; }
    LinkLabel* ExcludeAllLink() const { return all_; }
    LinkLabel* UnexcludeAllLink() const { return none_; }

private:
    void ShowChecks();

    CTarvellApp& app_;
    Prompt& prompt_;
    CCheckListCtrl* list_;
    LinkLabel* all_;
    LinkLabel* none_;
    std::optional<DeviceExclusions> rows_;
};

class CSettingsSwitchesPorts : public CPropertyPage {
    Q_OBJECT
public:
    CSettingsSwitchesPorts(CTarvellApp& app, Prompt& prompt, QWidget* parent = nullptr);
    void OnInitDialog() override;
    bool OnOK() override;

    QRadioButton* ByNameRadio() const { return byName_; }
    QRadioButton* ByAddressRadio() const { return byAddress_; }
    QComboBox* NameBox() const { return names_; }
    QComboBox* AddressBox() const { return addresses_; }
    CCheckListCtrl* List() const { return list_; }
    LinkLabel* ExcludeAllLink() const { return all_; }
    LinkLabel* UnexcludeAllLink() const { return none_; }
    const std::vector<std::string>& Entries() const { return ports_.Entries(); }

private:
    void FillChoices(bool byAddress);
    void ChooseDevice(QComboBox* box, int index);
    void ShowRows();

    CTarvellApp& app_;
    Prompt& prompt_;
    QRadioButton* byName_;
    QRadioButton* byAddress_;
    QComboBox* names_;
    QComboBox* addresses_;
    CCheckListCtrl* list_;
    LinkLabel* all_;
    LinkLabel* none_;
    std::vector<std::string> keys_;  // the drop-down items' devices
    PortExclusions ports_{{}};
};

class CSettingsSwitchesTypes : public CPropertyPage {
    Q_OBJECT
public:
    CSettingsSwitchesTypes(CTarvellApp& app, Prompt& prompt, QWidget* parent = nullptr);
    void OnInitDialog() override;
    bool OnOK() override;
    QCheckBox* Box(int index) const { return boxes_.at(static_cast<std::size_t>(index)); }

private:
    CTarvellApp& app_;
    Prompt& prompt_;
    std::array<QCheckBox*, 4> boxes_{};
};

// Registers the panel and its three sheets.
void RegisterDevicesSettings();

}  // namespace tarvell
