#include "viewer/settings/AlertsSettingsUi.h"

#include <QAbstractSpinBox>
#include <QFrame>
#include <QLabel>
#include <QRegularExpressionValidator>

#include "shared/CTarvellDoc.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/base/CommandIds.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/settings/AlertTargetsUi.h"
#include "viewer/settings/SettingsPageKit.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/QtGeometry.h"
#include "viewer/widgets/ShellPage.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

namespace {

QRadioButton* Radio(QWidget* page, QButtonGroup* group, const QString& text, QRect place) {
    auto* radio = new QRadioButton(text, page);
    radio->setGeometry(place);
    group->addButton(radio);
    return radio;
}

void Frame(QWidget* page, QRect place) {
    auto* frame = new QFrame(page);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setGeometry(place);
    frame->lower();
}

// Checks `on` in an exclusive group, or none of its buttons when `on` is null.
// Quietly: the buttons' toggled signals stand for the user's changes only.
void CheckOnly(QButtonGroup* group, QAbstractButton* on) {
    group->setExclusive(false);
    for (QAbstractButton* b : group->buttons()) {
        const QSignalBlocker quiet(b);
        b->setChecked(b == on);
    }
    group->setExclusive(true);
}

void SetTextQuietly(QLineEdit* edit, const std::string& utf8) {
    if (edit->text() != FromUtf8(utf8)) edit->setText(FromUtf8(utf8));
}

}  // namespace

// ---- CAlertsSettingsPanel

CAlertsSettingsPanel::CAlertsSettingsPanel(const SheetServices& services, QWidget* parent)
    : CSettingsPanelBase(QStringLiteral("Alerts Settings"), cmd::kSettingsAlerts, parent),
      context_(services.context),
      folders_(services.folders),
      files_(services.files) {
    AddText(QStringLiteral("Removing Options"), QRect(20, 45, 300, 18), true);
    AddText(QStringLiteral("Use the check boxes to setup the preferred Tarvell alerts removing "
                           "options that best suites your needs."),
            QRect(20, 65, 600, 34));
    remove_ = AddCheck(QStringLiteral("Enable automatic removal of alerts older than "),
                       QRect(20, 100, 320, 22));
    // The days edit follows the box's text, whatever width the font gives it.
    remove_->resize(remove_->sizeHint().width(), 22);
    const int daysX = 20 + remove_->width() + 2;
    days_ = Named(new QLineEdit(this), QStringLiteral("Remove alerts older than, in days"));
    days_->setGeometry(daysX, 100, 44, 22);
    days_->setMaxLength(3);
    days_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), days_));
    spin_ = Named(new QSpinBox(this), days_->accessibleName());
    spin_->setRange(kRemoveDaysMin, kRemoveDaysMax);
    spin_->setGeometry(daysX + 45, 100, 18, 22);
    spin_->setFrame(false);
    if (auto* inner = spin_->findChild<QLineEdit*>()) inner->setVisible(false);
    AddText(QStringLiteral("day(s)."), QRect(daysX + 70, 103, 80, 18));
    archive_ = AddCheck(QStringLiteral("Enable automatic archiving of removed alerts."),
                        QRect(20, 124, 420, 22));
    // Compact enough that the last forwarding row stays inside the panel at the opening size.
    AddText(QStringLiteral("Forwarding Options"), QRect(20, 160, 300, 18), true);
    AddText(QStringLiteral("Use the check boxes to have Tarvell automatically forward alerts "
                           "using your preferred methods."),
            QRect(20, 180, 600, 34));
    static const char* const kLinks[4] = {"Enable Tarvell E-mail alerts forwarding...",
                                          "Enable Tarvell SNMP alerts forwarding...",
                                          "Enable Tarvell SYSLOG alerts forwarding...",
                                          "Enable Tarvell Run-Command alerts forwarding..."};
    for (int c = 0; c < 4; ++c) {
        const int y = 216 + 26 * c;
        boxes_[c] = AddCheck(QString(), QRect(20, y, 20, 22));
        links_[c] =
            AddLinkedTo(boxes_[c], QString::fromLatin1(kLinks[c]), QRect(42, y + 3, 330, 18));
        connect(links_[c], &LinkLabel::activated, this,
                [this, c] { OpenChannel(static_cast<Channel>(c)); });
        connect(boxes_[c], &QCheckBox::toggled, this, [this, c](bool on) {
            bool* flags[4] = {&fields_.email, &fields_.snmp, &fields_.syslog, &fields_.run};
            *flags[c] = on;
        });
    }

    connect(days_, &QLineEdit::textEdited, this, [this](const QString& text) {
        fields_.DaysEdited(Utf8(text));
        remove_->setChecked(fields_.removeOn);
        const QSignalBlocker quiet(spin_);
        spin_->setValue(DaysOfText(fields_.daysText));
        emit changed();
    });
    connect(spin_, &QSpinBox::valueChanged, this, [this](int value) {
        fields_.DaysEdited(std::to_string(value));
        ShowDays();
        emit changed();
    });
    connect(remove_, &QCheckBox::toggled, this, [this](bool on) {
        if (on == fields_.removeOn) return;  // shown from the fields, not changed by the user
        fields_.RemoveClicked(on);
        ShowDays();
    });
    connect(archive_, &QCheckBox::toggled, this, [this](bool on) { fields_.archive = on; });
}

void CAlertsSettingsPanel::ShowDays() {
    remove_->setChecked(fields_.removeOn);
    days_->setEnabled(fields_.removeOn);
    spin_->setEnabled(fields_.removeOn);
    if (days_->text() != FromUtf8(fields_.daysText)) days_->setText(FromUtf8(fields_.daysText));
    const QSignalBlocker quiet(spin_);
    spin_->setValue(DaysOfText(fields_.daysText));
}

void CAlertsSettingsPanel::LoadPanel() {
    fields_.Load(context_.app.Document().Fields());
    ShowDays();
    archive_->setChecked(fields_.archive);
    const bool flags[4] = {fields_.email, fields_.snmp, fields_.syslog, fields_.run};
    for (int c = 0; c < 4; ++c) boxes_[c]->setChecked(flags[c]);
}

void CAlertsSettingsPanel::OpenChannel(Channel c) {
    if (!links_[c]->IsActive()) return;
    static const char* const kSheets[4] = {kEmailOptionsSheet, kSnmpOptionsSheet,
                                           kSyslogOptionsSheet, kRunCommandsOptionsSheet};
    const QString caption = QString::fromLatin1(kSheets[c]);
    if (!HasSettingsSheet(caption)) return;
    if (c == Email) {
        // A failed reload writes nothing: the sheet then opens on the document as loaded.
        if (const unsigned failed = SeedEmailBeforeSheet(context_.app))
            context_.prompt.AskString(failed, PromptButtons::Ok, PromptIcon::Warning);
    }
    OpenSettingsSheet(caption, SheetServices{context_, folders_, files_, this});
}

// ---- "Snmp" page

CSettingsAlertsSnmp::CSettingsAlertsSnmp(CTarvellApp& app, Prompt& prompt, QWidget* parent)
    : CPropertyPage(QStringLiteral("Snmp"), parent), app_(app), prompt_(prompt) {
    PageLook(this);
    PageText(this,
             QStringLiteral("Select the preferred snmp parameters that will be used for sending "
                            "alert traps."),
             QRect(12, 10, 338, 34));
    kinds_ = new QButtonGroup(this);
    versions_ = new QButtonGroup(this);
    experimental_ = Radio(this, kinds_, QStringLiteral("Use public experimental traps"),
                          QRect(12, 48, 330, 20));
    enterprise_ = Radio(this, kinds_, QStringLiteral("Use specific private enterprise traps"),
                        QRect(12, 72, 330, 20));
    Frame(this, QRect(12, 98, 338, 196));
    PageText(this,
             QStringLiteral("Set the snmp type that will be used for sending traps to your "
                            "preferred snmp managers."),
             QRect(22, 104, 320, 34));
    v1_ = Radio(this, versions_, QStringLiteral("Send SNMPv1 trap using community:"),
                QRect(22, 142, 222, 20));
    v1_->resize(v1_->sizeHint().width(), 20);
    community_ = Named(new QLineEdit(this), QStringLiteral("SNMPv1 trap community"));
    const int communityX = 22 + v1_->width() + 2;
    community_->setGeometry(communityX, 141, 342 - communityX, 22);
    v3_ = Radio(this, versions_, QStringLiteral("Send SNMPv3 trap using Tarvell snmp parameters."),
                QRect(22, 168, 320, 20));
    PageText(this,
             QStringLiteral("Set the base enterprise object id that will be used for sending "
                            "traps to your preferred snmp managers."),
             QRect(22, 196, 320, 34));
    enterpriseId_ =
        Labelled(PageText(this, QStringLiteral("SNMP enterprise id:"), QRect(22, 244, 125, 18)),
                 new QLineEdit(this));
    enterpriseId_->setGeometry(150, 242, 192, 22);
    community_->setEnabled(false);
    enterpriseId_->setEnabled(false);

    auto choose = [this](QRadioButton* radio, std::function<void()> act) {
        connect(radio, &QRadioButton::toggled, this, [this, act](bool on) {
            if (!on) return;
            act();
            Show();
            SetModified();
        });
    };
    choose(experimental_, [this] { state_.ChooseExperimental(); });
    choose(enterprise_, [this] { state_.ChooseEnterprise(); });
    choose(v1_, [this] { state_.ChooseVersion(TrapPage::Version::V1); });
    choose(v3_, [this] { state_.ChooseVersion(TrapPage::Version::V3); });
    // Typing is a change too: Test must never go out with edits not applied.
    connect(community_, &QLineEdit::textEdited, this, [this](const QString& text) {
        state_.community = Utf8(text);
        SetModified();
    });
    connect(enterpriseId_, &QLineEdit::textEdited, this, [this](const QString& text) {
        state_.enterprise = Utf8(text);
        SetModified();
    });
}

void CSettingsAlertsSnmp::Show() {
    CheckOnly(kinds_, state_.kind == TrapPage::Kind::Experimental ? experimental_
                      : state_.kind == TrapPage::Kind::Enterprise ? enterprise_
                                                                  : nullptr);
    CheckOnly(versions_, state_.version == TrapPage::Version::V1   ? v1_
                         : state_.version == TrapPage::Version::V3 ? v3_
                                                                   : nullptr);
    SetTextQuietly(community_, state_.community);
    SetTextQuietly(enterpriseId_, state_.enterprise);
    community_->setEnabled(state_.communityEnabled);
    enterpriseId_->setEnabled(state_.enterpriseEnabled);
}

void CSettingsAlertsSnmp::OnInitDialog() {
    state_ = TrapPage::Load(app_.Document().Fields());
    Show();
}

bool CSettingsAlertsSnmp::OnOK() {
    if (const unsigned refused = state_.Check()) {
        prompt_.AskString(refused, PromptButtons::Ok, PromptIcon::Information);
        return false;
    }
    const TrapPage state = state_;
    return SavePage(app_, prompt_, [&](CTarvellDoc& doc) { state.Store(doc); });
}

// ---- "Syslog" page

CSettingsAlertsSyslog::CSettingsAlertsSyslog(CTarvellApp& app, Prompt& prompt, QWidget* parent)
    : CPropertyPage(QStringLiteral("Syslog"), parent), app_(app), prompt_(prompt) {
    PageLook(this);
    PageText(this,
             QStringLiteral("Select the preferred syslog parameters that will be used for "
                            "sending alert notifications."),
             QRect(12, 10, 338, 34));
    kinds_ = new QButtonGroup(this);
    standard_ =
        Radio(this, kinds_, QStringLiteral("Use standard syslog alerts"), QRect(12, 48, 330, 20));
    specific_ =
        Radio(this, kinds_, QStringLiteral("Use specific syslog alerts"), QRect(12, 72, 330, 20));
    Frame(this, QRect(12, 98, 338, 176));
    PageText(this,
             QStringLiteral("Set the syslog facility that will be used for sending notifications "
                            "to your preferred syslog listeners."),
             QRect(22, 104, 320, 34));
    facility_ =
        Labelled(PageText(this, QStringLiteral("Syslog facility:"), QRect(22, 144, 115, 18)),
                 new QComboBox(this));
    facility_->setGeometry(140, 142, 150, 22);
    PageText(this,
             QStringLiteral("Set the syslog severity that will be used for sending notifications "
                            "to your preferred syslog listeners."),
             QRect(22, 178, 320, 34));
    severity_ =
        Labelled(PageText(this, QStringLiteral("Syslog severity:"), QRect(22, 218, 115, 18)),
                 new QComboBox(this));
    severity_->setGeometry(140, 216, 150, 22);
    for (int i = 0; i < kSyslogChoices; ++i) {
        facility_->addItem(FromUtf8(SyslogFacilityName(i)));
        severity_->addItem(FromUtf8(SyslogSeverityName(i)));
    }
    facility_->setCurrentIndex(-1);
    severity_->setCurrentIndex(-1);
    facility_->setEnabled(false);
    severity_->setEnabled(false);

    connect(standard_, &QRadioButton::toggled, this, [this](bool on) {
        if (!on) return;
        state_.ChooseStandard();
        Show();
        SetModified();
    });
    connect(specific_, &QRadioButton::toggled, this, [this](bool on) {
        if (!on) return;
        state_.ChooseSpecific();
        Show();
        SetModified();
    });
    // Another choice is a change too: Test must never go out with choices not applied.
    connect(facility_, &QComboBox::currentIndexChanged, this, [this](int index) {
        state_.facility = index;
        SetModified();
    });
    connect(severity_, &QComboBox::currentIndexChanged, this, [this](int index) {
        state_.severity = index;
        SetModified();
    });
}

void CSettingsAlertsSyslog::Show() {
    CheckOnly(kinds_, state_.kind == SyslogPage::Kind::Standard   ? standard_
                      : state_.kind == SyslogPage::Kind::Specific ? specific_
                                                                  : nullptr);
    const QSignalBlocker quietFacility(facility_), quietSeverity(severity_);
    facility_->setCurrentIndex(state_.facility);
    severity_->setCurrentIndex(state_.severity);
    facility_->setEnabled(state_.boxesEnabled);
    severity_->setEnabled(state_.boxesEnabled);
}

void CSettingsAlertsSyslog::OnInitDialog() {
    state_ = SyslogPage::Load(app_.Document().Fields());
    Show();
}

bool CSettingsAlertsSyslog::OnOK() {
    const SyslogPage state = state_;
    return SavePage(app_, prompt_, [&](CTarvellDoc& doc) { state.Store(doc); });
}

// ---- Sheets

void AddSnmpOptionsPages(CPropertySheet& sheet, CTarvellApp& app, Prompt& prompt,
                         ServiceControl* service) {
    sheet.AddPage(new CSettingsAlertsSnmp(app, prompt));
    sheet.AddPage(new CSettingsAlertsManagers(app, prompt, service));
}

void AddSyslogOptionsPages(CPropertySheet& sheet, CTarvellApp& app, Prompt& prompt,
                           ServiceControl* service) {
    sheet.AddPage(new CSettingsAlertsSyslog(app, prompt));
    sheet.AddPage(new CSettingsAlertsListeners(app, prompt, service));
}

void RegisterAlertSheets() {
    RegisterSettingsPanel(cmd::kSettingsAlerts, [](const SheetServices& s) -> CSettingsPanelBase* {
        return new CAlertsSettingsPanel(s, s.parent);
    });
    RegisterSettingsSheet(QString::fromLatin1(kSnmpOptionsSheet), [](const SheetServices& s) {
        CPropertySheet sheet(QString::fromLatin1(kSnmpOptionsSheet), s.parent);
        AddSnmpOptionsPages(sheet, s.context.app, s.context.prompt, s.context.service);
        return sheet.DoModal() == kSheetOk;
    });
    RegisterSettingsSheet(QString::fromLatin1(kSyslogOptionsSheet), [](const SheetServices& s) {
        CPropertySheet sheet(QString::fromLatin1(kSyslogOptionsSheet), s.parent);
        AddSyslogOptionsPages(sheet, s.context.app, s.context.prompt, s.context.service);
        return sheet.DoModal() == kSheetOk;
    });
}

}  // namespace tarvell
