// The event types both programs speak of. The service writes the key into each record's
// EventType and Description and finds the configured alert texts by the key's position; the
// viewer shows the key as a display name, a sentence with macros ("$current", "$before",
// "$severity", "$submitter", "$cause", filled by the screens) and an HTML information page, and
// seeds the settings' alert-text tables from the same rows. Keys are compared exactly
// (case-sensitive, whole text); any other key gives empty texts.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tarvell {

struct EventTypeEntry {
    std::string_view key;       // the records' EventType text
    std::string_view name;      // display name; also the type's entry in AlertCauseTexts
    std::string_view sentence;  // display sentence; also its entry in AlertDescriptionTexts
    int help;                   // information page, -1 for none
};

// The 32 event types in table order (the order of the settings' per-type lists).
std::span<const EventTypeEntry> EventTypeTable();
// The row of a key, or null.
const EventTypeEntry* FindEventType(std::string_view key);

std::string EventTypeName(std::string_view key);
std::string EventTypeText(std::string_view key);
std::string EventTypeHelp(std::string_view key);
// "Normal", "Low", "Moderate", "Elevated", "High", "Severe" for 0..5; empty otherwise.
std::string ThreatLevelName(int level);
// The 32 keys in table order.
std::span<const std::string_view> EventTypeKeys();

// ---- the settings' alert-text tables

// The alert-text rows: the 32 event types, then the test alert ("Test Message"). The service
// reads AlertCauseTexts and AlertDescriptionTexts by a type's position here; the viewer seeds
// those lists with the rows' names and sentences.
std::span<const EventTypeEntry> AlertTextTable();
// The position of a type among the alert-text rows, or nullopt.
std::optional<std::size_t> AlertTextIndex(std::string_view key);
// The six threat level names, the seed of AlertSeverityTexts (index = severity code).
std::span<const std::string_view> ThreatLevelNames();

}  // namespace tarvell
