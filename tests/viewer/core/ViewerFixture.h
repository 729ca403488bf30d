// A viewer on a temporary tree: a registry store of its own, a server folder with state files
// written by the shared codecs, a fake clock for the retries and a fixed machine identity.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "shared/StateFiles.h"
#include "viewer/core/hub/CTarvellApp.h"

namespace tarvell::test {

inline CEventItem MakeEvent(std::string type, std::int32_t blocked = 0, std::string extra = "",
                            std::int32_t deleted = 0) {
    CEventItem e;
    e.EventType = e.Description = std::move(type);
    e.Category = "Detection";
    e.Blocked = blocked;
    e.Extra = std::move(extra);
    e.Deleted = deleted;
    e.DateKey = "1700000000";
    return e;
}

inline CAlertItem MakeAlert(std::string category, std::int32_t state = 0) {
    CAlertItem a;
    a.Category = std::move(category);
    a.State = state;
    a.EventType = "New Mac";
    return a;
}

class ViewerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = MakeTempFolder("tarvell-viewer-");
        ASSERT_FALSE(root_.empty());
        registry_ = std::make_unique<Registry>(JoinPath(root_, "machine"), JoinPath(root_, "user"));
        server_ = JoinPath(root_, "server");
        ASSERT_TRUE(MakeDirectories(server_));
    }
    void TearDown() override {
        app_.reset();
        RemoveTree(root_);
    }

    ViewerEnvironment Environment(const std::string& programFolder) {
        ViewerEnvironment env;
        env.programFolder = programFolder;
        env.registry = registry_.get();
        env.clock = &clock_;
        env.mountInfo = [] { return std::string(); };
        env.readerIntervalMs = 20;
        env.identity.interfaces = [] {
            return std::vector<InterfaceAddress>{
                {"eth0", "10.1.2.3", true, false, std::string("\x00\x1A\x2B\x3C\x4D\x5E", 6)}};
        };
        env.identity.userName = [] { return std::string("alice"); };
        env.identity.hostName = [] { return std::string("desk7"); };
        env.identity.domainName = [] { return std::string("CORP"); };
        env.identity.reverseName = [](const std::string&) {
            return std::string("desk7.corp.example");
        };
        return env;
    }

    // A viewer whose "Local" server is server_ (first start), settings and files as given.
    CTarvellApp& StartApp() {
        app_ = std::make_unique<CTarvellApp>(Environment(server_));
        return *app_;
    }

    void WriteSettings(const CTarvellDoc& doc, const std::string& folder = "") {
        const std::string target = folder.empty() ? server_ : folder;
        ASSERT_TRUE(doc.SaveToFile(JoinPath(target, "Tarvell.ini"), true));
    }
    static CTarvellDoc DefaultSettings() {
        CTarvellDoc doc;
        doc.SetDefaults();
        return doc;
    }
    void WriteEvents(const std::map<std::string, CEventItem>& events,
                     const std::string& folder = "") {
        EventDatabaseFile file;
        file.SwitchCount = "2";
        file.NodeCount = "5";
        file.DeviceTable["S1"] = "10.0.0.1/core/ops/rack 1";
        file.PortNames["S1/3"] = "Gi0/3";
        for (const auto& [key, event] : events)
            file.EventMap.emplace(key, std::make_unique<CEventItem>(event));
        ASSERT_TRUE(
            WriteStateFile(JoinPath(folder.empty() ? server_ : folder, "Tarvell.db"), file));
    }
    void WriteAlerts(const std::map<std::string, CAlertItem>& alerts,
                     const std::string& folder = "") {
        AlertLogFile file;
        for (const auto& [key, alert] : alerts)
            file.AlertLog.emplace(key, std::make_unique<CAlertItem>(alert));
        ASSERT_TRUE(
            WriteStateFile(JoinPath(folder.empty() ? server_ : folder, "Tarvell.log"), file));
    }

    std::string root_;
    std::string server_;
    FakeClock clock_;
    std::unique_ptr<Registry> registry_;
    std::unique_ptr<CTarvellApp> app_;
};

}  // namespace tarvell::test
