#include "viewer/core/settings/EmailAlertSettings.h"

#include <gtest/gtest.h>

#include "shared/CTarvellDoc.h"
#include "viewer/core/base/StringTable.h"

namespace tarvell {
namespace {

TEST(EmailAccountTest, SecurityPortAndTimeoutFollowTheirRules) {
    struct Case {
        const char* security;
        const char* port;
        const char* timeout;
        int shownSecurity, shownTimeout;
        unsigned check;
        const char* storedSecurity;
    };
    const Case cases[] = {
        {"STARTTLS", "587", "3", 0, 3, 0, ""},  // an unknown value shows "None", stored empty
        {"ssl", "", "", 0, 1, 0, ""},           // exact text only; empty port is the service's 25
        {"SSL", "25a", "10", 1, 10, str::kSmtpPortInvalid, "SSL"},
        {"TLS", "65536", "99", 2, 10, str::kSmtpPortInvalid, "TLS"},
        {"", "0", "0", 0, 1, str::kSmtpPortInvalid, ""},
        {"", "65535", "7x", 0, 7, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        CTarvellDoc doc;
        doc.SmtpSecurity = c.security;
        doc.SmtpPort = c.port;
        doc.SmtpTimeout = c.timeout;
        const AccountFields f = LoadAccount(doc);
        EXPECT_EQ(f.security, c.shownSecurity);
        EXPECT_EQ(f.timeout, c.shownTimeout);
        EXPECT_EQ(CheckAccount(f), c.check);
        CTarvellDoc stored;
        StoreAccount(stored, f);
        EXPECT_EQ(stored.SmtpSecurity, c.storedSecurity);
        EXPECT_EQ(stored.SmtpPort, c.port);
        EXPECT_EQ(stored.SmtpTimeout, std::to_string(c.shownTimeout));
    }
}

TEST(EmailMessageTest, BoxesDecideWhatIsStoredAndTheBodyKeepsCrLf) {
    CTarvellDoc doc;
    doc.EmailSubject = "Alert $alert";
    doc.EmailBody = "a: $device_ip\r\n\r\nb\r\n";
    MessageFields f = LoadMessage(doc);
    EXPECT_TRUE(f.sendSubject && f.sendBody);
    EXPECT_EQ(f.body, "a: $device_ip\n\nb\n");  // as the edit holds it
    f.body += "c";
    StoreMessage(doc, f);
    EXPECT_EQ(doc.EmailBody, "a: $device_ip\r\n\r\nb\r\nc");

    f.sendSubject = false;  // the edit keeps its text, nothing is stored
    StoreMessage(doc, f);
    EXPECT_EQ(doc.EmailSubject, "");
    EXPECT_EQ(f.subject, "Alert $alert");

    SetDefaultMessage(f);
    StoreMessage(doc, f);
    EXPECT_EQ(doc.EmailSubject, "$alert");
    EXPECT_EQ(doc.EmailBody, DefaultEmailBody());
    CTarvellDoc fresh;
    fresh.SetDefaults();
    EXPECT_EQ(doc.EmailBody, fresh.EmailBody);  // the settings' own default
    EXPECT_EQ(std::count(doc.EmailBody.begin(), doc.EmailBody.end(), '\n'), 9);
    EXPECT_EQ(std::count(doc.EmailBody.begin(), doc.EmailBody.end(), '\r'), 9);
}

TEST(AlertVariableTest, InsertReplacesTheSelectionOrGoesInAtTheCaret) {
    struct Case {
        std::size_t start, length;
        const char* text;
        std::size_t caret;
    };
    const Case cases[] = {
        {3, 0, "ab $device_ipcd", 13},   // at the caret, the rest kept
        {0, 2, "$device_ip cd", 10},     // over a selection
        {5, 0, "ab cd$device_ip", 15},   // at the end
        {99, 5, "ab cd$device_ip", 15},  // past the end: clamped
    };
    for (const Case& c : cases) {
        const Insertion in = InsertAtSelection("ab cd", c.start, c.length, "$device_ip");
        EXPECT_EQ(in.text, c.text);
        EXPECT_EQ(in.caret, c.caret);
    }
    EXPECT_EQ(AlertVariables()[4].variable, std::string("$device_ip"));
    for (const AlertVariable& v : AlertVariables())
        EXPECT_EQ(std::string(v.label).rfind(v.variable, 0), 0u) << v.label;
}

TEST(EmailReportsTest, FlagsRoundTripBothWays) {
    for (const bool on : {true, false}) {
        CTarvellDoc doc;
        doc.DailyReport = doc.WeeklyReport = on ? 0 : 1;
        doc.ReportColumns.fill(on ? 0 : 7);
        ReportChoice c = LoadReports(doc);
        EXPECT_EQ(c.daily, !on);
        EXPECT_EQ(c.rows[4], !on);  // non-zero counts as ticked
        c.daily = c.weekly = on;
        c.rows.fill(on);
        StoreReports(doc, c);
        EXPECT_EQ(doc.DailyReport, on ? 1 : 0);
        EXPECT_EQ(doc.WeeklyReport, on ? 1 : 0);
        for (std::int32_t flag : doc.ReportColumns) EXPECT_EQ(flag, on ? 1 : 0);
    }
    EXPECT_EQ(ReportRowNames()[4], std::string("Device Location"));
}

}  // namespace
}  // namespace tarvell
