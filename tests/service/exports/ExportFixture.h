// An engine on temporary folders (EngineFixture) with what the export tests add: local time is
// UTC so dates are fixed, description texts with macros, alerts, golden files.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/Files.h"
#include "platform/RecursiveLock.h"
#include "service/exports/ExportRows.h"
#include "tests/service/engine/EngineFixture.h"
#include "tests/support/Golden.h"

namespace tarvell::exporttest {

inline std::string FixturePath(const std::string& name) {
    return std::string(TARVELL_SOURCE_DIR) + "/tests/fixtures/exports/" + name;
}

class ExportFixture : public enginetest::EngineFixture {
protected:
    void SetUp() override {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        EngineFixture::SetUp();
        clock.Set(1'700'000'000);  // 11/14/2023 10:13:20 PM UTC
        exportFolder = JoinPath(root, "www");
        ASSERT_TRUE(MakeDirectories(exportFolder));
    }

    // Settings with description, cause and severity texts for two types.
    CTarvellDoc Settings() {
        CTarvellDoc doc;
        const auto& types = CTarvellFrm::EventTypes();
        doc.AlertDescriptionTexts.assign(types.size(), "");
        doc.AlertCauseTexts.assign(types.size(), "");
        doc.AlertSeverityTexts = {"Normal", "Low", "Moderate", "Elevated", "High", "Severe"};
        for (std::size_t i = 0; i < types.size(); ++i) {
            if (std::string(types[i]) == "New Mac") {
                doc.AlertDescriptionTexts[i] = "New MAC $current ($cause)";
                doc.AlertCauseTexts[i] = "a new node";
            }
            if (std::string(types[i]) == "Changed Ip") {
                doc.AlertDescriptionTexts[i] = "IP $before -> $current by $submitter, $severity";
                doc.AlertCauseTexts[i] = "address change";
            }
        }
        doc.HtmlEventsColumns.assign(kExportFields, "");
        doc.HtmlAlertsColumns.assign(kExportFields, "");
        doc.SqlEventsColumns.assign(kExportFields, "");
        doc.SqlAlertsColumns.assign(kExportFields, "");
        return doc;
    }

    CEventItem& Event(const std::string& switchKey, const std::string& port, std::int64_t when,
                      const std::string& type = "New Mac") {
        CEventItem& e = AddEvent(switchKey, port, type, "00AABB" + port);
        RecursiveGuard lock(engine->EngineLock);
        e.DateKey = std::to_string(when);
        e.DeviceName = "sw-" + switchKey;
        e.DeviceIp = "10.0.0." + switchKey;
        e.DevicePort = "Gi0/" + port;
        e.DeviceLocation = "Room " + port;
        e.SourceIp = "10.1.1." + port;
        e.SourceName = "pc-" + port;
        e.Current = e.SourceMac;
        return e;
    }

    CAlertItem& Alert(const std::string& key, const std::string& type = "New Mac") {
        auto alert = std::make_unique<CAlertItem>();
        alert->Description = type;
        alert->EventType = type;
        alert->Category = "Detection";
        alert->DeviceName = "sw-" + key;
        alert->DeviceIp = "10.2.0.1";
        alert->DevicePort = "Fa0/1";
        alert->DeviceLocation = "Hall";
        alert->SourceMac = "00CAFE000001";
        alert->SourceIp = "10.2.0.9";
        alert->SourceName = "laptop";
        alert->Current = "00CAFE000001";
        RecursiveGuard lock(engine->AlertLock);
        auto& slot = engine->AlertLog[key];
        slot = std::move(alert);
        return *slot;
    }

    std::string exportFolder;
};

}  // namespace tarvell::exporttest
