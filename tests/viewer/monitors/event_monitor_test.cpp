// The event monitor page on the offscreen platform, over a real viewer whose server folder holds
// Tarvell.db and Tarvell.ini written with the shared codecs.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "tests/support/HeaderClick.h"
#include "tests/viewer/core/ViewerFixture.h"
#include "viewer/core/shell/CommandRouter.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/monitors/MonitorRules.h"
#include "viewer/monitors/CEventMonitorWnd.h"
#include "viewer/monitors/EventListModel.h"
#include "viewer/monitors/MonitorDetailsPanels.h"
#include "viewer/monitors/MonitorHeaderPanels.h"
#include "viewer/widgets/CPaintListCtrl.h"
#include "viewer/widgets/LinkLabel.h"

namespace tarvell::test {
namespace {

// Type key and cause key differ, as the records hold them.
CEventItem Ev(std::string type, std::string ip, std::int32_t blocked = 0, std::string extra = "") {
    CEventItem e = MakeEvent("Changed Port", blocked, std::move(extra));
    e.Description = std::move(type);
    e.DeviceIp = std::move(ip);
    e.DeviceName = "core";
    e.DevicePort = "Gi0/1";
    return e;
}

// Counts the paint events a widget and its children receive.
struct PaintCounter : QObject {
    explicit PaintCounter(QWidget& page) {
        page.installEventFilter(this);
        for (QWidget* child : page.findChildren<QWidget*>()) child->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* e) override {
        count += e->type() == QEvent::Paint;
        return false;
    }
    int count = 0;
};

class EventMonitorTest : public ViewerFixture {
protected:
    using Events = std::map<std::string, CEventItem>;

    void Start(const Events& events, const CTarvellDoc& settings = DefaultSettings()) {
        window_.reset();  // a page goes before the viewer it listens to
        WriteSettings(settings);
        WriteEvents(events);
        StartApp();
        ASSERT_TRUE(app_->ReloadDocument());
        ASSERT_TRUE(app_->LoadEvents());
        CEventMonitorWnd::s_SortColumn = -1;  // as at program start
        CEventMonitorWnd::s_SortAscending = false;
        window_ =
            std::make_unique<CEventMonitorWnd>(PageContext{*app_, router_, prompt_, {}}, nullptr);
        window_->resize(900, 500);
    }
    void TearDown() override {
        window_.reset();
        ViewerFixture::TearDown();
    }
    // Shows the page in `mode` and waits for the first pass.
    void Show(CommandId mode) {
        window_->hide();
        window_->SetMode(mode);
        const int passes = window_->Passes();
        window_->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window_->Passes() > passes; }, 2000));
    }
    void Publish(const Events& events) {
        WriteEvents(events);
        ASSERT_TRUE(app_->LoadEvents());
    }
    CPaintListCtrl* List() const { return window_->List(window_->IsDetection()); }
    EventListModel* Model() const { return window_->Rows(window_->IsDetection()); }
    QStringList Column(int column) const {
        QStringList out;
        for (int r = 0; r < Model()->rowCount(); ++r)
            out << Model()->ItemText(r, column);
        return out;
    }
    QString Count() const { return window_->Header(window_->IsDetection())->CountText(); }
    // A mouse click on a header section of the shown list.
    void ClickHeader(int column) {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        ASSERT_TRUE(ClickHeaderSection(List()->header(), column)) << column;
    }
    // Runs `act` on the filter menu once OnFilterByType has opened it.
    void WithMenu(const std::function<void(QMenu*)>& act) {
        QTimer::singleShot(0, [act] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            act(menu);
        });
        window_->Header(window_->IsDetection())->OnFilterByType();
    }
    static void Pick(QMenu* menu, const QString& text) {
        for (QAction* a : menu->actions())
            if (a->text() == text) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
                return;
            }
        menu->close();
        FAIL() << text.toStdString();
    }

    CommandRouter router_;
    PromptRecorder prompt_;
    std::unique_ptr<CEventMonitorWnd> window_;
};

TEST_F(EventMonitorTest, PreventionRowsFollowTheHubInOnePass) {
    CTarvellDoc settings = DefaultSettings();
    settings.EventNotes = {"S1/2;checked"};
    settings.UnblockRequests = {"S1/3;alice@CORP"};
    Events events;
    for (int i = 1; i <= 6; ++i)
        events["S1/" + std::to_string(i)] = Ev("New Mac", "10.0.0.1", 1, "1700000000");
    events["S2/1"] = Ev("New Mac", "10.0.0.1");  // detection only
    Start(events, settings);
    Show(cmd::kPreventionMonitor);
    // Shown, the page sorts by the first column in the direction at program start (descending).
    EXPECT_EQ(Column(0), (QStringList{"S1/6", "S1/5", "S1/4", "S1/3", "S1/2", "S1/1"}));
    EXPECT_EQ(Count(), QStringLiteral("6"));
    EXPECT_EQ(Model()->Image(4), 3) << "a note";
    EXPECT_EQ(Model()->Image(5), 2);
    EXPECT_EQ(Column(4)[3], QStringLiteral("Waiting for activation..."));

    for (const char* gone : {"S1/3", "S1/4", "S1/5"}) events.erase(gone);
    events["S1/6"] = Ev("New Mac", "10.0.0.1");  // unblocked: left the prevention state
    Publish(events);
    List()->SelectRow(2);
    ASSERT_TRUE(window_->FillEventLists());
    EXPECT_EQ(Column(0), (QStringList{"S1/2", "S1/1"})) << "consecutive rows go together";
    EXPECT_EQ(Model()->data(Model()->index(1, 0), kItemDataRole).toULongLong(), 1u) << "item data is the row's index";
    EXPECT_EQ(Count(), QStringLiteral("2"));

    Publish({});
    window_->FillEventLists();
    EXPECT_EQ(Model()->rowCount(), 0) << "an empty hub empties the prevention list";
}

TEST_F(EventMonitorTest, DetectionDropsStaleRowsAndAFilterClearsTheSelection) {
    CTarvellDoc settings = DefaultSettings();
    settings.EventNotes = {"S1/2;checked"};
    Start({{"S1/1", Ev("New Mac", "10.0.0.1")},
           {"S1/2", Ev("New Mac", "10.0.0.2")},
           {"S1/3", Ev("Changed Ip", "10.0.0.3")},
           {"S1/10", Ev("New Mac", "10.0.0.4")}},
          settings);
    Show(cmd::kDetectionMonitor);
    EXPECT_EQ(Count(), QStringLiteral("4"));
    EXPECT_EQ(Model()->Image(Model()->FindKey("S1/2")), 1);
    EXPECT_EQ(Model()->Image(Model()->FindKey("S1/1")), 0);

    List()->SelectRow(0);
    window_->Header(true)->SetFilter(32804, QStringLiteral("New Mac"));
    EXPECT_TRUE(List()->selectionModel()->selectedRows().isEmpty())
        << "a new filter clears the selection";
    EXPECT_EQ(window_->Header(true)->LinkText(), QStringLiteral("Filter by type: New Mac"));
    EXPECT_EQ(Column(0), (QStringList{"S1/2", "S1/10", "S1/1"}));
    EXPECT_EQ(Count(), QStringLiteral("3/4"));

    // Blocked here, a request elsewhere, and gone from the hub: each row goes at the next pass.
    app_->Document().Fields().BlockRequests = {"S1/1;alice@CORP"};
    app_->SetReaderSettings(std::make_shared<CTarvellDoc>(app_->Document().Fields()));
    Publish({{"S1/1", Ev("New Mac", "10.0.0.1")},
             {"S1/2", Ev("New Mac", "10.0.0.2", 1)},
             {"S1/3", Ev("Changed Ip", "10.0.0.3")},
             {"S1/10", Ev("New Mac", "10.0.0.4")}});
    window_->FillEventLists();
    EXPECT_EQ(Column(0), (QStringList{"S1/10"})) << "exact keys: S1/1's request leaves S1/10";
    EXPECT_EQ(Count(), QStringLiteral("1/2"));
}

TEST_F(EventMonitorTest, HeaderClicksFlipTheSharedDirection) {
    Start({{"S1/1", Ev("New Mac", "10.0.0.10")},
           {"S1/2", Ev("New Mac", "abc")},
           {"S1/3", Ev("New Mac", "10.0.0.9")}});
    Show(cmd::kDetectionMonitor);
    EXPECT_EQ(CEventMonitorWnd::s_SortColumn, 0);
    ClickHeader(2);
    EXPECT_TRUE(CEventMonitorWnd::s_SortAscending) << "the first click sorts ascending";
    EXPECT_EQ(Column(2), (QStringList{"10.0.0.9", "10.0.0.10", "abc"}));
    EXPECT_EQ(List()->SortColumn(), 2);
    window_->FillEventLists();
    EXPECT_EQ(Column(2), (QStringList{"10.0.0.9", "10.0.0.10", "abc"}))
        << "a pass sorts by the same pair";
    ClickHeader(0);
    EXPECT_FALSE(CEventMonitorWnd::s_SortAscending) << "another column flips too";
    EXPECT_EQ(Column(0), (QStringList{"S1/3", "S1/2", "S1/1"}));
    ClickHeader(0);
    EXPECT_EQ(Column(0), (QStringList{"S1/1", "S1/2", "S1/3"}));

    ClickHeader(2);  // descending by address
    window_->hide();
    window_->show();
    EXPECT_EQ(Model()->rowCount(), 0) << "shown again, the list starts empty";
    EXPECT_EQ(Count(), QStringLiteral("0"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Model()->rowCount() == 3; }, 2000));
    EXPECT_EQ(CEventMonitorWnd::s_SortColumn, 0);
    EXPECT_FALSE(CEventMonitorWnd::s_SortAscending);
    EXPECT_EQ(Column(0), (QStringList{"S1/3", "S1/2", "S1/1"}));
    EXPECT_FALSE(window_->RefreshTimerActive()) << "later passes follow the hub";
}

TEST_F(EventMonitorTest, BoldRowsAreTheUnreadOnesAfterEverySort) {
    // "s1/1" and "S1/1" are two rows: rows are found by their exact key.
    Start({{"S1/1", Ev("New Mac", "10.0.0.3")},
           {"S1/2", Ev("New Mac", "10.0.0.2")},
           {"S1/3", Ev("New Mac", "10.0.0.1")},
           {"s1/1", Ev("New Mac", "10.0.0.4")}});
    app_->MarkEventRead("S1/2");
    Show(cmd::kDetectionMonitor);
    auto boldKeys = [this] {
        QStringList keys;
        for (int row : List()->BoldRows()) keys << Model()->ItemText(row, 0);
        keys.sort();
        return keys;
    };
    EXPECT_EQ(boldKeys(), (QStringList{"S1/1", "S1/3", "s1/1"}));
    ClickHeader(2);
    EXPECT_EQ(Column(0), (QStringList{"S1/3", "S1/2", "S1/1", "s1/1"}));
    EXPECT_EQ(boldKeys(), (QStringList{"S1/1", "S1/3", "s1/1"})) << "bold follows the rows";
    app_->MarkEventRead("S1/3");
    window_->FillEventLists();
    EXPECT_EQ(boldKeys(), (QStringList{"S1/1", "s1/1"})) << "a mark written between passes unbolds";

    // A pass asked for while one runs is skipped.
    std::vector<bool> nested;
    window_->SetReadMarkQuery([&](const std::string&) {
        nested.push_back(window_->FillEventLists());
        return false;
    });
    EXPECT_TRUE(window_->FillEventLists());
    EXPECT_EQ(nested, std::vector<bool>(4, false));
    EXPECT_FALSE(window_->Filling());
}

TEST_F(EventMonitorTest, TheFilterMenuRefillsOnlyForANewChoice) {
    Start({{"S1/1", Ev("New Mac", "10.0.0.1")}, {"S1/2", Ev("Changed Ip", "10.0.0.2")}});
    Show(cmd::kDetectionMonitor);
    CMonitorHeaderPanel* header = window_->Header(true);
    const int passes = window_->Passes();
    WithMenu([](QMenu* menu) { menu->close(); });
    WithMenu([](QMenu* menu) { Pick(menu, QStringLiteral("All Events")); });
    EXPECT_EQ(window_->Passes(), passes) << "dismissed, or the current filter: nothing refills";
    WithMenu([](QMenu* menu) { Pick(menu, QStringLiteral("Vulnerable Ports")); });
    EXPECT_EQ(window_->Passes(), passes + 1);
    EXPECT_EQ(header->Filter(), cmd::kVulnerablePorts);
    EXPECT_EQ(Model()->rowCount(), 0);
    EXPECT_EQ(Count(), QStringLiteral("0/2"));
    EXPECT_EQ(header->LinkText(), QStringLiteral("Filter by type: Vulnerable Ports"));

    header->SetFilter(32842, QStringLiteral("Broadcast Rate"));
    auto menu = header->BuildFilterMenu();
    QAction* group = menu->actions().at(5);
    ASSERT_TRUE(group->menu());
    EXPECT_EQ(menu->defaultAction(), nullptr);
    ASSERT_TRUE(group->menu()->defaultAction());
    EXPECT_EQ(group->menu()->defaultAction()->text(), QStringLiteral("Broadcast Rate"));
    header->SetFilter(32820, QStringLiteral("Hot Fix"));
    EXPECT_EQ(header->BuildFilterMenu()->defaultAction()->text(), QStringLiteral("Linkup WMI"));
}

TEST_F(EventMonitorTest, LayoutAndFrame) {
    Start({});
    Show(cmd::kPreventionMonitor);
    EXPECT_EQ(List()->geometry(), QRect(30, 61, 900 - 302, 500 - 122));
    EXPECT_EQ(window_->DetailsPane(false)->geometry(), QRect(900 - 272, 27, 242, 500 - 57));
    EXPECT_EQ(window_->Header(false)->pos(), QPoint(30, 27));
    EXPECT_FALSE(window_->List(true)->isVisible());
    EXPECT_EQ(window_->Header(false)->TitleText(), QStringLiteral("Prevention Monitor"));
    const QImage image = window_->grab().toImage();
    EXPECT_EQ(image.pixelColor(450, 60), QColor(193, 193, 193)) << "the separator";
    EXPECT_EQ(image.pixelColor(450, 20), QColor(193, 193, 193)) << "the frame";
}

// ---- the hub's signal

TEST_F(EventMonitorTest, AChangedEventReachesTheOpenListInATickAndAnUnchangedTickTouchesNothing) {
    Events events;
    for (int i = 0; i < 300; ++i) {
        CEventItem e = Ev("New Mac", "10.0.1." + std::to_string(i % 250));
        e.DeviceName = "sw" + std::to_string(1000 + i);
        events["S" + std::to_string(i / 48) + "/" + std::to_string(i % 48)] = e;
    }
    Start(events);
    Show(cmd::kDetectionMonitor);
    CPaintListCtrl* list = List();
    // Sorted by device name; a row further down chosen by keys and mouse.
    ClickHeader(1);  // "Device Name"
    ASSERT_EQ(CEventMonitorWnd::s_SortColumn, 1);
    ASSERT_TRUE(CEventMonitorWnd::s_SortAscending);
    list->setFocus();
    for (int i = 0; i < 4; ++i) QTest::keyClick(list, Qt::Key_PageDown);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      QPoint(20, list->viewport()->height() / 2));
    const int selected = list->SelectedRow();
    ASSERT_GT(selected, 0);
    const QString selectedKey = EventRows(*list)->ItemText(selected, 0);
    const int scroll = list->verticalScrollBar()->value();
    ASSERT_GT(scroll, 0);
    const QStringList before = Column(0);

    std::atomic<int> published{0};
    app_->AddHubListener([&](HubChange c) { published += c == HubChange::EventsPublished; });
    EventListModel* model = EventRows(*list);
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    spies.push_back(std::make_unique<QSignalSpy>(model, &QAbstractItemModel::dataChanged));
    spies.push_back(std::make_unique<QSignalSpy>(model, &QAbstractItemModel::rowsInserted));
    spies.push_back(std::make_unique<QSignalSpy>(model, &QAbstractItemModel::rowsRemoved));
    spies.push_back(std::make_unique<QSignalSpy>(model, &QAbstractItemModel::modelReset));
    spies.push_back(std::make_unique<QSignalSpy>(model, &QAbstractItemModel::layoutChanged));
    const auto rowSignals = [&] {
        qsizetype n = 0;
        for (const auto& spy : spies) n += spy->count();
        return n;
    };
    // The direct load, then the readers' own threads on a 20 ms tick: their first pass publishes
    // the records the load read (equal ones), later ticks find nothing changed.
    app_->StartReaders();
    ASSERT_TRUE(QTest::qWaitFor([&] { return published == 2; }, 2000));
    const int passes = window_->Passes();
    PaintCounter paints(*window_);
    QTest::qWait(300);  // fifteen ticks
    EXPECT_LT(paints.count, 30) << "a page with nothing new to show goes idle (no paint loop)";
    EXPECT_EQ(published, 2) << "unchanged files publish nothing";
    EXPECT_EQ(rowSignals(), 0) << "an unchanged tick leaves the model untouched";
    EXPECT_EQ(Column(0), before);

    // One event renamed so that it sorts first: the open list shows it within a tick or two,
    // the rest where it was.
    const std::string renamed = "S1/2";
    events[renamed].DeviceName = "aa-renamed";
    WriteEvents(events);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Column(1).value(0) == "aa-renamed"; }, 1000));
    EXPECT_GT(window_->Passes(), passes);
    EXPECT_EQ(Column(0)[0], QString::fromStdString(renamed));
    EXPECT_EQ(EventRows(*list)->ItemText(list->SelectedRow(), 0), selectedKey) << "selection kept";
    EXPECT_EQ(list->verticalScrollBar()->value(), scroll) << "scroll position kept";
    EXPECT_EQ(CEventMonitorWnd::s_SortColumn, 1);
    EXPECT_TRUE(CEventMonitorWnd::s_SortAscending);
    EXPECT_EQ(list->SortColumn(), 1);
    QStringList names = Column(1);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end())) << "sort kept";
    EXPECT_EQ(EventRows(*list)->rowCount(), 300);
}

}  // namespace
}  // namespace tarvell::test
