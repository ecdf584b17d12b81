#include "sheet_context.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "afxwin.h"
#include "devmode_convert.h"
#include "devmode_helpers.h"
#include "kinsoku_list.h"
#include "kinsoku_rules.h"
#include "localize.h"
#include "model_info.h"
#include "user_paper.h"
#include "win/loader.h"
#include "win/spool.h"
#include "win/strings.h"

namespace sheetwright {
namespace {

// Model tables the context reads.
constexpr WORD kTableSupportFile = 5;
constexpr WORD kTableBehaviourFlags = 48;
constexpr WORD kTableLongPaper = 75;
// Revision types of the model library.
constexpr DWORD kReviseDefaults = 1;
constexpr DWORD kReviseCarryOver = 2;
constexpr WORD kDriverVersion = 0x0500;
constexpr size_t kHelpExtensionChars = 4; // ".CHM", ".HLP"

bool EndsWithNoCase(const std::u16string& s, const char16_t* tail) {
    size_t n = std::char_traits<char16_t>::length(tail);
    return s.size() >= n && lstrcmpiW(s.c_str() + s.size() - n, tail) == 0;
}

void CopyWide(LPWSTR out, size_t chars, const std::u16string& in) {
    lstrcpynW(out, in.c_str(), static_cast<int>(chars));
}

// The model library's revision on wide images, through its ANSI form.
bool ModelRevise(const ModelBlock& model, const DEVMODE_IMAGEW* old, DEVMODE_IMAGEW* image,
                 DWORD type) {
    auto revise = ModuleExport<PFN_mdReviseDevmode>(model.modelsmith, "mdReviseDevmode");
    if (!revise || !model.modelData) return false;
    DEVMODE_IMAGEA oldA{}, newA{};
    if (old && !DevModeWToA(&old->dm, sizeof *old, &oldA.dm, sizeof oldA)) return false;
    if (!DevModeWToA(&image->dm, sizeof *image, &newA.dm, sizeof newA)) return false;
    if (revise(model.modelData, old ? &oldA.dm : nullptr, &newA.dm, type) != 0) return false;
    DEVMODE_IMAGEW result{};
    if (!DevModeAToW(&newA.dm, sizeof newA, &result.dm, sizeof result)) return false;
    // The device name stays the printer's.
    WCHAR name[CCHDEVICENAME];
    std::memcpy(name, image->dm.dmDeviceName, sizeof name);
    *image = result;
    std::memcpy(image->dm.dmDeviceName, name, sizeof name);
    return true;
}

// The printer's stored device mode, when it has one.
void ReadPrinterDevmode(HANDLE printer, DEVMODE_IMAGEW* image) {
    std::vector<BYTE> buffer = GetPrinterInfo2(printer);
    if (buffer.empty()) return;
    auto* info = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data());
    if (info->pDevMode) CopyDevmodeImage(info->pDevMode, image);
}

std::u16string PortOf(const PropPageParams* params) {
    if (!params->portName) return {};
    std::u16string port(params->portName);
    if (port.size() >= kPortNameChars) port.resize(kPortNameChars - 1);
    return port;
}

LPWSTR GlobalCopy(LPCWSTR text) {
    if (!text) return nullptr;
    size_t n = static_cast<size_t>(lstrlenW(text)) + 1;
    auto* copy = static_cast<LPWSTR>(GlobalAlloc(GPTR, n * sizeof(WCHAR)));
    if (copy) std::memcpy(copy, text, n * sizeof(WCHAR));
    return copy;
}

// Everything the context owns, in the order it is let go.
void ReleaseContents(SheetContext* c) {
    if (c->resourceModule) {
        // The framework goes back to this library's own resources first.
        if (AfxGetResourceHandle() == c->resourceModule)
            AfxSetResourceHandle(AfxGetInstanceHandle());
        FreeLibrary(c->resourceModule);
    }
    if (c->model.modelsmith) FreeLibrary(c->model.modelsmith);
    if (c->model.modelData) GlobalFree(c->model.modelData);
    if (c->printerName) GlobalFree(c->printerName);
    delete c->userPapers;
    if (c->installOptions) {
        c->installOptions->FreeEntries();
        delete c->installOptions;
    }
    delete c->optionPair;
    delete c->constraints;
    delete c->localize;
}

void DestroyContext(SheetContext* c) {
    ReleaseContents(c);
    HGLOBAL block = GlobalHandle(c);
    GlobalUnlock(block);
    GlobalFree(block);
}

void Build(SheetContext* c, const PropPageParams* params) {
    // The caller's block.
    c->size = kSheetContextSize;
    c->callerFlags = params->modeFlags;
    c->noCallback = params->pfnComPropSheet ? 0 : 1;
    c->sheetCallback = params->pfnComPropSheet;
    c->sheetHandle = params->hComPropSheet;
    // Both property headers keep the printer at offset 8.
    if (params->propertyHeader)
        c->printer = static_cast<const DEVICEPROPERTYHEADER*>(params->propertyHeader)->hPrinter;
    c->sheetKind = params->sheetKind;
    c->callerImage = params->image;
    c->callerInput = params->inputDevmode;
    c->printerName = GlobalCopy(params->printerName);
    CopyWide(c->portName, kPortNameChars, PortOf(params));
    c->rulesFlag = 1;
    c->constantOne = 1;

    // The model; without it every model query answers nothing and the pages
    // keep their defaults.
    c->model.modelData = LoadDriverDataFile(c->printer);
    c->model.modelsmith = LoadDriverModule(c->printer, c->model.modelData, kSelectModelsmith);

    // The images: the model's defaults, the printer's stored settings, then
    // the caller's (or the stored) settings carried over by the model.
    c->defaultImage = {};
    StampDevmodeImage(&c->defaultImage);
    if (params->printerName)
        lstrcpynW(c->defaultImage.dm.dmDeviceName, params->printerName, CCHDEVICENAME);
    ModelRevise(c->model, nullptr, &c->defaultImage, kReviseDefaults);
    c->defaultImage.priv.SavePersonalInfo = 0;
    c->workingImage = c->defaultImage;
    if (c->printer) ReadPrinterDevmode(c->printer, &c->workingImage);
    DEVMODE_IMAGEW local{};
    StampDevmodeImage(&local);
    if (c->callerInput)
        CopyDevmodeImage(c->callerInput, &local);
    else
        local = c->workingImage;
    if (!ModelRevise(c->model, &local, &c->workingImage, kReviseCarryOver)) c->workingImage = local;

    BuildModuleFilePath(c->printer, &c->model, c->supportFilePath);
    CopyWide(c->helpFile, MAX_PATH, FindDriverHelpFile(c->printer));
    BoundModel bound{};
    BindModelInfo(&bound, &c->model);
    std::u16string folder;
    if (bound.query && GetUserSettingsFolder(bound.query, bound.modelData, &folder))
        CopyWide(c->userFolder, MAX_PATH, folder);

    c->userPapers = new CUserPaper;
    c->userPapers->SetPath(c->userFolder);
    c->userPapers->Read();

    // Every template, string and picture of the sheet comes from Resbundle.
    c->resourceModule = LoadDriverModule(c->printer, c->model.modelData, kSelectResbundleForSheet);
    if (c->resourceModule) AfxSetResourceHandle(c->resourceModule);
    c->localize = new CLocalize(c->resourceModule);
    if (!c->localize->IsCacheCurrent()) c->localize->BuildCache();

    c->installOptions = new CInstallOption(c->printer, &c->model);
    c->constraints =
        new CKinsokuList(&c->model, c->userPapers, reinterpret_cast<const BYTE*>(&c->workingImage));
    LoadKinsokuPairs(&c->model, c->constraints);
    BuildKinsokuRules(&c->model, c->constraints, c->rulesFlag);
    RemoveCustomPaperRules(&c->model, c->constraints, c->userPapers);
    c->optionPair = new ModelOptionPair{&c->model, c->installOptions};
    BuildModelKinsoku(c->optionPair, c->constraints);

    c->longPaper = CModelInfo(&c->model, kTableLongPaper, 0, 1).Query() == 0 ? 1 : 0;
    CModelInfo flags(&c->model, kTableBehaviourFlags, 0, 1);
    c->table48Flag = flags.GetData() ? (flags.U8(0) & 1) : 0;
}

} // namespace

std::vector<BYTE> GetPrinterInfo2(HANDLE printer) {
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    if (!needed) return {};
    std::vector<BYTE> buffer(needed);
    if (!GetPrinterW(printer, 2, buffer.data(), needed, &needed)) return {};
    return buffer;
}

void CopyDevmodeImage(const DEVMODEW* source, DEVMODE_IMAGEW* image) {
    if (!source) return;
    const WORD size = image->dm.dmSize, extra = image->dm.dmDriverExtra;
    const size_t publicPart = std::min<size_t>(source->dmSize, DEVMODEW_SIZE);
    // A private part follows only a public part of a known size.
    const size_t privatePart = source->dmSize >= DEVMODEW_SIZE_320
                                   ? std::min<size_t>(source->dmDriverExtra, PRIVATE_DEVMODE_SIZE)
                                   : 0;
    std::memcpy(&image->dm, source, publicPart);
    if (privatePart)
        std::memcpy(&image->priv, reinterpret_cast<const BYTE*>(source) + source->dmSize,
                    privatePart);
    image->dm.dmSize = size;
    image->dm.dmDriverExtra = extra;
}

DWORD BuildModuleFilePath(HANDLE printer, const ModelBlock* binding, LPWSTR out) {
    out[0] = 0;
    CModelInfo table(binding, kTableSupportFile, 0, 1);
    auto* name = static_cast<const char*>(table.GetData());
    if (!name) return 0;
    std::u16string file =
        AnsiToWide(name, strnlen(name, std::min<DWORD>(table.Length(), MAX_PATH)));
    std::u16string folder = printer ? GetDriverFolder(printer) : std::u16string();
    if (folder.empty()) {
        WCHAR self[MAX_PATH] = {};
        GetModuleFileNameW(AfxGetInstanceHandle(), self, MAX_PATH);
        folder = self;
        folder.resize(folder.find_last_of(u"\\/") == std::u16string::npos
                          ? 0
                          : folder.find_last_of(u"\\/") + 1);
    }
    if (!folder.empty() && folder.back() != u'\\') folder += u'\\';
    CopyWide(out, MAX_PATH, folder + file);
    return static_cast<DWORD>(lstrlenW(out));
}

std::u16string FindDriverHelpFile(HANDLE printer) {
    DWORD needed = 0;
    GetPrinterDriverW(printer, nullptr, 3, nullptr, 0, &needed);
    if (!needed) return {};
    std::vector<BYTE> buffer(needed);
    if (!GetPrinterDriverW(printer, nullptr, 3, buffer.data(), needed, &needed)) return {};
    auto* info = reinterpret_cast<DRIVER_INFO_3W*>(buffer.data());
    std::u16string found;
    if (info->pHelpFile && *info->pHelpFile) {
        found = info->pHelpFile;
    } else {
        for (LPCWSTR f = info->pDependentFiles; f && *f; f += lstrlenW(f) + 1) {
            std::u16string name(f);
            if (name.size() > kHelpExtensionChars &&
                (EndsWithNoCase(name, u".CHM") || EndsWithNoCase(name, u".HLP"))) {
                found = name;
                break;
            }
        }
    }
    if (found.size() >= MAX_PATH) found.resize(MAX_PATH - 1);
    return found;
}

BOOL IsSheetReadOnly(const SheetContext* c) {
    if (!c) return FALSE;
    if (c->sheetKind == kSheetDocument) return (c->callerFlags & DM_NOPERMISSION) != 0;
    if (c->sheetKind == kSheetDevice) return (c->callerFlags & DPS_NOPERMISSION) != 0;
    return FALSE;
}

SheetContext* CreateSheetContext(const PropPageParams* params) {
    if (!params) return nullptr;
    HGLOBAL block = GlobalAlloc(GHND, kSheetContextSize);
    if (!block) return nullptr;
    auto* c = static_cast<SheetContext*>(GlobalLock(block));
    if (!c) {
        GlobalFree(block);
        return nullptr;
    }
    try {
        Build(c, params);
    } catch (const std::bad_alloc&) {
        DestroyContext(c);
        return nullptr;
    }
    return c;
}

void FreeSheetContext(SheetContext* c) {
    if (!c) return;
    if (c->pageReferences > 0) --c->pageReferences;
    if (c->pageReferences == 0) DestroyContext(c);
}

} // namespace sheetwright
