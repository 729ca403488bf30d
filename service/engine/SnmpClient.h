// The service's gateway for outgoing SNMP: get, get-next (table walks), typed set and traps, over
// SNMPv1 or, for the community marker "SNMP/V3", over SNMPv3 with the configured USM user.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/snmp/Pdu.h"
#include "platform/snmp/Session.h"

namespace tarvell {

namespace snmp {
class V3Engine;
}

// One OID and its value, as callers pass them in arrays of one to three entries.
struct SnmpOidEntry {
    static constexpr std::size_t kTextSize = 1408;
    char oid[kTextSize];     // dotted decimal, no leading dot; zero-terminated
    char value[kTextSize];   // value text; zero-terminated
};
static_assert(sizeof(SnmpOidEntry) == 2816);

// The settings the client reads, copied from the settings document by the caller's source.
struct SnmpClientSettings {
    std::uint32_t SnmpTimeout = 1000;       // milliseconds; callers pass it to Request and Set
    std::uint32_t SnmpRetries = 1;          // callers pass it to Request and Set
    std::uint32_t SnmpV3SecurityModel = 0;  // 3 = USM, the only model there is
    std::uint32_t SnmpV3SecurityLevel = 0;  // 1 noAuthNoPriv, 2 authNoPriv, 3 authPriv
    std::uint32_t SnmpV3AuthProtocol = 0;   // 1 none, 2 MD5, 3 SHA
    std::uint32_t SnmpV3PrivProtocol = 0;   // 1 none, 2 DES, 3 3DES
    std::string SnmpV3Context;
    std::string SnmpV3User;
    std::string SnmpV3PrivPassword;
    std::string SnmpV3AuthPassword;
    std::string SnmpV3EngineId;             // context engine id as hex digits; empty = the agent's
    std::uint32_t SnmpTrapSpecific = 0;
    std::string SnmpTrapEnterprise;
};

struct SnmpClientOptions {
    std::string bootCounterPath = "snmpv3_boot_counter";
    std::uint16_t agentPort = 161;
    std::uint16_t trapPort = 162;
};

class SnmpClient {
public:
    enum Operation { kGet = 0, kGetNext = 1, kTrap = 2 };
    static constexpr const char* kV3Marker = "SNMP/V3";
    static constexpr const char* kLocalEngineId = "Tarvell";

    explicit SnmpClient(std::function<SnmpClientSettings()> settings,
                        SnmpClientOptions options = {});
    virtual ~SnmpClient();
    SnmpClient(const SnmpClient&) = delete;
    SnmpClient& operator=(const SnmpClient&) = delete;

    // Get, get-next or trap with `count` entries in one PDU. 1 when the answer's last binding
    // was accepted (for a trap: when it was sent), else 0. Get-next accepts a binding only when
    // it lies after the requested OID and within its first `prefixLen` components (0: no
    // check), and then advances the entry, so that callers walk a table by repeating the call
    // until it gives 0. `answer`, when given, receives the answer's bindings with their raw
    // bytes. `v3Context`, when given, is the SNMPv3 context name of this request in place of the
    // configured one (per-VLAN bridge data); SNMPv1 requests ignore it.
    int Request(int operation, const std::string& address, const std::string& community,
                std::uint32_t timeoutMs, std::uint32_t retries, int count, int prefixLen,
                SnmpOidEntry* entries, std::vector<snmp::VarBind>* answer = nullptr,
                const std::string* v3Context = nullptr);

    // Reads the object with the read community, builds the entry's value text in the type the
    // agent answered with and writes it with the write community. 1 when written.
    int Set(const std::string& address, const std::string& readCommunity,
            const std::string& writeCommunity, std::uint32_t timeoutMs, std::uint32_t retries,
            SnmpOidEntry* entry);

    // The local SNMPv3 engine's boots; 0 before the first SNMPv3 use or when it failed.
    std::uint32_t EngineBoots() const;

private:
    struct Call;

    bool Prepare(Call& call, const std::string& address, const std::string& community,
                 std::uint32_t timeoutMs, std::uint32_t retries, std::uint16_t port, bool v3,
                 bool trap);
    int Trap(Call& call, int count, SnmpOidEntry* entries);
    snmp::Reply Send(Call& call, std::uint8_t pduType, std::vector<snmp::VarBind> bindings);
    std::shared_ptr<snmp::V3Engine> Engine();

    std::function<SnmpClientSettings()> settings_;
    const SnmpClientOptions options_;
    snmp::CommunitySession community_;
    std::chrono::steady_clock::time_point start_;

    mutable std::mutex engineMutex_;
    std::shared_ptr<snmp::V3Engine> engine_;   // built on first SNMPv3 use, then kept
};

}  // namespace tarvell
