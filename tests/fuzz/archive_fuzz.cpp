// libFuzzer target for the archive reader: any input is read as a state-file-shaped archive.
// Refusal must be ArchiveError; what is accepted is written again and must read back the same.
// Built and run by tests/fuzz/run (not part of the CMake build).
#include "platform/Archive.h"
#include "platform/ObjectMap.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "tests/platform/ArchiveTestRecord.h"

namespace {

using namespace tarvell;
using archivetest::SampleFile;

// The sample file followed by the header of a second class, so that a class defined after
// others is read too.
std::string StoreFile(const SampleFile& f) {
    ArchiveWriter w;
    archivetest::WriteSample(w, f);
    w.WriteObjectHeader("CFuzzOther", 2);
    return w.TakeBytes();
}

SampleFile LoadFile(std::string_view bytes) {
    ArchiveReader r(bytes);
    SampleFile f = archivetest::ReadSample(r);
    r.ReadObjectHeader("CFuzzOther", 2);
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string stored;
    try {
        stored = StoreFile(LoadFile(input));
    } catch (const ArchiveError&) {
        return 0;
    } catch (...) {
        std::abort();  // any other failure is a fault of the reader
    }
    if (StoreFile(LoadFile(stored)) != stored) std::abort();
    return 0;
}
