#include "viewer/widgets/CommandActions.h"

#include "viewer/widgets/TextConv.h"

namespace tarvell {

QAction* MakeCommandAction(const QString& text, CommandId id, QObject* parent) {
    auto* a = new QAction(text, parent);
    a->setData(QVariant::fromValue(id));
    return a;
}

CommandId ActionCommand(const QAction* action) {
    if (action == nullptr) return 0;
    bool ok = false;
    const uint id = action->data().toUInt(&ok);
    return ok ? id : 0;
}

QMenu* BuildMenu(const std::vector<MenuItem>& items, QWidget* parent) {
    auto* menu = new QMenu(parent);
    for (const MenuItem& item : items) {
        if (item.IsSeparator()) {
            menu->addSeparator();
        } else if (item.IsPopup()) {
            QMenu* sub = BuildMenu(item.popup, menu);
            sub->setTitle(FromUtf8(item.text));
            menu->addMenu(sub);
        } else {
            menu->addAction(MakeCommandAction(FromUtf8(item.text), item.command, menu));
        }
    }
    return menu;
}

QAction* FindCommandAction(QMenu* menu, CommandId id) {
    for (QAction* a : menu->actions()) {
        if (QMenu* sub = a->menu()) {
            if (QAction* found = FindCommandAction(sub, id)) return found;
        } else if (!a->isSeparator() && ActionCommand(a) == id) {
            return a;
        }
    }
    return nullptr;
}

void CommandDispatcher::Watch(QMenu* menu) {
    connect(menu, &QMenu::triggered, this, [this](QAction* a) {
        // A submenu re-raises the triggers of its items; a command is sent once, from the menu
        // that holds the action.
        if (a->parent() == sender() && ActionCommand(a) != 0) router_.Send(ActionCommand(a));
    });
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { UpdateEnabled(menu); });
    for (QAction* a : menu->actions())
        if (QMenu* sub = a->menu()) Watch(sub);
}

void CommandDispatcher::Watch(QAction* action) {
    connect(action, &QAction::triggered, this, [this, action] {
        if (ActionCommand(action) != 0) router_.Send(ActionCommand(action));
    });
}

void CommandDispatcher::UpdateEnabled(QMenu* menu) const {
    for (QAction* a : menu->actions()) {
        if (a->menu() != nullptr || a->isSeparator()) continue;
        const CommandId id = ActionCommand(a);
        if (id != 0) a->setEnabled(router_.IsEnabled(id));
    }
}

}  // namespace tarvell
