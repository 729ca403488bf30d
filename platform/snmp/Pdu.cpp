#include "platform/snmp/Pdu.h"

namespace tarvell::snmp {

namespace {

bool IsUnsignedType(std::uint8_t t) {
    return t == tag::kCounter32 || t == tag::kGauge32 || t == tag::kTimeTicks ||
           t == tag::kUInteger32 || t == tag::kCounter64;
}

bool IsPrintable(std::string_view bytes) {
    for (char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        if (b < 0x20 || b > 0x7E) return false;
    }
    return true;
}

std::string DottedQuad(std::string_view raw) {
    std::string text;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (i) text.push_back('.');
        text += std::to_string(static_cast<std::uint8_t>(raw[i]));
    }
    return text;
}

// Content octets of an encoded TLV that we produced ourselves.
std::string ContentOf(const std::string& tlv) {
    BerReader r(tlv);
    return std::string(r.ReadTlv().content);
}

}  // namespace

// ---- values ----------------------------------------------------------------------------------

Value Value::Null() { return Value{}; }

Value Value::Integer(std::int64_t v) {
    Value value;
    value.type = tag::kInteger;
    value.integer = v;
    value.raw = ContentOf(EncodeInteger(v));
    return value;
}

Value Value::Unsigned(std::uint8_t type, std::uint64_t v) {
    Value value;
    value.type = type;
    value.number = type == tag::kCounter64 ? v : (v & 0xFFFFFFFFull);
    value.raw = ContentOf(EncodeUnsigned(value.number, type));
    return value;
}

Value Value::OctetString(std::string_view bytes) {
    Value value;
    value.type = tag::kOctetString;
    value.raw = std::string(bytes);
    return value;
}

Value Value::IpAddress(const std::array<std::uint8_t, 4>& address) {
    Value value;
    value.type = tag::kIpAddress;
    value.raw.assign(reinterpret_cast<const char*>(address.data()), address.size());
    return value;
}

Value Value::ObjectId(const Oid& oid) {
    Value value;
    value.type = tag::kOid;
    value.oid = oid;
    value.raw = ContentOf(EncodeOid(oid));
    return value;
}

bool Value::IsException() const {
    return type == tag::kNoSuchObject || type == tag::kNoSuchInstance || type == tag::kEndOfMibView;
}

std::string HexUpper(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        text.push_back(kDigits[b >> 4]);
        text.push_back(kDigits[b & 0x0F]);
    }
    return text;
}

std::string PrintableValue(const Value& value) {
    switch (value.type) {
        case tag::kInteger: return std::to_string(value.integer);
        case tag::kOid: return OidToText(value.oid);
        case tag::kIpAddress: return DottedQuad(value.raw);
        case tag::kNull: return {};
        case tag::kNoSuchObject: return "noSuchObject";
        case tag::kNoSuchInstance: return "noSuchInstance";
        case tag::kEndOfMibView: return "endOfMibView";
        case tag::kOctetString: return IsPrintable(value.raw) ? value.raw : HexUpper(value.raw);
        default:
            if (IsUnsignedType(value.type)) return std::to_string(value.number);
            return HexUpper(value.raw);
    }
}

// ---- encoding --------------------------------------------------------------------------------

std::string EncodeValue(const Value& value) {
    switch (value.type) {
        case tag::kInteger: return EncodeInteger(value.integer);
        case tag::kOid: return EncodeOid(value.oid);
        case tag::kNull:
        case tag::kNoSuchObject:
        case tag::kNoSuchInstance:
        case tag::kEndOfMibView: return EncodeNull(value.type);
        default:
            if (IsUnsignedType(value.type)) return EncodeUnsigned(value.number, value.type);
            return EncodeOctetString(value.raw, value.type);
    }
}

std::string EncodeVarBindList(const std::vector<VarBind>& bindings) {
    std::string list;
    for (const VarBind& vb : bindings) {
        std::string content = EncodeOid(vb.oid);
        content += EncodeValue(vb.value);
        AppendTlv(list, tag::kSequence, content);
    }
    return EncodeTlv(tag::kSequence, list);
}

std::string EncodePdu(const Pdu& p) {
    std::string content = EncodeInteger(p.requestId);
    content += EncodeInteger(p.errorStatus);
    content += EncodeInteger(p.errorIndex);
    content += EncodeVarBindList(p.bindings);
    return EncodeTlv(p.type, content);
}

std::string EncodeTrapV1Pdu(const TrapV1Pdu& trap) {
    std::string content = EncodeOid(trap.enterprise);
    content += EncodeOctetString(
        std::string_view(reinterpret_cast<const char*>(trap.agentAddress.data()), 4),
        tag::kIpAddress);
    content += EncodeInteger(trap.genericTrap);
    content += EncodeInteger(trap.specificTrap);
    content += EncodeUnsigned(trap.timeStamp, tag::kTimeTicks);
    content += EncodeVarBindList(trap.bindings);
    return EncodeTlv(pdu::kTrapV1, content);
}

// ---- decoding --------------------------------------------------------------------------------

bool IsPduTag(std::uint8_t tagByte) { return tagByte >= pdu::kGet && tagByte <= pdu::kReport; }

Value DecodeValue(const Tlv& tlv) {
    Value value;
    value.type = tlv.tagByte;
    value.raw = std::string(tlv.content);
    switch (tlv.tagByte) {
        case tag::kInteger: value.integer = DecodeSigned(tlv.content); break;
        case tag::kOid: value.oid = DecodeOid(tlv.content); break;
        case tag::kIpAddress:
            if (tlv.content.size() != 4) throw BerError("IpAddress not 4 bytes");
            break;
        case tag::kNull:
        case tag::kNoSuchObject:
        case tag::kNoSuchInstance:
        case tag::kEndOfMibView:
            if (!tlv.content.empty()) throw BerError("NULL with content");
            break;
        case tag::kCounter64: value.number = DecodeUnsigned(tlv.content, 64); break;
        case tag::kOctetString:
        case tag::kOpaque: break;
        default:
            if (IsUnsignedType(tlv.tagByte)) {
                value.number = DecodeUnsigned(tlv.content, 32);
            } else if ((tlv.tagByte & 0x20) != 0) {
                throw BerError("constructed value");
            }
            // Other primitive application types are kept as their bytes.
            break;
    }
    return value;
}

std::vector<VarBind> ReadVarBindList(BerReader& reader) {
    BerReader list = reader.EnterConstructed(tag::kSequence);
    std::vector<VarBind> bindings;
    while (!list.AtEnd()) {
        if (bindings.size() >= kMaxVarBinds) throw BerError("too many variable bindings");
        BerReader vb = list.EnterConstructed(tag::kSequence);
        VarBind binding;
        binding.oid = vb.ReadOid();
        binding.value = DecodeValue(vb.ReadTlv());
        vb.ExpectEnd();
        bindings.push_back(std::move(binding));
    }
    return bindings;
}

Pdu ReadPdu(BerReader& reader) {
    const std::uint8_t type = reader.PeekTag();
    if (!IsPduTag(type) || type == pdu::kTrapV1) throw BerError("not a PDU");
    BerReader body = reader.EnterConstructed(type);
    Pdu p;
    p.type = type;
    p.requestId = body.ReadInt32();
    p.errorStatus = body.ReadInt32();
    p.errorIndex = body.ReadInt32();
    p.bindings = ReadVarBindList(body);
    body.ExpectEnd();
    return p;
}

TrapV1Pdu ReadTrapV1Pdu(BerReader& reader) {
    BerReader body = reader.EnterConstructed(pdu::kTrapV1);
    TrapV1Pdu trap;
    trap.enterprise = body.ReadOid();
    const std::string_view address = body.ReadOctetString(tag::kIpAddress);
    if (address.size() != 4) throw BerError("agent address not 4 bytes");
    for (std::size_t i = 0; i < 4; ++i)
        trap.agentAddress[i] = static_cast<std::uint8_t>(address[i]);
    trap.genericTrap = body.ReadInt32();
    trap.specificTrap = body.ReadInt32();
    trap.timeStamp =
        static_cast<std::uint32_t>(DecodeUnsigned(body.ReadContent(tag::kTimeTicks), 32));
    trap.bindings = ReadVarBindList(body);
    body.ExpectEnd();
    return trap;
}

}  // namespace tarvell::snmp
