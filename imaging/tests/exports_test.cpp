// The two libraries' export tables: the ordinals callers bind by.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "imaging/bitsqueeze.h"
#include "imaging/tonemill.h"
#include "platform/testctl.h"
#include "win/errors.h"
#include "win/loader.h"

namespace {

std::map<int, std::string> OrdinalsOf(const char* file) {
    std::map<int, std::string> out;
    void* lib = dlopen((std::string(PKG_DRIVER_DIR) + "/" + file).c_str(), RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(lib, nullptr) << dlerror();
    if (!lib) return out;
    auto* table = static_cast<const PLATFORM_EXPORT_ORDINAL*>(dlsym(lib, "PlatformExportOrdinals"));
    EXPECT_NE(table, nullptr);
    for (; table && table->name; ++table) {
        out[table->ordinal] = table->name;
        EXPECT_NE(dlsym(lib, table->name), nullptr) << table->name << " is not exported";
    }
    dlclose(lib);
    return out;
}

TEST(Exports, BitsqueezeByOrdinal) {
    EXPECT_EQ(OrdinalsOf("Bitsqueeze.DLL"),
              (std::map<int, std::string>{{2, "COMPRESS"}, {3, "DECOMPRESS"}, {5, "RAW2ROTATE"}}));
}

TEST(Exports, TonemillByOrdinal) {
    EXPECT_EQ(OrdinalsOf("TONEMILL.DLL"), (std::map<int, std::string>{
                                              {1, "icAllWhiteCheck"},
                                              {2, "icAllWhiteCheck_W0B1"},
                                              {3, "icGammaCorrection"},
                                              {4, "icGammaInv"},
                                              {5, "icImageTypeConvertTo256Gray_speed"},
                                              {6, "icImageTypeConvertToBWDitherHalftone_speed"},
                                          }));
}

// A bound export as the function it is (through void(*)(), which any function
// pointer converts to and from).
template <typename F> F As(FARPROC p) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(p));
}

// Through the platform's loader, as the graphics library binds them.
TEST(Exports, BoundByOrdinalThroughTheLoader) {
    HMODULE codec = LoadLibraryW(u"" PKG_DRIVER_DIR_U "/Bitsqueeze.DLL");
    ASSERT_NE(codec, nullptr);
    EXPECT_EQ(GetProcAddress(codec, MAKEINTRESOURCEA(2)), GetProcAddress(codec, "COMPRESS"));
    EXPECT_EQ(GetProcAddress(codec, MAKEINTRESOURCEA(3)), GetProcAddress(codec, "DECOMPRESS"));
    EXPECT_EQ(GetProcAddress(codec, MAKEINTRESOURCEA(4)), nullptr);
    auto rotate = As<PFN_RAW2ROTATE>(GetProcAddress(codec, MAKEINTRESOURCEA(5)));
    ASSERT_NE(rotate, nullptr);
    BYTE band[8] = {0x80}, turned[8] = {};
    Raw2RotateBlock b{};
    b.angle = 90;
    b.source = band;
    b.sourceStride = 8;
    b.sourceLines = 8;
    b.destination = turned;
    b.destinationStride = 8;
    b.destinationLines = 8;
    EXPECT_EQ(rotate(&b), 0xC0);
    EXPECT_EQ(turned[0], 0x01);

    HMODULE tone = LoadLibraryW(u"" PKG_DRIVER_DIR_U "/TONEMILL.DLL");
    ASSERT_NE(tone, nullptr);
    auto white = As<PFN_icAllWhiteCheck>(GetProcAddress(tone, MAKEINTRESOURCEA(1)));
    ASSERT_NE(white, nullptr);
    BYTE bits[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    icImage im{};
    im.type = IC_TYPE_GRAY;
    im.bits = bits;
    im.stride = 4;
    im.height = 1;
    EXPECT_EQ(white(&im), 1);
    EXPECT_EQ(GetProcAddress(tone, MAKEINTRESOURCEA(6)),
              GetProcAddress(tone, "icImageTypeConvertToBWDitherHalftone_speed"));
    EXPECT_EQ(GetProcAddress(tone, MAKEINTRESOURCEA(7)), nullptr);
    EXPECT_TRUE(FreeLibrary(tone));
    EXPECT_TRUE(FreeLibrary(codec));
}

// A failure inside an export (a failed allocation, made here by the platform's
// test seam) is answered with the export's own failure value, leaves the
// caller's data as it was, and never reaches the caller as an exception.
TEST(Exports, AFailureInsideAnswersTheFailureValue) {
    HMODULE codec = LoadLibraryW(u"" PKG_DRIVER_DIR_U "/Bitsqueeze.DLL");
    HMODULE tone = LoadLibraryW(u"" PKG_DRIVER_DIR_U "/TONEMILL.DLL");
    ASSERT_NE(codec, nullptr);
    ASSERT_NE(tone, nullptr);
    auto failing = [](auto call) {
        platform::test::FailNextExports(1);
        SetLastError(0);
        const auto result = call();
        EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
        platform::test::FailNextExports(0);
        return result;
    };

    // The codec: 0xC1, also in the status byte; nothing coded.
    BYTE line[8] = {}, coded[64] = {};
    WORD changes[2][64 + 5] = {};
    for (const char* name : {"COMPRESS", "DECOMPRESS"}) {
        SCOPED_TRACE(name);
        T4CodecBlock b{};
        b.mode = 2;
        b.rtcLength = 6;
        b.coded = coded;
        b.codedBytes = sizeof coded;
        b.raster = line;
        b.lineStride = 64;
        b.linesPerCall = 1;
        b.width = 64;
        b.pageLines = 1;
        b.changesA = changes[0];
        b.changesB = changes[1];
        auto fn = As<PFN_COMPRESS>(GetProcAddress(codec, name));
        ASSERT_NE(fn, nullptr);
        EXPECT_EQ(failing([&] { return fn(&b); }), T4_STATUS_ERROR);
        EXPECT_EQ(b.status, T4_STATUS_ERROR);
        EXPECT_EQ(b.bytesUsed, 0u);
        EXPECT_EQ(b.linesDone, 0u);
    }
    auto rotate = As<PFN_RAW2ROTATE>(GetProcAddress(codec, "RAW2ROTATE"));
    ASSERT_NE(rotate, nullptr);
    BYTE band[8] = {0x80}, turned[8] = {};
    Raw2RotateBlock r{};
    r.angle = 90;
    r.source = band;
    r.sourceStride = 8;
    r.sourceLines = 8;
    r.destination = turned;
    r.destinationStride = 8;
    r.destinationLines = 8;
    EXPECT_EQ(failing([&] { return rotate(&r); }), 0xC1);
    EXPECT_EQ(turned[0], 0);

    // The tone routines: each its own failure value, the images untouched.
    BYTE white[4] = {0xFF, 0xFF, 0xFF, 0xFF}, black[4] = {};
    auto image = [](BYTE* bits, WORD type) {
        icImage im{};
        im.type = type;
        im.bits = bits;
        im.width = type == IC_TYPE_RGB24 ? 1 : 4;
        im.stride = 4;
        im.height = 1;
        im.lines = 1;
        return im;
    };
    icImage whiteGray = image(white, IC_TYPE_GRAY), blackGray = image(black, IC_TYPE_GRAY);
    auto allWhite = As<PFN_icAllWhiteCheck>(GetProcAddress(tone, "icAllWhiteCheck"));
    auto allWhiteW0B1 = As<PFN_icAllWhiteCheck_W0B1>(GetProcAddress(tone, "icAllWhiteCheck_W0B1"));
    auto gamma = As<PFN_icGammaCorrection>(GetProcAddress(tone, "icGammaCorrection"));
    auto gammaInv = As<PFN_icGammaInv>(GetProcAddress(tone, "icGammaInv"));
    auto gray = As<PFN_icImageTypeConvertTo256Gray_speed>(
        GetProcAddress(tone, "icImageTypeConvertTo256Gray_speed"));
    auto halftone = As<PFN_icImageTypeConvertToBWDitherHalftone_speed>(
        GetProcAddress(tone, "icImageTypeConvertToBWDitherHalftone_speed"));
    ASSERT_TRUE(allWhite && allWhiteW0B1 && gamma && gammaInv && gray && halftone);
    EXPECT_EQ(allWhite(&whiteGray), 1); // the same calls answer without the fault
    EXPECT_EQ(failing([&] { return allWhite(&whiteGray); }), 0);
    EXPECT_EQ(failing([&] { return allWhiteW0B1(&blackGray); }), 0);
    BYTE table[256] = {};
    EXPECT_EQ(failing([&] { return gamma(table, &whiteGray); }), 255);
    EXPECT_EQ(white[0], 0xFF);
    icThresholdMatrix matrix{16, 16, {}};
    EXPECT_EQ(failing([&] { return gammaInv(table, &matrix); }), 0);
    EXPECT_EQ(matrix.cells[0][0], 0);
    BYTE rgb[4] = {0x10, 0x20, 0x30, 0}, grayBits[4] = {0x55, 0x55, 0x55, 0x55};
    icImage colour = image(rgb, IC_TYPE_RGB24), grayOut = image(grayBits, IC_TYPE_GRAY);
    EXPECT_EQ(failing([&] { return gray(nullptr, &colour, &grayOut); }), FALSE);
    EXPECT_EQ(grayBits[0], 0x55);
    BYTE bw[4] = {0x5A};
    icImage bwOut = image(bw, IC_TYPE_BW);
    SHORT column = 3, row = 2;
    EXPECT_EQ(failing([&] { return halftone(&column, &row, &matrix, &blackGray, &bwOut); }), 0);
    EXPECT_EQ(bw[0], 0x5A);
    EXPECT_EQ(column, 3);
    EXPECT_EQ(row, 2);

    EXPECT_TRUE(FreeLibrary(tone));
    EXPECT_TRUE(FreeLibrary(codec));
}

} // namespace
