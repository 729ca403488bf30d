// The run-command channel with real child processes: what the program receives, under which
// user, and that nothing is left behind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/RecursiveLock.h"
#include "service/alerts/CScanAlertsRun.h"
#include "tests/fixtures/snmp/SnmpPeers.h"
#include "tests/service/engine/EngineFixture.h"

namespace tarvell {
namespace {

using enginetest::EngineFixture;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

TEST(RunCommandText, ParametersSplitAtBlanksAndQuotesGroup) {
    struct Case {
        const char* parameters;
        std::vector<std::string> args;
    } cases[] = {
        {"", {}},
        {"   ", {}},
        {"a b", {"a", "b"}},
        {"  a   b  ", {"a", "b"}},
        {"\"a b\" c", {"a b", "c"}},
        {"\"\"", {""}},
        {"a\"b c\"d", {"ab cd"}},
        {"$source_name; rm -rf /", {"$source_name;", "rm", "-rf", "/"}},
        {"'single' \\x", {"'single'", "\\x"}},
    };
    for (const Case& c : cases) EXPECT_EQ(SplitParameters(c.parameters), c.args) << c.parameters;
}

TEST(RunCommandText, AnEntryNeedsSixFieldsAndThePasswordKeepsItsSemicolons) {
    EXPECT_FALSE(ParseCommandTarget("a;b;c;d;e"));
    EXPECT_FALSE(ParseCommandTarget(""));
    // A ";" that ends the entry closes the password; one inside it belongs to it.
    auto run = ParseCommandTarget("n;/bin/x;;nobody;;;");
    ASSERT_TRUE(run);
    EXPECT_EQ(run->user, "nobody");
    EXPECT_EQ(run->password, "");
    run = ParseCommandTarget("n;/bin/x;;nobody;;pw;");
    ASSERT_TRUE(run);
    EXPECT_EQ(run->password, "pw");
    run = ParseCommandTarget("x;/bin/prog;-v $alert;bob;CORP;pa;ss");
    ASSERT_TRUE(run);
    EXPECT_EQ(*run, (CommandProperties{"/bin/prog", "-v $alert", "bob", "CORP", "pa;ss"}));
}

class RunChannelTest : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        work_ = JoinPath(root, "work");
        ASSERT_TRUE(MakeDirectories(work_));
        ::chmod(root.c_str(), 0755);
        ::chmod(work_.c_str(), 0777);  // the program may run as another user
        script_ = JoinPath(root, "record.sh");
        // Writes its user id, each argument on a line, and its open descriptors to "$1".
        ASSERT_TRUE(AtomicWriteFile(script_,
                                    "#!/bin/sh\nout=\"$1\"\nshift\n"
                                    "{ id -u; for a in \"$@\"; do echo \"arg:$a\"; done; "
                                    "ls /proc/$$/fd | tr '\\n' ' '; echo; } > \"$out\"\n",
                                    0755));
    }
    void Use(std::vector<std::string> commands) {
        CTarvellDoc doc;
        doc.SetDefaults();
        doc.RunAlertsEnabled = 1;
        doc.RunCommands = std::move(commands);
        UseSettings(doc);
    }
    void Queue(const std::string& key, const std::string& sourceName) {
        auto alert = std::make_unique<CAlertItem>();
        alert->Category = "Detection";
        alert->Description = alert->EventType = "New Mac";
        alert->DeviceName = "core-1";
        alert->SourceName = sourceName;
        alert->SourceMac = "00AABBCCDDEE";
        RecursiveGuard guard(engine->AlertLock);
        engine->RunQueue[key] = std::move(alert);
    }
    std::string Out(const std::string& name) const { return JoinPath(work_, name); }
    std::string Read(const std::string& name) {
        snmptest::WaitUntil([&] { return FileExists(Out(name)); }, std::chrono::seconds(10));
        std::string text;
        snmptest::WaitUntil(
            [&] {
                text = ReadWholeFile(Out(name)).value_or("");
                return !text.empty() && text.back() == '\n' && text.find('\n') != text.rfind('\n');
            },
            std::chrono::seconds(5));
        return text;
    }
    std::string work_, script_;
};

TEST_F(RunChannelTest, NodeTextsArriveAsSingleArgumentsAndNothingElseRuns) {
    Use({"1;" + script_ + ";" + Out("out-$source_mac.txt") +
         " \"name: $source_name\" $device_name;;;"});
    CScanAlertsRun channel(*engine);
    // A descriptor the service holds (a listener, say) that a child must not inherit.
    const int held = ::socket(AF_INET, SOCK_STREAM, 0);
    Queue("1.1", "x; touch " + work_ + "/INJ $(touch " + work_ + "/INJ2) `touch INJ3`");
    ASSERT_TRUE(channel.TakeOnce());
    const std::string text = Read("out-00AABBCCDDEE.txt");
    EXPECT_THAT(text, HasSubstr("arg:name: x; touch " + work_ + "/INJ $(touch " + work_ +
                                "/INJ2) `touch INJ3`\n"
                                "arg:core-1\n"));
    const std::string fds = text.substr(text.rfind('\n', text.size() - 2) + 1);
    EXPECT_THAT(fds, Not(HasSubstr(" " + std::to_string(held) + " "))) << fds;
    ::close(held);
    EXPECT_TRUE(channel.Reaper().WaitIdle(5000));
    EXPECT_FALSE(FileExists(JoinPath(work_, "INJ")));
    EXPECT_FALSE(FileExists(JoinPath(work_, "INJ2")));
    EXPECT_FALSE(FileExists("INJ3"));
}

TEST_F(RunChannelTest, ANamedUserRunsTheProgramAndAnUnknownOneRunsNothing) {
    if (::geteuid() != 0) GTEST_SKIP() << "switching users needs root";
    Use({"1;" + script_ + ";" + Out("nobody.txt") + ";nobody;;",
         "2;" + script_ + ";" + Out("ghost.txt") + ";no-such-user-here;;secret"});
    CScanAlertsRun channel(*engine);
    Queue("1.1", "pc");
    ASSERT_TRUE(channel.TakeOnce());
    EXPECT_TRUE(channel.Reaper().WaitIdle(5000));
    const std::string text = Read("nobody.txt");
    EXPECT_TRUE(text.starts_with("65534\n")) << text;
    EXPECT_FALSE(FileExists(Out("ghost.txt")));
    EXPECT_TRUE(LogMentions("Run command alert to " + script_ +
                            " as no-such-user-here could not be delivered"));
}

TEST_F(RunChannelTest, TenAlertsGiveTenRunsAndNoZombie) {
    Use({"1;" + script_ + ";" + Out("run-$source_name.txt") + ";;;", "short;entry",
         "1;" + script_ + ";" + Out("never.txt") + ";;;|2/10.*"});
    CScanAlertsRun channel(*engine);
    for (int i = 0; i < 10; ++i) Queue("1." + std::to_string(i), "pc" + std::to_string(i));
    int rounds = 0;
    while (channel.TakeOnce()) ++rounds;
    EXPECT_EQ(rounds, 10);
    EXPECT_TRUE(channel.Reaper().WaitIdle(10000));
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(FileExists(Out("run-pc" + std::to_string(i) + ".txt"))) << i;
    EXPECT_FALSE(FileExists(Out("never.txt")));
    EXPECT_EQ(channel.Reaper().Running(), 0u);
    int logged = 0;
    for (const std::string& line : log.Lines())
        logged += line.find("Run command entry 2 is skipped") != std::string::npos;
    EXPECT_EQ(logged, 1);
}

TEST_F(RunChannelTest, ATestAlertRunsOnceWhileTheChannelIsOff) {
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.RunCommands = {"1;" + script_ + ";" + Out("test.txt") + " $alert;;;"};
    UseSettings(doc);
    CScanAlertsRun channel(*engine);
    engine->QueueTestAlert(AlertChannel::Run);
    ASSERT_TRUE(channel.TakeOnce());
    EXPECT_FALSE(channel.TakeOnce());
    EXPECT_EQ(engine->RunTestFlag.load(), 0);
    EXPECT_FALSE(Read("test.txt").empty());
}

}  // namespace
}  // namespace tarvell
