#include "viewer/core/hub/EventMacros.h"

#include <string_view>

namespace tarvell {

namespace {

// Replaces every `macro` of `text` by `value`, scanning on after each inserted value.
std::string ReplaceAll(const std::string& text, std::string_view macro, const std::string& value) {
    std::string out;
    out.reserve(text.size());
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
    std::string out = ReplaceAll(text, "$cause", values.cause);
    out = ReplaceAll(out, "$before", values.before);
    out = ReplaceAll(out, "$current", values.current);
    out = ReplaceAll(out, "$submitter", values.submitter);
    return ReplaceAll(out, "$severity", values.severity);
}

}  // namespace tarvell
