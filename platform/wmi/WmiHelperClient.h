// The WMI backend on a real network: a helper program (tarvell-wmi-helper.py, run by the
// distribution's Python with python3-impacket) speaks WMI over DCOM with NTLM, and NetBIOS
// node status for the domain-computer test. One helper process per check (per WmiConnection),
// started at the first call and killed when the connection goes or a call overruns its time
// limit (the next Connect starts a new one).
//
// Protocol: one JSON object per line each way, requests on the helper's standard input, answers
// on its standard output, strictly one answer per request:
//   {"op":"connect","ip":..,"namespace":..,"own":bool,"user":..,"domain":..,"password":..,"timeoutMs":n}
//   {"op":"disconnect"}
//   {"op":"query","wql":..,"property":..,"timeoutMs":n}          -> {"ok":true,"values":[text..]}
//   {"op":"enumkey","root":n,"key":..,"timeoutMs":n}             -> {"ok":true,"names":[text..]}
//   {"op":"getstring","root":n,"key":..,"value":..,"timeoutMs":n} -> {"ok":true,"value":text}
//   {"op":"getdword","root":n,"key":..,"value":..,"timeoutMs":n}  -> {"ok":true,"value":n}
//   {"op":"domaincomputer","ip":..,"timeoutMs":n}                -> {"ok":true,"member":bool}
// A failure answers {"ok":false,"error":text}. Texts are UTF-8 both ways. An answer that is not
// such an object, too long (kMaxHelperLineBytes) or late counts as a failure.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/wmi/WmiClient.h"

namespace tarvell {

inline constexpr std::size_t kMaxHelperLineBytes = 8 * 1024 * 1024;
inline constexpr std::int64_t kHelperSelfTestLimitMs = 30'000;
inline constexpr const char* kWmiHelperName = "tarvell-wmi-helper.py";
inline constexpr const char* kSystemPython = "/usr/bin/python3";

class WmiHelperClient final : public WmiClient {
public:
    // `command`: the program and its arguments that run the helper (the Python and the script);
    // `environment`: nullopt keeps the service's.
    explicit WmiHelperClient(std::vector<std::string> command,
                             std::optional<std::vector<std::string>> environment = std::nullopt)
        : command_(std::move(command)), environment_(std::move(environment)) {}

    std::unique_ptr<WmiConnection> Open(const ManualResetEvent* cancel) override;
    std::string Name() const override { return "helper"; }

    // Runs the helper with --selftest (it imports the impacket modules it needs); true when it
    // passed, else false with its complaint in `why`.
    bool SelfTest(std::string* why) const;

    const std::vector<std::string>& Command() const { return command_; }
    const std::optional<std::vector<std::string>>& Environment() const { return environment_; }

private:
    std::vector<std::string> command_;
    std::optional<std::vector<std::string>> environment_;
};

// The installed helper: beside the service program, else <root>/usr/lib/tarvell; empty when
// there is none.
std::string FindWmiHelper();

}  // namespace tarvell
