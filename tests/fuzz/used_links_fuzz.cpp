// libFuzzer target for the stored used-link list (ActionLink.used) and the queued link requests:
// any bytes as a damaged file or entry may hold. A parsed list must print back to a text that
// parses to the same list, stay within its bound and hold no expired token; a parsed request
// must print back to itself. Built and run by tests/fuzz/run (not part of the CMake build).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "service/engine/UsedLinks.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const tarvell::UsedLinks links = tarvell::UsedLinks::Parse(text, 1'000'000);
    Check(links.Size() <= tarvell::kMaxUsedLinks);
    const std::string printed = links.Format();
    Check(tarvell::UsedLinks::Parse(printed, 1'000'000).Format() == printed);

    if (const auto request = tarvell::LinkRequest::Parse(text)) {
        const auto again = tarvell::LinkRequest::Parse(request->Format());
        Check(again && again->Format() == request->Format());
    }
    return 0;
}
