// Modelsmith.DLL as its callers bind it: by file name, by export name and by ordinal.
#include <gtest/gtest.h>

#include "model/modelsmith.h"
#include "model_fixture.h"
#include "platform/text.h"
#include "win/errors.h"
#include "win/loader.h"

namespace model_test {
namespace {

TEST(ModelsmithDll, BindsByNameAndOrdinal) {
    std::u16string path = platform::FromUtf8(std::string(PKG_DRIVER_DIR) + "/Modelsmith.DLL");
    HMODULE module = LoadLibraryW(path.c_str());
    ASSERT_NE(module, nullptr) << GetLastError();
    FARPROC byName = GetProcAddress(module, "mdGetMyPrinterInfo");
    FARPROC byOrdinal =
        GetProcAddress(module, MAKEINTRESOURCEA(MODELSMITH_ORDINAL_GETMYPRINTERINFO));
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(byName, byOrdinal);
    auto fn = reinterpret_cast<PFN_mdGetMyPrinterInfo>(reinterpret_cast<void*>(byName));

    Bytes m = SampleModel("CX5540");
    DWORD length = 0, count = 0;
    ASSERT_EQ(fn(m.data(), 7, 20, 1, nullptr, &length, &count), 0u);
    Bytes out(length);
    ASSERT_EQ(fn(m.data(), 7, 20, 1, out.data(), &length, &count), 0u);
    EXPECT_STREQ(reinterpret_cast<const char*>(out.data() + 8), "Modelsmith.DLL");
    EXPECT_EQ(fn(m.data(), 7, 20, 1, out.data(), nullptr, &count),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(fn(nullptr, 7, 20, 1, out.data(), &length, &count),
              static_cast<DWORD>(ERROR_INVALID_DATA));
    // Only the exports are visible.
    EXPECT_EQ(GetProcAddress(module, "_ZN5model17GetMyPrinterInfoEPKviiiPvPjS3_"), nullptr);
    EXPECT_TRUE(FreeLibrary(module));
}

} // namespace
} // namespace model_test
