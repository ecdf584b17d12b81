// The two libraries' export tables: the ordinals callers bind by.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "imaging/bitsqueeze.h"
#include "imaging/tonemill.h"
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

} // namespace
