// A stand-in UI library for the printer interface's tests: fixed capability
// lists, a revision whose effect a test can see, one property page that edits
// the working image, and a log of every call. Built twice: as a whole library
// and (FAKE_SHEETWRIGHT_BARE) with no exports but its entry.
#include <cstring>
#include <string>

#include "model/modelsmith.h"
#include "ui/sheetwright.h"
#include "win/base.h"
#include "devmode_private.h"
#include "win/user.h"

namespace {
HINSTANCE gSelf = nullptr;
std::string gLog;
[[maybe_unused]] void Log(const std::string& line) {
    gLog += line + "\n";
}
} // namespace

DLLEXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) gSelf = instance;
    return TRUE;
}

DLLEXPORT const char* FakeSheetwrightLog() {
    return gLog.c_str();
}
DLLEXPORT void FakeSheetwrightClearLog() {
    gLog.clear();
}

#ifndef FAKE_SHEETWRIGHT_BARE

namespace {

int gReviseResult = 0;
int gPagesResult = 1;
bool gTrueType = true;
PropPageParams gParams{};
BYTE gDuplex = 1;

template <class T> void Put(BYTE* at, T v) {
    std::memcpy(at, &v, sizeof v);
}

void PutName(BYTE* at, const char16_t* name) {
    for (size_t i = 0; name[i]; ++i)
        Put<WCHAR>(at + 2 * i, name[i]);
}

// Answers a fixed list in the two-call manner.
template <class Fill>
DWORD List(LPVOID buffer, LPDWORD size, LPDWORD count, DWORD records, DWORD recordSize,
           Fill&& fill) {
    *count = 0;
    if (!buffer) {
        *size = records * recordSize;
        return 0;
    }
    if (*size < records * recordSize) return ERROR_NOT_ENOUGH_MEMORY;
    std::memset(buffer, 0, records * recordSize);
    for (DWORD i = 0; i < records; ++i)
        fill(static_cast<BYTE*>(buffer) + i * recordSize, i);
    *count = records;
    return 0;
}

HMODULE LoadModelLibrary() {
    WCHAR path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(gSelf, path, MAX_PATH);
    std::u16string folder(path, n);
    folder.erase(folder.rfind(u'\\') + 1);
    return LoadLibraryW((folder + u"Modelsmith.DLL").c_str());
}

PFNCOMPROPSHEET gCallback = nullptr;
HANDLE gSheet = nullptr;

INT_PTR CALLBACK PageProc(HWND h, UINT msg, WPARAM, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        auto* psp = reinterpret_cast<PROPSHEETPAGEW*>(lp);
        SetWindowLongPtrW(h, DWLP_USER, psp->lParam);
        auto* dm = reinterpret_cast<DEVMODEW*>(psp->lParam);
        CheckDlgButton(h, 1001, dm->dmCollate == DMCOLLATE_TRUE ? BST_CHECKED : BST_UNCHECKED);
        SetDlgItemInt(h, 1002, static_cast<UINT>(dm->dmCopies), FALSE);
        return TRUE;
    }
    if (msg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lp)->code == PSN_APPLY) {
        auto* dm = reinterpret_cast<DEVMODEW*>(GetWindowLongPtrW(h, DWLP_USER));
        dm->dmCollate = IsDlgButtonChecked(h, 1001) == BST_CHECKED ? DMCOLLATE_TRUE : 0;
        dm->dmCopies = static_cast<short>(GetDlgItemInt(h, 1002, nullptr, FALSE));
        dm->dmFields |= DM_COLLATE | DM_COPIES;
        Log("page apply");
        gCallback(gSheet, CPSFUNC_SET_RESULT, 0, CPSUI_OK);
        SetWindowLongPtrW(h, DWLP_MSGRESULT, PSNRET_NOERROR);
        return TRUE;
    }
    return FALSE;
}

} // namespace

DLLEXPORT void FakeSheetwrightSet(int reviseResult, int pagesResult, bool trueType) {
    gReviseResult = reviseResult;
    gPagesResult = pagesResult;
    gTrueType = trueType;
}

// The block of the last MFCPropPage call, as it came.
DLLEXPORT const PropPageParams* FakeSheetwrightParams() {
    return &gParams;
}

DLLEXPORT DWORD WINAPI uiGetMyPrinterInfo(HANDLE, LPCVOID modelData, WORD table, WORD entry,
                                          DWORD layout, LPVOID buffer, LPDWORD size,
                                          LPDWORD count) {
    HMODULE model = LoadModelLibrary();
    auto md = model ? reinterpret_cast<PFN_mdGetMyPrinterInfo>(
                          reinterpret_cast<void (*)()>(GetProcAddress(model, "mdGetMyPrinterInfo")))
                    : nullptr;
    DWORD r = md ? md(modelData, table, entry, static_cast<INT>(layout), buffer, size, count)
                 : ERROR_PROC_NOT_FOUND;
    if (model) FreeLibrary(model);
    return r;
}

DLLEXPORT DWORD WINAPI uiEnumMyPrinterInfo(HANDLE, LPCVOID modelData, SHORT code, LPVOID buffer,
                                           LPDWORD size, LPDWORD count) {
    Log("enum " + std::to_string(code));
    if (!modelData) return ERROR_INVALID_DATA;
    switch (code) {
    case kEnumPapers:
        return List(buffer, size, count, 2, kEnumPaperRecordSize, [](BYTE* r, DWORD i) {
            Put<WORD>(r, i == 0 ? 9 : 1);
            PutName(r + 2, i == 0 ? u"A4" : u"Letter");
            Put<short>(r + 130, i == 0 ? 2100 : 2159);
            Put<short>(r + 132, i == 0 ? 2970 : 2794);
        });
    case kEnumMediaTypes:
        return List(buffer, size, count, 2, kEnumMediaRecordSize, [](BYTE* r, DWORD i) {
            Put<DWORD>(r, i == 0 ? 1 : 259);
            PutName(r + 4, i == 0 ? u"Plain" : u"Thick");
        });
    case kEnumBins:
        return List(buffer, size, count, 2, kEnumBinRecordSize, [](BYTE* r, DWORD i) {
            Put<WORD>(r, i == 0 ? 7 : 1);
            PutName(r + 2, i == 0 ? u"Auto" : u"Tray 1");
        });
    case kEnumResolutions:
        return List(buffer, size, count, 2, kEnumResolutionRecordSize, [](BYTE* r, DWORD i) {
            Put<DWORD>(r, i == 0 ? 300 : 600);
            Put<DWORD>(r + 4, i == 0 ? 300 : 600);
        });
    case kEnumPagesPerSheet:
        return List(buffer, size, count, 7, 4, [](BYTE* r, DWORD i) {
            static const DWORD kValues[] = {1, 2, 4, 6, 8, 9, 16};
            Put<DWORD>(r, kValues[i]);
        });
    case kEnumMediaReady:
        return List(buffer, size, count, 1, kEnumMediaReadyRecordSize,
                    [](BYTE* r, DWORD) { PutName(r, u"A4"); });
    case kEnumTrueType:
        return List(buffer, size, count, 1, 1, [](BYTE* r, DWORD) { *r = 0x05; });
    case kEnumCapabilities: {
        if (!buffer) {
            *size = sizeof(CapabilityRecord);
            return 0;
        }
        if (*size < sizeof(CapabilityRecord)) return ERROR_NOT_ENOUGH_MEMORY;
        auto* c = static_cast<CapabilityRecord*>(buffer);
        c->answered = c->wanted & ~kCapPrinterMemory;
        c->duplex = gDuplex;
        c->copies = 999;
        c->orientation = 90;
        c->colorDevice = 0;
        c->printerMemoryKb = 65536;
        c->printRate = 40;
        c->printRateUnit = 1;
        c->pagesPerMinute = 40;
        c->staple = 1;
        c->collate = 1;
        c->minimumExtent = (1480 << 16) | 900;
        c->maximumExtent = (12000 << 16) | 3048;
        *count = 1;
        return 0;
    }
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

// Mode 1: an A4 portrait device mode at 600 dpi with a signed private block
// and the automatic tray. Mode 2: the old device mode's standard fields and
// private block carried over.
DLLEXPORT DWORD WINAPI uiReviseDevmodeEx(HANDLE, LPCVOID modelData, DEVMODEW* oldDevmode,
                                         DEVMODEW* devmode, DWORD mode) {
    Log("revise " + std::to_string(mode));
    if (gReviseResult) return static_cast<DWORD>(gReviseResult);
    if (!modelData || !devmode || devmode->dmSize != 220 || devmode->dmDriverExtra != 1100)
        return ERROR_INVALID_PARAMETER;
    auto* image = reinterpret_cast<DEVMODE_IMAGEW*>(devmode);
    if (mode == 1) {
        devmode->dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_DEFAULTSOURCE |
                            DM_PRINTQUALITY | DM_COLLATE | DM_DUPLEX |
                            (gTrueType ? DM_TTOPTION : 0);
        devmode->dmOrientation = DMORIENT_PORTRAIT;
        devmode->dmPaperSize = 9;
        devmode->dmCopies = 1;
        devmode->dmDefaultSource = DMBIN_AUTO;
        devmode->dmPrintQuality = 600;
        devmode->dmScale = 100;
        devmode->dmDuplex = DMDUP_SIMPLEX;
        devmode->dmTTOption = 1;
        image->priv.Signature = PRIVATE_DEVMODE_SIGNATURE;
        image->priv.Version = PRIVATE_DEVMODE_VERSION;
        return 0;
    }
    if (!oldDevmode) return ERROR_INVALID_PARAMETER;
    DWORD fields = oldDevmode->dmFields;
    if (fields & DM_ORIENTATION) devmode->dmOrientation = oldDevmode->dmOrientation;
    if (fields & DM_PAPERSIZE) devmode->dmPaperSize = oldDevmode->dmPaperSize;
    if (fields & DM_COPIES) devmode->dmCopies = oldDevmode->dmCopies;
    if (fields & DM_COLLATE) devmode->dmCollate = oldDevmode->dmCollate;
    if (fields & DM_DUPLEX) devmode->dmDuplex = oldDevmode->dmDuplex;
    if (fields & DM_PRINTQUALITY) devmode->dmPrintQuality = oldDevmode->dmPrintQuality;
    // The stand-in's revision turns every tray into the automatic one.
    devmode->dmDefaultSource = DMBIN_AUTO;
    if ((fields & (DM_PAPERWIDTH | DM_PAPERLENGTH)) == (DM_PAPERWIDTH | DM_PAPERLENGTH)) {
        devmode->dmPaperWidth = oldDevmode->dmPaperWidth;
        devmode->dmPaperLength = oldDevmode->dmPaperLength;
        devmode->dmFields |= DM_PAPERWIDTH | DM_PAPERLENGTH;
        if (!(fields & DM_PAPERSIZE)) devmode->dmFields &= ~DM_PAPERSIZE;
    }
    auto* old = reinterpret_cast<DEVMODE_IMAGEW*>(oldDevmode);
    if (old->priv.Signature == PRIVATE_DEVMODE_SIGNATURE) image->priv = old->priv;
    return 0;
}

DLLEXPORT BOOL WINAPI uiDevQueryPrintEx(PDEVQUERYPRINT_INFO info) {
    Log("query copies=" + std::to_string(info->pDevMode->dmCopies));
    return info->pDevMode->dmCopies < 100;
}

DLLEXPORT INT WINAPI uiDrvDocumentEvent(HANDLE, HDC, int escape, ULONG, PVOID, ULONG, PVOID) {
    Log("document event " + std::to_string(escape));
    return 1;
}

DLLEXPORT BOOL WINAPI uiDrvPrinterEvent(LPWSTR, INT event, DWORD, LPARAM) {
    Log("printer event " + std::to_string(event));
    return TRUE;
}

DLLEXPORT BOOL WINAPI uiDrvUpgradePrinter(DWORD level, LPBYTE) {
    Log("upgrade " + std::to_string(level));
    return TRUE;
}

DLLEXPORT DWORD WINAPI MFCPropPage(PropPageParams* params) {
    gParams = *params;
    Log("pages " + std::to_string(params->sheetKind));
    if (!gPagesResult) return 0;
    gCallback = params->pfnComPropSheet;
    gSheet = params->hComPropSheet;
    PROPSHEETPAGEW psp{};
    psp.dwSize = sizeof psp;
    psp.hInstance = gSelf;
    psp.pszTemplate = MAKEINTRESOURCEW(100);
    psp.pfnDlgProc = PageProc;
    psp.lParam = reinterpret_cast<LPARAM>(params->image);
    HPROPSHEETPAGE page = CreatePropertySheetPageW(&psp);
    if (!page) return 0;
    if (!params->pfnComPropSheet(params->hComPropSheet, CPSFUNC_ADD_HPROPSHEETPAGE,
                                 reinterpret_cast<LPARAM>(page), 0)) {
        DestroyPropertySheetPage(page);
        return 0;
    }
    // 2: a second page that could not be made, after the first was added.
    return gPagesResult == 2 ? 0 : 1;
}

#endif
