// Shell and system folders: Windows paths on the machine root, laid out as a
// current system lays them out, each created on the host when first asked for.
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/codepage_ctl.h"
#include "platform/core.h"
#include "platform/facts.h"
#include "platform/paths.h"
#include "win/environment.h"
#include "win/errors.h"
#include "win/memory.h"

// The shell's functions answer an HRESULT instead of setting the last error.
#define SHELL_FAULT_POINT(name, ...)                                                               \
    do {                                                                                           \
        DWORD shellFault_ = 0;                                                                     \
        if (::platform::ShouldFail(name, &shellFault_)) {                                          \
            __VA_ARGS__;                                                                           \
            return HRESULT_FROM_WIN32(shellFault_);                                                \
        }                                                                                          \
    } while (0)

namespace {

enum class Folder { Profile, Documents, Roaming, Local, LocalLow, ProgramData, Windows, System };

std::u16string PathOf(Folder f) {
    std::u16string profile = u"C:\\Users\\" + platform::CurrentUserName();
    switch (f) {
    case Folder::Profile:
        return profile;
    case Folder::Documents:
        return profile + u"\\Documents";
    case Folder::Roaming:
        return profile + u"\\AppData\\Roaming";
    case Folder::Local:
        return profile + u"\\AppData\\Local";
    case Folder::LocalLow:
        return profile + u"\\AppData\\LocalLow";
    case Folder::ProgramData:
        return u"C:\\ProgramData";
    case Folder::Windows:
        return u"C:\\Windows";
    case Folder::System:
        return u"C:\\Windows\\System32";
    }
    return profile;
}

// The folder's path, made on the host if it is not there yet.
std::u16string Existing(Folder f) {
    std::u16string path = PathOf(f);
    std::error_code ec;
    std::filesystem::create_directories(platform::HostPath(path), ec);
    return path;
}

bool SameGuid(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

std::optional<Folder> KnownFolder(const KNOWNFOLDERID& id) {
    static const struct {
        const KNOWNFOLDERID* id;
        Folder folder;
    } kFolders[] = {
        {&FOLDERID_LocalAppDataLow, Folder::LocalLow}, {&FOLDERID_LocalAppData, Folder::Local},
        {&FOLDERID_RoamingAppData, Folder::Roaming},   {&FOLDERID_Documents, Folder::Documents},
        {&FOLDERID_Profile, Folder::Profile},          {&FOLDERID_ProgramData, Folder::ProgramData},
        {&FOLDERID_Windows, Folder::Windows},          {&FOLDERID_System, Folder::System},
    };
    for (const auto& k : kFolders)
        if (SameGuid(*k.id, id)) return k.folder;
    return std::nullopt;
}

std::optional<Folder> CsidlFolder(int csidl) {
    switch (csidl & ~CSIDL_FLAG_MASK) {
    case CSIDL_PERSONAL:
        return Folder::Documents;
    case CSIDL_APPDATA:
        return Folder::Roaming;
    case CSIDL_LOCAL_APPDATA:
        return Folder::Local;
    case CSIDL_COMMON_APPDATA:
        return Folder::ProgramData;
    case CSIDL_WINDOWS:
        return Folder::Windows;
    case CSIDL_SYSTEM:
        return Folder::System;
    case CSIDL_PROFILE:
        return Folder::Profile;
    default:
        return std::nullopt;
    }
}

// The directory functions' protocol: the length without the NUL, or the size
// needed with it when the buffer is too small.
template <class Char>
UINT GiveDirectory(const std::basic_string<Char>& path, Char* buffer, UINT size) {
    auto needed = static_cast<UINT>(path.size() + 1);
    if (!buffer || size < needed) return needed;
    std::memcpy(buffer, path.c_str(), needed * sizeof(Char));
    return needed - 1;
}

template <class Char>
HRESULT GiveFolderPath(int csidl, Char* out, std::basic_string<Char> (*convert)(std::u16string)) {
    if (!out) return E_INVALIDARG;
    out[0] = 0;
    std::optional<Folder> folder = CsidlFolder(csidl);
    if (!folder) return E_INVALIDARG;
    std::basic_string<Char> path = convert(Existing(*folder));
    if (path.size() >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(out, path.c_str(), (path.size() + 1) * sizeof(Char));
    return S_OK;
}

std::u16string Wide(std::u16string s) {
    return s;
}
std::string Ansi(std::u16string s) {
    return platform::WideToAnsi(s);
}

} // namespace

extern "C" {

HRESULT WINAPI SHGetKnownFolderPath(REFKNOWNFOLDERID rfid, DWORD, HANDLE, PWSTR* ppszPath) {
    SHELL_FAULT_POINT("SHGetKnownFolderPath", if (ppszPath)* ppszPath = nullptr);
    if (!ppszPath) return E_INVALIDARG;
    *ppszPath = nullptr;
    try {
        std::optional<Folder> folder = KnownFolder(rfid);
        if (!folder) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        std::u16string path = Existing(*folder);
        auto* out = static_cast<PWSTR>(CoTaskMemAlloc((path.size() + 1) * sizeof(WCHAR)));
        if (!out) return E_OUTOFMEMORY;
        std::memcpy(out, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
        *ppszPath = out;
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT WINAPI SHGetFolderPathW(HWND, int csidl, HANDLE, DWORD, LPWSTR pszPath) {
    SHELL_FAULT_POINT("SHGetFolderPathW", if (pszPath) pszPath[0] = 0);
    try {
        return GiveFolderPath<char16_t>(csidl, pszPath, &Wide);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT WINAPI SHGetFolderPathA(HWND, int csidl, HANDLE, DWORD, LPSTR pszPath) {
    SHELL_FAULT_POINT("SHGetFolderPathA", if (pszPath) pszPath[0] = 0);
    try {
        return GiveFolderPath<char>(csidl, pszPath, &Ansi);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

UINT WINAPI GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) {
    PLATFORM_FAULT_POINT("GetWindowsDirectoryW", 0);
    try {
        return GiveDirectory(Existing(Folder::Windows), lpBuffer, uSize);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
    PLATFORM_FAULT_POINT("GetWindowsDirectoryA", 0);
    try {
        return GiveDirectory(platform::WideToAnsi(Existing(Folder::Windows)), lpBuffer, uSize);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

UINT WINAPI GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) {
    PLATFORM_FAULT_POINT("GetSystemDirectoryW", 0);
    try {
        return GiveDirectory(Existing(Folder::System), lpBuffer, uSize);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
    PLATFORM_FAULT_POINT("GetSystemDirectoryA", 0);
    try {
        return GiveDirectory(platform::WideToAnsi(Existing(Folder::System)), lpBuffer, uSize);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

} // extern "C"
