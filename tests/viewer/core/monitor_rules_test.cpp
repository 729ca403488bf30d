// The event monitors' rules without widgets: states, filters, texts, order, counts and menus.
#include <gtest/gtest.h>

#include "viewer/core/shell/MenuTable.h"
#include "viewer/core/hub/EventMacros.h"
#include "viewer/core/monitors/EventList.h"
#include "viewer/core/monitors/MonitorRules.h"

#include <functional>
#include <set>

namespace tarvell {
namespace {

// The type key (Description) and the cause key (EventType) differ on purpose.
CEventItem Event(std::string type, std::string cause = "Changed Port") {
    CEventItem e;
    e.Description = std::move(type);
    e.EventType = std::move(cause);
    e.DeviceName = "core";
    e.DeviceIp = "10.0.0.1";
    e.DevicePort = "Gi0/1";
    return e;
}

EventRecords Records(const std::vector<std::pair<std::string, CEventItem>>& events) {
    EventRecords out;
    for (const auto& [key, e] : events) out[key] = std::make_shared<const CEventItem>(e);
    return out;
}

// 17 detection-state events, 3 of them "New Mac", plus 2 in the prevention state.
EventRecords SeventeenEvents() {
    std::vector<std::pair<std::string, CEventItem>> list;
    for (int i = 0; i < 17; ++i)
        list.emplace_back("S1/" + std::to_string(i), Event(i < 3 ? "New Mac" : "Changed Ip"));
    CEventItem blocked = Event("New Mac");
    blocked.Blocked = 1;
    list.emplace_back("S2/1", blocked);
    list.emplace_back("S2/2", Event("New Mac"));  // block requested below
    return Records(list);
}

TEST(MonitorRulesTest, DetectionFilterAndCountLabel) {
    CTarvellDoc settings;
    settings.BlockRequests = {"S2/2;alice@CORP"};
    const RequestIndex requests = RequestIndex::Build(settings);
    const EventRecords events = SeventeenEvents();
    struct Case {
        CommandId filter;
        std::size_t rows;
        const char* label;
    } cases[] = {
        {cmd::kAllEvents, 17, "17"},        {32804, 3, "3/17"},  // "New Mac"
        {cmd::kVulnerablePorts, 0, "0/17"},                      // no event type: the list empties
        {cmd::kRemovableDisks, 0, "0/17"},  {32813, 0, "0/17"},
    };
    for (const Case& c : cases) {
        const MonitorPass pass = PlanMonitorPass(true, c.filter, events, requests, nullptr);
        EXPECT_EQ(pass.rows.size(), c.rows) << c.filter;
        EXPECT_EQ(CountLabelText(true, c.filter, static_cast<long>(pass.rows.size()), pass.counter),
                  c.label)
            << c.filter;
    }
    // The filter reads the type key, not the cause key.
    EXPECT_FALSE(PassesDetectionFilter(32812, Event("New Mac", "Changed Port")));
    EXPECT_EQ(CountLabelText(false, 32839, 5, 5), "5");
}

TEST(MonitorRulesTest, RequestsDecideStateStatusAndFilter) {
    CTarvellDoc settings;
    settings.BlockRequests = {"S1/10;bob@CORP", "S1/2;alice@CORP", "S1/2;carol@CORP", "S1/7"};
    settings.UnblockRequests = {"S1/3;alice@CORP"};
    settings.DeleteRequests = {"S1/4", "S1/5"};
    settings.EventNotes = {"S1/2;checked", "S1/5;noted"};
    const RequestIndex requests = RequestIndex::Build(settings);
    EXPECT_EQ(requests.Requester("S1/2"), "alice@CORP") << "the first entry names the requester";

    CEventItem shut = Event("New Mac");
    shut.Extra = "1700000000";
    CEventItem blockedNoTime = Event("New Mac");
    blockedNoTime.Blocked = 1;
    CEventItem plain = Event("New Mac");
    CEventItem bySubmitter = shut;
    bySubmitter.Submitter = "ops";
    struct Case {
        const char* key;
        CEventItem event;
        bool detection, prevention;
        std::string status;
        bool manual;
    } cases[] = {
        {"S1/2", plain, false, true, "Waiting for blocking...", true},
        {"S1/3", shut, false, true, "Waiting for activation...", false},  // unblock wins over Extra
        {"S1/6", blockedNoTime, false, true, "Waiting for blocking...", false},
        {"S1/5", shut, false, true, FormatEventTime("1700000000"), false},  // removed but blocked
        {"S1/4", plain, false, false, "", false},                           // removed
        {"S1/1", plain, true, false, "", false},  // "S1/10;" is not a request for "S1/1"
        {"S1/7", plain, true, false, "", false},  // an entry without ";" names no key
        {"S1/8", bySubmitter, false, true, FormatEventTime("1700000000"), true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(InDetectionState(c.key, c.event, requests), c.detection) << c.key;
        EXPECT_EQ(InPreventionState(c.key, c.event, requests), c.prevention) << c.key;
        if (!c.prevention) continue;
        EXPECT_EQ(BlockingStatus(c.key, c.event, requests), c.status) << c.key;
        EXPECT_EQ(PassesPreventionFilter(cmd::kManualBlocking, c.key, c.event, requests), c.manual)
            << c.key;
        EXPECT_EQ(PassesPreventionFilter(cmd::kSystemBlocking, c.key, c.event, requests), !c.manual)
            << c.key;
        EXPECT_FALSE(PassesPreventionFilter(32804, c.key, c.event, requests)) << c.key;
    }
    // Images follow the note, per screen.
    const MonitorPass pass =
        PlanMonitorPass(false, cmd::kAllEvents, Records({{"S1/2", plain}, {"S1/6", blockedNoTime}}),
                        requests, [](const std::string& key) { return key == "S1/6"; });
    ASSERT_EQ(pass.rows.size(), 2u);
    EXPECT_EQ(pass.rows[0].image, 3);
    EXPECT_TRUE(pass.rows[0].unread);
    EXPECT_EQ(pass.rows[1].image, 2);
    EXPECT_FALSE(pass.rows[1].unread);
}

TEST(MonitorRulesTest, TextsTimesAndOrder) {
    CEventItem threat = Event("Threat Receive", "New Mac");
    threat.Severity = 4;
    threat.Before = "Low";
    threat.Current = "$current";
    EXPECT_EQ(EventSummary(threat),
              "High Receive Threat (High Receive Threat discovered from Low to $current.)");
    CEventItem mac = Event("New Mac", "Changed Ip");
    mac.Current = "00:1a";
    mac.Before = "$cause";
    EXPECT_EQ(
        ExpandEventMacros("$cause/$current $before", {"Changed Ip", "$cause", "00:1a", "", ""}),
        "Changed Ip/00:1a $cause");
    EXPECT_EQ(ExpandEventMacros("$current$severity", {"", "", "$submitter", "x", "High"}), "xHigh")
        << "later macros are replaced in earlier values";

    for (const char* stored : {"", "abc", "-5", "17x", "99999999999999999999", " 12"})
        EXPECT_EQ(FormatEventTime(stored), stored) << "shown as stored";
    EXPECT_NE(FormatEventTime("1700000000"), "1700000000");

    struct Order {
        int column;
        const char* a;
        const char* b;
        int sign;
    } orders[] = {
        {2, "10.0.0.9", "10.0.0.10", -1},
        {2, "abc", "10.0.0.10", 1},
        {2, "10.0.0.256", "255.255.255.255", 0},
        {2, "1.2.3", "1.2.3.4", 1},
        {0, "S1/10", "S1/9", -1},
        {0, "a", "B", 1},
        {1, "\xe9", "z", 1},
        {3, "same", "same", 0},
    };
    for (const Order& o : orders)
        EXPECT_EQ(CompareEventRows(o.column, o.a, o.b), o.sign) << o.a << " " << o.b;
    EXPECT_EQ(CompareEventRows(0, std::string(259, 'a') + "b", std::string(259, 'a') + "c"), 0)
        << "259 characters count";
}

// ---- plans and their differences

TEST(MonitorPlanTest, OnlyWhatChangedIsPlannedAgainAndAnUnchangedHubIsNotPlanned) {
    struct Case {
        const char* what;
        std::function<void(EventRecords&, CTarvellDoc&, std::set<std::string>&)> change;
        std::vector<std::string> removed, added, changed;
    };
    const std::vector<Case> cases = {
        {"the same records read again",
         [](EventRecords&, CTarvellDoc&, std::set<std::string>&) {},
         {},
         {},
         {}},
        {"a renamed device",
         [](EventRecords& e, CTarvellDoc&, std::set<std::string>&) {
             CEventItem changed = *e["S1/2"];
             changed.DeviceName = "edge";
             e["S1/2"] = std::make_shared<const CEventItem>(changed);
         },
         {},
         {},
         {"S1/2"}},
        {"a new event and one the service dropped",
         [](EventRecords& e, CTarvellDoc&, std::set<std::string>&) {
             e.erase("S1/1");
             e["S1/9"] = std::make_shared<const CEventItem>(Event("New Ip"));
         },
         {"S1/1"},
         {"S1/9"},
         {}},
        {"a block request moves one to the other screen",
         [](EventRecords&, CTarvellDoc& d, std::set<std::string>&) {
             d.BlockRequests = {"S1/3;alice@CORP"};
         },
         {"S1/3"},
         {},
         {}},
        {"a read mark",
         [](EventRecords&, CTarvellDoc&, std::set<std::string>& read) { read.insert("S1/2"); },
         {},
         {},
         {"S1/2"}},
    };
    for (const Case& c : cases) {
        EventRecords records = Records({{"S1/1", Event("New Mac")},
                                        {"S1/2", Event("New Mac")},
                                        {"S1/3", Event("Changed Ip")}});
        CTarvellDoc settings;
        std::set<std::string> read;
        const auto isRead = [&read](const std::string& key) { return read.count(key) != 0; };
        HubView view;
        view.events =
            std::make_shared<const EventsSnapshot>(EventsSnapshot{"0", "0", {}, {}, records});
        view.requests = std::make_shared<const RequestIndex>(RequestIndex::Build(settings));
        EventList planner;
        EventList::Inputs inputs{true, cmd::kAllEvents, 1, 1, 1};
        std::optional<EventList::Plan> first = planner.PlanFrom(inputs, view, isRead);
        ASSERT_TRUE(first);
        EXPECT_EQ(first->added, 3);
        planner.Commit(*first);
        planner.ShowNew();
        EXPECT_FALSE(planner.PlanFrom(inputs, view, isRead)) << "same generations: not planned";

        // A new snapshot of new records (equal ones unless the case changes them).
        EventRecords next;
        for (const auto& [key, e] : records) next[key] = std::make_shared<const CEventItem>(*e);
        c.change(next, settings, read);
        view.events =
            std::make_shared<const EventsSnapshot>(EventsSnapshot{"0", "0", {}, {}, next});
        view.requests = std::make_shared<const RequestIndex>(RequestIndex::Build(settings));
        inputs = {true, cmd::kAllEvents, 2, 2, 2};
        std::optional<EventList::Plan> diff = planner.PlanFrom(inputs, view, isRead);
        ASSERT_TRUE(diff) << c.what;
        std::vector<std::string> removed, added, changed;
        for (int row : diff->removed) removed.push_back(planner.Key(row));
        for (std::size_t i = 0; i < diff->next.size(); ++i) {
            const std::string key(diff->next[i].key);
            if (diff->from[i] < 0) added.push_back(key);
            else if (diff->change[i]) changed.push_back(key);
        }
        EXPECT_EQ(removed, c.removed) << c.what;
        EXPECT_EQ(added, c.added) << c.what;
        EXPECT_EQ(changed, c.changed) << c.what;
        for (auto it = diff->removed.rbegin(); it != diff->removed.rend(); ++it) planner.Unshow(*it);
        planner.Commit(*diff);
        planner.ShowNew();
        EXPECT_EQ(planner.Count(), 3 - static_cast<int>(c.removed.size() - c.added.size()))
            << c.what;
    }
}

TEST(MonitorRulesTest, FilterMenusLinkAndDefaultItem) {
    EXPECT_EQ(FilterLinkText("Filter by type:", "All Events"), "Filter by type: All Events");
    EXPECT_EQ(
        FilterLinkText("Filter by type: All Events", MenuText(res::kDetectionFilterMenu, 32804)),
        "Filter by type: New Mac");
    EXPECT_EQ(FilterLinkText("no colon", "New Mac"), ": New Mac");

    const auto* menu = LoadMenu(res::kDetectionFilterMenu);
    ASSERT_TRUE(menu && menu->size() == 1 && menu->front().IsPopup());
    const auto& items = menu->front().popup;
    ASSERT_EQ(items.size(), 9u);
    struct Case {
        CommandId filter;
        const char* item;  // the text of the default item
    } cases[] = {{32842, "Broadcast Rate"},   {32820, "Linkup WMI"},
                 {32805, "New Nodes"},        {32845, "Unauthorized Node"},
                 {32844, "Computer Domain"},  {32815, "Threatened Nodes"},
                 {32816, "Vulnerable Ports"}, {32802, "All Events"}};
    for (const Case& c : cases) {
        const DefaultFilterItem d = FilterDefaultItem(true, c.filter);
        const std::string text =
            d.position >= 0 ? std::string(items.at(static_cast<std::size_t>(d.position)).text)
                            : MenuText(res::kDetectionFilterMenu, d.command);
        EXPECT_EQ(text, c.item) << c.filter;
    }
    EXPECT_EQ(FilterDefaultItem(false, 32839).command, 32839u);
    EXPECT_EQ(MenuText(res::kPreventionFilterMenu, cmd::kSystemBlocking), "System Blocking");
    // Every detection command of the menu that names a type passes only that type.
    for (const std::string_view key : {"New Mac", "WMI Hot Fix", "Linkup Script"}) {
        int passing = 0;
        for (CommandId c = 32800; c < 32850; ++c)
            passing += PassesDetectionFilter(c, Event(std::string(key))) ? 1 : 0;
        EXPECT_EQ(passing, 2) << key << ": its own command and All Events";
    }
}

}  // namespace
}  // namespace tarvell
