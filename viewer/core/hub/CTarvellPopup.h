// The alert popup thread, as far as the viewer's core needs it: while popups are on, every
// period it shows the alerts that arrived since the viewer connected to the current server, one
// at a time, oldest first, each once. Showing is the screen's business: `show` is called on this
// thread and returns when the popup has closed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "platform/WorkerThread.h"
#include "viewer/core/hub/CTarvellApp.h"

namespace tarvell {

class CTarvellPopup : public WorkerThread {
public:
    using Show = std::function<void(const std::string& key, const CAlertItem& alert)>;
    CTarvellPopup(CTarvellApp& app, Show show, std::int64_t periodMs = kReaderIntervalMs);
    ~CTarvellPopup() override { StopAndJoin(); }
    // One look: shows what is new; returns how many popups were shown.
    int LookOnce();

protected:
    void Run() override;

private:
    CTarvellApp& app_;
    Show show_;
    const std::int64_t periodMs_;
    std::string folder_;                                 // server of the noted time
    std::pair<std::int64_t, std::int64_t> shownUpTo_{};  // newest alert shown or too old
};

}  // namespace tarvell
