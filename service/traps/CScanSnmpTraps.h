// The trap listener: receives notifications on the trap port (UDP 162), answers informs, and for
// every linkUp from a known switch on a monitored port asks the poll scheduler for a poll of
// that port. It only reads, checks and queues; the polls run elsewhere.
//
// Checks of a notification, in order: it decodes (snmp::NotificationDecoder), discovery from traps
// is on (otherwise it is read and dropped, though an inform is still answered), its error status is
// 0, its id is linkUp, its last ifIndex binding (an OID under 1.3.6.1.2.1.2.2.1.1.) holds a
// decimal 1..2147483647, the sender's address is in some switch's IP list, and the engine does
// not exclude the port. A notification failing a check is ignored without a message.
//
// A port that cannot be bound (taken by another program) is logged once and tried again every
// 30 s until it is free or the listener stops.
//
// The socket gets a large receive buffer (8 MiB asked for; the system may give less) and is read
// kTrapBatch datagrams per call. Datagrams the system dropped because the buffer was full are
// counted and logged at once, then at most once a minute while drops go on.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/WorkerThread.h"
#include "platform/snmp/Notification.h"
#include "service/engine/CTarvellFrm.h"
#include "service/polling/PollRequest.h"

namespace tarvell {

struct TrapListenerOptions {
    std::uint16_t port = 162;         // 0: any free port (tests; see BoundPort)
    std::string address = "0.0.0.0";  // IPv4 address to listen on
    std::int64_t bindRetryMs = 30'000;
    std::string bootCounterPath;       // engine boots of the local SNMPv3 engine; empty: boots 0
    int receiveBufferBytes = 8 << 20;  // the socket's receive buffer asked for
};

// Datagrams read per system call, and how often kernel drops are logged while they last.
inline constexpr unsigned kTrapBatch = 32;
inline constexpr std::int64_t kTrapDropLogMs = 60'000;

class CScanSnmpTraps : public WorkerThread {
public:
    static constexpr const char* kLinkUp = "1.3.6.1.6.3.1.1.5.4";
    static constexpr const char* kIfIndexPrefix = "1.3.6.1.2.1.2.2.1.1.";

    CScanSnmpTraps(CTarvellFrm& engine, PollStarter& polls, TrapListenerOptions options = {});
    ~CScanSnmpTraps() override { StopAndJoin(); }

    // One datagram from the IPv4 or IPv6 address `sender` (text): decoded, checked, a poll
    // queued. Returns the bytes to send back (an inform's answer, a report), or empty.
    std::string OnDatagram(std::string_view bytes, const std::string& sender);

    // The port the listener holds; 0 while it holds none.
    std::uint16_t BoundPort() const { return boundPort_.load(); }
    const std::string& EngineId() const { return decoder_.EngineId(); }
    // Datagrams the system dropped for want of buffer room since the start.
    std::uint64_t DroppedDatagrams() const { return dropped_.load(); }
    std::uint64_t ReceivedDatagrams() const { return received_.load(); }

protected:
    void Run() override;

private:
    void OnNotification(const snmp::Notification& n, const std::string& sender,
                        const CTarvellDoc& settings);
    int OpenSocket(int& error);
    void Receive(int fd);
    void CountDrops(std::uint32_t counter);
    void LogDrops(bool force);

    CTarvellFrm& engine_;
    PollStarter& polls_;
    const TrapListenerOptions options_;
    snmp::NotificationDecoder decoder_;
    std::uint64_t decoderFaultsLogged_ =
        0;  // datagrams dropped by decoder faults since the last good one
    std::atomic<std::uint16_t> boundPort_{0};
    std::atomic<std::uint64_t> dropped_{0};
    std::atomic<std::uint64_t> received_{0};
    // Listener thread only: the socket's drop counter last seen, drops not yet logged, and
    // when the next line may be written.
    std::uint32_t dropCounter_ = 0;
    std::uint64_t unloggedDrops_ = 0;
    std::int64_t nextDropLogMs_ = 0;
};

// The port index of a linkUp: the value of the last binding under the ifIndex column, when it
// is a decimal 1..2147483647; empty otherwise.
std::string LinkUpPortIndex(const std::vector<snmp::VarBind>& bindings);

}  // namespace tarvell
