#include "service/engine/SnmpClient.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <limits>
#include <optional>
#include <tuple>

#include "platform/snmp/EngineBoots.h"
#include "platform/snmp/V3Engine.h"

namespace tarvell {

std::optional<std::string> EngineIdBytes(const std::string& text) {
    std::string digits;
    std::size_t start = 0;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) start = 2;
    for (std::size_t i = start; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == ':') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
        digits.push_back(c);
    }
    if (digits.size() % 2 != 0 || digits.size() > 2 * snmp::kMaxEngineIdSize) return std::nullopt;
    std::string bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

namespace {

constexpr int kMaxEntries = 64;
const snmp::Oid kSysUpTime{1, 3, 6, 1, 2, 1, 1, 3, 0};
const snmp::Oid kSnmpTrapOid{1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};
const snmp::Oid kSnmpTrapEnterprise{1, 3, 6, 1, 6, 3, 1, 1, 4, 3, 0};
const snmp::Oid kStandardTraps{1, 3, 6, 1, 6, 3, 1, 1, 5};
constexpr const char* kDefaultEnterprise = "1.3.6.1.3";

// The text of a fixed buffer, or nullopt when it is not zero-terminated.
std::optional<std::string> BufferText(const char* buffer) {
    const std::size_t n = ::strnlen(buffer, SnmpOidEntry::kTextSize);
    if (n == SnmpOidEntry::kTextSize) return std::nullopt;
    return std::string(buffer, n);
}

void CopyText(char* buffer, const std::string& text) {
    const std::size_t n = std::min(text.size(), SnmpOidEntry::kTextSize - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

// Like atol: blanks, an optional sign, then digits up to the first other character; saturates.
std::int64_t AtoL(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t v = 0;
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int d = text[i] - '0';
        if (v > (kMax - d) / 10) return negative ? std::numeric_limits<std::int64_t>::min() : kMax;
        v = v * 10 + d;
    }
    return negative ? -v : v;
}

std::optional<snmp::V3Params> MakeV3Params(const SnmpClientSettings& s) {
    snmp::V3Params p;
    p.user.name = s.SnmpV3User;
    p.user.auth = snmp::AuthProtocolOfCode(s.SnmpV3AuthProtocol);
    p.user.priv = snmp::PrivProtocolOfCode(s.SnmpV3PrivProtocol);
    p.user.authPassword = s.SnmpV3AuthPassword;
    p.user.privPassword = s.SnmpV3PrivPassword;
    p.level = snmp::SecurityLevelOfCode(s.SnmpV3SecurityLevel);
    p.contextName = s.SnmpV3Context;
    auto engineId = EngineIdBytes(s.SnmpV3EngineId);
    if (!engineId) return std::nullopt;
    p.contextEngineId = std::move(*engineId);
    return p;
}

// A value of the agent's type made from the caller's text, or nullopt when the type is not one
// the client writes or the text does not fit it.
std::optional<snmp::Value> BuildValue(std::uint8_t type, const std::string& text) {
    namespace tag = snmp::tag;
    switch (type) {
        case tag::kInteger: {
            const std::int64_t v = AtoL(text);
            if (v < std::numeric_limits<std::int32_t>::min() ||
                v > std::numeric_limits<std::int32_t>::max()) {
                return std::nullopt;
            }
            return snmp::Value::Integer(v);
        }
        case tag::kOctetString: return snmp::Value::OctetString(text);
        case tag::kOid: {
            auto oid = snmp::ParseOid(text);
            if (!oid) return std::nullopt;
            return snmp::Value::ObjectId(*oid);
        }
        case tag::kIpAddress: {
            std::array<std::uint8_t, 4> address{};
            if (::inet_pton(AF_INET, text.c_str(), address.data()) != 1) return std::nullopt;
            return snmp::Value::IpAddress(address);
        }
        case tag::kCounter32:
        case tag::kGauge32:
        case tag::kTimeTicks: {
            const std::int64_t v = AtoL(text);
            if (v < 0 || v > 0xFFFFFFFFll) return std::nullopt;
            return snmp::Value::Unsigned(type, static_cast<std::uint64_t>(v));
        }
        case tag::kCounter64: {
            const std::int64_t v = AtoL(text);
            if (v < 0) return std::nullopt;
            return snmp::Value::Unsigned(type, static_cast<std::uint64_t>(v));
        }
        default: return std::nullopt;
    }
}

// Whether a get-next binding continues the walk from `requested`: it must come after it and
// keep its first `prefixLen` components.
bool ContinuesWalk(const snmp::Oid& requested, int prefixLen, const snmp::Oid& answered) {
    if (!(requested < answered)) return false;
    if (prefixLen <= 0) return true;
    const std::size_t n =
        std::min<std::size_t>(static_cast<std::size_t>(prefixLen), requested.size());
    const snmp::Oid prefix(requested.begin(), requested.begin() + static_cast<std::ptrdiff_t>(n));
    return snmp::OidStartsWith(answered, prefix) && answered.size() > prefix.size();
}

// Applies one answer binding to its entry; true when accepted.
bool AcceptBinding(int operation, const snmp::Oid& requested, int prefixLen,
                   const snmp::VarBind& binding, SnmpOidEntry& entry) {
    if (binding.value.IsException()) return false;
    CopyText(entry.value, snmp::PrintableValue(binding.value));
    if (operation == SnmpClient::kGetNext && !ContinuesWalk(requested, prefixLen, binding.oid)) {
        return false;
    }
    const std::string oidText = snmp::OidToText(binding.oid);
    if (oidText.size() >= SnmpOidEntry::kTextSize) return false;
    CopyText(entry.oid, oidText);
    return true;
}

std::pair<std::int32_t, std::int32_t> V1TrapCodes(const snmp::Oid& notifyId) {
    if (notifyId.size() == kStandardTraps.size() + 1 &&
        snmp::OidStartsWith(notifyId, kStandardTraps) && notifyId.back() >= 1 &&
        notifyId.back() <= 6) {
        return {static_cast<std::int32_t>(notifyId.back() - 1), 0};
    }
    const std::uint32_t specific = std::min<std::uint32_t>(notifyId.back(), 0x7FFFFFFFu);
    return {6, static_cast<std::int32_t>(specific)};
}

}  // namespace

struct SnmpClient::Call {
    bool v3 = false;
    snmp::Endpoint endpoint;
    snmp::Timing timing;
    std::string community;
    SnmpClientSettings settings;
    snmp::V3Params v3Params;
    std::shared_ptr<snmp::V3Engine> engine;
};

SnmpClient::SnmpClient(std::function<SnmpClientSettings()> settings, SnmpClientOptions options)
    : settings_(std::move(settings)),
      options_(std::move(options)),
      start_(std::chrono::steady_clock::now()) {}

SnmpClient::~SnmpClient() = default;

std::uint32_t SnmpClient::EngineBoots() const {
    std::lock_guard<std::mutex> lock(engineMutex_);
    return engine_ ? engine_->Boots() : 0;
}

// The local engine, made on first SNMPv3 use with the next boot count from the counter file. When
// the count cannot be stored there is no engine and the SNMPv3 call fails; the next call tries
// again.
std::shared_ptr<snmp::V3Engine> SnmpClient::Engine() {
    std::lock_guard<std::mutex> lock(engineMutex_);
    if (!engine_) {
        auto boots = snmp::NextBootCount(options_.bootCounterPath, kLocalEngineId);
        if (boots) engine_ = std::make_shared<snmp::V3Engine>(kLocalEngineId, *boots);
    }
    return engine_;
}

snmp::Reply SnmpClient::Send(Call& call, std::uint8_t pduType,
                             std::vector<snmp::VarBind> bindings) {
    if (call.v3) {
        return call.engine->Request(call.endpoint, call.timing, call.v3Params, pduType,
                                    std::move(bindings));
    }
    return community_.Request(call.endpoint, call.timing, snmp::kVersion1, call.community, pduType,
                              std::move(bindings));
}

// Everything a call needs before it sends; false when it cannot be made. The settings are read
// only where they matter: SNMPv3 and traps.
bool SnmpClient::Prepare(Call& call, const std::string& address, const std::string& community,
                         std::uint32_t timeoutMs, std::uint32_t retries, std::uint16_t port,
                         bool v3, bool trap) {
    auto endpoint = snmp::ParseEndpoint(address, port);
    if (!endpoint) return false;
    call.endpoint = *endpoint;
    call.timing = snmp::MakeTiming(timeoutMs, retries);
    call.community = community;
    call.v3 = v3;
    if ((v3 || trap) && settings_) call.settings = settings_();
    if (!v3) return true;
    auto params = MakeV3Params(call.settings);
    if (!params) return false;
    call.v3Params = std::move(*params);
    call.engine = Engine();
    return call.engine != nullptr;
}

int SnmpClient::Request(int operation, const std::string& address, const std::string& community,
                        std::uint32_t timeoutMs, std::uint32_t retries, int count, int prefixLen,
                        SnmpOidEntry* entries, std::vector<snmp::VarBind>* answer,
                        const std::string* v3Context) {
    if (answer) answer->clear();
    if (!entries || count < 1 || count > kMaxEntries || operation < kGet || operation > kTrap)
        return 0;
    std::vector<snmp::Oid> requested;
    for (int i = 0; i < count; ++i) {
        auto text = BufferText(entries[i].oid);
        auto oid = text ? snmp::ParseOid(*text) : std::nullopt;
        if (!oid) return 0;
        requested.push_back(std::move(*oid));
    }
    Call call;
    const std::uint16_t port = operation == kTrap ? options_.trapPort : options_.agentPort;
    if (!Prepare(call, address, community, timeoutMs, retries, port, community == kV3Marker,
                 operation == kTrap)) {
        return 0;
    }
    if (call.v3 && v3Context) call.v3Params.contextName = *v3Context;
    if (operation == kTrap) return Trap(call, count, entries);

    std::vector<snmp::VarBind> bindings;
    for (const snmp::Oid& oid : requested) bindings.push_back({oid, snmp::Value::Null()});
    snmp::Reply reply =
        Send(call, operation == kGet ? snmp::pdu::kGet : snmp::pdu::kGetNext, std::move(bindings));
    if (reply.status != snmp::Status::Ok || reply.pdu.errorStatus != 0) return 0;
    if (answer) *answer = reply.pdu.bindings;

    int result = 0;
    for (int i = 0; i < count; ++i) {
        const auto index = static_cast<std::size_t>(i);
        result = index < reply.pdu.bindings.size() &&
                 AcceptBinding(operation, requested[index], prefixLen, reply.pdu.bindings[index],
                               entries[i]);
    }
    return result;
}

// ---- walks ------------------------------------------------------------------------------------

struct SnmpClient::Session::State {
    SnmpClient& client;
    std::string address;
    snmp::Endpoint endpoint;
    snmp::Timing timing;
    snmp::UdpChannel channel;
    bool settingsRead = false;
    std::optional<snmp::V3Params> v3Params;
    std::shared_ptr<snmp::V3Engine> engine;

    State(SnmpClient& c, std::string a, const snmp::Endpoint& e, snmp::Timing t)
        : client(c), address(std::move(a)), endpoint(e), timing(t), channel(e) {}
};

SnmpClient::Session::Session(std::unique_ptr<State> state) : state_(std::move(state)) {}
SnmpClient::Session::~Session() = default;

std::unique_ptr<SnmpClient::Session> SnmpClient::Open(const std::string& address,
                                                      std::uint32_t timeoutMs,
                                                      std::uint32_t retries,
                                                      const ManualResetEvent* stop) {
    auto endpoint = snmp::ParseEndpoint(address, options_.agentPort);
    if (!endpoint) return nullptr;
    auto state = std::make_unique<Session::State>(*this, address, *endpoint,
                                                  snmp::MakeTiming(timeoutMs, retries, stop));
    if (!state->channel.Ok()) return nullptr;
    return std::unique_ptr<Session>(new Session(std::move(state)));
}

SnmpWalkResult SnmpClient::Walk(const std::string& address, const std::string& community,
                                std::uint32_t timeoutMs, std::uint32_t retries,
                                const std::vector<std::string>& columns,
                                const std::function<void(const snmp::WalkRow&)>& onRow,
                                const SnmpWalkOptions& options) {
    auto session = Open(address, timeoutMs, retries);
    if (!session) {
        SnmpWalkResult failed;
        failed.end = snmp::WalkEnd::Failed;
        failed.v3 = community == kV3Marker;
        failed.reason = "no socket";
        return failed;
    }
    return session->Walk(community, columns, onRow, options);
}

bool SnmpClient::RefusedBulk(const std::string& address) const {
    std::lock_guard<std::mutex> lock(bulkMutex_);
    return refusedBulk_.count(address) != 0;
}

SnmpWalkResult SnmpClient::Session::Walk(const std::string& community,
                                         const std::vector<std::string>& columns,
                                         const std::function<void(const snmp::WalkRow&)>& onRow,
                                         const SnmpWalkOptions& options) {
    State& s = *state_;
    SnmpWalkResult result;
    result.v3 = community == kV3Marker;
    std::vector<snmp::Oid> heads;
    for (const std::string& c : columns) {
        auto oid = snmp::ParseOid(c);
        if (!oid || oid->empty()) {
            result.end = snmp::WalkEnd::Failed;
            result.reason = "bad column " + c;
            return result;
        }
        heads.push_back(std::move(*oid));
    }
    if (heads.empty()) return result;
    if (result.v3 && !s.settingsRead) {
        s.settingsRead = true;
        const SnmpClientSettings settings =
            s.client.settings_ ? s.client.settings_() : SnmpClientSettings{};
        s.v3Params = MakeV3Params(settings);
        if (s.v3Params) s.engine = s.client.Engine();
    }
    if (result.v3 && (!s.v3Params || !s.engine)) {
        result.end = snmp::WalkEnd::Failed;
        result.reason = s.v3Params ? "boot counter not stored" : "engine id setting not hex";
        return result;
    }
    snmp::V3Params params;
    if (result.v3) {
        params = *s.v3Params;
        if (!options.v3Context.empty()) params.contextName = options.v3Context;
    }
    const snmp::WalkSender send = [&](std::uint8_t type, std::int32_t maxRepetitions,
                                      std::vector<snmp::VarBind> b) {
        if (result.v3)
            return s.engine->Request(s.endpoint, s.timing, params, type, std::move(b),
                                     maxRepetitions, &s.channel);
        return s.client.community_.Request(s.endpoint, s.timing, snmp::kVersion1, community, type,
                                           std::move(b), &s.channel);
    };
    snmp::ColumnWalk walk(std::move(heads), options.ordered);
    snmp::WalkStep step;
    step.maxRows = options.maxRows;
    step.stop = options.stop;
    step.maxRepetitions = kMaxRepetitions;
    step.bulk = result.v3 && !options.getNextOnly && !s.client.RefusedBulk(s.address);
    result.bulk = step.bulk;
    result.end = walk.Run(send, step, onRow);
    if (result.end == snmp::WalkEnd::BulkRefused) {
        // Silence may be a switch that is down, not one without GetBulk: only an answer to
        // get-next shows that GetBulk was the trouble.
        const bool silent = walk.Failure().status == snmp::Status::Timeout;
        const std::size_t before = walk.Requests();
        step.bulk = false;
        result.bulk = false;
        result.end = walk.Run(send, step, onRow);
        const bool getNextAnswered =
            result.end != snmp::WalkEnd::Failed || walk.Requests() > before + 1;
        if (!silent || getNextAnswered) {
            constexpr std::size_t kMaxRemembered = 100'000;
            std::lock_guard<std::mutex> lock(s.client.bulkMutex_);
            if (s.client.refusedBulk_.size() < kMaxRemembered)
                s.client.refusedBulk_.insert(s.address);
        }
    }
    if (result.end == snmp::WalkEnd::Failed) {
        result.reason = result.v3 ? snmp::FailureReason(walk.Failure())
                        : walk.Failure().status == snmp::Status::Timeout ? "no answer"
                                                                         : "no usable answer";
        // An agent drops what it cannot decrypt without a word. Asked without privacy, it answers
        // or reports the level when the user and the authentication pass phrase are right.
        if (result.v3 && walk.Failure().status == snmp::Status::Timeout &&
            params.level == snmp::SecurityLevel::AuthPriv) {
            snmp::V3Params probe = params;
            probe.level = snmp::SecurityLevel::AuthNoPriv;
            const snmp::Reply answer =
                s.engine->Request(s.endpoint, s.timing, probe, snmp::pdu::kGet,
                                  {{kSysUpTime, snmp::Value::Null()}}, 0, &s.channel);
            const snmp::Oid* reported =
                answer.pdu.bindings.empty() ? nullptr : &answer.pdu.bindings.front().oid;
            if (answer.status == snmp::Status::Ok ||
                (answer.status == snmp::Status::Report && reported &&
                 *reported == snmp::usm_stats::kUnsupportedSecLevels))
                result.reason = "not decryptable";
        }
    }
    result.rows = walk.Rows();
    result.requests = walk.Requests();
    return result;
}

int SnmpClient::Trap(Call& call, int count, SnmpOidEntry* entries) {
    std::string enterpriseText = kDefaultEnterprise;
    if (call.settings.SnmpTrapSpecific && !call.settings.SnmpTrapEnterprise.empty()) {
        enterpriseText = call.settings.SnmpTrapEnterprise;
        if (enterpriseText.front() == '.') enterpriseText.erase(0, 1);
    }
    auto enterprise = snmp::ParseOid(enterpriseText);
    if (!enterprise) return 0;

    std::vector<snmp::VarBind> bindings;
    for (int i = 0; i < count; ++i) {
        auto oid = snmp::ParseOid(*BufferText(entries[i].oid));
        auto value = BufferText(entries[i].value);
        if (!value) return 0;
        bindings.push_back({*oid, snmp::Value::OctetString(*value)});
    }
    const snmp::Oid notifyId = bindings.front().oid;
    // An enterprise-specific notify id <enterprise>.<n> goes as generic 6, specific n, under the
    // enterprise that is the rest of it, over SNMPv1 and SNMPv3 alike.
    const auto [generic, specific] = V1TrapCodes(notifyId);
    if (generic == 6 && notifyId.size() > 2)
        enterprise = snmp::Oid(notifyId.begin(), notifyId.end() - 1);
    const auto uptime = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start_)
                            .count() /
                        10;
    const auto ticks = static_cast<std::uint32_t>(uptime & 0xFFFFFFFF);

    if (!call.v3) {
        snmp::TrapV1Pdu trap;
        trap.enterprise = *enterprise;
        trap.genericTrap = generic;
        trap.specificTrap = specific;
        trap.timeStamp = ticks;
        trap.bindings = std::move(bindings);
        return community_.SendTrapV1(call.endpoint, call.community, std::move(trap)) ? 1 : 0;
    }
    std::vector<snmp::VarBind> v2;
    v2.push_back({kSysUpTime, snmp::Value::Unsigned(snmp::tag::kTimeTicks, ticks)});
    v2.push_back({kSnmpTrapOid, snmp::Value::ObjectId(notifyId)});
    for (auto& b : bindings) v2.push_back(std::move(b));
    v2.push_back({kSnmpTrapEnterprise, snmp::Value::ObjectId(*enterprise)});
    return call.engine->SendTrap(call.endpoint, call.v3Params, std::move(v2)) ? 1 : 0;
}

int SnmpClient::Set(const std::string& address, const std::string& readCommunity,
                    const std::string& writeCommunity, std::uint32_t timeoutMs,
                    std::uint32_t retries, SnmpOidEntry* entry, const ManualResetEvent* stop) {
    if (!entry) return 0;
    auto oidText = BufferText(entry->oid);
    auto valueText = BufferText(entry->value);
    auto oid = oidText ? snmp::ParseOid(*oidText) : std::nullopt;
    if (!oid || !valueText) return 0;
    const bool v3 = readCommunity == kV3Marker || writeCommunity == kV3Marker;
    Call call;
    if (!Prepare(call, address, readCommunity, timeoutMs, retries, options_.agentPort, v3, false)) {
        return 0;
    }
    call.timing.cancel = stop;
    snmp::Reply read = Send(call, snmp::pdu::kGet, {{*oid, snmp::Value::Null()}});
    if (read.status != snmp::Status::Ok || read.pdu.errorStatus != 0 || read.pdu.bindings.empty())
        return 0;
    snmp::VarBind binding = read.pdu.bindings.front();
    // An answer about another object says nothing of the one to write.
    if (binding.oid != *oid) return 0;
    auto value = BuildValue(binding.value.type, *valueText);
    if (!value) return 0;
    binding.value = std::move(*value);

    call.community = writeCommunity;
    snmp::Reply written = Send(call, snmp::pdu::kSet, {binding});
    return written.status == snmp::Status::Ok && written.pdu.errorStatus == 0 ? 1 : 0;
}

}  // namespace tarvell
