// One node's WMI linkup check: waits for the node's address, connects to root\cimv2 of the
// computer (10 attempts, a second apart), checks every condition of WmiConditions and records a
// detection event for each one the computer does not meet; program and registry conditions use
// one connection to root\default. A computer that never answers raises "WMI Not Responding"
// when WmiNodesMode is 0 and the address is a domain computer. Every WMI call has a time limit
// (WmiClient.h), so a check ends even when the computer stops answering halfway.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/linkup/LinkupWorker.h"
#include "platform/wmi/WmiClient.h"

namespace tarvell {

inline constexpr int kWmiConnectAttempts = 10;
inline constexpr std::int64_t kWmiConnectPauseMs = 1000;

class CScanLinkupWmi : public LinkupWorker {
public:
    CScanLinkupWmi(CTarvellFrm& engine, WmiClient& wmi, LinkupTarget target,
                   const ManualResetEvent* stop = nullptr)
        : LinkupWorker(engine, std::move(target), stop), wmi_(wmi) {}
    ~CScanLinkupWmi() override { StopAndJoin(); }

    void Check() override;

    // The namespaces, queries and event types of the condition types 0 to 8.
    static std::string_view EventTypeOf(long type);  // empty for another type

private:
    bool Connect(WmiConnection& connection, const NodeFacts& node, const std::string& nameSpace,
                 const std::optional<WmiAccount>& account);
    void CheckCimConditions(WmiConnection& connection, const NodeFacts& node,
                            const std::vector<std::string>& conditions);
    void CheckRegistryConditions(WmiConnection& connection, const NodeFacts& node,
                                 const std::vector<std::string>& conditions);
    // The property text of a single-value check: the last object's value; empty on failure.
    std::string SingleValue(WmiConnection& connection, const char* wql, const char* property);
    // Whether one of the query's values is one of the alternatives.
    bool AnyValue(WmiConnection& connection, const char* wql, const char* property,
                  const std::string& alternatives);
    bool HasProgram(WmiConnection& connection, const std::string& alternatives);
    bool RegistryHolds(WmiConnection& connection, bool dword, const std::string& alternatives);
    void Raise(const NodeFacts& node, long type, const std::string& current,
               const std::string& before);

    WmiClient& wmi_;
    struct Program {
        std::string name;
        std::string version;
    };
    std::optional<std::vector<Program>> programs_;  // read once per check
};

}  // namespace tarvell
