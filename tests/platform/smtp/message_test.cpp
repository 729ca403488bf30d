#include "platform/smtp/SmtpMessage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "platform/smtp/Base64.h"
#include "tests/platform/smtp/Golden.h"

namespace tarvell::smtp {
namespace {

using test::ExpectGolden;

constexpr std::int64_t kDecemberFirst = 1796112303;  // 1 Dec 2026 08:05:03 UTC

// Pins the time zone to Central European (winter +0100) for one test.
class MailText : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("TZ")) oldZone_ = old, hadZone_ = true;
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
    }
    void TearDown() override {
        if (hadZone_) setenv("TZ", oldZone_.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

    static MailContent Alert() {
        MailContent m;
        m.sender = "tarvell@example.org";
        m.recipients = {"ops@example.org"};
        m.subject = "New Mac on core-sw";
        m.body = "A new node was seen.\r\nPort: Gi0/7\r\n";
        return m;
    }

private:
    bool hadZone_ = false;
    std::string oldZone_;
};

// ---- headers

TEST_F(MailText, TheDateHeaderFollowsInternetMailRules) {
    EXPECT_EQ(FormatDateHeader(kDecemberFirst), "Tue, 01 Dec 2026 09:05:03 +0100");
    EXPECT_EQ(FormatDateHeader(kDecemberFirst - 183 * 86400), "Mon, 01 Jun 2026 10:05:03 +0200");
}

TEST_F(MailText, PlainAndHtmlMailsMatchTheirGoldenFiles) {
    MailContent m = Alert();
    ExpectGolden("plain.eml", FormatMessageData(m, kDecemberFirst));
    m.html = true;
    m.subject.clear();
    m.body = "<p>New node</p>";
    ExpectGolden("html-no-subject.eml", FormatMessageData(m, kDecemberFirst));
}

// A node-controlled text can neither end the header block nor the message: the service's
// authenticated session must not carry a second mail.
TEST_F(MailText, TextsCannotEndTheHeadersOrTheMessage) {
    MailContent m = Alert();
    m.subject = "x\r\nBcc: victim@example.org";
    m.sender = "a@b\r\nX-Evil: 1";
    m.recipients = {"ops@example.org\n"};
    m.body = ".\r\nx\r\n.\r\nMAIL FROM:<a@b>\r\n..two\nbare LF\rbare CR\r\n.";
    const std::string data = FormatMessageData(m, kDecemberFirst);
    ExpectGolden("smuggling.eml", data);
    EXPECT_EQ(data.find("\r\n.\r\n"), data.size() - 5);  // the only end of data is the last
    EXPECT_EQ(data.find("\nBcc:"), std::string::npos);
    EXPECT_EQ(data.find("\nX-Evil"), std::string::npos);
}

TEST_F(MailText, EightBitTextIsDeclaredAndTheSubjectEncoded) {
    MailContent m = Alert();
    m.subject =
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE2\x82\xAC";  // UTF-8 "Grüße €"
    m.body =
        "Stra\xC3\x9F"
        "e\r\n";
    const std::string data = FormatMessageData(m, kDecemberFirst);
    ExpectGolden("eight-bit.eml", data);
    EXPECT_NE(data.find("Subject: =?UTF-8?B?" + Base64Encode(m.subject) + "?=\r\n"),
              std::string::npos);
}

TEST_F(MailText, LongSubjectsFoldIntoWholeCharacterWords) {
    std::string subject;
    for (int i = 0; i < 40; ++i) subject += "\xC3\xA4\xE2\x82\xAC";  // a 2-byte and a 3-byte char
    const std::string encoded = EncodeSubject(subject);
    std::string decoded;
    std::size_t at = 0;
    while ((at = encoded.find("=?UTF-8?B?", at)) != std::string::npos) {
        const std::size_t end = encoded.find("?=", at + 10);
        const std::string word = encoded.substr(at, end + 2 - at);
        EXPECT_LE(word.size(), 75u);
        const std::string piece = Base64Decode(word.substr(10, word.size() - 12));
        // Each word holds whole characters: it starts with a lead byte.
        EXPECT_NE(static_cast<unsigned char>(piece[0]) & 0xC0, 0x80u);
        decoded += piece;
        at = end;
    }
    EXPECT_EQ(decoded, subject);
    EXPECT_EQ(EncodeSubject(std::string(1000, 'a')).find("\r\n "), 72u);
    EXPECT_EQ(EncodeSubject("plain words"), "plain words");
    EXPECT_NE(EncodeSubject("looks =?like?= a word"), "looks =?like?= a word");
}

// ---- body

TEST_F(MailText, BodiesChooseTheirTransferEncoding) {
    struct Case {
        std::string body;
        const char* encoding;
    } cases[] = {
        {"ascii only\r\n", "7bit"},
        {"caf\xC3\xA9", "8bit"},
        {std::string(998, 'x'), "7bit"},
        {std::string(999, 'x'), "quoted-printable"},  // longer than an SMTP line
        {std::string("nul\0byte", 8), "quoted-printable"},
        {"", "7bit"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EncodeBody(c.body).transferEncoding, c.encoding) << c.body.size();
}

TEST_F(MailText, LongLinesGoQuotedPrintableWithShortLines) {
    std::string body = "." + std::string(1200, 'a') + " =\xC3\xA9 \r\nend ";
    const EncodedBody e = EncodeBody(body);
    ExpectGolden("long-line.body", e.wire);
    std::size_t start = 0;
    while (start < e.wire.size()) {
        const std::size_t end = e.wire.find("\r\n", start);
        EXPECT_LE(end - start, 77u);  // 76 and a stuffed dot
        start = end + 2;
    }
}

}  // namespace
}  // namespace tarvell::smtp
