// A registry store with the Windows model, kept in files: hives, keys with subkeys, named values
// of type string or DWORD, a default value (the empty name), case-insensitive names that keep
// their spelling, enumeration in insertion order, and the Windows result codes.
//
// Each hive is one file, loaded into memory and written back whole after every change (atomic
// replacement). A process-wide mutex orders the threads of one process and an advisory lock
// file orders processes; a hive changed by another process is reloaded before the next use.
// Key paths are split at "\" only; a value name is never a path and may hold "/" and "\".
// A hive file that cannot be parsed is moved aside (name.bad-<seconds>) and reported, and the
// hive starts empty; it is never overwritten.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvell {

enum class Hive { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };

// "HKEY_LOCAL_MACHINE" etc.
std::string_view HiveName(Hive hive);
// The full names and the short ones ("HKLM", "HKCU", "HKCR", "HKU", "HKCC"), any case.
std::optional<Hive> HiveFromName(std::string_view name);

using RegResult = long;
inline constexpr RegResult kRegSuccess = 0;
inline constexpr RegResult kRegNotFound = 2;           // no such key or value
inline constexpr RegResult kRegAccessDenied = 5;       // not writable; or a key with subkeys
inline constexpr RegResult kRegInvalidHandle = 6;      // a RegKey that is not open
inline constexpr RegResult kRegInvalidParameter = 87;  // bad name or path, too long a value
inline constexpr RegResult kRegCorrupt = 1015;         // damaged hive that could not be moved aside
inline constexpr RegResult kRegIoFailed = 1016;        // the hive file could not be read or written
inline constexpr RegResult kRegKeyDeleted = 1018;      // the key of an open RegKey was deleted
inline constexpr RegResult kRegWrongType = 1630;       // the value has the other type

enum class RegType { String = 1, Dword = 4 };  // the numbers of REG_SZ and REG_DWORD

struct RegValue {
    std::string name;
    RegType type = RegType::String;
    std::string text;         // String: the bytes as stored
    std::uint32_t dword = 0;  // Dword
};

// Limits: a key name up to 255 bytes, a value name up to 16383, string data up to 1 MiB,
// keys nested up to 512 deep. Names are case-insensitive in ASCII only and hold no NUL byte.
inline constexpr std::size_t kRegMaxKeyName = 255;
inline constexpr std::size_t kRegMaxValueName = 16383;
inline constexpr std::size_t kRegMaxData = 1024 * 1024;
inline constexpr std::size_t kRegMaxDepth = 512;

class HiveStore;

// An open key. Copies refer to the same key. It names the key by its path, so it stays valid
// across reloads; once the key is deleted every call gives kRegKeyDeleted.
class RegKey {
public:
    RegKey() = default;
    bool IsOpen() const { return store_ != nullptr; }
    void Close();
    Hive GetHive() const { return hive_; }
    // The key's path below its hive, in the spelling stored ("" for the hive itself).
    std::string Path() const;

    RegResult OpenKey(std::string_view subPath, RegKey* out) const;
    RegResult CreateKey(std::string_view subPath, RegKey* out) const;
    // Deletes a subkey. Without `recursive` a subkey that has subkeys of its own is refused
    // with kRegAccessDenied, as the Windows call does.
    RegResult DeleteKey(std::string_view subPath, bool recursive = false) const;

    RegResult QueryString(std::string_view name, std::string* out) const;
    RegResult QueryDword(std::string_view name, std::uint32_t* out) const;
    RegResult QueryValue(std::string_view name, RegValue* out) const;
    // Creates or replaces a value. A replaced value keeps its name's spelling and its place.
    RegResult SetString(std::string_view name, std::string_view data) const;
    RegResult SetDword(std::string_view name, std::uint32_t data) const;
    RegResult DeleteValue(std::string_view name) const;

    // Subkey names and values in the order they were created.
    RegResult EnumKeys(std::vector<std::string>* names) const;
    RegResult EnumValues(std::vector<RegValue>* values) const;

private:
    friend class Registry;
    RegKey(std::shared_ptr<HiveStore> store, Hive hive, std::vector<std::string> path)
        : store_(std::move(store)), hive_(hive), path_(std::move(path)) {}

    std::shared_ptr<HiveStore> store_;
    Hive hive_ = Hive::LocalMachine;
    std::vector<std::string> path_;
};

using RegDamageReporter = std::function<void(const std::string& message)>;

class Registry {
public:
    // Machine hives (all but HKEY_CURRENT_USER) live in machineFolder, the current user's in
    // userFolder. Folders are created on the first change.
    Registry(std::string machineFolder, std::string userFolder);
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    // The store in the folders that Paths gives now (MachineRegistryFolder,
    // UserRegistryFolder). The object lives until the process ends.
    static Registry& Default();

    // `path` is relative to the hive; "" opens the hive itself.
    RegResult OpenKey(Hive hive, std::string_view path, RegKey* out);
    // Opens the key, creating it and any missing parent.
    RegResult CreateKey(Hive hive, std::string_view path, RegKey* out);
    RegResult DeleteKey(Hive hive, std::string_view path, bool recursive = false);

    // Told about every damaged hive file found (default: a line on standard error). It runs
    // under the store's lock and must not call the registry.
    void SetDamageReporter(RegDamageReporter reporter);
    std::string HiveFile(Hive hive) const;

private:
    std::string machineFolder_;
    std::string userFolder_;
    std::shared_ptr<RegDamageReporter> reporter_;
    std::shared_ptr<HiveStore> stores_[5];
};

}  // namespace tarvell
