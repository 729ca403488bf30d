#include "platform/Registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>

#include "platform/Files.h"

namespace tarvell {
namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempFolder("registry-test-");
        ASSERT_FALSE(dir_.empty());
        machine_ = JoinPath(dir_, "etc/tarvell/registry");
        user_ = JoinPath(dir_, "home/.config/tarvell/registry");
    }
    void TearDown() override { RemoveTree(dir_); }

    std::unique_ptr<Registry> Open() {
        auto reg = std::make_unique<Registry>(machine_, user_);
        reg->SetDamageReporter([this](const std::string& m) { reports_.push_back(m); });
        return reg;
    }
    // Names in the folder that begin with `prefix`.
    std::vector<std::string> FilesStartingWith(const std::string& folder,
                                               const std::string& prefix) {
        std::vector<std::string> out;
        if (DIR* d = ::opendir(folder.c_str())) {
            while (const dirent* e = ::readdir(d)) {
                if (std::string(e->d_name).rfind(prefix, 0) == 0) out.push_back(e->d_name);
            }
            ::closedir(d);
        }
        return out;
    }

    std::string dir_, machine_, user_;
    std::vector<std::string> reports_;
};

std::vector<std::string> ValueNames(const RegKey& key) {
    std::vector<RegValue> values;
    EXPECT_EQ(key.EnumValues(&values), kRegSuccess);
    std::vector<std::string> names;
    for (const auto& v : values) names.push_back(v.name);
    return names;
}

TEST_F(RegistryTest, ValuesSurviveAReopen) {
    std::string allBytes;
    for (int b = 0; b < 256; ++b) allBytes += static_cast<char>(b);
    {
        auto reg = Open();
        RegKey views;
        ASSERT_EQ(reg->CreateKey(Hive::CurrentUser, "SOFTWARE\\Tarvell\\Views", &views),
                  kRegSuccess);
        EXPECT_EQ(views.Path(), "SOFTWARE\\Tarvell\\Views");
        EXPECT_EQ(views.SetDword("View Popup Timeout", 10), kRegSuccess);
        EXPECT_EQ(views.SetDword("Max", 0xFFFFFFFFu), kRegSuccess);
        EXPECT_EQ(views.SetString("View Popup Sound", ""), kRegSuccess);
        EXPECT_EQ(views.SetString("", "default text"), kRegSuccess);
        EXPECT_EQ(views.SetString("bytes", allBytes), kRegSuccess);
        RegKey appId;
        ASSERT_EQ(reg->CreateKey(Hive::ClassesRoot, "AppID\\TarvellSrv.EXE", &appId), kRegSuccess);
        EXPECT_EQ(appId.SetString("AppID", "{153DD494-5815-4713-8D4A-3073F42EF6BC}"), kRegSuccess);
    }
    EXPECT_TRUE(FileExists(JoinPath(user_, "HKEY_CURRENT_USER.reg")));
    EXPECT_TRUE(FileExists(JoinPath(machine_, "HKEY_CLASSES_ROOT.reg")));
    EXPECT_FALSE(FileExists(JoinPath(machine_, "HKEY_CURRENT_USER.reg")));

    auto reg = Open();
    RegKey views;
    ASSERT_EQ(reg->OpenKey(Hive::CurrentUser, "SOFTWARE\\Tarvell\\Views", &views), kRegSuccess);
    std::uint32_t n = 0;
    EXPECT_EQ(views.QueryDword("View Popup Timeout", &n), kRegSuccess);
    EXPECT_EQ(n, 10u);
    EXPECT_EQ(views.QueryDword("Max", &n), kRegSuccess);
    EXPECT_EQ(n, 0xFFFFFFFFu);
    std::string s = "x";
    EXPECT_EQ(views.QueryString("View Popup Sound", &s), kRegSuccess);
    EXPECT_EQ(s, "");
    EXPECT_EQ(views.QueryString("", &s), kRegSuccess);
    EXPECT_EQ(s, "default text");
    EXPECT_EQ(views.QueryString("bytes", &s), kRegSuccess);
    EXPECT_EQ(s, allBytes);
    RegKey appId;
    ASSERT_EQ(reg->OpenKey(Hive::ClassesRoot, "AppID\\TarvellSrv.EXE", &appId), kRegSuccess);
    EXPECT_EQ(appId.QueryString("AppID", &s), kRegSuccess);
    EXPECT_EQ(s, "{153DD494-5815-4713-8D4A-3073F42EF6BC}");
    EXPECT_TRUE(reports_.empty());
}

TEST_F(RegistryTest, NamesAreFoundInAnyCaseAndKeepTheirSpelling) {
    auto reg = Open();
    RegKey key;
    ASSERT_EQ(reg->CreateKey(Hive::LocalMachine,
                             "SYSTEM\\CurrentControlSet\\Services\\Quenmark Ombrix", &key),
              kRegSuccess);
    ASSERT_EQ(key.SetString("ImagePath", "/opt/ombrix/OmbrixSrv"), kRegSuccess);

    RegKey found;
    ASSERT_EQ(reg->OpenKey(Hive::LocalMachine,
                           "system\\currentcontrolset\\SERVICES\\quenmark ombrix", &found),
              kRegSuccess);
    EXPECT_EQ(found.Path(), "SYSTEM\\CurrentControlSet\\Services\\Quenmark Ombrix");
    std::string s;
    EXPECT_EQ(found.QueryString("IMAGEPATH", &s), kRegSuccess);
    EXPECT_EQ(s, "/opt/ombrix/OmbrixSrv");

    // Writing under another spelling replaces the value and keeps the first spelling.
    EXPECT_EQ(found.SetString("imagepath", "/new"), kRegSuccess);
    EXPECT_EQ(ValueNames(key), std::vector<std::string>{"ImagePath"});
    RegKey again;
    ASSERT_EQ(reg->CreateKey(Hive::LocalMachine, "System\\CURRENTCONTROLSET", &again), kRegSuccess);
    EXPECT_EQ(again.Path(), "SYSTEM\\CurrentControlSet");
    RegKey system;
    ASSERT_EQ(reg->OpenKey(Hive::LocalMachine, "", &system), kRegSuccess);
    std::vector<std::string> keys;
    EXPECT_EQ(system.EnumKeys(&keys), kRegSuccess);
    EXPECT_EQ(keys, std::vector<std::string>{"SYSTEM"});
}

TEST_F(RegistryTest, EnumerationFollowsInsertionOrder) {
    auto reg = Open();
    RegKey tarvell;
    ASSERT_EQ(reg->CreateKey(Hive::CurrentUser, "SOFTWARE\\Tarvell", &tarvell), kRegSuccess);
    // The viewer rewrites its servers by deleting the key and writing the default value right
    // before the default server's own value.
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(tarvell.DeleteKey("Servers"), round == 0 ? kRegNotFound : kRegSuccess);
        RegKey servers;
        ASSERT_EQ(tarvell.CreateKey("Servers", &servers), kRegSuccess);
        EXPECT_EQ(servers.SetString("Zeta", "/srv/zeta"), kRegSuccess);
        EXPECT_EQ(servers.SetString("", "Alpha"), kRegSuccess);
        EXPECT_EQ(servers.SetString("Alpha", "/srv/alpha"), kRegSuccess);
        EXPECT_EQ(servers.SetString("Local", "/var/lib/tarvell"), kRegSuccess);
        EXPECT_EQ(ValueNames(servers), (std::vector<std::string>{"Zeta", "", "Alpha", "Local"}));
    }
    RegKey servers;
    ASSERT_EQ(tarvell.OpenKey("Servers", &servers), kRegSuccess);
    EXPECT_EQ(servers.SetString("ZETA", "/elsewhere"), kRegSuccess);  // keeps its place
    EXPECT_EQ(servers.DeleteValue("alpha"), kRegSuccess);
    EXPECT_EQ(servers.SetString("Alpha", "/srv/alpha"), kRegSuccess);  // back at the end
    EXPECT_EQ(ValueNames(servers), (std::vector<std::string>{"Zeta", "", "Local", "Alpha"}));

    for (const char* name : {"Views", "Events", "Servers", "Alerts"}) {
        RegKey k;
        ASSERT_EQ(tarvell.CreateKey(name, &k), kRegSuccess);
    }
    std::vector<std::string> keys;
    ASSERT_EQ(tarvell.EnumKeys(&keys), kRegSuccess);
    EXPECT_EQ(keys, (std::vector<std::string>{"Servers", "Views", "Events", "Alerts"}));

    // The order is the same after a reload.
    auto other = Open();
    RegKey reread;
    ASSERT_EQ(other->OpenKey(Hive::CurrentUser, "SOFTWARE\\Tarvell\\Servers", &reread),
              kRegSuccess);
    EXPECT_EQ(ValueNames(reread), (std::vector<std::string>{"Zeta", "", "Local", "Alpha"}));
}

TEST_F(RegistryTest, MissingKeysAndValuesGiveNotFound) {
    auto reg = Open();
    RegKey key;
    EXPECT_EQ(reg->OpenKey(Hive::ClassesRoot, "AppID", &key), kRegNotFound);
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(reg->DeleteKey(Hive::ClassesRoot, "AppID"), kRegNotFound);
    ASSERT_EQ(
        reg->CreateKey(Hive::ClassesRoot, "AppID\\{153DD494-5815-4713-8D4A-3073F42EF6BC}", &key),
        kRegSuccess);
    std::string s;
    std::uint32_t n = 0;
    EXPECT_EQ(key.QueryString("LocalService", &s), kRegNotFound);
    EXPECT_EQ(key.QueryDword("LocalService", &n), kRegNotFound);
    EXPECT_EQ(key.DeleteValue("LocalService"), kRegNotFound);
    EXPECT_EQ(key.OpenKey("sub", &key), kRegNotFound);
    EXPECT_EQ(reg->OpenKey(Hive::ClassesRoot, "AppID\\Other", &key), kRegNotFound);

    ASSERT_EQ(key.SetString("LocalService", "TarvellSrv"), kRegSuccess);
    EXPECT_EQ(key.QueryDword("LocalService", &n), kRegWrongType);

    // A key deleted under an open handle.
    RegKey appId;
    ASSERT_EQ(reg->OpenKey(Hive::ClassesRoot, "AppID", &appId), kRegSuccess);
    EXPECT_EQ(appId.DeleteKey("{153DD494-5815-4713-8D4A-3073F42EF6BC}"), kRegSuccess);
    EXPECT_EQ(key.QueryString("LocalService", &s), kRegKeyDeleted);
    EXPECT_EQ(key.SetString("LocalService", "x"), kRegKeyDeleted);

    RegKey closed;
    EXPECT_EQ(closed.QueryString("x", &s), kRegInvalidHandle);
}

TEST_F(RegistryTest, KeysWithSubkeysAreDeletedOnlyWhenAskedToRecurse) {
    auto reg = Open();
    RegKey key;
    ASSERT_EQ(reg->CreateKey(Hive::LocalMachine, "A\\B\\C", &key), kRegSuccess);
    EXPECT_EQ(reg->DeleteKey(Hive::LocalMachine, "A"), kRegAccessDenied);
    EXPECT_EQ(reg->DeleteKey(Hive::LocalMachine, "a\\b\\c"), kRegSuccess);
    EXPECT_EQ(reg->DeleteKey(Hive::LocalMachine, "A\\B"), kRegSuccess);
    ASSERT_EQ(reg->CreateKey(Hive::LocalMachine, "A\\B\\C", &key), kRegSuccess);
    EXPECT_EQ(reg->DeleteKey(Hive::LocalMachine, "A", true), kRegSuccess);
    EXPECT_EQ(reg->OpenKey(Hive::LocalMachine, "A\\B", &key), kRegNotFound);
    EXPECT_EQ(reg->DeleteKey(Hive::LocalMachine, ""), kRegInvalidParameter);
}

TEST_F(RegistryTest, ValueNamesMayHoldSlashesAndBackslashes) {
    {
        auto reg = Open();
        RegKey events;
        ASSERT_EQ(reg->CreateKey(Hive::CurrentUser, "SOFTWARE\\Tarvell\\Events", &events),
                  kRegSuccess);
        EXPECT_EQ(events.SetString("00a0c9112233/12", ""), kRegSuccess);
        EXPECT_EQ(events.SetString("\\\\server\\share\\Tarvell", "unc"), kRegSuccess);
        EXPECT_EQ(events.SetString("a\"b", "quote"), kRegSuccess);
        // Key names are split at "\" only, so "/" is part of a key name.
        RegKey slashKey;
        ASSERT_EQ(events.CreateKey("sw/1", &slashKey), kRegSuccess);
    }
    auto reg = Open();
    RegKey events;
    ASSERT_EQ(reg->OpenKey(Hive::CurrentUser, "SOFTWARE\\Tarvell\\Events", &events), kRegSuccess);
    EXPECT_EQ(ValueNames(events),
              (std::vector<std::string>{"00a0c9112233/12", "\\\\server\\share\\Tarvell", "a\"b"}));
    std::string s;
    EXPECT_EQ(events.QueryString("\\\\SERVER\\share\\tarvell", &s), kRegSuccess);
    EXPECT_EQ(s, "unc");
    std::vector<std::string> keys;
    ASSERT_EQ(events.EnumKeys(&keys), kRegSuccess);
    EXPECT_EQ(keys, std::vector<std::string>{"sw/1"});
    RegKey k;
    EXPECT_EQ(reg->OpenKey(Hive::CurrentUser, "SOFTWARE\\Tarvell\\Events\\sw/1", &k), kRegSuccess);
    EXPECT_EQ(reg->OpenKey(Hive::CurrentUser, "SOFTWARE\\Tarvell\\Events\\sw", &k), kRegNotFound);
}

TEST_F(RegistryTest, BadNamesAndPathsAreRefused) {
    auto reg = Open();
    RegKey key;
    EXPECT_EQ(reg->CreateKey(Hive::LocalMachine, "A\\\\B", &key), kRegInvalidParameter);
    EXPECT_EQ(reg->CreateKey(Hive::LocalMachine, "\\A", &key), kRegInvalidParameter);
    EXPECT_EQ(reg->CreateKey(Hive::LocalMachine, "A\\", &key), kRegInvalidParameter);
    EXPECT_EQ(reg->CreateKey(Hive::LocalMachine, std::string(256, 'k'), &key),
              kRegInvalidParameter);
    EXPECT_EQ(reg->CreateKey(Hive::LocalMachine, std::string("a\0b", 3), &key),
              kRegInvalidParameter);
    std::string deep = "k";
    for (int i = 0; i < 512; ++i) deep += "\\k";
    EXPECT_EQ(reg->CreateKey(Hive::LocalMachine, deep, &key), kRegInvalidParameter);
    ASSERT_EQ(reg->CreateKey(Hive::LocalMachine, std::string(255, 'k'), &key), kRegSuccess);
    EXPECT_EQ(key.SetString(std::string(16384, 'v'), "x"), kRegInvalidParameter);
    EXPECT_EQ(key.SetString("v", std::string(kRegMaxData + 1, 'x')), kRegInvalidParameter);
    EXPECT_EQ(key.SetString(std::string(16383, 'v'), std::string(kRegMaxData, 'x')), kRegSuccess);
}

TEST_F(RegistryTest, TheHiveFileIsPlainEscapedText) {
    auto reg = Open();
    RegKey key;
    ASSERT_EQ(reg->CreateKey(Hive::LocalMachine, "SOFTWARE\\Caf\xE9", &key), kRegSuccess);
    ASSERT_EQ(key.SetString("", "a\"b\\c\n"), kRegSuccess);
    ASSERT_EQ(key.SetDword("n", 42), kRegSuccess);
    RegKey root;
    ASSERT_EQ(reg->OpenKey(Hive::LocalMachine, "", &root), kRegSuccess);
    ASSERT_EQ(root.SetString("top", "1"), kRegSuccess);
    EXPECT_EQ(*ReadWholeFile(reg->HiveFile(Hive::LocalMachine)),
              "tarvell-registry 1\n"
              "S \"top\" \"1\"\n"
              "K 1 \"SOFTWARE\"\n"
              "K 2 \"Caf\\xe9\"\n"
              "S \"\" \"a\\\"b\\\\c\\x0a\"\n"
              "D \"n\" 42\n"
              "end\n");
}

TEST_F(RegistryTest, ADamagedHiveIsMovedAsideAndReported) {
    ASSERT_TRUE(MakeDirectories(machine_));
    const std::string file = JoinPath(machine_, "HKEY_LOCAL_MACHINE.reg");
    ASSERT_TRUE(AtomicWriteFile(file, "tarvell-registry 1\nK 1 \"SOFTWARE\"\nK 3 \"skip\"\nend\n"));
    auto reg = Open();
    RegKey key;
    EXPECT_EQ(reg->OpenKey(Hive::LocalMachine, "SOFTWARE", &key), kRegNotFound);
    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_NE(reports_[0].find("moved aside"), std::string::npos) << reports_[0];
    const auto bad = FilesStartingWith(machine_, "HKEY_LOCAL_MACHINE.reg.bad-");
    ASSERT_EQ(bad.size(), 1u);
    EXPECT_EQ(*ReadWholeFile(JoinPath(machine_, bad[0])),
              "tarvell-registry 1\nK 1 \"SOFTWARE\"\nK 3 \"skip\"\nend\n");

    // The hive goes on empty and the next change writes a sound file.
    ASSERT_EQ(reg->CreateKey(Hive::LocalMachine, "SOFTWARE", &key), kRegSuccess);
    ASSERT_EQ(key.SetDword("x", 1), kRegSuccess);
    auto other = Open();
    EXPECT_EQ(other->OpenKey(Hive::LocalMachine, "SOFTWARE", &key), kRegSuccess);
    EXPECT_EQ(reports_.size(), 1u);
}

// A FIFO as a hive file blocked every registry call in open() for good.
TEST_F(RegistryTest, AFifoAsHiveFileIsMovedAsideWithoutBlocking) {
    ASSERT_TRUE(MakeDirectories(machine_));
    const std::string file = JoinPath(machine_, "HKEY_LOCAL_MACHINE.reg");
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    ::alarm(20);  // a blocking open never returns: the alarm ends the program then
    auto reg = Open();
    RegKey key;
    EXPECT_EQ(reg->OpenKey(Hive::LocalMachine, "SOFTWARE", &key), kRegNotFound);
    ASSERT_EQ(reg->CreateKey(Hive::LocalMachine, "SOFTWARE", &key), kRegSuccess);
    ASSERT_EQ(key.SetDword("x", 1), kRegSuccess);
    ::alarm(0);
    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_NE(reports_[0].find("not a regular file"), std::string::npos) << reports_[0];
    EXPECT_EQ(FilesStartingWith(machine_, "HKEY_LOCAL_MACHINE.reg.bad-").size(), 1u);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
}

TEST_F(RegistryTest, EveryCutOrAlteredHiveFileIsRejected) {
    std::string valid;
    {
        auto reg = Open();
        RegKey key;
        ASSERT_EQ(reg->CreateKey(Hive::Users, "S-1\\Software", &key), kRegSuccess);
        ASSERT_EQ(key.SetString("name", "v\x01"), kRegSuccess);
        ASSERT_EQ(key.SetDword("d", 7), kRegSuccess);
        valid = *ReadWholeFile(reg->HiveFile(Hive::Users));
    }
    const std::string file = JoinPath(machine_, "HKEY_USERS.reg");
    std::vector<std::string> damaged;
    for (std::size_t len = 0; len < valid.size(); ++len) damaged.push_back(valid.substr(0, len));
    for (const char* bad : {
             "tarvell-registry 2\nend\n",
             "tarvell-registry 1\nend\nX",
             "tarvell-registry 1\r\nend\r\n",
             "tarvell-registry 1\nK 0 \"a\"\nend\n",
             "tarvell-registry 1\nK 01 \"a\"\nend\n",
             "tarvell-registry 1\nK 1 \"a\\b\"\nend\n",    // \b is no escape
             "tarvell-registry 1\nK 1 \"a\\\\b\"\nend\n",  // a key name with "\"
             "tarvell-registry 1\nK 1 \"\"\nend\n",
             "tarvell-registry 1\nK 1 \"a\"\nK 1 \"A\"\nend\n",  // the same key twice
             "tarvell-registry 1\nS \"v\" \"1\"\nS \"V\" \"2\"\nend\n",
             "tarvell-registry 1\nD \"v\" 4294967296\nend\n",
             "tarvell-registry 1\nD \"v\" -1\nend\n",
             "tarvell-registry 1\nS \"v\" \"\xE9\"\nend\n",  // a raw byte above 0x7F
             "tarvell-registry 1\nS \"v\" \"x\\x4\"\nend\n",
             "tarvell-registry 1\nS \"v\\x00\" \"x\"\nend\n",  // NUL in a name
             "tarvell-registry 1\nS \"v\" \"x\" \nend\n",
             "tarvell-registry 1\nK 1  \"a\"\nend\n",
         }) {
        damaged.emplace_back(bad);
    }
    for (const auto& content : damaged) {
        ASSERT_TRUE(AtomicWriteFile(file, content));
        reports_.clear();
        auto reg = Open();
        RegKey key;
        EXPECT_EQ(reg->OpenKey(Hive::Users, "S-1", &key), kRegNotFound) << content;
        EXPECT_EQ(reports_.size(), 1u) << content;
        EXPECT_FALSE(FileExists(file)) << content;
        for (const auto& name : FilesStartingWith(machine_, "HKEY_USERS.reg.bad-")) {
            RemoveFile(JoinPath(machine_, name));
        }
    }
    ASSERT_TRUE(AtomicWriteFile(file, valid));
    reports_.clear();
    auto reg = Open();
    RegKey key;
    EXPECT_EQ(reg->OpenKey(Hive::Users, "S-1\\software", &key), kRegSuccess);
    EXPECT_TRUE(reports_.empty());
}

TEST_F(RegistryTest, ChangesOfOtherStoresAndProcessesAreSeenAndNotLost) {
    auto first = Open();
    auto second = Open();
    RegKey a, b;
    ASSERT_EQ(first->CreateKey(Hive::CurrentUser, "SOFTWARE\\Tarvell\\Events", &a), kRegSuccess);
    ASSERT_EQ(second->OpenKey(Hive::CurrentUser, "SOFTWARE\\Tarvell\\Events", &b), kRegSuccess);
    ASSERT_EQ(a.SetString("one", ""), kRegSuccess);
    std::string s;
    EXPECT_EQ(b.QueryString("one", &s), kRegSuccess);
    ASSERT_EQ(b.SetString("two", ""), kRegSuccess);
    EXPECT_EQ(ValueNames(a), (std::vector<std::string>{"one", "two"}));

    // Two processes adding values at once lose none of them.
    constexpr int kEach = 60;
    auto addValues = [this](const char* prefix) {
        auto reg = Open();
        RegKey key;
        int failures = 0;
        if (reg->CreateKey(Hive::CurrentUser, "SOFTWARE\\Tarvell\\Events", &key) != kRegSuccess)
            return 1;
        for (int i = 0; i < kEach; ++i) {
            if (key.SetString(prefix + std::to_string(i), "") != kRegSuccess) ++failures;
        }
        return failures == 0 ? 0 : 1;
    };
    const pid_t child = ::fork();
    if (child == 0) ::_exit(addValues("child-"));
    const int parentResult = addValues("parent-");
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(parentResult, 0);
    EXPECT_EQ(ValueNames(b).size(), 2u + 2 * kEach);
}

// The tests run as root here, who may write anywhere; the checks of denied access therefore
// run with the effective user "nobody" when the test runs as root.
class AsUnprivileged {
public:
    AsUnprivileged() {
        if (::geteuid() == 0) switched_ = ::seteuid(65534) == 0;
    }
    ~AsUnprivileged() {
        if (switched_) (void)::seteuid(0);
    }
    AsUnprivileged(const AsUnprivileged&) = delete;
    AsUnprivileged& operator=(const AsUnprivileged&) = delete;

private:
    bool switched_ = false;
};

TEST_F(RegistryTest, AFolderThatIsNotWritableGivesAccessDenied) {
    {
        auto reg = Open();
        RegKey key;
        ASSERT_EQ(reg->CreateKey(Hive::LocalMachine, "SOFTWARE", &key), kRegSuccess);
        ASSERT_EQ(key.SetString("v", "1"), kRegSuccess);
    }
    ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(machine_.c_str(), 0555), 0);
    const std::string file = JoinPath(machine_, "HKEY_CLASSES_ROOT.reg");
    ASSERT_TRUE(AtomicWriteFile(file, "damaged"));
    ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
    {
        AsUnprivileged user;
        auto reg = Open();
        RegKey key;
        ASSERT_EQ(reg->OpenKey(Hive::LocalMachine, "SOFTWARE", &key), kRegSuccess);
        std::string s;
        EXPECT_EQ(key.QueryString("v", &s), kRegSuccess);
        EXPECT_EQ(key.SetString("v", "2"), kRegAccessDenied);
        EXPECT_EQ(key.SetString("w", "2"), kRegAccessDenied);
        EXPECT_EQ(reg->CreateKey(Hive::LocalMachine, "Other", &key), kRegAccessDenied);
        EXPECT_EQ(key.QueryString("v", &s), kRegSuccess);
        EXPECT_EQ(s, "1");
        // A damaged hive that cannot be moved aside stays where it is and is reported.
        EXPECT_EQ(reg->OpenKey(Hive::ClassesRoot, "AppID", &key), kRegCorrupt);
        EXPECT_EQ(reports_.size(), 1u);
    }
    EXPECT_EQ(*ReadWholeFile(file), "damaged");
    ASSERT_EQ(::chmod(machine_.c_str(), 0755), 0);
}

}  // namespace
}  // namespace tarvell
