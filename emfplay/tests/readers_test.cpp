// The readers of outside bytes: the spooler's shadow and spool files and the
// overlay file, on fixtures laid out by hand from the formats' offsets.
#include <gtest/gtest.h>

#include <cstring>

#include "overlay_file.h"
#include "spool_copies.h"
#include "win/devmode_private.h"

namespace metaweave {
namespace {

class Bytes {
  public:
    Bytes& U32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    Bytes& U16(uint16_t v) {
        b.push_back(static_cast<uint8_t>(v));
        b.push_back(static_cast<uint8_t>(v >> 8));
        return *this;
    }
    Bytes& Wide(const std::u16string& s) {
        for (char16_t c : s)
            U16(c);
        return U16(0);
    }
    Bytes& Raw(const std::vector<uint8_t>& v) {
        b.insert(b.end(), v.begin(), v.end());
        return *this;
    }
    Bytes& Zeros(size_t n) {
        b.insert(b.end(), n, 0);
        return *this;
    }
    void Put32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    size_t size() const { return b.size(); }
    std::vector<uint8_t> b;
};

// A wide device mode: 220-byte standard part (name, spec version .. collate,
// form name, the rest) and a private part of `extra` bytes.
std::vector<uint8_t> WideDevmode(const std::u16string& name, short paper, uint16_t extra) {
    Bytes d;
    d.Zeros(220 + extra);
    for (size_t i = 0; i < name.size(); ++i) {
        d.b[2 * i] = static_cast<uint8_t>(name[i]);
        d.b[2 * i + 1] = static_cast<uint8_t>(name[i] >> 8);
    }
    d.b[64] = 0x01, d.b[65] = 0x04; // dmSpecVersion
    d.b[68] = 220, d.b[69] = 0;     // dmSize
    d.b[70] = static_cast<uint8_t>(extra), d.b[71] = static_cast<uint8_t>(extra >> 8);
    d.b[78] = static_cast<uint8_t>(paper); // dmPaperSize
    const char16_t form[] = u"A4";
    d.b[102] = static_cast<uint8_t>(form[0]), d.b[104] = static_cast<uint8_t>(form[1]);
    d.b[166] = 0x58, d.b[167] = 0x02; // dmLogPixels 600
    if (extra) d.b[220] = 0xAB, d.b[220 + extra - 1] = 0xCD;
    return d.b;
}

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

// A shadow file of the later layout: names and device mode behind the record.
std::vector<uint8_t> Shadow(SpoolerKind kind, uint32_t pages) {
    const bool nt4 = kind == SpoolerKind::NT4;
    Bytes s;
    s.Zeros(128);
    size_t printer = s.size();
    s.Wide(u"P1");
    size_t document = s.size();
    s.Wide(u"Report");
    size_t devmode = s.size();
    s.Raw(WideDevmode(u"P1", 9, PRIVATE_DEVMODE_SIZE));
    s.Put32(nt4 ? 32 : 36, static_cast<uint32_t>(printer));
    s.Put32(nt4 ? 20 : 24, static_cast<uint32_t>(document));
    s.Put32(nt4 ? 40 : 44, static_cast<uint32_t>(devmode));
    s.Put32(nt4 ? 84 : 88, pages);
    return s.b;
}

// A spool file: header, document name, then per page a metafile-data record
// and its end record, with a device-mode record before the second page.
std::vector<uint8_t> Spool(SpoolerKind kind, uint8_t first = 0) {
    Bytes s;
    s.U32(0x00010000).U32(0).U32(16).U32(0).Wide(u"Report");
    while (s.size() % 4)
        s.b.push_back(0);
    s.Put32(4, static_cast<uint32_t>(s.size()));
    const std::vector<uint8_t> page1(40, 0x11), page2(24, 0x22);
    auto page = [&](const std::vector<uint8_t>& bits) {
        if (kind == SpoolerKind::NT4) {
            s.U32(kEmriMetafile).U32(static_cast<uint32_t>(bits.size())).Raw(bits);
        } else {
            s.U32(kEmriMetafileData).U32(static_cast<uint32_t>(bits.size())).Raw(bits);
            s.U32(kEmriMetafileExt).U32(8).U32(0).U32(0);
        }
    };
    page(page1);
    auto dm = WideDevmode(u"P1", 11, PRIVATE_DEVMODE_SIZE);
    s.U32(kEmriDevmode).U32(static_cast<uint32_t>(dm.size())).Raw(dm);
    page(page2);
    if (first) s.b[0] = first;
    return s.b;
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
