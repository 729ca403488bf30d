// The database export against real drivers: one suite, run against a SQLite database file and
// a private PostgreSQL server.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/RecursiveLock.h"
#include "platform/Text.h"
#include "service/exports/CScanExportSql.h"
#include "service/exports/SqlConnect.h"
#include "tests/service/exports/ExportFixture.h"
#include "tests/service/exports/SqlBackends.h"

namespace tarvell::exporttest {
namespace {

enum class Backend { Sqlite, Postgres };

constexpr const char* kPassword = "s3cret-Pw0rd";

class SqlExportTest : public ExportFixture, public ::testing::WithParamInterface<Backend> {
protected:
    void SetUp() override {
        ExportFixture::SetUp();
        OdbcDrivers& drivers = OdbcDrivers::Get();
        if (GetParam() == Backend::Sqlite) {
            if (drivers.sqlite.empty()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
            connect = "DRIVER={Tarvell SQLite3};Database=" + JoinPath(root, "export.db") + ";";
        } else {
            if (drivers.postgres.empty())
                GTEST_SKIP() << "the PostgreSQL ODBC driver is not installed";
            PostgresCluster& pg = PostgresCluster::Get();
            if (!pg.Start()) GTEST_SKIP() << "no PostgreSQL server: " << pg.Problem();
            connect = pg.ConnectString(kPassword);
            std::string error;
            ASSERT_TRUE(Query(connect, "DROP SCHEMA public CASCADE", &error)) << error;
            ASSERT_TRUE(Query(connect, "CREATE SCHEMA public", &error)) << error;
        }
    }

    CTarvellDoc SqlSettings() {
        CTarvellDoc doc = Settings();
        doc.SqlExportOn = 1;
        doc.SqlDatabase = connect;
        doc.SqlEventsTable = "Events";
        doc.SqlAlertsTable = "Alerts";
        return doc;
    }

    void Pass(const CTarvellDoc& doc) {
        UseSettings(doc);
        if (!sql) sql = std::make_unique<CScanExportSql>(*engine);
        sql->ExportOnce();
    }

    std::vector<Row> Rows(const std::string& statement) {
        std::string error;
        auto rows = Query(connect, statement, &error);
        EXPECT_TRUE(rows) << statement << ": " << error;
        return rows.value_or(std::vector<Row>());
    }

    // Column names of a table of exactly this name, in the driver's order.
    std::vector<std::string> ColumnsOf(const std::string& table) {
        odbc::Environment env;
        odbc::Connection db(env);
        std::vector<std::string> names;
        if (!db.Connect(connect, 10, nullptr)) return {"<no connection>"};
        odbc::Statement st(db);
        if (!odbc::Succeeded(st.Columns(table))) return {"<no listing>"};
        while (odbc::Succeeded(st.Fetch())) {
            bool ok = true;
            const auto owner = st.GetText(3, 1024, &ok);
            const auto name = st.GetText(4, 1024, &ok);
            if (owner == table && name) names.push_back(*name);
        }
        return names;
    }

    bool TableListed(const std::string& table) {
        const auto columns = ColumnsOf(table);
        return !columns.empty();
    }

    std::string connect;
    std::unique_ptr<CScanExportSql> sql;
};

std::string Text(const std::optional<std::string>& v) { return v ? *v : "<NULL>"; }

// ---- tables and rows

TEST_P(SqlExportTest, TheFirstPassCreatesTheTableWithItsPrimaryKeyAndInserts) {
    Event("1", "3", 1'699'990'000).Blocked = 1;
    Event("2", "7", 1'699'999'999);
    CTarvellDoc doc = SqlSettings();
    doc.SqlEventsColumns[0] = "Occurrence";
    doc.SqlEventsColumns[2] = "DeviceIp";
    doc.SqlEventsColumns[7] = "Blocked";
    Pass(doc);
    EXPECT_EQ(ColumnsOf("Events"),
              (std::vector<std::string>{"PKey", "Occurrence", "DeviceIp", "Blocked"}));
    const auto rows = Rows(
        "SELECT \"PKey\", \"Occurrence\", \"DeviceIp\", \"Blocked\" FROM "
        "\"Events\" ORDER BY \"PKey\"");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (Row{"1/3", "11/14/2023 7:26:40 PM", "10.0.0.1", "yes"}));
    EXPECT_EQ(rows[1], (Row{"2/7", "11/14/2023 10:13:19 PM", "10.0.0.2", "no"}));
    // The key is the primary key: a second row with it is refused.
    EXPECT_FALSE(Query(connect, "INSERT INTO \"Events\" (\"PKey\") VALUES ('1/3')"));
    EXPECT_FALSE(TableListed("Alerts"));  // no alert columns: no table
}

// Fault mended: without a primary key every pass added each event once more.
TEST_P(SqlExportTest, TheSecondPassUpdatesWithoutDuplicates) {
    Event("1", "3", 1'699'990'000);
    Event("2", "7", 1'699'999'999);
    CTarvellDoc doc = SqlSettings();
    doc.SqlEventsColumns[2] = "DeviceIp";
    Pass(doc);
    {
        RecursiveGuard lock(engine->EngineLock);
        engine->EventMap["2/7"]->DeviceIp = "10.9.9.9";
    }
    Pass(doc);
    Pass(doc);
    const auto rows = Rows("SELECT \"PKey\", \"DeviceIp\" FROM \"Events\" ORDER BY \"PKey\"");
    EXPECT_EQ(rows, (std::vector<Row>{{"1/3", "10.0.0.1"}, {"2/7", "10.9.9.9"}}));
}

TEST_P(SqlExportTest, AColumnTurnedOnFillsEventsButNotAlertsWrittenBefore) {
    Event("1", "3", 1'699'990'000);
    Alert("1699990000.0");
    CTarvellDoc doc = SqlSettings();
    doc.SqlEventsColumns[2] = "DeviceIp";
    doc.SqlAlertsColumns[2] = "DeviceIp";
    Pass(doc);
    doc.SqlEventsColumns[6] = "SourceName";
    doc.SqlAlertsColumns[7] = "SourceName";
    Pass(doc);
    EXPECT_EQ(Rows("SELECT \"SourceName\" FROM \"Events\""), (std::vector<Row>{{"pc-3"}}));
    EXPECT_EQ(Rows("SELECT \"SourceName\" FROM \"Alerts\""), (std::vector<Row>{{std::nullopt}}));
}

TEST_P(SqlExportTest, AColumnTurnedOffIsDroppedAndAllOffDropsTheTable) {
    Alert("1699990000.0");
    CTarvellDoc doc = SqlSettings();
    doc.SqlAlertsColumns[1] = "DeviceName";
    doc.SqlAlertsColumns[8] = "Description";
    Pass(doc);
    EXPECT_EQ(ColumnsOf("Alerts"), (std::vector<std::string>{"PKey", "DeviceName", "Description"}));
    doc.SqlAlertsColumns[1].clear();
    Pass(doc);
    EXPECT_EQ(ColumnsOf("Alerts"), (std::vector<std::string>{"PKey", "Description"}));
    EXPECT_EQ(Rows("SELECT \"PKey\", \"Description\" FROM \"Alerts\""),
              (std::vector<Row>{{"1699990000.0", "New MAC 00CAFE000001 (a new node)"}}));
    doc.SqlAlertsColumns[8].clear();
    Pass(doc);
    EXPECT_FALSE(TableListed("Alerts"));
    EXPECT_TRUE(log.Lines().empty()) << log.Lines().front();
}

TEST_P(SqlExportTest, VanishedRowsAreDeletedUnlessKept) {
    Event("1", "3", 1'699'990'000);
    Event("2", "7", 1'699'999'999);
    Event("3", "1", 1'699'999'999);
    Alert("1699990000.0");
    Alert("1699990000.1");
    CTarvellDoc doc = SqlSettings();
    doc.SqlEventsColumns[2] = "DeviceIp";
    doc.SqlAlertsColumns[2] = "DeviceIp";
    doc.SqlAlertsKeep = 1;
    Pass(doc);
    {
        RecursiveGuard lock(engine->EngineLock);
        engine->EventMap.erase("2/7");
        engine->EventMap["3/1"]->Deleted = 1;
    }
    {
        RecursiveGuard lock(engine->AlertLock);
        engine->AlertLog.erase("1699990000.1");
    }
    Pass(doc);
    EXPECT_EQ(Rows("SELECT \"PKey\" FROM \"Events\""), (std::vector<Row>{{"1/3"}}));
    EXPECT_EQ(Rows("SELECT \"PKey\" FROM \"Alerts\" ORDER BY \"PKey\"").size(), 2u);
    doc.SqlAlertsKeep = 0;
    Pass(doc);
    EXPECT_EQ(Rows("SELECT \"PKey\" FROM \"Alerts\""), (std::vector<Row>{{"1699990000.0"}}));
}

// ---- values

// Fault mended: values were pasted into the statement's text.
TEST_P(SqlExportTest, AnInjectionValueAndNonAsciiTextsRoundTrip) {
    const std::string hostile = "O'Brien'); DROP TABLE x;--";
    CEventItem& e = Event("it's", "1", 1'699'990'000);
    e.DeviceName = hostile;
    e.SourceName = "caf\xE9 \x80 \\ \"q\"";
    ASSERT_TRUE(Query(connect, "CREATE TABLE x (a VARCHAR(10))"));
    CTarvellDoc doc = SqlSettings();
    doc.SqlEventsColumns[1] = "DeviceName";
    doc.SqlEventsColumns[6] = "SourceName";
    Pass(doc);
    Pass(doc);
    EXPECT_EQ(Rows("SELECT \"PKey\", \"DeviceName\", \"SourceName\" FROM \"Events\""),
              (std::vector<Row>{{"it's/1", hostile, Cp1252ToUtf8("caf\xE9 \x80 \\ \"q\"")}}));
    EXPECT_TRUE(Query(connect, "SELECT a FROM x"));
}

TEST_P(SqlExportTest, AValueIsCutTo250CharactersAndTheKeyIsNot) {
    const std::string port(200, 'p');
    CEventItem& e = Event("1", port, 1'699'990'000);
    e.DeviceName = std::string(300, 'n');
    e.SourceName = std::string(249, 'a') + "\xE9\xE9";
    CTarvellDoc doc = SqlSettings();
    doc.SqlEventsColumns[1] = "DeviceName";
    doc.SqlEventsColumns[6] = "SourceName";
    Pass(doc);
    Pass(doc);
    const auto rows = Rows("SELECT \"PKey\", \"DeviceName\", \"SourceName\" FROM \"Events\"");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(Text(rows[0][0]), "1/" + port);
    EXPECT_EQ(Text(rows[0][1]), std::string(250, 'n'));
    EXPECT_EQ(Text(rows[0][2]), std::string(249, 'a') + "\xC3\xA9");
}

// ---- names

// Fault mended: the catalog calls took names as patterns, so "_" matched any character.
TEST_P(SqlExportTest, ATableEvUnderscoreSIsKeptApartFromEvxs) {
    ASSERT_TRUE(
        Query(connect, "CREATE TABLE \"Evxs\" (\"PKey\" VARCHAR(250), \"Other\" VARCHAR(20))"));
    ASSERT_TRUE(Query(connect, "INSERT INTO \"Evxs\" VALUES ('k', 'v')"));
    Event("1", "3", 1'699'990'000);
    CTarvellDoc doc = SqlSettings();
    doc.SqlEventsTable = "Ev_s";
    doc.SqlEventsColumns[2] = "DeviceIp";
    Pass(doc);
    Pass(doc);
    EXPECT_EQ(ColumnsOf("Ev_s"), (std::vector<std::string>{"PKey", "DeviceIp"}));
    EXPECT_EQ(ColumnsOf("Evxs"), (std::vector<std::string>{"PKey", "Other"}));
    EXPECT_EQ(Rows("SELECT \"PKey\" FROM \"Ev_s\""), (std::vector<Row>{{"1/3"}}));
    EXPECT_EQ(Rows("SELECT \"PKey\", \"Other\" FROM \"Evxs\""), (std::vector<Row>{{"k", "v"}}));
    EXPECT_TRUE(log.Lines().empty()) << log.Lines().front();
}

TEST_P(SqlExportTest, ATableNameWithQuotesAndBlanksIsQuotedNotBroken) {
    Event("1", "3", 1'699'990'000);
    CTarvellDoc doc = SqlSettings();
    doc.SqlEventsTable = "Net \"events\"; DROP";
    doc.SqlEventsColumns[2] = "Device Ip";
    Pass(doc);
    EXPECT_EQ(Rows("SELECT \"PKey\", \"Device Ip\" FROM \"Net \"\"events\"\"; DROP\""),
              (std::vector<Row>{{"1/3", "10.0.0.1"}}));
}

// ---- failures

TEST_P(SqlExportTest, AnUnreachableDatabaseFailsOnePassWithOneLogLineAndTheNextRecovers) {
    Event("1", "3", 1'699'990'000);
    CTarvellDoc doc = SqlSettings();
    doc.SqlEventsColumns[2] = "DeviceIp";
    if (GetParam() == Backend::Postgres) {
        ASSERT_TRUE(PostgresCluster::Get().Stop());
    } else {
        connect = "DRIVER={Tarvell SQLite3};Database=" + JoinPath(root, "gone/export.db") + ";";
        doc.SqlDatabase = connect + "Pwd=" + kPassword + ";";
    }
    Pass(doc);
    Pass(doc);
    const std::string message =
        "The export database was unable to open for the following reason: No appropriate "
        "location found.";
    EXPECT_EQ(log.Lines(), std::vector<std::string>{message});
    if (GetParam() == Backend::Postgres) {
        ASSERT_TRUE(PostgresCluster::Get().Start());
    } else {
        ASSERT_TRUE(MakeDirectories(JoinPath(root, "gone")));
    }
    Pass(doc);
    EXPECT_EQ(Rows("SELECT \"PKey\", \"DeviceIp\" FROM \"Events\""),
              (std::vector<Row>{{"1/3", "10.0.0.1"}}));
    // Fault mended: the connect string holds the password and never reaches the log.
    for (const std::string& line : log.Lines()) EXPECT_EQ(line.find(kPassword), std::string::npos);
}

TEST_P(SqlExportTest, AFailedTablePassLeavesTheOtherTableWritten) {
    Event("1", "3", 1'699'990'000);
    Alert("1699990000.0");
    CTarvellDoc doc = SqlSettings();
    doc.SqlEventsColumns[2] = "DeviceIp";
    doc.SqlEventsColumns[3] = "DeviceIp";  // the same column twice: the create is refused
    doc.SqlAlertsColumns[2] = "DeviceIp";
    Pass(doc);
    EXPECT_TRUE(log.Contains("Failed updating Events table."));
    EXPECT_EQ(Rows("SELECT \"PKey\" FROM \"Alerts\""), (std::vector<Row>{{"1699990000.0"}}));
}

TEST_P(SqlExportTest, NothingHappensWhenOffOrWithoutLocation) {
    Event("1", "3", 1'699'990'000);
    CTarvellDoc doc = SqlSettings();
    doc.SqlEventsColumns[2] = "DeviceIp";
    doc.SqlExportOn = 0;
    Pass(doc);
    EXPECT_FALSE(TableListed("Events"));
    doc.SqlExportOn = 1;
    doc.SqlDatabase.clear();
    Pass(doc);
    EXPECT_FALSE(TableListed("Events"));
    EXPECT_TRUE(log.Lines().empty());
}

// Fixed fault: the location went to the driver manager unchanged, so a DRIVER path ran its
// library's code in the service, SAVEFILE wrote a file and Database= created one under /etc.
TEST_P(SqlExportTest, AHostileLocationIsRefusedWithoutLoadingOrWritingAnything) {
    if (GetParam() != Backend::Sqlite) GTEST_SKIP() << "one driver suffices";
    const std::string marker = JoinPath(root, "marker"), lib = TARVELL_MARKER_LIBRARY;
    ::setenv("TARVELL_MARKER_FILE", marker.c_str(), 1);
    const std::string db = "DRIVER={Tarvell SQLite3};Database=", y = db + root + "/y.db;",
                      saved = root + "/saved", etc = "/etc/tarvell-refused.db";
    const std::string hostile[] = {
        "DRIVER={" + lib + "}", "driver = " + lib, "DRIVER={libtarvell_marker_library.so}",
        y + "LoadExt=" + lib, y + "SAVEFILE=" + saved, y + "; Save File =" + saved,
        y + "Pwd={x;savefile=" + saved + "}", "FileDsn=" + saved + ".dsn", "DSN=../saved",
        db + etc, db + "/tmp/.." + etc, db + "file:" + etc + "?mode=rwc", db + "relative/x.db"};
    CTarvellDoc doc = SqlSettings();
    for (const std::string& text : hostile) {
        log.Clear();
        doc.SqlDatabase = text;
        Pass(doc);
        ASSERT_EQ(log.Lines().size(), 1u) << text;
        EXPECT_EQ(log.Lines()[0].rfind("The export database location is refused (", 0), 0u);
        for (const std::string& path : {marker, saved + ".dsn", etc, root + "/y.db"})
            EXPECT_FALSE(FileExists(path)) << text << ": " << path;
        Pass(SqlSettings());  // the export goes on (and a lasting refusal is logged once)
    }
}

// Fixed fault: the check read the text otherwise than the driver manager and the drivers do, so
// a blank before a key, text after a closing brace, an escaped or hosted URI, a link and a
// driver's own logging keys passed it and loaded a library or wrote a file.
TEST_P(SqlExportTest, ATextTheDriverManagerReadsOtherwiseIsRefused) {
    if (GetParam() != Backend::Sqlite) GTEST_SKIP() << "one driver manager suffices";
    const std::string marker = JoinPath(root, "marker"), pid = std::to_string(::getpid());
    ::setenv("TARVELL_MARKER_FILE", marker.c_str(), 1);
    // SQLite would create these under a system folder; /dev/shm is a harmless one.
    const std::string shm = "/dev/shm/tarvell-refused-" + pid;
    const std::string db = "DRIVER={Tarvell SQLite3};Database=", y = db + root + "/y.db;";
    const std::string link = JoinPath(root, "link.db");
    ASSERT_EQ(::symlink((shm + "-link.db").c_str(), link.c_str()), 0);
    const std::string pg =
        "DRIVER={Tarvell PostgreSQL};Server=127.0.0.1;Port=" + std::to_string(FreeLoopbackPort()) +
        ";Database=postgres;Uid=x;";
    // Each text loads its own copy of the library (LIB), as a loaded one runs no constructor.
    const std::string texts[] = {
        y + "\nDRIVER=LIB",
        y + "\rDRIVER=LIB",
        y + "\vDRIVER=LIB",
        y + "\fDRIVER=LIB",
        y + "\nSAVEFILE=" + root + "/saved",
        "X={a} DRIVER=LIB",
        "X={a}}} DRIVER=LIB",
        "X={a;DRIVER=LIB",
        y + "LoadExt=LIB",
        db + "file:/%64ev/shm/tarvell-refused-" + pid + "-uri.db?mode=rwc",
        db + "file://localhost" + shm + "-host.db?mode=rwc",
        db + link,
        db + root + "/y.db;Database=" + shm + "-twice.db",
        pg + "Debug=1;CommLog=1",
    };
    const std::string made[] = {marker,
                                root + "/y.db",
                                root + "/saved.dsn",
                                shm + "*",
                                "/tmp/psqlodbc_*" + pid + ".log",
                                "/tmp/mylog_*" + pid + ".log"};
    CTarvellDoc doc = SqlSettings();
    int copy = 0;
    for (std::string text : texts) {
        if (const std::size_t at = text.find("LIB"); at != std::string::npos) {
            const std::string lib = JoinPath(root, "lib" + std::to_string(++copy) + ".so");
            const auto bytes = ReadWholeFile(TARVELL_MARKER_LIBRARY, 1 << 24);
            ASSERT_TRUE(bytes && AtomicWriteFile(lib, *bytes, 0755));
            text.replace(at, 3, lib);
        }
        log.Clear();
        doc.SqlDatabase = text;
        Pass(doc);
        EXPECT_EQ(log.Lines().size(), 1u) << text;
        for (const std::string& line : log.Lines())
            EXPECT_EQ(line.rfind("The export database location is refused (", 0), 0u) << line;
        for (const std::string& pattern : made) {
            const std::string found = FirstMatch(pattern);
            EXPECT_TRUE(found.empty()) << text << ": " << found;
            if (!found.empty()) ::unlink(found.c_str());
        }
        Pass(SqlSettings());  // a good pass between, so that each refusal is logged
    }
}

INSTANTIATE_TEST_SUITE_P(Drivers, SqlExportTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         [](const ::testing::TestParamInfo<Backend>& info) {
                             return info.param == Backend::Sqlite ? "SQLite" : "PostgreSQL";
                         });

// ---- connect strings

TEST(BuildConnectString, FollowsTheLocationRules) {
    const std::vector<std::string> none;
    const std::vector<std::string> freetds = {"SQLite3", "FreeTDS"};
    struct Case {
        const char* location;
        const std::vector<std::string>* drivers;
        const char* out;
    };
    const Case cases[] = {
        {"DBQ=C:\\Data\\net.mdb", &none,
         "Driver={Microsoft Access Driver (*.mdb)};DBQ=C:\\Data\\net.mdb;"},
        {"database=net;server=db1", &none, "Driver={SQL Server};server=db1;database=net;"},
        {"database=net;server=db1;uid=sa;pwd=x;extra=1", &freetds,
         "Driver={FreeTDS};server=db1;database=net;uid=sa;pwd=x;"},
        {"nothing=here", &none, "Driver={SQL Server};"},
        {"dsn=Exports;uid=a", &none, "dsn=Exports;uid=a"},
        {"Driver={Tarvell SQLite3};Database=/x.db", &none,
         "Driver={Tarvell SQLite3};Database=/x.db"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BuildConnectString(c.location, *c.drivers), c.out) << c.location;
}

TEST(CheckedConnectString, RebuildsAcceptedTextsAndRefusesPathsOutOfBounds) {
    const std::string f = MakeTempFolder("tarvell-connect-");
    ASSERT_EQ(::symlink("/dev/shm", (f + "/shm").c_str()), 0);
    ASSERT_EQ(::symlink(f.c_str(), (f + "/here").c_str()), 0);
    ASSERT_EQ(::symlink((f + "/loop").c_str(), (f + "/loop").c_str()), 0);
    // ".." after a link leaves the link's target: down/.. is sub, where shm leads to /dev/shm.
    ASSERT_TRUE(MakeDirectories(f + "/sub/inner"));
    ASSERT_EQ(::symlink("/dev/shm", (f + "/sub/shm").c_str()), 0);
    ASSERT_EQ(::symlink((f + "/sub/inner").c_str(), (f + "/down").c_str()), 0);
    const std::vector<std::string> drivers = {"Tarvell SQLite3"};
    const std::string db = "DRIVER=Tarvell SQLite3;DATABASE=";
    struct Case {
        std::string text;
        std::string out;  // the text used, or a part of the reason when refused
        bool used;
    };
    const Case cases[] = {
        {" driver = {tarvell sqlite3} ;Database=" + f + "/a.db; Save File=", db + f + "/a.db;",
         true},
        {"DSN=Exports;uid=a;Pwd={p}}w=};", "DSN=Exports;UID=a;PWD=p}w=;", true},
        {"Driver={Tarvell SQLite3};Database=file://localhost" + f + "/b.db?mode=rwc",
         db + "file://localhost" + f + "/b.db?mode=rwc;", true},
        {"Driver={Tarvell SQLite3};Database=" + f + "/here/c.db", db + f + "/here/c.db;", true},
        {"Driver={Tarvell SQLite3};Database=:memory:", db + ":memory:;", true},
        {"Driver={Tarvell SQLite3};Database=" + f + "/shm/x.db", "DATABASE names a system", false},
        {"Driver={Tarvell SQLite3};Database=" + f + "/down/../shm/x.db", "a system folder", false},
        {"Driver={Tarvell SQLite3};Database=file:%2Fetc/x.db", "a system folder", false},
        {"Driver={Tarvell SQLite3};Database=FILE:/tmp/%zz.db", "a bad escape", false},
        {"Driver={Tarvell SQLite3};Database=file:/tmp/%00.db", "a bad escape", false},
        {"Driver={Tarvell SQLite3};Database=file://evil/tmp/x.db", "a URI with a host", false},
        {"Driver={Tarvell SQLite3};Database=" + f + "/no/../x.db", "a missing folder", false},
        {"Driver={Tarvell SQLite3};Database=" + f + "/loop", "a link to nothing", false},
        {"Driver={Tarvell SQLite3};Database=x/y.db", "a relative path", false},
        {"Driver={Tarvell SQLite3};Pwd={a;b}", "holding \";\"", false},
        {"Driver={Tarvell SQLite3};StepAPI=1;ReadOnly=0;Debug=0;CommLog=;B9=1",
         "DRIVER=Tarvell SQLite3;", true},
        {"Driver={Tarvell SQLite3};commlog=1", "the key COMMLOG writes files", false},
        {"Driver=Other", "DRIVER Other is not a registered driver", false},
    };
    for (const Case& c : cases) {
        std::string why;
        const auto used = CheckedConnectString(c.text, drivers, &why);
        if (c.used) {
            EXPECT_EQ(used.value_or("refused: " + why), c.out) << c.text;
        } else {
            EXPECT_FALSE(used) << c.text;
            EXPECT_NE(why.find(c.out), std::string::npos) << c.text << ": " << why;
        }
    }
    RemoveTree(f);
}

TEST(EscapeSearchPattern, EscapesWildcardsAndTheEscapeItself) {
    EXPECT_EQ(odbc::EscapeSearchPattern("Ev_s%\\x", "\\"), "Ev\\_s\\%\\\\x");
    EXPECT_EQ(odbc::EscapeSearchPattern("Ev_s", ""), "Ev_s");
}

}  // namespace
}  // namespace tarvell::exporttest
