#include "service/alerts/AlertText.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "tests/service/engine/EngineFixture.h"

namespace tarvell {
namespace {

CAlertItem SampleAlert() {
    CAlertItem a;
    a.Description = "New Mac";
    a.EventType = "Changed Port";
    a.Severity = 2;
    a.Before = "port 3";
    a.Current = "port 7";
    a.Submitter = "admin-host";
    a.DeviceName = "core-sw";
    a.DeviceIp = "10.0.0.5";
    a.DevicePort = "Gi0/7";
    a.DeviceLocation = "Basement";
    a.SourceMac = "00A0C9123456";
    a.SourceIp = "10.1.2.3";
    a.SourceName = "printer-2";
    return a;
}

// ---- wildcard

TEST(MatchWildcard, FindsAMatchWheneverOneExists) {
    struct Case {
        const char* text;
        const char* pattern;
        bool match;
    } cases[] = {
        {"New Mac", "new*", true},
        {"abc", "", false},
        {"", "*", true},
        {"", "", true},
        {"", "a", false},
        {"aab", "*ab", true},
        // The engine's glob is the service's one matcher: a star that must give back characters
        // still finds the match (a one-pass matcher without backtracking misses this one).
        {"aaab", "*aab", true},
        {"10.0.0.17", "10.0.0.*", true},
        {"10.0.1.17", "10.0.0.*", false},
        {"ABC", "a*C", true},
        {"abc", "*d", false},
        {"\xC4rger", "\xE4rger", false},  // only A-Z fold
        {"a*b", "a*b", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchWildcard(c.text, c.pattern), c.match) << c.text << " ~ " << c.pattern;
}

// ---- targets and filters

TEST(TargetMatchesAlert, FiltersAreAlternativesOverTheTypedValues) {
    const std::string entry = "ops@example.org|0/New*;2/10.0.0.*";
    struct Case {
        const char* description;
        const char* deviceIp;
        bool deliver;
    } cases[] = {
        {"New Mac", "192.168.1.1", true},
        {"Changed Ip", "10.0.0.9", true},
        {"Changed Ip", "10.0.1.9", false},
        {"New Ip", "10.0.0.1", true},
    };
    for (const auto& c : cases) {
        CAlertItem a = SampleAlert();
        a.Description = c.description;
        a.DeviceIp = c.deviceIp;
        const TargetDecision d = TargetMatchesAlert(entry, a, "");
        EXPECT_EQ(d.target, "ops@example.org");
        EXPECT_EQ(d.deliver, c.deliver) << c.description << " " << c.deviceIp;
    }
}

TEST(TargetMatchesAlert, EntriesWithoutUsableFiltersDeliverAsDocumented) {
    const CAlertItem a = SampleAlert();
    struct Case {
        const char* entry;
        const char* target;
        bool deliver;
    } cases[] = {
        {"ops@example.org", "ops@example.org", true},                // no filter list
        {"ops@example.org|", "ops@example.org", true},               // empty filter list
        {"ops@example.org|New*;core*", "ops@example.org", false},    // no "/" anywhere
        {"ops@example.org|9/*;x/*;01/*", "ops@example.org", false},  // unknown types
        {"ops@example.org|;;", "ops@example.org", false},
        {"ops@example.org|9/*;1/CORE-*", "ops@example.org", true},  // a later filter matches
        {"ops@example.org| 1/core-sw", "ops@example.org", false},   // spaces are kept
        {"a|b|1/core-sw", "a", false},  // split at the first "|": filter "b|1" has no known type
        {"|1/core-sw", "", true},
    };
    for (const auto& c : cases) {
        const TargetDecision d = TargetMatchesAlert(c.entry, a, "");
        EXPECT_EQ(d.target, c.target) << c.entry;
        EXPECT_EQ(d.deliver, c.deliver) << c.entry;
    }
}

TEST(TargetMatchesAlert, EachTypeDigitTestsItsOwnValue) {
    const CAlertItem a = SampleAlert();
    const char* patterns[] = {"0/New Mac", "1/core-sw",  "2/10.0.0.5",  "3/Gi0/7",   "4/basement",
                              "5/00a0c9*", "6/10.1.2.3", "7/printer-2", "8/*jumped*"};
    for (const char* p : patterns) {
        EXPECT_TRUE(TargetMatchesAlert(std::string("t|") + p, a, "it jumped ports").deliver) << p;
        EXPECT_FALSE(TargetMatchesAlert(std::string("t|") + p + "x", a, "it jumped ports").deliver)
            << p;
    }
}

// ---- macros

class AlertMacros : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TZ");
        hadZone_ = old != nullptr;
        if (hadZone_) oldZone_ = old;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        if (hadZone_) setenv("TZ", oldZone_.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

    AlertTextSources sources{"Alert $cause by $submitter", "From $before to $current ($severity)",
                             "moved", "Moderate"};

private:
    bool hadZone_ = false;
    std::string oldZone_;
};

TEST_F(AlertMacros, EveryMacroIsReplacedByItsValue) {
    const std::string out = ExpandAlertMacros(
        "$date|$alert|$description|$device_name|$device_ip|$device_port|$device_location|"
        "$source_mac|$source_ip|$source_name",
        SampleAlert(), "1764579903.12", sources);
    EXPECT_EQ(out,
              "12/1/2025 9:05:03 AM|Alert moved by admin-host|From port 3 to port 7 (Moderate)|"
              "core-sw|10.0.0.5|Gi0/7|Basement|00A0C9123456|10.1.2.3|printer-2");
}

TEST_F(AlertMacros, ExpansionIsOnePassPerMacroInItsFixedOrder) {
    struct Case {
        const char* what;
        std::string tmpl;
        CAlertItem alert;
        AlertTextSources src;
        std::string out;
    };
    CAlertItem selfRef = SampleAlert();
    selfRef.Submitter = "$submitter";
    CAlertItem lateName = SampleAlert();
    lateName.SourceName = "$date and $source_name and $device_name";
    AlertTextSources nameInAlert = sources;
    nameInAlert.alertText = "on $device_name";
    AlertTextSources alertInDescription = sources;
    alertInDescription.descriptionText = "see $alert";
    const Case cases[] = {
        {"a value holding its own macro keeps it and ends", "$alert", selfRef, sources,
         "Alert moved by $submitter"},
        {"a later macro brought in by a value is replaced", "$alert", SampleAlert(), nameInAlert,
         "on core-sw"},
        {"an earlier macro brought in by a value stays", "$source_name", lateName, sources,
         "$date and $source_name and $device_name"},
        {"$alert inside the description stays", "$description", SampleAlert(), alertInDescription,
         "see $alert"},
        {"event-text macros written in the template stay", "$cause $before $severity",
         SampleAlert(), sources, "$cause $before $severity"},
        {"the default subject is the alert text", "$alert", SampleAlert(), sources,
         "Alert moved by admin-host"},
        {"repeated macros are all replaced", "$device_ip,$device_ip", SampleAlert(), sources,
         "10.0.0.5,10.0.0.5"},
        {"a lone dollar is text", "$ 5 $", SampleAlert(), sources, "$ 5 $"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExpandAlertMacros(c.tmpl, c.alert, "0.1", c.src), c.out) << c.what;
}

TEST_F(AlertMacros, TheDateIsTheLeadingNumberOfTheKey) {
    EXPECT_EQ(AlertDateText("1764547200.3"), "12/1/2025");
    EXPECT_EQ(AlertDateText("1764579903"), "12/1/2025 9:05:03 AM");
    EXPECT_EQ(AlertDateText("garbage"), "1/1/1970");
    EXPECT_EQ(AlertDateText("99999999999999999999999.1"), "");  // beyond the calendar: no text
}

// ---- the engine's look-ups feed the texts

class AlertMacrosWithEngine : public enginetest::EngineFixture {};

TEST_F(AlertMacrosWithEngine, TextsComeFromTheSettingsByTypeAndSeverity) {
    CTarvellDoc doc = BlankSettings();
    doc.AlertCauseTexts.assign(33, "");
    doc.AlertDescriptionTexts.assign(33, "");
    doc.AlertCauseTexts[3] = "New node seen ($cause)";  // "New Mac"
    doc.AlertCauseTexts[10] = "moved";                  // "Changed Port"
    doc.AlertDescriptionTexts[3] = "$severity: $current";
    doc.AlertSeverityTexts = {"", "Low", "Moderate"};
    UseSettings(doc);
    const CAlertItem a = SampleAlert();
    EXPECT_EQ(ExpandAlertMacros(*engine, "[$alert] $description", a, "5.1"),
              "[New node seen (moved)] Moderate: port 7");
    CAlertItem unknown = a;
    unknown.Description = "new mac";  // look-ups are exact: no text
    EXPECT_EQ(ExpandAlertMacros(*engine, "[$alert]", unknown, "5.1"), "[]");
}

}  // namespace
}  // namespace tarvell
