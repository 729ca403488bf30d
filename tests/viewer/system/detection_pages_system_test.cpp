// The Threatened and Changed nodes pages stored through the hub against a real TarvellSrv on a
// temporary root with a sibling database of one switch: a receive threshold below the port's rate
// gives its event and one above it none; Changed IP limited to the switch gives its event, limited
// to another switch none.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "shared/StateFiles.h"
#include "tests/service/ServiceTestSupport.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/hub/SettingsEdit.h"
#include "viewer/core/protection/DetectionPages.h"

namespace tarvell {
namespace {

using testing::BackgroundProgram;
using testing::ServiceEnvironment;
using testing::TempFolder;
using testing::WaitUntil;

constexpr int kPassMs = 300;
const std::string kTools = std::string(TARVELL_BINARY_DIR) + "/tools/";

// Port 2 receives at 30.5 %; the node on port 1 has the address given.
std::string Generation(const std::string& nodeIp) {
    return "switch 00AABB000001\n  SwitchIps 127.0.0.11\n  SwitchName core-1\n"
           "  SwitchMac 00AABB000001\nend\n"
           "port 00AABB000001/1\n  PortName Gi0/1\n  PortStatus 1\n  PortReceiveRate 3\nend\n"
           "port 00AABB000001/2\n  PortName Gi0/2\n  PortStatus 1\n  PortReceiveRate 30.5\nend\n"
           "node 00AA00000001\n  NodeIp " +
           nodeIp +
           "\n  NodeName pc-1\n  NodeSwitch 00AABB000001\n"
           "  NodePort 1\n  NodesOnPort 1\n  NodeFirstSeen 1000\n  NodeLastSeen 2000\nend\n";
}

class DetectionPagesSystem : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root for the hand-over";
        ASSERT_TRUE(MakeDirectories(JoinPath(service, "handover")));
        ASSERT_TRUE(MakeDirectories(sibling));
        WriteGeneration("10.0.0.1");
        ASSERT_TRUE(Run({kTools + "tarvell-reg", "set", "HKLM",
                         "SYSTEM\\CurrentControlSet\\Services\\Quenmark Ombrix", "ImagePath",
                         sibling + "/ombrix"}));
        ASSERT_TRUE(WriteStateFile(JoinPath(service, kAlertLogName), AlertLogFile{}));
        ASSERT_TRUE(WriteStateFile(JoinPath(service, kEventDatabaseName), EventDatabaseFile{}));
        ASSERT_TRUE(WriteStateFile(JoinPath(service, kReportStoreName), ReportStoreFile{}));
        // Detection on, each of its pages opened off and stored.
        CTarvellDoc doc;
        doc.SetDefaults();
        doc.DetectionEnabled = 1;
        const CTarvellDoc off;
        Store(LoadUnauthorized(off), doc);
        Store(LoadNewNodes(off), doc);
        Store(LoadChangedNodes(off), doc);
        Store(LoadThreats(off), doc);
        Store(LoadScript(off), doc);
        ASSERT_TRUE(doc.SaveToFile(JoinPath(service, CTarvellDoc::kFileName), true));
    }

    bool Run(const std::vector<std::string>& argv) {
        ProcessOptions options;
        options.argv = argv;
        options.environment = ServiceEnvironment(root.Path());
        options.timeLimitMs = 30'000;
        return RunProcess(options).Succeeded();
    }

    void WriteGeneration(const std::string& nodeIp) {
        const std::string text = root / "ombrix.txt";
        ASSERT_TRUE(AtomicWriteFile(text, Generation(nodeIp)));
        ASSERT_TRUE(Run({kTools + "ombrix-make", text, sibling + "/Ombrix.new"}));
        ASSERT_EQ(::rename((sibling + "/Ombrix.new").c_str(), (sibling + "/Ombrix.db").c_str()), 0);
    }

    std::string EventType(const std::string& key) {
        EventDatabaseFile events;
        if (!ReadStateFile(JoinPath(service, kEventDatabaseName), events)) return {};
        const auto it = events.EventMap.find(key);
        return it == events.EventMap.end() ? std::string() : it->second->EventType;
    }

    // A page's OK: its state stored through the hub, then the service's own settings file read
    // back until it holds them (taken over).
    void Ok(CTarvellApp& app, const std::function<void(CTarvellDoc&)>& store,
            const std::function<bool(const CTarvellDoc&)>& taken, BackgroundProgram& srv) {
        ASSERT_EQ(EditSettings(app, store), EditResult::Saved);
        ASSERT_TRUE(WaitUntil(
            [&] { return app.ReloadDocument() && taken(app.Document().Fields()); }, 10'000))
            << srv.Output();
    }

    void Passes(int count) {
        std::this_thread::sleep_for(std::chrono::milliseconds(count * kPassMs + 500));
    }

    TempFolder root{"viewer-detection-pages-"};
    const std::string service = root / "var/lib/tarvell";
    const std::string sibling = root / "opt/ombrix";
};

TEST_F(DetectionPagesSystem, ThresholdsAndDeviceListsReachTheService) {
    BackgroundProgram srv(
        {std::string(TARVELL_BINARY_DIR) + "/service/TarvellSrv", "-Run"},
        ServiceEnvironment(root.Path(), {"TARVELL_PASS_INTERVAL_MS=" + std::to_string(kPassMs)}),
        root / "service.txt");
    ASSERT_GT(srv.Pid(), 0);
    Registry registry(root / "machine", root / "user");
    ViewerEnvironment viewer;
    viewer.programFolder = service;
    viewer.registry = &registry;
    viewer.mountInfo = [] { return std::string(); };
    CTarvellApp app(viewer);
    ASSERT_TRUE(WaitUntil([&] { return app.ReloadDocument(); }, 10'000));

    // Threats: Receive ticked, 40 typed (above 30.5 %), then 25.
    for (const char* typed : {"40", "25"}) {
        auto page = LoadThreats(app.Document().Fields());
        SetMaster(page, true);
        SetThreshold(page, ThreatsPage::Receive, true);
        page.thresholds[ThreatsPage::Receive].text = typed;
        ASSERT_EQ(Check(page), 0);
        const int value = std::stoi(typed);
        Ok(
            app, [&](CTarvellDoc& d) { Store(page, d); },
            [&](const CTarvellDoc& d) { return d.ReceiveThreshold == value; }, srv);
        if (value == 40) {
            Passes(5);
            EXPECT_EQ(EventType("00AABB000001/2"), "") << srv.Output();
        }
    }
    EXPECT_TRUE(WaitUntil([&] { return EventType("00AABB000001/2") == "Threat Receive"; }, 10'000))
        << srv.Output();

    // Changes: Changed IP limited to another switch, then to this one, the node's address
    // changing each time.
    const struct {
        const char* device;
        const char* ip;
        const char* expected;
    } steps[] = {{"00AABB0000FF", "10.0.0.2", ""}, {"00AABB000001", "10.0.0.3", "Changed Ip"}};
    for (const auto& step : steps) {
        auto page = LoadChangedNodes(app.Document().Fields());
        SetMaster(page, true);
        page.subs[ChangedNodesPage::Ip] = SubProtection{true, {step.device}};
        Ok(
            app, [&](CTarvellDoc& d) { Store(page, d); },
            [&](const CTarvellDoc& d) {
                return d.ChangedIpEnabled == 1 &&
                       d.ChangedIpDevices == std::vector<std::string>{step.device};
            },
            srv);
        Passes(2);
        WriteGeneration(step.ip);
        if (*step.expected) {
            EXPECT_TRUE(
                WaitUntil([&] { return EventType("00AABB000001/1") == step.expected; }, 10'000))
                << srv.Output();
        } else {
            Passes(5);
            EXPECT_EQ(EventType("00AABB000001/1"), "") << srv.Output();
        }
    }
}

}  // namespace
}  // namespace tarvell
