// A block request filed through the hub against a real TarvellSrv on a temporary root: the
// service takes the viewer's hand-over copy over within two passes, blocks the event for the
// requester and leaves its own settings file without the request it carried out. Only root and
// the administrators (tarvell-admin) may leave files there.
#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Files.h"
#include "platform/Registry.h"
#include "shared/StateFiles.h"
#include "tests/service/ServiceTestSupport.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/monitors/EventRequests.h"

namespace tarvell {
namespace {

using testing::BackgroundProgram;
using testing::ServiceEnvironment;
using testing::TempFolder;
using testing::WaitUntil;

constexpr int kPassMs = 500;

bool MayHandOver() {
    const struct group* admins = ::getgrnam("tarvell-admin");
    return ::geteuid() == 0 || (admins && ::group_member(admins->gr_gid));
}

TEST(HandOverSystem, ABlockRequestIsTakenOverWithinTwoPasses) {
    if (!MayHandOver()) GTEST_SKIP() << "needs root or membership of group tarvell-admin";
    TempFolder root{"viewer-system-"};
    const std::string service = root / "var/lib/tarvell";
    ASSERT_TRUE(MakeDirectories(JoinPath(service, "handover")));
    ASSERT_TRUE(WriteStateFile(JoinPath(service, kAlertLogName), AlertLogFile{}));
    EventDatabaseFile events;
    events.EventMap.emplace("S1/7", std::make_unique<CEventItem>());
    events.EventMap["S1/7"]->EventType = "New Mac";
    ASSERT_TRUE(WriteStateFile(JoinPath(service, kEventDatabaseName), events));
    ASSERT_TRUE(WriteStateFile(JoinPath(service, kReportStoreName), ReportStoreFile{}));
    const std::string program = std::string(TARVELL_BINARY_DIR) + "/service/TarvellSrv";
    const std::vector<std::string> env =
        ServiceEnvironment(root.Path(), {"TARVELL_PASS_INTERVAL_MS=" + std::to_string(kPassMs)});
    BackgroundProgram srv({program, "-Run"}, env, root / "service.txt");
    ASSERT_GT(srv.Pid(), 0);
    const std::string ini = JoinPath(service, "Tarvell.ini");
    ASSERT_TRUE(WaitUntil([&] { return FileExists(ini); }, 10'000)) << srv.Output();

    Registry registry(root / "machine", root / "user");
    ViewerEnvironment viewer;
    viewer.programFolder = service;
    viewer.registry = &registry;
    viewer.mountInfo = [] { return std::string(); };
    viewer.identity.userName = [] { return std::string("alice"); };
    viewer.identity.domainName = [] { return std::string("CORP"); };
    CTarvellApp app(viewer);
    app.ReadIdentity();
    ASSERT_TRUE(WaitUntil([&] { return app.ReloadDocument(); }, 10'000));
    ASSERT_EQ(app.BlockEvent("S1/7"), EditResult::Saved);
    const std::string copy = JoinPath(service, "handover/Tarvell.ini");

    EXPECT_TRUE(WaitUntil([&] { return !FileExists(copy); }, 2 * kPassMs + 500)) << srv.Output();

    // The service's event is blocked for the requester and written out.
    ASSERT_TRUE(WaitUntil(
        [&] {
            EventDatabaseFile now;
            if (!ReadStateFile(JoinPath(service, kEventDatabaseName), now)) return false;
            const auto it = now.EventMap.find("S1/7");
            return it != now.EventMap.end() && it->second->Blocked == 1 &&
                   it->second->Submitter == "alice@CORP";
        },
        10'000))
        << srv.Output();

    // The settings file drops the request after the state files hold its effect.
    std::string printed;
    EXPECT_TRUE(WaitUntil(
        [&] {
            BackgroundProgram print(
                {std::string(TARVELL_BINARY_DIR) + "/tools/tarvell-ini", "--print", ini}, env,
                root / "print.txt");
            printed = print.WaitForExit(10'000) == 0 ? print.Output() : "";
            return !printed.empty() && printed.find("S1/7;alice@CORP") == std::string::npos;
        },
        10'000))
        << "carried out, so no longer queued:\n"
        << printed;
}

// Block and unblock through the monitors' requests: the block program runs for the requester's
// event and its node joins the black list; the unblock (moved back to detection, node to the
// white list) runs the unblock program and opens the port again.
TEST(HandOverSystem, BlockAndUnblockRequestsRunThePortProgramsForTheRequester) {
    if (!MayHandOver()) GTEST_SKIP() << "needs root or membership of group tarvell-admin";
    TempFolder root{"viewer-requests-"};
    const std::string service = root / "var/lib/tarvell";
    const std::string calls = root / "calls.txt";
    ASSERT_TRUE(MakeDirectories(JoinPath(service, "handover")));
    ASSERT_TRUE(WriteStateFile(JoinPath(service, kAlertLogName), AlertLogFile{}));
    ASSERT_TRUE(WriteStateFile(JoinPath(service, kReportStoreName), ReportStoreFile{}));
    EventDatabaseFile events;
    auto event = std::make_unique<CEventItem>();
    event->SwitchKey = "S1";
    event->PortKey = "7";
    event->DeviceIp = "10.0.0.1";
    event->SourceMac = "001122334455";
    event->EventType = event->Description = "New Mac";
    event->Category = "Detection";
    event->DateKey = "1700000000";
    events.EventMap.emplace("S1/7", std::move(event));
    ASSERT_TRUE(WriteStateFile(JoinPath(service, kEventDatabaseName), events));
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.PreventionEnabled = 1;
    for (const char* kind : {"block", "unblock"}) {
        const std::string script = root / (std::string(kind) + ".sh");
        ASSERT_TRUE(AtomicWriteFile(
            script, "#!/bin/sh\necho \"" + std::string(kind) + " $1\" >> '" + calls + "'\n"));
        ASSERT_EQ(::chmod(script.c_str(), 0755), 0);
        (std::string(kind) == "block" ? doc.BlockScriptFile : doc.UnblockScriptFile) = script;
    }
    ASSERT_TRUE(doc.SaveToFile(JoinPath(service, CTarvellDoc::kFileName), true));
    BackgroundProgram srv(
        {std::string(TARVELL_BINARY_DIR) + "/service/TarvellSrv", "-Run"},
        ServiceEnvironment(root.Path(), {"TARVELL_PASS_INTERVAL_MS=" + std::to_string(kPassMs)}),
        root / "service.txt");
    ASSERT_GT(srv.Pid(), 0);
    auto stored = [&]() -> std::optional<CEventItem> {
        EventDatabaseFile now;
        if (!ReadStateFile(JoinPath(service, kEventDatabaseName), now)) return std::nullopt;
        const auto it = now.EventMap.find("S1/7");
        return it == now.EventMap.end() ? std::nullopt : std::optional(*it->second);
    };

    Registry registry(root / "machine", root / "user");
    ViewerEnvironment viewer;
    viewer.programFolder = service;
    viewer.registry = &registry;
    viewer.mountInfo = [] { return std::string(); };
    viewer.identity.userName = [] { return std::string("alice"); };
    viewer.identity.domainName = [] { return std::string("CORP"); };
    CTarvellApp app(viewer);
    app.ReadIdentity();
    ASSERT_TRUE(WaitUntil([&] { return app.ReloadDocument() && app.LoadEvents(); }, 10'000));
    ASSERT_EQ(BlockEvents(app, {"S1/7"}), EditResult::Saved);
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto now = stored();
            return now && now->Submitter == "alice@CORP" && !now->Extra.empty();
        },
        10'000))
        << srv.Output();
    EXPECT_EQ(ReadWholeFile(calls).value_or(""), "block 10.0.0.1/7\n");
    ASSERT_TRUE(app.ReloadDocument());
    EXPECT_EQ(app.Document().Fields().NodesBlackList, std::vector<std::string>{"001122334455/0;"});

    ASSERT_TRUE(WaitUntil([&] { return app.LoadEvents(); }, 10'000));
    UnblockRequest unblock{
        {"S1/7"}, {UnblockRemoval::MoveToDetection, NodeAuthorization::MoveToWhiteList}, false, {}};
    ASSERT_EQ(UnblockEvents(app, unblock).result, EditResult::Saved);
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto now = stored();
            return now && now->Blocked == 0 && now->Extra.empty();
        },
        10'000))
        << srv.Output();
    EXPECT_EQ(ReadWholeFile(calls).value_or(""), "block 10.0.0.1/7\nunblock 10.0.0.1/7\n");
    ASSERT_TRUE(app.ReloadDocument());
    EXPECT_TRUE(app.Document().Fields().NodesBlackList.empty());
    EXPECT_EQ(app.Document().Fields().NodesWhiteList, std::vector<std::string>{"001122334455/0;"});
}

}  // namespace
}  // namespace tarvell
