#include "viewer/core/alerts/AlertText.h"

#include <gtest/gtest.h>

#include "platform/DateText.h"
#include "viewer/core/hub/EventMacros.h"

namespace tarvell {
namespace {

CAlertItem Typed(std::string type, std::string category = "Detection", int severity = 0) {
    CAlertItem a;
    a.Description = std::move(type);
    a.Category = std::move(category);
    a.Severity = severity;
    return a;
}

TEST(AlertText, MacrosAreExpandedInOrderAndInsertedTextIsNotSearchedAgain) {
    CAlertItem manual = Typed("Manual Blocking", "Prevention");
    manual.Submitter = "alice@CORP";
    EXPECT_EQ(MakeAlertText(manual).text, "Manual Blocking by alice@CORP.");

    CAlertItem threat = Typed("Threat Receive", "Detection", 4);
    threat.Before = "$before";  // would loop for ever if the inserted value were searched again
    threat.Current = "$current$current";
    const AlertText t = MakeAlertText(threat);
    EXPECT_EQ(t.heading, "High Receive Threat");
    EXPECT_EQ(t.text, "High Receive Threat discovered from $before to $current$current.");
    EXPECT_EQ(t.level, "High");

    // A "$severity" brought in by an earlier macro's value is still expanded.
    EXPECT_EQ(
        ExpandEventMacros("$cause: $before", {"$severity Receive Threat", "$cause", "", "", "Low"}),
        "Low Receive Threat: $cause");
    EXPECT_EQ(ExpandEventMacros("", {"a", "b", "c", "d", "e"}), "");
}

TEST(AlertText, TheBodyHasDeviceLinesOnlyForValuesThatAreSet) {
    const std::string date = FormatUserDateTime(1700000000);
    CAlertItem bare = Typed("New Mac");
    EXPECT_EQ(AlertBody("1700000000.12", bare, "text"),
              "Occurred on: " + date + "\r\n\r\nDescription: text");
    CAlertItem some = bare;
    some.DeviceName = "core";
    some.DevicePort = "Gi0/3";
    EXPECT_EQ(AlertBody("1700000000.1", some, "t"),
              "Device name: core\r\nDevice port: Gi0/3\r\n\r\nOccurred on: " + date +
                  "\r\n\r\nDescription: t");
}

TEST(AlertText, KindsByCategoryAndTheNormalThreat) {
    struct Case {
        const char* type;
        const char* category;
        int severity;
        AlertKind kind;
        const char* title;
    };
    const Case cases[] = {
        {"New Mac", "Detection", 3, {true, {255, 204, 0}, 1}, "Detection Alert Information"},
        {"Threat Receive", "Detection", 0, {true, {77, 191, 38}, 0}, "Detection Alert Information"},
        {"Threat Receive", "Detection", 1, {true, {255, 204, 0}, 1}, "Detection Alert Information"},
        {"Manual Blocking",
         "Prevention",
         0,
         {true, {204, 0, 0}, 2},
         "Prevention Alert Information"},
        {"Threat Errors", "Test Alert", 0, {}, ""},
        {"New Mac", "detection", 0, {}, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(KindOf(Typed(c.type, c.category, c.severity)), c.kind)
            << c.type << " " << c.category;
        EXPECT_EQ(AlertInformationTitle(c.category), c.title);
    }
}

TEST(AlertText, TheSlideEndsThreePixelsBelowTheWorkAreaAndASmallTravelHasNoStep) {
    const Rect desktop{0, 0, 1280, 1024}, work{0, 0, 1280, 994};
    const std::vector<Point> in = SlidePositions({279, 262}, desktop, work);
    ASSERT_EQ(in.size(), 29u);  // 10, 20, ... 280, then 289
    EXPECT_EQ(in.front(), (Point{1000, 1014}));
    EXPECT_EQ(in[27], (Point{1000, 1024 - 280}));
    EXPECT_EQ(in.back(), (Point{1000, 1024 - 292 + 3}));
    EXPECT_TRUE(SlidePositions({100, 3}, desktop, desktop).empty());
    EXPECT_EQ(SlidePositions({100, 4}, desktop, desktop), (std::vector<Point>{{1179, 1023}}));

    const std::vector<Point> out = SlideOutPositions({279, 262}, in.back().y, desktop);
    ASSERT_EQ(out.size(), 29u);
    EXPECT_EQ(out.back(), (Point{1000, 1025}));
    EXPECT_TRUE(SlideOutPositions({279, 262}, 1024, desktop).empty());
}

}  // namespace
}  // namespace tarvell
