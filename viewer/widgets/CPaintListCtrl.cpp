#include "viewer/widgets/CPaintListCtrl.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTextLayout>
#include <algorithm>
#include <vector>

#include "viewer/core/look/Look.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

namespace {

// `text` word-wrapped into `box`, whole lines only: where the box ends before the text, the last
// line that fits ends with an ellipsis instead of a line cut through its letters.
void DrawWrappedLines(QPainter& p, const QFont& font, QString text, const QRect& box) {
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    const QFontMetrics fm(font);
    const int step = fm.lineSpacing();
    QTextLayout layout(text, font, p.device());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    std::vector<QTextLine> lines;
    bool cut = false;
    for (int y = 0;; y += step) {
        QTextLine l = layout.createLine();
        if (!l.isValid()) break;
        l.setLineWidth(box.width());
        if (y + step > box.height()) {
            cut = true;
            break;
        }
        l.setPosition(QPointF(0, y));
        lines.push_back(l);
    }
    layout.endLayout();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const QTextLine& l = lines[i];
        if (cut && i + 1 == lines.size()) {
            QString rest = text.mid(l.textStart());
            rest.replace(QChar::LineSeparator, QLatin1Char(' '));
            p.drawText(QRect(box.left(), box.top() + qRound(l.y()), box.width(), step),
                       Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                       fm.elidedText(rest.simplified(), Qt::ElideRight, box.width()));
        } else {
            l.draw(&p, box.topLeft());
        }
    }
}

// Gives the tree view the row height; the painting is the list's own (drawRow).
class RowHeightDelegate : public QStyledItemDelegate {
public:
    explicit RowHeightDelegate(CPaintListCtrl* list) : QStyledItemDelegate(list), list_(list) {}
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return QSize(10, list_->RowHeight());
    }

private:
    const CPaintListCtrl* list_;
};

}  // namespace

CPaintListCtrl::CPaintListCtrl(QWidget* parent) : CSortListCtrl(parent) {
    setItemDelegate(new RowHeightDelegate(this));
    setFont(BodyFont(*this, QStringLiteral("MS Sans Serif")));
    QPalette pal = palette();
    pal.setColor(QPalette::Base, Qt::white);
    setPalette(pal);
}

void CPaintListCtrl::SetTwoLineText(bool on) {
    twoLineText_ = on;
    RowHeightChanged();
}

void CPaintListCtrl::SetSmallImages(const ImageList* images) {
    smallImages_ = images;
    RowHeightChanged();
}

void CPaintListCtrl::SetStateImages(const ImageList* unselected, const ImageList* selected) {
    stateUnselected_ = unselected;
    stateSelected_ = selected;
    viewport()->update();
}

void CPaintListCtrl::SetRowHeight(int pixels) {
    rowHeight_ = std::max(0, pixels);
    RowHeightChanged();
}

int CPaintListCtrl::RowHeight() const {
    if (rowHeight_ > 0) return rowHeight_;
    const int line = QFontMetrics(font()).lineSpacing();
    int h = (twoLineText_ ? 2 * line : line) + 4;
    if (smallImages_ != nullptr) h = std::max(h, smallImages_->Size().height() + 1);
    return h;
}

void CPaintListCtrl::RowHeightChanged() {
    // The uniform row height is cached by the view; a layout pass takes the new one.
    scheduleDelayedItemsLayout();
    viewport()->update();
}

bool CPaintListCtrl::DrawsSelectionActive() const { return hasFocus(); }

void CPaintListCtrl::focusInEvent(QFocusEvent* e) {
    CSortListCtrl::focusInEvent(e);
    viewport()->update();
}

void CPaintListCtrl::focusOutEvent(QFocusEvent* e) {
    CSortListCtrl::focusOutEvent(e);
    viewport()->update();
}

void CPaintListCtrl::paintEvent(QPaintEvent* event) {
    if (model() != nullptr && model()->rowCount(rootIndex()) == 0) {
        QPainter p(viewport());
        PaintEmpty(p);
        return;
    }
    CSortListCtrl::paintEvent(event);
}

void CPaintListCtrl::PaintEmpty(QPainter& p) const {
    const QRect area = viewport()->rect();
    p.fillRect(area, Qt::white);
    if (emptyText_.isEmpty()) return;
    p.setFont(BodyFont(*this, QStringLiteral("MS Sans Serif")));
    p.setPen(ToQColor(look::kText));
    p.drawText(area, Qt::AlignCenter | Qt::TextSingleLine, emptyText_);
}

void CPaintListCtrl::SetBoldRows(const std::set<int>& rows) {
    if (ListRowsModel* own = Rows()) {
        own->SetBoldRows(rows);
    } else if (QAbstractItemModel* m = model()) {
        for (int r = 0; r < m->rowCount(rootIndex()); ++r)
            m->setData(m->index(r, 0, rootIndex()), rows.count(r) != 0, kBoldRole);
    }
    viewport()->update();
}

void CPaintListCtrl::SetRowBold(int row, bool bold) {
    if (QAbstractItemModel* m = model(); m != nullptr && row >= 0 && row < m->rowCount(rootIndex()))
        m->setData(m->index(row, 0, rootIndex()), bold, kBoldRole);
    viewport()->update();
}

bool CPaintListCtrl::IsBoldRow(int row) const {
    const QAbstractItemModel* m = model();
    return m != nullptr && row >= 0 && row < m->rowCount(rootIndex()) &&
           m->data(m->index(row, 0, rootIndex()), kBoldRole).toBool();
}

std::set<int> CPaintListCtrl::BoldRows() const {
    if (const ListRowsModel* own = Rows()) return own->BoldRows();
    std::set<int> rows;
    if (const QAbstractItemModel* m = model())
        for (int r = 0; r < m->rowCount(rootIndex()); ++r)
            if (IsBoldRow(r)) rows.insert(r);
    return rows;
}

int CPaintListCtrl::CellWidth(int row, int column) const {
    const QAbstractItemModel* m = model();
    const QModelIndex first = m->index(row, 0, rootIndex());
    int extra = CellTextInset(column) + 2 + 1;  // + 1: a text's advance is not whole pixels
    if (column == 0 && smallImages_ != nullptr) extra += smallImages_->Size().width() + 4;
    const bool stateImagesOn = stateUnselected_ != nullptr && stateSelected_ != nullptr;
    if (stateImagesOn &&
        std::find(stateColumns_.begin(), stateColumns_.end(), column) != stateColumns_.end())
        return stateUnselected_->Size().width() + 4;
    QString text = m->data(m->index(row, column, rootIndex()), Qt::DisplayRole).toString();
    const qsizetype nl = twoLineText_ ? text.indexOf(QLatin1Char('\n')) : -1;
    // A two-line cell's details wrap; its bold title is what must fit.
    if (nl >= 0) text.truncate(nl);
    const bool bold = nl >= 0 || m->data(first, kBoldRole).toBool();
    const QFont font = BodyFont(*this, QStringLiteral("MS Sans Serif"), bold ? 700 : 400);
    return QFontMetrics(font).horizontalAdvance(text) + extra;
}

void CPaintListCtrl::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    QPainter& p = *painter;
    const QAbstractItemModel* m = model();
    const int row = index.row();
    const QModelIndex first = m->index(row, 0, index.parent());
    const bool itemSelected =
        selectionModel() != nullptr && selectionModel()->isRowSelected(row, index.parent());
    const bool drawnSelected = itemSelected && DrawsSelectionActive();
    const RowFill fill = ChooseRowFill(drawnSelected, itemSelected, keepSelection_);

    const int top = option.rect.top();
    const int height = option.rect.height();
    const int left = -horizontalOffset();  // the item's left edge
    const QRect rowRect(left, top, viewport()->width() - left, height);
    p.fillRect(rowRect, fill == RowFill::Normal ? palette().color(QPalette::Base)
                                                : ToQColor(look::kSelectedRow));

    const QColor textColor =
        fill == RowFill::Selected ? ToQColor(look::kBlack) : ToQColor(look::kText);
    const bool bold = m->data(first, kBoldRole).toBool();
    const QFont rowFont = BodyFont(*this, QStringLiteral("MS Sans Serif"), bold ? 700 : 400);
    const QFont heavy = BodyFont(*this, QStringLiteral("MS Sans Serif"), 700);
    const QFont light = BodyFont(*this, QStringLiteral("MS Sans Serif"), 400);
    const bool stateImagesOn = stateUnselected_ != nullptr && stateSelected_ != nullptr;

    const int columns = m->columnCount(index.parent());
    for (int c = 0; c < columns; ++c) {
        if (header()->isSectionHidden(c)) continue;
        const int width = columnWidth(c);
        if (width <= 0) continue;
        QRect cell(columnViewportPosition(c), top, width, height);
        const QModelIndex ci = m->index(row, c, index.parent());
        const bool isStateColumn =
            stateImagesOn &&
            std::find(stateColumns_.begin(), stateColumns_.end(), c) != stateColumns_.end();
        QRect label = cell;
        if (c == 0 && smallImages_ != nullptr) {
            const QSize is = smallImages_->Size();
            bool ok = false;
            const int image = m->data(first, kImageRole).toInt(&ok);
            if (ok)
                smallImages_->Draw(
                    p, image, QPoint(cell.left() + 2, CenteredTop(top, top + height, is.height())));
            label.setLeft(cell.left() + 2 + is.width() + 2);
        }
        if (!isStateColumn) {
            const QString text = m->data(ci, Qt::DisplayRole).toString();
            QRect tr = label.adjusted(CellTextInset(c), 0, -2, 0);
            p.save();
            p.setClipRect(cell);
            p.setPen(textColor);
            const qsizetype nl = twoLineText_ ? text.indexOf(QLatin1Char('\n')) : -1;
            if (nl >= 0) {
                p.setFont(heavy);
                const int line = QFontMetrics(heavy).lineSpacing();
                const QRect titleRect(tr.left(), top + 2, tr.width(), line);
                p.drawText(
                    titleRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                    QFontMetrics(heavy).elidedText(text.left(nl), Qt::ElideRight, tr.width()));
                p.setFont(light);  // the details are never bold, not even in a bold row
                DrawWrappedLines(p, light, text.mid(nl + 1),
                                 QRect(tr.left(), top + 2 + line, tr.width(), height - 2 - line));
            } else {
                p.setFont(rowFont);
                const QFontMetrics fm(rowFont);
                p.drawText(tr, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                           fm.elidedText(text, Qt::ElideRight, tr.width()));
            }
            p.restore();
        }
        if (c >= 1 && cellImages_ != nullptr) {
            bool ok = false;
            const int image = m->data(ci, kImageRole).toInt(&ok);
            if (ok && image >= 0) {
                const QSize is = cellImages_->Size();
                cellImages_->Draw(
                    p, image,
                    QPoint(CellImageLeft(iconAlign_, cell.left(), cell.right() + 1, is.width()),
                           CenteredTop(top, top + height, is.height())));
            }
        }
        if (isStateColumn) {
            const QByteArray digits = m->data(ci, Qt::DisplayRole).toString().toLatin1();
            const long image = StateImageIndex(std::string_view(digits.constData(), digits.size()));
            const ImageList* list =
                UsesSelectedStateImages(fill) ? stateSelected_ : stateUnselected_;
            if (image >= 0 && image < list->Count())
                list->Draw(
                    p, static_cast<int>(image),
                    QPoint(cell.left() + 2, CenteredTop(top, top + height, list->Size().height())));
        }
    }
    if (fill == RowFill::Selected) {
        p.save();
        p.setPen(ToQColor(look::kPanelFrame));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rowRect.adjusted(0, 0, -1, -1));
        p.restore();
    }
}

}  // namespace tarvell
