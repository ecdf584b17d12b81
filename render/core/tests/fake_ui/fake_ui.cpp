// A stand-in UI library for the graphics core's tests: it answers model
// queries through the model library beside it, as the UI library does,
// revises default device modes in a way a test can see, and counts the calls
// it gets.
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "model/modelsmith.h"
#include "ui/job_prompt_records.h"
#include "ui/sheetwright.h"
#include "win/base.h"
#include "win/devmode.h"

namespace {

HMODULE gSelf = nullptr;
std::mutex gMutex;
std::map<std::string, long> gCalls;
std::string gNotes;

void Count(const char* name) {
    std::lock_guard lock(gMutex);
    ++gCalls[name];
}

void Note(const std::string& text) {
    std::lock_guard lock(gMutex);
    gNotes += text + "\n";
}

HMODULE LoadModelLibrary() {
    WCHAR path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(gSelf, path, MAX_PATH);
    std::u16string folder(path, n);
    folder.erase(folder.rfind(u'\\') + 1);
    folder += u"Modelsmith.DLL";
    return LoadLibraryW(folder.c_str());
}

} // namespace

DLLEXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) gSelf = reinterpret_cast<HMODULE>(instance);
    return TRUE;
}

DLLEXPORT DWORD WINAPI uiGetMyPrinterInfo(HANDLE, LPCVOID modelData, WORD table, WORD entry,
                                          DWORD layout, LPVOID buffer, LPDWORD size,
                                          LPDWORD count) {
    Count("uiGetMyPrinterInfo");
    HMODULE model = LoadModelLibrary();
    auto md = model ? reinterpret_cast<PFN_mdGetMyPrinterInfo>(
                          reinterpret_cast<void (*)()>(GetProcAddress(model, "mdGetMyPrinterInfo")))
                    : nullptr;
    // A library or export that is not there is ERROR_PROC_NOT_FOUND; a load
    // that failed for another cause (memory, say) answers with that cause.
    DWORD loadError = GetLastError();
    DWORD r = md ? md(modelData, static_cast<SHORT>(table), static_cast<SHORT>(entry),
                      static_cast<INT>(layout), buffer, size, count)
              : (loadError == ERROR_NOT_ENOUGH_MEMORY || loadError == ERROR_OUTOFMEMORY)
                  ? loadError
                  : static_cast<DWORD>(ERROR_PROC_NOT_FOUND);
    if (model) FreeLibrary(model);
    return r;
}

// Mode 1: an A4 portrait device mode at 600 dpi with a signed private block.
// Mode 2: two copies, when the old device mode is the result of mode 1.
DLLEXPORT DWORD WINAPI uiReviseDevmodeEx(HANDLE, LPCVOID modelData, DEVMODEW* oldDevmode,
                                         DEVMODEW* devmode, DWORD mode) {
    Count(mode == 1 ? "uiReviseDevmodeEx 1" : "uiReviseDevmodeEx 2");
    if (!modelData || std::memcmp(modelData, "NKSP", 4) != 0 || !devmode) return ERROR_INVALID_DATA;
    if (devmode->dmSize != 220 || devmode->dmDriverExtra != 1100) return ERROR_INVALID_PARAMETER;
    BYTE* priv = reinterpret_cast<BYTE*>(devmode) + 220;
    if (mode == 1) {
        devmode->dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES;
        devmode->dmOrientation = 1;
        devmode->dmPaperSize = 9;
        devmode->dmCopies = 1;
        devmode->dmScale = 100;
        devmode->dmPrintQuality = 600;
        const DWORD signature = 0x5A4F5244, version = 0x500;
        std::memcpy(priv, &signature, 4);
        std::memcpy(priv + 4, &version, 4);
        return 0;
    }
    if (!oldDevmode || oldDevmode->dmPaperSize != 9) return ERROR_INVALID_PARAMETER;
    devmode->dmCopies = 2;
    return 0;
}

DLLEXPORT BOOL WINAPI uiGetDeptCode(ModelBlock* block, DEVMODEW* devmode) {
    Count("uiGetDeptCode");
    Note(std::string("get block=") +
         (block && block->modelsmith && block->modelData ? "yes" : "no") +
         " devmode=" + (devmode ? "yes" : "no"));
    return TRUE;
}

DLLEXPORT BOOL WINAPI uiSetDeptCode(ModelBlock* block, DEVMODEW* devmode) {
    Count("uiSetDeptCode");
    const BYTE* priv = devmode ? reinterpret_cast<const BYTE*>(devmode) + 220 : nullptr;
    Note(std::string("set block=") +
         (block && block->modelsmith && block->modelData ? "yes" : "no") +
         " code=" + (priv && priv[128] ? reinterpret_cast<const char*>(priv + 128) : ""));
    return TRUE;
}

DLLEXPORT long FakeUiCalls(const char* name) {
    std::lock_guard lock(gMutex);
    auto it = gCalls.find(name);
    return it == gCalls.end() ? 0 : it->second;
}

DLLEXPORT const char* FakeUiNotes() {
    static std::string copy;
    std::lock_guard lock(gMutex);
    copy = gNotes;
    return copy.c_str();
}

// The pre-check cancel bracket and the in-process prior-print check, with
// answers a test sets.
namespace {
int gTakeJob = 0;
int gPriorPrint = 1;
} // namespace

DLLEXPORT void FakeUiSetAnswers(int takeJob, int priorPrint) {
    std::lock_guard lock(gMutex);
    gTakeJob = takeJob;
    gPriorPrint = priorPrint;
}

DLLEXPORT BOOL WINAPI uiPreCheckCancelJob(LPVOID modelData, ULONGLONG* cookie, DWORD mode) {
    Count("uiPreCheckCancelJob");
    Note("pre mode=" + std::to_string(mode) + " data=" + (modelData ? "yes" : "no"));
    std::lock_guard lock(gMutex);
    if (gTakeJob && cookie) *cookie = 0x1234;
    return gTakeJob ? TRUE : FALSE;
}

DLLEXPORT BOOL WINAPI uiPostCheckCancelJob(LPVOID, ULONGLONG* cookie, DWORD mode) {
    Count("uiPostCheckCancelJob");
    Note("post mode=" + std::to_string(mode) + " cookie=" + std::to_string(cookie ? *cookie : 0));
    return TRUE;
}

DLLEXPORT BOOL WINAPI uiCheckPriorPrint(HANDLE, HWND, LPCWSTR port, DEVMODEW*, LPVOID, LPVOID,
                                        DWORD mode) {
    Count("uiCheckPriorPrint");
    std::string p;
    for (LPCWSTR c = port; c && *c; ++c)
        p += static_cast<char>(*c);
    Note("prior port=" + p + " mode=" + std::to_string(mode));
    std::lock_guard lock(gMutex);
    return gPriorPrint ? TRUE : FALSE;
}
