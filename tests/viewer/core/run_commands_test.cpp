// What the Commands page writes is what the service's reader takes.
#include "viewer/core/settings/RunCommands.h"

#include <gtest/gtest.h>

#include "service/alerts/CScanAlertsRun.h"
#include "viewer/core/base/StringTable.h"

namespace tarvell {
namespace {

TEST(RunCommandCodecTest, ThePageWritesWhatTheServiceReads) {
    struct Case {
        CommandProperties p;
        const char* entry;
    };
    const Case cases[] = {
        {{"/bin/x", "", "", "", ""}, "n;/bin/x;;;;;"},
        {{"/bin/x", "", "nobody", "", ""}, "n;/bin/x;;nobody;;;"},
        {{"/bin/prog", "-v $alert", "bob", "CORP", "pw"}, "n;/bin/prog;-v $alert;bob;CORP;pw;"},
    };
    for (const Case& c : cases) {
        RunCommandList list;
        list.Load({});
        list.Add("n", [&](const std::string&) { return PropertiesString(c.p); });
        const std::vector<std::string> stored = list.Store();
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_EQ(stored[0], c.entry);
        EXPECT_EQ(ParseCommandTarget(stored[0]), c.p);
        EXPECT_EQ(ParseProperties(*list.PropertiesOf("n")), c.p);
    }
    // A stored password with ";" and no closing ";" keeps it, for the page and the service.
    EXPECT_EQ(ParseCommandTarget("x;/bin/prog;-v $alert;bob;CORP;pa;ss")->password, "pa;ss");
    // The service runs nothing from an entry short of a field.
    EXPECT_FALSE(ParseCommandTarget("x;/bin/prog;-v;bob;CORP"));
    EXPECT_EQ(ParseProperties(*ParseCommandEntry("x;/bin/prog;-v $alert;bob;CORP;pa;ss").properties)
                  .password,
              "pa;ss");
}

TEST(RunCommandCodecTest, EntriesSplitAtTheLastBarAndTheFirstSemicolon) {
    RunCommandList list;
    list.Load({"a;/bin/a;x|y;;;;|0/New*;", "b", "c;/bin/c;;;;;|"});
    EXPECT_EQ(list.Names(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(list.PropertiesOf("a"), "/bin/a;x|y;;;;");
    EXPECT_EQ(list.FiltersOf("a"), "0/New*;");
    EXPECT_FALSE(list.PropertiesOf("b"));
    EXPECT_EQ(list.Store(),
              (std::vector<std::string>{"a;/bin/a;x|y;;;;|0/New*;", "b", "c;/bin/c;;;;;"}));
    ASSERT_TRUE(list.Remove(0));  // both maps forget it
    EXPECT_FALSE(list.PropertiesOf("a"));
    EXPECT_EQ(list.FiltersOf("a"), "");
    EXPECT_FALSE(list.Remove(5));
    EXPECT_EQ(list.Store(), (std::vector<std::string>{"b", "c;/bin/c;;;;;"}));
}

TEST(RunCommandListTest, AddRunsTheDialogOnlyForANewAcceptableName) {
    using R = RunCommandList::AddResult;
    struct Case {
        const char* name;
        bool ok;
        R result;
        unsigned message;
        bool dialogRan, clearEdit;
    };
    const Case cases[] = {
        {"stamp", true, R::Added, 0, true, true},
        {"new", false, R::Cancelled, 0, true, true},  // no row, the edit is emptied
        {"B", true, R::Duplicate, 0, false, false},   // ignoring case; the edit keeps its text
        {"a;b", true, R::Refused, str::kCommandSeparator, false, false},
        {"a|b", true, R::Refused, str::kCommandSeparator, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunCommandList list;
        list.Load({"b;/bin/b;;;;;"});
        bool ran = false;
        const auto out = list.Add(c.name, [&](const std::string&) -> std::optional<std::string> {
            ran = true;
            if (!c.ok) return std::nullopt;
            return "/bin/x;;;;;";
        });
        EXPECT_EQ(out.result, c.result);
        EXPECT_EQ(out.message, c.message);
        EXPECT_EQ(ran, c.dialogRan);
        EXPECT_EQ(out.clearEdit, c.clearEdit);
        EXPECT_EQ(list.Names().size(), c.result == R::Added ? 2u : 1u);
    }
}

TEST(RunCommandListTest, TheDialogRefusesAnEmptyCommandAndSeparatorsInAnyField) {
    struct Case {
        CommandProperties p;
        unsigned message;
    };
    const Case cases[] = {
        {{"", "-v", "", "", ""}, str::kCommandInvalid},
        {{"/bin/x", "a;b", "", "", ""}, str::kCommandSeparator},
        {{"/bin/x", "", "u|v", "", ""}, str::kCommandSeparator},
        {{"/bin/x", "", "", "", "p;"}, str::kCommandSeparator},
        {{"/bin/x", "\"$source_ip\"", "nobody", "", ""}, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(CheckCommandProperties(c.p), c.message);
    EXPECT_EQ(LoadString(str::kCommandInvalid),
              "The specified command is invalid, please try again.");
}

}  // namespace
}  // namespace tarvell
