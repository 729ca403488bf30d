#include "service/traps/CScanSnmpTraps.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/Text.h"
#include "platform/snmp/EngineBoots.h"
#include "service/engine/SnmpClient.h"

namespace tarvell {

namespace {

constexpr const char* kLocalEngineId = "Tarvell";
constexpr std::int64_t kMaxIfIndex = 2147483647;
constexpr int kPollMs = 200;

std::uint32_t BootsFrom(const std::string& path) {
    if (path.empty()) return 0;
    return snmp::NextBootCount(path, kLocalEngineId).value_or(0);
}

// The SNMPv3 user of the settings that notifications are taken from; none while SNMPv3 is off.
std::optional<snmp::UsmUser> UserOf(const CTarvellDoc& doc) {
    if (doc.SnmpV3Enabled == 0) return std::nullopt;
    snmp::UsmUser user;
    user.name = doc.SnmpV3User;
    user.auth = snmp::AuthProtocolOfCode(static_cast<std::uint32_t>(doc.SnmpV3AuthProtocol));
    user.priv = snmp::PrivProtocolOfCode(static_cast<std::uint32_t>(doc.SnmpV3PrivProtocol));
    user.authPassword = doc.SnmpV3AuthPassword;
    user.privPassword = doc.SnmpV3PrivPassword;
    return user;
}

std::string AddressText(const sockaddr_storage& from) {
    char text[INET6_ADDRSTRLEN] = {};
    if (from.ss_family == AF_INET) {
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(from).sin_addr, text,
                    sizeof text);
    } else if (from.ss_family == AF_INET6) {
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(from).sin6_addr, text,
                    sizeof text);
    }
    return text;
}

}  // namespace

std::string LinkUpPortIndex(const std::vector<snmp::VarBind>& bindings) {
    static const snmp::Oid kIfIndex = *snmp::ParseOid("1.3.6.1.2.1.2.2.1.1");
    const snmp::VarBind* last = nullptr;
    for (const snmp::VarBind& b : bindings)
        if (snmp::OidStartsWith(b.oid, kIfIndex) && b.oid.size() > kIfIndex.size()) last = &b;
    if (!last) return {};
    const std::string text = snmp::PrintableValue(last->value);
    if (text.empty() || text.size() > 10 || text.front() == '0') return {};
    for (char c : text)
        if (c < '0' || c > '9') return {};
    const std::int64_t v = AtoL(text);
    return v >= 1 && v <= kMaxIfIndex ? text : std::string();
}

CScanSnmpTraps::CScanSnmpTraps(CTarvellFrm& engine, PollStarter& polls, TrapListenerOptions options)
    : engine_(engine),
      polls_(polls),
      options_(std::move(options)),
      decoder_(kLocalEngineId, BootsFrom(options_.bootCounterPath)) {}

std::string CScanSnmpTraps::OnDatagram(std::string_view bytes, const std::string& sender) {
    const auto settings = engine_.Settings();
    const auto user = UserOf(*settings);
    snmp::DecodedDatagram decoded = decoder_.Decode(bytes, user ? &*user : nullptr);
    if (!decoded.fault.empty()) {
        if (decoderFaultsLogged_ == 0)
            engine_.Log("Trap from " + sender + " could not be decoded (" + decoded.fault +
                        "); it is dropped, and such datagrams are counted until one decodes");
        ++decoderFaultsLogged_;
        return {};
    }
    if (decoderFaultsLogged_ != 0) {
        engine_.Log("Traps decode again; " +
                    FormatLong(static_cast<std::int64_t>(decoderFaultsLogged_)) +
                    " could not be decoded and were dropped");
        decoderFaultsLogged_ = 0;
    }
    // With discovery from traps off, notifications are read and dropped, so none is left
    // waiting to start a burst of polls when it is turned on again; informs are still answered.
    if (decoded.notification && settings->DiscoverTrapsEnabled)
        OnNotification(*decoded.notification, sender, *settings);
    return std::move(decoded.answer);
}

void CScanSnmpTraps::OnNotification(const snmp::Notification& n, const std::string& sender,
                                    const CTarvellDoc& settings) {
    if (n.errorStatus != 0 || snmp::OidToText(n.notifyId) != kLinkUp) return;
    const std::string index = LinkUpPortIndex(n.bindings);
    if (index.empty()) return;
    CDbItem sw;
    if (!engine_.LookupSwitchByAddress(sender, sw)) return;
    const std::string portKey = sw.SwitchKey() + "/" + index;
    if (engine_.IsMonitoredInterface(portKey) != 0) return;

    PollRequest request;
    request.PortIndex = index;
    request.SwitchObjectId = sw.SwitchObjectId();
    request.SwitchIp = sender;
    request.SwitchKey = sw.SwitchKey();
    request.Community = sw.SwitchCommunity();
    request.SwitchName = sw.SwitchName().empty() ? sw.SwitchAltName() : sw.SwitchName();
    request.PortName = engine_.GetPortName(portKey);
    request.SwitchLocation = sw.SwitchLocation();
    polls_.RequestPoll(request);

    // A blocked port's event shows the port as up again.
    if (settings.PreventionEnabled && settings.SnmpPreventionEnabled &&
        settings.SnmpPreventionMethod)
        engine_.ClearEventExtra(portKey);
}

void CScanSnmpTraps::Run() {
    const std::string portText = FormatLong(options_.port);
    bool bindFailureLogged = false;

    while (!StopRequested()) {
        int error = EINVAL;
        const int fd = OpenSocket(error);
        if (fd < 0) {
            if (!bindFailureLogged) {
                engine_.Log("Trap port " + portText + " could not be bound (" +
                            std::strerror(error) + "); trying again every " +
                            FormatLong(options_.bindRetryMs / 1000) + " s");
                bindFailureLogged = true;
            }
            if (WaitForStop(options_.bindRetryMs)) return;
            continue;
        }
        if (bindFailureLogged)
            engine_.Log("Trap port " + portText + " bound; traps are received again");
        bindFailureLogged = false;
        sockaddr_in bound{};
        socklen_t boundLength = sizeof bound;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &boundLength) == 0)
            boundPort_ = ntohs(bound.sin_port);
        dropCounter_ = 0;
        Receive(fd);
        LogDrops(true);
        boundPort_ = 0;
        ::close(fd);
    }
}

int CScanSnmpTraps::OpenSocket(int& error) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(options_.port);
    if (::inet_pton(AF_INET, options_.address.c_str(), &local.sin_addr) != 1) return -1;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    error = errno;
    if (fd < 0) return -1;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        error = errno;
        ::close(fd);
        return -1;
    }
    // Beyond the system's limit only with the privilege to pass it; else up to the limit.
    const int bytes = options_.receiveBufferBytes;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_RXQ_OVFL, &one, sizeof one);
    return fd;
}

void CScanSnmpTraps::Receive(int fd) {
    const std::size_t kBuffer = snmp::kMaxMessageSize + 1;
    const auto buffers = std::make_unique<char[]>(kBuffer * kTrapBatch);
    std::array<mmsghdr, kTrapBatch> messages{};
    std::array<iovec, kTrapBatch> vectors{};
    std::array<sockaddr_storage, kTrapBatch> senders{};
    constexpr std::size_t kControl = CMSG_SPACE(sizeof(std::uint32_t));
    std::array<std::array<char, kControl>, kTrapBatch> controls{};

    while (!StopRequested()) {
        LogDrops(false);
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, kPollMs) <= 0) continue;
        for (unsigned i = 0; i < kTrapBatch; ++i) {
            vectors[i] = {buffers.get() + i * kBuffer, kBuffer};
            messages[i].msg_hdr = {};
            messages[i].msg_hdr.msg_name = &senders[i];
            messages[i].msg_hdr.msg_namelen = sizeof senders[i];
            messages[i].msg_hdr.msg_iov = &vectors[i];
            messages[i].msg_hdr.msg_iovlen = 1;
            messages[i].msg_hdr.msg_control = controls[i].data();
            messages[i].msg_hdr.msg_controllen = kControl;
            messages[i].msg_len = 0;
        }
        const int n = ::recvmmsg(fd, messages.data(), kTrapBatch, MSG_DONTWAIT, nullptr);
        if (n <= 0) continue;
        received_ += static_cast<std::uint64_t>(n);
        for (int i = 0; i < n; ++i) {
            msghdr& header = messages[i].msg_hdr;
            for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
                if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL &&
                    c->cmsg_len >= CMSG_LEN(sizeof(std::uint32_t))) {
                    std::uint32_t counter = 0;
                    std::memcpy(&counter, CMSG_DATA(c), sizeof counter);
                    CountDrops(counter);
                }
            }
            // A datagram cut to the buffer is longer than any SNMP message: dropped.
            if ((header.msg_flags & MSG_TRUNC) || messages[i].msg_len > snmp::kMaxMessageSize)
                continue;
            const sockaddr_storage& from = senders[i];
            std::string answer;
            try {
                answer =
                    OnDatagram(std::string_view(buffers.get() + i * kBuffer, messages[i].msg_len),
                               AddressText(from));
            } catch (const std::exception& e) {
                engine_.Log(std::string("Trap could not be handled (") + e.what() +
                            "); it is dropped");
                continue;
            }
            if (!answer.empty())
                ::sendto(fd, answer.data(), answer.size(), MSG_NOSIGNAL,
                         reinterpret_cast<const sockaddr*>(&from), header.msg_namelen);
        }
    }
}

// The socket's counter counts every drop since it was opened and wraps at 2^32.
void CScanSnmpTraps::CountDrops(std::uint32_t counter) {
    const std::uint32_t more = counter - dropCounter_;
    dropCounter_ = counter;
    if (more == 0) return;
    dropped_ += more;
    unloggedDrops_ += more;
}

void CScanSnmpTraps::LogDrops(bool force) {
    if (unloggedDrops_ == 0) return;
    const std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count();
    if (!force && now < nextDropLogMs_) return;
    engine_.Log(FormatLong(static_cast<std::int64_t>(unloggedDrops_)) +
                " traps were dropped by the system: they came faster than they could be read");
    unloggedDrops_ = 0;
    nextDropLogMs_ = now + kTrapDropLogMs;
}

}  // namespace tarvell
