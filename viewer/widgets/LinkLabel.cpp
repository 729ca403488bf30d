#include "viewer/widgets/LinkLabel.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "viewer/core/look/Look.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

LinkLabel::LinkLabel(const QString& text, CommandId command, QWidget* parent)
    : QWidget(parent), text_(text), command_(command), color_(ToQColor(look::kLink)) {
    InstallAccessibleFactory();
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
    setFont(BodyFont(*this));
}

void LinkLabel::SetText(const QString& text) {
    text_ = text;
    updateGeometry();
    update();
}

void LinkLabel::SetActive(bool active) {
    if (active == active_) return;
    active_ = active;
    setCursor(active ? Qt::PointingHandCursor : Qt::ArrowCursor);
    setFocusPolicy(active ? Qt::TabFocus : Qt::NoFocus);
    update();
}

QSize LinkLabel::sizeHint() const {
    const QFontMetrics fm(font());
    return QSize(fm.horizontalAdvance(text_) + 2, fm.height() + 2);
}

void LinkLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QFont f = font();
    f.setUnderline(active_ && isEnabled() && (hot_ || underlined_));
    p.setFont(f);
    if (!isEnabled()) p.setPen(palette().color(QPalette::Disabled, QPalette::WindowText));
    else p.setPen(active_ ? color_ : ToQColor(look::kText));
    p.drawText(rect().adjusted(1, 0, -1, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               text_);
    if (hasFocus() && active_) {
        p.setPen(QPen(color_, 1, Qt::DotLine));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void LinkLabel::enterEvent(QEnterEvent*) {
    hot_ = true;
    update();
}

void LinkLabel::leaveEvent(QEvent*) {
    hot_ = false;
    update();
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && isEnabled() &&
        active_)
        emit activated(command_);
}

void LinkLabel::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Space) {
        if (isEnabled() && active_) emit activated(command_);
        return;
    }
    QWidget::keyPressEvent(e);
}

void LinkLabel::changeEvent(QEvent* e) {
    if (e->type() == QEvent::EnabledChange) update();
    QWidget::changeEvent(e);
}

}  // namespace tarvell
