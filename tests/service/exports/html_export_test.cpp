// The HTML export: page structure against golden pages, the escaping of every text (checked by
// running the page's script in Node), the plain table inside the control, file handling.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <sstream>

#include "platform/Process.h"
#include "platform/RecursiveLock.h"
#include "platform/Text.h"
#include "service/exports/CScanExportHtml.h"
#include "service/exports/HtmlPage.h"
#include "tests/service/exports/ExportFixture.h"

namespace tarvell::exporttest {
namespace {

class HtmlExportTest : public ExportFixture {
protected:
    CTarvellDoc HtmlSettings() {
        CTarvellDoc doc = Settings();
        doc.HtmlExportOn = 1;
        doc.HtmlFolder = exportFolder;
        doc.HtmlEventsPage = "Events";
        doc.HtmlAlertsPage = "Alerts";
        return doc;
    }

    std::string Page(const std::string& name) {
        return ReadWholeFile(JoinPath(exportFolder, name + ".htm")).value_or("<missing>");
    }

    std::string ExportAndRead(const CTarvellDoc& doc, const std::string& name) {
        UseSettings(doc);
        CScanExportHtml html(*engine);
        html.ExportOnce();
        return Page(name);
    }
};

std::string Hex(std::string_view bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// ---- golden pages

TEST_F(HtmlExportTest, ColumnsZeroThreeAndEightGiveOneAddAndTwoSubItemsPerRow) {
    Event("1", "3", 1'699'990'000);
    Event("2", "7", 1'699'999'999, "Changed Ip").Before = "10.9.9.9";
    {
        RecursiveGuard lock(engine->EngineLock);
        engine->EventMap["2/7"]->Submitter = "admin";
        engine->EventMap["2/7"]->Severity = 4;
    }
    Event("3", "1", 1'699'999'000).Deleted = 1;  // no row
    CTarvellDoc doc = HtmlSettings();
    doc.HtmlEventsColumns[0] = "Occurrence";
    doc.HtmlEventsColumns[3] = "DevicePort";
    doc.HtmlEventsColumns[8] = "Description";
    test::ExpectGolden("exports/events_0_3_8.htm", ExportAndRead(doc, "Events"));
}

TEST_F(HtmlExportTest, OnlyTheDeviceIpAlertColumnGivesOneHeaderAndWidth105) {
    Alert("1699990000.0");
    Alert("1699990000.1").State = 1;  // removed: no row
    Alert("1699995000.0").DeviceIp = "10.2.0.77";
    CTarvellDoc doc = HtmlSettings();
    doc.HtmlAlertsColumns[2] = "DeviceIp";
    test::ExpectGolden("exports/alerts_deviceip.htm", ExportAndRead(doc, "Alerts"));
}

TEST_F(HtmlExportTest, AnEmptyMapGivesHeadersAndNoRows) {
    CTarvellDoc doc = HtmlSettings();
    doc.HtmlEventsColumns = {"Occurrence", "DeviceName", "DeviceIp", "DevicePort", "SourceMac",
                             "SourceIp",   "SourceName", "Blocked",  "Description"};
    test::ExpectGolden("exports/events_empty.htm", ExportAndRead(doc, "Events"));
}

TEST_F(HtmlExportTest, HostileTextsAreEscapedInScriptTableAndTitle) {
    CEventItem& e = Event("1", "1", 1'699'990'000);
    e.DeviceName = "O'Brien\\ \"x\" </script><script>alert(1)</script>";
    e.SourceName = "line1\r\nline2\x85\xE9\x80";
    CTarvellDoc doc = HtmlSettings();
    doc.HtmlEventsPage = "Net <b>&\"x\"";
    doc.HtmlEventsColumns[1] = "Name <i>";
    doc.HtmlEventsColumns[6] = "Source 'N'";
    test::ExpectGolden("exports/events_hostile.htm", ExportAndRead(doc, "Net <b>&\"x\""));
}

// ---- structure

TEST_F(HtmlExportTest, AllEventColumnsEmptyDeletesTheEventsPageAndStillWritesAlerts) {
    ASSERT_TRUE(AtomicWriteFile(JoinPath(exportFolder, "Events.htm"), "old"));
    Alert("1699990000.0");
    CTarvellDoc doc = HtmlSettings();
    doc.HtmlAlertsColumns[1] = "DeviceName";
    UseSettings(doc);
    CScanExportHtml html(*engine);
    html.ExportOnce();
    EXPECT_FALSE(FileExists(JoinPath(exportFolder, "Events.htm")));
    EXPECT_NE(Page("Alerts").find("'sw-1699990000.0'"), std::string::npos);
}

TEST_F(HtmlExportTest, TheRowsAlsoStandInAPlainTableInsideTheControl) {
    Event("1", "2", 1'699'990'000);
    CTarvellDoc doc = HtmlSettings();
    doc.HtmlEventsColumns[2] = "DeviceIp";
    doc.HtmlEventsColumns[7] = "Blocked";
    const std::string page = ExportAndRead(doc, "Events");
    const std::size_t object = page.find("<OBJECT id=\"list\"");
    const std::size_t table = page.find("<tr><td>10.0.0.1</td><td>no</td></tr>");
    const std::size_t objectEnd = page.find("</OBJECT>");
    ASSERT_NE(table, std::string::npos);
    EXPECT_LT(object, table);
    EXPECT_LT(table, objectEnd);
    EXPECT_EQ(page.substr(page.size() - 9), "\r\n</body>");
    EXPECT_EQ(page.find("<body"), 0u);
}

TEST_F(HtmlExportTest, NothingHappensWhenOffOrWithoutFolder) {
    Event("1", "2", 1'699'990'000);
    CTarvellDoc doc = HtmlSettings();
    doc.HtmlEventsColumns[2] = "DeviceIp";
    doc.HtmlExportOn = 0;
    EXPECT_EQ(ExportAndRead(doc, "Events"), "<missing>");
    doc.HtmlExportOn = 1;
    doc.HtmlFolder.clear();
    EXPECT_EQ(ExportAndRead(doc, "Events"), "<missing>");
}

TEST_F(HtmlExportTest, SupportFilesAreCopiedOnlyWhenMissing) {
    ASSERT_TRUE(AtomicWriteFile(JoinPath(serviceFolder, "ListView.lpk"), "lpk"));
    ASSERT_TRUE(AtomicWriteFile(JoinPath(serviceFolder, "MSCOMCTL.cab"), "cab"));
    ASSERT_TRUE(AtomicWriteFile(JoinPath(exportFolder, "MSCOMCTL.cab"), "mine"));
    CTarvellDoc doc = HtmlSettings();
    ExportAndRead(doc, "Events");
    EXPECT_EQ(ReadWholeFile(JoinPath(exportFolder, "ListView.lpk")).value_or(""), "lpk");
    EXPECT_EQ(ReadWholeFile(JoinPath(exportFolder, "MSCOMCTL.cab")).value_or(""), "mine");
}

// Fault mended: a page name is a file name, and the service runs as root.
TEST_F(HtmlExportTest, APageNameThatLeavesTheFolderIsRefusedAndLoggedOnce) {
    struct Case {
        const char* name;
        bool ok;
    };
    const Case cases[] = {{"../escape", false}, {"a/b", false},     {"..", false},
                          {"a\\b", false},      {"", false},        {"x..y", false},
                          {"Net events", true}, {"r\xE9seau", true}};
    for (const Case& c : cases) EXPECT_EQ(PageNameProblem(c.name).empty(), c.ok) << c.name;

    Event("1", "2", 1'699'990'000);
    CTarvellDoc doc = HtmlSettings();
    doc.HtmlEventsPage = "../escape";
    doc.HtmlEventsColumns[2] = "DeviceIp";
    UseSettings(doc);
    CScanExportHtml html(*engine);
    html.ExportOnce();
    html.ExportOnce();
    EXPECT_FALSE(FileExists(JoinPath(root, "escape.htm")));
    int lines = 0;
    for (const std::string& line : log.Lines())
        lines += line.find("../escape") != std::string::npos;
    EXPECT_EQ(lines, 1);
}

TEST_F(HtmlExportTest, APageNameOutsideAsciiNamesAUtf8File) {
    CTarvellDoc doc = HtmlSettings();
    doc.HtmlEventsPage = "R\xE9seau";
    doc.HtmlEventsColumns[2] = "DeviceIp";
    UseSettings(doc);
    CScanExportHtml html(*engine);
    html.ExportOnce();
    EXPECT_TRUE(FileExists(JoinPath(exportFolder, "R\xC3\xA9seau.htm")));
    EXPECT_NE(Page("R\xC3\xA9seau").find("R&#233;seau report for"), std::string::npos);
}

// Fault mended: the page replaces the old one by a rename, never by truncating it in place.
TEST_F(HtmlExportTest, APageIsReplacedWholeAndNoTemporaryFileStays) {
    Event("1", "2", 1'699'990'000);
    CTarvellDoc doc = HtmlSettings();
    doc.HtmlEventsColumns[2] = "DeviceIp";
    const std::string path = JoinPath(exportFolder, "Events.htm");
    ASSERT_TRUE(AtomicWriteFile(path, "old page"));
    const std::string page = ExportAndRead(doc, "Events");
    EXPECT_NE(page.find("10.0.0.1"), std::string::npos);
    EXPECT_FALSE(FileExists(path + ".tmp"));
}

TEST_F(HtmlExportTest, APageIsRewrittenOnlyWhenItsRowsOrItsFileChanged) {
    Event("1", "2", 1'699'990'000);
    CTarvellDoc doc = HtmlSettings();
    doc.HtmlEventsColumns[2] = "DeviceIp";
    doc.HtmlAlertsColumns[2] = "DeviceIp";
    UseSettings(doc);
    CScanExportHtml html(*engine);
    const std::string events = JoinPath(exportFolder, "Events.htm");
    html.ExportOnce();
    const std::string first = Page("Events");
    struct Step {
        const char* what;
        std::function<void()> change;
        std::uint64_t unchanged;  // pages left as they were, in all, after the pass
        bool eventsRewritten;
    };
    const std::vector<Step> steps = {
        {"nothing changed", [] {}, 2, false},
        {"a new event", [&] { Event("1", "3", 1'699'990'100); }, 3, true},
        {"the file removed", [&] { RemoveFile(events); }, 4, true},
        {"the file replaced", [&] { AtomicWriteFile(events, "someone else's page"); }, 5, true},
        {"a column more",
         [&] {
             doc.HtmlEventsColumns[3] = "DevicePort";
             UseSettings(doc);
         },
         6, true},
    };
    std::string before = first;
    for (const Step& step : steps) {
        step.change();
        const std::string seen = Page("Events");
        clock.Advance(60);
        html.ExportOnce();
        EXPECT_EQ(html.PagesLeftUnchanged(), step.unchanged) << step.what;
        const std::string after = Page("Events");
        if (step.eventsRewritten) EXPECT_NE(after, seen) << step.what;
        else EXPECT_EQ(after, before) << step.what;
        EXPECT_NE(after.find("10.0.0.1"), std::string::npos) << step.what;
        before = after;
    }
}

// The worker runs on this thread, so the records are edited without their locks.
TEST_F(HtmlExportTest, EveryChangeAPageShowsRewritesItAndAnUnchangedPassWritesNothing) {
    struct : FakeClock {  // runs `once` when next read: a pass reads it between digest and copy
        std::function<void()> once;
        std::int64_t Now() override {
            if (const auto run = std::exchange(once, nullptr)) run();
            return FakeClock::Now();
        }
    } hook;
    EngineEnvironment env = Environment();
    env.clock = &hook;
    engine = std::make_unique<CTarvellFrm>(env);
    Event("1", "2", 1'699'990'000);
    Event("2", "3", 1'699'990'500, "Changed Ip");
    Alert("1699990000.0");
    Alert("1699990000.1");
    CTarvellDoc doc = HtmlSettings();
    doc.HtmlEventsColumns = {"Occurrence", "", "", "DevicePort", "", "", "", "", "Description"};
    doc.HtmlAlertsColumns = {"Occurrence", "", "", "", "", "", "", "", "Description"};
    UseSettings(doc);
    const std::string paths[] = {JoinPath(exportFolder, "Events.htm"),
                                 JoinPath(exportFolder, "Alerts.htm")};
    const auto stamps = [&] {  // a rewrite renames a new file in; any edit moves the change time
        std::array<std::pair<ino_t, std::int64_t>, 2> out{};
        struct stat st {};
        for (int i = 0; i < 2; ++i)
            if (::stat(paths[i].c_str(), &st) == 0) out[i] = {st.st_ino, st.st_ctim.tv_nsec};
        return out;
    };
    const auto editInPlace = [&] {  // same size, same modification time
        struct stat st {};
        ::stat(paths[0].c_str(), &st);
        std::FILE* f = std::fopen(paths[0].c_str(), "r+b");
        std::fputs("<BODY", f);
        std::fclose(f);
        const timespec times[] = {st.st_atim, st.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, paths[0].c_str(), times, 0), 0);
    };
    const struct {
        const char* what;
        std::function<void()> change;
        bool rewritten[2];  // events page, alerts page
    } steps[] = {
        {"a new event", [&] { Event("3", "1", 1'699'991'000); }, {1, 0}},
        {"a shown field", [&] { engine->EventMap["1/2"]->DevicePort = "Gi9"; }, {1, 0}},
        {"a description field", [&] { engine->EventMap["2/3"]->Submitter = "o"; }, {1, 0}},
        {"an event deleted, one added as the page is formed",
         [&] {
             engine->EventMap["3/1"]->Deleted = 1;
             hook.once = [&] { Event("4", "4", 1); };
         },
         {1, 0}},
        {"that event deleted", [&] { engine->EventMap["4/4"]->Deleted = 1; }, {1, 0}},
        {"an alert removed", [&] { engine->AlertLog["1699990000.1"]->State = 1; }, {0, 1}},
        {"description texts", [&] { std::ranges::fill(doc.AlertDescriptionTexts, "$c"); }, {1, 1}},
        {"the time zone", [] { ::setenv("TZ", "XYZ-2", 1); }, {1, 1}},
        {"a column title", [&] { doc.HtmlAlertsColumns[8] = "What"; }, {0, 1}},
        {"the page deleted", [&] { RemoveFile(paths[0]); }, {1, 0}},
        {"the page edited in place", editInPlace, {1, 0}},
    };
    CScanExportHtml html(*engine);
    html.ExportOnce();
    std::uint64_t unchanged = 0;
    for (const auto& step : steps) {
        step.change();
        UseSettings(doc);
        hook.Advance(60);
        const auto before = stamps();
        html.ExportOnce();
        unchanged += !step.rewritten[0] + !step.rewritten[1];
        EXPECT_EQ(html.PagesLeftUnchanged(), unchanged) << step.what;
        for (int page = 0; page < 2; ++page) {
            EXPECT_EQ(stamps()[page] != before[page], step.rewritten[page]) << step.what << page;
            const HtmlPageInput input{ExportKind(page), page ? "Alerts" : "Events",
                                      page ? doc.HtmlAlertsColumns : doc.HtmlEventsColumns,
                                      hook.Now()};
            if (step.rewritten[page]) {  // as a fresh write of the page would be
                EXPECT_EQ(ReadWholeFile(paths[page]).value_or(""),
                          BuildPage(input, SnapshotExportRows(*engine, input.kind)))
                    << step.what;
            }
        }
        const auto settled = stamps();
        html.ExportOnce();  // nothing changed since
        EXPECT_EQ(html.PagesLeftUnchanged(), unchanged += 2) << step.what;
        EXPECT_EQ(stamps(), settled) << step.what;
    }
}

TEST_F(HtmlExportTest, TheWorkerWritesAtItsPaceAndStopsCleanly) {
    Event("1", "2", 1'699'990'000);
    CTarvellDoc doc = HtmlSettings();
    doc.HtmlEventsColumns[2] = "DeviceIp";
    UseSettings(doc);
    CScanExportHtml html(*engine, 10);
    ASSERT_TRUE(html.Start());
    for (int i = 0; i < 500 && !FileExists(JoinPath(exportFolder, "Events.htm")); ++i)
        DefaultClock().SleepMs(10);
    html.StopAndJoin();
    EXPECT_TRUE(FileExists(JoinPath(exportFolder, "Events.htm")));
    EXPECT_FALSE(html.IsRunning());
}

// ---- escaping

TEST(ScriptStringEscape, EscapesEveryCharacterThatCouldEndTheLiteralOrTheBlock) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"plain text 1.2", "plain text 1.2"},
        {"'", "\\x27"},
        {"\\", "\\x5C"},
        {"\"", "\\x22"},
        {"</script>", "\\x3C/script\\x3E"},
        {"a&b", "a\\x26b"},
        {"\r\n\t", "\\x0D\\x0A\\x09"},
        {std::string("\0x", 2), "\\x00x"},
        {"\xE9\x80\x85", "\\u00E9\\u20AC\\u2026"},
        {"\x7F", "\\x7F"},
    };
    for (const Case& c : cases) EXPECT_EQ(ScriptStringEscape(c.in), c.out) << c.in;
}

TEST(EscapePageHtml, EscapesMarkupAndWritesNonAsciiAsReferences) {
    EXPECT_EQ(EscapePageHtml("<a href=\"x\">O'B & c</a>"),
              "&lt;a href=&quot;x&quot;&gt;O&#39;B &amp; c&lt;/a&gt;");
    EXPECT_EQ(EscapePageHtml("\xE9\x80"), "&#233;&#8364;");
    EXPECT_EQ(EscapePageHtml("a\x01z"), "a&#xFFFD;z");
}

// The page's own script, run by a JavaScript engine, gives back every value byte for byte.
TEST_F(HtmlExportTest, NodeRunningThePageScriptGetsEveryValueBackExactly) {
    const std::vector<std::string> names = {"O'Brien",
                                            "back\\slash",
                                            "cr\rlf\nboth\r\n",
                                            "</script><script>bad()</script>",
                                            "caf\xE9 \x80 \x93"
                                            "dash\x94 \x81",
                                            "\"double\" & <angle>",
                                            std::string(300, 'x')};
    for (std::size_t i = 0; i < names.size(); ++i) {
        CEventItem& e = Event(std::to_string(i + 1), "1", 1'699'990'000 + i);
        e.DeviceName = names[i];
        e.SourceName = "src " + names[i];
    }
    CTarvellDoc doc = HtmlSettings();
    doc.HtmlEventsColumns[1] = "Name '</script>";
    doc.HtmlEventsColumns[6] = "Source";
    ExportAndRead(doc, "Events");

    ProcessOptions run;
    run.argv = {"node", FixturePath("page_script_values.js"), JoinPath(exportFolder, "Events.htm")};
    run.captureOutput = true;
    run.timeLimitMs = 30'000;
    run.maxOutputBytes = 1 << 20;
    const ProcessResult result = RunProcess(run);
    if (result.end == ProcessEnd::NotStarted) GTEST_SKIP() << "node is not installed";
    ASSERT_TRUE(result.Succeeded()) << result.err;

    std::ostringstream expected;
    expected << "H 0 " << Hex("Name '</script>") << "\n"
             << "H 1 " << Hex("Source") << "\n";
    for (std::size_t i = 0; i < names.size(); ++i) {
        expected << "R " << i << " 0 " << Hex(Cp1252ToUtf8(names[i])) << "\n";
        expected << "R " << i << " 1 " << Hex(Cp1252ToUtf8("src " + names[i])) << "\n";
    }
    expected << "W 205\n"
             << "T " << Hex("Displayed items: 7") << "\n";
    EXPECT_EQ(result.out, expected.str());
}

}  // namespace
}  // namespace tarvell::exporttest

namespace tarvell::exporttest {
namespace {

TEST(IntervalMinutes, ReadsTheWordUnsignedAndBoundsItToAYear) {
    EXPECT_EQ(IntervalMinutes(0), 0);
    EXPECT_EQ(IntervalMinutes(5), 5);
    EXPECT_EQ(IntervalMinutes(-1), kMaxIntervalMinutes);  // 0xFFFFFFFF minutes
    EXPECT_EQ(IntervalMinutes(1'000'000), kMaxIntervalMinutes);
}

}  // namespace
}  // namespace tarvell::exporttest

namespace tarvell::exporttest {
namespace {

// Reads a script string body back as the script engine would (only the escapes we write).
std::u32string DecodeScriptString(const std::string& body, bool* ok) {
    std::u32string out;
    for (std::size_t i = 0; i < body.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(body[i]);
        if (c < 0x20 || c > 0x7E || c == '\'' || c == '"' || c == '<' || c == '>' || c == '&') {
            *ok = false;
            return out;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        const char kind = i + 1 < body.size() ? body[i + 1] : 0;
        const std::size_t digits = kind == 'x' ? 2 : kind == 'u' ? 4 : 0;
        if (digits == 0 || i + 2 + digits > body.size()) {
            *ok = false;
            return out;
        }
        out += static_cast<char32_t>(std::stoul(body.substr(i + 2, digits), nullptr, 16));
        i += 1 + digits;
    }
    return out;
}

std::u32string Cp1252CodePoints(const std::string& bytes) {
    const std::string utf8 = Cp1252ToUtf8(bytes);
    std::u32string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char b = static_cast<unsigned char>(utf8[i]);
        const std::size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        char32_t cp = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
        for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
        out += cp;
        i += n;
    }
    return out;
}

TEST(ScriptStringEscape, RandomTextsComeBackWholeAndNeverHoldARawSpecialCharacter) {
    std::srand(18);
    for (int round = 0; round < 2000; ++round) {
        std::string text(static_cast<std::size_t>(std::rand() % 40), '\0');
        for (char& c : text) c = static_cast<char>(std::rand() % 256);
        bool ok = true;
        const std::u32string back = DecodeScriptString(ScriptStringEscape(text), &ok);
        ASSERT_TRUE(ok) << ScriptStringEscape(text);
        ASSERT_EQ(back, Cp1252CodePoints(text));
    }
}

}  // namespace
}  // namespace tarvell::exporttest
