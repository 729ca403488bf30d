// The wait cursor for the length of a scope, the way the design's long commands show it. Nests:
// the arrow comes back when the outermost WaitCursor ends.
#pragma once

namespace tarvell {

class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace tarvell
