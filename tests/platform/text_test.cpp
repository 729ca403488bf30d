#include "platform/Text.h"

#include <gtest/gtest.h>

#include <vector>

#include <limits>

namespace tarvell {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

TEST(AtoL, ReadsLikeTheCLibrary) {
    EXPECT_EQ(AtoL("0"), 0);
    EXPECT_EQ(AtoL(""), 0);
    EXPECT_EQ(AtoL("abc"), 0);
    EXPECT_EQ(AtoL("-"), 0);
    EXPECT_EQ(AtoL("+"), 0);
    EXPECT_EQ(AtoL("  \t\n42"), 42);
    EXPECT_EQ(AtoL("+17"), 17);
    EXPECT_EQ(AtoL("-17"), -17);
    EXPECT_EQ(AtoL("1700000000.3"), 1700000000);  // an alert key: time, ".", counter
    EXPECT_EQ(AtoL("12abc"), 12);
    EXPECT_EQ(AtoL("- 5"), 0);  // no blank between sign and digits
    EXPECT_EQ(AtoL("--5"), 0);
    EXPECT_EQ(AtoL("0x1F"), 0);
    EXPECT_EQ(AtoL("007"), 7);
    EXPECT_EQ(AtoL(std::string_view("9\0"
                                    "9",
                                    3)),
              9);
}

TEST(AtoL, SaturatesAtTheLimits) {
    EXPECT_EQ(AtoL("9223372036854775807"), kMax);
    EXPECT_EQ(AtoL("9223372036854775808"), kMax);
    EXPECT_EQ(AtoL("99999999999999999999999999"), kMax);
    EXPECT_EQ(AtoL("-9223372036854775808"), kMin);
    EXPECT_EQ(AtoL("-9223372036854775809"), kMin);
    EXPECT_EQ(AtoL("-99999999999999999999999999"), kMin);
    EXPECT_EQ(AtoL("4294967296"), 4294967296);  // past 32 bits and past 2038
    EXPECT_EQ(AtoL("000000000000000000000000000000000000012"), 12);
    EXPECT_EQ(AtoL(FormatLong(kMin)), kMin);
}

TEST(SplitAny, DropsEmptyPiecesBetweenAnySeparators) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitAny("a;b,c d\te\r\nf", kListSeparators), (V{"a", "b", "c", "d", "e", "f"}));
    EXPECT_EQ(SplitAny(";;a;;;b;;", ";"), (V{"a", "b"}));
    EXPECT_EQ(SplitAny("", ";"), V{});
    EXPECT_EQ(SplitAny(";,; ", kListSeparators), V{});
    EXPECT_EQ(SplitAny("abc", ""), V{"abc"});
    EXPECT_EQ(SplitAny("a/b\\c", "/\\"), (V{"a", "b", "c"}));
}

TEST(SplitFirst, SplitsAtTheFirstSeparatorOnly) {
    EXPECT_EQ(SplitFirst("sw/1/2", '/'), (std::pair<std::string, std::string>{"sw", "1/2"}));
    EXPECT_EQ(SplitFirst("plain", '/'), (std::pair<std::string, std::string>{"plain", ""}));
    EXPECT_EQ(SplitFirst("/x", '/'), (std::pair<std::string, std::string>{"", "x"}));
}

TEST(CompareNoCase, OrdersLikeStrcasecmp) {
    EXPECT_EQ(CompareNoCase("Local", "LOCAL"), 0);
    EXPECT_LT(CompareNoCase("abc", "ABD"), 0);
    EXPECT_GT(CompareNoCase("b", "A"), 0);
    EXPECT_LT(CompareNoCase("ab", "ABC"), 0);  // a prefix sorts first
    EXPECT_GT(CompareNoCase("ABC", "ab"), 0);
    EXPECT_EQ(CompareNoCase("", ""), 0);
    // Bytes above 0x7F compare as unsigned values and are not folded.
    EXPECT_GT(CompareNoCase("\xE9", "z"), 0);
    EXPECT_NE(CompareNoCase("\xE9", "\xC9"), 0);
    // '_' lies between the upper and lower case letters: folding to lower case decides.
    EXPECT_GT(CompareNoCase("A", "_"), 0);
    EXPECT_TRUE(EqualsNoCase("SOFTWARE\\Tarvell", "software\\TARVELL"));
    EXPECT_FALSE(EqualsNoCase("abc", "abcd"));
}

TEST(Trim, RemovesTheGivenCharactersAtBothEnds) {
    EXPECT_EQ(Trim("  a b  "), "a b");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(Trim("\r\nx\t", "\r\n\t"), "x");
    EXPECT_EQ(ToUpperAscii("aZ\xe9"), "AZ\xe9");
    EXPECT_EQ(ToLowerAscii("aZ\xC9"), "az\xC9");
}

TEST(CodePage, ConvertsToUtf8AndBack) {
    EXPECT_EQ(Cp1252ToUtf8("caf\xE9 \x80 \x9F"), "caf\xC3\xA9 \xE2\x82\xAC \xC5\xB8");
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
    EXPECT_EQ(Utf8ToCp1252("\xE4\xB8\xAD"), "?");    // no Windows-1252 byte
    EXPECT_EQ(Utf8ToCp1252("a\xC3"), "a?");          // truncated sequence
    EXPECT_EQ(Utf8ToCp1252("\xC0\xAF"), "??");       // overlong form
    EXPECT_EQ(Utf8ToCp1252("\xED\xA0\x80"), "???");  // surrogate
}

// The one table every conversion uses (settings, archives, HTML pages): the five unassigned
// bytes are the control characters of the same number, both ways, as the Windows conversion has
// them; a few assigned ones for the rest.
TEST(CodePage, TheUnassignedBytesAreTheirOwnControlCharacters) {
    const std::vector<std::pair<unsigned char, char32_t>> pinned = {
        {0x81, 0x0081}, {0x8D, 0x008D}, {0x8F, 0x008F}, {0x90, 0x0090}, {0x9D, 0x009D},
        {0x80, 0x20AC}, {0x8A, 0x0160}, {0x9F, 0x0178}, {0x41, 0x0041}, {0xE9, 0x00E9}};
    for (const auto& [byte, cp] : pinned) {
        EXPECT_EQ(Cp1252CodePoint(byte), cp) << int(byte);
        EXPECT_EQ(static_cast<unsigned char>(CodePointToCp1252(cp)), byte) << int(byte);
    }
    EXPECT_EQ(Cp1252ToUtf8("\x81\x8D\x8F\x90\x9D"), "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
    EXPECT_EQ(CodePointToCp1252(0x0080), '?');  // U+0080 has no byte: 0x80 is the euro sign
}

}  // namespace
}  // namespace tarvell
