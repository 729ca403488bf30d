#include "platform/Files.h"
#include "platform/UniqueFd.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <csignal>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <cerrno>
#include <thread>

namespace tarvell {
namespace {

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempFolder("files-test-");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override { RemoveTree(dir_); }
    std::string Path(const std::string& name) const { return JoinPath(dir_, name); }
    std::string dir_;
};

// Two contents of different sizes, each recognisable as a whole.
std::string Content(char fill, std::size_t size) {
    std::string s(size, fill);
    s.front() = '<';
    s.back() = '>';
    return s;
}

// A file made piece by piece: small pieces, pieces written as they are, more than one step of
// the early write-back, and a count put right at the end across the written and buffered parts.
TEST_F(FilesTest, PiecewiseWriterMakesExactlyTheBytesAppendedAndPatched) {
    const std::string path = Path("pieces.db");
    ASSERT_TRUE(AtomicWriteFile(path, "old"));
    AtomicFileWriter writer;
    ASSERT_TRUE(writer.Open(path));
    std::string expected;
    std::size_t written = 0;  // the end of the last large piece, which went to the file at once
    for (std::size_t n = 0; n < 300; ++n) {
        const bool large = n % 7 == 0;
        const std::string piece = Content(static_cast<char>('a' + n % 26), large ? 100'000 : 5 + n);
        ASSERT_TRUE(writer.Append(piece));
        expected += piece;
        if (large) written = expected.size();
    }
    ASSERT_GT(expected.size(), 4u << 20);
    ASSERT_LT(written, expected.size());
    ASSERT_TRUE(writer.Overwrite(written - 5, "0123456789"));  // half written, half buffered
    expected.replace(written - 5, 10, "0123456789");
    ASSERT_TRUE(writer.Overwrite(0, "HEAD"));
    expected.replace(0, 4, "HEAD");
    EXPECT_FALSE(writer.Overwrite(expected.size() - 2, "xyz"));  // beyond what was appended
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(writer.Size(), expected.size());
    EXPECT_EQ(*ReadWholeFile(path), "old") << "the file changed before Commit";
    ASSERT_TRUE(writer.Commit());
    EXPECT_EQ(*ReadWholeFile(path), expected);
    EXPECT_FALSE(FileExists(path + ".tmp"));
}

// However a writer ends before Commit, the file stays the old one: let go, abandoned, killed
// halfway, or failed on a write (a file size limit); a killed writer's leftover is taken over by
// the next one.
TEST_F(FilesTest, PiecewiseWriterEndedBeforeCommitLeavesTheOldFile) {
    const std::string path = Path("state.log");
    const std::string big = Content('n', 4u << 20);
    enum class End { LetGo, Abandoned, Killed, WriteFails };
    for (const End end : {End::LetGo, End::Abandoned, End::Killed, End::WriteFails}) {
        ASSERT_TRUE(AtomicWriteFile(path, "old"));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (end == End::WriteFails) {
                ::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{1u << 20, 1u << 20};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            }
            int result = 0;
            {
                AtomicFileWriter writer;
                if (!writer.Open(path)) ::_exit(2);
                const bool appended = writer.Append(big) && writer.Append(big);
                if (end == End::Killed) ::raise(SIGKILL);
                if (end == End::Abandoned) writer.Abandon();
                // The system's limit is no limit of the writer's own.
                if (end == End::WriteFails)
                    result = !appended && !writer.Commit() && !writer.LimitReached() ? 0 : 3;
                else result = appended ? 0 : 4;
            }  // a writer let go
            ::_exit(result);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (end == End::Killed) {
            EXPECT_TRUE(WIFSIGNALED(status));
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << static_cast<int>(end);
            EXPECT_FALSE(FileExists(path + ".tmp")) << static_cast<int>(end);
        }
        EXPECT_EQ(*ReadWholeFile(path), "old") << static_cast<int>(end);
    }
    ASSERT_TRUE(AtomicWriteFile(path, "new"));
    EXPECT_EQ(*ReadWholeFile(path), "new");
}

TEST_F(FilesTest, ReaderNeverSeesAPartialFileDuringRewrites) {
    const std::string path = Path("state.db");
    const std::string big = Content('a', 256 * 1024);
    const std::string small = Content('b', 3000);
    ASSERT_TRUE(AtomicWriteFile(path, small));

    std::atomic<bool> done{false};
    std::atomic<int> reads{0}, bad{0};
    std::thread reader([&] {
        while (!done.load()) {
            const auto got = ReadWholeFile(path);
            if (!got || (*got != big && *got != small)) ++bad;
            ++reads;
        }
    });
    int failedWrites = 0;
    for (int i = 0; i < 1000; ++i) {
        if (!AtomicWriteFile(path, i % 2 ? small : big)) ++failedWrites;
    }
    done = true;
    reader.join();
    EXPECT_EQ(failedWrites, 0);
    EXPECT_EQ(bad.load(), 0) << "of " << reads.load() << " reads";
    EXPECT_GT(reads.load(), 10);
    EXPECT_EQ(*ReadWholeFile(path), small);
    EXPECT_FALSE(FileExists(path + ".tmp"));
}

TEST_F(FilesTest, ConcurrentWritersOfOnePathTakeTurns) {
    const std::string path = Path("Tarvell.ini");
    const std::string one = Content('1', 50000), two = Content('2', 700);
    ASSERT_TRUE(AtomicWriteFile(path, one));
    std::atomic<int> failed{0}, bad{0};
    std::atomic<bool> done{false};
    auto writer = [&](const std::string& content) {
        for (int i = 0; i < 200; ++i) {
            if (!AtomicWriteFile(path, content)) ++failed;
        }
    };
    std::thread reader([&] {
        while (!done.load()) {
            const auto got = ReadWholeFile(path);
            if (!got || (*got != one && *got != two)) ++bad;
        }
    });
    std::thread w1(writer, one), w2(writer, two);
    w1.join();
    w2.join();
    done = true;
    reader.join();
    EXPECT_EQ(failed.load(), 0);
    EXPECT_EQ(bad.load(), 0);
    EXPECT_FALSE(FileExists(path + ".tmp"));
}

TEST_F(FilesTest, FailedWriteLeavesTheOldFile) {
    EXPECT_FALSE(AtomicWriteFile(Path("missing/folder/x"), "new"));
    EXPECT_EQ(errno, ENOENT);
}

// ---- the temporary file is made anew

// Fixed fault: a file found under the temporary name was opened and written, so a descriptor or
// a link of it taken before read what was saved. What stands there goes (a folder is moved
// aside); a file its writer holds for a moment is waited for.
TEST_F(FilesTest, WhatStandsAtTheTemporaryNameIsNeverWrittenThrough) {
    const std::string path = Path("Tarvell.ini"), tmp = path + ".tmp", other = Path("other");
    const auto into = [&](const std::string& to) { return ::rename(other.c_str(), to.c_str()); };
    FileLock writer;
    const std::pair<const char*, std::function<bool()>> cases[] = {  // put `other` there
        {"a symbolic link", [&] { return ::symlink(other.c_str(), tmp.c_str()); }},
        {"a folder", [&] { return ::mkdir(tmp.c_str(), 0700) || into(tmp + "/inside"); }},
        {"a second link", [&] { return ::link(other.c_str(), tmp.c_str()); }},
        {"another's file", [&] { return into(tmp) || (!::geteuid() && ::chown(tmp.c_str(), 1, 1)); }},
        {"a killed writer's file", [&] { return into(tmp); }},
        {"an empty file never locked", [&] { return ::truncate(other.c_str(), 0) || into(tmp); }},
        {"a file its writer holds", [&] { return into(tmp) || !writer.Lock(tmp); }},
    };
    for (const auto& [what, plant] : cases) {
        ASSERT_TRUE(AtomicWriteFile(other, "kept"));
        const UniqueFd held(::open(other.c_str(), O_RDONLY));
        ASSERT_FALSE(plant()) << what;
        const bool holds = writer.IsLocked();
        std::thread letGo([&] {
            if (holds) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            writer.Unlock();
        });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(AtomicWriteFile(path, "new", 0600)) << what;
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(holds * 90));
        letGo.join();
        EXPECT_EQ(ReadWholeFile(path).value_or(""), "new") << what;
        EXPECT_NE(ReadAllFromFd(held.Get(), 100).value_or("new"), "new") << what;
        EXPECT_FALSE(FileExists(tmp)) << what;
        RemoveFile(other);
    }
}

TEST_F(FilesTest, ReadWholeFileRefusesMissingAndOversizedFiles) {
    EXPECT_FALSE(ReadWholeFile(Path("none")).has_value());
    EXPECT_EQ(errno, ENOENT);
    ASSERT_TRUE(AtomicWriteFile(Path("f"), "12345"));
    EXPECT_EQ(*ReadWholeFile(Path("f"), 5), "12345");
    errno = ENOENT;  // a refusal must not leave an earlier errno in place
    EXPECT_FALSE(ReadWholeFile(Path("f"), 4).has_value());
    EXPECT_EQ(errno, EFBIG);
    EXPECT_FALSE(ReadWholeFile(dir_).has_value());
    ASSERT_TRUE(AtomicWriteFile(Path("empty"), ""));
    EXPECT_EQ(*ReadWholeFile(Path("empty")), "");
}

// ---- the checked open of every reader

// A FIFO under a read file's name blocked the reader for good in open(); a device was read
// until the size bound.
TEST_F(FilesTest, ReadWholeFileRefusesWhatIsNotARegularFileWithoutBlocking) {
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink(Path("fifo").c_str(), Path("link-to-fifo").c_str()), 0);
    const struct {
        std::string path;
        int error;
    } cases[] = {
        {Path("fifo"), EINVAL}, {Path("link-to-fifo"), EINVAL},
        {"/dev/zero", EINVAL},  {"/dev/null", EINVAL},
        {dir_, EISDIR},
    };
    for (const auto& c : cases) {
        // A blocking open of the FIFO would never return; the alarm ends the test program then.
        ::alarm(20);
        errno = 0;
        EXPECT_FALSE(ReadWholeFile(c.path).has_value()) << c.path;
        EXPECT_EQ(errno, c.error) << c.path;
        EXPECT_TRUE(IsRefusedFileError(c.error));
        struct stat st {};
        EXPECT_LT(OpenFileForReading(c.path, 1 << 20, FollowLink::Yes, &st), 0) << c.path;
        EXPECT_NE(st.st_mode, 0u) << c.path << ": the refused file's status is given";
        ::alarm(0);
    }
    EXPECT_FALSE(IsRefusedFileError(ENOENT));
}

TEST_F(FilesTest, CheckedOpenFollowsALinkOnlyWhenAllowedAndReadsBlockingAfterwards) {
    ASSERT_TRUE(AtomicWriteFile(Path("real"), "content"));
    ASSERT_EQ(::symlink(Path("real").c_str(), Path("link").c_str()), 0);
    EXPECT_EQ(ReadWholeFile(Path("link")).value_or(""), "content");
    errno = 0;
    EXPECT_FALSE(ReadWholeFile(Path("link"), 100, FollowLink::No).has_value());
    EXPECT_EQ(errno, ELOOP);
    EXPECT_EQ(ReadWholeFile(Path("real"), 100, FollowLink::No).value_or(""), "content");

    struct stat st {};
    const int fd = OpenFileForReading(Path("real"), 100, FollowLink::No, &st);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    EXPECT_EQ(st.st_size, 7);
    ::close(fd);
    errno = 0;
    EXPECT_LT(OpenFileForReading(Path("real"), 6), 0);
    EXPECT_EQ(errno, EFBIG);
}

TEST_F(FilesTest, MoveAsideNamesTheCopyAfterTheSecondAndNeverOverwrites) {
    FakeClock clock(1'700'000'123);
    const std::string path = Path("Tarvell.ini");
    ASSERT_TRUE(AtomicWriteFile(path, "first damaged"));
    EXPECT_EQ(MoveAside(path, clock), path + ".bad-1700000123");
    EXPECT_FALSE(FileExists(path));

    ASSERT_TRUE(AtomicWriteFile(path, "second damaged"));
    EXPECT_EQ(MoveAside(path, clock), path + ".bad-1700000123-2");
    EXPECT_EQ(*ReadWholeFile(path + ".bad-1700000123"), "first damaged");
    EXPECT_EQ(*ReadWholeFile(path + ".bad-1700000123-2"), "second damaged");

    EXPECT_EQ(MoveAside(Path("not-there"), clock), "");
}

// Fixed fault: every refused file stayed aside, without bound. Second 10 is newer than 9 (by
// number, not text), and "-2" newer than its plain name; names of other shapes stay.
TEST_F(FilesTest, MoveAsideKeepsOnlyTheNewestCopies) {
    FakeClock clock;
    ASSERT_TRUE(AtomicWriteFile(Path("Tarvell.ini.bad-note"), "not a copy of ours"));
    std::vector<std::string> names;
    for (std::int64_t second : {1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 10}) {
        clock.Set(second);
        // The oldest are folders (one planted in the hand-over's place): pruned as well.
        ASSERT_TRUE(second < 3 ? MakeDirectories(Path("Tarvell.ini/inside"))
                               : AtomicWriteFile(Path("Tarvell.ini"), "damaged"));
        names.push_back(MoveAside(Path("Tarvell.ini"), clock));
    }
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(FileExists(names[i]), i + kKeptBadCopies >= names.size()) << names[i];
    EXPECT_TRUE(FileExists(Path("Tarvell.ini.bad-note")));
}

// Fixed fault: the copy just made could be the one deleted right after its name was logged.
// After a clock set back it counted as the oldest; and at one second, once the plain name had
// been pruned, the next copy took that name and sorted first again. Copies dated later than
// now (from before the set back) go first.
TEST_F(FilesTest, MoveAsideNeverDeletesTheCopyJustMade) {
    const std::string path = Path("Tarvell.db");
    auto moveAside = [&](FakeClock& clock) {
        EXPECT_TRUE(AtomicWriteFile(path, "damaged"));
        const std::string name = MoveAside(path, clock);
        EXPECT_TRUE(FileExists(name)) << name;
        return name;
    };
    FakeClock clock;
    std::vector<std::string> before, after;
    for (std::int64_t second = 2'000; second < 2'000 + std::int64_t{kKeptBadCopies}; ++second) {
        clock.Set(second);
        before.push_back(moveAside(clock));
    }
    for (std::int64_t second = 1'000; second < 1'000 + std::int64_t{kKeptBadCopies}; ++second) {
        clock.Set(second);  // set back below every copy's name
        after.push_back(moveAside(clock));
        EXPECT_FALSE(FileExists(before[after.size() - 1])) << before[after.size() - 1];
    }
    for (const std::string& name : after) EXPECT_TRUE(FileExists(name)) << name;

    FakeClock stopped(3'000);  // many copies within one second
    for (std::size_t i = 0; i < 3 * kKeptBadCopies; ++i) moveAside(stopped);
}

TEST(Retry, CountsAttemptsAndSleepsOnTheClock) {
    FakeClock clock;
    int calls = 0;
    EXPECT_TRUE(Retry(
        5, 1000, [&] { return ++calls == 3; }, clock));
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(clock.Sleeps(), 2);
    EXPECT_EQ(clock.SleptMs(), 2000);

    FakeClock all;
    calls = 0;
    EXPECT_FALSE(Retry(
        5, 1000,
        [&] {
            ++calls;
            return false;
        },
        all));
    EXPECT_EQ(calls, 5);
    EXPECT_EQ(all.Sleeps(), 5);  // also after the last attempt

    FakeClock notLast;
    calls = 0;
    EXPECT_FALSE(Retry(
        5, 1000,
        [&] {
            ++calls;
            return false;
        },
        notLast, false));
    EXPECT_EQ(notLast.Sleeps(), 4);

    FakeClock none;
    calls = 0;
    EXPECT_FALSE(Retry(
        0, 1000,
        [&] {
            ++calls;
            return true;
        },
        none));
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(Retry(
        3, 1000, [] { return true; }, none));
    EXPECT_EQ(none.Sleeps(), 0);
}

TEST_F(FilesTest, FileLockExcludesOtherHolders) {
    const std::string lockPath = Path("engine.lock");
    FileLock first;
    ASSERT_TRUE(first.Lock(lockPath));
    FileLock second;
    EXPECT_FALSE(second.Lock(lockPath, FileLock::Mode::Exclusive, false));
    EXPECT_EQ(errno, EWOULDBLOCK);
    EXPECT_FALSE(second.Lock(lockPath, FileLock::Mode::Shared, false));

    // Another process is kept out as well.
    const pid_t child = ::fork();
    if (child == 0) {
        FileLock other;
        ::_exit(other.Lock(lockPath, FileLock::Mode::Exclusive, false) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 0);

    FileLock moved = std::move(first);
    EXPECT_FALSE(first.IsLocked());
    EXPECT_TRUE(moved.IsLocked());
    moved.Unlock();
    EXPECT_TRUE(second.Lock(lockPath, FileLock::Mode::Shared, false));
    FileLock third;
    EXPECT_TRUE(third.Lock(lockPath, FileLock::Mode::Shared, false));
    FileLock writer;
    EXPECT_FALSE(writer.Lock(lockPath, FileLock::Mode::Exclusive, false));
}

TEST_F(FilesTest, FoldersAreMadeAndRemovedWholeWithoutFollowingLinks) {
    const std::string deep = Path("a/b/c");
    EXPECT_TRUE(MakeDirectories(deep));
    EXPECT_TRUE(MakeDirectories(deep));
    EXPECT_TRUE(IsDirectory(deep));
    ASSERT_TRUE(AtomicWriteFile(JoinPath(deep, "f"), "x"));

    const std::string outside = MakeTempFolder("files-outside-");
    ASSERT_TRUE(AtomicWriteFile(JoinPath(outside, "keep"), "x"));
    ASSERT_EQ(::symlink(outside.c_str(), Path("a/link").c_str()), 0);
    EXPECT_TRUE(RemoveTree(Path("a")));
    EXPECT_FALSE(FileExists(Path("a")));
    EXPECT_TRUE(FileExists(JoinPath(outside, "keep")));
    RemoveTree(outside);

    ASSERT_TRUE(AtomicWriteFile(Path("plain"), "x"));
    EXPECT_FALSE(MakeDirectories(Path("plain/sub")));
}

TEST(JoinPath, NeverDoublesTheSeparator) {
    EXPECT_EQ(JoinPath("/var/lib", "x"), "/var/lib/x");
    EXPECT_EQ(JoinPath("/var/lib/", "x"), "/var/lib/x");
    EXPECT_EQ(JoinPath("/var/lib/", "/x"), "/var/lib/x");
    EXPECT_EQ(JoinPath("/", "etc"), "/etc");
    EXPECT_EQ(JoinPath("", "x"), "x");
}

}  // namespace
}  // namespace tarvell

// A descriptor is closed once, by its last owner, and errno survives the close.
TEST(UniqueFdTest, ClosesOnceByItsLastOwnerAndKeepsErrno) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    ::close(pipeFds[1]);
    tarvell::UniqueFd first(pipeFds[0]);
    tarvell::UniqueFd second(std::move(first));
    EXPECT_FALSE(first.Valid());
    EXPECT_NE(::fcntl(pipeFds[0], F_GETFD), -1);  // still open
    errno = ENOENT;
    second.Reset();
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(::fcntl(pipeFds[0], F_GETFD), -1);
    tarvell::UniqueFd released(::dup(STDIN_FILENO));
    const int raw = released.Release();
    released.Reset();
    EXPECT_EQ(::close(raw), 0) << "a released descriptor is not closed";
}
