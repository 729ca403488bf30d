#include "viewer/core/shell/CommandRouter.h"

namespace tarvell {

void CommandTarget::On(CommandId id, Handler handler, Enabler enabled) {
    handlers_[id] = Entry{std::move(handler), std::move(enabled)};
}

void CommandTarget::Remove(CommandId id) { handlers_.erase(id); }

CommandTarget* CommandRouter::FindTarget(CommandId id) const {
    CommandTarget* t = root_;
    for (int hops = 0; t != nullptr && hops < kMaxChain; ++hops) {
        if (t->Handles(id)) return t;
        t = t->NextTarget();
    }
    return nullptr;
}

bool CommandRouter::Send(CommandId id) const {
    CommandTarget* t = FindTarget(id);
    if (t == nullptr) return false;
    // A copy: the handler may replace or remove itself while it runs.
    const CommandTarget::Handler handler = t->handlers_.at(id).handler;
    if (handler) handler();
    return true;
}

bool CommandRouter::IsEnabled(CommandId id) const {
    const CommandTarget* t = FindTarget(id);
    if (t == nullptr) return false;
    const auto& e = t->handlers_.at(id);
    return !e.enabled || e.enabled();
}

}  // namespace tarvell
