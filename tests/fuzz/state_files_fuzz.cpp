// libFuzzer target for the real decoders of the stored files: the event database, the alert log
// (and daily archives), the mail store, the sibling database and the settings file. The first
// byte of the input picks the decoder, the rest is the file. A refusal is fine; what is accepted
// is written again, and that must read back and write the same bytes (the round trip), and a
// capped sibling read must keep no more than its caps. Built and run by tests/fuzz/run.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "shared/CTarvellDoc.h"
#include "shared/StateFiles.h"

namespace {

using namespace tarvell;

template <class F>
void RoundTrip(std::string_view bytes) {
    F first;
    if (!DecodeStateFile(bytes, first)) return;
    const std::string stored = EncodeStateFile(first);
    F second;
    if (!DecodeStateFile(stored, second)) std::abort();  // what we write, we must read
    if (EncodeStateFile(second) != stored) std::abort();
}

void SiblingCapped(std::string_view bytes) {
    const SiblingCaps caps{2, 3, 4};
    SiblingDatabaseFile capped;
    SiblingDropped dropped;
    const bool read = DecodeSiblingFile(bytes, capped, caps, &dropped);
    SiblingDatabaseFile whole;
    if (read != DecodeStateFile(bytes, whole)) std::abort();  // caps never change the verdict
    if (!read) return;
    if (capped.SiblingSwitches.size() > 2 || capped.SiblingPorts.size() > 3 ||
        capped.SiblingNodes.size() > 4)
        std::abort();
    if (capped.SiblingNodes.size() + dropped.nodes < whole.SiblingNodes.size()) std::abort();
    // A kept record is the one the whole read holds under its key (the last of its key).
    for (const auto& [key, node] : capped.SiblingNodes) {
        const auto found = whole.SiblingNodes.find(key);
        if (found == whole.SiblingNodes.end() || !(*found->second == *node)) std::abort();
    }
}

void Settings(std::string_view bytes) {
    CTarvellDoc first;
    if (!CTarvellDoc::LoadFromBytes(bytes, first)) return;
    const std::string stored = first.StoreToBytes();
    CTarvellDoc second;
    if (!CTarvellDoc::LoadFromBytes(stored, second)) std::abort();
    if (second.StoreToBytes() != stored) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view file(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 6) {
        case 0: RoundTrip<EventDatabaseFile>(file); break;
        case 1: RoundTrip<AlertLogFile>(file); break;
        case 2: RoundTrip<ReportStoreFile>(file); break;
        case 3: RoundTrip<SiblingDatabaseFile>(file); break;
        case 4: SiblingCapped(file); break;
        default: Settings(file); break;
    }
    return 0;
}
