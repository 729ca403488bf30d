#include "platform/EventLog.h"

#include <syslog.h>

#include <algorithm>
#include <cstdio>

#include "platform/Text.h"

namespace tarvell {

namespace {

std::mutex gSyslogMutex;
const SyslogEventLog* gSyslogOwner = nullptr;

std::string_view Bounded(std::string_view text) {
    return text.substr(0, std::min(text.size(), kMaxEventLogText));
}

}  // namespace

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
    std::string utf8 = Cp1252ToUtf8(Bounded(text));
    std::replace(utf8.begin(), utf8.end(), '\0', ' ');
    std::lock_guard<std::mutex> lock(gSyslogMutex);
    if (gSyslogOwner != this) {  // another sink spoke last: take the identity back
        ::openlog(identity_.c_str(), LOG_PID, LOG_DAEMON);
        gSyslogOwner = this;
    }
    ::syslog(LOG_INFO, "%s", utf8.c_str());
}

void StdoutEventLog::Log(std::string_view text) {
    const std::string_view bounded = Bounded(text);
    std::lock_guard<std::mutex> lock(mutex_);
    std::fwrite(bounded.data(), 1, bounded.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void TestEventLog::Log(std::string_view text) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.emplace_back(Bounded(text));
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
