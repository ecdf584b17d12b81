// Job prompts and the department-code and prior-print step of the first page.
//
// Prompts and the prior-print check run in the job-prompt program, started in
// the interactive console user's session with the name of a shared memory
// block as its only argument. The block is created exclusively and is private
// to this user: one that exists already (left over, or made by someone else)
// is refused rather than reused.
//
// The program is waited for at most kPromptWaitTimeout. A person who walks
// away from a prompt must not hold the engine's thread, and with it the
// printer's queue, forever; after the time-out the program is ended and the
// prompt counts as refused (the job counts its pages and prints nothing).
#include "job_handoffs.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "hooks.h"
#include "model_access.h"
#include "pdev.h"
#include "system_access.h"
#include "prompt_blocks.h"
#include "text_convert.h"
#include "ui/job_prompt_records.h"
#include "ui/sheetwright.h"
#include "win/base.h"
#include "win/spool.h"

namespace inkforge {
namespace {

constexpr size_t kMaxCommandLine = 1040;
constexpr DWORD kEndWait = 5000;

std::u16string ModulePath(HMODULE module) {
    if (!module) return {};
    WCHAR path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
    return n && n < MAX_PATH ? std::u16string(path, n) : std::u16string();
}

// Sheetwright's path: the bound module's, else loaded for the question.
std::u16string UiLibraryPath(PDEV* pdev) {
    if (pdev->sheetwright) return ModulePath(pdev->sheetwright);
    HMODULE ui = pdev->modelData
                     ? LoadComponentDll(pdev->printer, pdev->modelData, kSelectSheetwright)
                     : nullptr;
    std::u16string path = ModulePath(ui);
    if (ui) FreeLibrary(ui);
    return path;
}

// A new named block of `size` bytes, private to this user; null when it
// cannot be made or the name is taken already.
HANDLE CreateBlock(const std::u16string& name, size_t size) {
    SECURITY_ATTRIBUTES sa{};
    sa.nLength = sizeof sa;
    sa.lpSecurityDescriptor = nullptr; // the default: the owner alone
    sa.bInheritHandle = FALSE;
    SetLastError(0);
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, &sa, PAGE_READWRITE, 0,
                                        static_cast<DWORD>(size), name.c_str());
    if (mapping && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mapping);
        SetLastError(ERROR_ALREADY_EXISTS);
        return nullptr;
    }
    return mapping;
}

bool WriteBlock(HANDLE mapping, const std::vector<BYTE>& bytes) {
    void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, bytes.size());
    if (!view) return false;
    std::memcpy(view, bytes.data(), bytes.size());
    UnmapViewOfFile(view);
    return true;
}

std::vector<BYTE> ReadBlock(HANDLE mapping, size_t size) {
    std::vector<BYTE> bytes;
    const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, size);
    if (!view) return bytes;
    bytes.assign(static_cast<const BYTE*>(view), static_cast<const BYTE*>(view) + size);
    UnmapViewOfFile(view);
    return bytes;
}

enum class RunResult { Ended, NotStarted, TimedOut, Failed };

// Starts the program with the block name and waits for it, at most the
// time-out; a program still running then is ended.
RunResult RunProgram(const std::u16string& program, const std::u16string& blockName, bool asUser,
                     DWORD flags, bool showWindow) {
    std::u16string commandLine = u"\"" + program + u"\" " + blockName;
    if (commandLine.size() > kMaxCommandLine) return RunResult::NotStarted;
    STARTUPINFOW si{};
    if (showWindow) {
        GetStartupInfoW(&si);
        si.dwFlags |= STARTF_USESHOWWINDOW;
        si.wShowWindow = SW_SHOW;
    }
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    BOOL started = FALSE;
    if (asUser) {
        HANDLE token = ConsoleUserToken();
        if (token) {
            started = CreateProcessAsUserW(
                token, program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                flags | (showWindow ? CREATE_NEW_CONSOLE : 0), nullptr, nullptr, &si, &pi);
            CloseHandle(token);
        }
    }
    if (!started)
        started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                 showWindow ? 0 : flags, nullptr, nullptr, &si, &pi);
    if (!started) return RunResult::NotStarted;
    DWORD wait = WaitForSingleObject(pi.hProcess, kPromptWaitTimeout);
    RunResult result = RunResult::Ended;
    if (wait == WAIT_TIMEOUT) {
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, kEndWait);
        result = RunResult::TimedOut;
    } else if (wait != WAIT_OBJECT_0) {
        result = RunResult::Failed;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return result;
}

bool SkipsPrompts(const PDEV* pdev) {
    return (pdev->modeFlags & mode::SpoolSide) && !(pdev->modeFlags & mode::ByInterface);
}

} // namespace

std::u16string JobPromptPath() {
    std::u16string own = ModulePath(DriverModule());
    size_t slash = own.rfind(u'\\');
    if (slash == std::u16string::npos) return {};
    return own.substr(0, slash + 1) + WidenAscii(kJobPromptProgram);
}

std::u16string JobPromptBlockName(DWORD jobId) {
    char name[32];
    std::snprintf(name, sizeof name, "VELMJOB%04u", static_cast<unsigned>(jobId));
    return WidenAscii(name);
}

std::u16string PreCheckBlockName(DWORD jobId) {
    char name[48];
    std::snprintf(name, sizeof name, "PRECHECK_MAPPING_NAME_%05u", static_cast<unsigned>(jobId));
    return WidenAscii(name);
}

int StartJobPrompt(PDEV* pdev, int kind) {
    if (kind != kPromptJobData && kind != kPromptDeptCode && kind != kPromptCombined) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 2;
    }
    std::u16string program = JobPromptPath();
    if (program.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 2;
    }
    std::vector<BYTE> info = PrinterInfo2(pdev->printer);
    LPCWSTR printer = info.empty()
                          ? nullptr
                          : reinterpret_cast<const PRINTER_INFO_2W*>(info.data())->pPrinterName;
    std::string printerName = printer ? ToAnsi(printer) : std::string();
    PromptPaths paths{UiLibraryPath(pdev), DataFilePath(pdev->printer)};
    std::vector<BYTE> block = BuildJobPromptBlock(
        kind, pdev->devmode, (pdev->jobFlags & job::AskJobData) != 0, paths, printerName);
    std::u16string name = JobPromptBlockName(pdev->jobId);
    HANDLE mapping = CreateBlock(name, block.size());
    if (!mapping) return 2;
    int result = 2;
    if (WriteBlock(mapping, block)) {
        RunResult run = RunProgram(program, name, pdev->osVersion >= 0x60000, 0, true);
        if (run == RunResult::Ended) {
            std::vector<BYTE> back = ReadBlock(mapping, block.size());
            INT done = 0;
            if (back.size() >= sizeof(JobPromptMapping)) {
                std::memcpy(&done, back.data() + offsetof(JobPromptMapping, done), sizeof done);
                result = done ? 0 : 1;
            } // else the answer cannot be read back: failed, not refused
            if (done) TakeJobPromptAnswers(kind, back.data(), back.size(), &pdev->devmode);
        } else if (run == RunResult::TimedOut) {
            result = 1;
        }
    }
    DWORD error = GetLastError();
    CloseHandle(mapping);
    if (result == 1) pdev->jobFlags |= job::PromptRefused;
    if (result == 2) SetLastError(error ? error : static_cast<DWORD>(ERROR_CAN_NOT_COMPLETE));
    return result;
}

namespace {

// The prior-print check through the job-prompt program; -1 when it cannot be
// prepared (the check then runs in this process).
int PreCheckThroughProgram(PDEV* pdev, const std::u16string& printer, const std::u16string& port) {
    std::u16string program = JobPromptPath();
    PromptPaths paths{UiLibraryPath(pdev), DataFilePath(pdev->printer)};
    if (program.empty() || GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES ||
        paths.uiLibrary.empty() || paths.modelData.empty())
        return -1;
    std::vector<BYTE> block = BuildPreCheckBlock(pdev->devmode, paths, printer, port);
    std::u16string name = PreCheckBlockName(pdev->jobId);
    HANDLE mapping = CreateBlock(name, block.size());
    if (!mapping) return 1;
    int result = 1;
    if (WriteBlock(mapping, block)) {
        RunResult run =
            RunProgram(program, name, pdev->osVersion > 0x5FFFF, NORMAL_PRIORITY_CLASS, false);
        if (run == RunResult::Ended) {
            std::vector<BYTE> back = ReadBlock(mapping, block.size());
            INT answer = 1;
            if (back.size() >= sizeof(PreCheckMapping))
                std::memcpy(&answer, back.data() + offsetof(PreCheckMapping, result),
                            sizeof answer);
            result = answer ? 1 : 0;
            if (result) TakePreCheckDevmode(back.data(), back.size(), &pdev->devmode);
        } else if (run == RunResult::TimedOut) {
            // Nobody answered the check: the job does not print unattended.
            result = 0;
        }
    }
    CloseHandle(mapping);
    return result;
}

} // namespace

int RunDeptCodeStep(PDEV* pdev) {
    if (pdev->printToDisk || SkipsPrompts(pdev) || !pdev->modelData) return 1;
    HMODULE sheetwright = LoadComponentDll(pdev->printer, pdev->modelData, kSelectSheetwright);
    if (!sheetwright) return 1;
    if (pdev->modelsmith) {
        ModelBlock block{pdev->modelsmith, pdev->modelData};
        if (auto get = Export<PFN_uiGetDeptCode>(sheetwright, "uiGetDeptCode"))
            get(&block, &pdev->devmode.dm);
    }
    int result = 1;
    WORD colorBefore = PrivU16(pdev->devmode, priv::ColorMode);
    if (PrivBit(pdev->devmode, priv::JobCheckFlags, 3) &&
        PrivU16(pdev->devmode, priv::PriorPrintOn) != 0) {
        std::vector<BYTE> info = PrinterInfo2(pdev->printer);
        std::u16string printer, port;
        if (!info.empty()) {
            const auto* p2 = reinterpret_cast<const PRINTER_INFO_2W*>(info.data());
            if (p2->pPrinterName) printer = p2->pPrinterName;
            if (p2->pServerName && p2->pServerName[0])
                port = std::u16string(p2->pServerName) + u"\\";
            if (p2->pPortName) port += p2->pPortName;
        }
        result = PreCheckThroughProgram(pdev, printer, port);
        if (result < 0) {
            auto check = Export<PFN_uiCheckPriorPrint>(sheetwright, "uiCheckPriorPrint");
            result = check ? (check(pdev->printer, nullptr, port.c_str(), &pdev->devmode.dm,
                                    pdev->devmode.priv, pdev->modelData, 1)
                                  ? 1
                                  : 0)
                           : 1;
        }
    }
    if (PrivU16(pdev->devmode, priv::ColorMode) != colorBefore) {
        pdev->reapply = TRUE;
        pdev->reapplyColorMode = PrivU16(pdev->devmode, priv::ColorMode);
        pdev->reapplyIcmMethod = pdev->devmode.dm.dmICMMethod;
        pdev->reapplyColorModeAlt = PrivU16(pdev->devmode, priv::ColorModeAlt);
    }
    FreeLibrary(sheetwright);
    return result;
}

int PreCheckCancel(PDEV* pdev) {
    if (!pdev->modelData) return 0;
    HMODULE sheetwright = LoadComponentDll(pdev->printer, pdev->modelData, kSelectSheetwright);
    auto pre = Export<PFN_uiPreCheckCancelJob>(sheetwright, "uiPreCheckCancelJob");
    ULONGLONG cookie = pdev->precheckCookie;
    int taken = pre && pre(pdev->modelData, &cookie, 0) ? 1 : 0;
    if (taken) {
        if (pdev->precheckLibrary) FreeLibrary(pdev->precheckLibrary);
        pdev->precheckLibrary = sheetwright;
        pdev->precheckCookie = cookie;
    } else if (sheetwright) {
        FreeLibrary(sheetwright);
    }
    return taken;
}

int PostCheckCancel(PDEV* pdev) {
    HMODULE sheetwright = pdev->precheckLibrary;
    pdev->precheckLibrary = nullptr;
    if (!sheetwright && pdev->modelData)
        sheetwright = LoadComponentDll(pdev->printer, pdev->modelData, kSelectSheetwright);
    auto post = Export<PFN_uiPostCheckCancelJob>(sheetwright, "uiPostCheckCancelJob");
    int result = post ? post(pdev->modelData, &pdev->precheckCookie, 1) : 1;
    if (sheetwright) FreeLibrary(sheetwright);
    return result;
}

} // namespace inkforge
