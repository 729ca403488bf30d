// Runs the built TarvellSrv with its real engine on a temporary installation: a sibling database
// made by ombrix-make and registered with tarvell-reg, short passes and the e-mail slot probe.
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ErrnoText.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "shared/CTarvellDoc.h"
#include "service/engine/TestProbes.h"
#include "shared/StateFiles.h"
#include "tests/support/RunningService.h"

namespace tarvell {
namespace {

using testing::RunningService;
using testing::TempFolder;
using testing::WaitUntil;

const std::string kSample = std::string(TARVELL_SOURCE_DIR) + "/tests/fixtures/ombrix-sample.txt";

constexpr int kNoPassMs = 600'000;

// Switch and node counts as the sibling product's file defines them: enabled switches; enabled
// nodes that are neither a switch nor an enabled port.
std::pair<std::string, std::string> CountsOf(const SiblingDatabaseFile& db) {
    long switches = 0;
    long nodes = 0;
    std::set<std::string> portMacs;
    for (const auto& [key, sw] : db.SiblingSwitches) switches += sw->SwitchDisabled() == 0;
    for (const auto& [key, port] : db.SiblingPorts)
        if (port->PortDisabled() == 0) portMacs.insert(port->PortMac());
    for (const auto& [mac, node] : db.SiblingNodes)
        nodes +=
            node->NodeDisabled() == 0 && !db.SiblingSwitches.count(mac) && !portMacs.count(mac);
    return {std::to_string(switches), std::to_string(nodes)};
}

class EngineProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(root.Path().empty());
        ASSERT_TRUE(MakeDirectories(siblingFolder));
        std::string why;
        ASSERT_TRUE(testing::InstallSiblingDatabase(root.Path(), kSample, siblingFolder, &why))
            << why;
    }

    // Sends SIGTERM and expects a clean exit within 5 s.
    void Stop() {
        const auto asked = std::chrono::steady_clock::now();
        EXPECT_TRUE(service.Stop(5000)) << service.Output();
        EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(5));
        EXPECT_FALSE(service.LinesWith("Service stopped").empty()) << service.Output();
    }

    std::string Path(std::string_view name) const { return service.Path(name); }

    template <class F>
    F Read(std::string_view name) {
        F file;
        std::string error;
        EXPECT_TRUE(ReadStateFile(Path(name), file, &error)) << error;
        return file;
    }

    void ExpectSiblingCounts(const EventDatabaseFile& db) {
        SiblingDatabaseFile sibling;
        ASSERT_TRUE(ReadStateFile(siblingFolder + "/Ombrix.db", sibling));
        const auto [switches, nodes] = CountsOf(sibling);
        EXPECT_NE(switches, "0");
        EXPECT_NE(nodes, "0");
        EXPECT_EQ(db.SwitchCount, switches);
        EXPECT_EQ(db.NodeCount, nodes);
        EXPECT_EQ(std::to_string(db.DeviceTable.size()), switches);
    }

    RunningService service{"engine-process-"};
    const TempFolder& root = service.Root();
    const std::string serviceFolder = service.Folder();
    const std::string handOverFolder = root / "var/lib/tarvell/handover";
    const std::string siblingFolder = root / "opt/ombrix";
};

// A fresh installation does not wait for state files that were never written: its first pass
// comes within about two seconds (the bound leaves room for a loaded machine; the retries it no
// longer spends cost fifteen).
constexpr int kFreshStartMs = 40'000;
constexpr auto kFreshFirstPass = std::chrono::seconds(6);

TEST_F(EngineProcessTest, AFreshInstallationWritesItsStateAtTheFirstPassAndAnswersTestCodes) {
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(service.Run());
    // The events and the alerts of a pass are saved side by side: either file may come first.
    ASSERT_TRUE(WaitUntil(
        [&] { return FileExists(Path(kEventDatabaseName)) && FileExists(Path(kAlertLogName)); },
        kFreshStartMs))
        << service.Output();
    EXPECT_LT(std::chrono::steady_clock::now() - started, kFreshFirstPass);
    EXPECT_FALSE(FileExists(Path(kReportStoreName)));
    ExpectSiblingCounts(Read<EventDatabaseFile>(kEventDatabaseName));

    // The e-mail channel takes the test alert although e-mail alerts are off (no recipient is
    // configured in a fresh installation, so nothing is mailed).
    ASSERT_TRUE(service.Process().Signal(SIGRTMIN + 8));
    ASSERT_TRUE(service.WaitForLineWith("E-mail test alert ")) << service.Output();
    ASSERT_TRUE(service.Process().Signal(SIGRTMIN + 1));
    EXPECT_TRUE(service.WaitForLineWith("Bad service request")) << service.Output();
    // A pass writes the report dates the channel set.
    ASSERT_TRUE(WaitUntil([&] { return FileExists(Path(kReportStoreName)); }, 10'000));
    Stop();

    // One test alert reached the channel, and neither the alert log nor the report store saw
    // it; the report store file now holds the report dates the channel set.
    const auto handled = service.LinesWith("E-mail test alert ");
    ASSERT_EQ(handled.size(), 1u) << service.Output();
    EXPECT_NE(handled[0].find(" delivered to 0 of 0 recipients"), std::string::npos) << handled[0];
    for (const auto& [key, alert] : Read<AlertLogFile>(kAlertLogName).AlertLog)
        EXPECT_NE(alert->Category, "Test Alert") << key;
    const ReportStoreFile reports = Read<ReportStoreFile>(kReportStoreName);
    EXPECT_TRUE(reports.ReportStore.empty());
    EXPECT_FALSE(reports.LastDailyReport.empty());
    EXPECT_FALSE(reports.LastWeeklyReport.empty());
}

TEST_F(EngineProcessTest, AStopDuringStartUpEndsItQuicklyAndStillSaves) {
    ASSERT_TRUE(service.Run({}, kNoPassMs));
    ASSERT_TRUE(WaitUntil([&] {
        return ReadWholeFile(root / "run/tarvell/TarvellSrv.state") == "RUNNING\n";
    })) << service.Output();
    Stop();  // the engine may still be loading its files
    ExpectSiblingCounts(Read<EventDatabaseFile>(kEventDatabaseName));
    EXPECT_TRUE(FileExists(Path(kAlertLogName)));
}

TEST_F(EngineProcessTest, AnEventRecordedJustBeforeTheStopIsInTheStateFilesAfterIt) {
    ASSERT_TRUE(testing::SeedStateFiles(serviceFolder));
    ASSERT_TRUE(service.Run({}, kNoPassMs));
    ASSERT_TRUE(AtomicWriteFile(service.EventFile(),
                                "SwitchKey 00AABB000001\nPortKey 3\nSourceMac 001122334455\n"
                                "Category Detection\nEventType New Mac\nDescription New Mac\n"
                                "Severity 3\n"));
    ASSERT_TRUE(service.WaitForLineWith("Test event recorded 00AABB000001/3")) << service.Output();
    EXPECT_TRUE(Read<EventDatabaseFile>(kEventDatabaseName).EventMap.empty()) << "no pass ran";
    Stop();

    const EventDatabaseFile db = Read<EventDatabaseFile>(kEventDatabaseName);
    ASSERT_EQ(db.EventMap.count("00AABB000001/3"), 1u);
    const CEventItem& event = *db.EventMap.at("00AABB000001/3");
    EXPECT_EQ(event.SourceMac, "001122334455");
    EXPECT_EQ(event.EventType, "New Mac");
    EXPECT_EQ(event.Severity, 3);
    EXPECT_FALSE(event.DateKey.empty());
    // Detection is on by default, so the event also became an alert.
    const AlertLogFile alerts = Read<AlertLogFile>(kAlertLogName);
    ASSERT_EQ(alerts.AlertLog.size(), 1u);
    EXPECT_EQ(alerts.AlertLog.begin()->second->SourceMac, "001122334455");
}

TEST_F(EngineProcessTest, AViewerHandOverFileIsTakenOverWithinOnePass) {
    ASSERT_TRUE(testing::SeedStateFiles(serviceFolder));
    ASSERT_TRUE(MakeDirectories(handOverFolder, 0770));
    ASSERT_TRUE(service.Run());
    ASSERT_TRUE(service.WaitForSaves(1)) << service.Output();

    // The viewer's copy: the service's settings with a change, saved by the settings code,
    // owned by root and not writable by others, put in place whole.
    CTarvellDoc viewer;
    ASSERT_TRUE(viewer.LoadFromFile(Path(CTarvellDoc::kFileName)));
    viewer.SmtpServer = "mail.handed-over.test";
    const std::string staged = root / "Tarvell.ini";
    ASSERT_TRUE(viewer.SaveToFile(staged, true));
    ASSERT_EQ(::chmod(staged.c_str(), 0640), 0);
    ASSERT_EQ(::rename(staged.c_str(), (handOverFolder + "/Tarvell.ini").c_str()), 0);

    // Passes that change no state write none: the hand-over file going is the sign.
    ASSERT_TRUE(WaitUntil([&] { return !FileExists(handOverFolder + "/Tarvell.ini"); }, 10'000))
        << service.Output();
    CTarvellDoc installed;
    ASSERT_TRUE(installed.LoadFromFile(Path(CTarvellDoc::kFileName)));
    EXPECT_EQ(installed.SmtpServer, "mail.handed-over.test");
    Stop();
}

// ---- queued requests across a kill

// Requests were once dropped from the settings file before the state files held their effect,
// so a kill between the two saves lost them.
TEST_F(EngineProcessTest, RequestsOfAHandOverSurviveAKillBetweenTheirSaves) {
    const std::string now = std::to_string(::time(nullptr));
    const auto event = [](std::int32_t blocked) {
        auto e = std::make_unique<CEventItem>();
        e->SwitchKey = "00AABB000001";
        e->Description = e->EventType = "Unauthorized Node";
        e->SourceMac = "00CC00000001";
        e->Blocked = blocked;
        return e;
    };
    for (const char* point : {"requests-state-saved", "requests-settings-saved"}) {
        SCOPED_TRACE(point);
        ASSERT_TRUE(MakeDirectories(serviceFolder));
        EventDatabaseFile db;
        db.EventMap["00AABB000001/1"] = event(0);  // to block
        db.EventMap["00AABB000001/2"] = event(1);  // to unblock
        db.EventMap["00AABB000001/3"] = event(0);  // to delete
        AlertLogFile log;
        log.AlertLog[now + ".0"] = std::make_unique<CAlertItem>();  // to remove
        log.AlertLog[now + ".1"] = std::make_unique<CAlertItem>();  // stays
        ASSERT_TRUE(WriteStateFile(Path(kEventDatabaseName), db));
        ASSERT_TRUE(WriteStateFile(Path(kAlertLogName), log));
        ASSERT_TRUE(WriteStateFile(Path(kReportStoreName), ReportStoreFile{}));
        ASSERT_TRUE(MakeDirectories(handOverFolder, 0770));
        CTarvellDoc viewer;
        viewer.SetDefaults();
        viewer.Version = "3.6";
        viewer.BlockRequests = {"00AABB000001/1;admin@OFFICE"};
        viewer.UnblockRequests = {"00AABB000001/2;admin@OFFICE"};
        viewer.DeleteRequests = {"00AABB000001/3"};
        viewer.RemovedAlerts = {now + ".0"};
        const std::string staged = root / "Tarvell.ini";
        ASSERT_TRUE(viewer.SaveToFile(staged, true));
        ASSERT_EQ(::chmod(staged.c_str(), 0640), 0);
        ASSERT_EQ(::rename(staged.c_str(), (handOverFolder + "/Tarvell.ini").c_str()), 0);

        // The start-up pass takes the hand-over over and the service dies at the point.
        ASSERT_TRUE(service.Run({std::string("TARVELL_TEST_KILL_AT=") + point}, kNoPassMs));
        service.Process().WaitForExit(30'000);
        ASSERT_FALSE(service.Process().Signal(0)) << "still running: " << service.Output();
        const EventDatabaseFile afterKill = Read<EventDatabaseFile>(kEventDatabaseName);
        ASSERT_EQ(afterKill.EventMap.size(), 3u);
        EXPECT_EQ(afterKill.EventMap.at("00AABB000001/1")->Blocked, 1);
        EXPECT_EQ(afterKill.EventMap.at("00AABB000001/1")->Submitter, "admin@OFFICE");
        EXPECT_EQ(afterKill.EventMap.at("00AABB000001/2")->Blocked, 0);
        EXPECT_EQ(afterKill.EventMap.at("00AABB000001/3")->Deleted, 1);
        EXPECT_EQ(Read<AlertLogFile>(kAlertLogName).AlertLog.at(now + ".0")->State, 1);
        CTarvellDoc stored;
        ASSERT_TRUE(stored.LoadFromFile(Path(CTarvellDoc::kFileName)));
        const bool settingsSaved = std::string_view(point) == "requests-settings-saved";
        EXPECT_EQ(stored.BlockRequests.empty(), settingsSaved);
        EXPECT_EQ(stored.RemovedAlerts.empty(), settingsSaved);

        // The next start applies what is still queued once more: the same result.
        ASSERT_TRUE(service.Run({}, kNoPassMs));
        ASSERT_TRUE(service.Started()) << service.Output();
        Stop();
        const EventDatabaseFile db2 = Read<EventDatabaseFile>(kEventDatabaseName);
        ASSERT_EQ(db2.EventMap.size(), 2u) << "the deleted event is purged at start";
        EXPECT_EQ(db2.EventMap.at("00AABB000001/1")->Blocked, 1);
        EXPECT_EQ(db2.EventMap.at("00AABB000001/1")->Submitter, "admin@OFFICE");
        EXPECT_EQ(db2.EventMap.at("00AABB000001/2")->Blocked, 0);
        EXPECT_EQ(db2.EventMap.at("00AABB000001/2")->Submitter, "admin@OFFICE");
        const AlertLogFile log2 = Read<AlertLogFile>(kAlertLogName);
        EXPECT_EQ(log2.AlertLog.count(now + ".0"), 0u);
        EXPECT_EQ(log2.AlertLog.count(now + ".1"), 1u);
        ASSERT_TRUE(stored.LoadFromFile(Path(CTarvellDoc::kFileName)));
        EXPECT_TRUE(stored.BlockRequests.empty());
        EXPECT_TRUE(stored.UnblockRequests.empty());
        EXPECT_TRUE(stored.DeleteRequests.empty());
        EXPECT_TRUE(stored.RemovedAlerts.empty());
    }
}

TEST_F(EngineProcessTest, ADamagedSettingsFileIsKeptAsideAndTheDefaultsWritten) {
    ASSERT_TRUE(testing::SeedStateFiles(serviceFolder));
    const std::string garbage = "not a settings file";
    ASSERT_TRUE(AtomicWriteFile(Path(CTarvellDoc::kFileName), garbage));
    ASSERT_TRUE(service.Run());
    ASSERT_TRUE(service.WaitForSaves(1)) << service.Output();
    Stop();

    EXPECT_FALSE(service.LinesWith("could not be loaded").empty()) << service.Output();
    std::vector<std::string> aside;
    for (const auto& entry : std::filesystem::directory_iterator(serviceFolder))
        if (entry.path().filename().string().rfind("Tarvell.ini.bad-", 0) == 0)
            aside.push_back(entry.path().string());
    ASSERT_EQ(aside.size(), 1u) << service.Output();
    EXPECT_EQ(ReadWholeFile(aside[0]), garbage);

    TempFolder fresh("engine-process-defaults-");
    CTarvellDoc defaults;
    defaults.SetPathName(fresh.Path());
    ASSERT_TRUE(defaults.OnNewDocument());
    CTarvellDoc expected;
    CTarvellDoc written;
    ASSERT_TRUE(expected.LoadFromFile(defaults.FilePath()));
    ASSERT_TRUE(written.LoadFromFile(Path(CTarvellDoc::kFileName)));
    EXPECT_EQ(written, expected);
}

// ---- file-size limits, the state-file bound, threads that cannot start

// One event record as the test event file gives it.
std::string EventLines(int port) {
    return "SwitchKey 00AABB000001\nPortKey " + std::to_string(port) + "\nSourceMac 0011223344" +
           std::to_string(10 + port % 90) +
           "\nCategory Detection\nEventType New Mac\nDescription New Mac\nSeverity 3\n";
}

std::string EventKey(int port) { return "00AABB000001/" + std::to_string(port); }

// The service once ended by SIGXFSZ at its first save under a file-size limit below Tarvell.db,
// without a word, losing the events of the pass; restarted, it did the same again.
TEST_F(EngineProcessTest, AFileSizeLimitBelowTheEventDatabaseFailsItsSavesUntilThereIsRoom) {
    ASSERT_TRUE(testing::SeedStateFiles(serviceFolder));
    constexpr rlim_t kLimit = 128 * 1024;
    EventDatabaseFile seeded;
    seeded.EventMap["00AABB000099/1"] = std::make_unique<CEventItem>();
    seeded.EventMap["00AABB000099/1"]->Before = std::string(2 * kLimit, 'b');
    ASSERT_TRUE(WriteStateFile(Path(kEventDatabaseName), seeded));
    const std::string before = *ReadWholeFile(Path(kEventDatabaseName));

    // The soft limit only, so that it can be raised again without privileges.
    service.RunThrough(
        {"/usr/bin/prlimit", "--fsize=" + std::to_string(kLimit) + ":unlimited", "--"});
    ASSERT_TRUE(service.Run());
    ASSERT_TRUE(service.RecordEvent(EventLines(3), EventKey(3))) << service.Output();
    ASSERT_TRUE(service.WaitForLineWith("State file " + Path(kEventDatabaseName) +
                                        " could not be written (File too large); the file "
                                        "written before is kept and the next pass tries again"))
        << service.Output();
    RunningService::Passes(5);
    EXPECT_TRUE(service.Process().Signal(0)) << "the service ended: " << service.Output();
    EXPECT_EQ(service.LinesWith("could not be written").size(), 1u) << service.Output();
    EXPECT_EQ(ReadWholeFile(Path(kEventDatabaseName)), before);

    // Room again (the limit is raised from outside): the next pass saves and says so.
    const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};  // soft and hard
    ASSERT_EQ(::prlimit(service.Pid(), RLIMIT_FSIZE, &unlimited, nullptr), 0) << ErrnoText(errno);
    ASSERT_TRUE(
        service.WaitForLineWith("State file " + Path(kEventDatabaseName) + " written again"))
        << service.Output();
    EXPECT_EQ(Read<EventDatabaseFile>(kEventDatabaseName).EventMap.size(), 2u);
    EXPECT_TRUE(service.Event(EventKey(3)).has_value());
    Stop();
}

// A whole Tarvell.db that did not fit in memory at a start was taken for a damaged one: kept
// aside, the service ran without its events, and its stop wrote an empty file in its place.
TEST_F(EngineProcessTest, AnEventDatabaseTooBigForTheMemoryIsLeftAsItIsAndTheServiceStops) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's runtime cannot start under an address-space limit";
#endif
    constexpr int kEvents = 40'000;  // 160 MB in the file, as much again once decoded
    constexpr rlim_t kLimit = 300u << 20;
    ASSERT_TRUE(testing::SeedStateFiles(serviceFolder));
    EventDatabaseFile seeded;
    for (int port = 0; port < kEvents; ++port) {
        auto& event = seeded.EventMap[EventKey(port)] = std::make_unique<CEventItem>();
        event->Before = std::string(4000, 'b');
    }
    ASSERT_TRUE(WriteStateFile(Path(kEventDatabaseName), seeded));
    seeded = {};
    const std::string before = *ReadWholeFile(Path(kEventDatabaseName));

    service.RunThrough({"/usr/bin/prlimit", "--as=" + std::to_string(kLimit), "--"});
    ASSERT_TRUE(service.Run());
    EXPECT_EQ(service.Process().WaitForExit(30'000), std::optional<int>(1)) << service.Output();
    EXPECT_EQ(service.LinesWith("State file " + Path(kEventDatabaseName) +
                                " could not be read (there is not enough memory to hold it); the "
                                "file is left as it is and the service stops")
                  .size(),
              1u)
        << service.Output();
    EXPECT_TRUE(ReadWholeFile(Path(kEventDatabaseName)) == before) << "the file was changed";
    for (const auto& entry : std::filesystem::directory_iterator(serviceFolder))
        EXPECT_EQ(entry.path().filename().string().find(".bad-"), std::string::npos)
            << entry.path();

    // Without the limit every event is there.
    service.RunThrough({});
    ASSERT_TRUE(service.Run());
    ASSERT_TRUE(service.WaitForSaves(1)) << service.Output();
    Stop();
    EXPECT_EQ(Read<EventDatabaseFile>(kEventDatabaseName).EventMap.size(),
              static_cast<std::size_t>(kEvents));
}

// With no thread to be had, the events' save thread threw out of the pass; the engine ended
// ("Engine failed: Resource temporarily unavailable") and the stop's last save never came.
TEST_F(EngineProcessTest, WithoutNewThreadsThePassesAndTheStopStillSave) {
    ASSERT_TRUE(testing::SeedStateFiles(serviceFolder));
    const std::string noThreads = root / "no-threads";
    // In a sanitizer build the stand-in comes before the sanitizer's runtime, which then lets it.
    const char* asan = std::getenv("ASAN_OPTIONS");
    ASSERT_TRUE(
        service.Run({std::string("LD_PRELOAD=") + TARVELL_THREAD_FAILURE_LIBRARY,
                     "FAIL_THREADS_WHILE=" + noThreads,
                     std::string("ASAN_OPTIONS=") + (asan && *asan ? asan + std::string(":") : "") +
                         "verify_asan_link_order=0"}));
    ASSERT_TRUE(service.WaitForSaves(1)) << service.Output();

    ASSERT_TRUE(AtomicWriteFile(noThreads, ""));
    ASSERT_TRUE(service.RecordEvent(EventLines(3), EventKey(3))) << service.Output();
    ASSERT_TRUE(service.WaitForLineWith(
        "The events' save thread could not be started (Resource temporarily unavailable); the "
        "state files are saved one after the other"))
        << service.Output();
    ASSERT_TRUE(WaitUntil([&] { return service.Event(EventKey(3)).has_value(); }, 10'000))
        << service.Output();
    ASSERT_TRUE(service.RecordEvent(EventLines(4), EventKey(4))) << service.Output();
    Stop();  // threads still fail

    EXPECT_TRUE(service.LinesWith("Engine failed").empty()) << service.Output();
    EXPECT_EQ(service.LinesWith("save thread could not be started").size(), 1u) << service.Output();
    EXPECT_TRUE(service.Event(EventKey(4)).has_value());
}

TEST(ServiceTestSettings, ThePassIntervalIsBoundedAndOtherTextIsIgnored) {
    const auto read = [](const char* interval, const char* emailSlot) {
        return ReadServiceTestSettings([=](const char* name) -> const char* {
            if (std::string_view(name) == "TARVELL_PASS_INTERVAL_MS") return interval;
            if (std::string_view(name) == "TARVELL_TEST_EMAIL_SLOT") return emailSlot;
            return nullptr;
        });
    };
    EXPECT_FALSE(read(nullptr, nullptr).Any());
    EXPECT_EQ(read("200", nullptr).passIntervalMs, 200);
    EXPECT_EQ(read("0", nullptr).passIntervalMs, kMinTestPassIntervalMs);
    EXPECT_EQ(read("-5", nullptr).passIntervalMs, kMinTestPassIntervalMs);
    EXPECT_EQ(read("86400000", nullptr).passIntervalMs, kMaxTestPassIntervalMs);
    for (const char* junk : {"200ms", " 200", "abc", "0x10", "99999999999999999999"}) {
        const ServiceTestSettings settings = read(junk, "yes");
        EXPECT_FALSE(settings.Any()) << junk;
        EXPECT_EQ(settings.notes.size(), 2u) << junk;
    }
    EXPECT_TRUE(read(nullptr, "1").emailSlotProbe);
    EXPECT_FALSE(read(nullptr, "0").Any());
}

}  // namespace
}  // namespace tarvell
