// FindFirstFile / FindNextFile / FindClose.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "file_system.h"
#include "platform/core.h"
#include "platform/text.h"

using namespace platform::files;

namespace {

struct FoundEntry {
    std::u16string name;
    DWORD attributes = 0;
    FILETIME created{}, accessed{}, written{};
    unsigned long long size = 0;
};

// A search: the folder's matching entries, taken when the search starts.
class FindObject : public platform::HandleObject {
  public:
    const char* KindName() const override { return "Find"; }
    bool ClosableByCloseHandle() const override { return false; }
    std::vector<FoundEntry> entries;
    size_t next = 0;
};

// '*' and '?' without regard to case.
bool Match(std::u16string_view pattern, std::u16string_view name) {
    size_t p = 0, n = 0, starP = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == u'?' || platform::FoldCase(pattern[p]) ==
                                                                    platform::FoldCase(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::u16string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

// The system's old rules on top of the plain match: "*.*" is everything,
// "*." is the names without an extension, and "name.*" also finds "name".
bool MatchName(std::u16string_view pattern, std::u16string_view name) {
    if (pattern == u"*.*") return true;
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == u"*.") {
        if (name.find(u'.') != std::u16string_view::npos && name != u"." && name != u"..")
            return false;
        return Match(pattern.substr(0, pattern.size() - 1), name);
    }
    if (Match(pattern, name)) return true;
    if (pattern.size() > 2 && pattern.substr(pattern.size() - 2) == u".*")
        return Match(pattern.substr(0, pattern.size() - 2), name);
    return false;
}

void Fill(const FoundEntry& e, WIN32_FIND_DATAW* out) {
    std::memset(out, 0, sizeof *out);
    out->dwFileAttributes = e.attributes;
    out->ftCreationTime = e.created;
    out->ftLastAccessTime = e.accessed;
    out->ftLastWriteTime = e.written;
    out->nFileSizeHigh = static_cast<DWORD>(e.size >> 32);
    out->nFileSizeLow = static_cast<DWORD>(e.size & 0xFFFFFFFF);
    size_t n = std::min(e.name.size(), size_t(MAX_PATH - 1));
    std::copy_n(e.name.data(), n, out->cFileName);
}

void Fill(const FoundEntry& e, WIN32_FIND_DATAA* out) {
    WIN32_FIND_DATAW wide;
    Fill(e, &wide);
    std::memset(out, 0, sizeof *out);
    out->dwFileAttributes = wide.dwFileAttributes;
    out->ftCreationTime = wide.ftCreationTime;
    out->ftLastAccessTime = wide.ftLastAccessTime;
    out->ftLastWriteTime = wide.ftLastWriteTime;
    out->nFileSizeHigh = wide.nFileSizeHigh;
    out->nFileSizeLow = wide.nFileSizeLow;
    std::string name = Narrow(e.name);
    std::memcpy(out->cFileName, name.data(), CutPoint(name, MAX_PATH - 1));
}

template <class Data> HANDLE FindFirst(LPCWSTR lpFileName, Data* data) {
    if (!lpFileName || !data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::u16string spec(lpFileName);
    size_t cut = spec.find_last_of(u"\\/");
    std::u16string folder, pattern;
    if (cut != std::u16string::npos) {
        folder = spec.substr(0, cut + 1);
        pattern = spec.substr(cut + 1);
    } else if (spec.size() >= 2 && spec[1] == u':') {
        folder = spec.substr(0, 2) + u"\\";
        pattern = spec.substr(2);
    } else {
        folder = u".";
        pattern = spec;
    }
    if (pattern.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    // Trailing dots and blanks are not part of a name (but "*." keeps its meaning).
    while (pattern.size() > 1 && (pattern.back() == u' ' ||
                                  (pattern.back() == u'.' && pattern[pattern.size() - 2] != u'*')))
        pattern.pop_back();
    for (char16_t c : pattern) {
        if (c < 0x20 || c == u'<' || c == u'>' || c == u'"' || c == u'|' || c == u':') {
            SetLastError(ERROR_INVALID_NAME);
            return INVALID_HANDLE_VALUE;
        }
    }
    HostName dir;
    if (!Resolve(folder.c_str(), &dir)) return INVALID_HANDLE_VALUE;
    struct stat st;
    if (::stat(dir.host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    DIR* d = ::opendir(dir.host.c_str());
    if (!d) {
        SetLastError(ErrorFromErrno(errno, dir.host));
        return INVALID_HANDLE_VALUE;
    }
    auto find = std::make_shared<FindObject>();
    bool root = IsVolumeRoot(dir.host);
    while (dirent* e = ::readdir(d)) {
        std::string hostName = e->d_name;
        bool dots = hostName == "." || hostName == "..";
        if (dots && root) continue;
        std::u16string name = platform::FromUtf8(hostName);
        if (name.size() >= MAX_PATH || !MatchName(pattern, name)) continue;
        std::string full = dir.host + "/" + hostName;
        struct stat est;
        if (::stat(full.c_str(), &est) != 0 && ::lstat(full.c_str(), &est) != 0) continue;
        FoundEntry entry;
        entry.name = std::move(name);
        entry.attributes = AttributesOf(full, est);
        // A symbolic link is a reparse point, so that a walk can leave it unfollowed.
        if (struct stat link; ::lstat(full.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
            entry.attributes =
                (entry.attributes & ~DWORD(FILE_ATTRIBUTE_NORMAL)) | FILE_ATTRIBUTE_REPARSE_POINT;
        entry.created = ToFileTime(BirthTime(full, est));
        entry.accessed = ToFileTime(est.st_atim);
        entry.written = ToFileTime(est.st_mtim);
        entry.size = S_ISDIR(est.st_mode) ? 0 : static_cast<unsigned long long>(est.st_size);
        find->entries.push_back(std::move(entry));
    }
    ::closedir(d);
    if (find->entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    // The order of the system's own file system: "." and ".." first, then by name without case.
    auto rank = [](const std::u16string& n) { return n == u"." ? 0 : n == u".." ? 1 : 2; };
    std::sort(find->entries.begin(), find->entries.end(),
              [&](const FoundEntry& a, const FoundEntry& b) {
                  if (rank(a.name) != rank(b.name)) return rank(a.name) < rank(b.name);
                  return std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(),
                                                      b.name.end(), [](char16_t x, char16_t y) {
                                                          return platform::FoldCase(x) <
                                                                 platform::FoldCase(y);
                                                      });
              });
    Fill(find->entries[0], data);
    find->next = 1;
    SetLastError(ERROR_SUCCESS);
    return platform::InsertHandle(find);
}

template <class Data> BOOL FindNext(HANDLE h, Data* data) {
    auto find = platform::LookupHandleAs<FindObject>(h);
    if (!find) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (find->next >= find->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    Fill(find->entries[find->next++], data);
    return TRUE;
}

} // namespace

extern "C" {

HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
    PLATFORM_FAULT_POINT("FindFirstFileW", INVALID_HANDLE_VALUE);
    return FindFirst(lpFileName, lpFindFileData);
}

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    PLATFORM_FAULT_POINT("FindFirstFileA", INVALID_HANDLE_VALUE);
    if (!lpFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return FindFirst(Widen(lpFileName).c_str(), lpFindFileData);
}

BOOL WINAPI FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
    PLATFORM_FAULT_POINT("FindNextFileW", FALSE);
    return FindNext(hFindFile, lpFindFileData);
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
    PLATFORM_FAULT_POINT("FindNextFileA", FALSE);
    return FindNext(hFindFile, lpFindFileData);
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
    PLATFORM_FAULT_POINT("FindClose", FALSE);
    if (!platform::LookupHandleAs<FindObject>(hFindFile)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    platform::RemoveHandle(hFindFile);
    return TRUE;
}

} // extern "C"
