// The prevention pages' states: what they load, what their checks refuse and what they store.
#include "viewer/core/protection/PreventionPages.h"

#include <gtest/gtest.h>

#include "viewer/core/protection/ProtectionRows.h"

namespace tarvell {
namespace {

CTarvellDoc Defaults() {
    CTarvellDoc doc;
    doc.SetDefaults();
    return doc;
}

TEST(PreventionPagesTest, AlertsPasswordAndTheMailCheck) {
    CTarvellDoc doc = Defaults();
    doc.PreventAlertsEnabled = 1;
    doc.MonitorPassword = "stored";
    PreventAlertsPage page = LoadPreventAlerts(doc);
    EXPECT_EQ(page.password, kPasswordPlaceholder);
    Store(page, doc);
    EXPECT_EQ(doc.MonitorPassword, "stored") << "the placeholder keeps the stored password";
    page.passwordOn = false;
    Store(page, doc);
    EXPECT_EQ(doc.MonitorPassword, "");
    EXPECT_FALSE(LoadPreventAlerts(doc).passwordOn);

    page.unblockLink = true;
    CTarvellDoc mail = Defaults();
    EXPECT_EQ(Check(page, mail), kMsgEmailRequired);
    mail.EmailAlertsEnabled = 1;
    mail.SmtpServer = "mail.example";
    EXPECT_EQ(Check(page, mail), kMsgEmailRequired) << "no recipient";
    mail.EmailRecipients = {"ops@example"};
    EXPECT_EQ(Check(page, mail), 0);
}

TEST(PreventionPagesTest, OptionPagesCheckInOrderAndClearWhenOff) {
    CTarvellDoc doc = Defaults();
    doc.BlockScriptFile = "/opt/block";
    doc.BlockScriptLogon = "u/d/p/";
    TwoOptionPage page = LoadScripts(doc);
    ASSERT_TRUE(page.master && page.first.on && !page.second.on);
    page.second.on = true;
    EXPECT_EQ(Check(page, true), kMsgSettingsInvalid);
    page.second.text = "/opt/unblock";
    EXPECT_EQ(Check(page, false), kMsgLogonRequired);
    EXPECT_EQ(Check(page, true), 0);
    page.master = false;
    StoreScripts(page, doc);
    EXPECT_TRUE(doc.BlockScriptFile.empty() && doc.BlockScriptLogon.empty() &&
                doc.UnblockScriptFile.empty());
    EXPECT_FALSE(ProtectionRowActive(ProtectionSide::Prevention, 3, doc));
}

TEST(PreventionPagesTest, SnmpWriteCommunityAndQueries) {
    const struct {
        std::vector<std::string> communities;
        bool v3, ok;
    } rules[] = {{{"private/0"}, false, false},
                 {{"/2"}, false, false},
                 {{"private/2"}, false, true},
                 {{}, true, true}};
    for (const auto& r : rules) {
        CTarvellDoc doc = Defaults();
        doc.SnmpCommunitiesEnabled = 1;
        doc.SnmpCommunities = r.communities;
        doc.SnmpV3Enabled = r.v3 ? 1 : 0;
        EXPECT_EQ(HasWriteCommunity(doc), r.ok) << ::testing::PrintToString(r.communities);
    }
    CTarvellDoc ready = Defaults();
    ready.SnmpV3Enabled = 1;
    PreventSnmpPage page;
    page.master = true;
    CTarvellDoc doc = Defaults();
    Store(page, doc);
    EXPECT_EQ(doc.SnmpPreventionMethod, 1);
    EXPECT_TRUE(doc.SnmpBlockQuery.empty() && doc.SnmpUnblockQuery.empty());
    page.standard = false;
    page.blockQuery = "1.3.6.x";
    page.blockValue = page.unblockValue = "2";
    page.unblockQuery = ".1.3.6.1.2.1.2.2.1.7.5";
    EXPECT_EQ(Check(page, ready), kMsgSettingsInvalid);
    page.blockQuery = "1.3.6.1.2.1.2.2.1.7.5";
    EXPECT_EQ(Check(page, ready), 0);
    Store(page, doc);
    EXPECT_EQ(doc.SnmpBlockQuery, "1.3.6.1.2.1.2.2.1.7.5/2");
    EXPECT_EQ(LoadPreventSnmp(doc).unblockQuery, ".1.3.6.1.2.1.2.2.1.7.5");
}

TEST(PreventionPagesTest, ScheduleAndUnblockingRefuseWhatTheServiceCannotUse) {
    PreventSchedulePage schedule;
    schedule.master = true;
    EXPECT_EQ(Check(schedule), kMsgSettingsInvalid);
    schedule.rows = {{0, 0, 86399}};
    CTarvellDoc doc = Defaults();
    Store(schedule, doc);
    EXPECT_EQ(doc.PreventionSchedule, std::vector<std::string>{"0/00:00:00/23:59:59"});
    EXPECT_EQ(LoadPreventSchedule(doc).rows, schedule.rows);

    PreventUnblockPage unblock;
    unblock.master = true;
    for (const char* bad : {"", "0", "10001", "5x"}) {
        unblock.minutes = bad;
        EXPECT_EQ(Check(unblock), kMsgSettingsInvalid) << bad;
    }
    unblock.minutes = "15";
    unblock.authorization = 2;
    EXPECT_EQ(Check(unblock), 0);
    Store(unblock, doc);
    EXPECT_EQ(doc.UnblockAfterMinutes, 15);
    EXPECT_EQ(doc.UnblockAuthorization, 2);
    unblock.master = false;
    Store(unblock, doc);
    EXPECT_EQ(doc.UnblockAfterMinutes, 0);
}

}  // namespace
}  // namespace tarvell
