// Helper of the registry tests: one of several processes writing the same
// machine root's registry at once.
//
//   registry_writer <tag> <count>
//
// Waits until its standard input is closed (so that all writers start
// together), then for i in 0..count-1:
//   - sets the REG_DWORD value "<tag>-<i>" = i under HKCU\Software\Race\Shared;
//   - creates HKCU\Software\Race\Keys\K<i % 50>\<tag>, a path that the other
//     writers create at the same time;
//   - sets REG_BINARY "v" in its own key HKCU\Software\Race\<tag>\K<i>.
// Prints "created <n>" with the number of keys K<j> it reports as newly created,
// and exits 0 when every call succeeded.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/text.h"
#include "win/base.h"

namespace {

std::u16string Wide(const std::string& s) {
    return platform::FromUtf8(s);
}

bool Check(LSTATUS st, const char* what, int i) {
    if (st == ERROR_SUCCESS) return true;
    std::fprintf(stderr, "%s %d failed: %ld\n", what, i, static_cast<long>(st));
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: registry_writer <tag> <count>\n");
        return 2;
    }
    std::string tag = argv[1];
    int count = std::atoi(argv[2]);

    alarm(120); // never outlive a test that went wrong
    char buf[64];
    while (read(0, buf, sizeof buf) > 0) {
    }

    HKEY shared = nullptr;
    if (!Check(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Race\\Shared", 0, nullptr, 0,
                               KEY_ALL_ACCESS, nullptr, &shared, nullptr),
               "create shared", 0))
        return 1;
    int createdParents = 0;
    bool ok = true;
    for (int i = 0; i < count && ok; ++i) {
        std::u16string name = Wide(tag + "-" + std::to_string(i));
        DWORD value = static_cast<DWORD>(i);
        ok = Check(RegSetValueExW(shared, name.c_str(), 0, REG_DWORD,
                                  reinterpret_cast<const BYTE*>(&value), sizeof value),
                   "set shared", i);

        // Open-or-create the common parent first so that its disposition says
        // which writer made it.
        std::u16string parentPath = Wide("Software\\Race\\Keys\\K" + std::to_string(i % 50));
        HKEY parent = nullptr;
        DWORD disposition = 0;
        ok = ok && Check(RegCreateKeyExW(HKEY_CURRENT_USER, parentPath.c_str(), 0, nullptr, 0,
                                         KEY_ALL_ACCESS, nullptr, &parent, &disposition),
                         "create parent", i);
        if (ok && disposition == REG_CREATED_NEW_KEY) ++createdParents;
        HKEY child = nullptr;
        std::u16string childName = Wide(tag);
        ok = ok && Check(RegCreateKeyExW(parent, childName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                         nullptr, &child, nullptr),
                         "create child", i);
        if (child) RegCloseKey(child);
        if (parent) RegCloseKey(parent);

        std::u16string ownPath = Wide("Software\\Race\\" + tag + "\\K" + std::to_string(i));
        HKEY own = nullptr;
        ok = ok && Check(RegCreateKeyExW(HKEY_CURRENT_USER, ownPath.c_str(), 0, nullptr, 0,
                                         KEY_ALL_ACCESS, nullptr, &own, nullptr),
                         "create own", i);
        BYTE bytes[3] = {static_cast<BYTE>(i), static_cast<BYTE>(i >> 8), 0xA5};
        ok = ok &&
             Check(RegSetValueExW(own, u"v", 0, REG_BINARY, bytes, sizeof bytes), "set own", i);
        if (own) RegCloseKey(own);
    }
    RegCloseKey(shared);
    std::printf("created %d\n", createdParents);
    return ok ? 0 : 1;
}
