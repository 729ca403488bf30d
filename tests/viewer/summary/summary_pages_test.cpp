#include <QTest>
#include <gtest/gtest.h>

#include "tests/viewer/core/ViewerFixture.h"
#include "tests/viewer/widgets/WidgetFixture.h"
#include "viewer/summary/CSummaryWnd.h"
#include "viewer/monitors/CMonitorWnd.h"
#include "viewer/monitors/MonitorPanels.h"
#include "viewer/protection/ProtectionPanels.h"
#include "viewer/summary/SummaryPanels.h"
#include "viewer/widgets/CFlatToolBarCtrl.h"
#include "viewer/widgets/LinkLabel.h"

namespace tarvell::test {
namespace {

class SummaryPagesTest : public ViewerFixture {
protected:
    CTarvellApp& Connected(CTarvellDoc settings) {
        WriteSettings(settings);
        CTarvellApp& app = StartApp();
        EXPECT_TRUE(app.ReloadDocument());
        return app;
    }
    std::function<void(int)> Recorder() {
        return [this](int id) { sent_.push_back(id); };
    }
    std::vector<int> sent_;
};

TEST_F(SummaryPagesTest, WithoutAServerTheSummaryReadsNotConnectedAndAsksNothing) {
    CTarvellApp& app = StartApp();
    int queries = 0;
    app.SetServiceProbe([&] {
        ++queries;
        return 1;
    });
    CSummaryWnd page(app, Recorder());
    page.resize(900, 560);
    page.show();
    EXPECT_EQ(page.SummaryDlg()->Text(1007), QStringLiteral("Not Connected"));
    EXPECT_EQ(queries, 0);
    EXPECT_EQ(page.Levels(), SummaryLevels{});
}

TEST_F(SummaryPagesTest, ADamagedEventsFileShowsInTheStateInsteadOfAHealthyEmptyServer) {
    CTarvellApp& app = Connected(DefaultSettings());
    ASSERT_TRUE(AtomicWriteFile(JoinPath(server_, "Tarvell.db"), "cut sho"));
    EXPECT_FALSE(app.LoadEvents());
    app.SetServiceProbe([] { return 1; });
    app.ProbeService();
    CSummaryWnd page(app, Recorder());
    page.resize(900, 560);
    page.show();
    EXPECT_EQ(page.SummaryDlg()->Text(1007), QStringLiteral("Files Unreadable (Tarvell.db)"));
}

TEST_F(SummaryPagesTest, TheSummaryShowsTheStateAndTheLevelsOfTheServer) {
    CTarvellDoc settings = DefaultSettings();
    settings.DiscoverDatabaseEnabled = settings.DiscoverTrapsEnabled = 0;
    settings.BlockRequests = {"S1/2;alice@CORP"};
    CEventItem a = MakeEvent("New Mac"), b = MakeEvent("New Mac");
    a.SourceMac = "aa;bb";
    a.DeviceIp = "10.0.0.1";
    b.SourceMac = "cc";
    b.DeviceIp = "10.0.0.2";
    WriteEvents({{"S1/1", a}, {"S1/2", b}});  // 2 switches, 5 nodes
    CTarvellApp& app = Connected(settings);
    ASSERT_TRUE(app.LoadEvents());
    app.SetServiceProbe([] { return 1; });
    app.ProbeService();
    CSummaryWnd page(app, Recorder());
    page.resize(900, 560);
    page.show();
    EXPECT_EQ(page.SummaryDlg()->Text(1007), QStringLiteral("Running Silently"));
    EXPECT_DOUBLE_EQ(page.Levels().DetectionNodeLevel, 40);
    EXPECT_DOUBLE_EQ(page.Levels().PreventionNodeLevel, 20);
    EXPECT_DOUBLE_EQ(page.Levels().DetectionDeviceLevel, 50);
    EXPECT_DOUBLE_EQ(page.Levels().PreventionDeviceLevel, 50);
    EXPECT_EQ(page.SummaryDlg()->geometry(), QRect(25, 25, 600, 510));

    // Both charts are drawn: the pie of the device level and the needle of the node level.
    const QImage picture = Picture(page);
    const auto colour = [](Rgb c) { return [c](QRgb px) { return Is(px, c); }; };
    EXPECT_GT(Count(picture, CSummaryWnd::DetectionPanel(900), colour({255, 210, 200})), 50);
    EXPECT_GT(Count(picture, CSummaryWnd::DetectionPanel(900), colour({255, 55, 0})), 20);
    EXPECT_GT(Count(picture, CSummaryWnd::PreventionPanel(900), colour({215, 230, 255})), 50);
    EXPECT_GT(Count(picture, CSummaryWnd::PreventionPanel(900), colour({0, 95, 255})), 20);
    EXPECT_EQ(Count(picture, CSummaryWnd::PreventionPanel(900), colour({255, 55, 0})), 0);

    // The favourites send their page commands.
    CFlatToolBarCtrl* favorites = page.SummaryDlg()->Favorites();
    ASSERT_EQ(favorites->ButtonCount(), 4);
    EXPECT_EQ(favorites->Button(0).text, QStringLiteral("Monitor Scanner"));
    QTest::mouseClick(favorites, Qt::LeftButton, {}, favorites->ButtonRect(1).center());
    EXPECT_EQ(sent_, (std::vector<int>{static_cast<int>(cmd::kProtect)}));
}

TEST_F(SummaryPagesTest, LevelsStartFromZeroOnAnotherServer) {
    CEventItem a = MakeEvent("New Mac");
    a.SourceMac = "aa";
    a.DeviceIp = "10.0.0.1";
    WriteEvents({{"S1/1", a}});
    CTarvellApp& app = Connected(DefaultSettings());
    ASSERT_TRUE(app.LoadEvents());
    CSummaryWnd page(app, Recorder());
    page.Refresh();
    EXPECT_DOUBLE_EQ(page.Levels().DetectionNodeLevel, 20);

    // A second server whose events file says 0 nodes: nothing to divide by, and the first
    // server's levels must not stay on the charts.
    const std::string other = JoinPath(root_, "other");
    ASSERT_TRUE(MakeDirectories(other));
    WriteSettings(DefaultSettings(), other);
    {
        EventDatabaseFile file;
        file.SwitchCount = "0";
        file.NodeCount = "0";
        ASSERT_TRUE(WriteStateFile(JoinPath(other, "Tarvell.db"), file));
    }
    ServerMap servers;
    app.CopyServers(servers);
    CServerItem item;
    item.Folder = other;
    servers["Other"] = item;
    app.SetServers(servers);
    ASSERT_TRUE(app.SelectServer("Other"));
    page.Refresh();
    EXPECT_EQ(page.Levels(), SummaryLevels{});
}

TEST_F(SummaryPagesTest, TheMonitorPagesCountsAndLinks) {
    CEventItem a = MakeEvent("New Mac"), b = MakeEvent("New Mac", 1);
    WriteEvents({{"S1/1", a}, {"S1/2", b}});
    CTarvellApp& app = Connected(DefaultSettings());
    ASSERT_TRUE(app.LoadEvents());
    CMonitorWnd page(app, Recorder());
    page.resize(800, 500);
    page.show();
    QApplication::processEvents();
    EXPECT_EQ(page.DetailsDlg()->Text(1008), QStringLiteral("2"));
    EXPECT_EQ(page.DetailsDlg()->Text(1009), QStringLiteral("1"));
    EXPECT_EQ(page.DetailsDlg()->Text(1010), QStringLiteral("1"));
    EXPECT_EQ(page.InfoDlg()->Text(1014), QStringLiteral("2"));
    EXPECT_EQ(page.InfoDlg()->Text(1015), QStringLiteral("5"));
    EXPECT_EQ(page.InfoDlg()->geometry(), QRect(30, 30, 160, 175));
    EXPECT_EQ(page.DetailsDlg()->pos(), QPoint(220, 30));
    emit page.DetailsDlg()->Link(1011)->activated(page.DetailsDlg()->Link(1011)->Command());
    emit page.DetailsDlg()->Link(1012)->activated(page.DetailsDlg()->Link(1012)->Command());
    EXPECT_EQ(sent_, (std::vector<int>{static_cast<int>(cmd::kDetectionMonitor),
                                       static_cast<int>(cmd::kPreventionMonitor)}));

    // A removal reaches the counts through the hub's queued signal.
    ASSERT_TRUE(app.RemoveEvent("S1/1"));
    EXPECT_EQ(page.DetailsDlg()->Text(1008), QStringLiteral("2"))
        << "queued, not called on the changing thread";
    QApplication::processEvents();
    EXPECT_EQ(page.DetailsDlg()->Text(1008), QStringLiteral("1"));
    // Hidden, it does not refresh; its next show does.
    page.hide();
    ASSERT_TRUE(app.RemoveEvent("S1/2"));
    QApplication::processEvents();
    EXPECT_EQ(page.DetailsDlg()->Text(1008), QStringLiteral("1"));
    page.show();
    EXPECT_EQ(page.DetailsDlg()->Text(1008), QStringLiteral("0"));
}

TEST_F(SummaryPagesTest, TheDialsShowTheLevelsOfTheFirstReaderPass) {
    CTarvellApp& app = Connected(DefaultSettings());
    CSummaryWnd page(app, Recorder());
    page.resize(900, 560);
    page.show();
    EXPECT_EQ(page.Levels(), SummaryLevels{}) << "nothing read yet";
    CEventItem a = MakeEvent("New Mac");
    a.SourceMac = "aa";
    a.DeviceIp = "10.0.0.1";
    WriteEvents({{"S1/1", a}});
    app.StartReaders();  // passes every 20 ms; the page follows the hub's signal
    EXPECT_TRUE(QTest::qWaitFor([&] { return page.Levels().DetectionNodeLevel == 20; }, 5000));
}

TEST_F(SummaryPagesTest, AUserWithoutThePermissionFindsTheLinkDisabled) {
    CTarvellDoc settings = DefaultSettings();
    settings.ViewerUsers = {"alice/Alice;Detection Monitor;Intrusion Detection;"};
    CTarvellApp& app = Connected(settings);
    app.ReadIdentity();
    CMonitorWnd page(app, Recorder());
    page.resize(800, 500);
    page.show();
    EXPECT_TRUE(page.DetailsDlg()->Link(1011)->isEnabled());
    EXPECT_FALSE(page.DetailsDlg()->Link(1012)->isEnabled());
    CProtectionDetailsDlg protection(app, Recorder(), nullptr);
    protection.show();
    EXPECT_TRUE(protection.Link(1018)->isEnabled());
    EXPECT_FALSE(protection.Link(1019)->isEnabled());
}

TEST_F(SummaryPagesTest, ProtectionCountsAreReadAtEachShow) {
    CTarvellDoc settings = DefaultSettings();
    settings.PreventionEnabled = 0;
    settings.PreventAlertsEnabled = 1;
    settings.NewMacEnabled = 1;
    CTarvellApp& app = Connected(settings);
    app.SetReaderSettings(app.Document().Snapshot());
    CProtectionDetailsDlg panel(app, Recorder(), nullptr);
    panel.show();
    const QString detection = panel.Text(1009);
    EXPECT_EQ(panel.Text(1010), QStringLiteral("0"));  // the master switch is off
    EXPECT_EQ(panel.Text(1017), detection);
    panel.hide();
    app.Document().Fields().PreventionEnabled = 1;
    app.SetReaderSettings(std::make_shared<CTarvellDoc>(app.Document().Fields()));  // a reader pass
    panel.show();
    EXPECT_EQ(panel.Text(1010), QStringLiteral("1"));
    EXPECT_EQ(panel.Text(1017), QString::number(detection.toInt() + 1));
    emit panel.Link(1019)->activated(panel.Link(1019)->Command());
    EXPECT_EQ(sent_, (std::vector<int>{static_cast<int>(cmd::kIntrusionPrevention)}));
}

// The counts of the monitor overview fit their text: the label beside a count moves along, and a
// count at the panel's right edge moves left with its caption.
QLabel* LabelWithText(QWidget& panel, const QString& text) {
    for (QLabel* l : panel.findChildren<QLabel*>())
        if (l->text() == text) return l;
    return nullptr;
}

bool Fits(QLabel* l) {
    return l && l->width() >= QFontMetrics(l->font()).horizontalAdvance(l->text());
}

struct DetailsWithCounts : CMonitorDetailsDlg {
    using CMonitorDetailsDlg::CMonitorDetailsDlg;
    QString count;
    void Update() override { SetTextIfChanged(1008, count); }
};

TEST_F(SummaryPagesTest, MonitorCountsFitTheirText) {
    EventDatabaseFile file;
    file.SwitchCount = "100000";
    file.NodeCount = "2500000";
    ASSERT_TRUE(WriteStateFile(JoinPath(server_, "Tarvell.db"), file));
    CTarvellApp& app = Connected(DefaultSettings());
    ASSERT_TRUE(app.LoadEvents());
    CMonitorInfoDlg info(app, nullptr);
    info.show();
    for (const QString& count : {QStringLiteral("100000"), QStringLiteral("2500000")}) {
        QLabel* l = LabelWithText(info, count);
        ASSERT_TRUE(Fits(l)) << count.toStdString();
        EXPECT_LE(l->geometry().right(), info.width() - 1) << count.toStdString();
    }
    EXPECT_LT(LabelWithText(info, QStringLiteral("Total Devices:"))->geometry().right(),
              LabelWithText(info, QStringLiteral("100000"))->x());

    DetailsWithCounts details(app, nullptr, nullptr);
    QLabel* caption = LabelWithText(details, QStringLiteral("Events are currently active"));
    const int captionRight = caption->geometry().right();
    for (const char* count : {"7", "100000", "123456789012"}) {
        details.count = QString::fromLatin1(count);
        details.Refresh();
        QLabel* l = LabelWithText(details, details.count);
        EXPECT_TRUE(Fits(l)) << count;
        EXPECT_EQ(l->x(), 12);
        EXPECT_EQ(caption->x(), std::max(56, l->geometry().right() + 5))
            << count;  // the 4 px gap kept
        EXPECT_EQ(caption->geometry().right(), captionRight);
    }
}

}  // namespace
}  // namespace tarvell::test
