// The one place that maps the main view's slots to page windows. The screens of the other
// subsystems replace the stand-ins here as they arrive.
#include "viewer/frame/PlaceholderPage.h"
#include "viewer/frame/ShellPage.h"

namespace tarvell {

QWidget* CreatePage(int slot, const PageContext& context, QWidget* parent) {
    if (slot < 1 || slot > 8) return nullptr;
    return new CPlaceholderPage(slot, context, parent);
}

}  // namespace tarvell
