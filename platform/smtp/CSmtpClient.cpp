#include "platform/smtp/CSmtpClient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/Text.h"
#include "platform/WorkerThread.h"
#include "platform/smtp/Base64.h"
#include "platform/smtp/MD5.h"

namespace tarvell::smtp {

namespace {

using Clock = std::chrono::steady_clock;

// A DIGEST-MD5 challenge is a few short directives; anything longer is not one.
constexpr std::size_t kMaxChallengeBytes = 4096;
// RFC 1035: a host name is at most 255 characters.
constexpr std::size_t kMaxHostName = 255;
constexpr std::size_t kReadPiece = 16 * 1024;

std::string ErrnoText(int error) { return std::strerror(error); }

// The longest wait between two looks at a stop event that has no descriptor to poll.
constexpr long long kStopLookMs = 100;

enum WaitEnd { kReady, kTimedOut, kStopped, kPollFailed };

bool AnySet(const std::vector<const ManualResetEvent*>& stops) {
    for (const ManualResetEvent* stop : stops)
        if (stop->IsSet()) return true;
    return false;
}

// Waits until `fd` can take `events` (POLLIN / POLLOUT), the deadline passes or a stop event is
// set. The stop events are polled beside the socket, so a stop ends the wait at once.
WaitEnd WaitFor(int fd, short events, Clock::time_point deadline,
                const std::vector<const ManualResetEvent*>& stops) {
    std::vector<pollfd> polled{{fd, events, 0}};
    bool look = false;  // a stop event without a descriptor: look at it now and then
    for (const ManualResetEvent* stop : stops) {
        const int stopFd = stop->PollFd();
        if (stopFd >= 0) polled.push_back({stopFd, POLLIN, 0});
        else look = true;
    }
    while (true) {
        if (AnySet(stops)) return kStopped;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return kTimedOut;
        const long long wait = look ? std::min<long long>(left.count(), kStopLookMs) : left.count();
        for (pollfd& p : polled) p.revents = 0;
        const int n = ::poll(polled.data(), polled.size(),
                             static_cast<int>(std::min<long long>(wait, 24LL * 3600 * 1000)));
        if (n < 0 && errno != EINTR) return kPollFailed;
        if (n <= 0) continue;
        for (std::size_t i = 1; i < polled.size(); ++i)
            if (polled[i].revents) return kStopped;
        // Readiness or an error condition: the next call tells which.
        if (polled[0].revents) return kReady;
    }
}

bool IsAddressLiteral(const std::string& host) {
    in6_addr a6;
    in_addr a4;
    return ::inet_pton(AF_INET, host.c_str(), &a4) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), &a6) == 1;
}

// Name look-ups running now, each on a thread of its own (below).
std::atomic<int> runningLookups{0};

// What a look-up's thread and its caller share; the last of the two to let go frees it.
struct Lookup {
    ManualResetEvent finished;
    std::mutex mutex;
    bool done = false;          // [mutex] rc and found hold the resolver's answer
    bool abandoned = false;     // [mutex] the caller left; the thread frees `found`
    int rc = EAI_AGAIN;         // [mutex]
    addrinfo* found = nullptr;  // [mutex]
};

// How a look-up ended that gave no answer of the resolver's.
enum LookupEnd { kAnswered, kLookupStopped, kLookupTimedOut, kTooManyLookups, kNoLookupThread };

const char* LookupEndText(LookupEnd end) {
    switch (end) {
        case kLookupStopped: return "stopped";
        case kLookupTimedOut: return "timed out";
        case kTooManyLookups: return "too many name look-ups are still under way";
        case kNoLookupThread: return "no thread could be started for it";
        case kAnswered: break;
    }
    return "";
}

// getaddrinfo on a thread of its own: the resolver cannot be interrupted, and a stop must not
// wait for a name server that does not answer. The caller gives up at a stop or the deadline
// and the look-up's thread frees its result alone when it ends. The resolver's code when it
// answered (kAnswered), else EAI_AGAIN and why in `end`.
int GetAddrInfo(const std::string& name, const std::string& service, const addrinfo& hints,
                addrinfo** out, Clock::time_point deadline,
                const std::vector<const ManualResetEvent*>& stops, LookupEnd* end) {
    *end = kAnswered;
    if (IsAddressLiteral(name)) {  // nothing to ask a name server: no thread
        addrinfo numeric = hints;
        numeric.ai_flags |= AI_NUMERICHOST;
        return ::getaddrinfo(name.c_str(), service.empty() ? nullptr : service.c_str(), &numeric,
                             out);
    }
    *end = kTooManyLookups;
    if (runningLookups.fetch_add(1) >= kMaxNameLookups) {
        runningLookups.fetch_sub(1);
        return EAI_AGAIN;
    }
    auto lookup = std::make_shared<Lookup>();
    try {
        StartNamedThread("Name look-up", [lookup, name, service, hints] {
            addrinfo* found = nullptr;
            const int rc = ::getaddrinfo(name.c_str(), service.empty() ? nullptr : service.c_str(),
                                         &hints, &found);
            {
                std::lock_guard<std::mutex> guard(lookup->mutex);
                if (lookup->abandoned) {
                    if (rc == 0) ::freeaddrinfo(found);
                } else {
                    lookup->rc = rc;
                    lookup->found = rc == 0 ? found : nullptr;
                    lookup->done = true;
                }
            }
            lookup->finished.Set();
            runningLookups.fetch_sub(1);
        }).detach();
    } catch (const std::system_error&) {
        // No thread: the mail waits for a later try rather than for a resolver that may hang.
        runningLookups.fetch_sub(1);
        *end = kNoLookupThread;
        return EAI_AGAIN;
    }
    const int doneFd = lookup->finished.PollFd();
    WaitEnd waited = kTimedOut;
    if (doneFd >= 0) {
        waited = WaitFor(doneFd, POLLIN, deadline, stops);
    } else {
        while (!lookup->finished.WaitFor(kStopLookMs) && !AnySet(stops) &&
               Clock::now() < deadline) {
        }
        waited = lookup->finished.IsSet() ? kReady : AnySet(stops) ? kStopped : kTimedOut;
    }
    std::lock_guard<std::mutex> guard(lookup->mutex);
    if (!lookup->done || waited == kStopped) {
        if (lookup->found) ::freeaddrinfo(lookup->found);
        lookup->found = nullptr;
        lookup->abandoned = true;
        *end = waited == kStopped ? kLookupStopped : kLookupTimedOut;
        return EAI_AGAIN;
    }
    *end = kAnswered;
    *out = lookup->found;
    lookup->found = nullptr;
    return lookup->rc;
}

std::string OpenSslError() {
    const unsigned long e = ERR_get_error();
    ERR_clear_error();
    if (!e) return "the connection was closed";
    char text[256];
    ERR_error_string_n(e, text, sizeof text);
    return text;
}

bool IsHostNameText(const std::string& name) {
    if (name.empty() || name.size() > kMaxHostName) return false;
    for (const char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '-' || c == '.'))
            return false;
    return true;
}

std::string SocketAddressText(const sockaddr_storage& addr) {
    char text[INET6_ADDRSTRLEN] = {};
    if (addr.ss_family == AF_INET)
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(addr).sin_addr, text,
                    sizeof text);
    else if (addr.ss_family == AF_INET6)
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(addr).sin6_addr, text,
                    sizeof text);
    return text;
}

// The name this host gives in EHLO: its canonical name when the resolver knows one, else its
// own name; an address literal of the local end when neither is a plain host name.
std::string LocalHostName(int socket, Clock::time_point deadline,
                          const std::vector<const ManualResetEvent*>& stops) {
    char name[kMaxHostName + 5] = {};
    std::string host;
    if (::gethostname(name, sizeof name - 1) == 0) {
        host = name;
        addrinfo hints{};
        hints.ai_flags = AI_CANONNAME;
        addrinfo* found = nullptr;
        LookupEnd end = kAnswered;
        if (GetAddrInfo(name, "", hints, &found, deadline, stops, &end) == 0) {
            if (found && found->ai_canonname && IsHostNameText(found->ai_canonname))
                host = found->ai_canonname;
            ::freeaddrinfo(found);
        }
    }
    if (IsHostNameText(host)) return host;
    sockaddr_storage local{};
    socklen_t len = sizeof local;
    if (::getsockname(socket, reinterpret_cast<sockaddr*>(&local), &len) == 0) {
        if (local.ss_family == AF_INET6) return "[IPv6:" + SocketAddressText(local) + "]";
        return "[" + SocketAddressText(local) + "]";
    }
    return "localhost";
}

// Text for an address in MAIL FROM and RCPT TO: no line end can reach the command stream.
std::string CommandAddress(const std::string& address) { return CleanHeaderValue(address); }

std::string QuoteDirective(const std::string& value) {
    std::string out = "\"";
    for (const char c : value) {
        if (c == '"' || c == '\\') out.push_back('\\');
        out.push_back(c);
    }
    return out + "\"";
}

bool HasToken(const std::string& list, std::string_view token) {
    for (const std::string& t : SplitAny(list, ", \t"))
        if (EqualsNoCase(t, token)) return true;
    return false;
}

// The text after the reply code of a 334 line: "334 <Base64>".
std::string ChallengeOf(const SmtpReply& reply) {
    return reply.text.size() > 4 ? Base64Decode(std::string_view(reply.text).substr(4))
                                 : std::string();
}

}  // namespace

const char* SendStatusName(SendStatus status) {
    switch (status) {
        case SendStatus::Delivered: return "delivered";
        case SendStatus::RetryLater: return "retry later";
        case SendStatus::Rejected: return "rejected";
    }
    return "?";
}

std::optional<SmtpSettings> SmtpSettingsFromTexts(
    const std::string& server, const std::string& port, const std::string& security,
    const std::string& user, const std::string& password, const std::string& sender,
    const std::string& timeoutMinutes, std::string* error) {
    SmtpSettings s;
    s.server = server;
    s.security = security;
    s.user = user;
    s.password = password;
    s.sender = sender;
    const std::string portText = Trim(port, " \t");
    const std::int64_t portValue = portText.empty() ? 25 : AtoL(portText);
    bool digits = true;
    for (const char c : portText) digits = digits && c >= '0' && c <= '9';
    if (!digits || portValue < 1 || portValue > 65535) {
        if (error)
            *error = "the port \"" + ReplyForLog(port, 20) + "\" is not a number from 1 to 65535";
        return std::nullopt;
    }
    s.port = static_cast<std::uint16_t>(portValue);
    std::int64_t minutes = AtoL(timeoutMinutes);
    if (minutes <= 0) minutes = 1;
    if (minutes > 65535) minutes = 65535;
    s.timeout = std::chrono::minutes(minutes);
    return s;
}

CSmtpClient::CSmtpClient() = default;

CSmtpClient::~CSmtpClient() { Disconnect(); }

bool CSmtpClient::Fail(SendStatus status, std::string reason) {
    result_.status = status;
    result_.reason = std::move(reason);
    return false;
}

bool CSmtpClient::Stopping() const { return AnySet(stops_); }

bool CSmtpClient::WaitFailed(int end, const std::string& what) {
    broken_ = true;
    switch (end) {
        case kStopped: return Fail(SendStatus::RetryLater, what + " (stopped)");
        case kPollFailed: return Fail(SendStatus::RetryLater, what + " (" + ErrnoText(errno) + ")");
        default: return Fail(SendStatus::RetryLater, what + " (timed out)");
    }
}

bool CSmtpClient::FailOnReply(const char* step, const SmtpReply& reply) {
    const SendStatus status =
        (reply.code >= 400 && reply.code < 500) ? SendStatus::RetryLater : SendStatus::Rejected;
    return Fail(status, std::string(step) + " was answered \"" + ReplyForLog(reply.text) + "\"");
}

SendResult CSmtpClient::SendMail(const SmtpSettings& settings, const std::string& address,
                                 const std::string& subject, const std::string& body, bool html,
                                 bool utf8) {
    MailContent mail;
    mail.recipients = {utf8 ? address : Cp1252ToUtf8(address)};
    mail.subject = utf8 ? subject : Cp1252ToUtf8(subject);
    mail.body = utf8 ? body : Cp1252ToUtf8(body);
    mail.html = html;
    SmtpSettings s = settings;
    if (!utf8) s.sender = Cp1252ToUtf8(s.sender);
    return SendMail(s, std::move(mail));
}

SendResult CSmtpClient::SendMail(const SmtpSettings& settings, MailContent mail) {
    result_ = SendResult{};
    mail.sender = settings.sender;
    if (Connect(settings)) SendMessage(mail);
    Disconnect();
    return result_;
}

Clock::time_point CSmtpClient::WaitDeadline() const {
    return std::min(Clock::now() + settings_.timeout, dialogueDeadline_);
}

bool CSmtpClient::Connect(const SmtpSettings& settings) {
    Disconnect();
    settings_ = settings;
    dialogueDeadline_ = Clock::now() + std::max(settings_.dialogueLimit, settings_.timeout);
    result_ = SendResult{};
    mechanism_.clear();
    if (settings_.security != "" && settings_.security != "SSL" && settings_.security != "TLS")
        return Fail(SendStatus::Rejected, "the security setting \"" +
                                              ReplyForLog(settings_.security, 40) +
                                              "\" is not known (empty, \"SSL\" or \"TLS\")");
    if (settings_.server.empty()) return Fail(SendStatus::Rejected, "no mail server is set");
    if (Stopping()) return WaitFailed(kStopped, "no connection was tried");
    if (!ConnectSocket()) return false;
    if (settings_.security == "SSL" && !Handshake()) return false;
    if (!Expect(220, "the greeting")) return false;
    if (!SendEhlo()) return false;
    if (settings_.security == "TLS" && !StartTls()) return false;
    return Authenticate();
}

bool CSmtpClient::ConnectSocket() {
    const std::string where = settings_.server + ":" + std::to_string(settings_.port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const Clock::time_point deadline = WaitDeadline();
    LookupEnd end = kAnswered;
    const int rc = GetAddrInfo(settings_.server, std::to_string(settings_.port), hints, &found,
                               deadline, stops_, &end);
    if (end != kAnswered) {
        broken_ = true;
        return Fail(SendStatus::RetryLater, "the look-up of the mail server " +
                                                ReplyForLog(settings_.server, 100) + " (" +
                                                LookupEndText(end) + ")");
    }
    if (rc != 0)
        return Fail(SendStatus::RetryLater, "the mail server " +
                                                ReplyForLog(settings_.server, 100) +
                                                " could not be found (" + ::gai_strerror(rc) + ")");
    std::string why = "no address";
    for (addrinfo* a = found; a; a = a->ai_next) {
        UniqueFd candidate(
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
        const int fd = candidate.Get();
        if (fd < 0) {
            why = ErrnoText(errno);
            continue;
        }
        int error = 0;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            error = errno;
            if (error == EINPROGRESS) {
                const WaitEnd end = WaitFor(fd, POLLOUT, deadline, stops_);
                if (end == kStopped) {
                    ::freeaddrinfo(found);
                    return WaitFailed(end, "the connection to " + ReplyForLog(where, 120));
                }
                if (end != kReady) {
                    error = end == kPollFailed ? errno : ETIMEDOUT;
                } else {
                    socklen_t len = sizeof error;
                    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) error = errno;
                }
            }
        }
        if (error == 0) {
            socket_ = std::move(candidate);
            ::freeaddrinfo(found);
            return true;
        }
        why = ErrnoText(error);
        if (Clock::now() >= deadline) break;
    }
    ::freeaddrinfo(found);
    broken_ = true;
    return Fail(SendStatus::RetryLater,
                "no connection to " + ReplyForLog(where, 120) + " (" + why + ")");
}

bool CSmtpClient::Handshake() {
    if (!context_) {
        context_ = SSL_CTX_new(TLS_client_method());
        if (!context_)
            return Fail(SendStatus::RetryLater, "TLS could not be set up (" + OpenSslError() + ")");
        SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, nullptr);
        SSL_CTX_set_default_verify_paths(context_);
        struct stat st {};
        if (!settings_.caFile.empty() && ::stat(settings_.caFile.c_str(), &st) == 0 &&
            SSL_CTX_load_verify_locations(context_, settings_.caFile.c_str(), nullptr) != 1)
            return Fail(SendStatus::RetryLater, "the CA file " + settings_.caFile +
                                                    " could not be read (" + OpenSslError() + ")");
    }
    tls_ = SSL_new(context_);
    if (!tls_ || SSL_set_fd(tls_, socket_.Get()) != 1)
        return Fail(SendStatus::RetryLater, "TLS could not be set up (" + OpenSslError() + ")");
    SSL_set_mode(tls_, SSL_MODE_AUTO_RETRY | SSL_MODE_ENABLE_PARTIAL_WRITE |
                           SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (IsAddressLiteral(settings_.server)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(tls_), settings_.server.c_str());
    } else {
        SSL_set_tlsext_host_name(tls_, settings_.server.c_str());
        SSL_set1_host(tls_, settings_.server.c_str());
    }
    const Clock::time_point deadline = WaitDeadline();
    while (true) {
        ERR_clear_error();
        const int rc = SSL_connect(tls_);
        if (rc == 1) return true;
        const int error = SSL_get_error(tls_, rc);
        short events = 0;
        if (error == SSL_ERROR_WANT_READ) events = POLLIN;
        else if (error == SSL_ERROR_WANT_WRITE) events = POLLOUT;
        if (events) {
            const WaitEnd end = WaitFor(socket_.Get(), events, deadline, stops_);
            if (end == kReady) continue;
            return WaitFailed(end, "the TLS handshake");
        }
        broken_ = true;
        const long verify = SSL_get_verify_result(tls_);
        if (verify != X509_V_OK)
            return Fail(SendStatus::RetryLater,
                        "the certificate of " + ReplyForLog(settings_.server, 100) +
                            " is not trusted (" + X509_verify_cert_error_string(verify) + ")");
        const int saved = errno;
        std::string why = OpenSslError();
        if (error == SSL_ERROR_SYSCALL && saved) why = ErrnoText(saved);
        return Fail(SendStatus::RetryLater, "the TLS handshake failed (" + why + ")");
    }
}

bool CSmtpClient::StartTls() {
    if (!ReplyContains(lastEhlo_.text, "STARTTLS"))
        return Fail(SendStatus::Rejected, "the server does not offer STARTTLS");
    if (!Command("STARTTLS\r\n", 220, "STARTTLS")) return false;
    // Anything the server sent after its 220 came unencrypted and could have been put there
    // by someone on the way; it must not be read as the answer to a command sent under TLS.
    if (parser_.Pending() != 0) {
        broken_ = true;
        return Fail(SendStatus::RetryLater, "the server sent data before the TLS handshake");
    }
    if (!Handshake()) {
        broken_ = true;  // half in TLS: nothing more can be said in clear text
        return false;
    }
    return SendEhlo();
}

bool CSmtpClient::SendEhlo() {
    SmtpReply reply;
    const bool ok = Command("EHLO " + LocalHostName(socket_.Get(), WaitDeadline(), stops_) + "\r\n",
                            250, "EHLO", &reply);
    greeted_ = true;
    lastEhlo_ = reply;
    return ok;
}

void CSmtpClient::SendQuit() {
    const SendResult kept = result_;
    Command("QUIT\r\n", 221, "QUIT");
    result_ = kept;
}

bool CSmtpClient::Authenticate() {
    if (settings_.user.empty() || settings_.password.empty()) return true;
    const std::string& ehlo = lastEhlo_.text;
    if (!ReplyContains(ehlo, "AUTH")) return true;
    // The first the server offers, in this order; a failure in it is not followed by another.
    static const std::pair<const char*, bool (CSmtpClient::*)()> kMechanisms[] = {
        {"LOGIN", &CSmtpClient::AuthLogin},
        {"PLAIN", &CSmtpClient::AuthPlain},
        {"CRAM-MD5", &CSmtpClient::AuthCramMd5},
        {"DIGEST-MD5", &CSmtpClient::AuthDigestMd5},
    };
    for (const auto& [name, run] : kMechanisms) {
        if (!ReplyContains(ehlo, name)) continue;
        mechanism_ = name;
        return (this->*run)();
    }
    return true;
}

bool CSmtpClient::AuthLogin() {
    return Command("AUTH LOGIN\r\n", 334, "AUTH LOGIN") &&
           Command(Base64Encode(settings_.user) + "\r\n", 334, "the user name") &&
           Command(Base64Encode(settings_.password) + "\r\n", 235, "the password");
}

bool CSmtpClient::AuthPlain() {
    std::string token = settings_.user;
    token.push_back('\0');
    token += settings_.user;
    token.push_back('\0');
    token += settings_.password;
    return Command("AUTH PLAIN " + Base64Encode(token) + "\r\n", 235, "AUTH PLAIN");
}

bool CSmtpClient::AuthCramMd5() {
    SmtpReply reply;
    if (!Command("AUTH CRAM-MD5\r\n", 334, "AUTH CRAM-MD5", &reply)) return false;
    const MD5::Digest mac = HmacMd5(settings_.password, ChallengeOf(reply));
    const std::string response = settings_.user + " " + ToHex(mac.data(), mac.size());
    return Command(Base64Encode(response) + "\r\n", 235, "the CRAM-MD5 response");
}

bool CSmtpClient::AuthDigestMd5() {
    SmtpReply reply;
    if (!Command("AUTH DIGEST-MD5\r\n", 334, "AUTH DIGEST-MD5", &reply)) return false;
    const std::string challenge = ChallengeOf(reply);
    const auto directives =
        challenge.size() <= kMaxChallengeBytes ? ParseDigestChallenge(challenge) : std::nullopt;
    const auto nonce = directives ? directives->find("nonce") : decltype(directives->find("")){};
    if (!directives || nonce == directives->end() || nonce->second.empty())
        return Fail(SendStatus::Rejected,
                    "the DIGEST-MD5 challenge of the server could not be read");
    if (const auto qop = directives->find("qop");
        qop != directives->end() && !HasToken(qop->second, "auth"))
        return Fail(SendStatus::Rejected, "the server offers no DIGEST-MD5 protection \"auth\"");
    const auto realmIt = directives->find("realm");
    const std::string realm = realmIt == directives->end() ? std::string() : realmIt->second;

    sockaddr_storage peer{};
    socklen_t len = sizeof peer;
    if (::getpeername(socket_.Get(), reinterpret_cast<sockaddr*>(&peer), &len) != 0) {
        broken_ = true;
        return Fail(SendStatus::RetryLater, "the connection was lost (" + ErrnoText(errno) + ")");
    }
    std::uint8_t random[16];
    if (RAND_bytes(random, sizeof random) != 1)
        return Fail(SendStatus::RetryLater, "no random client nonce could be made");
    const std::string cnonce = ToHex(random, sizeof random);
    const std::string nc = "00000001";
    const std::string qop = "auth";
    const std::string digestUri = "smtp/" + SocketAddressText(peer);

    const MD5::Digest secret = MD5::Raw(settings_.user + ":" + realm + ":" + settings_.password);
    const std::string ha1 =
        MD5::Hex(std::string(secret.begin(), secret.end()) + ":" + nonce->second + ":" + cnonce);
    const std::string ha2 = MD5::Hex("AUTHENTICATE:" + digestUri);
    const std::string response =
        MD5::Hex(ha1 + ":" + nonce->second + ":" + nc + ":" + cnonce + ":" + qop + ":" + ha2);

    std::string answer = "charset=utf-8,username=" + QuoteDirective(settings_.user);
    if (!realm.empty()) answer += ",realm=" + QuoteDirective(realm);
    answer += ",nonce=" + QuoteDirective(nonce->second);
    answer += ",nc=" + nc;
    answer += ",cnonce=" + QuoteDirective(cnonce);
    answer += ",digest-uri=" + QuoteDirective(digestUri);
    answer += ",response=" + response;
    answer += ",qop=" + qop;
    return Command(Base64Encode(answer) + "\r\n", 334, "the DIGEST-MD5 response") &&
           Command("\r\n", 235, "the DIGEST-MD5 confirmation");
}

bool CSmtpClient::SendMessage(const MailContent& mail) {
    if (mail.sender.empty()) return Fail(SendStatus::Rejected, "no sender address is set");
    if (mail.recipients.empty()) return Fail(SendStatus::Rejected, "no recipient address is given");
    if (!Command("MAIL FROM:<" + CommandAddress(mail.sender) + ">\r\n", 250, "MAIL FROM"))
        return false;
    for (const std::string& to : mail.recipients)
        if (!Command("RCPT TO:<" + CommandAddress(to) + ">\r\n", 250, "RCPT TO")) return false;
    if (!Command("DATA\r\n", 354, "DATA")) return false;
    if (!Send(FormatMessageData(mail, static_cast<std::int64_t>(std::time(nullptr))))) return false;
    if (!Expect(250, "the end of the data")) return false;
    result_ = SendResult{SendStatus::Delivered, {}};
    return true;
}

void CSmtpClient::Disconnect() {
    if (socket_.Valid() && greeted_ && !broken_) SendQuit();
    if (tls_) {
        // One close_notify, not waiting for the server's: the socket closes next.
        if (!broken_) SSL_shutdown(tls_);
        SSL_free(tls_);
        tls_ = nullptr;
    }
    socket_.Reset();
    if (context_) SSL_CTX_free(context_);
    context_ = nullptr;
    ERR_clear_error();
    greeted_ = false;
    broken_ = false;
    parser_.Clear();
    lastEhlo_ = SmtpReply{};
}

bool CSmtpClient::Send(std::string_view bytes) {
    if (!socket_.Valid() || broken_)
        return Fail(SendStatus::RetryLater, "the connection is closed");
    if (Stopping()) return WaitFailed(kStopped, "sending to the server");
    Clock::time_point deadline = WaitDeadline();
    while (!bytes.empty()) {
        short wait = 0;
        if (tls_) {
            ERR_clear_error();
            std::size_t written = 0;
            const int rc = SSL_write_ex(tls_, bytes.data(), bytes.size(), &written);
            if (rc == 1) {
                bytes.remove_prefix(written);
                deadline = WaitDeadline();
                continue;
            }
            const int error = SSL_get_error(tls_, rc);
            if (error == SSL_ERROR_WANT_WRITE) wait = POLLOUT;
            else if (error == SSL_ERROR_WANT_READ) wait = POLLIN;
            else {
                broken_ = true;
                return Fail(SendStatus::RetryLater,
                            "the connection was lost while sending (" + OpenSslError() + ")");
            }
        } else {
            const ssize_t n = ::send(socket_.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(n));
                deadline = WaitDeadline();
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) wait = POLLOUT;
            else {
                broken_ = true;
                return Fail(SendStatus::RetryLater,
                            "the connection was lost while sending (" + ErrnoText(errno) + ")");
            }
        }
        if (const WaitEnd end = WaitFor(socket_.Get(), wait, deadline, stops_); end != kReady)
            return WaitFailed(end, "sending to the server");
    }
    return true;
}

std::optional<SmtpReply> CSmtpClient::Receive(const char* step) {
    if (!socket_.Valid() || broken_) {
        Fail(SendStatus::RetryLater, "the connection is closed");
        return std::nullopt;
    }
    const Clock::time_point deadline = WaitDeadline();
    char piece[kReadPiece];
    while (true) {
        if (auto reply = parser_.Next()) return reply;
        if (parser_.Failed()) {
            broken_ = true;
            Fail(SendStatus::RetryLater, std::string("the reply to ") + step + " is longer than " +
                                             std::to_string(SmtpReplyParser::kMaxReplyBytes) +
                                             " bytes");
            return std::nullopt;
        }
        short wait = 0;
        std::string why;
        if (tls_) {
            ERR_clear_error();
            std::size_t got = 0;
            const int rc = SSL_read_ex(tls_, piece, sizeof piece, &got);
            if (rc == 1) {
                parser_.Feed(std::string_view(piece, got));
                continue;
            }
            const int error = SSL_get_error(tls_, rc);
            if (error == SSL_ERROR_WANT_READ) wait = POLLIN;
            else if (error == SSL_ERROR_WANT_WRITE) wait = POLLOUT;
            else
                why = error == SSL_ERROR_ZERO_RETURN ? "the server closed the connection"
                                                     : OpenSslError();
        } else {
            const ssize_t n = ::recv(socket_.Get(), piece, sizeof piece, 0);
            if (n > 0) {
                parser_.Feed(std::string_view(piece, static_cast<std::size_t>(n)));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) wait = POLLIN;
            else why = n == 0 ? "the server closed the connection" : ErrnoText(errno);
        }
        if (wait) {
            const WaitEnd end = WaitFor(socket_.Get(), wait, deadline, stops_);
            if (end == kReady) continue;
            why = end == kStopped ? "stopped" : end == kPollFailed ? ErrnoText(errno) : "timed out";
        }
        broken_ = true;
        Fail(SendStatus::RetryLater, std::string("no reply to ") + step + " (" + why + ")");
        return std::nullopt;
    }
}

bool CSmtpClient::Expect(int code, const char* step, SmtpReply* out) {
    const auto reply = Receive(step);
    if (!reply) return false;
    if (out) *out = *reply;
    if (reply->code != code) return FailOnReply(step, *reply);
    return true;
}

bool CSmtpClient::Command(std::string_view line, int code, const char* step, SmtpReply* reply) {
    return Send(line) && Expect(code, step, reply);
}

}  // namespace tarvell::smtp
