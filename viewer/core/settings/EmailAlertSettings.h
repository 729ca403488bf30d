// The e-mail channel's option pages without their widgets: the SMTP account (security item,
// port rule, time-out slider text), the message subject and body with the default body and the
// $-variables, and the report rows.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "shared/SettingRanges.h"
#include "viewer/core/settings/AlertsSettings.h"

namespace tarvell {

class CTarvellDoc;

// ---- Account

inline constexpr std::array<const char*, 3> kSecurityItems = {"None", "SSL", "TLS"};
// The item whose text equals the stored value exactly; 0 ("None") when none does.
int SecurityIndexOf(std::string_view stored);
// What an item stores: empty for "None" (and for an index out of range).
std::string StoredSecurity(int index);

inline constexpr int kTimeoutMin = RangeOf("SmtpTimeout").min;
inline constexpr int kTimeoutMax = RangeOf("SmtpTimeout").max;
// The slider position of a stored time-out: its leading decimal digits within 1..10.
int TimeoutPosition(std::string_view stored);
// The number label's text, which is what is stored.
std::string TimeoutText(int position);

// Empty (the service's port 25) or 1..65535 written in digits only.
bool ValidSmtpPort(std::string_view port);

struct AccountFields {
    std::string server, port, sender, user, password;
    int security = 0;  // index into kSecurityItems
    int timeout = kTimeoutMin;
};
AccountFields LoadAccount(const CTarvellDoc& doc);
// 0 when the fields can be stored, else the message refusing them (the port first).
unsigned CheckAccount(const AccountFields& fields);
void StoreAccount(CTarvellDoc& doc, const AccountFields& fields);

// ---- Message

// The subject and body "Set default" puts in: kDefaultEmailSubject and DefaultEmailBody() of
// AlertsSettings.h, which the Alerts panel seeds with too.

// The body as a multi-line edit holds it (LF) and as it is stored (CR LF). A stored lone LF or
// CR is kept as a line end; an edit's text never holds CR, so storing gives every line CR LF.
std::string BodyForEdit(std::string_view stored);
std::string StoredBody(std::string_view edited);

struct MessageFields {
    bool sendSubject = false;
    std::string subject;
    bool sendBody = false;
    std::string body;  // as the edit holds it (LF)
};
MessageFields LoadMessage(const CTarvellDoc& doc);
// "Set default": both boxes on, the default subject and body.
void SetDefaultMessage(MessageFields& fields);
unsigned CheckMessage(const MessageFields& fields);
// A text whose box is off is stored empty, whatever the edit still holds.
void StoreMessage(CTarvellDoc& doc, const MessageFields& fields);

// ---- $-variables

struct AlertVariable {
    const char* variable;
    const char* label;  // the radio button's text
};
inline constexpr std::size_t kAlertVariableCount = 10;
const std::array<AlertVariable, kAlertVariableCount>& AlertVariables();

struct Insertion {
    std::string text;
    std::size_t caret;  // just after the inserted variable
};
// `variable` over the selection [start, start + length) of `text` (byte offsets, clamped to the
// text); with length 0 it goes in at the caret and the rest stays.
Insertion InsertAtSelection(std::string_view text, std::size_t start, std::size_t length,
                            std::string_view variable);

// ---- Reports

inline constexpr std::size_t kReportRowCount = 9;
// The rows of the details list; row i is ReportColumns[i].
const std::array<const char*, kReportRowCount>& ReportRowNames();

struct ReportChoice {
    bool daily = false;
    bool weekly = false;
    std::array<bool, kReportRowCount> rows{};
};
ReportChoice LoadReports(const CTarvellDoc& doc);
void StoreReports(CTarvellDoc& doc, const ReportChoice& choice);

}  // namespace tarvell
