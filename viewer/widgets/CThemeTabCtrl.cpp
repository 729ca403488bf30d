#include "viewer/widgets/CThemeTabCtrl.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <atomic>

#include "viewer/core/look/Look.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/QtGeometry.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

namespace {
std::atomic<bool> g_themed{true};

constexpr int kTabsLeft = 2;  // the first tab starts here, room for the selected tab to grow
constexpr int kTabsTop = 2;
constexpr int kTabPadX = 6;
constexpr int kMaxTabText = 254;

// The themed look: flat tabs in these tones.
const QColor kThemeBorder(137, 140, 149);
const QColor kThemeTab(240, 240, 240);
const QColor kThemeHot = ToQColor(look::kSelectedRow);
const QColor kThemeSelected(255, 255, 255);

// A raised edge on the left, top and right sides (the bottom is open to the pane).
void RaisedTabEdge(QPainter& p, const QRect& r, const QPalette& pal) {
    p.setPen(pal.color(QPalette::Light));
    p.drawLine(r.left(), r.bottom(), r.left(), r.top());
    p.drawLine(r.left(), r.top(), r.right() - 1, r.top());
    p.setPen(pal.color(QPalette::Shadow));
    p.drawLine(r.right(), r.top() + 1, r.right(), r.bottom());
    p.setPen(pal.color(QPalette::Dark));
    p.drawLine(r.right() - 1, r.top() + 1, r.right() - 1, r.bottom());
}
}  // namespace

void CThemeTabCtrl::SetAppThemed(bool themed) { g_themed = themed; }
bool CThemeTabCtrl::IsAppThemed() { return g_themed; }

CThemeTabCtrl::CThemeTabCtrl(QWidget* parent) : QWidget(parent) {
    InstallAccessibleFactory();
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::StrongFocus);
    setFont(BodyFont(*this));
}

int CThemeTabCtrl::AddTab(const QString& text) {
    tabs_.push_back(text.left(kMaxTabText));
    if (current_ < 0) current_ = 0;
    updateGeometry();
    update();
    return TabCount() - 1;
}

QString CThemeTabCtrl::TabText(int index) const {
    return index < 0 || index >= TabCount() ? QString() : tabs_[static_cast<std::size_t>(index)];
}

bool CThemeTabCtrl::SetCurSel(int index) {
    if (index < -1 || index >= TabCount()) return false;
    current_ = index;
    update();
    return true;
}

int CThemeTabCtrl::TabHeight() const { return QFontMetrics(font()).height() + 8; }

QRect CThemeTabCtrl::TabRect(int index) const {
    if (index < 0 || index >= TabCount()) return {};
    const QFontMetrics fm(font());
    int x = kTabsLeft;
    for (int i = 0; i < index; ++i)
        x += fm.horizontalAdvance(tabs_[static_cast<std::size_t>(i)]) + 2 * kTabPadX + 8;
    const int w = fm.horizontalAdvance(tabs_[static_cast<std::size_t>(index)]) + 2 * kTabPadX + 8;
    return QRect(x, kTabsTop, w, TabHeight());
}

int CThemeTabCtrl::TabAt(QPoint pos) const {
    for (int i = 0; i < TabCount(); ++i)
        if (TabRect(i).contains(pos)) return i;
    return -1;
}

QRect CThemeTabCtrl::DisplayRect() const {
    const int top = kTabsTop + TabHeight() + 2;
    return rect().adjusted(4, top, -4, -4);
}

QSize CThemeTabCtrl::sizeHint() const {
    const QRect last = TabRect(TabCount() - 1);
    return QSize(std::max(200, last.right() + 4), kTabsTop + TabHeight() + 120);
}

void CThemeTabCtrl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const bool themed = IsAppThemed();
    p.fillRect(rect(), palette().color(backgroundRole_));

    const QRect pane = ToQRect(TabPaneRect(FromQRect(DisplayRect())));
    if (themed) {
        p.fillRect(pane, Qt::white);
        p.setPen(kThemeBorder);
        p.drawRect(pane.adjusted(0, 0, -1, -1));
    } else {
        p.fillRect(pane, palette().color(QPalette::Button));
        p.setPen(palette().color(QPalette::Light));
        p.drawLine(pane.topLeft(), pane.topRight());
        p.drawLine(pane.topLeft(), pane.bottomLeft());
        p.setPen(palette().color(QPalette::Shadow));
        p.drawLine(pane.bottomLeft(), pane.bottomRight());
        p.drawLine(pane.topRight(), pane.bottomRight());
    }

    p.setFont(font());
    for (int i = 0; i < TabCount(); ++i) {
        const bool selected = i == current_;
        const bool first = i == 0;
        const Rect paint = TabPaintRect(FromQRect(TabRect(i)), selected, first);
        const QRect r = ToQRect(paint);
        if (themed) {
            const QColor fill = selected ? kThemeSelected : (i == HotTab() ? kThemeHot : kThemeTab);
            p.fillRect(r, fill);
            p.setPen(kThemeBorder);
            p.drawLine(r.left(), r.bottom(), r.left(), r.top());
            p.drawLine(r.left(), r.top(), r.right(), r.top());
            p.drawLine(r.right(), r.top(), r.right(), r.bottom());
            if (selected) {  // open to the pane
                p.setPen(kThemeSelected);
                p.drawLine(r.left() + 1, r.bottom(), r.right() - 1, r.bottom());
            }
        } else {
            p.fillRect(r, palette().color(QPalette::Button));
            RaisedTabEdge(p, r, palette());
        }
        const TabTextPlace place = TabTextRect(paint, selected, first);
        p.setPen(palette().color(QPalette::ButtonText));
        p.drawText(ToQRect(place.rect),
                   (place.centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter |
                       Qt::TextSingleLine,
                   tabs_[static_cast<std::size_t>(i)]);
    }
}

void CThemeTabCtrl::RepaintTabs(const std::vector<int>& tabs) {
    for (int t : tabs) {
        // The selected tab's painting reaches 2 pixels past its rectangle.
        update(TabRect(t).adjusted(-2, -2, 0, 1));
    }
}

void CThemeTabCtrl::mouseMoveEvent(QMouseEvent* e) {
    if (IsAppThemed()) RepaintTabs(tracker_.MouseAt(TabAt(e->position().toPoint())));
    QWidget::mouseMoveEvent(e);
}

void CThemeTabCtrl::leaveEvent(QEvent* e) {
    RepaintTabs(tracker_.Leave());
    QWidget::leaveEvent(e);
}

void CThemeTabCtrl::ChooseTab(int index) {
    if (index < 0 || index >= TabCount() || index == current_) return;
    current_ = index;
    update();
    emit currentChanged(index);
}

void CThemeTabCtrl::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) ChooseTab(TabAt(e->position().toPoint()));
    QWidget::mousePressEvent(e);
}

void CThemeTabCtrl::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Left) return ChooseTab(current_ - 1);
    if (e->key() == Qt::Key_Right) return ChooseTab(current_ + 1);
    QWidget::keyPressEvent(e);
}

void CThemeTabCtrl::changeEvent(QEvent* e) {
    if (e->type() == QEvent::FontChange) updateGeometry();
    QWidget::changeEvent(e);
}

}  // namespace tarvell
