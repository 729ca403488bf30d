// File helpers: whole-file reads, atomic replacement, moving a damaged file aside, retries.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Clock.h"

namespace tarvell {

// The whole file, or nullopt when it cannot be opened or read. Files larger than maxBytes are
// refused (nullopt) rather than read.
std::optional<std::string> ReadWholeFile(const std::string& path,
                                         std::size_t maxBytes = 1024u * 1024u * 1024u);

// Writes path + ".tmp" in the same folder, flushes it to disk and renames it over path, so a
// reader sees either the old or the new file, never a part. Returns false (and removes the
// temporary file) on any failure; the old file is then untouched.
bool AtomicWriteFile(const std::string& path, std::string_view bytes);

// Renames a file that exists but cannot be used to path + ".bad-<seconds>". Returns the new
// name, or an empty text when the rename failed.
std::string MoveAside(const std::string& path, Clock& clock = DefaultClock());

bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);
bool RemoveFile(const std::string& path);
// Creates the folder and its parents (like mkdir -p); true when it exists afterwards.
bool MakeDirectories(const std::string& path, unsigned mode = 0755);
// Folder + "/" + name, without doubling the separator.
std::string JoinPath(std::string_view folder, std::string_view name);

// Calls attempt() up to `attempts` times until it returns true, sleeping delayMs on the clock
// after each failed attempt (also after the last one, as the settings file's retries do when
// `sleepAfterLast` is set). Returns whether an attempt succeeded.
bool Retry(int attempts, std::int64_t delayMs, const std::function<bool()>& attempt,
           Clock& clock = DefaultClock(), bool sleepAfterLast = true);

}  // namespace tarvell
