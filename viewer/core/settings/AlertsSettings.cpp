#include "viewer/core/settings/AlertsSettings.h"

#include <algorithm>
#include <array>

#include "shared/CTarvellDoc.h"
#include "shared/DocumentFields.h"
#include "shared/SnmpQuery.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/hub/SettingsEdit.h"
#include "viewer/core/base/StringTable.h"

namespace tarvell {

// ---- Alerts panel

int DaysOfText(std::string_view text) {
    int days = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        days = std::min(days * 10 + (c - '0'), kRemoveDaysMax + 1);
    }
    return days;
}

std::string DaysTextOfStored(std::int32_t stored) {
    if (stored == 0) return {};
    return std::to_string(std::clamp<std::int32_t>(stored, kRemoveDaysMin, kRemoveDaysMax));
}

void AlertsPanelFields::Load(const CTarvellDoc& doc) {
    removeOn = doc.AlertRemoveDays != 0;
    daysText = DaysTextOfStored(doc.AlertRemoveDays);
    archive = doc.AlertArchiveEnabled != 0;
    email = doc.EmailAlertsEnabled != 0;
    snmp = doc.SnmpAlertsOn != 0;
    syslog = doc.SyslogAlertsOn != 0;
    run = doc.RunAlertsEnabled != 0;
}

void AlertsPanelFields::Store(CTarvellDoc& doc) const {
    const int days = DaysOfText(daysText);
    doc.AlertRemoveDays = removeOn && days > 0 ? std::min(days, kRemoveDaysMax) : 0;
    doc.AlertArchiveEnabled = archive ? 1 : 0;
    doc.EmailAlertsEnabled = email ? 1 : 0;
    doc.SnmpAlertsOn = snmp ? 1 : 0;
    doc.SyslogAlertsOn = syslog ? 1 : 0;
    doc.RunAlertsEnabled = run ? 1 : 0;
}

void AlertsPanelFields::DaysEdited(std::string text) {
    daysText = std::move(text);
    removeOn = DaysOfText(daysText) > 0;
}

void AlertsPanelFields::RemoveClicked(bool on) {
    removeOn = on;
    daysText = on ? std::to_string(kProposedRemoveDays) : std::string();
}

// ---- E-mail texts

std::string_view DefaultEmailBody() {
    static const std::string body = [] {
        const DocumentField* field = FindDocumentField("EmailBody");
        return std::string(field && field->defaultText ? field->defaultText : "");
    }();
    return body;
}

bool EmailTextsMissing(const CTarvellDoc& doc) {
    return doc.EmailSubject.empty() && doc.EmailBody.empty();
}

bool SeedEmailTexts(CTarvellDoc& doc) {
    if (!EmailTextsMissing(doc)) return false;
    doc.EmailSubject = std::string(kDefaultEmailSubject);
    doc.EmailBody = std::string(DefaultEmailBody());
    return true;
}

unsigned SeedEmailBeforeSheet(CTarvellApp& app) {
    if (!EmailTextsMissing(app.Document().Fields())) return 0;
    return EditResultMessage(EditSettings(app, [](CTarvellDoc& doc) { SeedEmailTexts(doc); }));
}

// ---- "Snmp" page

TrapPage TrapPage::Load(const CTarvellDoc& doc) {
    TrapPage page;
    if (doc.SnmpTrapStandard != 0) page.kind = Kind::Experimental;
    if (doc.SnmpTrapSpecific == 0) return page;
    page.kind = Kind::Enterprise;
    page.enterprise = doc.SnmpTrapEnterprise;
    page.enterpriseEnabled = true;
    if (doc.SnmpTrapCommunityOn != 0) {
        page.version = Version::V1;
        page.community = doc.SnmpTrapCommunity;
        page.communityEnabled = true;
    } else if (doc.SnmpTrapV3On != 0) {
        page.version = Version::V3;
    }
    return page;
}

void TrapPage::ChooseExperimental() {
    kind = Kind::Experimental;
    community.clear();
    enterprise.clear();
    communityEnabled = enterpriseEnabled = false;
}

void TrapPage::ChooseEnterprise() {
    kind = Kind::Enterprise;
    communityEnabled = enterpriseEnabled = true;
    version = Version::V1;
}

void TrapPage::ChooseVersion(Version v) {
    version = v;
    communityEnabled = v == Version::V1;
}

unsigned TrapPage::Check() const {
    if (kind != Kind::Enterprise) return 0;
    if (!IsOidText(enterprise)) return str::kEnterpriseIdInvalid;
    return CheckStorable({community});
}

void TrapPage::Store(CTarvellDoc& doc) const {
    if (kind == Kind::Experimental) {
        doc.SnmpTrapStandard = 1;
        doc.SnmpTrapSpecific = 0;
        doc.SnmpTrapCommunity.clear();
        doc.SnmpTrapEnterprise.clear();
        return;
    }
    if (kind != Kind::Enterprise) return;
    doc.SnmpTrapStandard = 0;
    doc.SnmpTrapSpecific = 1;
    doc.SnmpTrapEnterprise = enterprise;
    if (version == Version::V1) {
        doc.SnmpTrapCommunity = community;
        doc.SnmpTrapCommunityOn = 1;
        doc.SnmpTrapV3On = 0;
    } else if (version == Version::V3) {
        doc.SnmpTrapCommunity.clear();
        doc.SnmpTrapCommunityOn = 0;
        doc.SnmpTrapV3On = 1;
    }
}

// ---- "Syslog" page

std::string_view SyslogFacilityName(int index) {
    static constexpr std::array<std::string_view, kSyslogChoices> kNames = {
        "Local0", "Local1", "Local2", "Local3", "Local4", "Local5", "Local6", "Local7"};
    return index >= 0 && index < kSyslogChoices ? kNames[static_cast<std::size_t>(index)] : "";
}

std::string_view SyslogSeverityName(int index) {
    static constexpr std::array<std::string_view, kSyslogChoices> kNames = {
        "Emergency", "Alert", "Critical", "Error", "Warning", "Notice", "Informational", "Debug"};
    return index >= 0 && index < kSyslogChoices ? kNames[static_cast<std::size_t>(index)] : "";
}

SyslogPage SyslogPage::Load(const CTarvellDoc& doc) {
    SyslogPage page;
    if (doc.SyslogStandardMode != 0) page.kind = Kind::Standard;
    if (doc.SyslogSpecificMode != 0) {
        page.kind = Kind::Specific;
        page.boxesEnabled = true;
        // The boxes are pure lists: a stored value out of range shows as the service reads it.
        page.facility = std::clamp(doc.SyslogFacility, 0, kSyslogChoices - 1);
        page.severity = std::clamp(doc.SyslogSeverity, 0, kSyslogChoices - 1);
    }
    return page;
}

void SyslogPage::ChooseStandard() {
    kind = Kind::Standard;
    facility = severity = -1;
    boxesEnabled = false;
}

void SyslogPage::ChooseSpecific() {
    kind = Kind::Specific;
    facility = severity = 0;
    boxesEnabled = true;
}

void SyslogPage::Store(CTarvellDoc& doc) const {
    if (kind == Kind::Standard) {
        doc.SyslogStandardMode = 1;
        doc.SyslogSpecificMode = 0;
        doc.SyslogFacility = 0;
        doc.SyslogSeverity = 0;
    } else if (kind == Kind::Specific) {
        doc.SyslogStandardMode = 0;
        doc.SyslogSpecificMode = 1;
        doc.SyslogFacility = std::clamp(facility, 0, kSyslogChoices - 1);
        doc.SyslogSeverity = std::clamp(severity, 0, kSyslogChoices - 1);
    }
}

}  // namespace tarvell
