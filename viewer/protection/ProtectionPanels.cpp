#include "viewer/protection/ProtectionPanels.h"

#include "viewer/core/protection/ProtectionRows.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/core/summary/SummaryRules.h"

namespace tarvell {

CProtectionDetailsDlg::CProtectionDetailsDlg(CTarvellApp& app, SendCommand send, QWidget* parent)
    : OverviewDetailsPanel(
          app, std::move(send),
          DetailsTexts{
              QStringLiteral("Protection Details"),
              ctl::kProtectionTotal,
              QStringLiteral("Protections are currently active"),
              {{ctl::kDetectionCount, QStringLiteral("Intrusion Detection"),
                QStringLiteral("With intrusion detection you can set your preferred protection "
                               "detection methods that will be used by Tarvell to discover "
                               "network intruders on your network."),
                ctl::kDetectionSettingsLink, QStringLiteral("View detection settings"), cmd::kIntrusionDetection},
               {ctl::kPreventionCount, QStringLiteral("Intrusion Prevention"),
                QStringLiteral("With intrusion prevention you can set your preferred protection "
                               "prevention methods that will be used by Tarvell to block network "
                               "intruders from accessing your network."),
                ctl::kPreventionSettingsLink, QStringLiteral("View prevention settings"), cmd::kIntrusionPrevention}},
              QStringLiteral("active protections"),
              {LoadString(str::kPermIntrusionDetection),
               LoadString(str::kPermIntrusionPrevention)}},
          [&app] {
              const ProtectionCounts counts = CountProtections(*ShownSettings(app));
              return ItemCounts{counts.Total(), counts.detection, counts.prevention};
          },
          parent) {}

}  // namespace tarvell
