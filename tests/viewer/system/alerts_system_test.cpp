// Alerts removed and cleared through the hub against a real TarvellSrv on a temporary root: after
// a pass the service's alert file marks exactly those alerts (State 1), and the viewer's next
// reading does not bring them back.
#include <gtest/gtest.h>

#include <set>

#include "platform/Clock.h"
#include "tests/support/ServiceViewer.h"
#include "viewer/core/hub/Readers.h"
#include "viewer/core/hub/SettingsEdit.h"

namespace tarvell::testing {
namespace {

TEST(AlertsSystem, RemovedAndClearedAlertsAreMarkedByTheServiceAndStayAway) {
    if (!MayHandOver()) GTEST_SKIP() << "needs root or membership of group tarvell-admin";
    RunningService service("viewer-alerts-system-");
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
    ASSERT_TRUE(MakeDirectories(service.Folder()) &&
                WriteStateFile(service.Path(kAlertLogName), alerts));
    ASSERT_TRUE(service.Install() && service.Run({}, 500));
    ASSERT_TRUE(WaitUntil([&] { return FileExists(service.Ini()); }, 10'000)) << service.Output();

    ServiceViewer viewer(service);
    CTarvellApp& app = viewer.app;
    ASSERT_TRUE(viewer.Connected());
    ASSERT_TRUE(app.LoadAlerts());
    ASSERT_EQ(app.Alerts()->AlertLog.size(), 5u);

    EXPECT_EQ(app.RemoveAlerts({now + ".1", now + ".3"}).size(), 2u);
    EXPECT_EQ(app.ClearPreventionAlerts(), EditResult::Saved);
    const std::set<std::string> gone = {now + ".1", now + ".3", now + ".4", now + ".5"};

    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto file = service.Read<AlertLogFile>(kAlertLogName);
            if (!file) return false;
            for (const auto& [key, alert] : file->AlertLog)
                if ((alert->State == 1) != (gone.count(key) == 1)) return false;
            return file->AlertLog.count(now + ".2") == 1;
        },
        10'000))
        << service.Output();

    CTarvellLog reader(app);
    for (int pass = 0; pass < 2; ++pass) ASSERT_TRUE(reader.PassOnce());
    ASSERT_EQ(app.Alerts()->AlertLog.size(), 1u);
    EXPECT_EQ(app.Alerts()->AlertLog.count(now + ".2"), 1u);
}

}  // namespace
}  // namespace tarvell::testing
