// Whether a state file may have changed since a reader last took it, so that a pass over a file
// nobody wrote reads nothing, decodes nothing and publishes nothing.
//
// A file is known by its device, inode, size and its modification and status-change times with
// their nanoseconds. The service replaces its files by temporary file and rename, so a write
// gives a new inode as well. Two writes can still share every one of these when they land within
// one tick of the file system's clock (a coarse file system keeps whole or even two seconds): a
// stamp taken that close to the file's last change is not trusted, and the next look reads the
// bytes and compares their digest instead of decoding them.
//
// Not thread-safe: each reader keeps its own watches on its own thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvell {

struct FileStamp {
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t modifiedNs = 0, changedNs = 0;  // since 1970
    bool operator==(const FileStamp&) const = default;
};

// The stamp of the file at `path` (links followed); nullopt when there is no such file.
std::optional<FileStamp> StampFile(const std::string& path);
// The wall clock in the file system's terms (nanoseconds since 1970).
std::int64_t FileClockNs();
// How long after its last change a file's stamp is taken on trust: long on a file system that
// keeps whole seconds (both times without nanoseconds), short where it keeps finer times.
std::int64_t StampTrustDelayNs(const FileStamp& stamp);
// A cheap digest of a file's bytes (not for security: it tells equal bytes from changed ones).
std::uint64_t BytesDigest(std::string_view bytes);

class FileWatch {
public:
    // True when `path` is the file last taken with Take (or still absent, as it was then) and
    // nothing can have changed since: the same stamp, old enough to trust when taken.
    bool Unchanged(const std::string& path) const;
    // True when bytes read from `path` now (their digest and size) are those last taken: the file
    // was rewritten with the same content. The stamp is renewed then, as by Take.
    bool SameBytes(const std::string& path, const std::optional<FileStamp>& stamp,
                   std::uint64_t digest, std::uint64_t size, std::int64_t readAtNs);
    // Remembers what was taken from `path`: its stamp before the read (nullopt: the file was
    // absent), the digest and size of its bytes, and when the read began.
    void Take(const std::string& path, const std::optional<FileStamp>& stamp,
              std::uint64_t digest = 0, std::uint64_t size = 0, std::int64_t readAtNs = 0);
    // Forgets the file: the next look reads and decodes it.
    void Forget() { taken_ = false; }

private:
    bool taken_ = false;
    std::string path_;
    std::optional<FileStamp> stamp_;
    bool trusted_ = false;  // the stamp was taken long enough after the file's last change
    std::uint64_t digest_ = 0, size_ = 0;
};

}  // namespace tarvell
