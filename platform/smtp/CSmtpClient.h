// A mail client for one mail per dialogue: connect, greet, secure, log in, send, quit. Plain
// TCP, TLS from the first byte ("SSL") or STARTTLS ("TLS"); AUTH LOGIN, PLAIN, CRAM-MD5 or
// DIGEST-MD5, the first of these the server offers, when a user and a password are both set.
//
// TLS checks the server's certificate against the system's trusted authorities, and against
// the certificates of a CA file when one is given and exists, and checks that it was issued to
// the host name (or address) the client connected to; the name goes out as SNI.
//
// Every wait (the name look-ups, connect, each reply, each send, the TLS handshake) is bounded by
// the timeout, and the whole dialogue by its limit (a server that answers a byte at a time
// cannot hold it for a timeout per byte); a stop event, when one is set, ends any wait at once
// (it is polled beside the socket). A reply may not grow past 64 KiB. Writing to a closed
// connection must not kill the process: the program ignores SIGPIPE (the service does so at
// start).
//
// The system resolver cannot be interrupted, so each name look-up runs on a short thread of its
// own that a stop or the deadline leaves behind; such a thread touches nothing but its own
// copies and frees its result when the resolver returns. At most kMaxNameLookups of them run at
// once in the process; beyond that a mail fails as a passing failure.
//
// One client serves one thread; separate clients may run in parallel.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ManualResetEvent.h"
#include "platform/UniqueFd.h"
#include "platform/smtp/SmtpMessage.h"
#include "platform/smtp/SmtpReply.h"

struct ssl_ctx_st;
struct ssl_st;

namespace tarvell::smtp {

inline constexpr int kMaxNameLookups = 32;

struct SmtpSettings {
    std::string server;  // host name or address
    std::uint16_t port = 25;
    std::string security;  // "" plain, "SSL" or "TLS" (exact); anything else fails the mail
    std::string user;      // AUTH only when user and password are both set
    std::string password;
    std::string sender;
    std::chrono::milliseconds timeout{60'000};         // each wait
    std::chrono::milliseconds dialogueLimit{300'000};  // the whole dialogue, at least the timeout
    std::string caFile;  // extra trusted certificates (PEM); ignored when absent
};

// Settings from the texts of a settings document: the port a decimal number 1..65535, the
// timeout in minutes (an empty, zero or unreadable value gives 1 minute; at most 65535).
// nullopt with the reason when the port is unusable.
std::optional<SmtpSettings> SmtpSettingsFromTexts(
    const std::string& server, const std::string& port, const std::string& security,
    const std::string& user, const std::string& password, const std::string& sender,
    const std::string& timeoutMinutes, std::string* error = nullptr);

enum class SendStatus {
    Delivered,   // the server took the mail (250 after the data)
    RetryLater,  // a passing failure: no connection, a timeout, a lost connection, a TLS
                 // handshake that failed, a 4xx reply. Sending the same mail later may work.
    Rejected,    // refused for good: a 5xx reply, or settings that cannot work (no sender, an
                 // unknown security text, STARTTLS asked of a server that does not offer it)
};

struct SendResult {
    SendStatus status = SendStatus::RetryLater;
    std::string reason;  // empty when delivered; one line fit for a log otherwise
};

const char* SendStatusName(SendStatus status);

class CSmtpClient {
public:
    CSmtpClient();
    ~CSmtpClient();
    CSmtpClient(const CSmtpClient&) = delete;
    CSmtpClient& operator=(const CSmtpClient&) = delete;

    // Sends one mail to one address. Subject and body are the stored texts in code page 1252
    // unless `utf8` says they are UTF-8 already; the mail declares UTF-8.
    SendResult SendMail(const SmtpSettings& settings, const std::string& address,
                        const std::string& subject, const std::string& body, bool html,
                        bool utf8 = false);
    // The same for content already in UTF-8 (sender taken from the settings).
    SendResult SendMail(const SmtpSettings& settings, MailContent mail);

    // The steps of SendMail. Connect leaves the session ready for MAIL FROM; Disconnect sends
    // QUIT when the server was greeted and the connection still works, shuts TLS down and
    // closes the socket. Each false leaves the reason in Result().
    bool Connect(const SmtpSettings& settings);
    bool SendMessage(const MailContent& mail);
    void Disconnect();
    const SendResult& Result() const { return result_; }
    // Events any of which ends the dialogue at once, as a passing failure, when it is set:
    // every wait watches them. They must outlive every later call of the client.
    void SetStopEvents(std::vector<const ManualResetEvent*> events) { stops_ = std::move(events); }
    // The AUTH mechanism used by the last Connect ("" when none).
    const std::string& AuthMechanism() const { return mechanism_; }

private:
    bool Fail(SendStatus status, std::string reason);
    // A wait did not end ready: a stop, the deadline or a failed poll. Always false.
    bool WaitFailed(int end, const std::string& what);
    bool Stopping() const;
    bool FailOnReply(const char* step, const SmtpReply& reply);
    bool ConnectSocket();
    bool StartTls();
    bool Handshake();
    bool SendEhlo();
    void SendQuit();
    bool Authenticate();
    bool AuthLogin();
    bool AuthPlain();
    bool AuthCramMd5();
    bool AuthDigestMd5();
    // Sends the bytes whole; false on a timeout or a broken connection.
    bool Send(std::string_view bytes);
    // The next reply; nullopt on a timeout, a closed connection or an overlong reply.
    std::optional<SmtpReply> Receive(const char* step);
    // Sends a command and reads its reply; true when the reply code is `code`.
    bool Command(std::string_view line, int code, const char* step, SmtpReply* reply = nullptr);
    bool Expect(int code, const char* step, SmtpReply* reply = nullptr);

    // The end of the next wait: the timeout from now, but not past the dialogue's end.
    std::chrono::steady_clock::time_point WaitDeadline() const;

    SmtpSettings settings_;
    std::vector<const ManualResetEvent*> stops_;
    std::chrono::steady_clock::time_point dialogueDeadline_{};
    UniqueFd socket_;
    ssl_ctx_st* context_ = nullptr;
    ssl_st* tls_ = nullptr;
    bool greeted_ = false;
    bool broken_ = false;  // the connection failed or timed out: no QUIT
    SmtpReplyParser parser_;
    SmtpReply lastEhlo_;
    std::string mechanism_;
    SendResult result_;
};

}  // namespace tarvell::smtp
