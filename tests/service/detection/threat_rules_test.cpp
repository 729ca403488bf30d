// The threat rules as plain functions: the level scale, reading figures, and one rule's steps.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string>

#include "platform/Files.h"
#include "platform/Process.h"
#include "service/detection/ThreatRules.h"

namespace tarvell {
namespace {

TEST(ThreatRules, LevelScale) {
    const std::pair<double, const char*> table[] = {
        {-5, nullptr},    {0, nullptr},        {0.01, "Low"},    {20, "Low"},  {20.5, "Moderate"},
        {40, "Moderate"}, {40.01, "Elevated"}, {60, "Elevated"}, {61, "High"}, {80, "High"},
        {80.1, "Severe"}, {1e9, "Severe"},     {NAN, nullptr},
    };
    for (const auto& [figure, text] : table) {
        const auto band = ThreatBandOf(figure);
        if (!text) {
            EXPECT_FALSE(band) << figure;
        } else {
            ASSERT_TRUE(band) << figure;
            EXPECT_STREQ(band->text, text) << figure;
        }
    }
    EXPECT_EQ(ThreatBandOf(10)->severity, 1);
    EXPECT_EQ(ThreatBandOf(90)->severity, 5);
}

TEST(ThreatRules, FiguresReadAsCLocaleNumbers) {
    const std::pair<const char*, double> table[] = {
        {"12.5", 12.5}, {" 7", 7},  {"3x", 3},    {"", 0},     {"abc", 0},   {"-2", -2},
        {"+5", 5},      {"--5", 0}, {"1e2", 100}, {".5", 0.5}, {"12,5", 12}, {"\t4.25 p/s", 4.25},
    };
    for (const auto& [text, value] : table) EXPECT_DOUBLE_EQ(ReadFigure(text), value) << text;
    EXPECT_TRUE(std::isinf(ReadFigure("1e999")));
    EXPECT_EQ(ReadFigure("1e-999"), 0.0);
    EXPECT_DOUBLE_EQ(ReadFigure(std::string("42\0"
                                            "99",
                                            5)),
                     42);
}

// Fixed fault: figures were read in the process locale, where "12.5" read as 12. A German
// locale is compiled for the test into a private folder when the locale sources are installed.
TEST(ThreatRules, AFigureReadsTheSameUnderADecimalCommaLocale) {
    const std::string folder = MakeTempFolder("tarvell-locale-");
    ASSERT_FALSE(folder.empty());
    ProcessOptions options;
    options.argv = {"/usr/bin/localedef", "-i", "de_DE", "-f", "UTF-8", folder + "/de_DE.UTF-8"};
    options.timeLimitMs = 50'000;
    options.captureOutput = true;
    RunProcess(options);
    const bool made = FileExists(folder + "/de_DE.UTF-8/LC_NUMERIC");

    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    ::setenv("LOCPATH", folder.c_str(), 1);
    const bool comma = made && std::setlocale(LC_NUMERIC, "de_DE.UTF-8") &&
                       std::string(std::localeconv()->decimal_point) == ",";
    const double plain = std::atof("12.5");
    const double value = ReadFigure("12.5");
    std::setlocale(LC_NUMERIC, saved.c_str());
    ::unsetenv("LOCPATH");
    RemoveTree(folder);
    if (!comma) GTEST_SKIP() << "no decimal-comma locale could be made";
    EXPECT_DOUBLE_EQ(plain, 12.0);  // what the locale-bound reader gives
    EXPECT_DOUBLE_EQ(value, 12.5);
}

struct Step {
    std::uint32_t threshold;
    bool normalAlerts;
    const char* figure;
    // expected: none, or the kind and severity
    int kind;  // -1 none, 0 raised, 1 cleared
    int severity;
    const char* level;  // level remembered after the step, "" none
};

void RunSteps(ThreatRule rule, std::initializer_list<Step> steps) {
    ThreatLevels levels;
    std::string previous = "0";
    int n = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE("step " + std::to_string(++n));
        const ThreatInput in{rule, s.threshold, true, s.normalAlerts, s.figure, previous};
        const auto found = JudgeThreat(in, "S/1", levels);
        if (s.kind < 0) {
            EXPECT_FALSE(found);
        } else {
            ASSERT_TRUE(found);
            EXPECT_EQ(static_cast<int>(found->kind), s.kind);
            EXPECT_EQ(found->severity, s.severity);
            EXPECT_EQ(found->current, std::string(s.figure) + ThreatUnit(rule));
            EXPECT_EQ(found->before, previous + ThreatUnit(rule));
        }
        const auto it = levels.find("S/1");
        EXPECT_EQ(it == levels.end() ? std::string() : it->second, s.level);
        previous = s.figure;
    }
}

TEST(ThreatRules, AFigureEqualToTheThresholdCounts) {
    RunSteps(ThreatRule::Receive, {{50, false, "50", 0, 3, "Elevated"}});
    RunSteps(ThreatRule::Errors, {{50, false, "49.99", -1, 0, ""}});
}

TEST(ThreatRules, RiseStayRiseAndFallWithNormalAlerts) {
    RunSteps(ThreatRule::Transmit, {{25, true, "30", 0, 2, "Moderate"},
                                    {25, true, "30", -1, 0, "Moderate"},
                                    {25, true, "39", -1, 0, "Moderate"},
                                    {25, true, "65", 0, 4, "High"},
                                    {25, true, "10", 1, 0, ""},
                                    {25, true, "10", -1, 0, ""}});
}

// Fixed fault: without normal alerts a level stayed remembered after the fall, so the next rise
// into the same band was never raised.
TEST(ThreatRules, WithoutNormalAlertsAFallIsSilentButTheNextRiseIsRaised) {
    RunSteps(ThreatRule::Broadcast, {{25, false, "30", 0, 2, "Moderate"},
                                     {25, false, "10", -1, 0, ""},
                                     {25, false, "30", 0, 2, "Moderate"}});
}

TEST(ThreatRules, AFigureThatIsNoNumberNeverReachesAThreshold) {
    RunSteps(ThreatRule::Receive, {{1, true, "n/a", -1, 0, ""}, {1, true, "", -1, 0, ""}});
}

TEST(ThreatRules, AThresholdTurnedToZeroClearsOnlyAtZeroOrLess) {
    RunSteps(ThreatRule::Receive, {{25, true, "30", 0, 2, "Moderate"},
                                   {0, true, "5", -1, 0, "Moderate"},
                                   {0, true, "0", 1, 0, ""}});
}

TEST(ThreatRules, AnUnselectedDeviceKeepsItsLevelWhileTheFigureStaysAbove) {
    ThreatLevels levels{{"S/1", "High"}};
    ThreatInput in{ThreatRule::Receive, 25, false, true, "70", "70"};
    EXPECT_FALSE(JudgeThreat(in, "S/1", levels));
    EXPECT_EQ(levels.at("S/1"), "High");
    in.currentText = "20";
    EXPECT_TRUE(JudgeThreat(in, "S/1", levels));
    EXPECT_TRUE(levels.empty());
}

TEST(ThreatRules, TypesAndUnits) {
    EXPECT_STREQ(ThreatEventType(ThreatRule::Receive), "Threat Receive");
    EXPECT_STREQ(ThreatEventType(ThreatRule::Transmit), "Threat Transmit");
    EXPECT_STREQ(ThreatEventType(ThreatRule::Broadcast), "Threat Broadcast");
    EXPECT_STREQ(ThreatEventType(ThreatRule::Errors), "Threat Errors");
    EXPECT_STREQ(ThreatUnit(ThreatRule::Transmit), "%");
    EXPECT_STREQ(ThreatUnit(ThreatRule::Errors), " p/s");
}

}  // namespace
}  // namespace tarvell
