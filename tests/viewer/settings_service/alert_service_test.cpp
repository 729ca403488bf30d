// The syslog and SNMP option sheets against a real TarvellSrv: listeners and a manager added with
// filters, Test refused before Apply, and after Apply the test alert reaches only the targets
// whose filters accept it, with the facility, severity, community and enterprise chosen.
#include <QAccessible>
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "tests/fixtures/snmp/SnmpPeers.h"
#include "tests/viewer/settings_service/SettingsServiceFixture.h"
#include "viewer/core/service/ServiceControl.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/settings/AlertTargetsUi.h"
#include "viewer/settings/AlertsSettingsUi.h"
#include "viewer/settings/CSettingsWnd.h"
#include "viewer/widgets/CIpAddressCtrl.h"
#include "viewer/widgets/LinkLabel.h"

namespace tarvell {
namespace {

using testing::ConnectedViewer;
using testing::MayHandOver;
using testing::RunningService;
using testing::UdpListener;
using testing::WaitUntil;

// Types the address, adds it and, when `pattern` is given, sets one "Alert" filter on it.
void AddTarget(CTargetPage& page, const char* address, const char* pattern = nullptr) {
    const QStringList octets = QString::fromLatin1(address).split('.');
    for (int i = 0; i < 4; ++i) QTest::keyClicks(page.IpInput()->Field(i), octets[i]);
    QTest::mouseClick(page.AddButton(), Qt::LeftButton);
    if (!pattern) return;
    QTreeWidget* list = page.List();
    list->setCurrentItem(list->topLevelItem(list->topLevelItemCount() - 1));
    QTimer::singleShot(0, [pattern] {
        auto* dialog = qobject_cast<CSetFiltersDlg*>(QApplication::activeModalWidget());
        if (!dialog) return;
        dialog->TypeBox()->setCurrentIndex(0);
        QTest::keyClicks(dialog->ValueEdit(), QString::fromLatin1(pattern));
        dialog->AddFilter();
        dialog->accept();
    });
    EXPECT_TRUE(page.EditFilters());
}

// Presses Test until `heard` (the engine takes codes a moment after it reads RUNNING).
bool TestUntil(CTargetPage& page, ConnectedViewer& viewer, const std::function<bool()>& heard) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        page.TestLink()->activated(0);
        EXPECT_EQ(viewer.prompt.Requests().back().text, LoadString(str::kTestSent));
        if (heard()) return true;
    }
    return false;
}

TEST(AlertSettingsSystem, SyslogAndTrapTestsReachTheMatchingTargetsOnlyAfterApply) {
    if (!MayHandOver()) GTEST_SKIP() << "needs root or membership of group tarvell-admin";
    UdpListener first("127.0.0.1");
    UdpListener second("127.0.0.2", first.Port());
    snmptest::Snmptrapd trapd;
    ASSERT_TRUE(trapd.Start({"trapuser", "MD5", "authpass1", "DES", "privpass1"}, "54617276656C6C",
                            std::chrono::seconds(20), "e2e-ring"))
        << trapd.Log();
    CTarvellDoc doc;
    doc.SetDefaults();
    RunningService service("alert-system-");
    ASSERT_TRUE(service.Start(doc, {"TARVELL_SYSLOG_PORT=" + std::to_string(first.Port()),
                                    "TARVELL_TRAP_MANAGER_PORT=" + std::to_string(trapd.Port())}))
        << service.Output();
    ConnectedViewer viewer(service);
    SystemClock clock;
    PidFileServiceBackend::Options options;
    options.runFolder = service.Root() / "run/tarvell";
    options.programPath = RunningService::Program();
    options.environment = service.Environment();
    ServiceControl control(
        [] { return std::string(); },
        [&](const std::string&) { return std::make_unique<PidFileServiceBackend>(options); },
        clock);
    viewer.context.service = &control;
    ASSERT_TRUE(WaitUntil([&] { return control.QueryServerState() == kServiceRunning; }, 10'000))
        << service.Output();

    // The window's show brings in the text tables; the Alerts panel switches both channels on.
    CSettingsWnd window(viewer.context, nullptr, &viewer.folders, &viewer.files);
    viewer.router.SetRoot(window.Commands());
    window.resize(900, 560);
    window.show();
    viewer.router.Send(cmd::kSettingsAlerts);
    auto* panel = qobject_cast<CAlertsSettingsPanel*>(window.VisiblePanel());
    ASSERT_NE(panel, nullptr);
    panel->ChannelBox(CAlertsSettingsPanel::Syslog)->click();
    panel->ChannelBox(CAlertsSettingsPanel::Snmp)->click();
    viewer.router.Send(cmd::kSettingsSave);
    window.hide();

    {
        CPropertySheet sheet(QString::fromLatin1(kSyslogOptionsSheet));
        AddSyslogOptionsPages(sheet, viewer.app, viewer.prompt, &control);
        sheet.show();
        auto* syslog = static_cast<CSettingsAlertsSyslog*>(sheet.Page(0));
        syslog->SpecificRadio()->click();
        syslog->FacilityBox()->setCurrentIndex(3);
        emit syslog->FacilityBox()->activated(3);
        syslog->SeverityBox()->setCurrentIndex(4);
        emit syslog->SeverityBox()->activated(4);
        ASSERT_TRUE(sheet.SetActivePage(1));
        auto& listeners = *static_cast<CTargetPage*>(sheet.Page(1));
        AddTarget(listeners, "127.0.0.1", "Test*");
        AddTarget(listeners, "127.0.0.2", "New*");
        listeners.TestLink()->activated(0);
        EXPECT_EQ(viewer.prompt.Requests().back().text, LoadString(str::kApplyBeforeTest));
        EXPECT_EQ(first.Receive(1000), "");
        sheet.PressApply();
        std::string line;
        EXPECT_TRUE(TestUntil(listeners, viewer, [&] {
            return !(line = first.Receive(2000)).empty();
        })) << service.Output();
        EXPECT_EQ(line.rfind("<156>", 0), 0u) << line;
        EXPECT_NE(line.find("Quenmark Tarvell - Test message"), std::string::npos) << line;
        EXPECT_EQ(second.Receive(500), "") << "its filter does not accept the test alert";
    }
    {
        CPropertySheet sheet(QString::fromLatin1(kSnmpOptionsSheet));
        AddSnmpOptionsPages(sheet, viewer.app, viewer.prompt, &control);
        sheet.show();
        auto* snmp = static_cast<CSettingsAlertsSnmp*>(sheet.Page(0));
        snmp->EnterpriseRadio()->click();
        QTest::keyClicks(snmp->CommunityEdit(), "e2e-ring");
        QTest::keyClicks(snmp->EnterpriseEdit(), "1.3.6.1.4.1.99999");
        ASSERT_TRUE(sheet.SetActivePage(1));
        auto& managers = *static_cast<CTargetPage*>(sheet.Page(1));
        AddTarget(managers, "127.0.0.1");
        sheet.PressApply();
        EXPECT_TRUE(TestUntil(
            managers, viewer,
            [&] { return trapd.WaitForLog("community e2e-ring", std::chrono::seconds(2)); }))
            << trapd.Log() << service.Output();
        EXPECT_NE(trapd.Log().find(".1.3.6.1.4.1.99999"), std::string::npos) << trapd.Log();
    }
}

// Fixed: a box ticked through its accessible action left Save off and the channel off.
TEST(AlertSettingsSystem, AForwardingBoxChangedByMouseKeyOrAccessibleActionIsSaved) {
    if (!MayHandOver()) GTEST_SKIP() << "needs root or membership of group tarvell-admin";
    CTarvellDoc doc;
    doc.SetDefaults();
    RunningService service("forwarding-system-");
    ASSERT_TRUE(service.Start(doc)) << service.Output();
    ConnectedViewer viewer(service);
    CSettingsWnd window(viewer.context, nullptr, &viewer.folders, &viewer.files);
    viewer.router.SetRoot(window.Commands());
    window.show();
    const std::function<void(QCheckBox*)> inputs[] = {
        [](QCheckBox* box) { QTest::mouseClick(box, Qt::LeftButton); },
        [](QCheckBox* box) { QTest::keyClick(box, Qt::Key_Space); },
        [](QCheckBox* box) {
            QAccessible::queryAccessibleInterface(box)->actionInterface()->doAction(
                QAccessibleActionInterface::toggleAction());
        }};
    for (int input = 0; input < 6; ++input) {  // each ticks, then clears
        viewer.router.Send(cmd::kSettingsAlerts);
        inputs[input / 2](static_cast<CAlertsSettingsPanel*>(window.VisiblePanel())
                              ->ChannelBox(CAlertsSettingsPanel::Snmp));
        ASSERT_TRUE(window.SaveButton()->isEnabled()) << input;
        QTest::mouseClick(window.SaveButton(), Qt::LeftButton);
        ASSERT_TRUE(service.HandOverTaken()) << service.Output();
        const std::string ini = service.PrintIni();
        EXPECT_NE(ini.find(input % 2 ? "SnmpAlertsOn=0" : "SnmpAlertsOn=1"), ini.npos) << input;
    }
}

}  // namespace
}  // namespace tarvell
