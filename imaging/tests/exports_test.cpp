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

} // namespace
