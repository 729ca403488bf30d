#include "platform/Process.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/Files.h"
#include "platform/Text.h"

namespace tarvell {
namespace {

using Ms = std::chrono::milliseconds;

std::int64_t ElapsedMs(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - since).count();
}

ProcessResult Capture(std::vector<std::string> argv, std::int64_t limitMs = 0) {
    ProcessOptions options;
    options.argv = std::move(argv);
    options.captureOutput = true;
    options.timeLimitMs = limitMs;
    return RunProcess(options);
}

// True when the process is gone (or a zombie of some other parent).
bool Gone(int pid) {
    if (::kill(pid, 0) != 0) return true;
    const auto stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
    if (!stat) return true;
    const std::size_t paren = stat->rfind(')');
    return paren != std::string::npos && paren + 2 < stat->size() && (*stat)[paren + 2] == 'Z';
}

void ExpectReaped(const ProcessResult& r) {
    ASSERT_GT(r.pid, 0);
    errno = 0;
    EXPECT_EQ(::waitpid(r.pid, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(RunProcess, ReportsTheExitCodeOrTheSignal) {
    auto r = Capture({"sh", "-c", "echo out; echo err >&2; exit 7"});
    EXPECT_EQ(r.end, ProcessEnd::Exited);
    EXPECT_EQ(r.exitCode, 7);
    EXPECT_EQ(r.out, "out\n");
    EXPECT_EQ(r.err, "err\n");
    EXPECT_FALSE(r.Succeeded());
    ExpectReaped(r);

    r = Capture({"true"});
    EXPECT_TRUE(r.Succeeded());

    r = Capture({"sh", "-c", "kill -SEGV $$"});
    EXPECT_EQ(r.end, ProcessEnd::Signalled);
    EXPECT_EQ(r.signal, SIGSEGV);
    ExpectReaped(r);
}

TEST(RunProcess, AProgramThatCannotStartIsReported) {
    auto r = Capture({"/nonexistent/linkup.sh", "PC1"});
    EXPECT_EQ(r.end, ProcessEnd::NotStarted);
    EXPECT_EQ(r.error, ENOENT);
    r = Capture({"no-such-program-anywhere"});
    EXPECT_EQ(r.end, ProcessEnd::NotStarted);
    const std::string dir = MakeTempFolder("process-test-");
    const std::string script = JoinPath(dir, "script");
    ASSERT_TRUE(AtomicWriteFile(script, "exit 0\n", 0644));
    r = Capture({script});  // not executable
    EXPECT_EQ(r.end, ProcessEnd::NotStarted);
    EXPECT_EQ(r.error, EACCES);
    // Executable but without "#!": it is not handed to a shell.
    ASSERT_EQ(::chmod(script.c_str(), 0755), 0);
    r = Capture({script});
    EXPECT_EQ(r.end, ProcessEnd::NotStarted);
    EXPECT_EQ(r.error, ENOEXEC);
    RemoveTree(dir);
    EXPECT_EQ(Capture({}).end, ProcessEnd::NotStarted);
    ProcessOptions options;
    options.argv = {"true"};
    options.workingDir = "/nonexistent";
    EXPECT_EQ(RunProcess(options).end, ProcessEnd::NotStarted);
}

TEST(RunProcess, ArgumentsReachTheProgramUnchanged) {
    const std::string dir = MakeTempFolder("process-test-");
    const std::string marker = JoinPath(dir, "marker");
    const std::vector<std::string> args = {"two words",
                                           "it's \"quoted\"",
                                           "$(touch " + marker + ")",
                                           "`touch " + marker + "`",
                                           "*",
                                           "; touch " + marker,
                                           "",
                                           "back\\slash",
                                           "tab\there"};
    std::vector<std::string> argv = {"printf", "[%s]\\n"};
    argv.insert(argv.end(), args.begin(), args.end());
    const auto r = Capture(argv);
    ASSERT_TRUE(r.Succeeded()) << r.err;
    std::string expected;
    for (const auto& a : args) expected += "[" + a + "]\n";
    EXPECT_EQ(r.out, expected);
    EXPECT_FALSE(FileExists(marker));
    RemoveTree(dir);
}

TEST(RunProcess, TheTimeLimitKillsTheProgramAndItsGroup) {
    const auto start = std::chrono::steady_clock::now();
    auto r = Capture({"sleep", "30"}, 300);
    EXPECT_EQ(r.end, ProcessEnd::TimedOut);
    EXPECT_GE(ElapsedMs(start), 300);
    EXPECT_LT(ElapsedMs(start), 3000);
    ExpectReaped(r);

    // A script that started a program of its own: that one goes as well, and the output
    // written before the limit is kept.
    r = Capture({"sh", "-c", "sleep 30 & echo $!; sleep 30"}, 300);
    EXPECT_EQ(r.end, ProcessEnd::TimedOut);
    const auto grandchild = static_cast<int>(AtoL(r.out));
    ASSERT_GT(grandchild, 0) << r.out;
    for (int i = 0; i < 200 && !Gone(grandchild); ++i) std::this_thread::sleep_for(Ms(10));
    EXPECT_TRUE(Gone(grandchild));
}

TEST(RunProcess, ACancelEventEndsTheProgram) {
    ManualResetEvent stop;
    ProcessOptions options;
    options.argv = {"sleep", "30"};
    options.cancel = &stop;
    std::thread stopper([&] {
        std::this_thread::sleep_for(Ms(100));
        stop.Set();
    });
    const auto start = std::chrono::steady_clock::now();
    const auto r = RunProcess(options);
    stopper.join();
    EXPECT_EQ(r.end, ProcessEnd::Cancelled);
    EXPECT_LT(ElapsedMs(start), 3000);
    ExpectReaped(r);
}

TEST(RunProcess, OutputIsBounded) {
    ProcessOptions options;
    options.argv = {"head", "-c", "300000", "/dev/zero"};
    options.captureOutput = true;
    options.maxOutputBytes = 1000;
    const auto r = RunProcess(options);
    EXPECT_TRUE(r.Succeeded());  // the rest was read, so the writer did not die of a full pipe
    EXPECT_EQ(r.out.size(), 1000u);
    EXPECT_TRUE(r.outTruncated);
    EXPECT_FALSE(r.errTruncated);
}

TEST(RunProcess, FolderEnvironmentAndInheritanceAreControlled) {
    const std::string dir = MakeTempFolder("process-test-");
    ProcessOptions options;
    options.argv = {"/bin/sh", "-c", "pwd; echo \"$ONLY\"; echo \"${HOME-unset}\"; ls /proc/$$/fd"};
    options.workingDir = dir;
    options.environment = std::vector<std::string>{"ONLY=1", "PATH=/usr/bin:/bin"};
    options.captureOutput = true;
    // A descriptor opened without close-on-exec, as other threads may hold, is not passed on.
    const int leaked = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(leaked, 3);
    const auto r = RunProcess(options);
    ::close(leaked);
    ASSERT_TRUE(r.Succeeded()) << r.err;
    const auto lines = SplitAny(r.out, "\n");
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], dir);
    EXPECT_EQ(lines[1], "1");
    EXPECT_EQ(lines[2], "unset");
    for (std::size_t i = 3; i < lines.size(); ++i) {
        EXPECT_NE(AtoL(lines[i]), leaked) << r.out;
    }
    RemoveTree(dir);
}

TEST(RunProcess, TheProgramStartsWithNoSignalBlockedOrIgnored) {
    // The service blocks its control signals in every thread and ignores SIGPIPE.
    sigset_t blocked, old;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &blocked, &old), 0);
    struct sigaction ignore {
    }, oldPipe{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &oldPipe);

    auto r = Capture({"sh", "-c", "kill -TERM $$; sleep 5"}, 10'000);
    EXPECT_EQ(r.end, ProcessEnd::Signalled);
    EXPECT_EQ(r.signal, SIGTERM);
    r = Capture({"sh", "-c", "kill -PIPE $$; sleep 5"}, 10'000);
    EXPECT_EQ(r.end, ProcessEnd::Signalled);
    EXPECT_EQ(r.signal, SIGPIPE);

    ::sigaction(SIGPIPE, &oldPipe, nullptr);
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

TEST(RunProcess, ManyThreadsRunProgramsAtOnce) {
    std::vector<std::thread> threads;
    std::atomic<int> good{0};
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 5; ++i) {
                const auto r = Capture({"sh", "-c", "exit " + std::to_string(t)});
                if (r.end == ProcessEnd::Exited && r.exitCode == t) ++good;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(good.load(), 40);
}

// ---- accounts

// The tests that change user need root; as any other user they are skipped.
bool IsRoot() { return ::geteuid() == 0; }

ProcessOptions AsUser(std::vector<std::string> argv, const std::string& user,
                      const std::string& password = "") {
    ProcessOptions options;
    options.argv = std::move(argv);
    options.captureOutput = true;
    options.timeLimitMs = 20'000;
    options.account = ProcessAccount{user, "IGNORED", password};
    return options;
}

TEST(RunProcessAccount, TheProgramRunsAsTheUserWithItsGroupsAndHome) {
    if (!IsRoot()) GTEST_SKIP() << "needs root to change user";
    const int leaked = ::open("/dev/null", O_RDONLY);  // not passed on under an account either
    const auto r = RunProcess(AsUser(
        {"/bin/sh", "-c", "id -u; id -g; id -G; echo \"$HOME $USER $LOGNAME\"; ls /proc/$$/fd"},
        "nobody"));
    ::close(leaked);
    ASSERT_TRUE(r.Succeeded()) << r.errorText << r.err;
    const auto lines = SplitAny(r.out, "\n");
    ASSERT_GE(lines.size(), 4u) << r.out;
    EXPECT_EQ(lines[0], "65534");
    EXPECT_EQ(lines[1], "65534");
    EXPECT_EQ(lines[2], "65534");  // root's supplementary groups are gone
    EXPECT_EQ(lines[3], "/nonexistent nobody nobody");
    for (std::size_t i = 4; i < lines.size(); ++i) EXPECT_LE(AtoL(lines[i]), 2) << r.out;
    ExpectReaped(r);
}

TEST(RunProcessAccount, AFailedLogOnRunsNothing) {
    const std::string dir = MakeTempFolder("process-test-");
    ASSERT_EQ(::chmod(dir.c_str(), 0777), 0);
    const std::string marker = JoinPath(dir, "ran");
    const std::vector<std::string> argv = {"/bin/sh", "-c", "touch " + marker};
    struct Case {
        const char* what;
        std::string user;
        std::string password;
    };
    const Case cases[] = {
        {"unknown user", "no-such-user-here", ""},
        {"empty user", "", ""},
        {"wrong password", "nobody", "wrong"},
        {"wrong password of root", "root", "certainly-not-it"},
        {"password with a NUL", "nobody", std::string("a\0b", 3)},
    };
    for (const Case& c : cases) {
        const auto r = RunProcess(AsUser(argv, c.user, c.password));
        EXPECT_EQ(r.end, ProcessEnd::NotStarted) << c.what;
        EXPECT_TRUE(r.logonFailed) << c.what;
        EXPECT_FALSE(r.errorText.empty()) << c.what;
        EXPECT_FALSE(FileExists(marker)) << c.what;
    }
    // Not root: switching to another user is refused by the system, and still runs nothing.
    if (!IsRoot()) {
        const auto r = RunProcess(AsUser(argv, "root"));
        EXPECT_EQ(r.end, ProcessEnd::NotStarted);
        EXPECT_TRUE(r.logonFailed);
        EXPECT_FALSE(FileExists(marker));
    }
    RemoveTree(dir);
}

TEST(RunProcessAccount, TimeLimitAndStartErrorsHoldUnderAnAccount) {
    if (!IsRoot()) GTEST_SKIP() << "needs root to change user";
    auto options = AsUser({"sh", "-c", "sleep 30 & sleep 30"}, "nobody");
    options.timeLimitMs = 300;
    auto r = RunProcess(options);
    EXPECT_EQ(r.end, ProcessEnd::TimedOut);
    ExpectReaped(r);
    r = RunProcess(AsUser({"/nonexistent/program"}, "nobody"));
    EXPECT_EQ(r.end, ProcessEnd::NotStarted);
    EXPECT_EQ(r.error, ENOENT);
    EXPECT_FALSE(r.logonFailed);
    // A folder the user may not enter.
    const std::string dir = MakeTempFolder("process-test-");
    ASSERT_EQ(::chmod(dir.c_str(), 0700), 0);
    options = AsUser({"true"}, "nobody");
    options.workingDir = dir;
    r = RunProcess(options);
    EXPECT_EQ(r.end, ProcessEnd::NotStarted);
    EXPECT_EQ(r.error, EACCES);
    RemoveTree(dir);
}

// ---- programs not waited for

TEST(StartProcess, EveryProgramIsReapedAndReported) {
    std::mutex lock;
    std::vector<ProcessResult> ended;
    {
        ProcessReaper reaper;
        for (int i = 0; i < 10; ++i) {
            ProcessOptions options;
            options.argv = {"sh", "-c", "exit " + std::to_string(i)};
            const auto r = StartProcess(options, reaper, [&](const ProcessResult& e) {
                std::lock_guard<std::mutex> guard(lock);
                ended.push_back(e);
            });
            ASSERT_EQ(r.end, ProcessEnd::Running) << r.errorText;
            ASSERT_GT(r.pid, 0);
        }
        EXPECT_TRUE(reaper.WaitIdle(20'000));
        EXPECT_EQ(reaper.Running(), 0u);
    }
    ASSERT_EQ(ended.size(), 10u);
    std::vector<int> codes;
    for (const auto& e : ended) {
        EXPECT_EQ(e.end, ProcessEnd::Exited);
        codes.push_back(e.exitCode);
        ExpectReaped(e);
    }
    std::sort(codes.begin(), codes.end());
    EXPECT_EQ(codes, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST(StartProcess, TheTimeLimitTheBoundAndTheStopAreKept) {
    std::vector<ProcessResult> ended;
    std::mutex lock;
    auto record = [&](const ProcessResult& e) {
        std::lock_guard<std::mutex> guard(lock);
        ended.push_back(e);
    };
    int longPid = -1;
    {
        ProcessReaper reaper(2);
        ProcessOptions options;
        options.argv = {"sleep", "30"};
        options.timeLimitMs = 200;
        ASSERT_EQ(StartProcess(options, reaper, record).end, ProcessEnd::Running);
        options.timeLimitMs = 0;
        const auto running = StartProcess(options, reaper, record);
        ASSERT_EQ(running.end, ProcessEnd::Running);
        longPid = running.pid;
        const auto refused = StartProcess(options, reaper, record);
        EXPECT_EQ(refused.end, ProcessEnd::NotStarted);
        EXPECT_EQ(refused.error, EAGAIN);
        for (int i = 0; i < 500 && reaper.Running() > 1; ++i) std::this_thread::sleep_for(Ms(10));
        EXPECT_EQ(reaper.Running(), 1u);
        // The reaper goes with the service: what still runs is killed and reaped.
    }
    ASSERT_EQ(ended.size(), 2u);
    EXPECT_EQ(ended[0].end, ProcessEnd::TimedOut);
    EXPECT_EQ(ended[1].end, ProcessEnd::Cancelled);
    EXPECT_EQ(ended[1].pid, longPid);
    EXPECT_TRUE(Gone(longPid));
}

TEST(StartProcess, AFailedLogOnStartsNothing) {
    ProcessReaper reaper;
    const auto r = StartProcess(AsUser({"true"}, "nobody", "wrong"), reaper);
    EXPECT_EQ(r.end, ProcessEnd::NotStarted);
    EXPECT_TRUE(r.logonFailed);
    EXPECT_EQ(reaper.Running(), 0u);
    if (IsRoot()) {
        ProcessOptions options = AsUser({"true"}, "nobody");
        EXPECT_EQ(StartProcess(options, reaper).end, ProcessEnd::Running);
        EXPECT_TRUE(reaper.WaitIdle(20'000));
    }
}

// ---- programs spoken to over their standard streams

TEST(ProcessPipe, LinesGoBothWaysWithinTheirLimits) {
    ProcessPipe pipe;
    ProcessOptions options;
    options.argv = {"sh", "-c",
                    "while read l; do [ \"$l\" = quiet ] && sleep 30; echo \"<$l>\"; done"};
    std::string why;
    ASSERT_TRUE(pipe.Start(options, &why)) << why;
    ASSERT_TRUE(pipe.WriteLine("one", 5000));
    EXPECT_EQ(pipe.ReadLine(1024, 5000), "<one>");
    ASSERT_TRUE(pipe.WriteLine("quiet", 5000));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(pipe.ReadLine(1024, 300).has_value());
    EXPECT_LT(ElapsedMs(start), 3000);
    pipe.Kill();
    EXPECT_FALSE(pipe.Running());
    EXPECT_FALSE(pipe.WriteLine("after", 100));

    // A line longer than allowed that arrives in one write, then a short one: the long one is
    // refused, the next is read.
    options.argv = {"sh", "-c", "printf '%05000d\\nshort\\n' 0; sleep 5"};
    ASSERT_TRUE(pipe.Start(options, &why)) << why;
    std::this_thread::sleep_for(Ms(200));
    EXPECT_FALSE(pipe.ReadLine(1000, 5000).has_value());
    EXPECT_EQ(pipe.ReadLine(1000, 5000), "short");
    pipe.Kill();

    // A line longer than allowed, and a program that is gone: failures, not a hang or SIGPIPE.
    options.argv = {"sh", "-c", "head -c 5000 /dev/zero | tr '\\0' x; echo; exit 0"};
    ASSERT_TRUE(pipe.Start(options, &why)) << why;
    EXPECT_FALSE(pipe.ReadLine(1000, 5000).has_value());
    // Wait for the program's end of output, then a little for its exit (a loaded machine may
    // take a while to end it).
    (void)pipe.ReadLine(1000, 5000);
    std::this_thread::sleep_for(Ms(500));
    EXPECT_FALSE(pipe.WriteLine("to nobody", 1000));
    pipe.Kill();

    options.argv = {"/nonexistent/helper"};
    EXPECT_FALSE(pipe.Start(options, &why));
    EXPECT_FALSE(why.empty());
}

}  // namespace
}  // namespace tarvell

namespace tarvell {
namespace {

TEST(ProcessPipe, ClosingTheInputEndsAReaderAndItsExitCodeIsTaken) {
    ProcessPipe pipe;
    ProcessOptions options;
    options.argv = {"/bin/sh", "-c", "cat; exit 7"};
    std::string why;
    ASSERT_TRUE(pipe.Start(options, &why)) << why;
    ASSERT_TRUE(pipe.WriteLine("hello", 5000));
    pipe.CloseInput();
    EXPECT_EQ(pipe.ReadLine(100, 5000), "hello");
    EXPECT_EQ(pipe.ReadLine(100, 5000), std::nullopt);
    EXPECT_EQ(pipe.WaitForExit(5000), 7);
    EXPECT_FALSE(pipe.Running());
    EXPECT_EQ(pipe.WaitForExit(10), std::nullopt) << "reaped once";
}

TEST(ProcessPipe, WaitForExitGivesUpAtItsLimitAndKillStillEndsTheProgram) {
    ProcessPipe pipe;
    ProcessOptions options;
    options.argv = {"/bin/sleep", "30"};
    std::string why;
    ASSERT_TRUE(pipe.Start(options, &why)) << why;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(pipe.WaitForExit(200), std::nullopt);
    EXPECT_TRUE(pipe.Running());
    pipe.Kill();
    EXPECT_FALSE(pipe.Running());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
}  // namespace tarvell
