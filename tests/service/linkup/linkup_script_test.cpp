#include "service/linkup/CScanLinkupScript.h"

#include <gtest/gtest.h>
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/RecursiveLock.h"
#include "platform/Text.h"
#include "tests/service/linkup/LinkupFixture.h"

namespace tarvell::linkuptest {
namespace {

using namespace std::chrono_literals;

class LinkupScriptTest : public LinkupFixture {
protected:
    void SetUp() override {
        LinkupFixture::SetUp();
        // The scripts and what they write live where any user may write (the tests as root run
        // scripts as nobody).
        scripts = MakeTempFolder("linkup-script-");
        ASSERT_EQ(::chmod(scripts.c_str(), 0777), 0);
        AddNode("00AA00000001", "10.0.0.5", "SW1", "7");
    }
    void TearDown() override {
        RemoveTree(scripts);
        LinkupFixture::TearDown();
    }

    std::string Script(const std::string& name, const std::string& body) {
        const std::string path = JoinPath(scripts, name);
        EXPECT_TRUE(AtomicWriteFile(path, "#!/bin/sh\n" + body, 0755));
        return path;
    }

    void UseScript(const std::string& path, const std::string& logon = "") {
        settings.LinkupScriptFile = path;
        settings.LinkupScriptLogon = logon;
        Apply();
    }

    void SetNodeName(const std::string& name) {
        RecursiveGuard guard(engine->EngineLock);
        engine->SiblingNodes["00AA00000001"]->NodeName() = name;
    }

    void Run(std::int64_t limitMs = 20'000) {
        ClearEvents();
        CScanLinkupScript(*engine, Target(), nullptr, limitMs).Check();
    }

    std::string Written(const std::string& name) {
        return ReadWholeFile(JoinPath(scripts, name)).value_or("<none>");
    }

    std::string scripts;
};

// ---- exit codes

TEST_F(LinkupScriptTest, AnExitCodeAboveOneRaisesLinkupScript) {
    struct Case {
        const char* body;
        bool raises;
    };
    const Case cases[] = {
        {"exit 0\n", false},  {"exit 1\n", false},       {"exit 2\n", true},
        {"exit 255\n", true}, {"kill -SEGV $$\n", true},  // a crash is a failure too
    };
    for (const Case& c : cases) {
        UseScript(Script("check.sh", c.body));
        Run();
        EXPECT_EQ(EventTypes(),
                  c.raises ? std::vector<std::string>{"Linkup Script"} : std::vector<std::string>{})
            << c.body;
    }
    UseScript(Script("check.sh", "exit 3\n"));
    Run();
    const auto events = Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].Description, "Linkup Script");
    EXPECT_EQ(events[0].Category, "Detection");
    EXPECT_EQ(events[0].SourceMac, "00AA00000001");
    EXPECT_EQ(events[0].SourceIp, "10.0.0.5");
    EXPECT_EQ(events[0].SourceName, "host-00AA00000001");
    EXPECT_EQ(events[0].DeviceIp, "10.1.1.1");
    EXPECT_EQ(events[0].DevicePort, "Gi0/7");
    EXPECT_EQ(events[0].DeviceLocation, "Hall");
}

TEST_F(LinkupScriptTest, NoScriptOrOneThatCannotStartRaisesNothing) {
    UseScript("");
    Run();
    EXPECT_TRUE(Events().empty());
    UseScript(JoinPath(scripts, "missing.sh"));
    Run();
    EXPECT_TRUE(Events().empty());
    EXPECT_TRUE(LogMentions("could not be started"));
}

// ---- the node name

TEST_F(LinkupScriptTest, TheNodeNameArrivesAsOneVerbatimArgument) {
    const std::string name = "a;rm -rf x $(id) `id` \"q\" 'r' *";
    SetNodeName(name);
    ASSERT_TRUE(AtomicWriteFile(JoinPath(scripts, "x"), "keep"));
    UseScript(Script("args.sh", "printf '%s\\n' \"$#\" \"$1\" > \"" + scripts + "/args\"\n"));
    Run();
    EXPECT_EQ(Written("args"), "1\n" + name + "\n");
    EXPECT_EQ(Written("x"), "keep");
    // Nothing else appeared: no file named after the output of a command.
    std::vector<std::string> names;
    DIR* dir = ::opendir(scripts.c_str());
    ASSERT_NE(dir, nullptr);
    while (const dirent* e = ::readdir(dir)) {
        if (e->d_name[0] != '.') names.emplace_back(e->d_name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"args", "args.sh", "x"}));
}

// ---- the time limit

// Whether any process belongs to the process group.
bool GroupAlive(int group) {
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return false;
    bool alive = false;
    while (const dirent* e = ::readdir(proc)) {
        const auto stat = ReadWholeFile(std::string("/proc/") + e->d_name + "/stat");
        if (!stat) continue;
        const std::size_t paren = stat->rfind(')');
        if (paren == std::string::npos) continue;
        // After ")": state, ppid, pgrp.
        const auto fields = SplitAny(stat->substr(paren + 1), " ");
        if (fields.size() > 2 && fields[0] != "Z" && AtoL(fields[2]) == group) alive = true;
    }
    ::closedir(proc);
    return alive;
}

TEST_F(LinkupScriptTest, AScriptAtItsTimeLimitIsKilledWithItsGroupAndRaisesNothing) {
    UseScript(
        Script("slow.sh", "echo $$ > \"" + scripts + "/group\"\nsleep 600 &\nsleep 600\nexit 5\n"));
    const auto start = std::chrono::steady_clock::now();
    Run(2'000);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, 2s);
    EXPECT_LT(elapsed, 15s);
    EXPECT_TRUE(Events().empty());
    EXPECT_TRUE(LogMentions("did not end within 2 s"));
    const std::int64_t group = AtoL(Written("group"));
    ASSERT_GT(group, 1);
    bool alive = true;
    for (int i = 0; i < 200 && (alive = GroupAlive(static_cast<int>(group))); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(alive);
}

TEST_F(LinkupScriptTest, AStopEndsTheScriptWithoutAnEvent) {
    UseScript(Script("slow.sh", "sleep 600\nexit 5\n"));
    ManualResetEvent stop;
    std::thread stopper([&] {
        std::this_thread::sleep_for(200ms);
        stop.Set();
    });
    CScanLinkupScript(*engine, Target(), &stop).Check();
    stopper.join();
    EXPECT_TRUE(Events().empty());
}

// ---- accounts

TEST_F(LinkupScriptTest, TheScriptRunsAsTheConfiguredUser) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to change user";
    UseScript(Script("who.sh", "id -u > \"" + scripts + "/uid\"\nexit 2\n"), "nobody/WORKGROUP/");
    Run();
    EXPECT_EQ(Written("uid"), "65534\n");
    EXPECT_EQ(EventTypes(), std::vector<std::string>{"Linkup Script"});
}

TEST_F(LinkupScriptTest, AFailedLogOnRunsNothingAndIsLogged) {
    const std::string body = "touch \"" + scripts + "/ran\"\nexit 2\n";
    for (const char* logon : {"nobody/WORKGROUP/wrong", "no-such-user//pw", "no-such-user"}) {
        UseScript(Script("who.sh", body), logon);
        Run();
        EXPECT_EQ(Written("ran"), "<none>") << logon;
        EXPECT_TRUE(Events().empty()) << logon;
    }
    EXPECT_TRUE(LogMentions("could not be run as nobody"));
    EXPECT_TRUE(LogMentions("it was not run for host-00AA00000001"));
}

}  // namespace
}  // namespace tarvell::linkuptest
