#include "platform/EventLog.h"

#include <syslog.h>

#include <algorithm>
#include <cstdio>

#include "platform/Text.h"

namespace tarvell {

namespace {

std::mutex gSyslogMutex;
const SyslogEventLog* gSyslogOwner = nullptr;

}  // namespace

std::string PrintableLogText(std::string_view text) {
    std::string out(text.substr(0, std::min(text.size(), kMaxEventLogText)));
    for (char& c : out) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D)
            c = '?';
    }
    return out;
}

SyslogEventLog::SyslogEventLog(std::string identity) : identity_(std::move(identity)) {
    std::lock_guard<std::mutex> lock(gSyslogMutex);
    ::openlog(identity_.c_str(), LOG_PID, LOG_DAEMON);
    gSyslogOwner = this;
}

SyslogEventLog::~SyslogEventLog() {
    std::lock_guard<std::mutex> lock(gSyslogMutex);
    if (gSyslogOwner == this) {
        ::closelog();
        gSyslogOwner = nullptr;
    }
}

void SyslogEventLog::Log(std::string_view text) {
    const std::string utf8 = Cp1252ToUtf8(PrintableLogText(text));
    std::lock_guard<std::mutex> lock(gSyslogMutex);
    if (gSyslogOwner != this) {  // another sink spoke last: take the identity back
        ::openlog(identity_.c_str(), LOG_PID, LOG_DAEMON);
        gSyslogOwner = this;
    }
    ::syslog(LOG_INFO, "%s", utf8.c_str());
}

void StdoutEventLog::Log(std::string_view text) {
    const std::string bounded = PrintableLogText(text);
    std::lock_guard<std::mutex> lock(mutex_);
    std::fwrite(bounded.data(), 1, bounded.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void TestEventLog::Log(std::string_view text) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(PrintableLogText(text));
}

std::vector<std::string> TestEventLog::Lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

bool TestEventLog::Contains(std::string_view text) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::find(lines_.begin(), lines_.end(), text) != lines_.end();
}

void TestEventLog::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
}

}  // namespace tarvell
