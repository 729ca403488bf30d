// The node tools' real backends: ICMP echo and SNMPv1 GETs of the system group.
#pragma once

#include <cstdint>

#include "platform/Icmp.h"
#include "platform/snmp/Session.h"
#include "viewer/core/monitors/NodeTools.h"

namespace tarvell::nodetools {

class IcmpEchoBackend : public EchoBackend {
public:
    std::string Open() override { return socket_.Open(); }
    EchoReply Echo(const std::string& target, const std::string& payload, int timeoutMs) override;

private:
    IcmpSocket socket_;
};

// SNMPv1 GETs, one retry each; values are taken by their type only.
class CommunitySnmpBackend : public SnmpBackend {
public:
    explicit CommunitySnmpBackend(std::uint16_t port = 161) : port_(port) {}
    std::string Open(const std::string& target, const std::string& community,
                     int timeoutMs) override;
    GetStatus GetSystemGroup(SystemGroup& out) override;

private:
    std::uint16_t port_;
    snmp::CommunitySession session_;
    snmp::Endpoint endpoint_;
    snmp::Timing timing_;
    std::string community_;
};

// Fills `out` from a GET answer of the six system-group bindings: a binding of another type,
// at another place, or an answer with an error status leaves its field empty.
void ReadSystemGroup(const snmp::Pdu& answer, SystemGroup& out);

}  // namespace tarvell::nodetools
