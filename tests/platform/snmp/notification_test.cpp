// Decoding of what arrives at a notification receiver, without sockets: v1 trap ids, inform
// answers, engine discovery and hostile bytes.
#include <gtest/gtest.h>

#include <random>

#include "platform/snmp/Message.h"
#include "platform/snmp/Notification.h"

namespace tarvell::snmp {
namespace {

const char* const kEngineId = "local-engine";
const Oid kSysUpTime{1, 3, 6, 1, 2, 1, 1, 3, 0};
const Oid kTrapOid{1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};

std::string V1Trap(std::int32_t generic, std::int32_t specific,
                   std::vector<VarBind> bindings = {}) {
    TrapV1Pdu trap;
    trap.enterprise = {1, 3, 6, 1, 4, 1, 9};
    trap.genericTrap = generic;
    trap.specificTrap = specific;
    trap.bindings = std::move(bindings);
    return EncodeTrapV1Message("public", trap);
}

std::string V2(std::uint8_t type, const Oid& id, std::vector<VarBind> more,
               std::int32_t version = kVersion2c) {
    Pdu p;
    p.type = type;
    p.requestId = 77;
    p.bindings = {{kSysUpTime, Value::Unsigned(tag::kTimeTicks, 5)},
                  {kTrapOid, Value::ObjectId(id)}};
    for (auto& b : more) p.bindings.push_back(std::move(b));
    return EncodeCommunityMessage(version, "public", p);
}

TEST(NotificationDecoder, V1TrapIdsFollowRfc3584) {
    NotificationDecoder decoder(kEngineId, 1);
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
        const auto d = decoder.Decode(V1Trap(c.generic, c.specific), nullptr);
        ASSERT_TRUE(d.notification) << c.generic;
        EXPECT_EQ(OidToText(d.notification->notifyId), c.id);
        EXPECT_TRUE(d.answer.empty());
    }
}

TEST(NotificationDecoder, AnInformIsAnsweredWithItsBindingsAndTheReplyTextInTheFirst) {
    NotificationDecoder decoder(kEngineId, 1);
    const Oid linkDown{1, 3, 6, 1, 6, 3, 1, 1, 5, 3};
    const auto d = decoder.Decode(
        V2(pdu::kInform, linkDown, {{{1, 3, 6, 1, 2, 1, 2, 2, 1, 1, 4}, Value::Integer(4)}}), {});
    ASSERT_TRUE(d.notification);
    const auto answer = DecodeCommunityMessage(d.answer);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->pdu.type, pdu::kResponse);
    EXPECT_EQ(answer->pdu.requestId, 77);
    EXPECT_EQ(answer->community, "public");
    ASSERT_EQ(answer->pdu.bindings.size(), 3u);
    EXPECT_EQ(PrintableValue(answer->pdu.bindings[0].value), kInformReplyText);
    EXPECT_EQ(answer->pdu.bindings[1].value.oid, linkDown);
    EXPECT_EQ(answer->pdu.bindings[2].value.integer, 4);

    // An inform without bindings is answered with none.
    Pdu empty;
    empty.type = pdu::kInform;
    empty.requestId = 5;
    const auto bare = decoder.Decode(EncodeCommunityMessage(kVersion2c, "x", empty), nullptr);
    const auto bareAnswer = DecodeCommunityMessage(bare.answer);
    ASSERT_TRUE(bareAnswer);
    EXPECT_TRUE(bareAnswer->pdu.bindings.empty());
}

TEST(NotificationDecoder, OnlyNotificationsOfTheirVersionAreTaken) {
    NotificationDecoder decoder(kEngineId, 1);
    const Oid linkUp{1, 3, 6, 1, 6, 3, 1, 1, 5, 4};
    EXPECT_TRUE(decoder.Decode(V2(pdu::kTrapV2, linkUp, {}), nullptr).notification);
    // A v2 trap PDU in a v1 message, a get and a response are no notifications.
    EXPECT_FALSE(decoder.Decode(V2(pdu::kTrapV2, linkUp, {}, kVersion1), nullptr).notification);
    EXPECT_FALSE(decoder.Decode(V2(pdu::kGet, linkUp, {}), nullptr).notification);
    EXPECT_FALSE(decoder.Decode(V2(pdu::kResponse, linkUp, {}), nullptr).notification);
}

TEST(NotificationDecoder, AnSnmpV3ProbeLearnsThisEngineAndUnknownUsersLearnNothing) {
    NotificationDecoder decoder(kEngineId, 3);
    V3Header header;
    header.msgId = 9;
    header.flags = flags::kReportable;
    ScopedPdu scoped;
    scoped.pdu.type = pdu::kGet;
    scoped.pdu.requestId = 11;
    const auto probe = EncodeV3Message(header, {}, EncodeScopedPdu(scoped));
    const auto d = decoder.Decode(probe.bytes, nullptr);
    EXPECT_FALSE(d.notification);
    const auto report = DecodeV3Message(d.answer);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->usm.engineId, kEngineId);
    EXPECT_EQ(report->usm.boots, 3);
    EXPECT_EQ(report->scoped.pdu.type, pdu::kReport);
    EXPECT_EQ(report->scoped.pdu.requestId, 11);

    UsmParameters usm;
    usm.engineId = kEngineId;
    usm.userName = "stranger";
    scoped.pdu.type = pdu::kInform;
    const auto unknown = EncodeV3Message(header, usm, EncodeScopedPdu(scoped));
    UsmUser user;
    user.name = "labuser";
    const auto none = decoder.Decode(unknown.bytes, &user);
    EXPECT_FALSE(none.notification);
    EXPECT_TRUE(none.answer.empty());
}

// Random damage to valid notifications never crashes the decoder, and whatever it answers is
// no larger than the largest datagram.
TEST(NotificationDecoder, SurvivesRandomDamage) {
    NotificationDecoder decoder(kEngineId, 1);
    const UsmUser user{"labuser", AuthProtocol::Md5, PrivProtocol::Des, "lab-auth-pass",
                       "lab-priv-pass"};
    const Oid linkUp{1, 3, 6, 1, 6, 3, 1, 1, 5, 4};
    const std::vector<std::string> seeds{
        V1Trap(3, 0, {{{1, 3, 6, 1, 2, 1, 2, 2, 1, 1, 7}, Value::Integer(7)}}),
        V2(pdu::kInform, linkUp, {{{1, 3, 6, 1, 2, 1, 2, 2, 1, 1, 7}, Value::Integer(7)}}),
        V2(pdu::kTrapV2, linkUp, {{{1, 3, 6, 1, 2, 1, 2, 2, 1, 1, 7}, Value::OctetString("7")}}),
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
            const auto d = decoder.Decode(bytes, &user);
            ASSERT_LE(d.answer.size(), kMaxMessageSize);
            ASSERT_TRUE(d.fault.empty()) << d.fault;
        }
    }
    // Damage is the sender's; none of it may reach the decoder's own fault path.
    EXPECT_EQ(decoder.Faults(), 0u);
}

}  // namespace
}  // namespace tarvell::snmp
