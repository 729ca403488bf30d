#include "service/actionlinks/CTarvellHttp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/UniqueFd.h"

namespace tarvell {

namespace {

// How often the accept loop looks at the stop request.
constexpr int kStopPollMs = 200;

std::string ErrnoText(int error) { return std::strerror(error); }

// Errors of accept that concern one connection only, not the listener.
bool IsPassingAcceptError(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR || error == ECONNABORTED ||
           error == EPROTO || error == EPERM;
}

}  // namespace

HttpListenerOptions ReadHttpListenerOptions(const EnvironmentLookup& lookup, std::string* note) {
    HttpListenerOptions options;
    const char* text = lookup ? lookup("TARVELL_HTTP_PORT") : std::getenv("TARVELL_HTTP_PORT");
    if (note) note->clear();
    if (!text || !*text) return options;
    const std::string_view value(text);
    unsigned port = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), port);
    if (ec != std::errc() || end != value.data() + value.size() || port < 1 || port > 65535) {
        if (note) *note = "TARVELL_HTTP_PORT ignored (not a port number 1..65535)";
        return options;
    }
    options.port = static_cast<std::uint16_t>(port);
    if (note) *note = "action-link port " + std::to_string(port);
    return options;
}

CTarvellHttp::CTarvellHttp(CTarvellFrm& engine, HttpListenerOptions options)
    : engine_(engine),
      options_(std::move(options)),
      context_{engine, engine.LinkRequests, std::nullopt},
      log_(engine.ServiceFolder, engine.clock()) {
    context_.requestTimeLimitMs = options_.requestTimeLimitMs;
    context_.firstByteLimitMs = options_.firstByteLimitMs;
    context_.maxSessions = options_.maxSessions;
    context_.maxSessionsPerPeer = options_.maxSessionsPerPeer;
    context_.lingerMs = options_.lingerMs;
}

CTarvellHttp::~CTarvellHttp() {
    StopAndJoin();
    ReapSessions(true);
}

void CTarvellHttp::Run() {
    std::string why;
    context_.secret = LoadOrCreateLinkSecret(engine_.ServiceFolder, &why);
    if (!context_.secret) engine_.Log(why + "; every action link is refused");

    bool bindLogged = false;
    UniqueFd listener;
    while (!StopRequested()) {
        listener = OpenListeningSocket(why);
        if (listener.Valid()) break;
        if (!bindLogged)
            engine_.Log("The action-link listener could not use port " +
                        std::to_string(options_.port) + " (" + why + "); trying again every " +
                        std::to_string(options_.bindRetryMs / 1000) + " s");
        bindLogged = true;
        if (WaitForStop(options_.bindRetryMs)) return;
    }
    if (!listener.Valid()) return;
    if (bindLogged)
        engine_.Log("The action-link listener uses port " + std::to_string(BoundPort()) + " now");
    log_.Started();
    listening_.Set();
    Serve(listener.Get());
    listener.Reset();  // refuses new connections while the sessions are joined
    ReapSessions(true);
}

UniqueFd CTarvellHttp::OpenListeningSocket(std::string& why) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(options_.port);
    if (::inet_pton(AF_INET, options_.address.c_str(), &address.sin_addr) != 1) {
        why = "bad address " + options_.address;
        return UniqueFd();
    }
    UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP));
    const int fd = listener.Get();
    if (fd < 0) {
        why = ErrnoText(errno);
        return UniqueFd();
    }
    const int one = 1;
    socklen_t length = sizeof address;
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, SOMAXCONN) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        why = ErrnoText(errno);
        return UniqueFd();
    }
    boundPort_.store(ntohs(address.sin_port));
    return listener;
}

void CTarvellHttp::Serve(int listener) {
    std::int64_t pauseMs = 0;
    bool acceptLogged = false;
    while (!StopRequested()) {
        pollfd pfd{listener, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, kStopPollMs);
        ReapSessions(false);
        if (ready <= 0) continue;
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        UniqueFd socket(
            ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC));
        if (!socket.Valid()) {
            const int error = errno;
            if (IsPassingAcceptError(error)) continue;
            // Out of descriptors or memory: the waiting connection stays queued, so pause
            // rather than spin on it.
            if (!acceptLogged)
                engine_.Log("Action-link connections could not be accepted (" + ErrnoText(error) +
                            "); trying again after a pause");
            acceptLogged = true;
            pauseMs =
                pauseMs == 0 ? kHttpAcceptPauseMs : std::min(pauseMs * 2, kMaxHttpAcceptPauseMs);
            if (WaitForStop(pauseMs)) return;
            continue;
        }
        pauseMs = 0;
        acceptLogged = false;
        char dotted[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer.sin_addr, dotted, sizeof dotted);
        Accepted(std::move(socket), dotted);
    }
}

// Gives a newcomer the request slot of a session still waiting for its request line: the oldest
// of the address with the most such sessions, so that crowding clients cut off each other before
// anyone else. False when every session holding a slot has its line.
bool CTarvellHttp::EvictOldestReader() {
    for (int attempt = 0; attempt < 3; ++attempt) {  // a chosen one may get its line meanwhile
        std::map<std::string, std::size_t> waiting;
        for (const auto& session : sessions_)
            if (!session->Finished() && session->WaitingForLine()) ++waiting[session->Peer()];
        if (waiting.empty()) return false;
        const auto most = std::max_element(waiting.begin(), waiting.end(),
                                           [](auto& a, auto& b) { return a.second < b.second; });
        for (auto& session : sessions_) {
            if (session->Peer() != most->first || session->Finished() || !session->Evict())
                continue;
            context_.ReleaseSlot(session->Peer());
            ++evicted_;
            if (!evictingLogged_)
                engine_.Log(
                    "Action-link connections that have not sent their request are cut off: " +
                    std::to_string(options_.maxSessions) + " are being served");
            evictingLogged_ = true;
            return true;
        }
    }
    return false;
}

void CTarvellHttp::Accepted(UniqueFd socket, const std::string& peer) {
    HttpSessionContext::Slot slot = context_.TakeSlot(peer);
    if (slot == HttpSessionContext::Slot::AllBusy && EvictOldestReader())
        slot = context_.TakeSlot(peer);
    if (slot != HttpSessionContext::Slot::Taken) {
        socket.Reset();
        ++refused_;
        if (slot == HttpSessionContext::Slot::AllBusy && !refusingLogged_) {
            engine_.Log("Action-link connections are refused: " +
                        std::to_string(options_.maxSessions) + " are being served");
            refusingLogged_ = true;
        } else if (slot == HttpSessionContext::Slot::PeerBusy &&
                   (peerRefusedLogged_ != peer ||
                    std::chrono::steady_clock::now() >= peerRefusedLogAgain_)) {
            peerRefusedLogAgain_ = std::chrono::steady_clock::now() + std::chrono::minutes(1);
            engine_.Log("Action-link connections from " + peer + " are refused: " +
                        std::to_string(options_.maxSessionsPerPeer) + " of its are being served");
            peerRefusedLogged_ = peer;
        }
        return;
    }
    // A refusal is logged again only after the sessions have eased off.
    if (context_.activeSessions.load() < options_.maxSessions / 2)
        refusingLogged_ = evictingLogged_ = false;
    log_.Request(peer);
    const std::size_t active = context_.activeSessions.load();
    std::size_t peak = peakSessions_.load();
    while (active > peak && !peakSessions_.compare_exchange_weak(peak, active)) {
    }
    auto session = std::make_unique<CTarvellHttpSession>(socket.Release(), peer, context_);
    if (!session->Start()) {
        context_.ReleaseSlot(peer);
        engine_.Log("A session of the action-link listener could not be started");
        return;  // the session's destructor closes the socket
    }
    sessions_.push_back(std::move(session));
}

// Joins the sessions that ended (all of them, after asking them to stop, when `all`).
void CTarvellHttp::ReapSessions(bool all) {
    if (all)
        for (auto& session : sessions_) session->RequestStop();
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        if (all || (*it)->Finished()) {
            (*it)->Join();
            it = sessions_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace tarvell
