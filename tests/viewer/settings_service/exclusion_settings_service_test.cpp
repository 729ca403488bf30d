// The Devices, Nodes and Snmp pages against a real TarvellSrv whose sibling database holds two
// switches: the viewer offers the device and port tables the service publishes, each page and
// panel save is taken by the service, and its settings file holds exactly what was chosen.
#include <QTest>
#include <gtest/gtest.h>

#include "tests/viewer/settings_service/SettingsServiceFixture.h"
#include "viewer/settings/CSettingsWnd.h"
#include "viewer/settings/DevicesSettingsUi.h"
#include "viewer/settings/NodesSettingsUi.h"
#include "viewer/settings/SnmpSettingsUi.h"
#include "viewer/widgets/CCheckListCtrl.h"
#include "viewer/widgets/CIpAddressCtrl.h"

namespace tarvell::testing {
namespace {

constexpr const char* kSibling =
    "switch 00AABB000001\n  SwitchIps 127.0.0.11\n  SwitchName core-1\n"
    "  SwitchMac 00AABB000001\n  SwitchDisabled 0\nend\n"
    "switch 00AABB000002\n  SwitchIps 127.0.0.12\n  SwitchName edge-2\n"
    "  SwitchMac 00AABB000002\n  SwitchDisabled 0\nend\n"
    "port 00AABB000001/1\n  PortName Gi0/1\n  PortAlias ethernetCsmacd\n"
    "  PortStatus 1\n  PortDisabled 0\nend\n"
    "port 00AABB000001/2\n  PortName Gi0/2\n  PortAlias ethernetCsmacd\n"
    "  PortStatus 1\n  PortDisabled 0\nend\n";

// Runs a one-page sheet, lets `edit` work on its page and presses OK.
template <typename Page>
void RunPage(ConnectedViewer& v, const std::function<void(Page&)>& edit) {
    CPropertySheet sheet(QStringLiteral("Sheet"));
    auto* page = new Page(v.app, v.prompt);
    sheet.AddPage(page);
    sheet.show();
    edit(*page);
    sheet.PressOk();
}

void Space(CCheckListCtrl* list, int row) {
    list->setCurrentItem(list->topLevelItem(row));
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Space);
}

bool Has(const std::string& text, const std::string& line) {
    return text.find(line + "\n") != std::string::npos;
}

// The entries of a printed list ("Name+=entry" lines).
std::vector<std::string> Entries(const std::string& text, const std::string& name) {
    std::vector<std::string> out;
    const std::string head = "\n" + name + "+=";
    for (std::size_t at = text.find(head); at != std::string::npos; at = text.find(head, at + 1)) {
        const std::size_t from = at + head.size();
        out.push_back(text.substr(from, text.find('\n', from) - from));
    }
    return out;
}

TEST(ExclusionSettingsServiceSystem, WhatThePagesStoreReachesTheServicesSettings) {
    if (!MayHandOver()) GTEST_SKIP() << "needs root or membership of group tarvell-admin";
    CTarvellDoc doc;
    doc.SetDefaults();
    RunningService service("exclusion-system-");
    std::string why;
    ASSERT_TRUE(service.InstallSibling(kSibling, &why)) << why;
    ASSERT_TRUE(service.Start(doc)) << service.Output();
    ConnectedViewer v(service);
    ASSERT_TRUE(WaitUntil(
        [&] {
            v.app.SelectServer("Test Server", service.Folder());
            StringTable devices;
            v.app.CopyDevices(devices);
            return devices.size() == 2;
        },
        15'000))
        << service.Output();
    CSettingsWnd window(v.context, nullptr, &v.folders, &v.files);
    v.router.SetRoot(window.Commands());
    window.resize(900, 560);
    window.show();
    auto taken = [&] {
        ASSERT_TRUE(service.HandOverTaken()) << service.Output();
        EXPECT_EQ(service.Output().find("ignored"), std::string::npos) << service.Output();
        ASSERT_TRUE(v.app.ReloadDocument());
    };
    auto panelSave = [&](CommandId category, std::initializer_list<std::size_t> ticks) {
        v.router.Send(category);
        auto* panel = static_cast<CFieldsSettingsPanel*>(window.VisiblePanel());
        for (std::size_t field : ticks)
            if (!panel->Check(field)->isChecked()) panel->Check(field)->click();
        window.OnSave();
        taken();
    };

    RunPage<CSettingsSwitchesPorts>(v, [](CSettingsSwitchesPorts& page) {
        ASSERT_EQ(page.NameBox()->count(), 2);
        page.NameBox()->setCurrentIndex(0);  // core-1
        emit page.NameBox()->activated(0);
        ASSERT_EQ(page.List()->ItemCount(), 2);
        Space(page.List(), 1);
    });
    taken();
    RunPage<CSettingsSwitchesAddresses>(v, [](CSettingsSwitchesAddresses& page) {
        ASSERT_EQ(page.List()->ItemCount(), 2);
        Space(page.List(), 1);  // edge-2
    });
    taken();
    panelSave(cmd::kSettingsDevices, {3, 4});

    RunPage<CSettingsNodesIp>(v, [](CSettingsNodesIp& page) {
        QTest::keyClicks(page.AddressCtrl()->Field(0), "10");
        page.AddressCtrl()->SetText("10.9.0.0");
        page.MaskCtrl()->SetText("255.255.0.0");
        page.AddButton()->click();
    });
    taken();
    RunPage<CSettingsNodesMac>(v, [](CSettingsNodesMac& page) {
        QTest::keyClicks(page.MacEdit(), "00A0C9******");
        page.AddButton()->click();
    });
    taken();
    panelSave(cmd::kSettingsNodes, {0, 1});

    RunPage<CSettingsSnmpCommunities>(v, [](CSettingsSnmpCommunities& page) {
        QTest::keyClicks(page.CommunityEdit(), "ops-rw");
        page.RightsBox()->setCurrentIndex(1);
        page.AddButton()->click();
    });
    taken();
    RunPage<CSettingsSnmpVersion3>(v, [](CSettingsSnmpVersion3& page) {
        QTest::keyClicks(page.UserEdit(), "netops");
        page.AuthBox()->setCurrentIndex(1);  // MD5
        QTest::keyClicks(page.AuthPasswordEdit(), "authsecret");
    });
    taken();
    panelSave(cmd::kSettingsSnmp, {3, 4});

    const std::string ini = service.PrintIni();
    for (const char* line :
         {"ExcludeDevicesEnabled=1", "ExcludePortsEnabled=1", "UnmanagedIpEnabled=1",
          "UnmanagedMacEnabled=1", "SnmpCommunitiesEnabled=1", "SnmpV3Enabled=1",
          "SnmpV3User=netops", "SnmpV3AuthProtocol=2", "SnmpV3PrivProtocol=1",
          "SnmpV3SecurityLevel=2", "SnmpV3SecurityModel=3"})
        EXPECT_TRUE(Has(ini, line)) << line << "\n" << ini;
    const std::pair<const char*, std::vector<std::string>> lists[] = {
        {"ExcludedDevices", {"00AABB000002"}},      {"ExcludedPorts", {"00AABB000001/Gi0/2"}},
        {"UnmanagedIps", {"10.9.0.0/255.255.0.0"}}, {"UnmanagedMacs", {"00A0C9******"}},
        {"SnmpCommunities", {"ops-rw/1"}},          {"SnmpNetworks", {}}};
    for (const auto& [name, expected] : lists) EXPECT_EQ(Entries(ini, name), expected) << name;
}

}  // namespace
}  // namespace tarvell::testing
