#include <gtest/gtest.h>

#include <climits>
#include <tuple>

#include "viewer/core/look/ColumnFit.h"
#include "viewer/core/look/DialogUnits.h"
#include "viewer/core/look/FontTable.h"
#include "viewer/core/look/ListPaintRules.h"
#include "viewer/core/look/Look.h"
#include "viewer/core/look/TabRules.h"

namespace tarvell {
namespace {

// ---- dialog units and fonts

TEST(DialogUnits, UseFixedBaseUnitsWithRounding) {
    struct Case {
        int dlu, x, y;
    };
    for (const Case& c :
         {Case{0, 0, 0}, Case{1, 2, 2}, Case{2, 3, 3}, Case{4, 6, 7}, Case{7, 11, 11},
          Case{8, 12, 13}, Case{100, 150, 163}, Case{-1, -2, -2}, Case{-4, -6, -7}}) {
        EXPECT_EQ(DluToPixelsX(c.dlu), c.x) << c.dlu;
        EXPECT_EQ(DluToPixelsY(c.dlu), c.y) << c.dlu;
    }
    // Both edges are converted, so adjacent controls never overlap or leave a gap by rounding.
    EXPECT_EQ(DluRect(7, 7, 50, 14), (Rect{11, 11, 86, 34}));
    EXPECT_EQ(DluRect(57, 7, 50, 14).left, DluRect(7, 7, 50, 14).right);
    EXPECT_EQ(DluToPixelsX(INT_MAX / 2),
              static_cast<int>((static_cast<long long>(INT_MAX / 2) * 6 + 2) / 4));
}

TEST(FontTable, DesignFacesHaveFreeStandIns) {
    struct Case {
        const char* face;
        const char* family;
        bool bold;
    };
    for (const Case& c :
         {Case{"Tahoma", "Liberation Sans", false}, Case{"tahoma", "Liberation Sans", false},
          Case{"Arial", "Liberation Sans", false}, Case{"MS Sans Serif", "Liberation Sans", false},
          Case{"Impact", "DejaVu Sans", true}, Case{"Courier New", "Courier New", false},
          Case{"", "", false}}) {
        const FontFace f = SubstituteFace(c.face);
        EXPECT_EQ(f.family, c.family) << c.face;
        EXPECT_EQ(f.forceBold, c.bold) << c.face;
    }
    EXPECT_EQ(DesignTextHeight(96), 13);
    EXPECT_EQ(DesignTextHeight(120), 17);
    EXPECT_EQ(DesignTextHeight(0), 1);
}

// ---- colours, dots, arrows

TEST(Look, GradientRunsFromTheFirstToTheLastColumn) {
    EXPECT_EQ(GradientAt(look::kPageLeft, look::kPageRight, 0, 100), look::kPageLeft);
    EXPECT_EQ(GradientAt(look::kPageLeft, look::kPageRight, 99, 100), look::kPageRight);
    EXPECT_EQ(GradientAt(look::kPageLeft, look::kPageRight, 500, 100), look::kPageRight);
    EXPECT_EQ(GradientAt(look::kPageLeft, look::kPageRight, 0, 1), look::kPageLeft);
    EXPECT_EQ(GradientAt(look::kPageLeft, look::kPageRight, 0, 0), look::kPageLeft);
    const Rgb mid = GradientAt(Rgb{0, 100, 200}, Rgb{10, 0, 255}, 50, 101);
    EXPECT_EQ(mid, (Rgb{5, 50, 227}));
}

TEST(Look, DividerDotsStayWithinTheirLavenderTones) {
    const auto inTones = [](Rgb c) {
        return c.r >= 214 && c.r <= 243 && c.g >= 199 && c.g <= 238 && c.b >= 229 && c.b <= 248;
    };
    for (int dy = 0; dy < kDotSize; ++dy)
        for (int dx = 0; dx < kDotSize; ++dx)
            EXPECT_TRUE(inTones(DotPixel(look::kDotDark, look::kDotLight, dx, dy)));
    EXPECT_EQ(DotPixel(look::kDotDark, look::kDotLight, 1, 2), look::kDotDark);
    EXPECT_EQ(DotPixel(look::kDotDark, look::kDotLight, 3, 0), look::kDotLight);
    // One dot every 7 pixels from y = 18 to the bottom; a dot that would pass it is left out.
    EXPECT_EQ(DotTops(18, 40), (std::vector<int>{18, 25, 32}));
    EXPECT_EQ(DotTops(18, 39), (std::vector<int>{18, 25, 32}));
    EXPECT_EQ(DotTops(18, 35), (std::vector<int>{18, 25}));
    EXPECT_TRUE(DotTops(18, 21).empty());
}

TEST(Look, SortArrowsPointUpWhenAscendingAndDownWhenDescending) {
    const auto up = SortArrowLines(true);
    ASSERT_EQ(up.size(), 3u);
    EXPECT_EQ(up[0].x0, 8);  // apex
    EXPECT_EQ(up[0].y0, 4);
    EXPECT_EQ(up[2].y0, 11);  // base
    EXPECT_EQ(up[2].y1, 11);
    const auto down = SortArrowLines(false);
    ASSERT_EQ(down.size(), 3u);
    EXPECT_EQ(down[0].y0, 4);  // top edge
    EXPECT_EQ(down[1].x1, 7);  // apex (7, 12)
    EXPECT_EQ(down[1].y1, 12);
    for (const auto* lines : {&up, &down}) {
        bool light = false, dark = false;
        for (const ArrowLine& l : *lines) (l.light ? light : dark) = true;
        EXPECT_TRUE(light && dark);
    }
}

// ---- the list's row painter

TEST(ListPaintRules, RowFillFollowsSelectionFocusAndKeepSelection) {
    struct Case {
        bool drawn, item, keep;
        RowFill fill;
    };
    for (const Case& c :
         {Case{true, true, false, RowFill::Selected}, Case{true, true, true, RowFill::Selected},
          Case{false, true, true, RowFill::Kept}, Case{false, true, false, RowFill::Normal},
          Case{false, false, true, RowFill::Normal}, Case{false, false, false, RowFill::Normal}}) {
        EXPECT_EQ(ChooseRowFill(c.drawn, c.item, c.keep), c.fill) << c.drawn << c.item << c.keep;
    }
    EXPECT_TRUE(UsesSelectedStateImages(RowFill::Selected));
    EXPECT_TRUE(UsesSelectedStateImages(RowFill::Kept));
    EXPECT_FALSE(UsesSelectedStateImages(RowFill::Normal));
}

TEST(ListPaintRules, TextsAndImagesStandWhereTheDesignPutsThem) {
    EXPECT_EQ(CellTextInset(0), 2);
    EXPECT_EQ(CellTextInset(1), 6);
    EXPECT_EQ(CellTextInset(7), 6);
    EXPECT_EQ(CellImageLeft(IconAlign::Left, 100, 200, 16), 102);
    EXPECT_EQ(CellImageLeft(IconAlign::Right, 100, 200, 16), 184);
    EXPECT_EQ(CellImageLeft(IconAlign::Center, 100, 200, 16), 142);
    EXPECT_EQ(CenteredTop(10, 30, 16), 12);
}

TEST(ListPaintRules, AStateCellIsReadAsADecimalNumber) {
    struct Case {
        const char* text;
        long index;
    };
    for (const Case& c :
         {Case{"1", 1}, Case{"0", 0}, Case{"12", 12}, Case{" 3", 3}, Case{"2x", 2}, Case{"", 0},
          Case{"x", 0}, Case{"-1", -1}, Case{"99999999999999999999999", LONG_MAX}}) {
        EXPECT_EQ(StateImageIndex(c.text), c.index) << c.text;
    }
}

// ---- the tab control

TEST(TabRules, TheSelectedAndTheFirstTabAreAdjusted) {
    const Rect tab{2, 2, 60, 23};
    EXPECT_EQ(TabPaintRect(tab, true, true), (Rect{0, 0, 60, 24}));
    EXPECT_EQ(TabPaintRect(tab, true, false), (Rect{0, 0, 60, 24}));
    EXPECT_EQ(TabPaintRect(tab, false, true), (Rect{4, 2, 60, 23}));
    EXPECT_EQ(TabPaintRect(tab, false, false), tab);
    EXPECT_EQ(TabPaneRect(Rect{4, 27, 196, 146}), (Rect{0, 25, 200, 148}));

    const TabTextPlace first = TabTextRect(Rect{4, 2, 60, 23}, false, true);
    EXPECT_TRUE(first.centred);
    EXPECT_EQ(first.rect, (Rect{4, 3, 60, 23}));
    const TabTextPlace other = TabTextRect(Rect{60, 2, 120, 23}, false, false);
    EXPECT_FALSE(other.centred);
    EXPECT_EQ(other.rect, (Rect{65, 3, 115, 23}));
    const TabTextPlace sel = TabTextRect(Rect{58, 0, 120, 24}, true, false);
    EXPECT_EQ(sel.rect, (Rect{66, -3, 115, 24}));
}

TEST(TabHotTracker, TheHotTabFollowsTheMouseAndIsResetOnLeave) {
    TabHotTracker t;
    EXPECT_EQ(t.MouseAt(0), std::vector<int>{0});       // enters tab 0
    EXPECT_TRUE(t.MouseAt(0).empty());                  // stays: nothing to repaint
    EXPECT_EQ(t.MouseAt(1), (std::vector<int>{0, 1}));  // old one normal, new one hot
    EXPECT_EQ(t.Hot(), 1);
    EXPECT_EQ(t.MouseAt(-1), std::vector<int>{1});  // between tabs or over the pane
    EXPECT_EQ(t.MouseAt(2), std::vector<int>{2});
    EXPECT_EQ(t.Leave(), std::vector<int>{2});  // leaving the control
    EXPECT_EQ(t.Hot(), -1);
    EXPECT_TRUE(t.Leave().empty());
}

// ---- column widths

TEST(ColumnFit, FixedColumnsFitTheirTextAndTheLastTakesTheRest) {
    // {wanted, floor} per column, the width, the widths; 30% is kept for the last column.
    const std::tuple<std::vector<ColumnNeed>, int, std::vector<int>> cases[] = {
        {{{90, 60}, {70, 60}, {120, 60}}, 500, {90, 70, 340}},      // room for all
        {{{100, 60}, {200, 60}, {300, 80}}, 400, {100, 180, 120}},  // the widest gives way
        {{{150, 150}, {150, 60}, {150, 60}}, 350, {150, 95, 105}},  // a kept text stays whole
        {{{100, 90}, {100, 90}, {100, 50}}, 150, {90, 90, 50}},     // too narrow: the floors
    };
    for (const auto& [needs, available, widths] : cases)
        EXPECT_EQ(FitColumnWidths(needs, available), widths) << available;
    EXPECT_EQ(DetailsPaneWidth(768), 160) << "narrower at the opening width";
}

}  // namespace
}  // namespace tarvell
