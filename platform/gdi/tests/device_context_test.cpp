#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "platform/engine_ctl.h"
#include "platform/engine_objects.h"
#include "platform/gdi_ctl.h"
#include "platform/gdi_drawing.h"
#include "platform/spooler_ctl.h"
#include "platform/text.h"
#include "win/errors.h"
#include "win/gdi.h"
#include "win/loader.h"
#include "win/printer_interface.h"
#include "win/spool.h"
#include "win/winddi.h"

namespace {

using platform::gdi::BrushSpec;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

// A printer "P1" on "LPT1:" whose driver is the recording driver; the test
// talks to the driver through its test exports.
class DeviceContextTest : public ::testing::Test {
  protected:
    void SetUp() override {
        driverPath = platform::FromUtf8(RECORDING_DRIVER_PATH);
        ASSERT_EQ(platform::spooler::AddPort({u"LPT1:", u"Local Port", u""}), 0u);
        AddRecorderPrinter(u"P1", u"Recorder", false);

        recorder = LoadLibraryW(W(driverPath));
        ASSERT_NE(recorder, nullptr);
        log = Export<const char* (*)()>("RecorderLog");
        clear = Export<void (*)()>("RecorderClear");
        set = Export<void (*)(const char*, long)>("RecorderSet");
        livePdevs = Export<long (*)()>("RecorderLivePdevs");
        ASSERT_TRUE(log && clear && set && livePdevs);
        set("defaults", 0);
        clear();
    }

    void TearDown() override {
        // Everything a test made is given back.
        EXPECT_EQ(platform::test::LiveDeviceContexts(), 0);
        EXPECT_EQ(platform::test::LoadedGraphicsDrivers(), 0);
        EXPECT_EQ(livePdevs ? livePdevs() : 0, 0);
        EXPECT_EQ(platform::test::LiveSurfaces(), 0);
        EXPECT_EQ(platform::test::LivePalettes(), 0);
        EXPECT_EQ(platform::test::LiveDevices(), 0);
        EXPECT_EQ(platform::test::LiveEngineObjects(), 0);
        EXPECT_EQ(platform::test::LiveEngAllocations(), 0);
        if (set) set("defaults", 0);
        if (recorder) FreeLibrary(recorder);
    }

    // A printer on LPT1: driven by the recording driver, which is its
    // interface library too when `asInterface`.
    void AddRecorderPrinter(const std::u16string& name, const std::u16string& driverName,
                            bool asInterface) {
        platform::spooler::DriverRecord driver;
        driver.name = driverName;
        driver.driverPath = driverPath;
        if (asInterface) driver.configFile = driverPath;
        ASSERT_EQ(platform::spooler::AddDriver(driver), 0u);
        platform::spooler::PrinterRecord printer;
        printer.name = name;
        printer.port = u"LPT1:";
        printer.driver = driverName;
        ASSERT_EQ(platform::spooler::AddPrinter(printer, false), 0u);
    }

    template <class F> F Export(const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(recorder, name)));
    }
    static LPCWSTR W(const std::u16string& s) { return reinterpret_cast<LPCWSTR>(s.c_str()); }

    std::vector<std::string> TakeLog() {
        std::vector<std::string> l = Lines(log());
        clear();
        return l;
    }

    // A wide device mode for P1 with 8 private bytes.
    struct Devmode {
        DEVMODEW dm{};
        BYTE priv[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    };
    static Devmode MakeDevmode(short orientation) {
        Devmode d;
        std::memcpy(d.dm.dmDeviceName, u"P1", 6);
        d.dm.dmSpecVersion = DM_SPECVERSION;
        d.dm.dmSize = sizeof(DEVMODEW);
        d.dm.dmDriverExtra = sizeof d.priv;
        d.dm.dmFields = DM_ORIENTATION;
        d.dm.dmOrientation = orientation;
        return d;
    }

    HDC CreateP1(short orientation = DMORIENT_PORTRAIT) {
        Devmode d = MakeDevmode(orientation);
        return CreateDCW(nullptr, u"P1", nullptr, &d.dm);
    }

    static int Start(HDC hdc, LPCWSTR name = u"Report") {
        DOCINFOW di{sizeof(DOCINFOW), name, nullptr, nullptr, 0};
        return StartDocW(hdc, &di);
    }

    std::u16string driverPath;
    HMODULE recorder = nullptr;
    const char* (*log)() = nullptr;
    void (*clear)() = nullptr;
    void (*set)(const char*, long) = nullptr;
    long (*livePdevs)() = nullptr;
};

TEST_F(DeviceContextTest, TwoPageJobFollowsTheDocumentedSequence) {
    HDC hdc = CreateP1();
    ASSERT_NE(hdc, nullptr);
    int job = Start(hdc);
    ASSERT_GT(job, 0);
    for (int page = 0; page < 2; ++page) {
        EXPECT_EQ(StartPage(hdc), 1);
        EXPECT_EQ(EndPage(hdc), 1);
    }
    EXPECT_EQ(EndDoc(hdc), 1);
    EXPECT_TRUE(DeleteDC(hdc));
    EXPECT_EQ(TakeLog(),
              (std::vector<std::string>{
                  "DrvEnableDriver engine=0x30101 cj=16",
                  "DrvEnablePDEV device=P1 port=LPT1: devmode=P1/orient=1/extra=8 cPat=6 caps=320 "
                  "devinfo=312 hdev=yes printer=yes",
                  "DrvCompletePDEV pdev=1 hdev=same",
                  "DrvEnableSurface pdev=1 device=800x1000",
                  "DrvStartDoc pdev=1 doc=Report job=id",
                  "DrvStartPage pdev=1",
                  "DrvSendPage pdev=1 abort=no",
                  "DrvStartPage pdev=1",
                  "DrvSendPage pdev=1 abort=no",
                  "DrvEndDoc pdev=1 fl=0",
                  "DrvDisableSurface pdev=1",
                  "DrvDisablePDEV pdev=1",
                  "DrvDisableDriver",
              }));
    platform::spooler::JobRecord rec;
    ASSERT_TRUE(platform::spooler::FindJob(static_cast<DWORD>(job), &rec));
    EXPECT_EQ(rec.document, u"Report");
    EXPECT_EQ(rec.pages, 2u);
}

TEST_F(DeviceContextTest, ResetDcInTheMiddleOfAJobMovesTheJobToANewDevice) {
    HDC hdc = CreateP1();
    ASSERT_GT(Start(hdc), 0);
    StartPage(hdc);
    EndPage(hdc);
    clear();
    Devmode landscape = MakeDevmode(DMORIENT_LANDSCAPE);
    EXPECT_EQ(ResetDCW(hdc, &landscape.dm), hdc);
    StartPage(hdc);
    EndPage(hdc);
    EndDoc(hdc);
    DeleteDC(hdc);
    EXPECT_EQ(TakeLog(),
              (std::vector<std::string>{
                  "DrvEnablePDEV device=P1 port=LPT1: devmode=P1/orient=2/extra=8 cPat=6 caps=320 "
                  "devinfo=312 hdev=yes printer=yes",
                  "DrvCompletePDEV pdev=2 hdev=same",
                  "DrvResetPDEV old=1 new=2",
                  "DrvDisableSurface pdev=1",
                  "DrvDisablePDEV pdev=1",
                  "DrvEnableSurface pdev=2 device=800x1000",
                  "DrvStartDoc pdev=2 doc=(null) job=0",
                  "DrvStartPage pdev=2",
                  "DrvSendPage pdev=2 abort=no",
                  "DrvEndDoc pdev=2 fl=0",
                  "DrvDisableSurface pdev=2",
                  "DrvDisablePDEV pdev=2",
                  "DrvDisableDriver",
              }));
}

TEST_F(DeviceContextTest, ResetDcBetweenDocumentsHasNoSurfaceToMove) {
    HDC hdc = CreateP1();
    clear();
    Devmode landscape = MakeDevmode(DMORIENT_LANDSCAPE);
    EXPECT_EQ(ResetDCW(hdc, &landscape.dm), hdc);
    EXPECT_EQ(TakeLog(),
              (std::vector<std::string>{
                  "DrvEnablePDEV device=P1 port=LPT1: devmode=P1/orient=2/extra=8 cPat=6 caps=320 "
                  "devinfo=312 hdev=yes printer=yes",
                  "DrvCompletePDEV pdev=2 hdev=same",
                  "DrvResetPDEV old=1 new=2",
                  "DrvDisablePDEV pdev=1",
              }));
    // A reset the driver refuses leaves the old device in use.
    set("fail_reset", 1);
    EXPECT_EQ(ResetDCW(hdc, &landscape.dm), nullptr);
    EXPECT_EQ(TakeLog().back(), "DrvDisablePDEV pdev=3");
    ASSERT_GT(Start(hdc), 0);
    EXPECT_EQ(TakeLog().front(), "DrvEnableSurface pdev=2 device=800x1000");
    // Not while a page is open, and not without a device mode.
    StartPage(hdc);
    EXPECT_EQ(ResetDCW(hdc, &landscape.dm), nullptr);
    EndPage(hdc);
    EXPECT_EQ(ResetDCW(hdc, nullptr), nullptr);
    EndDoc(hdc);
    DeleteDC(hdc);
}

// The page's drawing is kept and played once for every band of the
// driver's banding surface, moved to the band and clipped to it.
TEST_F(DeviceContextTest, BandedPagePlaysTheDrawingPerBand) {
    set("bands", 3); // 1000 rows in bands of 334
    HDC hdc = CreateP1();
    ASSERT_GT(Start(hdc), 0);
    ASSERT_EQ(StartPage(hdc), 1);
    clear();

    auto rect = [](LONG l, LONG t, LONG r, LONG b) {
        PATHOBJ* ppo = EngCreatePath();
        PATHOBJ_bMoveTo(ppo, POINTFIX{l * 16, t * 16});
        POINTFIX pts[3] = {{r * 16, t * 16}, {r * 16, b * 16}, {l * 16, b * 16}};
        PATHOBJ_bPolyLineTo(ppo, pts, 3);
        PATHOBJ_bCloseFigure(ppo);
        return ppo;
    };
    PATHOBJ* big = rect(100, 100, 700, 500);   // bands 1 and 2
    PATHOBJ* small = rect(200, 700, 300, 900); // band 3
    BrushSpec red{false, 0x0000FF, 0, 0};
    BrushSpec hatch{true, 0, 0xFFFFFF, HS_FDIAGONAL};
    EXPECT_TRUE(platform::gdi::SubmitDrawing(
        hdc, platform::gdi::MakeFillPath(big, {}, red, 0x0D0D, FP_ALTERNATEMODE)));
    EXPECT_TRUE(platform::gdi::SubmitDrawing(
        hdc, platform::gdi::MakeFillPath(small, {}, hatch, 0x0D0D, FP_WINDINGMODE)));
    EngDeletePath(big);
    EngDeletePath(small);
    EXPECT_TRUE(log()[0] == '\0'); // nothing is drawn before the page ends

    EXPECT_EQ(EndPage(hdc), 1);
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{
                             "DrvStartBanding pdev=1 band=0,0",
                             "DrvFillPath pdev=1 bounds=100,100,700,500 clip=rect:99,99,702,334 "
                             "brush=solid:0x0000ff "
                             "org=0,0 mix=0xd0d mode=1",
                             "DrvNextBand pdev=1 band=0,334",
                             "DrvFillPath pdev=1 bounds=100,-234,700,166 clip=rect:99,0,702,168 "
                             "brush=solid:0x0000ff "
                             "org=0,-334 mix=0xd0d mode=1",
                             "DrvNextBand pdev=1 band=0,668",
                             "DrvRealizeBrush pdev=1 pattern=8x8/1 mask=no xlate=2 hatch=2",
                             "DrvFillPath pdev=1 bounds=200,32,300,232 clip=trivial:199,31,302,234 "
                             "brush=realized:hatch2/8x8 org=0,-668 mix=0xd0d mode=2",
                             "DrvNextBand pdev=1 band=-1,-1",
                             "DrvSendPage pdev=1 abort=no",
                         }));
    EndDoc(hdc);
    DeleteDC(hdc);
}

TEST_F(DeviceContextTest, DrawingOnADeviceSurfaceGoesStraightToTheDriver) {
    HDC hdc = CreateP1();
    Start(hdc);
    // No page open: nothing to draw on.
    EXPECT_FALSE(platform::gdi::SubmitDrawing(
        hdc, platform::gdi::MakeLineTo({0, 0}, {10, 10}, {}, {}, R2_COPYPEN)));
    StartPage(hdc);
    clear();
    RECTL clip[2] = {{0, 0, 50, 50}, {60, 0, 100, 50}};
    BrushSpec black{};
    EXPECT_TRUE(platform::gdi::SubmitDrawing(
        hdc, platform::gdi::MakeLineTo({10, 20}, {90, 20}, {clip[0], clip[1]}, black, R2_COPYPEN)));
    PATHOBJ* ppo = EngCreatePath();
    PATHOBJ_bMoveTo(ppo, POINTFIX{0, 0});
    POINTFIX bez[3] = {{160, 0}, {160, 160}, {320, 160}};
    PATHOBJ_bPolyBezierTo(ppo, bez, 3);
    LINEATTRS line{};
    line.elWidth.l = 1;
    EXPECT_TRUE(platform::gdi::SubmitDrawing(
        hdc, platform::gdi::MakeStrokePath(ppo, {}, black, line, R2_COPYPEN)));
    EngDeletePath(ppo);
    EXPECT_EQ(
        TakeLog(),
        (std::vector<std::string>{
            "DrvLineTo pdev=1 from=10,20 to=90,20 bounds=10,20,91,21 clip=complex(2):10,20,91,21 "
            "brush=solid:0x000000 mix=0xd",
            "DrvStrokePath pdev=1 bounds=0,0,20,10 clip=rect:0,0,23,13 brush=solid:0x000000 "
            "xform=0 width=1 mix=0xd",
        }));
    EndPage(hdc);
    EndDoc(hdc);
    DeleteDC(hdc);
}

// The engine's paths, clips, brushes and transforms of a call are made for
// it alone (and their storage used again): nothing one shape's call handed to
// the driver reaches the next one. Every shape drawn after the others reaches
// the driver as it does drawn alone on a page, on every road through the
// driver's hooks: curves or their lines, fill and outline in one call or two,
// or the engine drawing what the driver refuses.
TEST_F(DeviceContextTest, EachShapeReachesTheDriverAsItDoesAlone) {
    struct Shape {
        const char* name;
        void (*draw)(HDC);
    };
    // Each shape selects its own pen, brush and clip and puts the old ones back.
    static const Shape shapes[] = {
        {"hatched rectangle with the default pen",
         [](HDC hdc) {
             HBRUSH brush = CreateHatchBrush(HS_CROSS, RGB(255, 0, 0));
             HGDIOBJ old = SelectObject(hdc, brush);
             Rectangle(hdc, 10, 10, 200, 120);
             SelectObject(hdc, old);
             DeleteObject(brush);
         }},
        {"solid ellipse with a wide pen inside a clip rectangle",
         [](HDC hdc) {
             SaveDC(hdc);
             HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
             HPEN pen = CreatePen(PS_SOLID, 3, RGB(0, 128, 0));
             SelectObject(hdc, brush);
             SelectObject(hdc, pen);
             IntersectClipRect(hdc, 50, 50, 300, 260);
             Ellipse(hdc, 40, 40, 320, 280);
             RestoreDC(hdc, -1);
             DeleteObject(brush);
             DeleteObject(pen);
         }},
        {"pie without a pen in a clip of two rectangles",
         [](HDC hdc) {
             SaveDC(hdc);
             HBRUSH brush = CreateSolidBrush(RGB(255, 255, 0));
             SelectObject(hdc, brush);
             SelectObject(hdc, GetStockObject(NULL_PEN));
             HRGN a = CreateRectRgn(300, 300, 400, 400);
             HRGN b = CreateRectRgn(450, 300, 600, 500);
             CombineRgn(a, a, b, RGN_OR);
             SelectClipRgn(hdc, a);
             Pie(hdc, 300, 300, 600, 600, 600, 450, 300, 450);
             RestoreDC(hdc, -1);
             DeleteObject(a);
             DeleteObject(b);
             DeleteObject(brush);
         }},
        {"rounded rectangle outline of a dashed pen",
         [](HDC hdc) {
             HPEN pen = CreatePen(PS_DASH, 1, RGB(255, 0, 0));
             HGDIOBJ oldPen = SelectObject(hdc, pen);
             HGDIOBJ oldBrush = SelectObject(hdc, GetStockObject(NULL_BRUSH));
             RoundRect(hdc, 100, 600, 500, 900, 60, 40);
             SelectObject(hdc, oldPen);
             SelectObject(hdc, oldBrush);
             DeleteObject(pen);
         }},
        {"winding polygon and a polyline with the stock objects",
         [](HDC hdc) {
             SaveDC(hdc);
             SetPolyFillMode(hdc, WINDING);
             const POINT star[5] = {{650, 100}, {700, 250}, {570, 150}, {730, 150}, {600, 250}};
             Polygon(hdc, star, 5);
             Polyline(hdc, star, 3);
             RestoreDC(hdc, -1);
         }},
    };
    struct Road {
        const char* name;
        const char* key;
        long value;
    };
    const Road roads[] = {
        {"curves", "defaults", 0},
        {"flattened", "no_beziers", 1},
        {"fill and outline in one call", "hooks",
         HOOK_FILLPATH | HOOK_STROKEPATH | HOOK_STROKEANDFILLPATH | HOOK_LINETO | HOOK_BITBLT},
        {"drawn by the engine", "refuse_paths", 1},
    };
    auto detail = Export<const char* (*)()>("RecorderDetail");
    ASSERT_NE(detail, nullptr);
    for (const Road& road : roads) {
        SCOPED_TRACE(road.name);
        set("defaults", 0);
        set(road.key, road.value);
        HDC hdc = CreateP1();
        ASSERT_NE(hdc, nullptr);
        ASSERT_GT(Start(hdc), 0);
        std::vector<std::string> alone, aloneDetail;
        for (const Shape& shape : shapes) {
            ASSERT_EQ(StartPage(hdc), 1);
            clear();
            shape.draw(hdc);
            std::vector<std::string> calls = Lines(log()), paths = Lines(detail());
            EXPECT_FALSE(calls.empty()) << shape.name;
            alone.insert(alone.end(), calls.begin(), calls.end());
            aloneDetail.insert(aloneDetail.end(), paths.begin(), paths.end());
            EndPage(hdc);
        }
        ASSERT_EQ(StartPage(hdc), 1);
        clear();
        for (const Shape& shape : shapes)
            shape.draw(hdc);
        EXPECT_EQ(Lines(log()), alone);
        EXPECT_EQ(Lines(detail()), aloneDetail);
        EndPage(hdc);
        EndDoc(hdc);
        DeleteDC(hdc);
    }
}

// From inside DrvEndDoc the driver prints a second job on the same printer
// (as the spool-side player does): the driver stays enabled once for both.
TEST_F(DeviceContextTest, DriverCanOpenASecondJobFromInsideEndDoc) {
    set("reenter", 1);
    HDC hdc = CreateP1();
    int job = Start(hdc);
    StartPage(hdc);
    EndPage(hdc);
    clear();
    EXPECT_EQ(EndDoc(hdc), 1);
    DeleteDC(hdc);
    EXPECT_EQ(TakeLog(),
              (std::vector<std::string>{
                  "DrvEndDoc pdev=1 fl=0",
                  "DrvEnablePDEV device=P1 port=LPT1: devmode=P1/orient=1/extra=8 cPat=6 caps=320 "
                  "devinfo=312 hdev=yes printer=yes",
                  "DrvCompletePDEV pdev=2 hdev=same",
                  "DrvEnableSurface pdev=2 device=800x1000",
                  "DrvStartDoc pdev=2 doc=Inner job=id",
                  "DrvStartPage pdev=2",
                  "DrvSendPage pdev=2 abort=no",
                  "DrvEndDoc pdev=2 fl=0",
                  "DrvDisableSurface pdev=2",
                  "DrvDisablePDEV pdev=2",
                  "second job dc=yes job=id page=1 end=1",
                  "DrvDisableSurface pdev=1",
                  "DrvDisablePDEV pdev=1",
                  "DrvDisableDriver",
              }));
    std::vector<platform::spooler::JobRecord> jobs = platform::spooler::Jobs(u"P1");
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].id, static_cast<DWORD>(job));
    EXPECT_EQ(jobs[1].document, u"Inner");
}

TEST_F(DeviceContextTest, AbortAndDeleteInTheMiddleEndTheDocumentAsAborted) {
    HDC hdc = CreateP1();
    int job = Start(hdc);
    StartPage(hdc);
    clear();
    EXPECT_EQ(AbortDoc(hdc), 1);
    EXPECT_EQ(TakeLog(),
              (std::vector<std::string>{"DrvEndDoc pdev=1 fl=1", "DrvDisableSurface pdev=1"}));
    platform::spooler::JobRecord rec;
    bool gone = !platform::spooler::FindJob(static_cast<DWORD>(job), &rec) ||
                (rec.status & (JOB_STATUS_DELETING | JOB_STATUS_DELETED));
    EXPECT_TRUE(gone);
    EXPECT_EQ(EndDoc(hdc), SP_ERROR);
    EXPECT_EQ(AbortDoc(hdc), SP_ERROR);

    Start(hdc);
    clear();
    EXPECT_TRUE(DeleteDC(hdc));
    EXPECT_EQ(TakeLog(),
              (std::vector<std::string>{"DrvEndDoc pdev=1 fl=1", "DrvDisableSurface pdev=1",
                                        "DrvDisablePDEV pdev=1", "DrvDisableDriver"}));
}

TEST_F(DeviceContextTest, CancellingTheJobIsWhatEngCheckAbortReports) {
    HDC hdc = CreateP1();
    int job = Start(hdc);
    StartPage(hdc);
    EndPage(hdc);
    ASSERT_EQ(platform::spooler::CancelJob(static_cast<DWORD>(job)), 0u);
    StartPage(hdc);
    clear();
    EndPage(hdc);
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"DrvSendPage pdev=1 abort=yes"}));
    AbortDoc(hdc);
    DeleteDC(hdc);
}

TEST_F(DeviceContextTest, EscapesReachTheDriverWithTheirBuffers) {
    HDC hdc = CreateP1();
    clear();
    char out[4] = {};
    EXPECT_EQ(ExtEscape(hdc, 0x7FFF, 4, "abc", 4, out), 1);
    EXPECT_STREQ(out, "abc");
    set("escape_result", 0xFFFFFFFF);
    EXPECT_EQ(ExtEscape(hdc, QUERYESCSUPPORT, 0, nullptr, 0, nullptr), -1);
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"DrvEscape pdev=1 esc=32767 in=4 out=4",
                                                   "DrvEscape pdev=1 esc=8 in=0 out=0"}));
    // Bad sizes never reach the driver.
    EXPECT_EQ(ExtEscape(hdc, 1, -1, "x", 0, nullptr), -1);
    EXPECT_EQ(ExtEscape(hdc, 1, 4, nullptr, 0, nullptr), -1);
    EXPECT_EQ(ExtEscape(hdc, 1, 0, nullptr, 4, nullptr), -1);
    EXPECT_TRUE(TakeLog().empty());
    DeleteDC(hdc);
    EXPECT_EQ(ExtEscape(hdc, 1, 0, nullptr, 0, nullptr), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(DeviceContextTest, AnsiCallsWidenTheirDeviceModeAndNames) {
    struct {
        DEVMODEA dm{};
        BYTE priv[8] = {};
    } a;
    std::memcpy(a.dm.dmDeviceName, "P1", 3);
    std::memcpy(a.dm.dmFormName, "A4", 3);
    a.dm.dmSize = sizeof(DEVMODEA);
    a.dm.dmDriverExtra = 8;
    a.dm.dmOrientation = DMORIENT_LANDSCAPE;
    a.dm.dmMediaType = 7;
    a.priv[7] = 0x5A;
    HDC hdc = CreateDCA(nullptr, "P1", nullptr, &a.dm);
    ASSERT_NE(hdc, nullptr);
    DOCINFOA di{sizeof(DOCINFOA), "Ansi", nullptr, nullptr, 0};
    EXPECT_GT(StartDocA(hdc, &di), 0);
    a.dm.dmOrientation = DMORIENT_PORTRAIT;
    EXPECT_EQ(ResetDCA(hdc, &a.dm), hdc);
    EndDoc(hdc);
    DeleteDC(hdc);
    std::vector<std::string> l = TakeLog();
    EXPECT_EQ(l[1], "DrvEnablePDEV device=P1 port=LPT1: devmode=P1/orient=2/extra=8 cPat=6 "
                    "caps=320 devinfo=312 "
                    "hdev=yes printer=yes");
    EXPECT_EQ(l[4], "DrvStartDoc pdev=1 doc=Ansi job=id");
    EXPECT_EQ(l[5], "DrvEnablePDEV device=P1 port=LPT1: devmode=P1/orient=1/extra=8 cPat=6 "
                    "caps=320 devinfo=312 "
                    "hdev=yes printer=yes");
}

TEST_F(DeviceContextTest, WithoutADeviceModeThePrintersDefaultIsUsed) {
    HDC hdc = CreateDCW(u"WINSPOOL", u"P1", nullptr, nullptr);
    ASSERT_NE(hdc, nullptr);
    DeleteDC(hdc);
    EXPECT_EQ(TakeLog()[1],
              "DrvEnablePDEV device=P1 port=LPT1: devmode=none cPat=6 caps=320 devinfo=312 "
              "hdev=yes printer=yes");

    // The printer's default device mode, as an administrator sets it.
    Devmode d = MakeDevmode(DMORIENT_LANDSCAPE);
    PRINTER_DEFAULTSW admin{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE h = nullptr;
    std::u16string name = u"P1";
    ASSERT_TRUE(OpenPrinterW(reinterpret_cast<LPWSTR>(name.data()), &h, &admin));
    PRINTER_INFO_8W pi8{&d.dm};
    ASSERT_TRUE(SetPrinterW(h, 8, reinterpret_cast<LPBYTE>(&pi8), 0));
    ClosePrinter(h);
    // The driver named by its file, and a port of the caller's.
    hdc = CreateDCW(W(driverPath), u"P1", u"FILE:", nullptr);
    ASSERT_NE(hdc, nullptr);
    DeleteDC(hdc);
    EXPECT_EQ(TakeLog()[1],
              "DrvEnablePDEV device=P1 port=FILE: devmode=P1/orient=2/extra=8 cPat=6 caps=320 "
              "devinfo=312 hdev=yes printer=yes");
}

TEST_F(DeviceContextTest, BadRequestsFailWithTheirErrors) {
    struct Case {
        const char16_t* driver;
        const char16_t* device;
        WORD dmSize;
        DWORD error;
    } cases[] = {
        {nullptr, u"Nobody", sizeof(DEVMODEW), ERROR_INVALID_PRINTER_NAME},
        {nullptr, u"", sizeof(DEVMODEW), ERROR_INVALID_PARAMETER},
        {nullptr, u"P1", 10, ERROR_INVALID_PARAMETER}, // not a device mode
        {nullptr, u"P1", 2000, ERROR_INVALID_PARAMETER},
        {u"C:\\nowhere\\NONE.DLL", u"P1", sizeof(DEVMODEW), ERROR_MOD_NOT_FOUND},
    };
    for (const Case& c : cases) {
        Devmode d = MakeDevmode(DMORIENT_PORTRAIT);
        d.dm.dmSize = c.dmSize;
        SetLastError(0);
        EXPECT_EQ(CreateDCW(reinterpret_cast<LPCWSTR>(c.driver),
                            reinterpret_cast<LPCWSTR>(c.device), nullptr, &d.dm),
                  nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_TRUE(TakeLog().empty());

    // A driver that refuses the device is disabled again at once.
    set("fail_enable_pdev", 1);
    EXPECT_EQ(CreateP1(), nullptr);
    EXPECT_EQ(TakeLog().back(), "DrvDisableDriver");
    set("fail_enable_pdev", 0);

    HDC hdc = CreateP1();
    EXPECT_EQ(StartPage(hdc), SP_ERROR); // no document
    EXPECT_EQ(EndPage(hdc), SP_ERROR);
    EXPECT_EQ(StartDocW(hdc, nullptr), SP_ERROR);
    ASSERT_GT(Start(hdc), 0);
    EXPECT_EQ(Start(hdc), SP_ERROR); // one document at a time
    set("fail_start_page", 1);
    EXPECT_EQ(StartPage(hdc), SP_ERROR);
    EXPECT_EQ(EndPage(hdc), SP_ERROR);
    set("fail_start_page", 0);
    EXPECT_EQ(StartPage(hdc), 1);
    EXPECT_EQ(StartPage(hdc), SP_ERROR); // a page is open
    EXPECT_EQ(EndDoc(hdc), 1);           // ends the open page first
    EXPECT_TRUE(DeleteDC(hdc));
    EXPECT_FALSE(DeleteDC(hdc));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(StartPage(hdc), SP_ERROR);
}

} // namespace

// A printer "PE" whose configuration file is the recording driver too, so
// that its document events land in the same log as the graphics calls.
class DocumentEventTest : public DeviceContextTest {
  protected:
    void SetUp() override {
        DeviceContextTest::SetUp();
        AddRecorderPrinter(u"PE", u"RecorderEvents", true);
        handed = Export<long (*)()>("RecorderHandedDevmodes");
        ASSERT_TRUE(handed);
        installLog = TakeLog();
    }
    void TearDown() override {
        EXPECT_EQ(handed ? handed() : 0, 0);
        DeviceContextTest::TearDown();
    }

    HDC CreatePE(short orientation = DMORIENT_PORTRAIT) {
        Devmode d = MakeDevmode(orientation);
        return CreateDCW(nullptr, u"PE", nullptr, &d.dm);
    }

    // The document events, the escapes and the document calls of the log;
    // the driver's other calls by name only where they mark the order.
    std::vector<std::string> Events() {
        std::vector<std::string> out;
        for (const std::string& line : TakeLog()) {
            std::string name = line.substr(0, line.find(' '));
            if (name == "DrvDocumentEvent" || name == "DrvEscape")
                out.push_back(line);
            else if (name == "DrvEnablePDEV" || name == "DrvStartDoc" || name == "DrvStartPage" ||
                     name == "DrvSendPage" || name == "DrvEndDoc" || name == "DrvDisablePDEV")
                out.push_back(name);
        }
        return out;
    }

    long (*handed)() = nullptr;
    std::vector<std::string> installLog;
};

TEST_F(DocumentEventTest, WholeJobSendsTheEventsAroundTheDriversCalls) {
    HDC hdc = CreatePE();
    ASSERT_NE(hdc, nullptr);
    ASSERT_GT(Start(hdc), 0);
    EXPECT_EQ(StartPage(hdc), 1);
    EXPECT_EQ(EndPage(hdc), 1);
    EXPECT_EQ(EndDoc(hdc), 1);
    EXPECT_TRUE(DeleteDC(hdc));
    EXPECT_EQ(Events(),
              (std::vector<std::string>{
                  "DrvDocumentEvent esc=1 hdc=no printer=yes in=32 out=8 device=PE devmode=1 ic=0",
                  "DrvEnablePDEV",
                  "DrvDocumentEvent esc=2 hdc=yes printer=yes in=8 out=0 none",
                  "DrvDocumentEvent esc=5 hdc=yes printer=yes in=8 out=0 doc=Report output=(null)",
                  "DrvStartDoc",
                  "DrvDocumentEvent esc=13 hdc=yes printer=yes in=4 out=0 job=id",
                  "DrvDocumentEvent esc=6 hdc=yes printer=yes in=0 out=0",
                  "DrvStartPage",
                  "DrvDocumentEvent esc=7 hdc=yes printer=yes in=0 out=0",
                  "DrvSendPage",
                  "DrvDocumentEvent esc=8 hdc=yes printer=yes in=0 out=0",
                  "DrvEndDoc",
                  "DrvDocumentEvent esc=12 hdc=yes printer=yes in=0 out=0",
                  "DrvDocumentEvent esc=10 hdc=yes printer=yes in=0 out=0",
                  "DrvDisablePDEV",
              }));
}

TEST_F(DocumentEventTest, RefusedEventsFailTheirCalls) {
    set("refuse_event", DOCUMENTEVENT_CREATEDCPRE);
    SetLastError(0);
    EXPECT_EQ(CreatePE(), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANCELLED));
    // The library still hears that the context never came, with nothing to take back.
    EXPECT_EQ(Events(), (std::vector<std::string>{
                            "DrvDocumentEvent esc=1 hdc=no printer=yes in=32 out=8 device=PE "
                            "devmode=1 ic=0",
                            "DrvDocumentEvent esc=2 hdc=no printer=yes in=8 out=0 none",
                        }));

    set("refuse_event", DOCUMENTEVENT_STARTDOC);
    HDC hdc = CreatePE();
    ASSERT_NE(hdc, nullptr);
    clear();
    EXPECT_EQ(Start(hdc), SP_ERROR);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANCELLED));
    EXPECT_EQ(StartPage(hdc), SP_ERROR); // no document was opened
    EXPECT_EQ(Events(), (std::vector<std::string>{
                            "DrvDocumentEvent esc=5 hdc=yes printer=yes in=8 out=0 "
                            "doc=Report output=(null)",
                        }));

    set("refuse_event", DOCUMENTEVENT_RESETDCPRE);
    Devmode landscape = MakeDevmode(DMORIENT_LANDSCAPE);
    EXPECT_EQ(ResetDCW(hdc, &landscape.dm), nullptr);
    EXPECT_EQ(Events(), (std::vector<std::string>{
                            "DrvDocumentEvent esc=3 hdc=yes printer=yes in=8 out=8 devmode=2",
                            "DrvDocumentEvent esc=4 hdc=yes printer=yes in=8 out=0 none",
                        }));
    EXPECT_TRUE(DeleteDC(hdc));
}

TEST_F(DocumentEventTest, DeviceModeHandedBackIsUsedAndGivenBack) {
    set("replace_devmode", 1);
    HDC hdc = CreatePE(DMORIENT_PORTRAIT);
    ASSERT_NE(hdc, nullptr);
    EXPECT_EQ(handed(), 0);
    std::vector<std::string> log = TakeLog();
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "DrvEnablePDEV device=PE port=LPT1: devmode=/orient=2/extra=0 cPat=6 "
                        "caps=320 devinfo=312 hdev=yes printer=yes"),
              log.end());
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "DrvDocumentEvent esc=2 hdc=yes printer=yes in=8 out=0 handed"),
              log.end());

    Devmode portrait = MakeDevmode(DMORIENT_PORTRAIT);
    EXPECT_EQ(ResetDCW(hdc, &portrait.dm), hdc);
    EXPECT_EQ(handed(), 0);
    log = TakeLog();
    EXPECT_EQ(log.front(), "DrvDocumentEvent esc=3 hdc=yes printer=yes in=8 out=8 devmode=1");
    EXPECT_EQ(log[1], "DrvEnablePDEV device=PE port=LPT1: devmode=/orient=2/extra=0 cPat=6 "
                      "caps=320 devinfo=312 hdev=yes printer=yes");
    EXPECT_EQ(log.back(), "DrvDocumentEvent esc=4 hdc=yes printer=yes in=8 out=0 handed");
    EXPECT_TRUE(DeleteDC(hdc));
}

TEST_F(DocumentEventTest, TheLibraryCanEscapeIntoTheContextWhileItHandlesAnEvent) {
    HDC hdc = CreatePE();
    ASSERT_NE(hdc, nullptr);
    set("escape_on_event", 1);
    ASSERT_GT(Start(hdc), 0);
    EXPECT_EQ(StartPage(hdc), 1);
    EXPECT_EQ(AbortDoc(hdc), 1);
    ASSERT_GT(Start(hdc), 0);
    // Deleting a context with a document open aborts the document first.
    EXPECT_TRUE(DeleteDC(hdc));
    std::vector<std::string> escapes;
    for (const std::string& line : Events())
        if (line.rfind("DrvEscape", 0) == 0) escapes.push_back(line.substr(line.find("esc=")));
    auto esc = [](int event) { return "esc=" + std::to_string(0x4000 + event) + " in=0 out=0"; };
    EXPECT_EQ(escapes, (std::vector<std::string>{
                           esc(DOCUMENTEVENT_STARTDOC), esc(DOCUMENTEVENT_STARTDOCPOST),
                           esc(DOCUMENTEVENT_STARTPAGE), esc(DOCUMENTEVENT_ABORTDOC),
                           esc(DOCUMENTEVENT_STARTDOC), esc(DOCUMENTEVENT_STARTDOCPOST),
                           esc(DOCUMENTEVENT_ABORTDOC), esc(DOCUMENTEVENT_DELETEDC)}));
}

// The spooler's own events reach the same library as the printer's interface.
TEST_F(DocumentEventTest, SpoolerRaisesPrinterEventsAndTheUpgrade) {
    // The new printer is initialised and takes the driver's default device mode.
    const std::string ownSize = std::to_string(sizeof(DEVMODEW));
    EXPECT_EQ(installLog, (std::vector<std::string>{
                              "DrvPrinterEvent printer=PE event=3 flags=1",
                              "DrvConvertDevMode printer=PE mode=4 in=0/0 out=0/0",
                              "DrvConvertDevMode printer=PE mode=4 in=0/0 out=0/0",
                              "DrvConvertDevMode printer=PE mode=4 in=0/0 out=0/0",
                              "DrvConvertDevMode printer=PE mode=4 in=0/0 out=0/0",
                          }));

    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"PE"), &printer, &all));
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> buf(needed);
    ASSERT_TRUE(GetPrinterW(printer, 2, buf.data(), needed, &needed));
    auto* info = reinterpret_cast<PRINTER_INFO_2W*>(buf.data());
    DWORD before = info->Attributes;
    // The same attributes again change nothing the library must hear of.
    ASSERT_TRUE(SetPrinterW(printer, 2, buf.data(), 0));
    EXPECT_EQ(TakeLog(), std::vector<std::string>{});
    info->Attributes = before | PRINTER_ATTRIBUTE_SHARED;
    ASSERT_TRUE(SetPrinterW(printer, 2, buf.data(), 0));
    char expected[128];
    std::snprintf(expected, sizeof expected,
                  "DrvPrinterEvent printer=PE event=7 flags=1 size=12 old=0x%x new=0x%x", before,
                  before | PRINTER_ATTRIBUTE_SHARED);
    EXPECT_EQ(TakeLog(), std::vector<std::string>{expected});
    ClosePrinter(printer);

    // Installing the printer again over itself is the driver's upgrade.
    platform::spooler::PrinterRecord again;
    again.name = u"PE";
    again.port = u"LPT1:";
    again.driver = u"RecorderEvents";
    ASSERT_EQ(platform::spooler::AddPrinter(again, true), 0u);
    std::string folder = platform::ToUtf8(driverPath.substr(0, driverPath.find_last_of(u"\\/")));
    EXPECT_EQ(TakeLog(),
              std::vector<std::string>{"DrvUpgradePrinter level=1 printer=PE old=" + folder});
}

// A device mode of an older version handed to the spooler is stored as the
// driver converts it; one of the driver's own version is stored as given.
TEST_F(DocumentEventTest, SpoolerConvertsDeviceModesOfAnotherVersion) {
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"PE"), &printer, &all));
    constexpr WORD kOldSize = offsetof(DEVMODEW, dmICMMethod);
    std::vector<BYTE> old(kOldSize, 0);
    auto* dm = reinterpret_cast<DEVMODEW*>(old.data());
    dm->dmSize = kOldSize;
    dm->dmSpecVersion = 0x0320;
    dm->dmFields = DM_ORIENTATION;
    dm->dmOrientation = DMORIENT_LANDSCAPE;
    PRINTER_INFO_9W info{dm};
    ASSERT_TRUE(SetPrinterW(printer, 9, reinterpret_cast<LPBYTE>(&info), 0));
    std::vector<std::string> log = TakeLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "DrvConvertDevMode printer=PE mode=1 in=" + std::to_string(kOldSize) +
                              "/0 out=" + std::to_string(sizeof(DEVMODEW)) + "/8");

    DWORD needed = 0;
    GetPrinterW(printer, 9, nullptr, 0, &needed);
    std::vector<BYTE> buf(needed);
    ASSERT_TRUE(GetPrinterW(printer, 9, buf.data(), needed, &needed));
    const DEVMODEW* stored = reinterpret_cast<PRINTER_INFO_9W*>(buf.data())->pDevMode;
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->dmSize, sizeof(DEVMODEW));
    EXPECT_EQ(stored->dmDriverExtra, 8);
    EXPECT_EQ(stored->dmOrientation, DMORIENT_LANDSCAPE);

    // The stored one is the driver's own version: nothing to convert.
    PRINTER_INFO_9W again{const_cast<DEVMODEW*>(stored)};
    ASSERT_TRUE(SetPrinterW(printer, 9, reinterpret_cast<LPBYTE>(&again), 0));
    for (const std::string& line : TakeLog())
        EXPECT_EQ(line.find("mode=1"), std::string::npos) << line;
    ClosePrinter(printer);
}

// A library that revises the given device mode in place and hands it back.
TEST_F(DocumentEventTest, DeviceModeRevisedInPlaceIsKept) {
    set("replace_devmode", 2);
    HDC hdc = CreatePE(DMORIENT_PORTRAIT);
    ASSERT_NE(hdc, nullptr);
    std::vector<std::string> log = TakeLog();
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "DrvEnablePDEV device=PE port=LPT1: devmode=P1/orient=2/extra=8 cPat=6 "
                        "caps=320 devinfo=312 hdev=yes printer=yes"),
              log.end());
    Devmode portrait = MakeDevmode(DMORIENT_PORTRAIT);
    EXPECT_EQ(ResetDCW(hdc, &portrait.dm), hdc);
    log = TakeLog();
    EXPECT_EQ(log[1], "DrvEnablePDEV device=PE port=LPT1: devmode=P1/orient=2/extra=8 cPat=6 "
                      "caps=320 devinfo=312 hdev=yes printer=yes");
    EXPECT_TRUE(DeleteDC(hdc));
}
