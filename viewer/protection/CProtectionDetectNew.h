// The New nodes detection page (row 1). GUI thread only.
#pragma once

#include <array>

#include "viewer/core/protection/DetectionPages.h"
#include "viewer/protection/CProtectionDetectFlags.h"

namespace tarvell {

class CProtectionListWnd;

class CProtectionDetectNew : public CProtectionDetectFlags {
    Q_OBJECT
public:
    explicit CProtectionDetectNew(CProtectionListWnd& list);

protected:
    void Load(const CTarvellDoc& doc, bool& master, std::array<SubProtection, 4>& subs) override;
    void Store(bool master, const std::array<SubProtection, 4>& subs, CTarvellDoc& doc) override;
};

}  // namespace tarvell
