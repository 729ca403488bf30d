// The export sheets against a real TarvellSrv: switched on with the defaults, a folder and a
// new SQLite database (or the test's PostgreSQL server) chosen, "Blocked" unticked; the service
// takes the settings over and its next export passes write both pages and create both tables.
#include <QTest>
#include <gtest/gtest.h>

#include "platform/Text.h"
#include "shared/CTarvellDoc.h"
#include "tests/service/exports/SqlBackends.h"
#include "tests/viewer/settings_service/SettingsServiceFixture.h"
#include "viewer/core/hub/SettingsEdit.h"
#include "viewer/core/settings/ExportSettings.h"
#include "viewer/settings/ExportSettingsUi.h"
#include "viewer/widgets/CCheckListCtrl.h"

namespace tarvell {
namespace {

using testing::ConnectedViewer;
using testing::MayHandOver;
using testing::RunningService;
using testing::TempFolder;
using testing::WaitUntil;

struct ScriptedSource : DataSourceChooser {
    DataSourceRequest answer;
    std::optional<DataSourceRequest> Choose(QWidget*, DatabaseKind,
                                            const std::vector<std::string>&) override {
        return answer;
    }
};

using ColumnsQuery = std::string (*)(const std::string& table);

std::vector<std::string> ColumnsOf(const std::string& connect, ColumnsQuery query,
                                   const std::string& table) {
    std::vector<std::string> names;
    const auto rows = exporttest::Query(connect, query(table));
    if (rows)
        for (const auto& row : *rows)
            if (!row.empty() && row[0]) names.push_back(*row[0]);
    return names;
}

std::string SqliteColumns(const std::string& table) {
    return "SELECT name FROM pragma_table_info('" + table + "')";
}

std::string PostgresColumns(const std::string& table) {
    return "SELECT column_name FROM information_schema.columns WHERE lower(table_name) = lower('" +
           table + "')";
}

// The whole road: the boxes ticked, the HTML folder and interval, the data source chosen through
// "Browse..." (the dialog scripted to `request`), "Blocked" unticked on Tables, then the service's
// next passes.
void ExportRoad(const DataSourceRequest& request, DatabaseKind kind, ColumnsQuery columns,
                const std::string& driverPrefix) {
    CTarvellDoc start;
    start.SetDefaults();
    start.HtmlEventsColumns.clear();
    start.HtmlAlertsColumns.clear();
    start.SqlEventsColumns.clear();
    start.SqlAlertsColumns.clear();
    start.HtmlInterval = start.SqlInterval = 0;
    RunningService service("export-system-");
    ASSERT_TRUE(service.Start(start, {std::string("ODBCSYSINI=") + std::getenv("ODBCSYSINI"),
                                      "ODBCINSTINI=odbcinst.ini"}))
        << service.Output();
    ConnectedViewer viewer(service);
    CTarvellApp& app = viewer.app;

    // The Access panel's boxes ticked: the defaults, then its Save of the HTML switch. The
    // database switch follows the sheets, so no pass sees a half-made choice.
    ASSERT_EQ(SeedHtmlExport(app), 0u);
    ASSERT_EQ(SeedSqlExport(app), 0u);
    ASSERT_EQ(EditSettings(app, [](CTarvellDoc& d) { d.HtmlExportOn = 1; }), EditResult::Saved);

    const std::string pages = service.Root() / "pages";
    ASSERT_TRUE(MakeDirectories(pages));
    {
        CPropertySheet sheet(QStringLiteral("HTML Options"));
        AddHtmlOptionsPages(sheet, app, viewer.prompt, viewer.folders);
        sheet.show();
        auto* general = static_cast<CSettingsAccessHtml*>(sheet.Page(0));
        general->Interval().Edit()->setText("1");
        emit general->Interval().Edit()->textEdited("1");
        viewer.folders.answer = QString::fromStdString(pages);
        general->BrowseButton()->click();
        sheet.PressOk();
    }
    ScriptedSource source;
    source.answer = request;
    SetExportDataSourceChooser(&source);
    {
        CPropertySheet sheet(QStringLiteral("SQL Options"));
        AddSqlOptionsPages(sheet, app, viewer.prompt);
        sheet.show();
        auto* general = static_cast<CSettingsAccessSql*>(sheet.Page(0));
        (kind == DatabaseKind::File ? general->FileRadio() : general->ServerRadio())->click();
        general->BrowseButton()->click();
        ASSERT_TRUE(sheet.SetActivePage(1));
        auto* tables = static_cast<CExportFieldsPage*>(sheet.Page(1));
        tables->FieldList()->setCurrentItem(tables->FieldList()->topLevelItem(7));
        tables->FieldList()->setFocus();
        QTest::keyClick(tables->FieldList(), Qt::Key_Space);
        sheet.PressOk();
    }
    SetExportDataSourceChooser(nullptr);
    EXPECT_TRUE(viewer.prompt.Requests().empty());
    ASSERT_EQ(EditSettings(app, [](CTarvellDoc& d) { d.SqlExportOn = 1; }), EditResult::Saved);
    ASSERT_TRUE(service.HandOverTaken()) << service.Output();

    EXPECT_TRUE(WaitUntil(
        [&] {
            return FileExists(JoinPath(pages, "Events.htm")) &&
                   FileExists(JoinPath(pages, "Alerts.htm"));
        },
        15'000))
        << service.Output();
    const std::string stored = app.Document().Fields().SqlDatabase;
    EXPECT_EQ(stored.rfind(driverPrefix, 0), 0u) << MaskPassword(stored);
    EXPECT_TRUE(WaitUntil([&] { return !ColumnsOf(stored, columns, "Alerts").empty(); }, 15'000))
        << service.Output();
    // Each table holds its chosen fields (beside the service's own key column).
    const std::vector<std::string> events = ColumnsOf(stored, columns, "Events");
    const std::vector<std::string> alerts = ColumnsOf(stored, columns, "Alerts");
    const auto has = [](const std::vector<std::string>& v, const char* n) {
        return std::count_if(v.begin(), v.end(),
                             [n](const std::string& c) { return EqualsNoCase(c, n); });
    };
    for (std::size_t i = 0; i < kExportFields; ++i) {
        EXPECT_EQ(has(events, EventExportFields()[i]), i == 7 ? 0 : 1) << EventExportFields()[i];
        EXPECT_EQ(has(alerts, AlertExportFields()[i]), 1) << AlertExportFields()[i];
    }
    EXPECT_EQ(events.size() + 1, alerts.size());
    EXPECT_NE(service.PrintIni().find("SqlEventsColumns"), std::string::npos);
}

TEST(ExportServiceSystem, TheChosenFolderAndSqliteFileGetThePagesAndTables) {
    if (!MayHandOver()) GTEST_SKIP() << "needs root or membership of group tarvell-admin";
    auto& drivers = exporttest::OdbcDrivers::Get();
    if (drivers.sqlite.empty()) GTEST_SKIP() << "no SQLite ODBC driver";
    TempFolder files{"export-db-"};
    ExportRoad(DataSourceRequest{"Tarvell SQLite3", {{"Database", files / "export.db"}}, {}},
               DatabaseKind::File, &SqliteColumns, "DRIVER={Tarvell SQLite3};");
}

TEST(ExportServiceSystem, TheChosenPostgresServerGetsTheTables) {
    if (!MayHandOver()) GTEST_SKIP() << "needs root or membership of group tarvell-admin";
    auto& drivers = exporttest::OdbcDrivers::Get();
    if (drivers.postgres.empty()) GTEST_SKIP() << "no PostgreSQL ODBC driver";
    exporttest::PostgresCluster& cluster = exporttest::PostgresCluster::Get();
    if (!cluster.Running()) GTEST_SKIP() << cluster.Problem();
    const std::string port = std::to_string(cluster.Port());
    ExportRoad(DataSourceRequest{"Tarvell PostgreSQL",
                                 {{"Server", "127.0.0.1"},
                                  {"Servername", "127.0.0.1"},
                                  {"Port", port},
                                  {"Database", "postgres"}},
                                 {{"UID", "tarvell"}, {"PWD", "unused"}}},
               DatabaseKind::Server, &PostgresColumns, "DRIVER={Tarvell PostgreSQL};");
}

}  // namespace
}  // namespace tarvell
