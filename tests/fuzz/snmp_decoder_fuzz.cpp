// libFuzzer target for the SNMP decoders (not part of the CMake build). Built and run, with the
// other targets, by tests/fuzz/run; this one alone for 60 s:
//   tests/fuzz/run 60 snmp_decoder_fuzz
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/snmp/Message.h"
#include "platform/snmp/Usm.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarvell::snmp;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (auto m = DecodeCommunityMessage(input)) {
        for (const auto& vb : m->isTrapV1 ? m->trap.bindings : m->pdu.bindings) {
            (void)PrintableValue(vb.value);
            (void)EncodeValue(vb.value);
        }
        if (!m->isTrapV1) (void)EncodeCommunityMessage(m->version, m->community, m->pdu);
    }
    if (auto m = DecodeV3Message(input)) {
        if (m->authParamsOffset + m->usm.authParams.size() > size) __builtin_trap();
        for (const auto& vb : m->scoped.pdu.bindings) (void)PrintableValue(vb.value);
    }
    if (auto s = DecodeScopedPdu(input)) (void)EncodeScopedPdu(*s);
    (void)PeekVersion(input);
    return 0;
}
