// Spool-side hand-offs at the end of a recorded job.
#include "spool_handoff.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "model_access.h"
#include "pdev.h"
#include "win/base.h"
#include "win/spool.h"
#include "working_folder.h"

namespace inkforge {
namespace {

typedef DWORD(WINAPI* PFN_ZORPrintEMF)(EmfJobRecord* record, ModelBlock* block);
typedef DWORD(WINAPI* PFN_WTSGetActiveConsoleSessionId)(void);
typedef BOOL(WINAPI* PFN_WTSQueryUserToken)(ULONG session, PHANDLE token);

template <class F> F Export(HMODULE module, const char* name) {
    return module ? reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name))) : nullptr;
}

void PutAnsi(CHAR* field, size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

std::string Ansi(const std::u16string& text) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::u16string Widen(const char* text) {
    std::u16string s;
    for (const char* p = text; *p; ++p) s += static_cast<char16_t>(static_cast<unsigned char>(*p));
    return s;
}

std::u16string DataFilePath(HANDLE printer) {
    DWORD needed = 0;
    GetPrinterDriverW(printer, nullptr, 2, nullptr, 0, &needed);
    std::vector<BYTE> buf(needed);
    if (!needed || !GetPrinterDriverW(printer, nullptr, 2, buf.data(), needed, &needed)) return {};
    LPCWSTR p = reinterpret_cast<const DRIVER_INFO_2W*>(buf.data())->pDataFile;
    return p ? std::u16string(p) : std::u16string();
}

HANDLE ConsoleUserToken() {
    HMODULE kernel = LoadLibraryW(u"kernel32.dll");
    HMODULE wts = LoadLibraryW(u"wtsapi32.dll");
    auto session = Export<PFN_WTSGetActiveConsoleSessionId>(kernel, "WTSGetActiveConsoleSessionId");
    auto query = Export<PFN_WTSQueryUserToken>(wts, "WTSQueryUserToken");
    HANDLE token = nullptr;
    if (session && query) {
        DWORD id = session();
        if (id != 0 && id != 0xFFFFFFFF && !query(id, &token)) token = nullptr;
    }
    if (wts) FreeLibrary(wts);
    if (kernel) FreeLibrary(kernel);
    return token;
}

bool EndsWithLow(const std::u16string& folder) {
    if (folder.size() < 4) return false;
    std::u16string tail = folder.substr(folder.size() - 4);
    for (auto& c : tail)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return tail == u"LOW\\";
}

} // namespace

EmfJobRecord MakeEmfJobRecord(DWORD spoolId, bool combined, bool printToFile, const std::string& workingFolder) {
    EmfJobRecord r{};
    r.spoolId = spoolId;
    r.flags = kEmfJobAlways | (combined ? kEmfJobCombined : 0) | (printToFile ? kEmfJobToFile : 0);
    PutAnsi(r.workingFolder, sizeof r.workingFolder, workingFolder);
    return r;
}

EmfJobParamFile MakeEmfJobParamFile(bool combined, bool printToFile, const std::string& workingFolder,
                                    const std::string& modelDataPath) {
    EmfJobParamFile p{};
    p.version = 1;
    p.flags = kEmfJobAlways | (combined ? kEmfJobCombined : 0) | (printToFile ? kEmfJobToFile : 0);
    PutAnsi(p.workingFolder, sizeof p.workingFolder, workingFolder);
    PutAnsi(p.modelDataPath, sizeof p.modelDataPath, modelDataPath);
    return p;
}

bool HandOffToMetaweave(PDEV* pdev, bool printToFile) {
    std::u16string folder;
    if (!GetDriverDirectory(pdev->printer, &folder)) return false;
    HMODULE player = LoadLibraryW((folder + Widen(kSpoolSideLibrary)).c_str());
    LPVOID ownData = nullptr;
    LPVOID data = pdev->modelData;
    if (!data) data = ownData = LoadModelData(pdev->printer);
    HMODULE modelsmith = data ? LoadComponentDll(pdev->printer, data, kSelectModelsmith) : nullptr;
    auto play = Export<PFN_ZORPrintEMF>(player, "ZORPrintEMF");
    bool handed = false;
    if (play && modelsmith) {
        std::u16string working;
        GetWorkingFolder(pdev, &working);
        EmfJobRecord record = MakeEmfJobRecord(pdev->spoolId, pdev->combinedOutput != 0, printToFile, Ansi(working));
        ModelBlock block{modelsmith, data};
        play(&record, &block);
        handed = true;
    }
    if (modelsmith) FreeLibrary(modelsmith);
    if (player) FreeLibrary(player);
    if (ownData) GlobalFree(ownData);
    return handed;
}

BOOL StartEmfProcessorProgram(PDEV* pdev, bool printToFile, const std::u16string& driverFolder,
                              std::u16string* paramFile) {
    WCHAR temp[MAX_PATH + 1] = {};
    DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (!n || n > MAX_PATH) return FALSE;
    std::u16string folder(temp, n);
    if (pdev->osVersion > 0x5FFFF && !EndsWithLow(folder)) {
        folder += u"Low\\";
        CreateDirectoryW(folder.c_str(), nullptr);
    }
    char name[32];
    std::snprintf(name, sizeof name, "VLM%05lu.KPI", static_cast<unsigned long>(pdev->spoolId));
    std::u16string path = folder + Widen(name);
    std::u16string working;
    GetWorkingFolder(pdev, &working);
    EmfJobParamFile params =
        MakeEmfJobParamFile(pdev->combinedOutput != 0, printToFile, Ansi(working), Ansi(DataFilePath(pdev->printer)));
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    DWORD written = 0;
    BOOL ok = WriteFile(file, &params, sizeof params, &written, nullptr) && written == sizeof params;
    CloseHandle(file);
    if (!ok) {
        DeleteFileW(path.c_str());
        return FALSE;
    }
    std::u16string program = driverFolder + Widen(kSpoolSideProgram);
    char id[16];
    std::snprintf(id, sizeof id, "%lu", static_cast<unsigned long>(pdev->spoolId));
    std::u16string commandLine = u"\"" + program + u"\" " + Widen(id);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    BOOL started = FALSE;
    if (pdev->osVersion >= 0x60000) {
        if (HANDLE token = ConsoleUserToken()) {
            started = CreateProcessAsUserW(token, nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                           nullptr, &si, &pi);
            CloseHandle(token);
        }
    }
    if (!started)
        started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    if (!started) {
        DeleteFileW(path.c_str());
        return FALSE;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    if (paramFile) *paramFile = path;
    return TRUE;
}

} // namespace inkforge
