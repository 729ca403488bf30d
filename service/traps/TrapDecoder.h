// Decoding of the datagrams that arrive at the trap port: SNMPv1 traps, SNMPv2c traps and
// informs, SNMPv3 traps (the sender's engine is authoritative, so any sender engine id is taken
// with the configured user's keys localised to it) and SNMPv3 informs (this engine is
// authoritative: engine id discovery and time-window reports are answered).
//
// Every datagram is untrusted. Decode never throws: anything malformed, unauthenticated where
// the user asks for authentication, or undecryptable yields no notification and no answer. An
// answer is produced only for an inform that was accepted (its response) and for a request from
// a sender that must first learn this engine's id or clock (a report), so that nothing is
// reflected to a sender that could not have written the datagram.
//
// Not thread-safe: one listener thread owns a decoder.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/snmp/Message.h"
#include "platform/snmp/Pdu.h"
#include "platform/snmp/V3Engine.h"

namespace tarvell {

// The text of binding 0 in the answer to an inform.
inline constexpr const char* kInformReplyText = "This is the response.";

struct TrapUser {
    bool enabled = false;  // SnmpV3Enabled: without it no SNMPv3 notification is taken
    snmp::UsmUser user;
};

struct Notification {
    std::int32_t version = 0;  // 0 v1, 1 v2c, 3 v3
    std::uint8_t pduType = 0;  // kTrapV1, kTrapV2 or kInform
    std::int32_t errorStatus = 0;
    snmp::Oid notifyId;  // v1 traps mapped as RFC 3584 does
    std::vector<snmp::VarBind> bindings;
};

struct DecodedDatagram {
    std::optional<Notification> notification;
    std::string answer;  // bytes to send back to the sender; empty: none
    std::string fault;   // what went wrong inside the decoder (a fault of ours, not the sender's)
};

class TrapDecoder {
public:
    // `engineId` and `boots` identify this engine to SNMPv3 inform senders.
    TrapDecoder(std::string engineId, std::uint32_t boots);

    DecodedDatagram Decode(std::string_view datagram, const TrapUser& user);

    const std::string& EngineId() const { return engineId_; }
    std::int32_t EngineTime() const;
    // Datagrams dropped because decoding them failed inside the decoder.
    std::uint64_t Faults() const { return faults_; }

private:
    struct Keys {
        std::string auth;
        std::string priv;
    };
    DecodedDatagram DecodeCommunity(std::string_view datagram);
    DecodedDatagram DecodeV3(std::string_view datagram, const TrapUser& user);
    std::optional<Keys> KeysFor(const snmp::UsmUser& user, const std::string& engineId);
    std::string Report(const snmp::V3Message& request, std::int32_t requestId,
                       const snmp::Oid& counter, bool authenticated, const snmp::UsmUser& user,
                       const Keys* keys);
    std::string BuildV3(std::int32_t msgId, std::uint8_t level, const snmp::UsmUser& user,
                        const Keys& keys, snmp::ScopedPdu scoped);

    const std::string engineId_;
    const std::uint32_t boots_;
    const std::chrono::steady_clock::time_point start_;
    std::uint32_t salt_;
    std::uint32_t counter_ = 0;  // reports sent, for the usmStats counters' values
    std::uint64_t faults_ = 0;

    snmp::UsmUser keyedUser_;
    std::string authKu_;
    std::string privKu_;
    std::map<std::string, Keys> keysByEngine_;
};

}  // namespace tarvell
