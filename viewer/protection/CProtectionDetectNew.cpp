#include "viewer/protection/CProtectionDetectNew.h"

#include "viewer/protection/CProtectionListWnd.h"

namespace tarvell {

CProtectionDetectNew::CProtectionDetectNew(CProtectionListWnd& list)
    : CProtectionDetectFlags(
          list, 1,
          "Set detection of new nodes properties and alerts when they are trying to access the "
          "network.",
          "Enable new nodes detection.",
          {{{"New MAC Detection.", "Discover new mac addresses and alerts on network access."},
            {"New IP Detection.", "Discover new ip addresses and alerts on network access."},
            {"New Name Detection.", "Discover new computer names and alerts on network access."},
            {"New Users Detection.", "Discover new user names and alerts on network access."}}}) {}

void CProtectionDetectNew::Load(const CTarvellDoc& doc, bool& master,
                                std::array<SubProtection, 4>& subs) {
    Take(LoadNewNodes(doc), master, subs);
}

void CProtectionDetectNew::Store(bool master, const std::array<SubProtection, 4>& subs,
                                 CTarvellDoc& doc) {
    tarvell::Store(Make<NewNodesPage>(master, subs), doc);
}

}  // namespace tarvell
