// The node tools without widgets: device values, addresses, options, and the ping and SNMP runs
// over scripted backends.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "viewer/core/monitors/NodeTools.h"
#include "platform/Files.h"
#include "platform/wmi/WmiFixtureClient.h"

namespace tarvell::nodetools {
namespace {

TEST(NodeToolsTest, SplitsDeviceValuesAndLocation) {
    struct Case {
        const char* value;
        DeviceFields want;
    };
    const Case cases[] = {
        {"core", {"", "core", "", ""}},
        {"10.0.0.1/core", {"10.0.0.1", "core", "", ""}},
        {"10.0.0.1/core/lab", {"10.0.0.1", "core", "", "lab"}},
        {"10.0.0.1/core/ops/lab", {"10.0.0.1", "core", "ops", "lab"}},
        {"10.0.0.1/core/ops/lab/x", {"10.0.0.1", "core", "ops", "lab"}},
    };
    for (const auto& c : cases) {
        const DeviceFields f = SplitDeviceValue(c.value);
        EXPECT_EQ(std::tie(f.ip, f.name, f.contact, f.location),
                  std::tie(c.want.ip, c.want.name, c.want.contact, c.want.location))
            << c.value;
    }
    EventsSnapshot events;
    events.DeviceTable["sw1"] = "10.0.0.1/core";
    events.PortNames["sw1/3"] = "Gi0/3";
    EXPECT_EQ(LocationText(events, "sw1", "sw1/3"),
              "Device IP:\t10.0.0.1\r\nDevice Name:\tcore\r\nDevice Contact:\t\r\n"
              "Device Location:\t\r\nDevice Port:\tGi0/3\r\n");
    EXPECT_EQ(LocationText(events, "missing", "none"),
              "Device IP:\t\r\nDevice Name:\t\r\nDevice Contact:\t\r\nDevice Location:\t\r\n"
              "Device Port:\t\r\n");
    EXPECT_EQ(FirstMac("00:11:22:33:44:55;66:77:88:99:aa:bb"), "00:11:22:33:44:55");
}

TEST(NodeToolsTest, ChecksAddressesAndOptions) {
    for (const char* good : {"10.0.0.5", "core-1.lab", "switch"})
        EXPECT_TRUE(IsDeviceAddress(good)) << good;
    for (const char* bad : {"", "10.0.0.5;reboot", "10.0.0.300", "a b", "-x", "x..y",
                            "10.0.0.5/../", "$(id)", "01234.1.1.1"})
        EXPECT_FALSE(IsDeviceAddress(bad)) << bad;
    EXPECT_FALSE(IsDottedIPv4("1.2.3"));
    EXPECT_FALSE(IsDottedIPv4("1.2.3.4.5"));
    EXPECT_EQ(DeviceWebUrl("10.0.0.5"), "http://10.0.0.5");
    EXPECT_EQ(DeviceTelnetArguments("10.0.0.5"),
              (std::vector<std::string>{"-e", "telnet", "10.0.0.5"}));
    EXPECT_EQ(ParseBounded("0", 1, 60000), 1);
    EXPECT_EQ(ParseBounded("99999", 1, 60000), 60000);
    EXPECT_EQ(ParseBounded("32", 1, 65500), 32);
    EXPECT_EQ(ParseBounded("", 1, 9), std::nullopt);
    EXPECT_EQ(ParseBounded("-5", 1, 9), std::nullopt);
    EXPECT_EQ(ParseBounded("99999999999", 1, 9), std::nullopt);
    EXPECT_EQ(UptimeText(123456789), "14:06:56:07");
    EXPECT_EQ(UptimeText(0), "0:00:00:00");
}

// Answers the rounds listed in `answers`; a run's calls are counted.
struct FakeEcho : EchoBackend {
    std::string openError;
    std::vector<bool> answers;
    int calls = 0;
    std::function<void()> onEcho;
    std::string Open() override { return openError; }
    EchoReply Echo(const std::string& target, const std::string& payload, int) override {
        if (onEcho) onEcho();
        const bool yes = calls < static_cast<int>(answers.size()) && answers[calls];
        ++calls;
        return yes ? EchoReply{true, target, payload, 1} : EchoReply{};
    }
};

std::string Ping(FakeEcho& echo, const std::string& target, const char* size = "32") {
    std::string out;
    std::atomic<bool> cancel{false};
    RunPing(echo, target, size, "1000", 4242, cancel, [&](const std::string& s) { out += s; });
    return out;
}

TEST(NodeToolsTest, PingRoundsAndStatistics) {
    FakeEcho three;
    three.answers = {true, true, false, true};
    const std::string out = Ping(three, "10.0.0.2", "1");  // below the token: raised to 5
    EXPECT_NE(out.find("Reply from 10.0.0.2 : bytes=5 time=1ms\r\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Sent = 4, Received = 3, Lost = 1 (25% loss)."), std::string::npos);

    for (const char* bad : {"", "255.255.255.255x", "host"}) {
        FakeEcho none;
        EXPECT_EQ(Ping(none, bad), "Invalid target address \"" + std::string(bad) + "\".\r\n");
        EXPECT_EQ(none.calls, 0);
    }
    FakeEcho noSocket;
    noSocket.openError = "Operation not permitted";
    EXPECT_EQ(Ping(noSocket, "10.0.0.2"), "No ICMP socket (Operation not permitted).\r\n");
}

TEST(NodeToolsTest, PingTimeoutsReadFullLoss) {
    FakeEcho silent;
    EXPECT_EQ(Ping(silent, "192.0.2.1"),
              "Request timed out.\r\nRequest timed out.\r\nRequest timed out.\r\n"
              "Request timed out.\r\n\r\nPing statistics for 192.0.2.1:\r\n"
              "\tPackets: Sent = 4, Received = 0, Lost = 4 (100% loss).");
    EXPECT_FALSE(ReplyCarriesToken(std::string("4242", 4), 4242));  // no zero within length
    EXPECT_FALSE(ReplyCarriesToken(std::string("42420", 5), 4242));
}

struct FakeSnmp : SnmpBackend {
    std::string openError;
    int answerOn = -1;  // 0-based request that is answered
    int calls = 0;
    std::string Open(const std::string&, const std::string&, int) override { return openError; }
    GetStatus GetSystemGroup(SystemGroup& out) override {
        if (calls++ != answerOn) return GetStatus::TimedOut;
        out.description = "lab switch";
        out.uptimeTicks = 123456789;
        return GetStatus::Answered;
    }
};

TEST(NodeToolsTest, SnmpRequestsAndStatistics) {
    std::atomic<bool> cancel{false};
    struct Case {
        int answerOn;
        const char* openError;
        int sent, received;
        const char* tail;
    };
    const Case cases[] = {
        {0, "", 1, 1, "Sent = 1, Received = 1, Lost = 0 (0% loss)."},
        {-1, "", 4, 0, "Sent = 4, Received = 0, Lost = 4 (100% loss)."},
        {0, "no route", 0, 0, "Snmp session failed (no route).\r\n"},
    };
    for (const auto& c : cases) {
        FakeSnmp snmp;
        snmp.answerOn = c.answerOn;
        snmp.openError = c.openError;
        std::string out;
        const auto r = RunSnmp(snmp, "10.0.0.9", "public", "1000", cancel,
                               [&](const std::string& s) { out += s; });
        EXPECT_EQ(r.sent, c.sent);
        EXPECT_EQ(r.received, c.received);
        EXPECT_TRUE(out.ends_with(c.tail)) << out;
        if (c.sent == 4) {
            EXPECT_EQ(snmp.calls, 4);
        }
        if (c.received) {
            EXPECT_NE(out.find("Uptime: 14:06:56:07\r\n"), std::string::npos);
        }
    }
}

TEST(NodeToolsTest, WmiAccountAndNullProperty) {
    EXPECT_FALSE(WmiUsesAccount("admin", "pw", "10.0.0.7", "10.0.0.7"));
    EXPECT_FALSE(WmiUsesAccount("admin", "", "10.0.0.8", "10.0.0.7"));
    EXPECT_TRUE(WmiUsesAccount("admin", "pw", "10.0.0.8", "10.0.0.7"));
    const std::string text = WmiObjectText([](const std::string& p) -> std::optional<std::string> {
        if (p == "Caption") return "OS";
        return std::nullopt;
    });
    EXPECT_EQ(text,
              "System: OS\r\n\r\nDescription: \r\n\r\nName: \r\n\r\nUsername: \r\n\r\n"
              "Organization: \r\n\r\n");
}

// The cancel comes from another thread while the first round waits for its reply.
// The WMI run against fixture computers: the text of the operating system, the account only
// for another machine, and one line for each way it can fail.
TEST(NodeToolsTest, WmiRunsAgainstFixtureComputers) {
    const std::string folder = MakeTempFolder("tarvell-wmi-");
    ASSERT_TRUE(AtomicWriteFile(
        JoinPath(folder, "10.0.0.5.json"),
        R"({"classes": {"Win32_OperatingSystem": [{"Caption": "Windows <7>", "CSName": "PC5",
            "Description": "desk", "RegisteredUser": "bob", "Organization": null}]}})"));
    ASSERT_TRUE(AtomicWriteFile(JoinPath(folder, "10.0.0.6.json"), R"({"refuse": ["*"]})"));
    WmiFixtureClient client(folder);
    const std::atomic<bool> cancel{false};
    const struct {
        std::string target, user, local, text;
    } cases[] = {
        {"10.0.0.5", "admin", "10.0.0.1",
         "System: Windows <7>\r\n\r\nDescription: desk\r\n\r\nName: PC5\r\n\r\nUsername: "
         "bob\r\n\r\nOrganization: \r\n\r\n"},
        {"10.0.0.6", "", "10.0.0.1", "WMI connection failed ("},
        {"10.0.0.7", "", "10.0.0.1", "WMI connection failed ("},
        {"10.0.0.256", "", "10.0.0.1", "Invalid target address \"10.0.0.256\"."},
        {"10.0.0.5", "admin", "10.0.0.5", "System: Windows <7>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target + " from " + c.local);
        std::string out;
        RunWmi(client, c.target, c.user, "secret", c.local, cancel,
               [&](const std::string& t) { out += t; });
        EXPECT_EQ(out.substr(0, c.text.size()), c.text);
    }
    const auto connects = client.Connects();
    ASSERT_EQ(connects.size(), 4u);
    EXPECT_EQ(connects[0].nameSpace, "root\\cimv2");
    EXPECT_EQ(connects[0].account, (WmiAccount{"admin", "", "secret"}));
    EXPECT_EQ(connects[3].account, std::nullopt) << "its own machine: no account";
    RemoveTree(folder);
}

TEST(NodeToolsConcurrencyTest, CancelDuringPingStopsBetweenRounds) {
    FakeEcho echo;
    std::atomic<bool> cancel{false};
    std::promise<void> inRound, cancelled;
    auto resumed = cancelled.get_future();
    echo.onEcho = [&] {
        if (echo.calls == 0) {
            inRound.set_value();
            resumed.wait();
        }
    };
    std::string out;
    std::thread worker([&] {
        RunPing(echo, "10.0.0.2", "32", "1000", 7, cancel, [&](const std::string& s) { out += s; });
    });
    inRound.get_future().wait();
    cancel.store(true);
    cancelled.set_value();
    worker.join();
    EXPECT_EQ(echo.calls, 1);
    EXPECT_EQ(out, "Request timed out.\r\n");
}

}  // namespace
}  // namespace tarvell::nodetools
