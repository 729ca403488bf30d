// UDP transport of SNMP requests: a connected socket per request (or one a caller keeps for a
// series of requests), time-out and retries, request-id matching; SNMPv1/v2c requests and SNMPv1
// traps. A caller that must be able to end its waits early (a thread being stopped) gives a
// cancel event in the timing; the wait for an answer polls it beside the socket.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ManualResetEvent.h"
#include "platform/snmp/Message.h"
#include "platform/UniqueFd.h"

namespace tarvell::snmp {

struct Endpoint {
    sockaddr_storage address{};
    socklen_t length = 0;

    int Family() const { return address.ss_family; }
    // "a.b.c.d:port" or "[v6]:port"; identifies a remote engine.
    std::string Key() const;
};

// A numeric IPv4 or IPv6 address (an IPv6 one may be in brackets); no name look-up.
std::optional<Endpoint> ParseEndpoint(std::string_view address, std::uint16_t port);

struct Timing {
    int timeoutMs = 1000;  // per attempt
    int retries = 1;       // attempts after the first
    // Not owned, may be null. Once set, the exchange ends with Status::Cancelled: nothing more
    // is sent and a wait for an answer ends at once. It must outlive every call given it.
    const ManualResetEvent* cancel = nullptr;
};
// Keeps a time-out within 1 ms .. 10 min and retries within 0 .. 20.
Timing MakeTiming(std::int64_t timeoutMs, std::int64_t retries,
                  const ManualResetEvent* cancel = nullptr);

enum class Status {
    Ok,
    Timeout,      // no acceptable answer within the attempts
    SocketError,  // no socket, or the datagram could not be sent
    BadRequest,   // the request could not be built (bad OID, missing keys, ...)
    Report,       // SNMPv3: the agent answered with a report
    AuthFailure,  // SNMPv3: the answer's digest does not match our key (wrong pass phrase)
    Cancelled,    // the timing's cancel event was set before an answer came
};

struct Reply {
    Status status = Status::Timeout;
    Pdu pdu;  // the answer (a report when status is Report)
};

// A UDP socket connected to one endpoint, so that the system drops datagrams from elsewhere.
// Kept by a caller that sends many requests to one agent (a table walk); answers to earlier
// requests that arrive late are refused by the request-id match like any stray datagram.
class UdpChannel {
public:
    explicit UdpChannel(const Endpoint& endpoint);
    UdpChannel(const UdpChannel&) = delete;
    UdpChannel& operator=(const UdpChannel&) = delete;

    bool Ok() const { return fd_.Valid(); }
    bool Send(std::string_view bytes) const;
    // Waits until `deadline` for a datagram that `accept` takes; false at the deadline, on a
    // socket error, or as soon as `cancel` (may be null) is set.
    bool ReceiveUntil(std::chrono::steady_clock::time_point deadline,
                      const std::function<bool(std::string_view)>& accept,
                      const ManualResetEvent* cancel = nullptr);
    std::array<std::uint8_t, 4> LocalIpv4() const;

private:
    UniqueFd fd_;
    std::string buffer_;
};

// Sends `request` and waits for a datagram that `accept` takes; sends again after each time-out
// up to `timing.retries` times. Datagrams that `accept` refuses are skipped. Without `channel`
// the exchange has a socket of its own. Status::Cancelled as soon as `timing.cancel` is set:
// an attempt not yet sent is not sent, and a wait under way ends.
Status Exchange(const Endpoint& endpoint, std::string_view request, const Timing& timing,
                const std::function<bool(std::string_view)>& accept, UdpChannel* channel = nullptr);
// Sends one datagram (traps). `localAddress` receives the IPv4 source address that the system
// chose (zeros for IPv6).
bool SendDatagram(const Endpoint& endpoint, std::string_view bytes,
                  std::array<std::uint8_t, 4>* localAddress = nullptr);

// The IPv4 source address the system would use towards `endpoint` (zeros when unknown).
std::array<std::uint8_t, 4> LocalAddressFor(const Endpoint& endpoint);

// Positive request ids from a randomly seeded counter; safe to share between threads.
class RequestIds {
public:
    RequestIds();
    std::int32_t Next();

private:
    std::atomic<std::uint32_t> next_;
};

// SNMPv1 and v2c requests. Holds no state but the request-id counter; thread-safe.
class CommunitySession {
public:
    Reply Request(const Endpoint& endpoint, const Timing& timing, std::int32_t version,
                  std::string_view community, std::uint8_t pduType, std::vector<VarBind> bindings,
                  UdpChannel* channel = nullptr);
    bool SendTrapV1(const Endpoint& endpoint, std::string_view community, TrapV1Pdu trap);

private:
    RequestIds ids_;
};

}  // namespace tarvell::snmp
