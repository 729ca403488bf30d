// libFuzzer target: connection texts read strictly without a crash; whatever is read and
// written back reads again as the same pairs, holds no control byte, and the database export's
// check of it either refuses it or hands on a text that reads back as its own pairs.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/odbc/ConnectString.h"
#include "service/exports/SqlConnect.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string why;
    const auto pairs = tarvell::odbc::ParseConnectString(text, &why);
    if (!pairs) {
        if (why.empty()) std::abort();
        return 0;
    }
    if (const auto out = tarvell::odbc::FormatConnectString(*pairs, &why)) {
        for (char c : *out)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) std::abort();
        if (tarvell::odbc::ParseConnectString(*out, nullptr) != pairs) std::abort();
    }
    static const std::vector<std::string> drivers = {"Tarvell SQLite3"};
    if (const auto used = tarvell::CheckedConnectString(text, drivers, &why)) {
        const auto again = tarvell::odbc::ParseConnectString(*used, nullptr);
        if (!again || tarvell::odbc::FormatConnectString(*again, nullptr) != *used) std::abort();
    }
    return 0;
}
