// An engine on temporary folders with a fake clock, plus the blocking thread's three outlets
// replaced by recorders: programs, SNMP sets and node messages. Nothing runs, nothing is sent.
#pragma once

#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/RecursiveLock.h"
#include "service/blocking/CScanBlocking.h"
#include "tests/service/engine/EngineFixture.h"

namespace tarvell::blockingtest {

// Seconds since 1970 of a local date and time (whatever the test machine's zone).
inline std::int64_t LocalSeconds(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm));
}

struct ProgramCall {
    std::vector<std::string> argv;
    std::optional<ProcessAccount> account;
    std::int64_t timeLimitMs = 0;
};

struct SetCall {
    std::string address, read, write, oid, value;
    std::uint32_t timeoutMs = 0, retries = 0;
};

struct MessageCall {
    std::string node, text;
    std::optional<ProcessAccount> account;
};

class RecordingMessenger : public NodeMessenger {
public:
    explicit RecordingMessenger(std::vector<MessageCall>& calls) : calls_(calls) {}
    void Send(const std::string& node, const std::string& text,
              const std::optional<ProcessAccount>& account, const ManualResetEvent*) override {
        calls_.push_back({node, text, account});
    }

private:
    std::vector<MessageCall>& calls_;
};

class BlockingFixture : public enginetest::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        clock.Set(LocalSeconds(2026, 3, 10, 10, 0, 0));  // a Tuesday
        AddSwitch("00AABB000001", "10.0.0.1;10.0.0.2").SwitchCommunity() = "private";
        Make();
    }
    void TearDown() override {
        blocking.reset();
        EngineFixture::TearDown();
    }

    void Make() {
        CScanBlocking::Backends backends;
        backends.run = [this](const ProcessOptions& options) {
            programs.push_back({options.argv, options.account, options.timeLimitMs});
            if (programResult) return programResult(options);
            ProcessResult ok;
            ok.end = ProcessEnd::Exited;
            ok.exitCode = 0;
            return ok;
        };
        backends.set = [this](const std::string& address, const std::string& read,
                              const std::string& write, std::uint32_t timeoutMs,
                              std::uint32_t retries, SnmpOidEntry* entry, const ManualResetEvent*) {
            sets.push_back({address, read, write, entry->oid, entry->value, timeoutMs, retries});
            if (duringSet) duringSet();
            return setResult;
        };
        backends.messenger = std::make_unique<RecordingMessenger>(messages);
        blocking = std::make_unique<CScanBlocking>(*engine, std::move(backends));
    }

    // Settings with the block program on and nothing else.
    static CTarvellDoc ProgramSettings() {
        CTarvellDoc doc = BlankSettings();
        doc.BlockScriptFile = "/opt/block";
        doc.UnblockScriptFile = "/opt/unblock";
        return doc;
    }

    // An event of port 5 of the switch, in the given block state.
    CEventItem& Event(int blocked, const std::string& extra, const std::string& submitter = "") {
        CEventItem& event = AddEvent("00AABB000001", "5", "Unauthorized Node", "001122334455");
        event.DeviceIp = "10.0.0.1;10.0.0.2";
        event.SourceName = "pc-intruder";
        event.SourceIp = "10.0.0.77";
        event.DateKey = "1700000000";
        event.Severity = 4;
        event.Blocked = blocked;
        event.Extra = extra;
        event.Submitter = submitter;
        return event;
    }
    CEventItem Current() { return EventCopy("00AABB000001/5"); }

    std::vector<CAlertItem> Alerts() {
        RecursiveGuard lock(engine->AlertLock);
        std::vector<CAlertItem> out;
        for (const auto& [key, alert] : engine->AlertLog) out.push_back(*alert);
        return out;
    }
    int LogCount(std::string_view part) const {
        int n = 0;
        for (const std::string& line : log.Lines()) n += line.find(part) != std::string::npos;
        return n;
    }
    int ProgramRuns(const std::string& program) const {
        int n = 0;
        for (const auto& call : programs) n += !call.argv.empty() && call.argv[0] == program;
        return n;
    }

    std::vector<ProgramCall> programs;
    std::vector<SetCall> sets;
    std::vector<MessageCall> messages;
    std::function<ProcessResult(const ProcessOptions&)> programResult;
    std::function<void()> duringSet;
    int setResult = 1;
    std::unique_ptr<CScanBlocking> blocking;
};

inline ProcessResult Exited(int code) {
    ProcessResult r;
    r.end = ProcessEnd::Exited;
    r.exitCode = code;
    return r;
}

}  // namespace tarvell::blockingtest
