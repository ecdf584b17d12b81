// The path and line hooks: called directly on a physical device, and through
// the platform's GDI on a printer whose driver is the built Inkforge, the
// stream read back with the stream decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "hooks.h"
#include "output_writer.h"
#include "pdev.h"
#include "platform/engine_objects.h"
#include "platform/engine_ctl.h"
#include "platform/gdi_ctl.h"
#include "platform/testctl.h"
#include "render_fixture.h"
#include "win/base.h"
#include "win/gdi.h"
#include "win/gdi_dc.h"

namespace {

using namespace inkforge;
using render_test::Bytes;

class PathHooks : public ::testing::Test {
  protected:
    void SetUp() override {
        pdev = AllocatePdev();
        ASSERT_NE(pdev, nullptr);
        pdev->devmode = render_test::OwnDevmode();
        pdev->devmode.dm.dmColor = DMCOLOR_COLOR;
        pdev->jobFlags = job::Started | job::PageOpen;
        pdev->docStarted = 1;
        pdev->pageCount = 1;
        surface.dhpdev = reinterpret_cast<DHPDEV>(pdev);
        StartCapture(pdev);
        path = EngCreatePath();
        PATHOBJ_bMoveTo(path, POINTFIX{10 * 16, 20 * 16});
        POINTFIX to[2] = {{50 * 16, 20 * 16}, {50 * 16, 60 * 16}};
        PATHOBJ_bPolyLineTo(path, to, 2);
        line.elWidth.l = 1;
    }
    void TearDown() override {
        EngDeletePath(path);
        FreePdev(pdev);
    }
    Bytes Take() {
        const auto* p = static_cast<const std::uint8_t*>(pdev->captureBlock);
        Bytes b(p, p + pdev->captureLength);
        pdev->captureLength = 0;
        return b;
    }
    BOOL Stroke(ULONG color, MIX mix) {
        BRUSHOBJ brush{};
        brush.iSolidColor = color;
        return DrvStrokePath(&surface, path, nullptr, nullptr, &brush, nullptr, &line, mix);
    }
    BOOL Fill(ULONG color, MIX mix) {
        BRUSHOBJ brush{};
        brush.iSolidColor = color;
        return DrvFillPath(&surface, path, nullptr, &brush, nullptr, mix, FP_WINDINGMODE);
    }

    PDEV* pdev = nullptr;
    SURFOBJ surface{};
    PATHOBJ* path = nullptr;
    LINEATTRS line{};
};

const Bytes kPath = {0x85, 0xD3, 10,   0,    20,   0, 0xF8, 0x4C, 0x6B, 0xC0, 2, 0xF8, 0x4D, 0xC0,
                     0,    0xF8, 0x50, 0x9D, 0xFA, 4, 0,    0,    0,    40,   0, 0,    40,   0x86};

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST_F(PathHooks, NoOpMixDrawsNothingAndSucceeds) {
    EXPECT_TRUE(Stroke(0x0000FF, R2_NOP | (R2_NOP << 8)));
    EXPECT_TRUE(Fill(0x0000FF, R2_NOP | (R2_NOP << 8)));
    BRUSHOBJ brush{};
    EXPECT_TRUE(DrvLineTo(&surface, nullptr, &brush, 0, 0, 5, 5, nullptr, R2_NOP));
    EXPECT_TRUE(Take().empty());
}

TEST_F(PathHooks, InvertingMixIsAWhitePenWithExclusiveOr) {
    ASSERT_TRUE(Stroke(0x0000FF, R2_NOT | (R2_NOT << 8)));
    Bytes expected = Cat({{0xC0, 0, 0xF8, 0x2D, 0x78, 0xC0, 0, 0xF8, 0x2D, 0x7C}, // opaque
                          {0xC0, 0, 0xF8, 0x04, 0x63},                            // no brush
                          {0xC8, 0xC0, 3, 0xFF, 0xFF, 0xFF, 0xF8, 0x0B, 0x79},    // white pen
                          {0xC0, 3, 0xF8, 0x48, 0x72, 0xC1, 1, 0, 0xF8, 0x4B, 0x7A},
                          {0xC0, 0x5A, 0xF8, 0x2C, 0x7B},
                          kPath});
    EXPECT_EQ(Take(), expected);
    // The same stroke again sends only the path.
    ASSERT_TRUE(Stroke(0x0000FF, R2_NOT | (R2_NOT << 8)));
    EXPECT_EQ(Take(), kPath);
    // A copy-pen fill with a transparent background.
    ASSERT_TRUE(Fill(0x00FF00, R2_COPYPEN | (R2_NOP << 8)));
    EXPECT_EQ(Take(), Cat({{0xC0, 1, 0xF8, 0x2D, 0x78, 0xC0, 1, 0xF8, 0x2D, 0x7C},
                           {0xC0, 0, 0xF8, 0x05, 0x79},
                           {0xC8, 0xC0, 3, 0, 0xFF, 0, 0xF8, 0x0B, 0x63},
                           {0xC0, 0, 0xF8, 0x46, 0x6E},
                           {0xC0, 0xF0, 0xF8, 0x2C, 0x7B},
                           kPath}));
}

TEST_F(PathHooks, WhatTheEngineMustDraw) {
    // A pattern brush, a long line style: FALSE and nothing written.
    EXPECT_FALSE(Stroke(0xFFFFFFFF, R2_COPYPEN));
    EXPECT_FALSE(Fill(0xFFFFFFFF, R2_COPYPEN));
    FLOAT_LONG style[9] = {};
    for (auto& s : style)
        s.l = 2;
    line.fl = LA_STYLED;
    line.cstyle = 9;
    line.pstyle = style;
    EXPECT_FALSE(Stroke(0, R2_COPYPEN));
    EXPECT_TRUE(Take().empty());
    // The banding and spool-side roads are left to the engine.
    line = LINEATTRS{};
    line.elWidth.l = 1;
    pdev->banding = 1;
    EXPECT_FALSE(Stroke(0, R2_COPYPEN));
    pdev->banding = 0;
    pdev->modeFlags = mode::SpoolSide;
    EXPECT_FALSE(Fill(0, R2_COPYPEN));
    pdev->docStarted = 0;
    EXPECT_TRUE(Fill(0, R2_COPYPEN));
    EXPECT_TRUE(Take().empty());
}

TEST_F(PathHooks, PagesThatAreNotPrintedAnswerTrue) {
    pdev->jobFlags &= ~job::PageOpen;
    EXPECT_TRUE(Stroke(0, R2_COPYPEN));
    pdev->jobFlags |= job::PageOpen;
    pdev->firstPageOnly = 1;
    pdev->pageCount = 2;
    EXPECT_TRUE(Fill(0, R2_COPYPEN));
    EXPECT_TRUE(Take().empty());
}

TEST_F(PathHooks, FailuresAreFalse) {
    // A damaged record.
    pdev->signatureEnd = 0;
    SetLastError(0);
    EXPECT_EQ(Stroke(0, R2_COPYPEN), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    pdev->signatureEnd = kPdevSignature;
    // A cancelled job.
    pdev->jobFlags |= job::Cancelled;
    EXPECT_EQ(Fill(0, R2_COPYPEN), FALSE);
    pdev->jobFlags &= ~job::Cancelled;
    // The writer fails (no printer to write to): FALSE, not an error value
    // the engine would read as success.
    StopCapture(pdev);
    PATHOBJ* big = EngCreatePath();
    PATHOBJ_bMoveTo(big, POINTFIX{0, 0});
    std::vector<POINTFIX> zigzag;
    for (LONG i = 0; i < 1200; ++i)
        zigzag.push_back(POINTFIX{(i % 2 ? 1000 : -1000) * 16, i * 16});
    PATHOBJ_bPolyLineTo(big, zigzag.data(), static_cast<ULONG>(zigzag.size()));
    BRUSHOBJ brush{};
    EXPECT_EQ(DrvFillPath(&surface, big, nullptr, &brush, nullptr, R2_COPYPEN, FP_ALTERNATEMODE),
              FALSE);
    EngDeletePath(big);
}

TEST_F(PathHooks, StrokeAndFillPaintsTheFillThenTheOutline) {
    BRUSHOBJ pen{}, fill{};
    pen.iSolidColor = 0x000000;
    fill.iSolidColor = 0x00FF00;
    ASSERT_TRUE(DrvStrokeAndFillPath(&surface, path, nullptr, nullptr, &pen, &line, &fill, nullptr,
                                     R2_COPYPEN, FP_ALTERNATEMODE));
    EXPECT_EQ(Take(), Cat({{0xC0, 0, 0xF8, 0x2D, 0x78, 0xC0, 0, 0xF8, 0x2D, 0x7C},
                           {0xC0, 0, 0xF8, 0x05, 0x79},
                           {0xC8, 0xC0, 3, 0, 0xFF, 0, 0xF8, 0x0B, 0x63},
                           {0xC0, 1, 0xF8, 0x46, 0x6E},
                           {0xC0, 0xF0, 0xF8, 0x2C, 0x7B},
                           kPath,
                           // the outline: no brush, so the path is not filled twice
                           {0xC0, 0, 0xF8, 0x04, 0x63},
                           {0xC8, 0xC0, 3, 0, 0, 0, 0xF8, 0x0B, 0x79},
                           {0xC0, 3, 0xF8, 0x48, 0x72, 0xC1, 1, 0, 0xF8, 0x4B, 0x7A},
                           {0x86}}));
    // With the model's one-paint capability the path is painted once.
    pdev->modelCaps |= 0x10;
    ++pdev->pageCount;
    ASSERT_TRUE(DrvStrokeAndFillPath(&surface, path, nullptr, nullptr, &pen, &line, &fill, nullptr,
                                     R2_COPYPEN, FP_WINDINGMODE));
    Bytes b = Take();
    ASSERT_GE(b.size(), kPath.size());
    EXPECT_EQ(Bytes(b.end() - static_cast<long>(kPath.size()), b.end()), kPath);
    EXPECT_EQ(std::count(b.begin(), b.end(), 0x86), 1);
    // A wide geometric outline is the engine's.
    LINEATTRS wide{};
    wide.fl = LA_GEOMETRIC;
    wide.elWidth.e = 3.0f;
    EXPECT_FALSE(DrvStrokeAndFillPath(&surface, path, nullptr, nullptr, &pen, &wide, &fill, nullptr,
                                      R2_COPYPEN, FP_WINDINGMODE));
}

TEST_F(PathHooks, GeometricPens) {
    XFORML scale2{2.0f, 0.0f, 0.0f, 2.0f, 0.0f, 0.0f};
    XFORML turned{0.0f, 1.0f, -1.0f, 0.0f, 0.0f, 0.0f};
    XFORMOBJ* xo = platform::engine::CreateXform(scale2);
    XFORMOBJ* xt = platform::engine::CreateXform(turned);
    LINEATTRS la{};
    la.fl = LA_GEOMETRIC;
    la.iJoin = JOIN_MITER;
    la.iEndCap = ENDCAP_SQUARE;
    la.eMiterLimit = 10.7f;
    la.elWidth.e = 5.5f;
    BRUSHOBJ brush{};
    ASSERT_TRUE(DrvStrokePath(&surface, path, nullptr, xo, &brush, nullptr, &la, R2_COPYPEN));
    Bytes b = Take();
    // join miter 0, cap square 2, miter limit 10, width 5.5 x 2.
    Bytes attrs = {0xC0, 0, 0xF8, 0x48, 0x72, 0xC0, 2,  0xF8, 0x47, 0x71, 0xC1,
                   10,   0, 0xF8, 0x49, 0x73, 0xC1, 11, 0,    0xF8, 0x4B, 0x7A};
    EXPECT_NE(std::search(b.begin(), b.end(), attrs.begin(), attrs.end()), b.end());
    // A turned geometric pen is left to the engine.
    EXPECT_FALSE(DrvStrokePath(&surface, path, nullptr, xt, &brush, nullptr, &la, R2_COPYPEN));
    EXPECT_TRUE(Take().empty());
    platform::engine::DeleteXform(xo);
    platform::engine::DeleteXform(xt);
}

TEST_F(PathHooks, LineThroughAComplexClipIsPaintedInEachRectangle) {
    std::vector<RECTL> rects = {{0, 0, 10, 10}, {20, 0, 30, 10}};
    CLIPOBJ* clip = platform::engine::CreateClip(rects.data(), 2);
    BRUSHOBJ brush{};
    ASSERT_TRUE(DrvLineTo(&surface, clip, &brush, 1, 5, 29, 5, nullptr, R2_COPYPEN));
    Bytes b = Take();
    Bytes line = {0x85, 0xD3, 1, 0, 5, 0,    0xF8, 0x4C, 0x6B,
                  0xD3, 29,   0, 5, 0, 0xF8, 0x45, 0x9B, 0x86};
    long found = 0;
    for (auto it = b.begin(); (it = std::search(it, b.end(), line.begin(), line.end())) != b.end();
         ++it)
        ++found;
    EXPECT_EQ(found, 2);
    EngDeleteClip(clip);
}

// --- a page drawn through GDI --------------------------------------------------

class GdiPage : public ::testing::Test {
  protected:
    void SetUp() override {
        render_test::InstallPrinter(u"P1", render_test::SampleModel("CX5540"));
    }
    void TearDown() override {
        EXPECT_EQ(platform::test::LiveDeviceContexts(), 0);
        EXPECT_EQ(platform::test::LiveEngAllocations(), 0);
        EXPECT_EQ(platform::test::LiveHeapAllocations(), 0);
    }
};

std::vector<std::string> TokenLines(const streamdump::Decoding& d) {
    std::vector<std::string> out;
    for (const auto& i : d.items) {
        if (i.kind != streamdump::ItemKind::Token) continue;
        std::string s = i.text;
        for (const auto& f : i.fields)
            s += "  " + f.name + "=" + f.value;
        if (!i.problem.empty()) s += "  ! " + i.problem;
        out.push_back(s);
    }
    return out;
}

TEST_F(GdiPage, PathsLinesAndClippedFillsDecodeToTheExpectedTokens) {
    render_test::Bytes stream;
    {
        HDC hdc = CreateDCW(nullptr, u"P1", nullptr, nullptr);
        ASSERT_NE(hdc, nullptr);
        DOCINFOW di{sizeof(DOCINFOW), u"Drawing", nullptr, nullptr, 0};
        int job = StartDocW(hdc, &di);
        ASSERT_GT(job, 0);
        ASSERT_GT(StartPage(hdc), 0);
        HPEN red = CreatePen(PS_SOLID, 0, RGB(255, 0, 0));
        HGDIOBJ oldPen = SelectObject(hdc, red);
        // Two lines with the same pen.
        EXPECT_TRUE(MoveToEx(hdc, 100, 100, nullptr));
        EXPECT_TRUE(LineTo(hdc, 300, 100));
        EXPECT_TRUE(LineTo(hdc, 300, 400));
        // A filled triangle through a rectangular clip.
        HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
        HGDIOBJ oldBrush = SelectObject(hdc, blue);
        SelectObject(hdc, GetStockObject(NULL_PEN));
        EXPECT_NE(IntersectClipRect(hdc, 50, 50, 250, 250), ERROR);
        POINT triangle[3] = {{60, 60}, {400, 60}, {60, 400}};
        EXPECT_TRUE(Polygon(hdc, triangle, 3));
        // The same fill through two separate rectangles.
        HRGN a = CreateRectRgn(0, 0, 100, 100);
        HRGN b = CreateRectRgn(200, 0, 300, 100);
        CombineRgn(a, a, b, RGN_OR);
        SelectClipRgn(hdc, a);
        EXPECT_TRUE(Polygon(hdc, triangle, 3));
        SelectClipRgn(hdc, nullptr);
        // An inverted outline, unclipped.
        SelectObject(hdc, red);
        SelectObject(hdc, GetStockObject(NULL_BRUSH));
        SetROP2(hdc, R2_NOT);
        EXPECT_TRUE(Rectangle(hdc, 10, 10, 20, 30));
        SelectObject(hdc, oldPen);
        SelectObject(hdc, oldBrush);
        DeleteObject(red);
        DeleteObject(blue);
        DeleteObject(a);
        DeleteObject(b);
        EXPECT_GT(EndPage(hdc), 0);
        EXPECT_GT(EndDoc(hdc), 0);
        EXPECT_TRUE(DeleteDC(hdc));
        stream = render_test::JobOutput(static_cast<DWORD>(job));
    }
    streamdump::Decoding d = streamdump::Decode(stream);
    EXPECT_EQ(d.problems, 0u) << streamdump::Format(d);
    std::vector<std::string> expected = {
        // Two lines with the same pen: the state goes out once.
        "set paint transfer mode  transfer mode=ubyte 0",
        "set source transfer mode  transfer mode=ubyte 0",
        "set brush source  no brush=ubyte 0",
        "set pen source  rgb colour=ubyte array [255 0 0]",
        "set line join  line join=ubyte 3",
        "set pen width  pen width=uint16 1",
        "set raster operation  raster operation=ubyte 240",
        "new path",
        "set cursor  point=sint16 pair (100, 100)",
        "line path, relative  end point=sint16 pair (200, 0)",
        "paint path",
        "new path",
        "set cursor  point=sint16 pair (300, 100)",
        "line path, relative  end point=sint16 pair (0, 300)",
        "paint path",
        // The triangle through a rectangular clip.
        "set pen source  no pen=ubyte 0",
        "set brush source  rgb colour=ubyte array [0 0 255]",
        "set fill mode  fill mode=ubyte 1",
        "set clip rectangle  clip region=ubyte 0  bounding box=sint16 box (59, 59, 250, 250)",
        "new path",
        "set cursor  point=sint16 pair (60, 60)",
        "line path, relative  number of points=ubyte 2  point type=ubyte 3  data=8 bytes  "
        "points=(340, 0) (-340, 340)",
        "close subpath",
        "paint path",
        // Through two rectangles: painted once in each.
        "set clip rectangle  clip region=ubyte 0  bounding box=sint16 box (59, 59, 100, 100)",
        "new path",
        "set cursor  point=sint16 pair (60, 60)",
        "line path, relative  number of points=ubyte 2  point type=ubyte 3  data=8 bytes  "
        "points=(340, 0) (-340, 340)",
        "close subpath",
        "paint path",
        "set clip rectangle  clip region=ubyte 0  bounding box=sint16 box (200, 59, 300, 100)",
        "new path",
        "set cursor  point=sint16 pair (60, 60)",
        "line path, relative  number of points=ubyte 2  point type=ubyte 3  data=8 bytes  "
        "points=(340, 0) (-340, 340)",
        "close subpath",
        "paint path",
        // The inverted outline: white pen, exclusive-or, the whole page again.
        "set brush source  no brush=ubyte 0",
        "set pen source  rgb colour=ubyte array [255 255 255]",
        "set raster operation  raster operation=ubyte 90",
        "set clip rectangle  clip region=ubyte 0  bounding box=sint16 box (-32767, -32767, 32767, "
        "32767)",
        "new path",
        "set cursor  point=sint16 pair (10, 10)",
        "line path, relative  number of points=ubyte 3  point type=ubyte 1  data=6 bytes  "
        "points=(9, 0) (0, 19) (-9, 0)",
        "close subpath",
        "paint path",
    };
    EXPECT_EQ(TokenLines(d), expected) << streamdump::Format(d);
}

// A gray page: each colour becomes one gray byte by the model's own weights
// (query 44), whatever other weights are common elsewhere.
TEST_F(GdiPage, GrayLevelsFollowTheModelsWeights) {
    nlohmann::json source = render_test::SampleSource("CX5540");
    source["codes"]["44"] = {{"1", {100, 50, 10, 0}}};
    render_test::InstallPrinter(u"Gray", render_test::Compile(source));
    inkforge::DevmodeImage dm = render_test::OwnDevmode(u"Gray");
    dm.dm.dmFields |= DM_COLOR;
    dm.dm.dmColor = DMCOLOR_MONOCHROME;
    SetPrivU16(dm, offsetof(PRIVATE_DEVMODE, ColorMode), 1);
    render_test::Bytes stream;
    {
        HDC hdc = CreateDCW(nullptr, u"Gray", nullptr, &dm.dm);
        ASSERT_NE(hdc, nullptr);
        DOCINFOW di{sizeof(DOCINFOW), u"Gray", nullptr, nullptr, 0};
        int job = StartDocW(hdc, &di);
        ASSERT_GT(job, 0);
        ASSERT_GT(StartPage(hdc), 0);
        SelectObject(hdc, GetStockObject(NULL_PEN));
        for (COLORREF c : {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 255)}) {
            HBRUSH brush = CreateSolidBrush(c);
            HGDIOBJ old = SelectObject(hdc, brush);
            EXPECT_TRUE(Rectangle(hdc, 10, 10, 200, 200));
            SelectObject(hdc, old);
            DeleteObject(brush);
        }
        EXPECT_GT(EndPage(hdc), 0);
        EXPECT_GT(EndDoc(hdc), 0);
        EXPECT_TRUE(DeleteDC(hdc));
        stream = render_test::JobOutput(static_cast<DWORD>(job));
    }
    streamdump::Decoding d = streamdump::Decode(stream);
    EXPECT_EQ(d.problems, 0u) << streamdump::Format(d);
    std::vector<std::string> brushes;
    for (const std::string& line : TokenLines(d))
        if (line.rfind("set brush source", 0) == 0) brushes.push_back(line);
    // 255 x 100 / 160, 255 x 50 / 160, 255 x 10 / 160 and white.
    EXPECT_EQ(brushes, (std::vector<std::string>{"set brush source  gray level=ubyte 159",
                                                 "set brush source  gray level=ubyte 79",
                                                 "set brush source  gray level=ubyte 15",
                                                 "set brush source  gray level=ubyte 255"}))
        << streamdump::Format(d);
}

} // namespace
