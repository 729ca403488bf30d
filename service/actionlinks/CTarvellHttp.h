// The action-link listener: the one part of the service that anyone on the network can reach.
// It accepts TCP connections on port 49151 of every IPv4 address and gives each to a
// CTarvellHttpSession thread, which checks the request and queues it for the engine's next pass
// (the engine carries out LinkRequests; nothing here touches events).
//
// Bounds: at most kMaxHttpSessions sessions reading a request at once, and kMaxHttpSessionsPerPeer
// of one peer address (a connection beyond them is closed at once, logged once while it lasts;
// a session that has answered lingers outside these slots). When every slot is busy, a newcomer
// from an address with room takes the slot of a session that has not yet sent its whole request
// line, the oldest of the address with the most of them (cut off without an answer, logged once
// while it lasts), so clients of many addresses that send nothing cannot shut out the others; when
// the port is taken the bind is retried every 30 s (logged once); a failing accept (no descriptors
// left) is retried after a growing pause. Http.log in the service folder gets the start line and
// one line per served connection (HttpLog).
//
// Threads: Run is the accept loop on the worker's own thread. A stop closes the listening socket
// and stops and joins every session (within a few hundred milliseconds). The counters may be
// read from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ManualResetEvent.h"
#include "platform/UniqueFd.h"
#include "platform/WorkerThread.h"
#include "service/actionlinks/CTarvellHttpSession.h"
#include "service/actionlinks/HttpLog.h"
#include "service/engine/CTarvellFrm.h"
#include "service/engine/TestProbes.h"

namespace tarvell {

inline constexpr std::size_t kMaxHttpSessions = 16;
inline constexpr std::int64_t kHttpBindRetryMs = 30'000;
// Pauses after a failed accept: from the first to the last, doubling.
inline constexpr std::int64_t kHttpAcceptPauseMs = 50;
inline constexpr std::int64_t kMaxHttpAcceptPauseMs = 2000;

struct HttpListenerOptions {
    std::string address = "0.0.0.0";       // dotted IPv4 address to listen on
    std::uint16_t port = kActionLinkPort;  // 0: a free port (tests read BoundPort)
    std::size_t maxSessions = kMaxHttpSessions;
    std::size_t maxSessionsPerPeer = kMaxHttpSessionsPerPeer;
    std::int64_t firstByteLimitMs = kHttpFirstByteLimitMs;
    std::int64_t requestTimeLimitMs = kHttpRequestTimeLimitMs;
    std::int64_t lingerMs = kHttpLingerMs;
    std::int64_t bindRetryMs = kHttpBindRetryMs;
};

// The listener's options of the installed service: the defaults, but the port from
// TARVELL_HTTP_PORT (1..65535) when that test-only variable is set. `note` gets the text for
// the service's "Test settings" line (empty when the variable is unset).
HttpListenerOptions ReadHttpListenerOptions(const EnvironmentLookup& lookup, std::string* note);

class CTarvellHttp : public WorkerThread {
public:
    CTarvellHttp(CTarvellFrm& engine, HttpListenerOptions options = {});
    ~CTarvellHttp() override;

    // The port listened on; 0 until the socket listens.
    std::uint16_t BoundPort() const { return boundPort_.load(); }
    // Waits up to ms until the socket listens; true when it does.
    bool WaitUntilListening(std::int64_t ms) const { return listening_.WaitFor(ms); }
    std::size_t ActiveSessions() const { return context_.activeSessions.load(); }
    // The most sessions that ran at once since the start.
    std::size_t PeakSessions() const { return peakSessions_.load(); }
    std::size_t LingeringSessions() const { return context_.lingeringSessions.load(); }
    // Connections closed at once because every slot, or every slot of their peer, was busy.
    std::size_t RefusedConnections() const { return refused_.load(); }
    // Sessions cut off before their request line to give their slot to a newcomer.
    std::size_t EvictedSessions() const { return evicted_.load(); }

protected:
    void Run() override;

private:
    UniqueFd OpenListeningSocket(std::string& why);
    void Serve(int listener);
    void Accepted(UniqueFd socket, const std::string& peer);
    void ReapSessions(bool all);
    bool EvictOldestReader();

    CTarvellFrm& engine_;
    const HttpListenerOptions options_;
    HttpSessionContext context_;
    HttpLog log_;
    std::vector<std::unique_ptr<CTarvellHttpSession>> sessions_;  // listener thread only
    ManualResetEvent listening_;
    std::atomic<std::uint16_t> boundPort_{0};
    std::atomic<std::size_t> peakSessions_{0};
    std::atomic<std::size_t> refused_{0};
    std::atomic<std::size_t> evicted_{0};
    bool refusingLogged_ = false;  // listener thread only
    bool evictingLogged_ = false;  // listener thread only
    // Listener thread only: the peer last logged as refused, logged again a minute later at most.
    std::string peerRefusedLogged_;
    std::chrono::steady_clock::time_point peerRefusedLogAgain_{};
};

}  // namespace tarvell
