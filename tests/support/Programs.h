// The built programs that the process tests start, by their place in the build folder.
#pragma once

#include <string>

namespace tarvell::test {

inline std::string ServiceProgram() {
    return std::string(TARVELL_BINARY_DIR) + "/service/TarvellSrv";
}

// One of tools/ (tarvell-ini, tarvell-reg, ombrix-make, arcdump, ...).
inline std::string ToolProgram(const std::string& name) {
    return std::string(TARVELL_BINARY_DIR) + "/tools/" + name;
}

}  // namespace tarvell::test
