#include "service/engine/ServiceUnit.h"

#include <csignal>

#include <gtest/gtest.h>

namespace tarvell {
namespace {

TEST(KeywordScan, MatchesOnlyAKeywordThatEndsTheLine) {
    struct Case {
        const char* line;
        HostCommand expected;
    };
    const Case cases[] = {
        {"", HostCommand::None},
        {"-Service", HostCommand::Service},
        {"/service", HostCommand::Service},
        {"-Service ", HostCommand::None},
        {" -Service", HostCommand::Service},
        {"/regserver", HostCommand::RegServer},
        {"-REGSERVER", HostCommand::RegServer},
        {"-UnregServer", HostCommand::UnregServer},
        {"/unREGserver", HostCommand::UnregServer},
        {"-Run", HostCommand::Run},
        {"/run", HostCommand::Run},
        {"Service", HostCommand::None},
        {"-Services", HostCommand::None},
        {"-Serv", HostCommand::None},
        {"-Service-", HostCommand::None},
        {"-Service -x", HostCommand::None},
        // Several separators: the scan goes on after each one that is not followed by a keyword.
        {"-RegServer -Service", HostCommand::Service},
        {"-Service /RegServer", HostCommand::RegServer},
        {"--Service", HostCommand::Service},
        {"-/-UnregServer", HostCommand::UnregServer},
        {"-a /b -c/Run", HostCommand::Run},
        {"-a /b -c", HostCommand::None},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScanCommandLine(c.line), c.expected) << "command line \"" << c.line << "\"";
    }
}

TEST(KeywordScan, ProgramPathNeverMatches) {
    const char* named[] = {"/usr/local/bin/Service"};
    EXPECT_EQ(JoinArguments(1, named), "");
    EXPECT_EQ(ScanCommandLine(JoinArguments(1, named)), HostCommand::None);

    const char* withArgs[] = {"/opt/-RegServer", "-x", "/Run"};
    EXPECT_EQ(JoinArguments(3, withArgs), "-x /Run");
    EXPECT_EQ(ScanCommandLine(JoinArguments(3, withArgs)), HostCommand::Run);

    // An argument that ends in a blank keeps it and therefore does not match.
    const char* trailing[] = {"TarvellSrv", "-Service "};
    EXPECT_EQ(ScanCommandLine(JoinArguments(2, trailing)), HostCommand::None);
}

TEST(ControlSignals, MapStopAndUserCodes) {
    EXPECT_EQ(ControlCodeForSignal(SIGTERM), kControlStop);
    EXPECT_EQ(ControlCodeForSignal(SIGINT), kControlStop);
    EXPECT_EQ(ControlCodeForSignal(SIGRTMIN + 8), 136);
    EXPECT_EQ(ControlCodeForSignal(SIGRTMIN + 9), 137);
    EXPECT_EQ(ControlCodeForSignal(SIGRTMIN + 16), 144);
    EXPECT_EQ(ControlCodeForSignal(SIGRTMIN + 17), 145);
    EXPECT_EQ(ControlCodeForSignal(SIGRTMIN), 128);
    EXPECT_EQ(ControlCodeForSignal(SIGHUP), std::nullopt);
    EXPECT_EQ(ControlCodeForSignal(SIGUSR1), std::nullopt);
    EXPECT_EQ(ControlCodeForSignal(SIGRTMIN - 1), std::nullopt);

    EXPECT_EQ(SignalForControlCode(136), SIGRTMIN + 8);
    EXPECT_EQ(SignalForControlCode(kControlStop), SIGTERM);
    EXPECT_EQ(SignalForControlCode(4), std::nullopt);
    EXPECT_EQ(SignalForControlCode(127), std::nullopt);
    EXPECT_EQ(SignalForControlCode(160), std::nullopt);
}

TEST(UnitFile, HoldsTheServiceDefinition) {
    const auto text =
        UnitFileText("/usr/sbin/TarvellSrv", "Monitors network access control protection.");
    ASSERT_TRUE(text);
    EXPECT_EQ(*text,
              "[Unit]\n"
              "Description=Monitors network access control protection.\n"
              "\n"
              "[Service]\n"
              "Type=notify\n"
              "ExecStart=\"/usr/sbin/TarvellSrv\"\n"
              "Restart=on-failure\n"
              "PrivateTmp=yes\n"
              "\n"
              "[Install]\n"
              "WantedBy=multi-user.target\n");
}

TEST(UnitFile, QuotesTheProgramPathForSystemd) {
    EXPECT_EQ(QuoteExecPath("/opt/My Tools/TarvellSrv"), "\"/opt/My Tools/TarvellSrv\"");
    EXPECT_EQ(QuoteExecPath("/opt/100%/TarvellSrv"), "\"/opt/100%%/TarvellSrv\"");
    EXPECT_EQ(QuoteExecPath("/opt/$HOME/x"), "\"/opt/$HOME/x\"");  // not expanded in the name
    EXPECT_EQ(QuoteExecPath("/opt/\xc3\xa4/x"), "\"/opt/\\xc3\\xa4/x\"");
    // Names systemd refuses to run, and relative paths, cannot be installed.
    EXPECT_EQ(QuoteExecPath("TarvellSrv"), std::nullopt);
    EXPECT_EQ(QuoteExecPath(""), std::nullopt);
    EXPECT_EQ(QuoteExecPath("/opt/a\"b/x"), std::nullopt);
    EXPECT_EQ(QuoteExecPath("/opt/a\\b/x"), std::nullopt);
    EXPECT_EQ(QuoteExecPath("/opt/a'b/x"), std::nullopt);
    EXPECT_EQ(QuoteExecPath("/opt/a\nExecStartPre=/bin/sh"), std::nullopt);
    EXPECT_EQ(UnitFileText("/opt/a\nb", "x"), std::nullopt);
}

}  // namespace
}  // namespace tarvell
