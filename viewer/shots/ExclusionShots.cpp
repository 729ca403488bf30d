// Pictures of the Devices and Snmp panels and of the Exclude Ports, Exclude IP, Paramerts and
// Networks pages, against settings and an event file made here in a temporary tree.
//   tarvell-exclusion-shots --out DIR
#include <QApplication>
#include <cstdio>
#include <functional>

#include "platform/Files.h"
#include "shared/StateFiles.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/shell/CommandRouter.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/settings/DevicesSettingsUi.h"
#include "viewer/settings/NodesSettingsUi.h"
#include "viewer/settings/SnmpSettingsUi.h"
#include "viewer/shots/SettingsWindowShot.h"
#include "viewer/shots/ShotStage.h"
#include "viewer/widgets/CCheckListCtrl.h"

using namespace tarvell;

namespace {

bool WriteFixtures(const std::string& server) {
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.ExcludePortsEnabled = 1;
    doc.ExcludedPorts = {"S1/Gi0/2", "S1/Gi0/4"};
    doc.UnmanagedIpEnabled = 1;
    doc.UnmanagedIps = {"10.9.0.0/255.255.0.0", "192.168.50.17/255.255.255.255"};
    doc.SnmpTimeout = 3000;
    doc.SnmpRetries = 2;
    doc.SnmpCommunitiesEnabled = doc.SnmpV3Enabled = 1;
    doc.SnmpV3User = "netops";
    doc.SnmpV3EngineId = "80:00:1f:88:04";
    doc.SnmpV3AuthProtocol = 3;
    doc.SnmpV3AuthPassword = "authsecret";
    doc.SnmpV3PrivProtocol = 3;
    doc.SnmpV3PrivPassword = "privsecret";
    doc.SnmpNetworks = {"10.0.0.0/255.255.0.0", "172.16.0.0/255.240.0.0"};
    EventDatabaseFile file;
    file.DeviceTable = {{"S1", "10.0.0.20/core-sw1/ops"},
                        {"S2", "10.0.0.3/edge-sw2"},
                        {"S3", "10.0.0.100/access-sw3"}};
    for (int port = 1; port <= 6; ++port)
        file.PortNames["S1/" + std::to_string(port)] = "Gi0/" + std::to_string(port);
    return WriteSettingsFile(server, doc) && WriteStateFile(JoinPath(server, "Tarvell.db"), file);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    ShotStage stage;
    if (const int rc = OpenShotStage(stage, "tarvell-exclusion-shots", WriteFixtures)) return rc;
    {
        CTarvellApp app(stage.env);
        app.SelectServer("Local");
        CommandRouter router;
        PromptRecorder prompt;
        PageContext context{app, router, prompt, {}, {}};
        WithSettingsWindow(context, [&](CSettingsWnd& window) {
            router.Send(cmd::kSettingsDevices);
            stage.Shoot(window, "settings-devices.png");
            router.Send(cmd::kSettingsSnmp);
            stage.Shoot(window, "settings-snmp.png");
        });
        {
            CPropertySheet sheet(QStringLiteral("Ports Options"));
            auto* page = new CSettingsSwitchesPorts(app, prompt);
            sheet.AddPage(page);
            sheet.show();
            page->NameBox()->setCurrentIndex(1);  // core-sw1
            emit page->NameBox()->activated(1);
            stage.Shoot(sheet, "settings-exclude-ports.png");
            sheet.hide();
        }
        // The other one-page sheets of these panels, as they open.
        struct Plain {
            const char *caption, *name;
            std::function<CPropertyPage*()> make;
        };
        const Plain plain[] = {
            {"Devices Options", "settings-exclude-devices.png",
             [&] { return new CSettingsSwitchesAddresses(app, prompt); }},
            {"Types Options", "settings-exclude-types.png",
             [&] { return new CSettingsSwitchesTypes(app, prompt); }},
            {"Mac Options", "settings-nodes-mac.png",
             [&] { return new CSettingsNodesMac(app, prompt); }},
        };
        for (const auto& [caption, name, make] : plain) {
            CPropertySheet sheet(QString::fromLatin1(caption));
            sheet.AddPage(make());
            stage.ShootSheet(sheet, {name});
        }
        {
            CPropertySheet sheet(QStringLiteral("SNMP Communities"));
            AddSnmpCommunitiesPages(sheet, app, prompt);
            stage.ShootSheet(sheet, {"settings-snmp-communities.png"});
        }
        {
            CPropertySheet sheet(QStringLiteral("Ip Options"));
            sheet.AddPage(new CSettingsNodesIp(app, prompt));
            stage.ShootSheet(sheet, {"settings-nodes-ip.png"});
        }
        {
            CPropertySheet sheet(QStringLiteral("SNMPv3 Options"));
            AddSnmpV3Pages(sheet, app, prompt);
            stage.ShootSheet(sheet,
                             {"settings-snmpv3-parameters.png", "settings-snmpv3-networks.png"});
        }
    }
    return stage.status;
}
