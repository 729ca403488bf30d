#include "viewer/widgets/CIpAddressCtrl.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

#include "viewer/widgets/Fonts.h"

namespace tarvell {

CIpAddressCtrl::CIpAddressCtrl(QWidget* parent) : QWidget(parent) {
    setFont(BodyFont(*this));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    static const QRegularExpression octet(
        QStringLiteral("25[0-5]|2[0-4][0-9]|1[0-9]{2}|[0-9]{1,2}|"));
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        if (i > 0) {
            auto* dot = new QLabel(QStringLiteral("."), this);
            dot->setAlignment(Qt::AlignCenter);
            row->addWidget(dot);
        }
        auto* f = new QLineEdit(this);
        f->setValidator(new QRegularExpressionValidator(octet, f));
        f->setMaxLength(3);
        f->setAlignment(Qt::AlignCenter);
        f->setAccessibleName(QStringLiteral("Address part %1").arg(i + 1));
        f->installEventFilter(this);
        row->addWidget(f, 1);
        fields_[i] = f;
        connect(f, &QLineEdit::textEdited, this, [this, i](const QString& text) {
            if (text.size() == 3 && i + 1 < fields_.size()) {
                fields_[i + 1]->setFocus();
                fields_[i + 1]->selectAll();
            }
            emit addressChanged();
        });
    }
    setFocusProxy(fields_[0]);
}

QLineEdit* CIpAddressCtrl::Field(int index) const {
    return index >= 0 && index < 4 ? fields_[static_cast<std::size_t>(index)] : nullptr;
}

bool CIpAddressCtrl::IsBlank() const {
    for (const QLineEdit* f : fields_)
        if (!f->text().isEmpty()) return false;
    return true;
}

void CIpAddressCtrl::ClearAddress() {
    for (QLineEdit* f : fields_) f->clear();
}

std::optional<Ipv4Octets> CIpAddressCtrl::Address() const {
    if (IsBlank()) return std::nullopt;
    Ipv4Octets out{};
    for (std::size_t i = 0; i < fields_.size(); ++i)
        out[i] = static_cast<std::uint8_t>(std::min(255, fields_[i]->text().toInt()));
    return out;
}

QString CIpAddressCtrl::Text() const {
    const auto a = Address();
    return a ? QString::fromStdString(FormatDottedIpv4(*a)) : QString();
}

void CIpAddressCtrl::SetAddress(const Ipv4Octets& octets) {
    for (std::size_t i = 0; i < fields_.size(); ++i)
        fields_[i]->setText(QString::number(octets[i]));
}

bool CIpAddressCtrl::SetText(const QString& dotted) {
    if (dotted.size() > 15) return false;
    const auto parsed = ParseDottedIpv4(dotted.toStdString());
    if (!parsed) return false;
    SetAddress(*parsed);
    return true;
}

QSize CIpAddressCtrl::sizeHint() const {
    const QFontMetrics fm(font());
    return QSize(4 * (fm.horizontalAdvance(QStringLiteral("000")) + 12) +
                     3 * fm.horizontalAdvance(QLatin1Char('.')) + 6,
                 fields_[0]->sizeHint().height());
}

bool CIpAddressCtrl::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        if (watched != fields_[i]) continue;
        if (key->key() == Qt::Key_Period && i + 1 < fields_.size()) {
            if (!fields_[i]->text().isEmpty()) {
                fields_[i + 1]->setFocus();
                fields_[i + 1]->selectAll();
            }
            return true;
        }
        if (key->key() == Qt::Key_Backspace && i > 0 && fields_[i]->cursorPosition() == 0 &&
            !fields_[i]->hasSelectedText()) {
            fields_[i - 1]->setFocus();
            fields_[i - 1]->end(false);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tarvell
