// INI files are read from outside (settings and bookkeeping files): every
// profile function must take any bytes, answer within the caller's buffer and
// write back a file that reads the same way.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/testctl.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/ini.h"

namespace {

constexpr const char16_t* kFile = u"C:\\fuzz.ini";

std::string gRoot;

void Setup() {
    if (!gRoot.empty()) return;
    char pattern[] = "/tmp/ini-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    gRoot = pattern;
    setenv("PRINTHOST_ROOT", pattern, 1);
    platform::test::ResetForTests();
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(gRoot, ec);
    });
}

// Every list the functions hand out must end inside the buffer with two NULs.
void CheckList(const WCHAR* buf, DWORD n, DWORD size) {
    if (n >= size || buf[n] != 0) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Setup();
    {
        std::ofstream out(platform::HostPath(kFile), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    WCHAR names[512];
    DWORD n = GetPrivateProfileSectionNamesW(names, 512, kFile);
    CheckList(names, n, 512);
    WCHAR small[7];
    for (DWORD at = 0; at < n && names[at];) {
        const WCHAR* section = names + at;
        WCHAR keys[512];
        DWORD k = GetPrivateProfileStringW(section, nullptr, u"", keys, 512, kFile);
        CheckList(keys, k, 512);
        DWORD lines = GetPrivateProfileSectionW(section, small, 7, kFile);
        if (lines > 6) std::abort();
        for (DWORD kat = 0; kat < k && keys[kat];) {
            DWORD v = GetPrivateProfileStringW(section, keys + kat, u"default", small, 7, kFile);
            if (v > 6 || small[v] != 0) std::abort();
            GetPrivateProfileIntW(section, keys + kat, 5, kFile);
            while (keys[kat])
                ++kat;
            ++kat;
        }
        while (names[at])
            ++at;
        ++at;
    }
    // A write keeps the rest of the file readable as before.
    if (WritePrivateProfileStringW(u"fuzz", u"key", u"value", kFile)) {
        WCHAR value[8];
        if (GetPrivateProfileStringW(u"FUZZ", u"KEY", u"", value, 8, kFile) != 5) std::abort();
        WritePrivateProfileStringW(u"fuzz", nullptr, nullptr, kFile);
    }
    char narrow[9];
    GetPrivateProfileStringA(nullptr, nullptr, "", narrow, 9, "C:\\fuzz.ini");
    return 0;
}
