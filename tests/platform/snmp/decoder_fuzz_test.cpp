// Hundreds of thousands of hostile inputs through every decoder: random bytes, and valid messages
// with bytes flipped, inserted, removed and lengths rewritten. Nothing may crash, hang or read out
// of bounds (the sanitizer build checks the last), and whatever decodes must encode again.
#include <gtest/gtest.h>

#include <random>

#include "platform/snmp/Message.h"
#include "platform/snmp/Usm.h"

namespace tarvell::snmp {
namespace {

std::vector<std::string> Seeds() {
    std::vector<std::string> seeds;
    Pdu p;
    p.type = pdu::kResponse;
    p.requestId = 123456;
    p.bindings = {
        {{1, 3, 6, 1, 2, 1, 1, 1, 0}, Value::OctetString("switch")},
        {{1, 3, 6, 1, 2, 1, 17, 4, 3, 1, 1, 0, 26, 43, 60, 77, 1},
         Value::OctetString("\x00\x1a\x2b\x3c\x4d\x01")},
        {{1, 3, 6, 1, 2, 1, 1, 3, 0}, Value::Unsigned(tag::kTimeTicks, 99)},
        {{1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 6, 1}, Value::Unsigned(tag::kCounter64, 1ull << 40)},
        {{1, 3, 6, 1, 2, 1, 4, 20, 1, 1, 10, 0, 0, 5}, Value::IpAddress({10, 0, 0, 5})},
        {{1, 3, 6, 1, 2, 1, 1, 2, 0}, Value::ObjectId({1, 3, 6, 1, 4, 1, 4294967295u})},
        {{1, 3, 6, 1, 2, 1, 2, 2, 1, 7, 3}, Value::Integer(-5)}};
    seeds.push_back(EncodeCommunityMessage(kVersion1, "public", p));
    TrapV1Pdu trap;
    trap.enterprise = {1, 3, 6, 1, 4, 1, 99999};
    trap.bindings = p.bindings;
    seeds.push_back(EncodeTrapV1Message("public", trap));

    V3Header h;
    h.msgId = 99;
    h.flags = flags::kAuth | flags::kPriv;
    UsmParameters usm;
    usm.engineId = "Tarvell";
    usm.boots = 5;
    usm.time = 77;
    usm.userName = "user";
    usm.authParams.assign(12, 'a');
    usm.privParams.assign(8, 's');
    ScopedPdu scoped{"Tarvell", "public", p};
    seeds.push_back(EncodeV3Message(h, usm, EncodeScopedPdu(scoped)).bytes);
    seeds.push_back(EncodeV3Message(h, usm, EncodeOctetString(std::string(64, 'c'))).bytes);
    seeds.push_back(EncodeScopedPdu(scoped));
    return seeds;
}

void DecodeEverything(std::string_view input) {
    if (auto m = DecodeCommunityMessage(input)) {
        for (const auto& vb : m->isTrapV1 ? m->trap.bindings : m->pdu.bindings) {
            (void)PrintableValue(vb.value);
            (void)EncodeValue(vb.value);
        }
        if (m->isTrapV1) {
            EXPECT_NO_THROW((void)EncodeTrapV1Message(m->community, m->trap));
        } else {
            EXPECT_NO_THROW((void)EncodeCommunityMessage(m->version, m->community, m->pdu));
        }
    }
    if (auto m = DecodeV3Message(input)) {
        EXPECT_LE(m->authParamsOffset + m->usm.authParams.size(), input.size());
        for (const auto& vb : m->scoped.pdu.bindings) (void)PrintableValue(vb.value);
    }
    if (auto s = DecodeScopedPdu(input)) {
        EXPECT_NO_THROW((void)EncodeScopedPdu(*s));
    }
    (void)PeekVersion(input);
    // Ciphertext is hostile too.
    (void)DecryptScopedPdu(PrivProtocol::Des, std::string(16, 'k'), input.substr(0, 8), input);
}

std::string Mutate(std::string s, std::mt19937& rng) {
    std::uniform_int_distribution<int> op(0, 5);
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits && !s.empty(); ++e) {
        const std::size_t pos = rng() % s.size();
        switch (op(rng)) {
            case 0: s[pos] = static_cast<char>(rng()); break;
            case 1: s[pos] = static_cast<char>(s[pos] ^ (1 << (rng() % 8))); break;
            case 2: s.insert(pos, 1, static_cast<char>(rng())); break;
            case 3: s.erase(pos, 1 + rng() % 4); break;
            case 4:
                s[pos] = static_cast<char>(0x80 | (rng() % 6));
                break;  // long-form length bytes
            case 5: s.resize(pos); break;
        }
    }
    return s;
}

TEST(DecoderFuzz, MutatedMessagesNeverCrash) {
    std::mt19937 rng(20240607);
    const auto seeds = Seeds();
    for (const auto& s : seeds) ASSERT_FALSE(s.empty());
    ASSERT_TRUE(DecodeCommunityMessage(seeds[0]));
    ASSERT_TRUE(DecodeV3Message(seeds[2]));
    for (int i = 0; i < 300000; ++i) DecodeEverything(Mutate(seeds[i % seeds.size()], rng));
}

TEST(DecoderFuzz, RandomBytesNeverCrash) {
    std::mt19937 rng(77);
    for (int i = 0; i < 200000; ++i) {
        std::string s(rng() % 96, '\0');
        for (char& c : s) c = static_cast<char>(rng());
        // Give half of them a plausible outer header so the decoders get past the first byte.
        if (i % 2 && s.size() > 2) {
            s[0] = 0x30;
            s[1] = static_cast<char>(s.size() - 2);
        }
        DecodeEverything(s);
    }
}

}  // namespace
}  // namespace tarvell::snmp
