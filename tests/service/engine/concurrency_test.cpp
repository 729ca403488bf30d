// Workers read settings and look up records while the engine thread reloads the settings (with
// hand-over files) and the sibling database. Built also with ThreadSanitizer by tools/test.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/RecursiveLock.h"
#include "platform/Text.h"
#include "shared/StateFiles.h"
#include "tests/service/engine/EngineFixture.h"

namespace tarvell::enginetest {
namespace {

constexpr int kPasses = 30;
constexpr int kReaders = 4;

class ConcurrencyTest : public EngineFixture {
protected:
    // A sibling database with one switch, one port and `nodes` nodes on it.
    void WriteSibling(int nodes) {
        SiblingDatabaseFile db;
        auto sw = std::make_unique<CDbItem>();
        sw->SwitchKey() = "SW1";
        sw->SwitchIps() = "10.0.0.1;10.0.0.2";
        sw->SwitchName() = "core";
        db.SiblingSwitches["SW1"] = std::move(sw);
        auto port = std::make_unique<CDbItem>();
        port->PortSwitch() = "SW1";
        port->PortIndex() = "7";
        port->PortName() = "Gi0/7";
        port->PortAlias() = "ethernetCsmacd";
        port->PortMac() = "0A0000000007";
        db.SiblingPorts["SW1/7"] = std::move(port);
        for (int i = 0; i < nodes; ++i) {
            auto node = std::make_unique<CDbItem>();
            node->NodeMac() = "00000000000" + std::to_string(i);
            node->NodeIp() = "10.0.1." + std::to_string(i);
            node->NodeSwitch() = "SW1";
            node->NodePort() = "7";
            node->NodesOnPort() = std::to_string(nodes);
            node->NodeFirstSeen() = std::to_string(1000 + i);
            db.SiblingNodes[node->NodeMac()] = std::move(node);
        }
        ASSERT_TRUE(WriteStateFile(JoinPath(siblingFolder, kSiblingDatabaseName), db));
    }

    // Settings of generation n: their parts must always be seen together.
    static CTarvellDoc Generation(int n) {
        CTarvellDoc doc;
        doc.SmtpServer = "mail-" + std::to_string(n);
        for (int i = 0; i < n % 7; ++i)
            doc.ExcludedDevices.push_back("SW" + std::to_string(100 + i));
        doc.NodesCountThreshold = 1 + n % 3;
        doc.UnmanagedMacEnabled = n % 2;
        doc.UnmanagedMacs = {"000000000001"};
        doc.ReceiveDevices = {"SW1"};
        doc.BlockRequests = {"SW1/7;admin@corp"};
        return doc;
    }
};

// Every snapshot a reader takes is one whole generation, and the look-ups keep working while
// the pass swaps settings and sibling tables under them.
TEST_F(ConcurrencyTest, ReadersSeeWholeSettingsWhilePassesReload) {
    WriteServiceSettings(Generation(0));
    WriteSibling(4);
    ASSERT_TRUE(engine->LoadSiblingDatabase());
    engine->ApplyViewerUpdates();

    std::atomic<bool> stop{false};
    std::atomic<long> torn{0}, reads{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < kReaders; ++r) {
        readers.emplace_back([&, r] {
            while (!stop.load()) {
                const auto settings = engine->Settings();
                const int n =
                    static_cast<int>(AtoL(std::string_view(settings->SmtpServer).substr(5)));
                if (settings->ExcludedDevices.size() != static_cast<std::size_t>(n % 7) ||
                    settings->NodesCountThreshold != 1 + n % 3)
                    ++torn;
                CDbItem item;
                engine->LookupNode("000000000002", item);
                engine->LookupSwitchByAddress("10.0.0.2", item);
                engine->IsMonitoredInterface("SW1/7");
                engine->IsEventSelected(0, "Threat Receive", "SW1");
                engine->IsNodeExcluded("000000000001", "10.0.1.1", "4", "SW1", "7");
                engine->FindNodeForEvent("SW1", "7", "4", "000000000003", "10.0.1.3");
                engine->FindNodeForSwitchPort({{"000000000003", "7"}, {"0B0000000000", "7"}}, "SW1",
                                              "7", "2", "0B0000000000");
                ObjectMap<CDbItem> nodes;
                engine->SnapshotNodes(nodes);
                if (r == 0) {
                    auto event = std::make_unique<CEventItem>();
                    event->SwitchKey = "SW1";
                    event->PortKey = "7";
                    event->EventType = event->Description = "New Mac";
                    engine->RecordEvent(std::move(event));
                }
                ++reads;
            }
        });
    }

    for (int n = 1; n <= kPasses; ++n) {
        WriteHandOver(Generation(n));
        if (n % 2 == 0) WriteSibling(4 + n % 3);
        engine->ApplyViewerUpdates();
        engine->LoadSiblingDatabase();
        {
            RecursiveGuard lock(engine->EngineLock);
            engine->LinkRequests.push_back("SW1/7;None;;001122334455;t" + std::to_string(n) +
                                           ";9999999999;mailhost");
        }
    }
    stop = true;
    for (auto& t : readers) t.join();

    EXPECT_EQ(torn.load(), 0);
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(engine->Settings()->SmtpServer, "mail-" + std::to_string(kPasses));
    EXPECT_FALSE(FileExists(HandOverPath()));
}

// Node look-ups read the notes of the polls and the detection pass under their own lock and the
// sibling view under its own: while poll-like writers change the notes and the engine swaps new
// generations (and new settings) in, a pending node is never reported, a sibling node is found
// with its own address, and a noted node comes with the place a writer gave it.
TEST_F(ConcurrencyTest, NodeLookUpsReadTheNotesWhilePollsWriteThemAndDataIsSwapped) {
    WriteSibling(4);
    ASSERT_TRUE(engine->LoadSiblingDatabase());
    std::atomic<bool> stop{false};
    std::atomic<long> wrong{0}, reads{0};
    std::thread writer([&] {
        for (long i = 0; !stop.load(); ++i) {
            std::lock_guard<std::mutex> notes(engine->NodeNotesLock);
            engine->UnknownNodeLocations["0C0000000001"] = "SW9/port-" + std::to_string(i % 5);
            if (i % 2) engine->PendingNewNodes["000000000001"] = "SW1/7";
            else engine->PendingNewNodes.erase("000000000001");
        }
    });
    std::vector<std::thread> readers;
    for (int r = 0; r < kReaders; ++r) {
        readers.emplace_back([&] {
            while (!stop.load()) {
                CDbItem known, noted, pending;
                if (!engine->LookupNode("000000000002", known) || known.NodeIp() != "10.0.1.2")
                    ++wrong;
                if (engine->LookupNode("0C0000000001", noted) &&
                    (noted.NodeSwitch() != "SW9" || noted.NodePort().rfind("port-", 0) != 0))
                    ++wrong;
                if (engine->LookupNode("000000000001", pending) && pending.NodeIp() != "10.0.1.1")
                    ++wrong;
                ++reads;
            }
        });
    }
    for (int n = 1; n <= kPasses; ++n) {
        WriteSibling(4 + n % 3);
        engine->LoadSiblingDatabase();
        engine->PublishSettings();
    }
    stop = true;
    writer.join();
    for (auto& t : readers) t.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GT(reads.load(), 0);
}

// Saves take their files a chunk at a time while events are recorded and alerts queued (the two
// files one after the other, or at the same time as the pass saves them): every file read back
// is whole, and the save after the last change holds everything.
TEST_F(ConcurrencyTest, SavesTakeWholeFilesWhileEventsAndAlertsChange) {
    CTarvellDoc doc;
    doc.DetectionEnabled = 1;
    UseSettings(doc);
    constexpr int kRecords = 20'000;
    std::atomic<bool> done{false};
    std::thread recorder([&] {
        for (int i = 0; i < kRecords; ++i) {
            auto event = std::make_unique<CEventItem>();
            event->SwitchKey = "SW" + std::to_string(i % 50);
            event->PortKey = std::to_string(i % 3000);
            engine->RecordEvent(std::move(event));
            if (i % 500 == 0) clock.Advance(1);
        }
        done.store(true);
    });
    for (int pass = 0; pass < kPasses || !done.load(); ++pass) {
        if (pass % 2 == 0) {
            EXPECT_TRUE(engine->SaveStateFiles());  // both at once, as the pass saves them
        } else {
            EXPECT_TRUE(engine->SaveEventDatabase());
            EXPECT_TRUE(engine->SaveAlertLog());
        }
        EventDatabaseFile db;
        AlertLogFile log;
        std::string why;
        EXPECT_TRUE(ReadStateFile(JoinPath(serviceFolder, kEventDatabaseName), db, &why)) << why;
        EXPECT_TRUE(ReadStateFile(JoinPath(serviceFolder, kAlertLogName), log, &why)) << why;
    }
    recorder.join();
    ASSERT_TRUE(engine->SaveEventDatabase());
    ASSERT_TRUE(engine->SaveAlertLog());
    EXPECT_EQ(ReadWholeFile(JoinPath(serviceFolder, kEventDatabaseName)),
              engine->Serialize(StoredFileKind::Events));
    EXPECT_EQ(ReadWholeFile(JoinPath(serviceFolder, kAlertLogName)),
              engine->Serialize(StoredFileKind::Alerts));
}

}  // namespace
}  // namespace tarvell::enginetest
