// The six prevention property pages without a display: each page's working state, read from a
// settings document on opening, checked, and written back on OK (the page's own fields only, so
// a reload between opening and OK keeps what other screens changed meanwhile).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "shared/CTarvellDoc.h"
#include "viewer/core/protection/DetectionPages.h"
#include "viewer/core/protection/ScheduleEntry.h"

namespace tarvell {

inline constexpr int kMsgEmailRequired = 20035;           // "Email settings are required ..."
inline constexpr int kMsgWriteCommunityRequired = 20036;  // "Snmp settings of SnmpV1/V3 write ..."
// What the password box shows for a stored password; left as it is, OK keeps the stored one.
inline constexpr const char* kPasswordPlaceholder = "***************";

// ---- Real-time alerts (row 0)
struct PreventAlertsPage {
    bool master = false, statusAlert = false, unblockLink = false, deleteLink = false;
    bool passwordOn = false;
    std::string password;  // the edit: the placeholder while a stored password is unchanged
};
PreventAlertsPage LoadPreventAlerts(const CTarvellDoc& doc);
// Mail is set up for the unblock links: e-mail alerts on, a mail server and a recipient.
bool EmailReady(const CTarvellDoc& doc);
// 20035 when a mail link is ticked and mail is not ready (checked on the reloaded settings).
int Check(const PreventAlertsPage& page, const CTarvellDoc& reloaded);
void Store(const PreventAlertsPage& page, CTarvellDoc& doc);

// ---- Notification message (row 1) and Network script (row 3): two options, each a text and
// a logon
struct TwoOptionPage {
    struct Option {
        bool on = false;
        std::string text;  // the message or the script file
        std::string logon;
    };
    bool master = false;
    Option first, second;
};
TwoOptionPage LoadNotify(const CTarvellDoc& doc);   // Net Send message, notification script
TwoOptionPage LoadScripts(const CTarvellDoc& doc);  // block script, unblock script
// 20021 for a ticked option with an empty text, then 20034 for a ticked option without a logon
// while the service does not run under a user account; else 0.
int Check(const TwoOptionPage& page, bool serviceUserAccount);
void StoreNotify(const TwoOptionPage& page, CTarvellDoc& doc);
void StoreScripts(const TwoOptionPage& page, CTarvellDoc& doc);

// ---- SNMP interfaces (row 2)
struct PreventSnmpPage {
    bool master = false;
    bool standard = true;
    std::string blockQuery, blockValue, unblockQuery, unblockValue;
};
PreventSnmpPage LoadPreventSnmp(const CTarvellDoc& doc);
// The service's rule: SNMPv3 on, or communities on with an entry "<community>/<n>" whose
// community is not empty and n > 0.
bool HasWriteCommunity(const CTarvellDoc& doc);
// 20036 without a write community (on the reloaded settings); 20021 for the specific method
// with a query that is not a dotted OID or an empty value; else 0.
int Check(const PreventSnmpPage& page, const CTarvellDoc& reloaded);
void Store(const PreventSnmpPage& page, CTarvellDoc& doc);

// ---- Schedule time (row 4)
struct PreventSchedulePage {
    bool master = false, deleteLink = false;
    std::vector<ScheduleRow> rows;  // in the page's order
};
PreventSchedulePage LoadPreventSchedule(const CTarvellDoc& doc);
// 20021 when ticked without rows.
int Check(const PreventSchedulePage& page);
void Store(const PreventSchedulePage& page, CTarvellDoc& doc);

// ---- Automatic unblocking (row 5)
struct PreventUnblockPage {
    bool master = false, systemBlocked = false, manualBlocked = false;
    std::string minutes;  // the edit
    int authorization = 0;
};
PreventUnblockPage LoadPreventUnblock(const CTarvellDoc& doc);
// 20021 when ticked with minutes outside 1..10000.
int Check(const PreventUnblockPage& page);
void Store(const PreventUnblockPage& page, CTarvellDoc& doc);

}  // namespace tarvell
