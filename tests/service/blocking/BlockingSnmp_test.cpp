// Blocking against a simulated switch (snmpsim with a writable ifAdminStatus): the thread's sets
// go through the real SnmpClient over SNMPv1 and SNMPv3, and the port's state is read back with
// Net-SNMP's snmpget.
#include <gtest/gtest.h>

#include "platform/Process.h"
#include "platform/RecursiveLock.h"
#include "tests/fixtures/snmp/SnmpPeers.h"
#include "tests/service/blocking/BlockingFixture.h"

namespace tarvell::blockingtest {
namespace {

using snmptest::SimUser;

const SimUser kUser{"sha3des", "SHA", "authpass4", "3DES", "privpass4"};

class BlockingSnmpTest : public BlockingFixture {
protected:
    static void SetUpTestSuite() {
        sim_ = new snmptest::SnmpSim;
        if (!sim_->Start(snmptest::FixtureDir() / "switch", {kUser}))
            FAIL() << "snmpsim did not start:\n" << sim_->Log();
    }
    static void TearDownTestSuite() {
        delete sim_;
        sim_ = nullptr;
    }

    void SetUp() override {
        BlockingFixture::SetUp();
        ASSERT_TRUE(sim_ && sim_->Port());
        SnmpClientOptions options;
        options.agentPort = sim_->Port();
        options.bootCounterPath = dir_ / "snmpv3_boot_counter";
        client_ = std::make_unique<SnmpClient>(
            [] {
                SnmpClientSettings s;
                s.SnmpV3SecurityModel = 3;
                s.SnmpV3SecurityLevel = 3;
                s.SnmpV3AuthProtocol = 3;  // SHA
                s.SnmpV3PrivProtocol = 3;  // 3DES
                s.SnmpV3User = kUser.name;
                s.SnmpV3AuthPassword = kUser.authKey;
                s.SnmpV3PrivPassword = kUser.privKey;
                s.SnmpV3Context = "public";
                return s;
            },
            options);
        CScanBlocking::Backends backends;
        backends.set = [this](const std::string& address, const std::string& read,
                              const std::string& write, std::uint32_t timeoutMs,
                              std::uint32_t retries, SnmpOidEntry* entry, const ManualResetEvent*) {
            return client_->Set(address, read, write, timeoutMs, retries, entry);
        };
        backends.messenger = std::make_unique<RecordingMessenger>(messages);
        blocking = std::make_unique<CScanBlocking>(*engine, std::move(backends));

        CTarvellDoc doc = BlankSettings();
        doc.PreventionEnabled = 1;
        doc.SnmpPreventionEnabled = 1;
        doc.SnmpPreventionMethod = 1;
        doc.SnmpCommunitiesEnabled = 1;
        doc.SnmpCommunities = {"public/1"};
        UseSettings(doc);
    }

    // The switch at 127.0.0.1 with the given community, and a system block of its port.
    void BlockPort(const std::string& community, const std::string& port) {
        AddSwitch("00AABB00FF01", "127.0.0.1").SwitchCommunity() = community;
        CEventItem& event = AddEvent("00AABB00FF01", port, "Unauthorized Node", "001122334455");
        event.DeviceIp = "127.0.0.1";
        event.Blocked = 1;
    }
    void RequestUnblock(const std::string& port) {
        RecursiveGuard lock(engine->EngineLock);
        engine->EventMap.at("00AABB00FF01/" + port)->Blocked = 0;
    }
    std::string Extra(const std::string& port) { return EventCopy("00AABB00FF01/" + port).Extra; }

    // ifAdminStatus of the port as snmpget reads it over SNMPv1.
    static std::string AdminStatus(const std::string& port) {
        ProcessOptions options;
        options.argv = {"/usr/bin/snmpget",
                        "-v1",
                        "-c",
                        "public",
                        "-On",
                        "-Oqv",
                        "-t",
                        "2",
                        "-r",
                        "1",
                        "127.0.0.1:" + std::to_string(sim_->Port()),
                        "1.3.6.1.2.1.2.2.1.7." + port};
        options.environment = std::vector<std::string>{"MIBS=", "PATH=/usr/bin:/bin"};
        options.captureOutput = true;
        options.timeLimitMs = 20'000;
        const ProcessResult result = RunProcess(options);
        EXPECT_TRUE(result.Succeeded()) << result.err;
        std::string out = result.out;
        while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
        return out;
    }

    static snmptest::SnmpSim* sim_;
    snmptest::TempDir dir_{"blocking"};
    std::unique_ptr<SnmpClient> client_;
};
snmptest::SnmpSim* BlockingSnmpTest::sim_ = nullptr;

TEST_F(BlockingSnmpTest, ASystemBlockShutsThePortAndAnUnblockRequestOpensItOverSnmpV1) {
    ASSERT_EQ(AdminStatus("3"), "1");
    BlockPort("public", "3");
    blocking->Pass();
    EXPECT_FALSE(Extra("3").empty());
    EXPECT_EQ(AdminStatus("3"), "2");
    EXPECT_EQ(AdminStatus("2"), "1") << "no other port is touched";

    RequestUnblock("3");
    blocking->Pass();
    EXPECT_TRUE(Extra("3").empty());
    EXPECT_EQ(AdminStatus("3"), "1");
}

TEST_F(BlockingSnmpTest, ASystemBlockShutsThePortAndAnUnblockRequestOpensItOverSnmpV3) {
    // The community list is switched off: an SNMPv3 switch needs only the configured user.
    CTarvellDoc doc = *engine->Settings();
    doc.SnmpCommunitiesEnabled = 0;
    doc.SnmpCommunities.clear();
    UseSettings(doc);
    ASSERT_EQ(AdminStatus("4"), "1");
    BlockPort("SNMP/V3", "4");
    blocking->Pass();
    EXPECT_FALSE(Extra("4").empty());
    EXPECT_EQ(AdminStatus("4"), "2");

    RequestUnblock("4");
    blocking->Pass();
    EXPECT_TRUE(Extra("4").empty());
    EXPECT_EQ(AdminStatus("4"), "1");
}

TEST_F(BlockingSnmpTest, TheConfiguredObjectsAreWrittenWhenTheStandardMethodIsOff) {
    CTarvellDoc doc = *engine->Settings();
    doc.SnmpPreventionMethod = 0;
    doc.SnmpBlockQuery = ".1.3.6.1.2.1.2.2.1.7.2/2";
    doc.SnmpUnblockQuery = "1.3.6.1.2.1.2.2.1.7.2/1";
    UseSettings(doc);
    ASSERT_EQ(AdminStatus("2"), "1");
    BlockPort("public", "1");  // the objects name port 2 whatever the event's port
    blocking->Pass();
    EXPECT_FALSE(Extra("1").empty());
    EXPECT_EQ(AdminStatus("2"), "2");
    EXPECT_EQ(AdminStatus("1"), "1");
    RequestUnblock("1");
    blocking->Pass();
    EXPECT_EQ(AdminStatus("2"), "1");
}

TEST_F(BlockingSnmpTest, AWrongCommunityLeavesThePortOpenAndTheBlockPending) {
    CTarvellDoc doc = *engine->Settings();
    doc.SnmpCommunities = {"nosuchcommunity/1"};
    UseSettings(doc);
    BlockPort("nosuchcommunity", "1");
    blocking->Pass();
    EXPECT_TRUE(Extra("1").empty());
    EXPECT_EQ(AdminStatus("1"), "1");
    EXPECT_EQ(LogCount("could not be shut"), 1);
}

}  // namespace
}  // namespace tarvell::blockingtest
