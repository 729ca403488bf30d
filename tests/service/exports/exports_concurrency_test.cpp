// Both export workers running while the engine's maps change under them: no crash, no torn
// page, and a last pass that matches the maps exactly.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/RecursiveLock.h"
#include "service/exports/CScanExportHtml.h"
#include "service/exports/CScanExportSql.h"
#include "tests/service/exports/ExportFixture.h"
#include "tests/service/exports/SqlBackends.h"

namespace tarvell::exporttest {
namespace {

class ExportConcurrencyTest : public ExportFixture {};

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Fault mended: the walk of a map dropped the lock between entries, so an entry removed
// meanwhile left the walk on freed memory.
TEST_F(ExportConcurrencyTest, MapsChangingDuringPassesLeaveWholePagesAndMatchingTables) {
    OdbcDrivers& drivers = OdbcDrivers::Get();
    const std::string connect =
        "DRIVER={Tarvell SQLite3};Database=" + JoinPath(root, "export.db") + ";";
    CTarvellDoc doc = Settings();
    doc.HtmlExportOn = 1;
    doc.HtmlFolder = exportFolder;
    doc.HtmlEventsPage = "Events";
    doc.HtmlAlertsPage = "Alerts";
    doc.HtmlEventsColumns[2] = "DeviceIp";
    doc.HtmlAlertsColumns[8] = "Description";
    doc.SqlExportOn = drivers.sqlite.empty() ? 0 : 1;
    doc.SqlDatabase = connect;
    doc.SqlEventsTable = "Events";
    doc.SqlAlertsTable = "Alerts";
    doc.SqlEventsColumns[2] = "DeviceIp";
    doc.SqlAlertsColumns[8] = "Description";
    UseSettings(doc);
    for (int i = 0; i < 300; ++i) Event(std::to_string(i), "1", 1'699'990'000 + i);

    CScanExportHtml html(*engine, 5);
    CScanExportSql sql(*engine, 5);
    ASSERT_TRUE(html.Start());
    ASSERT_TRUE(sql.Start());
    std::atomic<bool> stop{false};
    std::thread mutator([&] {
        for (int round = 0; !stop.load(); ++round) {
            {
                RecursiveGuard lock(engine->EngineLock);
                engine->EventMap.erase(std::to_string(round % 300) + "/1");
                auto event = std::make_unique<CEventItem>();
                event->DateKey = "1699990000";
                event->DeviceIp = "10.3.0." + std::to_string(round % 250);
                event->Deleted = round % 7 == 0;
                engine->EventMap[std::to_string((round * 7) % 300) + "/1"] = std::move(event);
            }
            {
                RecursiveGuard lock(engine->AlertLock);
                auto alert = std::make_unique<CAlertItem>();
                alert->Description = "New Mac";
                engine->AlertLog["17000" + std::to_string(round % 500) + ".0"] = std::move(alert);
                if (round % 3 == 0) engine->AlertLog.erase(engine->AlertLog.begin());
            }
            std::this_thread::yield();
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    stop = true;
    mutator.join();
    html.StopAndJoin();
    sql.StopAndJoin();

    // A last pass with the maps at rest matches them exactly.
    html.ExportOnce();
    sql.ExportOnce();
    std::size_t events = 0, alerts = 0;
    {
        RecursiveGuard lock(engine->EngineLock);
        for (const auto& [key, e] : engine->EventMap) events += e->Deleted == 0;
    }
    {
        RecursiveGuard lock(engine->AlertLock);
        alerts = engine->AlertLog.size();
    }
    const std::string page = ReadWholeFile(JoinPath(exportFolder, "Events.htm")).value_or("");
    EXPECT_EQ(Count(page, "list.ListItems.add("), events);
    EXPECT_EQ(page.substr(page.size() - 7), "</body>");
    const std::string alertPage = ReadWholeFile(JoinPath(exportFolder, "Alerts.htm")).value_or("");
    EXPECT_EQ(Count(alertPage, "list.ListItems.add("), alerts);
    if (doc.SqlExportOn) {
        auto rows = Query(connect, "SELECT \"PKey\" FROM \"Events\"");
        ASSERT_TRUE(rows);
        EXPECT_EQ(rows->size(), events);
        rows = Query(connect, "SELECT \"PKey\" FROM \"Alerts\"");
        ASSERT_TRUE(rows);
        EXPECT_EQ(rows->size(), alerts);
    }
    EXPECT_TRUE(log.Lines().empty()) << log.Lines().front();
}

}  // namespace
}  // namespace tarvell::exporttest
