// The graphics core's small helpers: the formatter, sine and cosine, the
// device-mode merge, the ANSI text cut and the guard of the hooks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "devmode_revision.h"
#include "format_text.h"
#include "hook_guard.h"
#include "platform/codepage_ctl.h"
#include "text_convert.h"

namespace {

using inkforge::FormatArg;

TEST(FormatText, Conversions) {
    struct Case {
        const char* format;
        std::vector<FormatArg> args;
        const char* out;
    };
    const std::vector<Case> cases = {
        {"%03d", {7}, "007"},
        {"%2d", {1234}, "34"},
        {"%5d", {42}, "42"},
        {"%05d", {-42}, "-00042"},
        {"%3l", {7}, "007"},
        {"%u", {-1}, "4294967295"},
        {"%x", {5}, "05"},
        {"%X", {0xABCDEF}, "ABCDEF"},
        {"%x", {0}, "00"},
        {"%f", {0x180}, "1.5"},
        {"%f", {0x100}, "1"},
        {"%f", {0x101}, "1.004"},
        {"%f", {-0x180}, "-1.5"},
        {"%c%c", {'O', "K"}, "OK"},
        {"[%s]", {"PJL"}, "[PJL]"},
        {"%b %b", {1, 0}, "true false"},
        {"100%% %q", {}, "100% q"},
        {"%04d/%02d/%02d", {2026, 3, 4}, "2026/03/04"},
        // Conversions without an argument, or with one of the other kind.
        {"%d:%s:%x", {}, "0::00"},
        {"%s", {5}, ""},
        {"%d", {"x"}, "0"},
        // Five width digits at most; the sixth character is the conversion.
        {"%123456d", {7}, "6d"},
        {"ends with %", {}, "ends with "},
    };
    for (const Case& c : cases) {
        char out[64];
        size_t n =
            inkforge::FormatTextArgs(out, sizeof out, c.format, c.args.data(), c.args.size());
        EXPECT_STREQ(out, c.out) << c.format;
        EXPECT_EQ(n, std::strlen(c.out)) << c.format;
    }
}

TEST(FormatText, NeverWritesPastItsCapacity) {
    char buf[16];
    std::memset(buf, '#', sizeof buf);
    size_t n = inkforge::FormatText(buf, 5, "%s and more", {"abcdefgh"});
    EXPECT_EQ(n, 4u);
    EXPECT_STREQ(buf, "abcd");
    for (size_t i = 5; i < sizeof buf; ++i)
        EXPECT_EQ(buf[i], '#') << i;
    EXPECT_EQ(inkforge::FormatText(buf, 1, "xyz"), 0u);
    EXPECT_EQ(buf[0], '\0');
    buf[0] = '#';
    EXPECT_EQ(inkforge::FormatText(buf, 0, "xyz"), 0u);
    EXPECT_EQ(buf[0], '#');
}

TEST(Trigonometry, WholeDegreesAndQuadrants) {
    struct Case {
        double degrees, sine, cosine;
    };
    for (const Case& c : std::vector<Case>{{0, 0, 1},
                                           {30, 0.5, 0.8660254},
                                           {90, 1, 0},
                                           {150, 0.5, -0.8660254},
                                           {180, 0, -1},
                                           {210, -0.5, -0.8660254},
                                           {270, -1, 0},
                                           {330, -0.5, 0.8660254},
                                           {-90, -1, 0},
                                           {450, 1, 0},
                                           {720 + 60, 0.8660254, 0.5}}) {
        EXPECT_NEAR(inkforge::SinDegrees(c.degrees), c.sine, 1e-6) << c.degrees;
        EXPECT_NEAR(inkforge::CosDegrees(c.degrees), c.cosine, 1e-6) << c.degrees;
    }
    // Between whole degrees the table is interpolated.
    double s = inkforge::SinDegrees(30.5);
    EXPECT_GT(s, inkforge::SinDegrees(30));
    EXPECT_LT(s, inkforge::SinDegrees(31));
    EXPECT_NEAR(s, std::sin(30.5 * 3.14159265358979 / 180), 1e-4);
    EXPECT_EQ(inkforge::SinDegrees(std::nan("")), 0);
}

// A device mode block: public part of `size` bytes and `extra` private bytes.
std::vector<BYTE> Block(WORD size, WORD extra, WORD spec, BYTE fill) {
    std::vector<BYTE> b(std::max<size_t>(size, sizeof(DEVMODEW)) + extra, 0);
    for (size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<BYTE>(fill + i);
    auto* dm = reinterpret_cast<DEVMODEW*>(b.data());
    dm->dmSpecVersion = spec;
    dm->dmDriverVersion = 0x123;
    dm->dmSize = size;
    dm->dmDriverExtra = extra;
    return b;
}

TEST(MergeDevmode, CopiesTheSmallerPartsAndKeepsTheDestinationHeader) {
    struct Case {
        WORD sourceSize, sourceExtra, sourceSpec, destSize, destExtra;
        LONG result;
        WORD destSpec;
    };
    const std::vector<Case> cases = {
        {220, 1100, 0x401, 220, 1100, 1320, 0x401},
        {188, 112, 0, 220, 1100, 300, 0x401}, // the old size needs no version
        {212, 0, 0, 220, 1100, 212, 0x401},
        {220, 1100, 0x401, 188, 112, 300, 0x320},
        {100, 8, 0x401, 220, 1100, 108, 0x401}, // an unknown size with a version
        {100, 8, 0, 220, 1100, -1, 0},          // ... and without one
    };
    for (const Case& c : cases) {
        std::vector<BYTE> src = Block(c.sourceSize, c.sourceExtra, c.sourceSpec, 1);
        std::vector<BYTE> dst = Block(c.destSize, c.destExtra, 0x999, 100);
        std::vector<BYTE> before = dst;
        LONG r = inkforge::MergeDevmode(reinterpret_cast<DEVMODEW*>(src.data()),
                                        reinterpret_cast<DEVMODEW*>(dst.data()));
        EXPECT_EQ(r, c.result) << c.sourceSize << "->" << c.destSize;
        auto* dm = reinterpret_cast<DEVMODEW*>(dst.data());
        if (r < 0) {
            EXPECT_EQ(dst, before);
            continue;
        }
        EXPECT_EQ(dm->dmSpecVersion, c.destSpec);
        EXPECT_EQ(dm->dmDriverVersion, 0x123);
        EXPECT_EQ(dm->dmSize, c.destSize);
        EXPECT_EQ(dm->dmDriverExtra, c.destExtra);
        size_t standard = std::min(c.sourceSize, c.destSize);
        EXPECT_EQ(dm->dmFields, reinterpret_cast<DEVMODEW*>(src.data())->dmFields);
        size_t priv = std::min(c.sourceExtra, c.destExtra);
        if (priv) {
            EXPECT_EQ(dst[c.destSize], src[c.sourceSize]);
            EXPECT_EQ(dst[c.destSize + priv - 1], src[c.sourceSize + priv - 1]);
        }
        if (c.destExtra > priv) {
            EXPECT_EQ(dst[c.destSize + priv], before[c.destSize + priv]);
        }
        (void)standard;
    }
    DEVMODEW dm{};
    EXPECT_EQ(inkforge::MergeDevmode(nullptr, &dm), -1);
    std::vector<BYTE> zero = Block(0, 0, 0, 0);
    std::vector<BYTE> src = Block(220, 0, 0x401, 0);
    EXPECT_EQ(inkforge::MergeDevmode(reinterpret_cast<DEVMODEW*>(src.data()),
                                     reinterpret_cast<DEVMODEW*>(zero.data())),
              -1);
}

TEST(AnsiText, CutsByWholeCharactersOfTheCodePage) {
    EXPECT_EQ(inkforge::CutAnsi("abcdef", 4), "abcd");
    ASSERT_TRUE(platform::test::SetAnsiCodePage(932));
    // "aあいう" in code page 932: a, then three double-byte characters.
    std::string text = inkforge::ToAnsi(u"a\u3042\u3044\u3046");
    ASSERT_EQ(text.size(), 7u);
    EXPECT_EQ(inkforge::CutAnsi(text, 4), text.substr(0, 3));
    EXPECT_EQ(inkforge::CutAnsi(text, 5), text.substr(0, 5));
    // A lead byte whose second byte is missing is no character.
    EXPECT_EQ(inkforge::CutAnsi(text.substr(0, 4), 10), text.substr(0, 3));
}

BOOL Succeeds(int) {
    return TRUE;
}
BOOL RunsOutOfMemory(int) {
    throw std::bad_alloc();
}
HANDLE ThrowsAnything(int) {
    throw 7;
}
int gVoidCalls = 0;
void ThrowsFromVoid() {
    ++gVoidCalls;
    throw std::bad_alloc();
}

TEST(HookGuard, ExceptionsBecomeTheHooksFailure) {
    SetLastError(0);
    EXPECT_EQ(inkforge::HookGuard<&Succeeds>::Call(1), TRUE);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(inkforge::HookGuard<&RunsOutOfMemory>::Call(1), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(inkforge::HookGuard<&ThrowsAnything>::Call(1), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    inkforge::HookGuard<&ThrowsFromVoid>::Call();
    EXPECT_EQ(gVoidCalls, 1);
}

} // namespace
