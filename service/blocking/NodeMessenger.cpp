#include "service/blocking/NodeMessenger.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "platform/Text.h"
#include "service/engine/CTarvellFrm.h"

namespace tarvell {
namespace {

// Control characters of a stored text shown as "?" in the service's log.
std::string Printable(const std::string& text) {
    constexpr std::size_t kMaxLogged = 256;
    std::string out = text.substr(0, kMaxLogged);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}

}  // namespace

std::string FindProgram(const std::string& name) {
    if (name.empty()) return {};
    if (name.find('/') != std::string::npos)
        return ::access(name.c_str(), X_OK) == 0 ? name : std::string();
    const char* path = std::getenv("PATH");
    const std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t from = 0;
    while (from <= dirs.size()) {
        auto colon = dirs.find(':', from);
        if (colon == std::string::npos) colon = dirs.size();
        const std::string dir = dirs.substr(from, colon - from);
        if (!dir.empty()) {
            const std::string candidate = dir + "/" + name;
            if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        }
        from = colon + 1;
    }
    return {};
}

void SmbNodeMessenger::Send(const std::string& node, const std::string& text,
                            const std::optional<ProcessAccount>& account,
                            const ManualResetEvent* cancel) {
    const std::string program = FindProgram(program_);
    if (program.empty()) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!missingLogged_) {
            engine_.Log("Node messages could not be sent (" + program_ +
                        " is not installed); nodes are not told of their blocks");
            missingLogged_ = true;
        }
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        missingLogged_ = false;
    }
    ProcessOptions options;
    // The node's name is one argument; "-M" takes the message from standard input.
    options.argv = {program, "-N", "-M", node};
    options.account = account;
    ProcessPipe pipe;
    std::string why;
    bool sent = false;
    if (pipe.Start(options, &why)) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeLimitMs_);
        const auto left = [&] {
            return std::max<std::int64_t>(0, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 deadline - std::chrono::steady_clock::now())
                                                 .count());
        };
        if (pipe.WriteLine(text.substr(0, kMaxMessageBytes), left(), cancel)) {
            pipe.CloseInput();
            // Its output is not needed; reading it to the end waits for the program to finish.
            constexpr std::size_t kMaxLine = 4096;
            while (pipe.ReadLine(kMaxLine, left(), cancel)) {
            }
            sent = pipe.WaitForExit(left(), cancel) == 0;
        }
        if (!sent && why.empty()) why = "it did not end successfully in time";
        pipe.Kill();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (sent) {
        failureLogged_ = false;
    } else if (!failureLogged_) {
        engine_.Log("Node message to " + Printable(node) + " could not be sent (" + Printable(why) +
                    "); later failures are not logged until one succeeds");
        failureLogged_ = true;
    }
}

std::unique_ptr<NodeMessenger> MakeDefaultNodeMessenger(CTarvellFrm& engine) {
    return std::make_unique<SmbNodeMessenger>(engine);
}

}  // namespace tarvell
