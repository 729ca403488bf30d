#include <gtest/gtest.h>

#include "platform/snmp/Ber.h"
#include "platform/snmp/Message.h"
#include "platform/snmp/Pdu.h"

namespace tarvell::snmp {
namespace {

std::string Hex(std::string_view bytes) { return HexUpper(bytes); }

std::string FromHex(std::string_view hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return out;
}

TEST(Ber, IntegersUseTheShortestTwosComplement) {
    EXPECT_EQ(Hex(EncodeInteger(0)), "020100");
    EXPECT_EQ(Hex(EncodeInteger(127)), "02017F");
    EXPECT_EQ(Hex(EncodeInteger(128)), "02020080");
    EXPECT_EQ(Hex(EncodeInteger(-1)), "0201FF");
    EXPECT_EQ(Hex(EncodeInteger(-128)), "020180");
    EXPECT_EQ(Hex(EncodeInteger(-129)), "0202FF7F");
    EXPECT_EQ(Hex(EncodeInteger(-2147483648LL)), "020480000000");
    EXPECT_EQ(Hex(EncodeInteger(INT64_MIN)), "02088000000000000000");
    for (std::int64_t v : std::initializer_list<std::int64_t>{
             0, 1, -1, 255, -256, 2147483647, -2147483648LL, INT64_MAX, INT64_MIN}) {
        const std::string encoded = EncodeInteger(v);
        BerReader r(encoded);
        EXPECT_EQ(r.ReadInteger(), v);
        EXPECT_TRUE(r.AtEnd());
    }
}

TEST(Ber, UnsignedValuesKeepTheirTopBitAndCounter64Reaches2To64) {
    EXPECT_EQ(Hex(EncodeUnsigned(0, tag::kGauge32)), "420100");
    EXPECT_EQ(Hex(EncodeUnsigned(4294967295u, tag::kCounter32)), "410500FFFFFFFF");
    EXPECT_EQ(Hex(EncodeUnsigned(UINT64_MAX, tag::kCounter64)), "460900FFFFFFFFFFFFFFFF");
    EXPECT_EQ(DecodeUnsigned(FromHex("00FFFFFFFFFFFFFFFF"), 64), UINT64_MAX);
    // A counter that a broken agent sent as a negative number reads as its 32-bit pattern.
    EXPECT_EQ(DecodeUnsigned(FromHex("FF"), 32), 4294967295u);
    EXPECT_EQ(DecodeUnsigned(FromHex("80000000"), 32), 2147483648u);
    EXPECT_THROW(DecodeUnsigned(FromHex("0100000000"), 32), BerError);  // 2^32
    EXPECT_THROW(DecodeUnsigned(FromHex("010000000000000000"), 64), BerError);
    EXPECT_THROW(DecodeUnsigned("", 32), BerError);
}

TEST(Ber, LongLengthsRoundTripAndAreBoundedByTheInput) {
    const std::string content(300, 'x');
    const std::string tlv = EncodeOctetString(content);
    EXPECT_EQ(Hex(tlv.substr(0, 4)), "0482012C");
    BerReader r(tlv);
    EXPECT_EQ(r.ReadOctetString(), content);

    // Non-minimal long form, as some agents send it, is accepted.
    const std::string longFormBytes = FromHex("04820003616263");
    BerReader longForm(longFormBytes);
    EXPECT_EQ(longForm.ReadOctetString(), "abc");

    for (const char* bad : {"04", "0405616263", "0480", "0485000000000161", "048401000000",
                            "1F0100", "3003020100FF"}) {
        const std::string bytes = FromHex(bad);
        BerReader b(bytes);
        EXPECT_THROW(
            {
                b.ReadTlv();
                b.ExpectEnd();
            },
            BerError)
            << bad;
    }
}

TEST(Ber, OidsWithLargeSubIdentifiersAndManyArcs) {
    const Oid big{1, 3, 6, 1, 4, 1, 4294967295u, 0};
    const std::string encoded = EncodeOid(big);
    EXPECT_EQ(Hex(encoded),
              "060B2B06010401"
              "8FFFFFFF7F"
              "00");
    EXPECT_EQ(DecodeOid(encoded.substr(2)), big);
    EXPECT_EQ(OidToText(big), "1.3.6.1.4.1.4294967295.0");

    Oid longOid{1, 3};
    for (int i = 0; i < 500; ++i) longOid.push_back(static_cast<std::uint32_t>(i * 1000003u));
    const std::string longEncoded = EncodeOid(longOid);
    BerReader r(longEncoded);
    EXPECT_EQ(r.ReadOid(), longOid);

    EXPECT_EQ(DecodeOid(FromHex("8837")), (Oid{2, 999}));
    EXPECT_THROW(DecodeOid(FromHex("2B0690")), BerError);        // ends inside a sub-id
    EXPECT_THROW(DecodeOid(FromHex("2B8001")), BerError);        // leading 0x80
    EXPECT_THROW(DecodeOid(FromHex("2B9080808000")), BerError);  // above 2^32-1
    EXPECT_THROW(DecodeOid(""), BerError);
}

TEST(Ber, OidTextIsStrict) {
    EXPECT_EQ(ParseOid(".1.3.6.1"), (Oid{1, 3, 6, 1}));
    EXPECT_EQ(ParseOid("1.3.6.1.4.1.4294967295"), (Oid{1, 3, 6, 1, 4, 1, 4294967295u}));
    for (const char* bad : {"", ".", "1", "1..3", "1.3.", "1.3.6.x", "3.1", "1.40",
                            "1.3.4294967296", " 1.3", "1.3.-6"}) {
        EXPECT_FALSE(ParseOid(bad)) << bad;
    }
    EXPECT_THROW(EncodeOid({1}), BerError);
}

TEST(Ber, NestingDepthIsBounded) {
    std::string nested = EncodeNull();
    for (int i = 0; i < 12; ++i) nested = EncodeTlv(tag::kSequence, nested);
    BerReader r(nested);
    EXPECT_THROW(
        {
            BerReader cur = r.EnterConstructed(tag::kSequence);
            for (;;) cur = cur.EnterConstructed(tag::kSequence);
        },
        BerError);
}

TEST(PrintableValue, RendersTheTextFormsCallersRelyOn) {
    EXPECT_EQ(PrintableValue(Value::Integer(-2147483648LL)), "-2147483648");
    EXPECT_EQ(PrintableValue(Value::Unsigned(tag::kTimeTicks, 123456)), "123456");
    EXPECT_EQ(PrintableValue(Value::Unsigned(tag::kCounter32, 4294967295u)), "4294967295");
    EXPECT_EQ(PrintableValue(Value::Unsigned(tag::kCounter64, UINT64_MAX)), "18446744073709551615");
    EXPECT_EQ(PrintableValue(Value::OctetString("port 1")), "port 1");
    EXPECT_EQ(PrintableValue(Value::OctetString("")), "");
    EXPECT_EQ(PrintableValue(Value::OctetString(FromHex("001A2B3C4D5E"))), "001A2B3C4D5E");
    EXPECT_EQ(PrintableValue(Value::OctetString("tab\there")), "7461620968657265");
    EXPECT_EQ(PrintableValue(Value::OctetString("caf\xe9")), "636166E9");
    EXPECT_EQ(PrintableValue(Value::IpAddress({10, 0, 0, 5})), "10.0.0.5");
    EXPECT_EQ(PrintableValue(Value::ObjectId({1, 3, 6, 1, 4, 1, 99999})), "1.3.6.1.4.1.99999");
    EXPECT_EQ(PrintableValue(Value::Null()), "");
}

TEST(Pdu, CommunityMessageRoundTripKeepsRawValueBytes) {
    Pdu p;
    p.type = pdu::kResponse;
    p.requestId = 0x7FFFFFFF;
    p.bindings = {
        {{1, 3, 6, 1, 2, 1, 17, 4, 3, 1, 1, 65, 66, 67, 68, 69, 70}, Value::OctetString("ABCDEF")},
        {{1, 3, 6, 1, 2, 1, 1, 3, 0}, Value::Unsigned(tag::kTimeTicks, 42)},
        {{1, 3, 6, 1, 2, 1, 4, 20, 1, 1, 10, 0, 0, 5}, Value::IpAddress({10, 0, 0, 5})},
        {{1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 6, 1}, Value::Unsigned(tag::kCounter64, UINT64_MAX)}};
    const auto decoded = DecodeCommunityMessage(EncodeCommunityMessage(kVersion1, "public@20", p));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->community, "public@20");
    EXPECT_EQ(decoded->pdu.requestId, 0x7FFFFFFF);
    ASSERT_EQ(decoded->pdu.bindings.size(), 4u);
    EXPECT_EQ(decoded->pdu.bindings[0].value.raw, "ABCDEF");
    EXPECT_EQ(PrintableValue(decoded->pdu.bindings[0].value), "ABCDEF");
    EXPECT_EQ(decoded->pdu.bindings[1].value.number, 42u);
    EXPECT_EQ(decoded->pdu.bindings[2].value.raw, std::string("\x0a\x00\x00\x05", 4));
    EXPECT_EQ(decoded->pdu.bindings[3].value.number, UINT64_MAX);
}

TEST(Pdu, MalformedMessagesAreRefused) {
    Pdu p;
    p.type = pdu::kResponse;
    p.bindings = {{{1, 3, 6, 1}, Value::Integer(5)}};
    const std::string good = EncodeCommunityMessage(kVersion1, "public", p);
    ASSERT_TRUE(DecodeCommunityMessage(good));
    EXPECT_FALSE(DecodeCommunityMessage(good + std::string(1, '\0')));  // trailing byte
    for (std::size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(DecodeCommunityMessage(good.substr(0, n)));
    std::string oversized = good;
    oversized[1] = static_cast<char>(oversized[1] + 1);  // claims one byte more
    EXPECT_FALSE(DecodeCommunityMessage(oversized));
    // An IpAddress of 3 bytes inside an otherwise sound message.
    Pdu q = p;
    q.bindings[0].value.type = tag::kIpAddress;
    q.bindings[0].value.raw = "abc";
    EXPECT_FALSE(DecodeCommunityMessage(EncodeCommunityMessage(kVersion1, "public", q)));
    EXPECT_FALSE(
        DecodeCommunityMessage(EncodeCommunityMessage(2, "public", p)));  // no such version
}

TEST(Pdu, TrapV1RoundTrip) {
    TrapV1Pdu trap;
    trap.enterprise = {1, 3, 6, 1, 4, 1, 99999};
    trap.agentAddress = {127, 0, 0, 1};
    trap.specificTrap = 2;
    trap.timeStamp = 4242;
    trap.bindings = {{{1, 3, 6, 1, 4, 1, 99999, 2}, Value::OctetString("10.0.0.1/port 3: test")}};
    const auto decoded = DecodeCommunityMessage(EncodeTrapV1Message("public", trap));
    ASSERT_TRUE(decoded && decoded->isTrapV1);
    EXPECT_EQ(decoded->trap.enterprise, trap.enterprise);
    EXPECT_EQ(decoded->trap.genericTrap, 6);
    EXPECT_EQ(decoded->trap.specificTrap, 2);
    EXPECT_EQ(decoded->trap.timeStamp, 4242u);
    EXPECT_EQ(decoded->trap.bindings[0].value.raw, "10.0.0.1/port 3: test");
}

TEST(V3Message, AuthParameterOffsetPointsAtTheDigestBytes) {
    V3Header h;
    h.msgId = 77;
    h.flags = flags::kAuth | flags::kReportable;
    UsmParameters usm;
    usm.engineId = std::string(200 / 8, 'E');
    usm.boots = 3;
    usm.time = 1000;
    usm.userName = "user";
    usm.authParams = "ABCDEFGHIJKL";
    ScopedPdu scoped;
    scoped.contextEngineId = usm.engineId;
    scoped.contextName = "public";
    scoped.pdu.bindings.assign(
        20, VarBind{{1, 3, 6, 1, 2, 1, 1, 1, 0}, Value::OctetString(std::string(40, 'v'))});
    const EncodedV3 enc = EncodeV3Message(h, usm, EncodeScopedPdu(scoped));
    EXPECT_EQ(enc.bytes.substr(enc.authParamsOffset, 12), "ABCDEFGHIJKL");
    const auto decoded = DecodeV3Message(enc.bytes);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->authParamsOffset, enc.authParamsOffset);
    EXPECT_EQ(decoded->usm.userName, "user");
    EXPECT_EQ(decoded->scoped.contextName, "public");
    EXPECT_EQ(decoded->scoped.pdu.bindings.size(), 20u);
    EXPECT_FALSE(decoded->encrypted);
}

}  // namespace
}  // namespace tarvell::snmp
