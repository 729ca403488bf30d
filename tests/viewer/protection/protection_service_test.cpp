// The protection screens against a real TarvellSrv on a temporary root. The status line's
// switch: with prevention off a system block waits; switching prevention on hands the settings
// over, the service runs the block program once and marks the port shut; switching it off again
// leaves a new block open. The schedule and automatic unblocking pages: what their OK stores is
// what the service acts on. Only root and the administrators (tarvell-admin) may leave files in
// the hand-over folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>

#include "tests/support/ServiceViewer.h"
#include "viewer/core/hub/SettingsEdit.h"
#include "viewer/core/protection/PreventionPages.h"
#include "viewer/core/protection/ProtectionRows.h"

namespace tarvell::testing {
namespace {

std::unique_ptr<CEventItem> SystemBlock(const std::string& port, const std::string& ip) {
    auto event = std::make_unique<CEventItem>();
    event->SwitchKey = "S1";
    event->PortKey = port;
    event->DeviceIp = ip;
    event->SourceMac = "001122334455";
    event->EventType = event->Description = "Unauthorized Node";
    event->Category = "Detection";
    event->DateKey = "1700000000";
    event->Blocked = 1;  // no Extra, no Submitter: a block of the system's own
    return event;
}

// A service with block and unblock programs that log their calls, and a viewer hub beside it.
class ServiceRun : public RunningService {
public:
    ServiceRun(CTarvellDoc doc, const EventDatabaseFile& events)
        : RunningService("protection-system-") {
        EXPECT_TRUE(SeedStateFiles(Folder()) && WriteStateFile(Path(kEventDatabaseName), events));
        for (const char* name : {"block", "unblock"}) {
            const std::string script = Root() / (std::string(name) + ".sh");
            EXPECT_TRUE(AtomicWriteFile(
                script, "#!/bin/sh\necho \"" + std::string(name) + " $1\" >> '" + calls_ + "'\n"));
            EXPECT_EQ(::chmod(script.c_str(), 0755), 0);
        }
        doc.BlockScriptFile = Root() / "block.sh";
        doc.UnblockScriptFile = Root() / "unblock.sh";
        EXPECT_TRUE(Start(doc));
    }
    bool Connected() { return viewer_.Connected(); }
    CTarvellApp& App() { return viewer_.app; }
    std::string Calls() const { return ReadWholeFile(calls_).value_or(""); }
    // A new system block of port `port`, through the service's test event file.
    void AddBlock(const std::string& port, const std::string& ip) {
        EXPECT_TRUE(RecordEvent("SwitchKey S1\nPortKey " + port + "\nDeviceIp " + ip +
                                    "\nSourceMac 001122334466\nCategory Detection\n"
                                    "EventType Unauthorized Node\nDescription Unauthorized Node\n"
                                    "Blocked 1\n",
                                "S1/" + port))
            << Output();
        EXPECT_TRUE(WaitUntil([&] { return Event("S1/" + port).has_value(); }, 10'000));
    }
    bool AlertLogged(const std::string& description) const {
        const auto log = Read<AlertLogFile>(kAlertLogName);
        if (!log) return false;
        for (const auto& [key, alert] : log->AlertLog)
            if (alert->Description == description) return true;
        return false;
    }

private:
    const std::string calls_ = Root() / "calls.txt";
    ServiceViewer viewer_{*this};
};

TEST(ProtectionServiceSystem, ThePreventionSwitchDecidesWhetherASystemBlockIsCarriedOut) {
    if (!MayHandOver()) GTEST_SKIP() << "needs root or membership of group tarvell-admin";
    CTarvellDoc doc;
    doc.PreventionEnabled = 0;
    EventDatabaseFile events;
    events.EventMap["S1/7"] = SystemBlock("7", "10.0.0.1");
    ServiceRun run(doc, events);
    ASSERT_TRUE(run.Connected());

    ServiceRun::Passes(6);
    EXPECT_EQ(run.Calls(), "") << "prevention off: the block waits";
    ASSERT_TRUE(run.Event("S1/7"));
    EXPECT_EQ(run.Event("S1/7")->Extra, "");

    bool on = false;
    ASSERT_EQ(ToggleMasterSwitch(run.App(), ProtectionSide::Prevention, on), EditResult::Saved);
    EXPECT_TRUE(on);
    EXPECT_TRUE(run.HandOverTaken()) << run.Output();
    ASSERT_TRUE(
        WaitUntil([&] { return run.Event("S1/7") && !run.Event("S1/7")->Extra.empty(); }, 10'000))
        << run.Output();
    EXPECT_EQ(run.Calls(), "block 10.0.0.1/7\n");

    ASSERT_EQ(ToggleMasterSwitch(run.App(), ProtectionSide::Prevention, on), EditResult::Saved);
    EXPECT_FALSE(on);
    EXPECT_TRUE(run.HandOverTaken()) << run.Output();
    run.AddBlock("8", "10.0.0.2");
    ServiceRun::Passes(6);
    ASSERT_TRUE(run.Event("S1/8"));
    EXPECT_EQ(run.Event("S1/8")->Extra, "") << "prevention off again: the new block stays open";
    EXPECT_EQ(run.Calls(), "block 10.0.0.1/7\n");
    EXPECT_FALSE(run.Event("S1/7")->Extra.empty());
}

// Runs a prevention page's OK: load from the hub's document, change, check, store.
template <typename Page>
EditResult PageOk(CTarvellApp& app, Page (*load)(const CTarvellDoc&),
                  const std::function<void(Page&)>& change) {
    Page page = load(app.Document().Fields());
    change(page);
    if (Check(page) != 0) return EditResult::SaveFailed;
    return EditSettings(app, [&](CTarvellDoc& doc) { Store(page, doc); });
}

TEST(ProtectionServiceSystem, AScheduleOkHoldsBlocksBackAndUntickingItLetsThemThrough) {
    if (!MayHandOver()) GTEST_SKIP() << "needs root or membership of group tarvell-admin";
    CTarvellDoc doc;
    doc.PreventionEnabled = 1;
    ServiceRun run(doc, EventDatabaseFile{});
    ASSERT_TRUE(run.Connected());

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    const std::string today = std::to_string(local.tm_mon + 1) + "/" +
                              std::to_string(local.tm_mday) + "/" +
                              std::to_string(local.tm_year + 1900);
    ASSERT_EQ(PageOk<PreventSchedulePage>(
                  run.App(), LoadPreventSchedule,
                  [&](PreventSchedulePage& page) {
                      page.master = true;
                      // The times as an en-US display shows them.
                      const int start = *ParseScheduleTime("12:00:00 AM");
                      const int end = *ParseScheduleTime("11:59:59 PM");
                      page.rows = {{0, start, end}, {*ParseScheduleDay(today), start, end}};
                  }),
              EditResult::Saved);
    EXPECT_TRUE(run.HandOverTaken()) << run.Output();
    run.AddBlock("8", "10.0.0.2");
    ServiceRun::Passes(5);
    EXPECT_EQ(run.Calls(), "") << "inside the schedule no port is shut";
    EXPECT_EQ(run.Output().find("could not be read"), std::string::npos) << run.Output();

    ASSERT_EQ(PageOk<PreventSchedulePage>(run.App(), LoadPreventSchedule,
                                          [](PreventSchedulePage& page) { page.master = false; }),
              EditResult::Saved);
    EXPECT_TRUE(run.HandOverTaken()) << run.Output();
    EXPECT_TRUE(WaitUntil([&] { return run.Calls() == "block 10.0.0.2/8\n"; }, 3000))
        << run.Calls() << run.Output();
}

TEST(ProtectionServiceSystem, AutomaticUnblockingOpensABlockOlderThanTheMinutesSet) {
    if (!MayHandOver()) GTEST_SKIP() << "needs root or membership of group tarvell-admin";
    CTarvellDoc doc;
    doc.PreventionEnabled = 1;
    doc.PreventAlertsEnabled = 1;
    EventDatabaseFile events;
    events.EventMap["S1/7"] = SystemBlock("7", "10.0.0.1");
    events.EventMap["S1/7"]->Extra = std::to_string(std::time(nullptr) - 600);
    ServiceRun run(doc, events);
    ASSERT_TRUE(run.Connected());
    auto unblockAfter = [&](const char* minutes) {
        return PageOk<PreventUnblockPage>(run.App(), LoadPreventUnblock,
                                          [&](PreventUnblockPage& page) {
                                              page.master = true;
                                              page.systemBlocked = true;
                                              page.minutes = minutes;
                                          });
    };

    ASSERT_EQ(unblockAfter("15"), EditResult::Saved);
    EXPECT_TRUE(run.HandOverTaken()) << run.Output();
    ServiceRun::Passes(5);
    EXPECT_EQ(run.Calls(), "") << "blocked ten minutes ago: 15 minutes have not passed";

    ASSERT_EQ(unblockAfter("5"), EditResult::Saved);
    EXPECT_TRUE(run.HandOverTaken()) << run.Output();
    ASSERT_TRUE(
        WaitUntil([&] { return run.Event("S1/7") && run.Event("S1/7")->Blocked == 0; }, 10'000))
        << run.Output();
    EXPECT_EQ(run.Calls(), "unblock 10.0.0.1/7\n");
    EXPECT_EQ(run.Event("S1/7")->Extra, "");
    EXPECT_TRUE(WaitUntil([&] { return run.AlertLogged("System Unblocking"); }, 20'000));
}

}  // namespace
}  // namespace tarvell::testing
