// The blocking pass on a fake clock with recorded programs, SNMP sets and node messages.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/RecursiveLock.h"
#include "platform/Text.h"
#include "tests/service/blocking/BlockingFixture.h"

namespace tarvell::blockingtest {
namespace {

using BlockingTest = BlockingFixture;

// ---- when a block is carried out

TEST_F(BlockingTest, NoPortIsShutInsideTheScheduleWindowWithBothEndsIncluded) {
    struct Case {
        int hour, minute, second;
        const char* submitter;
        bool shut;
    };
    const Case cases[] = {
        {7, 59, 59, "", true},         {8, 0, 0, "", false},
        {12, 30, 0, "", false},        {17, 0, 0, "", false},
        {17, 0, 1, "", true},          {7, 59, 59, "admin@LAB", true},
        {8, 0, 0, "admin@LAB", false}, {17, 0, 0, "admin@LAB", false},
        {17, 0, 1, "admin@LAB", true},
    };
    CTarvellDoc doc = ProgramSettings();
    doc.PreventionEnabled = 1;
    doc.PreventionSchedule = {"0/08:00:00/17:00:00"};
    UseSettings(doc);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.hour) + ":" + std::to_string(c.minute) + ":" +
                     std::to_string(c.second) + " submitter '" + c.submitter + "'");
        Event(1, "", c.submitter);
        clock.Set(LocalSeconds(2026, 3, 10, c.hour, c.minute, c.second));
        blocking->Pass();
        EXPECT_EQ(Current().Extra.empty(), !c.shut);
    }
}

TEST_F(BlockingTest, WeekdayAndDateEntriesFollowTheDayChange) {
    struct Case {
        std::string entry;
        int day, hour, minute, second;
        bool shut;
    };
    const std::string tuesday = FormatLong(LocalSeconds(2026, 3, 10, 12, 0, 0));
    const Case cases[] = {
        {"3/00:00:00/23:59:59", 10, 23, 59, 59, false},  // Tuesday is day 3 (1 = Sunday)
        {"3/00:00:00/23:59:59", 11, 0, 0, 0, true},      // Wednesday
        {"4/00:00:00/23:59:59", 10, 23, 59, 59, true},
        {"4/00:00:00/23:59:59", 11, 0, 0, 0, false},
        {tuesday + "/00:00:00/23:59:59", 10, 23, 59, 59, false},
        {tuesday + "/00:00:00/23:59:59", 11, 0, 0, 0, true},
        {"1/00:00:00/23:59:59", 15, 9, 0, 0, false},  // a Sunday
        {"7/00:00:00/23:59:59", 14, 9, 0, 0, false},  // a Saturday
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry + " on day " + std::to_string(c.day));
        CTarvellDoc doc = ProgramSettings();
        doc.PreventionEnabled = 1;
        doc.PreventionSchedule = {c.entry};
        UseSettings(doc);
        Event(1, "");
        clock.Set(LocalSeconds(2026, 3, c.day, c.hour, c.minute, c.second));
        blocking->Pass();
        EXPECT_EQ(Current().Extra.empty(), !c.shut);
    }
}

TEST_F(BlockingTest, MalformedScheduleEntriesMatchNothingAndAreLoggedOnce) {
    // Fault: short entries were read past their end and garbage read as midnight.
    CTarvellDoc doc = ProgramSettings();
    doc.PreventionEnabled = 1;
    doc.PreventionSchedule = {"0/8:00/17:00",        "x/08:00:00/17:00:00",  "0/08:00:00", "",
                              "0/25:00:00/26:00:00", "0/08:00:00/17:00:00/1"};
    UseSettings(doc);
    Event(1, "");
    blocking->Pass();
    EXPECT_FALSE(Current().Extra.empty()) << "no entry covers 10:00";
    Event(1, "");
    blocking->Pass();
    EXPECT_EQ(LogCount("Prevention schedule entry"), 6);
    EXPECT_EQ(LogCount("\"0/8:00/17:00\""), 1);
}

TEST_F(BlockingTest, AManualBlockIsCarriedOutWithPreventionOffAndASystemBlockIsNot) {
    UseSettings(ProgramSettings());
    Event(1, "");
    blocking->Pass();
    EXPECT_TRUE(Current().Extra.empty());
    EXPECT_TRUE(programs.empty());

    Event(1, "", "admin@LAB");
    blocking->Pass();
    EXPECT_EQ(Current().Extra, FormatLong(clock.Now()));
    ASSERT_EQ(programs.size(), 1u);
    // The address before the ";" and the port key are one argument; no shell, 60 s at most.
    EXPECT_EQ(programs[0].argv, (std::vector<std::string>{"/opt/block", "10.0.0.1/5"}));
    EXPECT_EQ(programs[0].timeLimitMs, 60'000);
    EXPECT_FALSE(programs[0].account);
}

TEST_F(BlockingTest, NothingHappensWithoutSnmpPreventionOrPrograms) {
    CTarvellDoc doc = BlankSettings();
    doc.PreventionEnabled = 1;
    doc.NotifyScriptFile = "/opt/notify";
    doc.NetSendMessage = "Your port is shut";
    UseSettings(doc);
    Event(1, "");
    blocking->Pass();
    EXPECT_TRUE(programs.empty());
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(Current().Extra.empty());
}

// ---- failures and retries

TEST_F(BlockingTest, AFailingBlockProgramLeavesExtraEmptyNotifiesOnceAndIsRetriedWithBackOff) {
    // Fault: a failed block ran its notifications and the program again every millisecond.
    CTarvellDoc doc = ProgramSettings();
    doc.PreventionEnabled = 1;
    doc.NotifyScriptFile = "/opt/notify";
    doc.NetSendMessage = "Your port is shut";
    UseSettings(doc);
    programResult = [](const ProcessOptions& o) {
        return Exited(o.argv[0] == "/opt/block" ? 1 : 0);
    };
    Event(1, "");

    blocking->Pass();
    EXPECT_TRUE(Current().Extra.empty());
    EXPECT_EQ(ProgramRuns("/opt/block"), 1);
    EXPECT_EQ(ProgramRuns("/opt/notify"), 1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].node, "pc-intruder");
    EXPECT_EQ(messages[0].text, "Your port is shut");
    EXPECT_EQ(LogCount("failed (it exited with 1)"), 1);

    struct Step {
        std::int64_t advance;
        int blockRuns;
    };
    // 30 s, then 60 s, 120 s, ... up to 10 min between tries.
    const Step steps[] = {{0, 1},   {29, 1},  {1, 2},   {59, 2},  {1, 3}, {120, 4},
                          {240, 5}, {480, 6}, {600, 7}, {599, 7}, {1, 8}};
    for (const Step& s : steps) {
        clock.Advance(s.advance);
        blocking->Pass();
        EXPECT_EQ(ProgramRuns("/opt/block"), s.blockRuns) << "after " << s.advance << " s more";
    }
    EXPECT_EQ(ProgramRuns("/opt/notify"), 1);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(LogCount("failed (it exited with 1)"), 1) << "logged once while it lasts";
    EXPECT_TRUE(Current().Extra.empty());

    programResult = nullptr;
    clock.Advance(600);
    blocking->Pass();
    EXPECT_EQ(Current().Extra, FormatLong(clock.Now()));
    EXPECT_EQ(ProgramRuns("/opt/notify"), 1);
}

TEST_F(BlockingTest, AProgramSucceedsOnlyWhenItExitsZeroInTime) {
    // Fault: a program counted as a success as soon as it started.
    struct Case {
        const char* name;
        ProcessResult result;
        bool shut;
    };
    ProcessResult timedOut;
    timedOut.end = ProcessEnd::TimedOut;
    ProcessResult crashed;
    crashed.end = ProcessEnd::Signalled;
    crashed.signal = 11;
    ProcessResult missing;
    missing.end = ProcessEnd::NotStarted;
    missing.error = 2;
    missing.errorText = "No such file or directory";
    const Case cases[] = {{"exit 0", Exited(0), true},      {"exit 1", Exited(1), false},
                          {"exit 255", Exited(255), false}, {"time limit", timedOut, false},
                          {"signal", crashed, false},       {"missing", missing, false}};
    UseSettings(ProgramSettings());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Make();
        programResult = [&](const ProcessOptions&) { return c.result; };
        Event(1, "", "admin@LAB");
        blocking->Pass();
        EXPECT_EQ(!Current().Extra.empty(), c.shut);
    }
    EXPECT_EQ(LogCount("did not end within 60 s"), 1);
}

TEST_F(BlockingTest, ProgramsRunUnderTheirLogOnAndAFailedLogOnRunsNothing) {
    CTarvellDoc doc = ProgramSettings();
    doc.BlockScriptLogon = "blocker/LAB/s3cret/";
    doc.NotifyScriptFile = "/opt/notify";
    doc.NotifyScriptLogon = "notifier/LAB/pw/";
    doc.NetSendMessage = "Blocked";
    doc.NetSendLogon = "sender/LAB/pw2/";
    UseSettings(doc);
    programResult = [](const ProcessOptions& o) {
        if (o.account && o.account->user == "blocker") {
            ProcessResult refused;
            refused.end = ProcessEnd::NotStarted;
            refused.logonFailed = true;
            refused.errorText = "authentication failure";
            return refused;
        }
        return Exited(0);
    };
    Event(1, "", "admin@LAB");
    blocking->Pass();
    EXPECT_TRUE(Current().Extra.empty());
    ASSERT_EQ(programs.size(), 2u);
    EXPECT_EQ(programs[0].argv, (std::vector<std::string>{"/opt/notify", "pc-intruder"}));
    ASSERT_TRUE(programs[0].account);
    EXPECT_EQ(programs[0].account->user, "notifier");
    EXPECT_EQ(programs[0].account->password, "pw");
    ASSERT_TRUE(programs[1].account);
    EXPECT_EQ(programs[1].account->user, "blocker");
    EXPECT_EQ(programs[1].account->domain, "LAB");
    EXPECT_EQ(programs[1].account->password, "s3cret");
    ASSERT_EQ(messages.size(), 1u);
    ASSERT_TRUE(messages[0].account);
    EXPECT_EQ(messages[0].account->user, "sender");
    EXPECT_EQ(LogCount("could not be run as blocker (authentication failure)"), 1);
}

TEST_F(BlockingTest, AHostileNodeNameIsNeverHandedToAProgram) {
    CTarvellDoc doc = ProgramSettings();
    doc.NotifyScriptFile = "/opt/notify";
    doc.NetSendMessage = "Blocked";
    UseSettings(doc);
    for (const std::string& name :
         {std::string("-rf"), std::string("pc\nX"), std::string(300, 'a')}) {
        Event(1, "", "admin@LAB").SourceName = name;
        blocking->Pass();
    }
    EXPECT_EQ(ProgramRuns("/opt/notify"), 0);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(ProgramRuns("/opt/block"), 3) << "the block itself goes ahead";
    // A blank and quotes are no danger as one argument.
    Event(1, "", "admin@LAB").SourceName = "pc \"1\"";
    blocking->Pass();
    ASSERT_EQ(ProgramRuns("/opt/notify"), 1);
    for (const ProgramCall& call : programs) {
        if (call.argv[0] == "/opt/notify") {
            EXPECT_EQ(call.argv, (std::vector<std::string>{"/opt/notify", "pc \"1\""}));
        }
    }
}

// ---- unblocking

TEST_F(BlockingTest, AnUnblockRequestOpensThePortAndEmptiesExtra) {
    UseSettings(ProgramSettings());
    Event(0, "1773136800", "admin@LAB");
    programResult = [](const ProcessOptions&) { return Exited(3); };
    blocking->Pass();
    EXPECT_EQ(Current().Extra, "1773136800");
    programResult = nullptr;
    clock.Advance(30);
    blocking->Pass();
    EXPECT_EQ(Current().Extra, "");
    EXPECT_EQ(Current().Blocked, 0);
    EXPECT_EQ(programs.back().argv, (std::vector<std::string>{"/opt/unblock", "10.0.0.1/5"}));
}

TEST_F(BlockingTest, AnAutomaticUnblockComesOnTheFirstPassAfterSixWholeMinutes) {
    CTarvellDoc doc = ProgramSettings();
    doc.UnblockAfterMinutes = 5;
    doc.UnblockSystemBlocked = 1;
    doc.UnblockAuthorization = 1;
    UseSettings(doc);
    Event(1, FormatLong(LocalSeconds(2026, 3, 10, 10, 0, 0)));
    struct Step {
        int minute, second;
        bool open;
    };
    for (const Step& s :
         {Step{5, 0, false}, Step{5, 59, false}, Step{6, 0, true}, Step{7, 0, true}}) {
        clock.Set(LocalSeconds(2026, 3, 10, 10, s.minute, s.second));
        blocking->Pass();
        EXPECT_EQ(Current().Extra.empty(), s.open) << "10:0" << s.minute << ":" << s.second;
        EXPECT_EQ(Current().Blocked, s.open ? 0 : 1);
    }
    EXPECT_EQ(ProgramRuns("/opt/unblock"), 1);
    RecursiveGuard lock(engine->EngineLock);
    EXPECT_EQ(engine->PortRequests, (StringList{"001122334455"}));
    EXPECT_TRUE(engine->BlockMacs.empty());
}

TEST_F(BlockingTest, AutomaticUnblockFollowsTheKindOfBlockAndAuthorisesOnlyAfterSuccess) {
    // Fault: the MAC was authorised before the unblock and again on every failed try.
    struct Case {
        const char* submitter;
        int system, manual, authorization;
        bool open;
        StringList portRequests, blockMacs;
    };
    const Case cases[] = {
        {"", 1, 0, 2, true, {}, {"001122334455"}},
        {"", 0, 1, 1, false, {}, {}},
        {"admin@LAB", 0, 1, 0, true, {}, {}},
        {"admin@LAB", 1, 0, 1, false, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("submitter '") + c.submitter + "' authorization " +
                     std::to_string(c.authorization));
        {
            RecursiveGuard lock(engine->EngineLock);
            engine->PortRequests.clear();
            engine->BlockMacs.clear();
        }
        CTarvellDoc doc = ProgramSettings();
        doc.UnblockAfterMinutes = 5;
        doc.UnblockSystemBlocked = c.system;
        doc.UnblockManualBlocked = c.manual;
        doc.UnblockAuthorization = c.authorization;
        UseSettings(doc);
        Make();
        Event(1, FormatLong(clock.Now() - 3600), c.submitter);
        // The first try fails, the retry succeeds.
        programResult = [](const ProcessOptions&) { return Exited(1); };
        blocking->Pass();
        {
            RecursiveGuard lock(engine->EngineLock);
            EXPECT_TRUE(engine->PortRequests.empty());
            EXPECT_TRUE(engine->BlockMacs.empty());
        }
        programResult = nullptr;
        clock.Advance(30);
        blocking->Pass();
        clock.Advance(30);
        blocking->Pass();
        EXPECT_EQ(Current().Extra.empty(), c.open);
        RecursiveGuard lock(engine->EngineLock);
        EXPECT_EQ(engine->PortRequests, c.portRequests);
        EXPECT_EQ(engine->BlockMacs, c.blockMacs);
    }
}

// ---- alerts

TEST_F(BlockingTest, EachChangeQueuesAPreventionAlertWhenTheyAreOn) {
    CTarvellDoc doc = ProgramSettings();
    doc.PreventionEnabled = 1;
    doc.PreventAlertsEnabled = 1;
    UseSettings(doc);
    Event(1, "");
    blocking->Pass();
    clock.Advance(1);
    Event(0, "1773136800", "admin@LAB");
    blocking->Pass();
    clock.Advance(1);
    Event(1, "", "admin@LAB");
    blocking->Pass();
    clock.Advance(1);
    Event(0, "1773136800");
    blocking->Pass();

    const std::vector<CAlertItem> alerts = Alerts();
    ASSERT_EQ(alerts.size(), 4u);
    std::vector<std::string> descriptions;
    for (const CAlertItem& a : alerts) descriptions.push_back(a.Description);
    EXPECT_EQ(descriptions, (std::vector<std::string>{"System Blocking", "Manual Unblocking",
                                                      "Manual Blocking", "System Unblocking"}));
    const CAlertItem& first = alerts[0];
    EXPECT_EQ(first.Category, "Prevention");
    EXPECT_EQ(first.State, 0);
    EXPECT_EQ(first.Severity, 4);
    EXPECT_EQ(first.EventType, "Unauthorized Node");
    EXPECT_EQ(first.SourceMac, "001122334455");
    EXPECT_EQ(first.SourceName, "pc-intruder");
    EXPECT_EQ(first.SwitchKey, "00AABB000001");
    EXPECT_EQ(first.PortKey, "5");
    EXPECT_EQ(first.DeviceIp, "10.0.0.1;10.0.0.2");
    EXPECT_EQ(alerts[1].Submitter, "admin@LAB");
}

TEST_F(BlockingTest, NoAlertsWithPreventAlertsClear) {
    CTarvellDoc doc = ProgramSettings();
    doc.PreventionEnabled = 1;
    doc.UnblockAfterMinutes = 1;
    doc.UnblockSystemBlocked = 1;
    UseSettings(doc);
    Event(1, "");
    blocking->Pass();
    EXPECT_FALSE(Current().Extra.empty());
    clock.Advance(180);
    blocking->Pass();
    EXPECT_EQ(Current().Blocked, 0);
    EXPECT_TRUE(Alerts().empty());
}

// ---- the lock and the record

TEST_F(BlockingTest, AnEventReplacedDuringTheSnmpSetKeepsTheNewRecordsState) {
    // Fault: the result was written through a pointer into a record the engine had replaced.
    CTarvellDoc doc = BlankSettings();
    doc.PreventionEnabled = 1;
    doc.SnmpPreventionEnabled = 1;
    doc.SnmpPreventionMethod = 1;
    doc.SnmpCommunitiesEnabled = 1;
    doc.SnmpCommunities = {"public/1"};
    doc.PreventAlertsEnabled = 1;
    doc.NetSendMessage = "Blocked";
    UseSettings(doc);
    Event(1, "");
    duringSet = [&] {
        // The engine re-records the port's event meanwhile (it copies Blocked and Extra).
        auto fresh = std::make_unique<CEventItem>(Current());
        fresh->DateKey = "1700000999";
        fresh->Description = "Newer";
        engine->RecordEvent(std::move(fresh));
    };
    blocking->Pass();
    duringSet = nullptr;
    const CEventItem now = Current();
    EXPECT_EQ(now.Description, "Newer");
    EXPECT_EQ(now.Blocked, 1);
    EXPECT_TRUE(now.Extra.empty());
    EXPECT_TRUE(Alerts().empty());
    EXPECT_EQ(messages.size(), 1u);

    // The next pass shuts the port for the new record, without telling the node again.
    blocking->Pass();
    EXPECT_FALSE(Current().Extra.empty());
    EXPECT_EQ(Current().Description, "Newer");
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(Alerts().size(), 1u);

    // An event purged meanwhile is not brought back.
    Event(1, "");
    duringSet = [&] {
        RecursiveGuard lock(engine->EngineLock);
        engine->EventMap.clear();
    };
    clock.Advance(1);
    blocking->Pass();
    RecursiveGuard lock(engine->EngineLock);
    EXPECT_TRUE(engine->EventMap.empty());
}

TEST_F(BlockingTest, TheEngineLockIsFreeWhileAProgramRuns) {
    UseSettings(ProgramSettings());
    Event(1, "", "admin@LAB");
    bool lockFree = false;
    programResult = [&](const ProcessOptions&) {
        std::thread other([&] {
            std::unique_lock<std::recursive_mutex> lock(engine->EngineLock, std::try_to_lock);
            lockFree = lock.owns_lock();
        });
        other.join();
        return Exited(0);
    };
    blocking->Pass();
    EXPECT_TRUE(lockFree);
}

// ---- SNMP sets

TEST_F(BlockingTest, SnmpSetsUseEveryValidCommunityAgainstTheSwitchOfTheAddress) {
    CTarvellDoc doc = BlankSettings();
    doc.SnmpPreventionEnabled = 1;
    doc.SnmpPreventionMethod = 1;
    doc.SnmpCommunitiesEnabled = 1;
    doc.SnmpCommunities = {"public/1", "/2", "zero/0", "a/b/3", "none"};
    UseSettings(doc);
    const CTarvellDoc settings = *engine->Settings();
    setResult = 0;
    EXPECT_EQ(blocking->SetPortAdminStatus("10.0.0.2", "5", settings), 0);
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0].read, "public");
    EXPECT_EQ(sets[1].read, "a/b");
    for (const SetCall& s : sets) {
        EXPECT_EQ(s.address, "10.0.0.2");
        EXPECT_EQ(s.write, "private");
        EXPECT_EQ(s.oid, "1.3.6.1.2.1.2.2.1.7.5");
        EXPECT_EQ(s.value, "2");
        EXPECT_EQ(s.timeoutMs, 1000u);
        EXPECT_EQ(s.retries, 1u);
    }
    sets.clear();
    setResult = 1;
    EXPECT_EQ(blocking->RestorePortAdminStatus("10.0.0.1", "5", settings), 1);
    ASSERT_EQ(sets.size(), 2u) << "all entries are tried";
    EXPECT_EQ(sets[0].value, "1");

    sets.clear();
    EXPECT_EQ(blocking->SetPortAdminStatus("10.9.9.9", "5", settings), 0)
        << "no switch has the address";
    EXPECT_EQ(blocking->SetPortAdminStatus("10.0.0.1", "5.1", settings), 0)
        << "not an interface index";
    EXPECT_TRUE(sets.empty());
    doc.SnmpCommunitiesEnabled = 0;
    UseSettings(doc);
    EXPECT_EQ(blocking->SetPortAdminStatus("10.0.0.1", "5", *engine->Settings()), 0);
    EXPECT_TRUE(sets.empty());
}

TEST_F(BlockingTest, AnSnmpV3SwitchIsSetWithItsUserWithoutTheCommunityList) {
    // Fault: the v1-only community list made blocking impossible on SNMPv3-only sites.
    AddSwitch("00AABB000002", "10.0.0.9").SwitchCommunity() = "SNMP/V3";
    CTarvellDoc doc = BlankSettings();
    doc.SnmpPreventionEnabled = 1;
    doc.SnmpPreventionMethod = 1;
    UseSettings(doc);
    EXPECT_EQ(blocking->SetPortAdminStatus("10.0.0.9", "2", *engine->Settings()), 1);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].read, "SNMP/V3");
    EXPECT_EQ(sets[0].write, "SNMP/V3");
    EXPECT_EQ(sets[0].oid, "1.3.6.1.2.1.2.2.1.7.2");
}

TEST_F(BlockingTest, TheConfiguredObjectsAreSetWhenTheStandardMethodIsOff) {
    CTarvellDoc doc = BlankSettings();
    doc.SnmpPreventionEnabled = 1;
    doc.SnmpPreventionMethod = 0;
    doc.SnmpCommunitiesEnabled = 1;
    doc.SnmpCommunities = {"public/1"};
    doc.SnmpBlockQuery = ".1.3.6.1.4.1.9.9.68.1.2.2.1.2.5/999";
    doc.SnmpUnblockQuery = "1.3.6.1.4.1.9.9.68.1.2.2.1.2.5/1";
    UseSettings(doc);
    const auto settings = engine->Settings();
    EXPECT_EQ(blocking->SetPortAdminStatus("10.0.0.1", "5", *settings), 1);
    EXPECT_EQ(blocking->RestorePortAdminStatus("10.0.0.1", "5", *settings), 1);
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0].oid, "1.3.6.1.4.1.9.9.68.1.2.2.1.2.5");
    EXPECT_EQ(sets[0].value, "999");
    EXPECT_EQ(sets[1].value, "1");

    doc.SnmpBlockQuery = "no slash here";
    UseSettings(doc);
    EXPECT_EQ(blocking->SetPortAdminStatus("10.0.0.1", "5", *engine->Settings()), 0);
    EXPECT_EQ(blocking->SetPortAdminStatus("10.0.0.1", "5", *engine->Settings()), 0);
    EXPECT_EQ(sets.size(), 2u);
    EXPECT_EQ(LogCount("SNMP block query"), 1);
}

TEST_F(BlockingTest, EitherTheProgramOrTheSnmpSetMakesTheBlock) {
    struct Case {
        int programExit, setResult;
        bool shut;
    };
    CTarvellDoc doc = ProgramSettings();
    doc.SnmpPreventionEnabled = 1;
    doc.SnmpPreventionMethod = 1;
    doc.SnmpCommunitiesEnabled = 1;
    doc.SnmpCommunities = {"public/1"};
    UseSettings(doc);
    for (const Case& c : {Case{0, 0, true}, Case{1, 1, true}, Case{1, 0, false}}) {
        SCOPED_TRACE(std::to_string(c.programExit) + "/" + std::to_string(c.setResult));
        Make();
        programResult = [&](const ProcessOptions&) { return Exited(c.programExit); };
        setResult = c.setResult;
        Event(1, "", "admin@LAB");
        blocking->Pass();
        EXPECT_EQ(!Current().Extra.empty(), c.shut);
    }
}

// ---- the thread

TEST_F(BlockingTest, TheThreadBlocksAndStopsCleanly) {
    UseSettings(ProgramSettings());
    Event(1, "", "admin@LAB");
    ASSERT_TRUE(blocking->Start());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Current().Extra.empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(Current().Extra.empty());
    blocking->StopAndJoin();
    EXPECT_FALSE(blocking->IsRunning());
}

}  // namespace
}  // namespace tarvell::blockingtest
