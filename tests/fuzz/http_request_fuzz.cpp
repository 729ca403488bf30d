// libFuzzer target for the HTTP request-line reader and parser: any bytes as they may arrive on
// a connection. The first byte chooses where the bytes are split into two packets; the reader
// must give the same line either way, an accepted line must be exactly the grammar's
// (it prints back to the same text), and the query look-up must never give a value that holds
// the item separator. Built and run by tests/fuzz/run (not part of the CMake build).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/http/HttpRequest.h"

namespace {

using namespace tarvell::http;

constexpr std::size_t kBound = 2050;

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t split = data[0] % (size);
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    RequestLineReader whole(kBound);
    const LineStatus status = whole.Feed(bytes);
    RequestLineReader parts(kBound);
    parts.Feed(bytes.substr(0, std::min(split, bytes.size())));
    if (split < bytes.size()) parts.Feed(bytes.substr(split));
    Check(parts.Status() == status);
    Check(parts.Line() == whole.Line());
    Check(whole.Line().size() < kBound);
    if (status != LineStatus::Complete) return 0;

    const auto line = ParseRequestLine(whole.Line());
    if (!line) return 0;
    Check(line->method + " " + line->target + " HTTP/1." + std::to_string(line->minorVersion) ==
          whole.Line());
    Check(!line->target.empty() && line->target.front() == '/');
    for (const char* name : {"Prog", "Event", "Action", "Key", "Auth", "a"}) {
        const auto value = QueryParameter(line->query, name);
        if (value) Check(value->find('&') == std::string::npos);
    }
    return 0;
}
