// Device modes between their ANSI and wide forms, read only within their own
// sizes, and the spool-side playback decision.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "devmode_convert.h"
#include "platform/codepage_ctl.h"

namespace {

using namespace sheetwright;
using Bytes = std::vector<BYTE>;

void Put16(Bytes& b, size_t off, WORD v) {
    b[off] = static_cast<BYTE>(v);
    b[off + 1] = static_cast<BYTE>(v >> 8);
}
void Put32(Bytes& b, size_t off, DWORD v) {
    for (int i = 0; i < 4; ++i)
        b[off + i] = static_cast<BYTE>(v >> (8 * i));
}
WORD Get16(const Bytes& b, size_t off) {
    return static_cast<WORD>(b[off] | (b[off + 1] << 8));
}

// An ANSI device mode laid out by hand: names at 0 and 70, spec version 32,
// dmSize 36, dmDriverExtra 38, dmFields 40, copies 54, collate 68,
// dmLogPixels 102, media type 132; the private bytes behind the standard part.
Bytes HandAnsi(WORD size, WORD extra) {
    Bytes b(size + extra, 0);
    std::memcpy(b.data(), "Office Printer", 14);
    Put16(b, 32, 0x401);
    Put16(b, 34, 0x500);
    Put16(b, 36, size);
    Put16(b, 38, extra);
    Put32(b, 40, 0x00008100); // copies and collate
    Put16(b, 54, 2);
    Put16(b, 68, 1);
    std::memcpy(b.data() + 70, "A4 \xE9t\xE9", 6); // "A4 été" in code page 1252
    Put16(b, 102, 96);
    if (size >= 136) Put32(b, 132, 0x11223344);
    for (size_t i = 0; i < extra; ++i)
        b[size + i] = static_cast<BYTE>(i * 7 + 1);
    return b;
}

// The same laid out wide: names at 0 and 102 (two bytes a character), spec
// version 64, dmSize 68, dmDriverExtra 70, dmFields 72, copies 86, collate
// 100, dmLogPixels 166, media type 196.
Bytes HandWide(WORD size, WORD extra) {
    Bytes b(size + extra, 0);
    const char16_t name[] = u"Office Printer";
    std::memcpy(b.data(), name, 14 * 2);
    Put16(b, 64, 0x401);
    Put16(b, 66, 0x500);
    Put16(b, 68, size);
    Put16(b, 70, extra);
    Put32(b, 72, 0x00008100);
    Put16(b, 86, 2);
    Put16(b, 100, 1);
    const char16_t form[] = u"A4 \u00e9t\u00e9";
    std::memcpy(b.data() + 102, form, 6 * 2);
    Put16(b, 166, 96);
    if (size >= 200) Put32(b, 196, 0x11223344);
    for (size_t i = 0; i < extra; ++i)
        b[size + i] = static_cast<BYTE>(i * 7 + 1);
    return b;
}

TEST(DevmodeConvert, HandLaidFormsConvertBothWays) {
    struct Case {
        WORD ansiSize, extra;
    } cases[] = {{DEVMODEA_SIZE, PRIVATE_DEVMODE_SIZE},
                 {DEVMODEA_SIZE_320, PRIVATE_DEVMODE_SIZE_908},
                 {DEVMODEA_SIZE, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ansiSize);
        const WORD wideSize = c.ansiSize + 64;
        const Bytes ansi = HandAnsi(c.ansiSize, c.extra);
        Bytes wide(wideSize + c.extra + 16, 0xCC);
        ASSERT_TRUE(DevModeAToW(reinterpret_cast<const DEVMODEA*>(ansi.data()), ansi.size(),
                                reinterpret_cast<DEVMODEW*>(wide.data()), wide.size()));
        const Bytes expected = HandWide(wideSize, c.extra);
        EXPECT_EQ(Bytes(wide.begin(), wide.begin() + expected.size()), expected);
        EXPECT_EQ(wide[expected.size()], 0xCC); // nothing written behind it

        Bytes back(ansi.size(), 0xCC);
        ASSERT_TRUE(DevModeWToA(reinterpret_cast<const DEVMODEW*>(expected.data()), expected.size(),
                                reinterpret_cast<DEVMODEA*>(back.data()), back.size()));
        EXPECT_EQ(back, ansi);
    }
}

TEST(DevmodeConvert, BadSizesLeaveTheOutputUntouched) {
    // Each case: the ANSI device mode's sizes, the bytes it really holds, the
    // room of the output. None may be read past its end nor written.
    struct Case {
        const char* what;
        WORD size, extra;
        size_t held, room;
    } cases[] = {
        {"private part past the end", DEVMODEA_SIZE, PRIVATE_DEVMODE_SIZE, DEVMODEA_SIZE + 100,
         4000},
        {"standard part past the end", 0xFFFF, 0, DEVMODEA_SIZE, 0x20000},
        {"stops inside the form name", 90, 0, 90, 4000},
        {"too short for its sizes", DEVMODEA_SIZE, 0, 30, 4000},
        {"output too small", DEVMODEA_SIZE, PRIVATE_DEVMODE_SIZE, 1256, 1319},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes ansi = HandAnsi(DEVMODEA_SIZE, 0);
        Put16(ansi, 36, c.size);
        Put16(ansi, 38, c.extra);
        ansi.resize(c.held, 0);
        Bytes wide(c.room, 0xCC);
        EXPECT_FALSE(DevModeAToW(reinterpret_cast<const DEVMODEA*>(ansi.data()), ansi.size(),
                                 reinterpret_cast<DEVMODEW*>(wide.data()), wide.size()));
        EXPECT_EQ(wide, Bytes(c.room, 0xCC));

        // The same sizes moved to the wide form.
        Bytes w = HandWide(DEVMODEW_SIZE, 0);
        Put16(w, 68, c.size == DEVMODEA_SIZE ? DEVMODEW_SIZE : c.size);
        Put16(w, 70, c.extra);
        w.resize(c.held + (c.held >= 102 ? 64 : 0), 0);
        Bytes a(c.room - 64, 0xCC);
        EXPECT_FALSE(DevModeWToA(reinterpret_cast<const DEVMODEW*>(w.data()), w.size(),
                                 reinterpret_cast<DEVMODEA*>(a.data()), a.size()));
        EXPECT_EQ(a, Bytes(c.room - 64, 0xCC));
    }
    DEVMODEW w{};
    DEVMODEA a{};
    EXPECT_FALSE(DevModeAToW(nullptr, sizeof a, &w, sizeof w));
    EXPECT_FALSE(DevModeAToW(&a, sizeof a, nullptr, sizeof w));
    EXPECT_FALSE(DevModeWToA(nullptr, sizeof w, &a, sizeof a));
}

TEST(DevmodeConvert, NamesKeepTheirTerminatorAndWholeCharacters) {
    // A wide name of 32 characters, none a terminator: 31 go across.
    Bytes w = HandWide(DEVMODEW_SIZE, 0);
    for (size_t i = 0; i < CCHDEVICENAME; ++i)
        Put16(w, i * 2, 'A' + (i % 26));
    Bytes a(DEVMODEA_SIZE, 0xCC);
    ASSERT_TRUE(DevModeWToA(reinterpret_cast<const DEVMODEW*>(w.data()), w.size(),
                            reinterpret_cast<DEVMODEA*>(a.data()), a.size()));
    EXPECT_EQ(a[30], 'A' + 4);
    EXPECT_EQ(a[31], 0);
    EXPECT_EQ(Get16(a, 36), DEVMODEA_SIZE);

    // Under a double-byte code page a character that would straddle the last
    // byte is left out rather than cut.
    ASSERT_TRUE(platform::test::SetAnsiCodePage(932));
    Bytes w2 = HandWide(DEVMODEW_SIZE, 0);
    Put16(w2, 0, 'x');
    for (size_t i = 1; i < CCHDEVICENAME; ++i)
        Put16(w2, i * 2, 0x3042); // hiragana a
    Bytes a2(DEVMODEA_SIZE, 0xCC);
    EXPECT_TRUE(DevModeWToA(reinterpret_cast<const DEVMODEW*>(w2.data()), w2.size(),
                            reinterpret_cast<DEVMODEA*>(a2.data()), a2.size()));
    platform::test::SetAnsiCodePage(1252);
    EXPECT_EQ(a2[0], 'x');
    EXPECT_NE(a2[29], 0); // 'x' and 15 characters of two bytes fill 31
    EXPECT_EQ(a2[31], 0);
}

void Collated(DEVMODE_IMAGEW& i, short copies) {
    i.dm.dmFields = DM_COPIES | DM_COLLATE;
    i.dm.dmCopies = copies;
    i.dm.dmCollate = DMCOLLATE_TRUE;
}

DEVMODE_IMAGEW Image() {
    DEVMODE_IMAGEW im{};
    im.dm.dmSize = DEVMODEW_SIZE;
    im.dm.dmDriverExtra = PRIVATE_DEVMODE_SIZE;
    return im;
}

TEST(DevmodeConvert, PlaybackDecision) {
    struct Case {
        const char* what;
        void (*set)(DEVMODE_IMAGEW&);
        bool playback;
    } cases[] = {
        {"nothing asked", [](DEVMODE_IMAGEW&) {}, false},
        {"two collated copies", [](DEVMODE_IMAGEW& i) { Collated(i, 2); }, true},
        {"collated copies switched off",
         [](DEVMODE_IMAGEW& i) {
             Collated(i, 2);
             i.priv.EmfMode = 0x4;
         },
         false},
        {"one copy collated", [](DEVMODE_IMAGEW& i) { Collated(i, 1); }, false},
        {"device collates",
         [](DEVMODE_IMAGEW& i) {
             Collated(i, 3);
             i.priv.PrivateFlags = 1u << 15;
         },
         false},
        {"device collates, driver asked to",
         [](DEVMODE_IMAGEW& i) {
             Collated(i, 3);
             i.priv.PrivateFlags = 1u << 15;
             i.priv.CollateByDriver = 1;
         },
         true},
        {"watermark",
         [](DEVMODE_IMAGEW& i) {
             i.priv.FeatureFlags = 1u << 19;
             i.priv.WatermarkFlags = 2;
         },
         true},
        {"watermark not offered", [](DEVMODE_IMAGEW& i) { i.priv.WatermarkFlags = 1; }, false},
        {"overlay",
         [](DEVMODE_IMAGEW& i) {
             i.priv.FeatureFlags = 1u << 18;
             i.priv.OverlayFlags = 1;
         },
         true},
        {"booklet, two-sided on the short edge",
         [](DEVMODE_IMAGEW& i) {
             i.priv.FeatureFlags = 1u << 2;
             i.priv.LayoutKind = 2;
             i.dm.dmFields = DM_DUPLEX;
             i.dm.dmDuplex = DMDUP_HORIZONTAL;
         },
         true},
        {"pages per sheet",
         [](DEVMODE_IMAGEW& i) {
             i.priv.FeatureFlags = 1u << 3;
             i.priv.LayoutKind = 1;
         },
         true},
        {"fit to paper without an output paper",
         [](DEVMODE_IMAGEW& i) {
             i.priv.FeatureFlags = 1u << 0;
             i.priv.LayoutKind = 8;
         },
         false},
        {"fit to paper",
         [](DEVMODE_IMAGEW& i) {
             i.priv.FeatureFlags = 1u << 0;
             i.priv.LayoutKind = 8;
             i.priv.OutputPaperId = 9;
         },
         true},
        {"reverse order",
         [](DEVMODE_IMAGEW& i) {
             i.priv.PrivateFlags = 1u << 12;
             i.priv.ReverseOrder = 1;
         },
         true},
        {"front cover from another tray",
         [](DEVMODE_IMAGEW& i) {
             i.priv.PrivateFlags = (1u << 21) | (1u << 22);
             i.priv.CoverFlags = 1;
         },
         true},
        {"back cover without its tray bit",
         [](DEVMODE_IMAGEW& i) {
             i.priv.PrivateFlags = (1u << 21) | (1u << 22);
             i.priv.CoverFlags = 2;
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DEVMODE_IMAGEW im = Image();
        im.priv.EmfMode |= 0x1; // a stale mark is cleared when no longer needed
        c.set(im);
        EXPECT_EQ(DecideSpoolPlayback(&im.dm, &im.priv), c.playback ? TRUE : FALSE);
        EXPECT_EQ((im.priv.EmfMode & 0x1) != 0, c.playback);
    }
}

} // namespace
