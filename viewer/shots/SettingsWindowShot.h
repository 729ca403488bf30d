// The settings window as the picture programs show it: 900 x 560, the commands of `context`'s
// router going to it. `shoot` runs while it is shown (open a panel through the router, shoot);
// the window is hidden and gone afterwards.
#pragma once

#include <functional>

#include "viewer/core/shell/CommandRouter.h"
#include "viewer/settings/CSettingsWnd.h"

namespace tarvell {

inline void WithSettingsWindow(const PageContext& context,
                               const std::function<void(CSettingsWnd& window)>& shoot) {
    CSettingsWnd window(context, nullptr);
    context.router.SetRoot(window.Commands());
    window.resize(900, 560);
    window.show();
    shoot(window);
    window.hide();
}

}  // namespace tarvell
