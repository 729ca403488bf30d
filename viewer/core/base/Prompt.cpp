#include "viewer/core/base/Prompt.h"

#include "viewer/core/base/StringTable.h"

namespace tarvell {

namespace {
bool Offers(PromptButtons buttons, PromptAnswer answer) {
    switch (buttons) {
        case PromptButtons::Ok: return answer == PromptAnswer::Ok;
        case PromptButtons::OkCancel:
            return answer == PromptAnswer::Ok || answer == PromptAnswer::Cancel;
        case PromptButtons::YesNo: return answer == PromptAnswer::Yes || answer == PromptAnswer::No;
        case PromptButtons::YesNoCancel: return answer != PromptAnswer::Ok;
    }
    return false;
}
}  // namespace

PromptAnswer DismissAnswer(PromptButtons buttons) {
    switch (buttons) {
        case PromptButtons::Ok: return PromptAnswer::Ok;
        case PromptButtons::YesNo: return PromptAnswer::No;
        case PromptButtons::OkCancel:
        case PromptButtons::YesNoCancel: return PromptAnswer::Cancel;
    }
    return PromptAnswer::Cancel;
}

PromptAnswer Prompt::AskString(unsigned stringId, PromptButtons buttons, PromptIcon icon) {
    return Ask(PromptRequest{std::string(LoadString(stringId)), std::string(), buttons, icon});
}

PromptAnswer PromptRecorder::Ask(const PromptRequest& request) {
    requests_.push_back(request);
    if (answers_.empty()) return DismissAnswer(request.buttons);
    const PromptAnswer a = answers_.front();
    answers_.pop_front();
    return Offers(request.buttons, a) ? a : DismissAnswer(request.buttons);
}

void PromptRecorder::Script(std::vector<PromptAnswer> answers) {
    answers_.assign(answers.begin(), answers.end());
}

}  // namespace tarvell
