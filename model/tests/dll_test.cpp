// Modelsmith.DLL as its callers bind it: by file name, by export name and by ordinal.
#include <gtest/gtest.h>

#include "model/modelsmith.h"
#include "model_fixture.h"
#include "platform/testctl.h"
#include "platform/text.h"
#include "win/devmode.h"
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

// A failure inside an export (a failed allocation, made here by the platform's
// test seam) is answered with its error number and leaves the caller's buffers
// as they were.
TEST(ModelsmithDll, AFailureInsideAnswersItsErrorNumber) {
    std::u16string path = platform::FromUtf8(std::string(PKG_DRIVER_DIR) + "/Modelsmith.DLL");
    HMODULE module = LoadLibraryW(path.c_str());
    ASSERT_NE(module, nullptr) << GetLastError();
    auto query = reinterpret_cast<PFN_mdGetMyPrinterInfo>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "mdGetMyPrinterInfo")));
    auto revise = reinterpret_cast<PFN_mdReviseDevmode>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "mdReviseDevmode")));
    ASSERT_TRUE(query && revise);
    Bytes m = SampleModel("CX5540");

    DWORD length = 7, count = 9;
    platform::test::FailNextExports(1);
    EXPECT_EQ(query(m.data(), 7, 20, 1, nullptr, &length, &count),
              static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(length, 7u);
    EXPECT_EQ(count, 9u);

    Bytes dm(sizeof(DEVMODEA) + 1100, 0xAB);
    auto* d = reinterpret_cast<DEVMODEA*>(dm.data());
    d->dmSize = sizeof(DEVMODEA);
    d->dmDriverExtra = 1100;
    const Bytes before = dm;
    platform::test::FailNextExports(1);
    EXPECT_EQ(revise(m.data(), nullptr, dm.data(), 1), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(dm, before);
    // Without the fault the same call fills the defaults.
    EXPECT_EQ(revise(m.data(), nullptr, dm.data(), 1), 0u);
    EXPECT_NE(dm, before);
    EXPECT_TRUE(FreeLibrary(module));
}

} // namespace
} // namespace model_test
