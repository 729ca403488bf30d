// The settings document's bytes: defaults, field positions, the older layouts, versions and
// damaged content.
#include <gtest/gtest.h>

#include <clocale>
#include <locale>
#include <set>

#include "shared/CTarvellDoc.h"
#include "shared/DocumentFields.h"
#include "tests/shared/DocumentRows.h"

namespace tarvell {
namespace {

using rowtest::ExpectedBytes;
using rowtest::TestRow;
using rowtest::TestRows;
using rowtest::Value;

constexpr int kRowMonitorPassword = 102;
constexpr int kRowLocationColumn = 109;
constexpr int kRowEmailAlerts = 22;
constexpr int kRowSmtpSecurity = 29;

// A value for every row that differs from every other row's and from the defaults; some texts
// are long enough for the 0xFF length escape.
Value Distinct(const TestRow& r) {
    if (std::holds_alternative<std::int32_t>(r.defaultValue))
        return r.row % 7 == 0 ? -r.row * 1000 - 3 : r.row * 1000 + 3;
    if (std::holds_alternative<std::string>(r.defaultValue)) {
        std::string t = "row " + std::to_string(r.row);
        if (r.row % 5 == 0) t += std::string(300, static_cast<char>('a' + r.row % 26));
        return t;
    }
    std::vector<std::string> list;
    for (int i = 0; i < r.row % 4; ++i)
        list.push_back("row " + std::to_string(r.row) + "." + std::to_string(i));
    return list;
}

CTarvellDoc DistinctDocument() {
    CTarvellDoc doc;
    for (const TestRow& r : TestRows()) r.set(doc, Distinct(r));
    return doc;
}

// Expected file: version, then the rows of `rows` in order, with legacy words where asked.
struct Legacy {
    int afterRow;  // the words follow this row (0: none)
    std::vector<std::int32_t> words;
};

std::string Encode(std::string_view version, const std::set<int>& skipRows,
                   const std::vector<Legacy>& legacy = {}, bool distinct = true) {
    ExpectedBytes b;
    b.Text(version);
    for (const TestRow& r : TestRows()) {
        if (!skipRows.count(r.row)) b.Add(distinct ? Distinct(r) : r.defaultValue);
        for (const Legacy& l : legacy)
            if (l.afterRow == r.row)
                for (std::int32_t w : l.words) b.Word(w);
    }
    return b.Bytes();
}

// Names the first row whose value differs, for a readable failure.
void ExpectRowsEqual(const CTarvellDoc& actual, const std::set<int>& keptRows,
                     const CTarvellDoc& before) {
    for (const TestRow& r : TestRows()) {
        const Value expected = keptRows.count(r.row) ? r.get(before) : Distinct(r);
        EXPECT_TRUE(r.get(actual) == expected) << "row " << r.row << " " << r.name;
    }
}

TEST(DocumentTable, MatchesTheRowsOfTheFileFormat) {
    const auto fields = DocumentFields();
    ASSERT_EQ(fields.size(), TestRows().size());
    int words = 0, texts = 0, lists = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(fields[i].row, TestRows()[i].row);
        EXPECT_STREQ(fields[i].name, TestRows()[i].name);
        EXPECT_EQ(FindDocumentField(fields[i].row), &fields[i]);
        words += fields[i].kind == FieldKind::Word;
        texts += fields[i].kind == FieldKind::Text;
        lists += fields[i].kind == FieldKind::List;
    }
    EXPECT_EQ(words, 85);
    EXPECT_EQ(texts, 40);
    EXPECT_EQ(lists, 46);
}

TEST(DocumentBytes, DefaultDocumentMatchesAnIndependentEncoding) {
    CTarvellDoc doc;
    doc.SetDefaults();
    const std::string bytes = doc.StoreToBytes();
    EXPECT_EQ(bytes, Encode("3.6", {}, {}, false));
    // 4 (version) + 85 words x 4 + 40 texts (36 empty, "25", "1", "$alert" and the 234-byte
    // body, each with its one-byte length) + 46 empty lists x 2 = 719 bytes.
    EXPECT_EQ(std::string(rowtest::kEmailBodyDefault).size(), 234u);
    EXPECT_EQ(bytes.size(), 4u + 340u + (36u + 3u + 2u + 7u + 235u) + 92u);
    EXPECT_EQ(bytes.size(), 719u);
    EXPECT_EQ(doc.EmailBody, rowtest::kEmailBodyDefault);
    EXPECT_EQ(doc.LegacyWordC, 1);
    EXPECT_EQ(doc.LegacyWordA, 0);
}

TEST(DocumentBytes, EveryFieldLandsAtItsRowAndReadsBack) {
    const CTarvellDoc doc = DistinctDocument();
    const std::string bytes = doc.StoreToBytes();
    const std::string expected = Encode("3.6", {});
    ASSERT_EQ(bytes.size(), expected.size());
    EXPECT_TRUE(bytes == expected);

    CTarvellDoc loaded;
    ASSERT_TRUE(CTarvellDoc::LoadFromBytes(expected, loaded));
    ExpectRowsEqual(loaded, {}, loaded);
}

// The current layout of whatever the document holds, encoded by the test.
std::string EncodeDocument(const CTarvellDoc& doc) {
    ExpectedBytes b;
    b.Text(doc.Version);
    for (const TestRow& r : TestRows()) b.Add(r.get(doc));
    return b.Bytes();
}

TEST(DocumentLoad, LayoutWithoutMonitorPasswordAndLocationColumn) {
    for (const char* version : {"3.2", "3.1", "2.9", "3.20"}) {
        SCOPED_TRACE(version);
        CTarvellDoc doc;
        doc.SetDefaults();
        doc.MonitorPassword = "kept";
        doc.ReportColumns[4] = 77;
        const CTarvellDoc before = doc;
        const DocResult r = CTarvellDoc::LoadFromBytes(
            Encode(version, {kRowMonitorPassword, kRowLocationColumn}), doc);
        ASSERT_TRUE(r) << r.message;
        ExpectRowsEqual(doc, {kRowMonitorPassword, kRowLocationColumn}, before);
        EXPECT_EQ(doc.MonitorPassword, "kept");
        EXPECT_EQ(doc.ReportColumns[4], 77);

        // The next save writes version 3.6 with all 171 values.
        const std::string saved = doc.StoreToBytes();
        EXPECT_EQ(doc.Version, "3.6");
        EXPECT_TRUE(saved == EncodeDocument(doc));
        CTarvellDoc reread;
        ASSERT_TRUE(CTarvellDoc::LoadFromBytes(saved, reread));
        EXPECT_EQ(reread.MonitorPassword, "kept");
        EXPECT_EQ(reread.ReportColumns[4], 77);
    }
}

TEST(DocumentLoad, OldestLayoutWithLegacyWords) {
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.MonitorPassword = "kept";
    doc.SmtpSecurity = "TLS";
    doc.ReportColumns[4] = 77;
    const CTarvellDoc before = doc;
    // Two words after EmailAlertsEnabled, no SmtpSecurity, a word in the place of the monitor
    // password, no location column.
    const std::string file =
        Encode("2.8", {kRowSmtpSecurity, kRowMonitorPassword, kRowLocationColumn},
               {{kRowEmailAlerts, {1111, 2222}}, {kRowMonitorPassword - 1, {3333}}});
    const DocResult r = CTarvellDoc::LoadFromBytes(file, doc);
    ASSERT_TRUE(r) << r.message;
    ExpectRowsEqual(doc, {kRowSmtpSecurity, kRowMonitorPassword, kRowLocationColumn}, before);
    EXPECT_EQ(doc.LegacyWordA, 1111);
    EXPECT_EQ(doc.LegacyWordB, 2222);
    EXPECT_EQ(doc.LegacyWordC, 3333);
    EXPECT_EQ(doc.SmtpSecurity, "TLS");
    EXPECT_EQ(doc.MonitorPassword, "kept");

    // The legacy words are never written.
    EXPECT_TRUE(doc.StoreToBytes() == EncodeDocument(doc));
}

TEST(DocumentLoad, VersionsAboveTheCurrentOneUseTheCurrentLayout) {
    for (const char* version : {"3.3", "3.7", "4.0", "10", "3.6.1", " 3.6", "3.6beta"}) {
        SCOPED_TRACE(version);
        CTarvellDoc doc;
        const DocResult r = CTarvellDoc::LoadFromBytes(Encode(version, {}), doc);
        ASSERT_TRUE(r) << r.message;
        ExpectRowsEqual(doc, {}, doc);
        EXPECT_EQ(doc.Version, "3.6");
    }
}

TEST(DocumentLoad, UnknownVersionsFailAndChangeNothing) {
    for (const char* version : {"", "abc", ".", "3.0", "3.25", "2.7", "1.0", "-3.6", "3,6", "0"}) {
        SCOPED_TRACE(version);
        CTarvellDoc doc;
        doc.SetDefaults();
        doc.EventNotes = {"note"};
        const CTarvellDoc before = doc;
        const DocResult r = CTarvellDoc::LoadFromBytes(Encode(version, {}), doc);
        EXPECT_EQ(r.status, DocStatus::UnknownVersion);
        EXPECT_FALSE(r);
        EXPECT_TRUE(doc == before);
    }
}

TEST(DocumentLoad, TruncatedOrCorruptContentFailsAndChangesNothing) {
    const std::string whole = Encode("3.6", {});
    CTarvellDoc doc;
    doc.SetDefaults();
    const CTarvellDoc before = doc;
    for (std::size_t size = 0; size < whole.size(); size += 13) {
        const DocResult r =
            CTarvellDoc::LoadFromBytes(std::string_view(whole).substr(0, size), doc);
        ASSERT_EQ(r.status, DocStatus::Damaged) << "size " << size;
        ASSERT_TRUE(doc == before) << "size " << size;
    }
    // One byte short, in the last list.
    EXPECT_EQ(
        CTarvellDoc::LoadFromBytes(std::string_view(whole).substr(0, whole.size() - 1), doc).status,
        DocStatus::Damaged);
    EXPECT_TRUE(doc == before);
}

TEST(DocumentLoad, HugeStoredCountsAreRefusedWithoutAllocating) {
    // ViewerUsers (row 127) claims 0x7FFFFFFF entries; the file ends right after the count.
    ExpectedBytes b;
    b.Text("3.6");
    for (const TestRow& r : TestRows()) {
        if (r.row == 127) {
            b.Raw(std::string("\xFF\xFF\xFF\xFF\xFF\x7F", 6));
            break;
        }
        b.Add(r.defaultValue);
    }
    CTarvellDoc doc;
    EXPECT_EQ(CTarvellDoc::LoadFromBytes(b.Bytes(), doc).status, DocStatus::Damaged);
}

// Every list entry takes one byte of the file but a string in memory (in every copy of the
// settings): a file of millions of empty entries is refused, whatever list holds them.
TEST(DocumentLoad, ListEntriesBeyondTheDocumentLimitAreRefused) {
    constexpr std::size_t kLimit = 1'000'000;  // list entries of one document
    CTarvellDoc big;
    big.SetDefaults();
    big.NodesBlackList.assign(kLimit / 2, "");
    big.NodeLocations.assign(kLimit / 2, "");
    CTarvellDoc doc;
    ASSERT_TRUE(CTarvellDoc::LoadFromBytes(big.StoreToBytes(), doc));
    EXPECT_EQ(doc.NodeLocations.size(), kLimit / 2);

    big.NodesWhiteList = {"one too many"};
    doc.SetDefaults();
    const CTarvellDoc before = doc;
    EXPECT_EQ(CTarvellDoc::LoadFromBytes(big.StoreToBytes(), doc).status, DocStatus::Damaged);
    EXPECT_TRUE(doc == before);
}

TEST(DocumentLoad, BytesAfterTheContentAreIgnored) {
    // Left by an earlier, longer file.
    CTarvellDoc doc;
    ASSERT_TRUE(CTarvellDoc::LoadFromBytes(Encode("3.6", {}) + "old tail", doc));
    ExpectRowsEqual(doc, {}, doc);
}

TEST(DocumentLoad, ListsAndTextsWithLargeLengthPrefixes) {
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.NodesBlackList.assign(70000, "");
    doc.NodesBlackList[69999] = std::string(70000, 'm');  // 32-bit length
    doc.EmailBody = std::string(0xFFFD, 'b');             // largest 16-bit length
    doc.EmailSubject = std::string(0xFFFE, 's');          // smallest 32-bit length
    const std::string bytes = doc.StoreToBytes();
    EXPECT_TRUE(bytes == EncodeDocument(doc));
    CTarvellDoc loaded;
    loaded.SetDefaults();
    ASSERT_TRUE(CTarvellDoc::LoadFromBytes(bytes, loaded));
    EXPECT_TRUE(loaded == doc);
}

// Sets a comma-decimal locale for the C library (when one is installed) and for the C++
// streams, and puts the old ones back.
class CommaDecimalLocale {
public:
    CommaDecimalLocale()
        : oldCpp_(std::locale::global(std::locale(std::locale::classic(), new Comma))) {
        if (const char* old = std::setlocale(LC_ALL, nullptr)) oldC_ = old;
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"})
            if (std::setlocale(LC_ALL, name)) {
                cLocale_ = name;
                break;
            }
    }
    ~CommaDecimalLocale() {
        std::setlocale(LC_ALL, oldC_.c_str());
        std::locale::global(oldCpp_);
    }
    const std::string& CLocale() const { return cLocale_; }

private:
    struct Comma : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
    };
    std::locale oldCpp_;
    std::string oldC_ = "C";
    std::string cLocale_;
};

TEST(DocumentLoad, VersionIsReadWithoutTheLocale) {
    CommaDecimalLocale locale;
    if (!locale.CLocale().empty()) {
        EXPECT_EQ(*std::localeconv()->decimal_point, ',');
    }
    EXPECT_EQ(LayoutForVersion("3.6"), DocumentLayout::Current);
    EXPECT_EQ(LayoutForVersion("3.2"), DocumentLayout::V32);
    EXPECT_EQ(LayoutForVersion("2.8"), DocumentLayout::V28);
    EXPECT_EQ(LayoutForVersion("3,6"), std::nullopt);  // 3 under a comma locale's atof
    CTarvellDoc doc;
    ASSERT_TRUE(CTarvellDoc::LoadFromBytes(Encode("3.6", {}), doc));
    ExpectRowsEqual(doc, {}, doc);
}

}  // namespace
}  // namespace tarvell
