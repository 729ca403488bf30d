#include "platform/ErrnoText.h"

#include <cstring>

namespace tarvell {

std::string ErrnoText(int error) {
    char buffer[256] = {};
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
    // The GNU form returns the text, in `buffer` or in static storage.
    const char* text = ::strerror_r(error, buffer, sizeof buffer);
    return text ? std::string(text) : "Unknown error " + std::to_string(error);
#else
    if (::strerror_r(error, buffer, sizeof buffer) != 0)
        return "Unknown error " + std::to_string(error);
    return buffer;
#endif
}

}  // namespace tarvell
