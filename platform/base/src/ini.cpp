// The profile functions over INI files.
#include "win/ini.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "file_system.h"
#include "platform/ini_document.h"
#include "platform/core.h"
#include "platform/settings_file.h"
#include "platform/text.h"

using platform::ini::IniDocument;
using namespace platform::files;

namespace {

// Reads and writes of INI files in this process are one at a time, so that a
// read-modify-write never loses another thread's change.
std::mutex gIniMutex;

// The last file read, kept while its identity, size and time are unchanged:
// callers read many keys of one file in a row.
struct CachedFile {
    std::string host;
    FileId id;
    long long size = -1;
    struct timespec written {};
    IniDocument doc;
} gCache;

std::u16string FileNameOf(const WCHAR* file) {
    if (!file) return WindowsFolder() + u"\\win.ini";
    std::u16string name(file);
    if (name.find_first_of(u"\\/:") == std::u16string::npos) return WindowsFolder() + u"\\" + name;
    return name;
}

enum class Loaded { Ok, Missing, Unreadable };

// Reads the file. Missing: there is no such file (a folder counts as none).
// Unreadable: a bad name, or a file that cannot be opened or read now; the
// error is in *error. Reads answer both as an empty file; writes must stop,
// or they would replace a file they could not read.
Loaded Load(const std::u16string& name, IniDocument* doc, DWORD* error) {
    HostName host;
    if (!Resolve(name.c_str(), &host)) {
        *error = GetLastError();
        return Loaded::Unreadable;
    }
    // A file that is not there (its folder neither) reads as ERROR_FILE_NOT_FOUND.
    struct stat st;
    if (::stat(host.host.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        *error = ERROR_FILE_NOT_FOUND;
        return Loaded::Missing;
    }
    if (gCache.host == host.host && gCache.id == IdOf(st) && gCache.size == st.st_size &&
        gCache.written.tv_sec == st.st_mtim.tv_sec &&
        gCache.written.tv_nsec == st.st_mtim.tv_nsec) {
        *doc = gCache.doc;
        return Loaded::Ok;
    }
    // Opened as the system does, so that a handle that denies reading keeps it out.
    HANDLE h =
        OpenFile(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (h == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return *error == ERROR_FILE_NOT_FOUND ? Loaded::Missing : Loaded::Unreadable;
    }
    auto file = platform::LookupHandleAs<FileObject>(h);
    std::string bytes;
    bool ok = ReadWhole(file->fd(), platform::ini::kMaxIniFileSize, &bytes, error);
    struct stat opened;
    bool stamped = ::fstat(file->fd(), &opened) == 0;
    file.reset();
    platform::RemoveHandle(h);
    if (!ok) return Loaded::Unreadable;
    *doc = IniDocument::Parse(bytes);
    if (stamped) {
        gCache.host = host.host;
        gCache.id = IdOf(opened);
        gCache.size = opened.st_size;
        gCache.written = opened.st_mtim;
        gCache.doc = *doc;
    }
    return Loaded::Ok;
}

// What a read answers: one string or a list of strings.
struct Answer {
    bool list = false;
    std::vector<std::u16string> items;
    DWORD error = ERROR_SUCCESS;
};

// Copies a value or a list into the caller's buffer. A value that does not fit
// is cut to nSize - 1 units, a list to nSize - 2 and two NULs; the cut never
// leaves half a character (the units it spares are NULs too).
template <class C>
DWORD Deliver(const std::vector<std::basic_string<C>>& items, bool list, C* buffer, DWORD size,
              DWORD* error) {
    if (!buffer || size == 0) return 0;
    std::basic_string<C> text;
    if (!list) {
        if (!items.empty()) text = items[0];
    } else {
        // Each name ends with a NUL and the list with one more.
        for (const auto& item : items) {
            text += item;
            text += C(0);
        }
    }
    if (text.size() < size) {
        std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(C));
        if (list && text.empty() && size >= 2) buffer[1] = 0;
        return static_cast<DWORD>(text.size());
    }
    *error = ERROR_MORE_DATA;
    DWORD keep = list ? (size >= 2 ? size - 2 : 0) : size - 1;
    size_t cut = CutPoint(std::basic_string_view<C>(text), keep);
    std::memcpy(buffer, text.data(), cut * sizeof(C));
    std::fill(buffer + cut, buffer + size, C(0));
    return keep;
}

DWORD DeliverW(const Answer& answer, LPWSTR buffer, DWORD size) {
    DWORD error = answer.error;
    DWORD n = Deliver(answer.items, answer.list, buffer, size, &error);
    SetLastError(error);
    return n;
}

DWORD DeliverA(const Answer& answer, LPSTR buffer, DWORD size) {
    std::vector<std::string> items;
    for (const auto& item : answer.items)
        items.push_back(Narrow(item));
    DWORD error = answer.error;
    DWORD n = Deliver(items, answer.list, buffer, size, &error);
    SetLastError(error);
    return n;
}

// The lookups of GetPrivateProfileString. A missing file answers like an
// empty one and reports ERROR_FILE_NOT_FOUND.
void Query(const WCHAR* app, const WCHAR* key, const WCHAR* def, const WCHAR* file,
           Answer* answer) {
    std::lock_guard lock(gIniMutex);
    IniDocument doc;
    DWORD error = ERROR_SUCCESS;
    Loaded loaded = Load(FileNameOf(file), &doc, &error);
    if (loaded != Loaded::Ok) answer->error = error;
    if (!app) {
        answer->list = true;
        answer->items = doc.SectionNames();
    } else if (!key) {
        answer->list = true;
        if (auto keys = doc.KeyNames(app)) answer->items = std::move(*keys);
    } else if (auto value = doc.Value(app, key)) {
        answer->items.push_back(platform::ini::StripQuotes(std::move(*value)));
    } else {
        std::u16string fallback = def ? std::u16string(def) : std::u16string();
        while (!fallback.empty() && fallback.back() == u' ')
            fallback.pop_back();
        answer->items.push_back(std::move(fallback));
        if (loaded == Loaded::Ok) answer->error = ERROR_FILE_NOT_FOUND;
    }
}

void QuerySection(const WCHAR* app, const WCHAR* file, Answer* answer) {
    std::lock_guard lock(gIniMutex);
    IniDocument doc;
    DWORD error = ERROR_SUCCESS;
    Loaded loaded = Load(FileNameOf(file), &doc, &error);
    if (loaded != Loaded::Ok) answer->error = error;
    answer->list = true;
    if (app) answer->items = doc.SectionLines(app);
}

// The number at the start of a value, as GetPrivateProfileInt reads it.
UINT LeadingNumber(std::u16string_view text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
    UINT value = 0;
    if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        for (i += 2; i < text.size(); ++i) {
            char16_t c = text[i];
            UINT digit;
            if (c >= u'0' && c <= u'9')
                digit = c - u'0';
            else if (c >= u'a' && c <= u'f')
                digit = c - u'a' + 10;
            else if (c >= u'A' && c <= u'F')
                digit = c - u'A' + 10;
            else
                break;
            value = value * 16 + digit;
        }
    } else {
        for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
            value = value * 10 + (text[i] - u'0');
    }
    return negative ? 0u - value : value;
}

UINT ProfileInt(const WCHAR* app, const WCHAR* key, INT def, const WCHAR* file) {
    if (!app || !key) return static_cast<UINT>(def);
    Answer answer;
    Query(app, key, u"", file, &answer);
    const std::u16string& value = answer.items.empty() ? std::u16string() : answer.items[0];
    SetLastError(answer.error);
    if (value.empty()) return static_cast<UINT>(def);
    return LeadingNumber(value);
}

bool HasLineBreak(const WCHAR* s) {
    for (; s && *s; ++s)
        if (*s == u'\r' || *s == u'\n') return true;
    return false;
}

BOOL WriteProfile(const WCHAR* app, const WCHAR* key, const WCHAR* value, const WCHAR* file) {
    if (!app) {
        // (NULL, NULL, NULL, file) asks to flush the cache: nothing is held back here.
        if (!key && !value) return TRUE;
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // A line break would turn a value into further keys or sections of the file.
    if (HasLineBreak(app) || HasLineBreak(key) || HasLineBreak(value)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lock(gIniMutex);
    std::u16string name = FileNameOf(file);
    HostName host;
    if (!Resolve(name.c_str(), &host)) return FALSE;
    struct stat st;
    bool present = ::stat(host.host.c_str(), &st) == 0;
    if (present && S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    // Deleting from a file that is not there changes nothing (and needs no folder).
    if (!present && (!key || !value)) {
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    }
    // The system's Windows folder always exists; on a fresh machine root, make it.
    if (!file || std::u16string(file).find_first_of(u"\\/:") == std::u16string::npos)
        CreateDirectoryW(WindowsFolder().c_str(), nullptr);
    // Other processes edit the same file: the read and the write are one step under their common
    // lock.
    platform::SettingsFile settings(name);
    if (!settings.locked()) return FALSE;
    std::string bytes;
    bool exists = settings.Read(&bytes, platform::ini::kMaxIniFileSize);
    if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND) return FALSE;
    IniDocument doc = IniDocument::Parse(bytes);
    bool changed = !key     ? doc.DeleteSection(app)
                   : !value ? doc.DeleteKey(app, key)
                            : doc.Set(app, key, value);
    if (!changed && (exists || !key || !value)) {
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    }
    if (!settings.Replace(doc.Serialize())) return FALSE;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

} // namespace

extern "C" {

DWORD WINAPI GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                                      LPWSTR lpReturnedString, DWORD nSize, LPCWSTR lpFileName) {
    PLATFORM_FAULT_POINT("GetPrivateProfileStringW", 0);
    Answer answer;
    Query(lpAppName, lpKeyName, lpDefault, lpFileName, &answer);
    return DeliverW(answer, lpReturnedString, nSize);
}

DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                      LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
    PLATFORM_FAULT_POINT("GetPrivateProfileStringA", 0);
    std::u16string app = Widen(lpAppName), key = Widen(lpKeyName), def = Widen(lpDefault),
                   file = Widen(lpFileName);
    Answer answer;
    Query(lpAppName ? app.c_str() : nullptr, lpKeyName ? key.c_str() : nullptr,
          lpDefault ? def.c_str() : nullptr, lpFileName ? file.c_str() : nullptr, &answer);
    return DeliverA(answer, lpReturnedString, nSize);
}

UINT WINAPI GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault,
                                  LPCWSTR lpFileName) {
    PLATFORM_FAULT_POINT("GetPrivateProfileIntW", static_cast<UINT>(nDefault));
    return ProfileInt(lpAppName, lpKeyName, nDefault, lpFileName);
}

UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault,
                                  LPCSTR lpFileName) {
    PLATFORM_FAULT_POINT("GetPrivateProfileIntA", static_cast<UINT>(nDefault));
    std::u16string app = Widen(lpAppName), key = Widen(lpKeyName), file = Widen(lpFileName);
    return ProfileInt(lpAppName ? app.c_str() : nullptr, lpKeyName ? key.c_str() : nullptr,
                      nDefault, lpFileName ? file.c_str() : nullptr);
}

DWORD WINAPI GetPrivateProfileSectionNamesW(LPWSTR lpszReturnBuffer, DWORD nSize,
                                            LPCWSTR lpFileName) {
    PLATFORM_FAULT_POINT("GetPrivateProfileSectionNamesW", 0);
    Answer answer;
    Query(nullptr, nullptr, nullptr, lpFileName, &answer);
    return DeliverW(answer, lpszReturnBuffer, nSize);
}

DWORD WINAPI GetPrivateProfileSectionNamesA(LPSTR lpszReturnBuffer, DWORD nSize,
                                            LPCSTR lpFileName) {
    PLATFORM_FAULT_POINT("GetPrivateProfileSectionNamesA", 0);
    std::u16string file = Widen(lpFileName);
    Answer answer;
    Query(nullptr, nullptr, nullptr, lpFileName ? file.c_str() : nullptr, &answer);
    return DeliverA(answer, lpszReturnBuffer, nSize);
}

DWORD WINAPI GetPrivateProfileSectionW(LPCWSTR lpAppName, LPWSTR lpReturnedString, DWORD nSize,
                                       LPCWSTR lpFileName) {
    PLATFORM_FAULT_POINT("GetPrivateProfileSectionW", 0);
    Answer answer;
    QuerySection(lpAppName, lpFileName, &answer);
    return DeliverW(answer, lpReturnedString, nSize);
}

DWORD WINAPI GetPrivateProfileSectionA(LPCSTR lpAppName, LPSTR lpReturnedString, DWORD nSize,
                                       LPCSTR lpFileName) {
    PLATFORM_FAULT_POINT("GetPrivateProfileSectionA", 0);
    std::u16string app = Widen(lpAppName), file = Widen(lpFileName);
    Answer answer;
    QuerySection(lpAppName ? app.c_str() : nullptr, lpFileName ? file.c_str() : nullptr, &answer);
    return DeliverA(answer, lpReturnedString, nSize);
}

BOOL WINAPI WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString,
                                       LPCWSTR lpFileName) {
    PLATFORM_FAULT_POINT("WritePrivateProfileStringW", FALSE);
    return WriteProfile(lpAppName, lpKeyName, lpString, lpFileName);
}

BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                       LPCSTR lpFileName) {
    PLATFORM_FAULT_POINT("WritePrivateProfileStringA", FALSE);
    std::u16string app = Widen(lpAppName), key = Widen(lpKeyName), value = Widen(lpString),
                   file = Widen(lpFileName);
    return WriteProfile(lpAppName ? app.c_str() : nullptr, lpKeyName ? key.c_str() : nullptr,
                        lpString ? value.c_str() : nullptr, lpFileName ? file.c_str() : nullptr);
}

} // extern "C"
