#include "platform/snmp/Message.h"

namespace tarvell::snmp {

namespace {

std::int32_t ReadNonNegative(BerReader& r) {
    const std::int32_t v = r.ReadInt32();
    if (v < 0) throw BerError("negative value");
    return v;
}

std::string ReadBounded(BerReader& r, std::size_t maxSize) {
    const std::string_view s = r.ReadOctetString();
    if (s.size() > maxSize) throw BerError("field too long");
    return std::string(s);
}

std::string EncodeV3HeaderData(const V3Header& h) {
    std::string content = EncodeInteger(h.msgId);
    content += EncodeInteger(h.maxSize);
    content += EncodeOctetString(std::string_view(reinterpret_cast<const char*>(&h.flags), 1));
    content += EncodeInteger(h.securityModel);
    return EncodeTlv(tag::kSequence, content);
}

ScopedPdu ReadScopedPdu(BerReader& reader) {
    BerReader r = reader.EnterConstructed(tag::kSequence);
    ScopedPdu scoped;
    scoped.contextEngineId = ReadBounded(r, kMaxEngineIdSize);
    scoped.contextName = ReadBounded(r, 255);
    scoped.pdu = ReadPdu(r);
    r.ExpectEnd();
    return scoped;
}

UsmParameters ReadUsmParameters(std::string_view bytes, std::string_view whole,
                                std::size_t& authOffset) {
    BerReader outer(bytes, 2);
    BerReader r = outer.EnterConstructed(tag::kSequence);
    outer.ExpectEnd();
    UsmParameters usm;
    usm.engineId = ReadBounded(r, kMaxEngineIdSize);
    usm.boots = ReadNonNegative(r);
    usm.time = ReadNonNegative(r);
    usm.userName = ReadBounded(r, kMaxUserNameSize);
    const std::string_view auth = r.ReadOctetString();
    if (auth.size() > 64) throw BerError("authentication parameters too long");
    usm.authParams = std::string(auth);
    authOffset = static_cast<std::size_t>(auth.data() - whole.data());
    usm.privParams = ReadBounded(r, 64);
    r.ExpectEnd();
    return usm;
}

}  // namespace

// ---- community messages ----------------------------------------------------------------------

std::string EncodeCommunityMessage(std::int32_t version, std::string_view community, const Pdu& p) {
    std::string content = EncodeInteger(version);
    content += EncodeOctetString(community);
    content += EncodePdu(p);
    return EncodeTlv(tag::kSequence, content);
}

std::string EncodeTrapV1Message(std::string_view community, const TrapV1Pdu& trap) {
    std::string content = EncodeInteger(kVersion1);
    content += EncodeOctetString(community);
    content += EncodeTrapV1Pdu(trap);
    return EncodeTlv(tag::kSequence, content);
}

std::optional<std::int32_t> PeekVersion(std::string_view bytes) {
    try {
        BerReader outer(bytes);
        BerReader r = outer.EnterConstructed(tag::kSequence);
        return r.ReadInt32();
    } catch (const BerError&) {
        return std::nullopt;
    }
}

std::optional<CommunityMessage> DecodeCommunityMessage(std::string_view bytes) {
    try {
        BerReader outer(bytes);
        BerReader r = outer.EnterConstructed(tag::kSequence);
        outer.ExpectEnd();
        CommunityMessage m;
        m.version = r.ReadInt32();
        if (m.version != kVersion1 && m.version != kVersion2c) return std::nullopt;
        m.community = std::string(r.ReadOctetString());
        if (r.PeekTag() == pdu::kTrapV1) {
            if (m.version != kVersion1) return std::nullopt;
            m.isTrapV1 = true;
            m.trap = ReadTrapV1Pdu(r);
        } else {
            m.pdu = ReadPdu(r);
        }
        r.ExpectEnd();
        return m;
    } catch (const BerError&) {
        return std::nullopt;
    }
}

// ---- SNMPv3 ----------------------------------------------------------------------------------

std::string EncodeScopedPdu(const ScopedPdu& scoped) {
    std::string content = EncodeOctetString(scoped.contextEngineId);
    content += EncodeOctetString(scoped.contextName);
    content += EncodePdu(scoped.pdu);
    return EncodeTlv(tag::kSequence, content);
}

EncodedV3 EncodeV3Message(const V3Header& header, const UsmParameters& usm,
                          std::string_view msgData) {
    // USM parameters, noting where the authentication parameters' content starts.
    std::string usmContent = EncodeOctetString(usm.engineId);
    usmContent += EncodeInteger(usm.boots);
    usmContent += EncodeInteger(usm.time);
    usmContent += EncodeOctetString(usm.userName);
    const std::size_t authInUsmContent = usmContent.size() + TlvHeaderSize(usm.authParams.size());
    usmContent += EncodeOctetString(usm.authParams);
    usmContent += EncodeOctetString(usm.privParams);
    const std::string usmSequence = EncodeTlv(tag::kSequence, usmContent);
    const std::size_t authInUsm = TlvHeaderSize(usmContent.size()) + authInUsmContent;

    std::string content = EncodeInteger(kVersion3);
    content += EncodeV3HeaderData(header);
    const std::size_t authInContent =
        content.size() + TlvHeaderSize(usmSequence.size()) + authInUsm;
    content += EncodeOctetString(usmSequence);
    content += msgData;

    EncodedV3 encoded;
    encoded.authParamsOffset = TlvHeaderSize(content.size()) + authInContent;
    encoded.bytes = EncodeTlv(tag::kSequence, content);
    return encoded;
}

std::optional<V3Message> DecodeV3Message(std::string_view bytes) {
    try {
        BerReader outer(bytes);
        BerReader r = outer.EnterConstructed(tag::kSequence);
        outer.ExpectEnd();
        if (r.ReadInt32() != kVersion3) return std::nullopt;
        V3Message m;
        {
            BerReader h = r.EnterConstructed(tag::kSequence);
            m.header.msgId = ReadNonNegative(h);
            m.header.maxSize = ReadNonNegative(h);
            const std::string_view f = h.ReadOctetString();
            if (f.size() != 1) return std::nullopt;
            m.header.flags = static_cast<std::uint8_t>(f[0]);
            m.header.securityModel = h.ReadInt32();
            h.ExpectEnd();
        }
        if (m.header.securityModel != kUsmSecurityModel) return std::nullopt;
        m.usm = ReadUsmParameters(r.ReadOctetString(), bytes, m.authParamsOffset);
        if (r.PeekTag() == tag::kOctetString) {
            m.encrypted = true;
            m.encryptedPdu = std::string(r.ReadOctetString());
        } else {
            m.scoped = ReadScopedPdu(r);
        }
        r.ExpectEnd();
        return m;
    } catch (const BerError&) {
        return std::nullopt;
    }
}

std::optional<ScopedPdu> DecodeScopedPdu(std::string_view bytes) {
    try {
        BerReader r(bytes, 1);
        return ReadScopedPdu(r);
    } catch (const BerError&) {
        return std::nullopt;
    }
}

}  // namespace tarvell::snmp
