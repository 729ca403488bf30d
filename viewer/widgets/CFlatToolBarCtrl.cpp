#include "viewer/widgets/CFlatToolBarCtrl.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "viewer/core/look/Look.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Painting.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

namespace {
constexpr int kPadX = 7;  // text padding at each side of a button
constexpr int kPadY = 3;
constexpr int kImageGap = 4;  // between image and text
constexpr int kDividerWidth = 8;
constexpr int kDividerFirstDot = 18;  // the dots start this far down the button
}  // namespace

CFlatToolBarCtrl::CFlatToolBarCtrl(QWidget* parent) : QWidget(parent) {
    InstallAccessibleFactory();
    textColor_ = palette().color(QPalette::ButtonText);
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover);
    setFont(BodyFont(*this));
}

void CFlatToolBarCtrl::SetListStyle(bool list) {
    listStyle_ = list;
    layoutValid_ = false;
    updateGeometry();
    update();
}

void CFlatToolBarCtrl::SetImageList(const ImageList* images) {
    images_ = images;
    layoutValid_ = false;
    updateGeometry();
    update();
}

void CFlatToolBarCtrl::SetRows(int rows) {
    rows_ = std::max(1, rows);
    layoutValid_ = false;
    updateGeometry();
    update();
}

int CFlatToolBarCtrl::AddButton(const FlatButton& button) {
    buttons_.push_back(button);
    layoutValid_ = false;
    updateGeometry();
    update();
    return ButtonCount() - 1;
}

int CFlatToolBarCtrl::CommandToIndex(CommandId command) const {
    for (int i = 0; i < ButtonCount(); ++i)
        if (buttons_[static_cast<std::size_t>(i)].command == command) return i;
    return -1;
}

bool CFlatToolBarCtrl::SetButtonInfo(int index, CommandId command, const QString& text) {
    if (index < 0 || index >= ButtonCount()) return false;
    buttons_[static_cast<std::size_t>(index)].command = command;
    buttons_[static_cast<std::size_t>(index)].text = text;
    layoutValid_ = false;
    updateGeometry();
    update();
    return true;
}

bool CFlatToolBarCtrl::HideButton(CommandId command, bool hide) {
    const int i = CommandToIndex(command);
    if (i < 0) return false;
    buttons_[static_cast<std::size_t>(i)].hidden = hide;
    if (hide && hot_ == i) hot_ = -1;
    layoutValid_ = false;
    updateGeometry();
    update();
    return true;
}

bool CFlatToolBarCtrl::EnableButton(CommandId command, bool enable) {
    const int i = CommandToIndex(command);
    if (i < 0) return false;
    buttons_[static_cast<std::size_t>(i)].enabled = enable;
    if (!enable && hot_ == i) hot_ = -1;
    update();
    return true;
}

bool CFlatToolBarCtrl::SetPressed(CommandId command, bool pressed) {
    const int i = CommandToIndex(command);
    if (i < 0) return false;
    buttons_[static_cast<std::size_t>(i)].pressed = pressed;
    update();
    return true;
}

bool CFlatToolBarCtrl::IsPressed(CommandId command) const {
    const int i = CommandToIndex(command);
    return i >= 0 && buttons_[static_cast<std::size_t>(i)].pressed;
}

bool CFlatToolBarCtrl::DrawnPressed(int index) const {
    return buttons_[static_cast<std::size_t>(index)].pressed ||
           (index == pressed_ && index == hot_);
}

void CFlatToolBarCtrl::SetButtonWidth(int minWidth, int maxWidth) {
    minButtonWidth_ = std::max(0, minWidth);
    maxButtonWidth_ = std::max(0, maxWidth);
    layoutValid_ = false;
    updateGeometry();
    update();
}

QSize CFlatToolBarCtrl::ButtonSize(const FlatButton& b) const {
    QSize s = NaturalButtonSize(b);
    if (b.command == cmd::kDivider) return s;
    if (minButtonWidth_ > 0) s.setWidth(std::max(s.width(), minButtonWidth_));
    if (maxButtonWidth_ > 0) s.setWidth(std::min(s.width(), maxButtonWidth_));
    return s;
}

QSize CFlatToolBarCtrl::NaturalButtonSize(const FlatButton& b) const {
    if (b.command == cmd::kDivider) {
        const int h = images_ != nullptr ? images_->Size().height() + 2 * kPadY : 24;
        return QSize(kDividerWidth, std::max(h, kDividerFirstDot + kDotSize + 2));
    }
    QFont f = font();
    f.setWeight(QFont::Bold);  // room for the bold face of a pressed button
    const QFontMetrics fm(f);
    const int tw = b.text.isEmpty() ? 0 : fm.horizontalAdvance(b.text);
    const QSize is = (images_ != nullptr && b.image >= 0) ? images_->Size() : QSize(0, 0);
    if (listStyle_) {
        const int w = kPadX + is.width() + (is.width() > 0 && tw > 0 ? kImageGap : 0) + tw + kPadX;
        return QSize(std::max(w, 2 * kPadX), std::max(is.height(), fm.height()) + 2 * kPadY);
    }
    const int w = std::max(is.width(), tw) + 2 * kPadX;
    return QSize(w, is.height() + (tw > 0 ? fm.height() + 2 : 0) + 2 * kPadY);
}

void CFlatToolBarCtrl::Layout() const {
    if (layoutValid_) return;
    rects_.assign(buttons_.size(), QRect());
    std::vector<int> visible;
    for (int i = 0; i < ButtonCount(); ++i)
        if (!buttons_[static_cast<std::size_t>(i)].hidden) visible.push_back(i);
    const int n = static_cast<int>(visible.size());
    const int perRow = std::max(1, (n + rows_ - 1) / rows_);
    int y = 0, x = 0, rowHeight = 0;
    for (int k = 0; k < n; ++k) {
        if (k > 0 && k % perRow == 0) {
            y += rowHeight;
            x = 0;
            rowHeight = 0;
        }
        const auto i = static_cast<std::size_t>(visible[static_cast<std::size_t>(k)]);
        const QSize s = ButtonSize(buttons_[i]);
        rects_[i] = QRect(QPoint(x, y), s);
        x += s.width();
        rowHeight = std::max(rowHeight, s.height());
    }
    layoutValid_ = true;
}

QRect CFlatToolBarCtrl::ButtonRect(int index) const {
    if (index < 0 || index >= ButtonCount()) return {};
    Layout();
    return rects_[static_cast<std::size_t>(index)];
}

QRect CFlatToolBarCtrl::TextRect(int index) const {
    const QRect r = ButtonRect(index);
    if (r.isEmpty() || buttons_[static_cast<std::size_t>(index)].hidden) return {};
    const FlatButton& b = buttons_[static_cast<std::size_t>(index)];
    const QSize is = images_ != nullptr && b.image >= 0 ? images_->Size() : QSize(0, 0);
    if (!listStyle_)
        return QRect(r.left(), r.top() + kPadY + is.height(), r.width(),
                     r.height() - kPadY - is.height());
    const int tx = r.left() + kPadX + is.width() + (is.width() > 0 ? kImageGap : 0);
    return QRect(tx, r.top(), r.right() + 1 - kPadX - tx, r.height());
}

int CFlatToolBarCtrl::ButtonAt(QPoint pos) const {
    Layout();
    for (int i = 0; i < ButtonCount(); ++i)
        if (!buttons_[static_cast<std::size_t>(i)].hidden &&
            rects_[static_cast<std::size_t>(i)].contains(pos))
            return i;
    return -1;
}

QSize CFlatToolBarCtrl::sizeHint() const {
    Layout();
    QRect all;
    for (const QRect& r : rects_) all = all.united(r);
    return all.isEmpty() ? QSize(10, 10) : QSize(all.right() + 1, all.bottom() + 1);
}

QFont CFlatToolBarCtrl::ButtonFont(int index) const {
    QFont f = BodyFont(*this);
    if (index == hot_ && underlineHot_) f.setUnderline(true);
    if (DrawnPressed(index) && boldSelected_) f.setWeight(QFont::Bold);
    return f;
}

void CFlatToolBarCtrl::paintEvent(QPaintEvent*) {
    Layout();
    QPainter p(this);
    for (int i = 0; i < ButtonCount(); ++i) {
        const FlatButton& b = buttons_[static_cast<std::size_t>(i)];
        const QRect r = rects_[static_cast<std::size_t>(i)];
        if (b.hidden || r.isEmpty()) continue;
        if (b.command == cmd::kDivider) {
            DrawDottedDivider(p, r.left(), r.top() + kDividerFirstDot, r.bottom() + 1,
                              look::kDotDark, look::kDotLight);
            continue;
        }
        const bool hot = i == hot_;
        const bool pressed = DrawnPressed(i);
        QColor color = textColor_;
        if (!b.enabled) color = palette().color(QPalette::Disabled, QPalette::ButtonText);
        else if (hotColorOn_ && hot && !pressed) color = ToQColor(look::kLink);

        const ImageList* list = hot && hotImages_ != nullptr ? hotImages_ : images_;
        QSize is(0, 0);
        if (list != nullptr && b.image >= 0) is = list->Size();
        QRect textRect;
        if (listStyle_) {
            const int ix = r.left() + kPadX;
            if (is.width() > 0) {
                p.save();
                if (!b.enabled) p.setOpacity(0.4);
                list->Draw(p, b.image, QPoint(ix, r.top() + (r.height() - is.height()) / 2));
                p.restore();
            }
            const int tx = ix + is.width() + (is.width() > 0 ? kImageGap : 0);
            textRect = QRect(tx, r.top(), r.right() + 1 - kPadX - tx, r.height());
        } else {
            if (is.width() > 0) {
                p.save();
                if (!b.enabled) p.setOpacity(0.4);
                list->Draw(p, b.image,
                           QPoint(r.left() + (r.width() - is.width()) / 2, r.top() + kPadY));
                p.restore();
            }
            textRect = QRect(r.left(), r.top() + kPadY + is.height(), r.width(),
                             r.height() - kPadY - is.height());
        }
        if (b.text.isEmpty()) continue;
        p.setFont(ButtonFont(i));
        p.setPen(color);
        p.drawText(
            textRect,
            (listStyle_ ? Qt::AlignLeft : Qt::AlignHCenter) | Qt::AlignVCenter | Qt::TextSingleLine,
            b.text);
    }
}

void CFlatToolBarCtrl::SetHot(int index) {
    if (index >= 0) {
        const FlatButton& b = buttons_[static_cast<std::size_t>(index)];
        if (!b.enabled || b.command == cmd::kDivider) index = -1;
    }
    if (index == hot_) return;
    hot_ = index;
    setCursor(hot_ >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
    update();
}

void CFlatToolBarCtrl::mouseMoveEvent(QMouseEvent* e) {
    SetHot(ButtonAt(e->position().toPoint()));
    QWidget::mouseMoveEvent(e);
}

void CFlatToolBarCtrl::leaveEvent(QEvent* e) {
    SetHot(-1);
    QWidget::leaveEvent(e);
}

void CFlatToolBarCtrl::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
    const int i = ButtonAt(e->position().toPoint());
    SetHot(i);
    if (i < 0 || i != hot_) return;
    const FlatButton& b = buttons_[static_cast<std::size_t>(i)];
    if (b.dropDown) {
        emit dropDown(b.command, rects_[static_cast<std::size_t>(i)]);
        return;
    }
    pressed_ = i;
    update();
}

void CFlatToolBarCtrl::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(e);
    const int was = pressed_;
    pressed_ = -1;
    update();
    if (was >= 0 && ButtonAt(e->position().toPoint()) == was) {
        const FlatButton& b = buttons_[static_cast<std::size_t>(was)];
        if (b.enabled && !b.hidden) emit commandTriggered(b.command);
    }
}

void CFlatToolBarCtrl::resizeEvent(QResizeEvent* e) {
    layoutValid_ = false;
    QWidget::resizeEvent(e);
}

void CFlatToolBarCtrl::changeEvent(QEvent* e) {
    if (e->type() == QEvent::FontChange) {
        layoutValid_ = false;
        updateGeometry();
    }
    QWidget::changeEvent(e);
}

}  // namespace tarvell
