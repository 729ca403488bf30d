#include "viewer/core/settings/EmailAlertSettings.h"

#include <algorithm>

#include "shared/CTarvellDoc.h"
#include "shared/DocumentFields.h"
#include "viewer/core/settings/SettingsRules.h"
#include "viewer/core/base/StringTable.h"

namespace tarvell {

namespace {

bool AllDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

// ---- Account

int SecurityIndexOf(std::string_view stored) {
    for (std::size_t i = 1; i < kSecurityItems.size(); ++i)
        if (stored == kSecurityItems[i]) return static_cast<int>(i);
    return 0;
}

std::string StoredSecurity(int index) {
    if (index <= 0 || index >= static_cast<int>(kSecurityItems.size())) return {};
    return kSecurityItems[static_cast<std::size_t>(index)];
}

int TimeoutPosition(std::string_view stored) {
    long value = 0;
    for (char c : stored) {
        if (c < '0' || c > '9') break;
        value = std::min<long>(value * 10 + (c - '0'), kTimeoutMax);
    }
    return static_cast<int>(std::clamp<long>(value, kTimeoutMin, kTimeoutMax));
}

std::string TimeoutText(int position) {
    return std::to_string(std::clamp(position, kTimeoutMin, kTimeoutMax));
}

bool ValidSmtpPort(std::string_view port) {
    if (port.empty()) return true;
    return port.size() <= 5 && AllDigits(port) && TextInRange(RangeOf("SmtpPort"), port);
}

AccountFields LoadAccount(const CTarvellDoc& doc) {
    AccountFields f;
    f.server = doc.SmtpServer;
    f.port = doc.SmtpPort;
    f.sender = doc.SmtpSender;
    f.user = doc.SmtpUser;
    f.password = doc.SmtpPassword;
    f.security = SecurityIndexOf(doc.SmtpSecurity);
    f.timeout = TimeoutPosition(doc.SmtpTimeout);
    return f;
}

unsigned CheckAccount(const AccountFields& f) {
    if (!ValidSmtpPort(f.port)) return str::kSmtpPortInvalid;
    return CheckStorable({f.server, f.sender, f.user, f.password});
}

void StoreAccount(CTarvellDoc& doc, const AccountFields& f) {
    doc.SmtpPort = f.port;
    doc.SmtpServer = f.server;
    doc.SmtpSender = f.sender;
    doc.SmtpTimeout = TimeoutText(f.timeout);
    doc.SmtpUser = f.user;
    doc.SmtpPassword = f.password;
    doc.SmtpSecurity = StoredSecurity(f.security);
}

// ---- Message

std::string BodyForEdit(std::string_view stored) {
    std::string out;
    out.reserve(stored.size());
    for (std::size_t i = 0; i < stored.size(); ++i) {
        if (stored[i] == '\r') {
            out += '\n';
            if (i + 1 < stored.size() && stored[i + 1] == '\n') ++i;
        } else {
            out += stored[i];
        }
    }
    return out;
}

std::string StoredBody(std::string_view edited) {
    std::string out;
    out.reserve(edited.size() + edited.size() / 16);
    for (std::size_t i = 0; i < edited.size(); ++i) {
        if (edited[i] == '\r') {
            out += "\r\n";
            if (i + 1 < edited.size() && edited[i + 1] == '\n') ++i;
        } else if (edited[i] == '\n') {
            out += "\r\n";
        } else {
            out += edited[i];
        }
    }
    return out;
}

MessageFields LoadMessage(const CTarvellDoc& doc) {
    MessageFields f;
    f.sendSubject = !doc.EmailSubject.empty();
    f.subject = doc.EmailSubject;
    f.sendBody = !doc.EmailBody.empty();
    f.body = BodyForEdit(doc.EmailBody);
    return f;
}

void SetDefaultMessage(MessageFields& f) {
    f.sendSubject = f.sendBody = true;
    f.subject = std::string(kDefaultEmailSubject);
    f.body = BodyForEdit(DefaultEmailBody());
}

unsigned CheckMessage(const MessageFields& f) {
    return CheckStorable({f.sendSubject ? std::string_view(f.subject) : std::string_view(),
                          f.sendBody ? std::string_view(f.body) : std::string_view()});
}

void StoreMessage(CTarvellDoc& doc, const MessageFields& f) {
    doc.EmailSubject = f.sendSubject ? f.subject : std::string();
    doc.EmailBody = f.sendBody ? StoredBody(f.body) : std::string();
}

// ---- $-variables

const std::array<AlertVariable, kAlertVariableCount>& AlertVariables() {
    static const std::array<AlertVariable, kAlertVariableCount> variables = {{
        {"$date", "$date (the date ant time of the alert)."},
        {"$alert", "$alert (the title of the alert)."},
        {"$description", "$description (the description of the alert)."},
        {"$device_name", "$device_name (the name of the device of the alert)."},
        {"$device_ip", "$device_ip (the ip address of the device of the alert)."},
        {"$device_port", "$device_port (the name of the port of the alert)."},
        {"$device_location", "$device_location (the location of the device of the alert)."},
        {"$source_mac", "$source_mac (the mac address of the source node)."},
        {"$source_ip", "$source_ip (the ip address of the source node)."},
        {"$source_name", "$source_name (the name of the source node)."},
    }};
    return variables;
}

Insertion InsertAtSelection(std::string_view text, std::size_t start, std::size_t length,
                            std::string_view variable) {
    start = std::min(start, text.size());
    length = std::min(length, text.size() - start);
    Insertion out;
    out.text.reserve(text.size() - length + variable.size());
    out.text.append(text.substr(0, start));
    out.text.append(variable);
    out.text.append(text.substr(start + length));
    out.caret = start + variable.size();
    return out;
}

// ---- Reports

const std::array<const char*, kReportRowCount>& ReportRowNames() {
    static const std::array<const char*, kReportRowCount> names = {
        "Date and Time", "Device Name", "Device Ip",   "Device Port", "Device Location",
        "Source Mac",    "Source Ip",   "Source Name", "Description"};
    return names;
}

ReportChoice LoadReports(const CTarvellDoc& doc) {
    ReportChoice c;
    c.daily = doc.DailyReport != 0;
    c.weekly = doc.WeeklyReport != 0;
    for (std::size_t i = 0; i < kReportRowCount; ++i) c.rows[i] = doc.ReportColumns[i] != 0;
    return c;
}

void StoreReports(CTarvellDoc& doc, const ReportChoice& c) {
    doc.DailyReport = c.daily ? 1 : 0;
    doc.WeeklyReport = c.weekly ? 1 : 0;
    for (std::size_t i = 0; i < kReportRowCount; ++i) doc.ReportColumns[i] = c.rows[i] ? 1 : 0;
}

}  // namespace tarvell
