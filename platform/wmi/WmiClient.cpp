#include "platform/wmi/WmiClient.h"

#include <cstdlib>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/wmi/WmiFixtureClient.h"
#include "platform/wmi/WmiHelperClient.h"

namespace tarvell {
namespace {

class NullConnection final : public WmiConnection {
public:
    bool Connect(const std::string&, const std::string&, const std::optional<WmiAccount>&,
                 std::int64_t, std::string* why) override {
        *why = "no WMI backend is installed";
        return false;
    }
    void Disconnect() override {}
    std::optional<std::vector<std::string>> Query(const std::string&, const std::string&,
                                                  std::int64_t) override {
        return std::nullopt;
    }
    std::optional<std::vector<std::string>> EnumKey(std::uint32_t, const std::string&,
                                                    std::int64_t) override {
        return std::nullopt;
    }
    std::optional<std::string> GetStringValue(std::uint32_t, const std::string&, const std::string&,
                                              std::int64_t) override {
        return std::nullopt;
    }
    std::optional<std::uint32_t> GetDwordValue(std::uint32_t, const std::string&,
                                               const std::string&, std::int64_t) override {
        return std::nullopt;
    }
    bool IsDomainComputer(const std::string&, std::int64_t) override { return false; }
};

class NullClient final : public WmiClient {
public:
    std::unique_ptr<WmiConnection> Open(const ManualResetEvent*) override {
        return std::make_unique<NullConnection>();
    }
    std::string Name() const override { return "none"; }
};

}  // namespace

std::unique_ptr<WmiClient> MakeNullWmiClient() { return std::make_unique<NullClient>(); }

std::unique_ptr<WmiClient> MakeWmiClient(const WmiEnvironmentLookup& lookup, Clock* clock,
                                         std::string* note) {
    std::string ignored;
    std::string& why = note != nullptr ? *note : ignored;
    const char* fixture =
        lookup ? lookup("TARVELL_WMI_FIXTURE") : std::getenv("TARVELL_WMI_FIXTURE");
    if (fixture != nullptr && *fixture != '\0') {
        if (IsDirectory(fixture)) {
            why = std::string("fixture files of ") + fixture;
            return std::make_unique<WmiFixtureClient>(fixture, clock);
        }
        why = std::string("TARVELL_WMI_FIXTURE names no folder (") + fixture + ")";
        return MakeNullWmiClient();
    }
    const std::string helper = FindWmiHelper();
    if (helper.empty()) {
        why = std::string("no ") + kWmiHelperName + " is installed";
        return MakeNullWmiClient();
    }
    auto client =
        std::make_unique<WmiHelperClient>(std::vector<std::string>{kSystemPython, helper});
    std::string failure;
    if (!client->SelfTest(&failure)) {
        why = "the helper's self-test failed (" + failure + ")";
        return MakeNullWmiClient();
    }
    why = "the helper " + helper;
    return client;
}

}  // namespace tarvell
