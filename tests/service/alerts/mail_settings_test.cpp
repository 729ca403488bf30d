#include "service/alerts/MailSettings.h"

#include <gtest/gtest.h>

namespace tarvell {
namespace {

TEST(MailSettings, TheDocumentsTextsBecomeClientSettings) {
    CTarvellDoc doc;
    doc.SmtpServer = "relay.example.org";
    doc.SmtpPort = "587";
    doc.SmtpSecurity = "TLS";
    doc.SmtpUser = "u";
    doc.SmtpPassword = "p^w";
    doc.SmtpSender = "tarvell@example.org";
    doc.SmtpTimeout = "2";
    const auto s = MailSettings(doc, "/var/lib/tarvell");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->server, "relay.example.org");
    EXPECT_EQ(s->port, 587);
    EXPECT_EQ(s->security, "TLS");
    EXPECT_EQ(s->password, "p^w");
    EXPECT_EQ(s->timeout, std::chrono::minutes(2));
    EXPECT_EQ(s->caFile, "/var/lib/tarvell/smtp-ca.pem");
    doc.SmtpPort = "smtp";
    std::string error;
    EXPECT_FALSE(MailSettings(doc, "/x", &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace tarvell
