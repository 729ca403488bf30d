#include "viewer/protection/ProtectionPanels.h"

#include "viewer/core/protection/ProtectionRows.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/core/summary/SummaryRules.h"

namespace tarvell {
namespace {

QString Number(long value) { return QString::number(value); }

}  // namespace

// ---- CProtectionDetailsDlg

CProtectionDetailsDlg::CProtectionDetailsDlg(CTarvellApp& app, SendCommand send, QWidget* parent)
    : OverviewPanel(app, std::move(send), 0, parent) {
    const SideTexts sides[2] = {
        {1009, QStringLiteral("Intrusion Detection"),
         QStringLiteral("With intrusion detection you can set your preferred protection detection "
                        "methods that will "
                        "be used by Tarvell to discover network intruders on your network."),
         1018, QStringLiteral("View detection settings"), cmd::kIntrusionDetection},
        {1010, QStringLiteral("Intrusion Prevention"),
         QStringLiteral(
             "With intrusion prevention you can set your preferred protection prevention methods "
             "that "
             "will be used by Tarvell to block network intruders from accessing your network."),
         1019, QStringLiteral("View prevention settings"), cmd::kIntrusionPrevention},
    };
    LayoutDetails(QStringLiteral("Protection Details"), 1017,
                  QStringLiteral("Protections are currently active"), sides,
                  QStringLiteral("active protections"));
}

void CProtectionDetailsDlg::showEvent(QShowEvent* e) {
    ApplyPermissions({{1018, LoadString(str::kPermIntrusionDetection)},
                      {1019, LoadString(str::kPermIntrusionPrevention)}});
    OverviewPanel::showEvent(e);
}

void CProtectionDetailsDlg::Update() {
    const ProtectionCounts counts = CountProtections(*ShownSettings(app_));
    SetTextIfChanged(1009, Number(counts.detection));
    SetTextIfChanged(1010, Number(counts.prevention));
    SetTextIfChanged(1017, Number(counts.Total()));
}

}  // namespace tarvell
