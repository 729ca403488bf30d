// The picture programs' check of accessible names: with TARVELL_AUDIT_NAMES set in the
// environment, each picture saved also looks at every window then alive (the picture's screen,
// sheet or dialog and what stands behind it) and names on standard error each control a user can
// act on that has no accessible name, once per program. The picture then counts as failed, so the
// program ends with status 1. Without the variable nothing is checked.
#pragma once

#include <QApplication>
#include <QSet>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

#include "viewer/widgets/Accessibility.h"

namespace tarvell {

// False when a window alive now holds a control without a name not reported before.
inline bool AuditNames(const char* picture) {
    if (!std::getenv("TARVELL_AUDIT_NAMES")) return true;
    static QSet<QString> reported;
    bool clean = true;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->windowType() == Qt::Popup) continue;  // a combo's list, a menu: the owner's
        const QString title = window->windowTitle().isEmpty()
                                  ? QLatin1String(window->metaObject()->className())
                                  : window->windowTitle();
        for (const QString& control : UnnamedControls(window)) {
            const QString line = title + QStringLiteral(": ") + control;
            if (reported.contains(line)) continue;
            reported.insert(line);
            clean = false;
            std::fprintf(stderr, "unnamed control (%s): %s\n", picture,
                         line.toLocal8Bit().constData());
        }
    }
    return clean;
}

}  // namespace tarvell
