// Command routing. Every menu item, toolbar button and link of the viewer sends a command id to
// the router, which offers it along a chain of targets: the frame, then the view, then the page
// the view shows. The first target with a handler for the id runs it; the rest never see it.
// A target names its successor through a function, so the chain follows whichever page is
// visible at the time of sending. Everything here runs on the user-interface thread.
#pragma once

#include <functional>
#include <map>

#include "viewer/core/base/CommandIds.h"

namespace tarvell {

class CommandTarget {
public:
    using Handler = std::function<void()>;
    using Enabler = std::function<bool()>;
    using Next = std::function<CommandTarget*()>;

    // Registers (or replaces) the handler of `id`. `enabled`, when given, tells whether a menu
    // item or button of the id is available now; without it the command is always available.
    void On(CommandId id, Handler handler, Enabler enabled = {});
    void Remove(CommandId id);
    bool Handles(CommandId id) const { return handlers_.count(id) != 0; }
    // The target offered a command after this one declines it (may return null).
    void SetNext(Next next) { next_ = std::move(next); }
    CommandTarget* NextTarget() const { return next_ ? next_() : nullptr; }

private:
    friend class CommandRouter;
    struct Entry {
        Handler handler;
        Enabler enabled;
    };
    std::map<CommandId, Entry> handlers_;
    Next next_;
};

class CommandRouter {
public:
    // A chain longer than this is taken for a loop of targets and ends the search.
    static constexpr int kMaxChain = 16;

    explicit CommandRouter(CommandTarget* root = nullptr) : root_(root) {}
    void SetRoot(CommandTarget* root) { root_ = root; }

    // Runs the first handler of `id` along the chain; false when no target handles it.
    bool Send(CommandId id) const;
    // The target that would run `id`, or null.
    CommandTarget* FindTarget(CommandId id) const;
    // False when no target handles `id` or its handler says it is unavailable (a menu item
    // then shows greyed, as one without a handler always has).
    bool IsEnabled(CommandId id) const;

private:
    CommandTarget* root_;
};

}  // namespace tarvell
