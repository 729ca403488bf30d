#include "viewer/core/settings/ExportSettings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/Files.h"
#include "platform/Text.h"
#include "service/exports/ExportRows.h"
#include "tests/service/exports/SqlBackends.h"
#include "tests/viewer/core/ViewerFixture.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/settings/OdbcSource.h"
#include "viewer/core/base/StringTable.h"

namespace tarvell {
namespace {

using exporttest::OdbcDrivers;
using exporttest::PostgresCluster;

// ---- Defaults

class ExportSeedTest : public test::ViewerFixture {
protected:
    CTarvellApp& Started(const CTarvellDoc& doc) {
        WriteSettings(doc);
        CTarvellApp& app = StartApp();
        EXPECT_TRUE(app.ReloadDocument());
        app.AddHubListener([this](HubChange c) { saves_ += c == HubChange::SettingsSaved; });
        return app;
    }
    int saves_ = 0;
};

TEST_F(ExportSeedTest, SwitchingOnWritesEveryDefaultOnceAndNeverAgain) {
    CTarvellDoc doc = DefaultSettings();
    doc.HtmlEventsPage.clear();
    doc.HtmlAlertsPage.clear();
    doc.HtmlEventsColumns.clear();
    doc.HtmlAlertsColumns.clear();
    doc.SqlEventsTable.clear();
    doc.SqlAlertsTable.clear();
    doc.SqlEventsColumns.clear();
    doc.SqlAlertsColumns.clear();
    doc.SqlEventsKeep = doc.SqlAlertsKeep = 1;
    CTarvellApp& app = Started(doc);

    EXPECT_EQ(SeedHtmlExport(app), 0u);
    EXPECT_EQ(saves_, 1);
    const CTarvellDoc& f = app.Document().Fields();
    EXPECT_EQ(f.HtmlEventsPage, "Events");
    EXPECT_EQ(f.HtmlAlertsPage, "Alerts");
    EXPECT_EQ(f.HtmlEventsColumns.size() + f.HtmlAlertsColumns.size(), 18u);
    EXPECT_EQ(f.HtmlEventsColumns[7], "Blocked");
    EXPECT_EQ(f.HtmlAlertsColumns[4], "DeviceLocation");
    EXPECT_EQ(SeedHtmlExport(app), 0u);
    EXPECT_EQ(saves_, 1) << "off and on again writes nothing";

    EXPECT_EQ(SeedSqlExport(app), 0u);
    EXPECT_EQ(saves_, 2);
    EXPECT_EQ(f.SqlEventsTable, "Events");
    EXPECT_EQ(f.SqlAlertsTable, "Alerts");
    EXPECT_EQ(f.SqlEventsColumns.size() + f.SqlAlertsColumns.size(), 18u);
    EXPECT_EQ(f.SqlEventsKeep, 0);
    EXPECT_EQ(f.SqlAlertsKeep, 0);
    EXPECT_EQ(f.HtmlExportOn, doc.HtmlExportOn) << "seeding leaves the on/off switch";
    EXPECT_EQ(SeedSqlExport(app), 0u);
    EXPECT_EQ(saves_, 2);
}

TEST_F(ExportSeedTest, FilledListsKeepTheirChoiceAndKeepFlag) {
    CTarvellDoc doc = DefaultSettings();
    doc.SqlEventsTable = "Ev";
    doc.SqlAlertsTable = "Al";
    doc.SqlEventsColumns = {"Occurrence", "", "", "", "", "", "", "", ""};
    doc.SqlAlertsColumns.clear();
    doc.SqlEventsKeep = doc.SqlAlertsKeep = 1;
    EXPECT_TRUE(SeedSqlDefaults(doc));
    EXPECT_EQ(doc.SqlEventsTable, "Ev");
    EXPECT_EQ(doc.SqlEventsColumns[1], "");
    EXPECT_EQ(doc.SqlEventsKeep, 1);
    EXPECT_EQ(doc.SqlAlertsKeep, 0);
}

TEST_F(ExportSeedTest, AFailedReloadWritesNothingAndSaysSo) {
    CTarvellDoc doc = DefaultSettings();
    doc.HtmlEventsColumns.clear();
    CTarvellApp& app = Started(doc);
    ASSERT_TRUE(AtomicWriteFile(JoinPath(server_, "Tarvell.ini"),
                                "\x03"
                                "3.6"));
    EXPECT_EQ(SeedHtmlExport(app), str::kSettingsReloadFailed);
    EXPECT_EQ(saves_, 0);
    EXPECT_FALSE(FileExists(ViewerDocument::HandOverPath(server_)));
}

// ---- Fields, interval, fieldSlots

TEST(ExportFieldsTest, SlotNamesAreTheServicesOwn) {
    for (ExportCollection c : kExportCollections) {
        const auto& service =
            c == ExportCollection::Events ? EventExportFields() : AlertExportFields();
        for (std::size_t i = 0; i < kExportFields; ++i) {
            EXPECT_STREQ(ExportFieldsOf(c)[i].name, service[i]);
            EXPECT_NE(std::string(ExportFieldsOf(c)[i].description), "");
        }
    }
    EXPECT_STREQ(ExportFieldsOf(ExportCollection::Events)[7].description,
                 "The blocking state of the device port 'yes or 'no'.");
    EXPECT_STREQ(ExportCollectionDescription(ExportCollection::Alerts),
                 "Collection of current alerts properties.");
}

TEST(ExportFieldsTest, IntervalTextAndRange) {
    const struct {
        const char* typed;
        std::optional<std::string> corrected;
        int minutes;
    } cases[] = {{"0", "1", 1},
                 {"05", "1", 5},
                 {"5", std::nullopt, 5},
                 {"9999", std::nullopt, 9999},
                 {"", std::nullopt, 1},
                 {"12a", std::nullopt, 12},
                 {"99999999999", std::nullopt, 9999}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(CorrectedIntervalText(c.typed), c.corrected);
        EXPECT_EQ(IntervalOfText(c.typed), c.minutes);
    }
    EXPECT_EQ(IntervalPosition(0), 1);
    EXPECT_EQ(IntervalPosition(0x10005), 5) << "low 16 bits";
    EXPECT_EQ(IntervalPosition(-1), 9999);
}

TEST(ExportFieldsTest, UntickingBlockedEmptiesSlotSevenOnly) {
    CTarvellDoc doc;
    SeedSqlDefaults(doc);
    ExportFieldChoice choice = SqlFieldsOf(doc);
    SetSlot(choice.Of(ExportCollection::Events), ExportCollection::Events, 7, false);
    choice.keep[1] = true;
    StoreSqlFields(doc, choice);
    for (std::size_t i = 0; i < kExportFields; ++i)
        EXPECT_EQ(doc.SqlEventsColumns[i], i == 7 ? "" : EventExportFields()[i]);
    EXPECT_EQ(doc.SqlAlertsColumns.size(), 9u);
    EXPECT_EQ(doc.SqlEventsKeep, 0);
    EXPECT_EQ(doc.SqlAlertsKeep, 1) << "each table keeps its own flag";

    ExportSlots fieldSlots = SlotsOf({"Occurrence"});
    SetAllSlots(fieldSlots, ExportCollection::Alerts, true);
    EXPECT_EQ(fieldSlots[4], "DeviceLocation");
    SetAllSlots(fieldSlots, ExportCollection::Alerts, false);
    for (const auto& s : fieldSlots) EXPECT_EQ(s, "");
    SetSlot(fieldSlots, ExportCollection::Alerts, 9, true);  // past the fieldSlots: nothing
    EXPECT_FALSE(SlotOn(fieldSlots, 9));
}

// ---- Location

TEST(ExportLocationTest, RadioFollowsTheStoredLocation) {
    const struct {
        const char* location;
        DatabaseKind kind;
    } cases[] = {{"DBQ=C:\\data\\Tarvell.MdB;", DatabaseKind::File},
                 {"DRIVER={Tarvell SQLite3};Database=/tmp/x.db;", DatabaseKind::File},
                 {"driver={SQLite3};", DatabaseKind::File},
                 {"DRIVER={Tarvell PostgreSQL};SERVER=db;", DatabaseKind::Server},
                 {"SERVER=db;DATABASE=x;", DatabaseKind::Server},
                 {"", DatabaseKind::Server}};
    for (const auto& c : cases) EXPECT_EQ(DatabaseKindOf(c.location), c.kind) << c.location;
    EXPECT_EQ(DriversFor(DatabaseKind::File, {"PostgreSQL", "SQLite3", "FreeTDS"}),
              (std::vector<std::string>{"SQLite3", "PostgreSQL", "FreeTDS"}));
}

TEST(ExportLocationTest, ServerAppendedOnlyWhenMissing) {
    const struct {
        std::string connect;
        bool readable;
        std::optional<std::string> server;
        std::string result;
        bool failed;
    } cases[] = {
        {"DSN=TarvellDB;Server=db1;", true, "db2", "DSN=TarvellDB;Server=db1;", false},
        {"DSN=TarvellDB;UID=a", true, "db2", "DSN=TarvellDB;UID=a;SERVER=db2", false},
        {"DSN=TarvellDB;", true, "db2", "DSN=TarvellDB;SERVER=db2", false},
        {"DSN=TarvellDB;", true, std::nullopt, "DSN=TarvellDB;", false},
        {"DSN=TarvellDB;", false, std::nullopt, "DSN=TarvellDB;", true},
    };
    for (const auto& c : cases) {
        const ServerRuleResult r = ApplyServerRule(c.connect, c.readable, c.server);
        EXPECT_EQ(r.connect, c.result) << c.connect;
        EXPECT_EQ(r.verifyFailed, c.failed) << c.connect;
    }
    EXPECT_STREQ(LoadString(str::kExportVerifyFailed).data(),
                 "Failed verify database, please check your settings and try again.");
}

TEST(ExportLocationTest, StoredFormNamesTheDriverAndMasksOnlyForShow) {
    EXPECT_EQ(StoredConnectString("DSN=TarvellDB;Database=/tmp/a;b.db;x", "Tarvell SQLite3"),
              "DRIVER={Tarvell SQLite3};Database=/tmp/a;");
    EXPECT_EQ(StoredConnectString("DSN=TarvellDB;DRIVER={Old};PWD={p;w};", "New"),
              "DRIVER={New};PWD={p;w};");
    EXPECT_EQ(MaskPassword("UID=a;PWD=s3;"), "UID=a;PWD=********;");
    EXPECT_EQ(MaskPassword("UID=a;pwd={x;y}"), "UID=a;pwd=********");
    EXPECT_EQ(MaskPassword("DATABASE=MYPWD=1;"), "DATABASE=MYPWD=1;") << "only the key itself";
    const std::string real = "UID=a;PWD={s;3};";
    EXPECT_EQ(UnmaskPassword(MaskPassword(real), real), real);
    EXPECT_EQ(UnmaskPassword("UID=b;PWD=********;", real), "UID=b;PWD={s;3};");
    EXPECT_EQ(UnmaskPassword("UID=a;PWD=new;", real), "UID=a;PWD=new;") << "typed over the mask";
    EXPECT_EQ(UnmaskPassword("UID=a;", real), "UID=a;");
}

// ---- The data source for real

class OdbcSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        (void)OdbcDrivers::Get();
        root_ = MakeTempFolder("tarvell-odbcsource-");
        ini_ = JoinPath(root_, "cfg/tarvell/odbc.ini");
    }
    void TearDown() override { RemoveTree(root_); }
    std::string root_, ini_;
};

TEST_F(OdbcSourceTest, SqliteSourceIsPrivateAndTheStoredStringStandsAlone) {
    if (OdbcDrivers::Get().sqlite.empty()) GTEST_SKIP() << "no SQLite ODBC driver";
    const std::string file = JoinPath(root_, "export.db");
    const DataSourceRequest request{"Tarvell SQLite3", {{"Database", file}}, {}};
    const ChosenLocation chosen = ChooseDataSource(ini_, request, DatabaseKind::File);
    ASSERT_EQ(chosen.message, 0u) << chosen.detail;
    struct stat st {};
    ASSERT_EQ(::stat(ini_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(ReadWholeFile(ini_).value_or("").find("[TarvellDB]"), std::string::npos);
    ASSERT_TRUE(chosen.location);
    EXPECT_EQ(chosen.location->rfind("DRIVER={Tarvell SQLite3};", 0), 0u) << *chosen.location;
    EXPECT_EQ(ConnectValue(*chosen.location, "Database"), file);
    EXPECT_EQ(DatabaseKindOf(*chosen.location), DatabaseKind::File);
    // The service's view: the test's shared odbc.ini is empty, the stored string still connects.
    std::string error;
    EXPECT_TRUE(exporttest::Query(*chosen.location, "SELECT 1", &error)) << error;

    bool readable = false;
    EXPECT_EQ(DataSourceValue(ini_, "Database", &readable), file);
    EXPECT_TRUE(readable);
    EXPECT_EQ(DataSourceValue(ini_, "Server", &readable), std::nullopt);
}

TEST_F(OdbcSourceTest, FailuresNameTheirMessage) {
    if (OdbcDrivers::Get().sqlite.empty()) GTEST_SKIP() << "no SQLite ODBC driver";
    // NoCreat: the driver refuses a database file that is not there.
    const DataSourceRequest missing{
        "Tarvell SQLite3",
        {{"Database", JoinPath(root_, "no/such/dir/x.db")}, {"NoCreat", "1"}},
        {}};
    const ChosenLocation open = ChooseDataSource(ini_, missing, DatabaseKind::File);
    EXPECT_EQ(open.message, str::kExportOpenFailed);
    EXPECT_FALSE(open.location);
    EXPECT_STREQ(LoadString(open.message).data(),
                 "Failed open database, please check your settings and try again.");
    const DataSourceRequest hostile{"Tarvell SQLite3", {{"Database", "x\n[Other]"}}, {}};
    EXPECT_EQ(ChooseDataSource(ini_, hostile, DatabaseKind::File).message,
              str::kExportSourceFailed);
    const DataSourceRequest noDriver{"No Such Driver", {{"Database", JoinPath(root_, "x.db")}}, {}};
    const ChosenLocation none = ChooseDataSource(ini_, noDriver, DatabaseKind::File);
    EXPECT_EQ(none.message, str::kExportOpenFailed)
        << none.location.value_or("") << ReadWholeFile(ini_).value_or("");
}

TEST_F(OdbcSourceTest, PostgresStoredStringHoldsServerAndShowsThePasswordMasked) {
    if (OdbcDrivers::Get().postgres.empty()) GTEST_SKIP() << "no PostgreSQL ODBC driver";
    PostgresCluster& cluster = PostgresCluster::Get();
    if (!cluster.Running()) GTEST_SKIP() << cluster.Problem();
    const DataSourceRequest request{"Tarvell PostgreSQL",
                                    {{"Server", "127.0.0.1"},
                                     {"Servername", "127.0.0.1"},
                                     {"Port", std::to_string(cluster.Port())},
                                     {"Database", "postgres"}},
                                    {{"UID", "tarvell"}, {"PWD", "s3cret"}}};
    const ChosenLocation chosen = ChooseDataSource(ini_, request, DatabaseKind::Server);
    ASSERT_EQ(chosen.message, 0u) << chosen.detail;
    ASSERT_TRUE(chosen.location);
    EXPECT_EQ(chosen.location->rfind("DRIVER={Tarvell PostgreSQL};", 0), 0u)
        << MaskPassword(*chosen.location);
    EXPECT_NE(ToUpperAscii(*chosen.location).find("SERVER="), std::string::npos);
    EXPECT_EQ(ReadWholeFile(ini_).value_or("").find("s3cret"), std::string::npos)
        << "the password is never written to the data source";
    const std::string shown = MaskPassword(*chosen.location);
    EXPECT_EQ(shown.find("s3cret"), std::string::npos);
    EXPECT_NE(shown.find("=********"), std::string::npos);
    std::string error;
    EXPECT_TRUE(exporttest::Query(UnmaskPassword(shown, *chosen.location), "SELECT 1", &error))
        << error;

    const DataSourceRequest wrong{"Tarvell PostgreSQL",
                                  {{"Servername", "127.0.0.1"},
                                   {"Port", std::to_string(cluster.Port())},
                                   {"Database", "no_such_db"}},
                                  {{"UID", "tarvell"}}};
    EXPECT_EQ(ChooseDataSource(ini_, wrong, DatabaseKind::Server).message, str::kExportOpenFailed);
}

}  // namespace
}  // namespace tarvell
