// The service and the viewer read the one event-type definition: the alert texts the viewer
// seeds into the settings are the ones the service finds by each type, and they read as the
// viewer's own display texts.
#include "shared/EventTypes.h"
#include "tests/service/engine/EngineFixture.h"
#include "viewer/core/settings/SettingsRules.h"

namespace tarvell::enginetest {
namespace {

class SharedVocabularyTest : public EngineFixture {};

TEST_F(SharedVocabularyTest, TheServiceFindsTheViewersTextsByEveryType) {
    CTarvellDoc seeded;
    ASSERT_TRUE(SyncTextTables(seeded));
    UseSettings(seeded);

    ASSERT_EQ(EventTypeKeys().size() + 1, CTarvellFrm::EventTypes().size());
    for (std::string_view view : EventTypeKeys()) {
        const std::string key(view);
        EXPECT_EQ(engine->FormatAlertCause(key), EventTypeName(key)) << key;
        EXPECT_EQ(engine->FormatAlertDescription(key), EventTypeText(key)) << key;
        EXPECT_FALSE(EventTypeName(key).empty()) << key;
    }
    EXPECT_EQ(engine->FormatAlertDescription("Test Message"), "Quenmark Tarvell - Test message");
    for (int level = 0; level <= 6; ++level)
        EXPECT_EQ(engine->FormatAlertSeverity(level), ThreatLevelName(level)) << level;
}

}  // namespace
}  // namespace tarvell::enginetest
