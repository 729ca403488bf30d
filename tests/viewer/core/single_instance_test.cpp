#include "viewer/core/service/SingleInstance.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Files.h"

namespace tarvell {
namespace {

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override { root_ = MakeTempFolder("tarvell-single-"); }
    void TearDown() override { RemoveTree(root_); }
    std::string Folder() const { return JoinPath(root_, "run"); }
    std::string root_;
};

// A second process finds the first, asks it to show its window and ends with 0.
TEST_F(SingleInstanceTest, ASecondProcessWakesTheFirstAndEnds) {
    SingleInstance first(Folder());
    ASSERT_EQ(first.Acquire(), SingleInstance::Role::First) << first.Error();
    std::atomic<int> shows{0};
    ASSERT_TRUE(first.Listen([&] { ++shows; }));

    for (int round = 0; round < 2; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            SingleInstance second(Folder());
            ::_exit(second.Acquire() == SingleInstance::Role::Other ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int i = 0; i < 100 && shows < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(shows.load(), 2);
}

TEST_F(SingleInstanceTest, TheLockIsFreeAgainOnceTheFirstViewerEnds) {
    {
        SingleInstance first(Folder());
        ASSERT_EQ(first.Acquire(), SingleInstance::Role::First);
    }
    SingleInstance next(Folder());
    EXPECT_EQ(next.Acquire(), SingleInstance::Role::First);
}

TEST_F(SingleInstanceTest, AFolderOpenToOthersIsRefused) {
    ASSERT_TRUE(MakeDirectories(Folder()));
    ASSERT_EQ(::chmod(Folder().c_str(), 0777), 0);
    SingleInstance viewer(Folder());
    EXPECT_EQ(viewer.Acquire(), SingleInstance::Role::Failed);
    EXPECT_NE(viewer.Error().find("not a private folder"), std::string::npos);
}

}  // namespace
}  // namespace tarvell
