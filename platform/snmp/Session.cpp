#include "platform/snmp/Session.h"

#include <arpa/inet.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

#include "platform/snmp/Usm.h"

namespace tarvell::snmp {

namespace {

using SteadyClock = std::chrono::steady_clock;

// The longest wait between two looks at a cancel event that has no descriptor to poll.
constexpr long long kCancelLookMs = 100;

}  // namespace

// ---- channels ------------------------------------------------------------------------------

UdpChannel::UdpChannel(const Endpoint& endpoint) {
    fd_.Reset(::socket(endpoint.Family(), SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (fd_.Valid() && ::connect(fd_.Get(), reinterpret_cast<const sockaddr*>(&endpoint.address),
                                 endpoint.length) != 0) {
        fd_.Reset();
    }
}

bool UdpChannel::Send(std::string_view bytes) const {
    for (;;) {
        const ssize_t n = ::send(fd_.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        return n == static_cast<ssize_t>(bytes.size());
    }
}

bool UdpChannel::ReceiveUntil(SteadyClock::time_point deadline,
                              const std::function<bool(std::string_view)>& accept,
                              const ManualResetEvent* cancel) {
    constexpr std::size_t kSize = 65536;
    if (buffer_.size() != kSize) buffer_.resize(kSize);
    pollfd polled[2] = {{fd_.Get(), POLLIN, 0}, {-1, POLLIN, 0}};
    nfds_t count = 1;
    bool look = false;  // a cancel event without a descriptor is looked at now and then
    if (cancel) {
        polled[1].fd = cancel->PollFd();
        if (polled[1].fd >= 0) count = 2;
        else look = true;
    }
    for (;;) {
        if (cancel && cancel->IsSet()) return false;
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
        if (left.count() <= 0) return false;
        const long long wait = std::min<long long>(left.count(), look ? kCancelLookMs : 600000);
        polled[0].revents = polled[1].revents = 0;
        const int ready = ::poll(polled, count, static_cast<int>(wait));
        if (ready < 0 && errno != EINTR) return false;
        if (ready <= 0) continue;
        if (polled[1].revents) return false;
        if (!polled[0].revents) continue;
        const ssize_t n = ::recv(fd_.Get(), buffer_.data(), kSize, MSG_DONTWAIT);
        // Errors (an ICMP port unreachable, for one) end nothing: the agent may yet answer.
        if (n < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR &&
                errno != ECONNREFUSED) {
                return false;
            }
            continue;
        }
        if (accept(std::string_view(buffer_.data(), static_cast<std::size_t>(n)))) return true;
    }
}

std::array<std::uint8_t, 4> UdpChannel::LocalIpv4() const {
    std::array<std::uint8_t, 4> out{};
    sockaddr_storage local{};
    socklen_t len = sizeof local;
    if (::getsockname(fd_.Get(), reinterpret_cast<sockaddr*>(&local), &len) == 0 &&
        local.ss_family == AF_INET) {
        const auto* sin = reinterpret_cast<const sockaddr_in*>(&local);
        std::memcpy(out.data(), &sin->sin_addr, 4);
    }
    return out;
}

// ---- endpoints -------------------------------------------------------------------------------

std::string Endpoint::Key() const {
    char text[INET6_ADDRSTRLEN] = {};
    if (Family() == AF_INET) {
        const auto* sin = reinterpret_cast<const sockaddr_in*>(&address);
        ::inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text);
        return std::string(text) + ":" + std::to_string(ntohs(sin->sin_port));
    }
    const auto* sin6 = reinterpret_cast<const sockaddr_in6*>(&address);
    ::inet_ntop(AF_INET6, &sin6->sin6_addr, text, sizeof text);
    return "[" + std::string(text) + "]:" + std::to_string(ntohs(sin6->sin6_port));
}

std::optional<Endpoint> ParseEndpoint(std::string_view address, std::uint16_t port) {
    if (address.size() >= 2 && address.front() == '[' && address.back() == ']') {
        address = address.substr(1, address.size() - 2);
    }
    if (address.empty() || address.size() >= INET6_ADDRSTRLEN) return std::nullopt;
    const std::string text(address);
    Endpoint endpoint;
    auto* sin = reinterpret_cast<sockaddr_in*>(&endpoint.address);
    if (::inet_pton(AF_INET, text.c_str(), &sin->sin_addr) == 1) {
        sin->sin_family = AF_INET;
        sin->sin_port = htons(port);
        endpoint.length = sizeof(sockaddr_in);
        return endpoint;
    }
    auto* sin6 = reinterpret_cast<sockaddr_in6*>(&endpoint.address);
    if (::inet_pton(AF_INET6, text.c_str(), &sin6->sin6_addr) == 1) {
        sin6->sin6_family = AF_INET6;
        sin6->sin6_port = htons(port);
        endpoint.length = sizeof(sockaddr_in6);
        return endpoint;
    }
    return std::nullopt;
}

Timing MakeTiming(std::int64_t timeoutMs, std::int64_t retries, const ManualResetEvent* cancel) {
    Timing t;
    t.cancel = cancel;
    t.timeoutMs = static_cast<int>(std::clamp<std::int64_t>(timeoutMs, 1, 600000));
    t.retries = static_cast<int>(std::clamp<std::int64_t>(retries, 0, 20));
    return t;
}

// ---- transport -------------------------------------------------------------------------------

Status Exchange(const Endpoint& endpoint, std::string_view request, const Timing& timing,
                const std::function<bool(std::string_view)>& accept, UdpChannel* channel) {
    std::optional<UdpChannel> own;
    if (!channel) channel = &own.emplace(endpoint);
    UdpChannel& socket = *channel;
    if (!socket.Ok()) return Status::SocketError;
    const auto cancelled = [&] { return timing.cancel && timing.cancel->IsSet(); };
    for (int attempt = 0; attempt <= timing.retries; ++attempt) {
        if (cancelled()) return Status::Cancelled;
        if (!socket.Send(request)) return Status::SocketError;
        const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timing.timeoutMs);
        if (socket.ReceiveUntil(deadline, accept, timing.cancel)) return Status::Ok;
    }
    return cancelled() ? Status::Cancelled : Status::Timeout;
}

bool SendDatagram(const Endpoint& endpoint, std::string_view bytes,
                  std::array<std::uint8_t, 4>* localAddress) {
    UdpChannel socket(endpoint);
    if (!socket.Ok()) return false;
    if (localAddress) *localAddress = socket.LocalIpv4();
    return socket.Send(bytes);
}

std::array<std::uint8_t, 4> LocalAddressFor(const Endpoint& endpoint) {
    UdpChannel socket(endpoint);
    return socket.Ok() ? socket.LocalIpv4() : std::array<std::uint8_t, 4>{};
}

RequestIds::RequestIds() : next_(RandomUint32()) {}

std::int32_t RequestIds::Next() {
    for (;;) {
        const std::uint32_t v = next_.fetch_add(1) & 0x7FFFFFFFu;
        if (v != 0) return static_cast<std::int32_t>(v);
    }
}

// ---- community requests ----------------------------------------------------------------------

Reply CommunitySession::Request(const Endpoint& endpoint, const Timing& timing,
                                std::int32_t version, std::string_view community,
                                std::uint8_t pduType, std::vector<VarBind> bindings,
                                UdpChannel* channel) {
    Pdu request;
    request.type = pduType;
    request.requestId = ids_.Next();
    request.bindings = std::move(bindings);
    std::string bytes;
    try {
        bytes = EncodeCommunityMessage(version, community, request);
    } catch (const BerError&) {
        return {Status::BadRequest, {}};
    }
    if (bytes.size() > kMaxMessageSize) return {Status::BadRequest, {}};

    Reply reply;
    const auto accept = [&](std::string_view datagram) {
        auto message = DecodeCommunityMessage(datagram);
        if (!message || message->isTrapV1 || message->version != version ||
            message->community != community || message->pdu.type != pdu::kResponse ||
            message->pdu.requestId != request.requestId) {
            return false;
        }
        reply.pdu = std::move(message->pdu);
        return true;
    };
    reply.status = Exchange(endpoint, bytes, timing, accept, channel);
    return reply;
}

bool CommunitySession::SendTrapV1(const Endpoint& endpoint, std::string_view community,
                                  TrapV1Pdu trap) {
    UdpChannel socket(endpoint);
    if (!socket.Ok()) return false;
    if (trap.agentAddress == std::array<std::uint8_t, 4>{}) trap.agentAddress = socket.LocalIpv4();
    std::string bytes;
    try {
        bytes = EncodeTrapV1Message(community, trap);
    } catch (const BerError&) {
        return false;
    }
    return bytes.size() <= kMaxMessageSize && socket.Send(bytes);
}

}  // namespace tarvell::snmp
