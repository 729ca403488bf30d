// Alerts removed and cleared through the hub against a real TarvellSrv on a temporary root: after
// a pass the service's alert file marks exactly those alerts (State 1), and the viewer's next
// reading does not bring them back.
#include <gtest/gtest.h>
#include <grp.h>
#include <unistd.h>

#include <set>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "shared/StateFiles.h"
#include "tests/service/ServiceTestSupport.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/hub/Readers.h"
#include "viewer/core/hub/SettingsEdit.h"

namespace tarvell {
namespace {

using testing::BackgroundProgram;
using testing::ServiceEnvironment;
using testing::TempFolder;
using testing::WaitUntil;

constexpr int kPassMs = 500;

TEST(AlertsSystem, RemovedAndClearedAlertsAreMarkedByTheServiceAndStayAway) {
    const struct group* admins = ::getgrnam("tarvell-admin");
    if (::geteuid() != 0 && !(admins && ::group_member(admins->gr_gid)))
        GTEST_SKIP() << "needs root or membership of group tarvell-admin";
    TempFolder root{"viewer-alerts-system-"};
    const std::string service = root / "var/lib/tarvell";
    ASSERT_TRUE(MakeDirectories(JoinPath(service, "handover")));
    const std::string now = std::to_string(SystemClock().Now());
    AlertLogFile alerts;
    const std::pair<const char*, const char*> seed[] = {{".1", "Detection"},
                                                        {".2", "Detection"},
                                                        {".3", "Detection"},
                                                        {".4", "Prevention"},
                                                        {".5", "Prevention"}};
    for (const auto& [counter, category] : seed) {
        auto a = std::make_unique<CAlertItem>();
        a->Category = category;
        a->Description = "New Mac";
        alerts.AlertLog.emplace(now + counter, std::move(a));
    }
    ASSERT_TRUE(WriteStateFile(JoinPath(service, kAlertLogName), alerts));
    ASSERT_TRUE(WriteStateFile(JoinPath(service, kEventDatabaseName), EventDatabaseFile{}));
    ASSERT_TRUE(WriteStateFile(JoinPath(service, kReportStoreName), ReportStoreFile{}));
    const std::vector<std::string> env =
        ServiceEnvironment(root.Path(), {"TARVELL_PASS_INTERVAL_MS=" + std::to_string(kPassMs)});
    BackgroundProgram srv({std::string(TARVELL_BINARY_DIR) + "/service/TarvellSrv", "-Run"}, env,
                          root / "service.txt");
    ASSERT_GT(srv.Pid(), 0);
    ASSERT_TRUE(WaitUntil([&] { return FileExists(JoinPath(service, "Tarvell.ini")); }, 10'000))
        << srv.Output();

    Registry registry(root / "machine", root / "user");
    ViewerEnvironment viewer;
    viewer.programFolder = service;
    viewer.registry = &registry;
    viewer.mountInfo = [] { return std::string(); };
    CTarvellApp app(viewer);
    ASSERT_TRUE(WaitUntil([&] { return app.ReloadDocument(); }, 10'000));
    ASSERT_TRUE(app.LoadAlerts());
    ASSERT_EQ(app.Alerts()->AlertLog.size(), 5u);

    EXPECT_EQ(app.RemoveAlerts({now + ".1", now + ".3"}).size(), 2u);
    EXPECT_EQ(app.ClearPreventionAlerts(), EditResult::Saved);
    const std::set<std::string> gone = {now + ".1", now + ".3", now + ".4", now + ".5"};

    ASSERT_TRUE(WaitUntil(
        [&] {
            AlertLogFile file;
            if (!ReadStateFile(JoinPath(service, kAlertLogName), file)) return false;
            for (const auto& [key, alert] : file.AlertLog)
                if ((alert->State == 1) != (gone.count(key) == 1)) return false;
            return file.AlertLog.count(now + ".2") == 1;
        },
        10'000))
        << srv.Output();

    CTarvellLog reader(app);
    for (int pass = 0; pass < 2; ++pass) ASSERT_TRUE(reader.PassOnce());
    ASSERT_EQ(app.Alerts()->AlertLog.size(), 1u);
    EXPECT_EQ(app.Alerts()->AlertLog.count(now + ".2"), 1u);
}

}  // namespace
}  // namespace tarvell
