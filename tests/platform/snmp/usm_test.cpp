#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/snmp/EngineBoots.h"
#include "platform/snmp/Pdu.h"
#include "platform/snmp/Usm.h"
#include "tests/fixtures/snmp/SnmpPeers.h"

namespace tarvell::snmp {
namespace {

const std::string kRfcEngineId("\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02", 12);

TEST(Usm, PasswordToKeyAndLocalisationMatchRfc3414Vectors) {
    const std::string kuMd5 = PasswordToKey(AuthProtocol::Md5, "maplesyrup");
    EXPECT_EQ(HexUpper(kuMd5), "9FAF3283884E92834EBC9847D8EDD963");
    EXPECT_EQ(HexUpper(LocalizeKey(AuthProtocol::Md5, kuMd5, kRfcEngineId)),
              "526F5EED9FCCE26F8964C2930787D82B");

    const std::string kuSha = PasswordToKey(AuthProtocol::Sha, "maplesyrup");
    EXPECT_EQ(HexUpper(kuSha), "9FB5CC0381497B3793528939FF788D5D79145211");
    EXPECT_EQ(HexUpper(LocalizeKey(AuthProtocol::Sha, kuSha, kRfcEngineId)),
              "6695FEBC9288E36282235FC7151F128497B38F3F");

    EXPECT_TRUE(PasswordToKey(AuthProtocol::Md5, "").empty());
    EXPECT_TRUE(PasswordToKey(AuthProtocol::None, "maplesyrup").empty());
}

TEST(Usm, HmacDigestsAreTruncatedTo96Bits) {
    // RFC 2202 test case 1.
    EXPECT_EQ(HexUpper(AuthDigest(AuthProtocol::Md5, std::string(16, '\x0b'), "Hi There")),
              "9294727A3638BB1C13F48EF8");
    EXPECT_EQ(HexUpper(AuthDigest(AuthProtocol::Sha, std::string(20, '\x0b'), "Hi There")),
              "B617318655057264E28BC0B6");
    const std::string digest = AuthDigest(AuthProtocol::Md5, "key", "message");
    EXPECT_TRUE(AuthDigestMatches(AuthProtocol::Md5, "key", "message", digest));
    EXPECT_FALSE(AuthDigestMatches(AuthProtocol::Md5, "key", "messagE", digest));
    EXPECT_FALSE(AuthDigestMatches(AuthProtocol::Md5, "key", "message", digest.substr(0, 11)));
}

TEST(Usm, PrivacyRoundTripsAndRefusesBadInput) {
    for (PrivProtocol priv : {PrivProtocol::Des, PrivProtocol::TripleDes}) {
        const std::string key = LocalizePrivKey(
            AuthProtocol::Sha, priv, PasswordToKey(AuthProtocol::Sha, "privpass1"), kRfcEngineId);
        const std::string plain = "a scoped PDU of 29 bytes here";
        const auto enc = EncryptScopedPdu(priv, key, 7, 0xDEADBEEF, plain);
        ASSERT_TRUE(enc);
        EXPECT_EQ(enc->ciphertext.size(), 32u);
        EXPECT_EQ(HexUpper(enc->privParams), "00000007DEADBEEF");
        const auto dec = DecryptScopedPdu(priv, key, enc->privParams, enc->ciphertext);
        ASSERT_TRUE(dec);
        EXPECT_EQ(dec->substr(0, plain.size()), plain);
        // A different salt gives different bytes for the same text.
        EXPECT_NE(EncryptScopedPdu(priv, key, 7, 0xDEADBEF0, plain)->ciphertext, enc->ciphertext);
        EXPECT_FALSE(DecryptScopedPdu(priv, key, "short", enc->ciphertext));
        EXPECT_FALSE(DecryptScopedPdu(priv, key, enc->privParams, enc->ciphertext.substr(0, 31)));
        EXPECT_FALSE(DecryptScopedPdu(priv, key.substr(0, 10), enc->privParams, enc->ciphertext));
    }
}

// ---- boot counter file -----------------------------------------------------------------------

TEST(EngineBoots, CountsFromOneKeepsOtherEnginesAndSurvivesRereading) {
    snmptest::TempDir dir("boots");
    const std::string path = dir / "snmpv3_boot_counter";
    EXPECT_EQ(ReadBootCounter(path, "Tarvell").status, BootReadStatus::NoFile);
    ASSERT_TRUE(SaveBootCounter(path, "other", 41));
    EXPECT_EQ(ReadBootCounter(path, "Tarvell").status, BootReadStatus::NoEntry);
    EXPECT_EQ(NextBootCount(path, "Tarvell"), 1u);
    EXPECT_EQ(NextBootCount(path, "Tarvell"), 2u);
    const BootRead read = ReadBootCounter(path, "Tarvell");
    EXPECT_EQ(read.status, BootReadStatus::Ok);
    EXPECT_EQ(read.boots, 2u);
    EXPECT_EQ(ReadBootCounter(path, "other").boots, 41u);
    EXPECT_EQ(snmptest::ReadFile(path), "54617276656C6C 2\n6F74686572 41\n");
    EXPECT_FALSE(snmptest::fs::exists(path + ".tmp"));
}

TEST(EngineBoots, DamagedFileIsNeitherUsedNorOverwritten) {
    snmptest::TempDir dir("boots");
    const std::string path = dir / "snmpv3_boot_counter";
    for (const char* bad : {"54617276656C6C\n", "54617276656C6C 2", "zz 1\n", "5461727 1\n",
                            "54617276656C6C 2147483648\n", "54617276656C6C -1\n",
                            "54617276656C6C  2\n", "54617276656C6C 1\n54617276656C6C 2\n"}) {
        snmptest::WriteFile(path, bad);
        EXPECT_EQ(ReadBootCounter(path, "Tarvell").status, BootReadStatus::Damaged) << bad;
        EXPECT_FALSE(NextBootCount(path, "Tarvell")) << bad;
        EXPECT_EQ(snmptest::ReadFile(path), bad);
    }
    // Sound lines of distinct engines, but more bytes than a counter file may hold.
    std::string tooLarge;
    for (int i = 0; tooLarge.size() <= 64 * 1024; ++i) {
        char id[16];
        std::snprintf(id, sizeof id, "%04X", i);
        tooLarge += std::string(60, 'A') + id + " 2\n";
    }
    snmptest::WriteFile(path, tooLarge);
    EXPECT_EQ(ReadBootCounter(path, "Tarvell").status, BootReadStatus::Damaged);
    EXPECT_FALSE(NextBootCount(path, "Tarvell"));
    EXPECT_EQ(snmptest::ReadFile(path), tooLarge);
}

// A FIFO as the counter file blocked the first SNMPv3 request for good in open().
TEST(EngineBoots, AFifoOrDeviceAsCounterFileIsDamagedAndLeftInPlace) {
    snmptest::TempDir dir("boots");
    const std::string fifo = dir / "snmpv3_boot_counter";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string device = dir / "device_counter";
    ASSERT_EQ(::symlink("/dev/zero", device.c_str()), 0);
    for (const std::string& path : {fifo, device}) {
        ::alarm(20);  // a blocking open never returns: the alarm ends the program then
        EXPECT_EQ(ReadBootCounter(path, "Tarvell").status, BootReadStatus::Damaged) << path;
        EXPECT_FALSE(NextBootCount(path, "Tarvell")) << path;
        EXPECT_FALSE(SaveBootCounter(path, "Tarvell", 3)) << path;
        ::alarm(0);
        struct stat st {};
        ASSERT_EQ(::lstat(path.c_str(), &st), 0);
        EXPECT_FALSE(S_ISREG(st.st_mode)) << path << ": the counter is never replaced";
    }
}

TEST(EngineBoots, LatchesAtTheLargestCount) {
    snmptest::TempDir dir("boots");
    const std::string path = dir / "snmpv3_boot_counter";
    ASSERT_TRUE(SaveBootCounter(path, "Tarvell", kMaxEngineBoots - 1));
    EXPECT_EQ(NextBootCount(path, "Tarvell"), kMaxEngineBoots);
    EXPECT_EQ(NextBootCount(path, "Tarvell"), kMaxEngineBoots);
}

TEST(EngineBoots, UnwritableFolderFailsTheStore) {
    if (snmptest::IsRoot()) {
        // Root writes anywhere; a path under a regular file cannot be created by anyone.
        snmptest::TempDir dir("boots");
        snmptest::WriteFile(dir / "file", "x");
        EXPECT_FALSE(NextBootCount(dir / "file/snmpv3_boot_counter", "Tarvell"));
        return;
    }
    snmptest::TempDir dir("boots");
    ::chmod(dir.Path().c_str(), 0555);
    EXPECT_FALSE(NextBootCount(dir / "snmpv3_boot_counter", "Tarvell"));
    ::chmod(dir.Path().c_str(), 0755);
}

}  // namespace
}  // namespace tarvell::snmp
