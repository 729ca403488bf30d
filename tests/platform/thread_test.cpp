#include "platform/ErrnoText.h"
#include "platform/ManualResetEvent.h"
#include "platform/RecursiveLock.h"
#include "platform/WorkerThread.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace tarvell {
namespace {

using Ms = std::chrono::milliseconds;

std::int64_t ElapsedMs(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - since).count();
}

TEST(ManualResetEvent, WaitForTimesOutOrReturnsWhenSet) {
    ManualResetEvent event;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(event.WaitFor(80));
    EXPECT_GE(ElapsedMs(start), 80);
    EXPECT_LT(ElapsedMs(start), 2000);

    EXPECT_FALSE(event.WaitFor(0));
    EXPECT_FALSE(event.WaitFor(-5));

    start = std::chrono::steady_clock::now();
    std::thread setter([&] {
        std::this_thread::sleep_for(Ms(30));
        event.Set();
    });
    EXPECT_TRUE(event.WaitFor(10'000));
    EXPECT_LT(ElapsedMs(start), 2000);
    setter.join();
}

TEST(ManualResetEvent, StaysSetForEveryWaiterUntilReset) {
    ManualResetEvent event;
    std::vector<std::thread> waiters;
    std::atomic<int> woken{0};
    for (int i = 0; i < 4; ++i) {
        waiters.emplace_back([&] {
            event.Wait();
            ++woken;
        });
    }
    event.Set();
    for (auto& t : waiters) t.join();
    EXPECT_EQ(woken.load(), 4);
    EXPECT_TRUE(event.IsSet());
    EXPECT_TRUE(event.WaitFor(0));
    event.Reset();
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.WaitFor(1));
    EXPECT_TRUE(ManualResetEvent(true).IsSet());
}

// The descriptor polls readable exactly while the event is set, also when it was set first.
TEST(ManualResetEvent, ItsDescriptorIsReadableExactlyWhileItIsSet) {
    auto readable = [](const ManualResetEvent& event) {
        pollfd p{event.PollFd(), POLLIN, 0};
        return event.PollFd() >= 0 && ::poll(&p, 1, 0) == 1;
    };
    ManualResetEvent event;
    for (int round = 0; round < 2; ++round) {
        EXPECT_FALSE(readable(event));
        event.Set();
        event.Set();
        EXPECT_TRUE(readable(event));
        event.Reset();
    }
    EXPECT_TRUE(readable(ManualResetEvent(true)));
}

// A worker in the style of the service's threads: members set before Start, a loop that
// pauses on the stop event.
class CountingWorker : public WorkerThread {
public:
    ~CountingWorker() override { StopAndJoin(); }
    std::atomic<int>* counter = nullptr;
    std::atomic<std::int64_t> pauseMs{1};

protected:
    void Run() override {
        while (!WaitForStop(pauseMs)) ++*counter;
    }
};

TEST(WorkerThread, RunsWithItsMembersAndStopsOnRequest) {
    std::atomic<int> counter{0};
    CountingWorker worker;
    worker.counter = &counter;
    EXPECT_FALSE(worker.IsRunning());
    ASSERT_TRUE(worker.Start());
    EXPECT_FALSE(worker.Start());
    while (counter.load() < 3) std::this_thread::yield();
    EXPECT_TRUE(worker.IsRunning());

    // A long pause does not delay the stop: the request wakes the wait.
    worker.pauseMs = 60'000;
    const auto start = std::chrono::steady_clock::now();
    worker.RequestStop();
    worker.Join();
    EXPECT_LT(ElapsedMs(start), 5000);
    EXPECT_TRUE(worker.Finished());
    EXPECT_FALSE(worker.IsRunning());
    worker.Join();  // a second join does nothing
}

TEST(WorkerThread, DestroyingARunningOrUnstartedThreadIsSafe) {
    std::atomic<int> counter{0};
    {
        CountingWorker running;
        running.counter = &counter;
        running.pauseMs = 60'000;
        ASSERT_TRUE(running.Start());
    }
    {
        CountingWorker never;
        never.Join();
        EXPECT_FALSE(never.Finished());
    }
}

class ThrowingWorker : public WorkerThread {
protected:
    void Run() override { throw std::runtime_error("broken pipe"); }
};

TEST(WorkerThread, AnExceptionEndsOnlyTheThread) {
    ThrowingWorker worker;
    ASSERT_TRUE(worker.Start());
    worker.Join();
    EXPECT_TRUE(worker.Finished());
}

TEST(ErrnoText, GivesEachThreadTheTextOfItsOwnNumber) {
    const std::vector<int> numbers{ENOENT, EACCES, EPIPE, ECONNREFUSED, 100000};
    std::vector<std::string> expected;
    for (int n : numbers) expected.push_back(ErrnoText(n));
    EXPECT_EQ(expected[0], "No such file or directory");
    EXPECT_NE(expected[4].find("100000"), std::string::npos);  // a number the system lacks
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < numbers.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) wrong += ErrnoText(numbers[t]) != expected[t];
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
}

class NameReader : public WorkerThread {
public:
    std::string seen;

protected:
    void Run() override {
        char name[32] = {};
        ::pthread_getname_np(::pthread_self(), name, sizeof name);
        seen = name;
        throw std::runtime_error("broken pipe");
    }
};

TEST(WorkerThread, ANamedThreadCarriesItsNameToTheSystemAndToTheCrashLine) {
    for (const std::string name : {"CScanDatabase", "CScanExportHtml"}) {
        NameReader worker;
        testing::internal::CaptureStderr();
        ASSERT_TRUE(worker.Start(name));
        worker.Join();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(worker.seen, name.substr(0, 15));  // the system keeps 15 bytes
        EXPECT_NE(err.find("worker thread " + name + " ended by an exception: broken pipe"),
                  std::string::npos)
            << err;
    }
}

TEST(WorkerThread, APoolThreadIsNamedBeforeItsBodyRuns) {
    std::string seen;
    std::thread thread = StartNamedThread("CScanSnmpMacs and more", [&seen] {
        char name[32] = {};
        ::pthread_getname_np(::pthread_self(), name, sizeof name);
        seen = name;
    });
    thread.join();
    EXPECT_EQ(seen, "CScanSnmpMacs a");
}

TEST(RecursiveLock, TheHolderMayTakeItAgain) {
    RecursiveLock lock;
    RecursiveGuard outer(lock);
    RecursiveGuard inner(lock);
    bool otherGotIt = true;
    std::thread other([&] { otherGotIt = lock.try_lock(); });
    other.join();
    EXPECT_FALSE(otherGotIt);
}

}  // namespace
}  // namespace tarvell
