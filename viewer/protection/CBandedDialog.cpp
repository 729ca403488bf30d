#include "viewer/protection/CBandedDialog.h"

#include <QDialogButtonBox>
#include <QPainter>

#include "viewer/core/base/Prompt.h"
#include "viewer/widgets/DialogLook.h"

namespace tarvell {

void CBandedDialog::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintBands(p, rect(), true);
}

void CBandedDialog::Tell(Prompt* prompt, unsigned id) {
    if (prompt) prompt->AskString(id, PromptButtons::Ok, PromptIcon::Information);
}

QDialogButtonBox* CBandedDialog::OkCancel() {
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    return box;
}

}  // namespace tarvell
