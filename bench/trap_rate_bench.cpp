// Trap reception under load: the real trap listener on a loopback port, with a real engine on
// temporary folders whose switch table holds the sender's address, fed SNMPv2c linkUps of about
// 120 bytes from sender threads paced to a fixed rate for a few seconds per step. The polls the
// linkUps ask for go to a counting stub, so only reception is measured. For each step it prints
// what was sent, what the listener read (its own counter) and passed on as a poll request, the
// datagrams the system dropped (the listener's SO_RXQ_OVFL count, and the system-wide UDP
// receive-buffer errors), and the send rate reached. Each step is then repeated against a bare
// poll + recvmmsg loop on a socket of its own with the same buffer: what the system itself can
// deliver. Last, the highest rate of each side without loss.
//
// Run: build/bench/trap_rate_bench [seconds per step] [senders] [switches] [rate,rate,...]
//      (defaults 3, 4, 50, 10000,20000,50000,100000,200000,300000,400000,500000)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchEngine.h"
#include "platform/EventLog.h"
#include "platform/Files.h"
#include "platform/RecursiveLock.h"
#include "platform/snmp/Message.h"
#include "service/engine/CTarvellFrm.h"
#include "service/traps/CScanSnmpTraps.h"
#include "shared/CDbItem.h"
#include "shared/StateFiles.h"

namespace {

using namespace tarvell;
using Steady = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kPorts = 48;  // the linkUps name ifIndex 1..48 in turn
constexpr unsigned kSendBatch = 16;
constexpr double kSaturationRate = 500'000;
constexpr double kSaturationSeconds = 1.5;

// Counts the polls asked for and starts none.
class CountingPollStarter final : public PollStarter {
public:
    void RequestPoll(const PollRequest&) override { requested.fetch_add(1); }
    std::atomic<std::uint64_t> requested{0};
};

snmp::Oid OidOf(const std::string& text) { return *snmp::ParseOid(text); }

// A linkUp as a switch sends it: sysUpTime, snmpTrapOID, ifIndex, ifAdminStatus, ifOperStatus.
std::string LinkUp(int port, const char* notification = CScanSnmpTraps::kLinkUp) {
    const std::string n = std::to_string(port);
    snmp::Pdu trap;
    trap.type = snmp::pdu::kTrapV2;
    trap.requestId = 1000 + port;
    trap.bindings.push_back(
        {OidOf("1.3.6.1.2.1.1.3.0"), snmp::Value::Unsigned(snmp::tag::kTimeTicks, 123456789)});
    trap.bindings.push_back(
        {OidOf("1.3.6.1.6.3.1.1.4.1.0"), snmp::Value::ObjectId(OidOf(notification))});
    trap.bindings.push_back({OidOf("1.3.6.1.2.1.2.2.1.1." + n), snmp::Value::Integer(port)});
    trap.bindings.push_back({OidOf("1.3.6.1.2.1.2.2.1.7." + n), snmp::Value::Integer(1)});
    trap.bindings.push_back({OidOf("1.3.6.1.2.1.2.2.1.8." + n), snmp::Value::Integer(1)});
    return snmp::EncodeCommunityMessage(snmp::kVersion2c, "public", trap);
}

// The system's count of UDP datagrams dropped for want of receive-buffer room (all sockets).
std::uint64_t SystemRcvbufErrors() {
    std::ifstream in("/proc/net/snmp");
    std::string header, values;
    while (std::getline(in, header) && std::getline(in, values)) {
        if (header.rfind("Udp:", 0) != 0) continue;
        std::istringstream names(header), numbers(values);
        std::string name, number;
        while (names >> name && numbers >> number)
            if (name == "RcvbufErrors") return std::strtoull(number.c_str(), nullptr, 10);
    }
    return 0;
}

int OpenSender(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

struct SendResult {
    std::uint64_t sent = 0;
    std::uint64_t failed = 0;
    double seconds = 0;
};

// `senders` threads, each with its own socket, together sending `rate` datagrams a second to
// `port` for `seconds`: each keeps to its share of the schedule, sending what is due in batches
// and sleeping briefly when it is ahead.
SendResult Send(std::uint16_t port, double rate, double seconds, int senders,
                const std::vector<std::string>& datagrams) {
    std::atomic<std::uint64_t> sent{0}, failed{0};
    const Steady::time_point start = Steady::now() + 20ms;
    const Steady::time_point end = start + std::chrono::duration_cast<Steady::duration>(
                                               std::chrono::duration<double>(seconds));
    std::vector<std::thread> threads;
    for (int s = 0; s < senders; ++s) {
        threads.emplace_back([&, s] {
            const int fd = OpenSender(port);
            if (fd < 0) return;
            const double share = rate / senders;
            std::array<mmsghdr, kSendBatch> messages{};
            std::array<iovec, kSendBatch> vectors{};
            std::uint64_t mine = 0, lost = 0;
            std::size_t next = static_cast<std::size_t>(s);
            std::this_thread::sleep_until(start);
            for (;;) {
                const Steady::time_point now = Steady::now();
                if (now >= end) break;
                const auto due = static_cast<std::uint64_t>(
                    std::chrono::duration<double>(now - start).count() * share);
                if (mine >= due) {
                    std::this_thread::sleep_for(20us);
                    continue;
                }
                const auto n =
                    static_cast<unsigned>(std::min<std::uint64_t>(due - mine, kSendBatch));
                for (unsigned i = 0; i < n; ++i) {
                    const std::string& d = datagrams[next++ % datagrams.size()];
                    vectors[i] = {const_cast<char*>(d.data()), d.size()};
                    messages[i].msg_hdr = {};
                    messages[i].msg_hdr.msg_iov = &vectors[i];
                    messages[i].msg_hdr.msg_iovlen = 1;
                }
                const int done = ::sendmmsg(fd, messages.data(), n, 0);
                if (done < 0) {
                    ++lost;  // counted as one attempt; the schedule moves on
                    mine += n;
                    continue;
                }
                mine += static_cast<unsigned>(done);
            }
            ::close(fd);
            sent += mine;
            failed += lost;
        });
    }
    for (auto& t : threads) t.join();
    SendResult r;
    r.sent = sent.load() - failed.load();
    r.failed = failed.load();
    r.seconds = std::chrono::duration<double>(end - start).count();
    return r;
}

// A bare receiver: poll, then up to kTrapBatch datagrams a call, counted and dropped, with the
// system's drop counter read as the listener reads it.
class BareReceiver {
public:
    explicit BareReceiver(int bufferBytes) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local);
        if (::setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &bufferBytes, sizeof bufferBytes) != 0)
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
        const int one = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_RXQ_OVFL, &one, sizeof one);
        socklen_t length = sizeof local;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length);
        port_ = ntohs(local.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~BareReceiver() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    std::uint16_t Port() const { return port_; }
    std::uint64_t Received() const { return received_.load(); }
    std::uint64_t Dropped() const { return dropped_.load(); }

private:
    void Run() {
        constexpr std::size_t kBuffer = 2048;
        std::vector<char> buffers(kBuffer * kTrapBatch);
        std::array<mmsghdr, kTrapBatch> messages{};
        std::array<iovec, kTrapBatch> vectors{};
        constexpr std::size_t kControl = CMSG_SPACE(sizeof(std::uint32_t));
        std::array<std::array<char, kControl>, kTrapBatch> controls{};
        while (!stop_) {
            pollfd pfd{fd_, POLLIN, 0};
            if (::poll(&pfd, 1, 200) <= 0) continue;
            for (unsigned i = 0; i < kTrapBatch; ++i) {
                vectors[i] = {buffers.data() + i * kBuffer, kBuffer};
                messages[i].msg_hdr = {};
                messages[i].msg_hdr.msg_iov = &vectors[i];
                messages[i].msg_hdr.msg_iovlen = 1;
                messages[i].msg_hdr.msg_control = controls[i].data();
                messages[i].msg_hdr.msg_controllen = kControl;
            }
            const int n = ::recvmmsg(fd_, messages.data(), kTrapBatch, MSG_DONTWAIT, nullptr);
            if (n <= 0) continue;
            received_ += static_cast<std::uint64_t>(n);
            for (int i = 0; i < n; ++i) {
                msghdr& header = messages[i].msg_hdr;
                for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
                    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL) {
                        std::uint32_t counter = 0;
                        std::memcpy(&counter, CMSG_DATA(c), sizeof counter);
                        dropped_ = counter;
                    }
                }
            }
        }
    }

    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<std::uint64_t> received_{0}, dropped_{0};
};

struct Step {
    double rate = 0;
    SendResult send;
    std::uint64_t received = 0, passed = 0, dropped = 0, systemDrops = 0;
    std::uint64_t readWhileSending = 0;  // before the backlog left in the buffer is read
    bool Lossless() const {
        return send.failed == 0 && received == send.sent && passed == send.sent && dropped == 0;
    }
};

// Waits until `count` reaches `target` or stops moving for 300 ms.
template <typename Count>
void Drain(Count count, std::uint64_t target) {
    std::uint64_t last = count();
    Steady::time_point still = Steady::now();
    while (count() < target && Steady::now() - still < 300ms) {
        std::this_thread::sleep_for(10ms);
        if (const std::uint64_t now = count(); now != last) {
            last = now;
            still = Steady::now();
        }
    }
}

// After a step: one more datagram (a linkDown, which asks for no poll), so the system reports
// its drop count with it; waits until it is read. Returns false when it never was.
template <typename Count>
bool Probe(std::uint16_t port, const std::string& probe, Count count, std::uint64_t before) {
    const int fd = OpenSender(port);
    ::send(fd, probe.data(), probe.size(), 0);
    ::close(fd);
    const Steady::time_point until = Steady::now() + 2s;
    while (count() < before + 1 && Steady::now() < until) std::this_thread::sleep_for(5ms);
    return count() >= before + 1;
}

void PrintStep(const char* side, const Step& s) {
    std::printf(
        "  %-9s %7.0f/s  sent %8llu at %7.0f/s  read %8llu (%7.0f/s)  passed %8llu  dropped %7llu"
        "  (system %7llu)  lost %7lld%s\n",
        side, s.rate, static_cast<unsigned long long>(s.send.sent), s.send.sent / s.send.seconds,
        static_cast<unsigned long long>(s.received), s.readWhileSending / s.send.seconds,
        static_cast<unsigned long long>(s.passed), static_cast<unsigned long long>(s.dropped),
        static_cast<unsigned long long>(s.systemDrops),
        static_cast<long long>(s.send.sent) - static_cast<long long>(s.received),
        s.send.failed ? "  SEND FAILURES" : "");
    std::fflush(stdout);
}

// `count` switches, each with an address of its own, loaded as the service loads them: from
// the sibling database file. The sender's address (127.0.0.1, second in its list) belongs to the
// last switch of the table, or to none when `known` is false.
bool FillSwitchTable(CTarvellFrm& engine, const std::string& folder, int count, bool known = true) {
    SiblingDatabaseFile db;
    for (int i = 0; i < count; ++i) {
        char key[16];
        std::snprintf(key, sizeof key, "00AABB%06X", i & 0xFFFFFF);
        auto item = std::make_unique<CDbItem>();
        item->SwitchKey() = key;
        item->SwitchName() = std::string("switch-") + key;
        item->SwitchCommunity() = "public";
        item->SwitchObjectId() = "1.3.6.1.4.1.9.1.999";
        item->SwitchIps() = i + 1 == count && known ? std::string("10.255.0.1;127.0.0.1")
                                                    : "10.1." + std::to_string(i / 250) + "." +
                                                          std::to_string(i % 250 + 1);
        db.SiblingSwitches[key] = std::move(item);
    }
    return WriteStateFile(JoinPath(folder, std::string(kSiblingDatabaseName)), db) &&
           engine.LoadSiblingDatabase();
}

std::vector<double> ParseRates(const char* text) {
    std::vector<double> rates;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ','))
        if (const double r = std::atof(item.c_str()); r > 0) rates.push_back(r);
    return rates;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    const int senders = argc > 2 ? std::max(1, std::atoi(argv[2])) : 4;
    const int switches = argc > 3 ? std::max(1, std::atoi(argv[3])) : 50;
    const std::vector<double> rates =
        ParseRates(argc > 4 ? argv[4] : "10000,20000,50000,100000,200000,300000,400000,500000");

    std::vector<std::string> datagrams;
    for (int p = 1; p <= kPorts; ++p) datagrams.push_back(LinkUp(p));
    const std::string probe = LinkUp(1, "1.3.6.1.6.3.1.1.5.3");

    TestEventLog log;
    const BenchEngineFolders folders = MakeBenchEngineFolders("tarvell-trapbench-", log);
    const std::string& root = folders.root;
    const EngineEnvironment& env = folders.env;

    std::vector<Step> ours, bare;
    {
        CTarvellFrm engine(env);
        engine.Document->DiscoverTrapsEnabled = 1;
        engine.PublishSettings();
        if (!FillSwitchTable(engine, env.SiblingFolder, switches)) {
            std::fprintf(stderr, "the switch table did not load\n");
            return 1;
        }

        CountingPollStarter polls;
        TrapListenerOptions options;
        options.port = 0;
        options.address = "127.0.0.1";
        CScanSnmpTraps listener(engine, polls, options);
        listener.Start();
        for (int i = 0; i < 500 && listener.BoundPort() == 0; ++i)
            std::this_thread::sleep_for(10ms);
        if (listener.BoundPort() == 0) {
            std::fprintf(stderr, "the trap listener did not bind\n");
            return 1;
        }
        BareReceiver reference(options.receiveBufferBytes);

        std::printf(
            "trap reception: linkUps of %zu bytes (v2c), %d sender thread%s, %.1f s a step, "
            "%d switches, receive buffer %d bytes asked\n",
            datagrams[0].size(), senders, senders == 1 ? "" : "s", seconds, switches,
            options.receiveBufferBytes);
        std::printf(
            "  read: datagrams taken off the socket (in brackets: a second while sending); "
            "passed: linkUps\n  that asked for a poll; dropped: the socket's overflow "
            "count; system: UDP receive-buffer errors\n  of the whole system\n");
        bool probesRead = true;
        for (const double rate : rates) {
            Step s;
            s.rate = rate;
            std::uint64_t read0 = listener.ReceivedDatagrams();
            const std::uint64_t passed0 = polls.requested.load();
            const std::uint64_t drops0 = listener.DroppedDatagrams();
            std::uint64_t system0 = SystemRcvbufErrors();
            s.send = Send(listener.BoundPort(), rate, seconds, senders, datagrams);
            s.readWhileSending = listener.ReceivedDatagrams() - read0;
            const auto read = [&] { return listener.ReceivedDatagrams(); };
            Drain(read, read0 + s.send.sent);
            probesRead &= Probe(listener.BoundPort(), probe, read, read());
            s.received = listener.ReceivedDatagrams() - read0 - 1;
            s.passed = polls.requested.load() - passed0;
            s.dropped = listener.DroppedDatagrams() - drops0;
            s.systemDrops = SystemRcvbufErrors() - system0;
            PrintStep("listener", s);
            ours.push_back(s);

            Step b;
            b.rate = rate;
            read0 = reference.Received();
            const std::uint64_t bareDrops0 = reference.Dropped();
            system0 = SystemRcvbufErrors();
            b.send = Send(reference.Port(), rate, seconds, senders, datagrams);
            b.readWhileSending = reference.Received() - read0;
            const auto bareRead = [&] { return reference.Received(); };
            Drain(bareRead, read0 + b.send.sent);
            probesRead &= Probe(reference.Port(), probe, bareRead, bareRead());
            b.received = reference.Received() - read0 - 1;
            b.passed = b.received;
            b.dropped = reference.Dropped() - bareDrops0;
            b.systemDrops = SystemRcvbufErrors() - system0;
            PrintStep("recvmmsg", b);
            bare.push_back(b);
        }

        const auto best = [](const std::vector<Step>& steps) {
            double r = 0;
            std::uint64_t perSecond = 0;
            for (const Step& s : steps)
                if (s.Lossless() && s.rate > r) {
                    r = s.rate;
                    perSecond = static_cast<std::uint64_t>(s.received / s.send.seconds);
                }
            return std::make_pair(r, perSecond);
        };
        const auto [oursRate, oursPerSecond] = best(ours);
        const auto [bareRate, barePerSecond] = best(bare);
        std::printf(
            "highest rate without loss: listener %.0f/s (%llu read a second), bare recvmmsg "
            "%.0f/s (%llu read a second)\n",
            oursRate, static_cast<unsigned long long>(oursPerSecond), bareRate,
            static_cast<unsigned long long>(barePerSecond));

        // The listener's ceiling as the switch table grows: every linkUp looks its sender up
        // among the switches. Offered well above the ceiling; read counted while sending. Last,
        // the same flood from an address no switch lists.
        std::printf("listener ceiling by switch-table size (%.0f/s offered for %.1f s):\n",
                    kSaturationRate, kSaturationSeconds);
        const std::pair<int, bool> tables[] = {{1, true},    {50, true},   {500, true},
                                               {2000, true}, {5000, true}, {20000, true},
                                               {2000, false}};
        for (const auto& [size, known] : tables) {
            if (!FillSwitchTable(engine, env.SiblingFolder, size, known)) {
                std::printf("  %5d switches: the table did not load\n", size);
                continue;
            }
            const auto read = [&] { return listener.ReceivedDatagrams(); };
            const std::uint64_t read0 = read();
            const std::uint64_t drops0 = listener.DroppedDatagrams();
            const SendResult sent =
                Send(listener.BoundPort(), kSaturationRate, kSaturationSeconds, senders, datagrams);
            const std::uint64_t readWhileSending = read() - read0;
            Drain(read, read0 + sent.sent);
            probesRead &= Probe(listener.BoundPort(), probe, read, read());
            std::printf("  %5d switches%s: %8.0f read a second, %8llu of %llu dropped\n", size,
                        known ? "" : ", sender unknown", readWhileSending / sent.seconds,
                        static_cast<unsigned long long>(listener.DroppedDatagrams() - drops0),
                        static_cast<unsigned long long>(sent.sent));
            std::fflush(stdout);
        }
        listener.StopAndJoin();
        if (!probesRead) std::printf("  (a probe datagram after a step was never read)\n");
    }
    RemoveTree(root);
    return 0;
}
