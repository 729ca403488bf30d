// libFuzzer target for the decoding of a datagram at a notification receiver: SNMPv1/v2c
// notifications, SNMPv3 with a configured user (MD5/DES), engine discovery and the answers built
// from them. Built and run by tests/fuzz/run.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/snmp/Message.h"
#include "platform/snmp/Notification.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarvell::snmp;
    static NotificationDecoder decoder("local-engine", 7);
    static const UsmUser user{"labuser", AuthProtocol::Md5, PrivProtocol::Des, "lab-auth-pass",
                              "lab-priv-pass"};
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const DecodedDatagram d = decoder.Decode(input, &user);
    if (d.answer.size() > kMaxMessageSize) __builtin_trap();
    // A fault of the decoder's own, not the sender's.
    if (!d.fault.empty()) __builtin_trap();
    if (d.notification) {
        for (const auto& b : d.notification->bindings) (void)PrintableValue(b.value);
        (void)OidToText(d.notification->notifyId);
    }
    // Whatever is answered must itself decode.
    if (!d.answer.empty() && !PeekVersion(d.answer)) __builtin_trap();
    return 0;
}
