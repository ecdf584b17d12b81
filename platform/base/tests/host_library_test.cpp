// Host libraries opened at their first use: a library or a function that is
// missing binds nothing and is told.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "platform/host_library.h"

namespace {

TEST(HostLibrary, BindsAllOrNothingAndTellsWhy) {
    struct Case {
        const char* soname;
        std::vector<const char*> names;
        bool opens;
        const char* told; // a part of what stderr says, when it fails
    } cases[] = {
        {"libz.so.1", {"zlibVersion", "crc32"}, true, ""},
        {"libz.so.1",
         {"zlibVersion", "no_such_function", "crc32"},
         false,
         "libz.so.1 has no no_such_function"},
        {"libno-such-library.so.7", {"zlibVersion"}, false, "libno-such-library.so.7"},
    };
    for (const auto& c : cases) {
        std::vector<void*> addresses(c.names.size(), reinterpret_cast<void*>(1));
        testing::internal::CaptureStderr();
        bool opened =
            platform::OpenHostLibrary(c.soname, c.names.data(), addresses.data(), c.names.size());
        std::string told = testing::internal::GetCapturedStderr();
        EXPECT_EQ(opened, c.opens) << c.soname;
        if (c.opens) {
            EXPECT_EQ(told, "");
            void* zlib = dlopen(c.soname, RTLD_LAZY | RTLD_NOLOAD);
            ASSERT_NE(zlib, nullptr);
            for (size_t i = 0; i < c.names.size(); ++i)
                EXPECT_EQ(addresses[i], dlsym(zlib, c.names[i])) << c.names[i];
            dlclose(zlib);
        } else {
            EXPECT_NE(told.find(c.told), std::string::npos) << told;
            for (void* a : addresses)
                EXPECT_EQ(a, nullptr) << c.soname;
        }
    }
}

#define ZLIB_FUNCTIONS(X) X(zlibVersion) X(crc32)
PLATFORM_HOST_LIBRARY(ZlibLibrary, "libz.so.1", ZLIB_FUNCTIONS)

#define MISSING_FUNCTIONS(X) X(zlibVersion)
PLATFORM_HOST_LIBRARY(MissingLibrary, "libno-such-library.so.7", MISSING_FUNCTIONS)

TEST(HostLibrary, TablesAreTypedAndOpenedOnce) {
    const ZlibLibrary* zlib = ZlibLibrary::Open();
    ASSERT_NE(zlib, nullptr);
    EXPECT_EQ(ZlibLibrary::Open(), zlib);
    EXPECT_EQ(std::string(zlib->zlibVersion()).substr(0, 2), "1.");
    const Bytef text[] = "page";
    EXPECT_EQ(zlib->crc32(0, text, 4), 0x140ab620u);

    testing::internal::CaptureStderr();
    EXPECT_EQ(MissingLibrary::Open(), nullptr);
    EXPECT_EQ(MissingLibrary::Open(), nullptr);
    std::string told = testing::internal::GetCapturedStderr();
    // Told once, however often the table is asked for.
    EXPECT_EQ(told.find("libno-such-library.so.7"), told.rfind("libno-such-library.so.7")) << told;
    EXPECT_NE(told.find("libno-such-library.so.7"), std::string::npos) << told;
}

} // namespace
