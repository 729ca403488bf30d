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
#include "viewer/core/settings/AlertsSettings.h"
#include "viewer/core/settings/AlertTargets.h"
#include "viewer/core/base/StringTable.h"

namespace tarvell {
namespace {

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

    // Unknown types, items without "/" and a last item without ";" are read as the dialog reads.
    EXPECT_EQ(ParseFilters("9/x;08/y;/z;noslash;2/10.*"), (std::vector<TargetFilter>{{2, "10.*"}}));
    list.SetFilters("10.0.0.3", FormatFilters(ParseFilters(list.Filters("10.0.0.3"))));
    EXPECT_FALSE(list.HasFilters(2)) << "9/x; dropped: no filters left";
    EXPECT_EQ(list.Entries()[2], "10.0.0.3") << "stored without a bar";

    const std::string stored = list.Entries()[0];
    EXPECT_EQ(stored, "10.0.0.1|5/00A0*;0/New*;");
    CAlertItem alert;
    alert.SourceMac = "00A0C9";
    EXPECT_TRUE(TargetMatchesAlert(stored, alert, "").deliver);
    alert.SourceMac = "0011";
    EXPECT_FALSE(TargetMatchesAlert(stored, alert, "").deliver);
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
        if (c.handOverLeft) {
            ASSERT_TRUE(AtomicWriteFile(handOver, "x"));
        }
        FakeClock clock;
        EXPECT_EQ(SendTargetTest(service, 144, handOver, clock), c.message);
        EXPECT_EQ(fake ? fake->Codes() : std::vector<int>{}, c.codes);
        EXPECT_EQ(clock.Sleeps(), c.handOverLeft ? kHandOverWaitMs / kHandOverPollMs : 0);
        RemoveFile(handOver);
    }
    RemoveTree(folder);
}

TEST(AlertsSettingsTest, DaysRuleAndTheSwitches) {
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
    panel.Load(doc);
    EXPECT_EQ(panel.daysText, "999");
    panel.RemoveClicked(false);
    panel.RemoveClicked(true);
    panel.Store(doc);
    EXPECT_EQ(doc.AlertRemoveDays, 30) << "ticking proposes 30";
}

TEST(AlertsSettingsTest, EmailSeedingFillsOnlyWhenBothTextsAreEmpty) {
    CTarvellDoc fresh;
    fresh.SetDefaults();
    EXPECT_EQ(DefaultEmailBody(), fresh.EmailBody) << "nine lines, as a new file holds";
    CTarvellDoc doc;
    EXPECT_TRUE(SeedEmailTexts(doc));
    EXPECT_EQ(doc.EmailSubject, "$alert");
    doc.EmailBody.clear();
    EXPECT_FALSE(SeedEmailTexts(doc)) << "a subject alone is kept as it is";
}

TEST(AlertsSettingsTest, TrapAndSyslogPagesAsTheServiceReadsThem) {
    CTarvellDoc doc;
    doc.SnmpTrapSpecific = doc.SnmpTrapCommunityOn = 1;
    doc.SnmpTrapCommunity = "ring";
    doc.SnmpTrapEnterprise = ".1.3.6.1.4.1.99999";
    TrapPage trap = TrapPage::Load(doc);
    EXPECT_EQ(trap.Check(), 0u) << "a leading dot is allowed";
    trap.ChooseVersion(TrapPage::Version::V3);
    trap.Store(doc);
    EXPECT_EQ(doc.SnmpTrapCommunity, "") << "SNMPv3 drops the community";
    EXPECT_EQ(TrapCommunity(doc), SnmpClient::kV3Marker);
    EXPECT_EQ(TrapEnterprise(doc), "1.3.6.1.4.1.99999");
    trap.ChooseExperimental();
    trap.Store(doc);
    EXPECT_EQ(TrapEnterprise(doc), kPublicEnterprise);
    trap.ChooseEnterprise();
    EXPECT_EQ(trap.version, TrapPage::Version::V1);
    EXPECT_EQ(trap.community + trap.enterprise, "") << "back to empty edits";
    for (const char* bad : {"", ".", "1..3", "1.3.", "iso.3", "1.3.6 "}) {
        trap.enterprise = bad;
        EXPECT_EQ(trap.Check(), str::kEnterpriseIdInvalid) << bad;
    }

    CAlertItem detection;
    detection.Category = "Detection";
    doc.SyslogFacility = doc.SyslogSeverity = 5;
    SyslogPage syslog = SyslogPage::Load(doc);
    EXPECT_FALSE(syslog.boxesEnabled);
    syslog.ChooseSpecific();
    syslog.Store(doc);
    EXPECT_EQ(SyslogPriority(doc, detection), 128) << "Local0, Emergency";
    syslog.ChooseStandard();
    syslog.Store(doc);
    EXPECT_EQ(doc.SyslogFacility + doc.SyslogSeverity, 0);
    EXPECT_EQ(SyslogPriority(doc, detection), 134);

    // Neither radio: both pages save the document unchanged.
    CTarvellDoc neither;
    neither.SnmpTrapCommunity = "kept";
    neither.SyslogFacility = 9;
    CTarvellDoc after = neither;
    TrapPage::Load(neither).Store(after);
    SyslogPage::Load(neither).Store(after);
    EXPECT_EQ(after.SnmpTrapCommunity, "kept");
    EXPECT_EQ(after.SyslogFacility, 9);
}

}  // namespace
}  // namespace tarvell
