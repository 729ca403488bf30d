#include "platform/EventLog.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <thread>

namespace tarvell {
namespace {

TEST(TestEventLog, RecordsLinesFromManyThreads) {
    TestEventLog log;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&log] {
            for (int i = 0; i < 100; ++i) log.Log("Bad service request");
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(log.Lines().size(), 800u);
    EXPECT_TRUE(log.Contains("Bad service request"));
    EXPECT_FALSE(log.Contains("Service started"));
    log.Clear();
    EXPECT_TRUE(log.Lines().empty());
    log.Log(std::string(kMaxEventLogText + 10, 'x'));
    EXPECT_EQ(log.Lines()[0].size(), kMaxEventLogText);
}

// Receives what the sink sends to the system log. It runs in a child process with a private
// mount namespace and its own /dev, so that the machine's log socket is not touched; the
// child's exit code is the number of failed checks (77 when the namespace is not available).
int SyslogChild() {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", "/dev", "tmpfs", 0, "size=64k") != 0) {
        return 77;
    }
    const int sock = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, "/dev/log");
    if (sock < 0 || ::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return 77;
    timeval timeout{5, 0};
    ::setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);

    auto receive = [sock] {
        char buffer[16384];
        const ssize_t n = ::recv(sock, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    };
    auto endsWith = [](const std::string& s, const std::string& tail) {
        return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
    };
    int failures = 0;
    {
        SyslogEventLog log("Quenmark Tarvell");
        log.Log("Service started");
        std::string got = receive();
        // <30>: facility daemon (3), level information (6).
        if (got.rfind("<30>", 0) != 0) ++failures;
        if (got.find("Quenmark Tarvell[" + std::to_string(::getpid()) + "]: ") == std::string::npos)
            ++failures;
        if (!endsWith(got, "Service started")) ++failures;

        log.Log("100% %s%n%s caf\xE9");  // data, not a format; Windows-1252 becomes UTF-8
        if (!endsWith(receive(), "100% %s%n%s caf\xC3\xA9")) ++failures;

        {
            SyslogEventLog other("OtherName");
            other.Log("x");
            if (receive().find("OtherName[") == std::string::npos) ++failures;
        }
        log.Log("Service stopped");
        got = receive();
        if (got.find("Quenmark Tarvell[") == std::string::npos || !endsWith(got, "Service stopped"))
            ++failures;
    }
    return failures;
}

TEST(SyslogEventLog, SendsTheTextUnderTheIdentity) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(SyslogChild());
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failed checks";
}

}  // namespace
}  // namespace tarvell
