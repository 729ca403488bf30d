#include "viewer/settings/DevicesSettingsUi.h"

#include <QButtonGroup>

#include "shared/CTarvellDoc.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/CCheckListCtrl.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/QtGeometry.h"
#include "viewer/widgets/ShellPage.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

namespace {

enum DevicesField { kDatabase, kTraps, kTrunks, kDevices, kPorts, kTypes };

DeviceTable Devices(const CTarvellApp& app) {
    DeviceTable table;
    app.CopyDevices(table);
    return table;
}

DeviceTable Ports(const CTarvellApp& app) {
    DeviceTable table;
    app.CopyPorts(table);
    return table;
}

// "Exclude all" and "Unexclude all" under a list.
std::pair<LinkLabel*, LinkLabel*> AllLinks(CPropertyPage* page, int top) {
    return {PageLink(page, QStringLiteral("Exclude all"), DluQRect(120, top, 50, 10)),
            PageLink(page, QStringLiteral("Unexclude all"), DluQRect(175, top, 53, 10))};
}

constexpr std::array<std::pair<const char*, const char*>, 4> kTypeBoxes = {{
    {"Exclude standard csmacd ports.",
     "Exclude standard ethernet csmacd port types from Tarvell discovery database."},
    {"Exclude wireless 802.11 ports.",
     "Exclude wireless ieee 802.11port types from Tarvell discovery database."},
    {"Exclude virtual ports.",
     "Exclude virtual lan (Vlan's) port types from Tarvell discovery database."},
    {"Exclude unknown ports.",
     "Exclude unknown or other port types from Tarvell discovery database."},
}};
constexpr std::array<std::int32_t CTarvellDoc::*, 4> kTypeFields = {
    &CTarvellDoc::ExcludeCsmacdPorts, &CTarvellDoc::ExcludeWirelessPorts,
    &CTarvellDoc::ExcludeVirtualPorts, &CTarvellDoc::ExcludeUnknownPorts};

}  // namespace

// ---- panel

CDevicesSettingsPanel::CDevicesSettingsPanel(const SheetServices& services, QWidget* parent)
    : CFieldsSettingsPanel(QStringLiteral("Devices Settings"), cmd::kSettingsDevices,
                           DevicesPanelFields(), services, parent) {
    AddText(QStringLiteral("Discovery Options"), QRect(20, 45, 400, 18), true);
    AddText(QStringLiteral("Use the check boxes to setup the preferred Tarvell discovery options "
                           "that best suites your needs."),
            QRect(20, 65, 560, 32));
    AddFieldCheck(kDatabase, QRect(30, 100, 560, 20));
    AddFieldCheck(kTraps, QRect(30, 122, 560, 20));
    AddText(QStringLiteral("Exclude Options"), QRect(20, 160, 400, 18), true);
    AddText(QStringLiteral("Use the check boxes to exclude specific device ports from Tarvell "
                           "detection discovery methods."),
            QRect(20, 180, 560, 32));
    AddFieldCheck(kTrunks, QRect(30, 215, 560, 20));
    const char* sheets[] = {"Devices Options", "Ports Options", "Types Options"};
    for (int i = 0; i < 3; ++i) {
        const int y = 237 + 22 * i;
        AddFieldCheck(kDevices + static_cast<std::size_t>(i), QRect(30, y, 20, 20));
        links_[static_cast<std::size_t>(i)] =
            AddSheetLink(kDevices + static_cast<std::size_t>(i), QString::fromLatin1(sheets[i]),
                         QRect(52, y + 2, 400, 16));
    }
}

// ---- Exclude Devices

CSettingsSwitchesAddresses::CSettingsSwitchesAddresses(CTarvellApp& app, Prompt& prompt,
                                                       QWidget* parent)
    : CPropertyPage(QStringLiteral("Exclude Devices"), parent), app_(app), prompt_(prompt) {
    PageIntro(this, QStringLiteral("Set the preferred devices that will be excluded from Tarvell "
                                   "discovery database."));
    PageGroup(this, QStringLiteral("Select devices from the list below"),
              DluQRect(7, 34, 221, 150));
    list_ = Named(new CCheckListCtrl(this), QStringLiteral("Devices"));
    list_->InsertColumn(0, QStringLiteral("Device Name"), 145);
    list_->InsertColumn(1, QStringLiteral("Device Ip"), 145);
    list_->InsertColumn(2, QString(), 0);  // the device key
    list_->setColumnHidden(2, true);
    list_->setGeometry(DluQRect(13, 44, 209, 134));
    std::tie(all_, none_) = AllLinks(this, 190);
    // A tick by click or by Space counts, and only on a row.
    connect(list_, &CCheckListCtrl::itemToggled, this, [this](int row, bool on) {
        if (rows_ && rows_->Set(static_cast<std::size_t>(row), on)) SetModified();
    });
    for (auto [link, on] : {std::pair{all_, true}, std::pair{none_, false}}) {
        connect(link, &LinkLabel::activated, this, [this, on = on] {
            if (!rows_) return;
            rows_->SetAll(on);
            ShowChecks();
            SetModified();
        });
    }
}

void CSettingsSwitchesAddresses::OnInitDialog() {
    rows_.emplace(Devices(app_), app_.Document().Fields().ExcludedDevices);
    list_->DeleteAllItems();
    for (const DeviceEntry& r : rows_->Rows()) {
        const int row = list_->InsertItem(list_->ItemCount(), FromUtf8(r.name));
        list_->SetItemText(row, 1, FromUtf8(r.ip));
        list_->SetItemText(row, 2, FromUtf8(r.key));
    }
    ShowChecks();
}

void CSettingsSwitchesAddresses::ShowChecks() {
    for (int row = 0; row < list_->ItemCount(); ++row)
        list_->SetCheck(row, rows_->Checked(static_cast<std::size_t>(row)));
}

bool CSettingsSwitchesAddresses::OnOK() {
    if (!rows_) return true;
    const DeviceExclusions rows = *rows_;
    return SavePage(app_, prompt_, [&](CTarvellDoc& doc) {
        doc.ExcludedDevices = rows.Stored(doc.ExcludedDevices);
    });
}

// ---- Exclude Ports

CSettingsSwitchesPorts::CSettingsSwitchesPorts(CTarvellApp& app, Prompt& prompt, QWidget* parent)
    : CPropertyPage(QStringLiteral("Exclude Ports"), parent), app_(app), prompt_(prompt) {
    PageIntro(
        this,
        QStringLiteral(
            "Set the preferred ports that will be excluded from Tarvell discovery database."));
    PageGroup(this, QStringLiteral("Select device "), DluQRect(7, 32, 221, 62));
    byName_ = new QRadioButton(QStringLiteral("Select device by name:"), this);
    byName_->setGeometry(DluQRect(13, 42, 112, 11));
    names_ = Named(new QComboBox(this), QStringLiteral("Device name"));
    names_->setGeometry(DluQRect(127, 41, 95, 14));
    byAddress_ = new QRadioButton(QStringLiteral("Select device by address:"), this);
    byAddress_->setGeometry(DluQRect(13, 66, 112, 11));
    addresses_ = Named(new QComboBox(this), QStringLiteral("Device address"));
    addresses_->setGeometry(DluQRect(127, 65, 95, 14));
    addresses_->setEnabled(false);
    auto* radios = new QButtonGroup(this);
    radios->addButton(byName_);
    radios->addButton(byAddress_);
    PageGroup(this, QStringLiteral("Select ports"), DluQRect(7, 104, 221, 82));
    list_ = Named(new CCheckListCtrl(this), QStringLiteral("Ports"));
    list_->setGeometry(DluQRect(13, 114, 209, 66));
    list_->InsertColumn(0, QString(),
                        list_->width() - list_->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    list_->SetHeaderVisible(false);
    std::tie(all_, none_) = AllLinks(this, 192);

    connect(byName_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) FillChoices(false);
    });
    connect(byAddress_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) FillChoices(true);
    });
    for (QComboBox* box : {names_, addresses_})
        connect(box, &QComboBox::currentIndexChanged, this,
                [this, box](int index) { ChooseDevice(box, index); });
    connect(list_, &CCheckListCtrl::itemToggled, this, [this](int row, bool on) {
        if (ports_.Set(static_cast<std::size_t>(row), on)) SetModified();
    });
    for (auto [link, on] : {std::pair{all_, true}, std::pair{none_, false}}) {
        connect(link, &LinkLabel::activated, this, [this, on = on] {
            ports_.SetAll(on);
            ShowRows();
            SetModified();
        });
    }
}

void CSettingsSwitchesPorts::OnInitDialog() {
    ports_ = PortExclusions(app_.Document().Fields().ExcludedPorts);
    if (byName_->isChecked()) FillChoices(false);
    else byName_->setChecked(true);  // fills the names
}

void CSettingsSwitchesPorts::FillChoices(bool byAddress) {
    // Filled, not chosen: no device is shown until the user picks one.
    const QSignalBlocker quietNames(names_), quietAddresses(addresses_);
    names_->clear();
    addresses_->clear();
    keys_.clear();
    QComboBox* box = byAddress ? addresses_ : names_;
    names_->setEnabled(!byAddress);
    addresses_->setEnabled(byAddress);
    for (const DeviceChoice& c : DeviceChoices(Devices(app_), byAddress)) {
        box->addItem(FromUtf8(c.text), static_cast<int>(keys_.size()));
        keys_.push_back(c.key);
    }
    box->setCurrentIndex(-1);
}

void CSettingsSwitchesPorts::ChooseDevice(QComboBox* box, int index) {
    const int key = box->itemData(index).toInt();
    if (index < 0 || key < 0 || key >= static_cast<int>(keys_.size())) return;
    ports_.ShowDevice(Ports(app_), keys_[static_cast<std::size_t>(key)]);
    list_->DeleteAllItems();
    for (const std::string& text : ports_.Rows())
        list_->InsertItem(list_->ItemCount(), FromUtf8(text));
    ShowRows();
}

void CSettingsSwitchesPorts::ShowRows() {
    for (int row = 0; row < list_->ItemCount(); ++row)
        list_->SetCheck(row, ports_.Checked(static_cast<std::size_t>(row)));
}

bool CSettingsSwitchesPorts::OnOK() {
    const std::vector<std::string> entries = ports_.Entries();
    return SavePage(app_, prompt_, [&](CTarvellDoc& doc) { doc.ExcludedPorts = entries; });
}

// ---- Exclude Types

CSettingsSwitchesTypes::CSettingsSwitchesTypes(CTarvellApp& app, Prompt& prompt, QWidget* parent)
    : CPropertyPage(QStringLiteral("Exclude Types"), parent), app_(app), prompt_(prompt) {
    PageIntro(this,
              QStringLiteral(
                  "Set the port types that will be excluded from Tarvell discovery database."));
    PageGroup(this, QStringLiteral("Select port types"), DluQRect(7, 34, 221, 168));
    for (std::size_t i = 0; i < kTypeBoxes.size(); ++i) {
        const int y = 46 + 38 * static_cast<int>(i);
        boxes_[i] = new QCheckBox(QString::fromLatin1(kTypeBoxes[i].first), this);
        boxes_[i]->setGeometry(DluQRect(13, y, 200, 11));
        PageText(this, QString::fromLatin1(kTypeBoxes[i].second), DluQRect(25, y + 12, 197, 20));
        connect(boxes_[i], &QCheckBox::toggled, this, [this] { SetModified(); });
    }
}

void CSettingsSwitchesTypes::OnInitDialog() {
    const CTarvellDoc& doc = app_.Document().Fields();
    for (std::size_t i = 0; i < boxes_.size(); ++i) boxes_[i]->setChecked(doc.*kTypeFields[i] != 0);
}

bool CSettingsSwitchesTypes::OnOK() {
    std::array<bool, 4> on{};
    for (std::size_t i = 0; i < boxes_.size(); ++i) on[i] = boxes_[i]->isChecked();
    return SavePage(app_, prompt_, [&](CTarvellDoc& doc) {
        for (std::size_t i = 0; i < on.size(); ++i) doc.*kTypeFields[i] = on[i] ? 1 : 0;
    });
}

// ---- registration

void RegisterDevicesSettings() {
    RegisterSettingsPanel(cmd::kSettingsDevices, [](const SheetServices& s) {
        return new CDevicesSettingsPanel(s, s.parent);
    });
    auto one = [](const char* caption, auto make) {
        RegisterSettingsSheet(QString::fromLatin1(caption),
                              [caption, make](const SheetServices& s) {
                                  CPropertySheet sheet(QString::fromLatin1(caption), s.parent);
                                  sheet.AddPage(make(s.context.app, s.context.prompt));
                                  return sheet.DoModal() == kSheetOk;
                              });
    };
    one("Devices Options", [](CTarvellApp& app, Prompt& prompt) -> CPropertyPage* {
        return new CSettingsSwitchesAddresses(app, prompt);
    });
    one("Ports Options", [](CTarvellApp& app, Prompt& prompt) -> CPropertyPage* {
        return new CSettingsSwitchesPorts(app, prompt);
    });
    one("Types Options", [](CTarvellApp& app, Prompt& prompt) -> CPropertyPage* {
        return new CSettingsSwitchesTypes(app, prompt);
    });
}

}  // namespace tarvell
