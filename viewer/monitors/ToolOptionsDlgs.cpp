#include "viewer/monitors/ToolOptionsDlgs.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <algorithm>
#include <memory>

#include "viewer/core/look/Look.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/DialogLook.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

namespace {

constexpr int kWidth = 380;
constexpr int kHeight = 150;

QLabel* Text(QWidget* parent, const QString& text, QRect place, bool header = false) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(place);
    label->setFont(HeaderFont(header));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, header ? Qt::white : ToQColor(look::kText));
    label->setPalette(palette);
    return label;
}

}  // namespace

CToolOptionsDlg::CToolOptionsDlg(const nodetools::ToolOptionsForm& form, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(form.caption));
    setObjectName(QStringLiteral("dialog%1").arg(form.dialogId));
    setFixedSize(kWidth, kHeight);
    Text(this, QString::fromLatin1(form.header), {10, 3, kWidth - 20, 16}, true);
    const nodetools::OptionField* fields[2] = {&form.first, &form.second};
    // The edits start after the longer label, whatever width the font gives it.
    const QFontMetrics metrics(HeaderFont(false));
    const int editX = 20 + 8 +
                      std::max(metrics.horizontalAdvance(QString::fromLatin1(form.first.label)),
                               metrics.horizontalAdvance(QString::fromLatin1(form.second.label)));
    for (int i = 0; i < 2; ++i) {
        const nodetools::OptionField& f = *fields[i];
        const int y = 48 + 28 * i;
        QLabel* label = Text(this, QString::fromLatin1(f.label), {20, y + 2, editX - 24, 18});
        auto* edit = Labelled(label, new QLineEdit(QString::fromLatin1(f.initial), this));
        edit->setFont(HeaderFont(false));
        const bool narrow = f.digitsOnly;
        edit->setGeometry(editX, y, narrow ? 70 : kWidth - editX - 20, 22);
        if (f.digitsOnly) {
            edit->setMaxLength(nodetools::kMaxOptionDigits);
            edit->setValidator(new QRegularExpressionValidator(
                QRegularExpression(QStringLiteral("[0-9]*")), edit));
        }
        if (f.password) edit->setEchoMode(QLineEdit::Password);
        if (*f.unit) Text(this, QString::fromLatin1(f.unit), {editX + 76, y + 2, 120, 18});
        edits_[i] = edit;
    }
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    ok_->setGeometry(kWidth - 172, kHeight - 38, 75, 24);
    cancel_->setGeometry(kWidth - 89, kHeight - 38, 75, 24);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    edits_[0]->setFocus();
    edits_[0]->selectAll();
}

void CToolOptionsDlg::accept() {
    first_ = edits_[0]->text();
    second_ = edits_[1]->text();
    QDialog::accept();
}

void CToolOptionsDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintDialogFrame(p, rect(), 8, width() - 8, height() - 8);
}

CPingOptionsDlg::CPingOptionsDlg(QWidget* parent)
    : CToolOptionsDlg(nodetools::ToolOptionsFormOf(1), parent) {}
CSnmpOptionsDlg::CSnmpOptionsDlg(QWidget* parent)
    : CToolOptionsDlg(nodetools::ToolOptionsFormOf(2), parent) {}
CWmiOptionsDlg::CWmiOptionsDlg(QWidget* parent)
    : CToolOptionsDlg(nodetools::ToolOptionsFormOf(3), parent) {}

CToolOptionsDlg* CreateToolOptionsDlg(int tab, QWidget* parent) {
    if (tab == 2) return new CSnmpOptionsDlg(parent);
    if (tab == 3) return new CWmiOptionsDlg(parent);
    return new CPingOptionsDlg(parent);
}

bool AskToolOptions(QWidget* parent, int tab, QString& first, QString& second) {
    const std::unique_ptr<CToolOptionsDlg> dlg(CreateToolOptionsDlg(tab, parent));
    if (dlg->exec() != QDialog::Accepted) return false;
    first = dlg->First();
    second = dlg->Second();
    return true;
}

}  // namespace tarvell
