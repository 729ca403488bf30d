#include "service/engine/ServiceUnit.h"

#include <csignal>
#include <cstdio>

#include "platform/Text.h"

namespace tarvell {

std::optional<std::size_t> FindOption(std::string_view text, std::string_view separators) {
    const std::size_t at = text.find_first_of(separators);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    return at + 1;
}

std::string JoinArguments(int argc, const char* const* argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            line += ' ';
        }
        line += argv[i];
    }
    return line;
}

HostCommand ScanCommandLine(std::string_view commandLine) {
    struct Keyword {
        std::string_view text;
        HostCommand command;
    };
    static constexpr Keyword kKeywords[] = {
        {"UnregServer", HostCommand::UnregServer},
        {"RegServer", HostCommand::RegServer},
        {"Service", HostCommand::Service},
        {"Run", HostCommand::Run},
    };
    std::string_view rest = commandLine;
    while (auto next = FindOption(rest, "-/")) {
        rest.remove_prefix(*next);
        for (const Keyword& k : kKeywords) {
            if (EqualsNoCase(rest, k.text)) {
                return k.command;
            }
        }
    }
    return HostCommand::None;
}

namespace {

bool IsForbiddenInExecName(unsigned char c) {
    return c < 0x20 || c == 0x7f || c == '"' || c == '\'' || c == '\\';
}

}  // namespace

std::optional<std::string> QuoteExecPath(std::string_view programPath) {
    if (programPath.empty() || programPath.front() != '/') {
        return std::nullopt;
    }
    std::string quoted = "\"";
    for (char ch : programPath) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsForbiddenInExecName(c)) {
            return std::nullopt;
        }
        if (c == '%') {
            quoted += "%%";  // specifier escape
        } else if (c >= 0x80) {
            // Escaped so that the unit file stays valid UTF-8 whatever the path's bytes are.
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            quoted += hex;
        } else {
            quoted += ch;
        }
    }
    quoted += '"';
    return quoted;
}

std::optional<std::string> UnitFileText(std::string_view programPath,
                                        std::string_view description) {
    const auto exec = QuoteExecPath(programPath);
    if (!exec) {
        return std::nullopt;
    }
    std::string text;
    text += "[Unit]\n";
    text += "Description=";
    for (char ch : description) {
        text += ch;
        if (ch == '%') {
            text += '%';
        }
    }
    text += "\n\n[Service]\n";
    text += "Type=notify\n";
    text += "ExecStart=" + *exec + "\n";
    text += "Restart=on-failure\n";
    // A /tmp of the service's own: what runs as root in it (an ODBC driver's log, the run
    // commands) cannot be made to write through a link another user planted in the shared one.
    text += "PrivateTmp=yes\n";
    text += "\n[Install]\n";
    text += "WantedBy=multi-user.target\n";
    return text;
}

namespace {

int UserSignalCount() {
    const int available = SIGRTMAX - SIGRTMIN + 1;
    const int codes = kLastUserControl - kFirstUserControl + 1;
    return available < codes ? available : codes;
}

}  // namespace

std::optional<int> ControlCodeForSignal(int signo) {
    if (signo == SIGTERM || signo == SIGINT) {
        return kControlStop;
    }
    const int k = signo - SIGRTMIN;
    if (k >= 0 && k < UserSignalCount()) {
        return kFirstUserControl + k;
    }
    return std::nullopt;
}

std::optional<int> SignalForControlCode(int code) {
    if (code == kControlStop) {
        return SIGTERM;
    }
    const int k = code - kFirstUserControl;
    if (k >= 0 && k < UserSignalCount()) {
        return SIGRTMIN + k;
    }
    return std::nullopt;
}

std::vector<int> ControlSignals() {
    std::vector<int> signals = {SIGTERM, SIGINT};
    for (int k = 0; k < UserSignalCount(); ++k) {
        signals.push_back(SIGRTMIN + k);
    }
    return signals;
}

}  // namespace tarvell
