#include "platform/Memory.h"

#include <malloc.h>
#include <unistd.h>

#include <cstdio>

namespace tarvell {

std::size_t ResidentBytes() {
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm) return 0;
    unsigned long pages = 0, resident = 0;
    const int read = std::fscanf(statm, "%lu %lu", &pages, &resident);
    std::fclose(statm);
    if (read != 2) return 0;
    return static_cast<std::size_t>(resident) * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

void ReturnFreedMemory() { ::malloc_trim(0); }

}  // namespace tarvell
