// Golden files: texts the system emits, kept under tests/fixtures/<area>/ and compared byte for
// byte. With TARVELL_UPDATE_GOLDEN=1 in the environment a differing or missing file is written
// instead of failing (review the change with git diff before committing it).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/Files.h"

namespace tarvell::test {

// `name` is relative to tests/fixtures ("smtp/plain.eml").
inline std::string GoldenPath(const std::string& name) {
    return std::string(TARVELL_SOURCE_DIR) + "/tests/fixtures/" + name;
}

inline bool UpdatingGoldenFiles() {
    const char* update = std::getenv("TARVELL_UPDATE_GOLDEN");
    return update && std::string(update) == "1";
}

// The stored text, or nothing when the file is missing.
inline std::optional<std::string> ReadGolden(const std::string& name) {
    return ReadWholeFile(GoldenPath(name));
}

// Expects `actual` to equal the golden file `name`; in update mode rewrites a differing file.
inline void ExpectGolden(const std::string& name, const std::string& actual) {
    const std::string path = GoldenPath(name);
    const auto expected = ReadWholeFile(path);
    if (UpdatingGoldenFiles()) {
        if (!expected || *expected != actual) {
            ASSERT_TRUE(AtomicWriteFile(path, actual)) << path;
        }
        return;
    }
    ASSERT_TRUE(expected) << "missing golden file " << path;
    EXPECT_EQ(actual, *expected) << "differs from " << path;
}

}  // namespace tarvell::test
