#include "viewer/core/shell/SheetRules.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "viewer/core/base/AddressText.h"

namespace tarvell {
namespace {

// A page that writes each call into the sheet's log as "<letter><call>" (aC = page a created).
struct FakePage : ISheetPage {
    FakePage(char n, std::string& log) : name(n), log(log) {}
    void OnCreate() override { Note("C"); }
    bool OnSetActive() override {
        Note("S");
        return true;
    }
    bool OnKillActive() override {
        Note("K");
        if (endOnKill) sheet->EndSheet(-1);
        return keep == 0 ? true : (--keep, false);
    }
    bool OnOK() override {
        Note("O");
        return refuseOk == 0 ? true : (--refuseOk, false);
    }
    void OnCancel() override { Note("X"); }
    void Note(const char* what) {
        log += name;
        log += what;
        log += ' ';
    }
    char name;
    std::string& log;
    int keep = 0;      // OnKillActive refuses this many times
    int refuseOk = 0;  // OnOK refuses this many times
    bool endOnKill = false;
    SheetRules* sheet = nullptr;
};

enum class Step { Tab0, Tab1, Tab2, ModifyB, Ok, Apply, Cancel, EndAborted };

struct Case {
    const char* name;
    std::vector<Step> steps;
    int keepA, refuseOkB;
    bool endOnKillB;
    const char* log;  // every call after the start ("aC aS " is shown)
    bool ended;
    int result;
    int current;
};

TEST(SheetRulesTest, ThreePagesTwoVisited) {
    using S = Step;
    const Case cases[] = {
        {"OK applies the two visited pages in order",
         {S::Tab1, S::Ok},
         0,
         0,
         false,
         "aK bC bS bK aO bO ",
         true,
         kSheetOk,
         1},
        {"a refused tab change keeps the page",
         {S::Tab1, S::Tab1},
         1,
         0,
         false,
         "aK aK bC bS ",
         false,
         0,
         1},
        {"a refused OK keeps the sheet open, the next OK closes it",
         {S::Tab1, S::Ok, S::Ok},
         0,
         1,
         false,
         "aK bC bS bK aO bO bK aO bO ",
         true,
         kSheetOk,
         1},
        {"a veto of the current page's check on OK applies nothing",
         {S::Ok, S::Tab1, S::Ok},
         1,
         0,
         false,
         "aK aK bC bS bK aO bO ",
         true,
         kSheetOk,
         1},
        {"Apply is refused while nothing is modified",
         {S::Tab1, S::Apply},
         0,
         0,
         false,
         "aK bC bS ",
         false,
         0,
         1},
        {"Apply applies, stays open, and is then disabled",
         {S::Tab1, S::ModifyB, S::Apply, S::Apply},
         0,
         0,
         false,
         "aK bC bS bK aO bO ",
         false,
         0,
         1},
        {"Cancel runs OnCancel on the visited pages only",
         {S::Tab1, S::Cancel},
         0,
         0,
         false,
         "aK bC bS aX bX ",
         true,
         kSheetCancel,
         1},
        {"EndSheet(-1) applies nothing and ignores what follows",
         {S::Tab1, S::EndAborted, S::Ok, S::Cancel, S::Tab2},
         0,
         0,
         false,
         "aK bC bS ",
         true,
         -1,
         1},
        {"a page ending the sheet in its check stops OK",
         {S::Tab1, S::Ok},
         0,
         0,
         true,
         "aK bC bS bK ",
         true,
         -1,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string log;
        SheetRules sheet;
        FakePage a('a', log), b('b', log), z('c', log);
        for (FakePage* p : {&a, &b, &z}) {
            p->sheet = &sheet;
            sheet.AddPage(p);
        }
        a.keep = c.keepA;
        b.refuseOk = c.refuseOkB;
        b.endOnKill = c.endOnKillB;
        ASSERT_TRUE(sheet.Start());
        EXPECT_EQ(log, "aC aS ");
        log.clear();
        for (Step s : c.steps) {
            switch (s) {
                case S::Tab0: sheet.SetActivePage(0); break;
                case S::Tab1: sheet.SetActivePage(1); break;
                case S::Tab2: sheet.SetActivePage(2); break;
                case S::ModifyB:
                    sheet.SetModified(1, true);
                    EXPECT_TRUE(sheet.IsApplyEnabled());
                    break;
                case S::Ok: sheet.Ok(); break;
                case S::Apply: sheet.Apply(); break;
                case S::Cancel: sheet.Cancel(); break;
                case S::EndAborted: sheet.EndSheet(-1); break;
            }
        }
        EXPECT_EQ(log, c.log);
        EXPECT_EQ(sheet.IsEnded(), c.ended);
        EXPECT_EQ(sheet.Result(), c.result);
        EXPECT_EQ(sheet.Current(), c.current);
        EXPECT_FALSE(sheet.IsCreated(2));  // the third page was never shown
        EXPECT_FALSE(sheet.IsApplyEnabled());
    }
}

TEST(SheetRulesTest, DottedIpv4IsStrict) {
    const std::pair<const char*, bool> cases[] = {
        {"192.168.0.1", true}, {"0.0.0.0", true},   {"255.255.255.255", true}, {"010.1.1.1", true},
        {"256.1.1.1", false},  {"1.2.3", false},    {"1.2.3.4.", false},       {"1.2.3.4.5", false},
        {"", false},           {" 1.2.3.4", false}, {"1.2.3.4 ", false},       {"1..3.4", false},
        {"0001.2.3.4", false}, {"-1.2.3.4", false}, {"+1.2.3.4", false},       {"0x1.2.3.4", false},
        {"a.b.c.d", false}};
    for (const auto& [text, ok] : cases) {
        const auto parsed = ParseDottedIpv4(text);
        EXPECT_EQ(parsed.has_value(), ok) << text;
    }
    EXPECT_EQ(FormatDottedIpv4(*ParseDottedIpv4("010.1.200.7")), "10.1.200.7");
}

}  // namespace
}  // namespace tarvell
