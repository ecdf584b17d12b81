// The readers of outside bytes: the spooler's shadow and spool files and the
// overlay file, on fixtures laid out by hand from the formats' offsets.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "overlay_file.h"
#include "platform/codepage_ctl.h"
#include "spool_fixture.h"
#include "spool_copies.h"
#include "devmode_private.h"

namespace metaweave {
namespace {

using test::Bytes;
using test::Shadow;
using test::Spool;
using test::WideDevmode;

TEST(DevModeWToA, NamesConvertedSizesShrunkPrivatePartKept) {
    std::vector<uint8_t> ansi;
    auto wide = WideDevmode(u"Office P1", 9, 1100);
    ASSERT_TRUE(DevModeWToA(wide.data(), wide.size(), &ansi));
    ASSERT_EQ(ansi.size(), 156u + 1100u);
    const auto* dm = reinterpret_cast<const DEVMODEA*>(ansi.data());
    EXPECT_STREQ(reinterpret_cast<const char*>(dm->dmDeviceName), "Office P1");
    EXPECT_STREQ(reinterpret_cast<const char*>(dm->dmFormName), "A4");
    EXPECT_EQ(dm->dmSize, 156);
    EXPECT_EQ(dm->dmDriverExtra, 1100);
    EXPECT_EQ(dm->dmPaperSize, 9);
    EXPECT_EQ(dm->dmLogPixels, 600);
    EXPECT_EQ(ansi[156], 0xAB);
    EXPECT_EQ(ansi.back(), 0xCD);
    // A private part past the bytes given, or a standard part of a wrong size.
    EXPECT_FALSE(DevModeWToA(wide.data(), wide.size() - 1, &ansi));
    wide[68] = 100;
    EXPECT_FALSE(DevModeWToA(wide.data(), wide.size(), &ansi));
}

TEST(SpoolCopies, ADoubleByteFormNameIsCutBetweenWholeCharacters) {
    // A form name of 32 hiragana, in the device mode of a shadow file: under
    // code page 932 each takes two bytes, so the ANSI field's 31 bytes hold
    // 15 of them and the terminator, never a lead byte without its trail.
    auto shadow = Shadow(SpoolerKind::XP, 1);
    uint32_t devmodeAt = 0;
    std::memcpy(&devmodeAt, shadow.data() + 44, sizeof devmodeAt);
    for (size_t i = 0; i < CCHFORMNAME; ++i) {
        shadow[devmodeAt + 102 + 2 * i] = 0x42; // U+3042
        shadow[devmodeAt + 102 + 2 * i + 1] = 0x30;
    }
    ASSERT_TRUE(platform::test::SetAnsiCodePage(932));
    ShadowInfo info;
    std::string error;
    const bool read = ReadShadowFile(shadow.data(), shadow.size(), SpoolerKind::XP, &info, &error);
    platform::test::SetAnsiCodePage(1252);
    ASSERT_TRUE(read) << error;
    ASSERT_GE(info.devmode.size(), sizeof(DEVMODEA));
    const auto* form = reinterpret_cast<const DEVMODEA*>(info.devmode.data())->dmFormName;
    const std::string expected = [] {
        std::string s;
        for (int i = 0; i < 15; ++i)
            s += "\x82\xA0"; // hiragana a in code page 932
        return s;
    }();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(form), 31),
              expected + std::string(1, '\0'));
    EXPECT_EQ(form[31], 0);
}

TEST(SpoolCopies, ShadowAndSpoolFilesOfEverySystem) {
    for (auto kind : {SpoolerKind::NT4, SpoolerKind::Win2000, SpoolerKind::XP}) {
        ShadowInfo info;
        std::string error;
        auto shadow = Shadow(kind, 2);
        ASSERT_TRUE(ReadShadowFile(shadow.data(), shadow.size(), kind, &info, &error)) << error;
        EXPECT_EQ(info.printerName, "P1");
        EXPECT_EQ(info.documentName, "Report");
        EXPECT_EQ(info.pageCount, 2u);
        SpoolContents c;
        auto spool = Spool(kind);
        ASSERT_TRUE(ReadSpoolFile(spool.data(), spool.size(), kind, info.devmode, info.pageCount,
                                  &c, &error))
            << error;
        EXPECT_EQ(c.documentName, "Report");
        ASSERT_EQ(c.pages.size(), 2u);
        ASSERT_EQ(c.devmodes.size(), 2u);
        EXPECT_EQ(c.pages[0].devmode, 0u);
        EXPECT_EQ(c.pages[1].devmode, 1u); // the device mode recorded between the pages
        EXPECT_EQ(reinterpret_cast<const DEVMODEA*>(c.devmodes[1].data())->dmPaperSize, 11);
        const uint8_t* bits = nullptr;
        size_t n = 0;
        ASSERT_TRUE(
            PageRecordBits(spool.data(), spool.size(), c.pages[1].recordOffset, &bits, &n, &error));
        EXPECT_EQ(n, 24u);
        EXPECT_EQ(bits[0], 0x22);
    }
}

TEST(SpoolCopies, PrinterStreamRefusedByOlderReaders) {
    ShadowInfo info;
    std::string error;
    auto shadow = Shadow(SpoolerKind::XP, 2);
    ASSERT_TRUE(ReadShadowFile(shadow.data(), shadow.size(), SpoolerKind::XP, &info, &error));
    SpoolContents c;
    for (auto kind : {SpoolerKind::NT4, SpoolerKind::Win2000}) {
        auto spool = Spool(kind, 27);
        EXPECT_FALSE(ReadSpoolFile(spool.data(), spool.size(), kind, info.devmode, 2, &c, &error));
    }
    auto spool = Spool(SpoolerKind::XP, 27);
    EXPECT_TRUE(
        ReadSpoolFile(spool.data(), spool.size(), SpoolerKind::XP, info.devmode, 2, &c, &error));
}

TEST(SpoolCopies, BrokenRecordsEndTheWalkWithAnError) {
    ShadowInfo info;
    std::string error;
    auto shadow = Shadow(SpoolerKind::XP, 2);
    ASSERT_TRUE(ReadShadowFile(shadow.data(), shadow.size(), SpoolerKind::XP, &info, &error));
    const auto good = Spool(SpoolerKind::XP);
    const size_t first = 4 * 4 + 14; // header and "Report" with its terminator
    struct Case {
        const char* name;
        void (*change)(std::vector<uint8_t>&, size_t);
        uint32_t pages;
    } cases[] = {
        {"size 0", [](std::vector<uint8_t>& b, size_t at) { std::memset(&b[at + 4], 0, 4); }, 2},
        {"size past the end", [](std::vector<uint8_t>& b, size_t at) { b[at + 7] = 0x7F; }, 2},
        {"cut in a record head", [](std::vector<uint8_t>& b, size_t) { b.resize(b.size() - 20); },
         2},
        {"more pages than recorded", [](std::vector<uint8_t>&, size_t) {}, 3},
        {"header size past the end", [](std::vector<uint8_t>& b, size_t) { b[7] = 0x40; }, 2},
    };
    for (const auto& c : cases) {
        auto bytes = good;
        c.change(bytes, first + 2); // the first record, behind the padding
        SpoolContents contents;
        EXPECT_FALSE(ReadSpoolFile(bytes.data(), bytes.size(), SpoolerKind::XP, info.devmode,
                                   c.pages, &contents, &error))
            << c.name;
        EXPECT_TRUE(contents.pages.empty()) << c.name;
    }
    // Offsets of the shadow file outside it.
    auto bad = shadow;
    bad[44] = 0xFF, bad[45] = 0xFF;
    EXPECT_FALSE(ReadShadowFile(bad.data(), bad.size(), SpoolerKind::XP, &info, &error));
    EXPECT_FALSE(ReadShadowFile(bad.data(), 40, SpoolerKind::XP, &info, &error));
}

TEST(OverlayFile, HeaderLaidOutByHand) {
    Bytes f;
    f.Raw({'Z', 'O', 'R', 'D'}).U32(288).U32(2).U32(1).U32(0x80060001);
    f.U16(9).U16(2100).U16(2970).U16(1).Zeros(256).U32(8).Raw({1, 2, 3, 4, 5, 6, 7, 8});
    ASSERT_EQ(f.size(), 296u);
    OverlayHeader h;
    const uint8_t* bits = nullptr;
    size_t n = 0;
    std::string error;
    ASSERT_TRUE(ReadOverlayFile(f.b.data(), f.size(), &h, &bits, &n, &error)) << error;
    EXPECT_EQ(h.systemVersion, 0x80060001u);
    EXPECT_EQ(h.paperSize, 9);
    EXPECT_EQ(h.paperWidth, 2100);
    EXPECT_EQ(h.paperLength, 2970);
    EXPECT_EQ(h.orientation, 1);
    EXPECT_EQ(n, 8u);
    EXPECT_EQ(bits[7], 8);
    // Our writer lays the same bytes.
    EXPECT_EQ(OverlayFileBytes(h, bits, n), f.b);

    struct Case {
        const char* name;
        size_t at;
        uint8_t value;
    } cases[] = {{"magic", 0, 'X'}, {"version", 8, 3}, {"offset", 4, 0xFF}, {"size", 284, 9}};
    for (const auto& c : cases) {
        auto bytes = f.b;
        bytes[c.at] = c.value;
        EXPECT_FALSE(ReadOverlayFile(bytes.data(), bytes.size(), &h, &bits, &n, &error)) << c.name;
    }
    EXPECT_FALSE(ReadOverlayFile(f.b.data(), 200, &h, &bits, &n, &error));
}

} // namespace
} // namespace metaweave
