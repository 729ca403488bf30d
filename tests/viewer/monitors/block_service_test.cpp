// Two detection rows picked with a click and a ctrl-click, then "Block events": one question, and
// a real TarvellSrv shuts both ports of a simulated switch (ifAdminStatus 2 as snmpget reads it).
#include <QTest>
#include <gtest/gtest.h>

#include "tests/support/SwitchLab.h"
#include "tests/viewer/settings_service/SettingsServiceFixture.h"
#include "viewer/monitors/CEventMonitorWnd.h"
#include "viewer/monitors/EventListModel.h"
#include "viewer/monitors/MonitorDetailsPanels.h"
#include "viewer/widgets/CPaintListCtrl.h"
#include "viewer/widgets/LinkLabel.h"

namespace tarvell::testing {
namespace {

std::string AdminStatus(const lab::SimSwitch& sim, const std::string& port) {
    const ProcessResult got = RunProcess(
        {.argv = {"/usr/bin/snmpget", "-v1", "-c", "public", "-Oqv",
                  sim.Address() + ":" + std::to_string(sim.Port()), "1.3.6.1.2.1.2.2.1.7." + port},
         .environment = std::vector<std::string>{"MIBS="},
         .timeLimitMs = 20'000,
         .captureOutput = true});
    return got.out.substr(0, got.out.find_first_of("\r\n"));
}

TEST(BlockEventsService, TwoRowsPickedWithCtrlAreShutAfterOneQuestion) {
    if (!MayHandOver()) GTEST_SKIP() << "needs root or membership of group tarvell-admin";
    if (!lab::Lab().agentPort) lab::Lab().agentPort = lab::PortFreeOnLabAddresses();
    lab::SimSwitch sim;
    ASSERT_TRUE(sim.Start(2, {"public"}, snmptest::FixtureDir() / "switch")) << sim.Log();
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.DetectionEnabled = 0;
    doc.SnmpPreventionEnabled = doc.SnmpPreventionMethod = doc.SnmpCommunitiesEnabled = 1;
    doc.SnmpCommunities = {"public/1"};
    // The switch in the sibling database, and a detection event on its ports 2 and 3.
    RunningService service("monitor-block-");
    std::string why;
    ASSERT_TRUE(service.InstallSibling(
        "switch S1\n SwitchIps " + sim.Address() + "\n SwitchCommunity public\nend\n", &why))
        << why;
    EventDatabaseFile events;
    for (const char* port : {"2", "3"}) {
        auto& e = events.EventMap[std::string("S1/") + port];
        e = std::make_unique<CEventItem>();
        std::tie(e->SwitchKey, e->PortKey, e->DeviceIp, e->SourceMac) =
            std::make_tuple("S1", port, sim.Address(), std::string("00112233445") + port);
        e->EventType = e->Description = "New Mac";
    }
    ASSERT_TRUE(MakeDirectories(service.Folder()) &&
                WriteStateFile(service.Path(kEventDatabaseName), events));
    ASSERT_TRUE(service.Start(doc, {"TARVELL_SNMP_AGENT_PORT=" + std::to_string(sim.Port())}))
        << service.Output();
    ConnectedViewer viewer(service);
    ASSERT_TRUE(WaitUntil([&] { return viewer.app.ReloadDocument(); }, 10'000) &&
                viewer.app.LoadEvents());
    CEventMonitorWnd window(viewer.context, nullptr);
    window.resize(1000, 500);
    window.SetMode(cmd::kDetectionMonitor);
    window.show();
    CPaintListCtrl* list = window.m_DetectionList;
    ASSERT_TRUE(QTest::qWaitFor([&] { return EventRows(*list)->rowCount() == 2; }, 5000));
    const auto row = [&](int r) { return list->visualRect(EventRows(*list)->index(r, 1)).center(); };
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, row(1));

    viewer.prompt.Script({PromptAnswer::Ok});
    QTest::mouseClick(window.DetailsPane(true)->Actions()->Link(MonitorLink::BlockEvents),
                      Qt::LeftButton);
    EXPECT_EQ(viewer.prompt.Requests().size(), 1u) << "one question for both rows";
    EXPECT_TRUE(WaitUntil(
        [&] { return AdminStatus(sim, "2") == "2" && AdminStatus(sim, "3") == "2"; }, 30'000))
        << service.Output();
    EXPECT_EQ(AdminStatus(sim, "4"), "1") << "no other port is touched";
}

}  // namespace
}  // namespace tarvell::testing
