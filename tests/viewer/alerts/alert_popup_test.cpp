#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
#include <gtest/gtest.h>

#include "platform/EventLog.h"
#include "tests/viewer/core/ViewerFixture.h"
#include "tests/viewer/widgets/WidgetFixture.h"
#include "viewer/alerts/CAlertPopupDlg.h"
#include "viewer/alerts/PopupPresenter.h"
#include "viewer/summary/CInformationDlg.h"
#include "viewer/widgets/LinkLabel.h"

namespace tarvell::test {
namespace {

constexpr const char* kKey = "1700000000.1";

class AlertPopupTest : public ViewerFixture {
protected:
    CTarvellApp& Connected(std::uint32_t timeout, std::string sound = "") {
        WriteSettings(DefaultSettings());
        CAlertItem alert = MakeAlert("Detection");
        alert.Description = "New Ip";
        alert.Current = "10.9.9.9";
        alert.DeviceName = "core";
        WriteAlerts({{kKey, alert}});
        CTarvellApp& app = StartApp();
        EXPECT_TRUE(app.ReloadDocument());
        app.LoadAlerts();
        app.SetPopupPreferences(1, timeout, std::move(sound));
        return app;
    }
    // A popup that has slid in.
    std::unique_ptr<CAlertPopupDlg> SlidIn(CTarvellApp& app, SoundPlayer* sound = nullptr) {
        auto popup = std::make_unique<CAlertPopupDlg>(app, kKey, sound, OpenInformationWindow);
        EXPECT_TRUE(popup->Begin());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !popup->SlidingIn(); }, 3000));
        return popup;
    }
    static int ScreenBottom() { return QGuiApplication::primaryScreen()->geometry().bottom() + 1; }
};

TEST_F(AlertPopupTest, TheTimeoutClosesBySlidingOutAndZeroWaitsForTheCloseIcon) {
    struct Case {
        std::uint32_t timeout;
        std::string sound;
        int logLines;
    };
    const Case cases[] = {{0, "", 0}, {1, "/no/such/sound.wav", 1}};
    for (const Case& c : cases) {
        CTarvellApp& app = Connected(c.timeout, c.sound);
        TestEventLog log;
        SoundPlayer sound(QStringLiteral("null"), &log);
        auto popup = SlidIn(app, &sound);
        EXPECT_EQ(popup->size(), QSize(279, 262));
        EXPECT_EQ(popup->y(), ScreenBottom() - 262 + 3);  // no panel: the work area is the screen
        EXPECT_EQ(popup->Kind().icon, 1);
        EXPECT_EQ(popup->Heading(), QStringLiteral("New Ip"));
        EXPECT_TRUE(popup->Body().startsWith(QStringLiteral("Device name: core\n\nOccurred on: ")));
        EXPECT_TRUE(popup->Body().endsWith(
            QStringLiteral("Description: New Ip Address 10.9.9.9 discovered.")));
        EXPECT_EQ(log.Lines().size(), static_cast<std::size_t>(c.logLines));  // shown all the same
        QSignalSpy finished(popup.get(), &QDialog::finished);
        if (c.timeout == 0) {
            QTest::qWait(1500);
            EXPECT_TRUE(popup->isVisible());
            EXPECT_FALSE(popup->TimeoutRunning());
            QTest::mouseClick(popup->findChild<QLabel*>(QStringLiteral("closeIcon")),
                              Qt::LeftButton);
        } else {
            EXPECT_TRUE(popup->TimeoutRunning());
            ASSERT_TRUE(QTest::qWaitFor([&] { return popup->SlidingOut(); }, 2000));
            EXPECT_TRUE(finished.isEmpty());
            ASSERT_TRUE(finished.wait(2000));
            EXPECT_GE(popup->y(), ScreenBottom());
        }
        ASSERT_EQ(finished.size(), 1);
        EXPECT_EQ(finished.at(0).at(0).toInt(), 0);
        EXPECT_FALSE(popup->isVisible());
    }
}

TEST_F(AlertPopupTest, HoverShowsTheSecondCloseImageAndAGoneAlertEndsWithMinusOne) {
    CTarvellApp& app = Connected(0);
    auto popup = SlidIn(app);
    HoverAt(popup.get(), popup->CloseIconRect().center());
    EXPECT_EQ(popup->CloseImage(), 1);
    HoverAt(popup.get(), QPoint(100, 100));
    EXPECT_EQ(popup->CloseImage(), 0);

    ASSERT_TRUE(app.RemoveAlert(kKey));
    CAlertPopupDlg gone(app, kKey);
    EXPECT_FALSE(gone.Begin());
    EXPECT_EQ(gone.result(), kPopupGone);
    EXPECT_FALSE(gone.isVisible());
}

TEST_F(AlertPopupTest, LearnMoreOpensTheInformationWhileTheTimerRuns) {
    CTarvellApp& app = Connected(1);
    auto popup = SlidIn(app);
    QSignalSpy finished(popup.get(), &QDialog::finished);
    LinkLabel* link = popup->findChild<LinkLabel*>();
    ASSERT_NE(link, nullptr);
    QTest::mouseClick(link, Qt::LeftButton);
    QPointer<CInformationDlg> info = qobject_cast<CInformationDlg*>(popup->Information());
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->isVisible());
    EXPECT_TRUE(info->Browser()->toPlainText().contains(QStringLiteral("New Ip")));
    EXPECT_TRUE(popup->TimeoutRunning());
    ASSERT_TRUE(finished.wait(3000));  // the popup goes on its own time; the page stays
    EXPECT_TRUE(info);
    info->close();
    QTest::qWait(10);
}

TEST_F(AlertPopupTest, ShutdownWithAPopupOpenEndsThePopupThreadWithinTwoSeconds) {
    CTarvellApp& app = Connected(0);
    PopupPresenter presenter(app, OpenInformationWindow, QStringLiteral("null"));
    QSignalSpy opened(&presenter, &PopupPresenter::opened);
    ASSERT_TRUE(app.StartPopup(presenter.ShowFunction()));
    QTest::qWait(100);  // the first look sets the starting point
    CAlertItem later = MakeAlert("Prevention");
    later.Description = "Manual Blocking";
    later.Submitter = "bob@CORP";
    WriteAlerts({{kKey, MakeAlert("Detection")}, {"1700000999.1", later}});
    clock_.Set(1700000000);
    ASSERT_TRUE(app.LoadAlerts());
    ASSERT_TRUE(opened.wait(3000));
    CAlertPopupDlg* popup = presenter.Current();
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->Kind().icon, 2);
    EXPECT_EQ(popup->Body(), popup->Body().section(QStringLiteral("Description: "), 0, 0) +
                                 QStringLiteral("Description: Manual Blocking by bob@CORP."));

    popup->LearnMore();
    QPointer<QWidget> page = popup->Information();
    ASSERT_TRUE(page);

    // As the program does: the event loop ends, then the popup, then the thread.
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] { loop.exit(0); });
    EXPECT_EQ(loop.exec(), 0);
    QElapsedTimer timer;
    timer.start();
    presenter.Shutdown();
    app.StopPopup();
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(presenter.Current(), nullptr);
    EXPECT_FALSE(page);
}

}  // namespace
}  // namespace tarvell::test
