// The wait cursor (hourglass) for the length of a scope, as long commands show it. Nests:
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
