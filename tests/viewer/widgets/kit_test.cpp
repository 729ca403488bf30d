#include <QApplication>
#include <QFontInfo>
#include <QPainter>
#include <gtest/gtest.h>

#include "WidgetFixture.h"
#include "viewer/core/base/CommandIds.h"
#include "viewer/core/look/Look.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Images.h"
#include "viewer/widgets/Painting.h"
#include "viewer/widgets/QtGeometry.h"
#include "viewer/widgets/TextConv.h"
#include "viewer/widgets/WaitCursor.h"

namespace tarvell {
namespace {

using test::Is;

// ---- fonts

TEST(Fonts, TheDesignFacesAreDrawnWithTheirStandIns) {
    struct Case {
        const char* face;
        const char* family;
        bool bold;
    };
    for (const Case& c :
         {Case{"Tahoma", "Liberation Sans", false}, Case{"MS Sans Serif", "Liberation Sans", false},
          Case{"Arial", "Liberation Sans", false}, Case{"Impact", "DejaVu Sans", true}}) {
        const QFont f = DesignFont(QString::fromLatin1(c.face), 20);
        const QFontInfo info(f);
        EXPECT_EQ(info.family(), QString::fromLatin1(c.family)) << c.face;
        EXPECT_EQ(info.bold(), c.bold) << c.face;
        EXPECT_EQ(info.pixelSize(), 20) << c.face;
        // A font asked for by its Windows face name alone resolves the same way.
        EXPECT_EQ(QFontInfo(QFont(QString::fromLatin1(c.face))).family(),
                  QString::fromLatin1(c.family))
            << c.face;
    }
    QWidget w;
    EXPECT_EQ(BodyFont(w).pixelSize(), 13);  // 96 dots per inch / 7
    EXPECT_TRUE(DesignFont(QStringLiteral("Tahoma"), 28, 700, true, true).underline());
}

// ---- images

TEST(Images, EveryNamedImageIsDrawnAtItsSize) {
    struct Case {
        unsigned resource;
        int count, w, h;
    };
    for (const Case& c : {Case{res::kAppIcon, 1, 32, 32}, Case{res::kToolbarNormal, 5, 40, 40},
                          Case{res::kToolbarHot, 5, 40, 40}, Case{res::kServiceState, 2, 51, 20},
                          Case{res::kBackButton, 1, 42, 33}, Case{res::kFavorites, 4, 24, 24},
                          Case{res::kEventRows, 4, 16, 16}}) {
        const ImageList& l = ViewerImages(c.resource);
        ASSERT_EQ(l.Count(), c.count) << c.resource;
        EXPECT_EQ(l.Size(), QSize(c.w, c.h)) << c.resource;
        for (int i = 0; i < l.Count(); ++i) {
            const QImage& img = l.Image(i);
            EXPECT_EQ(img.size(), QSize(c.w, c.h));
            EXPECT_GT(test::Count(img, img.rect(), [](QRgb px) { return qAlpha(px) == 255; }),
                      c.w * c.h / 10)
                << c.resource << "/" << i;
        }
    }
    // Images of one list differ from each other (a state of 0 and 1 must be told apart).
    EXPECT_NE(ViewerImages(res::kServiceState).Image(0), ViewerImages(res::kServiceState).Image(1));
    EXPECT_NE(ViewerImages(res::kToolbarNormal).Image(1), ViewerImages(res::kToolbarHot).Image(1));
    EXPECT_EQ(ViewerImages(999).Count(), 0);
    EXPECT_FALSE(ProgramIcon().isNull());
}

TEST(ImageList, AStripIsCutAndItsKeyColourBecomesClear) {
    QImage strip(32, 16, QImage::Format_RGB32);
    strip.fill(QColor(255, 0, 255));
    strip.setPixel(3, 3, qRgb(10, 20, 30));
    strip.setPixel(20, 5, qRgb(40, 50, 60));
    ImageList l(QSize(16, 16));
    l.AddStrip(strip, QColor(255, 0, 255));
    ASSERT_EQ(l.Count(), 2);
    EXPECT_EQ(qAlpha(l.Image(0).pixel(0, 0)), 0);
    EXPECT_EQ(l.Image(0).pixel(3, 3), qRgb(10, 20, 30));
    EXPECT_EQ(l.Image(1).pixel(4, 5), qRgb(40, 50, 60));
    QImage target(16, 16, QImage::Format_RGB32);
    QPainter p(&target);
    EXPECT_FALSE(l.Draw(p, 2, QPoint()));
    EXPECT_FALSE(l.Draw(p, -1, QPoint()));
    EXPECT_TRUE(l.Draw(p, 1, QPoint()));
}

// ---- painting helpers

TEST(Painting, GradientPanelAndDividerPixels) {
    QImage img(200, 100, QImage::Format_RGB32);
    img.fill(Qt::black);
    {
        QPainter p(&img);
        FillPageGradient(p, QRect(0, 0, 200, 50));
        FillRoundedPanel(p, QRect(10, 55, 100, 40));
        DrawDottedDivider(p, 150, 60, 100, look::kDotDark, look::kDotLight);
    }
    EXPECT_TRUE(Is(img.pixel(0, 10), look::kPageLeft));
    EXPECT_TRUE(Is(img.pixel(199, 10), look::kPageRight));
    EXPECT_TRUE(Is(img.pixel(100, 49), GradientAt(look::kPageLeft, look::kPageRight, 100, 200)));
    // The panel: white inside, grey frame, rounded (its very corner keeps the background).
    EXPECT_TRUE(Is(img.pixel(60, 75), look::kWhite));
    EXPECT_TRUE(Is(img.pixel(60, 55), look::kPanelFrame));
    EXPECT_TRUE(Is(img.pixel(109, 75), look::kPanelFrame));
    EXPECT_TRUE(Is(img.pixel(10, 55), look::kBlack));
    // Dots at x = 152 .. 155, from y = 60, every 7 pixels.
    EXPECT_TRUE(Is(img.pixel(153, 61), look::kDotDark));
    EXPECT_TRUE(Is(img.pixel(152, 67), look::kDotLight));
    EXPECT_TRUE(Is(img.pixel(153, 68), look::kDotDark));
    EXPECT_TRUE(Is(img.pixel(153, 65), look::kBlack));
    EXPECT_TRUE(Is(img.pixel(151, 61), look::kBlack));
}

TEST(QtGeometry, DialogUnitsAndCoreRectanglesBecomeQtRectangles) {
    EXPECT_EQ(DluQRect(7, 7, 50, 14), QRect(11, 11, 75, 23));
    EXPECT_EQ(FromQRect(QRect(3, 4, 10, 20)), (Rect{3, 4, 13, 24}));
    EXPECT_EQ(ToQRect(FromQRect(QRect(3, 4, 10, 20))), QRect(3, 4, 10, 20));
}

// ---- text and cursor

TEST(TextConv, StoredBytesCrossOnceBothWays) {
    const std::string stored = "Caf\xE9 \x80 5";  // Windows-1252: e acute, euro sign
    const QString shown = FromStored(stored);
    EXPECT_EQ(shown, QString::fromUtf8("Caf\xC3\xA9 \xE2\x82\xAC 5"));
    EXPECT_EQ(ToStored(shown), stored);
    EXPECT_EQ(ToStored(QString::fromUtf8("\xE4\xB8\xAD")), "?");  // no Windows-1252 byte
}

TEST(WaitCursor, ShowsTheWaitCursorForItsScopeAndNests) {
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    {
        WaitCursor outer;
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        { WaitCursor inner; }
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace tarvell
