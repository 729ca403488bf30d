#include "viewer/frame/PageFactory.h"

#include "viewer/alerts/AlertPages.h"
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
        RegisterSummaryPages(t);
        RegisterMonitorPages(t, OpenReportDialog);
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
