// The per-user working folder, computed as the UI library computes it.
#include "working_folder.h"

#include <vector>

#include "model/model_queries.h"
#include "model_access.h"
#include "pdev.h"
#include "spool_package.h"
#include "system_access.h"
#include "text_convert.h"
#include "win/base.h"

namespace inkforge {
namespace {

typedef decltype(&SHGetKnownFolderPath) PFN_SHGetKnownFolderPath;
typedef decltype(&SHGetFolderPathW) PFN_SHGetFolderPathW;

void EnsureBackslash(std::u16string* s) {
    if (s->empty() || s->back() != u'\\') s->push_back(u'\\');
}

std::u16string UserName() {
    WCHAR name[UNLEN + 1] = {};
    DWORD n = UNLEN + 1;
    return GetUserNameW(name, &n) ? std::u16string(name) : std::u16string();
}

std::u16string KnownLocalLow(HMODULE shell) {
    auto known = Export<PFN_SHGetKnownFolderPath>(shell, "SHGetKnownFolderPath");
    if (known) {
        PWSTR path = nullptr;
        if (SUCCEEDED(known(FOLDERID_LocalAppDataLow, 0, nullptr, &path)) && path) {
            std::u16string s(path);
            CoTaskMemFree(path);
            if (!s.empty()) return s;
        } else if (path) {
            CoTaskMemFree(path);
        }
    }
    auto folder = Export<PFN_SHGetFolderPathW>(shell, "SHGetFolderPathW");
    WCHAR buf[MAX_PATH] = {};
    if (!folder || FAILED(folder(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buf)) ||
        !buf[0])
        return {};
    std::u16string s(buf);
    while (!s.empty() && s.back() == u'\\')
        s.pop_back();
    size_t slash = s.rfind(u'\\');
    std::u16string last = slash == std::u16string::npos ? s : s.substr(slash + 1);
    WCHAR lastBuf[MAX_PATH] = {};
    CopyWideField(lastBuf, MAX_PATH, last.c_str());
    if (lstrcmpiW(lastBuf, u"LocalLow") != 0)
        s = (slash == std::u16string::npos ? u"" : s.substr(0, slash + 1)) + u"LocalLow";
    return s;
}

std::u16string AppData(HMODULE shell) {
    auto folder = Export<PFN_SHGetFolderPathW>(shell, "SHGetFolderPathW");
    WCHAR buf[MAX_PATH] = {};
    if (!folder || FAILED(folder(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buf)))
        return {};
    return buf;
}

std::u16string OldProfilesFolder() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                      KEY_READ, &key) != ERROR_SUCCESS)
        return {};
    WCHAR root[MAX_PATH] = {};
    DWORD type = 0, size = sizeof root - sizeof(WCHAR);
    LSTATUS r =
        RegQueryValueExW(key, u"SystemRoot", nullptr, &type, reinterpret_cast<LPBYTE>(root), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || !root[0]) return {};
    return std::u16string(root) + u"\\Profiles\\" + UserName() + u"\\Application Data\\";
}

} // namespace

std::u16string UserBaseFolder() {
    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof v;
    bool nt = GetVersionExW(&v) && v.dwPlatformId == VER_PLATFORM_WIN32_NT;
    std::u16string base;
    if (nt && v.dwMajorVersion < 5) {
        base = OldProfilesFolder();
    } else if (nt) {
        HMODULE shell = LoadLibraryW(u"shell32.dll");
        base = v.dwMajorVersion >= 6 ? KnownLocalLow(shell) : AppData(shell);
        if (shell) FreeLibrary(shell);
    }
    if (base.empty()) {
        WCHAR windows[MAX_PATH] = {};
        UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
        std::u16string root =
            n > 0 && n < MAX_PATH ? std::u16string(windows) : std::u16string(u"C:");
        while (!root.empty() && root.back() == u'\\')
            root.pop_back();
        base = root +
               (nt && v.dwMajorVersion >= 5 ? u"\\Documents and Settings\\" : u"\\Profiles\\") +
               UserName() + u"\\Application Data\\";
    }
    EnsureBackslash(&base);
    return base;
}

std::vector<std::u16string> ModelFolderNames(PFN_mdGetMyPrinterInfo query, LPCVOID modelData) {
    std::vector<std::u16string> names;
    if (!query || !modelData) return names;
    for (int code :
         {model::kQueryFirstModelName, model::kQueryModelName, model::kQueryFamilyName}) {
        DWORD length = 0, count = 0;
        if (query(modelData, code, 0, 1, nullptr, &length, &count) != 0 || length <= 1) continue;
        std::vector<char> text(length + 1, '\0');
        DWORD size = length;
        if (query(modelData, code, 0, 1, text.data(), &size, &count) != 0 || !text[0]) continue;
        std::u16string name = FromAnsi(std::string(text.data(), strnlen(text.data(), length)));
        // Each name is one folder under the user's base: a name that would
        // climb out or reach into another folder is left out.
        if (spoolpkg::IsBareFileName(name)) names.push_back(std::move(name));
    }
    return names;
}

BOOL GetWorkingFolder(PFN_mdGetMyPrinterInfo query, LPCVOID modelData, std::u16string* path) {
    path->clear();
    if (!query || !modelData) return FALSE;
    std::u16string folder = UserBaseFolder();
    for (const std::u16string& name : ModelFolderNames(query, modelData))
        folder += name + u'\\';
    *path = folder;
    return TRUE;
}

BOOL GetWorkingFolder(PDEV* pdev, std::u16string* path) {
    path->clear();
    HMODULE modelsmith = LoadComponentDll(pdev->printer, pdev->modelData, kSelectModelsmith);
    if (!modelsmith) return FALSE;
    auto query = Export<PFN_mdGetMyPrinterInfo>(modelsmith, "mdGetMyPrinterInfo");
    BOOL ok = GetWorkingFolder(query, pdev->modelData, path);
    FreeLibrary(modelsmith);
    return ok;
}

} // namespace inkforge
