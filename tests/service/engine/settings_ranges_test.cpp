// Settings handed over with values outside their ranges: each is clamped or keeps its last good
// value, with one log line, and the service's settings file holds what is in force.
#include <gtest/gtest.h>

#include <fstream>

#include "shared/SettingRanges.h"
#include "tests/service/engine/EngineFixture.h"

namespace tarvell::enginetest {
namespace {

// Resident memory of this process in KiB.
long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

std::string ValueOf(const CTarvellDoc& doc, const DocumentField& f) {
    return f.kind == FieldKind::Word ? std::to_string(f.Word(doc)) : f.Text(doc);
}

class SettingRangesTest : public EngineFixture {};

// Fixed fault: every one of these was taken silently (SmtpPort "abc", a threshold of -1 read as
// 4 294 967 295, SNMP waits of hours), and a 16 MiB text stayed in memory.
TEST_F(SettingRangesTest, OutOfRangeSettingsAreClampedOrKeptWithOneLogLineEach) {
    CTarvellDoc good;
    good.SetDefaults();
    good.SmtpServer = "mail.original";
    good.SyslogFacility = 3;
    good.NodesCountThreshold = 4;
    good.SnmpTimeout = 2000;
    good.SnmpRetries = 2;
    WriteServiceSettings(good);
    engine->ApplyViewerUpdates();
    ASSERT_TRUE(log.Lines().empty()) << log.Lines().front();

    struct Case {
        const char* field;
        std::string given;
        const char* used;
    };
    const std::string huge(16u << 20, 'm');
    const Case cases[] = {
        {"SmtpPort", "0", "25"},
        {"SmtpPort", "-25", "25"},
        {"SmtpPort", "99999", "25"},
        {"SmtpPort", "abc", "25"},
        {"SmtpTimeout", "60", "10"},
        {"SnmpTimeout", "-1", "2000"},
        {"SnmpRetries", "-1", "2"},
        {"SnmpTimeout", "600000", "2000"},
        {"HtmlInterval", "-5", "0"},
        {"SqlInterval", "-1", "0"},
        {"UnblockAfterMinutes", "-10", "0"},
        {"AlertRemoveDays", "-3", "0"},
        {"AlertRemoveDays", "5000", "999"},
        {"SyslogFacility", "999", "3"},
        {"SyslogSeverity", "-3", "0"},
        {"NodesCountThreshold", "-1", "4"},
        {"SmtpServer", huge, "mail.original"},
    };
    for (const Case& c : cases) {
        const DocumentField* f = FindDocumentField(c.field);
        ASSERT_NE(f, nullptr) << c.field;
        const long before = ResidentKiB();
        {
            CTarvellDoc handed = ReadServiceSettings();
            if (f->kind == FieldKind::Word) f->Word(handed) = std::stoi(c.given);
            else f->Text(handed) = c.given;
            WriteHandOver(handed);
        }
        log.Clear();
        engine->ApplyViewerUpdates();
        const std::string shown = c.given.substr(0, 20);
        EXPECT_EQ(ValueOf(*engine->Document, *f), c.used) << c.field << " " << shown;
        EXPECT_EQ(ValueOf(*engine->Settings(), *f), c.used) << c.field << " " << shown;
        EXPECT_EQ(ValueOf(ReadServiceSettings(), *f), c.used) << c.field << " " << shown;
        const std::vector<std::string> lines = log.Lines();
        ASSERT_EQ(lines.size(), 1u) << c.field << " " << shown;
        EXPECT_EQ(lines[0].rfind("Setting " + std::string(c.field) + " value ", 0), 0u) << lines[0];
        EXPECT_NE(lines[0].find(c.used), std::string::npos) << lines[0];
        if (c.given.size() > 1000) {
            EXPECT_LT(lines[0].size(), 300u);
            // The file was read, parsed and installed; none of it stays.
            EXPECT_LT(ResidentKiB() - before, 4096) << "KiB kept after a refused text";
        }
    }
    // The longest an unanswered SNMP request can take stays bounded.
    const CTarvellDoc& in = *engine->Document;
    EXPECT_LE(std::int64_t{in.SnmpTimeout} * (in.SnmpRetries + 1),
              kSnmpTimeoutMaxMs * (kSnmpRetriesMax + 1));
}

}  // namespace
}  // namespace tarvell::enginetest
