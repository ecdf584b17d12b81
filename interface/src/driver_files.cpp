// The check that the driver's files are present, run where a missing file
// would otherwise fail later without a word: at the start of a document
// sheet, at the driver's default device mode and at the start of a document.
#include <cstring>
#include <string>
#include <vector>

#include "frontdoor.h"
#include "frontdoor_strings.h"
#include "model/model_queries.h"
#include "model/modelsmith.h"
#include "win/user.h"

#ifndef MB_SERVICE_NOTIFICATION
#define MB_SERVICE_NOTIFICATION 0x00200000L
#endif

namespace frontdoor {
namespace {

constexpr SIZE_T kNameHeapSize = 8192;
constexpr WCHAR kGraphicsLibrary[] = u"Inkforge.DLL";
constexpr WCHAR kSpoolSideLibrary[] = u"Metaweave.DLL";
constexpr WCHAR kSpoolSideProgram[] = u"Metaweave.EXE";
// Query 76, entry 16: byte 4 bit 3 says the spool-side program is part of the driver.
constexpr int kKeyTableQuery = 76;
constexpr int kKeyTableSpoolSideEntry = 16;
constexpr size_t kSpoolSideFlagsByte = 4;
constexpr BYTE kSpoolSideProgramBit = 0x08;

bool IsShortCheck(DWORD kind) {
    return kind == 1 || kind == kCheckDriverDefault;
}

bool Exists(const std::u16string& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A component answer's name template with its platform code, widened.
std::u16string WidenTemplate(const model::ComponentAnswer& entry) {
    char name[sizeof entry.nameTemplate + 4] = {};
    std::memcpy(name, entry.nameTemplate, sizeof entry.nameTemplate);
    std::string text(name);
    if (entry.kind == model::kComponentKind64 || entry.kind == model::kComponentKind32) {
        size_t at = text.find("%s");
        if (at != std::string::npos)
            text.replace(at, 2, entry.kind == model::kComponentKind64 ? "64" : "32");
    }
    std::u16string wide(text.size() + 1, u'\0');
    int n = text.empty()
                ? 0
                : MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                      wide.data(), static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return wide;
}

// A model query in two calls into a zeroed GlobalAlloc block; NULL when the
// second call fails.
LPVOID AskModel(PFN_mdGetMyPrinterInfo md, LPCVOID data, int code, int entry, int layout,
                DWORD* size) {
    DWORD needed = 0, count = 0;
    md(data, code, entry, layout, nullptr, &needed, &count);
    LPVOID block = GlobalAlloc(GPTR, needed ? needed : 1);
    if (!block) return nullptr;
    DWORD length = needed;
    if (md(data, code, entry, layout, block, &length, &count) != 0) {
        GlobalFree(block);
        return nullptr;
    }
    *size = needed;
    return block;
}

// The full check's steps through the model library.
bool CheckThroughModel(HMODULE modelLibrary, LPCVOID data, const std::u16string& folder) {
    auto md = Export<PFN_mdGetMyPrinterInfo>(modelLibrary, "mdGetMyPrinterInfo");
    if (!md) return false;
    DWORD componentsSize = 0;
    LPVOID components = AskModel(md, data, model::kQueryComponents, 0,
                                 model::layout::kComponentList, &componentsSize);
    if (!components) return false;
    bool ok = true;
    DWORD keySize = 0;
    if (LPVOID keys = AskModel(md, data, kKeyTableQuery, kKeyTableSpoolSideEntry,
                               model::layout::kEntryList, &keySize)) {
        if (keySize > kSpoolSideFlagsByte &&
            (static_cast<const BYTE*>(keys)[kSpoolSideFlagsByte] & kSpoolSideProgramBit))
            ok = Exists(folder + kSpoolSideProgram);
        GlobalFree(keys);
    }
    const auto* entries = static_cast<const BYTE*>(components);
    for (DWORD at = 0; ok && at + sizeof(model::ComponentAnswer) <= componentsSize;
         at += sizeof(model::ComponentAnswer)) {
        model::ComponentAnswer entry;
        std::memcpy(&entry, entries + at, sizeof entry);
        if (entry.id != model::kComponentDevprobe && entry.id != model::kComponentGatekeep &&
            entry.id != model::kComponentTallyport)
            continue;
        std::u16string name = WidenTemplate(entry);
        if (!name.empty()) ok = Exists(folder + name);
    }
    GlobalFree(components);
    return ok;
}

bool RunCheck(HANDLE printer, DWORD kind) {
    LPVOID data = MapDriverDataFile(printer);
    if (!data) return false;
    bool ok = false;
    WCHAR folderBuffer[MAX_PATH];
    HANDLE heap = nullptr;
    HMODULE modelLibrary = nullptr;
    WCHAR found[MAX_PATH];
    LPWSTR filePart = nullptr;
    if (FindDriverDirectory(printer, folderBuffer, MAX_PATH) &&
        (heap = HeapCreate(0, kNameHeapSize, 0)) != nullptr &&
        SearchPathW(folderBuffer, kGraphicsLibrary, nullptr, MAX_PATH, found, &filePart) != 0) {
        std::u16string folder(folderBuffer);
        ok = true;
        if (LPWSTR name = GetComponentName(data, heap, model::kComponentModelsmith)) {
            modelLibrary = LoadLibraryW((folder + name).c_str());
            ok = modelLibrary != nullptr;
        }
        for (DWORD id : {model::kComponentSheetwright, model::kComponentResbundle}) {
            LPWSTR name = ok ? GetComponentName(data, heap, id) : nullptr;
            if (name) ok = Exists(folder + name);
        }
        if (ok && !IsShortCheck(kind)) {
            ok =
                Exists(folder + kSpoolSideLibrary) && CheckThroughModel(modelLibrary, data, folder);
        }
    }
    if (modelLibrary) FreeLibrary(modelLibrary);
    if (heap) HeapDestroy(heap);
    GlobalFree(data);
    return ok;
}

} // namespace

BOOL CheckDriverFiles(HANDLE printer, DWORD kind) {
    if (RunCheck(printer, kind)) return TRUE;
    WCHAR text[MAX_PATH], caption[MAX_PATH];
    if (LoadStringW(gModule, IDS_FILES_MISSING, text, MAX_PATH) > 0 &&
        LoadStringW(gModule, IDS_ERROR_CAPTION, caption, MAX_PATH) > 0)
        MessageBoxW(nullptr, text, caption, MB_ICONERROR | MB_SERVICE_NOTIFICATION);
    return FALSE;
}

} // namespace frontdoor
