// What every alert channel (e-mail, run command, SNMP trap, syslog) shares about targets and
// texts: whether a configured target wants an alert, and the final text of a template with the
// alert's "$" macros replaced.
//
// A target entry is "<target part>|<filters>" (shared/AlertTarget.h). The type digits "0".."8"
// name the alert value a pattern tests; any other type, and a filter without "/", tests nothing.
// Filters are alternatives: one match delivers. An entry without filters delivers everything.
//
// Macro values come from the alert and the node (both outside data); they are inserted as they
// stand and never searched for their own macro again, so expansion always ends and its output
// is at most the template's length plus the values' lengths per occurrence. Escaping for where
// the text goes (mail headers, a command line, a syslog datagram) is the channel's job.
#pragma once

#include <string>
#include <string_view>

#include "shared/CAlertItem.h"

namespace tarvell {

class CTarvellFrm;

// True when the text matches the pattern, where "*" stands for any run of characters (also
// none) and letters A to Z match either case. The one wildcard matcher of the service: the same
// as the engine's look-ups use.
bool MatchWildcard(const std::string& text, const std::string& pattern);

struct TargetDecision {
    std::string target;  // the text before the first "|" (the whole entry without one)
    bool deliver = false;
};

// Whether a filter list (the text after a target's "|") lets the alert through: an empty list
// does, else any filter whose pattern matches its value. `descriptionText` as below.
bool FiltersMatchAlert(std::string_view filters, const CAlertItem& alert,
                       const std::string& descriptionText);

// Splits a target entry at its first "|" and applies its filters to the alert. `descriptionText` is
// the value that filter type "8" tests: the alert's expanded description text (for the SNMP trap
// and syslog channels their expanded message, built the same way).
TargetDecision TargetMatchesAlert(const std::string& entry, const CAlertItem& alert,
                                  const std::string& descriptionText);

// Replaces every occurrence of `macro` in `text`, left to right; inserted values are not
// searched again. An empty macro changes nothing.
std::string ReplaceMacro(std::string_view text, std::string_view macro, std::string_view value);

// The configured texts of an alert's event type and severity (the engine's look-ups).
struct AlertTextSources {
    std::string alertText;        // FormatAlertCause(Description)
    std::string descriptionText;  // FormatAlertDescription(Description)
    std::string causeText;        // FormatAlertCause(EventType)
    std::string severityText;     // FormatAlertSeverity(Severity)
};
AlertTextSources LookUpAlertTexts(const CTarvellFrm& engine, const CAlertItem& alert);

// One event text with "$cause", "$before", "$current", "$submitter" and "$severity" replaced,
// one pass each in that order.
std::string ExpandEventText(const std::string& text, const CAlertItem& alert,
                            const AlertTextSources& sources);

// The alert's time as people read it: the leading decimal number of its queue key
// ("<seconds>.<counter>") as local date and time. A key without a leading number reads as 0.
std::string AlertDateText(const std::string& key);

// A template (mail subject or body, command line) with the alert's macros replaced, one pass
// each in this order: "$date", "$alert", "$description", "$device_name", "$device_ip",
// "$device_port", "$device_location", "$source_mac", "$source_ip", "$source_name". A macro that
// a value brings in is replaced only when its own turn is still to come.
std::string ExpandAlertMacros(const std::string& templateText, const CAlertItem& alert,
                              const std::string& key, const AlertTextSources& sources);
// The same with every inserted value passed through `escape` first (HTML mails: the values are
// escaped, the administrator's template is not).
using MacroValueEscape = std::string (*)(std::string_view);
std::string ExpandAlertMacros(const std::string& templateText, const CAlertItem& alert,
                              const std::string& key, const AlertTextSources& sources,
                              MacroValueEscape escape);
// The same with the texts looked up in the engine's current settings.
std::string ExpandAlertMacros(const CTarvellFrm& engine, const std::string& templateText,
                              const CAlertItem& alert, const std::string& key);

}  // namespace tarvell
