#include "viewer/settings/NodesSettingsUi.h"

#include <QPushButton>

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
    : CListEditorPage(QStringLiteral("Exclude MAC"), app, prompt, &CTarvellDoc::UnmanagedMacs,
                      parent) {
    PageIntro(this,
              QStringLiteral("Set specific MAC addresses that will be excluded from Tarvell nodes "
                             "discovery."));
    PageGroup(this, QStringLiteral("MAC properties"), DluQRect(7, 34, 221, 52));
    mac_ = Labelled(PageText(this, QStringLiteral("MAC address:"), DluQRect(13, 46, 50, 9), false),
                    new QLineEdit(this));
    mac_->setMaxLength(static_cast<int>(kMacEntryChars));
    mac_->setGeometry(DluQRect(65, 44, 100, 12));
    auto* add = new QPushButton(QStringLiteral("Add"), this);
    add->setGeometry(DluQRect(172, 43, 50, 14));
    PageText(this, QStringLiteral("Use 12 hexadecimal address and * as wild card character."),
             DluQRect(13, 64, 209, 18));
    QLabel* current =
        PageText(this, QStringLiteral("Current addresses"), DluQRect(7, 94, 100, 9), false);
    QTreeWidget* list =
        Named(ReportList(this, {{QStringLiteral("Mac Address"), 290}}, DluQRect(7, 105, 221, 80)),
              current->text());
    SetControls(add, list,
                PageLink(this, QStringLiteral("Remove address"), DluQRect(7, 190, 80, 10)));
    WatchInput(mac_, true);
}

bool CSettingsNodesMac::InputReady() const { return MacEntryComplete(Utf8(mac_->text())); }

QTreeWidgetItem* CSettingsNodesMac::TypedRow() {
    if (!Refuse(prompt_, CheckMacEntry(ColumnTexts(0), Utf8(mac_->text())))) return nullptr;
    return new QTreeWidgetItem(QStringList{mac_->text()});
}

void CSettingsNodesMac::ClearInput() { mac_->clear(); }

// ---- Exclude IP

CSettingsNodesIp::CSettingsNodesIp(CTarvellApp& app, Prompt& prompt, QWidget* parent)
    : CAddressListPage(QStringLiteral("Exclude IP"), app, prompt, &CTarvellDoc::UnmanagedIps,
                       parent) {
    PageIntro(this,
              QStringLiteral("Set specific IP addresses that will be excluded from Tarvell nodes "
                             "discovery."));
    PageGroup(this, QStringLiteral("IP properties"), DluQRect(7, 34, 221, 52));
    auto* address =
        Labelled(PageText(this, QStringLiteral("IP address:"), DluQRect(13, 46, 50, 9), false),
                 new CIpAddressCtrl(this));
    address->setGeometry(DluQRect(65, 44, 100, 13));
    auto* mask =
        Labelled(PageText(this, QStringLiteral("IP mask:"), DluQRect(13, 66, 50, 9), false),
                 new CIpAddressCtrl(this));
    mask->setGeometry(DluQRect(65, 64, 100, 13));
    mask->SetText(kFullMask);
    auto* add = new QPushButton(QStringLiteral("Add"), this);
    add->setGeometry(DluQRect(172, 43, 50, 14));
    QLabel* current =
        PageText(this, QStringLiteral("Current addresses"), DluQRect(7, 94, 100, 9), false);
    QTreeWidget* list =
        Named(AddressList(QStringLiteral("IP Address"), QStringLiteral("Address Mask"),
                          DluQRect(7, 105, 221, 80)),
              current->text());
    SetControls(add, list,
                PageLink(this, QStringLiteral("Remove address"), DluQRect(7, 190, 80, 10)));
    SetAddressControls(address, mask, kFullMask);
}

void CSettingsNodesIp::ResetInput() { MaskCtrl()->SetText(kFullMask); }

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
