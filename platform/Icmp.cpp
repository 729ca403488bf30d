#include "platform/Icmp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <vector>

namespace tarvell {

namespace {

constexpr std::uint8_t kEchoReply = 0;
constexpr std::uint8_t kEchoRequest = 8;
constexpr std::size_t kHeader = 8;
constexpr std::size_t kMaxPayload = 65500;

std::uint16_t Checksum(const std::uint8_t* data, std::size_t length) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < length; i += 2) sum += (data[i] << 8) | data[i + 1];
    if (length & 1) sum += data[length - 1] << 8;
    while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

std::uint16_t Read16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }

}  // namespace

IcmpSocket::~IcmpSocket() {
    if (fd_ >= 0) ::close(fd_);
}

std::string IcmpSocket::Open() {
    if (fd_ >= 0) return {};
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd_ >= 0) {
        raw_ = false;
        return {};
    }
    const int dgramError = errno;
    fd_ = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd_ >= 0) {
        raw_ = true;
        id_ = static_cast<std::uint16_t>(std::random_device{}());
        return {};
    }
    const int rawError = errno;
    return std::string("datagram socket: ") + std::strerror(dgramError) +
           "; raw socket: " + std::strerror(rawError);
}

IcmpEchoReply IcmpSocket::Echo(const std::string& target, const std::string& payload,
                               int timeoutMs) {
    IcmpEchoReply reply;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    if (fd_ < 0 || payload.size() > kMaxPayload ||
        ::inet_pton(AF_INET, target.c_str(), &to.sin_addr) != 1)
        return reply;

    const std::uint16_t sequence = ++sequence_;
    std::vector<std::uint8_t> packet(kHeader + payload.size());
    packet[0] = kEchoRequest;
    packet[4] = static_cast<std::uint8_t>(id_ >> 8);
    packet[5] = static_cast<std::uint8_t>(id_);
    packet[6] = static_cast<std::uint8_t>(sequence >> 8);
    packet[7] = static_cast<std::uint8_t>(sequence);
    std::memcpy(packet.data() + kHeader, payload.data(), payload.size());
    const std::uint16_t sum = Checksum(packet.data(), packet.size());
    packet[2] = static_cast<std::uint8_t>(sum >> 8);
    packet[3] = static_cast<std::uint8_t>(sum);

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::milliseconds(timeoutMs);
    if (::sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to) < 0)
        return reply;

    std::vector<std::uint8_t> in(kHeader + kMaxPayload + 60 + 60);
    while (true) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return reply;
        pollfd p{fd_, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return reply;
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t got = ::recvfrom(fd_, in.data(), in.size(), 0,
                                       reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (got <= 0) continue;
        const std::uint8_t* icmp = in.data();
        std::size_t length = static_cast<std::size_t>(got);
        if (raw_) {  // the IP header comes first
            if (length < 20) continue;
            const std::size_t ipHeader = static_cast<std::size_t>(in[0] & 0x0f) * 4;
            if (ipHeader < 20 || length < ipHeader) continue;
            icmp += ipHeader;
            length -= ipHeader;
        }
        if (length < kHeader || icmp[0] != kEchoReply || icmp[1] != 0) continue;
        if (from.sin_addr.s_addr != to.sin_addr.s_addr) continue;
        if (Read16(icmp + 6) != sequence || (raw_ && Read16(icmp + 4) != id_)) continue;
        reply.answered = true;
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        reply.from = text;
        reply.data.assign(reinterpret_cast<const char*>(icmp + kHeader), length - kHeader);
        reply.ms = static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
        return reply;
    }
}

}  // namespace tarvell
