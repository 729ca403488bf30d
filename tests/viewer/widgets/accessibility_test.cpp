// What assistive technology is told of the self-painted controls, and what their press does.
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/CFlatToolBarCtrl.h"
#include "viewer/widgets/CIpAddressCtrl.h"
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

// ---- names of the controls a user acts on

// Each control named one way, or not at all; the walk reports exactly the unnamed ones, by the
// object name given here. A combo box's current text and a list's rows are no name.
TEST(Accessibility, TheWalkReportsEveryActionableControlWithoutAName) {
    QWidget page;
    auto add = [&page](QWidget* w, const char* id) {
        w->setParent(&page);
        w->setObjectName(QLatin1String(id));
        return w;
    };
    struct Case {
        QWidget* control;
        bool named;
    } cases[] = {
        {add(new QLineEdit, "bareEdit"), false},
        {add(Labelled(new QLabel("Community &string:", &page), new QLineEdit), "labelledEdit"),
         true},
        {add(new QSpinBox, "bareSpin"), false},
        {add(Named(new QSpinBox, "Days"), "namedSpin"), true},
        {add(new QComboBox, "bareCombo"), false},
        {add(new QSlider(Qt::Horizontal), "bareSlider"), false},
        {add(new QListWidget, "bareList"), false},
        {add(Named(new QListWidget, "Ports"), "namedList"), true},
        {add(new QCheckBox, "bareBox"), false},
        {add(new QCheckBox("Enable popup sound"), "textBox"), true},
        {add(new QPushButton("Browse..."), "textButton"), true},
    };
    auto* combo = static_cast<QComboBox*>(cases[4].control);
    combo->addItem("Read only");  // its text is a value, not a name
    static_cast<QListWidget*>(cases[6].control)->addItem("1/1");
    QLabel* buddy = new QLabel("Syslog facility:", &page);
    auto* labelledCombo = add(new QComboBox, "labelledCombo");
    buddy->setBuddy(labelledCombo);
    auto* address = add(Named(new CIpAddressCtrl, "Network mask"), "address");

    const QStringList unnamed = UnnamedControls(&page);
    for (const Case& c : cases)
        EXPECT_EQ(unnamed.filter(c.control->objectName()).isEmpty(), c.named)
            << c.control->objectName().toStdString() << " in " << unnamed.join('\n').toStdString();
    EXPECT_EQ(unnamed.size(), 6) << unnamed.join('\n').toStdString();
    EXPECT_TRUE(unnamed.filter("labelledCombo").isEmpty());
    EXPECT_TRUE(unnamed.filter("address").isEmpty());
    EXPECT_EQ(cases[1].control->accessibleName(), "Community string");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(static_cast<CIpAddressCtrl*>(address)->Field(3))
                  ->text(QAccessible::Name),
              "Network mask, part 4 of 4");
}

}  // namespace
}  // namespace tarvell
