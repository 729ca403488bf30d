#include "viewer/widgets/CFlatToolBarCtrl.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "WidgetFixture.h"
#include "viewer/core/base/CommandIds.h"
#include "viewer/core/look/Look.h"
#include "viewer/widgets/Images.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {
namespace {

using test::Count;
using test::Is;
using test::Picture;

class ToolbarTest : public ::testing::Test {
protected:
    void SetUp() override {
        QPalette pal = bar_.palette();
        pal.setColor(QPalette::Window, Qt::white);
        bar_.setPalette(pal);
        bar_.SetTextColor(ToQColor(look::kText));
    }
    void ShowAndHover(int index) {
        bar_.resize(bar_.sizeHint() + QSize(40, 10));
        bar_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar_));
        test::HoverAt(&bar_, index < 0 ? QPoint(bar_.width() - 5, bar_.height() - 2)
                                       : bar_.ButtonRect(index).center());
    }
    // The largest number of ink pixels in one row of the button: an underline fills a row.
    int WidestInkRow(const QImage& img, int index) {
        const QRect r = bar_.ButtonRect(index);
        int best = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            best = std::max(best, Count(img, QRect(r.left(), y, r.width(), 1), test::Ink(200)));
        return best;
    }

    CFlatToolBarCtrl bar_;
};

TEST_F(ToolbarTest, ACommandZeroButtonIsAColumnOfLavenderDots) {
    const ImageList& icons = ViewerImages(res::kToolbarNormal);
    bar_.SetListStyle(false);
    bar_.SetImageList(&icons);
    bar_.AddButton(FlatButton{cmd::kMonitor, QStringLiteral("Monitor"), 1});
    bar_.AddButton(FlatButton{cmd::kDivider, QString(), -1});
    bar_.AddButton(FlatButton{cmd::kProtect, QStringLiteral("Protect"), 2});
    ShowAndHover(-1);
    const QImage img = Picture(bar_);
    const QRect d = bar_.ButtonRect(1);
    const std::vector<int> tops = DotTops(d.top() + 18, d.bottom() + 1);
    ASSERT_GE(tops.size(), 3u);
    for (int top : tops)
        for (int dy = 0; dy < kDotSize; ++dy)
            for (int dx = 0; dx < kDotSize; ++dx)
                EXPECT_TRUE(Is(img.pixel(d.left() + 2 + dx, top + dy),
                               DotPixel(look::kDotDark, look::kDotLight, dx, dy)))
                    << dx << "," << top + dy;
    // Between the dots, beside them and above the first one: nothing.
    EXPECT_TRUE(Is(img.pixel(d.left() + 2, tops[0] + kDotSize), look::kWhite));
    EXPECT_TRUE(Is(img.pixel(d.left() + 1, tops[0] + 1), look::kWhite));
    EXPECT_TRUE(Is(img.pixel(d.left() + 6, tops[0] + 1), look::kWhite));
    EXPECT_EQ(Count(img, QRect(d.left(), d.top(), d.width(), 18), test::Ink(250)), 0);
    // The divider is never hot.
    test::HoverAt(&bar_, d.center());
    EXPECT_EQ(bar_.HotIndex(), -1);
}

TEST_F(ToolbarTest, AHotButtonIsUnderlinedAndDrawnInTheHotColour) {
    bar_.SetHotColorOn(true);
    bar_.SetUnderlineHot(true);
    bar_.AddButton(FlatButton{cmd::kFileMenu, QStringLiteral("File")});
    bar_.AddButton(FlatButton{cmd::kOptionsMenu, QStringLiteral("Options")});
    ShowAndHover(-1);
    const QImage cold = Picture(bar_);
    EXPECT_EQ(Count(cold, bar_.rect(), [](QRgb px) { return Is(px, look::kLink); }), 0);
    EXPECT_EQ(bar_.cursor().shape(), Qt::ArrowCursor);

    ShowAndHover(1);
    ASSERT_EQ(bar_.HotIndex(), 1);
    EXPECT_EQ(bar_.cursor().shape(), Qt::PointingHandCursor);
    const QImage hot = Picture(bar_);
    EXPECT_GT(Count(hot, bar_.ButtonRect(1), [](QRgb px) { return Is(px, look::kLink); }), 10);
    EXPECT_EQ(Count(hot, bar_.ButtonRect(0), [](QRgb px) { return Is(px, look::kLink); }), 0);
    const int textWidth = QFontMetrics(bar_.font()).horizontalAdvance(QStringLiteral("Options"));
    EXPECT_GE(WidestInkRow(hot, 1), textWidth * 9 / 10);  // the underline
    EXPECT_LT(WidestInkRow(cold, 1), textWidth * 7 / 10);

    // Without the options a hot button looks like any other.
    bar_.SetHotColorOn(false);
    bar_.SetUnderlineHot(false);
    EXPECT_EQ(Picture(bar_), cold);

    // Leaving the toolbar ends the hot state.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&bar_, &leave);
    EXPECT_EQ(bar_.HotIndex(), -1);
    EXPECT_EQ(bar_.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(ToolbarTest, APressedButtonIsBoldAndAReleaseSendsItsCommand) {
    bar_.SetBoldSelected(true);
    bar_.AddButton(FlatButton{cmd::kMonitor, QStringLiteral("Monitor")});
    QSignalSpy commands(&bar_, &CFlatToolBarCtrl::commandTriggered);
    ShowAndHover(0);
    const QImage up = Picture(bar_);
    const QPoint at = bar_.ButtonRect(0).center();
    QTest::mousePress(&bar_, Qt::LeftButton, {}, at);
    EXPECT_EQ(bar_.PressedIndex(), 0);
    const QImage down = Picture(bar_);
    const QRect r = bar_.ButtonRect(0);
    EXPECT_GT(Count(down, r, test::Ink(160)), Count(up, r, test::Ink(160)) * 5 / 4);
    QTest::mouseRelease(&bar_, Qt::LeftButton, {}, at);
    EXPECT_EQ(bar_.PressedIndex(), -1);
    ASSERT_EQ(commands.count(), 1);
    EXPECT_EQ(commands[0][0].value<CommandId>(), cmd::kMonitor);

    // Without BoldSelected the pressed button keeps its weight.
    bar_.SetBoldSelected(false);
    QTest::mousePress(&bar_, Qt::LeftButton, {}, at);
    EXPECT_EQ(Picture(bar_), up);
    // Released outside the button: no command.
    QTest::mouseRelease(&bar_, Qt::LeftButton, {}, QPoint(bar_.width() - 2, 1));
    EXPECT_EQ(commands.count(), 1);
}

TEST_F(ToolbarTest, DropDownHiddenAndDisabledButtons) {
    bar_.AddButton(FlatButton{cmd::kSpacer, QString(), -1, false});
    bar_.AddButton(FlatButton{cmd::kOptionsMenu, QStringLiteral("Options"), -1, true, true});
    bar_.AddButton(FlatButton{cmd::kIntrusionPrevention, QStringLiteral("Intrusion Prevention")});
    QSignalSpy drops(&bar_, &CFlatToolBarCtrl::dropDown);
    QSignalSpy commands(&bar_, &CFlatToolBarCtrl::commandTriggered);
    ShowAndHover(1);
    QTest::mouseClick(&bar_, Qt::LeftButton, {}, bar_.ButtonRect(1).center());
    ASSERT_EQ(drops.count(), 1);
    EXPECT_EQ(drops[0][0].value<CommandId>(), cmd::kOptionsMenu);
    EXPECT_EQ(drops[0][1].toRect(), bar_.ButtonRect(1));
    EXPECT_EQ(commands.count(), 0);

    // A disabled spacer is never hot and sends nothing.
    test::HoverAt(&bar_, bar_.ButtonRect(0).center());
    EXPECT_EQ(bar_.HotIndex(), -1);
    QTest::mouseClick(&bar_, Qt::LeftButton, {}, bar_.ButtonRect(0).center());
    EXPECT_EQ(commands.count(), 0);

    // A hidden button takes no room and cannot be clicked; shown again it is back.
    EXPECT_TRUE(bar_.HideButton(cmd::kIntrusionPrevention, true));
    EXPECT_TRUE(bar_.ButtonRect(2).isEmpty());
    EXPECT_TRUE(bar_.HideButton(cmd::kIntrusionPrevention, false));
    EXPECT_FALSE(bar_.ButtonRect(2).isEmpty());
    EXPECT_FALSE(bar_.HideButton(cmd::kHelp, true));

    // The back button's command and text change by index.
    EXPECT_TRUE(bar_.SetButtonInfo(2, cmd::kMonitor, QStringLiteral("Back to Monitor Summary")));
    EXPECT_EQ(bar_.CommandToIndex(cmd::kMonitor), 2);
    EXPECT_FALSE(bar_.SetButtonInfo(3, cmd::kMonitor, QString()));
}

TEST_F(ToolbarTest, OneButtonPerRowStacksTheButtons) {
    bar_.AddButton(FlatButton{cmd::kDetectionMonitor, QStringLiteral("Detection Monitor")});
    bar_.AddButton(FlatButton{cmd::kPreventionMonitor, QStringLiteral("Prevention Monitor")});
    bar_.SetRows(2);
    EXPECT_EQ(bar_.ButtonRect(0).left(), bar_.ButtonRect(1).left());
    EXPECT_GT(bar_.ButtonRect(1).top(), bar_.ButtonRect(0).top());
    bar_.SetRows(1);
    EXPECT_EQ(bar_.ButtonRect(0).top(), bar_.ButtonRect(1).top());
}

}  // namespace
}  // namespace tarvell
