#include "viewer/settings/CSettingsPanelBase.h"

#include <QPainter>
#include <QPainterPath>

#include "viewer/core/look/Look.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

namespace {
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
    return label;
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
