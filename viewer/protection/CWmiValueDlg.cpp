#include "viewer/protection/CWmiValueDlg.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "viewer/core/base/Prompt.h"
#include "viewer/core/protection/DetectionPages.h"
#include "viewer/core/protection/WmiConditions.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

CWmiValueDlg::CWmiValueDlg(std::vector<std::string>& values, int index, Prompt& prompt,
                           QWidget* parent)
    : QDialog(parent), values_(values), index_(index), prompt_(prompt) {
    setWindowTitle(QStringLiteral("WMI Value"));
    auto* layout = new QVBoxLayout(this);
    auto* label =
        new QLabel(QStringLiteral("Set WMI value to the list of available values:"), this);
    layout->addWidget(label);
    edit_ = Labelled(label, new QPlainTextEdit(this));
    layout->addWidget(edit_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    if (index_ >= 0 && index_ < static_cast<int>(values_.size()))
        edit_->setPlainText(FromStored(values_[static_cast<std::size_t>(index_)]));
}

void CWmiValueDlg::accept() {
    std::string value = ToStored(edit_->toPlainText());
    if (CheckWmiValue(value) != 0) {
        prompt_.AskString(static_cast<unsigned>(kMsgSettingsInvalid), PromptButtons::Ok,
                          PromptIcon::Information);
        return;
    }
    if (index_ >= 0 && index_ < static_cast<int>(values_.size()))
        values_.erase(values_.begin() + index_);
    InsertWmiValue(values_, std::move(value));
    QDialog::accept();
}

}  // namespace tarvell
