#include "viewer/settings/CSettingsPanelBase.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <algorithm>

#include "viewer/core/look/Look.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

namespace {
constexpr int kRightMargin = 12;  // between a text and the panel's right edge
QString TextStyle() { return QStringLiteral("color: rgb(83,83,83); background: transparent;"); }
}  // namespace

CSettingsPanelBase::CSettingsPanelBase(const QString& title, CommandId category, QWidget* parent)
    : QWidget(parent), category_(category) {
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, ToQColor(look::kText));
    setPalette(pal);
    title_ = new QLabel(title, this);
    title_->setFont(DesignFont(QStringLiteral("Tahoma"), logicalDpiX() / 7, 700));
    title_->setStyleSheet(TextStyle());
    title_->setGeometry(10, 3, 150, 22);
}

void CSettingsPanelBase::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(ToQColor(look::kPanelFrame));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(0.5, 0.5, 164, 29), 3, 3);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRect(0, 25, 165, 5), Qt::white);
    p.fillRect(QRect(160, 0, 5, 30), Qt::white);
}

QLabel* CSettingsPanelBase::AddText(const QString& text, QRect place, bool heading) {
    auto* label = new QLabel(text, this);
    label->setFont(DesignFont(QStringLiteral("Tahoma"), 13, heading ? 700 : 400));
    label->setStyleSheet(TextStyle());
    label->setWordWrap(!heading);
    label->setGeometry(place);
    if (!heading) texts_.emplace_back(label, place);
    return label;
}

void CSettingsPanelBase::resizeEvent(QResizeEvent*) {
    for (const auto& [label, place] : texts_) {
        const int room = std::max(0, width() - place.left() - kRightMargin);
        label->resize(std::min(place.width(), room), place.height());
    }
    for (const Check& check : checks_) {
        const int room =
            std::min(check.place.width(), std::max(0, width() - check.place.left() - kRightMargin));
        check.box->resize(room, check.place.height());
        const QFontMetrics fm(check.box->font());
        const int indicator =
            check.box->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, check.box) +
            check.box->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, check.box) +
            4;
        QString shown = check.text;
        if (check.place.height() >= 2 * fm.lineSpacing() &&
            fm.horizontalAdvance(check.text) + indicator > room) {
            qsizetype cut = check.text.size();
            do {
                cut = check.text.lastIndexOf(QLatin1Char(' '), cut - 1);
            } while (cut > 0 && fm.horizontalAdvance(check.text.left(cut)) + indicator > room);
            if (cut > 0) shown = check.text.left(cut) + QLatin1Char('\n') + check.text.mid(cut + 1);
        }
        if (check.box->text() == shown) continue;
        check.box->setText(shown);
        // Its name stays the one line a screen reader would read.
        if (check.box->accessibleName().isEmpty()) check.box->setAccessibleName(check.text);
    }
}

QCheckBox* CSettingsPanelBase::AddCheck(const QString& text, QRect place) {
    auto* box = new QCheckBox(text, this);
    box->setFont(DesignFont(QStringLiteral("Tahoma"), 13));
    // A palette, not a style sheet: a style sheet would take the box's indicator away.
    QPalette pal = box->palette();
    pal.setColor(QPalette::WindowText, ToQColor(look::kText));
    pal.setColor(QPalette::Window, Qt::white);
    box->setPalette(pal);
    box->setGeometry(place);
    checks_.push_back({box, place, text});
    // The box's value, whatever changed it: a click, the space key or an assistive technology's
    // toggle (which never emits clicked). A load changes it too; the window disables Save after.
    connect(box, &QCheckBox::toggled, this, &CSettingsPanelBase::changed);
    return box;
}

LinkLabel* CSettingsPanelBase::AddLinkedTo(QCheckBox* box, const QString& text, QRect place) {
    auto* link = new LinkLabel(text, 0, this);
    link->setFont(DesignFont(QStringLiteral("Tahoma"), 13));
    link->SetColor(ToQColor(look::kLink));
    link->SetUnderlined(true);
    link->setGeometry(place);
    link->SetActive(box->isChecked());
    if (box->text().isEmpty()) SetControlName(box, NameFromLabel(text));  // the link says it
    connect(box, &QCheckBox::toggled, link, &LinkLabel::SetActive);
    return link;
}

}  // namespace tarvell
