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
#include "tests/service/ServiceTestSupport.h"
#include "tests/support/Programs.h"

namespace tarvell {
namespace {

using testing::BackgroundProgram;
using testing::ServiceEnvironment;
using testing::TempFolder;
using testing::WaitUntil;

const std::string kProgram = tarvell::test::ServiceProgram();
const std::string kOmbrixMake = tarvell::test::ToolProgram("ombrix-make");
const std::string kArcdump = tarvell::test::ToolProgram("arcdump");
const std::string kRegTool = tarvell::test::ToolProgram("tarvell-reg");
const std::string kSiblingKey = "SYSTEM\\CurrentControlSet\\Services\\Quenmark Ombrix";

class DetectionProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(root.Path().empty());
        ASSERT_TRUE(MakeDirectories(siblingFolder));
        ASSERT_TRUE(MakeDirectories(serviceFolder));
        WriteGeneration("10.0.0.1");
        ASSERT_TRUE(
            Run({kRegTool, "set", "HKLM", kSiblingKey, "ImagePath", siblingFolder + "/ombrix"})
                .Succeeded());
        // State files of an earlier run, so start-up does not wait for missing ones.
        ASSERT_TRUE(testing::SeedStateFiles(serviceFolder));
        CTarvellDoc doc;
        doc.SetDefaults();
        doc.DetectionEnabled = 1;
        doc.ChangedIpEnabled = 1;
        doc.ReceiveThreshold = 25;
        ASSERT_TRUE(doc.SaveToFile(serviceFolder + "/Tarvell.ini", true));
    }

    ProcessResult Run(const std::vector<std::string>& argv) {
        return testing::RunServiceTool(root.Path(), argv);
    }

    // Written beside and renamed into place, as the sibling product replaces its file whole.
    void WriteGeneration(const std::string& nodeIp) {
        const std::string description = root / "ombrix.txt";
        ASSERT_TRUE(AtomicWriteFile(description, testing::OneSwitchGeneration(nodeIp)));
        const std::string staged = siblingFolder + "/Ombrix.new";
        const ProcessResult made = Run({kOmbrixMake, description, staged});
        ASSERT_TRUE(made.Succeeded()) << made.err;
        ASSERT_EQ(::rename(staged.c_str(), (siblingFolder + "/Ombrix.db").c_str()), 0);
    }

    // "Map[key].Field" -> value text (unquoted, escapes kept) of one state file, by arcdump.
    std::map<std::string, std::string> Dump(const std::string& name) {
        const ProcessResult dumped = Run({kArcdump, serviceFolder + "/" + name});
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

    TempFolder root{"detection-process-"};
    const std::string serviceFolder = root / "var/lib/tarvell";
    const std::string siblingFolder = root / "opt/ombrix";
};

TEST_F(DetectionProcessTest, ASiblingFileThatChangesBetweenPassesGivesEachEventOnce) {
    BackgroundProgram service({kProgram, "-Run"},
                              ServiceEnvironment(root.Path(), {"TARVELL_PASS_INTERVAL_MS=300"}),
                              root / "output.txt");
    ASSERT_GT(service.Pid(), 0);
    ASSERT_TRUE(WaitUntil([&] { return EventHasType("00AABB000001/2", "Threat Receive"); }, 20'000))
        << service.Output();

    WriteGeneration("10.0.0.2");
    ASSERT_TRUE(WaitUntil([&] { return EventHasType("00AABB000001/1", "Changed Ip"); }, 20'000))
        << service.Output();
    // Several more engine passes, each with a new generation of the same data.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    ASSERT_TRUE(service.Signal(SIGTERM));
    ASSERT_EQ(service.WaitForExit(10'000), 0) << service.Output();

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
