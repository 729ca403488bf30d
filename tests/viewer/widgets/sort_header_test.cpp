#include <QHeaderView>
#include <gtest/gtest.h>

#include "WidgetFixture.h"
#include "tests/support/HeaderClick.h"
#include "viewer/core/look/Look.h"
#include "viewer/widgets/CSortListCtrl.h"

namespace tarvell {
namespace {

using test::Count;
using test::Is;

class SortHeaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        list_.resize(400, 150);
        for (int c = 0; c < 3; ++c) list_.InsertColumn(c, QStringLiteral("Col"), 120);
        list_.show();
    }
    QImage Header() { return test::Picture(*list_.header()); }
    QRect ArrowBox(int column) {
        QHeaderView* h = list_.header();
        const QRect section(h->sectionViewportPosition(column), 0, h->sectionSize(column),
                            h->height());
        return QRect(SortHeaderView::ArrowOrigin(section), QSize(kSortArrowBox, kSortArrowBox));
    }
    QImage Box(const QImage& img, int column) { return img.copy(ArrowBox(column)); }
    int DarkInRow(const QImage& box, int y) {
        const QColor dark = list_.header()->palette().color(QPalette::Dark);
        return Count(box, QRect(0, y, box.width(), 1), [&](QRgb px) { return Is(px, dark); });
    }

    CSortListCtrl list_;
};

TEST_F(SortHeaderTest, ExactlyOneColumnCarriesTheArrowAndItFlips) {
    const QImage none = Header();
    list_.SetSortIndicator(1, true);
    const QImage up = Header();
    EXPECT_EQ(list_.SortColumn(), 1);
    EXPECT_NE(Box(up, 1), Box(none, 1));
    EXPECT_EQ(Box(up, 0), Box(none, 0));
    EXPECT_EQ(Box(up, 2), Box(none, 2));
    // Ascending points up: the top edge is a single apex, the left slope is in shadow.
    const QImage upBox = Box(up, 1);
    EXPECT_LE(DarkInRow(upBox, 4), 1);
    EXPECT_GE(
        Count(upBox, QRect(2, 4, 7, 7),
              [&](QRgb px) { return Is(px, list_.header()->palette().color(QPalette::Dark)); }),
        6);

    // The owner clicks the same column again and flips the direction: the arrow points down.
    list_.SetSortIndicator(1, false);
    const QImage downBox = Box(Header(), 1);
    EXPECT_NE(downBox, upBox);
    EXPECT_GE(DarkInRow(downBox, 4), 8);  // the top edge from (3, 4) to (11, 4), its lit end aside

    // Another column: the arrow moves, the old column is plain again.
    list_.SetSortIndicator(2, true);
    const QImage moved = Header();
    EXPECT_EQ(Box(moved, 1), Box(none, 1));
    EXPECT_EQ(Box(moved, 2), upBox);
    list_.SetSortIndicator(-1, true);
    EXPECT_EQ(Header(), none);
}

TEST_F(SortHeaderTest, AHeaderClickIsReportedToTheOwner) {
    int clicked = -1;
    QObject::connect(&list_, &CSortListCtrl::headerClicked, [&](int c) { clicked = c; });
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list_));
    ASSERT_TRUE(test::ClickHeaderSection(list_.header(), 2));
    EXPECT_EQ(clicked, 2);
}

}  // namespace
}  // namespace tarvell
