// Contents of the engine's state files and of the sibling product's database, with the one
// encoding that the engine, the viewer and the tools share. Each file is one archive; loading
// goes into a fresh value that the caller takes over only when the whole file was read.
#pragma once

#include <cerrno>
#include <cstddef>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Archive.h"
#include "platform/ObjectMap.h"
#include "shared/CAlertItem.h"
#include "shared/CDbItem.h"
#include "shared/CEventItem.h"

namespace tarvell {

// Tarvell.db
struct EventDatabaseFile {
    std::string SwitchCount;                         // "%ld"
    std::string NodeCount;                           // "%ld"
    std::map<std::string, std::string> DeviceTable;  // switch key -> ip/name/contact/location
    std::map<std::string, std::string> PortNames;    // port key -> port name
    ObjectMap<CEventItem> EventMap;                  // event key -> current event

    void Store(ArchiveWriter& ar) const;
    void Load(ArchiveReader& ar);
};

// Tarvell.log, and the daily archives "%Y%m%d_AutoArchive.log" (same layout).
struct AlertLogFile {
    ObjectMap<CAlertItem> AlertLog;  // alert key "%ld.%d" -> alert

    void Store(ArchiveWriter& ar) const;
    void Load(ArchiveReader& ar);
};

// Tarvell.eml
struct ReportStoreFile {
    ObjectMap<CAlertItem> ReportStore;
    std::string LastDailyReport;
    std::string LastWeeklyReport;

    void Store(ArchiveWriter& ar) const;
    void Load(ArchiveReader& ar);
};

// How many records of each map of Ombrix.db a reader keeps; the file is another product's, so
// its size is not ours to trust. Records beyond a cap are read and checked, then dropped.
struct SiblingCaps {
    std::size_t switches = static_cast<std::size_t>(-1);
    std::size_t ports = static_cast<std::size_t>(-1);
    std::size_t nodes = static_cast<std::size_t>(-1);
};

// The records a capped load left out, per map.
struct SiblingDropped {
    std::size_t switches = 0;
    std::size_t ports = 0;
    std::size_t nodes = 0;
    bool Any() const { return switches + ports + nodes != 0; }
};

// Ombrix.db, written by the sibling product (and by ombrix-make for test installations).
struct SiblingDatabaseFile {
    ObjectMap<CDbItem> SiblingSwitches;  // switch key -> switch record
    ObjectMap<CDbItem> SiblingPorts;     // switch key "/" port number -> port record
    ObjectMap<CDbItem> SiblingNodes;     // node MAC -> node record

    void Store(ArchiveWriter& ar) const;
    void Load(ArchiveReader& ar) { Load(ar, SiblingCaps{}, nullptr); }
    void Load(ArchiveReader& ar, const SiblingCaps& caps, SiblingDropped* dropped);
};

// DecodeStateFile for Ombrix.db with caps on the records kept; `dropped` (when given) says what
// was left out.
bool DecodeSiblingFile(std::string_view bytes, SiblingDatabaseFile& into, const SiblingCaps& caps,
                       SiblingDropped* dropped, std::string* error = nullptr);

inline constexpr std::string_view kEventDatabaseName = "Tarvell.db";
inline constexpr std::string_view kAlertLogName = "Tarvell.log";
inline constexpr std::string_view kReportStoreName = "Tarvell.eml";
inline constexpr std::string_view kSiblingDatabaseName = "Ombrix.db";
inline constexpr std::string_view kSettingsName = "Tarvell.ini";
inline constexpr std::string_view kDailyArchiveSuffix = "_AutoArchive.log";
// strftime format of a daily archive's name.
inline constexpr const char* kDailyArchiveFormat = "%Y%m%d_AutoArchive.log";

enum class StoredFileKind { Settings, Events, Alerts, Reports, Sibling, Archive };

// The kind of a file by the ending of its name (the last path element; a trailing ".tmp" is
// looked through): "Tarvell.ini" or ".ini" settings, "Ombrix.db" sibling, "_AutoArchive.log"
// archive, ".log" alerts, ".eml" reports, ".db" events. nullopt for any other name.
std::optional<StoredFileKind> StoredFileKindFromName(std::string_view path);
// "settings", "events", "alerts", "reports", "sibling", "archive" and back.
std::string_view StoredFileKindName(StoredFileKind kind);
std::optional<StoredFileKind> StoredFileKindFromWord(std::string_view word);

template <class F>
std::string EncodeStateFile(const F& content) {
    ArchiveWriter ar;
    content.Store(ar);
    return ar.TakeBytes();
}

// The reason DecodeStateFile and the readers give when the memory ran out, not the file.
inline constexpr std::string_view kNoMemoryForFile = "there is not enough memory to hold it";

// Decodes a whole file into `into`, replacing its content only on success. On failure returns
// false and says why in `error`; errno is then ENOMEM when the memory ran out while the file was
// decoded (the file may be whole: it must not be taken for a damaged one) and EILSEQ when the
// bytes are no such file. Bytes after the content are ignored, as the class library did.
template <class F>
bool DecodeStateFile(std::string_view bytes, F& into, std::string* error = nullptr) {
    try {
        ArchiveReader ar(bytes);
        F fresh;
        fresh.Load(ar);
        into = std::move(fresh);
        return true;
    } catch (const std::bad_alloc&) {
        if (error) *error = kNoMemoryForFile;
        errno = ENOMEM;
        return false;
    } catch (const std::exception& e) {
        if (error) *error = e.what();
        errno = EILSEQ;
        return false;
    }
}

// Reads a state file whole and decodes it (see DecodeStateFile); errno is ENOMEM after a failure
// for lack of memory, whether reading or decoding.
template <class F>
bool ReadStateFile(const std::string& path, F& into, std::string* error = nullptr);
// Encodes and writes a state file by temporary file and rename.
template <class F>
bool WriteStateFile(const std::string& path, const F& content);

// The most bytes a state file may hold: every reader refuses a larger file and every writer
// refuses to make one, so that nothing the service writes is refused at its next start. State
// files grow with the event and alert maps; this is far above any real size, far below memory.
// A service under test may use a smaller bound for its own files, never a larger one.
inline constexpr std::size_t kMaxStateFileBytes = 512u * 1024u * 1024u;

// The bytes of a state file through the checked open (a regular file of at most maxBytes). On
// failure `error` says why and errno is kept: IsRefusedFileError(errno) means the file is there
// but is no file to read (a FIFO, a device, a folder, too large), which no retry mends; ENOMEM
// that there was no memory to hold it.
bool ReadStateFileBytes(const std::string& path, std::string& bytes, std::string* error,
                        std::size_t maxBytes = kMaxStateFileBytes);
// AtomicWriteFile of the bytes; more than maxBytes are refused with EFBIG and the old file stays.
bool WriteStateFileBytes(const std::string& path, std::string_view bytes,
                         std::size_t maxBytes = kMaxStateFileBytes);

template <class F>
bool ReadStateFile(const std::string& path, F& into, std::string* error) {
    std::string bytes;
    if (!ReadStateFileBytes(path, bytes, error)) return false;
    if (DecodeStateFile(bytes, into, error)) return true;
    const int why = errno;
    if (error) *error = path + ": " + *error;
    errno = why;
    return false;
}

template <class F>
bool WriteStateFile(const std::string& path, const F& content) {
    return WriteStateFileBytes(path, EncodeStateFile(content));
}

}  // namespace tarvell
