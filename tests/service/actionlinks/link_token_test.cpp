// The link token and the installation's secret: the exact bytes a mailed link carries, the
// checks of the three values, and the secret file's life (made once, refused when not ours).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "service/actionlinks/LinkToken.h"

namespace tarvell {
namespace {

LinkSecret CountingSecret() {
    LinkSecret secret;
    for (std::size_t i = 0; i < secret.bytes.size(); ++i)
        secret.bytes[i] = static_cast<unsigned char>(i);
    return secret;
}

class LinkSecretTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = MakeTempFolder("tarvell-links-");
        ASSERT_FALSE(folder.empty());
        path = JoinPath(folder, kLinkSecretFileName);
    }
    void TearDown() override { RemoveTree(folder); }

    std::string folder, path;
};

// ---- tokens and links

// Links in mails already sent must keep working after an update: the token's bytes are pinned
// (computed independently with a scripting language's HMAC).
TEST(LinkToken, TokensOfAFixedSecretArePinned) {
    const LinkSecret secret = CountingSecret();
    EXPECT_EQ(MakeLinkToken(secret, "S1/3", "None", "1700000000.0"),
              "LJif2ex23ijBqd6l3NBSvsGvbDC33a7s-HtI61nYfpA");
    EXPECT_EQ(MakeLinkToken(secret, "00AABB000001/12", "Delete", "1700000123.4"),
              "xPrPtF59dWBou_1nk4PAPe3llKWmko1MxiH3qLh6UY4");
    EXPECT_EQ(MakeLinkToken(secret, "00AABB000001/12", "dELETE", "1700000123.4"),
              "xPrPtF59dWBou_1nk4PAPe3llKWmko1MxiH3qLh6UY4");
}

TEST(LinkToken, ALinkCarriesEveryParameterInItsOrder) {
    const LinkSecret secret = CountingSecret();
    EXPECT_EQ(MakeActionLink("192.0.2.7", secret, "S1/3", "none", "1700000000.0"),
              "http://192.0.2.7:49151/?Prog=Tarvell&Event=S1/3&Action=None&Key=1700000000.0"
              "&Auth=LJif2ex23ijBqd6l3NBSvsGvbDC33a7s-HtI61nYfpA");
    EXPECT_EQ(MakeLinkQuery(secret, "S1/3;x", "None", "1"), "");
    EXPECT_EQ(MakeLinkQuery(secret, "S1/3", "Block", "1"), "");
    EXPECT_EQ(MakeLinkQuery(secret, "S1/3", "None", "1&Prog=x"), "");
}

TEST(LinkToken, OnlyTheExactValuesPassTheCheck) {
    const LinkSecret secret = CountingSecret();
    LinkSecret other = secret;
    other.bytes[31] ^= 1;
    const std::string token = MakeLinkToken(secret, "S1/3", "None", "1700000000.0");
    EXPECT_TRUE(CheckLinkToken(secret, "S1/3", "None", "1700000000.0", token));
    EXPECT_TRUE(CheckLinkToken(secret, "S1/3", "NONE", "1700000000.0", token));
    struct Case {
        const char* event;
        const char* action;
        const char* key;
        std::string token;
    } cases[] = {
        {"S1/4", "None", "1700000000.0", token},
        {"S1/3", "Delete", "1700000000.0", token},
        {"S1/3", "None", "1700000000.1", token},
        {"S1/3", "None", "1700000000.0", token.substr(0, 42)},
        {"S1/3", "None", "1700000000.0", token + "A"},
        {"S1/3", "None", "1700000000.0", ""},
        {"S1/3", "None", "1700000000.0", MakeLinkToken(other, "S1/3", "None", "1700000000.0")},
        // The values are length-prefixed: moving a character from one value to the next is no
        // other spelling of the same token.
        {"S1/", "3None", "1700000000.0", token},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(CheckLinkToken(secret, c.event, c.action, c.key, c.token))
            << c.event << " " << c.action;
}

TEST(LinkToken, EventAndAlertKeysAreStrict) {
    const std::string longPart(kMaxLinkKeyPart, 'A');
    for (const std::string& good : std::vector<std::string>{
             "S1/3", "00AABB000001/12", "a.b_c-d:e/1", longPart + "/" + longPart})
        EXPECT_TRUE(IsLinkEvent(good)) << good;
    for (const std::string& bad :
         std::vector<std::string>{"", "S1", "/3", "S1/", "S1/3;None;x", "S1 /3", "S1/3/4", "S1/%3B",
                                  "S1/3&Prog=Tarvell", longPart + "A/1", std::string("S1/3\0", 5)})
        EXPECT_FALSE(IsLinkEvent(bad)) << bad;
    EXPECT_TRUE(IsLinkAlertKey("1700000000.12"));
    for (const std::string& bad :
         std::vector<std::string>{"", "1:2", "1;2", "1 2", std::string(kMaxLinkKeyPart + 1, '1')})
        EXPECT_FALSE(IsLinkAlertKey(bad)) << bad;
    EXPECT_EQ(CanonicalLinkAction("dElEtE"), "Delete");
    EXPECT_EQ(CanonicalLinkAction("none"), "None");
    EXPECT_EQ(CanonicalLinkAction("Nonex"), std::nullopt);
    EXPECT_EQ(CanonicalLinkAction(""), std::nullopt);
}

TEST(LinkToken, Base64UrlFollowsTheStandardVectors) {
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""},           {"f", "Zg"},          {"fo", "Zm8"},          {"foo", "Zm9v"},
        {"foob", "Zm9vYg"}, {"fooba", "Zm9vYmE"}, {"foobar", "Zm9vYmFy"}, {"\xfb\xff", "-_8"}};
    for (const auto& [in, out] : vectors) EXPECT_EQ(Base64UrlEncode(in), out);
}

// ---- the secret file

TEST_F(LinkSecretTest, TheFirstStartMakesAPrivateSecretThatLaterStartsRead) {
    std::string error;
    const std::optional<LinkSecret> first = LoadOrCreateLinkSecret(folder, &error);
    ASSERT_TRUE(first) << error;
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_size, 32);
    const std::optional<LinkSecret> again = LoadOrCreateLinkSecret(folder, &error);
    ASSERT_TRUE(again);
    EXPECT_EQ(first->bytes, again->bytes);
    // No temporary file is left behind.
    EXPECT_EQ(ReadWholeFile(path)->size(), 32u);
    EXPECT_FALSE(FileExists(path + ".tmp"));
}

TEST_F(LinkSecretTest, StartersRacingAtTheFirstStartAllGetTheSameSecret) {
    std::vector<std::optional<LinkSecret>> got(8);
    std::vector<std::thread> threads;
    for (auto& slot : got) threads.emplace_back([&] { slot = LoadOrCreateLinkSecret(folder); });
    for (auto& t : threads) t.join();
    for (const auto& secret : got) {
        ASSERT_TRUE(secret);
        EXPECT_EQ(secret->bytes, got[0]->bytes);
    }
}

TEST_F(LinkSecretTest, AFileThatIsNotOursAloneIsRefusedAndKept) {
    const std::string secretBytes(32, 'k');
    const std::string target = JoinPath(folder, "elsewhere");
    ASSERT_TRUE(AtomicWriteFile(target, secretBytes, 0600));
    struct Case {
        const char* what;
        std::function<void()> make;
    } cases[] = {
        {"readable by others",
         [&] {
             ASSERT_TRUE(AtomicWriteFile(path, secretBytes, 0600));
             ::chmod(path.c_str(), 0644);
         }},
        {"too short", [&] { ASSERT_TRUE(AtomicWriteFile(path, "short", 0600)); }},
        {"too long", [&] { ASSERT_TRUE(AtomicWriteFile(path, secretBytes + "x", 0600)); }},
        {"a symbolic link", [&] { ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0); }},
        {"a folder", [&] { ASSERT_EQ(::mkdir(path.c_str(), 0700), 0); }},
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }},
    };
    for (const Case& c : cases) {
        RemoveTree(path);
        c.make();
        std::string error;
        EXPECT_FALSE(LoadOrCreateLinkSecret(folder, &error)) << c.what;
        EXPECT_NE(error.find("could not be used"), std::string::npos) << c.what << ": " << error;
        struct stat st {};
        EXPECT_EQ(::lstat(path.c_str(), &st), 0) << c.what << ": the refused file must stay";
    }
    EXPECT_EQ(*ReadWholeFile(target), secretBytes);
}

TEST_F(LinkSecretTest, AFileOfAnotherUserIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the file away";
    ASSERT_TRUE(AtomicWriteFile(path, std::string(32, 'k'), 0600));
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    std::string error;
    EXPECT_FALSE(LoadOrCreateLinkSecret(folder, &error));
    EXPECT_NE(error.find("owned by another user"), std::string::npos) << error;
}

TEST_F(LinkSecretTest, AMissingFolderIsReportedNotCreated) {
    std::string error;
    EXPECT_FALSE(LoadOrCreateLinkSecret(JoinPath(folder, "absent"), &error));
    EXPECT_NE(error.find("could not be made"), std::string::npos) << error;
}

}  // namespace
}  // namespace tarvell
