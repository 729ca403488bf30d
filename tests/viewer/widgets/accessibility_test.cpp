// The accessible interfaces of the self-painted controls: what a screen reader is told and what
// its press action does.
#include <QAccessible>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "viewer/widgets/CFlatToolBarCtrl.h"
#include "viewer/widgets/LinkLabel.h"

namespace tarvell {
namespace {

void Press(QAccessibleInterface* iface) {
    ASSERT_NE(iface->actionInterface(), nullptr);
    iface->actionInterface()->doAction(iface->actionInterface()->actionNames().value(0));
    QApplication::processEvents();
}

TEST(Accessibility, ToolbarExposesReachableButtonsWithNameRoleAndState) {
    CFlatToolBarCtrl bar;
    bar.AddButton({cmd::kSpacer, QString(), -1, false, false, false});
    bar.AddButton({101, QStringLiteral("Monitor"), -1, true, false, false});
    bar.AddButton({cmd::kDivider, QString(), -1, true, false, false});
    bar.AddButton({102, QStringLiteral("Protect"), -1, false, false, false});
    bar.AddButton({103, QStringLiteral("Gone"), -1, true, false, true});
    bar.AddButton({104, QStringLiteral("File"), -1, true, true, false});
    bar.resize(bar.sizeHint());
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));

    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&bar);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::ToolBar);   // a push button among them: not a menu bar
    struct Expect { QString name; QAccessible::Role role; bool disabled; int index; };
    const Expect expected[] = {{QStringLiteral("Monitor"), QAccessible::PushButton, false, 1},
                               {QStringLiteral("Protect"), QAccessible::PushButton, true, 3},
                               {QStringLiteral("File"), QAccessible::ButtonMenu, false, 5}};
    ASSERT_EQ(iface->childCount(), 3);
    for (int i = 0; i < 3; ++i) {
        QAccessibleInterface* child = iface->child(i);
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(child->text(QAccessible::Name), expected[i].name);
        EXPECT_EQ(child->role(), expected[i].role) << i;
        EXPECT_EQ(child->state().disabled, expected[i].disabled) << i;
        EXPECT_EQ(iface->indexOfChild(child), i);
        const QRect r = bar.ButtonRect(expected[i].index);
        EXPECT_EQ(child->rect(), QRect(bar.mapToGlobal(r.topLeft()), r.size()));
        EXPECT_EQ(iface->childAt(child->rect().center().x(), child->rect().center().y()), child);
    }

    // Press does what a click does; a disabled button refuses it; a drop-down opens its menu.
    QSignalSpy triggered(&bar, &CFlatToolBarCtrl::commandTriggered);
    QSignalSpy dropped(&bar, &CFlatToolBarCtrl::dropDown);
    Press(iface->child(0));
    Press(iface->child(1));
    ASSERT_EQ(triggered.count(), 1);
    EXPECT_EQ(triggered[0][0].value<CommandId>(), 101u);
    Press(iface->child(2));
    ASSERT_EQ(dropped.count(), 1);
    EXPECT_EQ(dropped[0][0].value<CommandId>(), 104u);

    bar.HideButton(101, true);
    EXPECT_EQ(iface->childCount(), 2);
    EXPECT_EQ(iface->child(0)->text(QAccessible::Name), QStringLiteral("Protect"));
}

TEST(Accessibility, LinkIsNamedByItsTextAndPressedLikeAClick) {
    LinkLabel link(QStringLiteral("View detection monitor"), 301);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&link);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::Link);
    EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral("View detection monitor"));

    QSignalSpy activated(&link, &LinkLabel::activated);
    Press(iface);
    ASSERT_EQ(activated.count(), 1);
    EXPECT_EQ(activated[0][0].value<CommandId>(), 301u);
    link.setEnabled(false);
    Press(iface);
    EXPECT_EQ(activated.count(), 1);
}

}  // namespace
}  // namespace tarvell
