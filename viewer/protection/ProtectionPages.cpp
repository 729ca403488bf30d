#include "viewer/protection/ProtectionPages.h"

#include "viewer/widgets/PageTable.h"

namespace tarvell {

// No screen of this area is built yet: its slots keep the shell's stand-ins.
void RegisterProtectionPages(PageTable&) {}

}  // namespace tarvell
