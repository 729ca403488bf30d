// An engine on temporary folders with the detection thread's passes driven by the test: sibling
// generations are written with the shared codec into the sibling folder and loaded by the
// engine as its pass does; polls and linkup checks are recorded.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/RecursiveLock.h"
#include "service/detection/CScanDatabase.h"
#include "shared/StateFiles.h"
#include "tests/service/engine/EngineFixture.h"

namespace tarvell::detectiontest {

class DetectionFixture : public enginetest::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        settings = BlankSettings();
        settings.DetectionEnabled = 1;
        UseSettings(settings);
        ScanPacing pacing;
        pacing.yieldEvery100 = false;
        scan = std::make_unique<CScanDatabase>(*engine, polls, linkup, pacing);
        Switch("00AABB000001", "127.0.0.11;127.0.1.11", "core-1");
        Port("00AABB000001", "1");
        Port("00AABB000001", "2");
        Node("00AA00000001", "10.0.0.1", "00AABB000001", "1");
    }

    void TearDown() override {
        scan.reset();
        EngineFixture::TearDown();
    }

    // ---- the next sibling generation

    CDbItem& Switch(const std::string& key, const std::string& ips, const std::string& name) {
        auto& item = generation.SiblingSwitches[key];
        item = std::make_unique<CDbItem>();
        item->SwitchKey() = key;
        item->SwitchIps() = ips;
        item->SwitchName() = name;
        item->SwitchAltName() = name + ".lan";
        item->SwitchCommunity() = "public";
        item->SwitchObjectId() = "1.3.6.1.4.1.8072.3.2.10";
        item->SwitchLocation() = "Building A, rack 1";
        return *item;
    }
    CDbItem& Port(const std::string& switchKey, const std::string& index, int status = 1) {
        auto& item = generation.SiblingPorts[switchKey + "/" + index];
        item = std::make_unique<CDbItem>();
        item->PortSwitch() = switchKey;
        item->PortIndex() = index;
        item->PortName() = "port-" + index;
        item->PortStatus() = status;
        return *item;
    }
    CDbItem& Node(const std::string& mac, const std::string& ip, const std::string& switchKey,
                  const std::string& port, const std::string& count = "1") {
        auto& item = generation.SiblingNodes[mac];
        item = std::make_unique<CDbItem>();
        item->NodeMac() = mac;
        item->NodeIp() = ip;
        item->NodeName() = "pc-" + mac.substr(8);
        item->NodeSwitch() = switchKey;
        item->NodePort() = port;
        item->NodesOnPort() = count;
        item->NodeFirstSeen() = "1000";
        item->NodeLastSeen() = "2000";
        return *item;
    }
    CDbItem& NodeOf(const std::string& mac) { return *generation.SiblingNodes.at(mac); }
    CDbItem& PortOf(const std::string& key) { return *generation.SiblingPorts.at(key); }

    // Writes the generation as Ombrix.db and has the engine load it.
    void Publish() {
        ASSERT_TRUE(WriteStateFile(JoinPath(siblingFolder, "Ombrix.db"), generation));
        ASSERT_TRUE(engine->LoadSiblingDatabase());
    }

    void Apply() { UseSettings(settings); }

    // Port 3 of the first switch exists and is excluded by the device settings (applied).
    void ExcludePortThree() {
        Port("00AABB000001", "3");
        settings.ExcludePortsEnabled = 1;
        settings.ExcludedPorts = {"00AABB000001/port-3"};
        Apply();
    }

    void Passes(int count) {
        for (int i = 0; i < count; ++i) scan->RunPass();
    }

    // Publishes the generation and runs the two passes after which the rules have a previous
    // pass to compare with.
    void Start() {
        Publish();
        Passes(2);
    }

    // Every alert so far: each recorded event queues one (detection is on), and the threat rules
    // queue back-to-normal alerts of their own.
    std::vector<CAlertItem> Alerts() {
        RecursiveGuard lock(engine->AlertLock);
        std::vector<CAlertItem> out;
        for (const auto& [key, alert] : engine->AlertLog) out.push_back(*alert);
        return out;
    }
    std::vector<CAlertItem> AlertsOf(const std::string& type) {
        std::vector<CAlertItem> out;
        for (const CAlertItem& a : Alerts())
            if (a.EventType == type) out.push_back(a);
        return out;
    }
    std::size_t EventCount() {
        RecursiveGuard lock(engine->EngineLock);
        return engine->EventMap.size();
    }
    bool Pending(const std::string& mac) {
        RecursiveGuard lock(engine->EngineLock);
        return engine->PendingNewNodes.count(mac) != 0;
    }

    CTarvellDoc settings;
    SiblingDatabaseFile generation;
    RecordingPollStarter polls;
    RecordingLinkupStarter linkup;
    std::unique_ptr<CScanDatabase> scan;
};

}  // namespace tarvell::detectiontest
