// The banner's and the splash's own painting: the logo and the service caption.
#include <QAccessible>
#include <QTest>
#include <gtest/gtest.h>

#include "tests/viewer/widgets/WidgetFixture.h"
#include "viewer/core/shell/CommandRouter.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/frame/CBannerBar.h"
#include "viewer/frame/CSplashDlg.h"
#include "viewer/widgets/CFlatToolBarCtrl.h"

namespace tarvell::test {
namespace {

bool Near(QRgb px, int r, int g, int b, int by) {
    return std::abs(qRed(px) - r) <= by && std::abs(qGreen(px) - g) <= by &&
           std::abs(qBlue(px) - b) <= by;
}
// The dark purple of the captions, told apart from the grey and green images beside them.
bool Caption(QRgb px) { return Luma(px) < 150 && qRed(px) > qGreen(px) + 15; }

// The maker's word in grey and the product's name in red, side by side, neither drawn over the
// other.
void ExpectLogoApart(const QImage& img, QRect logo, int productDesignLeft) {
    const QRect maker = Box(img, logo, [](QRgb px) { return Near(px, 114, 117, 122, 40); });
    const QRect product = Box(
        img, logo, [](QRgb px) { return qRed(px) > 180 && qGreen(px) < 120 && qBlue(px) < 100; });
    ASSERT_FALSE(maker.isEmpty());
    ASSERT_FALSE(product.isEmpty());
    EXPECT_GT(product.left(), maker.right()) << "the product's name is drawn over the maker's word";
    EXPECT_GE(product.left(), productDesignLeft);
}

TEST(Banner, LogoWordsApartAndServiceCaptionOnThePageCaptionsLine) {
    CommandTarget target;
    int serviceClicks = 0;
    target.On(cmd::kService, [&] { ++serviceClicks; });
    CommandRouter router(&target);
    PromptRecorder prompt;
    CBannerBar banner(router, prompt, {[] { return 1; }, nullptr, nullptr});
    banner.resize(1000, kBannerHeight);
    banner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&banner));
    ASSERT_TRUE(banner.StateIconVisible());
    const QImage img = Picture(banner);

    ExpectLogoApart(img, QRect(0, 20, 300, 40), 85);  // above the grey lower edge
    const QRect service = Box(img, QRect(1000 - 280, 30, 54, 34), Caption);
    CFlatToolBarCtrl* icons = banner.IconToolbar();
    const QRect monitorText =
        icons->TextRect(icons->CommandToIndex(cmd::kMonitor)).translated(icons->pos());
    const QRect monitor = Box(img, monitorText, Caption);
    ASSERT_FALSE(service.isEmpty());
    ASSERT_FALSE(monitor.isEmpty());
    EXPECT_EQ(service.bottom(), monitor.bottom()) << "the captions share one base line";
    EXPECT_NEAR(service.top(), monitor.top(), 1);

    // The state icon is a button to assistive technology, and its press is the click.
    QAccessibleInterface* icon = QAccessible::queryAccessibleInterface(banner.StateIcon());
    EXPECT_EQ(icon->role(), QAccessible::PushButton);
    EXPECT_EQ(icon->text(QAccessible::Name), QStringLiteral("Service"));
    icon->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QApplication::processEvents();
    EXPECT_EQ(serviceClicks, 1);
}

TEST(Banner, SplashLogoWordsApart) {
    CSplashDlg splash([] {}, 60'000, nullptr);
    splash.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&splash));
    ExpectLogoApart(Picture(splash), QRect(0, 0, splash.width(), 90), 110);
}

}  // namespace
}  // namespace tarvell::test
