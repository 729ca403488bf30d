// Randomized inputs for the archive reader: mutations of a valid file and plain random bytes.
// The reader may accept or refuse them, but refusing is always ArchiveError and never a crash
// (run it under the sanitizer build to see out-of-bounds reads).
#include "platform/Archive.h"
#include "platform/ObjectMap.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/platform/ArchiveTestRecord.h"

namespace tarvell {
namespace {

using namespace archivetest;

std::string ValidFile() {
    SampleFile f;
    f.first = "12";
    f.table = {{"10.0.0.1", "sw/a"}, {"k", std::string(260, 'v')}};
    f.list = {"", "one", std::string(300, 'l')};
    for (int i = 0; i < 4; ++i) {
        auto item = std::make_unique<ProbeItem>();
        item->number = i - 1;
        item->name = "item" + std::to_string(i);
        item->note = std::string(static_cast<std::size_t>(i) * 90, 'n');
        f.more[item->name] = std::make_unique<ProbeItem>(*item);
        f.items[item->name] = std::move(item);
    }
    return StoreSample(f);
}

// Any outcome but success or ArchiveError fails the test. What was read is written again and
// must read back to the same content.
void ExpectReadOrArchiveError(const std::string& input) {
    // An exact-size copy, so that the sanitizer sees a read one past the end.
    const std::string copy(input.begin(), input.end());
    std::string stored;
    try {
        stored = StoreSample(LoadSample(copy));
    } catch (const ArchiveError&) {
        return;
    } catch (const std::exception& e) {
        FAIL() << "unexpected exception: " << e.what();
    }
    EXPECT_EQ(StoreSample(LoadSample(stored)), stored);
}

// Bytes that make length prefixes and tags take their special paths.
constexpr unsigned char kInteresting[] = {0x00, 0x01, 0x7F, 0x80, 0xFE, 0xFF};

std::string Mutate(const std::string& base, std::mt19937& rng) {
    std::string s = base;
    std::uniform_int_distribution<int> edits(1, 4);
    for (int n = edits(rng); n > 0; --n) {
        if (s.empty()) s.push_back('\0');
        std::uniform_int_distribution<std::size_t> at(0, s.size() - 1);
        switch (rng() % 6) {
            case 0: s[at(rng)] = static_cast<char>(rng()); break;
            case 1: s[at(rng)] ^= static_cast<char>(1u << (rng() % 8)); break;
            case 2:
                s[at(rng)] = static_cast<char>(kInteresting[rng() % sizeof kInteresting]);
                break;
            case 3: s.erase(at(rng), 1 + rng() % 8); break;
            case 4:
                s.insert(at(rng), 1 + rng() % 8, static_cast<char>(kInteresting[rng() % 6]));
                break;
            default: s.resize(at(rng)); break;
        }
    }
    return s;
}

TEST(ArchiveFuzz, MutatedValidFilesReadOrFailCleanly) {
    const std::string base = ValidFile();
    ASSERT_NO_THROW(LoadSample(base));
    for (std::uint32_t seed : {1u, 2u, 3u}) {
        std::mt19937 rng(seed);
        for (int i = 0; i < 40000; ++i) {
            ExpectReadOrArchiveError(Mutate(base, rng));
            if (HasFailure()) return;
        }
    }
}

TEST(ArchiveFuzz, RandomBytesReadOrFailCleanly) {
    std::mt19937 rng(20261208);
    std::uniform_int_distribution<std::size_t> length(0, 64);
    for (int i = 0; i < 100000; ++i) {
        std::string s(length(rng), '\0');
        for (auto& c : s) {
            // Half the bytes from the special values so that deep paths are reached.
            c = static_cast<char>(rng() % 2 ? kInteresting[rng() % 6] : rng());
        }
        ExpectReadOrArchiveError(s);
        if (HasFailure()) return;
    }
}

}  // namespace
}  // namespace tarvell
