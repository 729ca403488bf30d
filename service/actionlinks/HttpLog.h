// Http.log in the service folder: the listener's start line and one line per served connection,
// "<date and time>: Http Started..." and "<date and time>: Http Request from <address>", each
// ended by CR LF. Written by the listener thread alone (not thread-safe).
//
// The file is capped: a line that would take it past kMaxHttpLogBytes first moves it to
// Http.log.1 (replacing the older copy), so a flood of connections costs at most twice the cap
// on disk. A file that cannot be written loses its lines; serving goes on. A line is written
// whole or not at all (one cut short by a full disk or a file-size limit is taken back). A
// symbolic link at either name is never followed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/Clock.h"

namespace tarvell {

inline constexpr std::size_t kMaxHttpLogBytes = 1024 * 1024;
inline constexpr const char* kHttpLogName = "Http.log";
inline constexpr const char* kHttpLogOlderName = "Http.log.1";

class HttpLog {
public:
    HttpLog(std::string serviceFolder, Clock& clock, std::size_t maxBytes = kMaxHttpLogBytes);

    // Empties the file (the older copy is kept) and writes the start line.
    void Started();
    // Appends the line of a connection from `peer` (a dotted address).
    void Request(std::string_view peer);

    std::string Path() const;
    std::string OlderPath() const;

private:
    void Append(const std::string& line, bool truncate);

    std::string folder_;
    Clock& clock_;
    std::size_t maxBytes_;
};

}  // namespace tarvell
