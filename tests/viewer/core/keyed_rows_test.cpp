// The lists kept by key (KeyedRows through AlertList): a plan against the hub's alerts names
// exactly the rows removed, changed and added, its steps keep the shown order, sorts are stable
// both ways, and a snapshot the list lets go of waits in the hub for a reader's thread.
#include "viewer/core/alerts/AlertList.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/viewer/core/ViewerFixture.h"

namespace tarvell {
namespace {

using Alerts = std::map<std::string, CAlertItem>;

CAlertItem Alert(std::string name, std::string category = "Detection") {
    CAlertItem a = test::MakeAlert(std::move(category));
    a.DeviceName = std::move(name);
    return a;
}

// A snapshot of new records each time, as a reader builds one.
std::shared_ptr<const AlertsSnapshot> Snapshot(const Alerts& alerts) {
    auto s = std::make_shared<AlertsSnapshot>();
    for (const auto& [key, a] : alerts) s->AlertLog.emplace(key, std::make_shared<CAlertItem>(a));
    return s;
}

// Applies a plan the way the screen's model does: removals, then the commit, then the new rows.
void Apply(AlertList& list, AlertList::Plan& plan) {
    for (auto it = plan.removed.rbegin(); it != plan.removed.rend(); ++it) list.Unshow(*it);
    list.Commit(plan);
    list.ShowNew();
}

std::vector<std::string> Shown(const AlertList& list, int column = -1) {
    std::vector<std::string> out;
    for (int r = 0; r < list.Count(); ++r)
        out.push_back(column < 0 ? list.Key(r) : list.Cell(r, column));
    return out;
}

TEST(KeyedRows, APlanNamesOnlyWhatChangedAndItsStepsKeepTheShownOrder) {
    const Alerts start = {{"100.1", Alert("a")}, {"200.1", Alert("b")}, {"300.1", Alert("c")},
                          {"400.1", Alert("p", "Prevention")}};
    struct Case {
        const char* what;
        std::function<void(Alerts&)> change;
        std::vector<std::string> removed, added, changed, shown;
    } cases[] = {
        {"equal records read again", [](Alerts&) {}, {}, {}, {}, {"300.1", "200.1", "100.1"}},
        {"a renamed device", [](Alerts& a) { a["200.1"].DeviceName = "renamed"; }, {}, {},
         {"200.1"}, {"300.1", "200.1", "100.1"}},
        {"one gone, one new, the other kind aside",
         [](Alerts& a) {
             a.erase("300.1");
             a["150.1"] = Alert("n");
             a["500.1"] = Alert("q", "Prevention");
         },
         {"300.1"}, {"150.1"}, {}, {"200.1", "100.1", "150.1"}},
    };
    for (const Case& c : cases) {
        AlertList list;
        auto first = list.PlanFrom(kDetectionAlertsMode, 1, Snapshot(start));
        ASSERT_TRUE(first);
        Apply(list, *first);
        list.SortRows(0, false);  // newest first
        EXPECT_FALSE(list.PlanFrom(kDetectionAlertsMode, 1, Snapshot(start))) << "same generation";

        Alerts next = start;
        c.change(next);
        auto plan = list.PlanFrom(kDetectionAlertsMode, 2, Snapshot(next));
        ASSERT_TRUE(plan) << c.what;
        std::vector<std::string> removed, added, changed;
        for (int row : plan->removed) removed.push_back(list.Key(row));
        for (std::size_t i = 0; i < plan->next.size(); ++i) {
            if (plan->from[i] < 0) added.emplace_back(plan->next[i].key);
            else if (plan->change[i]) changed.emplace_back(plan->next[i].key);
        }
        EXPECT_EQ(removed, c.removed) << c.what;
        EXPECT_EQ(added, c.added) << c.what;
        EXPECT_EQ(changed, c.changed) << c.what;
        EXPECT_EQ(plan->Empty(), c.removed.empty() && c.added.empty() && c.changed.empty());
        Apply(list, *plan);
        EXPECT_EQ(Shown(list), c.shown) << c.what << ": rows stay, new ones come last";
        EXPECT_TRUE(list.TakeRetired()) << "the first snapshot is handed back";
    }
}

TEST(KeyedRows, SortsAreStableBothWaysAndTheAlertTextIsKeptForUnchangedRows) {
    // The date sorts by the key's number (999 before 1700000000), equal names keep key order.
    const Alerts alerts = {{"1700000000.1", Alert("x")}, {"999.1", Alert("x")},
                           {"1700000000.2", Alert("a")}, {"500.1", Alert("x")}};
    AlertList list;
    auto plan = list.PlanFrom(kDetectionAlertsMode, 1, Snapshot(alerts));
    Apply(list, *plan);
    list.SortRows(0, true);
    EXPECT_EQ(Shown(list), (std::vector<std::string>{"500.1", "999.1", "1700000000.1",
                                                     "1700000000.2"}));
    EXPECT_TRUE(list.SortRows(0, true).empty()) << "in order: nothing moves";
    for (bool ascending : {true, false}) {
        list.SortRows(0, true);
        list.SortRows(1, ascending);
        const std::vector<std::string> xs = {"500.1", "999.1", "1700000000.1"};
        std::vector<std::string> expected = xs;
        expected.insert(ascending ? expected.begin() : expected.end(), "1700000000.2");
        EXPECT_EQ(Shown(list), expected) << "equal names keep their order, ascending "
                                         << ascending;
    }

    list.SortRows(4, true);
    Alerts next = alerts;
    next["999.1"].EventType = "Changed Ip";
    plan = list.PlanFrom(kDetectionAlertsMode, 2, Snapshot(next));
    ASSERT_TRUE(plan);
    for (const AlertEntry& e : plan->next)
        EXPECT_EQ(e.sortText.empty(), e.key == "999.1") << e.key << ": made again only if changed";
    Apply(list, *plan);
    list.SortRows(4, true);
    for (const auto& [key, alert] : next)
        EXPECT_EQ(list.Cell(list.RowOfKey(key), 4), MakeAlertRow(key, alert).cells[4]) << key;
}

class KeyedRowsHubTest : public test::ViewerFixture {};

TEST_F(KeyedRowsHubTest, ARetiredSnapshotIsFreedByTheNextPublicationNotByTheScreen) {
    CTarvellApp& app = StartApp();
    std::weak_ptr<const AlertsSnapshot> watched;
    {
        auto snapshot = Snapshot({{"100.1", Alert("a")}});
        watched = snapshot;
        app.RetireSnapshot(std::move(snapshot));
    }
    EXPECT_FALSE(watched.expired()) << "held for the reader's thread";
    app.SetAlerts(Snapshot({}), {});
    EXPECT_TRUE(watched.expired()) << "freed by the publication";

    // Nobody frees them: the oldest beyond the bound goes at once.
    std::vector<std::weak_ptr<const AlertsSnapshot>> many;
    for (std::size_t i = 0; i <= CTarvellApp::kMaxRetired; ++i) {
        auto snapshot = Snapshot({});
        many.push_back(snapshot);
        app.RetireSnapshot(std::move(snapshot));
    }
    EXPECT_TRUE(many.front().expired());
    EXPECT_FALSE(many.back().expired());
    app.FreeRetired();
    EXPECT_TRUE(many.back().expired());
}

}  // namespace
}  // namespace tarvell
