#include "service/blocking/CScanBlocking.h"

#include <cstring>
#include <mutex>
#include <set>

#include "platform/RecursiveLock.h"
#include "platform/Text.h"
#include "service/blocking/BlockingRules.h"

namespace tarvell {
namespace {

constexpr std::size_t kMaxLoggedText = 256;
constexpr std::size_t kMaxProgramOutput = 4096;  // kept out of the log; bounded
constexpr std::size_t kMaxNodeName = 255;

// A stored text for the service's log: cut, control characters shown as "?".
std::string Printable(const std::string& text) {
    std::string out = text.substr(0, kMaxLoggedText);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}

// A node name that may be handed to a program as its argument: it comes from the network, so
// one that a program could take for an option or that holds control characters is refused.
bool IsUsableNodeName(const std::string& node) {
    if (node.empty() || node.size() > kMaxNodeName || node.front() == '-') return false;
    for (char c : node)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    return true;
}

std::string AddressOf(const CEventItem& event) {
    return event.DeviceIp.substr(0, event.DeviceIp.find(';'));
}

std::string WhyNot(const ProcessResult& result, std::int64_t limitMs) {
    switch (result.end) {
        case ProcessEnd::Exited: return "it exited with " + FormatLong(result.exitCode);
        case ProcessEnd::Signalled: return "it was ended by signal " + FormatLong(result.signal);
        case ProcessEnd::TimedOut:
            return "it did not end within " + FormatLong(limitMs / 1000) + " s and was stopped";
        case ProcessEnd::Cancelled: return "the service is stopping";
        case ProcessEnd::NotStarted:
            return result.errorText.empty() ? "it could not be started" : result.errorText;
        case ProcessEnd::Running: break;
    }
    return "it did not end";
}

}  // namespace

CScanBlocking::CScanBlocking(CTarvellFrm& engine, Backends backends)
    : PortRequests(&engine.PortRequests),
      BlockMacs(&engine.BlockMacs),
      Engine(&engine),
      EventMap(&engine.EventMap),
      engine_(engine),
      run_(std::move(backends.run)),
      set_(std::move(backends.set)),
      messenger_(std::move(backends.messenger)) {
    if (!run_) run_ = [](const ProcessOptions& options) { return RunProcess(options); };
    if (!set_) {
        set_ = [&engine](const std::string& address, const std::string& read,
                         const std::string& write, std::uint32_t timeoutMs, std::uint32_t retries,
                         SnmpOidEntry* entry, const ManualResetEvent* stop) {
            return engine.Snmp
                       ? engine.Snmp->Set(address, read, write, timeoutMs, retries, entry, stop)
                       : 0;
        };
    }
    if (!messenger_) messenger_ = MakeDefaultNodeMessenger(engine);
}

void CScanBlocking::Run() {
    while (!WaitForStop(kBlockingPassPauseMs)) Pass();
}

// ---- the pass

void CScanBlocking::Pass() {
    const std::shared_ptr<const CTarvellDoc> snapshot = engine_.Settings();
    const CTarvellDoc& settings = *snapshot;
    if (settings.SnmpPreventionEnabled == 0 && settings.BlockScriptFile.empty() &&
        settings.UnblockScriptFile.empty())
        return;
    const bool inSchedule = InSchedule(settings);
    const std::int64_t now = engine_.clock().Now();

    for (const Work& work : Collect(settings, inSchedule, now)) {
        if (StopRequested()) return;
        const bool done = Carry(work, settings);

        std::unique_ptr<CAlertItem> alert;
        {
            RecursiveGuard lock(engine_.EngineLock);
            const auto it = EventMap->find(work.key);
            const bool same = it != EventMap->end() && it->second.get() == work.record &&
                              it->second->DateKey == work.dateKey;
            if (!done) {
                // Kept whatever became of the record: a re-recorded event of the port continues
                // the episode, and the next pass drops it when nothing asks for it any more.
                Retry& retry = retries_[work.key];
                retry.action = work.action;
                ++retry.failures;
                retry.nextTry = engine_.clock().Now() + RetryDelaySeconds(retry.failures);
                if (work.action == Action::Block) retry.notified = true;
                continue;
            }
            if (!same) {
                // Replaced or purged meanwhile: the engine's record stands; the next pass looks
                // at it afresh, without telling the node a second time.
                Retry& retry = retries_[work.key];
                retry = Retry{work.action, 0, 0, retry.notified || work.action == Action::Block};
                continue;
            }
            retries_.erase(work.key);
            CEventItem& event = *it->second;
            ++engine_.EventsChanged;
            switch (work.action) {
                case Action::Block: event.Extra = FormatLong(engine_.clock().Now()); break;
                case Action::Unblock: event.Extra.clear(); break;
                case Action::AutoUnblock:
                    // Authorised only now that the port is open, and only once: the event is
                    // no longer blocked, so no later pass comes here for it again.
                    if (!event.SourceMac.empty()) {
                        if (settings.UnblockAuthorization == 1)
                            PortRequests->push_back(event.SourceMac);
                        else if (settings.UnblockAuthorization == 2)
                            BlockMacs->push_back(event.SourceMac);
                    }
                    event.Blocked = 0;
                    event.Extra.clear();
                    break;
            }
            if (settings.PreventAlertsEnabled != 0) alert = PreventionAlert(event, work.action);
        }
        if (alert) engine_.QueueAlert(std::move(alert));
    }
}

std::vector<CScanBlocking::Work> CScanBlocking::Collect(const CTarvellDoc& settings,
                                                        bool inSchedule, std::int64_t now) {
    std::vector<Work> work;
    std::set<std::string> wanted;
    RecursiveGuard lock(engine_.EngineLock);
    for (const auto& [key, item] : *EventMap) {
        const CEventItem& event = *item;
        std::optional<Action> action;
        const bool manual = !event.Submitter.empty();
        if (event.Blocked == 1 && event.Extra.empty()) {
            // A manual block is carried out even with prevention off; inside a schedule window
            // no block is carried out.
            if ((settings.PreventionEnabled != 0 && !inSchedule) ||
                (settings.PreventionEnabled == 0 && manual))
                action = Action::Block;
        } else if (event.Blocked == 0 && !event.Extra.empty()) {
            action = Action::Unblock;
        } else if (event.Blocked != 0 && !event.Extra.empty() && settings.UnblockAfterMinutes > 0) {
            const bool allowed =
                manual ? settings.UnblockManualBlocked != 0 : settings.UnblockSystemBlocked != 0;
            if (allowed && ElapsedMinutes(AtoL(event.Extra), now) > settings.UnblockAfterMinutes)
                action = Action::AutoUnblock;
        }
        if (!action) continue;
        wanted.insert(key);
        const auto retry = retries_.find(key);
        if (retry != retries_.end()) {
            if (retry->second.action != *action) {
                retries_.erase(retry);
            } else if (retry->second.nextTry > now) {
                continue;
            }
        }
        work.push_back(Work{key, item.get(), event.DateKey, *action, event});
    }
    // Episodes whose event no longer asks for anything are over.
    for (auto it = retries_.begin(); it != retries_.end();)
        it = wanted.count(it->first) ? std::next(it) : retries_.erase(it);
    return work;
}

// Carries one block or unblock out, with no lock held. True when the port was shut or opened.
bool CScanBlocking::Carry(const Work& work, const CTarvellDoc& settings) {
    const CEventItem& event = work.event;
    const std::string address = AddressOf(event);
    const std::string parameters = address + "/" + event.PortKey;
    bool done = false;
    if (work.action == Action::Block) {
        const auto retry = retries_.find(work.key);
        const bool notified = retry != retries_.end() && retry->second.notified;
        if (!notified && !event.SourceName.empty()) {
            if (!settings.NetSendMessage.empty()) SendNodeMessage(event.SourceName, settings);
            if (!settings.NotifyScriptFile.empty())
                RunNotificationProgram(event.SourceName, settings);
        }
        if (!settings.BlockScriptFile.empty()) done = RunBlockProgram(parameters, settings) != 0;
        if (settings.SnmpPreventionEnabled != 0)
            done = SetPortAdminStatus(address, event.PortKey, settings) != 0 || done;
        if (!done && !notified && !StopRequested())
            engine_.Log("Port " + Printable(parameters) + " of node " + Printable(event.SourceMac) +
                        " could not be shut; it is tried again in " +
                        FormatLong(kFirstRetrySeconds) + " s and later at longer intervals");
        return done;
    }
    if (!settings.UnblockScriptFile.empty()) done = RunUnblockProgram(parameters, settings) != 0;
    if (settings.SnmpPreventionEnabled != 0)
        done = RestorePortAdminStatus(address, event.PortKey, settings) != 0 || done;
    const auto retry = retries_.find(work.key);
    if (!done && retry == retries_.end() && !StopRequested())
        engine_.Log("Port " + Printable(parameters) + " of node " + Printable(event.SourceMac) +
                    " could not be opened; it is tried again in " + FormatLong(kFirstRetrySeconds) +
                    " s and later at longer intervals");
    return done;
}

std::unique_ptr<CAlertItem> CScanBlocking::PreventionAlert(const CEventItem& event, Action action) {
    auto alert = std::make_unique<CAlertItem>();
    alert->State = 0;
    alert->Category = "Prevention";
    alert->Severity = event.Severity;
    alert->DeviceIp = event.DeviceIp;
    alert->SwitchKey = event.SwitchKey;
    alert->DeviceName = event.DeviceName;
    alert->DevicePort = event.DevicePort;
    alert->PortKey = event.PortKey;
    alert->DeviceLocation = event.DeviceLocation;
    alert->SourceMac = event.SourceMac;
    alert->SourceIp = event.SourceIp;
    alert->SourceName = event.SourceName;
    alert->Current = event.Current;
    alert->Before = event.Before;
    alert->EventType = event.EventType;
    alert->Submitter = event.Submitter;
    const bool manual = !event.Submitter.empty();
    if (action == Action::Block)
        alert->Description = manual ? "Manual Blocking" : "System Blocking";
    else alert->Description = manual ? "Manual Unblocking" : "System Unblocking";
    return alert;
}

// ---- schedule

bool CScanBlocking::InSchedule(const CTarvellDoc& settings) {
    bool covered = false;
    std::set<std::string> malformed;
    if (settings.PreventionEnabled != 0 && !settings.PreventionSchedule.empty()) {
        const std::tm now = engine_.clock().LocalTime(engine_.clock().Now());
        for (const std::string& text : settings.PreventionSchedule) {
            const auto entry = ParseScheduleEntry(text);
            if (!entry) {
                malformed.insert(text);
                LogOnce("schedule " + text, "Prevention schedule entry \"" + Printable(text) +
                                                "\" could not be read (expected "
                                                "day/hh:mm:ss/hh:mm:ss); it matches no time");
                continue;
            }
            if (ScheduleCovers(*entry, now, engine_.clock())) covered = true;
        }
    }
    // An entry logged as malformed and since removed or mended may be logged again if it returns.
    for (auto it = problems_.begin(); it != problems_.end();) {
        const bool schedule = it->first.rfind("schedule ", 0) == 0;
        it =
            schedule && !malformed.count(it->first.substr(9)) ? problems_.erase(it) : std::next(it);
    }
    return covered;
}

// ---- SNMP

int CScanBlocking::SetPortAdminStatus(const std::string& address, const std::string& portKey,
                                      const CTarvellDoc& settings) {
    return SetPort(true, address, portKey, settings);
}

int CScanBlocking::RestorePortAdminStatus(const std::string& address, const std::string& portKey,
                                          const CTarvellDoc& settings) {
    return SetPort(false, address, portKey, settings);
}

int CScanBlocking::SetPort(bool block, const std::string& address, const std::string& portKey,
                           const CTarvellDoc& settings) {
    const std::string topic = block ? "snmp block" : "snmp unblock";
    const auto object = PortObjectFor(settings.SnmpPreventionMethod != 0, block, portKey,
                                      block ? settings.SnmpBlockQuery : settings.SnmpUnblockQuery);
    if (!object) {
        LogOnce(topic,
                settings.SnmpPreventionMethod != 0
                    ? "Port " + Printable(address + "/" + portKey) +
                          " could not be set by SNMP (its port key is no interface index)"
                    : std::string("SNMP ") + (block ? "block" : "unblock") + " query \"" +
                          Printable(block ? settings.SnmpBlockQuery : settings.SnmpUnblockQuery) +
                          "\" could not be read (expected OID/value); ports are not set by SNMP");
        return 0;
    }
    CDbItem record;
    if (!engine_.LookupSwitchByAddress(address, record)) return 0;
    const std::string& switchCommunity = record.SwitchCommunity();

    const auto setOnce = [&](const std::string& read, const std::string& write) {
        SnmpOidEntry entry{};
        std::memcpy(entry.oid, object->oid.data(), object->oid.size());
        std::memcpy(entry.value, object->value.data(), object->value.size());
        return set_(address, read, write, kBlockingSnmpTimeoutMs, kBlockingSnmpRetries, &entry,
                    &StopEvent()) != 0;
    };
    // A switch spoken to over SNMPv3 needs no community: its configured user does the set.
    if (switchCommunity == SnmpClient::kV3Marker)
        return setOnce(SnmpClient::kV3Marker, SnmpClient::kV3Marker) ? 1 : 0;

    if (settings.SnmpCommunitiesEnabled == 0) return 0;
    int result = 0;
    for (const std::string& text : settings.SnmpCommunities) {
        const auto slash = text.rfind('/');
        const std::string community = text.substr(0, slash);
        const std::int64_t number = slash == std::string::npos ? 0 : AtoL(text.substr(slash + 1));
        if (community.empty() || number <= 0) continue;
        // Every entry is tried, unless the service is stopping: each would wait out its time-out
        // on a switch that does not answer.
        if (StopRequested()) break;
        if (setOnce(community, switchCommunity)) result = 1;
    }
    return result;
}

// ---- programs

std::optional<std::optional<ProcessAccount>> CScanBlocking::AccountFor(const std::string& what,
                                                                       const std::string& logon) {
    if (logon.empty()) return std::optional<ProcessAccount>();
    ProcessAccount account = SplitLogonText(logon);
    if (account.user.empty()) {
        LogOnce(what,
                "The " + what + " could not be run (its log-on names no user); it was not run");
        return std::nullopt;
    }
    return std::optional<ProcessAccount>(std::move(account));
}

int CScanBlocking::RunProgram(const std::string& what, const std::string& program,
                              const std::string& logon, const std::string& argument) {
    const auto account = AccountFor(what, logon);
    if (!account) return 0;
    ProcessOptions options;
    options.argv = {program, argument};
    options.timeLimitMs = kBlockProgramLimitMs;
    options.cancel = &StopEvent();
    options.captureOutput = true;
    options.maxOutputBytes = kMaxProgramOutput;
    options.account = *account;
    const ProcessResult result = run_(options);
    if (result.Succeeded()) {
        ClearProblem(what);
        return 1;
    }
    if (result.end == ProcessEnd::Cancelled) return 0;
    if (result.logonFailed) {
        LogOnce(what, "The " + what + " " + Printable(program) + " could not be run as " +
                          Printable(options.account->user) + " (" + Printable(result.errorText) +
                          "); it was not run");
    } else {
        LogOnce(what, "The " + what + " " + Printable(program) + " failed (" +
                          Printable(WhyNot(result, options.timeLimitMs)) + ")");
    }
    return 0;
}

int CScanBlocking::RunBlockProgram(const std::string& parameters, const CTarvellDoc& settings) {
    return RunProgram("block program", settings.BlockScriptFile, settings.BlockScriptLogon,
                      parameters);
}

int CScanBlocking::RunUnblockProgram(const std::string& parameters, const CTarvellDoc& settings) {
    return RunProgram("unblock program", settings.UnblockScriptFile, settings.UnblockScriptLogon,
                      parameters);
}

int CScanBlocking::RunNotificationProgram(const std::string& node, const CTarvellDoc& settings) {
    if (!IsUsableNodeName(node)) {
        LogOnce("node name",
                "Node name \"" + Printable(node) +
                    "\" is not passed to programs (it is empty, too long, "
                    "starts with \"-\" or holds control characters); the node is not told");
        return 0;
    }
    return RunProgram("notification program", settings.NotifyScriptFile, settings.NotifyScriptLogon,
                      node);
}

void CScanBlocking::SendNodeMessage(const std::string& node, const CTarvellDoc& settings) {
    if (!IsUsableNodeName(node)) {
        LogOnce("node name",
                "Node name \"" + Printable(node) +
                    "\" is not passed to programs (it is empty, too long, "
                    "starts with \"-\" or holds control characters); the node is not told");
        return;
    }
    const auto account = AccountFor("node message", settings.NetSendLogon);
    if (!account) return;
    messenger_->Send(node, settings.NetSendMessage, *account, &StopEvent());
}

// ---- log once

void CScanBlocking::LogOnce(const std::string& topic, const std::string& text) {
    constexpr std::size_t kMaxProblems = 256;  // schedule entries are the only open-ended topics
    auto it = problems_.find(topic);
    if (it != problems_.end() && it->second == text) return;
    if (it == problems_.end() && problems_.size() >= kMaxProblems) return;
    problems_[topic] = text;
    engine_.Log(text);
}

void CScanBlocking::ClearProblem(const std::string& topic) { problems_.erase(topic); }

}  // namespace tarvell
