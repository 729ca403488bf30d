// The SMB node messenger against stand-in programs: what it hands over, and what it logs.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/Files.h"
#include "service/blocking/NodeMessenger.h"
#include "tests/service/engine/EngineFixture.h"

namespace tarvell {
namespace {

class NodeMessengerTest : public enginetest::EngineFixture {
protected:
    // A stand-in for the message program that writes its arguments and its input to a file.
    std::string Program(const std::string& name, int exitCode) {
        const std::string path = JoinPath(root, name);
        const std::string out = JoinPath(root, name + ".out");
        EXPECT_TRUE(AtomicWriteFile(path, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + out +
                                              "'\ncat >> '" + out + "'\nexit " +
                                              std::to_string(exitCode) + "\n"));
        EXPECT_EQ(::chmod(path.c_str(), 0755), 0);
        return path;
    }
    std::string Output(const std::string& name) {
        return ReadWholeFile(JoinPath(root, name + ".out")).value_or("");
    }
    int LogCount(std::string_view part) const {
        int n = 0;
        for (const std::string& line : log.Lines()) n += line.find(part) != std::string::npos;
        return n;
    }
};

TEST_F(NodeMessengerTest, TheNodeIsOneArgumentAndTheTextGoesInOnStandardInput) {
    SmbNodeMessenger messenger(*engine, Program("smb", 0));
    messenger.Send("pc-1 \"$(x)\"", "Your port is shut; call 555", std::nullopt, nullptr);
    EXPECT_EQ(Output("smb"), "-N\n-M\npc-1 \"$(x)\"\nYour port is shut; call 555\n");
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(NodeMessengerTest, AMissingProgramAndAFailingOneAreEachLoggedOnce) {
    SmbNodeMessenger missing(*engine, JoinPath(root, "no-such-program"));
    missing.Send("pc-1", "text", std::nullopt, nullptr);
    missing.Send("pc-2", "text", std::nullopt, nullptr);
    EXPECT_EQ(LogCount("Node messages could not be sent"), 1);

    SmbNodeMessenger failing(*engine, Program("smb-fails", 1));
    failing.Send("pc-1", "text", std::nullopt, nullptr);
    failing.Send("pc-1", "text", std::nullopt, nullptr);
    EXPECT_EQ(LogCount("Node message to pc-1 could not be sent"), 1);
}

TEST_F(NodeMessengerTest, AProgramThatHangsIsStoppedAtTheTimeLimit) {
    const std::string path = JoinPath(root, "hangs");
    ASSERT_TRUE(AtomicWriteFile(path, "#!/bin/sh\nexec sleep 30\n"));
    ASSERT_EQ(::chmod(path.c_str(), 0755), 0);
    SmbNodeMessenger messenger(*engine, path, 300);
    const auto start = std::chrono::steady_clock::now();
    messenger.Send("pc-1", "text", std::nullopt, nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(LogCount("could not be sent"), 1);
}

}  // namespace
}  // namespace tarvell
