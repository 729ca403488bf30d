// What assistive technology is told of the self-painted controls, and what their press does.
#include <QAccessible>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "viewer/widgets/CFlatToolBarCtrl.h"
#include "viewer/widgets/CThemeTabCtrl.h"
#include "viewer/widgets/LinkLabel.h"

namespace tarvell {
namespace {

void Press(QAccessibleInterface* iface) {
    iface->actionInterface()->doAction(iface->actionInterface()->actionNames().value(0));
    QApplication::processEvents();
}

TEST(Accessibility, ToolbarButtonsLinksAndTabsHaveNameRoleAndAPressThatActsAsAClick) {
    CFlatToolBarCtrl bar;
    bar.AddButton({cmd::kSpacer, QString(), -1, false, false, false});
    bar.AddButton({101, QStringLiteral("Monitor"), -1, true, false, false});
    bar.AddButton({cmd::kDivider, QString(), -1, true, false, false});
    bar.AddButton({102, QStringLiteral("Protect"), -1, false, false, false});
    bar.AddButton({103, QStringLiteral("Gone"), -1, true, false, true});
    bar.AddButton({104, QStringLiteral("File"), -1, true, true, false});
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&bar);
    EXPECT_EQ(iface->role(), QAccessible::ToolBar);
    ASSERT_EQ(iface->childCount(), 3) << "spacer, divider and hidden button left out";
    const struct {
        const char* name;
        QAccessible::Role role;
        bool disabled;
    } expected[] = {{"Monitor", QAccessible::PushButton, false},
                    {"Protect", QAccessible::PushButton, true},
                    {"File", QAccessible::ButtonMenu, false}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(iface->child(i)->text(QAccessible::Name), QString::fromLatin1(expected[i].name));
        EXPECT_EQ(iface->child(i)->role(), expected[i].role) << i;
        EXPECT_EQ(iface->child(i)->state().disabled, expected[i].disabled) << i;
        EXPECT_EQ(iface->indexOfChild(iface->child(i)), i);
    }
    QSignalSpy triggered(&bar, &CFlatToolBarCtrl::commandTriggered);
    QSignalSpy dropped(&bar, &CFlatToolBarCtrl::dropDown);
    for (int i = 0; i < 3; ++i) Press(iface->child(i));
    ASSERT_EQ(triggered.count(), 1) << "the disabled button refuses";
    EXPECT_EQ(triggered[0][0].value<CommandId>(), 101u);
    ASSERT_EQ(dropped.count(), 1);
    EXPECT_EQ(dropped[0][0].value<CommandId>(), 104u);

    LinkLabel link(QStringLiteral("View detection monitor"), 301);
    QAccessibleInterface* linkIface = QAccessible::queryAccessibleInterface(&link);
    EXPECT_EQ(linkIface->role(), QAccessible::Link);
    EXPECT_EQ(linkIface->text(QAccessible::Name), link.Text());
    QSignalSpy activated(&link, &LinkLabel::activated);
    Press(linkIface);
    link.setEnabled(false);
    Press(linkIface);
    link.setEnabled(true);
    link.SetActive(false);
    EXPECT_EQ(linkIface->role(), QAccessible::StaticText) << "an inactive link is plain text";
    linkIface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QApplication::processEvents();
    EXPECT_EQ(activated.count(), 1) << "pressed once while enabled and active";

    CThemeTabCtrl tabs;
    tabs.AddTab(QStringLiteral("General"));
    tabs.AddTab(QStringLiteral("Schedule"));
    tabs.SetCurSel(0);
    tabs.resize(300, 200);
    tabs.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tabs));
    QAccessibleInterface* tabsIface = QAccessible::queryAccessibleInterface(&tabs);
    EXPECT_EQ(tabsIface->role(), QAccessible::PageTabList);
    ASSERT_EQ(tabsIface->childCount(), 2);
    EXPECT_EQ(tabsIface->child(1)->role(), QAccessible::PageTab);
    EXPECT_EQ(tabsIface->child(1)->text(QAccessible::Name), QStringLiteral("Schedule"));
    EXPECT_TRUE(tabsIface->child(0)->state().selected);
    QSignalSpy changed(&tabs, &CThemeTabCtrl::currentChanged);
    Press(tabsIface->child(1));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(tabsIface->child(1)->state().selected);
}

}  // namespace
}  // namespace tarvell
