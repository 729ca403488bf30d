#include "viewer/core/hub/EventMacros.h"

#include <string_view>
#include <utility>

namespace tarvell {
namespace {

// One left-to-right pass: each occurrence is replaced and the scan goes on after the inserted
// value, so the work is bounded by the text's length whatever the value holds.
std::string ReplaceAll(const std::string& text, std::string_view macro, const std::string& value) {
    std::string out;
    std::size_t from = 0;
    for (std::size_t at = text.find(macro); at != std::string::npos; at = text.find(macro, from)) {
        out.append(text, from, at - from);
        out += value;
        from = at + macro.size();
    }
    out.append(text, from, std::string::npos);
    return out;
}

}  // namespace

std::string ExpandEventMacros(const std::string& text, const EventMacroValues& values) {
    const std::pair<std::string_view, const std::string*> order[] = {
        {"$cause", &values.cause},       {"$before", &values.before},
        {"$current", &values.current},   {"$submitter", &values.submitter},
        {"$severity", &values.severity},
    };
    std::string out = text;
    for (const auto& [macro, value] : order) out = ReplaceAll(out, macro, *value);
    return out;
}

}  // namespace tarvell
