// Connection texts: the one reading a text may have, and the plain form written back that every
// reader takes alike.
#include <gtest/gtest.h>

#include "platform/odbc/ConnectString.h"

namespace tarvell::odbc {
namespace {

using Pairs = std::vector<ConnectPair>;

// ---- reading

TEST(ParseConnectString, ReadsPairsWithBlanksBracesAndEmptyPieces) {
    struct Case {
        const char* text;
        Pairs pairs;
    };
    const Case cases[] = {
        {"", {}},
        {" ; ;", {}},
        {"DSN=x", {{"DSN", "x"}}},
        {" driver = {Tarvell SQLite3} ;Database= /t/a b.db ;;",
         {{"driver", "Tarvell SQLite3"}, {"Database", "/t/a b.db"}}},
        {"Pwd={a;b}}c= };Uid=", {{"Pwd", "a;b}c= "}, {"Uid", ""}}},
        {"Pwd=a=b{c}}", {{"Pwd", "a=b{c}}"}}},
        {"Pwd={}", {{"Pwd", ""}}},
    };
    for (const Case& c : cases) {
        std::string why;
        const auto pairs = ParseConnectString(c.text, &why);
        ASSERT_TRUE(pairs) << c.text << ": " << why;
        EXPECT_EQ(*pairs, c.pairs) << c.text;
    }
}

// Each of these is read otherwise by the driver manager or a driver than a plain reading would.
TEST(ParseConnectString, RefusesWhatReadersTakeDifferently) {
    struct Case {
        std::string text;
        const char* why;
    };
    const Case cases[] = {
        {"Database=/x.db;\nDRIVER=/lib.so", "a control character"},
        {"Pwd={a\tb\x7f}", "a control character"},
        {std::string("Pwd=a\0;DRIVER=/x", 16), "a control character"},
        {"X={a} DRIVER=/lib.so", "text after a closing brace"},
        {"X={a}}} DRIVER=/lib.so", "text after a closing brace"},
        {"X={a;DRIVER=/lib.so", "a brace without its closing brace"},
        {"{DRIVER}=/lib.so", "a brace in a key"},
        {"DSN=x;SAVEFILE", "a part without \"=\""},
        {"DSN=x;=y", "an empty key"},
        {"Database=/a.db;database=/etc/b.db", "the key database is given twice"},
    };
    for (const Case& c : cases) {
        std::string why;
        EXPECT_FALSE(ParseConnectString(c.text, &why)) << c.text;
        EXPECT_EQ(why, c.why) << c.text;
    }
}

// ---- writing

TEST(FormatConnectString, WritesPlainPairsAndRefusesValuesThatNeedBraces) {
    std::string why;
    EXPECT_EQ(FormatConnectString({{"DRIVER", "Tarvell SQLite3"}, {"PWD", "a=b}c"}}, &why),
              "DRIVER=Tarvell SQLite3;PWD=a=b}c;");
    EXPECT_EQ(FormatConnectString({}, &why), "");
    const Pairs refused[] = {{{"PWD", "x;LoadExt=/lib.so"}},
                             {{"PWD", "{x}"}},
                             {{"PWD", " x"}},
                             {{"PWD", "x\n"}},
                             {{"P=D", "x"}},
                             {{"", "x"}}};
    for (const Pairs& pairs : refused) {
        EXPECT_FALSE(FormatConnectString(pairs, &why)) << pairs[0].key << "=" << pairs[0].value;
        EXPECT_FALSE(why.empty());
        why.clear();
    }
}

}  // namespace
}  // namespace tarvell::odbc
