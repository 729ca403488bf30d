// The event-type rows both programs read, held as golden files: the keys in the order of the
// settings' per-type lists with their names and sentences, the threat levels, and the help pages.
#include "shared/EventTypes.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/Golden.h"

namespace tarvell {
namespace {

TEST(EventTypesTest, RowsAndHelpPagesAsStored) {
    std::string rows;
    const auto table = AlertTextTable();
    for (std::size_t i = 0; i < table.size(); ++i) {
        rows += std::to_string(i) + "\t" + std::string(table[i].key) + "\t" +
                std::string(table[i].name) + "\t" + std::string(table[i].sentence) + "\n";
        EXPECT_EQ(AlertTextIndex(table[i].key), i);
    }
    for (int level = 0; level < static_cast<int>(ThreatLevelNames().size()); ++level)
        rows += "severity " + std::to_string(level) + "\t" + ThreatLevelName(level) + "\n";
    test::ExpectGolden("vocabulary/event_types.txt", rows);

    std::string pages;
    for (std::string_view key : EventTypeKeys())
        pages += "== " + std::string(key) + "\n" + EventTypeHelp(key) + "\n";
    test::ExpectGolden("vocabulary/event_type_help.txt", pages);
}

// Keys are whole texts compared exactly; the test alert has alert texts but no display texts.
TEST(EventTypesTest, OnlyExactKeysHaveTexts) {
    EXPECT_EQ(EventTypeKeys().size(), 32u);
    EXPECT_EQ(AlertTextIndex("Test Message"), 32u);
    for (const char* other : {"new mac", "New Mac ", "", "Test Alert", "Test Message"}) {
        EXPECT_EQ(EventTypeName(other), "") << other;
        EXPECT_EQ(EventTypeText(other), "") << other;
        EXPECT_EQ(EventTypeHelp(other), "") << other;
        if (std::string_view(other) != "Test Message") {
            EXPECT_FALSE(AlertTextIndex(other)) << other;
        }
    }
    EXPECT_EQ(ThreatLevelName(6), "");
    EXPECT_EQ(ThreatLevelName(-1), "");
}

}  // namespace
}  // namespace tarvell
