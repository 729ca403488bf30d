// The engine boot counter file: one line per local engine, "<engine id in hex> <boots>".
// Rewritten through "<file>.tmp" and a rename, so a reader never sees half a file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvell::snmp {

inline constexpr std::uint32_t kMaxEngineBoots = 2147483647u;

enum class BootReadStatus {
    Ok,       // the engine's line was found
    NoEntry,  // the file exists and is sound but has no line for the engine
    NoFile,   // there is no file
    Damaged,  // the file exists but cannot be read or parsed
};

struct BootRead {
    BootReadStatus status = BootReadStatus::NoFile;
    std::uint32_t boots = 0;
};

BootRead ReadBootCounter(const std::string& path, std::string_view engineId);
// Stores `boots` for the engine, keeping the other engines' lines. False when the file could
// not be written or is damaged (the old file is then untouched).
bool SaveBootCounter(const std::string& path, std::string_view engineId, std::uint32_t boots);

// Reads, increments (from 0 when there is no entry or no file) and stores the engine's count.
// Serialised within the process. nullopt when the file is damaged or the store fails.
// At the largest value the count stays there (RFC 3414 latches snmpEngineBoots).
std::optional<std::uint32_t> NextBootCount(const std::string& path, std::string_view engineId);

}  // namespace tarvell::snmp
