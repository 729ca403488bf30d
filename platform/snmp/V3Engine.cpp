#include "platform/snmp/V3Engine.h"

#include <algorithm>

namespace tarvell::snmp {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr std::size_t kMaxCachedEngines = 4096;
constexpr std::int32_t kTimeWindow = 150;
constexpr std::int32_t kMaxBoots = 2147483647;

bool NeedsAuth(SecurityLevel level) { return level != SecurityLevel::NoAuthNoPriv; }
bool NeedsPriv(SecurityLevel level) { return level == SecurityLevel::AuthPriv; }

std::uint8_t LevelFlags(SecurityLevel level) {
    return static_cast<std::uint8_t>((NeedsAuth(level) ? flags::kAuth : 0) |
                                     (NeedsPriv(level) ? flags::kPriv : 0));
}

bool Usable(const V3Params& params) {
    const UsmUser& u = params.user;
    if (u.name.size() > kMaxUserNameSize) return false;
    if (NeedsAuth(params.level) && (u.auth == AuthProtocol::None || u.authPassword.empty()))
        return false;
    if (NeedsPriv(params.level) && (u.priv == PrivProtocol::None || u.privPassword.empty()))
        return false;
    return true;
}

std::int32_t Elapsed(SteadyClock::time_point since) {
    const auto s =
        std::chrono::duration_cast<std::chrono::seconds>(SteadyClock::now() - since).count();
    return static_cast<std::int32_t>(std::clamp<long long>(s, 0, kMaxBoots));
}

std::int32_t AddClamped(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(std::min<long long>(static_cast<long long>(a) + b, kMaxBoots));
}

const Oid* ReportOid(const Pdu& report) {
    return report.bindings.empty() ? nullptr : &report.bindings.front().oid;
}

}  // namespace

AuthProtocol AuthProtocolOfCode(std::uint32_t code) {
    return code == 2 ? AuthProtocol::Md5 : code == 3 ? AuthProtocol::Sha : AuthProtocol::None;
}

PrivProtocol PrivProtocolOfCode(std::uint32_t code) {
    return code == 2 ? PrivProtocol::Des : code == 3 ? PrivProtocol::TripleDes : PrivProtocol::None;
}

SecurityLevel SecurityLevelOfCode(std::uint32_t code) {
    return code == 2   ? SecurityLevel::AuthNoPriv
           : code == 3 ? SecurityLevel::AuthPriv
                       : SecurityLevel::NoAuthNoPriv;
}

std::string FailureReason(const Reply& reply) {
    switch (reply.status) {
        case Status::Ok: return {};
        case Status::Timeout: return "no answer";
        case Status::SocketError: return "no socket";
        case Status::BadRequest: return "request not made (missing user or keys)";
        case Status::AuthFailure: return "wrong digest";
        case Status::Cancelled: return "stopped";
        case Status::Report: break;
    }
    const Oid* reason = ReportOid(reply.pdu);
    if (!reason) return "report";
    if (*reason == usm_stats::kUnknownUserNames) return "unknown user";
    if (*reason == usm_stats::kWrongDigests) return "wrong digest";
    if (*reason == usm_stats::kDecryptionErrors) return "not decryptable";
    if (*reason == usm_stats::kUnsupportedSecLevels) return "security level not supported";
    if (*reason == usm_stats::kNotInTimeWindows) return "not in time window";
    if (*reason == usm_stats::kUnknownEngineIds) return "unknown engine id";
    return "report " + OidToText(*reason);
}

V3Engine::V3Engine(std::string engineId, std::uint32_t boots)
    : engineId_(std::move(engineId)),
      boots_(std::min<std::uint32_t>(boots, kMaxBoots)),
      start_(SteadyClock::now()),
      salt_(RandomUint32()) {}

std::int32_t V3Engine::EngineTime() const { return Elapsed(start_); }

// ---- keys and remote engines -----------------------------------------------------------------

std::optional<V3Engine::Keys> V3Engine::KeysFor(const V3Params& params,
                                                const std::string& engineId) {
    if (!NeedsAuth(params.level)) return Keys{};
    std::lock_guard<std::mutex> lock(mutex_);
    if (!(params.user == keyedUser_)) {
        // The settings changed: forget every key made from the old pass phrases.
        keyedUser_ = params.user;
        authKu_.clear();
        privKu_.clear();
        keysByEngine_.clear();
    }
    const UsmUser& u = keyedUser_;
    if (auto it = keysByEngine_.find(engineId); it != keysByEngine_.end()) {
        const Keys& k = it->second;
        if (!k.auth.empty() && (!NeedsPriv(params.level) || !k.priv.empty())) return k;
    }
    if (authKu_.empty()) authKu_ = PasswordToKey(u.auth, u.authPassword);
    if (privKu_.empty() && u.priv != PrivProtocol::None)
        privKu_ = PasswordToKey(u.auth, u.privPassword);
    Keys keys;
    keys.auth = LocalizeKey(u.auth, authKu_, engineId);
    if (!privKu_.empty()) keys.priv = LocalizePrivKey(u.auth, u.priv, privKu_, engineId);
    if (keys.auth.empty() || (NeedsPriv(params.level) && keys.priv.empty())) return std::nullopt;
    if (keysByEngine_.size() >= kMaxCachedEngines) keysByEngine_.clear();
    keysByEngine_[engineId] = keys;
    return keys;
}

std::optional<V3Engine::Remote> V3Engine::LookupRemote(const std::string& key) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = remotes_.find(key);
    if (it == remotes_.end()) return std::nullopt;
    return it->second;
}

void V3Engine::StoreRemote(const std::string& key, const Remote& remote) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (remotes_.size() >= kMaxCachedEngines && !remotes_.count(key)) remotes_.clear();
    remotes_[key] = remote;
}

std::optional<std::string> V3Engine::KnownEngineId(const Endpoint& endpoint) const {
    auto remote = LookupRemote(endpoint.Key());
    if (!remote) return std::nullopt;
    return remote->engineId;
}

// RFC 3414 3.2.7 b, the non-authoritative side: move our notion of the agent's clock forward and
// refuse a message that is older than the window.
bool V3Engine::CheckTimeliness(const std::string& key, const UsmParameters& usm) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = remotes_.find(key);
    if (it == remotes_.end()) return true;
    Remote& r = it->second;
    if (!r.synced || usm.boots > r.boots || (usm.boots == r.boots && usm.time > r.latestTime)) {
        r.boots = usm.boots;
        r.time = usm.time;
        r.latestTime = usm.time;
        r.syncedAt = SteadyClock::now();
        r.synced = true;
    }
    return !(usm.boots == kMaxBoots || usm.boots < r.boots ||
             (usm.boots == r.boots && usm.time < r.latestTime - kTimeWindow));
}

// ---- message building and parsing ------------------------------------------------------------

std::optional<V3Engine::Outgoing> V3Engine::Build(const V3Params& params, const Keys& keys,
                                                  UsmParameters usm, ScopedPdu scoped,
                                                  bool reportable) {
    try {
        Outgoing out;
        out.msgId = msgIds_.Next();
        V3Header header;
        header.msgId = out.msgId;
        header.flags = static_cast<std::uint8_t>(LevelFlags(params.level) |
                                                 (reportable ? flags::kReportable : 0));
        std::string msgData = EncodeScopedPdu(scoped);
        if (NeedsPriv(params.level)) {
            auto encrypted =
                EncryptScopedPdu(params.user.priv, keys.priv, boots_, salt_.fetch_add(1), msgData);
            if (!encrypted) return std::nullopt;
            usm.privParams = std::move(encrypted->privParams);
            msgData = EncodeOctetString(encrypted->ciphertext);
        }
        if (NeedsAuth(params.level)) usm.authParams.assign(kAuthParamsSize, '\0');
        EncodedV3 encoded = EncodeV3Message(header, usm, msgData);
        if (encoded.bytes.size() > kMaxMessageSize) return std::nullopt;
        if (NeedsAuth(params.level)) {
            const std::string digest = AuthDigest(params.user.auth, keys.auth, encoded.bytes);
            if (digest.size() != kAuthParamsSize) return std::nullopt;
            encoded.bytes.replace(encoded.authParamsOffset, kAuthParamsSize, digest);
        }
        out.bytes = std::move(encoded.bytes);
        return out;
    } catch (const BerError&) {
        return std::nullopt;
    }
}

V3Engine::Incoming V3Engine::Parse(std::string_view datagram, std::int32_t msgId,
                                   std::int32_t requestId, const V3Params& params,
                                   const std::string& addressedEngine) {
    Incoming in;
    auto msg = DecodeV3Message(datagram);
    if (!msg || msg->header.msgId != msgId) return in;
    const std::uint8_t level = msg->header.flags & (flags::kAuth | flags::kPriv);
    if (level == flags::kPriv) return in;
    in.authenticated = (level & flags::kAuth) != 0;

    std::optional<Keys> keys;
    if (in.authenticated) {
        if (!NeedsAuth(params.level) || msg->usm.userName != params.user.name) return in;
        keys = KeysFor(params, msg->usm.engineId);
        if (!keys || msg->usm.authParams.size() != kAuthParamsSize ||
            msg->authParamsOffset + kAuthParamsSize > datagram.size()) {
            return in;
        }
        std::string zeroed(datagram);
        zeroed.replace(msg->authParamsOffset, kAuthParamsSize, kAuthParamsSize, '\0');
        if (!AuthDigestMatches(params.user.auth, keys->auth, zeroed, msg->usm.authParams)) {
            if (msg->usm.engineId == addressedEngine) in.kind = Kind::AuthFailure;
            return in;
        }
    }

    ScopedPdu scoped;
    if (msg->encrypted) {
        if (!(level & flags::kPriv) || !NeedsPriv(params.level)) return in;
        auto plain =
            DecryptScopedPdu(params.user.priv, keys->priv, msg->usm.privParams, msg->encryptedPdu);
        if (!plain) return in;
        auto decoded = DecodeScopedPdu(*plain);
        if (!decoded) return in;
        scoped = std::move(*decoded);
    } else {
        if (level & flags::kPriv) return in;
        scoped = std::move(msg->scoped);
    }

    if (scoped.pdu.type == pdu::kReport) {
        in.kind = Kind::Report;
    } else if (scoped.pdu.type == pdu::kResponse && scoped.pdu.requestId == requestId &&
               level == LevelFlags(params.level) && msg->usm.engineId == addressedEngine) {
        in.kind = Kind::Response;
    } else {
        return in;
    }
    in.usm = std::move(msg->usm);
    in.pdu = std::move(scoped.pdu);
    return in;
}

// ---- discovery and requests ------------------------------------------------------------------

std::optional<V3Engine::Remote> V3Engine::Discover(const Endpoint& endpoint, const Timing& timing,
                                                   Status& status, UdpChannel* channel) {
    V3Params probeParams;  // noAuthNoPriv, empty user
    ScopedPdu scoped;
    scoped.pdu.type = pdu::kGet;
    scoped.pdu.requestId = requestIds_.Next();
    auto probe = Build(probeParams, Keys{}, UsmParameters{}, scoped, true);
    if (!probe) {
        status = Status::BadRequest;
        return std::nullopt;
    }
    Remote remote;
    const auto accept = [&](std::string_view datagram) {
        auto msg = DecodeV3Message(datagram);
        if (!msg || msg->header.msgId != probe->msgId || msg->encrypted ||
            msg->scoped.pdu.type != pdu::kReport || msg->usm.engineId.empty()) {
            return false;
        }
        remote.engineId = msg->usm.engineId;
        remote.boots = msg->usm.boots;
        remote.time = msg->usm.time;
        remote.latestTime = msg->usm.time;
        remote.syncedAt = SteadyClock::now();
        return true;
    };
    status = Exchange(endpoint, probe->bytes, timing, accept, channel);
    if (status != Status::Ok) return std::nullopt;
    StoreRemote(endpoint.Key(), remote);
    return remote;
}

Reply V3Engine::Request(const Endpoint& endpoint, const Timing& timing, const V3Params& params,
                        std::uint8_t pduType, std::vector<VarBind> bindings,
                        std::int32_t maxRepetitions, UdpChannel* channel) {
    if (!Usable(params)) return {Status::BadRequest, {}};
    const std::string key = endpoint.Key();
    auto remote = LookupRemote(key);
    if (!remote) {
        Status status = Status::Timeout;
        remote = Discover(endpoint, timing, status, channel);
        if (!remote) return {status, {}};
    }

    ScopedPdu scoped;
    scoped.contextName = params.contextName;
    scoped.pdu.type = pduType;
    scoped.pdu.requestId = requestIds_.Next();
    scoped.pdu.bindings = std::move(bindings);
    if (pduType == pdu::kGetBulk) scoped.pdu.errorIndex = maxRepetitions;

    Reply reply;
    for (int pass = 0; pass < 3; ++pass) {
        auto keys = KeysFor(params, remote->engineId);
        if (!keys) return {Status::BadRequest, {}};
        scoped.contextEngineId =
            params.contextEngineId.empty() ? remote->engineId : params.contextEngineId;
        UsmParameters usm;
        usm.engineId = remote->engineId;
        usm.boots = remote->boots;
        usm.time = AddClamped(remote->time, Elapsed(remote->syncedAt));
        usm.userName = params.user.name;
        auto out = Build(params, *keys, usm, scoped, true);
        if (!out) return {Status::BadRequest, {}};

        Incoming in;
        const auto accept = [&](std::string_view datagram) {
            in = Parse(datagram, out->msgId, scoped.pdu.requestId, params, remote->engineId);
            if (in.kind == Kind::Rejected) return false;
            return in.kind == Kind::AuthFailure || !in.authenticated ||
                   CheckTimeliness(key, in.usm);
        };
        reply.status = Exchange(endpoint, out->bytes, timing, accept, channel);
        if (reply.status != Status::Ok) return reply;
        if (in.kind == Kind::AuthFailure) return {Status::AuthFailure, {}};
        reply.pdu = std::move(in.pdu);
        if (in.kind == Kind::Response) return reply;

        reply.status = Status::Report;
        const Oid* reason = ReportOid(reply.pdu);
        const bool unknownEngine = reason && *reason == usm_stats::kUnknownEngineIds;
        const bool outOfWindow = reason && *reason == usm_stats::kNotInTimeWindows;
        if (!unknownEngine && !outOfWindow) return reply;
        if (LearnFromReport(*remote, in.usm, in.authenticated)) StoreRemote(key, *remote);
    }
    return reply;
}

// An unauthenticated report may name a new engine id (discovery) and give a first guess of its
// clock, but it never moves a clock learnt from authenticated messages: anyone who saw the request
// can forge one, and a clock pushed ahead would make every genuine answer look stale.
bool V3Engine::LearnFromReport(Remote& remote, const UsmParameters& usm, bool authenticated) {
    const bool newEngine = !usm.engineId.empty() && usm.engineId != remote.engineId;
    if (!newEngine && !authenticated && remote.synced) return false;
    if (newEngine) remote.engineId = usm.engineId;
    remote.boots = usm.boots;
    remote.time = usm.time;
    remote.latestTime = usm.time;
    remote.syncedAt = SteadyClock::now();
    remote.synced = authenticated;
    return true;
}

bool V3Engine::SendTrap(const Endpoint& endpoint, const V3Params& params,
                        std::vector<VarBind> bindings) {
    if (!Usable(params)) return false;
    auto keys = KeysFor(params, engineId_);
    if (!keys) return false;
    ScopedPdu scoped;
    scoped.contextEngineId = params.contextEngineId.empty() ? engineId_ : params.contextEngineId;
    scoped.contextName = params.contextName;
    scoped.pdu.type = pdu::kTrapV2;
    scoped.pdu.requestId = requestIds_.Next();
    scoped.pdu.bindings = std::move(bindings);
    UsmParameters usm;
    usm.engineId = engineId_;
    usm.boots = static_cast<std::int32_t>(boots_);
    usm.time = EngineTime();
    usm.userName = params.user.name;
    auto out = Build(params, *keys, usm, scoped, false);
    return out && SendDatagram(endpoint, out->bytes);
}

}  // namespace tarvell::snmp
