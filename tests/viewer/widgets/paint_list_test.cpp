#include "viewer/widgets/CPaintListCtrl.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include "WidgetFixture.h"
#include "viewer/core/look/Look.h"

namespace tarvell {
namespace {

using test::Box;
using test::Count;
using test::Ink;
using test::Is;
using test::Picture;

ImageList Solid(std::initializer_list<QColor> colors) {
    ImageList list(QSize(16, 16));
    for (const QColor& c : colors) {
        QImage img(16, 16, QImage::Format_ARGB32_Premultiplied);
        img.fill(c);
        list.Add(img);
    }
    return list;
}

// A list in a window beside a line edit, so the list can have the focus or lose it to the edit.
class PaintListTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_.resize(420, 260);
        auto* layout = new QVBoxLayout(&window_);
        layout->setContentsMargins(0, 0, 0, 0);
        list_ = new CPaintListCtrl(&window_);
        other_ = new QLineEdit(&window_);
        layout->addWidget(list_);
        layout->addWidget(other_);
        list_->InsertColumn(0, QStringLiteral("Device Mac"), 125);
        list_->InsertColumn(1, QStringLiteral("Description"), 250);
    }

    void Fill(std::initializer_list<std::pair<QString, QString>> rows) {
        std::vector<ListRow> all;
        for (const auto& [a, b] : rows) all.push_back(ListRow{{a, b}, -1, {}, 0});
        list_->Rows()->SetRows(std::move(all));
    }

    void ShowWithFocusOn(QWidget* w) {
        window_.show();
        QApplication::setActiveWindow(&window_);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
        w->setFocus();
        QApplication::processEvents();
        ASSERT_TRUE(w->hasFocus());
    }

    // The row's rectangle in the picture of the list.
    QRect RowRect(int row) const {
        const QRect r = list_->visualRect(list_->model()->index(row, 0));
        const QPoint vp = list_->viewport()->geometry().topLeft();
        return QRect(vp.x(), vp.y() + r.top(), list_->viewport()->width(), r.height());
    }
    QRect CellRect(int row, int column) const {
        const QRect r = RowRect(row);
        const QPoint vp = list_->viewport()->geometry().topLeft();
        return QRect(vp.x() + list_->columnViewportPosition(column), r.top(),
                     list_->columnWidth(column), r.height());
    }

    QWidget window_;
    CPaintListCtrl* list_ = nullptr;
    QLineEdit* other_ = nullptr;
};

// ---- the empty list

TEST_F(PaintListTest, AnEmptyListShowsItsTextCentredInGreyAndNothingElse) {
    list_->SetEmptyText(QStringLiteral("There are currently no active events."));
    window_.show();
    const QImage img = Picture(*list_);
    const QRect vp = list_->viewport()->geometry();
    const auto notWhite = [](QRgb px) { return (px & 0xFFFFFF) != 0xFFFFFF; };
    const QRect ink = Box(img, vp, notWhite);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_NEAR(ink.center().x(), vp.center().x(), 3);
    EXPECT_NEAR(ink.center().y(), vp.center().y(), 3);
    EXPECT_LT(ink.height(), 20);  // one line
    // Grey text: every mark is a grey between the text colour and white, and the full strokes
    // are the text colour itself.
    EXPECT_EQ(Count(img, vp,
                    [](QRgb px) {
                        return qRed(px) != qGreen(px) || qGreen(px) != qBlue(px) || qRed(px) < 83;
                    }),
              0);
    EXPECT_GT(Count(img, vp, [](QRgb px) { return Is(px, look::kText); }), 10);

    list_->SetEmptyText(QString());
    EXPECT_EQ(Count(Picture(*list_), vp, notWhite), 0);
    Fill({{"A", "B"}});  // with a row the text is gone
    list_->SetEmptyText(QStringLiteral("There are currently no active events."));
    const QImage filled = Picture(*list_);
    EXPECT_EQ(Count(filled,
                    QRect(vp.left(), RowRect(0).bottom() + 1, vp.width(),
                          vp.bottom() - RowRect(0).bottom()),
                    notWhite),
              0);
}

// ---- selection

TEST_F(PaintListTest, ASelectedRowWithFocusIsFilledFramedAndBlack) {
    Fill({{"0011223344AA", "first"}, {"0011223344BB", "second"}, {"0011223344CC", "third"}});
    ShowWithFocusOn(list_);
    list_->SelectRow(1);
    const QImage img = Picture(*list_);
    const QRect sel = RowRect(1), plain = RowRect(0);
    const int x = sel.right() - 5;  // right of every text, where only the fill shows
    EXPECT_TRUE(Is(img.pixel(x, sel.center().y()), look::kSelectedRow));
    EXPECT_TRUE(Is(img.pixel(x, sel.top()), look::kPanelFrame));  // the frame
    EXPECT_TRUE(Is(img.pixel(x, sel.bottom()), look::kPanelFrame));
    EXPECT_TRUE(Is(img.pixel(sel.left(), sel.center().y()), look::kPanelFrame));
    EXPECT_TRUE(Is(img.pixel(x, plain.center().y()), look::kWhite));
    // Selected text is black; other rows' text is the grey text colour, nothing darker.
    EXPECT_GT(Count(img, sel, [](QRgb px) { return Is(px, look::kBlack); }), 10);
    EXPECT_EQ(Count(img, plain, [](QRgb px) { return test::Luma(px) < 83; }), 0);
    EXPECT_GT(Count(img, plain, [](QRgb px) { return test::Luma(px) < 130; }), 20);
}

TEST_F(PaintListTest, KeepSelectionShowsTheSelectedRowWithoutFocusAndWithoutFrame) {
    Fill({{"0011223344AA", "first"}, {"0011223344BB", "second"}});
    ShowWithFocusOn(other_);
    list_->SelectRow(0);
    const QRect sel = RowRect(0);
    const int x = sel.right() - 5;

    QImage img = Picture(*list_);  // KeepSelection off: no sign of the selection
    EXPECT_TRUE(Is(img.pixel(x, sel.center().y()), look::kWhite));

    list_->SetKeepSelection(true);
    img = Picture(*list_);
    EXPECT_TRUE(Is(img.pixel(x, sel.center().y()), look::kSelectedRow));
    EXPECT_TRUE(Is(img.pixel(x, sel.top()), look::kSelectedRow));  // no frame
    EXPECT_TRUE(Is(img.pixel(x, sel.bottom()), look::kSelectedRow));
    EXPECT_EQ(Count(img, sel, [](QRgb px) { return test::Luma(px) < 83; }), 0);  // grey text

    list_->setFocus();  // with the focus back it is drawn selected again
    QApplication::processEvents();
    img = Picture(*list_);
    EXPECT_TRUE(Is(img.pixel(x, sel.top()), look::kPanelFrame));
}

// ---- bold rows and two-line cells

TEST_F(PaintListTest, BoldRowsAreDrawnHeavier) {
    Fill({{"Unauthorized Node", "New Mac address found"},
          {"Unauthorized Node", "New Mac address found"}});
    list_->AddBoldRow(0);
    window_.show();
    const QImage img = Picture(*list_);
    const int bold = Count(img, RowRect(0), Ink(160));
    const int normal = Count(img, RowRect(1), Ink(160));
    EXPECT_GT(bold, normal * 5 / 4) << bold << " vs " << normal;
    list_->ClearBoldRows();
    const QImage after = Picture(*list_);
    EXPECT_NEAR(Count(after, RowRect(0), Ink(160)), Count(after, RowRect(1), Ink(160)), 2);
}

TEST_F(PaintListTest, ABoldRowStaysOnItsRecordThroughASortAndARemoval) {
    Fill({{"a", "first"}, {"b", "second"}, {"c", "third"}});
    list_->AddBoldRow(1);  // "b"
    const auto boldKeys = [&] {
        QStringList keys;
        for (int row : list_->BoldRows()) keys << list_->Rows()->ItemText(row, 0);
        return keys;
    };
    list_->Rows()->SortItems(
        [](const ListRow& x, const ListRow& y) { return x.cells[0] > y.cells[0]; });
    EXPECT_EQ(boldKeys(), QStringList{"b"});
    EXPECT_TRUE(list_->IsBoldRow(1)) << "c, b, a";
    list_->Rows()->DeleteItem(0);
    EXPECT_EQ(list_->BoldRows(), (std::set<int>{0})) << "b, a";
    EXPECT_EQ(boldKeys(), QStringList{"b"});
    window_.show();
    const QImage img = Picture(*list_);
    EXPECT_GT(Count(img, RowRect(0), Ink(160)), Count(img, RowRect(1), Ink(160)));

    // A refill takes the rows' own marks; rows outside the list are ignored.
    std::vector<ListRow> rows(2);
    rows[0].cells = {"x"};
    rows[1].cells = {"y"};
    rows[1].bold = true;
    list_->Rows()->SetRows(std::move(rows));
    EXPECT_EQ(list_->BoldRows(), (std::set<int>{1}));
    list_->SetBoldRows({0, 7});
    list_->AddBoldRow(-1);
    EXPECT_EQ(list_->BoldRows(), (std::set<int>{0}));
}

TEST_F(PaintListTest, ATwoLineCellShowsItsTitleBoldAboveTheDetails) {
    const QString same = QStringLiteral("Switch port details");
    Fill({{QStringLiteral("key"), same + QLatin1Char('\n') + same}});
    list_->SetTwoLineText(true);
    window_.show();
    const QImage img = Picture(*list_);
    const QRect cell = CellRect(0, 1);
    const int line = QFontMetrics(list_->font()).lineSpacing();
    ASSERT_GE(cell.height(), 2 * line);
    const QRect title(cell.left(), cell.top(), cell.width(), 2 + line);
    const QRect details(cell.left(), cell.top() + 2 + line, cell.width(), cell.height() - 2 - line);
    const QRect titleInk = Box(img, title, Ink(160));
    const QRect detailsInk = Box(img, details, Ink(160));
    ASSERT_FALSE(titleInk.isEmpty());
    ASSERT_FALSE(detailsInk.isEmpty());
    EXPECT_GE(titleInk.top(), cell.top() + 2);
    EXPECT_GT(detailsInk.top(), titleInk.bottom());
    // The same words: the bold title is wider and darker than the details.
    EXPECT_GT(titleInk.width(), detailsInk.width());
    EXPECT_GT(Count(img, title, Ink(160)), Count(img, details, Ink(160)) * 5 / 4);

    // In a bold row the title is bold as ever and the details stay in normal weight.
    list_->Rows()->InsertItem(1, QStringLiteral("key"));
    list_->Rows()->SetItemText(1, 1, same + QLatin1Char('\n') + same);
    list_->AddBoldRow(1);
    const QImage both = Picture(*list_);
    const auto detailsOf = [&](int row) {
        const QRect c = CellRect(row, 1);
        return QRect(c.left(), c.top() + 2 + line, c.width(), c.height() - 2 - line);
    };
    EXPECT_NEAR(Count(both, detailsOf(1), Ink(160)), Count(both, detailsOf(0), Ink(160)), 2);

    // Without the option the text stays on one line.
    list_->SetTwoLineText(false);
    const QImage one = Picture(*list_);
    const QRect c1 = CellRect(0, 1);
    EXPECT_LT(c1.height(), 2 * line);  // and the rows are one line high again
    EXPECT_LE(Box(one, c1, Ink(160)).height(), line);
}

// ---- images

TEST_F(PaintListTest, AStateColumnShowsTheImageItsTextNames) {
    const ImageList unselected = Solid({Qt::red, Qt::blue});
    const ImageList selected = Solid({Qt::yellow, Qt::green});
    Fill({{"0011223344AA", "1"}, {"0011223344BB", "0"}, {"0011223344CC", "7"}});
    list_->SetStateImages(&unselected, &selected);
    list_->SetStateColumns({1});
    ShowWithFocusOn(list_);
    const auto imageAt = [this](const QImage& img, int row) {
        const QRect c = CellRect(row, 1);
        return img.pixel(c.left() + 2 + 8, c.center().y());
    };
    QImage img = Picture(*list_);
    EXPECT_TRUE(Is(imageAt(img, 0), QColor(Qt::blue)));  // "1": image 1
    EXPECT_TRUE(Is(imageAt(img, 1), QColor(Qt::red)));   // "0": image 0
    EXPECT_TRUE(Is(imageAt(img, 2), look::kWhite));      // "7": no such image, nothing drawn
    // The cell text is an index, not shown: the row with image 7 has no ink in that cell.
    EXPECT_EQ(Count(img, CellRect(2, 1), Ink()), 0);

    list_->SelectRow(0);  // selected: the selected-rows list
    img = Picture(*list_);
    EXPECT_TRUE(Is(imageAt(img, 0), QColor(Qt::green)));
    EXPECT_TRUE(Is(imageAt(img, 1), QColor(Qt::red)));

    list_->SetStateImages(&unselected, nullptr);  // both lists are needed
    img = Picture(*list_);
    EXPECT_FALSE(Is(imageAt(img, 1), QColor(Qt::red)));
}

TEST_F(PaintListTest, CellImagesFollowTheIconAlignment) {
    const ImageList cells = Solid({Qt::magenta});
    Fill({{"key", ""}});
    list_->Rows()->SetItemImage(0, 1, 0);
    list_->SetCellImages(&cells);
    window_.show();
    struct Case {
        IconAlign align;
        int x;  // a pixel inside the image, from the cell's left
    };
    const QRect c = CellRect(0, 1);
    for (const Case& k : {Case{IconAlign::Left, 2 + 1}, Case{IconAlign::Right, c.width() - 2},
                          Case{IconAlign::Center, c.width() / 2}}) {
        list_->SetIconAlign(k.align);
        const QImage img = Picture(*list_);
        EXPECT_TRUE(Is(img.pixel(c.left() + k.x, c.center().y()), QColor(Qt::magenta)))
            << int(k.align);
        const QRect box = Box(img, c, [](QRgb px) { return Is(px, QColor(Qt::magenta)); });
        EXPECT_EQ(box.width(), 16) << int(k.align);
    }
    list_->Rows()->SetItemImage(0, 1, -1);  // no image
    EXPECT_EQ(Count(Picture(*list_), c, [](QRgb px) { return Is(px, QColor(Qt::magenta)); }), 0);
}

// ---- the model

TEST_F(PaintListTest, SortingTheRowsKeepsTheSelectionOnItsRow) {
    Fill({{"b", "2"}, {"a", "1"}, {"c", "3"}});
    list_->SelectRow(0);
    list_->Rows()->SortItems(
        [](const ListRow& x, const ListRow& y) { return x.cells[0] < y.cells[0]; });
    EXPECT_EQ(list_->Rows()->ItemText(0, 0), QStringLiteral("a"));
    EXPECT_EQ(list_->SelectedRow(), 1);
    EXPECT_EQ(list_->Rows()->ItemText(list_->SelectedRow(), 1), QStringLiteral("2"));
    EXPECT_EQ(list_->Rows()->FindItem(0, QStringLiteral("c")), 2);
    EXPECT_EQ(list_->Rows()->FindItem(0, QStringLiteral("c"), 2), -1);
    EXPECT_FALSE(list_->Rows()->SetItemText(3, 0, QStringLiteral("x")));  // no such row
    EXPECT_FALSE(list_->Rows()->SetItemText(0, 2, QStringLiteral("x")));  // no such column
}

TEST_F(PaintListTest, RowsComeFromTheModelWithoutAWidgetPerRow) {
    window_.show();
    const auto before = list_->findChildren<QWidget*>().size();
    std::vector<ListRow> rows(
        10000, ListRow{{QStringLiteral("0011223344AA"), QStringLiteral("x")}, -1, {}, 0});
    list_->Rows()->SetRows(std::move(rows));
    Picture(*list_);
    EXPECT_EQ(list_->findChildren<QWidget*>().size(), before);
    EXPECT_EQ(list_->model()->rowCount(), 10000);
}

}  // namespace
}  // namespace tarvell
