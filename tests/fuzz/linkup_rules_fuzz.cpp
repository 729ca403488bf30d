// libFuzzer target: the settings texts of the linkup checks (log-on texts, WMI conditions,
// program and registry alternatives) taken apart without a crash, and the parts put back
// together give the text again where the format allows it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "service/linkup/LinkupRules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const tarvell::WmiAccount logon = tarvell::SplitLogon(text);
    if (logon.user.size() + logon.domain.size() + logon.password.size() > text.size()) std::abort();
    const tarvell::WmiCondition condition = tarvell::ParseWmiCondition(text);
    if (condition.type < -1 || condition.type > 1000) std::abort();
    (void)tarvell::MatchAny(text, condition.alternatives);
    const auto [name, version] = tarvell::SplitProgram(text);
    if (name.size() + version.size() + (name.size() < text.size() ? 1 : 0) != text.size())
        std::abort();
    const auto [path, expected] = tarvell::SplitRegistryExpected(text);
    if (const auto parsed = tarvell::ParseRegistryPath(path)) {
        if (parsed->key.empty() || parsed->key.size() + parsed->value.size() >= path.size())
            std::abort();
    }
    if (tarvell::LogText(text).size() > 256) std::abort();
    (void)tarvell::NodeAddress(text);
    return 0;
}
