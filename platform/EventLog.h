// Where the service's own messages go ("Service started", ...): the system log when it runs as
// a service, standard output in the foreground, a recording sink in tests.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tarvell {

class EventLog {
public:
    virtual ~EventLog() = default;
    // One message of information level. Texts are the stored Windows-1252 bytes.
    virtual void Log(std::string_view text) = 0;
};

// syslog(3) under the given identity (it reaches the journal), facility daemon, with the pid.
// The text is converted to UTF-8, cut at 8 KiB and never used as a format. The C library keeps
// one identity per process; each sink sets its own again when another one spoke last.
class SyslogEventLog : public EventLog {
public:
    explicit SyslogEventLog(std::string identity);
    ~SyslogEventLog() override;
    SyslogEventLog(const SyslogEventLog&) = delete;
    SyslogEventLog& operator=(const SyslogEventLog&) = delete;
    void Log(std::string_view text) override;

private:
    std::string identity_;  // openlog keeps a pointer to it
};

// Each message as a line on standard output.
class StdoutEventLog : public EventLog {
public:
    void Log(std::string_view text) override;

private:
    std::mutex mutex_;
};

// Records the messages for tests; safe to use from several threads.
class TestEventLog : public EventLog {
public:
    void Log(std::string_view text) override;
    std::vector<std::string> Lines() const;
    bool Contains(std::string_view text) const;
    void Clear();

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// The longest text a sink passes on; longer ones are cut.
inline constexpr std::size_t kMaxEventLogText = 8192;

// What every sink writes for a message: cut at kMaxEventLogText, and every control byte (C0,
// DEL, and the code page's unassigned bytes, which stand for C1 controls) replaced by '?'.
// Messages carry texts from settings, files and peers; a CR or LF among them would otherwise
// start a line of the log that the service never wrote.
std::string PrintableLogText(std::string_view text);

}  // namespace tarvell
