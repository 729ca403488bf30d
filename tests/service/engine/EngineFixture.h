// A complete engine on real temporary folders (service folder, hand-over folder, sibling folder)
// with a fake clock and a recording event log, plus small builders for records and settings.
#pragma once

#include <gtest/gtest.h>

#include <grp.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <string_view>

#include "platform/Clock.h"
#include "platform/EventLog.h"
#include "platform/Files.h"
#include "platform/RecursiveLock.h"
#include "service/engine/CTarvellFrm.h"

namespace tarvell::enginetest {

class EngineFixture : public ::testing::Test {
protected:
    void SetUp() override {
        root = MakeTempFolder("tarvell-engine-");
        ASSERT_FALSE(root.empty());
        serviceFolder = JoinPath(root, "service");
        handOverFolder = JoinPath(serviceFolder, "handover");
        siblingFolder = JoinPath(root, "sibling");
        ASSERT_TRUE(MakeDirectories(handOverFolder));
        ASSERT_TRUE(MakeDirectories(siblingFolder));
        engine = std::make_unique<CTarvellFrm>(Environment());
    }

    void TearDown() override {
        engine.reset();
        RemoveTree(root);
    }

    EngineEnvironment Environment() {
        EngineEnvironment env;
        env.ServiceFolder = serviceFolder;
        env.HandOverFolder = handOverFolder;
        env.SiblingFolder = siblingFolder;
        env.clock = &clock;
        env.log = &log;
        // Files the tests write belong to the group of the user running them.
        if (const struct group* own = ::getgrgid(::getegid())) env.handOverGroup = own->gr_name;
        return env;
    }

    std::string ServiceSettingsPath() const {
        return JoinPath(serviceFolder, CTarvellDoc::kFileName);
    }
    std::string HandOverPath() const { return JoinPath(handOverFolder, CTarvellDoc::kFileName); }

    // A document with every field empty or 0 (no defaults), so a test sets exactly what it needs.
    static CTarvellDoc BlankSettings() { return CTarvellDoc(); }

    // Writes settings files with the settings code itself.
    void WriteServiceSettings(const CTarvellDoc& doc) {
        ASSERT_TRUE(doc.SaveToFile(ServiceSettingsPath(), true));
    }
    void WriteHandOver(const CTarvellDoc& doc) {
        ASSERT_TRUE(doc.SaveToFile(HandOverPath(), true));
    }
    CTarvellDoc ReadServiceSettings() {
        CTarvellDoc doc;
        EXPECT_TRUE(doc.LoadFromFile(ServiceSettingsPath(), clock));
        return doc;
    }

    // Makes `doc` the engine's settings in memory and publishes them (no file involved).
    void UseSettings(const CTarvellDoc& doc) {
        const std::string folder = engine->Document->GetPathName();
        *engine->Document = doc;
        engine->Document->SetPathName(folder);
        engine->PublishSettings();
    }

    // ---- sibling records and events, put straight into the engine's maps

    CDbItem& AddSwitch(const std::string& key, const std::string& ips, bool disabled = false) {
        auto item = std::make_unique<CDbItem>();
        item->SwitchKey() = key;
        item->SwitchIps() = ips;
        item->SwitchName() = "name-" + key;
        item->SwitchDisabled() = disabled ? 1 : 0;
        RecursiveGuard lock(engine->EngineLock);
        auto& slot = engine->SiblingSwitches[key];
        slot = std::move(item);
        return *slot;
    }

    CDbItem& AddPort(const std::string& switchKey, const std::string& port, bool disabled = false) {
        auto item = std::make_unique<CDbItem>();
        item->PortSwitch() = switchKey;
        item->PortIndex() = port;
        item->PortName() = "port-" + port;
        item->PortStatus() = 1;
        item->PortDisabled() = disabled ? 1 : 0;
        RecursiveGuard lock(engine->EngineLock);
        auto& slot = engine->SiblingPorts[switchKey + "/" + port];
        slot = std::move(item);
        return *slot;
    }

    CDbItem& AddNode(const std::string& mac, const std::string& ip, const std::string& switchKey,
                     const std::string& port, const std::string& nodesOnPort = "1",
                     const std::string& firstSeen = "1000", bool disabled = false) {
        auto item = std::make_unique<CDbItem>();
        item->NodeMac() = mac;
        item->NodeIp() = ip;
        item->NodeName() = "host-" + mac;
        item->NodeSwitch() = switchKey;
        item->NodePort() = port;
        item->NodesOnPort() = nodesOnPort;
        item->NodeFirstSeen() = firstSeen;
        item->NodeDisabled() = disabled ? 1 : 0;
        RecursiveGuard lock(engine->EngineLock);
        auto& slot = engine->SiblingNodes[mac];
        slot = std::move(item);
        return *slot;
    }

    CEventItem& AddEvent(const std::string& switchKey, const std::string& port,
                         const std::string& type = "New Mac",
                         const std::string& mac = "001122334455") {
        auto event = std::make_unique<CEventItem>();
        event->SwitchKey = switchKey;
        event->PortKey = port;
        event->Description = type;
        event->EventType = type;
        event->SourceMac = mac;
        event->Category = "Detection";
        RecursiveGuard lock(engine->EngineLock);
        auto& slot = engine->EventMap[switchKey + "/" + port];
        slot = std::move(event);
        return *slot;
    }

    // A copy of the event under the key, taken under the lock; default-constructed when absent.
    CEventItem EventCopy(const std::string& key) {
        RecursiveGuard lock(engine->EngineLock);
        const auto it = engine->EventMap.find(key);
        return it == engine->EventMap.end() ? CEventItem() : *it->second;
    }

    // Whether a logged message contains the text.
    bool LogMentions(std::string_view part) const {
        for (const std::string& line : log.Lines())
            if (line.find(part) != std::string::npos) return true;
        return false;
    }

    FakeClock clock;
    TestEventLog log;
    std::string root, serviceFolder, handOverFolder, siblingFolder;
    std::unique_ptr<CTarvellFrm> engine;
};

}  // namespace tarvell::enginetest
