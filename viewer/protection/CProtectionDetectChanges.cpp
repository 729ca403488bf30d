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
    const auto page = LoadChangedNodes(doc);
    master = page.master;
    subs = page.subs;
}

void CProtectionDetectChanges::Store(bool master, const std::array<SubProtection, 4>& subs,
                                     CTarvellDoc& doc) {
    ChangedNodesPage page;
    page.master = master;
    page.subs = subs;
    tarvell::Store(page, doc);
}

}  // namespace tarvell
