// Decoding of what arrives at the trap port, without sockets: v1 trap ids, the ifIndex rule,
// inform answers, and hostile bytes.
#include <gtest/gtest.h>

#include <random>

#include "platform/snmp/Message.h"
#include "service/traps/CScanSnmpTraps.h"
#include "service/traps/TrapDecoder.h"

namespace tarvell::traptest {
namespace {

using snmp::Oid;
using snmp::Value;
using snmp::VarBind;

const Oid kSysUpTime{1, 3, 6, 1, 2, 1, 1, 3, 0};
const Oid kTrapOid{1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};

std::string V1Trap(std::int32_t generic, std::int32_t specific,
                   std::vector<VarBind> bindings = {}) {
    snmp::TrapV1Pdu trap;
    trap.enterprise = {1, 3, 6, 1, 4, 1, 9};
    trap.genericTrap = generic;
    trap.specificTrap = specific;
    trap.bindings = std::move(bindings);
    return snmp::EncodeTrapV1Message("public", trap);
}

std::string V2(std::uint8_t type, const Oid& id, std::vector<VarBind> more,
               std::int32_t version = snmp::kVersion2c) {
    snmp::Pdu p;
    p.type = type;
    p.requestId = 77;
    p.bindings = {{kSysUpTime, Value::Unsigned(snmp::tag::kTimeTicks, 5)},
                  {kTrapOid, Value::ObjectId(id)}};
    for (auto& b : more) p.bindings.push_back(std::move(b));
    return snmp::EncodeCommunityMessage(version, "public", p);
}

TEST(TrapDecoder, V1TrapIdsFollowRfc3584) {
    TrapDecoder decoder("Tarvell", 1);
    struct Case {
        std::int32_t generic, specific;
        const char* id;
    };
    const Case cases[] = {{0, 0, "1.3.6.1.6.3.1.1.5.1"},
                          {2, 0, "1.3.6.1.6.3.1.1.5.3"},
                          {3, 0, "1.3.6.1.6.3.1.1.5.4"},
                          {5, 9, "1.3.6.1.6.3.1.1.5.6"},
                          {6, 42, "1.3.6.1.4.1.9.0.42"}};
    for (const Case& c : cases) {
        const auto d = decoder.Decode(V1Trap(c.generic, c.specific), {});
        ASSERT_TRUE(d.notification) << c.generic;
        EXPECT_EQ(snmp::OidToText(d.notification->notifyId), c.id);
        EXPECT_TRUE(d.answer.empty());
    }
}

TEST(TrapDecoder, TheIfIndexIsTheLastBindingUnderTheColumnAndMustBeAPortNumber) {
    const Oid column7{1, 3, 6, 1, 2, 1, 2, 2, 1, 1, 7};
    const Oid column9{1, 3, 6, 1, 2, 1, 2, 2, 1, 1, 9};
    struct Case {
        std::vector<VarBind> bindings;
        const char* index;
    };
    const Case cases[] = {
        {{{column7, Value::Integer(7)}}, "7"},
        {{{column7, Value::Integer(7)}, {column9, Value::Integer(9)}}, "9"},
        {{{column7, Value::OctetString("7")}}, "7"},
        {{{column7, Value::Integer(2147483647)}}, "2147483647"},
        {{{column7, Value::Integer(2147483648LL)}}, ""},
        {{{column7, Value::Integer(0)}}, ""},
        {{{column7, Value::Integer(-3)}}, ""},
        {{{column7, Value::OctetString("abc")}}, ""},
        {{{column7, Value::OctetString("07")}}, ""},
        {{{column7, Value::OctetString("")}}, ""},
        {{{Oid{1, 3, 6, 1, 2, 1, 2, 2, 1, 1}, Value::Integer(7)}}, ""},
        {{{Oid{1, 3, 6, 1, 2, 1, 2, 2, 1, 10, 7}, Value::Integer(7)}}, ""},
        {{}, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(LinkUpPortIndex(c.bindings), c.index);
}

TEST(TrapDecoder, AnInformIsAnsweredWithItsBindingsAndTheReplyTextInTheFirst) {
    TrapDecoder decoder("Tarvell", 1);
    const Oid linkDown{1, 3, 6, 1, 6, 3, 1, 1, 5, 3};
    const auto d = decoder.Decode(
        V2(snmp::pdu::kInform, linkDown, {{{1, 3, 6, 1, 2, 1, 2, 2, 1, 1, 4}, Value::Integer(4)}}),
        {});
    ASSERT_TRUE(d.notification);
    const auto answer = snmp::DecodeCommunityMessage(d.answer);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->pdu.type, snmp::pdu::kResponse);
    EXPECT_EQ(answer->pdu.requestId, 77);
    EXPECT_EQ(answer->community, "public");
    ASSERT_EQ(answer->pdu.bindings.size(), 3u);
    EXPECT_EQ(snmp::PrintableValue(answer->pdu.bindings[0].value), kInformReplyText);
    EXPECT_EQ(answer->pdu.bindings[1].value.oid, linkDown);
    EXPECT_EQ(answer->pdu.bindings[2].value.integer, 4);

    // An inform without bindings is answered with none.
    snmp::Pdu empty;
    empty.type = snmp::pdu::kInform;
    empty.requestId = 5;
    const auto bare =
        decoder.Decode(snmp::EncodeCommunityMessage(snmp::kVersion2c, "x", empty), {});
    const auto bareAnswer = snmp::DecodeCommunityMessage(bare.answer);
    ASSERT_TRUE(bareAnswer);
    EXPECT_TRUE(bareAnswer->pdu.bindings.empty());
}

TEST(TrapDecoder, OnlyNotificationsOfTheirVersionAreTaken) {
    TrapDecoder decoder("Tarvell", 1);
    const Oid linkUp{1, 3, 6, 1, 6, 3, 1, 1, 5, 4};
    EXPECT_TRUE(decoder.Decode(V2(snmp::pdu::kTrapV2, linkUp, {}), {}).notification);
    // A v2 trap PDU in a v1 message, a get and a response are no notifications.
    EXPECT_FALSE(
        decoder.Decode(V2(snmp::pdu::kTrapV2, linkUp, {}, snmp::kVersion1), {}).notification);
    EXPECT_FALSE(decoder.Decode(V2(snmp::pdu::kGet, linkUp, {}), {}).notification);
    EXPECT_FALSE(decoder.Decode(V2(snmp::pdu::kResponse, linkUp, {}), {}).notification);
}

TEST(TrapDecoder, AnSnmpV3ProbeLearnsThisEngineAndUnknownUsersLearnNothing) {
    TrapDecoder decoder("Tarvell", 3);
    snmp::V3Header header;
    header.msgId = 9;
    header.flags = snmp::flags::kReportable;
    snmp::ScopedPdu scoped;
    scoped.pdu.type = snmp::pdu::kGet;
    scoped.pdu.requestId = 11;
    const auto probe = snmp::EncodeV3Message(header, {}, snmp::EncodeScopedPdu(scoped));
    const auto d = decoder.Decode(probe.bytes, {});
    EXPECT_FALSE(d.notification);
    const auto report = snmp::DecodeV3Message(d.answer);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->usm.engineId, "Tarvell");
    EXPECT_EQ(report->usm.boots, 3);
    EXPECT_EQ(report->scoped.pdu.type, snmp::pdu::kReport);
    EXPECT_EQ(report->scoped.pdu.requestId, 11);

    snmp::UsmParameters usm;
    usm.engineId = "Tarvell";
    usm.userName = "stranger";
    scoped.pdu.type = snmp::pdu::kInform;
    const auto unknown = snmp::EncodeV3Message(header, usm, snmp::EncodeScopedPdu(scoped));
    TrapUser user;
    user.enabled = true;
    user.user.name = "labuser";
    const auto none = decoder.Decode(unknown.bytes, user);
    EXPECT_FALSE(none.notification);
    EXPECT_TRUE(none.answer.empty());
}

// Random damage to valid notifications never crashes the decoder, and whatever it answers is
// no larger than the largest datagram.
TEST(TrapDecoder, SurvivesRandomDamage) {
    TrapDecoder decoder("Tarvell", 1);
    TrapUser user;
    user.enabled = true;
    user.user = {"labuser", snmp::AuthProtocol::Md5, snmp::PrivProtocol::Des, "lab-auth-pass",
                 "lab-priv-pass"};
    const Oid linkUp{1, 3, 6, 1, 6, 3, 1, 1, 5, 4};
    const std::vector<std::string> seeds{
        V1Trap(3, 0, {{{1, 3, 6, 1, 2, 1, 2, 2, 1, 1, 7}, Value::Integer(7)}}),
        V2(snmp::pdu::kInform, linkUp, {{{1, 3, 6, 1, 2, 1, 2, 2, 1, 1, 7}, Value::Integer(7)}}),
        V2(snmp::pdu::kTrapV2, linkUp,
           {{{1, 3, 6, 1, 2, 1, 2, 2, 1, 1, 7}, Value::OctetString("7")}}),
    };
    std::mt19937 random(20261209);
    for (int round = 0; round < 100; ++round) {
        for (int i = 0; i < 1000; ++i) {
            std::string bytes = seeds[random() % seeds.size()];
            const int edits = 1 + static_cast<int>(random() % 4);
            for (int e = 0; e < edits; ++e) {
                const std::size_t at = random() % bytes.size();
                switch (random() % 3) {
                    case 0: bytes[at] = static_cast<char>(random()); break;
                    case 1: bytes.erase(at, 1 + random() % 3); break;
                    default: bytes.insert(at, 1, static_cast<char>(random())); break;
                }
                if (bytes.empty()) bytes = "0";
            }
            const auto d = decoder.Decode(bytes, user);
            ASSERT_LE(d.answer.size(), snmp::kMaxMessageSize);
            ASSERT_TRUE(d.fault.empty()) << d.fault;
        }
    }
    // Damage is the sender's; none of it may reach the decoder's own fault path.
    EXPECT_EQ(decoder.Faults(), 0u);
}

}  // namespace
}  // namespace tarvell::traptest
