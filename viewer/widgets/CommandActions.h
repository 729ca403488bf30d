// Commands as Qt actions. An action's data holds its command id; a CommandDispatcher sends every
// triggered action of the menus and controls it watches to the command router, and greys the
// items of a menu that no target handles (or whose handler refuses) just before it opens.
#pragma once

#include <QAction>
#include <QMenu>
#include <QObject>
#include <vector>

#include "viewer/core/shell/CommandRouter.h"
#include "viewer/core/shell/MenuTable.h"

namespace tarvell {

QAction* MakeCommandAction(const QString& text, CommandId id, QObject* parent);
// The command of an action; 0 for an action without one.
CommandId ActionCommand(const QAction* action);

// A Qt menu of the menu table's items ("&" marks stay mnemonics), owned by `parent`.
QMenu* BuildMenu(const std::vector<MenuItem>& items, QWidget* parent);
// The first action of `menu` (searched depth first) with command `id`, or null.
QAction* FindCommandAction(QMenu* menu, CommandId id);

class CommandDispatcher : public QObject {
    Q_OBJECT
public:
    explicit CommandDispatcher(const CommandRouter& router, QObject* parent = nullptr)
        : QObject(parent), router_(router) {}

    // Routes the menu's (and its submenus') actions and updates their enabled state on opening.
    void Watch(QMenu* menu);
    // Routes one action (a toolbar or link action).
    void Watch(QAction* action);
    // Sets the enabled state of the menu's command actions from the router.
    void UpdateEnabled(QMenu* menu) const;

public slots:
    bool Send(CommandId id) const { return router_.Send(id); }

private:
    const CommandRouter& router_;
};

}  // namespace tarvell
