// Who and where this viewer is: the user, the domain or workgroup, the computer name, the first
// IPv4 address that is not loopback, the host name of that address and the hardware address of
// its interface. Requests the viewer files carry "<user>@<domain>"; the viewer users' entries
// are matched against all of it.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tarvell {

struct MachineIdentity {
    std::string UserName;
    std::string DomainName;
    std::string ComputerName;
    std::string LocalIp;
    std::string HostName;
    std::string LocalMac;  // 12 upper-case hexadecimal digits, empty when unknown
};

// One IPv4 address of a network interface.
struct InterfaceAddress {
    std::string name;  // "eth0"
    std::string ipv4;  // dotted
    bool up = false;
    bool loopback = false;
    std::string hardware;  // the interface's hardware address as raw bytes (6 for Ethernet)
};

// What the identity is read from; the system's by default, tests give their own.
struct IdentitySources {
    std::function<std::vector<InterfaceAddress>()> interfaces;
    std::function<std::string()> userName;
    std::function<std::string()> hostName;                          // gethostname
    std::function<std::string()> domainName;                        // NIS domain, empty when none
    std::function<std::string(const std::string& ip)> reverseName;  // "" when unknown
};
IdentitySources SystemIdentitySources();

// Failed look-ups leave their member empty; the domain falls back to the DNS domain of the host
// name and then to the host's own name (a host in no domain).
MachineIdentity ReadMachineIdentity(const IdentitySources& sources);

}  // namespace tarvell
