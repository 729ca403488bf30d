#include "viewer/widgets/Accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QRegularExpression>
#include <map>
#include <memory>
#include <vector>

#include "viewer/widgets/CFlatToolBarCtrl.h"
#include "viewer/widgets/CIpAddressCtrl.h"
#include "viewer/widgets/CThemeTabCtrl.h"
#include "viewer/widgets/LinkLabel.h"

namespace tarvell {
namespace {

constexpr char kPressable[] = "tarvellPressable";

// A click as the mouse gives it: a move onto the point, a press and a release. Posted, so that a
// drop-down's menu opening on the press does not hold the caller of the action.
void PostClick(QWidget* w, QPoint at) {
    const QPointF local(at);
    const QPointF global(w->mapToGlobal(at));
    QCoreApplication::postEvent(w, new QMouseEvent(QEvent::MouseMove, local, global, Qt::NoButton,
                                                   Qt::NoButton, Qt::NoModifier));
    QCoreApplication::postEvent(w, new QMouseEvent(QEvent::MouseButtonPress, local, global,
                                                   Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(w, new QMouseEvent(QEvent::MouseButtonRelease, local, global,
                                                   Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
}

// What a control that paints several items tells of one of them. Items are numbered as the
// control numbers them; the control's interface chooses which of them are children.
struct Items {
    virtual ~Items() = default;
    virtual std::vector<int> Reachable() const = 0;
    virtual QString Name(int item) const = 0;
    virtual QRect Rect(int item) const = 0;  // in the control
    virtual QAccessible::Role Role(int item) const = 0;
    virtual void State(int item, QAccessible::State& s) const = 0;
    virtual QString Action(int item) const = 0;
};

class ItemAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    ItemAccessible(QWidget* owner, const Items& items, int item)
        : owner_(owner), items_(items), item_(item) {}

    bool isValid() const override { return owner_ != nullptr; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return owner_ ? owner_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(owner_.data());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override {
        return isValid() && t == QAccessible::Name ? items_.Name(item_) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid()) return {};
        const QRect r = items_.Rect(item_);
        return QRect(owner_->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override {
        return isValid() ? items_.Role(item_) : QAccessible::NoRole;
    }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.invalid = !isValid();
        if (isValid()) {
            s.disabled = !owner_->isEnabled();
            s.invisible = !owner_->isVisible();
            items_.State(item_, s);
        }
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }
    QStringList actionNames() const override {
        return isValid() ? QStringList{items_.Action(item_)} : QStringList();
    }
    void doAction(const QString& name) override {
        if (!isValid() || name != items_.Action(item_) || state().disabled || state().invisible)
            return;
        PostClick(owner_, items_.Rect(item_).center());
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<QWidget> owner_;
    const Items& items_;  // owned by the control's interface, which outlives its children
    int item_;
};

// A control whose children are its painted items, one interface each, kept while the control lives.
class ItemsAccessible : public QAccessibleWidget {
public:
    ItemsAccessible(QWidget* w, QAccessible::Role role, std::unique_ptr<Items> items)
        : QAccessibleWidget(w, role), items_(std::move(items)) {}
    ~ItemsAccessible() override {
        for (const auto& [item, id] : children_) QAccessible::deleteAccessibleInterface(id);
    }
    int childCount() const override { return static_cast<int>(items_->Reachable().size()); }
    QAccessibleInterface* child(int i) const override {
        const std::vector<int> reachable = items_->Reachable();
        if (i < 0 || i >= static_cast<int>(reachable.size())) return nullptr;
        const int item = reachable[static_cast<std::size_t>(i)];
        auto it = children_.find(item);
        if (it == children_.end())
            it = children_
                     .emplace(item, QAccessible::registerAccessibleInterface(
                                        new ItemAccessible(widget(), *items_, item)))
                     .first;
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

protected:
    std::unique_ptr<Items> items_;
    mutable std::map<int, QAccessible::Id> children_;
};

// Toolbar buttons: a real command the user can see. A toolbar of drop-down buttons only (the
// banner's words) is a menu bar of menu items.
struct ToolbarItems : Items {
    explicit ToolbarItems(const CFlatToolBarCtrl& bar) : bar(bar) {}
    const CFlatToolBarCtrl& bar;

    std::vector<int> Reachable() const override {
        std::vector<int> out;
        for (int i = 0; i < bar.ButtonCount(); ++i) {
            const FlatButton& b = bar.Button(i);
            if (b.command != cmd::kDivider && b.command != cmd::kSpacer && !b.hidden &&
                !b.text.isEmpty())
                out.push_back(i);
        }
        return out;
    }
    bool MenuBar() const {
        const std::vector<int> reachable = Reachable();
        for (int i : reachable)
            if (!bar.Button(i).dropDown) return false;
        return !reachable.empty();
    }
    bool Valid(int i) const { return i < bar.ButtonCount(); }
    QString Name(int i) const override { return Valid(i) ? bar.Button(i).text : QString(); }
    QRect Rect(int i) const override { return bar.ButtonRect(i); }
    QAccessible::Role Role(int i) const override {
        if (!Valid(i) || !bar.Button(i).dropDown) return QAccessible::PushButton;
        return MenuBar() ? QAccessible::MenuItem : QAccessible::ButtonMenu;
    }
    void State(int i, QAccessible::State& s) const override {
        if (!Valid(i)) return;
        const FlatButton& b = bar.Button(i);
        s.disabled = s.disabled || !b.enabled;
        s.invisible = s.invisible || b.hidden;
        s.hasPopup = b.dropDown;
        s.pressed = bar.PressedIndex() == i;
        s.hotTracked = bar.HotIndex() == i;
    }
    QString Action(int i) const override {
        return Valid(i) && bar.Button(i).dropDown ? QAccessibleActionInterface::showMenuAction()
                                                  : QAccessibleActionInterface::pressAction();
    }
};

class ToolBarAccessible : public ItemsAccessible {
public:
    explicit ToolBarAccessible(CFlatToolBarCtrl* bar)
        : ItemsAccessible(bar, QAccessible::ToolBar, std::make_unique<ToolbarItems>(*bar)) {}
    QAccessible::Role role() const override {
        return static_cast<const ToolbarItems&>(*items_).MenuBar() ? QAccessible::MenuBar
                                                                   : QAccessible::ToolBar;
    }
};

// Tabs: pressed to select, the selected one marked so.
struct TabItems : Items {
    explicit TabItems(const CThemeTabCtrl& tabs) : tabs(tabs) {}
    const CThemeTabCtrl& tabs;

    std::vector<int> Reachable() const override {
        std::vector<int> out(static_cast<std::size_t>(tabs.TabCount()));
        for (int i = 0; i < tabs.TabCount(); ++i) out[static_cast<std::size_t>(i)] = i;
        return out;
    }
    QString Name(int i) const override { return tabs.TabText(i); }
    QRect Rect(int i) const override { return tabs.TabRect(i); }
    QAccessible::Role Role(int) const override { return QAccessible::PageTab; }
    void State(int i, QAccessible::State& s) const override {
        s.selectable = true;
        s.selected = tabs.CurSel() == i;
        s.hotTracked = tabs.HotTab() == i;
    }
    QString Action(int) const override { return QAccessibleActionInterface::pressAction(); }
};

// A link; an inactive one is plain text, without an action.
class LinkAccessible : public QAccessibleWidget {
public:
    explicit LinkAccessible(LinkLabel* link) : QAccessibleWidget(link, QAccessible::Link) {}
    LinkLabel* Link() const { return static_cast<LinkLabel*>(widget()); }
    QAccessible::Role role() const override {
        return Link()->IsActive() ? QAccessible::Link : QAccessible::StaticText;
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) {
            const QString own = widget()->accessibleName();
            return own.isEmpty() ? Link()->Text() : own;
        }
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.linked = Link()->IsActive();
        return s;
    }
    QStringList actionNames() const override {
        return Link()->IsActive() ? QStringList{pressAction()} : QStringList();
    }
    void doAction(const QString& name) override {
        if (name != pressAction() || !widget()->isEnabled() || !Link()->IsActive()) return;
        // The key the link answers to, so the link's own checks apply.
        QCoreApplication::postEvent(widget(),
                                    new QKeyEvent(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier));
    }
};

class PressableLabelAccessible : public QAccessibleWidget {
public:
    explicit PressableLabelAccessible(QLabel* label)
        : QAccessibleWidget(label, QAccessible::PushButton) {}
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name != pressAction() || !widget()->isEnabled() || !widget()->isVisible()) return;
        PostClick(widget(), widget()->rect().center());
    }
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
    const auto is = [&className](const QMetaObject& mo) {
        return className == QLatin1String(mo.className());
    };
    if (is(CFlatToolBarCtrl::staticMetaObject))
        if (auto* bar = qobject_cast<CFlatToolBarCtrl*>(object)) return new ToolBarAccessible(bar);
    if (is(CThemeTabCtrl::staticMetaObject))
        if (auto* tabs = qobject_cast<CThemeTabCtrl*>(object))
            return new ItemsAccessible(tabs, QAccessible::PageTabList,
                                       std::make_unique<TabItems>(*tabs));
    if (is(LinkLabel::staticMetaObject))
        if (auto* link = qobject_cast<LinkLabel*>(object)) return new LinkAccessible(link);
    if (is(QLabel::staticMetaObject) && object->property(kPressable).toBool())
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

void SetBuddyName(QLabel* label, QWidget* control) {
    label->setBuddy(control);
    SetControlName(control, NameFromLabel(label->text()));
}

void SetControlName(QWidget* control, const QString& name) {
    control->setAccessibleName(name);
    // An address entry is four edits a screen reader reaches one by one.
    if (auto* address = qobject_cast<CIpAddressCtrl*>(control))
        for (int i = 0; i < 4; ++i)
            address->Field(i)->setAccessibleName(
                QStringLiteral("%1, part %2 of 4").arg(name).arg(i + 1));
}

QString NameFromLabel(const QString& text) {
    QString name = text;
    name.remove(QRegularExpression(QStringLiteral("<[^>]*>")));  // rich text labels
    name.replace(QStringLiteral("&&"), QStringLiteral("\x01")).remove(QLatin1Char('&'));
    name.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    name = name.simplified();
    while (name.endsWith(QLatin1Char(':')) || name.endsWith(QLatin1Char('.'))) name.chop(1);
    return name.trimmed();
}

namespace {

bool IsActionable(QAccessible::Role role) {
    switch (role) {
        case QAccessible::PushButton:
        case QAccessible::CheckBox:
        case QAccessible::RadioButton:
        case QAccessible::EditableText:
        case QAccessible::SpinBox:
        case QAccessible::ComboBox:
        case QAccessible::Slider:
        case QAccessible::List:
        case QAccessible::Table:
        case QAccessible::Tree: return true;
        default: return false;
    }
}

bool HasName(QAccessibleInterface* a) {
    QObject* o = a->object();
    if (o && o->isWidgetType() && !static_cast<QWidget*>(o)->accessibleName().trimmed().isEmpty())
        return true;
    const QAccessible::Role role = a->role();
    if (role == QAccessible::List || role == QAccessible::Table || role == QAccessible::Tree)
        return false;
    if (!a->relations(QAccessible::Label).isEmpty()) return true;
    return role != QAccessible::ComboBox && !a->text(QAccessible::Name).trimmed().isEmpty();
}

QString Describe(QAccessibleInterface* a) {
    QObject* o = a->object();
    QString where;
    for (QObject* p = o; p; p = p->parent()) {
        if (!p->objectName().isEmpty()) {
            where = p->objectName() + where;
            break;
        }
        where = QLatin1Char('/') + QLatin1String(p->metaObject()->className()) + where;
    }
    const QString cls = o ? QLatin1String(o->metaObject()->className()) : QStringLiteral("?");
    return QStringLiteral("%1 %2 (role %3)").arg(cls, where).arg(int(a->role()));
}

void CollectUnnamed(QAccessibleInterface* a, QStringList& out, int depth) {
    if (!a || depth > 64) return;
    if (IsActionable(a->role())) {
        if (!HasName(a)) out << Describe(a);
        return;  // a control's parts (a combo's list, a spin's edit) are named by the control
    }
    for (int i = 0; i < a->childCount(); ++i) CollectUnnamed(a->child(i), out, depth + 1);
}

}  // namespace

QStringList UnnamedControls(QWidget* root) {
    InstallAccessibleFactory();
    QStringList out;
    CollectUnnamed(QAccessible::queryAccessibleInterface(root), out, 0);
    return out;
}

void MakeAccessibleButton(QLabel* label, const QString& name) {
    InstallAccessibleFactory();
    label->setProperty(kPressable, true);
    label->setAccessibleName(name);
}

}  // namespace tarvell
