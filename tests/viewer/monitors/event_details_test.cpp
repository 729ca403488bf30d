// The event details dialog offscreen: location text, tool runs on workers, the links' launchers.
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Files.h"
#include "platform/wmi/WmiFixtureClient.h"
#include "viewer/monitors/CEventDetailsDlg.h"
#include "viewer/widgets/CThemeTabCtrl.h"

namespace tarvell {
namespace {

// Replies to every round after `delayMs`; counts the rounds of all its runs.
struct SlowEcho : nodetools::EchoBackend {
    std::shared_ptr<std::atomic<int>> rounds;
    int delayMs;
    SlowEcho(std::shared_ptr<std::atomic<int>> r, int d) : rounds(std::move(r)), delayMs(d) {}
    std::string Open() override { return {}; }
    nodetools::EchoReply Echo(const std::string& t, const std::string& payload, int) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        ++*rounds;
        return {true, t, payload, 0};
    }
};

struct Recorded {
    std::vector<QString> urls, programs, messages;
    std::vector<QStringList> args;
};

NodeToolHooks Hooks(Recorded& rec, std::shared_ptr<std::atomic<int>> rounds, int delayMs) {
    NodeToolHooks h;
    h.echo = [=] { return std::make_unique<SlowEcho>(rounds, delayMs); };
    h.options = [](QWidget*, int, QString& a, QString& b) {
        a = "32";
        b = "1000";
        return true;
    };
    h.openUrl = [&rec](const QUrl& u) {
        rec.urls.push_back(u.toString());
        return true;
    };
    h.startDetached = [&rec](const QString& p, const QStringList& a) {
        rec.programs.push_back(p);
        rec.args.push_back(a);
        return true;
    };
    h.message = [&rec](QWidget*, const QString& t) { rec.messages.push_back(t); };
    return h;
}

EventDetails Details(std::string deviceIp) {
    return {"sw1/3", "00:11:22:33:44:55", "10.0.0.2",
            "pc",    std::move(deviceIp), "Device IP:\t10.0.0.1\r\n"};
}

bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 300 && !done(); ++i) QTest::qWait(10);
    return done();
}

TEST(EventDetailsDlgTest, PingLinesOnlyWhileItsTabIsShown) {
    Recorded rec;
    auto rounds = std::make_shared<std::atomic<int>>(0);
    CEventDetailsDlg dlg(Details("10.0.0.1"), nullptr, Hooks(rec, rounds, 5));
    EXPECT_EQ(dlg.OutputText(), "Device IP:\t10.0.0.1\n");
    dlg.Tabs()->SetCurSel(CEventDetailsDlg::kPing);
    dlg.OnPing();
    ASSERT_TRUE(WaitFor([&] { return dlg.OutputText().contains("(0% loss)."); }))
        << dlg.OutputText().toStdString();
    EXPECT_EQ(dlg.OutputText().count("Reply from 10.0.0.2 : bytes=32"), 4);

    // Leaving the tab: the run goes on, its lines are dropped.
    auto slow = std::make_shared<std::atomic<int>>(0);
    CEventDetailsDlg other(Details("10.0.0.1"), nullptr, Hooks(rec, slow, 40));
    other.Tabs()->SetCurSel(CEventDetailsDlg::kPing);
    other.OnPing();
    other.Tabs()->SetCurSel(CEventDetailsDlg::kLocation);
    other.ShowLocation();
    ASSERT_TRUE(WaitFor([&] { return *slow == 4; }));
    QTest::qWait(80);
    EXPECT_EQ(other.OutputText(), "Device IP:\t10.0.0.1\n");
}

TEST(EventDetailsDlgTest, ClosingDuringARunIsSafe) {
    Recorded rec;
    auto rounds = std::make_shared<std::atomic<int>>(0);
    {
        auto dlg = std::make_unique<CEventDetailsDlg>(Details("10.0.0.1"), nullptr,
                                                      Hooks(rec, rounds, 30));
        dlg->Tabs()->SetCurSel(CEventDetailsDlg::kPing);
        dlg->OnPing();
        QTest::qWait(40);
        dlg->reject();
    }
    QTest::qWait(150);
    EXPECT_LT(*rounds, 4);  // the cancel ended the run between rounds
}

TEST(EventDetailsDlgTest, LinksStartOnlyValidAddresses) {
    Recorded rec;
    auto rounds = std::make_shared<std::atomic<int>>(0);
    CEventDetailsDlg good(Details("10.0.0.5"), nullptr, Hooks(rec, rounds, 0));
    good.OnDeviceWeb();
    good.OnDeviceTelnet();
    EXPECT_EQ(rec.urls, std::vector<QString>{"http://10.0.0.5"});
    ASSERT_EQ(rec.args.size(), 1u);
    EXPECT_EQ(rec.programs[0], "x-terminal-emulator");
    EXPECT_EQ(rec.args[0], (QStringList{"-e", "telnet", "10.0.0.5"}));
    EXPECT_TRUE(rec.messages.empty());

    CEventDetailsDlg bad(Details("10.0.0.5;reboot"), nullptr, Hooks(rec, rounds, 0));
    bad.OnDeviceWeb();
    bad.OnDeviceTelnet();
    EXPECT_EQ(rec.urls.size(), 1u);
    EXPECT_EQ(rec.args.size(), 1u);
    ASSERT_EQ(rec.messages.size(), 2u);
    EXPECT_TRUE(rec.messages[0].contains("10.0.0.5;reboot"));
}

TEST(EventDetailsDlgTest, TheWmiTabShowsTheNodesSystemAsPlainText) {
    const std::string folder = MakeTempFolder("tarvell-wmi-dlg-");
    ASSERT_TRUE(AtomicWriteFile(
        JoinPath(folder, "10.0.0.2.json"),
        R"({"classes": {"Win32_OperatingSystem": [{"Caption": "<b>Windows</b>"}]}})"));
    Recorded rec;
    NodeToolHooks hooks = Hooks(rec, std::make_shared<std::atomic<int>>(0), 0);
    hooks.wmi = [folder] { return std::make_unique<WmiFixtureClient>(folder); };
    CEventDetailsDlg dlg(Details("10.0.0.1"), nullptr, hooks);
    dlg.Tabs()->SetCurSel(CEventDetailsDlg::kWmi);
    dlg.OnWmi();
    ASSERT_TRUE(WaitFor([&] { return dlg.OutputText().contains("Organization:"); }))
        << dlg.OutputText().toStdString();
    EXPECT_TRUE(dlg.OutputText().startsWith("System: <b>Windows</b>\n"));
    RemoveTree(folder);
}

}  // namespace
}  // namespace tarvell
