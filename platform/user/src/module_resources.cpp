// Finding a module's embedded resources and the resource functions over them.
#include "module_resources.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>

#include "platform/codepage_ctl.h"
#include "platform/core.h"
#include "platform/loader_ctl.h"
#include "win/errors.h"

namespace platform::user {
namespace {

constexpr WORD kPreferredLanguage = 0x0409; // English (United States)
constexpr WORD kNeutralLanguage = 0;

struct Cached {
    const BYTE* begin = nullptr;
    size_t size = 0;
    std::string hostPath;
    std::shared_ptr<const ModuleResources> table; // nullptr: unreadable
};

struct Cache {
    std::mutex lock;
    std::map<void*, Cached> byNative;
    // Tables replaced by a newer load of a module stay alive: a handle to one
    // of their entries must not point at freed memory.
    std::vector<std::shared_ptr<const ModuleResources>> retired;
};

Cache& C() {
    static Cache* cache = new Cache;
    return *cache;
}

// A symbol the module defines itself; dlsym on a handle would also find it in
// the module's dependencies (and, for the main program, anywhere).
void* OwnSymbol(void* native, const char* name) {
    link_map* map = nullptr;
    if (dlinfo(native, RTLD_DI_LINKMAP, &map) != 0 || !map) return nullptr;
    void* p = dlsym(native, name);
    if (!p) return nullptr;
    Dl_info info;
    link_map* owner = nullptr;
    if (!dladdr1(p, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) || owner != map)
        return nullptr;
    return p;
}

} // namespace

std::shared_ptr<const ModuleResources> ResourcesOf(HMODULE module) {
    void* native = platform::loader::ModuleNativeHandle(module);
    if (!native) {
        SetLastError(module ? ERROR_INVALID_HANDLE : ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    auto* begin = static_cast<const BYTE*>(OwnSymbol(native, "PlatformResourceBlob"));
    auto* end = static_cast<const BYTE*>(OwnSymbol(native, "PlatformResourceBlobEnd"));
    if (!begin || !end || end < begin) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    size_t size = static_cast<size_t>(end - begin);
    std::string hostPath = platform::loader::ModuleHostPath(module);
    std::lock_guard lock(C().lock);
    Cached& c = C().byNative[native];
    if (c.begin != begin || c.size != size || c.hostPath != hostPath ||
        (!c.table && c.begin == nullptr)) {
        if (c.table) C().retired.push_back(c.table);
        // Two loaded modules never overlap: an entry over the same bytes is
        // left from a module that was freed (its handle or address reused),
        // and would answer for the new module's resources (ResourceExtent).
        for (auto it = C().byNative.begin(); it != C().byNative.end();) {
            const Cached& o = it->second;
            if (it->first != native && o.begin < begin + size && begin < o.begin + o.size) {
                if (o.table) C().retired.push_back(o.table);
                it = C().byNative.erase(it);
            } else {
                ++it;
            }
        }
        c.begin = begin;
        c.size = size;
        c.hostPath = hostPath;
        auto table = std::make_shared<ModuleResources>();
        std::string error;
        if (res::ReadResFile(begin, size, &table->entries, &error))
            c.table = std::move(table);
        else
            c.table = nullptr;
    }
    if (!c.table) SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return c.table;
}

size_t ResourceExtent(const BYTE* p) {
    std::lock_guard lock(C().lock);
    for (const auto& [native, cached] : C().byNative) {
        if (!cached.table || p < cached.begin || p >= cached.begin + cached.size) continue;
        for (const auto& e : cached.table->entries)
            if (p >= e.data && p < e.data + e.size) return static_cast<size_t>(e.data + e.size - p);
    }
    return 0;
}

const res::ResEntry* FindEntry(HMODULE module, const res::ResId& type, const res::ResId& name) {
    auto table = ResourcesOf(module);
    if (!table) return nullptr;
    const res::ResEntry* preferred = nullptr;
    const res::ResEntry* neutral = nullptr;
    const res::ResEntry* first = nullptr;
    bool typeSeen = false;
    for (const auto& e : table->entries) {
        if (!res::SameId(e.type, type)) continue;
        typeSeen = true;
        if (!res::SameId(e.name, name)) continue;
        if (e.language == kPreferredLanguage && !preferred) preferred = &e;
        if (e.language == kNeutralLanguage && !neutral) neutral = &e;
        if (!first) first = &e;
    }
    // The table lives as long as the cache keeps it (see Cache::retired).
    const res::ResEntry* found = preferred ? preferred : neutral ? neutral : first;
    if (!found)
        SetLastError(typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return found;
}

} // namespace platform::user

using platform::user::FindEntry;
using platform::user::ResourcesOf;
namespace res = platform::res;

extern "C" {

HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
    PLATFORM_FAULT_POINT("FindResourceW", nullptr);
    if (!lpName || !lpType) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        return reinterpret_cast<HRSRC>(const_cast<res::ResEntry*>(
            FindEntry(hModule, res::IdFromParameter(lpType), res::IdFromParameter(lpName))));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

HRSRC WINAPI FindResourceExW(HMODULE hModule, LPCWSTR lpType, LPCWSTR lpName, WORD wLanguage) {
    PLATFORM_FAULT_POINT("FindResourceExW", nullptr);
    if (!lpName || !lpType) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        res::ResId type = res::IdFromParameter(lpType);
        res::ResId name = res::IdFromParameter(lpName);
        // The neutral language asks for the system's own choice.
        if (wLanguage == 0)
            return reinterpret_cast<HRSRC>(
                const_cast<res::ResEntry*>(FindEntry(hModule, type, name)));
        auto table = ResourcesOf(hModule);
        if (!table) return nullptr;
        bool typeSeen = false, nameSeen = false;
        for (const auto& e : table->entries) {
            if (!res::SameId(e.type, type)) continue;
            typeSeen = true;
            if (!res::SameId(e.name, name)) continue;
            nameSeen = true;
            if (e.language == wLanguage)
                return reinterpret_cast<HRSRC>(const_cast<res::ResEntry*>(&e));
        }
        SetLastError(nameSeen   ? ERROR_RESOURCE_LANG_NOT_FOUND
                     : typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND
                                : ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

// The data is part of the module image: loading it is finding it.
HGLOBAL WINAPI LoadResource(HMODULE, HRSRC hResInfo) {
    PLATFORM_FAULT_POINT("LoadResource", nullptr);
    if (!hResInfo) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto* e = reinterpret_cast<const res::ResEntry*>(hResInfo);
    return const_cast<BYTE*>(e->data);
}

LPVOID WINAPI LockResource(HGLOBAL hResData) {
    return hResData;
}

BOOL WINAPI FreeResource(HGLOBAL) {
    return FALSE;
}

DWORD WINAPI SizeofResource(HMODULE, HRSRC hResInfo) {
    if (!hResInfo) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return reinterpret_cast<const res::ResEntry*>(hResInfo)->size;
}

int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax) {
    PLATFORM_FAULT_POINT("LoadStringW", 0);
    if (!lpBuffer || cchBufferMax < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    try {
        // Strings come in blocks of 16: block n + 1 holds ids 16n .. 16n + 15,
        // each a count of characters and the characters (no terminator).
        res::ResId type;
        type.ordinal = 6;
        res::ResId name;
        name.ordinal = static_cast<WORD>((uID >> 4) + 1);
        const res::ResEntry* block = uID > 0xFFFF ? nullptr : FindEntry(hInstance, type, name);
        const BYTE* p = block ? block->data : nullptr;
        size_t left = block ? block->size : 0;
        const char16_t* text = nullptr;
        size_t length = 0;
        for (UINT i = 0; p && i <= (uID & 15); ++i) {
            WORD count;
            if (left < 2) {
                p = nullptr;
                break;
            }
            std::memcpy(&count, p, 2);
            if (size_t{count} * 2 > left - 2) {
                p = nullptr;
                break;
            }
            text = reinterpret_cast<const char16_t*>(p + 2);
            length = count;
            p += 2 + size_t{count} * 2;
            left -= 2 + size_t{count} * 2;
        }
        if (!p || length == 0) {
            if (cchBufferMax > 0) lpBuffer[0] = 0;
            if (block) SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return 0;
        }
        if (cchBufferMax == 0) {
            // The caller gets a read-only pointer to the string in the module.
            const char16_t* ro = text;
            std::memcpy(lpBuffer, &ro, sizeof ro);
            return static_cast<int>(length);
        }
        size_t n = std::min(length, static_cast<size_t>(cchBufferMax) - 1);
        std::memcpy(lpBuffer, text, n * 2);
        lpBuffer[n] = 0;
        return static_cast<int>(n);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
    if (!lpBuffer || cchBufferMax <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const WCHAR* text = nullptr;
    int length = LoadStringW(hInstance, uID, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0) {
        lpBuffer[0] = 0;
        return 0;
    }
    std::string ansi = platform::WideToAnsi(std::u16string_view(text, static_cast<size_t>(length)));
    size_t n = std::min(ansi.size(), static_cast<size_t>(cchBufferMax) - 1);
    std::memcpy(lpBuffer, ansi.data(), n);
    lpBuffer[n] = 0;
    return static_cast<int>(n);
}

// Names in the order the system gives them: strings (alphabetically), then
// ordinals (ascending); a name held in several languages comes once.
BOOL WINAPI EnumResourceNamesW(HMODULE hModule, LPCWSTR lpType, ENUMRESNAMEPROCW lpEnumFunc,
                               LONG_PTR lParam) {
    if (!lpType || !lpEnumFunc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    try {
        auto table = ResourcesOf(hModule);
        if (!table) return FALSE;
        res::ResId type = res::IdFromParameter(lpType);
        std::map<std::u16string, bool> strings;
        std::map<WORD, bool> ordinals;
        for (const auto& e : table->entries) {
            if (!res::SameId(e.type, type)) continue;
            if (e.name.isOrdinal)
                ordinals[e.name.ordinal] = true;
            else
                strings[e.name.text] = true;
        }
        if (strings.empty() && ordinals.empty()) {
            SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
            return FALSE;
        }
        std::u16string typeText = type.text;
        LPCWSTR typeParam = type.isOrdinal ? MAKEINTRESOURCEW(type.ordinal) : typeText.c_str();
        for (auto& [text, unused] : strings) {
            std::u16string copy = text;
            if (!lpEnumFunc(hModule, typeParam, copy.data(), lParam)) return TRUE;
        }
        for (auto& [ordinal, unused] : ordinals)
            if (!lpEnumFunc(hModule, typeParam, MAKEINTRESOURCEW(ordinal), lParam)) return TRUE;
        return TRUE;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

} // extern "C"
