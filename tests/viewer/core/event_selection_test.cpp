// Selecting a monitor event without widgets: its text, the keys, the count label, the links'
// permissions and the prevention information page.
#include <gtest/gtest.h>

#include "shared/EventTypes.h"
#include "viewer/core/monitors/EventSelection.h"
#include "viewer/core/monitors/MonitorRules.h"

namespace tarvell {
namespace {

CEventItem Source(std::string mac, std::string ip, std::string name) {
    CEventItem e;
    e.Description = e.EventType = "New Mac";
    e.DateKey = "1700000000";
    e.SourceMac = std::move(mac);
    e.SourceIp = std::move(ip);
    e.SourceName = std::move(name);
    return e;
}

TEST(EventSelectionTest, TextBlocksFollowTheSourceFields) {
    struct Case {
        CEventItem event;
        std::vector<std::string> labels;  // bold parts after the title
        std::string macLine;
    } cases[] = {
        {Source("AA:BB", "", ""),
         {"Occurred on: ", "Source mac: ", "Description: "},
         "Source mac: AA:BB"},
        {Source("AA:BB;CC:DD", "", "pc<b>"),
         {"Occurred on: ", "Source mac: ", "Source ip: ", "Source name: ", "Description: "},
         "Source mac: AA:BB"},
        {Source("", "10.1.1.1", ""),
         {"Occurred on: ", "Source mac: ", "Source ip: ", "Description: "},
         "Source mac: "},
    };
    for (const Case& c : cases) {
        const EventText text = BuildEventText(true, c.event, "New Mac (a node came.)", "");
        std::vector<std::string> bold = text.BoldParts();
        ASSERT_FALSE(bold.empty());
        EXPECT_EQ(bold.front(), "New Mac ");
        bold.erase(bold.begin());
        EXPECT_EQ(bold, c.labels);
        const std::string plain = text.Plain();
        EXPECT_NE(plain.find("\n\n" + c.macLine + "\n\n"), std::string::npos) << plain;
        EXPECT_EQ(plain.rfind("Description: a node came."), plain.size() - 25) << plain;
    }
    // An empty SourceIp beside a name still gets its line; the name stays plain text.
    const std::string plain = BuildEventText(true, cases[1].event, "x", "").Plain();
    EXPECT_NE(plain.find("\n\nSource ip: \n\nSource name: pc<b>\n\n"), std::string::npos);
    // Four blocks without source ip and name.
    const std::string four = BuildEventText(true, cases[0].event, "x", "").Plain();
    EXPECT_EQ(std::count(four.begin(), four.end(), '\n'), 6);
}

TEST(EventSelectionTest, TitlesOfBothScreens) {
    CEventItem threat = Source("AA", "", "");
    threat.Description = threat.EventType = "Threat Receive";
    threat.Severity = 4;
    std::string title, description;
    SplitEventSummary(EventSummary(threat), title, description);
    EXPECT_EQ(title, "High Receive Threat ");
    EXPECT_EQ(description.rfind("High Receive Threat", 0), 0u);
    SplitEventSummary("a (b (c) d) e", title, description);
    EXPECT_EQ(description, "b (c) d") << "first ( to last )";
    SplitEventSummary("plain", title, description);
    EXPECT_EQ(title, "plain");
    EXPECT_EQ(description, "");

    CEventItem blocked = Source("AA", "", "");
    struct Case {
        std::string requester, submitter, title, description;
    } cases[] = {
        {"alice", "", "Manual Blocking", "Manual Blocking by ."},
        {"", "bob", "Manual Blocking", "Manual Blocking by bob."},
        {"", "", "System Blocking", "System Blocking due to " + EventTypeName("New Mac") + "."},
    };
    for (const Case& c : cases) {
        blocked.Submitter = c.submitter;
        const EventText text = BuildEventText(false, blocked, "ignored (x)", c.requester);
        EXPECT_EQ(text.runs.front(), (EventTextRun{c.title, true}));
        EXPECT_EQ(text.runs.back(), (EventTextRun{c.description, false}));
        EXPECT_EQ(PreventionHelpPage(c.requester, blocked), EventTypeHelp(c.title));
    }
    EXPECT_FALSE(EventTypeHelp("System Blocking").empty());
    const std::vector<std::string> requests = {"S1/10;carol", "S1/1", "S1/1;alice", "S1/1;bob"};
    EXPECT_EQ(BlockRequester(requests, "S1/1"), "alice") << "the first entry of the key itself";
    EXPECT_EQ(BlockRequester(requests, "S1/2"), "");
}

TEST(EventSelectionTest, KeysAndCountLabel) {
    struct Key {
        MonitorKey key;
        int selected, rows, target;
    } keys[] = {
        {MonitorKey::Down, -1, 3, 0},  {MonitorKey::Down, 1, 3, 2}, {MonitorKey::Down, 2, 3, -1},
        {MonitorKey::Up, 0, 3, -1},    {MonitorKey::Up, 2, 3, 1},   {MonitorKey::Up, -1, 3, -1},
        {MonitorKey::Other, 1, 3, -1}, {MonitorKey::F3, 1, 3, -1},  {MonitorKey::Down, -1, 0, -1},
    };
    for (const Key& k : keys)
        EXPECT_EQ(KeyTargetRow(k.key, k.selected, k.rows), k.target) << k.selected;

    const std::pair<const char*, const char*> labels[] = {
        {"12", "11"},   {"3/17", "2/16"}, {"1", "0"},     {"0", "0"},
        {"0/5", "0/4"}, {"", "0"},        {"x/y", "0/0"},
    };
    for (const auto& [before, after] : labels)
        EXPECT_EQ(LowerCountLabel(before, false), after) << before;
    EXPECT_EQ(LowerCountLabel("3/17", true), "0");
}

TEST(EventSelectionTest, LinkPermissions) {
    CTarvellDoc open;
    CTarvellDoc guarded;
    guarded.ViewerUsers = {"alice"};
    CTarvellDoc prevention = guarded;
    prevention.PreventionEnabled = 1;
    const std::string perms =
        "Detection Details;Detection Block;Detection Remove";  // Remove lacks ";"
    struct Case {
        const CTarvellDoc* settings;
        MonitorLink link;
        bool before, after;
    } cases[] = {
        {&open, MonitorLink::RemoveEvents, true, true},
        {&open, MonitorLink::BlockEvents, true, true},
        {&guarded, MonitorLink::EventDetails, false, true},
        {&guarded, MonitorLink::RemoveEvents, true, false},
        {&guarded, MonitorLink::LearnMore, true, false},
        {&guarded, MonitorLink::BlockEvents, true, true},  // prevention off: left as it was
        {&guarded, MonitorLink::BlockEvents, false, false},
        {&prevention, MonitorLink::BlockEvents, false, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LinkActiveAfterShow(*c.settings, perms, true, c.link, c.before), c.after)
            << LinkPermission(true, c.link) << " " << c.before;
    EXPECT_FALSE(LinkActiveAfterShow(guarded, "", true, MonitorLink::BlockEvents, true));
    EXPECT_TRUE(LinkActiveAfterShow(guarded, "Prevention Details;", false,
                                    MonitorLink::EventDetails, false));
    EXPECT_FALSE(LinkActiveAfterShow(guarded, perms, false, MonitorLink::EventDetails, true));
}

}  // namespace
}  // namespace tarvell
