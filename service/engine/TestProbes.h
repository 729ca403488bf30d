// Test-only settings of the service and the stand-in workers they install. They let the process
// tests and the demo drive a real TarvellSrv quickly and look into the worker slots whose real
// workers do not exist yet. Nothing here is active unless its environment variable is set:
//
//   TARVELL_PASS_INTERVAL_MS=<n>   the engine's pass interval in milliseconds instead of 10 000,
//                                  bounded to 10..600 000 (a value outside is moved to the bound,
//                                  one that is not a number is ignored).
//   TARVELL_TEST_EMAIL_SLOT=1      read and noted, but it changes nothing: the e-mail alert slot
//                                  runs the real channel (CScanAlertsEmail), which answers a test
//                                  request itself and logs "E-mail test alert <key> delivered to
//                                  <n> of <m> recipients". EmailSlotProbe, which once stood in that
//                                  slot, is kept for tests of the slot's queue and flag.
//   TARVELL_TEST_EVENT_FILE=<path> EventFileProbe runs beside the workers: a file placed at <path>
//                                  (written whole and renamed into place) is taken away and its
//                                  event recorded with RecordEvent; it logs
//                                  "Test event recorded <SwitchKey>/<PortKey>". The file holds
//                                  one event as lines "<field> <value>" with the field names of
//                                  CEventItem (Severity, Blocked, Deleted are numbers).
//   TARVELL_SYSLOG_PORT=<n>        the UDP port of the syslog listeners instead of 514;
//   TARVELL_TRAP_MANAGER_PORT=<n>  the UDP port of the trap managers instead of 162 (1..65535;
//                                  another value is ignored).
//   TARVELL_WMI_FIXTURE=<folder>   the WMI linkup checks ask fixture files instead of computers:
//                                  "<folder>/<node address>.json" describes one computer
//                                  (format in platform/wmi/WmiFixtureClient.h); an address
//                                  without a file does not answer. The service logs
//                                  "WMI backend: ..." when the first check starts.
//   TARVELL_TRAP_PORT=<n>          the trap listener listens on UDP port n (1..65535) instead of
//   162. TARVELL_SNMP_AGENT_PORT=<n>    every SNMP request to a switch goes to port n (1..65535)
//                                  instead of 161.
//   TARVELL_TEST_KILL_AT=<point>   the service kills itself (SIGKILL) when the hand-over pass
//                                  reaches the point: "requests-state-saved" (the state files
//                                  hold what the requests did, the settings file still holds
//                                  the requests) or "requests-settings-saved" (both written).
//                                  Another value is ignored.
//
// Each setting changes only what it names; every real worker runs whatever is set.
//
// The service logs "Test settings: ..." at start when any of them is set (or ignored).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/WorkerThread.h"
#include "service/engine/CTarvellFrm.h"

namespace tarvell {

inline constexpr std::int64_t kMinTestPassIntervalMs = 10;
inline constexpr std::int64_t kMaxTestPassIntervalMs = 600'000;
inline constexpr std::size_t kMaxTestEventFileBytes = 64 * 1024;

struct ServiceTestSettings {
    std::optional<std::int64_t> passIntervalMs;
    bool emailSlotProbe = false;
    std::string eventFile;
    std::optional<std::uint16_t> syslogPort;
    std::optional<std::uint16_t> trapManagerPort;
    std::optional<std::uint16_t> trapPort;
    std::optional<std::uint16_t> snmpAgentPort;
    std::string killAt;  // a save point of the hand-over pass, or empty
    // What was set and what was ignored, for the log; empty when nothing was set.
    std::vector<std::string> notes;

    bool Any() const {
        return passIntervalMs || emailSlotProbe || !eventFile.empty() || syslogPort ||
               trapManagerPort || trapPort || snmpAgentPort || !killAt.empty();
    }
};

using EnvironmentLookup = std::function<const char*(const char* name)>;

// Reads the variables above (`lookup` defaults to getenv).
ServiceTestSettings ReadServiceTestSettings(const EnvironmentLookup& lookup = {});

// Stands in for the e-mail alert channel: empties the queue and clears the test flag, and says
// in the log what it took.
class EmailSlotProbe : public WorkerThread {
public:
    explicit EmailSlotProbe(CTarvellFrm& engine, std::int64_t intervalMs = 1000)
        : engine_(engine), intervalMs_(intervalMs) {}
    ~EmailSlotProbe() override { StopAndJoin(); }
    // One round: takes the queue and the flag under the alert lock, logs after it.
    void TakeOnce();

protected:
    void Run() override;

private:
    CTarvellFrm& engine_;
    std::int64_t intervalMs_;
};

// Records the event of a file placed at a known path, for tests that need an event from outside.
class EventFileProbe : public WorkerThread {
public:
    EventFileProbe(CTarvellFrm& engine, std::string path, std::int64_t intervalMs = 100)
        : engine_(engine), path_(std::move(path)), intervalMs_(intervalMs) {}
    ~EventFileProbe() override { StopAndJoin(); }
    // Takes the file when there is one; true when an event was recorded.
    bool TakeOnce();

protected:
    void Run() override;

private:
    CTarvellFrm& engine_;
    std::string path_;
    std::int64_t intervalMs_;
};

// Parses the text of an event file; nullopt with the reason in `error` when it is not one.
std::optional<CEventItem> ParseTestEvent(std::string_view text, std::string* error);

}  // namespace tarvell
