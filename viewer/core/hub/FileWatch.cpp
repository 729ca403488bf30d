#include "viewer/core/hub/FileWatch.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <functional>

namespace tarvell {
namespace {

// A file system with whole-second times may round to two seconds; one more for the clocks.
constexpr std::int64_t kCoarseTrustDelayNs = 3'000'000'000;
// File times come from the kernel's coarse clock, a few milliseconds a tick.
constexpr std::int64_t kFineTrustDelayNs = 100'000'000;

std::int64_t Ns(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

bool Trusted(const std::optional<FileStamp>& stamp, std::int64_t readAtNs) {
    if (!stamp) return false;
    const std::int64_t last = std::max(stamp->modifiedNs, stamp->changedNs);
    return readAtNs - last > StampTrustDelayNs(*stamp);
}

}  // namespace

std::optional<FileStamp> StampFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    FileStamp stamp;
    stamp.device = static_cast<std::uint64_t>(st.st_dev);
    stamp.inode = static_cast<std::uint64_t>(st.st_ino);
    stamp.size = static_cast<std::uint64_t>(st.st_size);
    stamp.modifiedNs = Ns(st.st_mtim);
    stamp.changedNs = Ns(st.st_ctim);
    return stamp;
}

std::int64_t FileClockNs() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return Ns(now);
}

std::int64_t StampTrustDelayNs(const FileStamp& stamp) {
    const bool coarse =
        stamp.modifiedNs % 1'000'000'000 == 0 && stamp.changedNs % 1'000'000'000 == 0;
    return coarse ? kCoarseTrustDelayNs : kFineTrustDelayNs;
}

std::uint64_t BytesDigest(std::string_view bytes) {
    return static_cast<std::uint64_t>(std::hash<std::string_view>{}(bytes));
}

bool FileWatch::Unchanged(const std::string& path) const {
    if (!taken_ || path != path_) return false;
    const std::optional<FileStamp> now = StampFile(path);
    if (!stamp_) return !now;
    return trusted_ && now == stamp_;
}

bool FileWatch::SameBytes(const std::string& path, const std::optional<FileStamp>& stamp,
                          std::uint64_t digest, std::uint64_t size, std::int64_t readAtNs) {
    if (!taken_ || !stamp_ || path != path_ || !stamp || size != size_ || digest != digest_)
        return false;
    stamp_ = stamp;
    trusted_ = Trusted(stamp, readAtNs);
    return true;
}

void FileWatch::Take(const std::string& path, const std::optional<FileStamp>& stamp,
                     std::uint64_t digest, std::uint64_t size, std::int64_t readAtNs) {
    taken_ = true;
    path_ = path;
    stamp_ = stamp;
    trusted_ = !stamp || Trusted(stamp, readAtNs);
    digest_ = digest;
    size_ = size;
}

}  // namespace tarvell
