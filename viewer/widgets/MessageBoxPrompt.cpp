#include "viewer/widgets/MessageBoxPrompt.h"

#include <QMessageBox>

#include "viewer/core/base/StringTable.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

PromptAnswer MessageBoxPrompt::Ask(const PromptRequest& request) {
    QMessageBox box(parent_);
    box.setWindowTitle(FromUtf8(request.caption.empty() ? LoadString(str::kAppTitle)
                                                        : std::string_view(request.caption)));
    // Plain text: a message may quote a stored name, which must never be read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(FromUtf8(request.text));
    switch (request.icon) {
        case PromptIcon::None: box.setIcon(QMessageBox::NoIcon); break;
        case PromptIcon::Information: box.setIcon(QMessageBox::Information); break;
        case PromptIcon::Question: box.setIcon(QMessageBox::Question); break;
        case PromptIcon::Warning: box.setIcon(QMessageBox::Warning); break;
        case PromptIcon::Error: box.setIcon(QMessageBox::Critical); break;
    }
    switch (request.buttons) {
        case PromptButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
        case PromptButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case PromptButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case PromptButtons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Ok: return PromptAnswer::Ok;
        case QMessageBox::Yes: return PromptAnswer::Yes;
        case QMessageBox::No: return PromptAnswer::No;
        case QMessageBox::Cancel: return PromptAnswer::Cancel;
        default: return DismissAnswer(request.buttons);
    }
}

}  // namespace tarvell
