// An engine on temporary folders (EngineFixture) with what the linkup tests add: a folder of
// WMI fixture files, settings with detection on, the events a check recorded (read from the
// alert log, in recording order) and a standard target.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/RecursiveLock.h"
#include "service/linkup/LinkupStarter.h"
#include "platform/wmi/WmiFixtureClient.h"
#include "tests/service/engine/EngineFixture.h"

namespace tarvell::linkuptest {

class LinkupFixture : public enginetest::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        wmiFolder = JoinPath(root, "wmi");
        ASSERT_TRUE(MakeDirectories(wmiFolder));
        wmi = std::make_unique<WmiFixtureClient>(wmiFolder, &clock);
        settings = BlankSettings();
        settings.DetectionEnabled = 1;
        settings.WmiNodesMode = "0";
        Apply();
        AddSwitch("SW1", "10.1.1.1;10.1.1.2");
        AddPort("SW1", "7");
    }

    void Apply() { UseSettings(settings); }

    void WriteComputer(const std::string& ip, const std::string& json) {
        ASSERT_TRUE(AtomicWriteFile(JoinPath(wmiFolder, ip + ".json"), json));
    }

    static LinkupTarget Target(const std::string& mac = "00AA00000001") {
        LinkupTarget t;
        t.NodeMac = mac;
        t.SwitchIp = "10.1.1.1";
        t.SwitchName = "core";
        t.SwitchKey = "SW1";
        t.PortIndex = "7";
        t.PortName = "Gi0/7";
        t.SwitchLocation = "Hall";
        return t;
    }

    void ClearEvents() {
        RecursiveGuard guard(engine->AlertLock);
        engine->AlertLog.clear();
    }
    // The recorded events, as the alerts they queued, in key order.
    std::vector<CAlertItem> Events() {
        RecursiveGuard guard(engine->AlertLock);
        std::vector<CAlertItem> out;
        for (const auto& [key, alert] : engine->AlertLog) out.push_back(*alert);
        return out;
    }
    std::vector<std::string> EventTypes() {
        std::vector<std::string> out;
        for (const auto& e : Events()) out.push_back(e.EventType);
        return out;
    }

    std::string wmiFolder;
    std::unique_ptr<WmiFixtureClient> wmi;
    CTarvellDoc settings;
};

}  // namespace tarvell::linkuptest
