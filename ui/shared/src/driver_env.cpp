// Driver files, model data, sibling libraries and the string and folder helpers.
#include "driver_env.h"

#include <cstring>
#include <string>
#include <vector>

#include "model/model_queries.h"
#include "model/model_file_header.h"
#include "model_data_header.h"
#include "win/base.h"
#include "win/spool.h"
#include "little_endian.h"

namespace sheetwright {
namespace {

using little_endian::ReadU32;

DWORD SelectorComponent(DWORD which) {
    switch (which) {
    case kSelectModelsmith:
        return model::kComponentModelsmith;
    case kSelectSheetwright:
        return model::kComponentSheetwright;
    case kSelectResbundle:
    case kSelectResbundleForSheet:
        return model::kComponentResbundle;
    default:
        return 0;
    }
}

// Folder paths are limited as the system limits them.
constexpr size_t kMaxFolderChars = MAX_PATH;
constexpr SIZE_T kModuleNameHeap = 8192;

} // namespace

LPVOID GetDriverInfoAlloc(HANDLE printer) {
    DWORD needed = 0;
    if (GetPrinterDriverW(printer, nullptr, 2, nullptr, 0, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0)
        return nullptr;
    LPVOID info = GlobalAlloc(GPTR, needed);
    if (!info) return nullptr;
    if (!GetPrinterDriverW(printer, nullptr, 2, static_cast<LPBYTE>(info), needed, &needed)) {
        GlobalFree(info);
        return nullptr;
    }
    return info;
}

bool IsModelDataHeaderValid(const BYTE* data, DWORD size) {
    return model::IsModelDataHeader(data, size);
}

LPVOID LoadDriverDataFile(HANDLE printer) {
    auto* info = static_cast<DRIVER_INFO_2W*>(GetDriverInfoAlloc(printer));
    if (!info) return nullptr;
    LPVOID copy = nullptr;
    LPVOID view = nullptr, viewAgain = nullptr;
    DWORD size = 0;
    if (info->pDataFile && MapFileReadOnly(info->pDataFile, &view, &viewAgain, &size)) {
        if (IsModelDataHeaderValid(static_cast<const BYTE*>(view), size)) {
            copy = GlobalAlloc(GPTR, size);
            if (copy) std::memcpy(copy, view, size);
        }
        UnmapViewOfFile(view);
    }
    GlobalFree(info);
    return copy;
}

LPWSTR FindDataFileModuleName(LPCVOID data, HANDLE heap, DWORD which) {
    DWORD id = SelectorComponent(which);
    if (!data || !heap || id == 0) return nullptr;
    const auto* bytes = static_cast<const BYTE*>(data);
    // The copy's own size field bounds every read (the loader checked it
    // against the file size).
    if (std::memcmp(bytes, model::kModelDataMagic, sizeof model::kModelDataMagic) != 0)
        return nullptr;
    const ULONGLONG size = ReadU32(bytes + model::kModelDataSizeOffset);
    if (size < model::kModelDataTableOffset + 4) return nullptr;
    const ULONGLONG table = ReadU32(bytes + model::kModelDataTableOffset);
    const ULONGLONG slot = table + 4ull * (model::kQueryComponents - 1);
    if (table == 0 || slot + 4 > size) return nullptr;
    const ULONGLONG record = ReadU32(bytes + slot);
    if (record == 0 || record + 4 > size) return nullptr;
    const ULONGLONG count = ReadU32(bytes + record);
    if (count == 0 || count > (size - record - 4) / kComponentEntrySize) return nullptr;
    for (ULONGLONG i = 0; i < count; ++i) {
        const BYTE* e = bytes + record + 4 + i * kComponentEntrySize;
        if (ReadU32(e) != id) continue;
        const DWORD kind = ReadU32(e + 4);
        const char* tmpl = reinterpret_cast<const char*>(e + 8);
        const size_t length = strnlen(tmpl, kComponentNameSize);
        const size_t capacity = length + 4;
        auto* name =
            static_cast<LPWSTR>(HeapAlloc(heap, HEAP_ZERO_MEMORY, capacity * sizeof(WCHAR)));
        if (!name) return nullptr;
        std::u16string wide = ComponentFileName(kind, tmpl, length);
        wide.resize(std::min(wide.size(), capacity - 1));
        std::memcpy(name, wide.data(), wide.size() * sizeof(WCHAR));
        return name;
    }
    return nullptr;
}

std::u16string GetDriverFolder(HANDLE printer) {
    auto* info = static_cast<DRIVER_INFO_2W*>(GetDriverInfoAlloc(printer));
    if (!info) return {};
    std::u16string path = info->pDriverPath ? std::u16string(info->pDriverPath) : std::u16string();
    GlobalFree(info);
    size_t slash = path.rfind(u'\\');
    if (slash == std::u16string::npos || slash + 1 > kMaxFolderChars) return {};
    return path.substr(0, slash + 1);
}

namespace {

// "%s" of a kind-6 or kind-7 name replaced by the platform code. The name is
// never used as a format: "%s" is replaced as text.
void FillPlatformCode(std::u16string* name, DWORD kind) {
    const char16_t* code = kind == model::kComponentKind64   ? kPlatformCode64
                           : kind == model::kComponentKind32 ? kPlatformCode32
                                                             : nullptr;
    size_t at = code ? name->find(u"%s") : std::u16string::npos;
    if (at != std::u16string::npos) name->replace(at, 2, code);
}

} // namespace

std::u16string ComponentFileName(DWORD kind, const char* nameTemplate, size_t length) {
    std::u16string wide;
    // Never fails: it only converts.
    (void)AssignAnsiString(&wide, std::string(nameTemplate, strnlen(nameTemplate, length)).c_str());
    FillPlatformCode(&wide, kind);
    return wide;
}

BOOL GetModelModuleName(std::u16string* string, const model::ComponentAnswer& entry) {
    if (string && entry.kind != 0)
        *string = ComponentFileName(entry.kind, entry.nameTemplate, sizeof entry.nameTemplate);
    return TRUE;
}

HMODULE LoadDriverModule(HANDLE printer, LPCVOID data, DWORD which) {
    if (!data || SelectorComponent(which) == 0) return nullptr;
    HANDLE heap = HeapCreate(0, kModuleNameHeap, 0);
    if (!heap) return nullptr;
    HMODULE module = nullptr;
    LPWSTR name = FindDataFileModuleName(data, heap, which);
    if (name) {
        std::u16string folder = GetDriverFolder(printer);
        if (!folder.empty()) {
            std::u16string path = folder + name;
            module = LoadLibraryW(path.c_str());
        }
    }
    HeapDestroy(heap);
    return module;
}

BoundModel* BindModelInfo(BoundModel* target, const ModelBlock* binding) {
    if (!target) return target;
    *target = {};
    if (!binding) return target;
    target->modelsmith = binding->modelsmith;
    target->modelData = binding->modelData;
    if (binding->modelsmith)
        target->query = reinterpret_cast<PFN_mdGetMyPrinterInfo>(reinterpret_cast<void (*)()>(
            GetProcAddress(binding->modelsmith, "mdGetMyPrinterInfo")));
    return target;
}

void MbToWideCopy(LPWSTR out, LPCSTR in, int length) {
    if (!out) return;
    if (length < 1) length = in ? static_cast<int>(std::strlen(in)) + 1 : 1;
    out[0] = 0;
    if (in) MultiByteToWideChar(CP_ACP, 0, in, -1, out, length);
    out[length - 1] = 0;
}

void WideToAnsi(LPSTR out, LPCWSTR in, int length) {
    if (!out) return;
    if (length < 1) length = in ? lstrlenW(in) + 1 : 1;
    out[0] = 0;
    if (in) WideCharToMultiByte(CP_ACP, 0, in, -1, out, length, nullptr, nullptr);
    out[length - 1] = 0;
}

std::u16string AnsiToWide(const char* in, size_t bytes) {
    if (!in || bytes == 0) return {};
    int n = MultiByteToWideChar(CP_ACP, 0, in, static_cast<int>(bytes), nullptr, 0);
    std::u16string out(n > 0 ? n : 0, u'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, in, static_cast<int>(bytes), out.data(), n);
    return out;
}

BOOL AssignAnsiString(std::u16string* string, const char* text) {
    if (!string) return TRUE;
    string->clear();
    if (text) *string = AnsiToWide(text, std::strlen(text));
    return TRUE;
}

std::string WideToAnsiString(const std::u16string& in) {
    if (in.empty()) return {};
    int n = WideCharToMultiByte(CP_ACP, 0, in.c_str(), static_cast<int>(in.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, 0, in.c_str(), static_cast<int>(in.size()), out.data(), n,
                            nullptr, nullptr);
    return out;
}

BOOL MapFileReadOnly(LPCWSTR path, LPVOID* view, LPVOID* viewAgain, DWORD* size) {
    if (!path || !view || !viewAgain) return FALSE;
    *view = *viewAgain = nullptr;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    DWORD fileSize = GetFileSize(file, nullptr);
    BOOL ok = FALSE;
    if (fileSize != INVALID_FILE_SIZE && fileSize != 0) {
        if (size) *size = fileSize;
        HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (mapping) {
            *view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
            *viewAgain = *view;
            ok = *view != nullptr;
            CloseHandle(mapping);
        }
    }
    CloseHandle(file);
    return ok;
}

BOOL CreateDirectoryTree(LPCWSTR path) {
    if (!path || !path[0]) return FALSE;
    std::u16string copy(path, std::min<size_t>(lstrlenW(path), kMaxFolderChars - 1));
    if (!copy.empty() && copy.back() == u'\\') copy.pop_back();
    if (CreateDirectoryW(copy.c_str(), nullptr)) return TRUE;
    DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS) {
        DWORD attributes = GetFileAttributesW(copy.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)
                   ? TRUE
                   : FALSE;
    }
    if (error != ERROR_PATH_NOT_FOUND) return FALSE;
    size_t slash = copy.rfind(u'\\');
    // A drive root ("C:\") is never created.
    if (slash == std::u16string::npos || slash < 4) return FALSE;
    std::u16string parent = copy.substr(0, slash);
    if (!CreateDirectoryTree(parent.c_str())) return FALSE;
    return CreateDirectoryW(copy.c_str(), nullptr) ? TRUE : FALSE;
}

} // namespace sheetwright
