// The bitmap hooks of device-surface jobs called directly on a physical
// device of the test printer: the rules every hook starts with, copies from
// the page, the model's choice of the engine for stretches, and the part of
// the source that a clipped stretch sends. The stream is read back by the
// stream decoder.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "stream_opcodes.h"
#include "imaging_hooks.h"
#include "output_writer.h"
#include "pdev.h"
#include "platform/engine_objects.h"
#include "platform/testctl.h"
#include "render_fixture.h"
#include "streamdump/decoder.h"
#include "win/base.h"
#include "win/winddi.h"

namespace {

using namespace render_test;
namespace tk = stream;
using namespace inkforge;

template <class F> Bytes Captured(inkforge::PDEV* pdev, F&& f) {
    inkforge::StartCapture(pdev);
    f();
    inkforge::FlushOutput(pdev);
    inkforge::StopCapture(pdev);
    const BYTE* p = static_cast<const BYTE*>(GlobalLock(pdev->captureBlock));
    Bytes out(p, p + pdev->captureLength);
    GlobalUnlock(pdev->captureBlock);
    return out;
}

// The stream decoder reads drawing tokens inside a graphics job.
streamdump::Decoding DecodeInJob(const Bytes& body) {
    static const std::string head = "\x1B%-12345X@PJL ENTER LANGUAGE=IMAGING\r\n\x1B\x27\x31";
    Bytes all(head.begin(), head.end());
    all.insert(all.end(), body.begin(), body.end());
    return streamdump::Decode(all);
}

long Whole(const streamdump::Token& t, int attribute) {
    long v = -1;
    const streamdump::TokenValue* value = t.Find(attribute);
    if (value) value->Whole(&v);
    return v;
}

// Each image of a stream as "at x,y source WxH to W,H".
std::vector<std::string> Images(const streamdump::Decoding& d) {
    std::vector<std::string> out;
    std::string at = "?";
    for (const auto& it : d.items) {
        if (it.kind != streamdump::ItemKind::Token) continue;
        const streamdump::TokenValue* v = nullptr;
        if (it.opcode == tk::kSetCursor && (v = it.token.Find(tk::kPoint)) &&
            v->numbers.size() == 2)
            at = std::to_string(static_cast<long>(v->numbers[0])) + "," +
                 std::to_string(static_cast<long>(v->numbers[1]));
        if (it.opcode != tk::kBeginImage) continue;
        std::string to;
        if ((v = it.token.Find(tk::kDestinationSize)))
            for (double n : v->numbers)
                to += (to.empty() ? "" : ",") + std::to_string(static_cast<long>(n));
        out.push_back("at " + at + " source " + std::to_string(Whole(it.token, tk::kSourceWidth)) +
                      "x" + std::to_string(Whole(it.token, tk::kSourceHeight)) + " to " + to);
    }
    return out;
}

// An engine bitmap, locked, deleted with the object.
class Bitmap {
  public:
    Bitmap(LONG w, LONG h, ULONG format) {
        handle_ =
            reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{w, h}, 0, format, BMF_TOPDOWN, nullptr));
        so_ = handle_ ? EngLockSurface(handle_) : nullptr;
    }
    ~Bitmap() {
        if (so_) EngUnlockSurface(so_);
        if (handle_) EngDeleteSurface(handle_);
    }
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;
    SURFOBJ* get() const { return so_; }
    SURFOBJ* operator->() const { return so_; }
    BYTE* Row(LONG y) const { return static_cast<BYTE*>(so_->pvScan0) + y * so_->lDelta; }
    void Fill(BYTE v) const {
        for (LONG y = 0; y < so_->sizlBitmap.cy; ++y)
            std::memset(Row(y), v, static_cast<size_t>(std::abs(so_->lDelta)));
    }

  private:
    HSURF handle_ = nullptr;
    SURFOBJ* so_ = nullptr;
};

class DeviceHooks : public ::testing::Test {
  protected:
    void SetUp() override { InstallPrinter(u"P1", SampleModel("CX5540")); }
};

// The page as the hooks see it: the device surface of the physical device.
SURFOBJ PageOf(inkforge::PDEV* pdev) {
    SURFOBJ page{};
    page.iType = STYPE_DEVICE;
    page.dhpdev = reinterpret_cast<DHPDEV>(pdev);
    page.iBitmapFormat = BMF_24BPP;
    page.sizlBitmap = SIZEL{4960, 7014};
    return page;
}

// Every hook checks the job first: a cancelled one fails, a page that is not
// printed (none open, or a page past the first of a first-page-only job)
// succeeds, and neither touches the stream; the no-operation raster
// operation succeeds without output.
TEST_F(DeviceHooks, TheJobIsCheckedBeforeAnythingIsDrawn) {
    TestDevice dev(u"P1", false);
    Bitmap src(8, 8, BMF_24BPP);
    ASSERT_NE(src.get(), nullptr);
    src.Fill(0x40);
    XLATEOBJ trivial{};
    trivial.flXlate = XO_TRIVIAL;
    SURFOBJ page = PageOf(dev.get());
    BRUSHOBJ solid{};
    solid.iSolidColor = 0;
    RECTL dest{100, 100, 116, 116}, srcRect{0, 0, 8, 8};
    POINTL at{0, 0};
    TRIVERTEX v[2] = {{100, 100, 0, 0, 0, 0}, {116, 116, 0xFF00, 0xFF00, 0xFF00, 0}};
    GRADIENT_RECT mesh{0, 1};
    struct Hook {
        const char* name;
        std::function<BOOL()> call;
    };
    const std::vector<Hook> hooks = {
        {"DrvCopyBits",
         [&] { return DrvCopyBits(&page, src.get(), nullptr, &trivial, &dest, &at); }},
        {"DrvStretchBlt",
         [&] {
             return DrvStretchBlt(&page, src.get(), nullptr, nullptr, &trivial, nullptr, nullptr,
                                  &dest, &srcRect, nullptr, COLORONCOLOR);
         }},
        {"DrvStretchBltROP",
         [&] {
             return DrvStretchBltROP(&page, src.get(), nullptr, nullptr, &trivial, nullptr, nullptr,
                                     &dest, &srcRect, nullptr, COLORONCOLOR, &solid, 0x6666);
         }},
        {"DrvBitBlt",
         [&] {
             return DrvBitBlt(&page, src.get(), nullptr, nullptr, &trivial, &dest, &at, nullptr,
                              &solid, nullptr, 0x6666);
         }},
        {"DrvTransparentBlt",
         [&] {
             return DrvTransparentBlt(&page, src.get(), nullptr, &trivial, &dest, &srcRect, 0, 0);
         }},
        {"DrvGradientFill",
         [&] {
             return DrvGradientFill(&page, nullptr, nullptr, v, 2, &mesh, 1, &dest, &at,
                                    GRADIENT_FILL_RECT_H);
         }},
    };
    struct State {
        const char* name;
        DWORD flags, firstPageOnly, pageCount;
        BOOL result;
    };
    const std::vector<State> states = {
        {"cancelled", inkforge::job::PageOpen | inkforge::job::Cancelled, 0, 1, FALSE},
        {"no page open", 0, 0, 1, TRUE},
        {"second page of a first-page-only job", inkforge::job::PageOpen, 1, 2, TRUE},
    };
    for (const State& s : states)
        for (const Hook& h : hooks) {
            dev->jobFlags = s.flags;
            dev->firstPageOnly = s.firstPageOnly;
            dev->pageCount = s.pageCount;
            BOOL result = -1;
            Bytes stream = Captured(dev.get(), [&] { result = h.call(); });
            EXPECT_EQ(result, s.result) << s.name << ": " << h.name;
            EXPECT_TRUE(stream.empty()) << s.name << ": " << h.name;
        }
    // On an open page: the destination left as it is.
    dev->jobFlags = inkforge::job::PageOpen;
    dev->firstPageOnly = 0;
    dev->pageCount = 1;
    Bytes stream = Captured(dev.get(), [&] {
        EXPECT_TRUE(DrvBitBlt(&page, src.get(), nullptr, nullptr, &trivial, &dest, &at, nullptr,
                              &solid, nullptr, 0xAAAA));
    });
    EXPECT_TRUE(stream.empty());
    // Another device's surface.
    SURFOBJ foreign{};
    SetLastError(0);
    EXPECT_FALSE(DrvCopyBits(&foreign, src.get(), nullptr, &trivial, &dest, &at));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// A hook called without its destination, or without the source rectangle
// or position it copies from, fails with the parameter named as bad on the
// device road and on the spool side's recording road alike: it drew nothing.
TEST_F(DeviceHooks, AHookWithoutItsRectanglesFailsOnEitherRoad) {
    TestDevice dev(u"P1", false);
    Bitmap src(8, 8, BMF_24BPP);
    ASSERT_NE(src.get(), nullptr);
    XLATEOBJ trivial{};
    trivial.flXlate = XO_TRIVIAL;
    SURFOBJ page = PageOf(dev.get());
    BRUSHOBJ solid{};
    solid.iSolidColor = 0;
    RECTL dest{100, 100, 116, 116}, srcRect{0, 0, 8, 8};
    POINTL at{0, 0};
    struct Hook {
        const char* name;
        std::function<BOOL()> call;
    };
    const std::vector<Hook> hooks = {
        {"DrvCopyBits without a destination",
         [&] { return DrvCopyBits(&page, src.get(), nullptr, &trivial, nullptr, &at); }},
        {"DrvCopyBits without a source position",
         [&] { return DrvCopyBits(&page, src.get(), nullptr, &trivial, &dest, nullptr); }},
        {"DrvStretchBlt without a source rectangle",
         [&] {
             return DrvStretchBlt(&page, src.get(), nullptr, nullptr, &trivial, nullptr, nullptr,
                                  &dest, nullptr, nullptr, COLORONCOLOR);
         }},
        {"DrvStretchBltROP without a destination",
         [&] {
             return DrvStretchBltROP(&page, src.get(), nullptr, nullptr, &trivial, nullptr, nullptr,
                                     nullptr, &srcRect, nullptr, COLORONCOLOR, &solid, 0xCCCC);
         }},
        {"DrvBitBlt without a destination",
         [&] {
             return DrvBitBlt(&page, src.get(), nullptr, nullptr, &trivial, nullptr, &at, nullptr,
                              &solid, nullptr, 0xCCCC);
         }},
        {"DrvTransparentBlt without a source rectangle",
         [&] {
             return DrvTransparentBlt(&page, src.get(), nullptr, &trivial, &dest, nullptr, 0, 0);
         }},
    };
    dev->jobFlags = inkforge::job::PageOpen;
    dev->firstPageOnly = 0;
    dev->pageCount = 1;
    const DWORD deviceMode = dev->modeFlags & ~inkforge::mode::SpoolSide;
    for (const DWORD modeFlags : {deviceMode, deviceMode | inkforge::mode::SpoolSide})
        for (const Hook& h : hooks) {
            const char* road = (modeFlags & inkforge::mode::SpoolSide) ? "spool side" : "device";
            dev->modeFlags = modeFlags;
            BOOL result = -1;
            DWORD error = 0;
            Bytes stream = Captured(dev.get(), [&] {
                SetLastError(0);
                result = h.call();
                error = GetLastError();
            });
            EXPECT_EQ(result, FALSE) << road << ": " << h.name;
            EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << road << ": " << h.name;
            EXPECT_TRUE(stream.empty()) << road << ": " << h.name;
        }
    dev->modeFlags = deviceMode;
}

// Nothing of the page can be read back: the engine's copy of a part of it
// (before it draws an operation that reads the destination) is paper white.
TEST_F(DeviceHooks, ACopyFromThePageIsPaperWhite) {
    TestDevice dev(u"P1", false);
    dev->jobFlags = inkforge::job::PageOpen;
    dev->pageCount = 1;
    SURFOBJ page = PageOf(dev.get());
    Bitmap copy(8, 4, BMF_24BPP);
    ASSERT_NE(copy.get(), nullptr);
    copy.Fill(0x12);
    RECTL all{0, 0, 8, 4};
    POINTL from{100, 200};
    Bytes stream = Captured(dev.get(), [&] {
        EXPECT_TRUE(DrvCopyBits(copy.get(), &page, nullptr, nullptr, &all, &from));
    });
    EXPECT_TRUE(stream.empty());
    for (LONG y = 0; y < 4; ++y)
        for (LONG x = 0; x < 24; ++x)
            EXPECT_EQ(copy.Row(y)[x], 0xFF) << x << "," << y;
}

// The model's capability bits send stretches to the engine first: always
// (4), or when they shrink (8); what the engine draws ends the call, and
// nothing goes to the stream. An operation that reads the page is the
// driver's all the same: the engine cannot read the page back.
TEST_F(DeviceHooks, TheModelSendsStretchesThroughTheEngine) {
    TestDevice dev(u"P1", false);
    Bitmap src(8, 8, BMF_24BPP);
    ASSERT_NE(src.get(), nullptr);
    src.Fill(0x40);
    XLATEOBJ trivial{};
    trivial.flXlate = XO_TRIVIAL;
    struct Case {
        const char* name;
        DWORD caps;
        RECTL dest;
        bool engine;
        DWORD rop4 = 0xCCCC; // another operation: DrvStretchBltROP only
    };
    const std::vector<Case> cases = {
        {"no bit, larger", 0, {0, 0, 16, 16}, false},
        {"no bit, smaller", 0, {0, 0, 4, 4}, false},
        {"always, larger", 4, {0, 0, 16, 16}, true},
        {"shrinking, smaller", 8, {0, 0, 4, 4}, true},
        {"shrinking, larger", 8, {0, 0, 16, 16}, false},
        {"shrinking, the same size", 8, {0, 0, 8, 8}, false},
        {"always, the source inverted", 4, {0, 0, 16, 16}, true, 0x3333},
        {"always, the source and the page", 4, {0, 0, 16, 16}, false, 0x8888},
        {"shrinking, the source or the page", 8, {0, 0, 4, 4}, false, 0xEEEE},
    };
    for (const Case& c : cases) {
        for (bool rop : {false, true}) {
            if (!rop && c.rop4 != 0xCCCC) continue;
            // The destination: a bitmap of the page's device, to see what
            // the engine drew.
            Bitmap target(16, 16, BMF_24BPP);
            ASSERT_NE(target.get(), nullptr);
            target.Fill(0xFF);
            target->dhpdev = reinterpret_cast<DHPDEV>(dev.get());
            dev->jobFlags = inkforge::job::PageOpen;
            dev->pageCount = 1;
            dev->modelCaps = c.caps;
            RECTL dest = c.dest, srcRect{0, 0, 8, 8};
            BRUSHOBJ solid{};
            BOOL result = FALSE;
            Bytes stream = Captured(dev.get(), [&] {
                result =
                    rop ? DrvStretchBltROP(target.get(), src.get(), nullptr, nullptr, &trivial,
                                           nullptr, nullptr, &dest, &srcRect, nullptr, COLORONCOLOR,
                                           &solid, c.rop4)
                        : DrvStretchBlt(target.get(), src.get(), nullptr, nullptr, &trivial,
                                        nullptr, nullptr, &dest, &srcRect, nullptr, COLORONCOLOR);
            });
            const char* hook = rop ? "DrvStretchBltROP" : "DrvStretchBlt";
            EXPECT_TRUE(result) << c.name << " " << hook;
            EXPECT_EQ(stream.empty(), c.engine) << c.name << " " << hook;
            const BYTE drawn = c.rop4 == 0x3333 ? 0xBF : 0x40;
            EXPECT_EQ(target.Row(0)[0], c.engine ? drawn : 0xFF) << c.name << " " << hook;
        }
    }
}

// A pattern brush that cannot be sent as the printer's pattern is left to
// the engine when the operation covers the destination whatever it held;
// under one that reads the destination the call fails, as the engine
// cannot read the page back and would paint paper white over it.
TEST_F(DeviceHooks, AnUnsentPatternIsTheEnginesWhenTheDestinationDoesNotMatter) {
    TestDevice dev(u"P1", false);
    struct Case {
        const char* name;
        ROP4 rop;
        BOOL result;
        BYTE corner; // the first byte of the destination afterwards
    };
    // The cross hatch's corner pixel is background (white, 0xFF); inverting
    // the destination there would give 0x00.
    const std::vector<Case> cases = {
        {"PATCOPY", 0xF0F0, TRUE, 0xFF},
        {"PATINVERT", 0x5A5A, FALSE, 0x80},
        {"pattern, source and destination", 0xB8B8, FALSE, 0x80},
    };
    Bitmap src(16, 16, BMF_24BPP);
    ASSERT_NE(src.get(), nullptr);
    src.Fill(0x40);
    for (const Case& c : cases) {
        Bitmap target(16, 16, BMF_24BPP);
        ASSERT_NE(target.get(), nullptr);
        target.Fill(0x80);
        target->dhpdev = reinterpret_cast<DHPDEV>(dev.get());
        // A hatch whose target has no driver to realize it for.
        BRUSHOBJ* hatch =
            platform::engine::CreateHatchBrush(target->hsurf, HS_CROSS, 0x000000, 0xFFFFFF);
        ASSERT_NE(hatch, nullptr);
        dev->jobFlags = job::PageOpen;
        dev->pageCount = 1;
        RECTL dest{0, 0, 16, 16};
        POINTL at{0, 0}, org{0, 0};
        SetLastError(0);
        BOOL result = -1;
        DWORD error = 0;
        Bytes stream = Captured(dev.get(), [&] {
            result = DrvBitBlt(target.get(), src.get(), nullptr, nullptr, nullptr, &dest, &at,
                               nullptr, hatch, &org, c.rop);
            error = GetLastError();
        });
        EXPECT_EQ(result, c.result) << c.name;
        if (!c.result) {
            EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_SUPPORTED)) << c.name;
        }
        EXPECT_TRUE(stream.empty()) << c.name;
        EXPECT_EQ(target.Row(0)[0], c.corner) << c.name;
        platform::engine::DeleteBrush(hatch);
    }
}

// The part of the source that a stretch sends for a simple clip: all of it
// when the clip is the destination, the part under the clip when it is
// smaller (cut, not squeezed into it), and a clip that starts left of the
// page is cut at the page's edge first.
TEST_F(DeviceHooks, AClippedStretchSendsThePartUnderTheClip) {
    TestDevice dev(u"P1", false);
    Bitmap src(8, 8, BMF_24BPP);
    ASSERT_NE(src.get(), nullptr);
    src.Fill(0x40);
    XLATEOBJ trivial{};
    trivial.flXlate = XO_TRIVIAL;
    SURFOBJ page = PageOf(dev.get());
    struct Case {
        const char* name;
        RECTL dest;
        ULONG complexity;
        RECTL bounds;
        std::vector<std::string> images;
    };
    const std::vector<Case> cases = {
        {"no clip", {100, 100, 116, 116}, DC_TRIVIAL, {}, {"at 100,100 source 8x8 to 16,16"}},
        {"the clip is the bounds and the destination",
         {100, 100, 116, 116},
         DC_RECT,
         {100, 100, 116, 116},
         {"at 100,100 source 8x8 to 16,16"}},
        {"a clip inside the destination",
         {100, 100, 116, 116},
         DC_RECT,
         {104, 100, 116, 108},
         {"at 104,100 source 6x4 to 12,8"}},
        {"a clip reaching past the destination",
         {100, 100, 116, 116},
         DC_RECT,
         {50, 50, 200, 200},
         {"at 100,100 source 8x8 to 16,16"}},
        {"a clip left of the page",
         {-8, 100, 8, 116},
         DC_RECT,
         {-8, 100, 8, 116},
         {"at 0,100 source 4x8 to 8,16"}},
    };
    for (const Case& c : cases) {
        dev->jobFlags = inkforge::job::PageOpen;
        dev->pageCount = 1;
        dev->modelCaps = 0;
        CLIPOBJ clip{};
        clip.iDComplexity = c.complexity;
        clip.rclBounds = c.bounds;
        RECTL dest = c.dest, srcRect{0, 0, 8, 8};
        Bytes stream = Captured(dev.get(), [&] {
            EXPECT_TRUE(DrvStretchBlt(&page, src.get(), nullptr, &clip, &trivial, nullptr, nullptr,
                                      &dest, &srcRect, nullptr, COLORONCOLOR))
                << c.name;
        });
        streamdump::Decoding d = DecodeInJob(stream);
        EXPECT_EQ(d.problems, 0u) << c.name << "\n" << streamdump::Format(d);
        EXPECT_EQ(Images(d), c.images) << c.name << "\n" << streamdump::Format(d);
    }
}

// A gradient is shaded into a bitmap of its box and sent as one image;
// when no bitmap of that size can be had, it is shaded and sent row by row
// through a bitmap of one row.
TEST_F(DeviceHooks, AGradientWithoutRoomForItsBitmapGoesRowByRow) {
    TestDevice dev(u"P1", false);
    SURFOBJ page = PageOf(dev.get());
    TRIVERTEX v[2] = {{100, 100, 0, 0, 0, 0}, {116, 104, 0xFF00, 0xFF00, 0xFF00, 0}};
    GRADIENT_RECT mesh{0, 1};
    RECTL extents{100, 100, 116, 104};
    POINTL origin{0, 0};
    struct Case {
        const char* name;
        int failures;
        std::vector<std::string> images;
    };
    const std::vector<Case> cases = {
        {"room for the box", 0, {"at 100,100 source 16x4 to 16,4"}},
        {"room for one row",
         1,
         {"at 100,100 source 16x1 to 16,1", "at 100,101 source 16x1 to 16,1",
          "at 100,102 source 16x1 to 16,1", "at 100,103 source 16x1 to 16,1"}},
    };
    for (const Case& c : cases) {
        dev->jobFlags = job::PageOpen;
        dev->pageCount = 1;
        if (c.failures)
            platform::test::FailNext("EngCreateBitmap", c.failures, ERROR_NOT_ENOUGH_MEMORY);
        Bytes stream = Captured(dev.get(), [&] {
            EXPECT_TRUE(DrvGradientFill(&page, nullptr, nullptr, v, 2, &mesh, 1, &extents, &origin,
                                        GRADIENT_FILL_RECT_V))
                << c.name;
        });
        platform::test::ClearFaults();
        streamdump::Decoding d = DecodeInJob(stream);
        EXPECT_EQ(d.problems, 0u) << c.name << "\n" << streamdump::Format(d);
        EXPECT_EQ(Images(d), c.images) << c.name << "\n" << streamdump::Format(d);
    }
}

} // namespace
