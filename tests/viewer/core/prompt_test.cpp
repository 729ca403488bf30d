#include "viewer/core/base/Prompt.h"

#include <gtest/gtest.h>

#include "viewer/core/base/StringTable.h"

namespace tarvell {
namespace {

TEST(PromptRecorder, RecordsEveryQuestionAndAnswersFromItsScript) {
    PromptRecorder prompt;
    prompt.Script({PromptAnswer::Yes, PromptAnswer::Cancel});
    EXPECT_EQ(
        prompt.AskString(str::kAskStopService, PromptButtons::YesNoCancel, PromptIcon::Question),
        PromptAnswer::Yes);
    EXPECT_EQ(
        prompt.AskString(str::kAskStopService, PromptButtons::YesNoCancel, PromptIcon::Question),
        PromptAnswer::Cancel);
    ASSERT_EQ(prompt.Requests().size(), 2u);
    EXPECT_EQ(prompt.Requests()[0].text, LoadString(str::kAskStopService));
    EXPECT_EQ(prompt.Requests()[0].icon, PromptIcon::Question);
    EXPECT_TRUE(prompt.Requests()[0].caption.empty());
}

TEST(PromptRecorder, WithoutAScriptedAnswerTheBoxIsDismissed) {
    // The dismiss answer is the safe one: a stop question never answers Yes by itself.
    struct Case {
        PromptButtons buttons;
        PromptAnswer dismissed;
    };
    for (const Case& c : {Case{PromptButtons::Ok, PromptAnswer::Ok},
                          Case{PromptButtons::OkCancel, PromptAnswer::Cancel},
                          Case{PromptButtons::YesNo, PromptAnswer::No},
                          Case{PromptButtons::YesNoCancel, PromptAnswer::Cancel}}) {
        PromptRecorder prompt;
        EXPECT_EQ(prompt.Ask(PromptRequest{"?", "", c.buttons, PromptIcon::None}), c.dismissed);
    }
}

TEST(PromptRecorder, AnAnswerTheButtonsDoNotOfferIsADismissal) {
    PromptRecorder prompt;
    prompt.Script({PromptAnswer::Yes, PromptAnswer::Ok});
    EXPECT_EQ(prompt.AskString(str::kConnectFailed, PromptButtons::Ok, PromptIcon::Information),
              PromptAnswer::Ok);  // "Yes" is no button of an Ok box
    EXPECT_EQ(prompt.Ask(PromptRequest{"?", "", PromptButtons::YesNo, PromptIcon::None}),
              PromptAnswer::No);  // nor "Ok" of a Yes/No box
    prompt.Clear();
    EXPECT_TRUE(prompt.Requests().empty());
}

}  // namespace
}  // namespace tarvell
