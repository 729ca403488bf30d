// One connection to the action-link listener: reads the request line, answers it, closes.
//
// The request line is read until its line end, over as many packets as it takes, but at most
// kMaxHttpRequestBytes bytes, its first byte within the first-byte limit and all of it within
// the request time limit; a client that sends too slowly is dropped without a reply. Headers and
// body are never looked at.
//
// Checks, in this order, each answering on its own (status, then the body "Request Failed."):
//   the request line's grammar (400), the method GET or POST in any case (405), the path "/"
//   (404), one of the three link options on (403), Prog exactly "Tarvell" (403), Event a link
//   event key (403), Action None or Delete in any case (403), Key an alert key (403), the
//   installation's secret readable (403), Auth the token of the values (403); then the link not
//   expired, the event it was made for still at its key and the link not used before (403
//   "Request Failed.", logged at most once a minute).
// A GET that passes gets a confirmation page whose button POSTs the same link, so a mail
// scanner that opens links changes nothing. A POST that passes appends
// a LinkRequest to the engine's LinkRequests under EngineLock (the host name of
// the peer with ';', blanks and control characters removed, or its dotted address) and gets
// "Request OK.". A request already queued is not queued twice; when kMaxLinkRequests are
// waiting, the request is refused (503) and that is logged once while it lasts.
//
// Thread: the session runs on its own thread; the listener owns the object, stops it (it sees
// the stop within 100 ms) and joins it. HandleRequest may be called by tests on any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/UniqueFd.h"
#include "platform/WorkerThread.h"
#include "service/actionlinks/LinkToken.h"
#include "service/engine/UsedLinks.h"
#include "service/engine/CTarvellFrm.h"

namespace tarvell {

inline constexpr std::size_t kMaxHttpRequestBytes = 2050;
// A client has this long for the first byte of its request line and this long for all of it.
inline constexpr std::int64_t kHttpFirstByteLimitMs = 2000;
inline constexpr std::int64_t kHttpRequestTimeLimitMs = 5000;
// Sessions of one peer address reading their request line at once.
inline constexpr std::size_t kMaxHttpSessionsPerPeer = 4;
// Sessions that have answered and linger (below) are counted apart from the request slots, up
// to this many; beyond it a lingering session keeps its request slot.
inline constexpr std::size_t kMaxHttpLingeringSessions = 32;
// Requests waiting for the engine's next pass; the pass empties the list every 10 seconds.
inline constexpr std::size_t kMaxLinkRequests = 1000;
// After the reply the session reads and drops what the client still sends (a POST body) for at
// most this long, so that closing with unread bytes does not reset the connection before the
// client has read the reply.
inline constexpr std::int64_t kHttpLingerMs = 2000;
inline constexpr std::size_t kMaxHttpLingerBytes = 64 * 1024;

inline constexpr std::string_view kRequestOk = "Request OK.";
inline constexpr std::string_view kRequestFailed = "Request Failed.";

// What the listener shares with its sessions; it outlives them.
struct HttpSessionContext {
    CTarvellFrm& engine;
    StringList& linkRequests;          // [engine.EngineLock]
    std::optional<LinkSecret> secret;  // set before the first session starts
    std::int64_t firstByteLimitMs = kHttpFirstByteLimitMs;
    std::int64_t requestTimeLimitMs = kHttpRequestTimeLimitMs;
    std::int64_t lingerMs = kHttpLingerMs;
    std::size_t maxSessions = 16;
    std::size_t maxSessionsPerPeer = kMaxHttpSessionsPerPeer;
    std::size_t maxLingering = kMaxHttpLingeringSessions;
    std::atomic<std::size_t> activeSessions{0};     // sessions holding a request slot
    std::atomic<std::size_t> lingeringSessions{0};  // sessions lingering outside the slots
    std::atomic<bool> queueFullLogged{false};
    std::atomic<std::int64_t> refusalLogNext{0};  // engine clock second of the next refusal line
    std::atomic<std::size_t> refusalsNotLogged{0};

    enum class Slot { Taken, AllBusy, PeerBusy };
    // Takes a request slot for `peer` (listener thread); ReleaseSlot gives it back (any thread).
    Slot TakeSlot(const std::string& peer);
    void ReleaseSlot(const std::string& peer);

    std::mutex peersMutex{};
    std::map<std::string, std::size_t> slotsPerPeer{};  // [peersMutex] only peers holding slots
};

class CTarvellHttpSession : public WorkerThread {
public:
    // Takes ownership of the connected socket (closed when the session ends or the object
    // goes); `peer` is the client's dotted IPv4 address.
    CTarvellHttpSession(int socket, std::string peer, HttpSessionContext& context);
    ~CTarvellHttpSession() override;

    // The value of a query parameter of a request target ("/?a=1&b=2"): nothing when the target
    // has no "?" or no item of that exact name (letter case aside); "" for an item without "=";
    // the last of several items wins.
    static std::optional<std::string> GetParameter(std::string_view target, std::string_view name);
    // The whole HTTP response to one request line (without its line end).
    std::string HandleRequest(std::string_view requestLine);

    const std::string& Peer() const { return peer_; }
    // Listener thread: cuts off a session still waiting for its whole request line; the caller
    // then owns the session's request slot (ReleaseSlot) and the session ends within its stop
    // poll without answering. False, and nothing changes, once the session has its line.
    bool Evict();
    bool WaitingForLine() const { return phase_.load() == kReading; }

protected:
    void Run() override;

private:
    enum class ReadResult { Line, TooLong, Nothing };
    ReadResult ReadRequestLine(std::string& line);
    void SendAll(std::string_view bytes);
    void Linger();
    std::string Confirmation(const std::string& event, const std::string& action,
                             const std::string& key, const std::optional<LinkBinding>& binding);
    std::string Refusal(const LinkRequest& link);
    void LogRefusal(const std::string& text);
    std::string Queue(LinkRequest link);
    std::string HostName() const;

    enum Phase : int { kReading, kAnswering, kEvicted };
    std::atomic<int> phase_{kReading};  // kReading until the line is read or the listener evicts
    UniqueFd socket_;
    bool holdsSlot_ = true;
    const std::string peer_;
    HttpSessionContext& context_;
};

// The name the resolver gives for a dotted IPv4 address, cleaned for a request line (';',
// blanks and control characters removed, at most 255 characters); the address itself when
// there is no name.
std::string PeerHostName(const std::string& dotted);

}  // namespace tarvell
