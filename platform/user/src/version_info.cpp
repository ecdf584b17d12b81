// Version information of a module file: its RT_VERSION resource, copied out
// whole and queried by path.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "module_resources.h"
#include "platform/core.h"
#include "win/errors.h"
#include "win/loader.h"

namespace {

constexpr WORD kVersionOrdinal = 16;
constexpr WORD kVersionName = 1;

// The module's version resource copied, or empty with the last error set.
std::vector<BYTE> VersionResource(LPCWSTR fileName) {
    if (!fileName || !*fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return {};
    }
    HMODULE module = LoadLibraryExW(fileName, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) {
        if (GetLastError() == ERROR_MOD_NOT_FOUND) SetLastError(ERROR_FILE_NOT_FOUND);
        return {};
    }
    platform::res::ResId type;
    type.ordinal = kVersionOrdinal;
    platform::res::ResId name;
    name.ordinal = kVersionName;
    std::vector<BYTE> copy;
    if (const auto* e = platform::user::FindEntry(module, type, name))
        copy.assign(e->data, e->data + e->size);
    else
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    DWORD error = GetLastError();
    FreeLibrary(module);
    SetLastError(error);
    return copy;
}

} // namespace

extern "C" {

DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR lptstrFilename, LPDWORD lpdwHandle) {
    PLATFORM_FAULT_POINT("GetFileVersionInfoSizeW", 0);
    if (lpdwHandle) *lpdwHandle = 0;
    try {
        return static_cast<DWORD>(VersionResource(lptstrFilename).size());
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

BOOL WINAPI GetFileVersionInfoW(LPCWSTR lptstrFilename, DWORD, DWORD dwLen, LPVOID lpData) {
    PLATFORM_FAULT_POINT("GetFileVersionInfoW", FALSE);
    if (!lpData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    try {
        std::vector<BYTE> block = VersionResource(lptstrFilename);
        if (block.empty()) return FALSE;
        // As much as fits; the block's own length word keeps queries inside it.
        size_t n = std::min<size_t>(block.size(), dwLen);
        std::memcpy(lpData, block.data(), n);
        if (n >= 2 && n < block.size()) {
            WORD shortened = static_cast<WORD>(n);
            std::memcpy(lpData, &shortened, 2);
        }
        return TRUE;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

BOOL WINAPI VerQueryValueW(LPCVOID pBlock, LPCWSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen) {
    if (!pBlock || !lpSubBlock || !lplpBuffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    WORD size;
    std::memcpy(&size, pBlock, 2);
    const BYTE* value = nullptr;
    UINT length = 0;
    if (!platform::res::FindVersionValue(static_cast<const BYTE*>(pBlock), size, lpSubBlock, &value,
                                         &length)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return FALSE;
    }
    *lplpBuffer = const_cast<BYTE*>(value);
    if (puLen) *puLen = length;
    return TRUE;
}

} // extern "C"
