#include <QEnterEvent>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "viewer/core/shell/CommandRouter.h"
#include "viewer/widgets/CFlatToolBarCtrl.h"
#include "viewer/widgets/CommandActions.h"
#include "viewer/widgets/LinkLabel.h"

namespace tarvell {
namespace {

// A frame, a view and the page it shows; the page handles what neither of the others does.
struct Chain {
    CommandTarget frame, view, page;
    std::vector<std::string> log;
    CommandRouter router{&frame};
    CommandDispatcher dispatcher{router};

    Chain() {
        frame.SetNext([this] { return &view; });
        view.SetNext([this] { return &page; });
        frame.On(cmd::kStartServer, [this] { log.push_back("frame"); });
        view.On(cmd::kDetectionMonitor, [this] { log.push_back("view"); });
        page.On(cmd::kUpdateNow, [this] { log.push_back("page"); });
    }
};

TEST(Commands, AMenuActionCarriesItsIdToThePageThatHandlesIt) {
    Chain c;
    QWidget owner;
    QMenu* menu = BuildMenu(*LoadMenu(res::kMainMenu), &owner);
    c.dispatcher.Watch(menu);
    QAction* update = FindCommandAction(menu, cmd::kUpdateNow);
    ASSERT_NE(update, nullptr);
    EXPECT_EQ(ActionCommand(update), cmd::kUpdateNow);
    EXPECT_EQ(update->text(), QStringLiteral("&Update Now"));
    update->trigger();
    FindCommandAction(menu, cmd::kDetectionMonitor)->trigger();  // in a Tools submenu
    FindCommandAction(menu, cmd::kStartServer)->trigger();
    EXPECT_EQ(c.log, (std::vector<std::string>{"page", "view", "frame"}));  // each once
}

TEST(Commands, MenuItemsWithoutAHandlerAreGreyed) {
    Chain c;
    QWidget owner;
    QMenu* menu = BuildMenu(*LoadMenu(res::kMainMenu), &owner);
    bool mayStop = false;
    c.frame.On(
        cmd::kStopServer, [] {}, [&mayStop] { return mayStop; });
    auto* options = qobject_cast<QMenu*>(FindCommandAction(menu, cmd::kStopServer)->parent());
    ASSERT_NE(options, nullptr);
    c.dispatcher.UpdateEnabled(options);
    EXPECT_TRUE(FindCommandAction(menu, cmd::kStartServer)->isEnabled());
    EXPECT_FALSE(FindCommandAction(menu, cmd::kStopServer)->isEnabled());     // refused
    EXPECT_FALSE(FindCommandAction(menu, cmd::kConnectServer)->isEnabled());  // no handler
    mayStop = true;
    c.dispatcher.UpdateEnabled(options);
    EXPECT_TRUE(FindCommandAction(menu, cmd::kStopServer)->isEnabled());
    EXPECT_EQ(ActionCommand(nullptr), 0u);
}

TEST(Commands, LinksAndToolbarButtonsAreRoutedTheSameWay) {
    Chain c;
    LinkLabel link(QStringLiteral("Refresh now"), cmd::kUpdateNow);
    QObject::connect(&link, &LinkLabel::activated, &c.dispatcher, &CommandDispatcher::Send);
    link.resize(link.sizeHint());
    link.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&link));
    QTest::mouseClick(&link, Qt::LeftButton, {}, link.rect().center());

    CFlatToolBarCtrl bar;
    bar.AddButton(FlatButton{cmd::kDetectionMonitor, QStringLiteral("Detection Monitor")});
    QObject::connect(&bar, &CFlatToolBarCtrl::commandTriggered, &c.dispatcher,
                     &CommandDispatcher::Send);
    bar.resize(bar.sizeHint());
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    QTest::mouseClick(&bar, Qt::LeftButton, {}, bar.ButtonRect(0).center());
    EXPECT_EQ(c.log, (std::vector<std::string>{"page", "view"}));

    link.setEnabled(false);  // a greyed link sends nothing
    QTest::mouseClick(&link, Qt::LeftButton, {}, link.rect().center());
    EXPECT_EQ(c.log.size(), 2u);
}

TEST(Commands, ALinkIsUnderlinedOnlyWhileTheMouseIsOverIt) {
    LinkLabel link(QStringLiteral("View detection settings"), cmd::kSettings);
    link.resize(link.sizeHint());
    link.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&link));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&link, &leave);
    EXPECT_FALSE(link.IsHot());
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(&link, &enter);
    EXPECT_TRUE(link.IsHot());
    QApplication::sendEvent(&link, &leave);
    EXPECT_FALSE(link.IsHot());
    EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);
}

}  // namespace
}  // namespace tarvell
