#include "platform/Archive.h"
#include "platform/ObjectMap.h"

#include <gtest/gtest.h>

#include <initializer_list>

#include "tests/platform/ArchiveTestRecord.h"

namespace tarvell {
namespace {

using namespace archivetest;

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out.push_back(static_cast<char>(v));
    return out;
}

std::string Hex(std::string_view bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty()) out.push_back(' ');
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

ObjectMap<ProbeItem> Items(std::initializer_list<ProbeItem> items) {
    ObjectMap<ProbeItem> map;
    for (const auto& item : items) map[item.name] = std::make_unique<ProbeItem>(item);
    return map;
}

void ExpectSameItems(const ObjectMap<ProbeItem>& a, const ObjectMap<ProbeItem>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (const auto& [key, item] : a) {
        ASSERT_TRUE(b.count(key)) << key;
        EXPECT_EQ(*item, *b.at(key)) << key;
    }
}

TEST(Archive, NumbersAreLittleEndian) {
    ArchiveWriter w;
    w.WriteShort(0x1234);
    w.WriteUWord(0x89ABCDEF);
    w.WriteWord(-2);
    EXPECT_EQ(Hex(w.Bytes()), "34 12 EF CD AB 89 FE FF FF FF");
    ArchiveReader r(w.Bytes());
    EXPECT_EQ(r.ReadShort(), 0x1234);
    EXPECT_EQ(r.ReadUWord(), 0x89ABCDEFu);
    EXPECT_EQ(r.ReadWord(), -2);
    EXPECT_TRUE(r.AtEnd());
    EXPECT_THROW(r.ReadByte(), ArchiveError);
}

TEST(ArchiveText, LengthPrefixAtEveryBoundaryAndRoundTrip) {
    const struct {
        std::size_t length;
        std::string prefix;
    } cases[] = {
        {0, Bytes({0x00})},
        {254, Bytes({0xFE})},
        {255, Bytes({0xFF, 0xFF, 0x00})},
        {300, Bytes({0xFF, 0x2C, 0x01})},
        {65533, Bytes({0xFF, 0xFD, 0xFF})},
        // 0xFFFE would read as the Unicode marker, so from 65534 on the 32-bit form is used.
        {65534, Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00})},
        {65535, Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00})},
        {70000, Bytes({0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        std::string text(c.length, 'a');
        if (!text.empty()) text.back() = '\xE9';
        ArchiveWriter w;
        w.WriteText(text);
        ASSERT_EQ(w.Bytes().size(), c.prefix.size() + c.length);
        EXPECT_EQ(Hex(w.Bytes().substr(0, c.prefix.size())), Hex(c.prefix));
        ArchiveReader r(w.Bytes());
        EXPECT_EQ(r.ReadText(), text);
        EXPECT_TRUE(r.AtEnd());
    }
}

TEST(ArchiveText, ReaderBoundsEveryLengthForm) {
    // 64-bit length form: accepted within the limit, refused above it.
    const std::string escape64 = Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    const std::string small = escape64 + Bytes({3, 0, 0, 0, 0, 0, 0, 0}) + "abc";
    EXPECT_EQ(ArchiveReader(small).ReadText(), "abc");
    const std::string huge = escape64 + Bytes({0, 0, 0, 0, 1, 0, 0, 0}) + "abc";
    EXPECT_THROW(ArchiveReader(huge).ReadText(), ArchiveError);
    // Lengths beyond the bytes left, and above the limit.
    const std::string shortOfBytes = Bytes({0xFF, 0x2C, 0x01}) + std::string(299, 'x');
    EXPECT_THROW(ArchiveReader(shortOfBytes).ReadText(), ArchiveError);
    const std::string overLimit = Bytes({0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0x04}) + "x";
    EXPECT_THROW(ArchiveReader(overLimit).ReadText(), ArchiveError);
}

TEST(ArchiveText, WriterRefusesTextTheReaderWouldRefuse) {
    ArchiveWriter w;
    EXPECT_THROW(w.WriteText(std::string(kMaxArchiveText + 1, 'x')), ArchiveError);
    EXPECT_THROW(w.WriteCount(std::uint64_t{kMaxArchiveText} + 1), ArchiveError);
    EXPECT_TRUE(w.Bytes().empty());
}

std::string Utf16(std::initializer_list<std::uint16_t> units) {
    std::string out;
    for (auto u : units) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    }
    return out;
}

TEST(ArchiveText, UnicodeMarkedTextDecodesToStoredBytes) {
    // 'A', 'b', euro sign, e acute, a surrogate pair, a letter outside the code page, U+0081.
    const std::string units = Utf16({'A', 'b', 0x20AC, 0x00E9, 0xD83D, 0xDE00, 0x0100, 0x0081});
    const std::string marked = Bytes({0xFF, 0xFE, 0xFF, 8}) + units + Bytes({0x01}) + "z";
    ArchiveReader r(marked);
    EXPECT_EQ(r.ReadText(), "Ab\x80\xE9??\x81");
    EXPECT_EQ(r.ReadText(), "z");  // the next text starts right after the code units
    EXPECT_TRUE(r.AtEnd());

    // After the marker 0xFFFE is a length (65534 code units), not a second marker.
    std::string longUnits;
    for (int i = 0; i < 65534; ++i) longUnits += Utf16({'q'});
    const std::string longMarked = Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFE, 0xFF}) + longUnits;
    ArchiveReader wide(longMarked);
    EXPECT_EQ(wide.ReadText(), std::string(65534, 'q'));
    EXPECT_TRUE(wide.AtEnd());

    // The length counts code units: one byte short is truncation.
    const std::string cut = Bytes({0xFF, 0xFE, 0xFF, 2}) + Utf16({'a'}) + "b";
    EXPECT_THROW(ArchiveReader(cut).ReadText(), ArchiveError);
}

TEST(ArchiveCount, SwitchesToLongFormAtFFFF) {
    for (std::size_t n : {std::size_t{0}, std::size_t{0xFFFE}, std::size_t{0xFFFF}}) {
        SCOPED_TRACE(n);
        const std::vector<std::string> list(n);
        ArchiveWriter w;
        w.WriteStringList(list);
        const std::string expected = n == 0        ? Bytes({0, 0})
                                     : n == 0xFFFE ? Bytes({0xFE, 0xFF})
                                                   : Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0, 0});
        EXPECT_EQ(Hex(w.Bytes().substr(0, expected.size())), Hex(expected));
        ArchiveReader r(w.Bytes());
        EXPECT_EQ(r.ReadStringList(), list);
        EXPECT_TRUE(r.AtEnd());
    }
}

TEST(ArchiveCount, CountAboveBytesLeftIsRefusedBeforeReading) {
    const std::string fiveEmpty = Bytes({0x05, 0x00, 0, 0, 0, 0, 0});
    EXPECT_EQ(ArchiveReader(fiveEmpty).ReadStringList().size(), 5u);
    const std::string fourEmpty = Bytes({0x05, 0x00, 0, 0, 0, 0});
    EXPECT_THROW(ArchiveReader(fourEmpty).ReadCount(), ArchiveError);
    const std::string many = Bytes({0xFF, 0xFF, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00});
    EXPECT_THROW(ArchiveReader(many).ReadStringList(), ArchiveError);
    const std::string quad =
        Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) + Bytes({0, 0, 0, 0, 0, 0, 0, 0x80});
    EXPECT_THROW(ArchiveReader(quad).ReadStringMap(), ArchiveError);
}

TEST(ArchiveStringMap, LargeMapUsesLongCountAndRoundTrips) {
    std::map<std::string, std::string> map;
    for (int i = 0; i < 70000; ++i) map["key" + std::to_string(i)] = std::to_string(i * 7);
    ArchiveWriter w;
    w.WriteStringMap(map);
    EXPECT_EQ(Hex(w.Bytes().substr(0, 6)), "FF FF 70 11 01 00");
    ArchiveReader r(w.Bytes());
    EXPECT_EQ(r.ReadStringMap(), map);
    EXPECT_TRUE(r.AtEnd());
}

TEST(ArchiveObjects, FirstObjectNamesItsClassLaterOnesReferToIt) {
    const auto items = Items({{7, "a", "x"}, {-1, "b", ""}});
    ArchiveWriter w;
    StoreObjectMap(w, items);
    // A second class after them takes map index 4 (class 1, objects 2 and 3).
    w.WriteObjectHeader("COther", 1);
    w.WriteObjectHeader("COther", 1);
    w.WriteObjectHeader(ProbeItem::kClassName, 1);
    const std::string expected =
        Bytes({0x02, 0x00, 0x01}) + "a" + Bytes({0xFF, 0xFF, 0x01, 0x00, 0x0A, 0x00}) +
        "CProbeItem" + Bytes({0x07, 0, 0, 0, 0x01}) + "a" + Bytes({0x01}) + "x" + Bytes({0x01}) +
        "b" + Bytes({0x01, 0x80, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}) + "b" + Bytes({0x00}) +
        Bytes({0xFF, 0xFF, 0x01, 0x00, 0x06, 0x00}) + "COther" + Bytes({0x04, 0x80}) +
        Bytes({0x01, 0x80});
    EXPECT_EQ(Hex(w.Bytes()), Hex(expected));

    ArchiveReader r(w.Bytes());
    ExpectSameItems(LoadObjectMap<ProbeItem>(r), items);
    EXPECT_NO_THROW(r.ReadObjectHeader("COther", 1));
    EXPECT_NO_THROW(r.ReadObjectHeader("COther", 1));
    EXPECT_NO_THROW(r.ReadObjectHeader(ProbeItem::kClassName, 1));
    EXPECT_TRUE(r.AtEnd());
}

TEST(ArchiveObjects, ClassIndexFrom7FFFUsesLongFormAndReadsBack) {
    // Class 1 and 0x7FFD objects fill indexes 1..0x7FFE; the next class gets 0x7FFF.
    ArchiveWriter w;
    const ProbeItem item{1, "n", "t"};
    for (int i = 0; i < 0x7FFD; ++i) {
        w.WriteObjectHeader(ProbeItem::kClassName, 1);
        item.Store(w);
    }
    w.WriteObjectHeader("CLate", 1);
    const std::size_t secondLate = w.Bytes().size();
    w.WriteObjectHeader("CLate", 1);
    EXPECT_EQ(Hex(w.Bytes().substr(secondLate)), "FF 7F FF 7F 00 80");
    const std::size_t early = w.Bytes().size();
    w.WriteObjectHeader(ProbeItem::kClassName, 1);
    EXPECT_EQ(Hex(w.Bytes().substr(early)), "01 80");

    ArchiveReader r(w.Bytes());
    for (int i = 0; i < 0x7FFD; ++i) {
        r.ReadObjectHeader(ProbeItem::kClassName, 1);
        ProbeItem back;
        back.Load(r);
        ASSERT_EQ(back, item);
    }
    r.ReadObjectHeader("CLate", 1);
    r.ReadObjectHeader("CLate", 1);
    r.ReadObjectHeader(ProbeItem::kClassName, 1);
    EXPECT_TRUE(r.AtEnd());
}

TEST(ArchiveObjects, RefusesObjectTagsUnknownClassesAndSchemas) {
    // Cases marked "after" follow a first, valid CProbeItem object (class 1, object 2).
    const std::string probeClass = Bytes({0xFF, 0xFF, 0x01, 0x00, 0x0A, 0x00}) + "CProbeItem";
    const struct {
        const char* what;
        bool after;
        std::string tag;
        const char* expectedClass;
    } cases[] = {
        {"null object", false, Bytes({0x00, 0x00}), "CProbeItem"},
        {"back-reference", true, Bytes({0x02, 0x00}), "CProbeItem"},
        {"long back-reference", true, Bytes({0xFF, 0x7F, 0x02, 0, 0, 0}), "CProbeItem"},
        {"unknown class index", false, Bytes({0x01, 0x80}), "CProbeItem"},
        {"class index of an object", true, Bytes({0x02, 0x80}), "CProbeItem"},
        {"long unknown class index", true, Bytes({0xFF, 0x7F, 0xFF, 0x7F, 0x00, 0x80}),
         "CProbeItem"},
        {"other class name", false, Bytes({0xFF, 0xFF, 0x01, 0x00, 0x0A, 0x00}) + "CProbeItex",
         "CProbeItem"},
        {"name length differs", false, Bytes({0xFF, 0xFF, 0x01, 0x00, 0x09, 0x00}) + "CProbeIte",
         "CProbeItem"},
        {"other schema", false, Bytes({0xFF, 0xFF, 0x02, 0x00, 0x0A, 0x00}) + "CProbeItem",
         "CProbeItem"},
        {"reference to another class", true, Bytes({0x01, 0x80}), "COther"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string bytes = (c.after ? probeClass : std::string()) + c.tag;
        ArchiveReader r(bytes);
        if (c.after) r.ReadObjectHeader("CProbeItem", 1);
        EXPECT_THROW(r.ReadObjectHeader(c.expectedClass, 1), ArchiveError);
    }
}

TEST(ArchiveReader, EveryTruncationOfAValidFileIsAnError) {
    SampleFile f;
    f.first = "3";
    f.table = {{"10.0.0.1", "switch/a/b/c"}, {"", std::string(255, 'v')}};
    f.list = {"", std::string(254, 'l'), "x"};
    f.items = Items({{1, "first", ""}, {2, "second", std::string(300, 's')}});
    f.more = Items({{3, "third", std::string(65534, 't')}, {-4, "z", "q"}});
    const std::string bytes = StoreSample(f);

    const SampleFile back = LoadSample(bytes);
    EXPECT_EQ(back.first, f.first);
    EXPECT_EQ(back.table, f.table);
    EXPECT_EQ(back.list, f.list);
    ExpectSameItems(back.items, f.items);
    ExpectSameItems(back.more, f.more);

    for (std::size_t n = 0; n < bytes.size(); ++n) {
        // A copy of exactly n bytes, so that ASan sees any read past the end.
        const std::string cut = bytes.substr(0, n);
        ASSERT_THROW(LoadSample(cut), ArchiveError) << "prefix of " << n << " bytes";
    }
}

}  // namespace
}  // namespace tarvell
