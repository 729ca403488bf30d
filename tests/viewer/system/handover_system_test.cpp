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

    BackgroundProgram print(
        {std::string(TARVELL_BINARY_DIR) + "/tools/tarvell-ini", "--print", ini}, env,
        root / "print.txt");
    ASSERT_EQ(print.WaitForExit(10'000), 0) << print.Output();
    EXPECT_EQ(print.Output().find("S1/7;alice@CORP"), std::string::npos)
        << "carried out, so no longer queued";
}

}  // namespace
}  // namespace tarvell
