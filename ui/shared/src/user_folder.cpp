// The per-user working folder. The graphics library and the spool-side
// library compute the same folder by the same rule.
#include <vector>

#include "driver_env.h"
#include "model_data_header.h"
#include "win/base.h"

namespace sheetwright {
namespace {

typedef decltype(&SHGetKnownFolderPath) PFN_SHGetKnownFolderPath;
typedef decltype(&SHGetFolderPathW) PFN_SHGetFolderPathW;

template <class F> F Bind(HMODULE module, const char* name) {
    return module ? reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)))
                  : nullptr;
}

void EnsureBackslash(std::u16string* s) {
    if (s->empty() || s->back() != u'\\') s->push_back(u'\\');
}

std::u16string KnownLocalLow() {
    std::u16string result;
    HMODULE shell = LoadLibraryW(u"shell32.dll");
    HMODULE ole = LoadLibraryW(u"ole32.dll");
    auto known = Bind<PFN_SHGetKnownFolderPath>(shell, "SHGetKnownFolderPath");
    if (known) {
        PWSTR path = nullptr;
        HRESULT hr = known(FOLDERID_LocalAppDataLow, 0, nullptr, &path);
        if (SUCCEEDED(hr) && path) result = path;
        if (path) CoTaskMemFree(path);
    }
    if (ole) FreeLibrary(ole);
    if (shell) FreeLibrary(shell);
    return result;
}

std::u16string ShellFolder(PFN_SHGetFolderPathW folder, int csidl) {
    WCHAR buf[MAX_PATH] = {};
    if (!folder || FAILED(folder(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf))) return {};
    return buf;
}

// The local application data folder with its last component made "LocalLow".
std::u16string LocalLowFromLocal(std::u16string s) {
    if (s.empty()) return s;
    if (s.back() == u'\\') s.pop_back();
    size_t slash = s.rfind(u'\\');
    std::u16string last = slash == std::u16string::npos ? s : s.substr(slash + 1);
    if (lstrcmpiW(last.c_str(), u"LocalLow") == 0) return s;
    return (slash == std::u16string::npos ? std::u16string() : s.substr(0, slash + 1)) +
           u"LocalLow";
}

std::u16string UserName() {
    WCHAR name[257] = {};
    DWORD n = 257;
    return GetUserNameW(name, &n) ? std::u16string(name) : std::u16string();
}

} // namespace

BOOL GetLocalLowFolder(std::u16string* out) {
    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof v;
    GetVersionExW(&v);
    const bool nt = v.dwPlatformId == VER_PLATFORM_WIN32_NT;
    std::u16string base;
    HMODULE shfolder = nt && v.dwMajorVersion >= 5 ? LoadLibraryW(u"shfolder.dll") : nullptr;
    auto folderPath = Bind<PFN_SHGetFolderPathW>(shfolder, "SHGetFolderPathW");
    if (nt && v.dwMajorVersion >= 6 && folderPath) base = KnownLocalLow();
    if (base.empty() && nt && v.dwMajorVersion >= 6)
        base = LocalLowFromLocal(ShellFolder(folderPath, CSIDL_LOCAL_APPDATA));
    if (base.empty() && nt && v.dwMajorVersion >= 5) base = ShellFolder(folderPath, CSIDL_APPDATA);
    if (shfolder) FreeLibrary(shfolder);
    if (base.empty()) {
        WCHAR windows[MAX_PATH] = {};
        UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
        base = n > 0 && n < MAX_PATH ? std::u16string(windows) : std::u16string(u"C:");
        while (!base.empty() && base.back() == u'\\')
            base.pop_back();
        if (nt && v.dwMajorVersion >= 5) {
            base = base.substr(0, std::min<size_t>(base.size(), 2)) +
                   u"\\Documents and Settings\\" + UserName();
        } else if (nt) {
            base += u"\\Profiles\\" + UserName();
        }
        base += u"\\Application Data\\";
    }
    EnsureBackslash(&base);
    *out = base;
    return TRUE;
}

BOOL GetLegacyProfileFolder(std::u16string* out) {
    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof v;
    GetVersionExW(&v);
    if (v.dwPlatformId == VER_PLATFORM_WIN32_NT && v.dwMajorVersion < 5) {
        HKEY key = nullptr;
        WCHAR root[MAX_PATH] = {};
        DWORD type = 0, size = sizeof root - sizeof(WCHAR);
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                          KEY_READ, &key) == ERROR_SUCCESS) {
            if (RegQueryValueExW(key, u"SystemRoot", nullptr, &type, reinterpret_cast<LPBYTE>(root),
                                 &size) != ERROR_SUCCESS)
                root[0] = 0;
            RegCloseKey(key);
        }
        if (root[0]) {
            *out = std::u16string(root) + u"\\Profiles\\" + UserName() + u"\\Application Data\\";
            return TRUE;
        }
    }
    return GetLocalLowFolder(out);
}

BOOL GetUserSettingsFolder(PFN_mdGetMyPrinterInfo query, LPCVOID data, std::u16string* out) {
    std::u16string folder;
    // Kept as before: an unresolved folder leaves only the model names below.
    (void)GetLegacyProfileFolder(&folder);
    EnsureBackslash(&folder);
    if (query && data) {
        for (WORD code :
             {model::kQueryFirstModelName, model::kQueryModelName, model::kQueryFamilyName}) {
            DWORD length = 0, count = 0;
            if (query(data, code, 0, kTextLayout, nullptr, &length, &count) != 0 || length == 0)
                continue;
            std::vector<char> text(length + 1, '\0');
            DWORD size = length;
            if (query(data, code, 0, kTextLayout, text.data(), &size, &count) != 0 || !text[0])
                continue;
            std::u16string name = AnsiToWide(text.data(), strnlen(text.data(), length));
            if (name.size() > MAX_PATH) name.resize(MAX_PATH);
            folder += name;
            folder += u'\\';
        }
    }
    *out = folder;
    return TRUE;
}

} // namespace sheetwright
