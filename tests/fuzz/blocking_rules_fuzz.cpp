// libFuzzer target: the settings texts of port blocking (schedule entries, SNMP block queries,
// log-on texts) taken apart without a crash, and what is accepted stays within its bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "service/blocking/BlockingRules.h"
#include "service/engine/SnmpClient.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (const auto entry = tarvell::ParseScheduleEntry(text)) {
        if (entry->day < 0 || entry->start < 0 || entry->start > 86399 || entry->end < 0 ||
            entry->end > 86399)
            std::abort();
    }
    for (const bool standard : {true, false}) {
        if (const auto object = tarvell::PortObjectFor(standard, true, text, text)) {
            if (object->oid.empty() || object->oid.size() >= tarvell::SnmpOidEntry::kTextSize ||
                object->value.size() >= tarvell::SnmpOidEntry::kTextSize)
                std::abort();
            for (const char c : object->oid)
                if ((c < '0' || c > '9') && c != '.') std::abort();
        }
    }
    const tarvell::ProcessAccount account = tarvell::SplitLogonText(text);
    if (account.user.size() + account.domain.size() + account.password.size() > text.size())
        std::abort();
    return 0;
}
