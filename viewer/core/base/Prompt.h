// Message boxes behind an interface. Screens and core pages ask through a Prompt; the program
// gives them the Qt message-box prompt (widgets/MessageBoxPrompt.h), tests a PromptRecorder that
// records every question and answers from a script at once, so no test ever waits for a click.
// Texts are UTF-8; a text read from a stored file is converted before it is shown.
#pragma once

#include <deque>
#include <string>
#include <vector>

namespace tarvell {

enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class PromptIcon { None, Information, Question, Warning, Error };
enum class PromptAnswer { Ok, Cancel, Yes, No };

struct PromptRequest {
    std::string text;
    std::string caption;  // empty: the program's title
    PromptButtons buttons = PromptButtons::Ok;
    PromptIcon icon = PromptIcon::None;

    bool operator==(const PromptRequest&) const = default;
};

class Prompt {
public:
    virtual ~Prompt() = default;
    // Shows the request and returns the button chosen. Closing the box without a choice answers
    // Cancel where there is a Cancel button, No for Yes/No and Ok for a lone Ok.
    virtual PromptAnswer Ask(const PromptRequest& request) = 0;

    // The text of string `stringId` (StringTable.h) under the program's title.
    PromptAnswer AskString(unsigned stringId, PromptButtons buttons, PromptIcon icon);
};

// The answer a box gives when it is closed without a choice (see Prompt::Ask).
PromptAnswer DismissAnswer(PromptButtons buttons);

class PromptRecorder : public Prompt {
public:
    PromptAnswer Ask(const PromptRequest& request) override;

    // Answers given in turn to the next questions. An answer that the question's buttons do not
    // offer, or a question with no scripted answer left, gets the dismiss answer.
    void Script(std::vector<PromptAnswer> answers);
    const std::vector<PromptRequest>& Requests() const { return requests_; }
    void Clear() {
        requests_.clear();
        answers_.clear();
    }

private:
    std::vector<PromptRequest> requests_;
    std::deque<PromptAnswer> answers_;
};

}  // namespace tarvell
