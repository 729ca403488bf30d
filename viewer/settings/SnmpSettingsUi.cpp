#include "viewer/settings/SnmpSettingsUi.h"

#include <QButtonGroup>
#include <QPushButton>

#include "shared/CTarvellDoc.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/settings/NodesSettings.h"
#include "viewer/core/settings/SettingsRules.h"
#include "viewer/core/settings/SnmpSettings.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/CIpAddressCtrl.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/QtGeometry.h"
#include "viewer/widgets/ShellPage.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

namespace {

enum SnmpField { kTimeout, kRetries, kPublic, kCommunities, kVersion3 };

QString Str(unsigned id) { return FromUtf8(std::string(LoadString(id))); }

QSpinBox* PanelSpin(QWidget* panel, int low, int high, int step, QRect place) {
    auto* spin = new QSpinBox(panel);
    spin->setRange(low, high);
    spin->setSingleStep(step);
    spin->setFont(DesignFont(QStringLiteral("Tahoma"), 13));
    spin->setGeometry(place);
    return spin;
}

// A drop-down of "None" and two protocols, item data 1..3.
QComboBox* ProtocolBox(QWidget* page, const char* first, const char* second, QRect place) {
    auto* box = new QComboBox(page);
    box->addItem(QStringLiteral("None"), kProtocolNone);
    box->addItem(QString::fromLatin1(first), kProtocolFirst);
    box->addItem(QString::fromLatin1(second), kProtocolSecond);
    box->setGeometry(place);
    return box;
}

QLineEdit* PageEdit(QWidget* page, QRect place, bool password = false) {
    auto* edit = new QLineEdit(page);
    edit->setMaxLength(255);
    if (password) edit->setEchoMode(QLineEdit::Password);
    edit->setGeometry(place);
    return edit;
}

}  // namespace

// ---- panel

CSnmpSettingsPanel::CSnmpSettingsPanel(const SheetServices& services, QWidget* parent)
    : CFieldsSettingsPanel(QStringLiteral("Snmp Settings"), cmd::kSettingsSnmp, SnmpPanelFields(),
                           services, parent) {
    AddText(QStringLiteral("Timing Options"), QRect(20, 45, 400, 18), true);
    AddText(QStringLiteral("Use the check boxes to setup the preferred Tarvell timing options that "
                           "best suites your networks."),
            QRect(20, 65, 560, 32));
    QLabel* waiting =
        AddText(QStringLiteral("Use maximum waiting time of:"), QRect(30, 102, 200, 18));
    timeout_ = Labelled(waiting, PanelSpin(this, kSnmpTimeoutMin, kSnmpTimeoutMax, kSnmpTimeoutStep,
                                           QRect(235, 100, 80, 22)));
    AddText(QStringLiteral("milli-seconds."), QRect(322, 102, 120, 18));
    QLabel* retry =
        AddText(QStringLiteral("Use maximum retry queries of:"), QRect(30, 128, 200, 18));
    retries_ = Labelled(
        retry, PanelSpin(this, kSnmpRetriesMin, kSnmpRetriesMax, 1, QRect(235, 126, 80, 22)));
    AddText(QStringLiteral("times."), QRect(322, 128, 120, 18));
    AddText(QStringLiteral("Additional Options"), QRect(20, 165, 400, 18), true);
    AddText(QStringLiteral("Use the options below to setup the preferred Tarvell parameters that "
                           "will be used to query snmp devices."),
            QRect(20, 185, 560, 32));
    AddFieldCheck(kPublic, QRect(30, 220, 560, 20));
    AddFieldCheck(kCommunities, QRect(30, 242, 20, 20));
    communities_ =
        AddSheetLink(kCommunities, Str(str::kSnmpCommunitiesSheet), QRect(52, 244, 450, 16));
    AddFieldCheck(kVersion3, QRect(30, 264, 20, 20));
    version3_ = AddSheetLink(kVersion3, Str(str::kSnmpV3Sheet), QRect(52, 266, 450, 16));
    for (auto [spin, field] : {std::pair{timeout_, kTimeout}, std::pair{retries_, kRetries}}) {
        connect(spin, &QSpinBox::valueChanged, this, [this, field = field](int v) {
            SetValue(field, v);
            emit changed();
        });
    }
}

void CSnmpSettingsPanel::ShowValues() {
    for (auto [spin, field] : {std::pair{timeout_, kTimeout}, std::pair{retries_, kRetries}}) {
        const QSignalBlocker quiet(spin);
        spin->setValue(Value(field));
    }
}

// ---- Communities

CSettingsSnmpCommunities::CSettingsSnmpCommunities(CTarvellApp& app, Prompt& prompt,
                                                   QWidget* parent)
    : CListEditorPage(QStringLiteral("Communities"), app, prompt, &CTarvellDoc::SnmpCommunities,
                      parent) {
    PageIntro(this,
              QStringLiteral("Set the preferred additional SNMP communities that will be used to "
                             "query devices."));
    PageGroup(this, QStringLiteral("Community properties "), DluQRect(7, 34, 221, 50));
    community_ = Labelled(
        PageText(this, QStringLiteral("Community string:"), DluQRect(13, 46, 70, 9), false),
        PageEdit(this, DluQRect(85, 44, 80, 12)));
    rights_ = Labelled(
        PageText(this, QStringLiteral("Community rights:"), DluQRect(13, 64, 70, 9), false),
        new QComboBox(this));
    for (unsigned id : {str::kReadOnly, str::kReadWrite, str::kWriteOnly})
        rights_->addItem(Str(id));
    rights_->setGeometry(DluQRect(85, 62, 80, 14));
    auto* add = new QPushButton(QStringLiteral("Add"), this);
    add->setGeometry(DluQRect(172, 43, 50, 14));
    add->setDefault(true);
    PageGroup(this, QStringLiteral("Additional communities "), DluQRect(7, 94, 221, 92));
    QTreeWidget* list =
        Named(ReportList(this, {{QStringLiteral("String"), 145}, {QStringLiteral("Rights"), 145}},
                         DluQRect(13, 104, 209, 76)),
              QStringLiteral("Additional communities"));
    SetControls(add, list,
                PageLink(this, QStringLiteral("Remove community"), DluQRect(7, 192, 80, 10)));
    WatchInput(community_, true);
}

bool CSettingsSnmpCommunities::InputReady() const { return !community_->text().isEmpty(); }

void CSettingsSnmpCommunities::ResetInput() { rights_->setCurrentIndex(0); }

QTreeWidgetItem* CSettingsSnmpCommunities::RowOf(const std::string& entry) const {
    const CommunityEntry e = SplitCommunity(entry);
    auto* row = new QTreeWidgetItem(
        QStringList{FromUtf8(e.community), FromUtf8(std::string(RightsName(e.rights)))});
    // The number as stored, so rights this page does not name survive an OK.
    row->setData(1, Qt::UserRole, FromUtf8(e.rights));
    return row;
}

std::string CSettingsSnmpCommunities::EntryOf(const QTreeWidgetItem& row) const {
    return JoinCommunity({Utf8(row.text(0)), Utf8(row.data(1, Qt::UserRole).toString())});
}

QTreeWidgetItem* CSettingsSnmpCommunities::TypedRow() {
    const std::string text = Utf8(community_->text());
    if (!Refuse(prompt_, CheckStorable({text}))) return nullptr;
    if (!Refuse(prompt_, ListHolds(ColumnTexts(0), text) ? str::kItemExists : 0)) return nullptr;
    auto* row = new QTreeWidgetItem(QStringList{community_->text(), rights_->currentText()});
    row->setData(1, Qt::UserRole, QString::number(rights_->currentIndex()));
    return row;
}

void CSettingsSnmpCommunities::ClearInput() {
    community_->clear();
    rights_->setCurrentIndex(0);
}

// ---- Paramerts

CSettingsSnmpVersion3::CSettingsSnmpVersion3(CTarvellApp& app, Prompt& prompt, QWidget* parent)
    : CPropertyPage(QStringLiteral("Paramerts"), parent), app_(app), prompt_(prompt) {
    PageIntro(this, QStringLiteral("Set the preferred SNMPv3 parameters that will be used to query "
                                   "devices."));
    user_ = Labelled(
        PageText(this, QStringLiteral("User/Security Name:"), DluQRect(7, 34, 80, 9), false),
        PageEdit(this, DluQRect(95, 32, 133, 12)));
    PageGroup(this, QStringLiteral("Context"), DluQRect(7, 54, 221, 44));
    context_ =
        Labelled(PageText(this, QStringLiteral("Context Name:"), DluQRect(13, 65, 75, 9), false),
                 PageEdit(this, DluQRect(95, 63, 127, 12)));
    engineId_ = Labelled(
        PageText(this, QStringLiteral("Context Engine ID:"), DluQRect(13, 81, 75, 9), false),
        PageEdit(this, DluQRect(95, 79, 127, 12)));
    PageGroup(this, QStringLiteral("Authentication"), DluQRect(7, 108, 221, 44));
    auth_ =
        Labelled(PageText(this, QStringLiteral("Auth Protocol:"), DluQRect(13, 119, 75, 9), false),
                 ProtocolBox(this, "MD5", "SHA", DluQRect(95, 117, 127, 14)));
    authPassword_ =
        Labelled(PageText(this, QStringLiteral("Auth Password:"), DluQRect(13, 135, 75, 9), false),
                 PageEdit(this, DluQRect(95, 133, 127, 12), true));
    PageGroup(this, QStringLiteral("Privacy (Encryption)"), DluQRect(7, 162, 221, 44));
    priv_ = Labelled(
        PageText(this, QStringLiteral("Privacy Protocol:"), DluQRect(13, 173, 75, 9), false),
        ProtocolBox(this, "DES", "3DES", DluQRect(95, 171, 127, 14)));
    privPassword_ = Labelled(
        PageText(this, QStringLiteral("Privacy Password:"), DluQRect(13, 189, 75, 9), false),
        PageEdit(this, DluQRect(95, 187, 127, 12), true));
    for (QLineEdit* edit : {user_, context_, engineId_, authPassword_, privPassword_})
        connect(edit, &QLineEdit::textEdited, this, [this] { SetModified(); });
    for (QComboBox* box : {auth_, priv_})
        connect(box, &QComboBox::currentIndexChanged, this, [this] { SetModified(); });
    connect(auth_, &QComboBox::currentIndexChanged, this, [this] { FollowAuth(); });
}

// Privacy needs authentication: without it privacy shows "None" and is disabled.
void CSettingsSnmpVersion3::FollowAuth() {
    const bool none = auth_->currentData().toInt() == kProtocolNone;
    if (none) priv_->setCurrentIndex(0);
    priv_->setEnabled(!none);
    privPassword_->setEnabled(!none);
}

void CSettingsSnmpVersion3::OnInitDialog() {
    const CTarvellDoc& doc = app_.Document().Fields();
    user_->setText(FromUtf8(doc.SnmpV3User));
    context_->setText(FromUtf8(doc.SnmpV3Context));
    engineId_->setText(FromUtf8(doc.SnmpV3EngineId));
    authPassword_->setText(FromUtf8(doc.SnmpV3AuthPassword));
    privPassword_->setText(FromUtf8(doc.SnmpV3PrivPassword));
    auth_->setCurrentIndex(ShownProtocol(doc.SnmpV3AuthProtocol) - 1);
    priv_->setCurrentIndex(PrivacyFor(doc.SnmpV3AuthProtocol, doc.SnmpV3PrivProtocol) - 1);
    FollowAuth();
}

bool CSettingsSnmpVersion3::OnOK() {
    SnmpV3Values v;
    v.user = Utf8(user_->text());
    v.context = Utf8(context_->text());
    v.engineId = Utf8(engineId_->text());
    v.authPassword = Utf8(authPassword_->text());
    v.privPassword = Utf8(privPassword_->text());
    v.auth = auth_->currentData().toInt();
    v.priv = PrivacyFor(v.auth, priv_->currentData().toInt());
    if (!Refuse(prompt_, CheckSnmpV3(v))) return false;
    return SavePage(app_, prompt_, [&](CTarvellDoc& doc) {
        doc.SnmpV3User = v.user;
        doc.SnmpV3Context = v.context;
        doc.SnmpV3EngineId = v.engineId;
        doc.SnmpV3AuthPassword = v.authPassword;
        doc.SnmpV3PrivPassword = v.privPassword;
        doc.SnmpV3AuthProtocol = v.auth;
        doc.SnmpV3PrivProtocol = v.priv;
        doc.SnmpV3SecurityModel = kUsmSecurityModel;
        doc.SnmpV3SecurityLevel = SecurityLevelOf(v.auth, v.priv);
    });
}

// ---- Networks

CSettingsSnmpNetworks::CSettingsSnmpNetworks(CTarvellApp& app, Prompt& prompt, QWidget* parent)
    : CAddressListPage(QStringLiteral("Networks"), app, prompt, &CTarvellDoc::SnmpNetworks,
                       parent) {
    PageIntro(this,
              QStringLiteral("Set the preferred SNMPv3 networks that will be used for devices "
                             "discovery."));
    all_ = new QRadioButton(QStringLiteral("Use SNMPv3 for all devices"), this);
    all_->setGeometry(DluQRect(7, 32, 200, 11));
    specific_ =
        new QRadioButton(QStringLiteral("Use SNMPv3 for devices on specific networks"), this);
    specific_->setGeometry(DluQRect(7, 46, 221, 11));
    auto* radios = new QButtonGroup(this);
    radios->addButton(all_);
    radios->addButton(specific_);
    auto* network =
        Labelled(PageText(this, QStringLiteral("Network address:"), DluQRect(13, 64, 70, 9), false),
                 new CIpAddressCtrl(this));
    network->setGeometry(DluQRect(85, 62, 80, 13));
    auto* mask =
        Labelled(PageText(this, QStringLiteral("Network mask:"), DluQRect(13, 82, 70, 9), false),
                 new CIpAddressCtrl(this));
    mask->setGeometry(DluQRect(85, 80, 80, 13));
    auto* add = new QPushButton(QStringLiteral("Add"), this);
    add->setGeometry(DluQRect(172, 61, 50, 14));
    QTreeWidget* list = Named(
        AddressList(QStringLiteral("Network"), QStringLiteral("Mask"), DluQRect(7, 100, 221, 86)),
        QStringLiteral("SNMPv3 networks"));
    SetControls(add, list,
                PageLink(this, QStringLiteral("Remove network"), DluQRect(7, 192, 80, 10)));
    SetAddressControls(network, mask);
    EnableAddresses(false);
    connect(all_, &QRadioButton::toggled, this, [this](bool on) {
        if (!on) return;
        List()->clear();
        EnableAddresses(false);
        SetModified();
    });
    connect(specific_, &QRadioButton::toggled, this, [this](bool on) {
        if (!on) return;
        EnableAddresses(true);
        AddressCtrl()->Field(0)->setFocus();
        SetModified();
    });
}

void CSettingsSnmpNetworks::EnableAddresses(bool on) {
    AddressCtrl()->setEnabled(on);
    MaskCtrl()->setEnabled(on);
}

void CSettingsSnmpNetworks::Fill(const std::vector<std::string>& entries) {
    {
        const QSignalBlocker quietAll(all_), quietSpecific(specific_);
        (entries.empty() ? all_ : specific_)->setChecked(true);
    }
    EnableAddresses(!entries.empty());
    CAddressListPage::Fill(entries);
}

// ---- sheets

void AddSnmpCommunitiesPages(CPropertySheet& sheet, CTarvellApp& app, Prompt& prompt) {
    sheet.AddPage(new CSettingsSnmpCommunities(app, prompt));
}

void AddSnmpV3Pages(CPropertySheet& sheet, CTarvellApp& app, Prompt& prompt) {
    sheet.AddPage(new CSettingsSnmpVersion3(app, prompt));
    sheet.AddPage(new CSettingsSnmpNetworks(app, prompt));
}

void RegisterSnmpSettings() {
    RegisterSettingsPanel(cmd::kSettingsSnmp, [](const SheetServices& s) {
        return new CSnmpSettingsPanel(s, s.parent);
    });
    RegisterSettingsSheet(Str(str::kSnmpCommunitiesSheet), [](const SheetServices& s) {
        CPropertySheet sheet(Str(str::kSnmpCommunitiesSheet), s.parent);
        AddSnmpCommunitiesPages(sheet, s.context.app, s.context.prompt);
        return sheet.DoModal() == kSheetOk;
    });
    RegisterSettingsSheet(Str(str::kSnmpV3Sheet), [](const SheetServices& s) {
        CPropertySheet sheet(Str(str::kSnmpV3Sheet), s.parent);
        AddSnmpV3Pages(sheet, s.context.app, s.context.prompt);
        return sheet.DoModal() == kSheetOk;
    });
}

}  // namespace tarvell
