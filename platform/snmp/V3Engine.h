// The local SNMPv3 engine: its identity (engine id, boots, time), the USM user's keys and what it
// has learnt of remote engines (engine id discovery and time synchronisation, RFC 3414 section 4).
//
// One instance serves many threads at once. A mutex guards the key cache and the table of remote
// engines; it is never held while waiting for the network.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/snmp/Session.h"
#include "platform/snmp/Usm.h"

namespace tarvell::snmp {

struct UsmUser {
    std::string name;
    AuthProtocol auth = AuthProtocol::None;
    PrivProtocol priv = PrivProtocol::None;
    std::string authPassword;
    std::string privPassword;

    bool operator==(const UsmUser&) const = default;
};

struct V3Params {
    UsmUser user;
    SecurityLevel level = SecurityLevel::NoAuthNoPriv;
    std::string contextName;
    // Empty: the authoritative engine's id (the agent's for requests, ours for traps).
    std::string contextEngineId;
};

// The numeric protocol and level codes that settings hold: 1 none, 2 MD5, 3 SHA; 1 none, 2 DES,
// 3 3DES; 1 noAuthNoPriv, 2 authNoPriv, 3 authPriv. Any other code is the first of each list.
AuthProtocol AuthProtocolOfCode(std::uint32_t code);
PrivProtocol PrivProtocolOfCode(std::uint32_t code);
SecurityLevel SecurityLevelOfCode(std::uint32_t code);

// Report OIDs of RFC 3414 (usmStats...).
namespace usm_stats {
inline const Oid kUnsupportedSecLevels{1, 3, 6, 1, 6, 3, 15, 1, 1, 1, 0};
inline const Oid kNotInTimeWindows{1, 3, 6, 1, 6, 3, 15, 1, 1, 2, 0};
inline const Oid kUnknownUserNames{1, 3, 6, 1, 6, 3, 15, 1, 1, 3, 0};
inline const Oid kUnknownEngineIds{1, 3, 6, 1, 6, 3, 15, 1, 1, 4, 0};
inline const Oid kWrongDigests{1, 3, 6, 1, 6, 3, 15, 1, 1, 5, 0};
inline const Oid kDecryptionErrors{1, 3, 6, 1, 6, 3, 15, 1, 1, 6, 0};
}  // namespace usm_stats

// Why an SNMPv3 request got no usable answer, in words for a log line: "no answer", "unknown
// user", "wrong digest", "not decryptable", ...; empty for Status::Ok.
std::string FailureReason(const Reply& reply);

class V3Engine {
public:
    V3Engine(std::string engineId, std::uint32_t boots);

    const std::string& EngineId() const { return engineId_; }
    std::uint32_t Boots() const { return boots_; }
    // Seconds since the engine was made.
    std::int32_t EngineTime() const;

    // A request to an agent (the authoritative engine). Discovers the agent's engine id on first
    // contact, follows one unknown-engine-id and one not-in-time-window report, and returns any
    // other report as Status::Report. An answer to this request whose digest our key does not
    // reproduce ends it at once with Status::AuthFailure (the agent signed a report with the key
    // it has, so ours is wrong). A GetBulk goes with no non-repeaters and `maxRepetitions`.
    // `channel`, when given, carries the exchange (one socket for a series of requests).
    // `timing.cancel` ends every wait of it, discovery included, with Status::Cancelled.
    Reply Request(const Endpoint& endpoint, const Timing& timing, const V3Params& params,
                  std::uint8_t pduType, std::vector<VarBind> bindings,
                  std::int32_t maxRepetitions = 0, UdpChannel* channel = nullptr);
    // An SNMPv2 trap PDU with `bindings` (sysUpTime.0 and snmpTrapOID.0 first), sent once with
    // this engine as the authoritative one.
    bool SendTrap(const Endpoint& endpoint, const V3Params& params, std::vector<VarBind> bindings);

    // The engine id learnt for an agent, if any (for tests and diagnostics).
    std::optional<std::string> KnownEngineId(const Endpoint& endpoint) const;

private:
    struct Keys {
        std::string auth;
        std::string priv;
    };
    struct Remote {
        std::string engineId;
        std::int32_t boots = 0;
        std::int32_t time = 0;        // the agent's time at syncedAt
        std::int32_t latestTime = 0;  // latest time received
        std::chrono::steady_clock::time_point syncedAt;
        // The clock came from an authenticated message. Until then boots and time are only the
        // discovery report's word and the first authenticated message replaces them.
        bool synced = false;
    };
    struct Outgoing {
        std::string bytes;
        std::int32_t msgId = 0;
    };
    enum class Kind { Rejected, Response, Report, AuthFailure };
    struct Incoming {
        Kind kind = Kind::Rejected;
        UsmParameters usm;
        bool authenticated = false;
        Pdu pdu;
    };

    std::optional<Keys> KeysFor(const V3Params& params, const std::string& engineId);
    std::optional<Outgoing> Build(const V3Params& params, const Keys& keys, UsmParameters usm,
                                  ScopedPdu scoped, bool reportable);
    Incoming Parse(std::string_view datagram, std::int32_t msgId, std::int32_t requestId,
                   const V3Params& params, const std::string& addressedEngine);
    std::optional<Remote> Discover(const Endpoint& endpoint, const Timing& timing, Status& status,
                                   UdpChannel* channel);
    std::optional<Remote> LookupRemote(const std::string& key) const;
    void StoreRemote(const std::string& key, const Remote& remote);
    bool CheckTimeliness(const std::string& key, const UsmParameters& usm);
    // Takes what a usmStatsUnknownEngineIDs or usmStatsNotInTimeWindows report says of the agent.
    static bool LearnFromReport(Remote& remote, const UsmParameters& usm, bool authenticated);

    const std::string engineId_;
    const std::uint32_t boots_;
    const std::chrono::steady_clock::time_point start_;
    RequestIds msgIds_;
    RequestIds requestIds_;
    std::atomic<std::uint32_t> salt_;

    mutable std::mutex mutex_;
    UsmUser keyedUser_;  // the user the key caches belong to
    std::string authKu_;
    std::string privKu_;
    std::map<std::string, Keys> keysByEngine_;
    std::map<std::string, Remote> remotes_;
};

}  // namespace tarvell::snmp
