// The page recorder of the spool-side road: a page drawn on the driver is
// recorded into its page file, which libUEMF and emf2svg accept and which our
// own player turns back into the drawing calls that drawing the page
// directly gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
#include <uemf.h>
#include <uemf_safe.h>
}

#include "emf_recorder.h"
#include "layout_scale.h"
#include "package_reader.h"
#include "pdev.h"
#include "platform/gdi_ctl.h"
#include "platform/paths.h"
#include "platform/spooler_ctl.h"
#include "platform/text.h"
#include "render_fixture.h"
#include "spool_package.h"
#include "win/base.h"
#include "win/emf.h"
#include "win/gdi.h"
#include "win/gdi_bitmap.h"
#include "win/gdi_dc.h"
#include "working_folder.h"

namespace {

using namespace render_test;
using namespace inkforge;
namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(std::regex_replace(line, std::regex("pdev=\\d+ "), ""));
    return out;
}

// Lines, rectangles and polygons at whole pixels, under a clip, in pens and
// brushes of several kinds.
void DrawPage(HDC hdc) {
    HPEN red = CreatePen(PS_SOLID, 0, RGB(200, 0, 0));
    HGDIOBJ oldPen = SelectObject(hdc, red);
    MoveToEx(hdc, 10, 10, nullptr);
    LineTo(hdc, 300, 40);
    LOGBRUSH lb{BS_SOLID, RGB(0, 0, 160), 0};
    HPEN wide =
        ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT | PS_JOIN_MITER, 6, &lb, 0, nullptr);
    SelectObject(hdc, wide);
    POINT zig[] = {{20, 100}, {80, 160}, {140, 100}, {200, 160}};
    Polyline(hdc, zig, 4);
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    HGDIOBJ oldBrush = SelectObject(hdc, blue);
    SelectObject(hdc, red);
    Rectangle(hdc, 50, 200, 250, 300);
    SelectObject(hdc, GetStockObject(NULL_PEN));
    SetPolyFillMode(hdc, WINDING);
    POINT star[] = {{400, 200}, {460, 380}, {310, 270}, {490, 270}, {340, 380}};
    Polygon(hdc, star, 5);
    IntersectClipRect(hdc, 100, 400, 300, 500);
    SelectObject(hdc, red);
    Rectangle(hdc, 50, 350, 350, 550);
    SelectObject(hdc, oldBrush);
    SelectObject(hdc, oldPen);
    DeleteObject(blue);
    DeleteObject(wide);
    DeleteObject(red);
}

// A picture stretched and copied, a pattern fill, a transparent blit and
// gradients of both kinds.
void DrawImages(HDC hdc) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = 4;
    bi.bmiHeader.biHeight = 4;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    BYTE bits[4 * 12];
    for (int i = 0; i < 48; ++i)
        bits[i] = static_cast<BYTE>(i * 5);
    StretchDIBits(hdc, 20, 20, 4, 4, 0, 0, 4, 4, bits, &bi, DIB_RGB_COLORS, SRCCOPY);
    StretchDIBits(hdc, 100, 20, 40, 40, 0, 0, 4, 4, bits, &bi, DIB_RGB_COLORS, SRCCOPY);
    HBRUSH green = CreateSolidBrush(RGB(0, 128, 0));
    HGDIOBJ old = SelectObject(hdc, green);
    PatBlt(hdc, 200, 20, 50, 30, PATCOPY);
    PatBlt(hdc, 210, 30, 20, 10, DSTINVERT);
    SelectObject(hdc, old);
    DeleteObject(green);
    TRIVERTEX v[3] = {
        {300, 100, 0xFF00, 0, 0, 0}, {400, 200, 0, 0, 0xFF00, 0}, {300, 200, 0, 0xFF00, 0, 0}};
    GRADIENT_RECT rect{0, 1};
    GradientFill(hdc, v, 2, &rect, 1, GRADIENT_FILL_RECT_H);
    GRADIENT_TRIANGLE tri{0, 1, 2};
    GradientFill(hdc, v, 3, &tri, 1, GRADIENT_FILL_TRIANGLE);
}

// The record types of a page, each record checked by libUEMF.
std::vector<DWORD> CheckedRecords(const Bytes& bytes) {
    std::vector<DWORD> types;
    size_t at = 0;
    while (at + 8 <= bytes.size()) {
        DWORD type = 0, size = 0;
        std::memcpy(&type, bytes.data() + at, 4);
        std::memcpy(&size, bytes.data() + at + 4, 4);
        EXPECT_TRUE(size >= 8 && size % 4 == 0 && at + size <= bytes.size()) << at;
        if (size < 8 || size % 4 || at + size > bytes.size()) break;
        EXPECT_TRUE(U_emf_record_safe(reinterpret_cast<const char*>(bytes.data() + at)))
            << "record " << type << " at " << at;
        types.push_back(type);
        at += size;
    }
    EXPECT_EQ(at, bytes.size());
    return types;
}

// The offsets of the records of one type.
std::vector<size_t> RecordsOf(const Bytes& bytes, DWORD type) {
    std::vector<size_t> found;
    for (size_t at = 0; at + 8 <= bytes.size();) {
        DWORD t = 0, size = 0;
        std::memcpy(&t, bytes.data() + at, 4);
        std::memcpy(&size, bytes.data() + at + 4, 4);
        if (size < 8 || at + size > bytes.size()) break;
        if (t == type) found.push_back(at);
        at += size;
    }
    return found;
}

LONG I32At(const Bytes& b, size_t at) {
    LONG v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

bool Emf2SvgConverts(const std::string& host) {
    std::string svg = host + ".svg";
    std::string command = "emf2svg-conv -i '" + host + "' -o '" + svg + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0 && fs::file_size(svg) > 0;
}

// escapement: the baseline's turn in tenths of degrees.
void DrawText(HDC hdc, LONG escapement = 0, const std::u16string& face = u"Arial") {
    LOGFONTW lf{};
    lf.lfHeight = -40;
    lf.lfWeight = 400;
    lf.lfEscapement = lf.lfOrientation = escapement;
    std::copy(face.begin(), face.end(), lf.lfFaceName);
    HFONT font = CreateFontIndirectW(&lf);
    HGDIOBJ old = SelectObject(hdc, font);
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, RGB(0, 0, 200));
    TextOutW(hdc, 50, 100, u"Hello", 5);
    SelectObject(hdc, old);
    DeleteObject(font);
}

class EmfRecorderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InstallPrinter(u"P1", SampleModel("CX5540"));
        std::string host = platform::HostPath(platform::spooler::DriversFolder() + u"\\P1");
        fs::copy_file(RECORDING_SPOOL_PATH, host + "/Metaweave.DLL");
        platform::spooler::DriverRecord driver;
        driver.name = u"Recorder";
        driver.driverPath = platform::FromUtf8(RECORDING_DRIVER_PATH);
        ASSERT_EQ(platform::spooler::AddDriver(driver), 0u);
        platform::spooler::PrinterRecord printer;
        printer.name = u"R";
        printer.port = u"LPT1:";
        printer.driver = u"Recorder";
        ASSERT_EQ(platform::spooler::AddPrinter(printer, false), 0u);
        recorder = LoadLibraryW(driver.driverPath.c_str());
        ASSERT_NE(recorder, nullptr);
        log = reinterpret_cast<const char* (*)()>(
            reinterpret_cast<void (*)()>(GetProcAddress(recorder, "RecorderLog")));
        clear = reinterpret_cast<void (*)()>(GetProcAddress(recorder, "RecorderClear"));
        ASSERT_TRUE(log && clear);
    }
    void TearDown() override {
        if (recorder) FreeLibrary(recorder);
    }

    // Prints one page drawn by DrawPage on the driver and answers its page
    // file; a zoom other than 0 lays the page out at that scale.
    template <class Draw> std::u16string RecordPage(Draw draw, SHORT zoom = 0) {
        DevmodeImage d = OwnDevmode();
        SetPrivU32(d, priv::EmfMode, 1);
        if (zoom) {
            SetPrivU16(d, priv::LayoutKind, kLayoutZoom);
            SetPrivU16(d, priv::ZoomPercent, static_cast<WORD>(zoom));
        }
        HDC hdc = CreateDCW(nullptr, u"P1", nullptr, &d.dm);
        EXPECT_NE(hdc, nullptr);
        DOCINFOW di{sizeof(DOCINFOW), u"Shapes", nullptr, nullptr, 0};
        int job = StartDocW(hdc, &di);
        EXPECT_GT(StartPage(hdc), 0);
        draw(hdc);
        EXPECT_GT(EndPage(hdc), 0);
        EXPECT_GT(EndDoc(hdc), 0);
        DeleteDC(hdc);
        TestDevice dev(u"P1", false);
        std::u16string working;
        EXPECT_TRUE(GetWorkingFolder(dev.get(), &working));
        return spoolpkg::PagePath(spoolpkg::SpoolFolder(working),
                                  static_cast<DWORD>(job) + spoolpkg::kSpoolIdBase, 1);
    }

    // The recording driver's log of what happens between page start and end.
    // The recording driver's calls for the page file played back at its size,
    // run boxes left out (see Unboxed).
    std::vector<std::string> PlayedBack(const std::u16string& page, const Bytes& bytes) {
        LONG w = 0, h = 0;
        std::memcpy(&w, bytes.data() + 72, 4);
        std::memcpy(&h, bytes.data() + 76, 4);
        platform::test::ClearSkippedEmfRecords();
        return Unboxed(OnRecorder([&](HDC hdc) {
            HENHMETAFILE emf = GetEnhMetaFileW(page.c_str());
            ASSERT_NE(emf, nullptr);
            RECT r{0, 0, w, h};
            EXPECT_TRUE(PlayEnhMetaFile(hdc, emf, &r));
            DeleteEnhMetaFile(emf);
        }));
    }
    // A run's box may end a pixel short on the page: it holds whole-pixel
    // advances where the face's last advance was fractional.
    static std::vector<std::string> Unboxed(std::vector<std::string> lines) {
        for (auto& l : lines)
            l = std::regex_replace(l, std::regex("clip=rect:[0-9,]+"), "clip=rect");
        return lines;
    }

    template <class Draw> std::vector<std::string> OnRecorder(Draw draw) {
        HDC hdc = CreateDCW(nullptr, u"R", nullptr, nullptr);
        EXPECT_NE(hdc, nullptr);
        DOCINFOW di{sizeof(DOCINFOW), u"Test", nullptr, nullptr, 0};
        EXPECT_GT(StartDocW(hdc, &di), 0);
        EXPECT_EQ(StartPage(hdc), 1);
        clear();
        draw(hdc);
        std::vector<std::string> lines = Lines(log());
        EndPage(hdc);
        EndDoc(hdc);
        DeleteDC(hdc);
        return lines;
    }

    HMODULE recorder = nullptr;
    const char* (*log)() = nullptr;
    void (*clear)() = nullptr;
};

TEST_F(EmfRecorderTest, ARecordedPageIsReadByOthersAndPlaysBackIntoTheSameCalls) {
    std::u16string page = RecordPage(DrawPage);
    std::string host = platform::HostPath(page);
    Bytes bytes = ReadHostFile(host);
    ASSERT_GT(bytes.size(), 144u);

    // libUEMF: every record is whole and safe to read.
    std::vector<DWORD> types = CheckedRecords(bytes);
    DWORD counted = 0;
    std::memcpy(&counted, bytes.data() + 52, 4);
    EXPECT_EQ(counted, types.size());

    // emf2svg converts it, and draws the shapes.
    ASSERT_TRUE(Emf2SvgConverts(host));
    Bytes svg = ReadHostFile(host + ".svg");
    EXPECT_NE(std::string(svg.begin(), svg.end()).find("<path"), std::string::npos);

    // Our own player gives the drawing calls of the page drawn directly.
    LONG w = 0, h = 0;
    std::memcpy(&w, bytes.data() + 72, 4);
    std::memcpy(&h, bytes.data() + 76, 4);
    std::vector<std::string> played = OnRecorder([&](HDC hdc) {
        HENHMETAFILE emf = GetEnhMetaFileW(page.c_str());
        ASSERT_NE(emf, nullptr);
        RECT r{0, 0, w, h};
        EXPECT_TRUE(PlayEnhMetaFile(hdc, emf, &r));
        DeleteEnhMetaFile(emf);
    });
    std::vector<std::string> direct = OnRecorder([](HDC hdc) { DrawPage(hdc); });
    ASSERT_GE(direct.size(), 5u);
    EXPECT_EQ(played, direct);
    EXPECT_EQ(platform::SkippedEmfRecordCounts().size(), 0u);
}

TEST_F(EmfRecorderTest, PicturesAndGradientsPlayBackIntoTheSameCalls) {
    std::u16string page = RecordPage(DrawImages);
    Bytes bytes = ReadHostFile(platform::HostPath(page));
    ASSERT_GT(bytes.size(), 144u);
    std::vector<DWORD> types = CheckedRecords(bytes);
    EXPECT_EQ(std::count(types.begin(), types.end(), EMR_STRETCHDIBITS), 2);
    EXPECT_EQ(std::count(types.begin(), types.end(), EMR_GRADIENTFILL), 2);
    EXPECT_EQ(std::count(types.begin(), types.end(), EMR_BITBLT), 2);
    EXPECT_TRUE(Emf2SvgConverts(platform::HostPath(page)));
    LONG w = 0, h = 0;
    std::memcpy(&w, bytes.data() + 72, 4);
    std::memcpy(&h, bytes.data() + 76, 4);
    platform::test::ClearSkippedEmfRecords();
    std::vector<std::string> played = OnRecorder([&](HDC hdc) {
        HENHMETAFILE emf = GetEnhMetaFileW(page.c_str());
        ASSERT_NE(emf, nullptr);
        RECT r{0, 0, w, h};
        EXPECT_TRUE(PlayEnhMetaFile(hdc, emf, &r));
        DeleteEnhMetaFile(emf);
    });
    std::vector<std::string> direct = OnRecorder([](HDC hdc) { DrawImages(hdc); });
    ASSERT_GE(direct.size(), 3u);
    EXPECT_EQ(played, direct);
    // The recording driver refuses some of these calls, drawn directly as
    // played; playback notes those as not drawn, and nothing else.
    for (const auto& [name, count] : platform::SkippedEmfRecordCounts())
        EXPECT_NE(name.find(" (not drawn)"), std::string::npos) << name;
}

TEST_F(EmfRecorderTest, TextPlaysBackIntoTheSameCallsWithItsFontInThePackage) {
    std::u16string page = RecordPage([](HDC hdc) { DrawText(hdc); });
    Bytes bytes = ReadHostFile(platform::HostPath(page));
    std::vector<DWORD> types = CheckedRecords(bytes);
    EXPECT_EQ(std::count(types.begin(), types.end(), EMR_EXTTEXTOUTW), 1);
    EXPECT_EQ(std::count(types.begin(), types.end(), EMR_EXTCREATEFONTINDIRECTW), 1);
    EXPECT_TRUE(Emf2SvgConverts(platform::HostPath(page)));
    // The face's TrueType file went into the package.
    std::u16string folder = page.substr(0, page.rfind(u'\\'));
    std::u16string list = folder + u".FON";
    EXPECT_EQ(ReadHostFile(platform::HostPath(list)).size(), spoolpkg::kFontRecordSize);
    LONG w = 0, h = 0;
    std::memcpy(&w, bytes.data() + 72, 4);
    std::memcpy(&h, bytes.data() + 76, 4);
    platform::test::ClearSkippedEmfRecords();
    std::vector<std::string> played = OnRecorder([&](HDC hdc) {
        HENHMETAFILE emf = GetEnhMetaFileW(page.c_str());
        ASSERT_NE(emf, nullptr);
        RECT r{0, 0, w, h};
        EXPECT_TRUE(PlayEnhMetaFile(hdc, emf, &r));
        DeleteEnhMetaFile(emf);
    });
    std::vector<std::string> direct = OnRecorder([](HDC hdc) { DrawText(hdc); });
    // The run's box may end a pixel short: the page holds whole-pixel
    // advances where the face's last advance was fractional.
    auto unboxed = [](std::vector<std::string> lines) {
        for (auto& l : lines)
            l = std::regex_replace(l, std::regex("clip=rect:[0-9,]+"), "clip=rect");
        return lines;
    };
    ASSERT_EQ(direct.size(), 1u);
    EXPECT_EQ(unboxed(played), unboxed(direct));
    EXPECT_EQ(platform::SkippedEmfRecordCounts().size(), 0u);
}

// A run that the user's substitution table sends to a printer font on the
// direct road is recorded with its characters under its face's own name, and
// its face stays out of the package: the replay then makes the direct road's
// choice. Without the table the run is glyph indices in the package's font.
TEST_F(EmfRecorderTest, ARunAPrinterFontStandsForKeepsItsCharacters) {
    std::u16string working;
    {
        TestDevice dev(u"P1", false);
        ASSERT_TRUE(GetWorkingFolder(dev.get(), &working));
    }
    const std::string table = platform::HostPath(working + u"Fontroll.DAT");
    // The substitution file: its 20-byte header, one 192-byte record (the
    // TrueType name at 0, the printer font at 64, "may be substituted" at 140).
    std::string file(20 + 192, '\0');
    const DWORD head[5] = {0x4D46, 20, 1, 1, 0};
    std::memcpy(file.data(), head, sizeof head);
    std::memcpy(file.data() + 20, "Arial", 5);
    std::memcpy(file.data() + 20 + 64, "Courier New", 11);
    file[20 + 140] = 1;
    for (bool withTable : {false, true}) {
        SCOPED_TRACE(withTable ? "with the table" : "without the table");
        fs::remove(table);
        if (withTable) {
            fs::create_directories(fs::path(table).parent_path());
            std::ofstream(table, std::ios::binary) << file;
        }
        std::u16string page = RecordPage([](HDC hdc) { DrawText(hdc); });
        Bytes bytes = ReadHostFile(platform::HostPath(page));
        std::vector<size_t> texts = RecordsOf(bytes, EMR_EXTTEXTOUTW);
        std::vector<size_t> fonts = RecordsOf(bytes, EMR_EXTCREATEFONTINDIRECTW);
        ASSERT_EQ(texts.size(), 1u);
        ASSERT_EQ(fonts.size(), 1u);
        constexpr size_t kCount = 44, kStringAt = 48, kOptions = 52;
        EXPECT_EQ((I32At(bytes, texts[0] + kOptions) & ETO_GLYPH_INDEX) != 0, !withTable);
        ASSERT_EQ(I32At(bytes, texts[0] + kCount), 5);
        const size_t string = texts[0] + static_cast<size_t>(I32At(bytes, texts[0] + kStringAt));
        ASSERT_LE(string + 10, bytes.size());
        EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(bytes.data() + string), 5) ==
                      u"Hello",
                  withTable);
        const auto* face = reinterpret_cast<const char16_t*>(bytes.data() + fonts[0] + 12 +
                                                             offsetof(LOGFONTW, lfFaceName));
        EXPECT_EQ(std::u16string(face), u"Arial");
        std::u16string folder = page.substr(0, page.rfind(u'\\'));
        EXPECT_EQ(fs::exists(platform::HostPath(folder + u".FON")), !withTable);
        std::vector<std::string> direct = Unboxed(OnRecorder([](HDC hdc) { DrawText(hdc); }));
        ASSERT_EQ(direct.size(), 1u);
        EXPECT_EQ(PlayedBack(page, bytes), direct);
    }
    fs::remove(table);
}

// Turned text is recorded upright under a world transform that turns it,
// with its glyphs at their places in the turned coordinates, and the
// transform is reset after it: played back, the driver gets the turned run
// the direct drawing gives.
TEST_F(EmfRecorderTest, TurnedTextIsRecordedUnderAWorldTransformAndPlaysBackTurned) {
    constexpr LONG kEscapement = 450;
    std::u16string page = RecordPage([](HDC hdc) { DrawText(hdc, kEscapement); });
    Bytes bytes = ReadHostFile(platform::HostPath(page));
    std::vector<size_t> transforms = RecordsOf(bytes, EMR_SETWORLDTRANSFORM);
    std::vector<size_t> texts = RecordsOf(bytes, EMR_EXTTEXTOUTW);
    std::vector<size_t> fonts = RecordsOf(bytes, EMR_EXTCREATEFONTINDIRECTW);
    ASSERT_EQ(transforms.size(), 2u);
    ASSERT_EQ(texts.size(), 1u);
    ASSERT_EQ(fonts.size(), 1u);
    EXPECT_LT(transforms[0], texts[0]);
    EXPECT_GT(transforms[1], texts[0]);
    auto xform = [&](size_t at) {
        XFORM x;
        std::memcpy(&x, bytes.data() + at + 8, sizeof x);
        return x;
    };
    const double c = std::cos(M_PI / 4);
    XFORM turn = xform(transforms[0]), back = xform(transforms[1]);
    EXPECT_NEAR(turn.eM11, c, 1e-3);
    EXPECT_NEAR(turn.eM12, -c, 1e-3);
    EXPECT_NEAR(turn.eM21, c, 1e-3);
    EXPECT_NEAR(turn.eM22, c, 1e-3);
    EXPECT_EQ(back.eM11, 1.0f);
    EXPECT_EQ(back.eM12, 0.0f);
    EXPECT_EQ(back.eM21, 0.0f);
    EXPECT_EQ(back.eM22, 1.0f);
    constexpr size_t kGraphicsMode = 24, kEscapementAt = 12 + offsetof(LOGFONTW, lfEscapement);
    EXPECT_EQ(I32At(bytes, texts[0] + kGraphicsMode), GM_ADVANCED);
    EXPECT_EQ(I32At(bytes, fonts[0] + kEscapementAt), 0);
    EXPECT_TRUE(Emf2SvgConverts(platform::HostPath(page)));
    std::vector<std::string> direct =
        Unboxed(OnRecorder([](HDC hdc) { DrawText(hdc, kEscapement); }));
    ASSERT_EQ(direct.size(), 1u);
    EXPECT_EQ(PlayedBack(page, bytes), direct);
    EXPECT_EQ(platform::SkippedEmfRecordCounts().size(), 0u);

    // A vertical face stands its glyphs up by itself: its run keeps the
    // escapement, with no transform around it.
    page = RecordPage([](HDC hdc) { DrawText(hdc, 2700, u"@Arial"); });
    bytes = ReadHostFile(platform::HostPath(page));
    EXPECT_EQ(RecordsOf(bytes, EMR_SETWORLDTRANSFORM).size(), 0u);
    fonts = RecordsOf(bytes, EMR_EXTCREATEFONTINDIRECTW);
    ASSERT_EQ(fonts.size(), 1u);
    EXPECT_EQ(I32At(bytes, fonts[0] + kEscapementAt), 2700);
    direct = Unboxed(OnRecorder([](HDC hdc) { DrawText(hdc, 2700, u"@Arial"); }));
    ASSERT_EQ(direct.size(), 1u);
    EXPECT_EQ(PlayedBack(page, bytes), direct);
}

// Under a layout that shrinks the page, a frame's pen is recorded wide
// enough to stay a pixel wide on the sheet; other strokes keep their width.
TEST_F(EmfRecorderTest, AShrinkingLayoutKeepsAFramesPenVisible) {
    constexpr size_t kPenWidth = 32; // of the extended pen record
    struct Case {
        SHORT zoom;
        DWORD width;
        bool frame;
        LONG recorded;
        bool filled = false;
    } cases[] = {
        {0, 1, true, 1},         {100, 1, true, 1}, {150, 1, true, 1}, {50, 1, true, 2},
        {46, 1, true, 3},        {46, 3, true, 3},  {46, 4, true, 4},  {25, 2, true, 4},
        {10, 1, true, 10},       {50, 1, false, 1}, {10, 3, false, 3}, {46, 1, true, 3, true},
        {46, 1, false, 1, true},
    };
    for (const Case& c : cases) {
        std::u16string page = RecordPage(
            [&](HDC hdc) {
                LOGBRUSH lb{BS_SOLID, RGB(0, 0, 0), 0};
                HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT | PS_JOIN_MITER,
                                        c.width, &lb, 0, nullptr);
                HGDIOBJ oldPen = SelectObject(hdc, pen);
                HGDIOBJ oldBrush =
                    SelectObject(hdc, GetStockObject(c.filled ? GRAY_BRUSH : NULL_BRUSH));
                if (c.frame) {
                    Rectangle(hdc, 100, 100, 400, 300);
                } else {
                    // A square on its corner is no frame.
                    POINT diamond[] = {{250, 100}, {400, 200}, {250, 300}, {100, 200}};
                    Polygon(hdc, diamond, 4);
                }
                SelectObject(hdc, oldBrush);
                SelectObject(hdc, oldPen);
                DeleteObject(pen);
            },
            c.zoom);
        Bytes bytes = ReadHostFile(platform::HostPath(page));
        std::vector<size_t> pens = RecordsOf(bytes, EMR_EXTCREATEPEN);
        ASSERT_EQ(pens.size(), 1u) << c.zoom << " " << c.width;
        EXPECT_EQ(I32At(bytes, pens[0] + kPenWidth), c.recorded)
            << "zoom " << c.zoom << ", width " << c.width << (c.frame ? ", frame" : "")
            << (c.filled ? ", filled" : "");
    }
}

// The rows of one record of a tall plain copy under a shrinking layout.
TEST(StretchSlices, RowsOfARecord) {
    struct Case {
        WORD scale;
        LONG width, rows;
    } cases[] = {
        {46, 4960, 2916},    // 1e9/48/4960/3 x 100/48
        {99, 10000, 326},    // 1e9/101/10000/3 x 100/101
        {1, 1, 0x7FFFFFFF},  // more than a row count can say
        {50, 1000000000, 1}, // never less than a row
        {50, 0, 12327415},   // a width of 0 counts as 1
    };
    for (const Case& c : cases)
        EXPECT_EQ(StretchSliceRows(c.scale, c.width), c.rows) << c.scale << " " << c.width;
    EXPECT_EQ(MinimumPenWidth(0), 1u);
    EXPECT_EQ(MinimumPenWidth(33), 4u);
}

// A tall copy under a shrinking layout goes out in slices that together
// cover the destination; another raster operation, or no shrinking, one record.
TEST_F(EmfRecorderTest, AShrinkingLayoutSlicesATallCopy) {
    constexpr LONG kWidth = 10000, kHeight = 400;
    constexpr size_t kDestY = 28, kSrcHeight = 44, kDestHeight = 76;
    // A 1-bit picture of stripes.
    struct {
        BITMAPINFOHEADER h;
        RGBQUAD colors[2];
    } bi{};
    bi.h.biSize = sizeof(BITMAPINFOHEADER);
    bi.h.biWidth = kWidth;
    bi.h.biHeight = kHeight;
    bi.h.biPlanes = 1;
    bi.h.biBitCount = 1;
    bi.colors[1] = RGBQUAD{255, 255, 255, 0};
    const size_t stride = (kWidth + 31) / 32 * 4;
    std::vector<BYTE> bits(stride * kHeight);
    for (size_t i = 0; i < bits.size(); ++i)
        bits[i] = (i / stride) % 2 ? 0xF0 : 0x0F;
    struct Case {
        SHORT zoom;
        DWORD rop;
        std::vector<std::pair<LONG, LONG>> slices; // source rows, destination top
    } cases[] = {
        {99, SRCCOPY, {{326, 100}, {74, 328}}},
        {100, SRCCOPY, {{400, 100}}},
        {99, SRCAND, {{400, 100}}},
    };
    for (const Case& c : cases) {
        std::u16string page = RecordPage(
            [&](HDC hdc) {
                StretchDIBits(hdc, 100, 100, 4000, 280, 0, 0, kWidth, kHeight, bits.data(),
                              reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS, c.rop);
            },
            c.zoom);
        Bytes bytes = ReadHostFile(platform::HostPath(page));
        std::vector<size_t> records = RecordsOf(bytes, EMR_STRETCHDIBITS);
        ASSERT_EQ(records.size(), c.slices.size()) << c.zoom << " " << c.rop;
        LONG end = 100;
        for (size_t i = 0; i < records.size(); ++i) {
            size_t at = records[i];
            EXPECT_EQ(I32At(bytes, at + kSrcHeight), c.slices[i].first) << i;
            EXPECT_EQ(I32At(bytes, at + kDestY), c.slices[i].second) << i;
            EXPECT_EQ(I32At(bytes, at + kDestY), end) << "slices abut";
            end = I32At(bytes, at + kDestY) + I32At(bytes, at + kDestHeight);
        }
        EXPECT_EQ(end, 380);
    }
}

// The page played by our own player into a 24-bit bitmap at a quarter of
// its size: the colour of each pixel, row by row from the top.
struct PlayedPage {
    LONG width = 0, height = 0;
    std::vector<COLORREF> pixels;
    COLORREF At(LONG x, LONG y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
constexpr LONG kPlayShrink = 4;

PlayedPage PlayPage(const std::u16string& page) {
    PlayedPage out;
    Bytes bytes = ReadHostFile(platform::HostPath(page));
    LONG w = 0, h = 0;
    std::memcpy(&w, bytes.data() + 72, 4);
    std::memcpy(&h, bytes.data() + 76, 4);
    out.width = w / kPlayShrink;
    out.height = h / kPlayShrink;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = out.width;
    bi.bmiHeader.biHeight = -out.height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    EXPECT_TRUE(dc && bmp && bits);
    if (!dc || !bmp || !bits) return out;
    HGDIOBJ old = SelectObject(dc, bmp);
    PatBlt(dc, 0, 0, out.width, out.height, WHITENESS);
    HENHMETAFILE emf = GetEnhMetaFileW(page.c_str());
    EXPECT_NE(emf, nullptr);
    RECT r{0, 0, out.width, out.height};
    EXPECT_TRUE(PlayEnhMetaFile(dc, emf, &r));
    DeleteEnhMetaFile(emf);
    const size_t stride = (static_cast<size_t>(out.width) * 3 + 3) / 4 * 4;
    for (LONG y = 0; y < out.height; ++y)
        for (LONG x = 0; x < out.width; ++x) {
            const BYTE* p = static_cast<const BYTE*>(bits) + y * stride + 3 * x;
            out.pixels.push_back(RGB(p[2], p[1], p[0]));
        }
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    return out;
}

DWORD U32At(const Bytes& b, size_t at) {
    DWORD v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

// A hatch is recorded as a hatch brush, not as an image: over a red
// square, drawn with a transparent background its gaps keep the red, with
// an opaque one they take the background colour.
TEST_F(EmfRecorderTest, HatchAndPatternBrushesAreRecordedAsBrushes) {
    constexpr COLORREF kRed = RGB(255, 0, 0), kBlue = RGB(0, 0, 255), kGreen = RGB(0, 255, 0);
    auto draw = [&](int bkMode) {
        return [=](HDC hdc) {
            HBRUSH red = CreateSolidBrush(kRed);
            HGDIOBJ old = SelectObject(hdc, red);
            PatBlt(hdc, 400, 400, 800, 800, PATCOPY);
            HBRUSH hatch = CreateHatchBrush(HS_CROSS, kBlue);
            SelectObject(hdc, hatch);
            HGDIOBJ oldPen = SelectObject(hdc, GetStockObject(NULL_PEN));
            SetBkMode(hdc, bkMode);
            SetBkColor(hdc, kGreen);
            Rectangle(hdc, 400, 400, 1201, 1201);
            SelectObject(hdc, oldPen);
            SelectObject(hdc, old);
            DeleteObject(hatch);
            DeleteObject(red);
        };
    };
    for (int bkMode : {TRANSPARENT, OPAQUE}) {
        std::u16string page = RecordPage(draw(bkMode));
        Bytes bytes = ReadHostFile(platform::HostPath(page));
        std::vector<DWORD> types = CheckedRecords(bytes);
        EXPECT_EQ(std::count(types.begin(), types.end(), EMR_STRETCHDIBITS), 0) << "no image";
        // The fill: the hatch brush selected, under the background mode and
        // colour of the drawing.
        DWORD mode = OPAQUE, background = 0xFFFFFF;
        bool hatched = false, filled = false;
        for (size_t at = 0; at + 8 <= bytes.size() && !filled; at += U32At(bytes, at + 4)) {
            DWORD type = U32At(bytes, at);
            if (type == EMR_SETBKMODE) mode = U32At(bytes, at + 8);
            if (type == EMR_SETBKCOLOR) background = U32At(bytes, at + 8);
            if (type == EMR_CREATEBRUSHINDIRECT)
                hatched = U32At(bytes, at + 12) == BS_HATCHED && U32At(bytes, at + 16) == kBlue &&
                          U32At(bytes, at + 20) == HS_CROSS;
            filled = type == EMR_FILLPATH;
        }
        EXPECT_TRUE(filled && hatched) << bkMode;
        EXPECT_EQ(mode, static_cast<DWORD>(bkMode));
        EXPECT_EQ(background, kGreen);
        EXPECT_TRUE(Emf2SvgConverts(platform::HostPath(page)));

        // Played back, the driver gets the calls of the page drawn directly:
        // the hatch brush and the mix that keeps or paints the gaps.
        platform::test::ClearSkippedEmfRecords();
        LONG w = I32At(bytes, 72), h = I32At(bytes, 76);
        std::vector<std::string> played = OnRecorder([&](HDC hdc) {
            HENHMETAFILE emf = GetEnhMetaFileW(page.c_str());
            ASSERT_NE(emf, nullptr);
            RECT r{0, 0, w, h};
            EXPECT_TRUE(PlayEnhMetaFile(hdc, emf, &r));
            DeleteEnhMetaFile(emf);
        });
        std::vector<std::string> direct = OnRecorder(draw(bkMode));
        ASSERT_GE(direct.size(), 2u);
        EXPECT_EQ(played, direct) << bkMode;
        EXPECT_EQ(platform::SkippedEmfRecordCounts().size(), 0u);

        // Played into a bitmap: hatch lines in blue, gaps in the background
        // colour, or still red under a transparent background.
        PlayedPage pixels = PlayPage(page);
        ASSERT_GT(pixels.width, 1200 / kPlayShrink);
        const COLORREF gap = bkMode == OPAQUE ? kGreen : kRed;
        int lines = 0, gaps = 0, other = 0;
        for (LONG y = 400 / kPlayShrink + 2; y < 1200 / kPlayShrink - 2; ++y)
            for (LONG x = 400 / kPlayShrink + 2; x < 1200 / kPlayShrink - 2; ++x) {
                COLORREF p = pixels.At(x, y);
                (p == kBlue ? lines : p == gap ? gaps : other)++;
            }
        EXPECT_GT(lines, 0) << bkMode;
        EXPECT_GT(gaps, lines) << bkMode;
        EXPECT_EQ(other, 0) << bkMode;
        EXPECT_EQ(pixels.At(10, 10), RGB(255, 255, 255));
    }

    // A pattern of two colours, 8 x 8 pixels, as a brush of its bits.
    std::u16string page = RecordPage([](HDC hdc) {
        struct {
            BITMAPINFOHEADER h;
            RGBQUAD colors[2];
            DWORD rows[8];
        } dib{};
        dib.h.biSize = sizeof(BITMAPINFOHEADER);
        dib.h.biWidth = 8;
        dib.h.biHeight = 8;
        dib.h.biPlanes = 1;
        dib.h.biBitCount = 1;
        dib.colors[0] = RGBQUAD{0, 0, 255, 0};   // red
        dib.colors[1] = RGBQUAD{0, 255, 255, 0}; // yellow
        for (int i = 0; i < 8; ++i)
            dib.rows[i] = i % 2 ? 0xAA : 0x55;
        HBRUSH pattern = CreateDIBPatternBrushPt(&dib, DIB_RGB_COLORS);
        HGDIOBJ old = SelectObject(hdc, pattern);
        PatBlt(hdc, 400, 400, 800, 800, PATCOPY);
        SelectObject(hdc, old);
        DeleteObject(pattern);
    });
    Bytes bytes = ReadHostFile(platform::HostPath(page));
    std::vector<DWORD> types = CheckedRecords(bytes);
    std::vector<size_t> brushes = RecordsOf(bytes, EMR_CREATEDIBPATTERNBRUSHPT);
    ASSERT_EQ(brushes.size(), 1u);
    EXPECT_EQ(U32At(bytes, brushes[0] + 12), static_cast<DWORD>(DIB_RGB_COLORS));
    EXPECT_EQ(U32At(bytes, brushes[0] + 16), 32u) << "bitmap information at 32";
    EXPECT_EQ(std::count(types.begin(), types.end(), EMR_STRETCHDIBITS), 0);
    EXPECT_EQ(std::count(types.begin(), types.end(), EMR_BITBLT), 1);
    PlayedPage played = PlayPage(page);
    int red = 0, yellow = 0, other = 0;
    for (LONG y = 400 / kPlayShrink + 2; y < 1200 / kPlayShrink - 2; ++y)
        for (LONG x = 400 / kPlayShrink + 2; x < 1200 / kPlayShrink - 2; ++x) {
            COLORREF p = played.At(x, y);
            (p == RGB(255, 0, 0) ? red : p == RGB(255, 255, 0) ? yellow : other)++;
        }
    EXPECT_GT(red, 0);
    EXPECT_GT(yellow, 0);
    EXPECT_EQ(other, 0);
}

// Plain lines are plain pens at least a pixel wide; styled cosmetic lines
// keep their dashes' length on paper (a style unit is resolution / 25
// pixels); a geometric style entry is at least a pixel; a hatched
// geometric line is a pen of that hatch.
TEST_F(EmfRecorderTest, PensOfEachKind) {
    constexpr size_t kPenStyle = 28, kPenWidth = 32, kBrushStyle = 36, kHatch = 44, kEntries = 48;
    constexpr size_t kPlainStyle = 12, kPlainWidth = 16;
    struct Case {
        const char* name;
        DWORD style;
        DWORD width;
        LOGBRUSH brush;
        std::vector<DWORD> entries;
        DWORD recordType;
        DWORD recordedStyle;
        DWORD recordedWidth;
        std::vector<DWORD> recordedEntries;
        DWORD brushStyle = BS_SOLID, hatch = 0;
    } cases[] = {
        {"plain", PS_COSMETIC | PS_SOLID, 1, {BS_SOLID, 0, 0}, {}, EMR_CREATEPEN, PS_SOLID, 1, {}},
        {"cosmetic dashes",
         PS_COSMETIC | PS_USERSTYLE,
         1,
         {BS_SOLID, 0, 0},
         {3, 1},
         EMR_EXTCREATEPEN,
         0x10007,
         1,
         {72, 24}},
        {"geometric dashes",
         PS_GEOMETRIC | PS_USERSTYLE | PS_ENDCAP_FLAT,
         4,
         {BS_SOLID, 0, 0},
         {0, 6},
         EMR_EXTCREATEPEN,
         0x10207,
         4,
         {1, 6}},
        {"hatched",
         PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT,
         8,
         {BS_HATCHED, RGB(0, 0, 255), HS_CROSS},
         {},
         EMR_EXTCREATEPEN,
         0x10200,
         8,
         {},
         BS_HATCHED,
         HS_CROSS},
    };
    for (const Case& c : cases) {
        std::u16string page = RecordPage([&](HDC hdc) {
            HPEN pen =
                ExtCreatePen(c.style, c.width, &c.brush, static_cast<DWORD>(c.entries.size()),
                             c.entries.empty() ? nullptr : c.entries.data());
            ASSERT_NE(pen, nullptr) << c.name;
            HGDIOBJ old = SelectObject(hdc, pen);
            POINT zig[] = {{100, 100}, {900, 100}, {900, 500}};
            Polyline(hdc, zig, 3);
            SelectObject(hdc, old);
            DeleteObject(pen);
        });
        Bytes bytes = ReadHostFile(platform::HostPath(page));
        CheckedRecords(bytes);
        std::vector<size_t> pens = RecordsOf(bytes, c.recordType);
        ASSERT_EQ(pens.size(), 1u) << c.name;
        const size_t at = pens[0];
        if (c.recordType == EMR_CREATEPEN) {
            EXPECT_EQ(U32At(bytes, at + kPlainStyle), c.recordedStyle) << c.name;
            EXPECT_EQ(U32At(bytes, at + kPlainWidth), c.recordedWidth) << c.name;
            EXPECT_TRUE(RecordsOf(bytes, EMR_EXTCREATEPEN).empty()) << c.name;
            continue;
        }
        EXPECT_EQ(U32At(bytes, at + kPenStyle), c.recordedStyle) << c.name;
        EXPECT_EQ(U32At(bytes, at + kPenWidth), c.recordedWidth) << c.name;
        EXPECT_EQ(U32At(bytes, at + kBrushStyle), c.brushStyle) << c.name;
        EXPECT_EQ(U32At(bytes, at + kHatch), c.hatch) << c.name;
        ASSERT_EQ(U32At(bytes, at + kEntries), c.recordedEntries.size()) << c.name;
        for (size_t i = 0; i < c.recordedEntries.size(); ++i)
            EXPECT_EQ(U32At(bytes, at + kEntries + 4 + 4 * i), c.recordedEntries[i]) << c.name;
    }
}

// Every operation index carries the low word of the published table.
TEST(RecordedRasterOperations, TheFullPublishedCodes) {
    struct Case {
        BYTE rop3;
        DWORD code;
    } cases[] = {
        {0xCC, 0x00CC0020}, {0xEE, 0x00EE0086}, {0x88, 0x008800C6}, {0x66, 0x00660046},
        {0x44, 0x00440328}, {0x33, 0x00330008}, {0x11, 0x001100A6}, {0xC0, 0x00C000CA},
        {0xBB, 0x00BB0226}, {0xF0, 0x00F00021}, {0xFB, 0x00FB0A09}, {0x5A, 0x005A0049},
        {0x55, 0x00550009}, {0x00, 0x00000042}, {0xFF, 0x00FF0062}, {0x01, 0x00010289},
        {0x16, 0x00165CCA}, {0x68, 0x006858A6}, {0x97, 0x0097588A}, {0xAA, 0x00AA0029},
        {0xB8, 0x00B8074A}, {0xE2, 0x00E20746}, {0xE9, 0x00E95CE6}, {0xFE, 0x00FE02A9},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RopCode(c.rop3), c.code) << std::hex << int{c.rop3};
    // Each operation keeps its index in the high word.
    for (int rop = 0; rop < 256; ++rop)
        EXPECT_EQ(RopCode(static_cast<BYTE>(rop)) >> 16, static_cast<DWORD>(rop));
}

// Edge cases of the records, one per row.
TEST_F(EmfRecorderTest, EdgeCasesOfTheRecords) {
    // Stretch modes outside 1 to 4 are written as 3.
    const std::pair<ULONG, DWORD> modes[] = {{0, 3}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 3}};
    for (auto [mode, recorded] : modes)
        EXPECT_EQ(RecordedStretchMode(mode), recorded) << mode;

    // A line with a pattern brush is refused: the engine draws it.
    {
        TestDevice dev(u"P1", false);
        BRUSHOBJ pattern{};
        pattern.iSolidColor = 0xFFFFFFFF;
        EXPECT_FALSE(RecordLineTo(dev.get(), nullptr, &pattern, 0, 0, 10, 10, R2_COPYPEN));
    }

    // A gradient of three rectangles: a mesh block of 36 bytes, the 24 of
    // the rectangles and 12 zeros.
    {
        std::u16string page = RecordPage([](HDC hdc) {
            TRIVERTEX v[4] = {{100, 100, 0xFF00, 0, 0, 0},
                              {300, 300, 0, 0xFF00, 0, 0},
                              {400, 100, 0, 0, 0xFF00, 0},
                              {600, 300, 0xFF00, 0xFF00, 0, 0}};
            GRADIENT_RECT rects[3] = {{0, 1}, {2, 3}, {1, 2}};
            GradientFill(hdc, v, 4, rects, 3, GRADIENT_FILL_RECT_H);
        });
        Bytes bytes = ReadHostFile(platform::HostPath(page));
        CheckedRecords(bytes);
        std::vector<size_t> gradients = RecordsOf(bytes, EMR_GRADIENTFILL);
        ASSERT_EQ(gradients.size(), 1u);
        const size_t at = gradients[0];
        const DWORD vertices = U32At(bytes, at + 24), meshes = U32At(bytes, at + 28);
        EXPECT_EQ(meshes, 3u);
        EXPECT_EQ(U32At(bytes, at + 4), 36u + vertices * 16 + 36u);
        const size_t mesh = at + 36 + vertices * 16;
        const DWORD expected[9] = {0, 1, 2, 3, 1, 2, 0, 0, 0};
        for (int i = 0; i < 9; ++i)
            EXPECT_EQ(U32At(bytes, mesh + 4 * i), expected[i]) << i;
    }

    // Objects made and deleted one after another within one call take the
    // same index: the opaque box's brush, the font and the underline's brush.
    {
        std::u16string page = RecordPage([](HDC hdc) {
            LOGFONTW lf{};
            lf.lfHeight = -60;
            lf.lfWeight = 400;
            lf.lfUnderline = TRUE;
            std::u16string face = u"Arial";
            std::copy(face.begin(), face.end(), lf.lfFaceName);
            HFONT font = CreateFontIndirectW(&lf);
            HGDIOBJ old = SelectObject(hdc, font);
            SetBkColor(hdc, RGB(255, 255, 0));
            RECT box{40, 40, 600, 200};
            ExtTextOutW(hdc, 50, 150, ETO_OPAQUE, &box, u"Index", 5, nullptr);
            SelectObject(hdc, old);
            DeleteObject(font);
        });
        Bytes bytes = ReadHostFile(platform::HostPath(page));
        CheckedRecords(bytes);
        std::vector<DWORD> created;
        for (DWORD type : {EMR_CREATEBRUSHINDIRECT, EMR_EXTCREATEFONTINDIRECTW})
            for (size_t at : RecordsOf(bytes, type))
                created.push_back(U32At(bytes, at + 8));
        ASSERT_EQ(created.size(), 3u) << "two brushes and a font";
        EXPECT_EQ(created[0], created[1]);
        EXPECT_EQ(created[0], created[2]);
        // Each was deleted before the next was made.
        EXPECT_EQ(RecordsOf(bytes, EMR_DELETEOBJECT).size(), 3u);
    }
}
// A face drawn italic by simulation is recorded italic, in a character set
// that its installed face offers; a face drawn as it is keeps its own set.
TEST_F(EmfRecorderTest, ASimulatedFaceIsRecordedInASetItsInstalledFaceOffers) {
    constexpr size_t kItalic = 12 + 20, kCharSet = 12 + 23, kFace = 12 + 28;
    struct Case {
        const char16_t* face;
        BYTE italic, charset;
    } cases[] = {
        {u"Noto Sans CJK JP", TRUE, SHIFTJIS_CHARSET}, // no italic face: simulated
        {u"Noto Sans CJK JP", FALSE, SHIFTJIS_CHARSET},
        {u"Arial", TRUE, ANSI_CHARSET}, // an italic face of its own
    };
    for (const Case& c : cases) {
        std::u16string page = RecordPage([&](HDC hdc) {
            LOGFONTW lf{};
            lf.lfHeight = -60;
            lf.lfWeight = 400;
            lf.lfItalic = c.italic;
            lf.lfCharSet = c.charset;
            std::u16string face = c.face;
            std::copy(face.begin(), face.end(), lf.lfFaceName);
            HFONT font = CreateFontIndirectW(&lf);
            HGDIOBJ old = SelectObject(hdc, font);
            TextOutW(hdc, 50, 150, u"Set", 3);
            SelectObject(hdc, old);
            DeleteObject(font);
        });
        Bytes bytes = ReadHostFile(platform::HostPath(page));
        CheckedRecords(bytes);
        std::vector<size_t> fonts = RecordsOf(bytes, EMR_EXTCREATEFONTINDIRECTW);
        ASSERT_EQ(fonts.size(), 1u);
        const std::string face = platform::ToUtf8(c.face);
        EXPECT_EQ(bytes[fonts[0] + kItalic], c.italic) << face;
        EXPECT_EQ(bytes[fonts[0] + kCharSet], c.charset) << face << " " << int{c.italic};
        EXPECT_NE(bytes[fonts[0] + kFace], 0) << face;
    }
}

} // namespace
