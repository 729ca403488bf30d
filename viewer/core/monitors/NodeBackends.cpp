#include "viewer/core/monitors/NodeBackends.h"

namespace tarvell::nodetools {

EchoReply IcmpEchoBackend::Echo(const std::string& target, const std::string& payload,
                                int timeoutMs) {
    const IcmpEchoReply r = socket_.Echo(target, payload, timeoutMs);
    return EchoReply{r.answered, r.from, r.data, r.ms};
}

std::string CommunitySnmpBackend::Open(const std::string& target, const std::string& community,
                                       int timeoutMs) {
    auto endpoint = snmp::ParseEndpoint(target, port_);
    if (!endpoint || endpoint->Family() != AF_INET) return "not an IPv4 address";
    endpoint_ = *endpoint;
    timing_ = snmp::MakeTiming(timeoutMs, 1);
    community_ = community;
    return {};
}

GetStatus CommunitySnmpBackend::GetSystemGroup(SystemGroup& out) {
    std::vector<snmp::VarBind> bindings;
    for (const char* oid : kSystemGroupOids)
        bindings.push_back({*snmp::ParseOid(oid), snmp::Value::Null()});
    const snmp::Reply reply = session_.Request(endpoint_, timing_, 0 /* version 1 */, community_,
                                               snmp::pdu::kGet, std::move(bindings));
    if (reply.status != snmp::Status::Ok) return GetStatus::TimedOut;
    ReadSystemGroup(reply.pdu, out);
    return GetStatus::Answered;
}

void ReadSystemGroup(const snmp::Pdu& answer, SystemGroup& out) {
    out = SystemGroup{};
    if (answer.errorStatus != 0) return;
    auto at = [&](std::size_t i, std::uint8_t type) -> const snmp::Value* {
        if (i >= answer.bindings.size()) return nullptr;
        const auto& b = answer.bindings[i];
        if (b.value.type != type || snmp::OidToText(b.oid) != kSystemGroupOids[i]) return nullptr;
        return &b.value;
    };
    if (auto v = at(0, snmp::tag::kOctetString)) out.description = v->raw;
    if (auto v = at(1, snmp::tag::kOid)) out.objectId = snmp::OidToText(v->oid);
    if (auto v = at(2, snmp::tag::kTimeTicks))
        out.uptimeTicks = static_cast<std::uint32_t>(v->number);
    if (auto v = at(3, snmp::tag::kOctetString)) out.contact = v->raw;
    if (auto v = at(4, snmp::tag::kOctetString)) out.name = v->raw;
    if (auto v = at(5, snmp::tag::kOctetString)) out.location = v->raw;
}

}  // namespace tarvell::nodetools
