// The viewer's texts for the event types: the display name, the sentence with its macros
// ("$current", "$before", "$severity", "$submitter", "$cause", filled by the screens), the HTML
// information page, and the names of the threat levels. Keys are the records' EventType texts,
// compared exactly; any other key gives empty texts.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tarvell {

std::string EventTypeName(std::string_view key);
std::string EventTypeText(std::string_view key);
std::string EventTypeHelp(std::string_view key);
// "Normal", "Low", "Moderate", "Elevated", "High", "Severe" for 0..5; empty otherwise.
std::string ThreatLevelName(int level);

// The 32 keys in table order.
std::span<const std::string_view> EventTypeKeys();

}  // namespace tarvell
