#include "viewer/widgets/Accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <map>
#include <vector>

#include "viewer/widgets/CFlatToolBarCtrl.h"
#include "viewer/widgets/LinkLabel.h"

namespace tarvell {
namespace {

// A button is reachable when it is a real command the user can see.
bool Reachable(const FlatButton& b) {
    return b.command != cmd::kDivider && b.command != cmd::kSpacer && !b.hidden && !b.text.isEmpty();
}

// A toolbar of drop-down buttons only (the banner's words) is a menu bar of menu items.
bool IsMenuBar(const CFlatToolBarCtrl& bar) {
    bool any = false;
    for (int i = 0; i < bar.ButtonCount(); ++i) {
        const FlatButton& b = bar.Button(i);
        if (!Reachable(b)) continue;
        if (!b.dropDown) return false;
        any = true;
    }
    return any;
}

// A click as the mouse gives it: a move onto the point, a press and a release. Posted, so that a
// drop-down's menu opening on the press does not hold the caller of the action.
void PostClick(QWidget* w, QPoint at) {
    const QPointF local(at);
    const QPointF global(w->mapToGlobal(at));
    QCoreApplication::postEvent(w, new QMouseEvent(QEvent::MouseMove, local, global, Qt::NoButton,
                                                   Qt::NoButton, Qt::NoModifier));
    QCoreApplication::postEvent(w, new QMouseEvent(QEvent::MouseButtonPress, local, global, Qt::LeftButton,
                                                   Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(w, new QMouseEvent(QEvent::MouseButtonRelease, local, global, Qt::LeftButton,
                                                   Qt::NoButton, Qt::NoModifier));
}

class ToolButtonAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    ToolButtonAccessible(CFlatToolBarCtrl* bar, int index) : bar_(bar), index_(index) {}

    bool isValid() const override { return bar_ && index_ < bar_->ButtonCount(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return bar_ ? bar_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(bar_.data()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override {
        if (!isValid() || t != QAccessible::Name) return {};
        return bar_->Button(index_).text;
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid()) return {};
        const QRect r = bar_->ButtonRect(index_);
        return QRect(bar_->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override {
        if (!isValid() || !bar_->Button(index_).dropDown) return QAccessible::PushButton;
        return IsMenuBar(*bar_) ? QAccessible::MenuItem : QAccessible::ButtonMenu;
    }
    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        const FlatButton& b = bar_->Button(index_);
        s.disabled = !b.enabled || !bar_->isEnabled();
        s.invisible = b.hidden || !bar_->isVisible();
        s.hasPopup = b.dropDown;
        s.pressed = bar_->PressedIndex() == index_;
        s.hotTracked = bar_->HotIndex() == index_;
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }

    QStringList actionNames() const override {
        if (!isValid()) return {};
        return {bar_->Button(index_).dropDown ? showMenuAction() : pressAction()};
    }
    void doAction(const QString& name) override {
        if (!isValid() || !actionNames().contains(name) || state().disabled || state().invisible) return;
        PostClick(bar_, bar_->ButtonRect(index_).center());
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<CFlatToolBarCtrl> bar_;
    int index_;
};

class ToolBarAccessible : public QAccessibleWidget {
public:
    explicit ToolBarAccessible(CFlatToolBarCtrl* bar) : QAccessibleWidget(bar, QAccessible::ToolBar) {}
    ~ToolBarAccessible() override {
        for (const auto& [index, id] : children_) QAccessible::deleteAccessibleInterface(id);
    }

    QAccessible::Role role() const override {
        return IsMenuBar(*Bar()) ? QAccessible::MenuBar : QAccessible::ToolBar;
    }
    int childCount() const override { return static_cast<int>(Indexes().size()); }
    QAccessibleInterface* child(int i) const override {
        const std::vector<int> indexes = Indexes();
        if (i < 0 || i >= static_cast<int>(indexes.size())) return nullptr;
        const int button = indexes[static_cast<std::size_t>(i)];
        auto it = children_.find(button);
        if (it == children_.end()) {
            auto* iface = new ToolButtonAccessible(Bar(), button);
            it = children_.emplace(button, QAccessible::registerAccessibleInterface(iface)).first;
        }
        return QAccessible::accessibleInterface(it->second);
    }
    int indexOfChild(const QAccessibleInterface* iface) const override {
        for (int i = 0, n = childCount(); i < n; ++i)
            if (child(i) == iface) return i;
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        for (int i = 0, n = childCount(); i < n; ++i)
            if (QAccessibleInterface* c = child(i); c->rect().contains(x, y)) return c;
        return nullptr;
    }

private:
    CFlatToolBarCtrl* Bar() const { return static_cast<CFlatToolBarCtrl*>(widget()); }
    std::vector<int> Indexes() const {
        std::vector<int> out;
        const CFlatToolBarCtrl* bar = Bar();
        for (int i = 0; i < bar->ButtonCount(); ++i)
            if (Reachable(bar->Button(i))) out.push_back(i);
        return out;
    }
    mutable std::map<int, QAccessible::Id> children_;
};

class LinkAccessible : public QAccessibleWidget {
public:
    explicit LinkAccessible(LinkLabel* link) : QAccessibleWidget(link, QAccessible::Link) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) {
            const QString own = widget()->accessibleName();
            return own.isEmpty() ? static_cast<LinkLabel*>(widget())->Text() : own;
        }
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.linked = true;
        return s;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name != pressAction() || !widget()->isEnabled()) return;
        // The key the link answers to, so the link's own checks apply.
        QCoreApplication::postEvent(widget(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier));
    }
};

constexpr char kPressable[] = "tarvellPressable";

class PressableLabelAccessible : public QAccessibleWidget {
public:
    explicit PressableLabelAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::PushButton) {}
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name != pressAction() || !widget()->isEnabled() || !widget()->isVisible()) return;
        PostClick(widget(), widget()->rect().center());
    }
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
    if (className == QLatin1String(CFlatToolBarCtrl::staticMetaObject.className()))
        if (auto* bar = qobject_cast<CFlatToolBarCtrl*>(object)) return new ToolBarAccessible(bar);
    if (className == QLatin1String(LinkLabel::staticMetaObject.className()))
        if (auto* link = qobject_cast<LinkLabel*>(object)) return new LinkAccessible(link);
    if (className == QLatin1String("QLabel") && object->property(kPressable).toBool())
        return new PressableLabelAccessible(static_cast<QLabel*>(object));
    return nullptr;
}

}  // namespace

void InstallAccessibleFactory() {
    static const bool installed = [] {
        QAccessible::installFactory(&Factory);
        return true;
    }();
    (void)installed;
}

void MakeAccessibleButton(QLabel* label, const QString& name) {
    InstallAccessibleFactory();
    label->setProperty(kPressable, true);
    label->setAccessibleName(name);
}

}  // namespace tarvell
