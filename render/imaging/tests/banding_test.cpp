// Banding: the band calls of a page (one band, a last band past the page
// end), the band threshold matrix, the gamma table beside the graphics
// library, the dither answer; and a tone library without one of its exports,
// which fails the page instead of printing it without its bands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "hooks.h"
#include "imaging_hooks.h"
#include "imaging_state.h"
#include "output_writer.h"
#include "pdev.h"
#include "row_compress.h"
#include "platform/loader_ctl.h"
#include "platform/paths.h"
#include "platform/testctl.h"
#include "render_fixture.h"
#include "streamdump/images.h"
#include "streamdump/decoder.h"
#include "win/base.h"
#include "devmode_private.h"
#include "win/gdi.h"
#include "win/gdi_bitmap.h"
#include "win/gdi_dc.h"

namespace {

using namespace render_test;
namespace fs = std::filesystem;

// The graphics library's folder, C:\drv in the machine root, with the tone
// library and the JBIG coder copied from the build: gamma files put there
// are the ones the bands read.
class LibraryFolder {
  public:
    LibraryFolder() {
        const fs::path host = fs::path(platform::HostPath(u"C:\\drv"));
        fs::create_directories(host);
        for (const char* name : {"TONEMILL.DLL", "Dotpacker.DLL"})
            fs::copy_file(fs::path(PKG_DRIVER_DIR) / name, host / name,
                          fs::copy_options::overwrite_existing);
        module_ = LoadLibraryW(u"C:\\drv\\Dotpacker.DLL");
        inkforge::SetDriverModule(module_);
    }
    ~LibraryFolder() {
        inkforge::SetDriverModule(nullptr);
        if (module_) FreeLibrary(module_);
    }
    bool ok() const { return module_ != nullptr; }
    void Put(const char* name, const Bytes& bytes) const {
        std::ofstream out(fs::path(platform::HostPath(u"C:\\drv")) / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }

  private:
    HMODULE module_ = nullptr;
};

class Banding : public ::testing::Test {
  protected:
    void SetUp() override { InstallPrinter(u"P1", SampleModel("CX5540")); }
};

// One page of banding called as the engine calls it, bands `bandLines` high
// of `format`, each drawn by `paint`. What the calls answered and the page's
// 1-bit image (1 = white) as its JBIG image in the stream decodes.
struct BandedRun {
    BOOL started = FALSE;
    std::vector<POINTL> origins; // after each DrvNextBand
    std::vector<BOOL> results;
    std::vector<DWORD> errors; // the last error after each DrvNextBand
    Bytes page;
    DWORD pageBytes = 0;
};

using BandPainter = std::function<void(LONG top, BYTE* bits, LONG stride)>;

BandedRun RunBands(inkforge::PDEV* pdev, ULONG format, LONG width, LONG height, LONG bandLines,
                   const BandPainter& paint) {
    BandedRun run;
    inkforge::ImagingState* st = inkforge::Imaging(pdev);
    st->pageWidth = width;
    st->pageHeight = height;
    const LONG stride = static_cast<LONG>(
        inkforge::RoundRow(inkforge::BytesForPixels(format, static_cast<DWORD>(width))));
    Bytes bits(static_cast<size_t>(stride) * bandLines, 0);
    SURFOBJ band{};
    band.iType = STYPE_BITMAP;
    band.iBitmapFormat = format;
    band.sizlBitmap = SIZEL{width, bandLines};
    band.pvScan0 = band.pvBits = bits.data();
    band.lDelta = stride;
    band.cjBits = static_cast<ULONG>(bits.size());
    band.dhpdev = reinterpret_cast<DHPDEV>(pdev);
    inkforge::StartCapture(pdev);
    POINTL origin{};
    run.started = inkforge::DrvStartBanding(&band, &origin);
    for (int i = 0; run.started && origin.y >= 0 && i < 16; ++i) {
        paint(origin.y, bits.data(), stride);
        SetLastError(0);
        run.results.push_back(inkforge::DrvNextBand(&band, &origin));
        run.errors.push_back(GetLastError());
        run.origins.push_back(origin);
    }
    inkforge::FlushOutput(pdev);
    inkforge::StopCapture(pdev);
    run.pageBytes = st->pageBytes;
    // The page as it went out: the JBIG image of the stream, decoded.
    static const std::string head = "\x1B%-12345X@PJL ENTER LANGUAGE=IMAGING\r\n\x1B\x27\x31";
    Bytes stream(head.begin(), head.end());
    const BYTE* p = static_cast<const BYTE*>(GlobalLock(pdev->captureBlock));
    stream.insert(stream.end(), p, p + pdev->captureLength);
    GlobalUnlock(pdev->captureBlock);
    streamdump::Decoding d = streamdump::Decode(stream);
    std::vector<streamdump::JbigPage> pages;
    streamdump::CheckImages(stream.data(), stream.size(), &d, &pages);
    EXPECT_EQ(d.problems, 0u) << streamdump::Format(d);
    long w = 0, h = 0;
    std::vector<std::uint8_t> black;
    std::string problem;
    if (pages.size() == 1 && streamdump::DecodeJbig(pages[0].entity, &w, &h, &black, &problem) &&
        w == width && h == height)
        for (BYTE b : black)
            run.page.push_back(static_cast<BYTE>(~b));
    return run;
}

// The page of one band answers (-1, -1) at once; a last band reaching past
// the page end gives the page only its rows above the end; 24 and 8-bit bands.
TEST_F(Banding, BandsEndThePageAtItsLastRow) {
    LibraryFolder folder;
    ASSERT_TRUE(folder.ok());
    struct Case {
        const char* what;
        ULONG format;
        LONG height, bandLines;
        std::set<int> black;
        std::vector<LONG> origins; // the y of each answer
        LONG blackFrom;            // the page's rows from here on are black
    };
    const Case cases[] = {
        {"one band, 24 bits", BMF_24BPP, 40, 64, {}, {-1}, 40},
        {"one band, 8 bits", BMF_8BPP, 40, 64, {0}, {-1}, 0},
        {"last band past the end, 24 bits", BMF_24BPP, 100, 64, {1}, {64, -1}, 64},
        {"last band past the end, 8 bits", BMF_8BPP, 100, 64, {1}, {64, -1}, 64},
        {"bands ending on the page end", BMF_24BPP, 128, 64, {1}, {64, -1}, 64},
    };
    constexpr LONG kWidth = 64;
    for (const Case& c : cases) {
        TestDevice dev(u"P1", false);
        int band = 0;
        BandedRun run = RunBands(
            dev.get(), c.format, kWidth, c.height, c.bandLines, [&](LONG, BYTE* bits, LONG stride) {
                if (c.black.count(band++))
                    std::fill(bits, bits + static_cast<size_t>(stride) * c.bandLines, 0);
            });
        ASSERT_TRUE(run.started) << c.what;
        std::vector<LONG> ys;
        for (const POINTL& p : run.origins) {
            ys.push_back(p.y);
            EXPECT_EQ(p.x, p.y < 0 ? -1 : 0) << c.what;
        }
        EXPECT_EQ(ys, c.origins) << c.what;
        for (BOOL r : run.results)
            EXPECT_TRUE(r) << c.what;
        ASSERT_EQ(run.page.size(), static_cast<size_t>(kWidth / 8) * c.height) << c.what;
        EXPECT_EQ(run.pageBytes, static_cast<DWORD>(kWidth / 8 * c.height)) << c.what;
        size_t wrong = 0;
        for (LONG y = 0; y < c.height; ++y)
            for (LONG i = 0; i < kWidth / 8; ++i)
                wrong += run.page[static_cast<size_t>(y * kWidth / 8 + i)] !=
                         (y >= c.blackFrom ? 0x00 : 0xFF);
        EXPECT_EQ(wrong, 0u) << c.what;
    }
}

// The tone library's exports, bound as the graphics library binds them.
struct ToneLibrary {
    HMODULE module = LoadLibraryW(u"C:\\drv\\TONEMILL.DLL");
    template <class F> F Bind(const char* name) const {
        return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    }
    PFN_icImageTypeConvertTo256Gray_speed gray =
        Bind<PFN_icImageTypeConvertTo256Gray_speed>("icImageTypeConvertTo256Gray_speed");
    PFN_icImageTypeConvertToBWDitherHalftone_speed mono =
        Bind<PFN_icImageTypeConvertToBWDitherHalftone_speed>(
            "icImageTypeConvertToBWDitherHalftone_speed");
    PFN_icGammaInv gammaInv = Bind<PFN_icGammaInv>("icGammaInv");
    ~ToneLibrary() {
        if (module) FreeLibrary(module);
    }
};

// Tones of every level across the page: the band conversion gives the bits
// of one gray conversion and one halftone over each whole band, the dither
// phases carried from band to band, whether the rows go straight into the
// page or through the band's own 1-bit rows; with a gamma file.
TEST_F(Banding, BandsConvertAsOneCallPerBandWould) {
    LibraryFolder folder;
    ASSERT_TRUE(folder.ok());
    Bytes gamma(256);
    for (int i = 0; i < 256; ++i)
        gamma[i] = static_cast<BYTE>(std::min(255, i * 5 / 4));
    folder.Put("QRL600DF.GMA", gamma);
    ToneLibrary tone;
    ASSERT_TRUE(tone.gray && tone.mono && tone.gammaInv);
    auto colour = [](LONG x, LONG y, int c) {
        return static_cast<BYTE>((x * 3 + y * 5 + c * 40 + (x * y) % 7) % 256);
    };
    // Two bands straight into the page, the last one (past the page end)
    // through its own 1-bit rows.
    for (LONG width : {96L, 160L}) {
        const LONG height = 150, lines = 64;
        TestDevice dev(u"P1", false);
        BandedRun run = RunBands(
            dev.get(), BMF_24BPP, width, height, lines, [&](LONG top, BYTE* bits, LONG stride) {
                for (LONG y = 0; y < lines; ++y)
                    for (LONG x = 0; x < width; ++x)
                        for (int c = 0; c < 3; ++c)
                            bits[y * stride + x * 3 + c] = colour(x, top + y, c);
            });
        ASSERT_TRUE(run.started);
        // The same bands, each through one call of each routine.
        icThresholdMatrix m{};
        inkforge::BuildBandMatrix(dev.get(), &m);
        BYTE table[256];
        inkforge::ReadGammaTable(dev.get(), table);
        ASSERT_EQ(Bytes(table, table + 256), gamma);
        tone.gammaInv(table, &m);
        const DWORD rgbStride = (static_cast<DWORD>(width) * 3 + 3) & ~3u,
                    grayStride = (static_cast<DWORD>(width) + 3) & ~3u,
                    monoStride = (static_cast<DWORD>(width) + 31) / 32 * 4;
        const size_t pageStride = static_cast<size_t>(width) / 8;
        Bytes want(pageStride * height), rgb(rgbStride * lines), gray(grayStride * lines),
            mono(monoStride * lines);
        SHORT phase[2] = {0, 0};
        for (LONG top = 0; top < height; top += lines) {
            for (LONG y = 0; y < lines; ++y)
                for (LONG x = 0; x < width; ++x)
                    for (int c = 0; c < 3; ++c)
                        rgb[y * rgbStride + x * 3 + c] = colour(x, top + y, c);
            icImage s{}, g{}, b{};
            s.type = IC_TYPE_RGB24, g.type = IC_TYPE_GRAY, b.type = IC_TYPE_BW;
            for (icImage* im : {&s, &g, &b})
                im->width = static_cast<DWORD>(width), im->height = im->lines = lines;
            s.bits = rgb.data(), s.stride = rgbStride;
            g.bits = gray.data(), g.stride = grayStride;
            b.bits = mono.data(), b.stride = monoStride;
            tone.gray(nullptr, &s, &g);
            std::fill(mono.begin(), mono.end(), BYTE{0xFF});
            tone.mono(&phase[0], &phase[1], &m, &g, &b);
            for (LONG y = 0; y < lines && top + y < height; ++y)
                std::copy_n(mono.begin() + y * monoStride, pageStride,
                            want.begin() + static_cast<size_t>(top + y) * pageStride);
        }
        EXPECT_EQ(run.page, want) << width;
        size_t black = std::count(want.begin(), want.end(), BYTE{0});
        EXPECT_LT(black, want.size()) << "tones, not black";
    }
}

// A conversion buffer that cannot be had fails the page: the band answers
// FALSE with the error and the end of the page, and no page image goes out.
TEST_F(Banding, ABandWithoutItsConversionBufferFailsThePage) {
    LibraryFolder folder;
    ASSERT_TRUE(folder.ok());
    TestDevice dev(u"P1", false);
    BandedRun run = RunBands(dev.get(), BMF_24BPP, 64, 100, 64, [&](LONG top, BYTE*, LONG) {
        if (top == 0) platform::test::FailNext("GlobalAlloc", 1, ERROR_NOT_ENOUGH_MEMORY);
    });
    platform::test::ClearFaults();
    ASSERT_TRUE(run.started);
    ASSERT_EQ(run.results.size(), 1u);
    EXPECT_FALSE(run.results[0]);
    EXPECT_EQ(run.errors[0], static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(run.origins[0].y, -1);
    EXPECT_TRUE(run.page.empty()) << "no page image";
}

// The 8 x 8 base pattern of the ordered kind, times 4, repeated to 16 x 16.
// Every level from 1 to 64 stands once in it, so that each step of gray
// darkens one more cell.
constexpr BYTE kOrdered[8][8] = {
    {6, 16, 52, 58, 63, 48, 22, 8},   {18, 30, 34, 42, 50, 40, 32, 20},
    {46, 38, 26, 10, 12, 29, 36, 54}, {62, 56, 24, 1, 4, 14, 44, 60},
    {64, 47, 21, 7, 5, 15, 51, 57},   {49, 39, 31, 19, 17, 28, 33, 41},
    {11, 27, 35, 53, 45, 37, 25, 9},  {3, 13, 43, 59, 61, 55, 23, 2},
};

TEST_F(Banding, TheBandMatrixIsTheOrderedPatternOrAFlatLevel) {
    std::set<int> levels;
    for (const auto& row : kOrdered)
        levels.insert(std::begin(row), std::end(row));
    ASSERT_EQ(levels.size(), 64u);
    EXPECT_EQ(*levels.begin(), 1);
    EXPECT_EQ(*levels.rbegin(), 64);
    struct Case {
        const char* what;
        WORD kind, level;
        int flat; // -1: the ordered pattern
    };
    const Case cases[] = {
        {"ordered", 1, 32, -1},
        {"flat 32", 8, 32, 128},
        {"flat 0", 8, 0, 0},
        {"flat 63", 8, 63, 252},
        {"another kind takes the ordered pattern", 0, 32, -1},
    };
    for (const Case& c : cases) {
        TestDevice dev(u"P1", false);
        inkforge::SetPrivU16(dev->devmode, inkforge::priv::HalftoneKind, c.kind);
        inkforge::SetPrivU16(dev->devmode, offsetof(PRIVATE_DEVMODE, ThresholdLevel), c.level);
        icThresholdMatrix m{};
        inkforge::BuildBandMatrix(dev.get(), &m);
        EXPECT_EQ(m.width, 16) << c.what;
        EXPECT_EQ(m.height, 16) << c.what;
        size_t wrong = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                wrong += m.cells[y][x] != (c.flat < 0 ? kOrdered[y % 8][x % 8] * 4 : c.flat);
        EXPECT_EQ(wrong, 0u) << c.what;
    }
}

// The gamma table beside the graphics library, QRL300DF.GMA at 300 dots per
// inch and QRL600DF.GMA otherwise: a missing or short file gives the
// identity table, a whole one its 256 bytes.
TEST_F(Banding, TheGammaTableIsTheFileOrTheIdentity) {
    LibraryFolder folder;
    ASSERT_TRUE(folder.ok());
    Bytes identity(256), inverted(256), half(256);
    for (int i = 0; i < 256; ++i) {
        identity[i] = static_cast<BYTE>(i);
        inverted[i] = static_cast<BYTE>(255 - i);
        half[i] = static_cast<BYTE>(i / 2);
    }
    struct Case {
        const char* what;
        short quality;
        std::vector<std::pair<const char*, Bytes>> files;
        Bytes want;
    };
    const Case cases[] = {
        {"no file", 600, {}, identity},
        {"a short file", 600, {{"QRL600DF.GMA", Bytes(255, 7)}}, identity},
        {"an empty file", 600, {{"QRL600DF.GMA", Bytes()}}, identity},
        {"600 dpi", 600, {{"QRL600DF.GMA", inverted}, {"QRL300DF.GMA", half}}, inverted},
        {"300 dpi", 300, {{"QRL600DF.GMA", inverted}, {"QRL300DF.GMA", half}}, half},
        {"1200 dpi reads the 600 dpi file", 1200, {{"QRL600DF.GMA", inverted}}, inverted},
        {"a longer file: its first 256 bytes",
         600,
         {{"QRL600DF.GMA",
           [&] {
               Bytes b = half;
               b.resize(300, 1);
               return b;
           }()}},
         half},
    };
    for (const Case& c : cases) {
        for (const char* name : {"QRL600DF.GMA", "QRL300DF.GMA"})
            fs::remove(fs::path(platform::HostPath(u"C:\\drv")) / name);
        for (const auto& [name, bytes] : c.files)
            folder.Put(name, bytes);
        TestDevice dev(u"P1", false);
        dev->devmode.dm.dmPrintQuality = c.quality;
        BYTE table[256];
        std::fill(std::begin(table), std::end(table), BYTE{0xAA});
        inkforge::ReadGammaTable(dev.get(), table);
        EXPECT_EQ(Bytes(std::begin(table), std::end(table)), c.want) << c.what;
    }
}

TEST_F(Banding, TheEngineDoesTheColourDithering) {
    TestDevice dev(u"P1", false);
    ULONG out[64] = {};
    EXPECT_EQ(inkforge::DrvDitherColor(reinterpret_cast<DHPDEV>(dev.get()), 0, 0x808080, out), 2u);
    EXPECT_EQ(inkforge::kBandDitherAnswer, 2u);
}

// A tone library without one of the exports the band conversion needs: the
// page fails (EndPage reports it) and no page image goes out, instead of a
// page printed without its bands.
TEST_F(Banding, AToneLibraryWithoutAnExportFailsThePage) {
    for (const char* missing : {"icImageTypeConvertTo256Gray_speed",
                                "icImageTypeConvertToBWDitherHalftone_speed", "icGammaInv"}) {
        platform::test::ClearAbsent();
        platform::test::MakeExportAbsent(u"TONEMILL.DLL", missing);
        inkforge::DevmodeImage d = OwnDevmode(u"P1");
        inkforge::SetPrivU32(d, inkforge::priv::FeatureFlags, 1u << 16);
        inkforge::SetPrivU16(d, inkforge::priv::GraphicsMode, 1);
        inkforge::SetPrivU16(d, inkforge::priv::HalftoneKind, 1); // 24-bit bands
        HDC hdc = CreateDCW(nullptr, u"P1", nullptr, &d.dm);
        ASSERT_NE(hdc, nullptr) << missing;
        DOCINFOW di{sizeof(DOCINFOW), u"One page", nullptr, nullptr, 0};
        const int job = StartDocW(hdc, &di);
        ASSERT_GT(job, 0) << missing;
        EXPECT_GT(StartPage(hdc), 0) << missing;
        HGDIOBJ old = SelectObject(hdc, GetStockObject(BLACK_BRUSH));
        EXPECT_TRUE(PatBlt(hdc, 300, 2000, 1000, 3000, PATCOPY));
        SelectObject(hdc, old);
        EXPECT_LE(EndPage(hdc), 0) << missing << ": the page fails";
        EndDoc(hdc);
        EXPECT_TRUE(DeleteDC(hdc));
        const Bytes stream = JobOutput(static_cast<DWORD>(job));
        streamdump::Decoding dec = streamdump::Decode(stream);
        size_t pageImages = 0;
        for (const auto& it : dec.items)
            pageImages += it.kind == streamdump::ItemKind::Frame && it.opcode == 'g';
        EXPECT_EQ(pageImages, 0u) << missing << "\n" << streamdump::Format(dec);
    }
    platform::test::ClearAbsent();
}

} // namespace
