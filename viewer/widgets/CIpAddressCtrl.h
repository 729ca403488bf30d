// An IPv4 address entry: four octet fields of up to three digits (0..255) between dots. Typing a
// third digit or a dot moves to the next field; Backspace in an empty field goes back to the
// previous one. The control is blank while all four fields are empty; a field left empty in an
// address that is not blank reads 0. GUI thread only.
#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <optional>

#include "viewer/core/base/AddressText.h"

class QLineEdit;

namespace tarvell {

class CIpAddressCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CIpAddressCtrl(QWidget* parent = nullptr);

    bool IsBlank() const;
    void ClearAddress();
    // "a.b.c.d", or empty when blank.
    QString Text() const;
    // Takes a dotted IPv4 address ("10.0.0.1"); false, and nothing changed, for any other text.
    bool SetText(const QString& dotted);
    std::optional<Ipv4Octets> Address() const;
    void SetAddress(const Ipv4Octets& octets);
    // The octet field 0..3 (for focus and tests).
    QLineEdit* Field(int index) const;

    QSize sizeHint() const override;

signals:
    // The user changed a field (the setters and ClearAddress do not signal).
    void addressChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::array<QLineEdit*, 4> fields_{};
};

}  // namespace tarvell
