// Settings handed over with values outside their ranges, through a real hand-over.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/Text.h"
#include "shared/SettingRanges.h"
#include "tests/service/engine/EngineFixture.h"

namespace tarvell::enginetest {
namespace {

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

class SettingRangesTest : public EngineFixture {};

// Fixed fault: all of these were taken silently (a threshold of -1 read as 4 294 967 295, SNMP
// waits of hours or of 0 ms, below the viewer's 1 000), and a 16 MiB text stayed in memory.
TEST_F(SettingRangesTest, OutOfRangeValuesAreClampedOrKeptWithOneLogLineEach) {
    CTarvellDoc good;
    good.SetDefaults();
    good.SmtpServer = "mail.original";
    good.NodesCountThreshold = 4;
    WriteServiceSettings(good);
    engine->ApplyViewerUpdates();
    // field, value handed over, value in force ("M": a 16 MiB text)
    const std::vector<std::string> cases = SplitAny(
        "SmtpPort 0 25|SmtpPort -25 25|SmtpPort 99999 25|SmtpPort abc 25|SmtpTimeout 60 10|"
        "SnmpTimeout -1 1000|SnmpTimeout 0 1000|SnmpTimeout 999 1000|SnmpTimeout 10001 1000|"
        "SnmpRetries -1 1|HtmlInterval -5 0|SqlInterval -1 0|"
        "UnblockAfterMinutes -10 0|AlertRemoveDays 5000 999|SyslogFacility 999 0|"
        "SyslogSeverity -3 0|NodesCountThreshold -1 4|SmtpServer M mail.original",
        "|");
    for (const std::string& c : cases) {
        const std::vector<std::string> row = SplitAny(c, " ");
        const std::string given = row[1] == "M" ? std::string(16u << 20, 'm') : row[1];
        const DocumentField* f = FindDocumentField(row[0]);
        const long before = ResidentKiB();
        {
            CTarvellDoc handed = ReadServiceSettings();
            if (f->kind == FieldKind::Word) f->Word(handed) = std::stoi(given);
            else f->Text(handed) = given;
            WriteHandOver(handed);
        }
        log.Clear();
        engine->ApplyViewerUpdates();
        for (const CTarvellDoc& doc : {*engine->Settings(), ReadServiceSettings()})
            EXPECT_EQ(f->kind == FieldKind::Word ? std::to_string(f->Word(doc)) : f->Text(doc),
                      row[2])
                << f->name;
        ASSERT_EQ(log.Lines().size(), 1u) << f->name;
        EXPECT_EQ(log.Lines()[0].rfind("Setting " + std::string(f->name) + " value ", 0), 0u);
        EXPECT_LT(log.Lines()[0].size(), 300u);
#ifndef __SANITIZE_ADDRESS__  // the sanitizer's quarantine holds freed memory on purpose
        EXPECT_LT(ResidentKiB() - before, 4096) << f->name << ": memory kept";
#endif
    }
    // The longest an unanswered SNMP request can take stays within the documented bound.
    EXPECT_LE(std::int64_t{engine->Document->SnmpTimeout} * (engine->Document->SnmpRetries + 1),
              kMaxSnmpTimeoutMs * (kMaxSnmpRetries + 1));
}

}  // namespace
}  // namespace tarvell::enginetest
