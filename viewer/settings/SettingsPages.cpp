#include "viewer/settings/SettingsPages.h"

#include "viewer/settings/CSettingsWnd.h"
#include "viewer/widgets/PageTable.h"

namespace tarvell {

void RegisterSettingsPages(PageTable& table) {
    table.Register(PageSlot::Settings, [](const PageContext& context, QWidget* parent) -> QWidget* {
        return new CSettingsWnd(context, parent);
    });
}

}  // namespace tarvell
