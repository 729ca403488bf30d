// The program's Prompt: a modal message box over a parent window (core/Prompt.h).
#pragma once

#include "viewer/core/base/Prompt.h"

class QWidget;

namespace tarvell {

class MessageBoxPrompt : public Prompt {
public:
    explicit MessageBoxPrompt(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    PromptAnswer Ask(const PromptRequest& request) override;

private:
    QWidget* parent_;
};

}  // namespace tarvell
