// Names of files rather than files: the temporary folder, temporary names,
// searching a list of folders, and full path names.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "file_system.h"
#include "platform/core.h"
#include "platform/paths.h"
#include "platform/text.h"

using namespace platform::files;

namespace {

bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

// The two-call protocol of the path functions: with room for the text and its
// NUL, copy and return its length; else return the size needed (NUL included).
DWORD Deliver(const std::u16string& text, DWORD size, LPWSTR buffer) {
    if (buffer && size > text.size()) {
        std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
        return static_cast<DWORD>(text.size());
    }
    return static_cast<DWORD>(text.size() + 1);
}

// Lexical "." and ".." and the trailing dots and blanks that names never end in.
std::vector<std::u16string> NormalComponents(std::u16string_view rest, bool windows) {
    std::vector<std::u16string> parts;
    std::u16string cur;
    auto flush = [&] {
        if (cur == u".") {
        } else if (cur == u"..") {
            if (!parts.empty()) parts.pop_back();
        } else {
            if (windows)
                while (!cur.empty() && (cur.back() == u'.' || cur.back() == u' '))
                    cur.pop_back();
            if (!cur.empty()) parts.push_back(cur);
        }
        cur.clear();
    };
    for (char16_t c : rest) {
        if (IsSeparator(c))
            flush();
        else
            cur += c;
    }
    flush();
    return parts;
}

std::u16string CurrentDirectory() {
    char buf[4096];
    std::string cwd = ::getcwd(buf, sizeof buf) ? buf : "/";
    std::u16string windows = platform::WindowsPath(cwd);
    // Outside the machine root the host path stands as it is.
    return (windows.size() >= 2 && windows[1] == u':') ? windows : platform::FromUtf8(cwd);
}

std::u16string FullPath(std::u16string_view p) {
    if (p.empty()) return {};
    bool trailing = IsSeparator(p.back());
    if (p[0] == u'/') {
        std::u16string out;
        for (const auto& part : NormalComponents(p, false))
            out += u"/" + part;
        return out.empty() ? u"/" : out;
    }
    std::u16string prefix;
    std::u16string_view rest;
    if (p.size() >= 2 && IsSeparator(p[0]) && IsSeparator(p[1])) {
        // \\server\share\rest: the share is the root that ".." stops at.
        std::u16string_view tail = p.substr(2);
        size_t server = tail.find_first_of(u"\\/");
        size_t share =
            server == std::u16string_view::npos ? server : tail.find_first_of(u"\\/", server + 1);
        prefix = u"\\\\" + std::u16string(tail.substr(0, share));
        for (char16_t& c : prefix)
            if (c == u'/') c = u'\\';
        rest = share == std::u16string_view::npos ? std::u16string_view() : tail.substr(share);
    } else if (p.size() >= 2 && p[1] == u':') {
        prefix = std::u16string(
                     1, static_cast<char16_t>(p[0] >= u'a' && p[0] <= u'z' ? p[0] - 32 : p[0])) +
                 u":";
        rest = p.substr(2);
    } else if (IsSeparator(p[0])) {
        prefix = u"C:";
        rest = p;
    } else {
        std::u16string base = CurrentDirectory();
        std::u16string joined =
            base +
            (base.empty() || IsSeparator(base.back()) ? u"" : (base[0] == u'/' ? u"/" : u"\\")) +
            std::u16string(p);
        return FullPath(joined);
    }
    std::u16string out = prefix;
    auto parts = NormalComponents(rest, true);
    for (const auto& part : parts)
        out += u"\\" + part;
    if (parts.empty() || trailing) out += u"\\";
    return out;
}

bool Exists(const std::u16string& windowsPath) {
    struct stat st;
    return ::stat(platform::HostPath(windowsPath).c_str(), &st) == 0;
}

std::atomic<unsigned> gTempCounter{0};

} // namespace

extern "C" {

DWORD WINAPI GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
    PLATFORM_FAULT_POINT("GetTempPathW", 0);
    std::u16string temp = TempFolder();
    // The folder is there on a real system; make it so on a fresh machine root.
    std::error_code ec;
    std::filesystem::create_directories(platform::HostPath(temp), ec);
    return Deliver(temp, nBufferLength, lpBuffer);
}

UINT WINAPI GetTempFileNameW(LPCWSTR lpPathName, LPCWSTR lpPrefixString, UINT uUnique,
                             LPWSTR lpTempFileName) {
    PLATFORM_FAULT_POINT("GetTempFileNameW", 0);
    if (!lpPathName || !lpTempFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string folder(lpPathName);
    if (!folder.empty() && !IsSeparator(folder.back())) folder += u'\\';
    std::u16string prefix =
        lpPrefixString ? std::u16string(lpPrefixString).substr(0, 3) : std::u16string();
    auto nameFor = [&](unsigned value) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%X", value);
        return folder + prefix + platform::FromUtf8(hex) + u".TMP";
    };
    auto deliver = [&](const std::u16string& name, UINT value) -> UINT {
        if (name.size() >= MAX_PATH) {
            SetLastError(ERROR_BUFFER_OVERFLOW);
            return 0;
        }
        std::memcpy(lpTempFileName, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
        return value;
    };
    if (uUnique != 0) {
        // A given number only forms the name; nothing is created or checked.
        unsigned value = uUnique & 0xFFFF;
        return deliver(nameFor(value), value);
    }
    if (!Exists(folder.empty() ? u"." : folder)) {
        SetLastError(ERROR_DIRECTORY);
        return 0;
    }
    if (gTempCounter.load() == 0) {
        auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        gTempCounter.store(static_cast<unsigned>(now ^ ::getpid()) | 1u);
    }
    for (unsigned attempt = 0; attempt < 0xFFFF; ++attempt) {
        unsigned value = gTempCounter.fetch_add(1) & 0xFFFF;
        if (value == 0) continue;
        std::u16string name = nameFor(value);
        if (name.size() >= MAX_PATH) {
            SetLastError(ERROR_BUFFER_OVERFLOW);
            return 0;
        }
        HANDLE h = OpenFile(name.c_str(), GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
        if (h != INVALID_HANDLE_VALUE) {
            platform::RemoveHandle(h);
            SetLastError(ERROR_SUCCESS);
            return deliver(name, value);
        }
        if (GetLastError() != ERROR_FILE_EXISTS) return 0;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
}

DWORD WINAPI SearchPathW(LPCWSTR lpPath, LPCWSTR lpFileName, LPCWSTR lpExtension,
                         DWORD nBufferLength, LPWSTR lpBuffer, LPWSTR* lpFilePart) {
    PLATFORM_FAULT_POINT("SearchPathW", 0);
    if (!lpFileName || !*lpFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string name(lpFileName);
    size_t lastSep = name.find_last_of(u"\\/");
    std::u16string finalPart = lastSep == std::u16string::npos ? name : name.substr(lastSep + 1);
    if (lpExtension && finalPart.find(u'.') == std::u16string::npos) name += lpExtension;
    bool isPath = lastSep != std::u16string::npos || (name.size() >= 2 && name[1] == u':');

    std::vector<std::u16string> candidates;
    if (isPath) {
        candidates.push_back(name);
    } else {
        std::vector<std::u16string> folders;
        if (lpPath) {
            std::u16string list(lpPath), cur;
            for (char16_t c : list + u";") {
                if (c == u';') {
                    if (!cur.empty()) folders.push_back(cur);
                    cur.clear();
                } else {
                    cur += c;
                }
            }
        } else {
            folders = {u".", WindowsFolder() + u"\\System32", WindowsFolder()};
        }
        for (const auto& f : folders) {
            char16_t sep = f[0] == u'/' ? u'/' : u'\\';
            candidates.push_back(IsSeparator(f.back()) ? f + name : f + sep + name);
        }
    }
    for (const auto& candidate : candidates) {
        std::u16string full = FullPath(candidate);
        if (full.empty() || !Exists(full)) continue;
        DWORD result = Deliver(full, nBufferLength, lpBuffer);
        if (result == full.size() && lpFilePart) {
            size_t sep = full.find_last_of(u"\\/");
            *lpFilePart = lpBuffer + (sep == std::u16string::npos ? 0 : sep + 1);
        }
        SetLastError(ERROR_SUCCESS);
        return result;
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
}

DWORD WINAPI GetFullPathNameW(LPCWSTR lpFileName, DWORD nBufferLength, LPWSTR lpBuffer,
                              LPWSTR* lpFilePart) {
    PLATFORM_FAULT_POINT("GetFullPathNameW", 0);
    if (!lpFileName || !*lpFileName) {
        SetLastError(lpFileName ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string full = FullPath(lpFileName);
    DWORD result = Deliver(full, nBufferLength, lpBuffer);
    if (result == full.size() && lpFilePart) {
        size_t sep = full.find_last_of(u"\\/");
        // A name that ends in a separator has no file part.
        *lpFilePart = sep + 1 == full.size() ? nullptr : lpBuffer + sep + 1;
    }
    return result;
}

UINT WINAPI GetDriveTypeW(LPCWSTR lpRootPathName) {
    std::u16string root = lpRootPathName ? std::u16string(lpRootPathName) : FullPath(u".");
    // Outside the machine root the current directory is a host path, on Z:.
    if (!lpRootPathName && !root.empty() && root[0] == u'/') return DRIVE_REMOTE;
    if (!lpRootPathName && root.size() >= 2 && root[1] == u':') root = root.substr(0, 2) + u"\\";
    const bool drive = root.size() == 3 && root[1] == u':' && IsSeparator(root[2]) &&
                       ((root[0] | 0x20) >= u'a' && (root[0] | 0x20) <= u'z');
    if (drive && (root[0] | 0x20) == u'z') return DRIVE_REMOTE;
    bool share = false;
    if (!drive && root.size() > 2 && IsSeparator(root[0]) && IsSeparator(root[1]) &&
        IsSeparator(root.back())) {
        // "\\server\share\": two names, then nothing.
        std::u16string_view rest = std::u16string_view(root).substr(2, root.size() - 3);
        const size_t cut = rest.find_first_of(u"\\/");
        share = cut != std::u16string_view::npos && cut > 0 && cut + 1 < rest.size() &&
                rest.find_first_of(u"\\/", cut + 1) == std::u16string_view::npos;
    }
    if (!drive && !share) return DRIVE_NO_ROOT_DIR;
    struct stat st;
    if (::stat(platform::HostPath(root).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return DRIVE_NO_ROOT_DIR;
    return drive ? DRIVE_FIXED : DRIVE_REMOTE;
}

} // extern "C"
