// The system's locks are re-entrant: a thread that holds one may take it again.
#pragma once

#include <mutex>

namespace tarvell {

using RecursiveLock = std::recursive_mutex;
// Holds a RecursiveLock for the rest of the scope.
using RecursiveGuard = std::lock_guard<std::recursive_mutex>;
// A guard that can be released early and taken again.
using RecursiveUniqueGuard = std::unique_lock<std::recursive_mutex>;

}  // namespace tarvell
