#include "viewer/protection/DetectionPagesUi.h"

#include "viewer/core/base/CommandIds.h"
#include "viewer/protection/CProtectionDetectChanges.h"
#include "viewer/protection/CProtectionDetectNew.h"
#include "viewer/protection/CProtectionDetectScript.h"
#include "viewer/protection/CProtectionDetectThreats.h"
#include "viewer/protection/CProtectionDetectUnauthorized.h"
#include "viewer/protection/CProtectionDetectWmi.h"
#include "viewer/protection/ProtectionPages.h"

namespace tarvell {

void RegisterDetectionPages() {
    SetProtectionPage(cmd::kIntrusionDetection, 0, [](CProtectionListWnd& list) -> CPropertyPage* {
        return new CProtectionDetectUnauthorized(list);
    });
    SetProtectionPage(cmd::kIntrusionDetection, 3, [](CProtectionListWnd& list) -> CPropertyPage* {
        return new CProtectionDetectThreats(list);
    });
    SetProtectionPage(cmd::kIntrusionDetection, 4, [](CProtectionListWnd& list) -> CPropertyPage* {
        return new CProtectionDetectWmi(list);
    });
    SetProtectionPage(cmd::kIntrusionDetection, 5, [](CProtectionListWnd& list) -> CPropertyPage* {
        return new CProtectionDetectScript(list);
    });
    SetProtectionPage(cmd::kIntrusionDetection, 1, [](CProtectionListWnd& list) -> CPropertyPage* {
        return new CProtectionDetectNew(list);
    });
    SetProtectionPage(cmd::kIntrusionDetection, 2, [](CProtectionListWnd& list) -> CPropertyPage* {
        return new CProtectionDetectChanges(list);
    });
}

}  // namespace tarvell
