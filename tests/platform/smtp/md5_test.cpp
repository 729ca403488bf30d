#include "platform/smtp/MD5.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/smtp/Base64.h"

namespace tarvell::smtp {
namespace {

std::string Hex(const MD5::Digest& d) { return ToHex(d.data(), d.size()); }

// ---- digest

TEST(MD5, ReferenceVectorsGiveTheirDigests) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [input, digest] : cases) EXPECT_EQ(MD5::Hex(input), digest) << input;
}

TEST(MD5, InputInPiecesGivesTheDigestOfOnePiece) {
    std::string input;
    for (int i = 0; i < 1000; ++i) input.push_back(static_cast<char>(i * 7 + 3));
    const std::string whole = MD5::Hex(input);
    for (const std::size_t piece : {1u, 63u, 64u, 65u, 127u}) {
        MD5 md5;
        for (std::size_t at = 0; at < input.size(); at += piece)
            md5.update(std::string_view(input).substr(at, piece));
        md5.finalize();
        EXPECT_EQ(md5.hex_digest(), whole) << "pieces of " << piece;
    }
}

TEST(MD5, MisuseIsReportedAndChangesNothing) {
    MD5 md5;
    md5.update("abc");
    testing::internal::CaptureStderr();
    EXPECT_EQ(md5.hex_digest(), "");
    EXPECT_EQ(md5.raw_digest(), MD5::Digest{});
    md5.finalize();
    md5.update("more");
    md5.finalize();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "MD5::hex_digest:  Can't get digest if you haven't finalized the digest!\n"
              "MD5::raw_digest:  Can't get digest if you haven't finalized the digest!\n"
              "MD5::update:  Can't update a finalized digest!\n"
              "MD5::finalize:  Already finalized this digest!\n");
    EXPECT_EQ(md5.hex_digest(), "900150983cd24fb0d6963f7d28e17f72");
    md5.init();
    md5.update("a");
    md5.finalize();
    EXPECT_EQ(md5.hex_digest(), "0cc175b9c0f1b6a831c399e269772661");
}

// Random inputs of every length up to a few blocks agree with an independent MD5 (Python's).
TEST(MD5, AgreesWithAnIndependentDigestOnRandomInputs) {
    const std::string dir = MakeTempFolder("tarvell-md5-");
    ASSERT_FALSE(dir.empty());
    std::mt19937 random(1321);
    std::vector<std::string> inputs;
    std::string lines;
    for (int i = 0; i < 1000; ++i) {
        std::string s(random() % 300, '\0');
        for (char& c : s) c = static_cast<char>(random());
        inputs.push_back(s);
        std::string hex;
        for (const char c : s) hex += ToHex(reinterpret_cast<const std::uint8_t*>(&c), 1);
        lines += hex + "\n";
    }
    ASSERT_TRUE(AtomicWriteFile(dir + "/inputs", lines));
    ProcessOptions o;
    o.argv = {
        "/usr/bin/python3", "-c",
        "import hashlib,sys\n"
        "for l in open(sys.argv[1]): print(hashlib.md5(bytes.fromhex(l.strip())).hexdigest())",
        dir + "/inputs"};
    o.captureOutput = true;
    o.maxOutputBytes = 1 << 20;
    o.timeLimitMs = 30'000;
    const ProcessResult r = RunProcess(o);
    RemoveTree(dir);
    ASSERT_TRUE(r.Succeeded()) << r.err;
    std::istringstream expected(r.out);
    std::string line;
    for (const std::string& input : inputs) {
        ASSERT_TRUE(std::getline(expected, line));
        EXPECT_EQ(MD5::Hex(input), line) << "input of " << input.size() << " bytes";
    }
}

// ---- keyed digests

TEST(HmacMd5, ReferenceVectorsGiveTheirCodes) {
    struct Case {
        std::string key, data, mac;
    } cases[] = {
        {std::string(16, '\x0b'), "Hi There", "9294727a3638bb1c13f48ef8158bfc9d"},
        {"Jefe", "what do ya want for nothing?", "750c783e6ab0b503eaa86e310a5db738"},
        {std::string(16, '\xaa'), std::string(50, '\xdd'), "56be34521d144c88dbb8c733f0e8b3f6"},
        // A key longer than a block is hashed first.
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
         "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
    };
    for (const auto& c : cases) EXPECT_EQ(Hex(HmacMd5(c.key, c.data)), c.mac) << c.data;
}

TEST(HmacMd5, TheCramMd5ExampleGivesItsResponse) {
    const auto mac = HmacMd5("tanstaaftanstaaf", "<1896.697170952@postoffice.reston.mci.net>");
    EXPECT_EQ("tim " + Hex(mac), "tim b913a602c7eda7a495b4e6e7334d3890");
    EXPECT_EQ(Base64Encode("tim " + Hex(mac)), "dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw");
}

// ---- Base64

TEST(Base64, KnownTextsAndRoundTrips) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("u\0u\0p^w", 7), "dQB1AHBedw=="},
    };
    for (const auto& [plain, coded] : cases) {
        EXPECT_EQ(Base64Encode(plain), coded);
        EXPECT_EQ(Base64Decode(coded), plain);
    }
    std::mt19937 random(2045);
    for (int i = 0; i < 500; ++i) {
        std::string s(random() % 100, '\0');
        for (char& c : s) c = static_cast<char>(random());
        EXPECT_EQ(Base64Decode(Base64Encode(s)), s);
    }
}

TEST(Base64, DecodingStopsAtTheFirstForeignCharacter) {
    EXPECT_EQ(Base64Decode("Zm9v\r\nYmFy"), "foo");
    EXPECT_EQ(Base64Decode("Zm9vYmFy=garbage"), "foobar");
    EXPECT_EQ(Base64Decode("Z"), "");  // six bits make no byte
    EXPECT_TRUE(IsBase64Char('+'));
    EXPECT_FALSE(IsBase64Char('='));
    EXPECT_FALSE(IsBase64Char('-'));
}

}  // namespace
}  // namespace tarvell::smtp
