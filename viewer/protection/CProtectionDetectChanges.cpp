#include "viewer/protection/CProtectionDetectChanges.h"

#include "viewer/protection/CProtectionListWnd.h"

namespace tarvell {

CProtectionDetectChanges::CProtectionDetectChanges(CProtectionListWnd& list)
    : CProtectionDetectFlags(list, 2,
                             "Set detection of changed nodes properties and alerts when they are "
                             "trying to access the network.",
                             "Enable changed nodes detection.",
                             {{{"Changed IP Detection.",
                                "Discover changed ip addresses and alerts on network access."},
                               {"Changed Name Detection.",
                                "Discover changed computer names and alerts on network access."},
                               {"Changed User Detection.",
                                "Discover changed user names and alerts on network access."},
                               {"Changed Port Detection.",
                                "Discover changed port location and alerts on network access."}}}) {
}

void CProtectionDetectChanges::Load(const CTarvellDoc& doc, bool& master,
                                    std::array<SubProtection, 4>& subs) {
    Take(LoadChangedNodes(doc), master, subs);
}

void CProtectionDetectChanges::Store(bool master, const std::array<SubProtection, 4>& subs,
                                     CTarvellDoc& doc) {
    tarvell::Store(Make<ChangedNodesPage>(master, subs), doc);
}

}  // namespace tarvell
