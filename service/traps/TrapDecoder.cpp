#include "service/traps/TrapDecoder.h"

#include <algorithm>

#include "platform/snmp/Usm.h"

namespace tarvell {

namespace {

using SteadyClock = std::chrono::steady_clock;

// 1.3.6.1.6.3.1.1.4.1.0 snmpTrapOID.0
const snmp::Oid kSnmpTrapOid{1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};
// 1.3.6.1.6.3.1.1.5 snmpTraps: the standard notifications, coldStart(1) .. egpNeighborLoss(6)
const snmp::Oid kStandardTraps{1, 3, 6, 1, 6, 3, 1, 1, 5};

constexpr std::int32_t kTimeWindow = 150;
constexpr std::size_t kMaxCachedEngines = 1024;

// RFC 3584 3.1: a v1 trap's notification id.
snmp::Oid NotifyIdOfV1(const snmp::TrapV1Pdu& trap) {
    if (trap.genericTrap >= 0 && trap.genericTrap < 6) {
        snmp::Oid id = kStandardTraps;
        id.push_back(static_cast<std::uint32_t>(trap.genericTrap) + 1);
        return id;
    }
    snmp::Oid id = trap.enterprise;
    id.push_back(0);
    id.push_back(static_cast<std::uint32_t>(std::max(trap.specificTrap, 0)));
    return id;
}

// The value of snmpTrapOID.0 among a v2 notification's bindings; empty when absent.
snmp::Oid NotifyIdOfV2(const std::vector<snmp::VarBind>& bindings) {
    for (const snmp::VarBind& b : bindings)
        if (b.oid == kSnmpTrapOid && b.value.type == snmp::tag::kOid) return b.value.oid;
    return {};
}

// The response to an inform: its bindings echoed, binding 0 carrying the reply text.
snmp::Pdu InformResponse(const snmp::Pdu& inform) {
    snmp::Pdu response;
    response.type = snmp::pdu::kResponse;
    response.requestId = inform.requestId;
    response.bindings = inform.bindings;
    if (!response.bindings.empty())
        response.bindings.front().value = snmp::Value::OctetString(kInformReplyText);
    return response;
}

bool IsNotification(std::uint8_t type) {
    return type == snmp::pdu::kTrapV2 || type == snmp::pdu::kInform;
}

}  // namespace

TrapDecoder::TrapDecoder(std::string engineId, std::uint32_t boots)
    : engineId_(std::move(engineId)),
      boots_(std::min<std::uint32_t>(boots, 2147483647u)),
      start_(SteadyClock::now()),
      salt_(snmp::RandomUint32()) {}

std::int32_t TrapDecoder::EngineTime() const {
    const auto s =
        std::chrono::duration_cast<std::chrono::seconds>(SteadyClock::now() - start_).count();
    return static_cast<std::int32_t>(std::min<long long>(s, 2147483647));
}

DecodedDatagram TrapDecoder::Decode(std::string_view datagram, const TrapUser& user) {
    if (datagram.size() > snmp::kMaxMessageSize) return {};
    const auto version = snmp::PeekVersion(datagram);
    if (!version) return {};
    try {
        if (*version == snmp::kVersion1 || *version == snmp::kVersion2c)
            return DecodeCommunity(datagram);
        if (*version == snmp::kVersion3) return DecodeV3(datagram, user);
    } catch (const std::exception& e) {
        // The platform decoders do not throw; this keeps a fault in them from ending the
        // listener, and the caller reports it.
        ++faults_;
        DecodedDatagram failed;
        failed.fault = e.what();
        if (failed.fault.empty()) failed.fault = "decoder fault";
        return failed;
    }
    return {};
}

DecodedDatagram TrapDecoder::DecodeCommunity(std::string_view datagram) {
    auto message = snmp::DecodeCommunityMessage(datagram);
    if (!message) return {};
    DecodedDatagram out;
    Notification n;
    n.version = message->version;
    if (message->isTrapV1) {
        if (message->version != snmp::kVersion1) return {};
        n.pduType = snmp::pdu::kTrapV1;
        n.notifyId = NotifyIdOfV1(message->trap);
        n.bindings = std::move(message->trap.bindings);
        out.notification = std::move(n);
        return out;
    }
    // v2 notifications exist only from v2c on.
    if (message->version != snmp::kVersion2c || !IsNotification(message->pdu.type)) return {};
    if (message->pdu.type == snmp::pdu::kInform) {
        try {
            out.answer = snmp::EncodeCommunityMessage(message->version, message->community,
                                                      InformResponse(message->pdu));
        } catch (const snmp::BerError&) {
            out.answer.clear();
        }
        if (out.answer.size() > snmp::kMaxMessageSize) out.answer.clear();
    }
    n.pduType = message->pdu.type;
    n.errorStatus = message->pdu.errorStatus;
    n.notifyId = NotifyIdOfV2(message->pdu.bindings);
    n.bindings = std::move(message->pdu.bindings);
    out.notification = std::move(n);
    return out;
}

std::optional<TrapDecoder::Keys> TrapDecoder::KeysFor(const snmp::UsmUser& user,
                                                      const std::string& engineId) {
    if (!(user == keyedUser_)) {
        keyedUser_ = user;
        authKu_.clear();
        privKu_.clear();
        keysByEngine_.clear();
    }
    if (const auto it = keysByEngine_.find(engineId); it != keysByEngine_.end()) return it->second;
    if (user.auth == snmp::AuthProtocol::None || user.authPassword.empty()) return std::nullopt;
    if (authKu_.empty()) authKu_ = snmp::PasswordToKey(user.auth, user.authPassword);
    if (privKu_.empty() && user.priv != snmp::PrivProtocol::None && !user.privPassword.empty())
        privKu_ = snmp::PasswordToKey(user.auth, user.privPassword);
    Keys keys;
    keys.auth = snmp::LocalizeKey(user.auth, authKu_, engineId);
    if (!privKu_.empty())
        keys.priv = snmp::LocalizePrivKey(user.auth, user.priv, privKu_, engineId);
    if (keys.auth.empty()) return std::nullopt;
    if (keysByEngine_.size() >= kMaxCachedEngines) keysByEngine_.clear();
    keysByEngine_[engineId] = keys;
    return keys;
}

std::string TrapDecoder::BuildV3(std::int32_t msgId, std::uint8_t level, const snmp::UsmUser& user,
                                 const Keys& keys, snmp::ScopedPdu scoped) {
    try {
        snmp::V3Header header;
        header.msgId = msgId;
        header.flags = level;
        snmp::UsmParameters usm;
        usm.engineId = engineId_;
        usm.boots = static_cast<std::int32_t>(boots_);
        usm.time = EngineTime();
        usm.userName = user.name;
        std::string msgData = snmp::EncodeScopedPdu(scoped);
        if (level & snmp::flags::kPriv) {
            auto encrypted = snmp::EncryptScopedPdu(user.priv, keys.priv, boots_, salt_++, msgData);
            if (!encrypted) return {};
            usm.privParams = std::move(encrypted->privParams);
            msgData = snmp::EncodeOctetString(encrypted->ciphertext);
        }
        if (level & snmp::flags::kAuth) usm.authParams.assign(snmp::kAuthParamsSize, '\0');
        snmp::EncodedV3 encoded = snmp::EncodeV3Message(header, usm, msgData);
        if (encoded.bytes.size() > snmp::kMaxMessageSize) return {};
        if (level & snmp::flags::kAuth) {
            const std::string digest = snmp::AuthDigest(user.auth, keys.auth, encoded.bytes);
            if (digest.size() != snmp::kAuthParamsSize) return {};
            encoded.bytes.replace(encoded.authParamsOffset, snmp::kAuthParamsSize, digest);
        }
        return std::move(encoded.bytes);
    } catch (const snmp::BerError&) {
        return {};
    }
}

// A report of one usmStats counter (RFC 3414 3.2), for a reportable request. Unauthenticated,
// except for the time-window report, which the sender accepts only when it is authenticated.
std::string TrapDecoder::Report(const snmp::V3Message& request, std::int32_t requestId,
                                const snmp::Oid& counter, bool authenticated,
                                const snmp::UsmUser& user, const Keys* keys) {
    if (!(request.header.flags & snmp::flags::kReportable)) return {};
    snmp::ScopedPdu scoped;
    scoped.contextEngineId = engineId_;
    scoped.pdu.type = snmp::pdu::kReport;
    scoped.pdu.requestId = requestId;
    scoped.pdu.bindings.push_back(
        {counter, snmp::Value::Unsigned(snmp::tag::kCounter32, ++counter_)});
    static const snmp::UsmUser kNobody;
    if (authenticated && keys)
        return BuildV3(request.header.msgId, snmp::flags::kAuth, user, *keys, std::move(scoped));
    return BuildV3(request.header.msgId, 0, kNobody, Keys{}, std::move(scoped));
}

DecodedDatagram TrapDecoder::DecodeV3(std::string_view datagram, const TrapUser& user) {
    auto msg = snmp::DecodeV3Message(datagram);
    if (!msg || msg->header.securityModel != snmp::kUsmSecurityModel) return {};
    const std::uint8_t level = msg->header.flags & (snmp::flags::kAuth | snmp::flags::kPriv);
    if (level == snmp::flags::kPriv) return {};
    const bool ours = msg->usm.engineId == engineId_;
    DecodedDatagram out;

    // Engine id discovery: a sender that does not know this engine yet (an inform's sender).
    if (msg->usm.engineId.empty()) {
        out.answer = Report(*msg, msg->encrypted ? 0 : msg->scoped.pdu.requestId,
                            snmp::usm_stats::kUnknownEngineIds, false, {}, nullptr);
        return out;
    }
    if (!user.enabled || msg->usm.userName != user.user.name) return {};
    const snmp::UsmUser& u = user.user;
    const bool userAuth = u.auth != snmp::AuthProtocol::None && !u.authPassword.empty();
    const bool userPriv = userAuth && u.priv != snmp::PrivProtocol::None && !u.privPassword.empty();
    if ((level & snmp::flags::kAuth) && !userAuth) return {};
    if ((level & snmp::flags::kPriv) && !userPriv) return {};

    std::optional<Keys> keys;
    if (level & snmp::flags::kAuth) {
        keys = KeysFor(u, msg->usm.engineId);
        if (!keys || msg->usm.authParams.size() != snmp::kAuthParamsSize ||
            msg->authParamsOffset + snmp::kAuthParamsSize > datagram.size()) {
            return {};
        }
        std::string zeroed(datagram);
        zeroed.replace(msg->authParamsOffset, snmp::kAuthParamsSize, snmp::kAuthParamsSize, '\0');
        if (!snmp::AuthDigestMatches(u.auth, keys->auth, zeroed, msg->usm.authParams)) return {};
    }
    // RFC 3414 3.2.7: this engine is authoritative for an inform addressed to it, and one
    // outside its time window is refused with a report the sender can trust. For a trap the
    // sender is authoritative.
    const std::int32_t now = EngineTime();
    const bool inWindow = msg->usm.boots == static_cast<std::int32_t>(boots_) &&
                          msg->usm.time >= now - kTimeWindow && msg->usm.time <= now + kTimeWindow;

    snmp::ScopedPdu scoped;
    if (msg->encrypted) {
        if (!(level & snmp::flags::kPriv) || !keys || keys->priv.empty()) return {};
        auto plain =
            snmp::DecryptScopedPdu(u.priv, keys->priv, msg->usm.privParams, msg->encryptedPdu);
        if (!plain) return {};
        auto decoded = snmp::DecodeScopedPdu(*plain);
        if (!decoded) return {};
        scoped = std::move(*decoded);
    } else {
        if (level & snmp::flags::kPriv) return {};
        scoped = std::move(msg->scoped);
    }
    if (!IsNotification(scoped.pdu.type)) return {};
    // An inform goes to the engine that receives it; one addressed to another engine is
    // answered only with this engine's id.
    if (scoped.pdu.type == snmp::pdu::kInform && !ours) {
        out.answer = Report(*msg, scoped.pdu.requestId, snmp::usm_stats::kUnknownEngineIds, false,
                            {}, nullptr);
        return out;
    }
    if (scoped.pdu.type == snmp::pdu::kInform && (level & snmp::flags::kAuth) && !inWindow) {
        out.answer =
            Report(*msg, scoped.pdu.requestId, snmp::usm_stats::kNotInTimeWindows, true, u, &*keys);
        return out;
    }
    if (scoped.pdu.type == snmp::pdu::kInform) {
        snmp::ScopedPdu response;
        response.contextEngineId = scoped.contextEngineId;
        response.contextName = scoped.contextName;
        response.pdu = InformResponse(scoped.pdu);
        out.answer =
            BuildV3(msg->header.msgId, level, u, keys ? *keys : Keys{}, std::move(response));
    }
    Notification n;
    n.version = snmp::kVersion3;
    n.pduType = scoped.pdu.type;
    n.errorStatus = scoped.pdu.errorStatus;
    n.notifyId = NotifyIdOfV2(scoped.pdu.bindings);
    n.bindings = std::move(scoped.pdu.bindings);
    out.notification = std::move(n);
    return out;
}

}  // namespace tarvell
