// libFuzzer target for the trap listener's decoding of a datagram: SNMPv1/v2c notifications,
// SNMPv3 with a configured user (MD5/DES), engine discovery and the answers built from them.
// Built and run by tests/fuzz/run.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/snmp/Message.h"
#include "service/traps/TrapDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarvell;
    static TrapDecoder decoder("Tarvell", 7);
    static const TrapUser user{true,
                               {"labuser", snmp::AuthProtocol::Md5, snmp::PrivProtocol::Des,
                                "lab-auth-pass", "lab-priv-pass"}};
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const DecodedDatagram d = decoder.Decode(input, user);
    if (d.answer.size() > snmp::kMaxMessageSize) __builtin_trap();
    if (d.notification) {
        for (const auto& b : d.notification->bindings) (void)snmp::PrintableValue(b.value);
        (void)snmp::OidToText(d.notification->notifyId);
    }
    // Whatever is answered must itself decode.
    if (!d.answer.empty() && !snmp::PeekVersion(d.answer)) __builtin_trap();
    return 0;
}
