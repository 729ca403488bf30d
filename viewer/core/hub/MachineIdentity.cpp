#include "viewer/core/hub/MachineIdentity.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

#include "platform/Files.h"
#include "platform/Text.h"

namespace tarvell {
namespace {

constexpr std::size_t kMaxName = 255;

// "aa:bb:cc:dd:ee:ff" from sysfs as six raw bytes; empty when it is not that form.
std::string HardwareAddress(const std::string& interfaceName) {
    if (interfaceName.find('/') != std::string::npos) return {};
    const auto text = ReadWholeFile("/sys/class/net/" + interfaceName + "/address", 256);
    if (!text) return {};
    std::string bytes;
    for (const std::string& part : SplitAny(Trim(*text, " \n"), ":")) {
        if (part.size() != 2) return {};
        unsigned value = 0;
        if (std::sscanf(part.c_str(), "%2x", &value) != 1) return {};
        bytes += static_cast<char>(value);
    }
    return bytes;
}

std::vector<InterfaceAddress> SystemInterfaces() {
    std::vector<InterfaceAddress> out;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return out;
    for (ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET) continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto* in = reinterpret_cast<const sockaddr_in*>(it->ifa_addr);
        if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) == nullptr) continue;
        InterfaceAddress address;
        address.name = it->ifa_name ? it->ifa_name : "";
        address.ipv4 = text;
        address.up = (it->ifa_flags & IFF_UP) != 0;
        address.loopback = (it->ifa_flags & IFF_LOOPBACK) != 0;
        address.hardware = HardwareAddress(address.name);
        out.push_back(std::move(address));
    }
    ::freeifaddrs(list);
    return out;
}

std::string SystemUserName() {
    passwd pw{};
    passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::geteuid(), &pw, buffer, sizeof buffer, &found) == 0 && found != nullptr)
        return found->pw_name;
    return {};
}

std::string SystemHostName() {
    char name[kMaxName + 1] = {};
    if (::gethostname(name, kMaxName) != 0) return {};
    return name;
}

std::string SystemDomainName() {
    char name[kMaxName + 1] = {};
    if (::getdomainname(name, kMaxName) != 0) return {};
    const std::string text = name;
    return text == "(none)" ? "" : text;
}

std::string SystemReverseName(const std::string& ip) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (::inet_pton(AF_INET, ip.c_str(), &address.sin_addr) != 1) return {};
    char host[NI_MAXHOST] = {};
    if (::getnameinfo(reinterpret_cast<const sockaddr*>(&address), sizeof address, host,
                      sizeof host, nullptr, 0, NI_NAMEREQD) != 0)
        return {};
    return host;
}

std::string HexUpper(const std::string& bytes) {
    std::string out;
    char two[3];
    for (unsigned char b : bytes) {
        std::snprintf(two, sizeof two, "%02X", b);
        out += two;
    }
    return out;
}

}  // namespace

IdentitySources SystemIdentitySources() {
    return {SystemInterfaces, SystemUserName, SystemHostName, SystemDomainName, SystemReverseName};
}

MachineIdentity ReadMachineIdentity(const IdentitySources& sources) {
    MachineIdentity id;
    if (sources.userName) id.UserName = sources.userName();
    const std::string fullHost = sources.hostName ? sources.hostName() : "";
    id.ComputerName = fullHost.substr(0, fullHost.find('.'));
    if (sources.interfaces) {
        for (const InterfaceAddress& address : sources.interfaces()) {
            if (!address.up || address.loopback || address.ipv4.starts_with("127.")) continue;
            id.LocalIp = address.ipv4;
            id.LocalMac = HexUpper(address.hardware);
            break;
        }
    }
    if (!id.LocalIp.empty() && sources.reverseName) id.HostName = sources.reverseName(id.LocalIp);
    id.DomainName = sources.domainName ? sources.domainName() : "";
    if (id.DomainName.empty()) {
        const std::string& qualified =
            id.HostName.find('.') != std::string::npos ? id.HostName : fullHost;
        if (const std::size_t dot = qualified.find('.'); dot != std::string::npos)
            id.DomainName = qualified.substr(dot + 1);
    }
    // A host in no domain is named by its own name, as the service names it.
    if (id.DomainName.empty()) id.DomainName = id.ComputerName;
    return id;
}

}  // namespace tarvell
