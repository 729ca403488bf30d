// ombrix-make and arcdump as programs.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <sstream>

#include "platform/Files.h"
#include "shared/CTarvellDoc.h"
#include "shared/StateFiles.h"
#include "tests/shared/DocumentRows.h"

extern char** environ;

namespace tarvell {
namespace {

using ::testing::HasSubstr;

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class Tools : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = MakeTempFolder("tarvell-tools-");
        ASSERT_FALSE(folder_.empty());
    }
    void TearDown() override { RemoveTree(folder_); }

    std::string In(std::string_view name) const { return JoinPath(folder_, name); }

    // Runs tools/<tool> with the arguments, no shell; stdout and stderr go through files.
    ToolRun Run(const std::string& tool, const std::vector<std::string>& args) {
        const std::string program = std::string(TARVELL_BINARY_DIR) + "/tools/" + tool;
        ToolRun run;
        if (!FileExists(program)) {
            ADD_FAILURE() << program << " is not built";
            return run;
        }
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const std::string out = In("tool.out"), err = In("tool.err");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        pid_t pid = 0;
        const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            ADD_FAILURE() << "cannot start " << program;
            return run;
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        run.out = ReadWholeFile(out).value_or("");
        run.err = ReadWholeFile(err).value_or("");
        return run;
    }

    static std::vector<std::string> LinesStartingWith(const std::string& text,
                                                      std::string_view prefix) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            if (line.starts_with(prefix)) lines.push_back(line);
        return lines;
    }

    std::string folder_;
};

TEST_F(Tools, SampleDescriptionGivesThreeMapsWithOneClassHeader) {
    const std::string db = In("Ombrix.db");
    const ToolRun made = Run(
        "ombrix-make", {std::string(TARVELL_SOURCE_DIR) + "/tests/fixtures/ombrix-sample.txt", db});
    ASSERT_EQ(made.exitCode, 0) << made.err;

    const ToolRun dump = Run("arcdump", {db});
    ASSERT_EQ(dump.exitCode, 0) << dump.err;
    EXPECT_THAT(dump.out, HasSubstr("\nSiblingSwitches: 3 entries\n"));
    EXPECT_THAT(dump.out, HasSubstr("\nSiblingPorts: 6 entries\n"));
    EXPECT_THAT(dump.out, HasSubstr("\nSiblingNodes: 10 entries\n"));
    EXPECT_EQ(LinesStartingWith(dump.out, "Class "),
              std::vector<std::string>{"Class CDbItem schema 1"});
    EXPECT_THAT(dump.out,
                HasSubstr("SiblingSwitches[00AABB000002].SwitchIps = \"127.0.0.12;127.0.1.12\"\n"));
    EXPECT_THAT(dump.out, HasSubstr("SiblingSwitches[00AABB000003].SwitchDisabled = 1\n"));
    EXPECT_THAT(dump.out, HasSubstr("SiblingPorts[00AABB000001/1].PortIndex = \"1\"\n"));
    EXPECT_THAT(dump.out, HasSubstr("SiblingNodes[001122334406].NodeDisabled = 1\n"));
    EXPECT_EQ(LinesStartingWith(dump.out, "SiblingNodes[001122334401].").size(), 64u);

    // The engine's reader takes the same file.
    SiblingDatabaseFile file;
    std::string error;
    ASSERT_TRUE(ReadStateFile(db, file, &error)) << error;
    const CDbItem& port = *file.SiblingPorts.at("00AABB000002/1");
    EXPECT_EQ(port.PortSwitch(), "00AABB000002");
    EXPECT_EQ(port.PortReceiveRate(), "85");
    EXPECT_EQ(port.PortStatus(), 1);
    EXPECT_EQ(file.SiblingNodes.at("001122334405")->NodeIp(), "127.0.0.105 (printer)");
    EXPECT_EQ(file.SiblingSwitches.at("00AABB000002")->SwitchName(), "");
}

TEST_F(Tools, BadDescriptionsAreRefusedWithFileAndLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"switch S1\nSwitchColour red\nend\n", ":2: unknown switch field \"SwitchColour\""},
        {"SwitchName x\n", ":1: \"SwitchName\" outside a record"},
        {"node N1\nend\nnode N1\nend\n", ":4: node N1 given twice"},
        {"port S1/1\nPortName a\n", ":2: port S1/1 has no \"end\""},
        {"port S1/1\nPortStatus 1x\nend\n", ":2: \"1x\" is not a 32-bit decimal number"},
        {"port S1/1\nPortStatus 4294967296\nend\n", ":2: \"4294967296\" is not a 32-bit"},
        {"port S1\nend\n", ":1: a port key is <switch key>/<port number>"},
        {"node N1\nNodeName a\nNodeName b\nend\n", ":3: field \"NodeName\" given twice"},
        {"node N1\nPortName a\nend\n", ":2: unknown node field \"PortName\""},
        {"node N1\nNodeName a\x01\nend\n", ":2: control character"},
        {"switch S1\nswitch S2\n", ":2: switch S1 is still open"},
    };
    for (const auto& [text, message] : cases) {
        const std::string desc = In("bad.txt"), out = In("bad.db");
        ASSERT_TRUE(AtomicWriteFile(desc, text));
        const ToolRun run = Run("ombrix-make", {desc, out});
        EXPECT_EQ(run.exitCode, 1) << text;
        EXPECT_THAT(run.err, HasSubstr(desc + message)) << text;
        EXPECT_FALSE(FileExists(out)) << text;
    }
}

TEST_F(Tools, SettingsAreShownByRowAndName) {
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.ViewerUsers = {"admin;Monitor;"};
    ASSERT_TRUE(AtomicWriteFile(In("Tarvell.ini"), doc.StoreToBytes()));
    const ToolRun dump = Run("arcdump", {In("Tarvell.ini")});
    ASSERT_EQ(dump.exitCode, 0) << dump.err;
    EXPECT_THAT(dump.out, HasSubstr("\nRow 1 Version = \"3.6\"\n"));
    EXPECT_THAT(dump.out, HasSubstr("\nRow 23 SmtpPort = \"25\"\n"));
    EXPECT_THAT(dump.out,
                HasSubstr("\nRow 30 EmailBody = \"Device Name: $device_name\\r\\nDevice Ip:"));
    EXPECT_THAT(dump.out, HasSubstr("\nRow 109 ReportColumns[4] = 1\n"));
    EXPECT_THAT(
        dump.out,
        HasSubstr(
            "\nRow 127 ViewerUsers: 1 entries\nRow 127 ViewerUsers[0] = \"admin;Monitor;\"\n"));
    EXPECT_THAT(dump.out, HasSubstr("\nRow 172 RunCommands: 0 entries\n"));

    // The kind can be given when the name does not tell it; the oldest layout names its legacy
    // words.
    rowtest::ExpectedBytes old;
    old.Text("2.8");
    for (const rowtest::TestRow& r : rowtest::TestRows()) {
        if (r.row != 29 && r.row != 102 && r.row != 109) old.Add(r.defaultValue);
        if (r.row == 22) {
            old.Word(1);
            old.Word(2);
        }
        if (r.row == 101) old.Word(3);  // in the place of row 102
    }
    ASSERT_TRUE(AtomicWriteFile(In("copy.bin"), old.Bytes()));
    EXPECT_EQ(Run("arcdump", {In("copy.bin")}).exitCode, 64);
    const ToolRun legacy = Run("arcdump", {"--kind", "settings", In("copy.bin")});
    ASSERT_EQ(legacy.exitCode, 0) << legacy.err;
    EXPECT_THAT(legacy.out, HasSubstr("\nLayout 2.8\n"));
    EXPECT_THAT(legacy.out, HasSubstr("\nRow 22 EmailAlertsEnabled = 0\nLegacy LegacyWordA = 1\n"
                                      "Legacy LegacyWordB = 2\nRow 23 SmtpPort = \"25\"\n"));
    EXPECT_THAT(legacy.out, HasSubstr("\nRow 28 SmtpPassword = \"\"\nRow 30 EmailBody"));
    EXPECT_THAT(legacy.out, HasSubstr("\nLegacy LegacyWordC = 3\nRow 103 DailyReport = 1\n"));
}

TEST_F(Tools, DamagedFilesFailAndTextsAreEscaped) {
    EventDatabaseFile db;
    auto event = std::make_unique<CEventItem>();
    event->SourceName = std::string("a\x01\xE9\"\\b", 6);
    db.EventMap["00AABB000001/3"] = std::move(event);
    const std::string bytes = EncodeStateFile(db);
    ASSERT_TRUE(AtomicWriteFile(In("Tarvell.db"), bytes));
    const ToolRun dump = Run("arcdump", {In("Tarvell.db")});
    ASSERT_EQ(dump.exitCode, 0) << dump.err;
    EXPECT_THAT(dump.out,
                HasSubstr("\nEventMap[00AABB000001/3].SourceName = \"a\\x01\\xE9\\\"\\\\b\"\n"));
    EXPECT_THAT(dump.out, HasSubstr("\nClass CEventItem schema 1\n"));

    ASSERT_TRUE(AtomicWriteFile(In("Tarvell.db"), bytes.substr(0, bytes.size() - 3)));
    const ToolRun damaged = Run("arcdump", {In("Tarvell.db")});
    EXPECT_EQ(damaged.exitCode, 2);
    EXPECT_THAT(damaged.err, HasSubstr("damaged at byte"));

    const ToolRun missing = Run("arcdump", {In("none.log")});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_THAT(missing.err, HasSubstr("cannot read"));
}

}  // namespace
}  // namespace tarvell

namespace tarvell {
namespace {

// ---- tarvell-ini

TEST_F(Tools, SettingsLinesCreateAFileThatLoadsWithThoseValues) {
    const std::string lines = In("lines.txt");
    ASSERT_TRUE(
        AtomicWriteFile(lines,
                        "# demo\n"
                        "EmailAlertsEnabled=1\n"
                        "EmailSubject=Alert \xE2\x80\x93 $alert\n"  // UTF-8 en dash, stored as 0x96
                        "EmailBody=line one\\r\\nC:\\\\temp \\q\n"
                        "EmailRecipients+=a@example.org\n"
                        "EmailRecipients+=b@example.org\n"));
    const ToolRun run = Run("tarvell-ini", {In("Tarvell.ini"), lines});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    CTarvellDoc doc;
    ASSERT_TRUE(doc.LoadFromFile(In("Tarvell.ini")));
    EXPECT_EQ(doc.EmailAlertsEnabled, 1);
    EXPECT_EQ(doc.EmailSubject, "Alert \x96 $alert");
    EXPECT_EQ(doc.EmailBody, "line one\r\nC:\\temp \\q");
    EXPECT_THAT(doc.EmailRecipients, ::testing::ElementsAre("a@example.org", "b@example.org"));

    // Printed lines read back into the same bytes.
    const ToolRun printed = Run("tarvell-ini", {"--print", In("Tarvell.ini")});
    ASSERT_EQ(printed.exitCode, 0) << printed.err;
    ASSERT_TRUE(AtomicWriteFile(In("printed.txt"), printed.out));
    ASSERT_EQ(Run("tarvell-ini", {In("Again.ini"), In("printed.txt")}).exitCode, 0);
    EXPECT_EQ(ReadWholeFile(In("Again.ini")), ReadWholeFile(In("Tarvell.ini")));
}

TEST_F(Tools, BadSettingsLinesAreNamedAndNothingIsWritten) {
    ASSERT_EQ(Run("tarvell-ini", {In("Tarvell.ini"), "/dev/null"}).exitCode, 0);
    const auto before = ReadWholeFile(In("Tarvell.ini"));
    ASSERT_TRUE(AtomicWriteFile(
        In("bad.txt"),
        "EmailAlertsEnabled=1\nNoSuchField=1\nEmailAlertsEnabled=yes\nEmailSubject+=x\n"
        "EmailAlertsEnabled=99999999999\nnot a setting\n"));
    const ToolRun run = Run("tarvell-ini", {In("Tarvell.ini"), In("bad.txt")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.err, HasSubstr("bad.txt:2: unknown setting NoSuchField"));
    EXPECT_THAT(run.err, HasSubstr("bad.txt:3: EmailAlertsEnabled needs a decimal number"));
    EXPECT_THAT(run.err, HasSubstr("bad.txt:4: EmailSubject is not a list"));
    EXPECT_THAT(run.err, HasSubstr("bad.txt:5: EmailAlertsEnabled needs a decimal number"));
    EXPECT_THAT(run.err, HasSubstr("bad.txt:6: expected Name=value"));
    EXPECT_EQ(ReadWholeFile(In("Tarvell.ini")), before);
}

}  // namespace
}  // namespace tarvell
