// Spool-side hand-offs at the end of a recorded job.
#include "spool_handoff.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "model_access.h"
#include "pdev.h"
#include "system_access.h"
#include "text_convert.h"
#include "win/base.h"
#include "win/spool.h"
#include "working_folder.h"

namespace inkforge {
namespace {

void PutAnsi(CHAR* field, size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

bool EndsWithLow(const std::u16string& folder) {
    if (folder.size() < 4) return false;
    std::u16string tail = folder.substr(folder.size() - 4);
    for (auto& c : tail)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return tail == u"LOW\\";
}

} // namespace

EmfJobRecord MakeEmfJobRecord(DWORD spoolId, bool combined, bool printToFile,
                              const std::string& workingFolder) {
    EmfJobRecord r{};
    r.spoolId = spoolId;
    r.flags = kEmfJobAlways | (combined ? kEmfJobCombined : 0) | (printToFile ? kEmfJobToFile : 0);
    PutAnsi(r.workingFolder, sizeof r.workingFolder, workingFolder);
    return r;
}

EmfJobParamFile MakeEmfJobParamFile(bool combined, bool printToFile,
                                    const std::string& workingFolder,
                                    const std::string& modelDataPath) {
    EmfJobParamFile p{};
    p.version = 1;
    p.flags = kEmfJobAlways | (combined ? kEmfJobCombined : 0) | (printToFile ? kEmfJobToFile : 0);
    PutAnsi(p.workingFolder, sizeof p.workingFolder, workingFolder);
    PutAnsi(p.modelDataPath, sizeof p.modelDataPath, modelDataPath);
    return p;
}

bool HandOffToMetaweave(PDEV* pdev, bool printToFile, bool* replayed) {
    std::u16string folder;
    if (!GetDriverDirectory(pdev->printer, &folder)) return false;
    HMODULE player = LoadLibraryW((folder + WidenAscii(kSpoolSideLibrary)).c_str());
    LPVOID ownData = nullptr;
    LPVOID data = pdev->modelData;
    if (!data) data = ownData = LoadModelData(pdev->printer);
    HMODULE modelsmith = data ? LoadComponentDll(pdev->printer, data, kSelectModelsmith) : nullptr;
    auto play = Export<PFN_ZORPrintEMF>(player, "ZORPrintEMF");
    bool handed = false;
    if (play && modelsmith) {
        std::u16string working;
        GetWorkingFolder(pdev, &working);
        EmfJobRecord record = MakeEmfJobRecord(pdev->spoolId, pdev->combinedOutput != 0,
                                               printToFile, ToAnsi(working));
        ModelBlock block{modelsmith, data};
        SetLastError(ERROR_SUCCESS);
        handed = true;
        // The replay's result is the document's: a failed replay fails it.
        if (replayed)
            *replayed = play(&record, &block) != 0;
        else
            play(&record, &block);
    }
    const DWORD error = GetLastError();
    if (modelsmith) FreeLibrary(modelsmith);
    if (player) FreeLibrary(player);
    if (ownData) GlobalFree(ownData);
    SetLastError(error);
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
    std::u16string path = folder + WidenAscii(name);
    std::u16string working;
    GetWorkingFolder(pdev, &working);
    EmfJobParamFile params =
        MakeEmfJobParamFile(pdev->combinedOutput != 0, printToFile, ToAnsi(working),
                            ToAnsi(DataFilePath(pdev->printer)));
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    DWORD written = 0;
    BOOL ok =
        WriteFile(file, &params, sizeof params, &written, nullptr) && written == sizeof params;
    CloseHandle(file);
    if (!ok) {
        DeleteFileW(path.c_str());
        return FALSE;
    }
    std::u16string program = driverFolder + WidenAscii(kSpoolSideProgram);
    char id[16];
    std::snprintf(id, sizeof id, "%lu", static_cast<unsigned long>(pdev->spoolId));
    std::u16string commandLine = u"\"" + program + u"\" " + WidenAscii(id);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    BOOL started = FALSE;
    if (pdev->osVersion >= 0x60000) {
        if (HANDLE token = ConsoleUserToken()) {
            started = CreateProcessAsUserW(token, nullptr, commandLine.data(), nullptr, nullptr,
                                           FALSE, 0, nullptr, nullptr, &si, &pi);
            CloseHandle(token);
        }
    }
    if (!started)
        started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &si, &pi);
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
