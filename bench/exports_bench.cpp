// Export throughput: the HTML pages and the database export (SQLite file and a private
// PostgreSQL server) of 50 000 events and 100 000 alerts, first pass and an unchanged second
// pass (left unwritten) against the same pass written whole, with the longest hold of a map lock
// and the time of the digest that tells an unchanged page. Prints one line per figure;
// --html-only leaves the database export out.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "platform/EventLog.h"
#include "platform/Files.h"
#include "platform/RecursiveLock.h"
#include "service/engine/CTarvellFrm.h"
#include "service/exports/CScanExportHtml.h"
#include "service/exports/CScanExportSql.h"
#include "service/exports/HtmlPage.h"
#include "tests/service/exports/SqlBackends.h"

namespace tarvell {
namespace {

constexpr int kEvents = 50'000;
constexpr int kAlerts = 100'000;

using SteadyClock = std::chrono::steady_clock;

double SecondsSince(SteadyClock::time_point start) {
    return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

void Fill(CTarvellFrm& engine) {
    RecursiveGuard lock(engine.EngineLock);
    RecursiveGuard alertLock(engine.AlertLock);
    for (int n = 0; n < kEvents + kAlerts; ++n) {
        const std::string switchKey = "SW" + std::to_string(n / 48);
        const std::string port = std::to_string(n % 48 + 1);
        auto fill = [&](auto& item) {
            item.Description = "New Mac";
            item.EventType = "New Mac";
            item.DeviceIp = "10.0." + std::to_string(n / 48 % 250) + ".1";
            item.DeviceName = "switch-" + switchKey;
            item.DevicePort = "GigabitEthernet0/" + port;
            item.DeviceLocation = "Building 4, floor 2, wiring closet B";
            item.SourceMac = "00AA" + std::to_string(10'000'000 + n);
            item.SourceIp = "10.1." + std::to_string(n / 250 % 250) + "." + std::to_string(n % 250);
            item.SourceName = "workstation-" + std::to_string(n) + ".example.internal";
            item.Current = item.SourceMac;
            item.Severity = n % 6;
        };
        if (n < kEvents) {
            auto event = std::make_unique<CEventItem>();
            fill(*event);
            event->DateKey = std::to_string(1'700'000'000 + n);
            event->Blocked = n % 5 == 0;
            engine.EventMap[switchKey + "/" + port] = std::move(event);
        } else {
            auto alert = std::make_unique<CAlertItem>();
            fill(*alert);
            engine.AlertLog[std::to_string(1'700'000'000 + n / 10) + "." + std::to_string(n % 10)] =
                std::move(alert);
        }
    }
}

void SqlRun(CTarvellFrm& engine, CTarvellDoc doc, const std::string& name,
            const std::string& connect, TestEventLog& log) {
    doc.SqlExportOn = 1;
    doc.SqlDatabase = connect;
    *engine.Document = doc;
    engine.PublishSettings();
    CScanExportSql sql(engine);
    for (const char* pass : {"first", "second (unchanged)"}) {
        const auto start = SteadyClock::now();
        sql.ExportOnce();
        std::printf("%-10s %-20s pass: %7.2f s   longest lock hold %6.2f ms\n", name.c_str(), pass,
                    SecondsSince(start), sql.LongestLockHoldUs() / 1000.0);
    }
    for (const std::string& line : log.Lines()) std::printf("  log: %s\n", line.c_str());
    log.Clear();
}

int Main(bool htmlOnly) {
    const std::string root = MakeTempFolder("tarvell-exports-bench-");
    EngineEnvironment env;
    env.ServiceFolder = JoinPath(root, "service");
    env.HandOverFolder = JoinPath(env.ServiceFolder, "handover");
    MakeDirectories(env.HandOverFolder);
    TestEventLog log;
    env.log = &log;
    CTarvellFrm engine(env);
    Fill(engine);

    CTarvellDoc doc;
    const auto& types = CTarvellFrm::EventTypes();
    doc.AlertDescriptionTexts.assign(types.size(), "Event $current ($severity)");
    doc.AlertCauseTexts.assign(types.size(), "cause");
    doc.AlertSeverityTexts = {"Normal", "Low", "Moderate", "Elevated", "High", "Severe"};
    const std::vector<std::string> eventColumns(EventExportFields().begin(),
                                                EventExportFields().end());
    const std::vector<std::string> alertColumns(AlertExportFields().begin(),
                                                AlertExportFields().end());
    doc.HtmlExportOn = 1;
    doc.HtmlFolder = JoinPath(root, "www");
    MakeDirectories(doc.HtmlFolder);
    doc.HtmlEventsPage = "Events";
    doc.HtmlAlertsPage = "Alerts";
    doc.HtmlEventsColumns = eventColumns;
    doc.HtmlAlertsColumns = alertColumns;
    doc.SqlEventsTable = "Events";
    doc.SqlAlertsTable = "Alerts";
    doc.SqlEventsColumns = eventColumns;
    doc.SqlAlertsColumns = alertColumns;
    *engine.Document = doc;
    engine.PublishSettings();

    std::printf("%d events, %d alerts, all nine columns\n", kEvents, kAlerts);
    // Timed apart from reading the pages back for their sizes.
    CScanExportHtml html(engine);
    const char* passNames[] = {"written whole", "unchanged", "unchanged"};
    for (int i = 0; i < 3; ++i) {
        const auto start = SteadyClock::now();
        html.ExportOnce();
        const double seconds = SecondsSince(start);
        const std::size_t events =
            ReadWholeFile(JoinPath(doc.HtmlFolder, "Events.htm")).value_or("").size();
        const std::size_t alerts =
            ReadWholeFile(JoinPath(doc.HtmlFolder, "Alerts.htm")).value_or("").size();
        std::printf(
            "html       both pages, pass %d (%-13s): %8.3f s   longest lock hold %6.2f ms"
            "   (%zu + %zu bytes)\n",
            i + 1, passNames[i], seconds, html.LongestLockHoldUs() / 1000.0, events, alerts);
    }
    std::printf("html       pages left unchanged in passes 2 and 3: %llu of 4\n",
                static_cast<unsigned long long>(html.PagesLeftUnchanged()));
    // The same unchanged pass with the pages written anyway (a new worker remembers nothing).
    {
        CScanExportHtml fresh(engine);
        const auto start = SteadyClock::now();
        fresh.ExportOnce();
        std::printf("html       both pages, written whole by a new worker: %8.3f s\n",
                    SecondsSince(start));
    }
    // What tells an unchanged page: the digest of each map, and its lock holds.
    for (ExportKind kind : {ExportKind::Events, ExportKind::Alerts}) {
        ExportSnapshotStats stats;
        const auto start = SteadyClock::now();
        const std::uint64_t digest = ExportInputDigest(engine, kind, &stats);
        std::printf(
            "html       %s digest %016llx: %.2f ms (%zu chunks, longest hold %.3f ms wall, "
            "%.3f ms processor)\n",
            kind == ExportKind::Events ? "events" : "alerts",
            static_cast<unsigned long long>(digest), SecondsSince(start) * 1000.0, stats.chunks,
            stats.longestHoldUs / 1000.0, stats.longestHoldCpuUs / 1000.0);
    }

    // The phases of one page: copying the rows out, building the text, writing the file.
    for (ExportKind kind : {ExportKind::Events, ExportKind::Alerts}) {
        auto start = SteadyClock::now();
        ExportSnapshotStats stats;
        const auto rows = SnapshotExportRows(engine, kind, &stats);
        const double copy = SecondsSince(start);
        start = SteadyClock::now();
        HtmlPageInput input;
        input.kind = kind;
        input.pageName = "Page";
        input.columns = kind == ExportKind::Events ? eventColumns : alertColumns;
        const std::string page = BuildPage(input, rows);
        const double build = SecondsSince(start);
        start = SteadyClock::now();
        AtomicWriteFile(JoinPath(doc.HtmlFolder, "phase.htm"), page);
        std::printf(
            "html       %s page: rows %.2f s (%zu chunks, longest hold %.2f ms wall, "
            "%.2f ms processor), text %.2f s, file %.2f s\n",
            kind == ExportKind::Events ? "events" : "alerts", copy, stats.chunks,
            stats.longestHoldUs / 1000.0, stats.longestHoldCpuUs / 1000.0, build,
            SecondsSince(start));
    }

    if (htmlOnly) {
        RemoveTree(root);
        return 0;
    }
    exporttest::OdbcDrivers& drivers = exporttest::OdbcDrivers::Get();
    if (!drivers.sqlite.empty())
        SqlRun(engine, doc, "sqlite",
               "DRIVER={Tarvell SQLite3};Database=" + JoinPath(root, "export.db") + ";", log);
    if (!drivers.postgres.empty()) {
        exporttest::PostgresCluster& pg = exporttest::PostgresCluster::Get();
        if (pg.Running()) SqlRun(engine, doc, "postgresql", pg.ConnectString(), log);
        else std::printf("postgresql: no server (%s)\n", pg.Problem().c_str());
    }
    RemoveTree(root);
    return 0;
}

}  // namespace
}  // namespace tarvell

int main(int argc, char** argv) {
    // --html-only (or BENCH_HTML_ONLY set): the HTML figures alone, no database export.
    const bool htmlOnly = std::getenv("BENCH_HTML_ONLY") != nullptr ||
                          (argc > 1 && std::string_view(argv[1]) == "--html-only");
    return tarvell::Main(htmlOnly);
}
