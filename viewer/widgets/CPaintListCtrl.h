// The owner-painted report list of the event, protection and alert screens. Every row is painted
// here (the row painter, drawRow): the viewer's selection fill and frame, grey text (black when
// selected), bold rows, two-line cells with a bold first line, cell images, state images read
// from state columns, and a grey message centred in an empty list. Rows come from the model
// (ListRowsModel roles), so only the visible rows are ever painted.
// The owner sets the options below and fills the rows; a row's bold mark is part of the row (a
// refill with SetRows takes the rows' own marks). GUI thread only.
#pragma once

#include <set>
#include <vector>

#include "viewer/core/look/ListPaintRules.h"
#include "viewer/widgets/CSortListCtrl.h"
#include "viewer/widgets/ImageList.h"

namespace tarvell {

class CPaintListCtrl : public CSortListCtrl {
    Q_OBJECT
public:
    explicit CPaintListCtrl(QWidget* parent = nullptr);

    // Cells whose text holds "\n" are drawn on two lines: the part before the first "\n" bold,
    // the rest below it in normal weight. Off at construction.
    void SetTwoLineText(bool on);
    bool TwoLineText() const { return twoLineText_; }
    // Selected rows keep the selection fill (without the frame) while the list has no focus.
    void SetKeepSelection(bool on) {
        keepSelection_ = on;
        viewport()->update();
    }
    bool KeepSelection() const { return keepSelection_; }
    // The message drawn while the list has no rows.
    void SetEmptyText(const QString& text) {
        emptyText_ = text;
        viewport()->update();
    }
    const QString& EmptyText() const { return emptyText_; }
    void SetIconAlign(IconAlign align) {
        iconAlign_ = align;
        viewport()->update();
    }
    IconAlign Align() const { return iconAlign_; }

    // Image lists are owned by the caller and must outlive the control (or be reset to null).
    void SetSmallImages(const ImageList* images);
    void SetCellImages(const ImageList* images) {
        cellImages_ = images;
        viewport()->update();
    }
    // State images are drawn only when both lists are set.
    void SetStateImages(const ImageList* unselected, const ImageList* selected);
    // Columns whose cell text is a state image index (drawn as that image, not as text).
    void SetStateColumns(std::vector<int> columns) {
        stateColumns_ = std::move(columns);
        viewport()->update();
    }
    const std::vector<int>& StateColumns() const { return stateColumns_; }

    // Bold rows are a mark on the rows of the model (kBoldRole), so they stay on their records
    // through a sort or a removal. Row numbers are the model's at the time of the call; a model
    // of the owner's own answers and stores the role itself.
    void SetBoldRows(const std::set<int>& rows);
    void AddBoldRow(int row) { SetRowBold(row, true); }
    void RemoveBoldRow(int row) { SetRowBold(row, false); }
    void ClearBoldRows() { SetBoldRows({}); }
    bool IsBoldRow(int row) const;
    std::set<int> BoldRows() const;

    // Row height in pixels; 0 (the default) fits the text (two lines with TwoLineText) and the
    // small images.
    void SetRowHeight(int pixels);
    int RowHeight() const;
    // Whether a selected row is drawn as selected now (the list has the focus).
    virtual bool DrawsSelectionActive() const;

protected:
    // As the row painter draws it: the row's weight, the inset, the small image in column 0.
    int CellWidth(int row, int column) const override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    void PaintEmpty(QPainter& p) const;
    void RowHeightChanged();
    void SetRowBold(int row, bool bold);

    bool twoLineText_ = false;
    bool keepSelection_ = false;
    QString emptyText_;
    IconAlign iconAlign_ = IconAlign::Left;
    const ImageList* stateUnselected_ = nullptr;
    std::vector<int> stateColumns_;
    const ImageList* cellImages_ = nullptr;
    const ImageList* stateSelected_ = nullptr;
    const ImageList* smallImages_ = nullptr;
    int rowHeight_ = 0;
};

}  // namespace tarvell
