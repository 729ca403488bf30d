// The process's memory as the system counts it, and handing freed heap back to it.
#pragma once

#include <cstddef>

namespace tarvell {

// Resident set size in bytes (/proc/self/statm); 0 when it cannot be read.
std::size_t ResidentBytes();

// Gives the heap pages that are free in every allocator arena back to the system. Work that
// allocates much for a while (a burst of polls, a large server left for a small one) would
// otherwise keep its peak for the life of the process. Costs a walk over the free lists: call it
// when such work has ended, not per item.
void ReturnFreedMemory();

}  // namespace tarvell
