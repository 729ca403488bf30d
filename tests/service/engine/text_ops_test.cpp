// Event-type texts, the wildcard match and the node list reader.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>

#include "platform/RecursiveLock.h"
#include "platform/Text.h"
#include "tests/service/engine/EngineFixture.h"

namespace tarvell::enginetest {
namespace {

// ---- event types and their configured texts

class AlertTextsTest : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        CTarvellDoc doc = BlankSettings();
        for (std::string_view type : CTarvellFrm::EventTypes()) {
            doc.AlertCauseTexts.push_back("cause of " + std::string(type));
            doc.AlertDescriptionTexts.push_back("about " + std::string(type));
        }
        doc.AlertSeverityTexts = {"Normal", "Low", "Moderate", "Elevated", "High", "Severe"};
        UseSettings(doc);
    }
};

TEST_F(AlertTextsTest, TextsByTypeAndSeverity) {
    EXPECT_EQ(engine->FormatAlertCause("New Mac"), "cause of New Mac");
    EXPECT_EQ(engine->FormatAlertDescription("Test Message"), "about Test Message");
    EXPECT_EQ(engine->FormatAlertSeverity(0), "Normal");
    EXPECT_EQ(engine->FormatAlertSeverity(5), "Severe");
}

TEST_F(AlertTextsTest, UnknownOrDifferentlyCasedTypeGivesEmptyText) {
    EXPECT_EQ(engine->FormatAlertCause("new mac"), "");
    EXPECT_EQ(engine->FormatAlertCause("New Mac "), "");
    EXPECT_EQ(engine->FormatAlertDescription(""), "");
    EXPECT_EQ(engine->FormatAlertSeverity(-1), "");
    EXPECT_EQ(engine->FormatAlertSeverity(6), "");
}

TEST_F(AlertTextsTest, ListShorterThanTheIndexGivesEmptyText) {
    CTarvellDoc doc = BlankSettings();
    doc.AlertCauseTexts = {"a", "b", "c", "d"};  // up to "New Mac"
    doc.AlertSeverityTexts = {"Normal", "Low"};
    UseSettings(doc);
    EXPECT_EQ(engine->FormatAlertCause("New Mac"), "d");
    EXPECT_EQ(engine->FormatAlertCause("New Ip"), "");
    EXPECT_EQ(engine->FormatAlertSeverity(2), "");
}

// ---- wildcard match

struct WildcardCase {
    const char* text;
    const char* pattern;
    bool match;
};
void PrintTo(const WildcardCase& c, std::ostream* os) {
    *os << testing::PrintToString(c.text) << " ~ " << testing::PrintToString(c.pattern) << " -> "
        << (c.match ? "match" : "no match");
}

class WildcardTest : public ::testing::TestWithParam<WildcardCase> {};

TEST_P(WildcardTest, Matches) {
    const WildcardCase& c = GetParam();
    EXPECT_EQ(CTarvellFrm::WildcardMatch(c.text, c.pattern), c.match)
        << "text \"" << c.text << "\" pattern \"" << c.pattern << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Table, WildcardTest,
    ::testing::Values(
        // exact and case
        WildcardCase{"abc", "abc", true}, WildcardCase{"ABC", "abc", true},
        WildcardCase{"abc", "aBc", true}, WildcardCase{"abc", "abd", false},
        WildcardCase{"abc", "ab", false}, WildcardCase{"ab", "abc", false},
        // prefix and suffix
        WildcardCase{"ab", "A*", true}, WildcardCase{"ba", "A*", false},
        WildcardCase{"xab", "*ab", true}, WildcardCase{"xab", "*AB", true},
        WildcardCase{"abx", "*ab", false},
        // infix and several stars
        WildcardCase{"00AABB", "*AB*", true}, WildcardCase{"00aabb", "*ab*", true},
        WildcardCase{"aaab", "*aab", true}, WildcardCase{"mississippi", "m*iss*pi", true},
        WildcardCase{"mississippi", "m*iss*ppx", false}, WildcardCase{"a1b2c3", "a*b*c*", true},
        WildcardCase{"abc", "*d", false}, WildcardCase{"abcabd", "*ab?", false},
        WildcardCase{"abcabd", "*abd", true}, WildcardCase{"New Mac", "new*mac", true},
        // stars alone and empty texts
        WildcardCase{"anything", "*", true}, WildcardCase{"", "*", true},
        WildcardCase{"", "**", true}, WildcardCase{"", "", true}, WildcardCase{"a", "", false},
        WildcardCase{"", "a", false}, WildcardCase{"", "*a", false},
        WildcardCase{"ab", "a**b", true},
        // only letters A to Z fold; other bytes compare as they are
        WildcardCase{"\xC4", "\xE4", false}, WildcardCase{"[", "{", false}));

TEST(WildcardTest, LongTextsStayFast) {
    const std::string text(20000, 'a');
    const std::string pattern = "*a*a*a*a*a*a*a*a*b";
    EXPECT_FALSE(CTarvellFrm::WildcardMatch(text, pattern));
    EXPECT_TRUE(CTarvellFrm::WildcardMatch(text + "b", pattern));
}

// ---- node list files

class NodeListTest : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        RecursiveGuard lock(engine->EngineLock);
        engine->DeviceTable = {{"SW1", "10.0.0.1/Core/admin/Hall"},
                               {"SW10", "10.0.0.10/Edge/admin/Floor 2"}};
        engine->PortNames = {{"SW1/3", "three"}, {"SW1/7", "Gi0/7"}, {"SW10/3", "uplink"}};
    }

    std::string WriteList(const std::string& text) {
        const std::string path = JoinPath(root, "nodes.txt");
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    StringList Read(const std::string& text, bool block = false) {
        StringList list;
        engine->ReadNodeListFile(block, WriteList(text), list);
        return list;
    }
};

TEST_F(NodeListTest, PlaceResolvesToKnownSwitchAndPort) {
    EXPECT_EQ(Read("001122334455,SW1/7\n"), StringList{"001122334455;SW1/7"});
    EXPECT_EQ(Read("001122334455,core/THREE\n"), StringList{"001122334455;SW1/3"});
    EXPECT_EQ(Read("001122334455;10.0.0.10/3\n"), StringList{"001122334455;SW10/3"});
    EXPECT_EQ(Read("001122334455 edge/UPLINK\n"), StringList{"001122334455;SW10/3"});
}

TEST_F(NodeListTest, UnknownSwitchOrPortStaysAsWritten) {
    EXPECT_EQ(Read("001122334455,Switch1/7\n"), StringList{"001122334455;Switch1/7"});
    EXPECT_EQ(Read("001122334455,Core/9\n"), StringList{"001122334455;SW1/9"});
    EXPECT_EQ(Read("001122334455,Core\n"), StringList{"001122334455;SW1"});
}

TEST_F(NodeListTest, PortsOfAnotherSwitchWithTheSamePrefixDoNotMatch) {
    // "uplink" is a port of SW10 only; SW1 must not take it because "SW10/3" starts with "SW1".
    EXPECT_EQ(Read("001122334455,SW1/uplink\n"), StringList{"001122334455;SW1/uplink"});
}

TEST_F(NodeListTest, NodeOnlyLinesAndBlockEntries) {
    EXPECT_EQ(Read("001122334455\n"), StringList{"001122334455;"});
    EXPECT_EQ(Read("001122334455\r\nAABBCCDDEEFF,SW1/3\r\n", true),
              (StringList{"001122334455/1;", "001122334455;", "AABBCCDDEEFF/1;SW1/3",
                          "AABBCCDDEEFF;SW1/3"}));
}

TEST_F(NodeListTest, SeparatorsBlanksAndEmptyLines) {
    EXPECT_EQ(Read("\n   \n  pc-one\tSW1/3  \n,SW1/3\n\tpc-two,  core/7 \n"),
              (StringList{"pc-one;SW1/3", "pc-two;SW1/7"}));
}

TEST_F(NodeListTest, LongLineIsOneEntry) {
    const std::string node(1500, 'N');
    const std::string place = std::string(600, 'P') + "/1";
    const StringList list = Read(node + "," + place + "\nshort\n");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0], node + ";" + place);
    EXPECT_EQ(list[1], "short;");
}

TEST_F(NodeListTest, RepeatedImportAddsNothingNew) {
    const std::string path = WriteList("001122334455,SW1/7\nAABBCCDDEEFF\n");
    StringList list{"existing;"};
    engine->ReadNodeListFile(true, path, list);
    engine->ReadNodeListFile(true, path, list);
    EXPECT_EQ(list, (StringList{"existing;", "001122334455/1;SW1/7", "001122334455;SW1/7",
                                "AABBCCDDEEFF/1;", "AABBCCDDEEFF;"}));
}

// The import path is a setting: whatever it names must neither stall the engine thread nor fill
// its memory.
TEST_F(NodeListTest, AFifoIsNoNodeList) {
    const std::string fifo = JoinPath(root, "nodes.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    StringList list;
    auto reading =
        std::async(std::launch::async, [&] { engine->ReadNodeListFile(false, fifo, list); });
    const bool finished = reading.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!finished) ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));  // let the reader go
    reading.wait();
    EXPECT_TRUE(finished) << "reading a FIFO waited for a writer";
    EXPECT_TRUE(list.empty());
}

// A file too large, a FIFO or a device was skipped without a word.
TEST_F(NodeListTest, AFileThatIsNoNodeListIsReportedOnceAndSkipped) {
    const std::string big = JoinPath(root, "big.txt");
    std::ofstream(big, std::ios::binary) << std::string(16u * 1024u * 1024u + 1, '\n');
    const std::string fifo = JoinPath(root, "list.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string device = JoinPath(root, "zero");
    ASSERT_EQ(::symlink("/dev/zero", device.c_str()), 0);
    const struct {
        std::string path;
        const char* why;
    } cases[] = {
        {big, "larger than"}, {fifo, "not a regular file"}, {device, "not a regular file"}};
    for (const auto& c : cases) {
        StringList list;
        engine->ReadNodeListFile(false, c.path, list);
        engine->ReadNodeListFile(false, c.path, list);
        EXPECT_TRUE(list.empty()) << c.path;
        int lines = 0;
        for (const std::string& line : log.Lines())
            if (line.find(c.path + " could not be read (" + c.why) != std::string::npos) ++lines;
        EXPECT_EQ(lines, 1) << c.path;
    }
    // A missing file is no problem to report; a file that is readable again is taken.
    StringList list;
    engine->ReadNodeListFile(false, JoinPath(root, "missing.txt"), list);
    EXPECT_EQ(log.Lines().size(), 3u);
    ASSERT_TRUE(RemoveFile(big));
    std::ofstream(big, std::ios::binary) << "AABBCCDDEEFF\n";
    engine->ReadNodeListFile(false, big, list);
    EXPECT_EQ(list, (StringList{"AABBCCDDEEFF;"}));
}

TEST_F(NodeListTest, AHugeListIsCutAtItsEntryLimit) {
    constexpr std::size_t kLimit = 100'000;  // entries taken from one file
    std::string text;
    for (std::size_t i = 0; i < kLimit + 10; ++i)
        text += FormatLong(static_cast<std::int64_t>(i)) + "\n";
    StringList list;
    engine->ReadNodeListFile(true, WriteList(text), list);
    EXPECT_EQ(list.size(), 2 * kLimit);
    EXPECT_EQ(list.back(), FormatLong(static_cast<std::int64_t>(kLimit) - 1) + ";");
    EXPECT_TRUE(LogMentions("entries"));
}

}  // namespace
}  // namespace tarvell::enginetest
