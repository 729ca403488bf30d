#include "viewer/frame/PageFactory.h"

#include "viewer/alerts/AlertPages.h"
#include "viewer/frame/PlaceholderPage.h"
#include "viewer/monitors/MonitorPages.h"
#include "viewer/protection/ProtectionPages.h"
#include "viewer/settings/SettingsPages.h"
#include "viewer/summary/CInformationDlg.h"
#include "viewer/summary/CReportDlg.h"
#include "viewer/summary/SummaryPages.h"

namespace tarvell {

const PageTable& ViewerPages() {
    static const PageTable table = [] {
        PageTable t;
        for (int n = 1; n <= kPageSlots; ++n)
            t.Register(static_cast<PageSlot>(n),
                       [n](const PageContext& context, QWidget* parent) -> QWidget* {
                           return new CPlaceholderPage(n, context, parent);
                       });
        RegisterSummaryPages(t);
        RegisterMonitorPages(t);
        RegisterProtectionPages(t);
        RegisterAlertPages(t, {OpenInformationWindow, OpenReportDialog});
        RegisterSettingsPages(t);
        return t;
    }();
    return table;
}

QWidget* CreatePage(int slot, const PageContext& context, QWidget* parent) {
    PageSlot s{};
    return SlotOf(slot, s) ? ViewerPages().Create(s, context, parent) : nullptr;
}

}  // namespace tarvell
