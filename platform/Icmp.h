// ICMP echo over IPv4: an unprivileged ICMP datagram socket where the system allows one, else a
// raw socket (root or CAP_NET_RAW).
#pragma once

#include <cstdint>
#include <string>

namespace tarvell {

struct IcmpEchoReply {
    bool answered = false;
    std::string from;  // dotted address of the replying node
    std::string data;  // the echo data, exactly as long as received
    long ms = 0;       // round trip, steady clock
};

class IcmpSocket {
public:
    IcmpSocket() = default;
    ~IcmpSocket();
    IcmpSocket(const IcmpSocket&) = delete;
    IcmpSocket& operator=(const IcmpSocket&) = delete;

    // Empty once a socket is open, else the reason neither kind could be opened.
    std::string Open();
    bool IsRaw() const { return raw_; }
    // Sends one echo request carrying `payload` (at most 65 500 bytes) to a dotted IPv4 address
    // and waits up to `timeoutMs` for an echo reply from that address with this request's
    // sequence number (and identifier on a raw socket). Other datagrams are skipped.
    IcmpEchoReply Echo(const std::string& target, const std::string& payload, int timeoutMs);

private:
    int fd_ = -1;
    bool raw_ = false;
    std::uint16_t id_ = 0;
    std::uint16_t sequence_ = 0;
};

}  // namespace tarvell
