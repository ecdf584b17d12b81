// Playback of whole metafiles: the frame mapped onto the target, the device
// context given back as it was, the caller's clip and transform kept, records
// not drawn yet noted, and the driver's capabilities obeyed.
#include <map>

#include "emf_fixture.h"
#include "platform/engine_objects.h"
#include "win/gdi_bitmap.h"
#include "win/winddi.h"

namespace {

using emftest::kPage;
using emftest::PageEmf;
using platform::gdi::EmfBuilder;

bool StartsWith(const std::string& s, const std::string& prefix) {
    return s.rfind(prefix, 0) == 0;
}

class EmfPlayTest : public emftest::RecorderTest {
  protected:
    HENHMETAFILE Make(const EmfBuilder& b) {
        std::vector<BYTE> bytes = b.Finish();
        return SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data());
    }
    void Play(const EmfBuilder& b, const RECT& target = kPage) {
        HENHMETAFILE h = Make(b);
        ASSERT_NE(h, nullptr);
        EXPECT_TRUE(PlayEnhMetaFile(hdc, h, &target));
        DeleteEnhMetaFile(h);
    }
};

TEST_F(EmfPlayTest, FrameIsMappedOntoTheTargetRectangle) {
    OpenPage();
    // Half the size, moved to (100, 100).
    Play(PageEmf().SelectStock(NULL_PEN).Box(EMR_RECTANGLE, {100, 100, 300, 200}),
         RECT{100, 100, 500, 600});
    EXPECT_EQ(TakeDetail(),
              (std::vector<std::string>{"FillPath path=M 150,150 L 250,150 250,200 150,200 Z"}));
    // A picture drawn at 600 dpi on A4 fills the page it is played into.
    Play(platform::gdi::EmfBuilder(SIZEL{4960, 7016}, SIZEL{210, 297})
             .SelectStock(NULL_PEN)
             .Box(EMR_RECTANGLE, {0, 0, 4960, 7016}),
         RECT{0, 0, 800, 1000});
    EXPECT_EQ(TakeDetail(),
              (std::vector<std::string>{"FillPath path=M 0,0 L 800,0 800,1000 0,1000 Z"}));
    // The target's own map mode and transform apply on top.
    SetGraphicsMode(hdc, GM_ADVANCED);
    XFORM turn{0, 1, -1, 0, 800, 0}; // a quarter turn, then right by 800
    SetWorldTransform(hdc, &turn);
    Play(PageEmf().SelectStock(NULL_PEN).Box(EMR_RECTANGLE, {0, 0, 100, 50}),
         RECT{0, 0, 800, 1000});
    EXPECT_EQ(TakeDetail(),
              (std::vector<std::string>{"FillPath path=M 800,0 L 800,100 750,100 750,0 Z"}));
}

TEST_F(EmfPlayTest, DeviceContextIsGivenBackAsItWas) {
    OpenPage();
    HPEN pen = CreatePen(PS_SOLID, 0, RGB(1, 2, 3));
    SelectObject(hdc, pen);
    SetROP2(hdc, R2_NOTCOPYPEN);
    SetMapMode(hdc, MM_LOMETRIC);
    SaveDC(hdc);
    Play(PageEmf()
             .Value(EMR_SETMAPMODE, MM_ANISOTROPIC)
             .WorldTransform(XFORM{2, 0, 0, 2, 0, 0})
             .CreatePen(1, PS_DASH, 0, 0)
             .SelectObject(1)
             .Value(EMR_SETROP2, R2_XORPEN)
             .Empty(EMR_SAVEDC)
             .Empty(EMR_SAVEDC)
             .Empty(EMR_BEGINPATH),
         RECT{0, 0, 254, -254});
    EXPECT_EQ(GetCurrentObject(hdc, OBJ_PEN), pen);
    EXPECT_EQ(GetROP2(hdc), R2_NOTCOPYPEN);
    EXPECT_EQ(GetMapMode(hdc), MM_LOMETRIC);
    EXPECT_EQ(GetGraphicsMode(hdc), GM_COMPATIBLE);
    // The state saved before playback is still the latest one.
    EXPECT_EQ(SaveDC(hdc), 2);
    EXPECT_TRUE(BeginPath(hdc)); // no path left open by the metafile
    AbortPath(hdc);
    SelectObject(hdc, GetStockObject(BLACK_PEN));
    DeleteObject(pen);
}

TEST_F(EmfPlayTest, RecordsCannotLeaveTheCallersClip) {
    OpenPage();
    IntersectClipRect(hdc, 0, 0, 100, 100);
    Play(PageEmf()
             .SelectClipRegion({}, RGN_COPY) // back to "no clip" of the metafile
             .Box(EMR_RECTANGLE, {50, 50, 300, 300})
             .SelectClipRegion({{80, 0, 400, 400}}, RGN_COPY)
             .Box(EMR_RECTANGLE, {50, 50, 300, 300}));
    std::vector<std::string> calls = TakeLog();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_NE(calls[0].find("clip=rect:48,48,100,100"), std::string::npos) << calls[0];
    EXPECT_NE(calls[2].find("clip=rect:80,48,100,100"), std::string::npos) << calls[2];
    RECT box;
    EXPECT_EQ(GetClipBox(hdc, &box), SIMPLEREGION);
    EXPECT_EQ(box.right, 100);
}

TEST_F(EmfPlayTest, RecordsNotDrawnYetAreNotedAndSkipped) {
    OpenPage();
    std::vector<BYTE> text(68, 0); // an EXTTEXTOUTW without characters
    std::vector<BYTE> blit(100, 0);
    LOGFONTW lf{};
    lf.lfHeight = -20;
    Play(PageEmf()
             .CreatePen(2, PS_SOLID, 0, 0)
             .Record(EMR_EXTTEXTOUTW, text.data(), text.size())
             .Record(EMR_STRETCHDIBITS, blit.data(), blit.size())
             .Record(EMR_BITBLT, blit.data(), blit.size())
             .Record(EMR_GRADIENTFILL, blit.data(), 36)
             .Fields(EMR_EXTCREATEFONTINDIRECTW, DWORD{1}, lf)
             .SelectObject(1)
             .Value(EMR_REALIZEPALETTE + 0, 0)
             .Box(EMR_RECTANGLE, {10, 10, 20, 20}));
    std::vector<std::string> calls = TakeLog();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_TRUE(StartsWith(calls[0], "DrvFillPath")) << calls[0];
    // The text records play (a run without characters draws nothing; the
    // font is made and selected); so do the raster records without a bitmap
    // or vertices, which draw nothing.
    EXPECT_EQ(platform::test::SkippedEmfRecords(), "EMR_REALIZEPALETTE (52): not played\n");
}

// A picture under a world transform that turns it lands turned on a printer's
// page; a blit that cannot be turned (an operation other than a copy) is
// noted as not drawn instead of vanishing without a word.
TEST_F(EmfPlayTest, TurnedPicturesLandTurnedAndWhatCannotBeDrawnIsNoted) {
    set("hooks", HOOK_BITBLT | HOOK_STRETCHBLT | HOOK_COPYBITS);
    OpenPage();
    // 2 x 1 pixels, red then blue, stretched to 200 x 100 and turned a quarter
    // clockwise about (400, 300): red above, blue below.
    BITMAPINFOHEADER h{};
    h.biSize = sizeof h;
    h.biWidth = 2;
    h.biHeight = 1;
    h.biPlanes = 1;
    h.biBitCount = 24;
    const std::vector<BYTE> bits = {0, 0, 255, 255, 0, 0, 0, 0}; // rows padded to 4 bytes
    const DWORD offBmi = 80, cbBmi = sizeof h, offBits = offBmi + cbBmi,
                cbBits = static_cast<DWORD>(bits.size());
    EmfBuilder b = PageEmf();
    b.WorldTransform(XFORM{0, 1, -1, 0, 400, 300});
    b.Fields(EMR_STRETCHDIBITS, RECTL{0, 0, -1, -1}, LONG{0}, LONG{-50}, LONG{0}, LONG{0}, LONG{2},
             LONG{1}, offBmi, cbBmi, offBits, cbBits, DWORD{DIB_RGB_COLORS}, DWORD{SRCCOPY},
             LONG{200}, LONG{100}, h, bits);
    // The same picture inverted onto the page cannot be turned.
    const DWORD blitBmi = 100;
    b.Fields(EMR_BITBLT, RECTL{0, 0, -1, -1}, LONG{0}, LONG{-50}, LONG{2}, LONG{1},
             DWORD{SRCINVERT}, LONG{0}, LONG{0}, XFORM{1, 0, 0, 1, 0, 0}, COLORREF{0xFFFFFF},
             DWORD{DIB_RGB_COLORS}, blitBmi, cbBmi, blitBmi + cbBmi, cbBits, h, bits);
    Play(b);
    auto pixel = Export<unsigned long (*)(long, long)>("RecorderPixel");
    // The device's pixels are colour references (red in the low byte).
    EXPECT_EQ(pixel(400, 350), RGB(255, 0, 0)); // 50 down the turned picture's first half
    EXPECT_EQ(pixel(400, 450), RGB(0, 0, 255));
    EXPECT_EQ(pixel(470, 350), RGB(255, 255, 255)); // beside it
    EXPECT_EQ(platform::SkippedEmfRecordCounts(),
              (std::map<std::string, long>{{"EMR_BITBLT (not drawn)", 1}}));
}

// A player of its own (as the spool-side library has) sees each record, can
// play it, and can put its own clip back after the metafile's clip records.
TEST_F(EmfPlayTest, EnumerationPlaysRecordByRecordThroughTheCallersProcedure) {
    OpenPage();
    HENHMETAFILE h = Make(PageEmf()
                              .CreateBrush(1, BS_SOLID, RGB(0, 0, 255))
                              .SelectObject(1)
                              .SelectClipRegion({{0, 0, 800, 1000}}, RGN_COPY)
                              .Box(EMR_RECTANGLE, {10, 10, 500, 500}));
    struct Cell {
        HRGN clip;
        std::vector<DWORD> types;
    } cell{CreateRectRgn(0, 0, 200, 200), {}};
    auto proc = [](HDC dc, HANDLETABLE* ht, const ENHMETARECORD* rec, int n, LPARAM p) {
        auto* c = reinterpret_cast<Cell*>(p);
        c->types.push_back(rec->iType);
        PlayEnhMetaFileRecord(dc, ht, rec, static_cast<UINT>(n));
        if (rec->iType == EMR_EXTSELECTCLIPRGN) ExtSelectClipRgn(dc, c->clip, RGN_AND);
        if (rec->iType == EMR_CREATEBRUSHINDIRECT) {
            EXPECT_NE(ht->objectHandle[1], nullptr);
        }
        return 1;
    };
    EXPECT_TRUE(EnumEnhMetaFile(hdc, h, proc, &cell, &kPage));
    EXPECT_EQ(cell.types.size(), 6u);
    std::vector<std::string> calls = TakeLog();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_NE(calls[0].find("clip=rect:8,8,200,200 brush=solid:0xff0000"), std::string::npos)
        << calls[0];
    DeleteObject(cell.clip);
    DeleteEnhMetaFile(h);
}

TEST_F(EmfPlayTest, BandedPagesGetTheRecordsInEveryBandTheyTouch) {
    set("bands", 2);
    OpenPage();
    Play(PageEmf().SelectStock(NULL_PEN).Box(EMR_RECTANGLE, {100, 400, 300, 600}));
    EXPECT_TRUE(TakeLog().empty()); // kept until the page ends
    EndPage(hdc);
    std::vector<std::string> calls = TakeLog();
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_TRUE(StartsWith(calls[1], "DrvFillPath pdev=1 bounds=100,400,300,600 ")) << calls[1];
    EXPECT_TRUE(StartsWith(calls[3], "DrvFillPath pdev=1 bounds=100,-100,300,100 ")) << calls[3];
    EndDoc(hdc);
    DeleteDC(hdc);
    hdc = nullptr;
}

TEST_F(EmfPlayTest, DriverCapabilitiesDecideTheCalls) {
    // A driver that takes fill-and-stroke in one call gets it so.
    set("hooks", HOOK_FILLPATH | HOOK_STROKEPATH | HOOK_STROKEANDFILLPATH);
    OpenPage();
    Play(PageEmf().Box(EMR_RECTANGLE, {10, 10, 50, 50}).MoveTo(0, 0).LineTo(30, 0));
    EXPECT_EQ(TakeLog(),
              (std::vector<std::string>{
                  "DrvStrokeAndFillPath pdev=1 bounds=10,10,50,50 clip=trivial:8,8,53,53 "
                  "pen=solid:0x000000 brush=solid:0xffffff mix=0xd0d mode=1",
                  // Without DrvLineTo a line is a stroked path.
                  "DrvStrokePath pdev=1 bounds=0,0,30,0 clip=trivial:0,0,31,1 brush=solid:0x000000 "
                  "xform=0 width=1 mix=0xd0d",
              }));
    ClosePage();
    // A driver without Bezier curves gets them as lines.
    set("hooks", 0);
    set("no_beziers", 1);
    OpenPage();
    Play(PageEmf().SelectStock(NULL_PEN).Box(EMR_ELLIPSE, {0, 0, 40, 40}));
    std::vector<std::string> detail = TakeDetail();
    ASSERT_EQ(detail.size(), 1u);
    EXPECT_EQ(detail[0].find(" C "), std::string::npos) << detail[0];
    EXPECT_TRUE(StartsWith(detail[0], "FillPath path=M 40,20 L")) << detail[0];
}

} // namespace
