#include "service/linkup/CScanLinkupWmi.h"

#include "platform/Text.h"
#include "service/linkup/LinkupRules.h"
#include "shared/EventTypes.h"

namespace tarvell {
namespace {

const char* const kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

struct CimCondition {
    const char* wql;
    const char* property;
};

// Types 0 to 5, all in root\cimv2.
const CimCondition kCimConditions[] = {
    {"Select * from Win32_OperatingSystem", "Version"},
    {"Select * from Win32_OperatingSystem", "ServicePackMajorVersion"},
    {"Select * from Win32_ComputerSystem", "Domain"},
    {"Select * from Win32_QuickFixEngineering where HotFixID<>'File 1'", "HotFixID"},
    {"Select * from Win32_Service", "Name"},
    {"Select * from Win32_Process", "Name"},
};

}  // namespace

// The condition types 0 to 8 raise the event types that follow "WMI Not Responding" in the
// shared table, in the same order.
std::string_view CScanLinkupWmi::EventTypeOf(long type) {
    if (type < 0 || type > 8) return {};
    static const std::size_t first = *AlertTextIndex("WMI Not Responding") + 1;
    return EventTypeTable()[first + static_cast<std::size_t>(type)].key;
}

void CScanLinkupWmi::Check() {
    const auto node = WaitForNode();
    if (!node) {
        Finish();
        return;
    }
    const auto settings = engine_.Settings();
    std::optional<WmiAccount> account;
    if (!settings->WmiLogon.empty()) account = SplitLogon(settings->WmiLogon);
    // WMI refuses credentials for the local computer: it is asked with the service's own.
    if (account &&
        (account->user.empty() || account->password.empty() || IsThisComputer(node->name)))
        account.reset();

    const auto connection = wmi_.Open(&StopSignal());
    bool connected = false;
    for (int attempt = 0; attempt < kWmiConnectAttempts && !connected; ++attempt) {
        connected = Connect(*connection, *node, "root\\cimv2", account);
        if (!connected && Pause(kWmiConnectPauseMs)) break;
    }
    if (Stopping()) {
        Finish();
        return;
    }
    if (connected) {
        std::vector<std::string> registryConditions;
        for (const std::string& entry : settings->WmiConditions) {
            const long type = ParseWmiCondition(entry).type;
            if (type >= 6 && type <= 8) registryConditions.push_back(entry);
        }
        CheckCimConditions(*connection, *node, settings->WmiConditions);
        connection->Disconnect();
        if (!registryConditions.empty() && !Stopping() &&
            Connect(*connection, *node, "root\\default", account)) {
            CheckRegistryConditions(*connection, *node, registryConditions);
            connection->Disconnect();
        }
    } else if (AtoL(settings->WmiNodesMode) == 0 &&
               connection->IsDomainComputer(node->address, kWmiDomainTestLimitMs)) {
        engine_.RecordEvent(NodeEvent(*node, "WMI Not Responding"));
    }
    Finish();
}

bool CScanLinkupWmi::Connect(WmiConnection& connection, const NodeFacts& node,
                             const std::string& nameSpace,
                             const std::optional<WmiAccount>& account) {
    std::string why;
    return connection.Connect(node.address, nameSpace, account, kWmiConnectLimitMs, &why);
}

void CScanLinkupWmi::CheckCimConditions(WmiConnection& connection, const NodeFacts& node,
                                        const std::vector<std::string>& conditions) {
    for (const std::string& entry : conditions) {
        if (Stopping()) return;
        const WmiCondition condition = ParseWmiCondition(entry);
        if (condition.type < 0 || condition.type > 5) continue;
        const CimCondition& cim = kCimConditions[condition.type];
        if (condition.type <= 2) {
            const std::string value = SingleValue(connection, cim.wql, cim.property);
            if (!MatchAny(condition.alternatives, value))
                Raise(node, condition.type, value, condition.alternatives);
        } else if (!AnyValue(connection, cim.wql, cim.property, condition.alternatives)) {
            Raise(node, condition.type, condition.alternatives, "");
        }
    }
}

void CScanLinkupWmi::CheckRegistryConditions(WmiConnection& connection, const NodeFacts& node,
                                             const std::vector<std::string>& conditions) {
    for (const std::string& entry : conditions) {
        if (Stopping()) return;
        const WmiCondition condition = ParseWmiCondition(entry);
        const bool met = condition.type == 6 ? HasProgram(connection, condition.alternatives)
                                             : RegistryHolds(connection, condition.type == 8,
                                                             condition.alternatives);
        if (!met) Raise(node, condition.type, condition.alternatives, "");
    }
}

std::string CScanLinkupWmi::SingleValue(WmiConnection& connection, const char* wql,
                                        const char* property) {
    const auto values = connection.Query(wql, property, kWmiQueryLimitMs);
    return values && !values->empty() ? values->back() : std::string();
}

bool CScanLinkupWmi::AnyValue(WmiConnection& connection, const char* wql, const char* property,
                              const std::string& alternatives) {
    const auto values = connection.Query(wql, property, kWmiQueryLimitMs);
    if (!values) return false;
    for (const std::string& value : *values) {
        if (MatchAny(alternatives, value)) return true;
    }
    return false;
}

// Every entry of the uninstall list with a display name counts as an installed program, system
// components included: a policy may well ask for one of them.
bool CScanLinkupWmi::HasProgram(WmiConnection& connection, const std::string& alternatives) {
    if (!programs_) {
        programs_.emplace();
        const auto keys = connection.EnumKey(kHkeyLocalMachine, kUninstallKey, kWmiQueryLimitMs);
        for (const std::string& key : keys ? *keys : std::vector<std::string>()) {
            if (Stopping()) break;
            const std::string path = std::string(kUninstallKey) + "\\" + key;
            auto name =
                connection.GetStringValue(kHkeyLocalMachine, path, "DisplayName", kWmiQueryLimitMs);
            if (!name || name->empty()) continue;
            auto version = connection.GetStringValue(kHkeyLocalMachine, path, "DisplayVersion",
                                                     kWmiQueryLimitMs);
            programs_->push_back({std::move(*name), version ? std::move(*version) : std::string()});
        }
    }
    for (const std::string& alternative : SplitAny(alternatives, "|")) {
        const auto [name, version] = SplitProgram(alternative);
        for (const Program& program : *programs_) {
            if (EqualsNoCase(program.name, name) &&
                (version.empty() || EqualsNoCase(program.version, version)))
                return true;
        }
    }
    return false;
}

bool CScanLinkupWmi::RegistryHolds(WmiConnection& connection, bool dword,
                                   const std::string& alternatives) {
    for (const std::string& alternative : SplitAny(alternatives, "|")) {
        if (Stopping()) return true;  // no event for what was not looked at
        const auto [pathText, expected] = SplitRegistryExpected(alternative);
        const auto path = ParseRegistryPath(pathText);
        if (!path) continue;
        std::optional<std::string> value;
        if (dword) {
            const auto number =
                connection.GetDwordValue(path->root, path->key, path->value, kWmiQueryLimitMs);
            if (number) value = std::to_string(*number);
        } else {
            value = connection.GetStringValue(path->root, path->key, path->value, kWmiQueryLimitMs);
        }
        if (value && EqualsNoCase(*value, expected)) return true;
    }
    return false;
}

void CScanLinkupWmi::Raise(const NodeFacts& node, long type, const std::string& current,
                           const std::string& before) {
    if (Stopping()) return;  // a call cut short by the stop says nothing about the computer
    auto event = NodeEvent(node, std::string(EventTypeOf(type)));
    event->Current = current;
    event->Before = before;
    engine_.RecordEvent(std::move(event));
}

}  // namespace tarvell
