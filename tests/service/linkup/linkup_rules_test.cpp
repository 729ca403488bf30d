#include "service/linkup/LinkupRules.h"

#include <gtest/gtest.h>

namespace tarvell {
namespace {

// ---- log-on texts

TEST(LinkupRules, ALogOnTextSplitsIntoUserDomainAndPassword) {
    struct Case {
        std::string text, user, domain, password;
    };
    const Case cases[] = {
        {"admin/CORP/secret", "admin", "CORP", "secret"},
        {"admin/CORP/secret/", "admin", "CORP", "secret"},
        // A password holding "/" keeps it; only one trailing "/" goes.
        {"admin/CORP/a/b/c", "admin", "CORP", "a/b/c"},
        {"admin/CORP/a/b//", "admin", "CORP", "a/b/"},
        {"admin//pw", "admin", "", "pw"},
        {"admin", "admin", "", ""},
        {"admin/CORP", "admin", "CORP", ""},
        {"", "", "", ""},
        {"/CORP/", "", "CORP", ""},
    };
    for (const Case& c : cases) {
        const WmiAccount a = SplitLogon(c.text);
        EXPECT_EQ(a.user, c.user) << c.text;
        EXPECT_EQ(a.domain, c.domain) << c.text;
        EXPECT_EQ(a.password, c.password) << c.text;
    }
}

// ---- conditions and alternatives

TEST(LinkupRules, AlternativesMatchWholeAndInAnyCase) {
    EXPECT_TRUE(MatchAny("5.1.2600|6.1.7601", "6.1.7601"));
    EXPECT_TRUE(MatchAny("5.1.2600|6.1.7601", "5.1.2600"));
    EXPECT_FALSE(MatchAny("5.1.2600|6.1.7601", "6.1"));
    EXPECT_FALSE(MatchAny("5.1.2600|6.1.7601", "6.1.7601.1"));
    EXPECT_TRUE(MatchAny("CORP.example", "corp.EXAMPLE"));
    EXPECT_FALSE(MatchAny("", "x"));
    EXPECT_TRUE(MatchAny("a||b", ""));  // an empty alternative is met by an empty value
}

TEST(LinkupRules, AConditionIsATypeNumberAndItsAlternatives) {
    struct Case {
        std::string entry;
        long type;
        std::string alternatives;
    };
    const Case cases[] = {
        {"0;5.1.2600|6.1.7601", 0, "5.1.2600|6.1.7601"},
        {"7;HKEY_LOCAL_MACHINE\\K\\V:a;b", 7, "HKEY_LOCAL_MACHINE\\K\\V:a;b"},
        {" 4;Spooler", 4, "Spooler"},
        {"4x;Spooler", 4, "Spooler"},  // read as atol reads it
        {"x;Spooler", 0, "Spooler"},
        {"3", 3, ""},
        {"-1;a", -1, "a"},
        {"99999999999999999999;a", -1, "a"},
    };
    for (const Case& c : cases) {
        const WmiCondition parsed = ParseWmiCondition(c.entry);
        EXPECT_EQ(parsed.type, c.type) << c.entry;
        EXPECT_EQ(parsed.alternatives, c.alternatives) << c.entry;
    }
}

TEST(LinkupRules, ProgramsSplitAtTheLastColonRegistryValuesAtTheFirst) {
    EXPECT_EQ(SplitProgram("Office: Pro:16.0"),
              (std::pair<std::string, std::string>{"Office: Pro", "16.0"}));
    EXPECT_EQ(SplitProgram("Reader"), (std::pair<std::string, std::string>{"Reader", ""}));
    EXPECT_EQ(SplitProgram("Reader:"), (std::pair<std::string, std::string>{"Reader", ""}));
    EXPECT_EQ(
        SplitRegistryExpected("HKEY_LOCAL_MACHINE\\K\\Path:C:\\Program Files"),
        (std::pair<std::string, std::string>{"HKEY_LOCAL_MACHINE\\K\\Path", "C:\\Program Files"}));
    EXPECT_EQ(SplitRegistryExpected("HKEY_USERS\\K\\V"),
              (std::pair<std::string, std::string>{"HKEY_USERS\\K\\V", ""}));
}

TEST(LinkupRules, ARegistryPathNamesItsRootKeyAndValue) {
    struct Case {
        std::string path;
        bool valid;
        std::uint32_t root;
        std::string key, value;
    };
    const Case cases[] = {
        {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Agent\\Version", true, 0x80000002,
         "SOFTWARE\\Vendor\\Agent", "Version"},
        {"HKEY_CLASSES_ROOT\\K\\V", true, 0x80000000, "K", "V"},
        {"HKEY_CURRENT_USER\\K\\V", true, 0x80000001, "K", "V"},
        {"hkey_users\\K\\V", true, 0x80000003, "K", "V"},
        {"HKEY_CURRENT_CONFIG\\K\\", true, 0x80000005, "K", ""},  // the key's default value
        {"HKEY_DYN_DATA\\K\\V", true, 0x80000006, "K", "V"},
        {"HKEY_PERFORMANCE_DATA\\K\\V", false, 0, "", ""},
        {"HKLM\\K\\V", false, 0, "", ""},
        {"HKEY_LOCAL_MACHINE\\V", false, 0, "", ""},
        {"HKEY_LOCAL_MACHINE", false, 0, "", ""},
        {"", false, 0, "", ""},
    };
    for (const Case& c : cases) {
        const auto parsed = ParseRegistryPath(c.path);
        ASSERT_EQ(parsed.has_value(), c.valid) << c.path;
        if (!parsed) continue;
        EXPECT_EQ(parsed->root, c.root) << c.path;
        EXPECT_EQ(parsed->key, c.key) << c.path;
        EXPECT_EQ(parsed->value, c.value) << c.path;
    }
}

TEST(LinkupRules, TheNodeAddressLosesItsRemarkAndLogTextsLoseControlCharacters) {
    EXPECT_EQ(NodeAddress("10.0.0.5"), "10.0.0.5");
    EXPECT_EQ(NodeAddress("10.0.0.5 (duplicate)"), "10.0.0.5");
    EXPECT_EQ(NodeAddress(" 10.0.0.5(x)"), "10.0.0.5");
    EXPECT_EQ(LogText("PC\n1\x1b[2J"), "PC?1?[2J");
    EXPECT_EQ(LogText(std::string(1000, 'a')).size(), 256u);
}

}  // namespace
}  // namespace tarvell
