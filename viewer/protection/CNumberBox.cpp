#include "viewer/protection/CNumberBox.h"

#include <QAbstractSpinBox>
#include <QLineEdit>
#include <QValidator>
#include <algorithm>

#include "viewer/core/protection/DetectionPages.h"

namespace tarvell {

CNumberBox::CNumberBox(QWidget* parent) : QAbstractSpinBox(parent) {
    lineEdit()->setMaxLength(16);
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { emit edited(); });
}

void CNumberBox::SetRange(int low, int high) {
    low_ = low;
    high_ = high;
}

QString CNumberBox::Text() const { return lineEdit()->text(); }

void CNumberBox::SetText(const QString& text) { lineEdit()->setText(text); }

void CNumberBox::stepBy(int steps) {
    if (high_ <= 0) return;
    const auto typed = ParseBoxNumber(Text().toStdString());
    const long long value = typed ? *typed : low_;
    SetText(QString::number(std::clamp<long long>(value + steps, low_, high_)));
    emit edited();
}

QValidator::State CNumberBox::validate(QString& input, int&) const {
    for (const QChar c : input)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return QValidator::Invalid;
    return QValidator::Acceptable;
}

QAbstractSpinBox::StepEnabled CNumberBox::stepEnabled() const {
    if (high_ <= 0 || !isEnabled()) return StepNone;
    const auto typed = ParseBoxNumber(Text().toStdString());
    const long long value = typed ? *typed : low_;
    StepEnabled enabled = StepNone;
    if (value < high_) enabled |= StepUpEnabled;
    if (value > low_) enabled |= StepDownEnabled;
    return enabled;
}

}  // namespace tarvell
