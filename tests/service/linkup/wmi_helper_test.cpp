#include "platform/wmi/WmiHelperClient.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>

#include "platform/Text.h"
#include "service/linkup/CScanLinkupWmi.h"
#include "tests/service/linkup/LinkupFixture.h"

namespace tarvell::linkuptest {
namespace {

using namespace std::chrono_literals;

const std::string kHelper =
    std::string(TARVELL_SOURCE_DIR) + "/platform/wmi/tarvell-wmi-helper.py";
const std::string kStandIn = std::string(TARVELL_SOURCE_DIR) + "/tests/fixtures/wmi/standin";
const std::string kBroken = std::string(TARVELL_SOURCE_DIR) + "/tests/fixtures/wmi/broken";

const char* const kWorld = R"({"computers": {
  "10.0.0.5": {
    "account": {"user": "audit", "domain": "CORP", "password": "p/w"},
    "refuse": [],
    "classes": {
      "Win32_OperatingSystem": [{"Version": "6.1.7601", "ServicePackMajorVersion": 1}],
      "Win32_QuickFixEngineering": [{"HotFixID": "File 1"}, {"HotFixID": "KB2871997"}],
      "Win32_Service": [{"Name": "Spooler"}, {"Name": null}],
      "Win32_Process": [{"Name": "Caf\u00e9.exe"}]
    },
    "registry": {
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\A": {"DisplayName": "Agent", "DisplayVersion": "2.0"},
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor": {"Mode": "Strict", "Enabled": 1}
    },
    "names": [["PC5", 0, 1024], ["CORP", 0, 33792]]
  },
  "10.0.0.6": {"refuse": ["//./root/default"], "classes": {}, "names": [["PC6", 0, 1024]]},
  "10.0.0.7": {"hang": "query", "classes": {}}
}})";

class WmiHelperTest : public LinkupFixture {
protected:
    void SetUp() override {
        LinkupFixture::SetUp();
        worldPath = JoinPath(root, "world.json");
        callLog = JoinPath(root, "calls.log");
        ASSERT_TRUE(AtomicWriteFile(worldPath, kWorld));
        helper = std::make_unique<WmiHelperClient>(std::vector<std::string>{kSystemPython, kHelper},
                                                   Environment(kStandIn));
    }

    std::vector<std::string> Environment(const std::string& pythonPath) const {
        return {"PATH=/usr/bin:/bin", "PYTHONPATH=" + pythonPath, "PYTHONDONTWRITEBYTECODE=1",
                "STANDIN_WORLD=" + worldPath, "STANDIN_LOG=" + callLog};
    }

    // The stand-in's calls of one kind, as their JSON lines.
    std::vector<std::string> Calls(const std::string& call) const {
        std::vector<std::string> out;
        for (const std::string& line : SplitAny(ReadWholeFile(callLog).value_or(""), "\n")) {
            if (line.find("\"call\": \"" + call + "\"") != std::string::npos) out.push_back(line);
        }
        return out;
    }

    std::string worldPath, callLog;
    std::unique_ptr<WmiHelperClient> helper;
};

// ---- the protocol against the stand-in

TEST_F(WmiHelperTest, ACheckThroughTheHelperGivesTheComputersAnswers) {
    AddNode("00AA00000001", "10.0.0.5", "SW1", "7");
    settings.WmiLogon = "audit/CORP/p/w/";
    settings.WmiConditions = {"0;6.1.7601",
                              "1;2",
                              "3;kb2871997",
                              "3;File 1",
                              "4;spooler",
                              "5;Caf\xe9.exe",
                              "6;Agent:2.0",
                              "6;Agent:3.0",
                              "7;HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Mode:strict",
                              "8;HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Enabled:0"};
    Apply();
    CScanLinkupWmi(*engine, *helper, Target()).Check();
    auto types = EventTypes();
    std::sort(types.begin(), types.end());
    EXPECT_EQ(types, (std::vector<std::string>{"WMI Hot Fix", "WMI Program Name",
                                               "WMI Registry DWORD", "WMI Service Pack"}));
    // The account reached DCOM split as the log-on text says; both namespaces were asked for.
    const auto connects = Calls("DCOMConnection");
    ASSERT_EQ(connects.size(), 2u);
    EXPECT_NE(connects[0].find(R"("username": "audit", "password": "p/w", "domain": "CORP")"),
              std::string::npos)
        << connects[0];
    const auto logins = Calls("NTLMLogin");
    ASSERT_EQ(logins.size(), 2u);
    EXPECT_NE(logins[0].find("//./root/cimv2"), std::string::npos);
    EXPECT_NE(logins[1].find("//./root/default"), std::string::npos);
    EXPECT_EQ(Calls("GetObject").size(), 1u);  // the registry provider once per connection
}

TEST_F(WmiHelperTest, EachCallAnswersOrFailsCleanly) {
    const auto c = helper->Open(nullptr);
    std::string why;
    EXPECT_FALSE(
        c->Query("Select * from Win32_Service", "Name", 5000).has_value());  // not connected
    EXPECT_FALSE(c->Connect("10.0.0.99", "root\\cimv2", std::nullopt, 5000, &why));
    EXPECT_NE(why.find("timed out"), std::string::npos) << why;
    EXPECT_FALSE(
        c->Connect("10.0.0.5", "root\\cimv2", WmiAccount{"audit", "CORP", "wrong"}, 5000, &why));
    EXPECT_NE(why.find("access_denied"), std::string::npos) << why;
    EXPECT_FALSE(c->Connect("10.0.0.5; rm -rf /", "root\\cimv2", std::nullopt, 5000, &why));
    EXPECT_EQ(why, "not an IPv4 address");
    ASSERT_TRUE(
        c->Connect("10.0.0.5", "root\\cimv2", WmiAccount{"audit", "CORP", "p/w"}, 5000, &why))
        << why;
    EXPECT_EQ(c->Query("Select * from Win32_Service", "NAME", 5000),
              (std::vector<std::string>{"Spooler"}));
    EXPECT_EQ(c->Query("Select * from Win32_Process", "Name", 5000),
              (std::vector<std::string>{"Caf\xe9.exe"}));
    EXPECT_EQ(c->Query("Select * from Win32_Nothing", "Name", 5000), (std::vector<std::string>{}));
    EXPECT_FALSE(c->Query("this is not WQL", "Name", 5000).has_value());
    ASSERT_TRUE(
        c->Connect("10.0.0.5", "root\\default", WmiAccount{"audit", "CORP", "p/w"}, 5000, &why))
        << why;
    EXPECT_EQ(c->EnumKey(kHkeyLocalMachine,
                         "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 5000),
              (std::vector<std::string>{"A"}));
    EXPECT_EQ(c->GetStringValue(kHkeyLocalMachine, "SOFTWARE\\Vendor", "Mode", 5000), "Strict");
    EXPECT_EQ(c->GetDwordValue(kHkeyLocalMachine, "SOFTWARE\\Vendor", "Enabled", 5000), 1u);
    EXPECT_FALSE(c->GetDwordValue(kHkeyLocalMachine, "SOFTWARE\\Vendor", "Mode", 5000).has_value());
    EXPECT_FALSE(
        c->GetStringValue(kHkeyLocalMachine, "SOFTWARE\\Nothing", "Mode", 5000).has_value());
    EXPECT_FALSE(c->GetStringValue(0x12345678, "SOFTWARE\\Vendor", "Mode", 5000).has_value());
    c->Disconnect();
    EXPECT_FALSE(c->Connect("10.0.0.6", "root\\default", std::nullopt, 5000, &why));
    // The domain-computer test: a group name of type 0 registered by the computer.
    EXPECT_TRUE(c->IsDomainComputer("10.0.0.5", 5000));
    EXPECT_FALSE(c->IsDomainComputer("10.0.0.6", 5000));
    EXPECT_FALSE(c->IsDomainComputer("10.0.0.99", 5000));
}

TEST_F(WmiHelperTest, AHelperThatOverrunsItsLimitIsKilledAndReplaced) {
    const auto c = helper->Open(nullptr);
    std::string why;
    ASSERT_TRUE(c->Connect("10.0.0.7", "root\\cimv2", std::nullopt, 5000, &why)) << why;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(c->Query("Select * from Win32_Service", "Name", 1000).has_value());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    // The next call starts a new helper, which has no connection yet.
    EXPECT_FALSE(c->Query("Select * from Win32_Service", "Name", 5000).has_value());
    EXPECT_TRUE(
        c->Connect("10.0.0.5", "root\\cimv2", WmiAccount{"audit", "CORP", "p/w"}, 5000, &why))
        << why;
}

TEST_F(WmiHelperTest, ACancelEndsTheWaitForAnAnswer) {
    ManualResetEvent cancel;
    const auto c = helper->Open(&cancel);
    std::string why;
    ASSERT_TRUE(c->Connect("10.0.0.7", "root\\cimv2", std::nullopt, 5000, &why)) << why;
    std::thread stopper([&] {
        std::this_thread::sleep_for(300ms);
        cancel.Set();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(c->Query("Select * from Win32_Service", "Name", 60'000).has_value());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    stopper.join();
}

TEST_F(WmiHelperTest, AnswersThatAreNotTheProtocolFailTheCall) {
    struct Case {
        const char* what;
        const char* script;
    };
    const Case cases[] = {
        {"not JSON", "read l; echo 'not json'; sleep 600"},
        {"not an object", "read l; echo '[1,2]'; sleep 600"},
        {"no ok", "read l; echo '{\"values\": [\"x\"]}'; sleep 600"},
        {"values not texts",
         "read l; echo '{\"ok\": true}'; read l; echo '{\"ok\": true, \"values\": [1, null, {}]}'"},
        {"silent", "sleep 600"},
        {"ends at once", "exit 0"},
    };
    for (const Case& c : cases) {
        WmiHelperClient fake({"/bin/sh", "-c", c.script});
        const auto connection = fake.Open(nullptr);
        std::string why;
        const bool connected =
            connection->Connect("10.0.0.5", "root\\cimv2", std::nullopt, 1000, &why);
        if (connected) {
            EXPECT_EQ(connection->Query("q", "p", 1000), std::vector<std::string>{}) << c.what;
        } else {
            EXPECT_FALSE(why.empty()) << c.what;
        }
    }
}

// ---- self-test

TEST_F(WmiHelperTest, TheSelfTestImportsTheImpacketModules) {
    std::string why;
    const WmiHelperClient real(
        {kSystemPython, kHelper},
        std::vector<std::string>{"PATH=/usr/bin:/bin", "PYTHONDONTWRITEBYTECODE=1"});
    EXPECT_TRUE(real.SelfTest(&why)) << why;
    const WmiHelperClient broken({kSystemPython, kHelper}, Environment(kBroken));
    EXPECT_FALSE(broken.SelfTest(&why));
    EXPECT_NE(why.find("impacket is missing"), std::string::npos) << why;
    const WmiHelperClient absent({"/nonexistent/python3", kHelper});
    EXPECT_FALSE(absent.SelfTest(&why));
}

TEST(WmiBackendChoice, TheFixtureSettingWinsAndABadFolderAnswersNothing) {
    const std::string folder = MakeTempFolder("wmi-choice-");
    std::string note;
    auto client = MakeWmiClient(
        [&](const char* name) -> const char* {
            return std::string(name) == "TARVELL_WMI_FIXTURE" ? folder.c_str() : nullptr;
        },
        nullptr, &note);
    EXPECT_EQ(client->Name(), "fixture");
    client = MakeWmiClient(
        [](const char* name) -> const char* {
            return std::string(name) == "TARVELL_WMI_FIXTURE" ? "/nonexistent/wmi" : nullptr;
        },
        nullptr, &note);
    EXPECT_EQ(client->Name(), "none");
    EXPECT_NE(note.find("/nonexistent/wmi"), std::string::npos);
    RemoveTree(folder);
}

}  // namespace
}  // namespace tarvell::linkuptest
