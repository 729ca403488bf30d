// The system's text for an errno value, safe to call from any thread (strerror may share one
// buffer between threads).
#pragma once

#include <string>

namespace tarvell {

// "No such file or directory" for ENOENT; "Unknown error <n>" for a number the system lacks.
std::string ErrnoText(int error);

}  // namespace tarvell
