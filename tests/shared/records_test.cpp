// The three records and the files made of them.
#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <utility>

#include "shared/CAlertItem.h"
#include "shared/CDbItem.h"
#include "shared/CEventItem.h"
#include "shared/StateFiles.h"
#include "tests/shared/DocumentRows.h"

namespace tarvell {
namespace {

using rowtest::ExpectedBytes;

const std::string k300(300, 'L');      // 0xFF and a 16-bit length
const std::string k70000(70000, 'H');  // 0xFF 0xFFFF and a 32-bit length

CEventItem SampleEvent() {
    CEventItem e;
    e.Blocked = 1;
    e.Deleted = -2;
    e.Severity = 5;
    e.DateKey = "1700000000";
    e.Description = "New Mac desc";
    e.EventType = "New Mac";
    e.Before = "";
    e.Current = k300;
    e.Category = "Prevention";
    e.DeviceIp = "127.0.0.11";
    e.SourceIp = "127.0.0.101";
    e.Submitter = k70000;
    e.SwitchKey = "00AABB000001";
    e.SourceMac = "001122334401";
    e.DeviceName = "core-1";
    e.SourceName = "pc-01";
    e.DevicePort = "GigabitEthernet0/2";
    e.PortKey = "2";
    e.DeviceLocation = "Building A \xE9";
    e.Extra = "1700000100";
    return e;
}

CAlertItem SampleAlert() {
    CAlertItem a;
    a.State = 1;
    a.Severity = 3;
    a.Description = "desc";
    a.EventType = "Threat Receive";
    a.Before = k300;
    a.Current = "";
    a.Category = "Detection";
    a.DeviceIp = "127.0.0.12";
    a.SourceIp = "127.0.0.104";
    a.Submitter = "admin";
    a.SwitchKey = "00AABB000002";
    a.SourceMac = "001122334404";
    a.DeviceName = "access-2";
    a.SourceName = "laptop-04";
    a.DevicePort = "Port 1";
    a.PortKey = "1";
    a.DeviceLocation = k70000;
    return a;
}

// Archive order: 3 numbers, then the 17 texts from DateKey to Extra.
std::string ExpectedEvent(const CEventItem& e) {
    ExpectedBytes b;
    for (int w : {e.Blocked, e.Deleted, e.Severity}) b.Word(w);
    for (const std::string* t :
         {&e.DateKey, &e.Category, &e.SwitchKey, &e.DeviceIp, &e.DeviceName, &e.DevicePort,
          &e.PortKey, &e.DeviceLocation, &e.SourceMac, &e.SourceIp, &e.SourceName, &e.Description,
          &e.Before, &e.Current, &e.EventType, &e.Submitter, &e.Extra})
        b.Text(*t);
    return b.Bytes();
}

// Archive order: 2 numbers, then the event's texts after DateKey, without Extra.
std::string ExpectedAlert(const CAlertItem& a) {
    ExpectedBytes b;
    for (int w : {a.State, a.Severity}) b.Word(w);
    for (const std::string* t :
         {&a.Category, &a.SwitchKey, &a.DeviceIp, &a.DeviceName, &a.DevicePort, &a.PortKey,
          &a.DeviceLocation, &a.SourceMac, &a.SourceIp, &a.SourceName, &a.Description, &a.Before,
          &a.Current, &a.EventType, &a.Submitter})
        b.Text(*t);
    return b.Bytes();
}

template <class T>
std::string Stored(const T& item) {
    ArchiveWriter ar;
    item.Store(ar);
    return ar.TakeBytes();
}

template <class T>
T Loaded(const std::string& bytes) {
    ArchiveReader ar(bytes);
    T item;
    item.Load(ar);
    EXPECT_TRUE(ar.AtEnd());
    return item;
}

TEST(Records, EventIsStoredInArchiveOrderAndReadsBack) {
    const CEventItem e = SampleEvent();
    const std::string bytes = Stored(e);
    EXPECT_TRUE(bytes == ExpectedEvent(e));
    EXPECT_TRUE(Loaded<CEventItem>(bytes) == e);
    EXPECT_TRUE(Loaded<CEventItem>(Stored(CEventItem())) == CEventItem());
    EXPECT_EQ(Stored(CEventItem()).size(), 3u * 4u + 17u);
}

TEST(Records, AlertIsStoredInArchiveOrderAndReadsBack) {
    const CAlertItem a = SampleAlert();
    const std::string bytes = Stored(a);
    EXPECT_TRUE(bytes == ExpectedAlert(a));
    EXPECT_TRUE(Loaded<CAlertItem>(bytes) == a);
    EXPECT_EQ(Stored(CAlertItem()).size(), 2u * 4u + 15u);
}

TEST(Records, SiblingRecordCarriesAllSixtyFourFields) {
    const std::set<int> words{17, 18, 19, 20, 52, 53, 64};
    CDbItem item;
    ExpectedBytes b;
    for (int n = 1; n <= 64; ++n) {
        if (words.count(n)) {
            item.SetNumber(n, n * 10 - 1000);
            b.Word(n * 10 - 1000);
        } else {
            const std::string text = n == 40 ? k300 : n == 41 ? "" : "text " + std::to_string(n);
            item.SetText(n, text);
            b.Text(text);
        }
    }
    item.Working = {"w1", "w2", "w3", "w4"};
    const std::string bytes = Stored(item);
    EXPECT_TRUE(bytes == b.Bytes());

    const CDbItem back = Loaded<CDbItem>(bytes);
    for (int n = 1; n <= 64; ++n) {
        if (words.count(n)) EXPECT_EQ(back.Number(n), item.Number(n)) << n;
        else EXPECT_EQ(back.Text(n), item.Text(n)) << n;
    }
    EXPECT_EQ(back.Working, (std::array<std::string, 4>{}));  // never stored

    EXPECT_THROW((void)item.Text(17), std::out_of_range);
    EXPECT_THROW((void)item.Number(2), std::out_of_range);
    EXPECT_THROW((void)item.Text(0), std::out_of_range);
    EXPECT_THROW(item.SetText(65, "x"), std::out_of_range);
}

// ---- the sibling record's compact texts

// A record keeps a place only for texts that hold something; whatever way a text is written
// (accessor, SetText, copy, load) it must read back as a plain array of 57 texts would.
TEST(Records, SiblingRecordTextsBehaveAsPlainFieldsUnderRandomEdits) {
    std::mt19937 random(20240601);
    for (int round = 0; round < 300; ++round) {
        CDbItem item;
        std::array<std::string, 65> model;  // by field number; words stay 0
        for (int op = 0; op < 40; ++op) {
            int n = 1 + static_cast<int>(random() % 64);
            while (dbfield::IsWord(n)) n = 1 + static_cast<int>(random() % 64);
            const std::string value =
                random() % 4 == 0 ? std::string()
                                  : std::string(random() % 40, static_cast<char>('a' + op % 26));
            switch (random() % 5) {
                case 0: item.SetText(n, value); break;
                case 1:
                    item.NodeIp() = value;
                    n = dbfield::kNodeIp;
                    break;
                case 2:
                    item.SwitchName() += value;
                    n = dbfield::kSwitchName;
                    break;
                case 3:
                    item = CDbItem(item);
                    item.SetText(n, value);
                    break;
                default:
                    item = Loaded<CDbItem>(Stored(item));
                    item.SetText(n, value);
                    break;
            }
            model[n] =
                n == dbfield::kSwitchName && item.SwitchName() != value ? model[n] + value : value;
        }
        const CDbItem& read = item;
        for (int n = 1; n <= 64; ++n) {
            if (!dbfield::IsWord(n)) {
                ASSERT_EQ(read.Text(n), model[n]) << "round " << round << " field " << n;
            }
        }
        const CDbItem back = Loaded<CDbItem>(Stored(item));
        EXPECT_TRUE(back == item) << round;
        EXPECT_EQ(back.Values().size(), 64u);
    }
}

TEST(Records, SiblingRecordReferencesStayValidWhileOtherTextsAreWritten) {
    CDbItem item = Loaded<CDbItem>(Stored(CDbItem()));
    std::string& ip = item.NodeIp();
    std::string& name = item.NodeName();  // a second new place must not move the first
    item.NodeUser() = "u";
    ip = "10.0.0.1";
    name = "host";
    for (int n = 1; n <= 64; ++n)
        if (!dbfield::IsWord(n)) item.SetText(n, item.Text(n) + "x");
    EXPECT_EQ(item.NodeIp(), "10.0.0.1x");
    EXPECT_EQ(std::as_const(item).NodeName(), "hostx");
    item.NodeIp() = item.NodeName();  // right side first: its place must survive the left's
    EXPECT_EQ(item.NodeIp(), "hostx");

    // An empty text and one never written are the same; reading through const makes no place.
    CDbItem a, b;
    a.NodeMac() = "";
    EXPECT_TRUE(a == b);
    b.Working[1] = "w";
    EXPECT_FALSE(a == b);
}

TEST(Records, ADamagedSiblingRecordLeavesTheRecordAsItWas) {
    CDbItem item;
    item.NodeMac() = "AABBCCDDEEFF";
    const std::string bytes = Stored(item);
    CDbItem target;
    target.NodeName() = "kept";
    ArchiveReader cut(std::string_view(bytes).substr(0, bytes.size() - 3));
    EXPECT_THROW(target.Load(cut), ArchiveError);
    EXPECT_EQ(target.NodeName(), "kept");
    EXPECT_EQ(target.NodeMac(), "");
}

TEST(Records, SiblingRecordNamesThePartsFieldsByNumber) {
    CDbItem item;
    for (int n = 1; n <= 64; ++n) {
        if (dbfield::IsWord(n)) item.SetNumber(n, n);
        else item.SetText(n, std::to_string(n));
    }
    const std::pair<const std::string&, int> texts[] = {
        {item.SwitchIps(), 2},     {item.SwitchName(), 3},     {item.SwitchContact(), 7},
        {item.SwitchAltName(), 8}, {item.SwitchLocation(), 9}, {item.SwitchMac(), 12},
        {item.SwitchMac2(), 13},   {item.PortName(), 24},      {item.PortAlias(), 26},
        {item.PortMac(), 28},      {item.NodeMac(), 54},       {item.NodeIp(), 55},
        {item.NodeName(), 56},     {item.NodeSwitch(), 59},    {item.NodePort(), 60},
        {item.NodesOnPort(), 61},  {item.NodeFirstSeen(), 62}};
    for (const auto& [text, n] : texts) EXPECT_EQ(text, std::to_string(n));
    EXPECT_EQ(item.SwitchDisabled(), 20);
    EXPECT_EQ(item.PortStatus(), 52);
    EXPECT_EQ(item.PortDisabled(), 53);
    EXPECT_EQ(item.NodeDisabled(), 64);
    EXPECT_EQ(CDbItem::FieldName(2), "SwitchIps");
    EXPECT_EQ(CDbItem::FieldNumber("NodeDisabled"), 64);
    EXPECT_EQ(CDbItem::FieldName(6), "");
}

// An alert log as the viewer reads it: count, then per alert its key, the class tag (the new
// class with schema and name the first time, a class reference afterwards) and the fields.
TEST(StateFiles, AlertLogBytesAndReadBack) {
    AlertLogFile log;
    log.AlertLog["1700000000.1"] = std::make_unique<CAlertItem>(SampleAlert());
    log.AlertLog["1700000001.2"] = std::make_unique<CAlertItem>();
    const std::string bytes = EncodeStateFile(log);

    ExpectedBytes b;
    b.Raw(std::string("\x02\x00", 2));
    b.Text("1700000000.1");
    b.Raw(std::string("\xFF\xFF\x01\x00\x0A\x00", 6) + "CAlertItem");
    b.Raw(ExpectedAlert(SampleAlert()));
    b.Text("1700000001.2");
    b.Raw(std::string("\x01\x80", 2));
    b.Raw(ExpectedAlert(CAlertItem()));
    EXPECT_TRUE(bytes == b.Bytes());

    AlertLogFile back;
    ASSERT_TRUE(DecodeStateFile(bytes, back));
    ASSERT_EQ(back.AlertLog.size(), 2u);
    EXPECT_TRUE(*back.AlertLog.at("1700000000.1") == SampleAlert());
}

TEST(StateFiles, EventDatabaseReportStoreAndSiblingDatabaseReadBack) {
    EventDatabaseFile db;
    db.SwitchCount = "2";
    db.NodeCount = "";
    db.DeviceTable["00AABB000001"] = "127.0.0.11/core-1/noc/Building A";
    db.PortNames["00AABB000001/2"] = "GigabitEthernet0/2";
    db.EventMap["00AABB000001/2"] = std::make_unique<CEventItem>(SampleEvent());
    db.EventMap["00AABB000001/3"] = std::make_unique<CEventItem>();
    EventDatabaseFile dbBack;
    ASSERT_TRUE(DecodeStateFile(EncodeStateFile(db), dbBack));
    EXPECT_EQ(dbBack.SwitchCount, "2");
    EXPECT_EQ(dbBack.DeviceTable, db.DeviceTable);
    EXPECT_EQ(dbBack.PortNames, db.PortNames);
    ASSERT_EQ(dbBack.EventMap.size(), 2u);
    EXPECT_TRUE(*dbBack.EventMap.at("00AABB000001/2") == SampleEvent());

    ReportStoreFile store;
    store.ReportStore["1700000000.7"] = std::make_unique<CAlertItem>(SampleAlert());
    store.LastDailyReport = "1699999999";
    store.LastWeeklyReport = "1699400000";
    ReportStoreFile storeBack;
    ASSERT_TRUE(DecodeStateFile(EncodeStateFile(store), storeBack));
    EXPECT_EQ(storeBack.LastWeeklyReport, "1699400000");
    EXPECT_TRUE(*storeBack.ReportStore.at("1700000000.7") == SampleAlert());

    SiblingDatabaseFile sib;
    for (auto* map : {&sib.SiblingSwitches, &sib.SiblingPorts, &sib.SiblingNodes}) {
        auto item = std::make_unique<CDbItem>();
        item->SwitchName() = "in map " + std::to_string(map - &sib.SiblingSwitches);
        (*map)["k"] = std::move(item);
    }
    const std::string bytes = EncodeStateFile(sib);
    // One class header for the whole file.
    EXPECT_EQ(bytes.find("CDbItem"), bytes.rfind("CDbItem"));
    SiblingDatabaseFile sibBack;
    ASSERT_TRUE(DecodeStateFile(bytes, sibBack));
    EXPECT_EQ(sibBack.SiblingNodes.at("k")->SwitchName(), "in map 2");
    EXPECT_EQ(sibBack.SiblingPorts.at("k")->SwitchName(), "in map 1");
}

TEST(StateFiles, DamagedFileLeavesTheContentAsItWas) {
    EventDatabaseFile db;
    db.EventMap["a/1"] = std::make_unique<CEventItem>(SampleEvent());
    const std::string bytes = EncodeStateFile(db);
    EventDatabaseFile target;
    target.SwitchCount = "7";
    target.EventMap["kept/1"] = std::make_unique<CEventItem>();
    for (std::size_t cut : {std::size_t{1}, std::size_t{10}, bytes.size() / 2, bytes.size() - 1}) {
        std::string error;
        EXPECT_FALSE(DecodeStateFile(std::string_view(bytes).substr(0, cut), target, &error))
            << cut;
        EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(target.SwitchCount, "7");
    EXPECT_EQ(target.EventMap.count("kept/1"), 1u);

    // An object of another class where an event is expected.
    AlertLogFile alerts;
    alerts.AlertLog["a/1"] = std::make_unique<CAlertItem>();
    // Two empty texts and two empty string maps, then the alert map in the event map's place.
    const std::string forged = std::string(6, '\0') + EncodeStateFile(alerts);
    EXPECT_FALSE(DecodeStateFile(forged, target));
}

TEST(StateFiles, KindOfFileByTheEndingOfItsName) {
    const std::pair<const char*, std::optional<StoredFileKind>> cases[] = {
        {"/var/lib/tarvell/Tarvell.ini", StoredFileKind::Settings},
        {"Tarvell.db", StoredFileKind::Events},
        {"Tarvell.db.tmp", StoredFileKind::Events},
        {"/opt/sibling/Ombrix.db", StoredFileKind::Sibling},
        {"Tarvell.log", StoredFileKind::Alerts},
        {"20240131_AutoArchive.log", StoredFileKind::Archive},
        {"Tarvell.eml", StoredFileKind::Reports},
        {"/srv/Ombrix.db/Tarvell.eml", StoredFileKind::Reports},
        {"/srv/x.log/readme.txt", std::nullopt},
        {"Tarvell.dbx", std::nullopt},
    };
    for (const auto& [name, kind] : cases) EXPECT_EQ(StoredFileKindFromName(name), kind) << name;
}

}  // namespace
}  // namespace tarvell
