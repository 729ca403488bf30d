#include "viewer/widgets/MessageBoxPrompt.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

#include "viewer/core/base/StringTable.h"

namespace tarvell {
namespace {

// Acts on the message box once it is open: records what it shows, then `act` closes it.
struct BoxSeen {
    QString title, text;
    Qt::TextFormat format = Qt::AutoText;
};

PromptAnswer AskAndAct(const PromptRequest& request, BoxSeen& seen,
                       const std::function<void(QMessageBox*)>& act) {
    QTimer::singleShot(0, [&seen, act] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = BoxSeen{box->windowTitle(), box->text(), box->textFormat()};
        act(box);
    });
    MessageBoxPrompt prompt;
    return prompt.Ask(request);
}

TEST(MessageBoxPrompt, ShowsThePlainTextUnderTheProgramTitleAndReturnsTheButton) {
    BoxSeen seen;
    const PromptRequest ask{std::string(LoadString(str::kAskStopService)), "",
                            PromptButtons::YesNoCancel, PromptIcon::Question};
    EXPECT_EQ(AskAndAct(ask, seen, [](QMessageBox* b) { b->button(QMessageBox::Yes)->click(); }),
              PromptAnswer::Yes);
    EXPECT_EQ(seen.title, QStringLiteral("Quenmark Tarvell"));
    EXPECT_EQ(seen.text.toStdString(), LoadString(str::kAskStopService));
    EXPECT_EQ(seen.format, Qt::PlainText);  // a stored name is never read as markup

    const PromptRequest named{"Switch <b>core</b> & co", "Caption", PromptButtons::OkCancel,
                              PromptIcon::Warning};
    EXPECT_EQ(
        AskAndAct(named, seen, [](QMessageBox* b) { b->button(QMessageBox::Cancel)->click(); }),
        PromptAnswer::Cancel);
    EXPECT_EQ(seen.title, QStringLiteral("Caption"));
    EXPECT_EQ(seen.text, QStringLiteral("Switch <b>core</b> & co"));
}

TEST(MessageBoxPrompt, ClosingTheBoxWithoutAChoiceIsTheDismissAnswer) {
    BoxSeen seen;
    const PromptRequest ask{"Stop?", "", PromptButtons::YesNo, PromptIcon::Question};
    EXPECT_EQ(AskAndAct(ask, seen, [](QMessageBox* b) { b->done(-1); }), PromptAnswer::No);
}

}  // namespace
}  // namespace tarvell
