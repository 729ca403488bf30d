// The prevention thread: shuts the switch port of a node whose event is marked blocked, opens it
// again on an unblock request or when the block is old enough, tells the node's user, and queues
// a "Prevention" alert for each change it made.
//
// Thread contract. Each pass takes a settings snapshot, then walks EventMap under EngineLock and
// copies out what is to be done; the SNMP sets, programs and node messages run with no lock
// held; each result is applied under EngineLock again, and only to the very record it was
// taken from (same key, same object, same DateKey): an event replaced or purged meanwhile is
// left as the engine holds it. Alerts are queued after the lock is released (QueueAlert takes
// AlertLock only). A failed block or unblock leaves the event as it was and is tried again after
// 30 s, doubling to 10 min; the node message and the notification program are sent once per
// block episode (from the first try until the port is shut or the block is given up).
// Programs run from an argument vector, never a shell, within 60 s, as the configured local user
// when a log-on is set; a log-on that cannot be taken runs nothing. A stop request ends the
// program, node message or SNMP set under way at once (their waits watch the stop event), and a
// block or unblock cut short that way is not reported as failed.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Process.h"
#include "platform/WorkerThread.h"
#include "service/blocking/NodeMessenger.h"
#include "service/engine/CTarvellFrm.h"
#include "service/engine/SnmpClient.h"

namespace tarvell {

// Time a block, unblock or notification program may take; one still running then is killed
// and counts as failed.
inline constexpr std::int64_t kBlockProgramLimitMs = 60'000;
// Pause between two passes over the events.
inline constexpr std::int64_t kBlockingPassPauseMs = 1000;
// SNMP set of a port: time-out and retries.
inline constexpr std::uint32_t kBlockingSnmpTimeoutMs = 1000;
inline constexpr std::uint32_t kBlockingSnmpRetries = 1;

class CScanBlocking : public WorkerThread {
public:
    using ProgramRunner = std::function<ProcessResult(const ProcessOptions&)>;
    // `stop` is the thread's stop event: a set ends at once when it is set.
    using SnmpSetter = std::function<int(
        const std::string& address, const std::string& readCommunity,
        const std::string& writeCommunity, std::uint32_t timeoutMs, std::uint32_t retries,
        SnmpOidEntry* entry, const ManualResetEvent* stop)>;
    // What the thread acts through; an empty member takes the real one (RunProcess, the
    // engine's SnmpClient, the SMB messenger).
    struct Backends {
        ProgramRunner run;
        SnmpSetter set;
        std::unique_ptr<NodeMessenger> messenger;
    };

    explicit CScanBlocking(CTarvellFrm& engine, Backends backends = {});
    ~CScanBlocking() override { StopAndJoin(); }

    // One pass over the events; tests call it without starting the thread.
    void Pass();

    // Shut (value 2 or SnmpBlockQuery) or open (value 1 or SnmpUnblockQuery) the port by SNMP.
    // 1 when at least one set succeeded. A stop request ends the set under way and tries no
    // further community.
    int SetPortAdminStatus(const std::string& address, const std::string& portKey,
                           const CTarvellDoc& settings);
    int RestorePortAdminStatus(const std::string& address, const std::string& portKey,
                               const CTarvellDoc& settings);
    // The configured program with the one argument; 1 when it exited 0 within its time.
    int RunBlockProgram(const std::string& parameters, const CTarvellDoc& settings);
    int RunUnblockProgram(const std::string& parameters, const CTarvellDoc& settings);
    int RunNotificationProgram(const std::string& node, const CTarvellDoc& settings);
    void SendNodeMessage(const std::string& node, const CTarvellDoc& settings);

    // Whether the prevention schedule covers the clock's local time now. Malformed entries
    // match nothing and are logged once while they stay in the settings.
    bool InSchedule(const CTarvellDoc& settings);

    // The engine's lists and map this thread works on, all guarded by EngineLock.
    StringList* const PortRequests;
    StringList* const BlockMacs;
    CTarvellFrm* const Engine;
    ObjectMap<CEventItem>* const EventMap;

protected:
    void Run() override;

private:
    enum class Action { Block, Unblock, AutoUnblock };
    struct Work {
        std::string key;
        const CEventItem* record = nullptr;  // identity only; never read outside EngineLock
        std::string dateKey;
        Action action = Action::Block;
        CEventItem event;  // copy taken under the lock
    };
    // A block or unblock of a port that failed, kept until it succeeds or the port's event no
    // longer asks for it (a re-recorded event of the same port continues the episode).
    struct Retry {
        Action action = Action::Block;
        int failures = 0;
        std::int64_t nextTry = 0;
        bool notified = false;
    };

    std::vector<Work> Collect(const CTarvellDoc& settings, bool inSchedule, std::int64_t now);
    bool Carry(const Work& work, const CTarvellDoc& settings);
    int SetPort(bool block, const std::string& address, const std::string& portKey,
                const CTarvellDoc& settings);
    int RunProgram(const std::string& what, const std::string& program, const std::string& logon,
                   const std::string& argument);
    std::optional<std::optional<ProcessAccount>> AccountFor(const std::string& what,
                                                            const std::string& logon);
    // Logs the text under the topic unless the same text was logged for it last.
    void LogOnce(const std::string& topic, const std::string& text);
    void ClearProblem(const std::string& topic);
    static std::unique_ptr<CAlertItem> PreventionAlert(const CEventItem& event, Action action);

    CTarvellFrm& engine_;
    ProgramRunner run_;
    SnmpSetter set_;
    std::unique_ptr<NodeMessenger> messenger_;
    std::map<std::string, Retry> retries_;         // this thread only (or the test calling Pass)
    std::map<std::string, std::string> problems_;  // topic -> last logged text
};

}  // namespace tarvell
