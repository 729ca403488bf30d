#include "viewer/settings/NodesSettingsUi.h"

#include "shared/CTarvellDoc.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/settings/NodesSettings.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/CIpAddressCtrl.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/QtGeometry.h"
#include "viewer/widgets/ShellPage.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

namespace {

enum NodesField { kMac, kIp, kDirect, kIndirect };
const QString kFullMask = QStringLiteral("255.255.255.255");

}  // namespace

// ---- panel

CNodesSettingsPanel::CNodesSettingsPanel(const SheetServices& services, QWidget* parent)
    : CFieldsSettingsPanel(QStringLiteral("Nodes Settings"), cmd::kSettingsNodes,
                           NodesPanelFields(), services, parent) {
    AddText(QStringLiteral("Manage Options"), QRect(20, 45, 400, 18), true);
    AddText(QStringLiteral("Use the check boxes to setup the preferred Tarvell management options "
                           "that best suites your needs."),
            QRect(20, 65, 560, 32));
    AddFieldCheck(kMac, QRect(30, 100, 20, 20));
    mac_ = AddSheetLink(kMac, QStringLiteral("Mac Options"), QRect(52, 102, 400, 16));
    AddFieldCheck(kIp, QRect(30, 122, 20, 20));
    ip_ = AddSheetLink(kIp, QStringLiteral("Ip Options"), QRect(52, 124, 400, 16));
    AddText(QStringLiteral("Exclude Options"), QRect(20, 160, 400, 18), true);
    AddText(QStringLiteral("Use the check boxes to exclude specific node types from Tarvell "
                           "detection discovery methods."),
            QRect(20, 180, 560, 32));
    AddFieldCheck(kDirect, QRect(30, 215, 560, 20));
    AddFieldCheck(kIndirect, QRect(30, 237, 560, 20));
}

// ---- Exclude MAC

CSettingsNodesMac::CSettingsNodesMac(CTarvellApp& app, Prompt& prompt, QWidget* parent)
    : CPropertyPage(QStringLiteral("Exclude MAC"), parent), app_(app), prompt_(prompt) {
    PageLook(this);
    PageText(this,
             QStringLiteral("Set specific MAC addresses that will be excluded from Tarvell nodes "
                            "discovery."),
             DluQRect(7, 7, 221, 20));
    PageGroup(this, QStringLiteral("MAC properties"), DluQRect(7, 34, 221, 52));
    mac_ = Labelled(PageText(this, QStringLiteral("MAC address:"), DluQRect(13, 46, 50, 9), false),
                    new QLineEdit(this));
    mac_->setMaxLength(static_cast<int>(kMacEntryChars));
    mac_->setGeometry(DluQRect(65, 44, 100, 12));
    add_ = new QPushButton(QStringLiteral("Add"), this);
    add_->setGeometry(DluQRect(172, 43, 50, 14));
    add_->setEnabled(false);
    PageText(this, QStringLiteral("Use 12 hexadecimal address and * as wild card character."),
             DluQRect(13, 64, 209, 18));
    QLabel* current =
        PageText(this, QStringLiteral("Current addresses"), DluQRect(7, 94, 100, 9), false);
    list_ =
        Named(ReportList(this, {{QStringLiteral("Mac Address"), 290}}, DluQRect(7, 105, 221, 80)),
              current->text());
    remove_ = PageLink(this, QStringLiteral("Remove address"), DluQRect(7, 190, 80, 10));
    connect(mac_, &QLineEdit::textChanged, this,
            [this](const QString& text) { add_->setEnabled(MacEntryComplete(Utf8(text))); });
    connect(mac_, &QLineEdit::returnPressed, this, [this] {
        if (add_->isEnabled()) OnAdd();
    });
    connect(add_, &QPushButton::clicked, this, [this] { OnAdd(); });
    connect(remove_, &LinkLabel::activated, this, [this] { RemoveSelectedRow(this, list_); });
}

void CSettingsNodesMac::OnInitDialog() {
    list_->clear();
    for (const std::string& entry : app_.Document().Fields().UnmanagedMacs)
        AppendRow(list_, {FromUtf8(entry)});
}

void CSettingsNodesMac::OnAdd() {
    const std::string mac = Utf8(mac_->text());
    if (!Refuse(prompt_, CheckMacEntry(ColumnTexts(list_, 0), mac))) return;
    AppendRow(list_, {mac_->text()});
    mac_->clear();
    add_->setEnabled(false);
    SetModified();
}

bool CSettingsNodesMac::OnOK() {
    const std::vector<std::string> entries = ColumnTexts(list_, 0);
    return SavePage(app_, prompt_, [&](CTarvellDoc& doc) { doc.UnmanagedMacs = entries; });
}

// ---- Exclude IP

CSettingsNodesIp::CSettingsNodesIp(CTarvellApp& app, Prompt& prompt, QWidget* parent)
    : CPropertyPage(QStringLiteral("Exclude IP"), parent), app_(app), prompt_(prompt) {
    PageLook(this);
    PageText(this,
             QStringLiteral("Set specific IP addresses that will be excluded from Tarvell nodes "
                            "discovery."),
             DluQRect(7, 7, 221, 20));
    PageGroup(this, QStringLiteral("IP properties"), DluQRect(7, 34, 221, 52));
    address_ =
        Labelled(PageText(this, QStringLiteral("IP address:"), DluQRect(13, 46, 50, 9), false),
                 new CIpAddressCtrl(this));
    address_->setGeometry(DluQRect(65, 44, 100, 13));
    mask_ = Labelled(PageText(this, QStringLiteral("IP mask:"), DluQRect(13, 66, 50, 9), false),
                     new CIpAddressCtrl(this));
    mask_->setGeometry(DluQRect(65, 64, 100, 13));
    mask_->SetText(kFullMask);
    add_ = new QPushButton(QStringLiteral("Add"), this);
    add_->setGeometry(DluQRect(172, 43, 50, 14));
    add_->setEnabled(false);
    QLabel* current =
        PageText(this, QStringLiteral("Current addresses"), DluQRect(7, 94, 100, 9), false);
    list_ = Named(
        ReportList(this,
                   {{QStringLiteral("IP Address"), 145}, {QStringLiteral("Address Mask"), 145}},
                   DluQRect(7, 105, 221, 80)),
        current->text());
    remove_ = PageLink(this, QStringLiteral("Remove address"), DluQRect(7, 190, 80, 10));
    for (CIpAddressCtrl* ctrl : {address_, mask_})
        connect(ctrl, &CIpAddressCtrl::addressChanged, this,
                [this] { add_->setEnabled(!address_->IsBlank() && !mask_->IsBlank()); });
    connect(add_, &QPushButton::clicked, this, [this] { OnAdd(); });
    connect(remove_, &LinkLabel::activated, this, [this] { RemoveSelectedRow(this, list_); });
}

void CSettingsNodesIp::OnInitDialog() {
    mask_->SetText(kFullMask);
    list_->clear();
    for (const std::string& entry : app_.Document().Fields().UnmanagedIps) {
        const AddressEntry e = SplitAddressEntry(entry);
        AppendRow(list_, {FromUtf8(e.address), FromUtf8(e.mask)});
    }
}

void CSettingsNodesIp::OnAdd() {
    const AddressEntry entry{Utf8(address_->Text()), Utf8(mask_->Text())};
    if (!Refuse(prompt_, CheckAddressEntry(ColumnTexts(list_, 0), entry))) return;
    AppendRow(list_, {address_->Text(), mask_->Text()});
    mask_->SetText(kFullMask);
    address_->ClearAddress();
    add_->setEnabled(false);
    SetModified();
}

bool CSettingsNodesIp::OnOK() {
    std::vector<std::string> entries;
    const auto addresses = ColumnTexts(list_, 0), masks = ColumnTexts(list_, 1);
    for (std::size_t i = 0; i < addresses.size(); ++i)
        entries.push_back(JoinAddressEntry({addresses[i], masks[i]}));
    return SavePage(app_, prompt_, [&](CTarvellDoc& doc) { doc.UnmanagedIps = entries; });
}

// ---- registration

void RegisterNodesSettings() {
    RegisterSettingsPanel(cmd::kSettingsNodes, [](const SheetServices& s) {
        return new CNodesSettingsPanel(s, s.parent);
    });
    RegisterSettingsSheet(QStringLiteral("Mac Options"), [](const SheetServices& s) {
        CPropertySheet sheet(QStringLiteral("Mac Options"), s.parent);
        sheet.AddPage(new CSettingsNodesMac(s.context.app, s.context.prompt));
        return sheet.DoModal() == kSheetOk;
    });
    RegisterSettingsSheet(QStringLiteral("Ip Options"), [](const SheetServices& s) {
        CPropertySheet sheet(QStringLiteral("Ip Options"), s.parent);
        sheet.AddPage(new CSettingsNodesIp(s.context.app, s.context.prompt));
        return sheet.DoModal() == kSheetOk;
    });
}

}  // namespace tarvell
