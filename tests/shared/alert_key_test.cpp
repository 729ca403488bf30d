#include "shared/AlertKey.h"

#include <gtest/gtest.h>

#include <climits>

namespace tarvell {
namespace {

TEST(AlertKey, KeysAreReadAsTwoNumbersAndOtherTextsSortLast) {
    struct Case {
        const char* key;
        bool valid;
        std::int64_t seconds, counter, time;
    } cases[] = {
        {"1700000000.0", true, 1700000000, 0, 1700000000},
        {"9.2", true, 9, 2, 9},
        {"10.1", true, 10, 1, 10},
        {"1700000000", false, 0, 0, 1700000000},
        {".5", false, 0, 0, 0},
        {"5.", false, 0, 0, 5},
        {"5.x", false, 0, 0, 5},
        {"-5.1", false, 0, 0, 0},
        {"5.1.2", false, 0, 0, 5},
        {"99999999999999999999.1", false, 0, 0, INT64_MAX / 10 + 0},
        {"", false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const auto parts = ParseAlertKey(c.key);
        EXPECT_EQ(parts.has_value(), c.valid) << c.key;
        if (parts) {
            EXPECT_EQ((std::pair{parts->seconds, parts->counter}),
                      (std::pair{c.seconds, c.counter}))
                << c.key;
        }
        if (!c.valid) {
            EXPECT_EQ(AlertKeyOrder(c.key),
                      (std::pair<std::int64_t, std::int64_t>{INT64_MAX, INT64_MAX}));
        }
        if (c.time != INT64_MAX / 10) {
            EXPECT_EQ(AlertKeySeconds(c.key), c.time) << c.key;
        }
    }
    EXPECT_LT(AlertKeyOrder("9.2"), AlertKeyOrder("10.1"));
    EXPECT_LT(AlertKeyOrder("10.9"), AlertKeyOrder("10.10"));
    EXPECT_GT(AlertKeySeconds("99999999999999999999.1"), 0);  // saturates, never wraps negative
}

}  // namespace
}  // namespace tarvell
