// The Threatened and Changed nodes pages stored through the hub reach a real TarvellSrv that reads
// a sibling database of one switch.
#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/support/ServiceViewer.h"
#include "viewer/core/hub/SettingsEdit.h"
#include "viewer/core/protection/DetectionPages.h"

namespace tarvell::testing {
namespace {

constexpr int kPassMs = 300;

TEST(DetectionPagesSystem, ThresholdsAndDeviceListsReachTheService) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root for the hand-over";
    RunningService service("viewer-detection-pages-");
    std::string why;
    ASSERT_TRUE(service.InstallSibling(OneSwitchGeneration("10.0.0.1"), &why)) << why;
    const auto eventType = [&](const std::string& key) {
        const auto event = service.Event(key);
        return event ? event->EventType : std::string();
    };
    // Detection on, each of its pages opened off and stored.
    CTarvellDoc doc, off;
    doc.SetDefaults();
    doc.DetectionEnabled = 1;
    Store(LoadUnauthorized(off), doc);
    Store(LoadNewNodes(off), doc);
    Store(LoadChangedNodes(off), doc);
    Store(LoadThreats(off), doc);
    Store(LoadScript(off), doc);
    ASSERT_TRUE(service.Start(doc, {}, kPassMs));
    ServiceViewer viewer(service);
    CTarvellApp& app = viewer.app;
    ASSERT_TRUE(viewer.Connected());

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
            << service.Output();
        if (step.ip) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2 * kPassMs + 500));
            ASSERT_TRUE(service.ReplaceSibling(OneSwitchGeneration(step.ip)));
        }
        if (*step.event) {
            EXPECT_TRUE(WaitUntil([&] { return eventType(step.key) == step.event; }, 10'000))
                << service.Output();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(5 * kPassMs + 500));
            EXPECT_EQ(eventType(step.key), "") << service.Output();
        }
    }
}

}  // namespace
}  // namespace tarvell::testing
