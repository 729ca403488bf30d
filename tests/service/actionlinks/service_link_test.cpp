// The built TarvellSrv with its Http slot: the listener on the test port, the secret made at the
// first start, a mailed link carried out by the next pass, and a clean stop that frees the port.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <ctime>
#include <iostream>
#include <thread>

#include "platform/Files.h"
#include "shared/CTarvellDoc.h"
#include "shared/StateFiles.h"
#include "tests/service/actionlinks/ActionLinkFixture.h"
#include "tests/support/RunningService.h"

namespace tarvell::actionlinktest {
namespace {

using tarvell::testing::RunningService;
using tarvell::testing::WaitUntil;

const std::string kProgram = RunningService::Program();

// A port that was free a moment ago.
std::uint16_t FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

bool WaitForListener(std::uint16_t port, const RunningService& service);

// The service, with the unblock links on, and its action-link listener up on a free port, stored
// in `port`. The port is chosen again when another program takes it between its choice here and
// the service's bind (the service then waits half a minute before it tries again).
void StartService(RunningService& service, std::uint16_t& port) {
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.EmailUnblockLink = 1;
    ASSERT_TRUE(service.Install(doc));
    for (int attempt = 1; attempt <= 5; ++attempt) {
        port = FreePort();
        ASSERT_TRUE(service.Run({"TARVELL_HTTP_PORT=" + std::to_string(port)}));
        if (WaitForListener(port, service)) {
            EXPECT_TRUE(
                service.WaitForLineWith("Test settings: action-link port " + std::to_string(port)))
                << service.Output();
            return;
        }
        if (service.LinesWith("could not use port " + std::to_string(port)).empty()) break;
        EXPECT_TRUE(service.Stop()) << service.Output();
    }
    FAIL() << "the action-link listener did not start\n" << service.Output();
}

LinkSecret ReadSecret(const std::string& serviceFolder) {
    LinkSecret secret;
    const std::string bytes =
        ReadWholeFile(JoinPath(serviceFolder, kLinkSecretFileName)).value_or("");
    if (bytes.size() == kLinkSecretBytes)
        std::copy(bytes.begin(), bytes.end(), secret.bytes.begin());
    return secret;
}

// The event under `key` once the service has saved it.
std::optional<CEventItem> StoredEvent(const std::string& serviceFolder, const std::string& key) {
    std::optional<CEventItem> event;
    WaitUntil(
        [&] {
            EventDatabaseFile db;
            if (!ReadStateFile(JoinPath(serviceFolder, kEventDatabaseName), db)) return false;
            const auto it = db.EventMap.find(key);
            if (it == db.EventMap.end()) return false;
            event = *it->second;
            return true;
        },
        20'000);
    return event;
}

// True once the listener takes connections on `port`; false when the service could not bind it
// or did not start listening within 30 s.
bool WaitForListener(std::uint16_t port, const RunningService& service) {
    bool refused = false;
    const bool up = WaitUntil(
        [&] {
            const int fd = Connect(port);
            if (fd >= 0) ::close(fd);
            refused = !service.LinesWith("could not use port " + std::to_string(port)).empty();
            return fd >= 0 || refused;
        },
        30'000);
    return up && !refused;
}

TEST(ServiceActionLinks, TheServiceServesLinksOnTheTestPortAndTheNextPassCarriesThemOut) {
    if (!FileExists(kProgram)) GTEST_SKIP() << "TarvellSrv is not built";
    RunningService service("link-process-");
    const std::string serviceFolder = service.Folder();
    std::uint16_t port = 0;
    ASSERT_NO_FATAL_FAILURE(StartService(service, port));
    ASSERT_TRUE(
        service.RecordEvent("SwitchKey S1\nPortKey 3\nSourceMac 001122334455\nCategory Detection\n"
                            "EventType New Mac\nDescription New Mac\nBlocked 1\n",
                            "S1/3"))
        << service.Output();

    // The secret: made at the first start, ours alone, and nowhere in the settings file.
    const std::string secretPath = JoinPath(serviceFolder, kLinkSecretFileName);
    struct stat st {};
    ASSERT_EQ(::lstat(secretPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    const std::string secretBytes = ReadWholeFile(secretPath).value_or("");
    ASSERT_EQ(secretBytes.size(), kLinkSecretBytes);
    EXPECT_EQ(ReadWholeFile(JoinPath(serviceFolder, CTarvellDoc::kFileName))
                  .value_or("")
                  .find(secretBytes),
              std::string::npos);
    LinkSecret secret;
    std::copy(secretBytes.begin(), secretBytes.end(), secret.bytes.begin());

    const std::string post = " HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n";
    EXPECT_EQ(StatusOf(Exchange(
                  port, {"POST /?Prog=Tarvell&Event=S1/3&Action=None&Key=1&Auth=x" + post})),
              403);
    const std::optional<CEventItem> recorded = StoredEvent(serviceFolder, "S1/3");
    ASSERT_TRUE(recorded) << service.Output();
    const LinkBinding binding{recorded->DateKey, recorded->SourceMac,
                              std::time(nullptr) + kLinkLifeSeconds};
    EXPECT_EQ(BodyOf(Exchange(
                  port, {"POST /" + MakeLinkQuery(secret, "S1/3", "None", "1", binding) + post})),
              "Request OK.");

    const std::string host = PeerHostName("127.0.0.1");
    ASSERT_TRUE(WaitUntil(
        [&] {
            EventDatabaseFile db;
            if (!ReadStateFile(JoinPath(serviceFolder, kEventDatabaseName), db)) return false;
            const auto it = db.EventMap.find("S1/3");
            return it != db.EventMap.end() && it->second->Blocked == 0 &&
                   it->second->Submitter == host;
        },
        20'000))
        << service.Output();

    // Used once: the same link again changes nothing. Nor does it act on the event of a later
    // intruder on the same port (without prevention the port is not shut for it, but the link
    // would mark it unblocked by this host).
    const std::string again = MakeLinkQuery(secret, "S1/3", "None", "1", binding);
    EXPECT_EQ(BodyOf(Exchange(port, {"POST /" + again + post})), "Request Failed.");
    ASSERT_TRUE(AtomicWriteFile(service.EventFile(),
                                "SwitchKey S1\nPortKey 3\nSourceMac 00AABBCCDDEE\n"
                                "Category Detection\nEventType New Mac\nDescription New Mac\n"
                                "Blocked 1\n"));
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::optional<CEventItem> later = StoredEvent(serviceFolder, "S1/3");
            return later && later->SourceMac == "00AABBCCDDEE";
        },
        20'000))
        << service.Output();
    EXPECT_EQ(BodyOf(Exchange(port, {"POST /" + again + post})), "Request Failed.");
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));  // five passes
    EXPECT_EQ(StoredEvent(serviceFolder, "S1/3").value_or(CEventItem{}).Submitter, "");
    EXPECT_TRUE(service.WaitForLineWith("An action link for S1/3 was refused")) << service.Output();

    ASSERT_TRUE(service.Stop()) << service.Output();
    EXPECT_EQ(Connect(port), -1);
    const std::string httpLog = ReadWholeFile(JoinPath(serviceFolder, "Http.log")).value_or("");
    EXPECT_NE(httpLog.find(": Http Started...\r\n"), std::string::npos) << httpLog;
    EXPECT_NE(httpLog.find(": Http Request from 127.0.0.1\r\n"), std::string::npos) << httpLog;
}

// Twenty idle connections, renewed as soon as they are dropped, from one address and from five:
// a valid request from another address is still answered within a second each time.
TEST(ServiceActionLinks, IdleConnectionsOfOneOrManyAddressesDoNotShutOutAnother) {
    if (!FileExists(kProgram)) GTEST_SKIP() << "TarvellSrv is not built";
    RunningService service("link-crowd-");
    std::uint16_t port = 0;
    ASSERT_NO_FATAL_FAILURE(StartService(service, port));
    const LinkSecret secret = ReadSecret(service.Folder());

    for (const int addresses : {1, 5}) {
        std::atomic<bool> done{false};
        std::thread crowd([&] {
            std::vector<int> idle(20, -1);
            while (!done) {
                for (std::size_t i = 0; i < idle.size(); ++i) {
                    int& fd = idle[i];
                    char byte = 0;
                    if (fd >= 0 && ::recv(fd, &byte, 1, MSG_DONTWAIT) != 0) continue;  // open
                    if (fd >= 0) ::close(fd);
                    fd = Connect(port, "127.0.0." + std::to_string(2 + i % addresses));
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            for (int fd : idle)
                if (fd >= 0) ::close(fd);
        });
        int answered = 0;
        constexpr int kCanaries = 10;
        for (int i = 0; i < kCanaries; ++i) {
            const auto start = std::chrono::steady_clock::now();
            const int fd = Connect(port, "127.0.0.20");
            const LinkBinding binding{"", "", std::time(nullptr) + kLinkLifeSeconds};
            SendText(fd, "GET /" + MakeLinkQuery(secret, "S1/3", "None", "1", binding) +
                             " HTTP/1.0\r\n\r\n");
            const std::string reply = ReadUntilClosed(fd, 1000);
            ::close(fd);
            if (StatusOf(reply) == 200 &&
                std::chrono::steady_clock::now() - start < std::chrono::seconds(1))
                ++answered;
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        done = true;
        crowd.join();
        std::cout << addresses
                  << " crowding address(es): canaries answered within 1 s: " << answered << " of "
                  << kCanaries << "\n";
        EXPECT_EQ(answered, kCanaries) << addresses << " address(es)\n" << service.Output();
    }
    EXPECT_TRUE(service.Stop()) << service.Output();
}

}  // namespace
}  // namespace tarvell::actionlinktest
