// The status line's switch against a real TarvellSrv on a temporary root: with prevention off a
// system block waits; switching prevention on hands the settings over, the service runs the
// block program once and marks the port shut; switching it off again leaves a new block open.
// Only root and the administrators (tarvell-admin) may leave files in the hand-over folder.
#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/Files.h"
#include "platform/Registry.h"
#include "shared/StateFiles.h"
#include "tests/service/ServiceTestSupport.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/protection/ProtectionRows.h"

namespace tarvell {
namespace {

using testing::BackgroundProgram;
using testing::ServiceEnvironment;
using testing::TempFolder;
using testing::WaitUntil;

constexpr int kPassMs = 200;

bool MayHandOver() {
    const struct group* admins = ::getgrnam("tarvell-admin");
    return ::geteuid() == 0 || (admins && ::group_member(admins->gr_gid));
}

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

TEST(ProtectionServiceSystem, ThePreventionSwitchDecidesWhetherASystemBlockIsCarriedOut) {
    if (!MayHandOver()) GTEST_SKIP() << "needs root or membership of group tarvell-admin";
    TempFolder root{"protection-system-"};
    const std::string service = root / "var/lib/tarvell";
    const std::string script = root / "block.sh", calls = root / "calls.txt",
                      eventFile = root / "event.txt";
    ASSERT_TRUE(MakeDirectories(JoinPath(service, "handover")));
    ASSERT_TRUE(WriteStateFile(JoinPath(service, kAlertLogName), AlertLogFile{}));
    ASSERT_TRUE(WriteStateFile(JoinPath(service, kReportStoreName), ReportStoreFile{}));
    EventDatabaseFile events;
    events.EventMap["S1/7"] = SystemBlock("7", "10.0.0.1");
    ASSERT_TRUE(WriteStateFile(JoinPath(service, kEventDatabaseName), events));
    ASSERT_TRUE(AtomicWriteFile(script, "#!/bin/sh\necho \"$1\" >> '" + calls + "'\n"));
    ASSERT_EQ(::chmod(script.c_str(), 0755), 0);
    CTarvellDoc doc;
    doc.PreventionEnabled = 0;
    doc.BlockScriptFile = script;
    ASSERT_TRUE(doc.SaveToFile(JoinPath(service, CTarvellDoc::kFileName), true));

    const std::string program = std::string(TARVELL_BINARY_DIR) + "/service/TarvellSrv";
    BackgroundProgram srv(
        {program, "-Run"},
        ServiceEnvironment(root.Path(), {"TARVELL_PASS_INTERVAL_MS=" + std::to_string(kPassMs),
                                         "TARVELL_TEST_EVENT_FILE=" + eventFile}),
        root / "service.txt");
    ASSERT_GT(srv.Pid(), 0);
    auto stored = [&](const std::string& key) -> std::optional<CEventItem> {
        EventDatabaseFile now;
        if (!ReadStateFile(JoinPath(service, kEventDatabaseName), now)) return std::nullopt;
        const auto it = now.EventMap.find(key);
        if (it == now.EventMap.end()) return std::nullopt;
        return *it->second;
    };
    auto callsText = [&] { return ReadWholeFile(calls).value_or(""); };

    std::this_thread::sleep_for(std::chrono::milliseconds(6 * kPassMs + 300));
    EXPECT_EQ(callsText(), "") << "prevention off: the block waits";
    ASSERT_TRUE(stored("S1/7"));
    EXPECT_EQ(stored("S1/7")->Extra, "");

    Registry registry(root / "machine", root / "user");
    ViewerEnvironment viewer;
    viewer.programFolder = service;
    viewer.registry = &registry;
    viewer.mountInfo = [] { return std::string(); };
    CTarvellApp app(viewer);
    ASSERT_TRUE(WaitUntil([&] { return app.ReloadDocument(); }, 10'000));
    const std::string copy = JoinPath(service, "handover/Tarvell.ini");

    bool on = false;
    ASSERT_EQ(ToggleMasterSwitch(app, ProtectionSide::Prevention, on), EditResult::Saved);
    EXPECT_TRUE(on);
    EXPECT_TRUE(WaitUntil([&] { return !FileExists(copy); }, 10'000)) << srv.Output();
    ASSERT_TRUE(WaitUntil([&] { return stored("S1/7") && !stored("S1/7")->Extra.empty(); }, 10'000))
        << srv.Output();
    EXPECT_EQ(callsText(), "10.0.0.1/7\n");

    ASSERT_EQ(ToggleMasterSwitch(app, ProtectionSide::Prevention, on), EditResult::Saved);
    EXPECT_FALSE(on);
    EXPECT_TRUE(WaitUntil([&] { return !FileExists(copy); }, 10'000)) << srv.Output();
    ASSERT_TRUE(AtomicWriteFile(
        eventFile,
        "SwitchKey S1\nPortKey 8\nDeviceIp 10.0.0.2\nSourceMac 001122334466\n"
        "Category Detection\nEventType Unauthorized Node\nDescription Unauthorized Node\n"
        "Blocked 1\n"));
    ASSERT_TRUE(WaitUntil([&] { return stored("S1/8").has_value(); }, 10'000)) << srv.Output();
    std::this_thread::sleep_for(std::chrono::milliseconds(6 * kPassMs + 300));
    ASSERT_TRUE(stored("S1/8"));
    EXPECT_EQ(stored("S1/8")->Extra, "") << "prevention off again: the new block stays open";
    EXPECT_EQ(callsText(), "10.0.0.1/7\n");
    EXPECT_FALSE(stored("S1/7")->Extra.empty());
}

}  // namespace
}  // namespace tarvell
