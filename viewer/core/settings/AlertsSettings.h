// The Alerts panel and the SNMP trap and syslog option pages without a display: the days rule
// of automatic removal, the e-mail texts seeded before "Email Options" opens, and each option
// page as a small state machine (load, the user's choices, save).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "shared/SettingRanges.h"
#include "viewer/core/settings/SettingsRules.h"

namespace tarvell {

class CTarvellApp;
class CTarvellDoc;

// ---- Alerts panel

inline constexpr int kRemoveDaysMin = 1;
inline constexpr int kRemoveDaysMax = RangeOf("AlertRemoveDays").max;
inline constexpr int kProposedRemoveDays = 30;

// The leading decimal digits of the days text (none: 0), held to 0..kRemoveDaysMax+1 so a long
// run of digits cannot overflow.
int DaysOfText(std::string_view text);
// What the days edit shows for a stored value: nothing for 0 (or less), else 1..999.
std::string DaysTextOfStored(std::int32_t stored);

struct AlertsPanelFields : SettingsPanel {
    bool removeOn = false;
    std::string daysText;
    bool archive = false;
    bool email = false;
    bool snmp = false;
    bool syslog = false;
    bool run = false;

    void Load(const CTarvellDoc& doc) override;
    // AlertRemoveDays = the days text held to 1..999 while the box is on, else 0.
    void Store(CTarvellDoc& doc) const override;
    // The days text changed: the box follows whether it reads more than 0.
    void DaysEdited(std::string text);
    // The box clicked: on proposes 30 days, off empties the text.
    void RemoveClicked(bool on);
};

// ---- E-mail texts

inline constexpr std::string_view kDefaultEmailSubject = "$alert";
// The nine-line default body (CR LF after each line), the same text a new settings file holds.
std::string_view DefaultEmailBody();
// Both texts empty: the panel seeds them before it opens "Email Options".
bool EmailTextsMissing(const CTarvellDoc& doc);
// Sets the default subject and body when both are empty; true when it changed anything.
bool SeedEmailTexts(CTarvellDoc& doc);
// The seeding as one settings edit, only when the document in memory lacks both texts. The
// message of a failed edit, 0 when saved or nothing was needed (a failed reload writes nothing).
unsigned SeedEmailBeforeSheet(CTarvellApp& app);

// ---- "Snmp" page

struct TrapPage {
    enum class Kind { None, Experimental, Enterprise };
    enum class Version { None, V1, V3 };
    Kind kind = Kind::None;
    Version version = Version::None;
    std::string community;
    std::string enterprise;
    bool communityEnabled = false;
    bool enterpriseEnabled = false;

    static TrapPage Load(const CTarvellDoc& doc);
    // Empties and disables both edits.
    void ChooseExperimental();
    // Enables both edits with SNMPv1 chosen.
    void ChooseEnterprise();
    void ChooseVersion(Version v);
    // Enterprise traps need a dotted object id ("1.3.6.1.4.1.99999", a leading "." allowed):
    // the message refusing the page, 0 when it may be saved.
    unsigned Check() const;
    // Neither kind chosen: nothing changes.
    void Store(CTarvellDoc& doc) const;
};

// ---- "Syslog" page

inline constexpr int kSyslogChoices = 8;
std::string_view SyslogFacilityName(int index);  // "Local0".."Local7"
std::string_view SyslogSeverityName(int index);  // "Emergency".."Debug"

struct SyslogPage {
    enum class Kind { None, Standard, Specific };
    Kind kind = Kind::None;
    int facility = -1;  // selected item, -1 none
    int severity = -1;
    bool boxesEnabled = false;

    static SyslogPage Load(const CTarvellDoc& doc);
    // Disables the boxes and clears their selection.
    void ChooseStandard();
    // Enables the boxes on Local0 and Emergency.
    void ChooseSpecific();
    // Neither kind chosen: nothing changes.
    void Store(CTarvellDoc& doc) const;
};

}  // namespace tarvell
