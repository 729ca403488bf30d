// The alert popup thread, as far as the viewer's core needs it: while popups are on, every
// period it shows the alerts that arrived after its starting point, one at a time, oldest first,
// each once; a look at the same alerts snapshot as the last whole look does nothing (a quiet
// server's 100 000 alerts are not parsed again every period). The starting point is the time of
// the first look with popups on, and again of the first look after the current server changed
// while they are on; nothing is reset while they are off, so alerts of that time pop up once
// they are back on.
//
// Showing is the screen's business. `show` runs on this thread with a fresh copy of the alert
// (looked up right before; an alert gone meanwhile is skipped). It may block until the popup has
// closed, and must return soon once `stop` is set: the thread cannot end while it waits.
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
    using Show = PopupShow;
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
    bool started_ = false;                               // a starting point was set
    std::string folder_;                                 // server of the starting point
    std::pair<std::int64_t, std::int64_t> shownUpTo_{};  // newest alert shown or too old
    std::uint64_t lookedAt_ = 0;  // generation of the alerts last looked at whole; 0: none
};

}  // namespace tarvell
