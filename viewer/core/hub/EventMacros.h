// The event text macros, one helper for every screen that shows an event or an alert.
#pragma once

#include <string>

namespace tarvell {

struct EventMacroValues {
    std::string cause, before, current, submitter, severity;
};

// "$cause", "$before", "$current", "$submitter", "$severity" replaced in that order; text put in
// for a macro is not searched again for that macro (so a value holding "$before" ends).
std::string ExpandEventMacros(const std::string& text, const EventMacroValues& values);

}  // namespace tarvell
