#include <QProcess>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "platform/EventLog.h"
#include "platform/Files.h"
#include "viewer/alerts/SoundPlayer.h"

namespace tarvell {
namespace {

// A mono 16-bit wave at 8 kHz; `declared` bytes of data in the header, `bytes` of silence written.
std::string Wave(std::uint32_t declared, std::uint32_t bytes) {
    std::string w = "RIFF";
    auto le = [&w](std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) w += static_cast<char>(v >> (8 * i));
    };
    le(36 + declared, 4);
    w += "WAVEfmt ";
    for (auto [v, n] :
         {std::pair{16u, 4}, {1u, 2}, {1u, 2}, {8000u, 4}, {16000u, 4}, {2u, 2}, {16u, 2}})
        le(v, n);
    w += "data";
    le(declared, 4);
    return w.append(bytes, '\0');
}

class SoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = MakeTempFolder("tarvell-sound-");
        wav_ = JoinPath(root_, "short sound; $(x).wav");       // a path, never a command line
        ASSERT_TRUE(AtomicWriteFile(wav_, Wave(3200, 3200)));  // 0.2 s
    }
    void TearDown() override { RemoveTree(root_); }
    bool NullDeviceWorks() {
        return QProcess::execute(QStringLiteral("aplay"),
                                 {QStringLiteral("-q"), QStringLiteral("-D"),
                                  QStringLiteral("null"), QString::fromStdString(wav_)}) == 0;
    }
    std::string root_, wav_;
    TestEventLog log_;
};

TEST_F(SoundTest, AShortWavePlaysToItsEndAndStopEndsALongOneEarly) {
    if (!NullDeviceWorks()) GTEST_SKIP() << "aplay cannot play to the ALSA null device here";
    SoundPlayer player(QStringLiteral("null"), &log_);
    ASSERT_TRUE(player.Play(wav_));
    ASSERT_TRUE(player.WaitForEnd(5000));
    EXPECT_EQ(player.ExitCode(), 0);

    // A pipe that never ends: the player waits for more samples until it is stopped.
    const std::string fifo = JoinPath(root_, "endless.wav");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int writer = open(fifo.c_str(), O_RDWR);
    ASSERT_GE(writer, 0);
    const std::string head = Wave(16000 * 600, 1600);
    ASSERT_EQ(write(writer, head.data(), head.size()), static_cast<ssize_t>(head.size()));
    ASSERT_TRUE(player.Play(fifo));
    EXPECT_FALSE(player.WaitForEnd(300));
    const auto before = std::chrono::steady_clock::now();
    player.Stop();
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
    close(writer);
    EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(SoundTest, AMissingFileOrPlayerIsLoggedOnceAndStartsNothing) {
    struct Case {
        const char* program;
        std::string path;
        const char* says;
    };
    const Case cases[] = {
        {"aplay", JoinPath(root_, "missing.wav"), "file not found"},
        {"aplay", root_, "file not found"},  // a folder
        {"/no/such/aplay", wav_, "cannot be started"},
    };
    for (const Case& c : cases) {
        log_.Clear();
        SoundPlayer player(QStringLiteral("null"), &log_, QString::fromUtf8(c.program));
        EXPECT_FALSE(player.Play(c.path));
        EXPECT_FALSE(player.Play(c.path));
        EXPECT_FALSE(player.IsPlaying());
        ASSERT_EQ(log_.Lines().size(), 1u) << c.program << " " << c.path;
        EXPECT_NE(log_.Lines()[0].find(c.says), std::string::npos) << log_.Lines()[0];
    }
    SoundPlayer player(QStringLiteral("null"), &log_);
    EXPECT_EQ(player.Arguments(QStringLiteral("-x.wav")),
              (QStringList{"-q", "-D", "null", "--", "-x.wav"}));
}

}  // namespace
}  // namespace tarvell
