// A lab of simulated switches for system tests: snmpsim agents serving .snmprec recordings on
// chosen loopback addresses, notifications sent with Net-SNMP's snmptrap and snmpinform, and a
// private network namespace in which the real ports 161 and 162 are free and every switch has
// an address of its own (127.0.0.2, 127.0.0.3, ...). Where no namespace can be made (not root,
// no user namespaces) the lab falls back to free high ports on the same loopback addresses.
// Traffic never leaves 127.0.0.0/8.
//
// Use: call EnterPrivateNetwork() before the test program makes any thread (LabEnvironment does
// it for a whole program), then take the ports from Lab().
#pragma once

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Process.h"
#include "tests/fixtures/snmp/SnmpPeers.h"

namespace tarvell::lab {

namespace fs = std::filesystem;

// The recordings the tests use (copies of the shared fixtures, with their licences).
inline fs::path SnmprecFolder() {
    return fs::path(TARVELL_SOURCE_DIR) / "tests" / "fixtures" / "snmprec";
}

// 127.0.0.<n>; n = 1 is the host itself, switches start at 2.
inline std::string LabAddress(int n) { return "127.0.0." + std::to_string(n); }

inline constexpr int kLabAddresses = 8;  // 127.0.0.2 .. 127.0.0.9

struct LabNetwork {
    bool isolated = false;        // inside a private network namespace
    std::uint16_t agentPort = 0;  // the port of every simulated switch
    std::uint16_t trapPort = 0;   // the port the trap listener uses
};

inline LabNetwork& Lab() {
    static LabNetwork lab;
    return lab;
}

// A port free for UDP on every lab address and on 127.0.0.1 a moment ago.
inline std::uint16_t PortFreeOnLabAddresses() {
    for (int attempt = 0; attempt < 50; ++attempt) {
        const std::uint16_t port = snmptest::FreeUdpPort();
        bool free = port != 0;
        for (int n = 2; free && n < 2 + kLabAddresses; ++n) {
            const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in sin{};
            sin.sin_family = AF_INET;
            sin.sin_port = htons(port);
            ::inet_pton(AF_INET, LabAddress(n).c_str(), &sin.sin_addr);
            free = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin) == 0;
            if (fd >= 0) ::close(fd);
        }
        if (free) return port;
    }
    return 0;
}

inline bool LoopbackUp() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return false;
    ifreq ifr{};
    std::snprintf(ifr.ifr_name, sizeof ifr.ifr_name, "lo");
    bool ok = ::ioctl(fd, SIOCGIFFLAGS, &ifr) == 0;
    ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP | IFF_RUNNING);
    ok = ok && ::ioctl(fd, SIOCSIFFLAGS, &ifr) == 0;
    ::close(fd);
    return ok;
}

// Moves the calling thread (and so every thread and process it starts later) into a private
// network namespace with the loopback up and the lab addresses on it. Returns false, changing
// nothing, where that is not allowed; Lab() then holds free high ports.
inline bool EnterPrivateNetwork() {
    LabNetwork& lab = Lab();
    if (::geteuid() == 0 && ::unshare(CLONE_NEWNET) == 0 && LoopbackUp()) {
        for (int n = 2; n < 2 + kLabAddresses; ++n) {
            ProcessOptions add;
            add.argv = {"ip", "addr", "add", LabAddress(n) + "/8", "dev", "lo"};
            add.timeLimitMs = 5000;
            add.captureOutput = true;
            RunProcess(add);  // 127.0.0.0/8 reaches lo in any case; the address makes it visible
        }
        lab.isolated = true;
        lab.agentPort = 161;
        lab.trapPort = 162;
        return true;
    }
    lab.isolated = false;
    lab.agentPort = PortFreeOnLabAddresses();
    lab.trapPort = snmptest::FreeUdpPort();
    return false;
}

// Enters the private network for a whole test program: add to the program with
// `static auto* const kLab = ::testing::AddGlobalTestEnvironment(new
// tarvell::lab::LabEnvironment);`
class LabEnvironment : public ::testing::Environment {
public:
    void SetUp() override { EnterPrivateNetwork(); }
};

// ---- recordings

struct Record {
    std::string tag;    // "2", "4", "4x", "6", "64", "65", ...
    std::string value;  // as written; for "4x" the hex digits
    // The bytes of an OCTET STRING (hex decoded for "4x").
    std::string Bytes() const {
        if (tag != "4x") return value;
        std::string out;
        for (std::size_t i = 0; i + 1 < value.size(); i += 2)
            out.push_back(static_cast<char>(std::stoi(value.substr(i, 2), nullptr, 16)));
        return out;
    }
};

// OID text to record, for the plain records of a .snmprec file (comments and variation
// modules skipped). Recordings are not always sorted; the map is.
inline std::map<std::string, Record> ReadSnmprec(const fs::path& file) {
    std::map<std::string, Record> out;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const auto a = line.find('|');
        const auto b = a == std::string::npos ? a : line.find('|', a + 1);
        if (b == std::string::npos) continue;
        Record r{line.substr(a + 1, b - a - 1), line.substr(b + 1)};
        if (r.tag.find(':') != std::string::npos) continue;
        out.emplace(line.substr(0, a), std::move(r));
    }
    return out;
}

// The instance suffixes and records of one column ("1.3.6.1.2.1.17.4.3.1.2").
inline std::map<std::string, Record> ColumnOf(const std::map<std::string, Record>& records,
                                              const std::string& column) {
    std::map<std::string, Record> out;
    const std::string prefix = column + ".";
    for (auto it = records.lower_bound(prefix);
         it != records.end() && it->first.rfind(prefix, 0) == 0; ++it)
        out.emplace(it->first.substr(prefix.size()), it->second);
    return out;
}

// ---- switches

// One snmpsim agent at a lab address, serving the named recordings (file names without
// ".snmprec"; the community selects the file).
class SimSwitch {
public:
    bool Start(int labAddress, const std::vector<std::string>& recordings,
               const fs::path& folder = SnmprecFolder(),
               const std::vector<snmptest::SimUser>& users = {}) {
        sim_.SetEndpoint(LabAddress(labAddress), Lab().agentPort);
        return sim_.Start(folder, users, std::chrono::seconds(90), recordings);
    }
    std::string Address() const { return sim_.Address(); }
    std::uint16_t Port() const { return sim_.Port(); }
    std::string Log() const { return sim_.Log(); }

private:
    snmptest::SnmpSim sim_;
};

// ---- notifications with the Net-SNMP tools

struct ToolResult {
    int exitCode = -1;
    std::string output;
};

// Runs snmptrap or snmpinform with numeric OIDs only, from `source` (a lab address) to the
// trap port on 127.0.0.1.
// The tools keep their engine boots and engine id in a persistent folder, rewritten at each run:
// test programs running side by side must not share it, or one reads another's half-written
// file (and fails on it, or sends with a boots value the receiver has not seen).
inline const std::string& ToolStateFolder() {
    static const snmptest::TempDir folder("lab-snmp");
    static const std::string path = folder.Path().string();
    return path;
}

inline ToolResult SendWithTool(const std::string& tool, const std::string& source,
                               const std::vector<std::string>& args) {
    ProcessOptions run;
    run.argv = {"/usr/bin/" + tool, "--clientaddr=" + source, "-On", "-t", "2", "-r", "1"};
    run.argv.insert(run.argv.end(), args.begin(), args.end());
    run.timeLimitMs = 20'000;
    run.captureOutput = true;
    std::vector<std::string> env{"MIBS=", "MIBDIRS=/nonexistent", "HOME=/tmp",
                                 "SNMP_PERSISTENT_DIR=" + ToolStateFolder()};
    run.environment = env;
    const ProcessResult r = RunProcess(run);
    return {r.end == ProcessEnd::Exited ? r.exitCode : -1, r.out + r.err};
}

inline std::string TrapDestination(std::uint16_t port) {
    return "udp:127.0.0.1:" + std::to_string(port);
}

// linkUp for ifIndex `index` (written as given, so "abc" makes an OCTET STRING binding).
inline std::vector<std::string> LinkUpBindings(const std::string& index, bool numeric = true) {
    return {"1.3.6.1.2.1.2.2.1.1." + (numeric ? index : std::string("7")), numeric ? "i" : "s",
            index};
}

inline ToolResult SendV1LinkUp(const std::string& source, std::uint16_t port,
                               const std::string& community, const std::string& index) {
    std::vector<std::string> args{
        "-v",   "1", "-c", community, TrapDestination(port), "1.3.6.1.4.1.8072.3.2.10",
        source, "3", "0",  ""};
    for (auto& b : LinkUpBindings(index)) args.push_back(b);
    return SendWithTool("snmptrap", source, args);
}

inline ToolResult SendV2c(const std::string& tool, const std::string& source, std::uint16_t port,
                          const std::string& community, const std::string& notification,
                          const std::vector<std::string>& bindings) {
    std::vector<std::string> args{"-v", "2c",        "-c", community, TrapDestination(port),
                                  "",   notification};
    args.insert(args.end(), bindings.begin(), bindings.end());
    return SendWithTool(tool, source, args);
}

struct V3Sender {
    std::string user;
    std::string authProto;  // MD5 or SHA
    std::string authKey;
    std::string privProto;  // DES (the tools have no 3DES)
    std::string privKey;
    std::string engineId = "0x8000000001020304";
};

inline ToolResult SendV3(const std::string& tool, const std::string& source, std::uint16_t port,
                         const V3Sender& s, const std::string& notification,
                         const std::vector<std::string>& bindings) {
    std::vector<std::string> args{
        "-v", "3",         "-u", s.user,   "-l", s.privProto.empty() ? "authNoPriv" : "authPriv",
        "-a", s.authProto, "-A", s.authKey};
    if (!s.privProto.empty()) {
        args.insert(args.end(), {"-x", s.privProto, "-X", s.privKey});
    }
    if (tool == "snmptrap") args.insert(args.end(), {"-e", s.engineId});
    args.insert(args.end(), {TrapDestination(port), "", notification});
    args.insert(args.end(), bindings.begin(), bindings.end());
    return SendWithTool(tool, source, args);
}

}  // namespace tarvell::lab
