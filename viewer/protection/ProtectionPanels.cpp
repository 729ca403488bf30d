#include "viewer/protection/ProtectionPanels.h"

#include "viewer/core/base/ControlIds.h"
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
        {ctl::kDetectionCount, QStringLiteral("Intrusion Detection"),
         QStringLiteral("With intrusion detection you can set your preferred protection detection "
                        "methods that will "
                        "be used by Tarvell to discover network intruders on your network."),
         ctl::kDetectionSettingsLink, QStringLiteral("View detection settings"),
         cmd::kIntrusionDetection},
        {ctl::kPreventionCount, QStringLiteral("Intrusion Prevention"),
         QStringLiteral(
             "With intrusion prevention you can set your preferred protection prevention methods "
             "that "
             "will be used by Tarvell to block network intruders from accessing your network."),
         ctl::kPreventionSettingsLink, QStringLiteral("View prevention settings"),
         cmd::kIntrusionPrevention},
    };
    LayoutDetails(QStringLiteral("Protection Details"), ctl::kProtectionTotal,
                  QStringLiteral("Protections are currently active"), sides,
                  QStringLiteral("active protections"));
}

void CProtectionDetailsDlg::showEvent(QShowEvent* e) {
    ApplyPermissions({{ctl::kDetectionSettingsLink, LoadString(str::kPermIntrusionDetection)},
                      {ctl::kPreventionSettingsLink, LoadString(str::kPermIntrusionPrevention)}});
    OverviewPanel::showEvent(e);
}

void CProtectionDetailsDlg::Update() {
    const ProtectionCounts counts = CountProtections(*ShownSettings(app_));
    SetTextIfChanged(ctl::kDetectionCount, Number(counts.detection));
    SetTextIfChanged(ctl::kPreventionCount, Number(counts.prevention));
    SetTextIfChanged(ctl::kProtectionTotal, Number(counts.Total()));
}

}  // namespace tarvell
