// The ODBC layer against the SQLite ODBC driver (registered privately): handles, bound texts
// including NULL and quotes, long column reads, and connection errors that hold no secret.
#include <gtest/gtest.h>

#include <glob.h>

#include <cstdlib>

#include "platform/Files.h"
#include "platform/odbc/Odbc.h"

namespace tarvell::odbc {
namespace {

// The driver manager reads its registration once per process, so one folder serves all tests.
struct Registration {
    Registration() {
        glob_t g{};
        if (::glob("/usr/lib/*/odbc/libsqlite3odbc.so", 0, nullptr, &g) == 0 && g.gl_pathc > 0)
            driver = g.gl_pathv[0];
        ::globfree(&g);
        folder = MakeTempFolder("tarvell-odbc-");
        AtomicWriteFile(JoinPath(folder, "odbcinst.ini"),
                        "[Test SQLite3]\nDriver=" + driver + "\n");
        ::setenv("ODBCSYSINI", folder.c_str(), 1);
        ::setenv("ODBCINSTINI", "odbcinst.ini", 1);
    }
    ~Registration() { RemoveTree(folder); }
    std::string driver, folder;
};

class OdbcTest : public ::testing::Test {
protected:
    void SetUp() override {
        static Registration registration;
        if (registration.driver.empty()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
        folder = MakeTempFolder("tarvell-odbc-db-");
        connect = "DRIVER={Test SQLite3};Database=" + JoinPath(folder, "t.db") + ";";
    }
    void TearDown() override {
        if (!folder.empty()) RemoveTree(folder);
    }

    std::string folder, connect;
};

TEST_F(OdbcTest, BoundTextsAndNullsRoundTripWhateverTheyHold) {
    Environment env;
    ASSERT_TRUE(env.Valid());
    Connection db(env);
    ASSERT_TRUE(db.Connect(connect, 5, nullptr));
    EXPECT_EQ(db.IdentifierQuote(), "\"");
    Statement create(db);
    ASSERT_TRUE(Succeeded(create.ExecDirect("CREATE TABLE t (a VARCHAR(250), b VARCHAR(250))")));
    Statement insert(db);
    ASSERT_TRUE(Succeeded(insert.Prepare("INSERT INTO t (a, b) VALUES (?, ?)")));
    const std::string quoted = "it's '); DROP TABLE t;--";
    const std::string big(5000, 'z');
    ASSERT_TRUE(Succeeded(insert.Execute({quoted, std::nullopt})));
    ASSERT_TRUE(Succeeded(insert.Execute({big, std::string()})));
    Statement select(db);
    ASSERT_TRUE(Succeeded(select.ExecDirect("SELECT a, b FROM t ORDER BY length(a)")));
    EXPECT_EQ(select.ResultColumns(), 2);
    bool ok = true;
    ASSERT_TRUE(Succeeded(select.Fetch()));
    EXPECT_EQ(select.GetText(1, 1 << 20, &ok), quoted);
    EXPECT_EQ(select.GetText(2, 1 << 20, &ok), std::nullopt);
    ASSERT_TRUE(Succeeded(select.Fetch()));
    EXPECT_EQ(select.GetText(1, 1 << 20, &ok), big);  // read in pieces
    EXPECT_EQ(select.GetText(2, 1 << 20, &ok), std::string());
    EXPECT_EQ(select.Fetch(), SQL_NO_DATA);
    EXPECT_TRUE(ok);
}

TEST_F(OdbcTest, ALongTextIsCutAtTheGivenBound) {
    Environment env;
    Connection db(env);
    ASSERT_TRUE(db.Connect(connect, 5, nullptr));
    Statement st(db);
    ASSERT_TRUE(Succeeded(st.ExecDirect("SELECT '" + std::string(3000, 'q') + "'")));
    ASSERT_TRUE(Succeeded(st.Fetch()));
    bool ok = true;
    EXPECT_EQ(st.GetText(1, 1500, &ok), std::string(1500, 'q'));
}

TEST_F(OdbcTest, AFailedConnectionGivesTheDriversReasonWithoutTheConnectString) {
    Environment env;
    Connection db(env);
    std::string error;
    EXPECT_FALSE(db.Connect("DRIVER={No Such Driver};PWD=hidden-secret;", 5, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find("hidden-secret"), std::string::npos) << error;
    EXPECT_FALSE(db.Connected());
    Statement st(db);  // a statement on a closed connection fails cleanly
    EXPECT_EQ(st.ExecDirect("SELECT 1"), SQL_ERROR);
}

TEST_F(OdbcTest, TheDriverListHoldsThePrivateRegistration) {
    Environment env;
    const auto drivers = env.Drivers();
    EXPECT_NE(std::find(drivers.begin(), drivers.end(), "Test SQLite3"), drivers.end());
}

}  // namespace
}  // namespace tarvell::odbc
