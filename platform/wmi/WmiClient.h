// WMI as the linkup checks see it: a connection to one namespace of one computer, WQL queries
// that give one property of every object, the registry provider's reads, and the test whether an
// address belongs to a computer of a domain or workgroup. Three backends implement it: fixture
// files (tests, demo), nothing (no backend installed) and the helper program on the
// distribution's impacket. MakeWmiClient picks one by what is installed.
//
// Every call has a time limit and gives up when the cancel event given at Open is signalled; a
// call that fails or times out answers nullopt / false, never hangs. Values that come back are
// the computer's answers: hostile text, bounded in count and length by each backend.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvell {

class ManualResetEvent;

// An account for WMI. The domain goes into NTLM; an empty user means the service's own
// credentials (which, for a backend that runs elsewhere than Windows, means anonymous).
struct WmiAccount {
    std::string user;
    std::string domain;
    std::string password;

    bool operator==(const WmiAccount&) const = default;
};

// The roots of the registry provider, by the numbers the provider takes.
inline constexpr std::uint32_t kHkeyClassesRoot = 0x80000000;
inline constexpr std::uint32_t kHkeyCurrentUser = 0x80000001;
inline constexpr std::uint32_t kHkeyLocalMachine = 0x80000002;
inline constexpr std::uint32_t kHkeyUsers = 0x80000003;
inline constexpr std::uint32_t kHkeyCurrentConfig = 0x80000005;
inline constexpr std::uint32_t kHkeyDynData = 0x80000006;

// Bounds of what is taken from a computer's answers.
inline constexpr std::size_t kMaxWmiValues = 20'000;     // values of one query or key list
inline constexpr std::size_t kMaxWmiValueBytes = 4'096;  // one value; longer ones are cut

// Time limits of the calls.
inline constexpr std::int64_t kWmiConnectLimitMs = 30'000;
inline constexpr std::int64_t kWmiQueryLimitMs = 60'000;
inline constexpr std::int64_t kWmiDomainTestLimitMs = 10'000;

// One check's view of one computer; used by one thread.
class WmiConnection {
public:
    virtual ~WmiConnection() = default;
    // Connects to `nameSpace` (e.g. "root\\cimv2") of the computer at `nodeIp`, replacing any
    // connection before; nullopt account: the service's own credentials. false with the reason.
    virtual bool Connect(const std::string& nodeIp, const std::string& nameSpace,
                         const std::optional<WmiAccount>& account, std::int64_t limitMs,
                         std::string* why) = 0;
    virtual void Disconnect() = 0;
    // The property of every object the query returns, in order; objects where it is NULL are
    // left out. nullopt when the query failed.
    virtual std::optional<std::vector<std::string>> Query(const std::string& wql,
                                                          const std::string& property,
                                                          std::int64_t limitMs) = 0;
    // The registry provider of the connected namespace.
    virtual std::optional<std::vector<std::string>> EnumKey(std::uint32_t root,
                                                            const std::string& key,
                                                            std::int64_t limitMs) = 0;
    virtual std::optional<std::string> GetStringValue(std::uint32_t root, const std::string& key,
                                                      const std::string& value,
                                                      std::int64_t limitMs) = 0;
    virtual std::optional<std::uint32_t> GetDwordValue(std::uint32_t root, const std::string& key,
                                                       const std::string& value,
                                                       std::int64_t limitMs) = 0;
    // Whether the address is a computer that is a member of a domain or workgroup (it answers
    // with the names it registered and one of them is a group name). Needs no connection.
    virtual bool IsDomainComputer(const std::string& nodeIp, std::int64_t limitMs) = 0;
};

class WmiClient {
public:
    virtual ~WmiClient() = default;
    // A connection for one check. `cancel` (may be null) ends every wait of its calls.
    virtual std::unique_ptr<WmiConnection> Open(const ManualResetEvent* cancel) = 0;
    // "fixture", "none" or "helper", for the log.
    virtual std::string Name() const = 0;
};

// Nothing answers: every connect fails, no address is a domain computer.
std::unique_ptr<WmiClient> MakeNullWmiClient();

using WmiEnvironmentLookup = std::function<const char*(const char* name)>;

// The backend of this installation: TARVELL_WMI_FIXTURE=<folder> selects the fixture backend
// (tests and demo); otherwise the helper program when it is installed and its self-test passes
// (impacket importable); otherwise the null backend. `lookup` defaults to getenv.
// `clock` takes the fixture backend's delays (null: the default clock); `note` (may be null)
// says what was chosen and why, for the log.
std::unique_ptr<WmiClient> MakeWmiClient(const WmiEnvironmentLookup& lookup = {},
                                         class Clock* clock = nullptr, std::string* note = nullptr);

}  // namespace tarvell
