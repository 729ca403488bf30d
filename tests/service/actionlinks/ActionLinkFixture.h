// An engine on temporary folders with the action-link options on, a fixed link secret in its
// service folder, and a listener on a free loopback port; plus raw-socket and curl clients.
#pragma once

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Process.h"
#include "platform/RecursiveLock.h"
#include "service/actionlinks/CTarvellHttp.h"
#include "service/actionlinks/LinkToken.h"
#include "tests/service/engine/EngineFixture.h"

namespace tarvell::actionlinktest {

// A client socket connected to 127.0.0.1:port from the loopback address `from` (127.0.0.1
// when empty); -1 when it could not connect.
inline int Connect(std::uint16_t port, const std::string& from = {}) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (!from.empty() &&
        (::inet_pton(AF_INET, from.c_str(), &address.sin_addr) != 1 ||
         ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)) {
        ::close(fd);
        return -1;
    }
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

inline bool SendText(int fd, std::string_view text) {
    return ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

// Everything the peer sends until it closes, waiting at most `ms` in all.
inline std::string ReadUntilClosed(int fd, int ms = 15'000) {
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    char buffer[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 100) <= 0) continue;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

// One request over its own connection: the text sent in pieces, `pauseMs` apart.
inline std::string Exchange(std::uint16_t port, const std::vector<std::string>& pieces,
                            int pauseMs = 0, const std::string& from = {}) {
    const int fd = Connect(port, from);
    if (fd < 0) return "(no connection)";
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0 && pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        SendText(fd, pieces[i]);
    }
    std::string reply = ReadUntilClosed(fd);
    ::close(fd);
    return reply;
}

inline int StatusOf(const std::string& reply) {
    if (reply.rfind("HTTP/1.0 ", 0) != 0 || reply.size() < 12) return 0;
    return std::stoi(reply.substr(9, 3));
}

inline std::string BodyOf(const std::string& reply) {
    const std::size_t end = reply.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : reply.substr(end + 4);
}

class ActionLinkFixture : public enginetest::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        for (std::size_t i = 0; i < secret.bytes.size(); ++i)
            secret.bytes[i] = static_cast<unsigned char>(i * 7 + 1);
        ASSERT_TRUE(
            AtomicWriteFile(JoinPath(serviceFolder, kLinkSecretFileName),
                            std::string_view(reinterpret_cast<const char*>(secret.bytes.data()),
                                             secret.bytes.size()),
                            0600));
        settings = BlankSettings();
        settings.EmailUnblockLink = 1;
        WriteServiceSettings(settings);
        ASSERT_TRUE(engine->Document->LoadFromFile(ServiceSettingsPath(), clock));
        engine->PublishSettings();
    }

    void TearDown() override {
        listener.reset();
        EngineFixture::TearDown();
    }

    HttpListenerOptions TestOptions() const {
        HttpListenerOptions options;
        options.address = "127.0.0.1";
        options.port = 0;
        options.lingerMs = 500;
        return options;
    }

    void StartListener(HttpListenerOptions options) {
        listener = std::make_unique<CTarvellHttp>(*engine, std::move(options));
        ASSERT_TRUE(listener->Start());
        ASSERT_TRUE(listener->WaitUntilListening(10'000));
        port = listener->BoundPort();
    }
    void StartListener() { StartListener(TestOptions()); }

    // A link as mailed now for the event at `event` (its DateKey and MAC).
    LinkBinding BindingOf(const std::string& event) {
        const CEventItem current = EventCopy(event);
        return LinkBinding{current.DateKey, current.SourceMac,
                           engine->clock().Now() + kLinkLifeSeconds};
    }
    std::string Target(const std::string& event, const std::string& action,
                       const std::string& key = "1700000000.0") {
        return "/" + MakeLinkQuery(secret, event, action, key, BindingOf(event));
    }
    std::string Url(const std::string& target) const {
        return "http://127.0.0.1:" + std::to_string(port) + target;
    }

    // curl as a mail reader's browser would be: no HTTP/0.9, headers in the output.
    ProcessResult Curl(std::vector<std::string> arguments) {
        ProcessOptions options;
        options.argv = {"curl", "-sS", "-i", "--max-time", "20"};
        options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
        options.captureOutput = true;
        options.timeLimitMs = 30'000;
        return RunProcess(options);
    }

    StringList LinkRequests() {
        RecursiveGuard lock(engine->EngineLock);
        return engine->LinkRequests;
    }

    // The queued requests as "event;action;host".
    StringList Queued() {
        StringList out;
        for (const std::string& entry : LinkRequests()) {
            const std::optional<LinkRequest> r = LinkRequest::Parse(entry);
            out.push_back(r ? r->event + ";" + r->action + ";" + r->host : "(bad entry) " + entry);
        }
        return out;
    }

    bool WaitForNoSessions(int ms = 15'000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (listener->ActiveSessions() != 0) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    LinkSecret secret;
    CTarvellDoc settings;
    std::unique_ptr<CTarvellHttp> listener;
    std::uint16_t port = 0;
};

}  // namespace tarvell::actionlinktest
