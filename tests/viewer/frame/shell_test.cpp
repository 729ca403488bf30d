// The shell on the offscreen platform: frame, banner, view and pages driven through commands,
// with the service on the fake backend and the servers in a temporary tree.
#include <QAction>
#include <QLabel>
#include <QApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <thread>
#include <tuple>
#include <gtest/gtest.h>

#include "viewer/alerts/AlertsPanels.h"
#include "viewer/alerts/CAlertsListWnd.h"
#include "tests/viewer/core/ViewerFixture.h"
#include "viewer/core/shell/MenuTable.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/service/ServiceControl.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/frame/CBannerBar.h"
#include "viewer/frame/CMainFrame.h"
#include "viewer/frame/CTarvellView.h"
#include "viewer/frame/PageFactory.h"
#include "viewer/monitors/CEventMonitorWnd.h"
#include "viewer/monitors/MonitorHeaderPanels.h"
#include "viewer/core/look/ListPaintRules.h"
#include "viewer/settings/CSettingsWnd.h"
#include "viewer/widgets/CFlatToolBarCtrl.h"
#include "viewer/widgets/CPaintListCtrl.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell::test {
namespace {

// Hands every call to one fake that the test keeps.
class SharedFake : public ServiceBackend {
public:
    explicit SharedFake(FakeServiceBackend& fake) : fake_(fake) {}
    int QueryState() override { return fake_.QueryState(); }
    bool RequestStart() override { return fake_.RequestStart(); }
    bool RequestStop() override { return fake_.RequestStop(); }
    std::optional<std::string> LogonAccount() override { return fake_.LogonAccount(); }
    bool SendControl(int code) override { return fake_.SendControl(code); }

private:
    FakeServiceBackend& fake_;
};

QStringList Texts(QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions()) out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

QAction* ActionNamed(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions()) {
        if (a->text() == text) return a;
        if (a->menu())
            if (QAction* found = ActionNamed(a->menu(), text)) return found;
    }
    return nullptr;
}

class ShellTest : public ViewerFixture {
protected:
    void SetUp() override {
        ViewerFixture::SetUp();
        WriteSettings(DefaultSettings());
        branch_ = JoinPath(root_, "branch");
        ASSERT_TRUE(MakeDirectories(branch_));
        CTarvellDoc branchDoc = DefaultSettings();
        WriteSettings(branchDoc, branch_);
        StartApp();
        ServerMap servers;
        app_->CopyServers(servers);
        servers["Branch"] = {0, branch_};
        servers["Broken"] = {0, JoinPath(root_, "missing")};
        app_->SetServers(servers);
        ASSERT_TRUE(app_->ReloadDocument());
        app_->ReadIdentity();
        service_ = std::make_unique<ServiceControl>(
            [this] { return app_->Server().Machine; },
            [this](const std::string&) { return std::make_unique<SharedFake>(fake_); }, clock_);
        FrameOptions options;
        options.splashMs = 1;
        options.exit = [this](int code) { exitCodes_.push_back(code); };
        options.openHelp = [this](const QString& path) {
            opened_ << path;
            return true;
        };
        options.programPath = [this] {
            return QString::fromStdString(JoinPath(root_, "bin.v2/Tarvell"));
        };
        options.startReaders = [this] {
            ++readerStarts_;
            app_->StartReaders();
        };
        frame_ = std::make_unique<CMainFrame>(*app_, *service_, prompt_, options);
    }
    void TearDown() override {
        frame_.reset();
        service_.reset();
        ViewerFixture::TearDown();
    }

    // Shows the frame and waits for its splash to end.
    void ShowFrame() {
        QSignalSpy done(frame_.get(), &CMainFrame::splashFinished);
        frame_->show();
        ASSERT_TRUE(done.wait(5000));
    }
    void SetViewerUsers(const std::string& rights) {
        app_->Document().Fields().ViewerUsers = {"alice/Alice at the desk;" + rights};
    }
    std::unique_ptr<QMenu> Menu(CommandId button) {
        return std::unique_ptr<QMenu>(frame_->BuildDropDownMenu(button, nullptr));
    }
    CEventMonitorWnd* Monitor() { return dynamic_cast<CEventMonitorWnd*>(frame_->View()->Page(3)); }

    std::string branch_;
    FakeServiceBackend fake_;
    PromptRecorder prompt_;
    std::unique_ptr<ServiceControl> service_;
    std::unique_ptr<CMainFrame> frame_;
    std::vector<int> exitCodes_;
    QStringList opened_;
    int readerStarts_ = 0;
};

TEST_F(ShellTest, OptionsMenuFollowsTheServiceState) {
    struct Case {
        int state;
        QStringList texts;
    } cases[] = {
        {1, {"&Settings", "&Update Now", "St&op Server", "-", "&Connect Server"}},
        {0, {"&Settings", "&Update Now", "S&tart Server", "-", "&Connect Server"}},
        {-1, {"&Settings", "&Update Now", "-", "&Connect Server"}},
    };
    for (const auto& c : cases) {
        fake_.SetState(c.state);
        auto menu = Menu(cmd::kOptionsMenu);
        ASSERT_TRUE(menu);
        EXPECT_EQ(Texts(menu.get()), c.texts) << c.state;
        QAction* connect = ActionNamed(menu.get(), QStringLiteral("&Connect Server"));
        ASSERT_TRUE(connect && connect->menu()) << c.state;
        EXPECT_EQ(Texts(connect->menu()), (QStringList{"Branch", "Broken", "Local"}));
        ASSERT_TRUE(connect->menu()->defaultAction());
        EXPECT_EQ(connect->menu()->defaultAction()->text(), QStringLiteral("Local"))
            << "the default is bold";
    }
}

TEST_F(ShellTest, ChoosingAServerByNameConnectsIt) {
    ShowFrame();
    auto menu = Menu(cmd::kOptionsMenu);
    ActionNamed(menu.get(), QStringLiteral("Branch"))->trigger();
    EXPECT_EQ(app_->Server().Name, "Branch");
    EXPECT_EQ(frame_->windowTitle(), QStringLiteral("Quenmark Tarvell - Branch"));
    EXPECT_EQ(frame_->Tray()->toolTip(), QStringLiteral("Tarvell - Branch"));
    EXPECT_EQ(frame_->View()->State().VisibleSlot(), 1) << "back to the summary";
    EXPECT_TRUE(prompt_.Requests().empty());
}

TEST_F(ShellTest, AFailedConnectNamesTheServerAndKeepsTheOldServer) {
    ShowFrame();
    auto menu = Menu(cmd::kOptionsMenu);
    ActionNamed(menu.get(), QStringLiteral("Broken"))->trigger();
    ASSERT_EQ(prompt_.Requests().size(), 1u);
    EXPECT_EQ(prompt_.Requests()[0].text, ConnectFailureText("Broken", JoinPath(root_, "missing")));
    EXPECT_EQ(prompt_.Requests()[0].icon, PromptIcon::Information);
    EXPECT_EQ(app_->Server().Name, "Local");
    EXPECT_EQ(app_->Document().Title(), "Local");
    EXPECT_EQ(frame_->windowTitle(), QStringLiteral("Quenmark Tarvell - Local"));
    // Connect Server itself reconnects the current server through the same path.
    prompt_.Clear();
    EXPECT_TRUE(frame_->Router().Send(cmd::kConnectServer));
    EXPECT_TRUE(prompt_.Requests().empty());
}

TEST_F(ShellTest, TheSettingsConnectTakesAServerNotSavedYetByItsFolder) {
    ShowFrame();
    EXPECT_TRUE(frame_->ConnectTo("Unsaved Row", branch_));
    EXPECT_EQ(app_->Server().Name, "Unsaved Row");
    EXPECT_EQ(app_->Server().Folder, branch_);
    EXPECT_TRUE(prompt_.Requests().empty());
    const std::string missing = JoinPath(root_, "nowhere");
    EXPECT_FALSE(frame_->ConnectTo("Gone", missing));
    ASSERT_EQ(prompt_.Requests().size(), 1u);
    EXPECT_EQ(prompt_.Requests()[0].text, ConnectFailureText("Gone", missing));
    EXPECT_EQ(app_->Server().Name, "Unsaved Row");
}

TEST_F(ShellTest, StopAsks20003AndOnlyYesStops) {
    fake_.SetState(kServiceRunning);
    for (PromptAnswer answer : {PromptAnswer::No, PromptAnswer::Cancel}) {
        prompt_.Clear();
        prompt_.Script({answer});
        frame_->Router().Send(cmd::kStopServer);
        ASSERT_EQ(prompt_.Requests().size(), 1u);
        EXPECT_EQ(prompt_.Requests()[0].text, LoadString(str::kAskStopService));
        EXPECT_EQ(prompt_.Requests()[0].buttons, PromptButtons::YesNoCancel);
        EXPECT_EQ(fake_.Stops(), 0);
    }
    prompt_.Clear();
    prompt_.Script({PromptAnswer::Yes});
    frame_->Router().Send(cmd::kStopServer);
    EXPECT_EQ(fake_.Stops(), 1);
    EXPECT_EQ(prompt_.Requests().size(), 1u) << "no failure message";
    EXPECT_EQ(frame_->Banner()->ServerState(), kServiceStopped);
}

TEST_F(ShellTest, StartThatNeverSucceedsReports20001AfterTheWaitOffTheGuiThread) {
    fake_.SetSettleQueries(-1);
    frame_->Router().Send(cmd::kStartServer);
    EXPECT_EQ(fake_.Starts(), 1);
    EXPECT_EQ(service_->LastPolls(), kServicePolls);
    ASSERT_EQ(prompt_.Requests().size(), 1u);
    EXPECT_EQ(prompt_.Requests()[0].text, LoadString(str::kStartFailed));
}

TEST_F(ShellTest, BannerStateIconAndServiceClick) {
    fake_.SetState(kServiceUnreachable);
    ShowFrame();
    CBannerBar* banner = frame_->Banner();
    EXPECT_FALSE(banner->StateIconVisible()) << "hidden while the service cannot be reached";
    // The hub's reading cycle finds the service running: the icon follows the hub's signal.
    fake_.SetState(kServiceRunning);
    app_->ProbeService();
    EXPECT_TRUE(QTest::qWaitFor([&] { return banner->StateIconVisible(); }, 2000));

    // A click while it runs asks the stop question; without the permission message 20002.
    prompt_.Script({PromptAnswer::No});
    QTest::mouseClick(banner->StateIcon(), Qt::LeftButton);
    ASSERT_EQ(prompt_.Requests().size(), 1u);
    EXPECT_EQ(prompt_.Requests()[0].text, LoadString(str::kAskStopService));
    prompt_.Clear();
    SetViewerUsers("Start Service;");
    QTest::mouseClick(banner->StateIcon(), Qt::LeftButton);
    ASSERT_EQ(prompt_.Requests().size(), 1u);
    EXPECT_EQ(prompt_.Requests()[0].text, LoadString(str::kStopFailed));
    EXPECT_EQ(fake_.Stops(), 0);
}

TEST_F(ShellTest, GreyingWithAndWithoutViewerUsers) {
    fake_.SetState(kServiceRunning);
    ShowFrame();
    auto stopEnabled = [&] {
        auto menu = Menu(cmd::kOptionsMenu);
        return ActionNamed(menu.get(), QStringLiteral("St&op Server"))->isEnabled();
    };
    auto toolEnabled = [&](const char* text) {
        auto menu = Menu(cmd::kToolsMenu);
        return ActionNamed(menu.get(), QString::fromLatin1(text))->isEnabled();
    };
    EXPECT_TRUE(stopEnabled());
    EXPECT_TRUE(toolEnabled("&Prevention Monitor"));

    SetViewerUsers("Start Service;Detection Monitor;Intrusion Detection;Detection Alerts;");
    EXPECT_FALSE(stopEnabled());
    EXPECT_TRUE(toolEnabled("&Detection Monitor"));
    EXPECT_FALSE(toolEnabled("&Prevention Monitor"));
    EXPECT_FALSE(toolEnabled("Intrusion &Prevention"));
    EXPECT_FALSE(toolEnabled("&Prevention Alerts"));

    // The Protect toolbar shows only the granted button.
    frame_->Router().Send(cmd::kProtect);
    CFlatToolBarCtrl* protect = frame_->View()->DropDownToolbar(DropDownBar::Protect);
    EXPECT_TRUE(protect->isVisible());
    EXPECT_FALSE(protect->Button(0).hidden);
    EXPECT_TRUE(protect->Button(1).hidden);
}

TEST_F(ShellTest, SplashStartsTheReadersOnceOverTwoShows) {
    ShowFrame();
    EXPECT_EQ(readerStarts_, 1);
    EXPECT_TRUE(app_->ReadersStarted());
    EXPECT_EQ(frame_->View()->State().VisibleSlot(), 1) << "the first show opens the summary";
    frame_->close();
    EXPECT_FALSE(frame_->isVisible()) << "closing hides";
    ShowFrame();
    EXPECT_EQ(readerStarts_, 2) << "each show runs the splash";
    EXPECT_TRUE(app_->ReadersStarted());
}

TEST_F(ShellTest, EachPageCommandShowsItsSlotWithTitleAndBackButton) {
    ShowFrame();
    CTarvellView* view = frame_->View();
    struct Case {
        CommandId command;
        int slot;
        const char* back;  // "" for none
        DropDownBar bar;
    } cases[] = {
        {cmd::kSummary, 1, "", DropDownBar::None},
        {cmd::kMonitor, 2, "", DropDownBar::Monitor},
        {cmd::kDetectionMonitor, 3, "Back to Monitor Summary", DropDownBar::None},
        {cmd::kProtect, 4, "", DropDownBar::Protect},
        {cmd::kIntrusionPrevention, 5, "Back to Protect Summary", DropDownBar::None},
        {cmd::kAlerts, 6, "", DropDownBar::Alerts},
        {cmd::kDetectionAlerts, 7, "Back to Alerts Summary", DropDownBar::None},
        {cmd::kSettings, 8, "", DropDownBar::None},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(frame_->Router().Send(c.command)) << c.command;
        for (int slot = 1; slot <= kPageSlots; ++slot)
            EXPECT_EQ(view->Page(slot)->isVisible(), slot == c.slot)
                << c.command << " slot " << slot;
        EXPECT_EQ(view->Page(c.slot)->geometry(),
                  QRect(0, kHeaderHeight, view->width(), view->height() - kHeaderHeight));
        EXPECT_EQ(view->BackToolbar()->isVisible(), *c.back != '\0') << c.command;
        if (*c.back) {
            EXPECT_EQ(view->BackToolbar()->Button(0).text, QString::fromLatin1(c.back));
            // The back button leads to the family's overview.
            emit view->BackToolbar()->commandTriggered(view->BackToolbar()->Button(0).command);
            EXPECT_EQ(view->State().VisibleSlot(), c.slot - 1) << c.command;
            frame_->Router().Send(c.command);
        }
        for (DropDownBar bar : {DropDownBar::Monitor, DropDownBar::Protect, DropDownBar::Alerts})
            EXPECT_EQ(view->DropDownToolbar(bar)->isVisible(), bar == c.bar) << c.command;
    }
    frame_->Router().Send(cmd::kPreventionMonitor);
    EXPECT_EQ(view->State().Title(), "Real-time Monitor")
        << "an inner page keeps the family's title";
    ASSERT_NE(Monitor(), nullptr);
    EXPECT_TRUE(Monitor()->Header(false)->isVisible());
    EXPECT_EQ(Monitor()->Header(false)->TitleText(), QStringLiteral("Prevention Monitor"));
}

// The areas' registrations win over the stand-ins; a later registration replaces an earlier one.
TEST_F(ShellTest, ThePageTableGivesEachSlotItsAreasPage) {
    CTarvellView* view = frame_->View();
    EXPECT_STREQ(view->Page(1)->metaObject()->className(), "tarvell::CSummaryWnd");
    EXPECT_STREQ(view->Page(2)->metaObject()->className(), "tarvell::CMonitorWnd");
    EXPECT_STREQ(view->Page(3)->metaObject()->className(), "tarvell::CEventMonitorWnd");
    EXPECT_STREQ(view->Page(4)->metaObject()->className(), "tarvell::CProtectionSummaryWnd");
    EXPECT_STREQ(view->Page(5)->metaObject()->className(), "tarvell::CProtectionListWnd");
    EXPECT_STREQ(view->Page(6)->metaObject()->className(), "tarvell::CAlertsSummaryWnd");
    EXPECT_STREQ(view->Page(7)->metaObject()->className(), "tarvell::CAlertsListWnd");
    EXPECT_STREQ(view->Page(8)->metaObject()->className(), "tarvell::CSettingsWnd");
    EXPECT_EQ(view->Page(0), nullptr);
    CommandRouter router;
    const PageContext context{*app_, router, prompt_, {}};
    EXPECT_EQ(CreatePage(kPageSlots + 1, context, nullptr), nullptr);

    PageTable table;
    EXPECT_FALSE(table.Has(PageSlot::Alerts));
    EXPECT_EQ(table.Create(PageSlot::Alerts, context, nullptr), nullptr);
    table.Register(PageSlot::Alerts,
                   [](const PageContext&, QWidget* parent) { return new QLabel("one", parent); });
    table.Register(PageSlot::Alerts,
                   [](const PageContext&, QWidget* parent) { return new QLabel("two", parent); });
    std::unique_ptr<QWidget> page(table.Create(PageSlot::Alerts, context, nullptr));
    EXPECT_EQ(static_cast<QLabel*>(page.get())->text(), QStringLiteral("two"));
}

TEST_F(ShellTest, DetectionAndPreventionReShowTheSamePageInTheNewMode) {
    ShowFrame();
    frame_->Router().Send(cmd::kPreventionMonitor);
    CEventMonitorWnd* page = Monitor();
    ASSERT_NE(page, nullptr);
    frame_->Router().Send(cmd::kDetectionMonitor);
    EXPECT_EQ(page->Mode(), cmd::kDetectionMonitor);
    EXPECT_TRUE(page->Header(true)->isVisible());
    EXPECT_FALSE(page->Header(false)->isVisible()) << "the other screen is hidden";
    EXPECT_EQ(page->Header(true)->TitleText(), QStringLiteral("Detection Monitor"));
    EXPECT_EQ(page->Header(true)->CountText(), QStringLiteral("0"))
        << "the count restarts at each show";
    EXPECT_TRUE(page->RefreshTimerActive());
    frame_->Router().Send(cmd::kSummary);
    EXPECT_FALSE(page->RefreshTimerActive()) << "hidden: its timer stops";

    frame_->Router().Send(cmd::kPreventionAlerts);
    auto* alerts = dynamic_cast<CAlertsListWnd*>(frame_->View()->Page(7));
    ASSERT_NE(alerts, nullptr);
    EXPECT_EQ(alerts->Mode(), cmd::kPreventionAlerts);
    EXPECT_EQ(alerts->Header()->TitleText(), QStringLiteral("Prevention Alerts"));
    EXPECT_TRUE(alerts->FillPending());
}

TEST_F(ShellTest, UpdateNowReShowsTheVisiblePageButNotSettings) {
    ShowFrame();
    frame_->Router().Send(cmd::kDetectionMonitor);
    CEventMonitorWnd* monitor = Monitor();
    ASSERT_NE(monitor, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return monitor->Passes() > 0; }, 2000));
    const int passes = monitor->Passes();
    EXPECT_TRUE(frame_->Router().Send(cmd::kUpdateNow));
    EXPECT_TRUE(monitor->isVisible());
    EXPECT_EQ(monitor->RefreshInterval(), CEventMonitorWnd::kFirstFillMs)
        << "shown again: a pass 1 ms later";
    EXPECT_TRUE(QTest::qWaitFor([&] { return monitor->Passes() > passes; }, 2000));

    frame_->Router().Send(cmd::kSettings);
    auto* settings = static_cast<CSettingsWnd*>(frame_->View()->Page(8));
    frame_->Router().Send(cmd::kSettingsAlerts);
    ASSERT_EQ(settings->Current(), cmd::kSettingsAlerts);
    frame_->Router().Send(cmd::kUpdateNow);  // a new show would start on Local
    EXPECT_EQ(settings->Current(), cmd::kSettingsAlerts);
}

TEST_F(ShellTest, HelpOpensTheShippedPageOrNothing) {
    CTarvellView* view = frame_->View();
    EXPECT_EQ(view->HelpPath(),
              QString::fromStdString(JoinPath(root_, "bin.v2/Tarvell.help/Welcome.htm")));
    EXPECT_TRUE(frame_->Router().Send(cmd::kHelp));
    EXPECT_TRUE(opened_.isEmpty()) << "a missing file does nothing";
    ASSERT_TRUE(MakeDirectories(JoinPath(root_, "bin.v2/Tarvell.help")));
    ASSERT_TRUE(
        AtomicWriteFile(JoinPath(root_, "bin.v2/Tarvell.help/Welcome.htm"), "<html></html>"));
    frame_->Router().Send(cmd::kHelp);
    EXPECT_EQ(opened_, QStringList{view->HelpPath()});
}

TEST_F(ShellTest, TrayMenuOpenAndShutdown) {
    QMenu* tray = frame_->TrayMenu();
    EXPECT_EQ(Texts(tray), (QStringList{"&Open Tarvell", "-", "&Shutdown Tarvell"}));
    EXPECT_FALSE(frame_->isVisible());
    QSignalSpy done(frame_.get(), &CMainFrame::splashFinished);
    ActionNamed(tray, QStringLiteral("&Open Tarvell"))->trigger();
    EXPECT_TRUE(frame_->isVisible());
    ASSERT_TRUE(done.wait(5000));
    // File, Exit only hides the window: the icon stays and nothing ends.
    frame_->Router().Send(cmd::kAppExit);
    EXPECT_FALSE(frame_->isVisible());
    EXPECT_TRUE(frame_->Tray()->isVisible());
    EXPECT_TRUE(exitCodes_.empty());
    frame_->Router().Send(cmd::kOpen);
    EXPECT_TRUE(frame_->isVisible());
    ActionNamed(tray, QStringLiteral("&Shutdown Tarvell"))->trigger();
    EXPECT_FALSE(frame_->isVisible());
    EXPECT_FALSE(frame_->Tray()->isVisible());
    EXPECT_EQ(exitCodes_, std::vector<int>{0});
}

// Sleeps for real between attempts, so that a load of unreadable files takes its time.
class RealSleepClock : public FakeClock {
public:
    void SleepMs(std::int64_t ms) override {
        FakeClock::SleepMs(ms);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms / 20));  // 50 ms a try
    }
};

TEST_F(ShellTest, AConnectToUnreadableFilesKeepsTheWindowPainting) {
    const std::string damaged = JoinPath(root_, "damaged");
    ASSERT_TRUE(MakeDirectories(damaged));
    ASSERT_TRUE(AtomicWriteFile(JoinPath(damaged, "Tarvell.ini"), "not settings"));
    RealSleepClock slow;
    ViewerEnvironment env = Environment(server_);
    env.clock = &slow;
    CTarvellApp app(env);
    app.SetServers({{"Local", {1, server_}}, {"Damaged", {0, damaged}}});
    ASSERT_TRUE(app.ReloadDocument());
    FrameOptions options;
    options.splashMs = 1;
    options.startReaders = [] {};
    CMainFrame frame(app, *service_, prompt_, options);
    QSignalSpy done(&frame, &CMainFrame::splashFinished);
    frame.show();
    ASSERT_TRUE(done.wait(5000));

    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &frame, [&] { ++ticks; });
    ticker.start(10);
    QElapsedTimer took;
    took.start();
    EXPECT_FALSE(frame.ConnectTo("Damaged"));
    ticker.stop();
    EXPECT_GE(took.elapsed(), 200);  // five attempts of 50 ms
    EXPECT_GE(ticks, 10);            // the GUI thread went on serving its timer
    ASSERT_EQ(prompt_.Requests().size(), 1u);
    EXPECT_EQ(prompt_.Requests()[0].text, ConnectFailureText("Damaged", damaged));
    EXPECT_EQ(app.Server().Name, "Local");
}

// ---- the lists at the opening size

// At 768 x 576 the last columns showed "..." and keys, names and dates were cut; later the device
// address still was ("192.16...").
TEST_F(ShellTest, AtTheOpeningSizeTheListsShowTheirKeyColumnsWhole) {
    CTarvellDoc settings = DefaultSettings();
    settings.UnblockRequests = {"00AABB00F001/122;alice@CORP"};
    WriteSettings(settings);
    std::map<std::string, CEventItem> events;
    std::map<std::string, CAlertItem> alerts;
    for (int i = 0; i < 4; ++i) {
        CEventItem e = MakeEvent("New Mac", i % 2, i % 2 ? "1733829296" : "");
        // The longest addresses there are: 15 characters.
        std::tie(e.DeviceName, e.DeviceIp, e.DevicePort) = std::make_tuple(
            "core-switch-0" + std::to_string(i),
            i == 3 ? "255.255.255.255" : "192.168.100.25" + std::to_string(i), "Gi1/0/2");
        events["00AABB00F001/12" + std::to_string(i)] = e;
        CAlertItem& a = alerts["17338292" + std::to_string(90 + i) + ".1"] = MakeAlert("Detection");
        std::tie(a.DeviceName, a.DeviceIp, a.DevicePort) =
            std::make_tuple(e.DeviceName, e.DeviceIp, e.DevicePort);
    }
    WriteEvents(events);
    WriteAlerts(alerts);
    ASSERT_TRUE(app_->ReloadDocument() && app_->LoadEvents());
    app_->LoadAlerts();
    ShowFrame();
    ASSERT_EQ(frame_->size(), QSize(768, 576));
    // The columns shown whole, the device address among them.
    const std::tuple<CommandId, std::vector<int>, int> cases[] = {
        {cmd::kDetectionMonitor, {0, 1, 2, 3}, 20},
        {cmd::kPreventionMonitor, {0, 1, 2, 3, 4}, 20},  // Blocking Status, dates
        {cmd::kDetectionAlerts, {0, 1, 2, 3}, 0}};
    for (const auto& [screen, whole, image] : cases) {
        frame_->Router().Send(screen);
        CPaintListCtrl* list = nullptr;
        for (CPaintListCtrl* l : frame_->View()->VisiblePage()->findChildren<CPaintListCtrl*>())
            if (l->isVisible()) list = l;
        ASSERT_TRUE(list &&
                    QTest::qWaitFor([&] { return list->model()->rowCount() >= 2; }, 3000));
        const QAbstractItemModel* rows = list->model();
        QApplication::processEvents();  // the columns follow the rows
        int total = 0;
        for (int c = 0; c < 5; ++c) total += list->columnWidth(c);
        EXPECT_EQ(total, list->viewport()->width()) << "the last column takes the rest";
        for (int c : whole)
            for (int r = 0; r < rows->rowCount(); ++r) {
                const QFont font =
                    BodyFont(*list, QStringLiteral("MS Sans Serif"),
                             rows->data(rows->index(r, 0), kBoldRole).toBool() ? 700 : 400);
                const QString text = rows->data(rows->index(r, c)).toString();
                EXPECT_LE(QFontMetrics(font).horizontalAdvance(text),
                          list->columnWidth(c) - CellTextInset(c) - 2 - (c == 0 ? image : 0))
                    << screen << " " << c;
            }
    }
}

}  // namespace
}  // namespace tarvell::test
