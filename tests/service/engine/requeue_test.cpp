// Alerts recorded but not delivered before a stop are given again to their channels at start,
// after the last key each channel delivered (AlertChannels.last).
#include <fstream>

#include "platform/RecursiveLock.h"
#include "tests/service/engine/EngineFixture.h"

namespace tarvell::enginetest {
namespace {

class RequeueTest : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        settings.EmailAlertsEnabled = 1;
        settings.SnmpAlertsOn = 1;
        settings.SyslogAlertsOn = 1;
        settings.RunAlertsEnabled = 0;
        RecursiveGuard lock(engine->AlertLock);
        // "9.0" sorts after "10.0" as text: the order must be by number.
        for (const char* key : {"9.0", "10.0", "10.1", "11.0"})
            engine->AlertLog[key] = std::make_unique<CAlertItem>();
    }

    void Requeue(const std::optional<std::string>& file) {
        if (file) std::ofstream(engine->DeliveredMarkPath(), std::ios::binary) << *file;
        engine->RequeueUndelivered(settings);
    }

    static std::vector<std::string> Keys(const ObjectMap<CAlertItem>& queue) {
        std::vector<std::string> keys;
        for (const auto& entry : queue) keys.push_back(entry.first);
        std::sort(keys.begin(), keys.end());
        return keys;
    }

    std::string MarkFile() const {
        return ReadWholeFile(engine->DeliveredMarkPath(), 4096).value_or("");
    }

    int LogLinesWith(std::string_view text) const {
        int n = 0;
        for (const std::string& line : log.Lines()) n += line.find(text) != std::string::npos;
        return n;
    }

    CTarvellDoc settings;
};

TEST_F(RequeueTest, EachEnabledChannelGetsTheAlertsAfterItsLastDeliveredKey) {
    Requeue("Email 10.0\nSyslog 11.0\nRun 9.0\n");
    EXPECT_EQ(Keys(engine->EmailQueue), (std::vector<std::string>{"10.1", "11.0"}));
    EXPECT_TRUE(engine->SyslogQueue.empty());  // delivered all
    EXPECT_TRUE(engine->SnmpQueue.empty());    // no line: starts from the newest
    EXPECT_TRUE(engine->RunQueue.empty());     // switched off
    // The channels without a usable line now start from the newest alert.
    EXPECT_EQ(MarkFile(), "Email 10.0\nRun 11.0\nSnmp 11.0\nSyslog 11.0\n");

    // The channel's next delivery moves its line on; a second start gives nothing again.
    engine->NoteDelivered(engine->EmailQueue, "11.0");
    engine->EmailQueue.clear();
    Requeue(std::nullopt);
    EXPECT_TRUE(engine->EmailQueue.empty());
}

TEST_F(RequeueTest, AMissingOrDamagedFileGivesNothingAgain) {
    const std::optional<std::string> files[] = {
        std::nullopt,               // first start with this file: not the whole history
        "Email 10.0",               // no line end
        "Email 10.0\nEmail 9.0\n",  // a channel twice
        "Mail 10.0\n",              // no such channel
        "Email 10.x\n",             // not a key
        "Email  10.0\n",            // two blanks
        "Email 10.0\r\n",
        std::string(2000, 'E'),  // too long
    };
    int damaged = 0;
    for (const auto& file : files) {
        SCOPED_TRACE(file.value_or("(missing)"));
        RemoveFile(engine->DeliveredMarkPath());
        Requeue(file);
        damaged += file.has_value();
        EXPECT_TRUE(engine->EmailQueue.empty());
        EXPECT_TRUE(engine->SnmpQueue.empty());
        EXPECT_EQ(LogLinesWith("delivered-alert file"), damaged);  // once per damaged file
        EXPECT_EQ(MarkFile(), "Email 11.0\nRun 11.0\nSnmp 11.0\nSyslog 11.0\n");
    }
}

}  // namespace
}  // namespace tarvell::enginetest
