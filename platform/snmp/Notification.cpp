#include "platform/snmp/Notification.h"

#include <algorithm>

#include "platform/snmp/Usm.h"

namespace tarvell::snmp {

namespace {

using SteadyClock = std::chrono::steady_clock;

// 1.3.6.1.6.3.1.1.4.1.0 snmpTrapOID.0
const Oid kSnmpTrapOid{1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};
// 1.3.6.1.6.3.1.1.5 snmpTraps: the standard notifications, coldStart(1) .. egpNeighborLoss(6)
const Oid kStandardTraps{1, 3, 6, 1, 6, 3, 1, 1, 5};

constexpr std::int32_t kTimeWindow = 150;
constexpr std::size_t kMaxCachedEngines = 1024;

// RFC 3584 3.1: a v1 trap's notification id.
Oid NotifyIdOfV1(const TrapV1Pdu& trap) {
    if (trap.genericTrap >= 0 && trap.genericTrap < 6) {
        Oid id = kStandardTraps;
        id.push_back(static_cast<std::uint32_t>(trap.genericTrap) + 1);
        return id;
    }
    Oid id = trap.enterprise;
    id.push_back(0);
    id.push_back(static_cast<std::uint32_t>(std::max(trap.specificTrap, 0)));
    return id;
}

// The value of snmpTrapOID.0 among a v2 notification's bindings; empty when absent.
Oid NotifyIdOfV2(const std::vector<VarBind>& bindings) {
    for (const VarBind& b : bindings)
        if (b.oid == kSnmpTrapOid && b.value.type == tag::kOid) return b.value.oid;
    return {};
}

// The response to an inform: its bindings echoed, binding 0 carrying the reply text.
Pdu InformResponse(const Pdu& inform) {
    Pdu response;
    response.type = pdu::kResponse;
    response.requestId = inform.requestId;
    response.bindings = inform.bindings;
    if (!response.bindings.empty())
        response.bindings.front().value = Value::OctetString(kInformReplyText);
    return response;
}

bool IsNotification(std::uint8_t type) { return type == pdu::kTrapV2 || type == pdu::kInform; }

}  // namespace

NotificationDecoder::NotificationDecoder(std::string engineId, std::uint32_t boots)
    : engineId_(std::move(engineId)),
      boots_(std::min<std::uint32_t>(boots, 2147483647u)),
      start_(SteadyClock::now()),
      salt_(RandomUint32()) {}

std::int32_t NotificationDecoder::EngineTime() const {
    const auto s =
        std::chrono::duration_cast<std::chrono::seconds>(SteadyClock::now() - start_).count();
    return static_cast<std::int32_t>(std::min<long long>(s, 2147483647));
}

DecodedDatagram NotificationDecoder::Decode(std::string_view datagram, const UsmUser* user) {
    if (datagram.size() > kMaxMessageSize) return {};
    const auto version = PeekVersion(datagram);
    if (!version) return {};
    try {
        if (*version == kVersion1 || *version == kVersion2c) return DecodeCommunity(datagram);
        if (*version == kVersion3) return DecodeV3(datagram, user);
    } catch (const std::exception& e) {
        // The message decoders do not throw; this keeps a fault in them from ending the
        // receiver, and the caller reports it.
        ++faults_;
        DecodedDatagram failed;
        failed.fault = e.what();
        if (failed.fault.empty()) failed.fault = "decoder fault";
        return failed;
    }
    return {};
}

DecodedDatagram NotificationDecoder::DecodeCommunity(std::string_view datagram) {
    auto message = DecodeCommunityMessage(datagram);
    if (!message) return {};
    DecodedDatagram out;
    Notification n;
    n.version = message->version;
    if (message->isTrapV1) {
        if (message->version != kVersion1) return {};
        n.pduType = pdu::kTrapV1;
        n.notifyId = NotifyIdOfV1(message->trap);
        n.bindings = std::move(message->trap.bindings);
        out.notification = std::move(n);
        return out;
    }
    // v2 notifications exist only from v2c on.
    if (message->version != kVersion2c || !IsNotification(message->pdu.type)) return {};
    if (message->pdu.type == pdu::kInform) {
        try {
            out.answer = EncodeCommunityMessage(message->version, message->community,
                                                InformResponse(message->pdu));
        } catch (const BerError&) {
            out.answer.clear();
        }
        if (out.answer.size() > kMaxMessageSize) out.answer.clear();
    }
    n.pduType = message->pdu.type;
    n.errorStatus = message->pdu.errorStatus;
    n.notifyId = NotifyIdOfV2(message->pdu.bindings);
    n.bindings = std::move(message->pdu.bindings);
    out.notification = std::move(n);
    return out;
}

std::optional<NotificationDecoder::Keys> NotificationDecoder::KeysFor(const UsmUser& user,
                                                                      const std::string& engineId) {
    if (!(user == keyedUser_)) {
        keyedUser_ = user;
        authKu_.clear();
        privKu_.clear();
        keysByEngine_.clear();
    }
    if (const auto it = keysByEngine_.find(engineId); it != keysByEngine_.end()) return it->second;
    if (user.auth == AuthProtocol::None || user.authPassword.empty()) return std::nullopt;
    if (authKu_.empty()) authKu_ = PasswordToKey(user.auth, user.authPassword);
    if (privKu_.empty() && user.priv != PrivProtocol::None && !user.privPassword.empty())
        privKu_ = PasswordToKey(user.auth, user.privPassword);
    Keys keys;
    keys.auth = LocalizeKey(user.auth, authKu_, engineId);
    if (!privKu_.empty()) keys.priv = LocalizePrivKey(user.auth, user.priv, privKu_, engineId);
    if (keys.auth.empty()) return std::nullopt;
    if (keysByEngine_.size() >= kMaxCachedEngines) keysByEngine_.clear();
    keysByEngine_[engineId] = keys;
    return keys;
}

std::string NotificationDecoder::BuildV3(std::int32_t msgId, std::uint8_t level,
                                         const UsmUser& user, const Keys& keys, ScopedPdu scoped) {
    try {
        V3Header header;
        header.msgId = msgId;
        header.flags = level;
        UsmParameters usm;
        usm.engineId = engineId_;
        usm.boots = static_cast<std::int32_t>(boots_);
        usm.time = EngineTime();
        usm.userName = user.name;
        std::string msgData = EncodeScopedPdu(scoped);
        if (level & flags::kPriv) {
            auto encrypted = EncryptScopedPdu(user.priv, keys.priv, boots_, salt_++, msgData);
            if (!encrypted) return {};
            usm.privParams = std::move(encrypted->privParams);
            msgData = EncodeOctetString(encrypted->ciphertext);
        }
        if (level & flags::kAuth) usm.authParams.assign(kAuthParamsSize, '\0');
        EncodedV3 encoded = EncodeV3Message(header, usm, msgData);
        if (encoded.bytes.size() > kMaxMessageSize) return {};
        if (level & flags::kAuth) {
            const std::string digest = AuthDigest(user.auth, keys.auth, encoded.bytes);
            if (digest.size() != kAuthParamsSize) return {};
            encoded.bytes.replace(encoded.authParamsOffset, kAuthParamsSize, digest);
        }
        return std::move(encoded.bytes);
    } catch (const BerError&) {
        return {};
    }
}

// A report of one usmStats counter (RFC 3414 3.2), for a reportable request. Unauthenticated,
// except for the time-window report, which the sender accepts only when it is authenticated.
std::string NotificationDecoder::Report(const V3Message& request, std::int32_t requestId,
                                        const Oid& counter, bool authenticated, const UsmUser& user,
                                        const Keys* keys) {
    if (!(request.header.flags & flags::kReportable)) return {};
    ScopedPdu scoped;
    scoped.contextEngineId = engineId_;
    scoped.pdu.type = pdu::kReport;
    scoped.pdu.requestId = requestId;
    scoped.pdu.bindings.push_back({counter, Value::Unsigned(tag::kCounter32, ++counter_)});
    static const UsmUser kNobody;
    if (authenticated && keys)
        return BuildV3(request.header.msgId, flags::kAuth, user, *keys, std::move(scoped));
    return BuildV3(request.header.msgId, 0, kNobody, Keys{}, std::move(scoped));
}

DecodedDatagram NotificationDecoder::DecodeV3(std::string_view datagram, const UsmUser* user) {
    auto msg = DecodeV3Message(datagram);
    if (!msg || msg->header.securityModel != kUsmSecurityModel) return {};
    const std::uint8_t level = msg->header.flags & (flags::kAuth | flags::kPriv);
    if (level == flags::kPriv) return {};
    const bool ours = msg->usm.engineId == engineId_;
    DecodedDatagram out;

    // Engine id discovery: a sender that does not know this engine yet (an inform's sender).
    if (msg->usm.engineId.empty()) {
        out.answer = Report(*msg, msg->encrypted ? 0 : msg->scoped.pdu.requestId,
                            usm_stats::kUnknownEngineIds, false, {}, nullptr);
        return out;
    }
    if (!user || msg->usm.userName != user->name) return {};
    const UsmUser& u = *user;
    const bool userAuth = u.auth != AuthProtocol::None && !u.authPassword.empty();
    const bool userPriv = userAuth && u.priv != PrivProtocol::None && !u.privPassword.empty();
    if ((level & flags::kAuth) && !userAuth) return {};
    if ((level & flags::kPriv) && !userPriv) return {};

    std::optional<Keys> keys;
    if (level & flags::kAuth) {
        keys = KeysFor(u, msg->usm.engineId);
        if (!keys || msg->usm.authParams.size() != kAuthParamsSize ||
            msg->authParamsOffset + kAuthParamsSize > datagram.size()) {
            return {};
        }
        std::string zeroed(datagram);
        zeroed.replace(msg->authParamsOffset, kAuthParamsSize, kAuthParamsSize, '\0');
        if (!AuthDigestMatches(u.auth, keys->auth, zeroed, msg->usm.authParams)) return {};
    }
    // RFC 3414 3.2.7: this engine is authoritative for an inform addressed to it, and one
    // outside its time window is refused with a report the sender can trust. For a trap the
    // sender is authoritative.
    const std::int32_t now = EngineTime();
    const bool inWindow = msg->usm.boots == static_cast<std::int32_t>(boots_) &&
                          msg->usm.time >= now - kTimeWindow && msg->usm.time <= now + kTimeWindow;

    ScopedPdu scoped;
    if (msg->encrypted) {
        if (!(level & flags::kPriv) || !keys || keys->priv.empty()) return {};
        auto plain = DecryptScopedPdu(u.priv, keys->priv, msg->usm.privParams, msg->encryptedPdu);
        if (!plain) return {};
        auto decoded = DecodeScopedPdu(*plain);
        if (!decoded) return {};
        scoped = std::move(*decoded);
    } else {
        if (level & flags::kPriv) return {};
        scoped = std::move(msg->scoped);
    }
    if (!IsNotification(scoped.pdu.type)) return {};
    // An inform goes to the engine that receives it; one addressed to another engine is
    // answered only with this engine's id.
    if (scoped.pdu.type == pdu::kInform && !ours) {
        out.answer =
            Report(*msg, scoped.pdu.requestId, usm_stats::kUnknownEngineIds, false, {}, nullptr);
        return out;
    }
    if (scoped.pdu.type == pdu::kInform && (level & flags::kAuth) && !inWindow) {
        out.answer =
            Report(*msg, scoped.pdu.requestId, usm_stats::kNotInTimeWindows, true, u, &*keys);
        return out;
    }
    if (scoped.pdu.type == pdu::kInform) {
        ScopedPdu response;
        response.contextEngineId = scoped.contextEngineId;
        response.contextName = scoped.contextName;
        response.pdu = InformResponse(scoped.pdu);
        out.answer =
            BuildV3(msg->header.msgId, level, u, keys ? *keys : Keys{}, std::move(response));
    }
    Notification n;
    n.version = kVersion3;
    n.pduType = scoped.pdu.type;
    n.errorStatus = scoped.pdu.errorStatus;
    n.notifyId = NotifyIdOfV2(scoped.pdu.bindings);
    n.bindings = std::move(scoped.pdu.bindings);
    out.notification = std::move(n);
    return out;
}

}  // namespace tarvell::snmp
