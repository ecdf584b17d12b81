// Answers of model data files laid out byte by byte in the test, not made by
// the model data compiler: a misreading that the compiler and the decoders
// share cannot pass here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "model/model_queries.h"
#include "model/modelsmith.h"
#include "model_fixture.h"
#include "platform/facts.h"
#include "devmode_private.h"
#include "win/errors.h"

namespace model_test {
namespace {

// Little-endian bytes of a record.
struct Rec {
    Bytes b;
    Rec& U32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        return *this;
    }
    Rec& Str(const std::string& s, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i)
            b.push_back(i < s.size() ? static_cast<std::uint8_t>(s[i]) : 0);
        return *this;
    }
};

// The file: a 24-byte header ("NKSP", total size, end and start of the
// offset table, a word not read, minor and format version), an offset table
// of one u32 per code from code 1, then the records in the order given.
Bytes LayFile(int version, const std::vector<std::pair<int, Bytes>>& records) {
    constexpr std::uint32_t kTableStart = 24, kCodes = 100;
    constexpr std::uint32_t kTableEnd = kTableStart + 4 * kCodes;
    Bytes f(kTableEnd, 0);
    auto put = [&](std::size_t at, std::uint32_t v) { std::memcpy(f.data() + at, &v, 4); };
    std::memcpy(f.data(), "NKSP", 4);
    put(8, kTableEnd);
    put(12, kTableStart);
    std::uint16_t minor = 0, format = static_cast<std::uint16_t>(version);
    std::memcpy(f.data() + 20, &minor, 2);
    std::memcpy(f.data() + 22, &format, 2);
    for (const auto& [code, bytes] : records) {
        put(kTableStart + 4 * (code - 1), static_cast<std::uint32_t>(f.size()));
        f.insert(f.end(), bytes.begin(), bytes.end());
    }
    put(4, static_cast<std::uint32_t>(f.size()));
    return f;
}

// A slot value whose every byte tells which slot it is.
std::uint32_t SlotValue(unsigned slot) {
    return 0x01000000u * (slot + 1) + 0x00010000u * (slot + 1) + 0x0101u * (slot + 0x11);
}

// One narrowed answer field: `width` bytes at `offset` taken from record slot `slot`.
struct Field {
    unsigned offset, width, slot;
};

// A fixed code's layout over a record of `slots` slots laid by hand. The
// answer is the record's first `size` bytes, zero past its end, unless
// `narrowed` lists its fields.
struct FixedCase {
    int code, layout, version;
    unsigned size;
    unsigned slots;
    std::vector<Field> narrowed = {};
};

// 55 layout 1: {u32 slot 0, i16 slot 1, u32 slot 2, i16 slot 3, u32 slot 4,
// ten i16 of slots 5 to 14, u32 slot 15, ten i16 of slots 16 to 25, u32 slots
// 26, 27, 28, i16 slots 29 and 30}.
std::vector<Field> ImageHalftoneFields() {
    std::vector<Field> v = {{0, 4, 0}, {4, 2, 1}, {8, 4, 2}, {12, 2, 3}, {16, 4, 4}};
    for (unsigned i = 0; i < 10; ++i)
        v.push_back({20 + 2 * i, 2, 5 + i});
    v.push_back({40, 4, 15});
    for (unsigned i = 0; i < 10; ++i)
        v.push_back({44 + 2 * i, 2, 16 + i});
    v.push_back({64, 4, 26});
    v.push_back({68, 4, 27});
    v.push_back({72, 4, 28});
    v.push_back({76, 2, 29});
    v.push_back({78, 2, 30});
    return v;
}

// One case per fixed code: every layout copies the record's leading slots.
// The records of 28 and 29 layout 3 hold exactly the eight slots that 32
// bytes take; shorter records show the zeroes past their end.
const FixedCase kFixedCases[] = {
    {12, 1, 262, 4, 1},
    {13, 1, 262, 4, 1},
    {19, 1, 294, 4, 1},
    {19, 2, 296, 8, 2},
    {19, 3, 300, 12, 3},
    {23, 1, 262, 4, 1},
    {23, 2, 299, 8, 2},
    {28, 1, 262, 4, 1},
    {28, 2, 268, 8, 2},
    {28, 3, 282, 32, 8},
    {28, 3, 282, 32, 5},
    {29, 1, 262, 16, 4},
    {29, 2, 268, 8, 2},
    {29, 3, 282, 32, 8},
    {29, 4, 283, 28, 7},
    {30, 1, 262, 4, 1},
    {31, 1, 262, 8, 2},
    {31, 2, 268, 8, 2},
    {38, 1, 262, 8, 2},
    {40, 1, 262, 4, 1},
    {40, 2, 282, 12, 3},
    {44, 1, 262, 8, 2},
    {45, 1, 262, 4, 5},
    {45, 2, 262, 8, 5, {{0, 2, 1}, {2, 2, 2}, {4, 2, 3}, {6, 2, 4}}},
    {45, 2, 262, 8, 3, {{0, 2, 1}, {2, 2, 2}}},
    {48, 1, 262, 8, 2},
    {49, 1, 262, 8, 2},
    {50, 1, 262, 4, 1},
    {50, 2, 296, 8, 2},
    {51, 1, 280, 4, 1},
    {51, 2, 280, 8, 2},
    {52, 1, 262, 16, 4},
    {53, 1, 274, 8, 2},
    {54, 1, 262, 8, 2},
    {55, 1, 262, 80, 31, ImageHalftoneFields()},
    {56, 1, 262, 8, 2},
    {57, 1, 262, 4, 1},
    {57, 2, 282, 20, 5},
    {58, 1, 262, 4, 1},
    {59, 1, 262, 4, 1},
    {60, 1, 262, 8, 2},
    {60, 2, 282, 24, 6},
    {60, 3, 302, 88, 22},
    {61, 2, 282, 24, 6},
    {62, 2, 282, 24, 6},
    {63, 1, 262, 8, 2},
    {63, 2, 299, 48, 12},
    {64, 1, 262, 4, 1},
    {64, 2, 262, 8, 2},
    {65, 1, 300, 4, 1},
    {65, 2, 300, 8, 2},
    {66, 1, 262, 4, 1},
    {67, 1, 262, 4, 1},
    {67, 2, 268, 8, 2},
    {67, 3, 282, 12, 3},
    {68, 1, 262, 4, 1},
    {72, 1, 282, 4, 1},
    {73, 1, 282, 8, 2},
    {73, 2, 282, 24, 6},
    {74, 3, 302, 88, 22},
    {77, 1, 294, 12, 3},
    {77, 2, 295, 16, 4},
    {78, 1, 300, 16, 4},
    {78, 1, 300, 16, 2},
    {79, 1, 299, 16, 4},
    {96, 1, 303, 8, 2},
};

TEST(HandLaidFixedRecords, EveryLayoutCopiesTheLeadingSlots) {
    for (const FixedCase& c : kFixedCases) {
        SCOPED_TRACE("code " + std::to_string(c.code) + " layout " + std::to_string(c.layout) +
                     " over " + std::to_string(c.slots) + " slots");
        Rec record;
        for (unsigned s = 0; s < c.slots; ++s)
            record.U32(SlotValue(s));
        // The next record follows directly: a read past this one shows.
        Rec next;
        for (int i = 0; i < 24; ++i)
            next.U32(0xEEEEEEEE);
        const int nextCode = c.code == 12 ? 13 : 12;
        Bytes file = LayFile(c.version, {{c.code, record.b}, {nextCode, next.b}});
        Answer a = Ask(file, c.code, 0, c.layout);
        ASSERT_EQ(a.result, 0u);
        ASSERT_EQ(a.data.size(), c.size);
        Bytes want(c.size, 0);
        if (c.narrowed.empty()) {
            std::memcpy(want.data(), record.b.data(),
                        std::min<std::size_t>(c.size, record.b.size()));
        } else {
            for (const Field& fd : c.narrowed) {
                std::uint32_t v = SlotValue(fd.slot);
                std::memcpy(want.data() + fd.offset, &v, fd.width);
            }
        }
        EXPECT_EQ(a.data, want);
    }
}

// The last record of a file ends with the file: a short one answers zeroes
// past its end instead of failing.
TEST(HandLaidFixedRecords, ShortLastRecordAnswersZeroes) {
    Rec booklet;
    booklet.U32(0x11).U32(0).U32(48 | 200u << 16);
    Answer a = Ask(LayFile(282, {{model::kQueryBooklet, booklet.b}}), model::kQueryBooklet, 0,
                   model::layout::kFixedThird);
    ASSERT_EQ(a.result, 0u);
    model::LayoutDistancesAnswer d;
    ASSERT_EQ(a.data.size(), sizeof d);
    std::memcpy(&d, a.data.data(), sizeof d);
    EXPECT_EQ(d.bits, 0x11u);
    EXPECT_EQ(d.defaultInch, 48);
    EXPECT_EQ(d.largestInch, 200);
    EXPECT_EQ(d.defaultMm, 0);
    EXPECT_EQ(d.mode, 0);
}

TEST(HandLaidFixedRecords, TextsStandInTheirSlots) {
    // 60 layout 3: slots 0 to 3, a 32-byte text in slots 4 to 11, slots 12
    // and 13, a second text in slots 14 to 21.
    Rec r;
    r.U32(1).U32(2).U32(3).U32(4).Str("ABCDEFGH", 32).U32(5).U32(6).Str("second", 32);
    Answer a =
        Ask(LayFile(302, {{model::kQueryJobType1Rules, r.b}}), model::kQueryJobType1Rules, 0, 3);
    ASSERT_EQ(a.result, 0u);
    ASSERT_EQ(a.data.size(), sizeof(model::JobTypeTextsAnswer));
    model::JobTypeTextsAnswer t;
    std::memcpy(&t, a.data.data(), sizeof t);
    EXPECT_EQ(t.slot0, 1u);
    EXPECT_EQ(t.slot3, 4u);
    EXPECT_STREQ(t.firstText, "ABCDEFGH");
    EXPECT_EQ(t.slot12, 5u);
    EXPECT_EQ(t.slot13, 6u);
    EXPECT_STREQ(t.secondText, "second");
}

// The private defaults read the second layouts of 28, 31, 50 and 64 from the
// same leading slots.
TEST(HandLaidFixedRecords, PrivateDefaultsFromTheLeadingSlots) {
    ASSERT_TRUE(platform::test::SetLocale(0x0409));
    // 20: count at +0, record slots 2 and 3 the default papers, entries from
    // +20 (one of 48 slots, all zero but its id). 24: count at +0, default
    // tray at +4, entries from +8 (one of 42 slots).
    Rec papers, trays, nup, zoom, order, sort;
    papers.U32(1).U32(0).U32(9).U32(1).U32(600).U32(99);
    for (int i = 1; i < 48; ++i)
        papers.U32(0);
    trays.U32(1).U32(7).U32(98);
    for (int i = 1; i < 42; ++i)
        trays.U32(0);
    // 28: borders and their width in the halves of slot 1, eight slots in all.
    nup.U32(0x01).U32(3 | 2u << 16);
    for (int i = 2; i < 8; ++i)
        nup.U32(0);
    // 31: the zoom anchor of layout 2 is layout 1's smallest, slot 1's low half.
    zoom.U32(0x01).U32(6 | 300u << 16);
    order.U32(0x01).U32(1);
    sort.U32(0x15).U32(3);
    Rec next;
    for (int i = 0; i < 8; ++i)
        next.U32(0xEEEEEEEE);
    Bytes file = LayFile(296, {{model::kQueryPapers, papers.b},
                               {model::kQueryPaperSources, trays.b},
                               {model::kQueryPageLayout, nup.b},
                               {model::kQueryZoom, zoom.b},
                               {model::kQueryReverseOrder, order.b},
                               {model::kQuerySortKinds, sort.b},
                               {model::kQueryWorkflowFlags, next.b}});
    Bytes dm(DEVMODEA_SIZE + PRIVATE_DEVMODE_SIZE, 0);
    std::uint16_t size = DEVMODEA_SIZE, extra = PRIVATE_DEVMODE_SIZE;
    std::memcpy(dm.data() + offsetof(DEVMODEA, dmSize), &size, 2);
    std::memcpy(dm.data() + offsetof(DEVMODEA, dmDriverExtra), &extra, 2);
    ASSERT_EQ(model::ReviseDevmode(file.data(), nullptr, 0, dm.data(), dm.size(), 1), 0u);
    auto priv = [&](std::size_t off) {
        std::uint16_t v;
        std::memcpy(&v, dm.data() + DEVMODEA_SIZE + off, 2);
        return v;
    };
    struct Want {
        const char* what;
        std::size_t off;
        std::uint16_t value;
    };
    for (const Want& w :
         {Want{"reverse order from 50 layout 2", offsetof(PRIVATE_DEVMODE, ReverseOrder), 1},
          Want{"sort kind from 64 layout 2", offsetof(PRIVATE_DEVMODE, SortMode), 3},
          Want{"borders from 28 layout 2", offsetof(PRIVATE_DEVMODE, PageBorders), 3},
          Want{"border width from 28 layout 2", offsetof(PRIVATE_DEVMODE, BorderWidth), 2},
          Want{"zoom anchor from 31 layout 2", offsetof(PRIVATE_DEVMODE, ZoomAnchor), 6}}) {
        SCOPED_TRACE(w.what);
        EXPECT_EQ(priv(w.off), w.value);
    }
}

// The compiler writes the one record that every layout reads, and refuses a
// source whose layouts disagree on a byte.
TEST(HandLaidFixedRecords, CompilerWritesOneRecordForEveryLayout) {
    nlohmann::json codes = {{"19", {{"2", {5, 6}}, {"3", {nullptr, nullptr, 7}}}}};
    Bytes compiled = Build(SourceWith(300, codes));
    Answer a = Ask(compiled, model::kQueryRasterSettings, 0, 3);
    ASSERT_EQ(a.result, 0u);
    EXPECT_EQ(a.U32(0), 5u);
    EXPECT_EQ(a.U32(4), 6u);
    EXPECT_EQ(a.U32(8), 7u);
    Rec laid;
    laid.U32(5).U32(6).U32(7);
    EXPECT_EQ(Ask(LayFile(300, {{model::kQueryRasterSettings, laid.b}}),
                  model::kQueryRasterSettings, 0, 3)
                  .data,
              a.data);
    nlohmann::json disagree = {{"19", {{"1", {1}}, {"2", {2, 3}}}}};
    EXPECT_THROW(Build(SourceWith(300, disagree)), modelc::CompileError);

    // Two i16 of one layout share a slot; the longer layout fills the rest.
    nlohmann::json halves = {
        {"28", {{"2", {5, 2, 1}}, {"3", {nullptr, nullptr, 0, 0, 0, 0, 0, 2, 0, 0, 0}}}}};
    Rec page;
    page.U32(5).U32(2 | 1u << 16).U32(0).U32(0).U32(0).U32(2).U32(0).U32(0);
    Bytes byHand = LayFile(300, {{model::kQueryPageLayout, page.b}});
    Bytes byCompiler = Build(SourceWith(300, halves));
    for (int layout = 1; layout <= 3; ++layout) {
        SCOPED_TRACE(layout);
        EXPECT_EQ(Ask(byCompiler, model::kQueryPageLayout, 0, layout).data,
                  Ask(byHand, model::kQueryPageLayout, 0, layout).data);
    }
}

// One answer of each decoder family, from records laid out by hand.
TEST(HandLaidFamilies, StringsAndTheSecondFamilyName) {
    // 14 from 301: the u32 at +0 is also the distance to the second presence
    // word, which stands at that distance + 4, its string at + 8.
    Rec r;
    r.U32(8).Str("Fam", 4).U32(0xAA).U32(1).Str("PCL", 4);
    // The distance is 8: second presence word at 12, its string at 16.
    Bytes file = LayFile(301, {{model::kQueryFamilyName, r.b}});
    Answer first = Ask(file, model::kQueryFamilyName, 0, model::layout::kFamilyName);
    EXPECT_EQ(first.result, 0u);
    EXPECT_EQ(first.Text(0, 16), "Fam");
    Answer second = Ask(file, model::kQueryFamilyName, 0, model::layout::kPersonality);
    EXPECT_EQ(second.result, 0u);
    EXPECT_EQ(second.Text(0, 16), "PCL");
    EXPECT_EQ(second.length, 4u);
}

TEST(HandLaidFamilies, ComponentTable) {
    Rec r;
    r.U32(2).U32(20).U32(1).Str("Modelsmith.DLL", 16).U32(33).U32(6).Str("Img%s.DLL", 16);
    Answer a = Ask(LayFile(303, {{model::kQueryComponents, r.b}}), model::kQueryComponents, 33, 1);
    ASSERT_EQ(a.result, 0u);
    ASSERT_EQ(a.data.size(), sizeof(model::ComponentAnswer));
    model::ComponentAnswer c;
    std::memcpy(&c, a.data.data(), sizeof c);
    EXPECT_EQ(c.id, 33);
    EXPECT_EQ(c.kind, model::kComponentKind64);
    EXPECT_STREQ(c.nameTemplate, "Img%s.DLL");
}

TEST(HandLaidFamilies, ResolutionList) {
    // 41: count at +0, first entry at +12, entries {id, x, y}.
    Rec r;
    r.U32(2).U32(0x77).U32(2).U32(1).U32(300).U32(300).U32(2).U32(600).U32(1200);
    Bytes file = LayFile(303, {{model::kQueryResolutions, r.b}});
    Answer list = Ask(file, model::kQueryResolutions, 2, model::layout::kResolutionList);
    ASSERT_EQ(list.result, 0u);
    model::ResolutionAnswer e;
    std::memcpy(&e, list.data.data(), sizeof e);
    EXPECT_EQ(e.id, 2);
    EXPECT_EQ(e.x, 600u);
    EXPECT_EQ(e.y, 1200u);
    // Layout 1: the default id (record slot 2), record slot 1, that entry's x and y.
    Answer def = Ask(file, model::kQueryResolutions, 0, model::layout::kResolutionDefault);
    ASSERT_EQ(def.result, 0u);
    model::ResolutionDefaultAnswer d;
    std::memcpy(&d, def.data.data(), sizeof d);
    EXPECT_EQ(d.id, 2);
    EXPECT_EQ(d.slot1, 0x77u);
    EXPECT_EQ(d.x, 600u);
    EXPECT_EQ(d.y, 1200u);
}

TEST(HandLaidFamilies, PjlLinesOfOneItem) {
    // 65 from 301: count at +8, entries from +12; an entry is a 20-byte head
    // whose u32 at +16 is its line count, then {value, length L, L bytes}.
    Rec r;
    r.U32(0x40000000).U32(0).U32(2);
    r.U32(7).U32(0).U32(0).U32(0).U32(1).U32(0).U32(4).Str("JOB", 4);
    r.U32(9).U32(1).U32(31).U32(0).U32(2).U32(1).U32(4).Str("A=1", 4).U32(2).U32(8).Str("B=%s", 8);
    Bytes file = LayFile(301, {{model::kQueryPjlLines, r.b}});
    Answer lines = Ask(file, model::kQueryPjlLines, 9, model::layout::kPjlLines);
    ASSERT_EQ(lines.result, 0u);
    ASSERT_EQ(lines.count, 2u);
    ASSERT_EQ(lines.data.size(), 2 * sizeof(model::PjlLineAnswer));
    model::PjlLineAnswer l[2];
    std::memcpy(l, lines.data.data(), sizeof l);
    EXPECT_EQ(l[0].itemId, 9u);
    EXPECT_EQ(l[0].variant, 1u);
    EXPECT_STREQ(l[0].format, "A=1");
    EXPECT_EQ(l[1].variant, 2u);
    EXPECT_STREQ(l[1].format, "B=%s");
    Answer items = Ask(file, model::kQueryPjlLines, 9, model::layout::kPjlItems);
    ASSERT_EQ(items.result, 0u);
    model::PjlItemAnswer item;
    std::memcpy(&item, items.data.data(), sizeof item);
    EXPECT_EQ(item.itemId, 9);
    EXPECT_EQ(item.stringFlags, 1u);
    EXPECT_EQ(item.maxLength, 31u);
}

TEST(HandLaidFamilies, IdListsKeysAndRulePairs) {
    Rec ids, keys, pairs;
    ids.U32(3).U32(4).U32(5).U32(6);
    keys.U32(2).U32(3).U32(0x10).U32(16).U32(0x20);
    // 95: entries {id, n, n values}.
    pairs.U32(2).U32(1).U32(2).U32(10).U32(11).U32(2).U32(1).U32(20);
    Bytes file =
        LayFile(303, {{80, ids.b}, {model::kQueryKeys, keys.b}, {model::kQueryRulePairs, pairs.b}});
    Answer a = Ask(file, 80, 0, 1);
    ASSERT_EQ(a.result, 0u);
    EXPECT_EQ(a.data, (Bytes{4, 0, 5, 0, 6, 0}));
    Answer k = Ask(file, model::kQueryKeys, 16, 1);
    ASSERT_EQ(k.result, 0u);
    EXPECT_EQ(k.data.size(), 16u); // always count x 8
    EXPECT_EQ(k.U32(0), 16u);
    EXPECT_EQ(k.U32(4), 0x20u);
    Answer p = Ask(file, model::kQueryRulePairs, 0, 1);
    ASSERT_EQ(p.result, 0u);
    EXPECT_EQ(p.data, (Bytes{1, 0, 10, 0, 1, 0, 11, 0, 2, 0, 20, 0}));
}

TEST(HandLaidFamilies, PaperRecord) {
    // 20 in a 262 file: count at +0, the unit (dots per inch) in record slot
    // 4, entries from +20: 22 fixed slots, then the media list, the tied
    // tray and the tray list.
    Rec r;
    r.U32(1).U32(0).U32(9).U32(1).U32(600);
    const std::uint32_t fixed[22] = {9,   2009, 3,   2100, 2970, 4961, 7016, 100, 110, 120,  130,
                                     140, 150,  160, 170,  0x21, 0x3F, 17,   18,  19,  0x41, 5};
    for (std::uint32_t x : fixed)
        r.U32(x);
    r.U32(2).U32(1).U32(257).U32(4).U32(3).U32(1).U32(2).U32(3);
    Answer a = Ask(LayFile(262, {{model::kQueryPapers, r.b}}), model::kQueryPapers, 9,
                   model::layout::kPaperRecord);
    ASSERT_EQ(a.result, 0u);
    ASSERT_EQ(a.data.size(), sizeof(model::PaperRecordAnswer));
    model::PaperRecordAnswer p;
    std::memcpy(&p, a.data.data(), sizeof p);
    EXPECT_EQ(p.id, 9);
    EXPECT_EQ(p.nameId, 2009);
    EXPECT_EQ(p.slot2, 3);
    EXPECT_EQ(p.width, 2100);
    EXPECT_EQ(p.length, 2970);
    EXPECT_EQ(p.widthDots, 4961);
    EXPECT_EQ(p.lengthDots, 7016);
    EXPECT_EQ(p.printableWidthDots, 4961 - 2 * 100);
    EXPECT_EQ(p.printableLengthDots, 7016 - 2 * 110);
    EXPECT_EQ(p.printableWidth, (4961 - 200) * 254 / 600);
    EXPECT_EQ(p.printableLength, (7016 - 220) * 254 / 600);
    EXPECT_EQ(p.margins[0], 100);
    EXPECT_EQ(p.margins[3], 130);
    EXPECT_EQ(p.turnedLength, 2970);
    EXPECT_EQ(p.turnedWidth, 2100);
    EXPECT_EQ(p.turnedPrintableWidthDots, 7016 - 2 * 140);
    EXPECT_EQ(p.turnedPrintableLengthDots, 4961 - 2 * 150);
    EXPECT_EQ(p.turnedMargins[3], 170);
    EXPECT_EQ(p.flags, 0x21u);
    EXPECT_EQ(p.item9Mask, 0x3Fu);
    EXPECT_EQ(p.slot17, 17u);
    EXPECT_EQ(p.slot19, 19u); // at 68, before slot 18
    EXPECT_EQ(p.slot18, 18u);
    EXPECT_EQ(p.flags2, 0x41u);
    EXPECT_EQ(p.tiedMedia, 5);
    EXPECT_EQ(p.mediaCount, 2);
    EXPECT_EQ(p.media[0], 1);
    EXPECT_EQ(p.media[1], 257);
    EXPECT_EQ(p.tiedTray, 4);
    EXPECT_EQ(p.trayCount, 3);
    EXPECT_EQ(p.trays[2], 3);
}

TEST(HandLaidFamilies, FinisherStapleItemsOfAnOlderFile) {
    // 27 before 283: count at +0, entries from +4; an entry is {id, slot 1,
    // two words, count c} and c staple items of 4 slots.
    Rec r;
    r.U32(2);
    r.U32(1)
        .U32(11)
        .U32(0x100)
        .U32(0x200)
        .U32(2)
        .U32(7)
        .U32(71)
        .U32(0x7001)
        .U32(0x7002)
        .U32(8)
        .U32(81)
        .U32(0x8001)
        .U32(0x8002);
    r.U32(2).U32(12).U32(0x300).U32(0x400).U32(1).U32(9).U32(91).U32(0x9001).U32(0x9002);
    Bytes file = LayFile(280, {{model::kQueryFinishers, r.b}});
    Answer items = Ask(file, model::kQueryFinishers, 0, model::layout::kFinisherStaplesShort);
    ASSERT_EQ(items.result, 0u);
    ASSERT_EQ(items.count, 3u);
    ASSERT_EQ(items.data.size(), 3 * 16u);
    EXPECT_EQ(items.I16(0), 7);
    EXPECT_EQ(items.I16(2), 71);
    EXPECT_EQ(items.U32(4), 0x7001u);
    EXPECT_EQ(items.U32(8), 0x7002u);
    EXPECT_EQ(items.I16(32), 9);
    EXPECT_EQ(items.U32(40), 0x9002u);
    Answer second = Ask(file, model::kQueryFinishers, 2, model::layout::kFinisherShort);
    ASSERT_EQ(second.result, 0u);
    EXPECT_EQ(second.I16(0), 2);
    EXPECT_EQ(second.I16(2), 12);
    EXPECT_EQ(second.U32(4), 0x300u);
    EXPECT_EQ(second.U32(8), 0x400u);
    EXPECT_EQ(second.I16(12), 1);
    EXPECT_EQ(second.I16(14), 9);
}

TEST(HandLaidFamilies, OptionDirectoryListsItsCodes) {
    // 37: groups, each a counted list of codes.
    Rec dir;
    dir.U32(2).U32(2).U32(35).U32(36).U32(1).U32(25);
    Answer a = Ask(LayFile(303, {{model::kQueryOptionDirectory, dir.b}}),
                   model::kQueryOptionDirectory, 0, model::layout::kDirectoryCodes);
    ASSERT_EQ(a.result, 0u);
    EXPECT_EQ(a.data, (Bytes{35, 0, 0, 0, 36, 0, 0, 0, 25, 0, 0, 0}));
}

TEST(HandLaidFamilies, GrayWeightsAndTheSingleRecords) {
    Rec gray;
    gray.U32(60 | 170u << 16).U32(26);
    Answer a =
        Ask(LayFile(262, {{model::kQueryGrayWeights, gray.b}}), model::kQueryGrayWeights, 0, 1);
    ASSERT_EQ(a.result, 0u);
    model::GrayWeightsAnswer w;
    std::memcpy(&w, a.data.data(), sizeof w);
    EXPECT_EQ(w.red, 60);
    EXPECT_EQ(w.green, 170);
    EXPECT_EQ(w.blue, 26);
}

} // namespace
} // namespace model_test
