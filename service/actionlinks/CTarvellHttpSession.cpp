#include "service/actionlinks/CTarvellHttpSession.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>

#include "platform/RecursiveLock.h"
#include "platform/Text.h"
#include "service/engine/UsedLinks.h"
#include "platform/http/HttpRequest.h"
#include "platform/http/HttpResponse.h"

namespace tarvell {

namespace {

// The longest wait between two looks at the stop request.
constexpr int kStopPollMs = 100;
constexpr std::size_t kMaxHostNameChars = 255;

using Steady = std::chrono::steady_clock;

std::int64_t MsLeft(Steady::time_point deadline) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now()).count();
}

std::optional<std::int64_t> ParseDecimal(const std::string& text) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string Failed(int status) {
    return http::FormatResponse(status, "text/plain", kRequestFailed,
                                status == 405 ? "Allow: GET, POST\r\n" : std::string_view());
}

bool AnyLinkOptionOn(const CTarvellDoc& doc) {
    return doc.EmailUnblockLink != 0 || doc.EmailDeleteLink != 0 ||
           doc.EmailScheduleDeleteLink != 0;
}

}  // namespace

std::string PeerHostName(const std::string& dotted) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (::inet_pton(AF_INET, dotted.c_str(), &address.sin_addr) != 1) return dotted;
    char name[NI_MAXHOST] = {};
    if (::getnameinfo(reinterpret_cast<const sockaddr*>(&address), sizeof address, name,
                      sizeof name, nullptr, 0, NI_NAMEREQD) != 0)
        return dotted;
    std::string clean;
    for (const char* p = name; *p && clean.size() < kMaxHostNameChars; ++p)
        if (*p > 0x20 && *p < 0x7F && *p != ';') clean += *p;
    return clean.empty() ? dotted : clean;
}

CTarvellHttpSession::CTarvellHttpSession(int socket, std::string peer, HttpSessionContext& context)
    : socket_(socket), peer_(std::move(peer)), context_(context) {}

CTarvellHttpSession::~CTarvellHttpSession() { StopAndJoin(); }

std::optional<std::string> CTarvellHttpSession::GetParameter(std::string_view target,
                                                             std::string_view name) {
    const std::size_t mark = target.find('?');
    if (mark == std::string_view::npos) return std::nullopt;
    return http::QueryParameter(target.substr(mark + 1), name);
}

HttpSessionContext::Slot HttpSessionContext::TakeSlot(const std::string& peer) {
    std::lock_guard<std::mutex> lock(peersMutex);
    const auto it = slotsPerPeer.find(peer);
    if (it != slotsPerPeer.end() && it->second >= maxSessionsPerPeer) return Slot::PeerBusy;
    if (activeSessions.load() >= maxSessions) return Slot::AllBusy;
    ++slotsPerPeer[peer];
    activeSessions.fetch_add(1);
    return Slot::Taken;
}

void HttpSessionContext::ReleaseSlot(const std::string& peer) {
    {
        std::lock_guard<std::mutex> lock(peersMutex);
        const auto it = slotsPerPeer.find(peer);
        if (it != slotsPerPeer.end() && --it->second == 0) slotsPerPeer.erase(it);
    }
    activeSessions.fetch_sub(1);
}

bool CTarvellHttpSession::Evict() {
    int reading = kReading;
    if (!phase_.compare_exchange_strong(reading, kEvicted)) return false;
    RequestStop();
    return true;
}

void CTarvellHttpSession::Run() {
    std::string line;
    ReadResult read = ReadRequestLine(line);
    int reading = kReading;
    if (!phase_.compare_exchange_strong(reading, kAnswering)) {
        // Cut off by the listener, which took the request slot back for a newcomer.
        holdsSlot_ = false;
        read = ReadResult::Nothing;
    }
    if (read != ReadResult::Nothing) {
        SendAll(read == ReadResult::Line ? HandleRequest(line) : Failed(400));
        // The answer is out: the slot is free for the next request while this one lingers.
        const bool apart = context_.lingeringSessions.fetch_add(1) < context_.maxLingering;
        if (apart) {
            context_.ReleaseSlot(peer_);
            holdsSlot_ = false;
        } else {
            context_.lingeringSessions.fetch_sub(1);
        }
        Linger();
        if (apart) context_.lingeringSessions.fetch_sub(1);
    }
    socket_.Reset();
    if (holdsSlot_) context_.ReleaseSlot(peer_);
    holdsSlot_ = false;
}

CTarvellHttpSession::ReadResult CTarvellHttpSession::ReadRequestLine(std::string& line) {
    http::RequestLineReader reader(kMaxHttpRequestBytes);
    const Steady::time_point start = Steady::now();
    const Steady::time_point deadline =
        start + std::chrono::milliseconds(context_.requestTimeLimitMs);
    const Steady::time_point firstByte =
        std::min(deadline, start + std::chrono::milliseconds(context_.firstByteLimitMs));
    bool any = false;
    char buffer[kMaxHttpRequestBytes];
    while (!StopRequested()) {
        const std::int64_t left = MsLeft(any ? deadline : firstByte);
        if (left <= 0) return ReadResult::Nothing;
        pollfd pfd{socket_.Get(), POLLIN, 0};
        const int ready =
            ::poll(&pfd, 1, static_cast<int>(std::min<std::int64_t>(left, kStopPollMs)));
        if (ready < 0 && errno != EINTR) return ReadResult::Nothing;
        if (ready <= 0) continue;
        const ssize_t n = ::recv(socket_.Get(), buffer, std::min(sizeof buffer, reader.Room()), 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return ReadResult::Nothing;  // closed or reset before a whole line
        any = true;
        switch (reader.Feed(std::string_view(buffer, static_cast<std::size_t>(n)))) {
            case http::LineStatus::Complete:
                line = std::string(reader.Line());
                return ReadResult::Line;
            case http::LineStatus::TooLong: return ReadResult::TooLong;
            case http::LineStatus::NeedMore: break;
        }
    }
    return ReadResult::Nothing;
}

// The reply is a few hundred bytes and fits the socket's buffer; a client that does not read
// it holds the session at most for the time limit.
void CTarvellHttpSession::SendAll(std::string_view bytes) {
    const Steady::time_point deadline =
        Steady::now() + std::chrono::milliseconds(context_.requestTimeLimitMs);
    while (!bytes.empty() && !StopRequested() && MsLeft(deadline) > 0) {
        const ssize_t n =
            ::send(socket_.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return;
        pollfd pfd{socket_.Get(), POLLOUT, 0};
        ::poll(&pfd, 1, kStopPollMs);
    }
}

// Ends our side, then drops what the client still sends until it closes, for a short while.
void CTarvellHttpSession::Linger() {
    if (::shutdown(socket_.Get(), SHUT_WR) != 0) return;
    const Steady::time_point deadline =
        Steady::now() + std::chrono::milliseconds(context_.lingerMs);
    std::size_t dropped = 0;
    char buffer[4096];
    while (!StopRequested() && dropped < kMaxHttpLingerBytes) {
        const std::int64_t left = MsLeft(deadline);
        if (left <= 0) return;
        pollfd pfd{socket_.Get(), POLLIN, 0};
        const int ready =
            ::poll(&pfd, 1, static_cast<int>(std::min<std::int64_t>(left, kStopPollMs)));
        if (ready < 0 && errno != EINTR) return;
        if (ready <= 0) continue;
        const ssize_t n = ::recv(socket_.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return;
        dropped += static_cast<std::size_t>(n);
    }
}

std::string CTarvellHttpSession::HandleRequest(std::string_view requestLine) {
    const std::optional<http::RequestLine> request = http::ParseRequestLine(requestLine);
    if (!request) return Failed(400);
    const bool post = EqualsNoCase(request->method, "POST");
    if (!post && !EqualsNoCase(request->method, "GET")) return Failed(405);
    if (request->path != "/") return Failed(404);

    const std::shared_ptr<const CTarvellDoc> settings = context_.engine.Settings();
    if (!settings || !AnyLinkOptionOn(*settings)) return Failed(403);

    const std::string prog = GetParameter(request->target, "Prog").value_or("");
    const std::string event = GetParameter(request->target, "Event").value_or("");
    const std::string action = GetParameter(request->target, "Action").value_or("");
    const std::string key = GetParameter(request->target, "Key").value_or("");
    const std::string auth = GetParameter(request->target, "Auth").value_or("");
    const std::optional<std::string> date = GetParameter(request->target, "Date");
    if (prog != kLinkProgram) return Failed(403);
    if (!IsLinkEvent(event)) return Failed(403);
    const std::optional<std::string> word = CanonicalLinkAction(action);
    if (!word) return Failed(403);
    if (!IsLinkAlertKey(key)) return Failed(403);
    if (!context_.secret) return Failed(403);

    LinkRequest link{event, *word, "", "", auth, 0, ""};
    std::optional<LinkBinding> binding;
    if (date) {
        // A link of this version: bound to its event, with its expiry.
        const std::optional<std::int64_t> until =
            ParseDecimal(GetParameter(request->target, "Until").value_or(""));
        binding = LinkBinding{*date, GetParameter(request->target, "Mac").value_or(""),
                              until.value_or(-1)};
        if (!until || !IsLinkBinding(*binding)) return Failed(403);
        if (!CheckLinkToken(*context_.secret, event, *word, key, *binding, auth))
            return Failed(403);
        link.date = binding->dateKey;
        link.mac = binding->mac;
        link.until = binding->until;
    } else {
        // A link mailed before links were bound: good for an event no later than its alert.
        if (!CheckLinkToken(*context_.secret, event, *word, key, auth)) return Failed(403);
        const std::optional<std::int64_t> second = ParseDecimal(key.substr(0, key.find('.')));
        if (!second) return Failed(403);
        link.date = "<=" + std::to_string(*second);
        link.until = *second + kLinkLifeSeconds;
    }
    if (const std::string why = Refusal(link); !why.empty()) {
        LogRefusal("An action link for " + event + " was refused: " + why);
        return Failed(403);
    }
    return post ? Queue(link) : Confirmation(event, *word, key, binding);
}

// Why the engine would not carry the link out now; empty when it would.
std::string CTarvellHttpSession::Refusal(const LinkRequest& link) {
    if (context_.engine.clock().Now() > link.until) return "it has expired";
    RecursiveGuard lock(context_.engine.EngineLock);
    const auto it = context_.engine.EventMap.find(link.event);
    // A request for a port without an event is queued as ever: the pass drops it.
    if (it == context_.engine.EventMap.end()) return std::string();
    if (!LinkNamesEvent(link, *it->second)) return "the port holds a later event";
    if (context_.engine.UsedActionLinks().Contains(link.token)) return "it was used before";
    return std::string();
}

// At most one line a minute, with the number of refusals left out.
void CTarvellHttpSession::LogRefusal(const std::string& text) {
    const std::int64_t now = context_.engine.clock().Now();
    std::int64_t next = context_.refusalLogNext.load();
    if (now < next || !context_.refusalLogNext.compare_exchange_strong(next, now + 60)) {
        context_.refusalsNotLogged.fetch_add(1);
        return;
    }
    const std::size_t more = context_.refusalsNotLogged.exchange(0);
    context_.engine.Log(more == 0 ? text
                                  : text + " (" + std::to_string(more) +
                                        " more refused since the last such line)");
}

std::string CTarvellHttpSession::Confirmation(const std::string& event, const std::string& action,
                                              const std::string& key,
                                              const std::optional<LinkBinding>& binding) {
    const bool remove = action == "Delete";
    const std::string link = binding ? MakeLinkQuery(*context_.secret, event, action, key, *binding)
                                     : MakeLinkQuery(*context_.secret, event, action, key);
    std::string page =
        "<!DOCTYPE html>\r\n"
        "<html><head><meta charset=\"utf-8\"><title>Tarvell</title></head>\r\n"
        "<body style=\"font:normal normal normal 10pt arial\">\r\n"
        "<p>" +
        std::string(remove ? "Unblock the port and delete the event "
                           : "Unblock the port of the event ") +
        http::EscapeHtml(event) +
        "?</p>\r\n"
        "<form method=\"post\" action=\"/" +
        http::EscapeHtml(link) +
        "\">"
        "<button type=\"submit\">" +
        (remove ? "Unblock &amp; Delete" : "Unblock Only") +
        "</button>"
        "</form>\r\n"
        "</body></html>\r\n";
    return http::FormatResponse(200, "text/html; charset=utf-8", page);
}

std::string CTarvellHttpSession::Queue(LinkRequest link) {
    // The name is looked up before the lock is taken: a resolver may take seconds.
    link.host = HostName();
    const std::string entry = link.Format();
    bool full = false;
    {
        RecursiveGuard lock(context_.engine.EngineLock);
        StringList& list = context_.linkRequests;
        if (std::find(list.begin(), list.end(), entry) == list.end()) {
            if (list.size() >= kMaxLinkRequests) full = true;
            else list.push_back(entry);
        }
    }
    if (full) {
        if (!context_.queueFullLogged.exchange(true))
            context_.engine.Log(
                "Action-link requests could not be queued (" + std::to_string(kMaxLinkRequests) +
                " are waiting for the engine); further requests are refused until it takes them");
        return Failed(503);
    }
    context_.queueFullLogged.store(false);
    return http::FormatResponse(200, "text/plain", kRequestOk);
}

std::string CTarvellHttpSession::HostName() const { return PeerHostName(peer_); }

}  // namespace tarvell
