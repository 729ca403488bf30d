// Load on the action-link listener: 1 000 valid POSTs of mailed links from 8 clients at once,
// each over its own connection, against a listener on a loopback port with a real engine on
// temporary folders. Prints how many were answered "Request OK.", the requests per second and
// the slowest and median answers. Exits 1 when any request was not answered OK.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "bench/BenchEngine.h"
#include "platform/EventLog.h"
#include "platform/Files.h"
#include "platform/RecursiveLock.h"
#include "service/actionlinks/CTarvellHttp.h"
#include "service/actionlinks/LinkToken.h"
#include "service/engine/CTarvellFrm.h"

namespace {

using namespace tarvell;
using Steady = std::chrono::steady_clock;

constexpr int kClients = 8;
constexpr int kRequests = 1000;

std::string Exchange(std::uint16_t port, const std::string& request) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return {};
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
        char buffer[1024];
        for (;;) {
            pollfd pfd{fd, POLLIN, 0};
            if (::poll(&pfd, 1, 15'000) <= 0) break;
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            reply.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return reply;
}

}  // namespace

int main() {
    TestEventLog log;
    const BenchEngineFolders folders = MakeBenchEngineFolders("tarvell-linkbench-", log);
    const std::string& root = folders.root;
    const EngineEnvironment& env = folders.env;
    int failures = 0;
    {
        CTarvellFrm engine(env);
        engine.Document->EmailUnblockLink = 1;
        engine.PublishSettings();
        const std::optional<LinkSecret> secret = LoadOrCreateLinkSecret(env.ServiceFolder);
        if (!secret) {
            std::fprintf(stderr, "no link secret\n");
            return 1;
        }
        HttpListenerOptions options;
        options.address = "127.0.0.1";
        options.port = 0;
        // The clients all speak from 127.0.0.1 (its host name comes from the hosts file, so
        // no resolver is timed); the bound per address is not what is measured here.
        options.maxSessionsPerPeer = kClients;
        CTarvellHttp listener(engine, options);
        listener.Start();
        if (!listener.WaitUntilListening(10'000)) {
            std::fprintf(stderr, "the listener did not start\n");
            return 1;
        }
        const std::uint16_t port = listener.BoundPort();

        std::atomic<int> next{0}, ok{0};
        std::vector<std::int64_t> micros(kRequests, 0);
        const Steady::time_point start = Steady::now();
        std::vector<std::thread> clients;
        for (int c = 0; c < kClients; ++c) {
            clients.emplace_back([&] {
                for (int i = next++; i < kRequests; i = next++) {
                    const std::string event = "00AABB000001/" + std::to_string(i + 1);
                    const LinkBinding binding{"1700000000" + std::to_string(i),
                                              "00AABB0000" + std::to_string(10 + i % 90),
                                              engine.clock().Now() + kLinkLifeSeconds};
                    const std::string request =
                        "POST /" +
                        MakeLinkQuery(*secret, event, "None", "1700000000." + std::to_string(i),
                                      binding) +
                        " HTTP/1.1\r\nHost: bench\r\nContent-Length: 0\r\n\r\n";
                    const Steady::time_point sent = Steady::now();
                    const std::string reply = Exchange(port, request);
                    micros[i] =
                        std::chrono::duration_cast<std::chrono::microseconds>(Steady::now() - sent)
                            .count();
                    if (reply.size() >= 11 &&
                        reply.compare(reply.size() - 11, 11, "Request OK.") == 0)
                        ++ok;
                }
            });
        }
        for (auto& t : clients) t.join();
        const double seconds = std::chrono::duration<double>(Steady::now() - start).count();
        listener.StopAndJoin();

        std::size_t queued = 0;
        {
            RecursiveGuard lock(engine.EngineLock);
            queued = engine.LinkRequests.size();
        }
        std::vector<std::int64_t> sorted = micros;
        std::sort(sorted.begin(), sorted.end());
        std::printf("action-link load: %d requests from %d clients in %.3f s\n", kRequests,
                    kClients, seconds);
        std::printf(
            "  answered Request OK.: %d, queued: %zu, peak sessions: %zu, refused connections: "
            "%zu\n",
            ok.load(), queued, listener.PeakSessions(), listener.RefusedConnections());
        std::printf("  requests per second: %.0f\n", kRequests / seconds);
        std::printf("  answer time: median %.2f ms, 99th percentile %.2f ms, longest %.2f ms\n",
                    sorted[sorted.size() / 2] / 1000.0, sorted[sorted.size() * 99 / 100] / 1000.0,
                    sorted.back() / 1000.0);
        failures = kRequests - ok.load();
    }
    RemoveTree(root);
    return failures == 0 ? 0 : 1;
}
