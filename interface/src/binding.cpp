// The per-call binding of the driver's files: the driver and printer
// information, the driver folder, the model data file and the libraries its
// component table names.
#include <cstring>
#include <mutex>
#include <string>

#include "frontdoor.h"
#include "model/model_queries.h"
#include "little_endian.h"

namespace frontdoor {

HINSTANCE gModule = nullptr;

namespace {

constexpr char kModelDataMagic[4] = {'N', 'K', 'S', 'P'};
constexpr DWORD kHeaderWords = 4;    // magic, size, offset-table end, offset-table start
constexpr DWORD kComponentSlot = 24; // query 7's entry in the offset table
constexpr size_t kComponentNameSize = sizeof(model::ComponentFileEntry::nameTemplate);
constexpr SIZE_T kNameHeapSize = 8192;

// The platform codes that kind 6 and kind 7 name templates take for "%s".
constexpr char kPlatformCode64[] = "64";
constexpr char kPlatformCode32[] = "32";

using little_endian::ReadU32;

// GetPrinterDriverW or GetPrinterW in two calls: the first must ask for room.
template <class Info, class Get> Info* QueryLevel2(Get&& get) {
    DWORD needed = 0;
    if (get(nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0)
        return nullptr;
    auto* block = static_cast<BYTE*>(GlobalAlloc(GPTR, needed));
    if (!block) return nullptr;
    if (!get(block, needed, &needed)) {
        GlobalFree(block);
        return nullptr;
    }
    return reinterpret_cast<Info*>(block);
}

} // namespace

DRIVER_INFO_2W* QueryDriverInfo2(HANDLE printer) {
    return QueryLevel2<DRIVER_INFO_2W>([&](LPBYTE b, DWORD n, DWORD* needed) {
        return GetPrinterDriverW(printer, nullptr, 2, b, n, needed);
    });
}

PRINTER_INFO_2W* QueryPrinterInfo2(HANDLE printer) {
    return QueryLevel2<PRINTER_INFO_2W>(
        [&](LPBYTE b, DWORD n, DWORD* needed) { return GetPrinterW(printer, 2, b, n, needed); });
}

const DEVMODEW* PrinterDevmode(const PRINTER_INFO_2W* info) {
    const auto* block = reinterpret_cast<const BYTE*>(info);
    const auto* dm = reinterpret_cast<const BYTE*>(info->pDevMode);
    SIZE_T size = GlobalSize(const_cast<PRINTER_INFO_2W*>(info));
    if (!dm || dm < block || dm >= block + size) return nullptr;
    return DevmodeFits(info->pDevMode, size - static_cast<SIZE_T>(dm - block)) ? info->pDevMode
                                                                               : nullptr;
}

BOOL FindDriverDirectory(HANDLE printer, LPWSTR buffer, DWORD capacity) {
    if (!buffer || capacity == 0) return FALSE;
    buffer[0] = 0;
    DRIVER_INFO_2W* info = QueryDriverInfo2(printer);
    if (!info) return FALSE;
    BOOL ok = FALSE;
    LPCWSTR path = info->pDriverPath;
    int length = path ? lstrlenW(path) : 0;
    int slash = length - 1;
    while (slash >= 0 && path[slash] != u'\\')
        --slash;
    // The folder with its backslash must fit whole: a cut path would name another folder.
    if (slash >= 0 && static_cast<DWORD>(slash + 1) < capacity) {
        lstrcpynW(buffer, path, slash + 2);
        ok = TRUE;
    }
    GlobalFree(info);
    return ok;
}

LPVOID MapFileReadOnly(LPCWSTR path, DWORD* size) {
    *size = 0;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    LPVOID view = nullptr;
    if (low != INVALID_FILE_SIZE && high == 0 && low > 0) {
        HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (mapping) {
            view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
            CloseHandle(mapping);
        }
    }
    CloseHandle(file);
    if (view) *size = low;
    return view;
}

bool IsModelDataHeader(const void* data, DWORD size) {
    const auto* b = static_cast<const BYTE*>(data);
    return data && size >= kHeaderWords * 4 && size <= model::kMaxModelDataBytes &&
           std::memcmp(b, kModelDataMagic, sizeof kModelDataMagic) == 0 && ReadU32(b + 4) == size &&
           ReadU32(b + 8) < size;
}

LPVOID MapDriverDataFile(HANDLE printer) {
    DRIVER_INFO_2W* info = QueryDriverInfo2(printer);
    if (!info) return nullptr;
    LPVOID copy = nullptr;
    DWORD size = 0;
    LPVOID view = info->pDataFile ? MapFileReadOnly(info->pDataFile, &size) : nullptr;
    GlobalFree(info);
    if (!view) return nullptr;
    if (IsModelDataHeader(view, size)) {
        copy = GlobalAlloc(GPTR, size);
        if (copy) std::memcpy(copy, view, size);
    }
    UnmapViewOfFile(view);
    return copy;
}

LPWSTR GetComponentName(LPCVOID modelData, HANDLE heap, DWORD componentId) {
    if (!modelData || !heap) return nullptr;
    const auto* data = static_cast<const BYTE*>(modelData);
    // The block is a whole model data file whose header was checked: its
    // size is the header's second word.
    DWORD total = ReadU32(data + 4);
    DWORD tableStart = ReadU32(data + 12);
    ULONGLONG slot = static_cast<ULONGLONG>(tableStart) + kComponentSlot;
    if (slot + 4 > total) return nullptr;
    DWORD table = ReadU32(data + slot);
    if (table == 0 || static_cast<ULONGLONG>(table) + 4 > total) return nullptr;
    DWORD count = ReadU32(data + table);
    ULONGLONG room = (total - table - 4) / sizeof(model::ComponentFileEntry);
    if (count > room) count = static_cast<DWORD>(room);
    for (DWORD i = 0; i < count; ++i) {
        model::ComponentFileEntry entry;
        std::memcpy(&entry, data + table + 4 + static_cast<size_t>(i) * sizeof entry, sizeof entry);
        if (entry.id != componentId) continue;
        char name[kComponentNameSize + 4] = {};
        std::memcpy(name, entry.nameTemplate, kComponentNameSize);
        if (entry.kind == model::kComponentKind64 || entry.kind == model::kComponentKind32) {
            // The template is never used as a format: only its "%s" is replaced.
            const char* code =
                entry.kind == model::kComponentKind64 ? kPlatformCode64 : kPlatformCode32;
            if (char* at = std::strstr(name, "%s")) {
                char rest[kComponentNameSize + 4];
                std::strcpy(rest, at + 2);
                std::strcpy(at, code);
                std::strcpy(at + std::strlen(code), rest);
            }
        }
        int length = static_cast<int>(std::strlen(name));
        auto* wide = static_cast<LPWSTR>(
            HeapAlloc(heap, HEAP_ZERO_MEMORY, (static_cast<SIZE_T>(length) + 4) * sizeof(WCHAR)));
        if (!wide) return nullptr;
        if (length > 0 && MultiByteToWideChar(CP_ACP, 0, name, length, wide, length + 4) <= 0) {
            HeapFree(heap, 0, wide);
            return nullptr;
        }
        return wide;
    }
    return nullptr;
}

DWORD ComponentIdOfIndex(int index) {
    switch (index) {
    case kIndexModelsmith:
        return model::kComponentModelsmith;
    case kIndexSheetwright:
        return model::kComponentSheetwright;
    case kIndexResbundle:
    case kIndexResbundle + 1:
        return model::kComponentResbundle;
    default:
        return 0;
    }
}

HMODULE LoadComponentLibrary(HANDLE printer, LPCVOID modelData, int index) {
    DWORD id = ComponentIdOfIndex(index);
    if (!id || !modelData) return nullptr;
    HANDLE heap = HeapCreate(0, kNameHeapSize, 0);
    if (!heap) return nullptr;
    HMODULE module = nullptr;
    WCHAR folder[MAX_PATH];
    LPWSTR name = GetComponentName(modelData, heap, id);
    if (name && *name && FindDriverDirectory(printer, folder, MAX_PATH)) {
        int folderLength = lstrlenW(folder), nameLength = lstrlenW(name);
        auto* path = static_cast<LPWSTR>(HeapAlloc(
            heap, HEAP_ZERO_MEMORY, (static_cast<SIZE_T>(folderLength) + nameLength + 1) * 2));
        if (path) {
            lstrcpyW(path, folder);
            lstrcatW(path, name);
            module = LoadLibraryW(path);
        }
    }
    HeapDestroy(heap);
    return module;
}

void LoadComponents(HANDLE printer, HMODULE* ui, HMODULE* model, LPVOID* modelData) {
    *ui = nullptr;
    *model = nullptr;
    *modelData = nullptr;
    if (!printer) return;
    *modelData = MapDriverDataFile(printer);
    if (!*modelData) return;
    *ui = LoadComponentLibrary(printer, *modelData, kIndexSheetwright);
    *model = LoadComponentLibrary(printer, *modelData, kIndexModelsmith);
}

void FreeComponents(HMODULE ui, HMODULE model, LPVOID modelData) {
    if (ui) FreeLibrary(ui);
    if (model) FreeLibrary(model);
    if (modelData) GlobalFree(modelData);
}

namespace {

// The UI library's path as a driver's model data names it, kept while the
// driver record and the model data file stay as they were. Document events
// come at every page: each asks for the record (the spooler answers from what
// it read while no printer or driver changed) and for the file's times and
// size, and the file is read again only when one of them moved, so that a
// changed driver or model data file is seen at the next call.
struct KeptUiPath {
    std::mutex mutex;
    bool valid = false;
    std::u16string record; // the driver record's version and names
    WIN32_FILE_ATTRIBUTE_DATA file{};
    std::u16string path;
} gKeptUiPath;

std::u16string RecordKey(const DRIVER_INFO_2W* info) {
    std::u16string key(reinterpret_cast<const char16_t*>(&info->cVersion),
                       sizeof info->cVersion / sizeof(char16_t));
    for (LPCWSTR s :
         {info->pName, info->pEnvironment, info->pDriverPath, info->pDataFile, info->pConfigFile}) {
        if (s) key.append(s);
        key.push_back(u'\0');
    }
    return key;
}

bool SameFile(const WIN32_FILE_ATTRIBUTE_DATA& a, const WIN32_FILE_ATTRIBUTE_DATA& b) {
    auto same = [](const FILETIME& x, const FILETIME& y) {
        return x.dwLowDateTime == y.dwLowDateTime && x.dwHighDateTime == y.dwHighDateTime;
    };
    return a.nFileSizeLow == b.nFileSizeLow && a.nFileSizeHigh == b.nFileSizeHigh &&
           same(a.ftLastWriteTime, b.ftLastWriteTime) && same(a.ftCreationTime, b.ftCreationTime);
}

// The UI library's full path read from the model data as each call did;
// false when none came of it (nothing named, or something on the way
// failed), which the next call reads again.
bool ReadUiPath(HANDLE printer, std::u16string* path) {
    path->clear();
    LPVOID data = MapDriverDataFile(printer);
    if (!data) return false;
    bool settled = false;
    if (HANDLE heap = HeapCreate(0, kNameHeapSize, 0)) {
        WCHAR folder[MAX_PATH];
        LPWSTR name = GetComponentName(data, heap, model::kComponentSheetwright);
        if (name && *name && FindDriverDirectory(printer, folder, MAX_PATH)) {
            *path = std::u16string(folder) + name;
            settled = true;
        }
        HeapDestroy(heap);
    }
    GlobalFree(data);
    return settled;
}

} // namespace

HMODULE LoadUiLibrary(HANDLE printer) {
    DRIVER_INFO_2W* info = QueryDriverInfo2(printer);
    if (!info) return nullptr;
    std::u16string record = RecordKey(info);
    WIN32_FILE_ATTRIBUTE_DATA file{};
    bool known = info->pDataFile &&
                 GetFileAttributesExW(info->pDataFile, GetFileExInfoStandard, &file) &&
                 !(file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    GlobalFree(info);
    std::u16string path;
    bool kept = false;
    if (known) {
        std::lock_guard lock(gKeptUiPath.mutex);
        kept =
            gKeptUiPath.valid && gKeptUiPath.record == record && SameFile(gKeptUiPath.file, file);
        if (kept) path = gKeptUiPath.path;
    }
    if (!kept) {
        bool settled = ReadUiPath(printer, &path);
        // Kept under the record and the file's state taken before the read: a
        // change meanwhile moves them past what is kept.
        std::lock_guard lock(gKeptUiPath.mutex);
        gKeptUiPath.valid = known && settled;
        gKeptUiPath.record = std::move(record);
        gKeptUiPath.file = file;
        gKeptUiPath.path = path;
    }
    return path.empty() ? nullptr : LoadLibraryW(path.c_str());
}

} // namespace frontdoor
