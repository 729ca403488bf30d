#include "viewer/widgets/CThemeTabCtrl.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "WidgetFixture.h"
#include "viewer/core/look/Look.h"

namespace tarvell {
namespace {

using test::Is;
using test::Picture;

class TabTest : public ::testing::Test {
protected:
    void SetUp() override {
        CThemeTabCtrl::SetAppThemed(true);
        window_.resize(400, 220);
        tabs_ = new CThemeTabCtrl(&window_);
        tabs_->setGeometry(0, 0, 400, 180);
        button_ = new QPushButton(QStringLiteral("Elsewhere"), &window_);
        button_->setGeometry(10, 185, 120, 30);
        for (const char* t : {"General", "Alerts", "Servers"})
            tabs_->AddTab(QString::fromLatin1(t));
        window_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
    }
    void TearDown() override { CThemeTabCtrl::SetAppThemed(true); }

    // A pixel inside the tab, clear of its text and edges.
    QRgb Fill(const QImage& img, int tab) {
        const QRect r = tabs_->TabRect(tab);
        return img.pixel(r.right() - 3, r.top() + 3);
    }
    void MoveTo(int tab) { test::HoverAt(tabs_, tabs_->TabRect(tab).center()); }

    QWidget window_;
    CThemeTabCtrl* tabs_ = nullptr;
    QPushButton* button_ = nullptr;
};

const QColor kNormal(240, 240, 240);

TEST_F(TabTest, TheHotTabMovesFromTabToTabAndIsResetOnLeave) {
    QImage img = Picture(*tabs_);
    EXPECT_TRUE(Is(Fill(img, 0), look::kWhite));  // selected
    EXPECT_TRUE(Is(Fill(img, 1), kNormal));
    EXPECT_TRUE(Is(Fill(img, 2), kNormal));

    MoveTo(1);
    EXPECT_EQ(tabs_->HotTab(), 1);
    img = Picture(*tabs_);
    EXPECT_TRUE(Is(Fill(img, 1), look::kSelectedRow));
    EXPECT_TRUE(Is(Fill(img, 2), kNormal));

    MoveTo(2);  // the old tab is drawn normal again, the new one hot
    EXPECT_EQ(tabs_->HotTab(), 2);
    img = Picture(*tabs_);
    EXPECT_TRUE(Is(Fill(img, 1), kNormal));
    EXPECT_TRUE(Is(Fill(img, 2), look::kSelectedRow));
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);  // hot tracking holds no capture

    test::HoverAt(&window_, button_->geometry().center());  // out of the control
    EXPECT_EQ(tabs_->HotTab(), -1);
    img = Picture(*tabs_);
    EXPECT_TRUE(Is(Fill(img, 2), kNormal));
}

// Hot tracking once took the mouse capture, which swallowed the first click outside the tab.
TEST_F(TabTest, TheFirstClickElsewhereAfterHoveringATabArrives) {
    QSignalSpy clicked(button_, &QPushButton::clicked);
    MoveTo(1);
    ASSERT_EQ(tabs_->HotTab(), 1);
    QTest::mouseClick(button_, Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_EQ(tabs_->CurSel(), 0);
}

TEST_F(TabTest, ClickingATabSelectsIt) {
    QSignalSpy changed(tabs_, &CThemeTabCtrl::currentChanged);
    QTest::mouseClick(tabs_, Qt::LeftButton, {}, tabs_->TabRect(2).center());
    EXPECT_EQ(tabs_->CurSel(), 2);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toInt(), 2);
    QTest::mouseClick(tabs_, Qt::LeftButton, {}, tabs_->TabRect(2).center());  // already selected
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(Is(Fill(Picture(*tabs_), 2), look::kWhite));
    EXPECT_TRUE(tabs_->DisplayRect().top() > tabs_->TabRect(2).bottom());
    EXPECT_FALSE(tabs_->SetCurSel(3));
}

TEST_F(TabTest, UnthemedTheTabsAreClassicAndNotHotTracked) {
    CThemeTabCtrl::SetAppThemed(false);
    tabs_->update();
    MoveTo(1);
    EXPECT_EQ(tabs_->HotTab(), -1);
    const QImage img = Picture(*tabs_);
    const QColor face = tabs_->palette().color(QPalette::Button);
    EXPECT_TRUE(Is(Fill(img, 1), face));
    EXPECT_TRUE(Is(Fill(img, 0), face));
    // The raised edge: lit on the left and top.
    const QRect r = tabs_->TabRect(1);
    EXPECT_TRUE(Is(img.pixel(r.left(), r.center().y()), tabs_->palette().color(QPalette::Light)));
    EXPECT_TRUE(Is(img.pixel(r.right(), r.center().y()), tabs_->palette().color(QPalette::Shadow)));
}

}  // namespace
}  // namespace tarvell
