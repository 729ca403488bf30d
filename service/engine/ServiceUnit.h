// The service host's fixed texts and tables: command-line keywords, the systemd unit file and
// the mapping of signals to service control codes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvell {

// What the command line asks the program to do.
enum class HostCommand { None, RegServer, UnregServer, Service, Run };

// Position just after the first character of `text` that is one of `separators`, or nullopt.
std::optional<std::size_t> FindOption(std::string_view text, std::string_view separators);

// The arguments after the program path, joined by blanks. The program path is left out so that
// a program file that happens to be called like a keyword never matches.
std::string JoinArguments(int argc, const char* const* argv);

// Looks for "-" or "/" followed by a keyword that runs to the end of the line (compared without
// regard to case): "UnregServer", "RegServer", "Service" or "Run". A keyword followed by anything,
// even a blank, does not match.
HostCommand ScanCommandLine(std::string_view commandLine);

inline constexpr std::string_view kUnitName = "tarvellsrv.service";

// The program path as one quoted word of an ExecStart line, or nullopt when systemd cannot run
// a program of that name (not absolute, or holding quotes, backslashes or control characters).
std::optional<std::string> QuoteExecPath(std::string_view programPath);

// The whole unit file for the program, or nullopt when the path cannot be written into one. The
// service gets a /tmp of its own (PrivateTmp), shared with nothing outside it.
std::optional<std::string> UnitFileText(std::string_view programPath, std::string_view description);

// Service control codes as signals: stop (1) is SIGTERM or SIGINT, a user code C in 128..159 is
// SIGRTMIN + (C - 128) as far as the system has real-time signals.
inline constexpr int kControlStop = 1;
inline constexpr int kFirstUserControl = 128;
inline constexpr int kLastUserControl = 159;
std::optional<int> ControlCodeForSignal(int signo);
std::optional<int> SignalForControlCode(int code);
// Every signal the service's signal thread waits for.
std::vector<int> ControlSignals();

}  // namespace tarvell
