#include "viewer/core/alerts/AlertRows.h"

#include <gtest/gtest.h>

#include "platform/DateText.h"
#include "viewer/core/alerts/AlertArchive.h"

namespace tarvell {
namespace {

CAlertItem Alert(std::string category, std::string ip = "", std::string type = "New Mac") {
    CAlertItem a;
    a.Category = std::move(category);
    a.Description = std::move(type);
    a.DeviceIp = std::move(ip);
    return a;
}

std::vector<std::string> Keys(const std::vector<AlertRow>& rows) {
    std::vector<std::string> k;
    for (const AlertRow& r : rows) k.push_back(r.key);
    return k;
}

TEST(AlertRows, RowsOfOneSecondKeepTheirOwnKeysAndTheModeFiltersByCategory) {
    ObjectMap<CAlertItem> map;
    map.emplace("1700000000.1", std::make_unique<CAlertItem>(Alert("Detection", "10.0.0.1")));
    map.emplace("1700000000.2", std::make_unique<CAlertItem>(Alert("Detection", "10.0.0.2")));
    map.emplace("1700000005.1", std::make_unique<CAlertItem>(Alert("Prevention")));
    map.emplace("1700000006.1", std::make_unique<CAlertItem>(Alert("Test Alert")));
    const auto rows = AlertRowsOf(map, kDetectionAlertsMode);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].cells[0], rows[1].cells[0]);
    EXPECT_EQ(rows[0].cells[0], FormatUserDateTime(1700000000));
    EXPECT_EQ(Keys(rows), (std::vector<std::string>{"1700000000.1", "1700000000.2"}));
    EXPECT_EQ(rows[1].cells[2], "10.0.0.2");
    EXPECT_EQ(Keys(AlertRowsOf(map, kPreventionAlertsMode)),
              std::vector<std::string>{"1700000005.1"});
    EXPECT_TRUE(AlertRowsOf(map, 32776).empty());

    AlertRow newest = rows[0];
    newest.key = "1700000000.10";  // a later counter of the same second, not a text order
    std::vector<AlertRow> sorted = {rows[0], newest, rows[1]};
    SortAlertRows(sorted, AlertSortState{});  // the fill's order: Date, newest first
    EXPECT_EQ(Keys(sorted),
              (std::vector<std::string>{"1700000000.10", "1700000000.2", "1700000000.1"}));
}

TEST(AlertRows, DeviceIpSortsAsNumbersAndTextThatIsNoAddressSortsLast) {
    struct Case {
        const char* text;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"10.0.0.9", 0x0A000009},   {"255.255.255.254", 0xFFFFFFFE}, {"0.0.0.0", 0},
        {"", 0xFFFFFFFF},           {"10.0.0", 0xFFFFFFFF},          {"10.0.0.256", 0xFFFFFFFF},
        {"10.0.0.1 ", 0xFFFFFFFF},  {"10..0.1", 0xFFFFFFFF},         {"1.2.3.4.5", 0xFFFFFFFF},
        {"1.2.3.0004", 0xFFFFFFFF}, {"-1.2.3.4", 0xFFFFFFFF},
    };
    for (const Case& c : cases) EXPECT_EQ(IpToHostOrder(c.text), c.value) << c.text;

    std::vector<AlertRow> rows(4);
    const char* ips[] = {"10.0.0.10", "bogus", "10.0.0.9", "9.255.0.1"};
    for (int i = 0; i < 4; ++i) {
        rows[i].cells[2] = ips[i];
        rows[i].key = std::to_string(i) + ".1";
    }
    AlertSortState sort;
    sort.Click(2);
    EXPECT_TRUE(sort.ascending);
    SortAlertRows(rows, sort);
    EXPECT_EQ(rows[0].cells[2], "9.255.0.1");
    EXPECT_EQ(rows[1].cells[2], "10.0.0.9");
    EXPECT_EQ(rows[2].cells[2], "10.0.0.10");
    EXPECT_EQ(rows[3].cells[2], "bogus");
    sort.Click(2);  // the same column again flips the direction
    SortAlertRows(rows, sort);
    EXPECT_EQ(rows[0].cells[2], "bogus");
    EXPECT_FALSE(AlertRowLess(rows[0], rows[0], 4, true));
    EXPECT_FALSE(AlertRowLess(rows[0], rows[1], 7, true));
}

TEST(AlertRows, DetailsWriteSourceLinesUpToTheLastOneSet) {
    AlertRow row;
    row.cells = {"DATE", "", "", "", "New Mac Address (A new (odd) mac.)"};
    CAlertItem alert = Alert("Detection");
    const std::string head = "New Mac Address \n\nOccurred on: DATE\n\n";
    const std::string tail = "Description: A new (odd) mac.";
    struct Case {
        const char* mac;
        const char* ip;
        const char* name;
        std::string middle;
    };
    const Case cases[] = {
        {"", "", "", ""},
        {"", "10.1.1.1", "", "Source mac: \n\nSource ip: 10.1.1.1\n\n"},
        {"aa", "", "", "Source mac: aa\n\n"},
        {"", "", "pc", "Source mac: \n\nSource ip: \n\nSource name: pc\n\n"},
    };
    for (const Case& c : cases) {
        alert.SourceMac = c.mac;
        alert.SourceIp = c.ip;
        alert.SourceName = c.name;
        const auto pieces = AlertDetails(row, alert);
        EXPECT_EQ(JoinDetails(pieces), head + c.middle + tail);
        EXPECT_TRUE(pieces.front().label);
        EXPECT_EQ(pieces[1].text, "Occurred on: ");
        EXPECT_TRUE(pieces[1].label);
        EXPECT_FALSE(pieces[2].label);
    }
    row.cells[4] = "no parenthesis";
    EXPECT_EQ(JoinDetails(AlertDetails(row, Alert("Detection"))),
              "no parenthesis\n\nOccurred on: DATE\n\nDescription: ");
}

TEST(AlertRows, ReportTableArchiveNameAndTexts) {
    std::vector<AlertRow> rows(2);
    rows[0].cells = {"d", "n", "1.1.1.1", "p", "a"};
    const ReportTable t = AlertReportTable(rows);
    EXPECT_EQ(t.headers, (std::vector<std::string>{"Date", "Device Name", "Device Ip",
                                                   "Device Port", "Alert"}));
    EXPECT_EQ(t.widths, (std::vector<int>{18, 18, 18, 18, 28}));
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.rows[0][2], "1.1.1.1");
    EXPECT_EQ(AlertReportTitle(kPreventionAlertsMode), "Tarvell - prevention alerts report");
    EXPECT_EQ(AlertReportCaption(kDetectionAlertsMode), "Detection alerts report");

    const std::pair<const char*, const char*> names[] = {
        {"/tmp/x.log", "/tmp/x.log"},
        {"/tmp/x", "/tmp/x.log"},
        {"/tmp/x.LOG", "/tmp/x.LOG.log"},
        {"/tmp/x.log.txt", "/tmp/x.log.txt.log"},
        {"", ".log"},
    };
    for (const auto& [in, out] : names) EXPECT_EQ(ArchiveFileName(in), out) << in;
}

}  // namespace
}  // namespace tarvell

// ---- archives, against a hub on a temporary server folder
#include "platform/Files.h"
#include "tests/viewer/core/ViewerFixture.h"

namespace tarvell {
namespace {

class AlertArchiveTest : public test::ViewerFixture {
protected:
    CTarvellApp& Connected() {
        WriteSettings(DefaultSettings());
        WriteAlerts({{"5.1", test::MakeAlert("Detection")},
                     {"5.2", test::MakeAlert("Detection")},
                     {"6.1", test::MakeAlert("Prevention")}});
        CTarvellApp& app = StartApp();
        EXPECT_TRUE(app.ReloadDocument());
        app.LoadAlerts();
        return app;
    }
};

TEST_F(AlertArchiveTest, ArchiveClearViewShowsTheClearedAlertsOfTheModeOnly) {
    CTarvellApp& app = Connected();
    const std::string path = JoinPath(root_, ArchiveFileName("kept.log"));
    ASSERT_TRUE(WriteAlertArchive(app, path));
    app.ClearDetectionAlerts();
    EXPECT_EQ(app.AlertCounts().detection, 0);

    const ArchiveView detection = ReadAlertArchive(path, kDetectionAlertsMode);
    ASSERT_TRUE(detection.readable);
    ASSERT_EQ(detection.rows.size(), 2u);
    CAlertItem found;
    EXPECT_FALSE(app.LookupAlert(detection.rows[0].key, found));  // no details, not removable
    EXPECT_TRUE(app.RemoveAlerts({detection.rows[0].key, detection.rows[1].key}).empty());
    EXPECT_EQ(ReadAlertArchive(path, kPreventionAlertsMode).rows.size(), 1u);

    // The service's own file opens the same way.
    EXPECT_EQ(ReadAlertArchive(JoinPath(server_, "Tarvell.log"), kPreventionAlertsMode).rows.size(),
              1u);
}

TEST_F(AlertArchiveTest, DamagedOrUnwritableFilesFailWithoutRowsOrPartialFiles) {
    CTarvellApp& app = Connected();
    const std::string path = JoinPath(root_, "a.log");
    ASSERT_TRUE(WriteAlertArchive(app, path));
    const std::string bytes = ReadWholeFile(path).value_or("");
    ASSERT_GT(bytes.size(), 8u);
    for (std::size_t cut : {std::size_t{0}, std::size_t{3}, bytes.size() / 2, bytes.size() - 1}) {
        ASSERT_TRUE(AtomicWriteFile(path, bytes.substr(0, cut)));
        const ArchiveView view = ReadAlertArchive(path, kDetectionAlertsMode);
        EXPECT_FALSE(view.readable) << cut;
        EXPECT_TRUE(view.rows.empty()) << cut;
    }
    EXPECT_FALSE(ReadAlertArchive(JoinPath(root_, "missing.log"), kDetectionAlertsMode).readable);
    EXPECT_FALSE(ReadAlertArchive(root_, kDetectionAlertsMode).readable);  // a folder

    // A folder that cannot take the file: nothing is left behind.
    const std::string notFolder = JoinPath(root_, "plain");
    ASSERT_TRUE(AtomicWriteFile(notFolder, "x"));
    EXPECT_FALSE(WriteAlertArchive(app, JoinPath(notFolder, "b.log")));
    EXPECT_FALSE(WriteAlertArchive(app, JoinPath(JoinPath(root_, "gone"), "b.log")));
    EXPECT_FALSE(FileExists(JoinPath(root_, "gone")));
}

}  // namespace
}  // namespace tarvell
