// Block and unblock requests filed through the hub against a real TarvellSrv on a temporary root.
// Only root and the administrators (tarvell-admin) may leave files in the hand-over folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/ServiceViewer.h"
#include "viewer/core/hub/SettingsEdit.h"
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

// A settings file left in the hand-over folder by an account that is no administrator (as a
// user taken out of the group may still do from an old session): the service refuses it and sets
// it aside, and an administrator's next save through the viewer hands over her values, never the
// refused file's, also when she saves while that file is still there.
TEST(HandOverSystem, ARefusedFileIsSetAsideAndASaveHandsOverOnlyTheAdministratorsValues) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a file away";
    RunningService service("viewer-refused-");
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.SmtpSender = "admin@lab.test";
    ASSERT_TRUE(service.Start(doc, {}, kPassMs));
    ASSERT_TRUE(service.Started()) << service.Output();
    ServiceViewer viewer(service, "alice", "CORP");
    ASSERT_TRUE(viewer.Connected());
    // Made elsewhere and renamed in, so that the service never sees it owned by root.
    const auto plant = [&] {
        CTarvellDoc foreign = doc;
        foreign.SmtpSender = "evil@x";
        const std::string staged = service.Root() / "foreign.ini";
        return foreign.SaveToFile(staged, true, 0640) &&
               ::chown(staged.c_str(), 54321, 54321) == 0 &&
               ::rename(staged.c_str(), service.HandOver().c_str()) == 0;
    };
    const auto setAside = [&] {
        std::size_t n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(service.Path("handover")))
            n += entry.path().filename().string().rfind("Tarvell.ini.bad-", 0) == 0;
        return n;
    };

    ASSERT_TRUE(plant());
    ASSERT_TRUE(service.WaitForLineWith(
        "its owner uid 54321 is neither root nor an administrator; kept as " + service.HandOver() +
        ".bad-"))
        << service.Output();
    EXPECT_FALSE(FileExists(service.HandOver()));
    EXPECT_EQ(setAside(), 1u);
    EXPECT_NE(service.PrintIni().find("SmtpSender=admin@lab.test\n"), std::string::npos);

    ASSERT_TRUE(plant());
    ASSERT_EQ(EditSettings(viewer.app, [](CTarvellDoc& d) { d.EmailSubject = "saved by alice"; }),
              EditResult::Saved);
    EXPECT_EQ(viewer.app.Document().Fields().SmtpSender, "admin@lab.test");
    EXPECT_TRUE(service.HandOverTaken()) << service.Output();
    std::string printed;
    ASSERT_TRUE(WaitUntil(
        [&] {
            printed = service.PrintIni();
            return printed.find("EmailSubject=saved by alice\n") != std::string::npos;
        },
        10'000))
        << printed << service.Output();
    EXPECT_NE(printed.find("SmtpSender=admin@lab.test\n"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("evil@x"), std::string::npos) << printed;

    // A folder at the copy's name (a stale session's) once locked every administrator out, also
    // after a restart: the service sets it aside in one line and her save goes through.
    ASSERT_TRUE(service.Stop()) << service.Output();
    ASSERT_TRUE(MakeDirectories(service.HandOver()));
    ASSERT_TRUE(service.Run({}, kPassMs));
    ASSERT_TRUE(service.WaitForLineWith("is ignored: a folder; kept as " + service.HandOver() +
                                        ".bad-"))
        << service.Output();
    EXPECT_EQ(service.LinesWith("is ignored: a folder").size(), 1u) << service.Output();
    ASSERT_TRUE(viewer.app.ReloadDocument());
    ASSERT_EQ(EditSettings(viewer.app, [](CTarvellDoc& d) { d.EmailSubject = "after a restart"; }),
              EditResult::Saved);
    EXPECT_TRUE(WaitUntil(
        [&] { return service.PrintIni().find("EmailSubject=after a restart\n") != std::string::npos; },
        10'000))
        << service.Output();
    EXPECT_TRUE(service.Stop()) << service.Output();
}

}  // namespace
}  // namespace tarvell::testing
