// The detection monitor against a real TarvellSrv and a simulated switch: two rows picked with a
// click and a ctrl-click, then "Block events", ask once and shut both ports (ifAdminStatus 2 as
// the switch answers it). Only root and the administrators may hand settings over.
#include <QTest>
#include <gtest/gtest.h>

#include "platform/Process.h"
#include "tests/support/SwitchLab.h"
#include "tests/viewer/settings_service/SettingsServiceFixture.h"
#include "viewer/core/shell/CommandIds.h"
#include "viewer/monitors/CEventMonitorWnd.h"
#include "viewer/monitors/MonitorDetailsPanels.h"
#include "viewer/widgets/CPaintListCtrl.h"
#include "viewer/widgets/LinkLabel.h"

namespace tarvell::testing {
namespace {

constexpr int kSwitchAddress = 2;  // 127.0.0.2
const char* const kSwitchKey = "00AABB000001";

// ifAdminStatus of `port` as Net-SNMP's snmpget reads it from the simulated switch.
std::string AdminStatus(const lab::SimSwitch& sim, const std::string& port) {
    ProcessOptions options;
    options.argv = {"/usr/bin/snmpget",
                    "-v1",
                    "-c",
                    "public",
                    "-Oqv",
                    "-t",
                    "2",
                    "-r",
                    "1",
                    sim.Address() + ":" + std::to_string(sim.Port()),
                    "1.3.6.1.2.1.2.2.1.7." + port};
    options.environment = std::vector<std::string>{"MIBS=", "PATH=/usr/bin:/bin"};
    options.captureOutput = true;
    options.timeLimitMs = 20'000;
    std::string out = RunProcess(options).out;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

// Two detection events on ports 2 and 3 of the switch, and the switch in the sibling database.
void WriteSwitchAndEvents(const TempFolder& root) {
    const std::string sibling = root / "sibling.txt";
    ASSERT_TRUE(AtomicWriteFile(sibling, std::string("switch ") + kSwitchKey + "\n SwitchIps " +
                                             lab::LabAddress(kSwitchAddress) +
                                             "\n SwitchName lab\n SwitchCommunity public\n"
                                             " SwitchObjectId 1.3.6.1.4.1.9.1.999\n"
                                             " SwitchDisabled 0\nend\n"));
    std::string why;
    ASSERT_TRUE(MakeDirectories(root / "opt/ombrix"));
    ASSERT_TRUE(InstallSiblingDatabase(root.Path(), sibling, root / "opt/ombrix", &why)) << why;
    EventDatabaseFile events;
    for (const char* port : {"2", "3"}) {
        auto event = std::make_unique<CEventItem>();
        event->SwitchKey = kSwitchKey;
        event->PortKey = port;
        event->DeviceIp = lab::LabAddress(kSwitchAddress);
        event->DeviceName = "lab";
        event->DevicePort = std::string("Gi0/") + port;
        event->SourceMac = std::string("00112233445") + port;
        event->EventType = event->Description = "New Mac";
        event->Category = "Detection";
        event->DateKey = "1700000000";
        events.EventMap[std::string(kSwitchKey) + "/" + port] = std::move(event);
    }
    ASSERT_TRUE(MakeDirectories(root / "var/lib/tarvell"));
    ASSERT_TRUE(WriteStateFile(root / "var/lib/tarvell/Tarvell.db", events));
}

TEST(BlockEventsService, TwoRowsPickedWithCtrlAreShutAfterOneQuestion) {
    if (!MayHandOver()) GTEST_SKIP() << "needs root or membership of group tarvell-admin";
    if (!lab::Lab().agentPort) lab::Lab().agentPort = lab::PortFreeOnLabAddresses();
    lab::SimSwitch sim;
    ASSERT_TRUE(sim.Start(kSwitchAddress, {"public"}, snmptest::FixtureDir() / "switch"))
        << sim.Log();
    ASSERT_EQ(AdminStatus(sim, "2"), "1");

    CTarvellDoc doc;
    doc.SetDefaults();
    doc.DetectionEnabled = 0;
    doc.SnmpPreventionEnabled = 1;
    doc.SnmpPreventionMethod = 1;  // ifAdminStatus of the port's interface
    doc.SnmpCommunitiesEnabled = 1;
    doc.SnmpCommunities = {"public/1"};
    RunningService service(doc, {"TARVELL_SNMP_AGENT_PORT=" + std::to_string(sim.Port())},
                           "monitor-block-",
                           [](const TempFolder& root) { WriteSwitchAndEvents(root); });
    ConnectedViewer viewer(service);
    ASSERT_TRUE(WaitUntil([&] { return viewer.app.ReloadDocument(); }, 10'000));
    ASSERT_TRUE(viewer.app.LoadEvents());

    CEventMonitorWnd window(viewer.context, nullptr);
    window.resize(1000, 500);
    window.SetMode(cmd::kDetectionMonitor);
    window.show();
    CPaintListCtrl* list = window.m_DetectionList;
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->Rows()->rowCount() == 2; }, 5000));
    const auto rowCenter = [&](int row) {
        return list->visualRect(list->Rows()->index(row, 1)).center();
    };
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCenter(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCenter(1));
    ASSERT_EQ(list->selectionModel()->selectedRows().size(), 2);

    viewer.prompt.Script({PromptAnswer::Ok});
    LinkLabel* block = window.DetailsPane(true)->Actions()->Link(MonitorLink::BlockEvents);
    ASSERT_TRUE(block->isVisible());
    QTest::mouseClick(block, Qt::LeftButton);
    ASSERT_EQ(viewer.prompt.Requests().size(), 1u) << "one question for both rows";
    EXPECT_EQ(list->Rows()->rowCount(), 0);

    EXPECT_TRUE(WaitUntil(
        [&] { return AdminStatus(sim, "2") == "2" && AdminStatus(sim, "3") == "2"; }, 30'000))
        << service.Output();
    EXPECT_EQ(AdminStatus(sim, "4"), "1") << "no other port is touched";
}

}  // namespace
}  // namespace tarvell::testing
