// Block and unblock requests filed through the hub against a real TarvellSrv on a temporary root.
// Only root and the administrators (tarvell-admin) may leave files in the hand-over folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/ServiceViewer.h"
#include "viewer/core/monitors/EventRequests.h"

namespace tarvell::testing {
namespace {

constexpr int kPassMs = 500;

// Block and unblock through the monitors' requests: the service takes the hand-over within two
// passes, the block program runs for the requester's event, its node joins the black list and
// the settings file drops the request once the state files hold its effect; the unblock (moved
// back to detection, node to the white list) runs the unblock program and opens the port again.
TEST(HandOverSystem, BlockAndUnblockRequestsRunThePortProgramsForTheRequester) {
    if (!MayHandOver()) GTEST_SKIP() << "needs root or membership of group tarvell-admin";
    RunningService service("viewer-requests-");
    const std::string calls = service.Root() / "calls.txt";
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
    ASSERT_TRUE(SeedStateFiles(service.Folder()) &&
                WriteStateFile(service.Path(kEventDatabaseName), events));
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.PreventionEnabled = 1;
    for (const char* kind : {"block", "unblock"}) {
        const std::string script = service.Root() / (std::string(kind) + ".sh");
        ASSERT_TRUE(AtomicWriteFile(
            script, "#!/bin/sh\necho \"" + std::string(kind) + " $1\" >> '" + calls + "'\n"));
        ASSERT_EQ(::chmod(script.c_str(), 0755), 0);
        (std::string(kind) == "block" ? doc.BlockScriptFile : doc.UnblockScriptFile) = script;
    }
    ASSERT_TRUE(service.Start(doc, {}, kPassMs));
    auto stored = [&] { return service.Event("S1/7"); };

    ServiceViewer viewer(service, "alice", "CORP");
    CTarvellApp& app = viewer.app;
    ASSERT_TRUE(WaitUntil([&] { return app.ReloadDocument() && app.LoadEvents(); }, 10'000));
    ASSERT_EQ(BlockEvents(app, {"S1/7"}), EditResult::Saved);
    EXPECT_TRUE(service.HandOverTaken(2 * kPassMs + 500)) << service.Output();
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto now = stored();
            return now && now->Submitter == "alice@CORP" && !now->Extra.empty();
        },
        10'000))
        << service.Output();
    EXPECT_EQ(ReadWholeFile(calls).value_or(""), "block 10.0.0.1/7\n");
    std::string printed;
    EXPECT_TRUE(WaitUntil(
        [&] {
            printed = service.PrintIni();
            return !printed.empty() && printed.find("S1/7;alice@CORP") == std::string::npos;
        },
        10'000))
        << "carried out, so no longer queued:\n"
        << printed;
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
        << service.Output();
    EXPECT_EQ(ReadWholeFile(calls).value_or(""), "block 10.0.0.1/7\nunblock 10.0.0.1/7\n");
    ASSERT_TRUE(app.ReloadDocument());
    EXPECT_TRUE(app.Document().Fields().NodesBlackList.empty());
    EXPECT_EQ(app.Document().Fields().NodesWhiteList, std::vector<std::string>{"001122334455/0;"});
}

}  // namespace
}  // namespace tarvell::testing
