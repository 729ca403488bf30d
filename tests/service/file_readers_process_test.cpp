// Runs the built TarvellSrv on a temporary installation with a FIFO where it reads a file: it must
// refuse the FIFO at once, go on running and stop cleanly on SIGTERM.
// Fixed fault: a FIFO under any of these names hung the service in open() for good, and SIGTERM
// no longer stopped it.
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Files.h"
#include "platform/Process.h"
#include "shared/CTarvellDoc.h"
#include "shared/StateFiles.h"
#include "tests/support/RunningService.h"

namespace tarvell {
namespace {

using testing::RunningService;
using testing::WaitUntil;

const std::string kRegTool = tarvell::test::ToolProgram("tarvell-reg");
const std::string kSiblingKey = "SYSTEM\\CurrentControlSet\\Services\\Quenmark Ombrix";

// Where the FIFO goes, relative to the installation's root.
enum class Reader { Events, Alerts, Reports, Sibling, Hive, DailyArchive, BootCounter };

struct FifoCase {
    const char* name;
    Reader reader;
};

std::string PrintName(const ::testing::TestParamInfo<FifoCase>& info) { return info.param.name; }
void PrintTo(const FifoCase& c, std::ostream* os) { *os << c.name; }

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::int64_t ModifiedNs(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return -1;
    return st.st_mtim.tv_sec * 1'000'000'000LL + st.st_mtim.tv_nsec;
}

// "%Y%m%d_AutoArchive.log" of a local day.
std::string ArchiveName(std::time_t when) {
    std::tm day{};
    localtime_r(&when, &day);
    char name[64];
    std::strftime(name, sizeof name, kDailyArchiveFormat, &day);
    return name;
}

class FileReadersProcessTest : public ::testing::TestWithParam<FifoCase> {
protected:
    void SetUp() override {
        // A service that ran before: every state file in place, so that start-up spends no
        // retries on missing ones, and the daily archive on.
        ASSERT_TRUE(MakeDirectories(siblingFolder));
        ASSERT_TRUE(
            WriteStateFile(JoinPath(siblingFolder, kSiblingDatabaseName), SiblingDatabaseFile{}));
        CTarvellDoc settings;
        settings.SetDefaults();
        settings.Version = "3.6";
        settings.AlertArchiveEnabled = 1;
        ASSERT_TRUE(service.Install(settings));
    }

    bool RunTool(const std::vector<std::string>& argv) {
        const ProcessResult result = testing::RunServiceTool(root.Path(), argv);
        EXPECT_TRUE(result.Succeeded()) << argv.front() << ": " << result.err;
        return result.Succeeded();
    }

    std::string Path(std::string_view name) const { return service.Path(name); }

    void MakeFifo(const std::string& path) {
        ::unlink(path.c_str());
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
    }

    RunningService service{"file-readers-"};
    const testing::TempFolder& root = service.Root();
    const std::string siblingFolder = service.SiblingFolder();
};

TEST_P(FileReadersProcessTest, AFifoIsRefusedAndSigtermStillStopsTheService) {
    const Reader reader = GetParam().reader;
    if (reader != Reader::Hive) {
        ASSERT_TRUE(RunTool(
            {kRegTool, "set", "HKLM", kSiblingKey, "ImagePath", siblingFolder + "/ombrix"}));
    }
    const std::time_t now = std::time(nullptr);
    std::vector<std::string> fifos;
    switch (reader) {
        case Reader::Events: fifos = {Path(kEventDatabaseName)}; break;
        case Reader::Alerts: fifos = {Path(kAlertLogName)}; break;
        case Reader::Reports: fifos = {Path(kReportStoreName)}; break;
        case Reader::Sibling: fifos = {JoinPath(siblingFolder, kSiblingDatabaseName)}; break;
        case Reader::Hive:
            ASSERT_TRUE(MakeDirectories(root / "etc/tarvell/registry"));
            fifos = {root / "etc/tarvell/registry/HKEY_LOCAL_MACHINE.reg"};
            break;
        case Reader::DailyArchive:  // today's, and tomorrow's should the day end meanwhile
            fifos = {Path(ArchiveName(now)), Path(ArchiveName(now + 86400))};
            break;
        case Reader::BootCounter: fifos = {Path("snmpv3_boot_counter")}; break;
    }
    for (const std::string& fifo : fifos) MakeFifo(fifo);
    const std::int64_t seeded = ModifiedNs(Path(kEventDatabaseName));

    ASSERT_TRUE(service.Run());

    // Started: a pass has written Tarvell.db anew (a regular file again where it was a FIFO).
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::string db = Path(kEventDatabaseName);
            return IsRegularFile(db) && ModifiedNs(db) != seeded;
        },
        15'000))
        << "no pass ran\n"
        << service.Output();

    if (reader == Reader::DailyArchive) {
        // An alert makes the pass read the day's archive file.
        ASSERT_TRUE(AtomicWriteFile(service.EventFile(),
                                    "SwitchKey 00AABB000001\nPortKey 3\nSourceMac 001122334455\n"
                                    "Category Detection\nEventType New Mac\nDescription New Mac\n"
                                    "Severity 3\n"));
        ASSERT_TRUE(service.WaitForLineWith("Test event recorded")) << service.Output();
        ASSERT_TRUE(
            WaitUntil([&] { return IsRegularFile(fifos[0]) || IsRegularFile(fifos[1]); }, 10'000))
            << "the archive was not written\n"
            << service.Output();
        AlertLogFile day;
        EXPECT_TRUE(ReadStateFile(IsRegularFile(fifos[0]) ? fifos[0] : fifos[1], day));
        EXPECT_EQ(day.AlertLog.size(), 1u);
    }
    if (reader == Reader::Events || reader == Reader::Alerts || reader == Reader::Reports ||
        reader == Reader::Hive) {
        EXPECT_FALSE(service.LinesWith("not a regular file").empty()) << service.Output();
    }
    if (reader == Reader::Sibling) {
        EXPECT_EQ(service.LinesWith("Sibling database").size(), 1u) << service.Output();
    }

    const auto asked = std::chrono::steady_clock::now();
    EXPECT_TRUE(service.Stop(2000)) << service.Output();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(2));
    EXPECT_FALSE(service.LinesWith("Service stopped").empty()) << service.Output();
}

INSTANTIATE_TEST_SUITE_P(EveryReader, FileReadersProcessTest,
                         ::testing::Values(FifoCase{"EventDatabase", Reader::Events},
                                           FifoCase{"AlertLog", Reader::Alerts},
                                           FifoCase{"ReportStore", Reader::Reports},
                                           FifoCase{"SiblingDatabase", Reader::Sibling},
                                           FifoCase{"RegistryHive", Reader::Hive},
                                           FifoCase{"DailyArchive", Reader::DailyArchive},
                                           FifoCase{"BootCounter", Reader::BootCounter}),
                         PrintName);

}  // namespace
}  // namespace tarvell
