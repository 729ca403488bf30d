// The schedule, block age, port object and log-on rules, table by table.
#include <gtest/gtest.h>

#include <random>

#include "service/blocking/BlockingRules.h"
#include "tests/service/blocking/BlockingFixture.h"

namespace tarvell {
namespace {

// ---- schedule entries

TEST(BlockingRules, ScheduleEntriesAreReadStrictly) {
    struct Case {
        const char* text;
        bool ok;
        std::int64_t day;
        int start, end;
    };
    const Case cases[] = {
        {"0/08:00:00/17:00:00", true, 0, 8 * 3600, 17 * 3600},
        {"7/00:00:00/23:59:59", true, 7, 0, 86399},
        {"1773140400/12:30:15/12:30:16", true, 1773140400, 45015, 45016},
        {"0/17:00:00/08:00:00", true, 0, 17 * 3600, 8 * 3600},  // matches nothing, but well formed
        {"", false, 0, 0, 0},
        {"0", false, 0, 0, 0},
        {"0/08:00:00", false, 0, 0, 0},
        {"0/08:00:00/", false, 0, 0, 0},
        {"0/8:00:00/17:00:00", false, 0, 0, 0},
        {"0/08:00/17:00", false, 0, 0, 0},
        {"0/08-00-00/17:00:00", false, 0, 0, 0},
        {"0/24:00:00/24:00:00", false, 0, 0, 0},
        {"0/08:60:00/17:00:00", false, 0, 0, 0},
        {"0/08:00:61/17:00:00", false, 0, 0, 0},
        {"-1/08:00:00/17:00:00", false, 0, 0, 0},
        {" 1/08:00:00/17:00:00", false, 0, 0, 0},
        {"x/08:00:00/17:00:00", false, 0, 0, 0},
        {"0/08:00:00/17:00:00/", false, 0, 0, 0},
        {"0/08:00:00/17:00:00 ", false, 0, 0, 0},
        {"1234567890123456789/08:00:00/17:00:00", false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto entry = ParseScheduleEntry(c.text);
        ASSERT_EQ(entry.has_value(), c.ok);
        if (!entry) continue;
        EXPECT_EQ(entry->day, c.day);
        EXPECT_EQ(entry->start, c.start);
        EXPECT_EQ(entry->end, c.end);
    }
}

TEST(BlockingRules, RandomTextsNeverCrashTheScheduleReader) {
    std::mt19937 random(1143);
    const std::string alphabet = "0123456789/:-x ";
    for (int i = 0; i < 100'000; ++i) {
        std::string text(random() % 30, ' ');
        for (char& c : text) c = alphabet[random() % alphabet.size()];
        const auto entry = ParseScheduleEntry(text);
        if (entry) {
            EXPECT_GE(entry->start, 0);
            EXPECT_LE(entry->end, 86399);
        }
    }
}

// ---- block age

TEST(BlockingRules, ElapsedMinutesAreWholeMinutesRoundedDown) {
    struct Case {
        std::int64_t seconds;
        std::int64_t minutes;
    };
    for (const Case& c : {Case{0, 0}, Case{59, 0}, Case{60, 1}, Case{359, 5}, Case{360, 6},
                          Case{86400, 1440}, Case{-1, -1}, Case{-60, -1}, Case{-61, -2}}) {
        EXPECT_EQ(ElapsedMinutes(1'700'000'000, 1'700'000'000 + c.seconds), c.minutes) << c.seconds;
    }
}

// ---- port objects

TEST(BlockingRules, PortObjects) {
    struct Case {
        bool standard, block;
        const char* port;
        std::string query;
        bool ok;
        const char* oid;
        const char* value;
    };
    const Case cases[] = {
        {true, true, "5", "", true, "1.3.6.1.2.1.2.2.1.7.5", "2"},
        {true, false, "10101", "ignored/3", true, "1.3.6.1.2.1.2.2.1.7.10101", "1"},
        {true, true, "5.1", "", false, "", ""},  // would name another object
        {true, true, "", "", false, "", ""},
        {true, true, "Gi0/1", "", false, "", ""},
        {true, true, "12345678901", "", false, "", ""},
        {false, true, "5", ".1.3.6.1.4.1.9.1/2", true, "1.3.6.1.4.1.9.1", "2"},
        {false, false, "5", "1.3.6.1.4.1.9.1/up/x", true, "1.3.6.1.4.1.9.1", "up/x"},
        {false, true, "5", "1.3.6.1.4.1.9.1/", true, "1.3.6.1.4.1.9.1", ""},
        {false, true, "5", "1.3.6.1.4.1.9.1", false, "", ""},
        {false, true, "5", "/2", false, "", ""},
        {false, true, "5", "1.3..6/2", false, "", ""},
        {false, true, "5", "iso.3.6/2", false, "", ""},
        {false, true, "5", "1.3.6.1/" + std::string(2000, '7'), false, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.port) + " " + c.query.substr(0, 40));
        const auto object = PortObjectFor(c.standard, c.block, c.port, c.query);
        ASSERT_EQ(object.has_value(), c.ok);
        if (!object) continue;
        EXPECT_EQ(object->oid, c.oid);
        EXPECT_EQ(object->value, c.value);
    }
}

// ---- log-on texts and retries

TEST(BlockingRules, LogOnTextsHoldThreePartsEachEndedBySlash) {
    struct Case {
        const char* text;
        const char* user;
        const char* domain;
        const char* password;
    };
    const Case cases[] = {
        {"bob/LAB/secret/", "bob", "LAB", "secret"},
        {"bob/LAB/secret", "bob", "LAB", ""},
        {"bob//secret/", "bob", "", "secret"},
        {"bob", "", "", ""},
        {"/LAB/pw/", "", "LAB", "pw"},
        {"", "", "", ""},
        {"a/b/c/d/", "a", "b", "c"},
    };
    for (const Case& c : cases) {
        const ProcessAccount account = SplitLogonText(c.text);
        EXPECT_EQ(account.user, c.user) << c.text;
        EXPECT_EQ(account.domain, c.domain) << c.text;
        EXPECT_EQ(account.password, c.password) << c.text;
    }
}

TEST(BlockingRules, RetriesWaitThirtySecondsDoublingToTenMinutes) {
    const std::int64_t expected[] = {30, 60, 120, 240, 480, 600, 600};
    for (int n = 1; n <= 7; ++n) EXPECT_EQ(RetryDelaySeconds(n), expected[n - 1]) << n;
    EXPECT_EQ(RetryDelaySeconds(1'000'000), 600);
}

}  // namespace
}  // namespace tarvell
