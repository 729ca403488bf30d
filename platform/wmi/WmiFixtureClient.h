// The WMI backend of the tests and the demo: each computer is a JSON file named after its
// address in one folder ("<folder>/10.0.0.5.json"); an address without a file does not answer.
// A file holds:
//   "classes":   {"Win32_Service": [{"Name": "Spooler", ...}, ...], ...}  objects per class;
//                values are texts or numbers (numbers become decimal text), null is left out
//   "registry":  {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Key": {"Name": "text", "Count": 1}, ...}
//                keys by full path; a text is a string value, a number a DWORD; the keys on the
//                way to a listed key exist too
//   "refuse":    ["root\\default", ...]  namespaces whose connect fails ("*": every one)
//   "failConnects": n   the first n connects to this address fail
//   "account":   {"user": "...", "domain": "...", "password": "..."}  when present, a connect
//                with other credentials (or with none) is refused
//   "connectDelayMs", "queryDelayMs": time each connect or call takes on the clock; a delay at
//                or above a call's time limit makes the call time out
//   "domainComputer": true   the address answers the domain-computer test
// Queries understand "select <anything> from <Class> [where <Property> (=|<>) '<text>']". A file
// above 1 MB or not valid JSON is a computer that does not answer.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/wmi/WmiClient.h"

namespace tarvell {

inline constexpr std::size_t kMaxWmiFixtureBytes = 1024 * 1024;

class WmiFixtureClient final : public WmiClient {
public:
    // What a connect was asked for, for tests.
    struct ConnectRecord {
        std::string nodeIp;
        std::string nameSpace;
        std::optional<WmiAccount> account;
        bool succeeded = false;
    };

    // `clock` (may be null: the default clock) takes the delays.
    explicit WmiFixtureClient(std::string folder, Clock* clock = nullptr)
        : folder_(std::move(folder)), clock_(clock) {}

    std::unique_ptr<WmiConnection> Open(const ManualResetEvent* cancel) override;
    std::string Name() const override { return "fixture"; }

    std::vector<ConnectRecord> Connects() const;

    // ---- for the connections
    const std::string& Folder() const { return folder_; }
    Clock& clock() const { return clock_ != nullptr ? *clock_ : DefaultClock(); }
    // Counts a connect to the address; returns how many came before it.
    int CountConnect(const std::string& nodeIp);
    void Record(ConnectRecord record);

private:
    const std::string folder_;
    Clock* clock_;
    mutable std::mutex lock_;
    std::map<std::string, int> connects_;  // [lock_]
    std::vector<ConnectRecord> records_;   // [lock_]
};

}  // namespace tarvell
