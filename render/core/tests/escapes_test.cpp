// The escapes of a job's device context, called as the engine calls them and
// through ExtEscape on a printer device context.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "escapes.h"
#include "hooks.h"
#include "platform/loader_ctl.h"
#include "render_fixture.h"
#include "win/base.h"
#include "win/gdi.h"

namespace {

using namespace render_test;
using namespace inkforge;

class EscapeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::test::MakeModuleAbsent(u"wsock32.dll");
        InstallPrinter(u"P1", SampleModel("CX5540"));
    }
};

ULONG Esc(SURFOBJ* so, ULONG esc, std::vector<BYTE> in, ULONG cjOut = 0, void* out = nullptr) {
    return DrvEscape(so, esc, static_cast<ULONG>(in.size()), in.empty() ? nullptr : in.data(),
                     cjOut, out);
}

std::vector<BYTE> U16(WORD v) {
    return {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8)};
}
std::vector<BYTE> U32(DWORD v) {
    std::vector<BYTE> b(4);
    std::memcpy(b.data(), &v, 4);
    return b;
}

TEST_F(EscapeTest, QueryEscSupportAnswersTheTableAndReadsOnlyTwoBytes) {
    struct Case {
        std::vector<BYTE> in;
        ULONG want;
    } cases[] = {
        {U16(8), 1},
        {U16(32762), 1},
        {U16(32764), 1},
        {U16(32765), 1},
        {U16(32766), 1},
        {U16(32767), 1},
        {U16(17), 999},
        {U16(32763), 0},
        {U16(9), 0},
        {U16(0), 0},
        {{0xFF}, 0},                         // one byte: too short to hold an escape number
        {{}, 0},                             // no input
        {{0xFF, 0x7F, 0xAA, 0xBB, 0xCC}, 1}, // oversized: only the first two bytes count
    };
    // No surface at all: the query does not look at it.
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in.size());
        EXPECT_EQ(Esc(nullptr, kEscQuerySupport, c.in), c.want);
    }
}

TEST_F(EscapeTest, PrivateEscapesNeedTheDeviceRecord) {
    SURFOBJ so{};
    BYTE junk[64] = {};
    so.dhpdev = reinterpret_cast<DHPDEV>(junk);
    for (ULONG esc : {17u, 32762u, 32764u, 32765u, 32766u, 32767u}) {
        SetLastError(0);
        EXPECT_EQ(Esc(&so, esc, U32(1)), 0u) << esc;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(Esc(nullptr, esc, {}), 0u) << esc;
    }
    // Unknown numbers are not supported, whatever the surface.
    EXPECT_EQ(Esc(&so, 32763, {}), 0u);
    EXPECT_EQ(Esc(&so, 4, {}), 0u);
}

TEST_F(EscapeTest, SetCopyCountClampsAndAnswersWithinTheBuffers) {
    TestDevice dev(u"P1", false);
    SURFOBJ so{};
    so.dhpdev = reinterpret_cast<DHPDEV>(dev.get());
    struct Case {
        std::vector<BYTE> in;
        ULONG result;
        short copies; // 0: unchanged
    } cases[] = {
        {U32(0), 1, 1},
        {U32(1), 1, 1},
        {U32(998), 1, 998},
        {U32(999), 1, 999},
        {U32(5000), 1, 999},
        {U32(0xFFFFFFFF), 1, 999}, // -1 taken as unsigned
        {U32(0x80000000), 1, 999},
        {{7, 0, 0}, 0xFFFFFFFF, 0}, // three bytes: no count
        {{}, 0xFFFFFFFF, 0},
        {{3, 0, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE}, 1, 3}, // oversized: first four bytes
    };
    for (const Case& c : cases) {
        dev->devmode.dm.dmCopies = 42;
        BYTE out[8];
        std::memset(out, 0xCD, sizeof out);
        EXPECT_EQ(Esc(&so, kEscSetCopyCount, c.in, 4, out), c.result);
        short want = c.copies ? c.copies : 42;
        EXPECT_EQ(dev->devmode.dm.dmCopies, want);
        INT got;
        std::memcpy(&got, out, 4);
        if (c.copies) {
            EXPECT_EQ(got, c.copies);
        }
        EXPECT_EQ(out[4], 0xCD); // nothing beyond cjOut
    }
    // A short output buffer gets nothing.
    BYTE small[3] = {0xCD, 0xCD, 0xCD};
    EXPECT_EQ(Esc(&so, kEscSetCopyCount, U32(5), 3, small), 1u);
    EXPECT_EQ(small[0], 0xCD);
    EXPECT_EQ(dev->devmode.dm.dmCopies, 5);
}

TEST_F(EscapeTest, OutputFileNameIsReadWithinTheInputAndClearedByEmptyInput) {
    TestDevice dev(u"P1", false);
    SURFOBJ so{};
    so.dhpdev = reinterpret_cast<DHPDEV>(dev.get());
    auto bytes = [](const std::u16string& s, size_t extraNul) {
        std::vector<BYTE> b((s.size() + extraNul) * 2, 0);
        std::memcpy(b.data(), s.data(), s.size() * 2);
        return b;
    };
    struct Case {
        std::vector<BYTE> in;
        const char16_t* want; // null: cleared
    } cases[] = {
        {bytes(u"C:\\out\\a.prn", 1), u"C:\\out\\a.prn"},
        {bytes(u"C:\\b.prn", 0), u"C:\\b.prn"}, // no NUL within the input
        {bytes(u"C:\\c.prn", 4), u"C:\\c.prn"}, // oversized input
        {[&] {
             auto b = bytes(u"C:\\d.prn", 0);
             b.push_back('x');
             return b;
         }(),
         u"C:\\d.prn"}, // odd size
        {{}, nullptr},
        {{0, 0}, u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Esc(&so, kEscSetOutputFileName, c.in), 1u);
        if (!c.want) {
            EXPECT_EQ(dev->outputFile, nullptr);
        } else {
            ASSERT_NE(dev->outputFile, nullptr);
            EXPECT_EQ(std::u16string(dev->outputFile), std::u16string(c.want));
        }
    }
}

TEST_F(EscapeTest, JobStateDevmodeCancelAndCompletion) {
    TestDevice dev(u"P1", false);
    SURFOBJ so{};
    so.dhpdev = reinterpret_cast<DHPDEV>(dev.get());
    DWORD state = 0xFFFF;
    dev->jobFlags = 0;
    EXPECT_EQ(Esc(&so, kEscGetJobState, {}, 4, &state), 1u);
    EXPECT_EQ(state, 0u);
    dev->jobFlags = job::Started;
    EXPECT_EQ(Esc(&so, kEscGetJobState, {}, 4, &state), 1u);
    EXPECT_EQ(state, 2u);
    dev->pageCount = 1;
    EXPECT_EQ(Esc(&so, kEscGetJobState, {}, 8, &state), 1u);
    EXPECT_EQ(state, 6u);
    dev->modeFlags |= mode::SpoolSide;
    EXPECT_EQ(Esc(&so, kEscGetJobState, {}, 4, &state), 1u);
    EXPECT_EQ(state, 14u);
    // Too small an output: answered, nothing written.
    BYTE small[3] = {0xCD, 0xCD, 0xCD};
    EXPECT_EQ(Esc(&so, kEscGetJobState, {}, 3, small), 1u);
    EXPECT_EQ(small[0], 0xCD);
    EXPECT_EQ(Esc(&so, kEscGetJobState, {}, 4, nullptr), 1u);

    std::vector<BYTE> image(1321, 0xCD);
    EXPECT_EQ(Esc(&so, kEscGetDriverDevmode, {}, 1319, image.data()), 0u);
    EXPECT_EQ(image[0], 0xCD);
    EXPECT_EQ(Esc(&so, kEscGetDriverDevmode, {}, 1320, nullptr), 0u);
    EXPECT_EQ(Esc(&so, kEscGetDriverDevmode, {}, 1321, image.data()), 1u);
    EXPECT_EQ(std::memcmp(image.data(), &dev->devmode, 1320), 0);
    EXPECT_EQ(image[1320], 0xCD);

    EXPECT_EQ(Esc(&so, kEscCompleteOutputFile, {1, 2, 3}), 1u);
    EXPECT_EQ(Esc(&so, kEscCompleteOutputFile, {}), 1u);
    EXPECT_FALSE(dev->jobFlags & job::Cancelled);
    EXPECT_EQ(Esc(&so, kEscMarkJobCancelled, {9, 9}), 1u);
    EXPECT_TRUE(dev->jobFlags & job::Cancelled);
}

TEST_F(EscapeTest, ThroughTheDeviceContext) {
    HDC hdc = CreateDCW(nullptr, u"P1", nullptr, nullptr);
    ASSERT_NE(hdc, nullptr);
    WORD q = kEscGetJobState;
    EXPECT_EQ(ExtEscape(hdc, QUERYESCSUPPORT, 2, reinterpret_cast<LPCSTR>(&q), 0, nullptr), 1);
    DWORD state = 99;
    EXPECT_EQ(ExtEscape(hdc, 32764, 0, nullptr, 4, reinterpret_cast<LPSTR>(&state)), 1);
    EXPECT_EQ(state, 0u);
    DOCINFOW di{sizeof(DOCINFOW), u"Doc", nullptr, nullptr, 0};
    ASSERT_GT(StartDocW(hdc, &di), 0);
    EXPECT_EQ(ExtEscape(hdc, 32764, 0, nullptr, 4, reinterpret_cast<LPSTR>(&state)), 1);
    EXPECT_EQ(state, 2u);
    ASSERT_GT(StartPage(hdc), 0);
    EXPECT_EQ(ExtEscape(hdc, 32764, 0, nullptr, 4, reinterpret_cast<LPSTR>(&state)), 1);
    EXPECT_EQ(state, 6u);
    DWORD copies = 3;
    INT got = 0;
    EXPECT_EQ(ExtEscape(hdc, SETCOPYCOUNT, 4, reinterpret_cast<LPCSTR>(&copies), 4,
                        reinterpret_cast<LPSTR>(&got)),
              1);
    EXPECT_EQ(got, 3);
    EXPECT_GT(EndPage(hdc), 0);
    EXPECT_GT(EndDoc(hdc), 0);
    EXPECT_TRUE(DeleteDC(hdc));
}

} // namespace
