#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "WidgetFixture.h"
#include "viewer/core/look/Look.h"
#include "viewer/widgets/CCheckListCtrl.h"
#include "viewer/widgets/CFlatToolBarCtrl.h"
#include "viewer/widgets/CIpAddressCtrl.h"
#include "viewer/widgets/CPropertySheet.h"
#include "viewer/widgets/CThemeTabCtrl.h"
#include "viewer/widgets/LinkLabel.h"

namespace tarvell {
namespace {

void Show(QWidget& w) {
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
}

// A press and a release sent straight to the widget: no move and no hover before them.
void BareClick(QWidget* w, QPoint at) {
    const QPointF local(at), global(w->mapToGlobal(at));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, {});
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                        {});
    QApplication::sendEvent(w, &press);
    QApplication::sendEvent(w, &release);
}

TEST(CheckListTest, SpaceAndClickToggleWithOneSignalEach) {
    CCheckListCtrl list;
    list.InsertColumn(0, QStringLiteral("Device Name"), 145);
    list.InsertColumn(1, QStringLiteral("Device Ip"), 145);
    for (int i = 0; i < 3; ++i)
        list.SetItemText(list.InsertItem(i, QStringLiteral("switch-%1").arg(i)), 1,
                         QStringLiteral("10.0.0.%1").arg(i));
    list.SetCheck(2, true);  // the owner's fill: no signal
    list.SetItemText(2, 1, QStringLiteral("10.0.0.9"));
    QSignalSpy toggled(&list, &CCheckListCtrl::itemToggled);
    list.resize(320, 160);
    Show(list);
    EXPECT_EQ(toggled.count(), 0);

    list.SelectRow(1);
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Space);
    ASSERT_EQ(toggled.count(), 1);
    EXPECT_EQ(toggled[0][0].toInt(), 1);
    EXPECT_TRUE(toggled[0][1].toBool());

    // A click on row 2's box clears it; a click on its text toggles nothing.
    const QRect row = list.visualItemRect(list.topLevelItem(2));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                      QPoint(row.left() + 10, row.center().y()));
    ASSERT_EQ(toggled.count(), 2);
    EXPECT_EQ(toggled[1][0].toInt(), 2);
    EXPECT_FALSE(toggled[1][1].toBool());
    EXPECT_FALSE(list.GetCheck(2));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                      QPoint(row.left() + 200, row.center().y()));
    EXPECT_EQ(toggled.count(), 2);
    EXPECT_TRUE(list.GetCheck(1));
    EXPECT_FALSE(list.SetCheck(3, true));
}

TEST(LinkTest, AnInactiveLinkIsPlainAndDeaf) {
    LinkLabel link(QStringLiteral("Select Devices..."), 7);
    link.resize(link.sizeHint());
    QSignalSpy activated(&link, &LinkLabel::activated);
    Show(link);
    link.SetActive(false);
    const QImage plain = test::Picture(link);
    // Grey ink only: the text colour, no trace of the link colour's purple.
    const auto ink = test::Ink(200);
    EXPECT_GT(
        test::Count(plain, link.rect(), [&](QRgb px) { return ink(px) && qRed(px) == qGreen(px); }),
        10);
    EXPECT_EQ(test::Count(plain, link.rect(),
                          [&](QRgb px) { return ink(px) && qRed(px) > qGreen(px) + 10; }),
              0);
    EXPECT_EQ(link.cursor().shape(), Qt::ArrowCursor);
    QTest::mouseClick(&link, Qt::LeftButton, {}, link.rect().center());
    QTest::keyClick(&link, Qt::Key_Space);
    EXPECT_EQ(activated.count(), 0);

    link.SetActive(true);
    QTest::mouseClick(&link, Qt::LeftButton, {}, link.rect().center());
    ASSERT_EQ(activated.count(), 1);
    EXPECT_EQ(activated[0][0].value<CommandId>(), 7u);
}

TEST(ToolbarPressTest, APressWithoutAPriorMoveTriggersAndAHeldButtonDrawsPressed) {
    CFlatToolBarCtrl bar;
    bar.SetBoldSelected(true);
    bar.AddButton(FlatButton{cmd::kMonitor, QStringLiteral("Monitor")});
    bar.AddButton(FlatButton{cmd::kAlerts, QStringLiteral("Alerts")});
    bar.resize(bar.sizeHint());
    QSignalSpy commands(&bar, &CFlatToolBarCtrl::commandTriggered);
    Show(bar);
    const QImage up = test::Picture(bar);
    BareClick(&bar, bar.ButtonRect(1).center());
    ASSERT_EQ(commands.count(), 1);
    EXPECT_EQ(commands[0][0].value<CommandId>(), cmd::kAlerts);

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&bar, &leave);
    EXPECT_TRUE(bar.SetPressed(cmd::kMonitor, true));
    EXPECT_TRUE(bar.IsPressed(cmd::kMonitor));
    const QImage held = test::Picture(bar);
    const QRect r = bar.ButtonRect(0);
    EXPECT_GT(test::Count(held, r, test::Ink(160)), test::Count(up, r, test::Ink(160)) * 5 / 4);
    EXPECT_FALSE(bar.SetPressed(cmd::kHelp, true));
}

TEST(IpAddressTest, BlankStateAndDottedText) {
    CIpAddressCtrl ip;
    QSignalSpy changed(&ip, &CIpAddressCtrl::addressChanged);
    EXPECT_TRUE(ip.IsBlank());
    EXPECT_EQ(ip.Text(), QString());
    EXPECT_TRUE(ip.SetText(QStringLiteral("192.168.10.254")));
    EXPECT_FALSE(ip.IsBlank());
    EXPECT_EQ(ip.Text(), QStringLiteral("192.168.10.254"));
    for (const char* bad : {"192.168.10", "1.2.3.256", "host.example", "1.2.3.4 ", "10.0.0.1/24"})
        EXPECT_FALSE(ip.SetText(QString::fromLatin1(bad))) << bad;
    EXPECT_EQ(ip.Text(), QStringLiteral("192.168.10.254"));  // a refused text changes nothing
    ip.ClearAddress();
    EXPECT_TRUE(ip.IsBlank());
    EXPECT_EQ(changed.count(), 0);  // the setters do not signal

    // Typing: three digits move on, a dot moves on, a digit past 255 is refused; an empty field
    // of a typed address reads 0.
    Show(ip);
    ip.Field(0)->setFocus();
    QTest::keyClicks(ip.Field(0), QStringLiteral("10"));
    QTest::keyClick(ip.Field(0), Qt::Key_Period);
    ASSERT_TRUE(ip.Field(1)->hasFocus());
    QTest::keyClicks(ip.Field(1), QStringLiteral("259"));
    EXPECT_EQ(ip.Field(1)->text(), QStringLiteral("25"));
    QTest::keyClicks(ip.Field(1), QStringLiteral("5"));
    EXPECT_TRUE(ip.Field(2)->hasFocus());
    EXPECT_EQ(ip.Text(), QStringLiteral("10.255.0.0"));
    EXPECT_GE(changed.count(), 3);
}

// A page that counts what the sheet asks of it.
struct CountingPage : CPropertyPage {
    using CPropertyPage::CPropertyPage;
    void OnInitDialog() override {
        ++inits;
        SetModified();  // as a control's change signal while the page fills it
    }
    bool OnOK() override {
        ++oks;
        return true;
    }
    int inits = 0, oks = 0;
};

TEST(PropertySheetTest, TabsButtonsAndApplyFollowTheRules) {
    CPropertySheet sheet(QStringLiteral("Snmp Options"));
    auto* first = new CountingPage(QStringLiteral("Snmp"));
    auto* second = new CountingPage(QStringLiteral("Managers"));
    sheet.AddPage(first);
    sheet.AddPage(second);
    Show(sheet);
    EXPECT_EQ(sheet.windowTitle(), QStringLiteral("Snmp Options"));
    EXPECT_EQ(first->inits, 1);
    EXPECT_EQ(second->inits, 0);
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(sheet.ApplyButton()->isEnabled());

    QTest::mouseClick(sheet.Tabs(), Qt::LeftButton, {}, sheet.Tabs()->TabRect(1).center());
    EXPECT_EQ(sheet.ActiveIndex(), 1);
    EXPECT_EQ(second->inits, 1);
    EXPECT_TRUE(second->isVisible() && !first->isVisible());
    EXPECT_TRUE(
        sheet.Tabs()->DisplayRect().translated(sheet.Tabs()->pos()).contains(second->geometry()));

    second->SetModified();
    EXPECT_TRUE(sheet.ApplyButton()->isEnabled());
    QTest::mouseClick(sheet.ApplyButton(), Qt::LeftButton);
    EXPECT_EQ(first->oks + second->oks, 2);
    EXPECT_FALSE(sheet.ApplyButton()->isEnabled());
    EXPECT_TRUE(sheet.isVisible());

    QTest::mouseClick(sheet.OkButton(), Qt::LeftButton);
    EXPECT_EQ(first->oks + second->oks, 4);
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_EQ(sheet.result(), kSheetOk);
}

}  // namespace
}  // namespace tarvell
