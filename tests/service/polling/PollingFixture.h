// An engine whose SNMP client talks to simulated switches of the lab, plus the expected MACs of
// a port computed straight from a recording by the poll's rules.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/Text.h"
#include "service/engine/SnmpClient.h"
#include "service/polling/CScanSnmpMacs.h"
#include "tests/service/engine/EngineFixture.h"
#include "tests/support/SwitchLab.h"

namespace tarvell::polltest {

using MacSet = std::set<std::string>;

inline std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

inline bool StatusLearnedOrManaged(const std::string& text) { return text == "3" || text == "5"; }

// The MACs the rules find on interface `ifIndex` in one recording (one community): the bridge
// port of the interface, then the BRIDGE-MIB rows with status 3 or 5 on it, then the Q-BRIDGE
// rows with status 3 or 5 whose address (from the index, else from the address column) sits on
// the bridge port or names the interface. MAC columns are six bytes, whatever they look like.
inline MacSet ExpectedMacs(const std::map<std::string, lab::Record>& rec,
                           const std::string& ifIndex) {
    std::string bridgePort;
    const auto basePort = lab::ColumnOf(rec, "1.3.6.1.2.1.17.1.4.1.1");
    for (const auto& [instance, r] : lab::ColumnOf(rec, "1.3.6.1.2.1.17.1.4.1.2")) {
        const auto bp = basePort.find(instance);
        if (r.value == ifIndex && bp != basePort.end()) bridgePort = bp->second.value;
    }
    MacSet out;
    const auto port = lab::ColumnOf(rec, "1.3.6.1.2.1.17.4.3.1.2");
    const auto status = lab::ColumnOf(rec, "1.3.6.1.2.1.17.4.3.1.3");
    for (const auto& [instance, address] : lab::ColumnOf(rec, "1.3.6.1.2.1.17.4.3.1.1")) {
        const auto p = port.find(instance);
        const auto s = status.find(instance);
        if (p == port.end() || s == status.end() || !StatusLearnedOrManaged(s->second.value))
            continue;
        if (address.Bytes().size() == 6 && !bridgePort.empty() && p->second.value == bridgePort)
            out.insert(Hex(address.Bytes()));
    }
    const auto qAddress = lab::ColumnOf(rec, "1.3.6.1.2.1.17.7.1.2.2.1.1");
    const auto qStatus = lab::ColumnOf(rec, "1.3.6.1.2.1.17.7.1.2.2.1.3");
    for (const auto& [instance, p] : lab::ColumnOf(rec, "1.3.6.1.2.1.17.7.1.2.2.1.2")) {
        const auto s = qStatus.find(instance);
        if (s == qStatus.end() || !StatusLearnedOrManaged(s->second.value)) continue;
        std::string fromIndex;
        const std::vector<std::string> parts = SplitAny(instance, ".");
        if (parts.size() == 7) {
            for (std::size_t i = 1; i < 7; ++i)
                fromIndex.push_back(static_cast<char>(std::stoi(parts[i])));
        }
        const auto a = qAddress.find(instance);
        const std::string address =
            a == qAddress.end() || a->second.Bytes().size() != 6 ? "" : Hex(a->second.Bytes());
        if (fromIndex.size() == 6 && !bridgePort.empty() && p.value == bridgePort)
            out.insert(Hex(fromIndex));
        else if (!address.empty() && !bridgePort.empty() && p.value == bridgePort)
            out.insert(address);
    }
    return out;
}

inline MacSet Keys(const StringMap& map) {
    MacSet out;
    for (const auto& [k, v] : map) out.insert(k);
    return out;
}

class PollingFixture : public enginetest::EngineFixture {
protected:
    // Settings with short SNMP waits: the lab answers in milliseconds, and recordings name VLAN
    // communities that no file serves, each of which costs a full time-out.
    CTarvellDoc LabSettings() {
        CTarvellDoc doc = BlankSettings();
        doc.SnmpTimeout = 250;
        doc.SnmpRetries = 2;
        return doc;
    }

    void UseLabClient(std::uint16_t agentPort) {
        SnmpClientOptions options;
        options.agentPort = agentPort;
        options.bootCounterPath = JoinPath(serviceFolder, "snmpv3_boot_counter");
        engine->Snmp = std::make_unique<SnmpClient>(
            [this] {
                const auto doc = engine->Settings();
                SnmpClientSettings s;
                s.SnmpTimeout = static_cast<std::uint32_t>(doc->SnmpTimeout);
                s.SnmpRetries = static_cast<std::uint32_t>(doc->SnmpRetries);
                s.SnmpV3SecurityLevel = static_cast<std::uint32_t>(doc->SnmpV3SecurityLevel);
                s.SnmpV3AuthProtocol = static_cast<std::uint32_t>(doc->SnmpV3AuthProtocol);
                s.SnmpV3PrivProtocol = static_cast<std::uint32_t>(doc->SnmpV3PrivProtocol);
                s.SnmpV3User = doc->SnmpV3User;
                s.SnmpV3Context = doc->SnmpV3Context;
                s.SnmpV3AuthPassword = doc->SnmpV3AuthPassword;
                s.SnmpV3PrivPassword = doc->SnmpV3PrivPassword;
                return s;
            },
            options);
    }

    static PollRequest Request(const std::string& address, const std::string& community,
                               const std::string& objectId, const std::string& port,
                               const std::string& switchKey = "00AABB000001") {
        PollRequest r;
        r.PortIndex = port;
        r.SwitchObjectId = objectId;
        r.SwitchIp = address;
        r.SwitchKey = switchKey;
        r.Community = community;
        r.SwitchName = "lab";
        r.PortName = "port-" + port;
        r.SwitchLocation = "Lab";
        return r;
    }

    RecordingLinkupStarter linkup;
};

}  // namespace tarvell::polltest
