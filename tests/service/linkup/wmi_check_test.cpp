#include "service/linkup/CScanLinkupWmi.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/RecursiveLock.h"
#include "platform/Text.h"
#include "tests/service/linkup/LinkupFixture.h"

namespace tarvell::linkuptest {
namespace {

// A computer with one of everything the conditions look at.
const char* const kWorkstation = R"({
  "classes": {
    "Win32_OperatingSystem": [{"Version": "6.1.7601", "ServicePackMajorVersion": 1}],
    "Win32_ComputerSystem": [{"Domain": "corp.example"}],
    "Win32_QuickFixEngineering": [{"HotFixID": "File 1"}, {"HotFixID": "KB2871997"},
                                  {"HotFixID": null}, {"HotFixID": "KB3000483"}],
    "Win32_Service": [{"Name": "spooler"}, {"Name": "WinRM"}],
    "Win32_Process": [{"Name": "explorer.exe"}, {"Name": "agent.exe"}]
  },
  "registry": {
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{A1}":
        {"DisplayName": "Endpoint Agent", "DisplayVersion": "4.2.1", "SystemComponent": 1},
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Reader":
        {"DisplayName": "PDF: Reader", "DisplayVersion": "11"},
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KB1":
        {"ParentKeyName": "OperatingSystem"},
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Agent": {"InstallPath": "C:\\Program Files\\Agent", "Enabled": 1,
                                                     "Mode": "Strict"},
    "HKEY_CURRENT_USER\\Control Panel\\Desktop": {"ScreenSaveActive": "1"}
  },
  "domainComputer": true
})";

class WmiCheckTest : public LinkupFixture {
protected:
    void SetUp() override {
        LinkupFixture::SetUp();
        AddNode("00AA00000001", "10.0.0.5 (seen twice)", "SW1", "7");
        WriteComputer("10.0.0.5", kWorkstation);
    }

    // Runs one check with the conditions; the event types it raised.
    std::vector<std::string> CheckWith(std::vector<std::string> conditions) {
        settings.WmiConditions = std::move(conditions);
        Apply();
        ClearEvents();
        CScanLinkupWmi(*engine, *wmi, Target()).Check();
        std::vector<std::string> types = EventTypes();
        std::sort(types.begin(), types.end());
        return types;
    }
};

using Types = std::vector<std::string>;

// ---- each condition type against the fixture computer

TEST_F(WmiCheckTest, EveryConditionTypeIsMetOrRaisesItsEvent) {
    struct Case {
        const char* condition;
        Types raised;
    };
    const Case cases[] = {
        {"0;5.1.2600|6.1.7601", {}},
        {"0;5.1.2600|10.0.19045", {"WMI Operating System"}},
        {"1;1|2", {}},
        {"1;2", {"WMI Service Pack"}},
        {"2;CORP.EXAMPLE", {}},
        {"2;other.example", {"WMI Computer Domain"}},
        {"3;KB999|kb3000483", {}},      // any installed fix against any alternative
        {"3;File 1", {"WMI Hot Fix"}},  // the query leaves that entry out
        {"3;KB999", {"WMI Hot Fix"}},
        {"4;SPOOLER", {}},  // service names in any letter case
        {"4;Spooler2", {"WMI Service Name"}},
        {"5;Agent.EXE", {}},
        {"5;missing.exe", {"WMI Process Name"}},
        {"6;endpoint agent", {}},
        {"6;Endpoint Agent:4.2.1", {}},
        {"6;Endpoint Agent:4.2", {"WMI Program Name"}},
        {"6;Other|PDF: Reader:11", {}},               // name:version split at the last ":"
        {"6;PDF: Reader", {"WMI Program Name"}},      // read as name "PDF", version " Reader"
        {"6;OperatingSystem", {"WMI Program Name"}},  // an entry without display name
        {"7;HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Agent\\InstallPath:c:\\program files\\agent", {}},
        {"7;HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Agent\\Mode:Loose|HKEY_LOCAL_"
         "MACHINE\\SOFTWARE\\Vendor\\Agent\\Mode:strict",
         {}},
        {"7;HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Agent\\Mode:Loose", {"WMI Registry String"}},
        {"7;HKEY_CURRENT_USER\\Control Panel\\Desktop\\ScreenSaveActive:1", {}},
        {"7;HKLM\\SOFTWARE\\Vendor\\Agent\\Mode:Strict", {"WMI Registry String"}},  // unknown root
        {"7;HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Agent\\Enabled:1",
         {"WMI Registry String"}},  // a DWORD
        {"8;HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Agent\\Enabled:1", {}},
        {"8;HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Agent\\Enabled:0", {"WMI Registry DWORD"}},
        {"8;HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Agent\\Missing:0", {"WMI Registry DWORD"}},
        {"9;anything", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(CheckWith({c.condition}), c.raised) << c.condition;
}

TEST_F(WmiCheckTest, AnEventCarriesThePortTheNodeAndTheValues) {
    EXPECT_EQ(CheckWith({"0;5.1.2600", "4;Spooler2"}),
              (Types{"WMI Operating System", "WMI Service Name"}));
    const auto events = Events();
    ASSERT_EQ(events.size(), 2u);
    const CAlertItem& os = events[0].EventType == "WMI Operating System" ? events[0] : events[1];
    EXPECT_EQ(os.Category, "Detection");
    EXPECT_EQ(os.Severity, 0);
    EXPECT_EQ(os.Description, "WMI Operating System");
    EXPECT_EQ(os.Current, "6.1.7601");  // single values: the computer's value, then the condition
    EXPECT_EQ(os.Before, "5.1.2600");
    EXPECT_EQ(os.DeviceIp, "10.1.1.1");
    EXPECT_EQ(os.SwitchKey, "SW1");
    EXPECT_EQ(os.DeviceName, "core");
    EXPECT_EQ(os.DevicePort, "Gi0/7");
    EXPECT_EQ(os.PortKey, "7");
    EXPECT_EQ(os.DeviceLocation, "Hall");
    EXPECT_EQ(os.SourceMac, "00AA00000001");
    EXPECT_EQ(os.SourceIp, "10.0.0.5 (seen twice)");
    EXPECT_EQ(os.SourceName, "host-00AA00000001");
    const CAlertItem& service = &os == &events[0] ? events[1] : events[0];
    EXPECT_EQ(service.Current, "Spooler2");  // lists: the condition, nothing before
    EXPECT_EQ(service.Before, "");
}

// ---- connections

TEST_F(WmiCheckTest, ARefusedRootDefaultSkipsProgramAndRegistryConditions) {
    WriteComputer("10.0.0.5", R"({"refuse": ["ROOT\\default"],
        "classes": {"Win32_Service": [{"Name": "WinRM"}]}})");
    EXPECT_EQ(CheckWith({"6;Missing", "4;Spooler", "7;HKEY_USERS\\K\\V:x", "8;HKEY_USERS\\K\\V:1"}),
              (Types{"WMI Service Name"}));
    const auto connects = wmi->Connects();
    ASSERT_EQ(connects.size(), 2u);  // root\default once, not retried
    EXPECT_EQ(connects[0].nameSpace, "root\\cimv2");
    EXPECT_EQ(connects[1].nameSpace, "root\\default");
    EXPECT_FALSE(connects[1].succeeded);
}

TEST_F(WmiCheckTest, OnlyProgramAndRegistryConditionsNeedRootDefault) {
    CheckWith({"0;6.1.7601"});
    ASSERT_EQ(wmi->Connects().size(), 1u);
}

TEST_F(WmiCheckTest, TheLogOnIsSplitAndUsedWithItsDomain) {
    WriteComputer("10.0.0.5",
                  R"({"account": {"user": "audit", "domain": "CORP", "password": "p/w:1"},
        "classes": {"Win32_Service": [{"Name": "Spooler"}]}})");
    settings.WmiLogon = "audit/CORP/p/w:1/";
    EXPECT_EQ(CheckWith({"4;Spooler"}), Types{});
    const auto connects = wmi->Connects();
    ASSERT_FALSE(connects.empty());
    const auto& first = connects.front();
    ASSERT_TRUE(first.account.has_value());
    EXPECT_EQ(*first.account, (WmiAccount{"audit", "CORP", "p/w:1"}));
    // A wrong password is refused like a computer that does not answer: no condition is checked.
    settings.WmiLogon = "audit/CORP/wrong";
    settings.WmiNodesMode = "1";
    EXPECT_EQ(CheckWith({"4;Nothing"}), Types{});
}

TEST_F(WmiCheckTest, ThisComputerIsAskedWithTheServicesOwnCredentials) {
    char host[256] = {};
    ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
    {
        RecursiveGuard guard(engine->EngineLock);
        engine->SiblingNodes["00AA00000001"]->NodeName() = ToUpperAscii(host);
    }
    settings.WmiLogon = "audit/CORP/secret";
    CheckWith({"4;Spooler"});
    ASSERT_FALSE(wmi->Connects().empty());
    EXPECT_FALSE(wmi->Connects().front().account.has_value());
}

// ---- the computer that does not answer

TEST_F(WmiCheckTest, NotRespondingIsRaisedForADomainComputerInModeZeroOnly) {
    struct Case {
        const char* mode;
        bool domainComputer;
        Types raised;
    };
    const Case cases[] = {
        {"0", true, {"WMI Not Responding"}},
        {"", true, {"WMI Not Responding"}},
        {"0", false, {}},
        {"1", true, {}},
    };
    for (const Case& c : cases) {
        WriteComputer("10.0.0.5", std::string(R"({"refuse": ["*"], "domainComputer": )") +
                                      (c.domainComputer ? "true" : "false") + "}");
        settings.WmiNodesMode = c.mode;
        EXPECT_EQ(CheckWith({"0;6.1.7601", "4;Spooler"}), c.raised)
            << c.mode << " " << c.domainComputer;
    }
    WriteComputer("10.0.0.5", R"({"refuse": ["*"], "domainComputer": true})");
    settings.WmiNodesMode = "0";
    CheckWith({"4;Spooler"});
    const auto events = Events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0].SourceMac, "00AA00000001");
    EXPECT_EQ(events[0].SwitchKey, "SW1");
}

TEST_F(WmiCheckTest, TenConnectAttemptsASecondApartRunAtOnceOnTheTestClock) {
    WriteComputer("10.0.0.5", R"({"failConnects": 9, "classes": {"Win32_Service": []}})");
    const int sleeps = clock.Sleeps();
    EXPECT_EQ(CheckWith({"4;Spooler"}), (Types{"WMI Service Name"}));  // the tenth got through
    EXPECT_EQ(wmi->Connects().size(), 10u);
    EXPECT_EQ(clock.Sleeps() - sleeps, 9);

    WriteComputer("10.0.0.6", R"({"failConnects": 10, "domainComputer": true})");
    {
        RecursiveGuard guard(engine->EngineLock);
        engine->SiblingNodes["00AA00000001"]->NodeIp() = "10.0.0.6";
    }
    EXPECT_EQ(CheckWith({"4;Spooler"}), (Types{"WMI Not Responding"}));
    EXPECT_EQ(wmi->Connects().size(), 20u);
}

TEST_F(WmiCheckTest, ANodeWithoutAnAddressIsWaitedForAnHourOnTheTestClock) {
    AddNode("00AA00000002", "", "SW1", "7");
    settings.WmiConditions = {"4;Spooler"};
    Apply();
    bool done = false;
    CScanLinkupWmi check(*engine, *wmi, Target("00AA00000002"));
    check.SetDone([&] { done = true; });
    const int sleeps = clock.Sleeps();
    check.Check();
    EXPECT_EQ(clock.Sleeps() - sleeps, 3600);
    EXPECT_TRUE(done);
    EXPECT_TRUE(wmi->Connects().empty());
    EXPECT_TRUE(Events().empty());
}

TEST_F(WmiCheckTest, ACallBeyondItsTimeLimitCountsAsFailed) {
    // Every query takes longer than its limit: single values read as empty, lists as absent.
    WriteComputer("10.0.0.5", R"({"queryDelayMs": 600000,
        "classes": {"Win32_OperatingSystem": [{"Version": "6.1.7601"}], "Win32_Service": [{"Name": "Spooler"}]}})");
    EXPECT_EQ(CheckWith({"0;6.1.7601", "4;Spooler"}),
              (Types{"WMI Operating System", "WMI Service Name"}));
}

TEST_F(WmiCheckTest, AStoppedCheckRaisesNothingAndStillSignalsDone) {
    WriteComputer("10.0.0.5", R"({"refuse": ["*"], "domainComputer": true})");
    settings.WmiConditions = {"4;Spooler"};
    Apply();
    ManualResetEvent stop(true);
    bool done = false;
    CScanLinkupWmi check(*engine, *wmi, Target(), &stop);
    check.SetDone([&] { done = true; });
    check.Check();
    EXPECT_TRUE(done);
    EXPECT_TRUE(Events().empty());
}

TEST_F(WmiCheckTest, DamagedOrHostileFixtureNamesAnswerNothing) {
    WriteComputer("10.0.0.5", "{not json");
    settings.WmiNodesMode = "0";
    EXPECT_EQ(CheckWith({"4;Spooler"}), Types{});
    const auto connection = wmi->Open(nullptr);
    std::string why;
    EXPECT_FALSE(connection->Connect("../10.0.0.5", "root\\cimv2", std::nullopt, 1000, &why));
    EXPECT_FALSE(connection->Connect("", "root\\cimv2", std::nullopt, 1000, &why));
    EXPECT_FALSE(connection->IsDomainComputer("10.0.0.5/../x", 1000));
}

TEST_F(WmiCheckTest, TheDemoComputersAnswerAsTheirReadmeSays) {
    wmi = std::make_unique<WmiFixtureClient>(
        std::string(TARVELL_SOURCE_DIR) + "/tests/fixtures/wmi/demo", &clock);
    const std::vector<std::string> policy = {"0;10.0.19045|10.0.22631", "2;corp.example",
                                             "4;WinDefend", "6;Endpoint Agent"};
    struct Case {
        const char* ip;
        Types raised;
    };
    const Case cases[] = {
        {"127.0.0.101", {}},
        {"127.0.0.102",
         {"WMI Computer Domain", "WMI Operating System", "WMI Program Name", "WMI Service Name"}},
        {"127.0.0.103", {"WMI Not Responding"}},
    };
    for (const Case& c : cases) {
        {
            RecursiveGuard guard(engine->EngineLock);
            engine->SiblingNodes["00AA00000001"]->NodeIp() = c.ip;
        }
        EXPECT_EQ(CheckWith(policy), c.raised) << c.ip;
    }
}

}  // namespace
}  // namespace tarvell::linkuptest
