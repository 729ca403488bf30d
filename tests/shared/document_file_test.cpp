// The settings file on disk: load-or-create, saving with retries, locks and permissions.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "shared/CTarvellDoc.h"
#include "tests/support/FileSizeLimit.h"

namespace tarvell {
namespace {

// A fake clock that runs a hook after each sleep, with the number of sleeps so far.
class HookClock : public FakeClock {
public:
    std::function<void(int)> onSleep;
    void SleepMs(std::int64_t ms) override {
        FakeClock::SleepMs(ms);
        if (onSleep) onSleep(Sleeps());
    }
};

class DocumentFile : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = MakeTempFolder("tarvell-doc-");
        ASSERT_FALSE(folder_.empty());
        ::chmod(folder_.c_str(), 0755);
        doc_.SetPathName(folder_);
        path_ = JoinPath(folder_, "Tarvell.ini");
    }
    void TearDown() override {
        ::chmod(folder_.c_str(), 0755);
        RemoveTree(folder_);
    }

    static std::string Read(const std::string& path) {
        return ReadWholeFile(path).value_or("<none>");
    }
    static void Write(const std::string& path, std::string_view bytes) {
        ASSERT_TRUE(AtomicWriteFile(path, bytes));
    }
    static CTarvellDoc Edited() {
        CTarvellDoc d;
        d.SetDefaults();
        d.SmtpServer = "127.0.0.1";
        d.BlockRequests = {"00AABB000001/3;admin@LAN"};
        d.ReportColumns[8] = 0;
        return d;
    }
    static mode_t ModeOf(const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
    }

    std::string folder_;
    std::string path_;
    CTarvellDoc doc_;
    HookClock clock_;
};

TEST_F(DocumentFile, MissingFileIsCreatedWithTheDefaults) {
    const DocResult r = doc_.OnNewDocument(clock_);
    ASSERT_EQ(r.status, DocStatus::Created) << r.message;
    CTarvellDoc defaults;
    defaults.SetDefaults();
    EXPECT_EQ(Read(path_), defaults.StoreToBytes());
    EXPECT_EQ(doc_.SmtpPort, "25");
    EXPECT_EQ(doc_.GetPathName(), folder_);
    EXPECT_EQ(ModeOf(path_), 0640u);  // closed to the group: it is the service's own
    EXPECT_FALSE(FileExists(path_ + ".tmp"));

    // The next start loads it.
    CTarvellDoc again;
    again.SetPathName(folder_);
    EXPECT_EQ(again.OnNewDocument(clock_).status, DocStatus::Ok);
    EXPECT_EQ(again.EmailSubject, "$alert");
}

TEST_F(DocumentFile, ExistingFileIsLoadedNotReplaced) {
    Write(path_, Edited().StoreToBytes());
    ASSERT_TRUE(doc_.OnNewDocument(clock_));
    EXPECT_EQ(doc_.SmtpServer, "127.0.0.1");
    EXPECT_EQ(doc_.BlockRequests.size(), 1u);
    EXPECT_EQ(doc_.ReportColumns[8], 0);
}

TEST_F(DocumentFile, UnreadableFileFailsAndIsLeftAsItIs) {
    const std::string truncated = Edited().StoreToBytes().substr(0, 300);
    CTarvellDoc unknown = Edited();
    unknown.Version = "1.0";
    for (const auto& [bytes, status] :
         {std::pair{truncated, DocStatus::Damaged},
          std::pair{unknown.StoreToBytes(), DocStatus::UnknownVersion},
          std::pair{std::string(), DocStatus::Damaged}}) {
        Write(path_, bytes);
        CTarvellDoc doc;
        doc.SetPathName(folder_);
        doc.SmtpServer = "before";
        const CTarvellDoc before = doc;
        const DocResult r = doc.OnNewDocument(clock_);
        EXPECT_EQ(r.status, status) << r.message;
        EXPECT_FALSE(r.message.empty());
        EXPECT_TRUE(doc == before);
        EXPECT_EQ(Read(path_), bytes);
    }
}

TEST_F(DocumentFile, OnlyRegularFilesAreReadOrReplaced) {
    // A FIFO would block a plain open; a link could point anywhere.
    ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
    EXPECT_EQ(doc_.OnNewDocument(clock_).status, DocStatus::Refused);
    EXPECT_EQ(doc_.OnSaveDocument(clock_).status, DocStatus::IoError);
    ASSERT_TRUE(RemoveFile(path_));
    const std::string target = JoinPath(folder_, "elsewhere.ini");
    Write(target, Edited().StoreToBytes());
    ASSERT_EQ(::symlink(target.c_str(), path_.c_str()), 0);
    EXPECT_EQ(doc_.OnNewDocument(clock_).status, DocStatus::Refused);
    EXPECT_EQ(doc_.SmtpServer, "");
}

TEST_F(DocumentFile, SaveReplacesTheWholeFileAndKeepsItsPermissions) {
    // An earlier, longer file: none of its bytes may survive.
    Write(path_, Edited().StoreToBytes() + std::string(5000, 'x'));
    ::chmod(path_.c_str(), 0640);
    doc_.SetDefaults();
    doc_.SmtpUser = "mailer";
    const DocResult r = doc_.OnSaveDocument(clock_);
    ASSERT_TRUE(r) << r.message;
    EXPECT_EQ(Read(path_), doc_.StoreToBytes());
    EXPECT_EQ(ModeOf(path_), 0640u);
    EXPECT_EQ(clock_.Sleeps(), 0);
}

TEST_F(DocumentFile, SaveNeverCreatesTheFile) {
    doc_.SetDefaults();
    const DocResult r = doc_.OnSaveDocument(clock_);
    EXPECT_EQ(r.status, DocStatus::Missing);
    EXPECT_FALSE(FileExists(path_));
    // Five attempts, each followed by 1000 ms.
    EXPECT_EQ(clock_.Sleeps(), 5);
    EXPECT_EQ(clock_.SleptMs(), 5000);
}

TEST_F(DocumentFile, SaveSucceedsWhenTheFolderBecomesWritableWithinFourSeconds) {
    Write(path_, Edited().StoreToBytes());
    // Root writes into any folder, so for root a full disk stands in for a folder without write
    // permission.
    const bool root = ::geteuid() == 0;
    std::optional<test::FileSizeLimit> full;
    if (root) full.emplace(16);
    else ASSERT_EQ(::chmod(folder_.c_str(), 0555), 0);
    clock_.onSleep = [&](int sleeps) {
        if (sleeps == 3) {
            if (root) full.reset();
            else ::chmod(folder_.c_str(), 0755);
        }
    };
    doc_.SetDefaults();
    doc_.HtmlFolder = "/srv/www";
    const DocResult r = doc_.OnSaveDocument(clock_);
    ASSERT_TRUE(r) << r.message;
    EXPECT_EQ(clock_.SleptMs(), 3000);
    EXPECT_EQ(Read(path_), doc_.StoreToBytes());
}

TEST_F(DocumentFile, SaveWaitsForAnotherWriterAndGivesUpAfterFiveAttempts) {
    const std::string old = Edited().StoreToBytes();
    Write(path_, old);
    FileLock other;
    ASSERT_TRUE(other.Lock(path_, FileLock::Mode::Exclusive, false));
    doc_.SetDefaults();

    DocResult r = doc_.OnSaveDocument(clock_);
    EXPECT_EQ(r.status, DocStatus::Busy);
    EXPECT_EQ(clock_.SleptMs(), 5000);
    EXPECT_EQ(Read(path_), old);

    clock_.onSleep = [&](int sleeps) {
        if (sleeps == 5 + 2) other.Unlock();
    };
    r = doc_.OnSaveDocument(clock_);
    ASSERT_TRUE(r) << r.message;
    EXPECT_EQ(clock_.SleptMs(), 7000);
    EXPECT_EQ(Read(path_), doc_.StoreToBytes());
}

TEST_F(DocumentFile, LoadWaitsForAWriterToFinish) {
    Write(path_, Edited().StoreToBytes());
    FileLock writer;
    ASSERT_TRUE(writer.Lock(path_, FileLock::Mode::Exclusive, false));
    clock_.onSleep = [&](int sleeps) {
        if (sleeps == 4) writer.Unlock();
    };
    const DocResult r = doc_.LoadFromFile(path_, clock_);
    ASSERT_TRUE(r) << r.message;
    EXPECT_EQ(doc_.SmtpServer, "127.0.0.1");

    // A writer that never finishes: the load gives up and changes nothing.
    ASSERT_TRUE(writer.Lock(path_, FileLock::Mode::Exclusive, false));
    clock_.onSleep = nullptr;
    CTarvellDoc other;
    EXPECT_EQ(other.LoadFromFile(path_, clock_).status, DocStatus::Busy);
    EXPECT_TRUE(other == CTarvellDoc());
}

TEST_F(DocumentFile, HandOverCopyIsWrittenAndReadOnAnotherPath) {
    const std::string handover = JoinPath(folder_, "handover-Tarvell.ini");
    const CTarvellDoc edited = Edited();
    EXPECT_EQ(edited.SaveToFile(handover, false).status, DocStatus::Missing);
    ASSERT_EQ(edited.SaveToFile(handover, true).status, DocStatus::Created);
    ASSERT_TRUE(edited.SaveToFile(handover, true));  // now replaces it
    CTarvellDoc taken;
    taken.SetDefaults();
    ASSERT_TRUE(taken.LoadFromFile(handover, clock_));
    EXPECT_TRUE(taken == edited);
}

}  // namespace
}  // namespace tarvell
