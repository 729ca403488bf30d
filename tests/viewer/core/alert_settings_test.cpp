// The alert targets and the alert option pages without a display; what they store is read back
// by the service's own channel readers.
#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "service/alerts/AlertText.h"
#include "service/alerts/CScanAlertsSnmp.h"
#include "service/alerts/CScanAlertsSyslog.h"
#include "service/engine/SnmpClient.h"
#include "shared/CTarvellDoc.h"
#include "viewer/core/service/ServiceControl.h"
#include "viewer/core/settings/AlertChannelSettings.h"
#include "viewer/core/settings/AlertTargets.h"
#include "viewer/core/shell/StringTable.h"

namespace tarvell {
namespace {

CAlertItem Alert(std::string description, std::string sourceMac) {
    CAlertItem a;
    a.Description = std::move(description);
    a.SourceMac = std::move(sourceMac);
    return a;
}

TEST(AlertTargetsTest, EntriesAndFiltersRoundTripAndTheServiceAppliesThem) {
    TargetList list;
    list.Load({"10.0.0.1|5/00A0*;0/New*;", "10.0.0.2", "10.0.0.3|9/x;", "a|b|c"}, false);
    ASSERT_EQ(list.Count(), 4);
    EXPECT_TRUE(list.HasFilters(0));
    EXPECT_FALSE(list.HasFilters(1));
    EXPECT_EQ(list.Target(3), "a") << "split at the first bar";
    EXPECT_EQ(SplitTargetEntry("run;x;|0/a;|0/b;", true).filters, "0/b;") << "Commands: the last";
    EXPECT_EQ(ParseFilters(list.Filters("10.0.0.1")),
              (std::vector<TargetFilter>{{5, "00A0*"}, {0, "New*"}}));
    EXPECT_EQ(FilterTypeNames()[5], "Source Mac");

    // Unknown types, items without "/" and a last item without ";" are read as the dialog reads.
    EXPECT_EQ(ParseFilters("9/x;08/y;/z;noslash;2/10.*"), (std::vector<TargetFilter>{{2, "10.*"}}));
    list.SetFilters("10.0.0.3", FormatFilters(ParseFilters(list.Filters("10.0.0.3"))));
    EXPECT_FALSE(list.HasFilters(2)) << "9/x; dropped: no filters left";
    EXPECT_EQ(list.Entries()[2], "10.0.0.3") << "stored without a bar";

    const std::string stored = list.Entries()[0];
    EXPECT_EQ(stored, "10.0.0.1|5/00A0*;0/New*;");
    const struct {
        CAlertItem alert;
        bool deliver;
    } cases[] = {{Alert("Port Down", "00A0C9"), true},
                 {Alert("New Mac", "0011"), true},
                 {Alert("Port Down", "0011"), false}};
    for (const auto& c : cases) {
        const TargetDecision d = TargetMatchesAlert(stored, c.alert, "");
        EXPECT_EQ(d.target, "10.0.0.1");
        EXPECT_EQ(d.deliver, c.deliver) << c.alert.Description << " " << c.alert.SourceMac;
    }
}

TEST(AlertTargetsTest, DuplicatesSeparatorsAndRemovalForgettingFilters) {
    TargetList list;
    EXPECT_TRUE(list.Add("10.0.0.1"));
    EXPECT_FALSE(list.Add("10.0.0.1"));
    EXPECT_TRUE(list.Add("a@x"));
    EXPECT_FALSE(list.Add("A@x")) << "case is ignored";
    list.SetFilters("a@x", "0/New*;");
    list.Remove(1);
    EXPECT_TRUE(list.Add("a@x"));
    EXPECT_FALSE(list.HasFilters(1)) << "removal forgot the filters";
    EXPECT_EQ(list.Entries(), (std::vector<std::string>{"10.0.0.1", "a@x"}));

    const struct {
        std::string_view text;
        unsigned target, pattern;
    } checks[] = {{"ops@x", 0, 0},
                  {"a|b", str::kTargetHasBar, str::kFilterHasSeparator},
                  {"a;b", 0, str::kFilterHasSeparator},
                  {"\xE2\x82\xAC", 0, 0},  // the euro sign has a Windows-1252 byte
                  {"\xE4\xB8\xAD", str::kTextNotStorable, str::kTextNotStorable}};
    for (const auto& c : checks) {
        EXPECT_EQ(CheckTargetText(c.text), c.target) << c.text;
        EXPECT_EQ(CheckFilterPattern(c.text), c.pattern) << c.text;
    }
}

TEST(AlertTargetsTest, TestAsksForApplyThenTargetsThenWaitsForTheHandOver) {
    EXPECT_EQ(TestDecision(true, 3), TestStep::AskApply);
    EXPECT_EQ(TestDecision(true, 0), TestStep::AskApply);
    EXPECT_EQ(TestDecision(false, 0), TestStep::NoTargets);
    EXPECT_EQ(TestDecision(false, 1), TestStep::Send);
    EXPECT_EQ(FamilyInfo(TargetFamily::Managers).controlCode, 137);
    EXPECT_EQ(FamilyInfo(TargetFamily::Commands).emptyMessage,
              FamilyInfo(TargetFamily::Recipients).emptyMessage);

    const std::string folder = MakeTempFolder("tarvell-test-send-");
    const std::string handOver = JoinPath(folder, "Tarvell.ini");
    struct Case {
        bool handOverLeft;
        int state;
        unsigned message;
        std::vector<int> codes;
    } cases[] = {{false, kServiceRunning, str::kTestSent, {144}},
                 {false, kServiceStopped, str::kTestFailed, {144}},
                 {true, kServiceRunning, str::kTestNotTakenOver, {}}};
    for (const Case& c : cases) {
        FakeServiceBackend* fake = nullptr;
        ServiceControl service([] { return std::string(); },
                               [&](const std::string&) {
                                   auto made = std::make_unique<FakeServiceBackend>();
                                   made->SetState(c.state);
                                   fake = made.get();
                                   return std::unique_ptr<ServiceBackend>(std::move(made));
                               });
        if (c.handOverLeft) ASSERT_TRUE(AtomicWriteFile(handOver, "x"));
        FakeClock clock;
        EXPECT_EQ(SendTargetTest(service, 144, handOver, clock), c.message);
        EXPECT_EQ(fake ? fake->Codes() : std::vector<int>{}, c.codes);
        if (c.handOverLeft) {
            EXPECT_EQ(clock.Sleeps(), kHandOverWaitMs / kHandOverPollMs);
        }
        RemoveFile(handOver);
    }
    RemoveTree(folder);
}

TEST(AlertChannelSettingsTest, DaysRuleAndTheSwitches) {
    const struct {
        std::string text;
        bool on;
        std::int32_t stored;
    } cases[] = {{"0", false, 0},           {"", false, 0},     {"x", false, 0},
                 {"12ab", true, 12},        {"999", true, 999}, {"5000", true, 999},
                 {"99999999999", true, 999}};
    for (const auto& c : cases) {
        AlertsPanelFields panel;
        panel.DaysEdited(c.text);
        EXPECT_EQ(panel.removeOn, c.on) << c.text;
        CTarvellDoc doc;
        doc.AlertRemoveDays = 7;
        panel.Store(doc);
        EXPECT_EQ(doc.AlertRemoveDays, c.stored) << c.text;
    }
    AlertsPanelFields panel;
    CTarvellDoc doc;
    doc.AlertRemoveDays = 70000;  // low 16 bits 4464: shown held to the range instead
    doc.SyslogAlertsOn = 1;
    panel.Load(doc);
    EXPECT_EQ(panel.daysText, "999");
    EXPECT_TRUE(panel.syslog);
    panel.RemoveClicked(false);
    EXPECT_EQ(panel.daysText, "");
    panel.RemoveClicked(true);
    EXPECT_EQ(panel.daysText, "30");
    panel.snmp = true;
    panel.Store(doc);
    EXPECT_EQ(doc.AlertRemoveDays, 30);
    EXPECT_EQ(doc.SnmpAlertsOn, 1);
    EXPECT_EQ(DaysTextOfStored(0), "");
}

TEST(AlertChannelSettingsTest, EmailSeedingFillsOnlyWhenBothTextsAreEmpty) {
    CTarvellDoc fresh;
    fresh.SetDefaults();
    EXPECT_EQ(DefaultEmailBody(), fresh.EmailBody);
    EXPECT_EQ(std::count(fresh.EmailBody.begin(), fresh.EmailBody.end(), '\n'), 9);
    CTarvellDoc doc;
    EXPECT_TRUE(SeedEmailTexts(doc));
    EXPECT_EQ(doc.EmailSubject, "$alert");
    doc.EmailBody.clear();
    EXPECT_FALSE(SeedEmailTexts(doc)) << "a subject alone is kept as it is";
    EXPECT_EQ(doc.EmailBody, "");
}

TEST(AlertChannelSettingsTest, TrapPageChoicesAsTheServiceReadsThem) {
    CTarvellDoc doc;
    doc.SnmpTrapSpecific = 1;
    doc.SnmpTrapCommunityOn = 1;
    doc.SnmpTrapCommunity = "ring";
    doc.SnmpTrapEnterprise = ".1.3.6.1.4.1.99999";
    TrapPage page = TrapPage::Load(doc);
    EXPECT_EQ(page.kind, TrapPage::Kind::Enterprise);
    EXPECT_TRUE(page.communityEnabled);
    EXPECT_EQ(page.Check(), 0u) << "a leading dot is allowed";
    page.Store(doc);
    EXPECT_EQ(TrapEnterprise(doc), "1.3.6.1.4.1.99999");
    EXPECT_EQ(TrapCommunity(doc), "ring");

    page.ChooseVersion(TrapPage::Version::V3);
    page.Store(doc);
    EXPECT_EQ(doc.SnmpTrapCommunity, "") << "SNMPv3 drops the community";
    EXPECT_EQ(TrapCommunity(doc), SnmpClient::kV3Marker);

    page.ChooseExperimental();
    page.Store(doc);
    EXPECT_EQ(doc.SnmpTrapEnterprise, "");
    EXPECT_EQ(TrapEnterprise(doc), kPublicEnterprise);
    page.ChooseEnterprise();
    EXPECT_EQ(page.version, TrapPage::Version::V1);
    EXPECT_EQ(page.community, "");
    EXPECT_EQ(page.enterprise, "");

    for (const char* bad : {"", ".", "1..3", "1.3.", "iso.3", "1.3.6 "}) {
        page.enterprise = bad;
        EXPECT_EQ(page.Check(), str::kEnterpriseIdInvalid) << bad;
    }

    CTarvellDoc neither;
    neither.SnmpTrapCommunity = "kept";
    CTarvellDoc after = neither;
    TrapPage::Load(neither).Store(after);
    EXPECT_EQ(after.SnmpTrapCommunity, "kept");
    EXPECT_EQ(after.SnmpTrapStandard, 0);
    EXPECT_EQ(TrapPage::Load(neither).kind, TrapPage::Kind::None);
}

TEST(AlertChannelSettingsTest, SyslogPageChoicesAsTheServiceReadsThem) {
    CAlertItem detection;
    detection.Category = "Detection";
    const struct {
        void (*act)(SyslogPage&);
        int facility, severity, priority;
    } cases[] = {
        {[](SyslogPage& p) { p.ChooseSpecific(); }, 0, 0, 128},
        {[](SyslogPage& p) {
             p.ChooseSpecific();
             p.facility = 3;
             p.severity = 4;
         },
         3, 4, 156},
        {[](SyslogPage& p) { p.ChooseStandard(); }, 0, 0, 134},
    };
    for (const auto& c : cases) {
        CTarvellDoc doc;
        doc.SyslogFacility = 5;
        doc.SyslogSeverity = 5;
        SyslogPage page = SyslogPage::Load(doc);
        EXPECT_EQ(page.kind, SyslogPage::Kind::None);
        EXPECT_FALSE(page.boxesEnabled);
        c.act(page);
        page.Store(doc);
        EXPECT_EQ(doc.SyslogFacility, c.facility);
        EXPECT_EQ(doc.SyslogSeverity, c.severity);
        EXPECT_EQ(SyslogPriority(doc, detection), c.priority);
    }
    CTarvellDoc neither;
    neither.SyslogFacility = 9;
    CTarvellDoc after = neither;
    SyslogPage::Load(neither).Store(after);
    EXPECT_EQ(after.SyslogFacility, 9) << "saved unchanged";
    EXPECT_EQ(SyslogFacilityName(3), "Local3");
    EXPECT_EQ(SyslogSeverityName(4), "Warning");
}

}  // namespace
}  // namespace tarvell
