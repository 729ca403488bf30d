// Decoding of the datagrams that arrive at a notification receiver: SNMPv1 traps, SNMPv2c traps
// and informs, SNMPv3 traps (the sender's engine is authoritative, so any sender engine id is
// taken with the configured user's keys localised to it) and SNMPv3 informs (this engine is
// authoritative: engine id discovery and time-window reports are answered).
//
// Every datagram is untrusted. Decode never throws: anything malformed, unauthenticated where
// the user asks for authentication, or undecryptable yields no notification and no answer. An
// answer is produced only for an inform that was accepted (its response) and for a request from
// a sender that must first learn this engine's id or clock (a report), so that nothing is
// reflected to a sender that could not have written the datagram. A failure inside the decoder
// itself (not the sender's fault) is returned in `fault` and counted; reporting it is the
// caller's.
//
// Not thread-safe: one receiving thread owns a decoder.
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

namespace tarvell::snmp {

// The text of binding 0 in the answer to an inform.
inline constexpr const char* kInformReplyText = "This is the response.";

struct Notification {
    std::int32_t version = 0;  // 0 v1, 1 v2c, 3 v3
    std::uint8_t pduType = 0;  // kTrapV1, kTrapV2 or kInform
    std::int32_t errorStatus = 0;
    Oid notifyId;  // v1 traps mapped as RFC 3584 does
    std::vector<VarBind> bindings;
};

struct DecodedDatagram {
    std::optional<Notification> notification;
    std::string answer;  // bytes to send back to the sender; empty: none
    std::string fault;   // what went wrong inside the decoder (a fault of ours, not the sender's)
};

class NotificationDecoder {
public:
    // `engineId` and `boots` identify this engine to SNMPv3 inform senders.
    NotificationDecoder(std::string engineId, std::uint32_t boots);

    // `user`: the one SNMPv3 user notifications are taken from; null: no SNMPv3 notification is
    // taken (a sender is still told this engine's id).
    DecodedDatagram Decode(std::string_view datagram, const UsmUser* user);

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
    DecodedDatagram DecodeV3(std::string_view datagram, const UsmUser* user);
    std::optional<Keys> KeysFor(const UsmUser& user, const std::string& engineId);
    std::string Report(const V3Message& request, std::int32_t requestId, const Oid& counter,
                       bool authenticated, const UsmUser& user, const Keys* keys);
    std::string BuildV3(std::int32_t msgId, std::uint8_t level, const UsmUser& user,
                        const Keys& keys, ScopedPdu scoped);

    const std::string engineId_;
    const std::uint32_t boots_;
    const std::chrono::steady_clock::time_point start_;
    std::uint32_t salt_;
    std::uint32_t counter_ = 0;  // reports sent, for the usmStats counters' values
    std::uint64_t faults_ = 0;

    UsmUser keyedUser_;
    std::string authKu_;
    std::string privKu_;
    std::map<std::string, Keys> keysByEngine_;
};

}  // namespace tarvell::snmp
