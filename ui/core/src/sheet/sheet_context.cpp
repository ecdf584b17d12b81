#include "model/model_queries.h"
#include "sheet_context.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "afxwin.h"
#include "control_states.h"
#include "revise_devmode.h"
#include "track_dm.h"
#include "kinsoku_list.h"
#include "kinsoku_rules.h"
#include "localize.h"
#include "model_info.h"
#include "ui_entry_points.h"
#include "user_paper.h"
#include "win/loader.h"
#include "win/spool.h"
#include "win/strings.h"

namespace sheetwright {
namespace {

constexpr size_t kHelpExtensionChars = 4; // ".CHM", ".HLP"

bool EndsWithNoCase(const std::u16string& s, const char16_t* tail) {
    size_t n = std::char_traits<char16_t>::length(tail);
    return s.size() >= n && lstrcmpiW(s.c_str() + s.size() - n, tail) == 0;
}

void CopyWide(LPWSTR out, size_t chars, const std::u16string& in) {
    lstrcpynW(out, in.c_str(), static_cast<int>(chars));
}

std::u16string PortOf(const PropPageParams* params) {
    if (!params->portName) return {};
    std::u16string port(params->portName);
    if (port.size() >= kSheetPortNameChars) port.resize(kSheetPortNameChars - 1);
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
    FreeSelPortInfo(&c->portInfo);
    delete c->tracker;
    delete c->userPapers;
    if (c->installOptions) {
        c->installOptions->FreeEntries();
        delete c->installOptions;
    }
    delete c->optionPair;
    if (c->formTray) {
        if (c->formTray->buffer) GlobalFree(c->formTray->buffer);
        delete c->formTray;
    }
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
    CopyWide(c->portName, kSheetPortNameChars, PortOf(params));
    c->rulesFlag = 1;
    c->constantOne = 1;

    // The model; without it every model query answers nothing and the pages
    // keep their defaults.
    c->model.modelData = LoadDriverDataFile(c->printer);
    c->model.modelsmith = LoadDriverModule(c->printer, c->model.modelData, kSelectModelsmith);

    LoadSelPortInfo(&c->model, c->portName, &c->portInfo);

    // The images: the printer's stored settings, the model's defaults, then
    // the caller's (or the stored) settings carried over by the model.
    StampAndReviseDevmode(c->printer, c->model.modelData, &c->defaultImage);
    c->defaultImage.priv.SavePersonalInfo = 0;
    // A printer that has no settings of this driver stored yet starts from
    // the model's defaults.
    c->workingImage = {};
    StampDevmodeHeader(&c->workingImage);
    if (!c->printer || !ReadPrinterInfo2(c->printer, &c->workingImage) ||
        !IsOwnDevmode(&c->workingImage.dm))
        c->workingImage = c->defaultImage;
    DEVMODE_IMAGEW local;
    std::memset(&local, 0, sizeof local);
    StampDevmodeHeader(&local);
    const DEVMODEW* source = c->callerInput ? c->callerInput : &c->workingImage.dm;
    // A device mode too short to read leaves `local` the blank stamped header.
    (void)LoadDevmodeImage(source, DevmodeBytes(source), &local);
    if (c->model.modelData)
        CallModelReviseDevmode(c->model.modelsmith, c->model.modelData, &local, &c->workingImage,
                               kReviseCarryOver);

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
    // Best-effort: without the cache every string is read from the module.
    if (!c->localize->IsCacheCurrent()) (void)c->localize->BuildCache();

    c->installOptions = new CInstallOption(c->printer, &c->model);
    c->constraints =
        new CKinsokuList(&c->model, c->userPapers, reinterpret_cast<const BYTE*>(&c->workingImage));
    LoadKinsokuPairs(&c->model, c->constraints);
    BuildKinsokuRules(&c->model, c->constraints, c->rulesFlag);
    RemoveCustomPaperRules(&c->model, c->constraints, c->userPapers);
    c->optionPair = new ModelOptionPair{&c->model, c->installOptions};
    BuildModelKinsoku(c->optionPair, c->constraints);

    // A paper the model does not offer becomes its default paper, at the
    // model's own size.
    if (c->constraints->IsValueRefused(kItemPaper, static_cast<DWORD>(local.dm.dmPaperSize))) {
        const WORD paper =
            GetDefaultPaperId(&c->model, (local.priv.MeasureFlags & kA4Region) ? TRUE : FALSE);
        local.dm.dmPaperSize = static_cast<SHORT>(paper);
        local.dm.dmFields &= ~static_cast<DWORD>(DM_PAPERLENGTH | DM_PAPERWIDTH);
        WORD width = 0, length = 0;
        if (c->model.modelsmith && GetModelPaperSize(&c->model, paper, &width, &length)) {
            local.dm.dmPaperWidth = static_cast<SHORT>(width);
            local.dm.dmPaperLength = static_cast<SHORT>(length);
        }
    }
    ReviseContext revision = SheetReviseContext(c);
    ReviseDevmode(&revision, &local, &c->workingImage, kReviseCarryOver);
    RefreshControlStates(c);

    c->tracker = new CTrackDM;
    c->tracker->SetBinding(&c->model);
    c->tracker->SetConstraints(c->constraints);
    c->tracker->SetOptionPair(c->optionPair);
    c->tracker->Snapshot(&c->workingImage);

    c->formTray = new FormTrayTable{c->printer, nullptr, 0};
    LoadFormTrayTable(c->formTray);

    c->longPaper =
        CModelInfo(&c->model, model::kQueryLongPaperLimits, 0, model::layout::kLimitsRecord)
                    .Query() == 0
            ? 1
            : 0;
    CModelInfo flags(&c->model, model::kQueryImageReduction, 0, model::layout::kFixedFirst);
    c->table48Flag = flags.GetData() ? (flags.U8(0) & 1) : 0;
}

} // namespace

DWORD BuildModuleFilePath(HANDLE printer, const ModelBlock* binding, LPWSTR out) {
    out[0] = 0;
    CModelInfo table(binding, model::kQuerySupportFile, 0, 1);
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

ReviseContext SheetReviseContext(const SheetContext* c) {
    ReviseContext revision;
    revision.printer = c->printer;
    revision.binding = c->model;
    revision.options = c->optionPair;
    revision.constraints = c->constraints;
    revision.papers = c->userPapers;
    lstrcpynW(revision.portName, c->portName, static_cast<int>(std::size(revision.portName)));
    return revision;
}

BOOL LoadFormTrayTable(FormTrayTable* table) {
    if (!table || !table->printer) return FALSE;
    if (table->buffer) GlobalFree(table->buffer);
    table->buffer = nullptr;
    table->count = 0;
    std::vector<FormTrayRecord> records = ReadFormTray(table->printer);
    if (records.empty()) return FALSE;
    const SIZE_T bytes = records.size() * sizeof(FormTrayRecord);
    table->buffer = GlobalAlloc(GMEM_FIXED, bytes);
    if (!table->buffer) return FALSE;
    std::memcpy(table->buffer, records.data(), bytes);
    table->count = static_cast<DWORD>(records.size());
    return TRUE;
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
