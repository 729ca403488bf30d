// Runs the built TarvellSrv with its detection thread on a temporary installation: a sibling
// database made by ombrix-make that changes between two engine passes. The events are read back
// from Tarvell.db and the alerts from Tarvell.log with arcdump.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Files.h"
#include "platform/Process.h"
#include "shared/CTarvellDoc.h"
#include "shared/StateFiles.h"
#include "tests/support/RunningService.h"

namespace tarvell {
namespace {

using testing::OneSwitchGeneration;
using testing::RunningService;
using testing::WaitUntil;

const std::string kArcdump = tarvell::test::ToolProgram("arcdump");

class DetectionProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(service.InstallSibling(OneSwitchGeneration("10.0.0.1"), &why)) << why;
        doc.SetDefaults();
        doc.DetectionEnabled = 1;
        doc.ChangedIpEnabled = 1;
        doc.ReceiveThreshold = 25;
    }

    // "Map[key].Field" -> value text (unquoted, escapes kept) of one state file, by arcdump.
    std::map<std::string, std::string> Dump(const std::string& name) {
        const ProcessResult dumped =
            testing::RunServiceTool(service.Root().Path(), {kArcdump, service.Path(name)});
        std::map<std::string, std::string> fields;
        if (!dumped.Succeeded()) return fields;
        std::size_t start = 0;
        for (std::size_t end; (end = dumped.out.find('\n', start)) != std::string::npos;
             start = end + 1) {
            const std::string line = dumped.out.substr(start, end - start);
            const std::size_t eq = line.find(" = ");
            if (eq == std::string::npos) continue;
            std::string value = line.substr(eq + 3);
            if (value.size() >= 2 && value.front() == '"')
                value = value.substr(1, value.size() - 2);
            fields[line.substr(0, eq)] = value;
        }
        return fields;
    }

    // The values of one field over every record of a map: "EventMap", "EventType" gives the
    // event types by key.
    std::map<std::string, std::string> Column(const std::map<std::string, std::string>& dump,
                                              const std::string& map, const std::string& field) {
        std::map<std::string, std::string> out;
        const std::string prefix = map + "[";
        const std::string suffix = "]." + field;
        for (const auto& [name, value] : dump) {
            if (name.rfind(prefix, 0) != 0 || name.size() < prefix.size() + suffix.size() ||
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
                continue;
            out[name.substr(prefix.size(), name.size() - prefix.size() - suffix.size())] = value;
        }
        return out;
    }

    bool EventHasType(const std::string& key, const std::string& type) {
        const auto types = Column(Dump("Tarvell.db"), "EventMap", "EventType");
        const auto it = types.find(key);
        return it != types.end() && it->second == type;
    }

    RunningService service{"detection-process-"};
    CTarvellDoc doc;
};

TEST_F(DetectionProcessTest, ASiblingFileThatChangesBetweenPassesGivesEachEventOnce) {
    ASSERT_TRUE(service.Start(doc, {}, 300));
    ASSERT_TRUE(WaitUntil([&] { return EventHasType("00AABB000001/2", "Threat Receive"); }, 20'000))
        << service.Output();

    ASSERT_TRUE(service.ReplaceSibling(OneSwitchGeneration("10.0.0.2")));
    ASSERT_TRUE(WaitUntil([&] { return EventHasType("00AABB000001/1", "Changed Ip"); }, 20'000))
        << service.Output();
    // Several more engine passes, each with a new generation of the same data.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    ASSERT_TRUE(service.Stop()) << service.Output();

    const auto events = Dump("Tarvell.db");
    EXPECT_EQ(Column(events, "EventMap", "EventType").size(), 2u);
    EXPECT_EQ(events.at("EventMap[00AABB000001/1].Current"), "10.0.0.2");
    EXPECT_EQ(events.at("EventMap[00AABB000001/1].Before"), "10.0.0.1");
    EXPECT_EQ(events.at("EventMap[00AABB000001/1].SourceMac"), "00AA00000001");
    EXPECT_EQ(events.at("EventMap[00AABB000001/1].DeviceName"), "core-1");
    EXPECT_EQ(events.at("EventMap[00AABB000001/2].Current"), "30.5%");
    EXPECT_EQ(events.at("EventMap[00AABB000001/2].Severity"), "2");
    EXPECT_EQ(events.at("EventMap[00AABB000001/2].DevicePort"), "Gi0/2");

    // One alert per event: nothing was raised twice.
    std::map<std::string, int> raised;
    for (const auto& [key, type] : Column(Dump("Tarvell.log"), "AlertLog", "EventType"))
        ++raised[type];
    EXPECT_EQ(raised, (std::map<std::string, int>{{"Changed Ip", 1}, {"Threat Receive", 1}}))
        << service.Output();
}

}  // namespace
}  // namespace tarvell
