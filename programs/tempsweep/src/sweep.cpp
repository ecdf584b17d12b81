#include "sweep.h"

#include <algorithm>

#include "win/environment.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/strings.h"

namespace tempsweep {
namespace {

constexpr DWORD kPlatformWin9x = 1;
constexpr DWORD kPlatformNt = 2;
// A name-list record of a Windows 9x temporary file: a NUL-terminated file name.
constexpr DWORD kNameRecordSize = 16;

bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

bool SameNoCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           lstrcmpiW(std::u16string(a).c_str(), std::u16string(b).c_str()) == 0;
}

// True when some component of the path is "..": the sweep stays inside the
// folder it is given, so it never climbs to a parent.
bool ClimbsOut(std::u16string_view path) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = start;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        std::u16string_view part = path.substr(start, end - start);
        // Trailing dots and spaces fall away from a name, so "..." and ".. " climb too.
        while (!part.empty() && (part.back() == u' ' || part.back() == u'.') && part.size() > 2)
            part.remove_suffix(1);
        if (part == u"..") return true;
        start = end + 1;
    }
    return false;
}

// A drive ("C:", "C:\"), the current drive's root ("\") or a share ("\\server\share").
bool IsRoot(std::u16string_view path) {
    std::u16string_view rest = path;
    if (rest.size() >= 2 && rest[1] == u':')
        rest.remove_prefix(2);
    else if (rest.size() >= 2 && IsSeparator(rest[0]) && IsSeparator(rest[1])) {
        size_t parts = 0;
        size_t i = 2;
        while (i < rest.size()) {
            size_t end = i;
            while (end < rest.size() && !IsSeparator(rest[end]))
                ++end;
            if (end > i) ++parts;
            i = end + 1;
        }
        return parts <= 2;
    }
    return std::all_of(rest.begin(), rest.end(), IsSeparator);
}

DWORD Stop(SweepReport* report, const std::u16string& path, DWORD error) {
    report->firstError = error;
    report->stoppedAt = path;
    return error;
}

// Windows 9x keeps a file's font temporaries in the temporary folder, named in
// 16-byte records of the file. Only plain names are taken: a record cannot
// reach outside the temporary folder.
void DeleteNamedTemporaries(const std::u16string& file, const std::u16string& tempFolder) {
    HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    char record[kNameRecordSize];
    DWORD got = 0;
    while (ReadFile(h, record, kNameRecordSize, &got, nullptr) && got == kNameRecordSize) {
        record[kNameRecordSize - 1] = 0;
        std::u16string name;
        for (const char* p = record; *p; ++p)
            name += static_cast<char16_t>(static_cast<unsigned char>(*p));
        bool plain = !name.empty() && name != u"." && name != u".." &&
                     std::none_of(name.begin(), name.end(),
                                  [](char16_t c) { return IsSeparator(c) || c == u':'; });
        if (plain) DeleteFileW((tempFolder + name).c_str());
    }
    CloseHandle(h);
}

DWORD RemoveLink(const std::u16string& path, DWORD attributes, SweepReport* report) {
    // A link to a folder is a folder entry on the system and a file entry on
    // some file systems; either way only the link goes.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && RemoveDirectoryW(path.c_str())) return 0;
    if (DeleteFileW(path.c_str())) return 0;
    return Stop(report, path, GetLastError());
}

// A read-only file is not deleted: the system refuses it, and that stops the sweep.
DWORD RemoveFile(const std::u16string& path, const SweepState& state, SweepReport* report) {
    if (state.osClass == kPlatformWin9x && !state.tempFolder.empty())
        DeleteNamedTemporaries(path, state.tempFolder);
    if (!DeleteFileW(path.c_str())) return Stop(report, path, GetLastError());
    return 0;
}

DWORD RemoveFolder(const std::u16string& folder, const std::u16string& name,
                   const SweepState& state, SweepReport* report);

DWORD Sweep(const std::u16string& folder, const SweepState& state, SweepReport* report) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + u"\\*.*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return Stop(report, folder, GetLastError());
    DWORD error = 0;
    do {
        std::u16string name = found.cFileName;
        if (name == u"." || name == u"..") continue;
        std::u16string path = folder + u"\\" + name;
        DWORD attributes = found.dwFileAttributes;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            error = RemoveLink(path, attributes, report);
        else if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            error = RemoveFolder(folder, name, state, report);
        else
            error = RemoveFile(path, state, report);
    } while (!error && FindNextFileW(find, &found));
    if (!error && GetLastError() != ERROR_NO_MORE_FILES)
        error = Stop(report, folder, GetLastError());
    FindClose(find);
    return error;
}

DWORD RemoveFolder(const std::u16string& folder, const std::u16string& name,
                   const SweepState& state, SweepReport* report) {
    const std::u16string path = folder + u"\\" + name;
    // The entry may have been swapped for a link since the folder was read:
    // it is looked at again, unfollowed, right before descending.
    DWORD now = EntryAttributes(folder, name);
    if (now == INVALID_FILE_ATTRIBUTES) return Stop(report, path, GetLastError());
    if (now & FILE_ATTRIBUTE_REPARSE_POINT) return RemoveLink(path, now, report);
    if (!(now & FILE_ATTRIBUTE_DIRECTORY)) return RemoveFile(path, state, report);
    if (DWORD e = Sweep(path, state, report)) return e;
    if (!RemoveDirectoryW(path.c_str())) return Stop(report, path, GetLastError());
    return 0;
}

// The path without its "\\?\" prefix: "C:\x", or "\\server\share\x" for "UNC\server\share\x".
std::u16string WithoutPrefix(std::u16string path) {
    if (path.compare(0, 4, u"\\\\?\\") != 0) return path;
    path.erase(0, 4);
    if (path.size() >= 4 && SameNoCase(path.substr(0, 4), u"UNC\\")) return u"\\" + path.substr(3);
    return path;
}

// Where an existing file or folder really is; empty when it cannot be opened.
std::u16string FinalPath(const std::u16string& path, DWORD* error) {
    HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return {};
    }
    std::u16string final(MAX_PATH, u'\0');
    DWORD n = GetFinalPathNameByHandleW(h, final.data(), static_cast<DWORD>(final.size()),
                                        VOLUME_NAME_DOS | FILE_NAME_NORMALIZED);
    if (n >= final.size()) {
        final.resize(n);
        n = GetFinalPathNameByHandleW(h, final.data(), static_cast<DWORD>(final.size()),
                                      VOLUME_NAME_DOS | FILE_NAME_NORMALIZED);
    }
    *error = n ? 0 : GetLastError();
    CloseHandle(h);
    if (!n || n >= final.size()) return {};
    final.resize(n);
    return WithoutPrefix(std::move(final));
}

// The folder that holds the users' own folders ("C:\Users"), where it really is.
std::u16string UsersFolder() {
    WCHAR profile[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, 0, profile))) return {};
    std::u16string users(profile);
    const size_t cut = users.find_last_of(u"\\/");
    if (cut == std::u16string::npos || cut < 3) return {};
    users.resize(cut);
    DWORD error = 0;
    std::u16string final = FinalPath(users, &error);
    return final.empty() ? users : final;
}

// True when `folder` is `inner` or holds it, compared without case.
bool Holds(const std::u16string& folder, const std::u16string& inner) {
    if (folder.empty() || inner.size() < folder.size()) return false;
    if (!SameNoCase(inner.substr(0, folder.size()), folder)) return false;
    return inner.size() == folder.size() || IsSeparator(inner[folder.size()]);
}

} // namespace

DWORD EntryAttributes(const std::u16string& folder, const std::u16string& name) {
    // The folder's own entry of that name, as a listing gives it: a link is
    // a reparse point there, never its target.
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + u"\\" + name).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return INVALID_FILE_ATTRIBUTES;
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    do {
        if (std::u16string(found.cFileName) == name) {
            attributes = found.dwFileAttributes;
            break;
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
    if (attributes == INVALID_FILE_ATTRIBUTES) SetLastError(ERROR_FILE_NOT_FOUND);
    return attributes;
}

DWORD SweepOsClass(DWORD platformId, DWORD major, DWORD minor) {
    if (platformId == kPlatformWin9x) return 1;
    if (platformId == kPlatformNt) {
        if (major == 4) return 2;
        if (major == 5) return minor == 0 ? 3 : 4;
        if (major >= 6) return 5;
    }
    return 4;
}

SweepState GetSweepOsClass() {
    SweepState state;
    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof v;
    if (!GetVersionExW(&v)) return state;
    state.osClass = SweepOsClass(v.dwPlatformId, v.dwMajorVersion, v.dwMinorVersion);
    if (state.osClass == kPlatformWin9x) {
        WCHAR windows[MAX_PATH];
        UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
        if (n > 0 && n < MAX_PATH) state.tempFolder = std::u16string(windows, n) + u"\\temp\\";
    }
    return state;
}

std::u16string_view ArgumentsOf(std::u16string_view line) {
    size_t at = 0;
    if (!line.empty() && line[0] == u'"') {
        // A quoted name ends at its closing quote.
        size_t close = line.find(u'"', 1);
        at = close == std::u16string_view::npos ? line.size() : close + 1;
    } else {
        while (at < line.size() && line[at] != u' ' && line[at] != u'\t')
            ++at;
    }
    while (at < line.size() && (line[at] == u' ' || line[at] == u'\t'))
        ++at;
    return line.substr(at);
}

bool FolderFromCommandLine(std::u16string_view commandLine, std::u16string* folder, DWORD* error) {
    *error = ERROR_SUCCESS;
    if (commandLine.empty() || commandLine.size() >= MAX_PATH) return false;
    std::u16string path(commandLine);
    if (!path.empty() && path.front() == u'"') path.erase(0, 1);
    if (!path.empty() && path.back() == u'"') path.pop_back();
    if (!path.empty() && path.back() == u'\\') path.pop_back();
    if (ClimbsOut(path) || IsRoot(path)) {
        *error = ERROR_BAD_PATHNAME;
        return false;
    }
    *folder = std::move(path);
    return true;
}

DWORD ResolveSweptFolder(const std::u16string& folder, std::u16string* resolved) {
    DWORD error = 0;
    std::u16string final = FinalPath(folder, &error);
    if (final.empty()) {
        // What is not there gets the error its listing gives.
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW((folder + u"\\*.*").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE) return GetLastError();
        FindClose(find);
        return error ? error : ERROR_PATH_NOT_FOUND;
    }
    *resolved = final;
    // The text was checked for roots and ".." as written; what it leads to is
    // checked here, after every "." and blank and link has had its say.
    const bool belowDrive = final.size() > 3 && final[1] == u':' && IsSeparator(final[2]);
    if (!belowDrive || GetDriveTypeW(final.substr(0, 3).c_str()) != DRIVE_FIXED)
        return ERROR_BAD_PATHNAME;
    if (Holds(final, UsersFolder())) return ERROR_BAD_PATHNAME;
    return ERROR_SUCCESS;
}

DWORD SweepFolder(const std::u16string& folder, const SweepState& state, SweepReport* report) {
    return Sweep(folder, state, report);
}

DWORD SweepTempMain(std::u16string_view commandLine, SweepReport* report) {
    std::u16string folder;
    DWORD error = ERROR_SUCCESS;
    if (!FolderFromCommandLine(commandLine, &folder, &error)) return error;
    if (DWORD e = ResolveSweptFolder(folder, &report->resolved)) return e;
    return SweepFolder(report->resolved, GetSweepOsClass(), report);
}

} // namespace tempsweep
