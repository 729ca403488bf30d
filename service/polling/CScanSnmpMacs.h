// One poll of a switch: which MACs its forwarding tables hold for one port (or for several ports
// that came up while the switch was being polled), and the node rules run on each of them.
//
// A poll reads the switch through the engine's SnmpClient, copies every record it needs out of
// the engine through the look-ups (never holding EngineLock across a request), records events
// with RecordEvent and starts the WMI and script checks through a LinkupStarter. At most one poll
// of a switch runs at a time: Run enters the switch into PolledSwitches under EngineLock and
// removes it on every way out (stop, failure, exception).
//
// Bounds: a walk ends at an OID already seen in the same walk or after kMaxRowsPerColumn rows;
// a dead switch costs one time-out (with its retries) per walk; a stop request ends the poll at
// once, cutting the wait of the request in flight; a whole poll is bounded by PollOptions' time
// and request budget.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/snmp/Pdu.h"
#include "service/engine/CTarvellFrm.h"
#include "service/engine/SnmpClient.h"
#include "service/linkup/LinkupStarter.h"
#include "service/polling/PollRequest.h"

namespace tarvell {

class ManualResetEvent;

// Remembers which switches already had a log line of a kind, so a problem that recurs at every
// poll is logged once per switch. Safe to call from any thread.
class OncePerSwitch {
public:
    // True the first time for this switch key.
    bool First(const std::string& switchKey) {
        std::lock_guard<std::mutex> guard(lock_);
        if (keys_.size() >= kMaxKeys) return false;
        return keys_.insert(switchKey).second;
    }
    // The problem is over: the next one is logged again.
    void Forget(const std::string& switchKey) {
        std::lock_guard<std::mutex> guard(lock_);
        keys_.erase(switchKey);
    }

private:
    static constexpr std::size_t kMaxKeys = 100'000;
    std::mutex lock_;
    std::set<std::string> keys_;
};

// The most rows one walk of a column may return. No column the poll reads can be longer on a
// real switch: the bridge-port and VLAN columns hold one row per port or VLAN (at most 4094
// VLANs), and the forwarding tables one per learned MAC, which access switches keep to a few
// thousand (8K on the largest we meet). A poll makes at most six such walks per community, so
// an agent whose column never ends costs one cut-off walk, and the walks that follow it still
// fit in the poll's request budget (PollOptions::budgetRequests, 50 000).
inline constexpr std::size_t kMaxRowsPerColumn = 8192;

struct PollOptions {
    // Rows read from one column in one walk before the walk ends (a misbehaving agent otherwise
    // answers for ever); the poll goes on with its other walks.
    std::size_t maxRowsPerColumn = kMaxRowsPerColumn;
    int attempts = 3;
    std::int64_t attemptPauseMs = 1000;
    // The whole poll (every community, walk and attempt): past either bound no request is sent,
    // what was found is processed, and the poll ends with one log line.
    std::int64_t budgetMs = 120'000;
    std::size_t budgetRequests = 50'000;
    // For a switch not known to answer (never answered since the start, or silent at its last
    // poll): the poll ends at its first walk that gets no answer, so that a dead switch holds a
    // poll thread for one walk's time-out, not for every walk of every attempt. A switch that
    // answers, however slowly, is read whole.
    bool endAtFirstSilence = false;
};

// One community or SNMPv3 context that the forwarding tables are read with.
struct PollCommunity {
    std::string community;  // "SNMP/V3" for SNMPv3
    std::string context;    // SNMPv3 context name ("vlan-<id>"); empty: the configured one

    bool operator==(const PollCommunity&) const = default;
};

class CScanSnmpMacs {
public:
    // `ports` are requests for one switch (same SwitchKey); the switch fields of the first one
    // are used. `stop` (optional) ends the poll early; `rowLimitLog` (optional) keeps the log of
    // walks cut at the row limit to one line per switch, `failureLog` (optional) that of SNMPv3
    // switches that cannot be read to one line per switch while it lasts.
    CScanSnmpMacs(CTarvellFrm& engine, LinkupStarter& linkup, std::vector<PollRequest> ports,
                  const ManualResetEvent* stop = nullptr, PollOptions options = {},
                  OncePerSwitch* rowLimitLog = nullptr, OncePerSwitch* failureLog = nullptr);

    // The whole poll under the one-poll-per-switch rule. False when another poll of the switch
    // was running, so this one did nothing.
    bool Run();
    // The poll itself (phases 1 to 3), without the PolledSwitches entry.
    void PollSwitch();

    // ---- what the poll saw, for tests and callers
    const std::vector<PollCommunity>& Communities() const { return communities_; }
    // MAC (12 upper-case hex digits) to the port text it was found under, per port in the order
    // of the requests.
    const std::vector<StringMap>& Found() const { return found_; }
    // True when the poll sent requests and not one walk got a usable answer (a dead switch, or
    // one that refuses the poll's community or SNMPv3 user); a stopped poll is never silent.
    bool Silent() const { return walks_ > 0 && !answered_ && !Stopping(); }

    // The switch fields of the poll (those of the first request).
    std::string PortIndex;
    std::string SwitchObjectId;
    std::string SwitchIp;
    std::string SwitchKey;
    std::string Community;
    std::string SwitchName;
    std::string PortName;
    std::string SwitchLocation;

private:
    struct Tables;
    using Row = std::vector<snmp::VarBind>;

    bool Stopping() const;
    // True once a walk went unanswered and the options say to give up then.
    bool GivenUp() const { return options_.endAtFirstSilence && walks_ > 0 && !answered_; }
    // True once the poll's time or request budget is spent; logs that once.
    bool OverBudget();
    // Walk of `columns` side by side; `onRow` sees each accepted row. `ordered`: stop at an
    // answer not greater than the request; otherwise answers out of order are taken and the walk
    // stops at an OID already seen.
    void Walk(const PollCommunity& with, const std::vector<std::string>& columns, bool ordered,
              const std::function<void(const Row&)>& onRow);
    void NoteWalk(const PollCommunity& with, const SnmpWalkResult& result);
    void FindVlans();
    void ReadBranchA(const PollCommunity& with, std::vector<StringMap>& found);
    void ReadBranchB(const PollCommunity& with, std::vector<StringMap>& found);
    void ProcessPort(std::size_t port, const CTarvellDoc& settings);
    void ProcessMac(std::size_t port, const std::string& mac, const CTarvellDoc& settings);
    void Raise(std::size_t port, const std::string& type, const std::string& mac,
               const std::string& before, const std::string& current,
               const CDbItem* node = nullptr);
    std::string ReadableLocation(const std::string& switchKey, const std::string& portKey);
    // Logs a walk cut at the row limit once per poll (once per switch with rowLimitLog).
    void LogRowLimit(const std::vector<std::string>& columns);

    CTarvellFrm& engine_;
    LinkupStarter& linkup_;
    std::vector<PollRequest> ports_;
    const ManualResetEvent* stop_;
    PollOptions options_;
    OncePerSwitch* rowLimitLog_;
    OncePerSwitch* failureLog_;
    std::unique_ptr<SnmpClient::Session> session_;  // one socket for the whole poll
    bool failureLogged_ = false;
    bool rowLimitLogged_ = false;
    std::size_t walks_ = 0;  // walks that sent requests
    bool answered_ = false;  // one of them got a usable answer
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::size_t requests_ = 0;
    bool overBudget_ = false;
    std::uint32_t timeoutMs_ = 1000;
    std::uint32_t retries_ = 1;
    std::vector<PollCommunity> communities_;
    std::vector<StringMap> found_;
};

}  // namespace tarvell
