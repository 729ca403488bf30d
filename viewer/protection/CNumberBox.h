// A number box: digits only, its arrows step within a range, a typed value is kept as typed
// (the range does not clamp it) and an empty box stays empty. GUI thread only.
#pragma once

#include <QAbstractSpinBox>
#include <QValidator>

namespace tarvell {

class CNumberBox : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit CNumberBox(QWidget* parent = nullptr);
    void SetRange(int low, int high);
    QString Text() const;
    void SetText(const QString& text);
    void stepBy(int steps) override;

signals:
    // Typed or stepped by the user (not by SetText).
    void edited();

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    StepEnabled stepEnabled() const override;

private:
    int low_ = 0, high_ = 0;
};

}  // namespace tarvell
