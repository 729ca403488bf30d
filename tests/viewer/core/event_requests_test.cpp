// Block, unblock and remove requests and event notes, each written through one edit of a
// settings folder and read back from the file the service takes over.
#include "viewer/core/monitors/EventRequests.h"

#include <gtest/gtest.h>

#include "tests/viewer/core/ViewerFixture.h"
#include "viewer/core/hub/CTarvellApp.h"

namespace tarvell {
namespace {

using test::MakeEvent;
using Strings = std::vector<std::string>;

class EventRequestsTest : public test::ViewerFixture {
protected:
    CTarvellApp& Connected(const CTarvellDoc& doc,
                           const std::map<std::string, CEventItem>& events) {
        RemoveTree(ViewerDocument::HandOverPath(server_));  // a copy of the case before
        WriteSettings(doc);
        WriteEvents(events);
        CTarvellApp& app = StartApp();
        EXPECT_TRUE(app.ReloadDocument());
        app.ReadIdentity();
        app.LoadEvents();
        return app;
    }
    CTarvellDoc Saved() {
        CTarvellDoc doc;
        EXPECT_TRUE(doc.LoadFromFile(ViewerDocument::HandOverPath(server_)));
        return doc;
    }
    static CEventItem From(const std::string& mac, const std::string& ip = "") {
        CEventItem e = MakeEvent("New Mac");
        e.SourceMac = mac;
        e.SourceIp = ip;
        return e;
    }
};

TEST(EventRequestForms, TokensHeadsAndKeys) {
    EXPECT_EQ(NodeTokens("00AA;00BB;"), (Strings{"00AA", "00BB"}));
    EXPECT_EQ(NodeTokens("00AA;;00BB"), (Strings{"00AA", "00BB"}));
    EXPECT_EQ(NodeTokens(";;"), Strings{});
    EXPECT_EQ(NodeTokens("S1/3"), Strings{});
    EXPECT_EQ(NodePart("00aa/1;x"), "00aa");
    EXPECT_EQ(NodePart("00aa;x"), "") << "no '/' before the ';'";
    EXPECT_EQ(NodePart("00aa/0"), "") << "no ';' at all";
    EXPECT_TRUE(BelongsToKey("S1/3;x", "S1/3"));
    EXPECT_FALSE(BelongsToKey("S1/30;x", "S1/3")) << "a prefix key stays apart";
    EXPECT_FALSE(BelongsToKey("s1/3;x", "S1/3"));
}

// The node-list edits of a block: table of settings before, the event, and the lists after.
TEST_F(EventRequestsTest, BlockEditsTheNodeListsAndFilesOneRequestPerKey) {
    const struct {
        const char* name;
        CEventItem event;
        Strings black, white, blackAfter, whiteAfter;
    } cases[] = {
        {"empty SourceMac", From(""), {}, {"00AA/0;"}, {}, {"00AA/0;"}},
        {"a switch as source", From("S2/4"), {}, {}, {}, {}},
        {"two MACs",
         From("00AA;00BB"),
         {},
         {"00aa/0;", "00AA/1;", "00BB/0;"},
         {"00AA/0;", "00BB/0;"},
         {"00AA/1;"}},
        {"white entry by SourceIp", From("00AA", "10.0.0.5"), {}, {"10.0.0.5/0;"}, {"00AA/0;"}, {}},
        {"flag 1 counts", From("00AA"), {"00aa/1;"}, {}, {"00aa/1;"}, {}},
        {"no '/' never matches",
         From("00AA"),
         {"00AA;"},
         {"00AA;"},
         {"00AA;", "00AA/0;"},
         {"00AA;"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CTarvellDoc doc = DefaultSettings();
        doc.NodesBlackList = c.black;
        doc.NodesWhiteList = c.white;
        doc.UnblockRequests = {"S1/1;bob@X"};
        CTarvellApp& app = Connected(doc, {{"S1/1", c.event}});
        ASSERT_EQ(BlockEvents(app, {"S1/1"}), EditResult::Saved);
        ASSERT_EQ(app.BlockEvent("S1/1"), EditResult::Saved);  // a second request replaces
        const CTarvellDoc saved = Saved();
        EXPECT_EQ(saved.NodesBlackList, c.blackAfter);
        EXPECT_EQ(saved.NodesWhiteList, c.whiteAfter);
        EXPECT_EQ(saved.BlockRequests, Strings{"S1/1;alice@CORP"});
        EXPECT_EQ(saved.UnblockRequests, Strings{}) << "the pending unblock is dropped";
        EXPECT_EQ(app.EventCounts().prevention, 1);
    }
}

TEST_F(EventRequestsTest, UnblockChoicesStopPreventionAndThePassword) {
    CTarvellDoc doc = DefaultSettings();
    doc.PreventionEnabled = 1;
    doc.MonitorPassword = "Secret";
    doc.NodesBlackList = {"00AA/0;a", "00aa/0;", "00AA/1;", "00BB/0;"};
    doc.BlockRequests = {"S1/1;bob@X"};
    doc.EventNotes = {"S1/1;note", "S1/10;other"};
    CTarvellApp& app = Connected(doc, {{"S1/1", From("00AA", "")}});
    const std::string before = *ReadWholeFile(JoinPath(server_, "Tarvell.ini"));

    UnblockRequest wrong{{"S1/1"}, {}, true, "secret"};
    EXPECT_TRUE(UnblockEvents(app, wrong).wrongPassword);
    EXPECT_FALSE(FileExists(ViewerDocument::HandOverPath(server_)));
    EXPECT_EQ(*ReadWholeFile(JoinPath(server_, "Tarvell.ini")), before);

    UnblockRequest keep{
        {"S1/1"}, {UnblockRemoval::DeleteEvent, NodeAuthorization::KeepInBlackList}, false, {}};
    ASSERT_EQ(UnblockEvents(app, keep).result, EditResult::Saved);
    CTarvellDoc saved = Saved();
    EXPECT_EQ(saved.NodesBlackList, (Strings{"00AA/1;", "00BB/0;", "00AA/0;"}));
    EXPECT_EQ(saved.BlockRequests, Strings{});
    EXPECT_EQ(saved.UnblockRequests, Strings{"S1/1;alice@CORP"});
    EXPECT_EQ(saved.DeleteRequests, Strings{"S1/1"});
    EXPECT_EQ(saved.EventNotes, Strings{"S1/10;other"});

    UnblockRequest white{
        {"S1/1"}, {UnblockRemoval::MoveToDetection, NodeAuthorization::MoveToWhiteList}, false, {}};
    ASSERT_EQ(UnblockEvents(app, white).result, EditResult::Saved);
    saved = Saved();
    EXPECT_EQ(saved.NodesWhiteList, Strings{"00AA/0;"});
    EXPECT_EQ(saved.DeleteRequests, Strings{"S1/1"}) << "moved, not deleted again";

    UnblockRequest stop{{}, {}, true, "Secret"};
    ASSERT_EQ(UnblockEvents(app, stop).result, EditResult::Saved);
    EXPECT_EQ(Saved().PreventionEnabled, 0) << "an empty list still turns prevention off";
}

TEST_F(EventRequestsTest, NotesRoundTripAndRemovalsGoInOneEdit) {
    CTarvellDoc doc = DefaultSettings();
    doc.EventNotes = {"S1/1;first", "S1/1;second", "S1/10;long key"};
    CTarvellApp& app = Connected(doc, {{"S1/1", From("00AA")}, {"S1/2", From("00BB")}});
    EXPECT_EQ(NoteOf(app.Document().Fields(), "S1/1"), "first");
    EXPECT_EQ(NoteOf(app.Document().Fields(), "S1/"), std::nullopt);
    ASSERT_EQ(StoreNote(app, "S1/1", "a;b\r\nc"), EditResult::Saved);
    EXPECT_EQ(NoteOf(Saved(), "S1/1"), "a;b\r\nc");
    ASSERT_EQ(StoreNote(app, "S1/1", ""), EditResult::Saved);
    EXPECT_EQ(Saved().EventNotes, (Strings{"S1/1;second", "S1/10;long key"}));

    EditResult outcome{};
    EXPECT_EQ(app.RemoveEvents({"S1/2", "S9/9", "S1/2"}, &outcome), Strings{"S1/2"});
    EXPECT_EQ(outcome, EditResult::Saved);
    EXPECT_EQ(Saved().DeleteRequests, Strings{"S1/2"});
    EXPECT_EQ(app.EventCounts().total, 1);

    ASSERT_TRUE(AtomicWriteFile(JoinPath(server_, "Tarvell.ini"),
                                "\x03"
                                "3.6"));
    RemoveTree(ViewerDocument::HandOverPath(server_));
    EXPECT_EQ(BlockEvents(app, {"S1/1"}), EditResult::ReloadFailed);
    EXPECT_FALSE(FileExists(ViewerDocument::HandOverPath(server_)));
}

}  // namespace
}  // namespace tarvell
