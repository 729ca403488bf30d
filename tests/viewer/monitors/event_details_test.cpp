// The event details dialog offscreen: location text, tool runs on workers, the links' launchers.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Files.h"
#include "platform/wmi/WmiFixtureClient.h"
#include "viewer/monitors/CEventDetailsDlg.h"
#include "viewer/monitors/ToolOptionsDlgs.h"
#include "viewer/widgets/CThemeTabCtrl.h"
#include "viewer/widgets/DialogLook.h"
#include "viewer/widgets/LinkLabel.h"

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
    good.show();
    // The header band's links: a click on one, the keyboard on the other.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&good));
    EXPECT_LT(good.WebLink()->geometry().bottom(), kHeaderBandHeight);
    QTest::mouseClick(good.WebLink(), Qt::LeftButton);
    good.TelnetLink()->setFocus();
    QTest::keyClick(good.TelnetLink(), Qt::Key_Space);
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

namespace tarvell {
namespace {

// ---- the tools' options dialogs

// What a user types over each dialog's initial texts, and what OK hands back.
TEST(ToolOptionsDlgTest, EachDialogOpensWithItsTextsAndKeepsWhatWasTypedAtOk) {
    struct Case {
        int tab;
        const char *caption, *first0, *second0, *unit;
        const char *typed1, *kept1, *typed2, *kept2;
        bool password;
    } cases[] = {
        {1, "Ping", "32", "1000", "bytes.", "4a0-96", "4096", "12345678901", "123456789", false},
        {2, "Snmp", "vantor", "1000", "milliseconds.", "pub lic", "pub lic", "2x5", "25", false},
        {3, "Wmi", "", "", nullptr, "admin", "admin", "s3cret!", "s3cret!", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        std::unique_ptr<CToolOptionsDlg> dlg(CreateToolOptionsDlg(c.tab, nullptr));
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        EXPECT_EQ(dlg->windowTitle(), c.caption);
        EXPECT_EQ(dlg->FirstEdit()->text(), c.first0);
        EXPECT_EQ(dlg->SecondEdit()->text(), c.second0);
        bool unitShown = false;
        for (const QLabel* l : dlg->findChildren<QLabel*>())
            unitShown |= c.unit && l->text() == c.unit;
        EXPECT_EQ(unitShown, c.unit != nullptr);
        EXPECT_EQ(dlg->SecondEdit()->echoMode() == QLineEdit::Password, c.password);
        for (auto [edit, typed] :
             {std::pair{dlg->FirstEdit(), c.typed1}, std::pair{dlg->SecondEdit(), c.typed2}}) {
            QTest::mouseClick(edit, Qt::LeftButton);
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(edit, Qt::Key_Delete);
            QTest::keyClicks(edit, typed);
        }
        QTest::mouseClick(dlg->OkButton(), Qt::LeftButton);
        EXPECT_EQ(dlg->result(), QDialog::Accepted);
        EXPECT_EQ(dlg->First(), c.kept1);
        EXPECT_EQ(dlg->Second(), c.kept2);
    }

    // Cancel hands nothing back and the tool does not start.
    QString a = "unchanged", b;
    QTimer::singleShot(0, [] {
        auto* dlg = qobject_cast<CToolOptionsDlg*>(QApplication::activeModalWidget());
        if (dlg) QTest::mouseClick(dlg->CancelButton(), Qt::LeftButton);
    });
    EXPECT_FALSE(AskToolOptions(nullptr, 1, a, b));
    EXPECT_EQ(a, "unchanged");
}

}  // namespace
}  // namespace tarvell
