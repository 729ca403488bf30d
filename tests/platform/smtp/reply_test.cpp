#include "platform/smtp/SmtpReply.h"

#include <gtest/gtest.h>

#include <random>

namespace tarvell::smtp {
namespace {

// All replies in the bytes, fed in pieces of the given sizes.
std::vector<SmtpReply> ParseInPieces(std::string_view bytes, std::mt19937* random = nullptr) {
    SmtpReplyParser parser;
    std::vector<SmtpReply> out;
    while (!bytes.empty()) {
        const std::size_t n = random ? 1 + (*random)() % 7 : bytes.size();
        parser.Feed(bytes.substr(0, n));
        bytes.remove_prefix(std::min(n, bytes.size()));
        while (auto r = parser.Next()) out.push_back(*r);
    }
    return out;
}

// ---- replies

TEST(SmtpReplyParser, AReplyEndsAtItsFirstFinalLine) {
    struct Case {
        const char* bytes;
        std::vector<int> codes;
    } cases[] = {
        {"220 mail ready\r\n", {220}},
        {"250-mail\r\n250-SIZE 100\r\n250 HELP\r\n", {250}},
        {"250\r\n", {250}},                           // three digits alone
        {"250-a\r\n", {}},                            // continuation only: not complete
        {"250 OK", {}},                               // no line end yet
        {"hello\r\n250 OK\r\n", {250}},               // a stray line is text
        {"25 short\r\n2500 x\r\n354 go\r\n", {354}},  // lines that are not final
        {"250 OK\n221 Bye\n", {250, 221}},            // bare LF line ends
        {"250 A\r\n250 B\r\n", {250, 250}},           // the second waits for the next read
    };
    for (const auto& c : cases) {
        std::vector<int> codes;
        for (const auto& r : ParseInPieces(c.bytes)) codes.push_back(r.code);
        EXPECT_EQ(codes, c.codes) << c.bytes;
    }
}

TEST(SmtpReplyParser, PiecesOfAnySizeGiveTheSameReplies) {
    const std::string bytes =
        "220 ready\r\n250-mail.example\r\n250-AUTH LOGIN PLAIN\r\n250 HELP\r\n334 VXNlcm5hbWU6\r\n"
        "235 2.7.0 ok\r\n";
    const auto whole = ParseInPieces(bytes);
    ASSERT_EQ(whole.size(), 4u);
    EXPECT_EQ(whole[1].text, "250-mail.example\r\n250-AUTH LOGIN PLAIN\r\n250 HELP\r\n");
    std::mt19937 random(5321);
    for (int i = 0; i < 200; ++i) {
        const auto pieces = ParseInPieces(bytes, &random);
        ASSERT_EQ(pieces.size(), whole.size());
        for (std::size_t k = 0; k < whole.size(); ++k) {
            EXPECT_EQ(pieces[k].code, whole[k].code);
            EXPECT_EQ(pieces[k].text, whole[k].text);
        }
    }
}

TEST(SmtpReplyParser, AReplyThatNeverEndsFailsAtItsLimit) {
    SmtpReplyParser parser;
    const std::string line = "250-" + std::string(1000, 'x') + "\r\n";
    bool failed = false;
    for (int i = 0; i < 100 && !failed; ++i) {
        parser.Feed(line);
        EXPECT_FALSE(parser.Next());
        failed = parser.Failed();
        EXPECT_LE(parser.Pending(), SmtpReplyParser::kMaxReplyBytes + line.size());
    }
    EXPECT_TRUE(failed);
    EXPECT_FALSE(parser.Feed("250 OK\r\n"));
    EXPECT_FALSE(parser.Next());
    // A long reply within the limit is fine.
    SmtpReplyParser ok;
    for (int i = 0; i < 60; ++i) ok.Feed(line);
    ok.Feed("250 end\r\n");
    EXPECT_TRUE(ok.Next());
}

// ---- keywords

TEST(ReplyContains, KeywordsNeedTheirBoundaries) {
    const std::string ehlo =
        "250-mail\r\n250-AUTH=LOGIN\r\n250-AUTH CRAM-MD5 LOGIN\r\n250 STARTTLS\r\n";
    struct Case {
        std::string reply;
        const char* word;
        bool found;
    } cases[] = {
        {ehlo, "AUTH", true},
        {ehlo, "login", true},
        {ehlo, "CRAM-MD5", true},
        {ehlo, "STARTTLS", true},
        {ehlo, "PLAIN", false},
        {ehlo, "MD5", true},  // '-' counts as a boundary before
        {"250-XAUTHX\r\n", "AUTH", false},
        {"250 AUTH", "AUTH", false},        // nothing after it: the reply was cut
        {"AUTH LOGIN\r\n", "AUTH", false},  // never at the first position
        {"250-SIZE=100\r\n", "SIZE", true},
        {"", "AUTH", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReplyContains(c.reply, c.word), c.found) << c.reply << " / " << c.word;
}

TEST(ReplyForLog, ShowsOnePrintableLine) {
    EXPECT_EQ(ReplyForLog("535 5.7.8 bad\r\n535 more\r\n"), "535 5.7.8 bad");
    EXPECT_EQ(ReplyForLog(std::string("550 \x1b[31mred\x7f", 13)), "550 ?[31mred?");
    EXPECT_EQ(ReplyForLog(std::string(300, 'a'), 10), "aaaaaaaaaa...");
}

// ---- DIGEST-MD5 challenges

TEST(ParseDigestChallenge, ReadsQuotedAndBareDirectives) {
    const auto d = ParseDigestChallenge(
        "realm=\"elwood.innosoft.com\",nonce=\"OA6MG9tEQGm2hh\",qop=\"auth\",algorithm=md5-sess,"
        " charset=utf-8 ,Realm=\"second\",x=\"a\\\"b,c\"");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->at("realm"), "elwood.innosoft.com");  // the first of a repeated name
    EXPECT_EQ(d->at("nonce"), "OA6MG9tEQGm2hh");
    EXPECT_EQ(d->at("algorithm"), "md5-sess");
    EXPECT_EQ(d->at("charset"), "utf-8");
    EXPECT_EQ(d->at("x"), "a\"b,c");
    EXPECT_FALSE(ParseDigestChallenge("nonce=\"open"));  // no closing quote
    EXPECT_FALSE(ParseDigestChallenge("nonce"));         // no "="
    EXPECT_TRUE(ParseDigestChallenge("")->empty());
}

}  // namespace
}  // namespace tarvell::smtp
