#include "sweep.h"

#include <algorithm>

#include "win/environment.h"
#include "win/errors.h"
#include "win/files.h"

namespace tempsweep {
namespace {

constexpr DWORD kPlatformWin9x = 1;
constexpr DWORD kPlatformNt = 2;
// A name-list record of a Windows 9x temporary file: a NUL-terminated file name.
constexpr DWORD kNameRecordSize = 16;

bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
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

void Note(SweepReport* report, const std::u16string& path, DWORD error) {
    if (!report->firstError) report->firstError = error;
    report->leftOver.push_back(path);
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

void RemoveLink(const std::u16string& path, DWORD attributes, SweepReport* report) {
    // A link to a folder is a folder entry on the system and a file entry on
    // some file systems; either way only the link goes.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && RemoveDirectoryW(path.c_str())) return;
    if (DeleteFileW(path.c_str())) return;
    Note(report, path, GetLastError());
}

// The number of names the file has; 0 when it cannot be told.
DWORD LinkCount(const std::u16string& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION info{};
    const DWORD links = GetFileInformationByHandle(h, &info) ? info.nNumberOfLinks : 0;
    CloseHandle(h);
    return links;
}

void RemoveFile(const std::u16string& path, DWORD attributes, const SweepState& state,
                SweepReport* report) {
    if (state.osClass == kPlatformWin9x && !state.tempFolder.empty())
        DeleteNamedTemporaries(path, state.tempFolder);
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        // The read-only mark belongs to the file, not to this name: a file
        // with other names (hard links outside the folder) keeps it and
        // stays, reported.
        if (LinkCount(path) != 1) {
            Note(report, path, ERROR_ACCESS_DENIED);
            return;
        }
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    if (!DeleteFileW(path.c_str())) Note(report, path, GetLastError());
}

DWORD Sweep(const std::u16string& folder, const SweepState& state, SweepReport* report) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + u"\\*.*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return GetLastError();
    do {
        std::u16string name = found.cFileName;
        if (name == u"." || name == u"..") continue;
        std::u16string path = folder + u"\\" + name;
        DWORD attributes = found.dwFileAttributes;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            RemoveLink(path, attributes, report);
        } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            // The entry may have been swapped for a link since the folder was
            // read: it is looked at again, unfollowed, right before descending.
            DWORD now = EntryAttributes(folder, name);
            if (now == INVALID_FILE_ATTRIBUTES) {
                Note(report, path, GetLastError());
                continue;
            }
            if ((now & FILE_ATTRIBUTE_REPARSE_POINT) || !(now & FILE_ATTRIBUTE_DIRECTORY)) {
                if (now & FILE_ATTRIBUTE_REPARSE_POINT)
                    RemoveLink(path, now, report);
                else
                    RemoveFile(path, now, state, report);
                continue;
            }
            if (DWORD e = Sweep(path, state, report)) {
                Note(report, path, e);
                continue;
            }
            if (attributes & FILE_ATTRIBUTE_READONLY)
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!RemoveDirectoryW(path.c_str())) Note(report, path, GetLastError());
        } else {
            RemoveFile(path, attributes, state, report);
        }
    } while (FindNextFileW(find, &found));
    DWORD last = GetLastError();
    FindClose(find);
    if (last != ERROR_NO_MORE_FILES && !report->firstError) report->firstError = last;
    return 0;
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

DWORD SweepFolder(const std::u16string& folder, const SweepState& state, SweepReport* report) {
    if (DWORD e = Sweep(folder, state, report)) return e;
    return report->firstError;
}

DWORD SweepTempMain(std::u16string_view commandLine, SweepReport* report) {
    std::u16string folder;
    DWORD error = ERROR_SUCCESS;
    if (!FolderFromCommandLine(commandLine, &folder, &error)) return error;
    return SweepFolder(folder, GetSweepOsClass(), report);
}

} // namespace tempsweep
