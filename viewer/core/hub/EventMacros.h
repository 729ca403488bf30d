// The macros of the event and alert texts: "$cause", "$before", "$current", "$submitter" and
// "$severity", replaced in that order at every occurrence.
#pragma once

#include <string>

namespace tarvell {

struct EventMacroValues {
    std::string cause, before, current, submitter, severity;
};

// "$cause", "$before", "$current", "$submitter", "$severity" replaced in that order; text put
// in for a macro is not searched again for that macro (so a value holding "$before" ends).
std::string ExpandEventMacros(const std::string& text, const EventMacroValues& values);

}  // namespace tarvell
