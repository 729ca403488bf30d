// The service's gateway for outgoing SNMP: get, get-next (table walks), typed set and traps, over
// SNMPv1 or, for the community marker "SNMP/V3", over SNMPv3 with the configured USM user.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/ManualResetEvent.h"
#include "platform/snmp/Pdu.h"
#include "platform/snmp/Session.h"
#include "platform/snmp/Walk.h"

namespace tarvell {

namespace snmp {
class V3Engine;
}

// One OID and its value, as callers pass them in arrays of one to three entries.
struct SnmpOidEntry {
    static constexpr std::size_t kTextSize = 1408;
    char oid[kTextSize];    // dotted decimal, no leading dot; zero-terminated
    char value[kTextSize];  // value text; zero-terminated
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
    std::string SnmpV3EngineId;  // context engine id as hex digits; empty = the agent's
    std::uint32_t SnmpTrapSpecific = 0;
    std::string SnmpTrapEnterprise;
};

// The context engine id's bytes from its text: hexadecimal digits in pairs, at most
// snmp::kMaxEngineIdSize bytes, after an optional "0x", blanks and ":" skipped; nullopt for any
// other text (SNMPv3 is then not used).
std::optional<std::string> EngineIdBytes(const std::string& text);

struct SnmpWalkOptions {
    // Stop at a row whose last binding does not come after the one before; otherwise rows out of
    // order are taken and the walk stops at a last binding already seen.
    bool ordered = true;
    std::size_t maxRows = 100'000;
    std::function<bool()> stop;
    // SNMPv3 context name of this walk in place of the configured one (per-VLAN bridge data).
    std::string v3Context;
    // Get-next only, even where GetBulk would be used.
    bool getNextOnly = false;
};

struct SnmpWalkResult {
    snmp::WalkEnd end = snmp::WalkEnd::Done;
    bool v3 = false;
    bool bulk = false;  // GetBulk carried the walk to its end
    std::size_t rows = 0;
    std::size_t requests = 0;
    std::string reason;  // why it failed, for a log line ("no answer", "unknown user", ...)
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
    static constexpr std::int32_t kMaxRepetitions = 16;

    // Requests to one agent over one socket, for a poll's many walks. SNMPv3 walks use GetBulk
    // until the agent refuses it; it is then walked with get-next until the service restarts.
    class Session {
    public:
        ~Session();
        Session(const Session&) = delete;
        Session& operator=(const Session&) = delete;

        // Walks `columns` (dotted OIDs) side by side, each within its own subtree; `onRow` gets
        // each row, one binding per column.
        SnmpWalkResult Walk(const std::string& community, const std::vector<std::string>& columns,
                            const std::function<void(const snmp::WalkRow&)>& onRow,
                            const SnmpWalkOptions& options = {});

    private:
        friend class SnmpClient;
        struct State;
        explicit Session(std::unique_ptr<State> state);
        std::unique_ptr<State> state_;
    };

    // A session with the agent at `address` (port 161 or the configured one); nullptr when the
    // address is not an IP address or no socket can be had. `stop` (may be null; it must outlive
    // the session) ends every wait of the session's requests at once when it is set; the walk
    // then ends as WalkEnd::Stopped.
    std::unique_ptr<Session> Open(const std::string& address, std::uint32_t timeoutMs,
                                  std::uint32_t retries, const ManualResetEvent* stop = nullptr);
    // One walk in a session of its own.
    SnmpWalkResult Walk(const std::string& address, const std::string& community,
                        std::uint32_t timeoutMs, std::uint32_t retries,
                        const std::vector<std::string>& columns,
                        const std::function<void(const snmp::WalkRow&)>& onRow,
                        const SnmpWalkOptions& options = {});
    // Whether the agent at `address` refused GetBulk since the client was made.
    bool RefusedBulk(const std::string& address) const;

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
    // agent answered with and writes it with the write community. 1 when written. `stop` (may
    // be null) ends the set at once when it is set, before or during either request: 0, and
    // nothing is written unless the write had already gone out.
    int Set(const std::string& address, const std::string& readCommunity,
            const std::string& writeCommunity, std::uint32_t timeoutMs, std::uint32_t retries,
            SnmpOidEntry* entry, const ManualResetEvent* stop = nullptr);

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

    mutable std::mutex bulkMutex_;
    std::set<std::string> refusedBulk_;  // [bulkMutex_] addresses; bounded

    mutable std::mutex engineMutex_;
    std::shared_ptr<snmp::V3Engine> engine_;  // built on first SNMPv3 use, then kept
};

}  // namespace tarvell
