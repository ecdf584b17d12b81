// The job and its pages: DrvStartDoc, DrvStartPage, DrvSendPage, DrvEndDoc.
// A job takes one of three roads: direct (rendered into the printer stream),
// spool-side (pages recorded as metafiles into a spool package that the
// spool-side library or program plays at the end of the document), or
// counted only (a refused prompt or prior-print check: pages are counted and
// nothing is printed).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "emf_job.h"
#include "font_download.h"
#include "hooks.h"
#include "job_handoffs.h"
#include "model_access.h"
#include "output_files.h"
#include "output_writer.h"
#include "pdev.h"
#include "pjl.h"
#include "spool_handoff.h"
#include "spool_package.h"
#include "stream_commands.h"
#include "system_access.h"
#include "text_convert.h"
#include "ui/sheetwright.h"
#include "working_folder.h"
#include "win/base.h"
#include "win/spool.h"

namespace inkforge {
namespace {

PDEV* Enter(SURFOBJ* pso) {
    PDEV* pdev = CheckedPdev(pso);
    if (!pdev) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // No poll happens while the job and page calls write.
    pdev->pollSurface = nullptr;
    return pdev;
}

// A passing failure noted while the job was being worked on (a setting read
// as a default for want of memory, say) ends the job as a failed write does.
bool TookFailure(PDEV* pdev) {
    DWORD error = TakeCallFailure();
    if (!error) return false;
    pdev->jobFlags |= job::Cancelled;
    SetLastError(error);
    return true;
}

std::u16string ComputerName() {
    WCHAR name[MAX_COMPUTERNAME_LENGTH + 2] = {};
    DWORD n = MAX_COMPUTERNAME_LENGTH + 2;
    return GetComputerNameW(name, &n) ? std::u16string(name) : std::u16string();
}

// User and machine of the job as the spooler has them.
bool SetJobNames(PDEV* pdev) {
    std::u16string user, machine;
    DWORD needed = 0;
    GetJobW(pdev->printer, pdev->jobId, 2, nullptr, 0, &needed);
    std::vector<BYTE> buf(needed);
    if (needed && GetJobW(pdev->printer, pdev->jobId, 2, buf.data(), needed, &needed)) {
        const auto* info = reinterpret_cast<const JOB_INFO_2W*>(buf.data());
        if (info->pUserName) user = info->pUserName;
        if (info->pMachineName && info->pMachineName[0]) {
            machine = info->pMachineName;
            machine.erase(0, std::min<size_t>(2, machine.size()));
        } else {
            machine = ComputerName();
        }
    } else {
        WCHAR name[UNLEN + 1] = {};
        DWORD n = UNLEN + 1;
        if (GetUserNameW(name, &n)) user = name;
        machine = ComputerName();
    }
    HeapFreeString(pdev, &pdev->userName);
    HeapFreeString(pdev, &pdev->machineName);
    pdev->userName = HeapString(pdev, user.c_str());
    pdev->machineName = HeapString(pdev, machine.c_str());
    return pdev->userName && pdev->machineName;
}

DWORD VersionWord() {
    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof v;
    if (!GetVersionExW(&v) || v.dwPlatformId != VER_PLATFORM_WIN32_NT) return 0;
    return (v.dwMajorVersion << 16) | (v.dwMinorVersion & 0xFFFF);
}

bool CountOnly(PDEV* pdev) {
    ++pdev->pageCount;
    return true;
}

// The spooler reports the job as deleting or deleted: it was cancelled from outside.
bool JobBeingDeleted(PDEV* pdev) {
    DWORD needed = 0;
    GetJobW(pdev->printer, pdev->jobId, 1, nullptr, 0, &needed);
    std::vector<BYTE> buf(needed);
    if (!needed || !GetJobW(pdev->printer, pdev->jobId, 1, buf.data(), needed, &needed))
        return false;
    if (!(reinterpret_cast<const JOB_INFO_1W*>(buf.data())->Status & 0x104)) return false;
    pdev->jobFlags |= job::Cancelled;
    return true;
}

// An output file name (escape 32767) that names an existing file on a drive
// or a share: the job goes to disk, and the department-code step is skipped.
bool PrintsToDisk(LPCWSTR name) {
    if (!name) return false;
    std::u16string n(name);
    if (n.find(u"\\\\") == std::u16string::npos && n.find(u":\\") == std::u16string::npos)
        return false;
    HANDLE file = CreateFileW(name, 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    DWORD attributes = GetFileAttributesW(name);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

enum class PromptOutcome { Answered, Refused, Failed };

// Job prompts of the first page.
PromptOutcome RunPrompts(PDEV* pdev) {
    if ((pdev->modeFlags & mode::SpoolSide) && !(pdev->modeFlags & mode::ByInterface))
        return PromptOutcome::Answered;
    int kinds = 0;
    if (pdev->jobFlags & job::AskJobData) kinds |= kPromptJobData;
    if (PrivU32(pdev->devmode, priv::JobInfoFlags) & 0x30000) kinds |= kPromptJobInfo;
    if (PrivU16(pdev->devmode, priv::DeptCounterFlags) & 4) kinds |= kPromptDeptCode;
    if ((pdev->modelCaps & caps::CombinedPrompt) && kinds) kinds = kPromptCombined;
    for (int kind : {kPromptJobData, kPromptDeptCode, kPromptCombined}) {
        if (!(kinds & kind)) continue;
        int result = StartJobPrompt(pdev, kind);
        if (result == 1) return PromptOutcome::Refused;
        if (result != 0) return PromptOutcome::Failed;
    }
    return PromptOutcome::Answered;
}

// The spool-side road records pages on Windows 2000 and later.
bool RecordsPackage(const PDEV* pdev) {
    return (pdev->modeFlags & mode::SpoolSide) && pdev->docStarted && pdev->osVersion > 0x4FFFF;
}

// A spool-side error ends the recording: it is shown once, and every later
// page is only counted.
BOOL SpoolSideFailure(PDEV* pdev, JobErrorSlot slot) {
    EmfJob* job = pdev->emfJob;
    ShowPrintError(pdev, job ? job->errors[static_cast<int>(slot)] : ERROR_NOT_ENOUGH_MEMORY);
    if (job) job->errors[static_cast<int>(slot)] = 0;
    pdev->jobFlags |= job::PromptRefused;
    return FALSE;
}

// The package's page start: the package at the first page, a devmode record
// when the device mode changed, then the page file.
BOOL StartPackagePage(PDEV* pdev) {
    if (pdev->pageCount == 1) {
        if (!CreateSpoolPackage(pdev)) return SpoolSideFailure(pdev, JobErrorSlot::Package);
    } else if (!WriteSpoolDevmode(pdev)) {
        DeleteSpoolPackage(pdev);
        return SpoolSideFailure(pdev, JobErrorSlot::Package);
    }
    if (!OpenEmfPage(pdev)) {
        FinishSpoolFile(pdev);
        DeleteSpoolPackage(pdev);
        return SpoolSideFailure(pdev, JobErrorSlot::PageWrite);
    }
    return TRUE;
}

// The spooler's own folder of job files: the local server's
// "DefaultSpoolDirectory", else the system folder's "spool\Printers".
std::u16string SpoolerFilesFolder() {
    HANDLE server = nullptr;
    PRINTER_DEFAULTSW access{nullptr, nullptr, SERVER_READ};
    std::u16string folder;
    if (OpenPrinterW(nullptr, &server, &access)) {
        DWORD type = 0, needed = 0;
        WCHAR name[MAX_PATH] = {};
        if (GetPrinterDataW(server, const_cast<LPWSTR>(u"DefaultSpoolDirectory"), &type,
                            reinterpret_cast<BYTE*>(name), sizeof name - sizeof(WCHAR),
                            &needed) == ERROR_SUCCESS)
            folder = name;
        ClosePrinter(server);
    }
    if (folder.empty()) {
        WCHAR system[MAX_PATH] = {};
        const UINT n = GetSystemDirectoryW(system, MAX_PATH);
        if (n && n < MAX_PATH) folder = std::u16string(system) + u"\\spool\\Printers";
    }
    return folder;
}

std::u16string Numbered(const char* format, DWORD id) {
    char name[32];
    std::snprintf(name, sizeof name, format, static_cast<unsigned>(id));
    return std::u16string(name, name + std::strlen(name));
}

// Earlier systems play the spooler's own files of the job: they are copied
// to "XLE%05d.SPL" and "XLE%05d.SHD" in the working folder's spool folder
// (made, and the copy tried once more, when it is missing).
bool CopySpoolerJobFiles(PDEV* pdev) {
    const std::u16string from = SpoolerFilesFolder();
    std::u16string working;
    if (from.empty() || !GetWorkingFolder(pdev, &working)) return false;
    const std::u16string to = spoolpkg::SpoolFolder(working);
    const struct {
        const char* spooler;
        const char* copy;
    } kFiles[] = {{"\\%05u.spl", "XLE%05u.SPL"}, {"\\%05u.shd", "XLE%05u.SHD"}};
    for (const auto& f : kFiles) {
        const std::u16string source = from + Numbered(f.spooler, pdev->spoolId);
        const std::u16string target = to + Numbered(f.copy, pdev->spoolId);
        if (CopyFileW(source.c_str(), target.c_str(), FALSE)) continue;
        if (!spoolpkg::CreateFolderWithParents(to) ||
            !CopyFileW(source.c_str(), target.c_str(), FALSE))
            return false;
    }
    return true;
}

} // namespace

BOOL APIENTRY DrvStartDoc(SURFOBJ* pso, LPWSTR docName, DWORD jobId) {
    PDEV* pdev = Enter(pso);
    if (!pdev) return FALSE;
    pdev->jobFlags |= job::Started;
    if (pdev->jobFlags & job::CarriedOver) return TRUE;
    pdev->pageCount = 0;
    pdev->devicePageCount = 0;
    pdev->lastPage = PageCommandState{};
    pdev->blank.side = pdev->blank.emitted = 0;
    pdev->blank.havePrevious = false;
    pdev->jobFlags &= ~(job::HeaderWritten | job::PageOpen);
    HeapFreeString(pdev, &pdev->docName);
    pdev->docName = HeapString(pdev, docName);
    pdev->spoolId = pdev->jobId = jobId;
    FreeEmfJob(pdev);
    bool ok = (!docName || pdev->docName) && SetJobNames(pdev);
    pdev->docStarted = 1;
    pdev->osVersion = VersionWord();
    if (!ok) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    if (ok && TookFailure(pdev)) ok = false;
    return ok ? TRUE : FALSE;
}

BOOL APIENTRY DrvStartPage(SURFOBJ* pso) {
    PDEV* pdev = Enter(pso);
    if (!pdev) return FALSE;
    if (TookFailure(pdev) || (pdev->jobFlags & job::Cancelled)) return FALSE;
    if (pdev->jobFlags & job::PromptRefused) return CountOnly(pdev);
    if (pdev->pageCount == 0) {
        if (PrintsToDisk(pdev->outputFile)) pdev->printToDisk = 1;
        pdev->firstPageOnly = PrivU32(pdev->devmode, priv::OverlayFlags);
    } else if (pdev->firstPageOnly & 1) {
        return CountOnly(pdev);
    }
    if (pdev->pageCount == 0 && pdev->docStarted) {
        switch (RunPrompts(pdev)) {
        case PromptOutcome::Answered:
            break;
        case PromptOutcome::Refused:
            pdev->jobFlags |= job::PromptRefused;
            return CountOnly(pdev);
        case PromptOutcome::Failed:
            // Nobody was asked: the job prints nothing, as after a refusal,
            // but the application hears that it failed (with the hand-off's
            // error) rather than that it printed.
            pdev->jobFlags |= job::Cancelled;
            return FALSE;
        }
        if (RunDeptCodeStep(pdev)) {
            RestartAbortTimer(pdev);
        } else if (PreCheckCancel(pdev)) {
            pdev->jobFlags |= job::PreCheckTaken;
            return CountOnly(pdev);
        } else {
            pdev->jobFlags |= job::Cancelled;
            return FALSE;
        }
    }
    if (pdev->pageCount > 0 && (pdev->jobFlags & job::PreCheckTaken)) return CountOnly(pdev);
    if (RecordsPackage(pdev)) {
        ++pdev->pageCount;
        pdev->jobFlags |= job::PageOpen;
        return StartPackagePage(pdev);
    }
    if (pdev->modeFlags & mode::SpoolSide) return CountOnly(pdev);
    if (pdev->jobFlags & job::PageOpen) return TRUE;

    const DevmodeImage& d = pdev->devmode;
    bool firstPage = pdev->pageCount == 0;
    if (firstPage && !(pdev->jobFlags & job::HeaderWritten)) {
        WriteUel(pdev);
        WriteJobHeader(pdev);
        if ((d.dm.dmCollate == 1 && (d.dm.dmFields & DM_COLLATE)) ||
            (PrivU16(d, priv::CollateByDriver) == 1 && PrivBit(d, priv::PrivateFlags, 15)) ||
            (PrivBit(d, priv::PrivateFlags, 24) && PrivU16(d, priv::JobType) == 1))
            pdev->jobFlags |= job::FlushAfterEnd;
        pdev->jobFlags |= job::HeaderWritten;
    }
    if (firstPage || (pdev->jobFlags & job::CarriedOver)) {
        if (!WriteJobCommands(pdev)) return FALSE;
        pdev->jobFlags &= ~job::CarriedOver;
    }
    pdev->jobFlags |= job::PageOpen;
    ++pdev->pageCount;
    ++pdev->devicePageCount;
    WritePageCommands(pdev, pdev->pageCount == 1);
    return TookFailure(pdev) ? FALSE : TRUE;
}

BOOL APIENTRY DrvSendPage(SURFOBJ* pso) {
    PDEV* pdev = Enter(pso);
    if (!pdev) return FALSE;
    if (!(pdev->jobFlags & job::PageOpen)) return TRUE;
    pdev->jobFlags &= ~job::PageOpen;
    if ((pdev->firstPageOnly & 1) && pdev->pageCount > 1) return TookFailure(pdev) ? FALSE : TRUE;
    if (RecordsPackage(pdev)) {
        if (!(pdev->jobFlags & job::Cancelled)) JobBeingDeleted(pdev);
        bool closed = RecordingPage(pdev) && CloseEmfPage(pdev);
        if (!closed || !AppendSpoolPage(pdev)) {
            DeleteSpoolPackage(pdev);
            return SpoolSideFailure(pdev, closed ? JobErrorSlot::Package : JobErrorSlot::PageWrite);
        }
        return TRUE;
    }
    if (pdev->modeFlags & mode::SpoolSide) return TRUE;
    WritePageEnd(pdev);
    return TookFailure(pdev) ? FALSE : TRUE;
}

BOOL APIENTRY DrvEndDoc(SURFOBJ* pso, FLONG fl) {
    PDEV* pdev = Enter(pso);
    if (!pdev) return FALSE;
    // An aborted document's package is never handed on to print.
    if ((fl & ED_ABORTDOC) && (pdev->modeFlags & mode::SpoolSide)) pdev->jobFlags |= job::Cancelled;
    if (pdev->jobFlags & job::PromptRefused) {
        pdev->jobFlags &=
            ~(job::Started | job::HeaderWritten | job::CarriedOver | job::PromptRefused);
        return TRUE;
    }
    if (pdev->jobFlags & job::PreCheckTaken) {
        PostCheckCancel(pdev);
        pdev->jobFlags &=
            ~(job::Started | job::HeaderWritten | job::CarriedOver | job::PreCheckTaken);
        return TRUE;
    }
    if ((pdev->modeFlags & mode::SpoolSide) && pdev->osVersion < 0x50000 && !pdev->docStarted &&
        pdev->pageCount > 0 && !(pdev->jobFlags & (job::Cancelled | job::PageOpen)) &&
        !JobBeingDeleted(pdev)) {
        // Earlier systems: the spooler's files are copied for the spool side.
        std::u16string folder;
        const bool handed =
            CopySpoolerJobFiles(pdev) && ((pdev->modelCaps & caps::SpoolSideProgram)
                                              ? GetDriverDirectory(pdev->printer, &folder) &&
                                                    StartEmfProcessorProgram(pdev, false, folder)
                                              : HandOffToMetaweave(pdev, false));
        pdev->jobFlags &= ~(job::Started | job::HeaderWritten | job::CarriedOver);
        if (handed) return TRUE;
        // Nobody will play the job: it printed nothing, and that is told.
        const DWORD error = GetLastError();
        ShowPrintError(pdev, ERROR_CAN_NOT_COMPLETE);
        SetLastError(error ? error : static_cast<DWORD>(ERROR_CAN_NOT_COMPLETE));
        return FALSE;
    }
    if (pdev->modeFlags & mode::SpoolSide) {
        const bool recorded = RecordsPackage(pdev) && pdev->emfJob;
        if (pdev->pageCount > 0 && !(pdev->jobFlags & (job::Cancelled | job::PageOpen)) &&
            !JobBeingDeleted(pdev) && pdev->osVersion >= 0x50000 && recorded &&
            pdev->emfJob->package.open()) {
            if (RecordingPage(pdev) && !CloseEmfPage(pdev)) {
                DeleteSpoolPackage(pdev);
                SpoolSideFailure(pdev, JobErrorSlot::PageWrite);
                pdev->jobFlags &=
                    ~(job::Started | job::HeaderWritten | job::CarriedOver | job::PromptRefused);
                return FALSE;
            }
            if (!FinishSpoolFile(pdev)) {
                DeleteSpoolPackage(pdev);
                SpoolSideFailure(pdev, JobErrorSlot::Package);
                pdev->jobFlags &=
                    ~(job::Started | job::HeaderWritten | job::CarriedOver | job::PromptRefused);
                return FALSE;
            }
            const bool printToFile = AddOutputFileEntry(pdev);
            if (pdev->printToDisk == 1 && pdev->outputFile && !printToFile) {
                // A job for a file that could not book its file would go to
                // the printer instead: it fails, and says why.
                DeleteSpoolPackage(pdev);
                ShowPrintError(pdev, ERROR_CAN_NOT_COMPLETE);
                pdev->jobFlags &=
                    ~(job::Started | job::HeaderWritten | job::PageOpen | job::CarriedOver);
                SetLastError(ERROR_CAN_NOT_COMPLETE);
                return FALSE;
            }
            std::u16string folder;
            bool handed, replayed = true;
            if (pdev->modelCaps & caps::SpoolSideProgram)
                handed = GetDriverDirectory(pdev->printer, &folder) &&
                         StartEmfProcessorProgram(pdev, printToFile, folder);
            else
                handed = HandOffToMetaweave(pdev, printToFile, &replayed);
            if (handed && !replayed) {
                // The spool side told the person already and removed the package.
                DWORD error = GetLastError();
                pdev->jobFlags &=
                    ~(job::Started | job::HeaderWritten | job::PageOpen | job::CarriedOver);
                SetLastError(error ? error : static_cast<DWORD>(ERROR_CAN_NOT_COMPLETE));
                return FALSE;
            }
            if (!handed) {
                // Nobody will play the package: the job printed nothing, and
                // the application and the person hear of it.
                DWORD error = GetLastError();
                DeleteSpoolPackage(pdev);
                ShowPrintError(pdev, ERROR_CAN_NOT_COMPLETE);
                pdev->jobFlags &=
                    ~(job::Started | job::HeaderWritten | job::PageOpen | job::CarriedOver);
                SetLastError(error ? error : static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
                return FALSE;
            }
        } else if (recorded) {
            // No page, a cancel or a page still open: the package goes.
            if (pdev->emfJob->package.open()) FinishSpoolFile(pdev);
            DeleteSpoolPackage(pdev);
        }
        pdev->jobFlags &= ~(job::Started | job::HeaderWritten | job::PageOpen | job::CarriedOver);
        return TRUE;
    }
    // The printer forgets downloaded fonts with the job.
    RetireDownloadedFonts(pdev);
    if (pdev->jobFlags & job::HeaderWritten) WriteJobFooter(pdev);
    TookFailure(pdev);
    // A write that failed (or a cancel) lost part of the job: the end says so.
    // The spooler deletes such a job rather than print its part.
    const bool lost = (pdev->jobFlags & job::Cancelled) != 0;
    if (lost && pdev->printer && pdev->jobId)
        SetJobW(pdev->printer, pdev->jobId, 0, nullptr, JOB_CONTROL_DELETE);
    pdev->jobFlags &= ~(job::Started | job::HeaderWritten | job::CarriedOver);
    if (pdev->modelData && pdev->modelsmith && pdev->sheetwright) {
        auto set = Export<PFN_uiSetDeptCode>(pdev->sheetwright, "uiSetDeptCode");
        if (!(PrivU16(pdev->devmode, priv::DeptCounterFlags) & 2))
            std::memset(pdev->devmode.priv + priv::DeptCode, 0, priv::JobTextSize);
        std::vector<BYTE> info = PrinterInfo2(pdev->printer);
        if (!info.empty())
            CopyWideField(pdev->devmode.dm.dmDeviceName, CCHDEVICENAME,
                          reinterpret_cast<const PRINTER_INFO_2W*>(info.data())->pPrinterName);
        ModelBlock block{pdev->modelsmith, pdev->modelData};
        if (set) set(&block, &pdev->devmode.dm);
    }
    return lost ? FALSE : TRUE;
}

} // namespace inkforge
