// Comparing emitted mail bytes with the golden files in tests/fixtures/smtp. With
// TARVELL_UPDATE_GOLDEN=1 in the environment a differing file is rewritten instead (then review
// the change with git diff).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/Files.h"

namespace tarvell::smtp::test {

inline void ExpectGolden(const std::string& name, const std::string& actual) {
    const std::string path = std::string(TARVELL_SOURCE_DIR) + "/tests/fixtures/smtp/" + name;
    const auto expected = ReadWholeFile(path);
    if (const char* update = std::getenv("TARVELL_UPDATE_GOLDEN");
        update && std::string(update) == "1") {
        if (!expected || *expected != actual) {
            ASSERT_TRUE(AtomicWriteFile(path, actual)) << path;
        }
        return;
    }
    ASSERT_TRUE(expected) << "missing golden file " << path;
    EXPECT_EQ(actual, *expected) << "differs from " << path;
}

// The message with its Date line replaced, for messages sent at an unknown time.
inline std::string WithoutDate(std::string message) {
    const std::size_t at = message.find("Date: ");
    if (at == 0) message.replace(0, message.find("\r\n"), "Date: <sent>");
    return message;
}

}  // namespace tarvell::smtp::test
