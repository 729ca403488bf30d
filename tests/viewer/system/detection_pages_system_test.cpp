// The Threatened and Changed nodes pages stored through the hub reach a real TarvellSrv that reads
// a sibling database of one switch.
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

TEST(DetectionPagesSystem, ThresholdsAndDeviceListsReachTheService) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root for the hand-over";
    TempFolder root{"viewer-detection-pages-"};
    const std::string service = root / "var/lib/tarvell", sibling = root / "opt/ombrix";
    const auto run = [&](const std::vector<std::string>& argv) {
        ProcessOptions options;
        options.argv = argv;
        options.environment = ServiceEnvironment(root.Path());
        options.timeLimitMs = 30'000;
        return RunProcess(options).Succeeded();
    };
    const auto writeGeneration = [&](const std::string& nodeIp) {
        return AtomicWriteFile(root / "ombrix.txt", testing::OneSwitchGeneration(nodeIp)) &&
               run({kTools + "ombrix-make", root / "ombrix.txt", sibling + "/Ombrix.new"}) &&
               ::rename((sibling + "/Ombrix.new").c_str(), (sibling + "/Ombrix.db").c_str()) == 0;
    };
    const auto eventType = [&](const std::string& key) {
        EventDatabaseFile events;
        if (!ReadStateFile(JoinPath(service, kEventDatabaseName), events)) return std::string();
        const auto it = events.EventMap.find(key);
        return it == events.EventMap.end() ? std::string() : it->second->EventType;
    };
    ASSERT_TRUE(MakeDirectories(JoinPath(service, "handover")) && MakeDirectories(sibling));
    ASSERT_TRUE(writeGeneration("10.0.0.1"));
    ASSERT_TRUE(run({kTools + "tarvell-reg", "set", "HKLM",
                     "SYSTEM\\CurrentControlSet\\Services\\Quenmark Ombrix", "ImagePath",
                     sibling + "/ombrix"}));
    ASSERT_TRUE(WriteStateFile(JoinPath(service, kAlertLogName), AlertLogFile{}) &&
                WriteStateFile(JoinPath(service, kEventDatabaseName), EventDatabaseFile{}) &&
                WriteStateFile(JoinPath(service, kReportStoreName), ReportStoreFile{}));
    // Detection on, each of its pages opened off and stored.
    CTarvellDoc doc, off;
    doc.SetDefaults();
    doc.DetectionEnabled = 1;
    Store(LoadUnauthorized(off), doc);
    Store(LoadNewNodes(off), doc);
    Store(LoadChangedNodes(off), doc);
    Store(LoadThreats(off), doc);
    Store(LoadScript(off), doc);
    ASSERT_TRUE(doc.SaveToFile(JoinPath(service, CTarvellDoc::kFileName), true));

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

    // Each step: a page's OK through the hub, taken over by the service, perhaps a new
    // generation of the sibling database, then its event (none: nothing within 5 passes).
    const auto receive = [](const char* typed) {
        return [typed](CTarvellDoc& d) {
            auto page = LoadThreats(d);
            SetMaster(page, true);
            SetThreshold(page, ThreatsPage::Receive, true);
            page.thresholds[ThreatsPage::Receive].text = typed;
            Store(page, d);
        };
    };
    const auto changedIp = [](const char* device) {
        return [device](CTarvellDoc& d) {
            auto page = LoadChangedNodes(d);
            SetMaster(page, true);
            page.subs[ChangedNodesPage::Ip] = SubProtection{true, {device}};
            Store(page, d);
        };
    };
    const struct {
        std::function<void(CTarvellDoc&)> ok;
        std::function<bool(const CTarvellDoc&)> taken;
        const char *ip, *key, *event;
    } steps[] = {
        {receive("40"), [](auto& d) { return d.ReceiveThreshold == 40; }, nullptr, "00AABB000001/2",
         ""},
        {receive("25"), [](auto& d) { return d.ReceiveThreshold == 25; }, nullptr, "00AABB000001/2",
         "Threat Receive"},
        {changedIp("00AABB0000FF"),
         [](auto& d) { return d.ChangedIpDevices == std::vector<std::string>{"00AABB0000FF"}; },
         "10.0.0.2", "00AABB000001/1", ""},
        {changedIp("00AABB000001"),
         [](auto& d) { return d.ChangedIpDevices == std::vector<std::string>{"00AABB000001"}; },
         "10.0.0.3", "00AABB000001/1", "Changed Ip"},
    };
    for (const auto& step : steps) {
        ASSERT_EQ(EditSettings(app, step.ok), EditResult::Saved);
        ASSERT_TRUE(WaitUntil(
            [&] { return app.ReloadDocument() && step.taken(app.Document().Fields()); }, 10'000))
            << srv.Output();
        if (step.ip) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2 * kPassMs + 500));
            ASSERT_TRUE(writeGeneration(step.ip));
        }
        if (*step.event) {
            EXPECT_TRUE(WaitUntil([&] { return eventType(step.key) == step.event; }, 10'000))
                << srv.Output();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(5 * kPassMs + 500));
            EXPECT_EQ(eventType(step.key), "") << srv.Output();
        }
    }
}

}  // namespace
}  // namespace tarvell
