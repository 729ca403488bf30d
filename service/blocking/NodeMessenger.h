// Tells the user of a node that its port is shut: a short text shown on the node's screen. The
// blocking thread calls Send outside every engine lock; a backend may take a while (its time
// limit bounds it) and reports nothing back, since no caller acts on the outcome.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/ManualResetEvent.h"
#include "platform/Process.h"

namespace tarvell {

class CTarvellFrm;

class NodeMessenger {
public:
    virtual ~NodeMessenger() = default;
    // Sends `text` to the node named `node` (a host name, passed on as one argument), as the
    // account when one is given. `cancel` ends a send that is still running (a stopping service).
    virtual void Send(const std::string& node, const std::string& text,
                      const std::optional<ProcessAccount>& account,
                      const ManualResetEvent* cancel) = 0;
};

// Sends through the SMB message service: `smbclient -M <node>` with the text on its standard
// input, when that program is installed. Without it nothing is sent, and that is logged once.
// A message that fails (no answer, log-on refused) is logged once while it keeps failing.
class SmbNodeMessenger : public NodeMessenger {
public:
    explicit SmbNodeMessenger(CTarvellFrm& engine, std::string program = "smbclient",
                              std::int64_t timeLimitMs = kTimeLimitMs)
        : engine_(engine), program_(std::move(program)), timeLimitMs_(timeLimitMs) {}
    void Send(const std::string& node, const std::string& text,
              const std::optional<ProcessAccount>& account,
              const ManualResetEvent* cancel) override;

    static constexpr std::int64_t kTimeLimitMs = 60'000;
    // The longest message sent; the SMB message service takes no more than this.
    static constexpr std::size_t kMaxMessageBytes = 1600;

private:
    CTarvellFrm& engine_;
    const std::string program_;
    const std::int64_t timeLimitMs_;
    std::mutex mutex_;
    bool missingLogged_ = false;  // [mutex_]
    bool failureLogged_ = false;  // [mutex_]
};

// The program of the given name as PATH finds it (or the name itself when it holds a "/" and
// is executable); empty when there is none.
std::string FindProgram(const std::string& name);

std::unique_ptr<NodeMessenger> MakeDefaultNodeMessenger(CTarvellFrm& engine);

}  // namespace tarvell
