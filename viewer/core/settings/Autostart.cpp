#include "viewer/core/settings/Autostart.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "platform/Files.h"

namespace tarvell {

namespace {
constexpr std::size_t kMaxEntryBytes = 64 * 1024;

std::string ConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "") + "/.config";
}

std::string Trim(std::string_view s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string_view::npos) return {};
    const auto e = s.find_last_not_of(" \t\r");
    return std::string(s.substr(b, e - b + 1));
}

// The desktop file's escaping of a string value: \s \n \t \r \\.
std::optional<std::string> UnescapeValue(std::string_view v) {
    std::string out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] != '\\') {
            out += v[i];
            continue;
        }
        if (++i == v.size()) return std::nullopt;
        switch (v[i]) {
            case 's': out += ' '; break;
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case '\\': out += '\\'; break;
            default:
                out += '\\';
                out += v[i];
                break;  // kept for the quoting rules below
        }
    }
    return out;
}
}  // namespace

std::string AutostartPath() { return ConfigHome() + "/autostart/Tarvell.desktop"; }

std::optional<std::string> AutostartExec(std::string_view program) {
    if (program.empty() || program.front() != '/') return std::nullopt;
    std::string quoted = "\"";
    for (const char c : program) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return std::nullopt;
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    quoted += '"';
    std::string exec;
    for (const char c : quoted) {
        if (c == '\\') exec += '\\';
        exec += c;
    }
    return exec + " " + std::string(kAutoRunArgument);
}

std::optional<std::vector<std::string>> ParseExec(std::string_view value) {
    const std::optional<std::string> exec = UnescapeValue(value);
    if (!exec) return std::nullopt;
    std::vector<std::string> args;
    std::string current;
    bool inArg = false;
    for (std::size_t i = 0; i < exec->size(); ++i) {
        const char c = (*exec)[i];
        if (c == '"') {
            inArg = true;
            for (++i;; ++i) {
                if (i >= exec->size()) return std::nullopt;
                const char q = (*exec)[i];
                if (q == '"') break;
                if (q == '\\') {
                    if (++i >= exec->size()) return std::nullopt;
                    current += (*exec)[i];
                } else if (q == '%' && i + 1 < exec->size() && (*exec)[i + 1] == '%') {
                    current += '%';
                    ++i;
                } else {
                    current += q;
                }
            }
        } else if (c == ' ' || c == '\t') {
            if (inArg) args.push_back(std::move(current));
            current.clear();
            inArg = false;
        } else {
            inArg = true;
            current += c;
        }
    }
    if (inArg) args.push_back(std::move(current));
    return args;
}

bool IsAutostartEnabledFor(const std::string& path, std::string_view program) {
    const std::optional<std::string> text = ReadWholeFile(path, kMaxEntryBytes);
    if (!text) return false;
    std::istringstream lines(*text);
    bool inEntry = false;
    bool hidden = false;
    std::optional<std::vector<std::string>> args;
    for (std::string line; std::getline(lines, line);) {
        const std::string t = Trim(line);
        if (t.empty() || t.front() == '#') continue;
        if (t.front() == '[') {
            inEntry = t == "[Desktop Entry]";
            continue;
        }
        if (!inEntry) continue;
        const auto eq = t.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = Trim(std::string_view(t).substr(0, eq));
        const std::string value = Trim(std::string_view(t).substr(eq + 1));
        if (key == "Hidden") hidden = value == "true";
        else if (key == "Exec") args = ParseExec(value);
    }
    return !hidden && args && args->size() == 2 && (*args)[0] == program &&
           (*args)[1] == kAutoRunArgument;
}

bool EnableAutostart(const std::string& path, std::string_view program) {
    const std::optional<std::string> exec = AutostartExec(program);
    if (!exec) return false;
    const auto slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirectories(path.substr(0, slash)))
        return false;
    const std::string entry =
        "[Desktop Entry]\nType=Application\nName=Tarvell\nExec=" + *exec + "\nTerminal=false\n";
    return AtomicWriteFile(path, entry, 0644);
}

bool DisableAutostart(const std::string& path) {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

}  // namespace tarvell
