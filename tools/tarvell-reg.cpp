// tarvell-reg: sets, reads or deletes one value of the registry store of the installation under
// TARVELL_ROOT (machine hives in <root>/etc/tarvell/registry, the user's hive as the service
// finds it), e.g. to tell the service where the sibling product lives:
//     tarvell-reg set HKLM "SYSTEM\CurrentControlSet\Services\Quenmark Ombrix" ImagePath
//     /opt/ombrix/ombrix
// Usage:
//     tarvell-reg set [--dword] <hive> <key> <name> <value>   creates the key when missing
//     tarvell-reg get <hive> <key> <name>                     prints the value and a line end
//     tarvell-reg delete <hive> <key> <name>
// <hive> is HKLM, HKCU, HKCR, HKU, HKCC or the full name; <key> is split at "\" only; <name> is
// taken whole ("" is the key's default value). A DWORD is decimal or 0x-hexadecimal, 32 bits.
// Exit status: 0 done, 1 the store refused (message with the store's result code), 64 usage.
#include <charconv>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

namespace tarvell {
namespace {

constexpr int kExitRefused = 1;
constexpr int kExitUsage = 64;

int Usage() {
    std::cerr << "usage: tarvell-reg set [--dword] <hive> <key> <name> <value>\n"
                 "       tarvell-reg get <hive> <key> <name>\n"
                 "       tarvell-reg delete <hive> <key> <name>\n";
    return kExitUsage;
}

std::optional<std::uint32_t> ParseDword(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

int Refused(std::string_view what, RegResult result) {
    std::cerr << "tarvell-reg: " << what << " failed (result " << result << ")\n";
    return kExitRefused;
}

struct Request {
    std::string verb;
    bool dword = false;
    Hive hive = Hive::LocalMachine;
    std::string key;
    std::string name;
    std::string value;
};

// The arguments after the program name; nullopt when they do not make a request.
std::optional<Request> ParseArguments(std::vector<std::string> args) {
    Request r;
    if (args.empty()) return std::nullopt;
    r.verb = args.front();
    args.erase(args.begin());
    if (r.verb == "set" && !args.empty() && args.front() == "--dword") {
        r.dword = true;
        args.erase(args.begin());
    }
    const std::size_t wanted = r.verb == "set" ? 4 : 3;
    if ((r.verb != "set" && r.verb != "get" && r.verb != "delete") || args.size() != wanted)
        return std::nullopt;
    const auto hive = HiveFromName(args[0]);
    if (!hive) return std::nullopt;
    r.hive = *hive;
    r.key = args[1];
    r.name = args[2];
    if (r.verb == "set") r.value = args[3];
    return r;
}

int Set(Registry& store, const Request& r) {
    std::optional<std::uint32_t> number;
    if (r.dword && !(number = ParseDword(r.value))) {
        std::cerr << "tarvell-reg: not a 32-bit number: " << r.value << "\n";
        return kExitUsage;
    }
    RegKey key;
    if (RegResult res = store.CreateKey(r.hive, r.key, &key); res != kRegSuccess)
        return Refused("creating the key", res);
    const RegResult res = number ? key.SetDword(r.name, *number) : key.SetString(r.name, r.value);
    return res == kRegSuccess ? 0 : Refused("setting the value", res);
}

int Get(Registry& store, const Request& r) {
    RegKey key;
    if (RegResult res = store.OpenKey(r.hive, r.key, &key); res != kRegSuccess)
        return Refused("opening the key", res);
    RegValue value;
    if (RegResult res = key.QueryValue(r.name, &value); res != kRegSuccess)
        return Refused("reading the value", res);
    if (value.type == RegType::Dword) std::cout << value.dword << "\n";
    else std::cout << value.text << "\n";
    return 0;
}

int Delete(Registry& store, const Request& r) {
    RegKey key;
    if (RegResult res = store.OpenKey(r.hive, r.key, &key); res != kRegSuccess)
        return Refused("opening the key", res);
    const RegResult res = key.DeleteValue(r.name);
    return res == kRegSuccess ? 0 : Refused("deleting the value", res);
}

int Main(int argc, char** argv) {
    const auto request = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!request) return Usage();
    Registry& store = Registry::Default();
    if (request->verb == "set") return Set(store, *request);
    if (request->verb == "get") return Get(store, *request);
    return Delete(store, *request);
}

}  // namespace
}  // namespace tarvell

int main(int argc, char** argv) { return tarvell::Main(argc, argv); }
