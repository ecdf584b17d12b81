// The registry over the machine database: a table of keys (each with its
// parent) and a table of values. Every write is one transaction, so processes
// sharing the machine root never lose each other's keys or values.
#include "win/registry.h"

#include <sqlite3.h>

#include <array>
#include <initializer_list>
#include <cstring>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/sql_statement.h"
#include "platform/codepage_ctl.h"
#include "platform/core.h"
#include "platform/facts.h"
#include "platform/text.h"
#include "win/environment.h"
#include "win/errors.h"

// Registry functions answer their error instead of setting the last error.
#define REGISTRY_FAULT_POINT(name)                                                                 \
    do {                                                                                           \
        DWORD registryFault_ = 0;                                                                  \
        if (::platform::ShouldFail(name, &registryFault_))                                         \
            return static_cast<LSTATUS>(registryFault_);                                           \
    } while (0)

namespace {

using platform::MachineDb;

// Key ids below 1 are the roots; real keys have positive ids that are never
// reused, so a handle to a deleted key can never reach a newer key.
// HKEY_CURRENT_USER is the current user's key under a hidden root of users,
// and HKEY_CLASSES_ROOT is HKLM\SOFTWARE\Classes; both are looked up at each
// use, so that a change of user (a test's) changes the tree seen.
constexpr std::int64_t kCurrentUserRoot = -1;
constexpr std::int64_t kLocalMachineRoot = -2;
constexpr std::int64_t kClassesRoot = -3;
constexpr std::int64_t kNoKey = -4; // a looked-up root not made yet: reads see an empty key
constexpr std::int64_t kUsersRoot = -5;

constexpr DWORD kMaxKeyNameLength = 255;
constexpr DWORD kMaxValueNameLength = 16383;

// Key and value names are stored twice: as written (UTF-16LE, so that any
// name survives unchanged) and as a lookup key of upper-cased UTF-16BE code
// units, whose byte order is the system's enumeration order of subkeys.
const char kSchema[] = R"sql(
CREATE TABLE IF NOT EXISTS reg_key (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    parent INTEGER NOT NULL,
    name BLOB NOT NULL,
    nkey BLOB NOT NULL,
    written INTEGER NOT NULL DEFAULT 0,
    UNIQUE (parent, nkey)
);
CREATE TABLE IF NOT EXISTS reg_value (
    seq INTEGER PRIMARY KEY AUTOINCREMENT,
    key INTEGER NOT NULL,
    name BLOB NOT NULL,
    nkey BLOB NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    UNIQUE (key, nkey)
);
CREATE INDEX IF NOT EXISTS reg_value_order ON reg_value (key, seq);
)sql";

void EnsureSchema() {
    static std::once_flag once;
    std::call_once(once, [] { MachineDb::RegisterSchema(kSchema); });
}

// ---- names ----

// The upper-case letter of each folded character (FoldCase goes the other way).
struct UpperTable {
    std::array<char16_t, 65536> map;
    UpperTable() {
        for (std::uint32_t i = 0; i < 65536; ++i)
            map[i] = static_cast<char16_t>(i);
        for (std::uint32_t u = 0; u < 65536; ++u) {
            char16_t f = platform::FoldCase(static_cast<char16_t>(u));
            if (f != u && map[f] == f) map[f] = static_cast<char16_t>(u);
        }
    }
};

char16_t SortChar(char16_t c) {
    char16_t folded = platform::FoldCase(c);
    // Names are nearly always ASCII, whose only folded letters are a to z: a
    // process that never meets another letter never builds the table.
    if (folded < 0x80)
        return folded >= u'a' && folded <= u'z' ? static_cast<char16_t>(folded - 32) : folded;
    static const UpperTable upper;
    return upper.map[folded];
}

std::string NameBytes(std::u16string_view name) {
    std::string out(name.size() * 2, '\0');
    for (size_t i = 0; i < name.size(); ++i) {
        out[2 * i] = static_cast<char>(name[i] & 0xFF);
        out[2 * i + 1] = static_cast<char>(name[i] >> 8);
    }
    return out;
}

std::string NameKey(std::u16string_view name) {
    std::string out(name.size() * 2, '\0');
    for (size_t i = 0; i < name.size(); ++i) {
        char16_t c = SortChar(name[i]);
        out[2 * i] = static_cast<char>(c >> 8);
        out[2 * i + 1] = static_cast<char>(c & 0xFF);
    }
    return out;
}

std::u16string NameFromBytes(std::string_view bytes) {
    std::u16string out(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return out;
}

std::u16string_view View(const char16_t* s) {
    return s ? std::u16string_view(s, platform::WideLength(s)) : std::u16string_view();
}

// "a\b\c" -> {a, b, c}. One trailing backslash is allowed, as the system
// allows it; a leading one or an empty component is not.
LSTATUS SplitPath(std::u16string_view path, std::vector<std::u16string_view>* parts) {
    parts->clear();
    if (path.empty()) return ERROR_SUCCESS;
    if (path.front() == u'\\') return ERROR_BAD_PATHNAME;
    if (path.back() == u'\\') path.remove_suffix(1);
    while (true) {
        size_t cut = path.find(u'\\');
        std::u16string_view part = path.substr(0, cut);
        if (part.empty()) return ERROR_BAD_PATHNAME;
        if (part.size() > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
        parts->push_back(part);
        if (cut == std::u16string_view::npos) break;
        path.remove_prefix(cut + 1);
    }
    return ERROR_SUCCESS;
}

// ---- database ----

using Stmt = platform::SqlStatement;

std::int64_t Now() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return static_cast<std::int64_t>((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) |
                                     ft.dwLowDateTime);
}

FILETIME ToFileTime(std::int64_t t) {
    auto u = static_cast<ULONGLONG>(t);
    return FILETIME{static_cast<DWORD>(u & 0xFFFFFFFF), static_cast<DWORD>(u >> 32)};
}

std::int64_t FindChild(std::int64_t parent, std::u16string_view name) {
    Stmt s("SELECT id FROM reg_key WHERE parent = ?1 AND nkey = ?2");
    s.Int(1, parent).Bytes(2, NameKey(name));
    return s.Step() ? s.ColInt(0) : 0;
}

std::int64_t AddChild(std::int64_t parent, std::u16string_view name) {
    Stmt s("INSERT INTO reg_key (parent, name, nkey, written) VALUES (?1, ?2, ?3, ?4)");
    s.Int(1, parent).Bytes(2, NameBytes(name)).Bytes(3, NameKey(name)).Int(4, Now());
    s.Run();
    return s.LastId();
}

void Touch(std::int64_t key) {
    if (key <= 0) return;
    Stmt s("UPDATE reg_key SET written = ?2 WHERE id = ?1");
    s.Int(1, key).Int(2, Now()).Run();
}

bool KeyExists(std::int64_t id) {
    if (id < 0) return true;
    Stmt s("SELECT 1 FROM reg_key WHERE id = ?1");
    s.Int(1, id);
    return s.Step();
}

std::int64_t FindPath(std::int64_t id, std::initializer_list<std::u16string_view> parts,
                      bool create) {
    for (std::u16string_view part : parts) {
        std::int64_t child = FindChild(id, part);
        if (!child) {
            if (!create) return kNoKey;
            child = AddChild(id, part);
        }
        id = child;
    }
    return id;
}

// The real key behind HKEY_CURRENT_USER or HKEY_CLASSES_ROOT (kNoKey when it
// does not exist and `create` is false); other ids are returned as they are.
std::int64_t RootKey(std::int64_t id, bool create) {
    if (id == kCurrentUserRoot) {
        std::u16string user = platform::CurrentUserName();
        return FindPath(kUsersRoot, {user.empty() ? std::u16string_view(u".DEFAULT") : user},
                        create);
    }
    if (id == kClassesRoot) return FindPath(kLocalMachineRoot, {u"SOFTWARE", u"Classes"}, create);
    return id;
}

// ---- handles ----

struct KeyHandle {
    std::int64_t id = 0;
    REGSAM access = 0;
};

std::mutex gHandleMutex;
std::unordered_map<ULONG_PTR, KeyHandle> gHandles;
ULONG_PTR gNextHandle = 0x1000;

void ForgetHandles() {
    std::lock_guard lock(gHandleMutex);
    gHandles.clear();
}

REGSAM Granted(REGSAM sam) {
    sam &= ~static_cast<REGSAM>(KEY_WOW64_64KEY | KEY_WOW64_32KEY);
    if (sam & (0x02000000u | 0x10000000u)) sam |= KEY_ALL_ACCESS; // MAXIMUM_ALLOWED, GENERIC_ALL
    if (sam & 0x80000000u) sam |= KEY_READ;                       // GENERIC_READ
    if (sam & 0x40000000u) sam |= KEY_WRITE;                      // GENERIC_WRITE
    if (sam & 0x20000000u) sam |= KEY_EXECUTE;                    // GENERIC_EXECUTE
    return sam;
}

HKEY NewHandle(std::int64_t id, REGSAM sam) {
    static std::once_flag once;
    std::call_once(once, [] { platform::RegisterResetHook(&ForgetHandles); });
    std::lock_guard lock(gHandleMutex);
    ULONG_PTR value = gNextHandle;
    gNextHandle += 4;
    gHandles[value] = KeyHandle{id, Granted(sam)};
    return reinterpret_cast<HKEY>(value);
}

bool LookupHandle(HKEY h, KeyHandle* out) {
    if (h == HKEY_CURRENT_USER) {
        *out = KeyHandle{kCurrentUserRoot, KEY_ALL_ACCESS};
        return true;
    }
    if (h == HKEY_LOCAL_MACHINE) {
        *out = KeyHandle{kLocalMachineRoot, KEY_ALL_ACCESS};
        return true;
    }
    if (h == HKEY_CLASSES_ROOT) {
        *out = KeyHandle{kClassesRoot, KEY_ALL_ACCESS};
        return true;
    }
    std::lock_guard lock(gHandleMutex);
    auto it = gHandles.find(reinterpret_cast<ULONG_PTR>(h));
    if (it == gHandles.end()) return false;
    *out = it->second;
    return true;
}

bool IsPredefined(HKEY h) {
    return h == HKEY_CURRENT_USER || h == HKEY_LOCAL_MACHINE || h == HKEY_CLASSES_ROOT;
}

// The key a handle stands for now. `create` makes the key behind
// HKEY_CURRENT_USER or HKEY_CLASSES_ROOT for a write through it.
LSTATUS CurrentKey(const KeyHandle& h, bool create, std::int64_t* id) {
    if (h.id == kCurrentUserRoot || h.id == kClassesRoot) {
        *id = RootKey(h.id, create);
        return ERROR_SUCCESS;
    }
    if (!KeyExists(h.id)) return ERROR_KEY_DELETED;
    *id = h.id;
    return ERROR_SUCCESS;
}

// Runs a write as one transaction; fn answers an LSTATUS and anything but
// success rolls the transaction back.
template <class Fn> LSTATUS Write(Fn&& fn) {
    LSTATUS status = ERROR_REGISTRY_IO_FAILED;
    bool committed = MachineDb::Transaction([&] {
        status = fn();
        return status == ERROR_SUCCESS;
    });
    if (status == ERROR_SUCCESS && !committed) return ERROR_REGISTRY_IO_FAILED;
    return status;
}

// No exception leaves an export: database failures become I/O errors.
template <class Fn> LSTATUS Guard(Fn&& fn) noexcept {
    try {
        EnsureSchema();
        return fn();
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    } catch (...) {
        return ERROR_REGISTRY_IO_FAILED;
    }
}

// ---- operations, shared by the W and A forms ----

// A 64-bit machine keeps the 32-bit programs' HKLM\SOFTWARE under
// HKLM\SOFTWARE\Wow6432Node. KEY_WOW64_32KEY asks for that view; the plain
// view (our processes are 64-bit) and KEY_WOW64_64KEY see the keys as named.
// Only HKLM\SOFTWARE is split: other keys and roots are shared by both views.
// The view is chosen where a path crosses HKLM\SOFTWARE; a handle already
// below it stays in the view it was opened in.
constexpr char16_t kWowNode[] = u"Wow6432Node";

bool IsWow32View(REGSAM sam) {
    return (sam & KEY_WOW64_32KEY) && !(sam & KEY_WOW64_64KEY);
}

bool SameName(std::u16string_view a, std::u16string_view b) {
    return NameKey(a) == NameKey(b);
}

bool IsMachineSoftware(std::int64_t id) {
    if (id <= 0) return false;
    Stmt s("SELECT 1 FROM reg_key WHERE id = ?1 AND parent = ?2 AND nkey = ?3");
    s.Int(1, id).Int(2, kLocalMachineRoot).Bytes(3, NameKey(u"SOFTWARE"));
    return s.Step();
}

// Puts Wow6432Node into a path from `base` that enters HKLM\SOFTWARE in the
// 32-bit view, unless the path already names it.
void ApplyView(std::int64_t base, REGSAM sam, std::vector<std::u16string_view>* parts) {
    if (!IsWow32View(sam) || parts->empty()) return;
    size_t at = 0;
    if (base == kLocalMachineRoot && SameName((*parts)[0], u"SOFTWARE"))
        at = 1;
    else if (!IsMachineSoftware(base))
        return;
    if (at < parts->size() && SameName((*parts)[at], kWowNode)) return;
    parts->insert(parts->begin() + static_cast<std::ptrdiff_t>(at), std::u16string_view(kWowNode));
}

LSTATUS OpenKey(HKEY base, const char16_t* subKey, REGSAM sam, PHKEY result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::vector<std::u16string_view> parts;
    if (LSTATUS st = SplitPath(View(subKey), &parts)) return st;
    KeyHandle h;
    if (!LookupHandle(base, &h)) return ERROR_INVALID_HANDLE;
    std::int64_t id = h.id;
    if (!KeyExists(id)) return ERROR_KEY_DELETED;
    if (!parts.empty()) id = RootKey(id, false);
    ApplyView(id, sam, &parts);
    for (auto part : parts) {
        id = FindChild(id, part);
        if (!id) return ERROR_FILE_NOT_FOUND;
    }
    *result = NewHandle(id, sam);
    return ERROR_SUCCESS;
}

LSTATUS CreateKey(HKEY base, const char16_t* subKey, REGSAM sam, PHKEY result,
                  LPDWORD disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (!subKey) return ERROR_INVALID_PARAMETER;
    std::vector<std::u16string_view> parts;
    if (LSTATUS st = SplitPath(View(subKey), &parts)) return st;
    KeyHandle h;
    if (!LookupHandle(base, &h)) return ERROR_INVALID_HANDLE;
    std::int64_t id = h.id;
    bool created = false;
    LSTATUS st = Write([&]() -> LSTATUS {
        created = false;
        id = h.id;
        if (parts.empty()) return KeyExists(id) ? ERROR_SUCCESS : ERROR_KEY_DELETED;
        if (LSTATUS s = CurrentKey(h, true, &id)) return s;
        std::vector<std::u16string_view> path = parts;
        ApplyView(id, sam, &path);
        for (auto part : path) {
            std::int64_t child = FindChild(id, part);
            if (!child) {
                if (!(h.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
                child = AddChild(id, part);
                created = true;
            }
            id = child;
        }
        return ERROR_SUCCESS;
    });
    if (st) return st;
    *result = NewHandle(id, sam);
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

struct StoredValue {
    DWORD type = 0;
    std::string data;
};

// Reads a value; ERROR_FILE_NOT_FOUND when there is none.
LSTATUS ReadValue(HKEY key, std::u16string_view name, StoredValue* out) {
    KeyHandle h;
    if (!LookupHandle(key, &h)) return ERROR_INVALID_HANDLE;
    if (!(h.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    std::int64_t id;
    if (LSTATUS st = CurrentKey(h, false, &id)) return st;
    Stmt s("SELECT type, data FROM reg_value WHERE key = ?1 AND nkey = ?2");
    s.Int(1, id).Bytes(2, NameKey(name));
    if (!s.Step()) return ERROR_FILE_NOT_FOUND;
    out->type = static_cast<DWORD>(s.ColInt(0));
    out->data.assign(s.ColBytes(1));
    return ERROR_SUCCESS;
}

// The two-call size protocol shared by the query and enumeration of values.
LSTATUS GiveData(std::string_view bytes, LPBYTE data, LPDWORD cbData) {
    auto size = static_cast<DWORD>(bytes.size());
    if (data) {
        if (*cbData < size) {
            *cbData = size;
            return ERROR_MORE_DATA;
        }
        if (size) std::memcpy(data, bytes.data(), size);
    }
    if (cbData) *cbData = size;
    return ERROR_SUCCESS;
}

LSTATUS QueryValue(HKEY key, const char16_t* name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                   LPDWORD cbData, bool ansi) {
    if (reserved || (data && !cbData)) return ERROR_INVALID_PARAMETER;
    StoredValue v;
    if (LSTATUS st = ReadValue(key, View(name), &v)) return st;
    if (ansi && (v.type == REG_SZ || v.type == REG_EXPAND_SZ || v.type == REG_MULTI_SZ))
        v.data = platform::WideToAnsi(NameFromBytes(v.data));
    if (type) *type = v.type;
    return GiveData(v.data, data, cbData);
}

LSTATUS SetValue(HKEY key, const char16_t* name, DWORD reserved, DWORD type,
                 std::string_view bytes) {
    std::u16string_view valueName = View(name);
    if (reserved) return ERROR_INVALID_PARAMETER;
    if (valueName.size() > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
    KeyHandle h;
    if (!LookupHandle(key, &h)) return ERROR_INVALID_HANDLE;
    if (!(h.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    return Write([&]() -> LSTATUS {
        std::int64_t id;
        if (LSTATUS st = CurrentKey(h, true, &id)) return st;
        // Overwriting keeps the value's name and its place in the enumeration.
        Stmt update("UPDATE reg_value SET type = ?3, data = ?4 WHERE key = ?1 AND nkey = ?2");
        update.Int(1, id).Bytes(2, NameKey(valueName)).Int(3, type).Bytes(4, bytes).Run();
        if (update.Changes() == 0) {
            Stmt insert(
                "INSERT INTO reg_value (key, name, nkey, type, data) VALUES (?1, ?2, ?3, ?4, ?5)");
            insert.Int(1, id).Bytes(2, NameBytes(valueName)).Bytes(3, NameKey(valueName));
            insert.Int(4, type).Bytes(5, bytes).Run();
        }
        Touch(id);
        return ERROR_SUCCESS;
    });
}

LSTATUS DeleteValue(HKEY key, const char16_t* name) {
    std::u16string_view valueName = View(name);
    KeyHandle h;
    if (!LookupHandle(key, &h)) return ERROR_INVALID_HANDLE;
    if (!(h.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    return Write([&]() -> LSTATUS {
        std::int64_t id;
        if (LSTATUS st = CurrentKey(h, false, &id)) return st;
        Stmt s("DELETE FROM reg_value WHERE key = ?1 AND nkey = ?2");
        s.Int(1, id).Bytes(2, NameKey(valueName)).Run();
        if (s.Changes() == 0) return ERROR_FILE_NOT_FOUND;
        Touch(id);
        return ERROR_SUCCESS;
    });
}

LSTATUS DeleteKey(HKEY base, const char16_t* subKey, REGSAM sam) {
    std::vector<std::u16string_view> parts;
    if (LSTATUS st = SplitPath(View(subKey), &parts)) return st;
    KeyHandle h;
    if (!LookupHandle(base, &h)) return ERROR_INVALID_HANDLE;
    if (parts.empty() && h.id < 0) return ERROR_ACCESS_DENIED; // a predefined key cannot go
    return Write([&]() -> LSTATUS {
        std::int64_t id;
        if (LSTATUS st = CurrentKey(h, false, &id)) return st;
        std::int64_t parent = 0;
        std::vector<std::u16string_view> path = parts;
        ApplyView(id, sam, &path);
        for (auto part : path) {
            parent = id;
            id = FindChild(id, part);
            if (!id) return ERROR_FILE_NOT_FOUND;
        }
        Stmt children("SELECT 1 FROM reg_key WHERE parent = ?1 LIMIT 1");
        children.Int(1, id);
        if (children.Step()) return ERROR_ACCESS_DENIED;
        Stmt values("DELETE FROM reg_value WHERE key = ?1");
        values.Int(1, id).Run();
        Stmt self("DELETE FROM reg_key WHERE id = ?1");
        self.Int(1, id).Run();
        if (parent) Touch(parent);
        return ERROR_SUCCESS;
    });
}

// Writes name and NUL when the buffer holds both; *cch then gets the length.
LSTATUS GiveName(std::u16string_view name, LPWSTR buffer, LPDWORD cch) {
    if (name.size() >= *cch) return ERROR_MORE_DATA;
    std::memcpy(buffer, name.data(), name.size() * sizeof(char16_t));
    buffer[name.size()] = u'\0';
    *cch = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

} // namespace

extern "C" {

LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM samDesired,
                               LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
    REGISTRY_FAULT_POINT("RegCreateKeyExW");
    return Guard([&] { return CreateKey(hKey, lpSubKey, samDesired, phkResult, lpdwDisposition); });
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM samDesired,
                               LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
    REGISTRY_FAULT_POINT("RegCreateKeyExA");
    return Guard([&] {
        if (!lpSubKey) return CreateKey(hKey, nullptr, samDesired, phkResult, lpdwDisposition);
        std::u16string sub = platform::AnsiToWide(lpSubKey);
        return CreateKey(hKey, sub.c_str(), samDesired, phkResult, lpdwDisposition);
    });
}

LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired,
                             PHKEY phkResult) {
    REGISTRY_FAULT_POINT("RegOpenKeyExW");
    return Guard([&] { return OpenKey(hKey, lpSubKey, samDesired, phkResult); });
}

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired,
                             PHKEY phkResult) {
    REGISTRY_FAULT_POINT("RegOpenKeyExA");
    return Guard([&] {
        std::u16string sub = lpSubKey ? platform::AnsiToWide(lpSubKey) : std::u16string();
        return OpenKey(hKey, sub.c_str(), samDesired, phkResult);
    });
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    REGISTRY_FAULT_POINT("RegCloseKey");
    if (IsPredefined(hKey)) return ERROR_SUCCESS;
    std::lock_guard lock(gHandleMutex);
    return gHandles.erase(reinterpret_cast<ULONG_PTR>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
    REGISTRY_FAULT_POINT("RegQueryValueExW");
    return Guard(
        [&] { return QueryValue(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData, false); });
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
    REGISTRY_FAULT_POINT("RegQueryValueExA");
    return Guard([&] {
        std::u16string name = lpValueName ? platform::AnsiToWide(lpValueName) : std::u16string();
        return QueryValue(hKey, name.c_str(), lpReserved, lpType, lpData, lpcbData, true);
    });
}

LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                              const BYTE* lpData, DWORD cbData) {
    REGISTRY_FAULT_POINT("RegSetValueExW");
    if (!lpData && cbData) return ERROR_NOACCESS;
    return Guard([&] {
        std::string_view bytes(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0);
        return SetValue(hKey, lpValueName, Reserved, dwType, bytes);
    });
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                              const BYTE* lpData, DWORD cbData) {
    REGISTRY_FAULT_POINT("RegSetValueExA");
    if (!lpData && cbData) return ERROR_NOACCESS;
    return Guard([&] {
        std::u16string name = lpValueName ? platform::AnsiToWide(lpValueName) : std::u16string();
        std::string bytes(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0);
        // Strings are kept as UTF-16, as the W form would have stored them.
        if (dwType == REG_SZ || dwType == REG_EXPAND_SZ || dwType == REG_MULTI_SZ)
            bytes = NameBytes(platform::AnsiToWide(bytes));
        return SetValue(hKey, name.c_str(), Reserved, dwType, bytes);
    });
}

LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    REGISTRY_FAULT_POINT("RegDeleteValueW");
    return Guard([&] { return DeleteValue(hKey, lpValueName); });
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    REGISTRY_FAULT_POINT("RegDeleteValueA");
    return Guard([&] {
        std::u16string name = lpValueName ? platform::AnsiToWide(lpValueName) : std::u16string();
        return DeleteValue(hKey, name.c_str());
    });
}

LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    REGISTRY_FAULT_POINT("RegDeleteKeyW");
    return Guard([&] { return DeleteKey(hKey, lpSubKey, 0); });
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    REGISTRY_FAULT_POINT("RegDeleteKeyA");
    return Guard([&] {
        std::u16string sub = lpSubKey ? platform::AnsiToWide(lpSubKey) : std::u16string();
        return DeleteKey(hKey, sub.c_str(), 0);
    });
}

LSTATUS WINAPI RegDeleteKeyExW(HKEY hKey, LPCWSTR lpSubKey, REGSAM samDesired, DWORD Reserved) {
    REGISTRY_FAULT_POINT("RegDeleteKeyExW");
    if (Reserved) return ERROR_INVALID_PARAMETER;
    return Guard([&] { return DeleteKey(hKey, lpSubKey, samDesired); });
}

LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                             LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                             PFILETIME lpftLastWriteTime) {
    REGISTRY_FAULT_POINT("RegEnumKeyExW");
    if (!lpName || !lpcchName || lpReserved || (lpClass && !lpcchClass))
        return ERROR_INVALID_PARAMETER;
    return Guard([&]() -> LSTATUS {
        KeyHandle h;
        if (!LookupHandle(hKey, &h)) return ERROR_INVALID_HANDLE;
        if (!(h.access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
        std::int64_t id;
        if (LSTATUS st = CurrentKey(h, false, &id)) return st;
        Stmt s(
            "SELECT name, written FROM reg_key WHERE parent = ?1 ORDER BY nkey LIMIT 1 OFFSET ?2");
        s.Int(1, id).Int(2, dwIndex);
        if (!s.Step()) return ERROR_NO_MORE_ITEMS;
        if (LSTATUS st = GiveName(NameFromBytes(s.ColBytes(0)), lpName, lpcchName)) return st;
        if (lpClass) { // keys have no class
            if (*lpcchClass) lpClass[0] = u'\0';
            *lpcchClass = 0;
        }
        if (lpftLastWriteTime) *lpftLastWriteTime = ToFileTime(s.ColInt(1));
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    REGISTRY_FAULT_POINT("RegEnumValueW");
    if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    return Guard([&]() -> LSTATUS {
        KeyHandle h;
        if (!LookupHandle(hKey, &h)) return ERROR_INVALID_HANDLE;
        if (!(h.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
        std::int64_t id;
        if (LSTATUS st = CurrentKey(h, false, &id)) return st;
        Stmt s(
            "SELECT name, type, data FROM reg_value WHERE key = ?1 ORDER BY seq LIMIT 1 OFFSET ?2");
        s.Int(1, id).Int(2, dwIndex);
        if (!s.Step()) return ERROR_NO_MORE_ITEMS;
        if (LSTATUS st = GiveName(NameFromBytes(s.ColBytes(0)), lpValueName, lpcchValueName))
            return st;
        if (lpType) *lpType = static_cast<DWORD>(s.ColInt(1));
        return GiveData(s.ColBytes(2), lpData, lpcbData);
    });
}

LSTATUS WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen,
                                LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
    REGISTRY_FAULT_POINT("RegQueryInfoKeyW");
    if (lpReserved || (lpClass && !lpcchClass)) return ERROR_INVALID_PARAMETER;
    return Guard([&]() -> LSTATUS {
        KeyHandle h;
        if (!LookupHandle(hKey, &h)) return ERROR_INVALID_HANDLE;
        if (!(h.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
        std::int64_t id;
        if (LSTATUS st = CurrentKey(h, false, &id)) return st;
        Stmt keys(
            "SELECT count(*), coalesce(max(length(name)), 0) / 2 FROM reg_key WHERE parent = ?1");
        keys.Int(1, id).Step();
        Stmt values("SELECT count(*), coalesce(max(length(name)), 0) / 2, "
                    "coalesce(max(length(data)), 0) FROM reg_value WHERE key = ?1");
        values.Int(1, id).Step();
        std::int64_t written = 0;
        if (id > 0) {
            Stmt self("SELECT written FROM reg_key WHERE id = ?1");
            if (self.Int(1, id).Step()) written = self.ColInt(0);
        }
        if (lpClass && *lpcchClass) lpClass[0] = u'\0';
        if (lpcchClass) *lpcchClass = 0;
        if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(keys.ColInt(0));
        if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = static_cast<DWORD>(keys.ColInt(1));
        if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
        if (lpcValues) *lpcValues = static_cast<DWORD>(values.ColInt(0));
        if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = static_cast<DWORD>(values.ColInt(1));
        if (lpcbMaxValueLen) *lpcbMaxValueLen = static_cast<DWORD>(values.ColInt(2));
        if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
        if (lpftLastWriteTime) *lpftLastWriteTime = ToFileTime(written);
        return ERROR_SUCCESS;
    });
}

} // extern "C"

namespace platform::test {

long OpenRegistryKeys() {
    std::lock_guard lock(gHandleMutex);
    return static_cast<long>(gHandles.size());
}

} // namespace platform::test
