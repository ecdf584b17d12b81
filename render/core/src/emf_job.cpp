#include "emf_job.h"

#include <cstring>
#include <new>
#include <vector>

#include "devmode_revision.h"
#include "model_access.h"
#include "output_files.h"
#include "pdev.h"
#include "sfnt_reader.h"
#include "system_access.h"
#include "win/base.h"
#include "win/resources.h"
#include "win/spool.h"
#include "win/user.h"
#include "working_folder.h"

namespace inkforge {
namespace {

bool Holds(DWORD error) {
    return error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_HANDLE_DISK_FULL ||
           error == ERROR_DISK_FULL;
}

void AnsiDevmode(const PDEV* pdev, uint8_t (&out)[spoolpkg::kAnsiDevmodeSize]) {
    AnsiDevmodeImage ansi{};
    DevmodeWToA(pdev->devmode, &ansi);
    static_assert(sizeof ansi == spoolpkg::kAnsiDevmodeSize);
    std::memcpy(out, &ansi, sizeof out);
}

std::u16string PrinterName(HANDLE printer) {
    std::vector<BYTE> info = PrinterInfo2(printer);
    if (info.empty()) return {};
    const auto* p = reinterpret_cast<const PRINTER_INFO_2W*>(info.data());
    return p->pPrinterName ? std::u16string(p->pPrinterName) : std::u16string();
}

// The printable area of the page in micrometres at the job's resolution:
// the surface's, which the engine's coordinates are in, whatever the device
// mode says by now.
spoolpkg::PageGeometry Geometry(const PDEV* pdev) {
    return spoolpkg::ComputePageGeometry(pdev->pageRight - pdev->pageLeft,
                                         pdev->pageBottom - pdev->pageTop, pdev->resolution);
}

// Big-endian words of the font file.
WORD Be16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<WORD>(b[at] << 8 | b[at + 1]);
}

// The printer interface library, whose string table holds the messages.
constexpr char kInterfaceLibrary[] = "Frontdoor.DLL";
// The box reaches the interactive desktop from the spooler's process.
constexpr UINT kServiceNotification = 0x00200000;

constexpr UINT kTitleString = 100;
struct ErrorMessage {
    DWORD shownMark;
    UINT string;
    const char16_t* text;
};
constexpr ErrorMessage kNoMemory{1, 104,
                                 u"Not enough memory. Close some application and retry printing "
                                 u"again."};
constexpr ErrorMessage kDiskFull{2, 102,
                                 u"There are not enough space in system drive.\n"
                                 u"Increase the disk space on the system drive (to remove "
                                 u"unnecessary files) and try again."};
constexpr ErrorMessage kFailed{4, 103, u"Failed to print a document."};

std::u16string LoadText(HMODULE library, UINT id, const char16_t* fallback) {
    WCHAR buf[512] = {};
    if (library && LoadStringW(library, id, buf, 512) > 0) return buf;
    return fallback;
}

} // namespace

bool RenameFontFile(std::vector<uint8_t>* font, const std::u16string& oldName,
                    const std::u16string& newName) {
    // The new name takes the old one's place in the string storage.
    if (newName.size() != oldName.size() || oldName.empty()) return false;
    std::vector<DWORD> members{0};
    if (SfntFont::IsCollection(font->data(), font->size())) {
        members.clear();
        if (font->size() < 12) return false;
        DWORD count = static_cast<DWORD>(Be16(*font, 8)) << 16 | Be16(*font, 10);
        for (DWORD i = 0; i < count && 12 + 4 * (i + 1) <= font->size(); ++i) {
            size_t at = 12 + 4 * i;
            members.push_back(static_cast<DWORD>(Be16(*font, at)) << 16 | Be16(*font, at + 2));
        }
    }
    bool renamed = false;
    for (DWORD member : members) {
        SfntFont reader;
        if (!reader.ParseFontTable(font->data(), font->size(), member)) continue;
        const SfntTable* name = reader.FindTrueTypeTable(SfntTag('n', 'a', 'm', 'e'));
        if (!name || name->length < 6) continue;
        std::vector<uint8_t>& b = *font;
        size_t base = name->offset, end = static_cast<size_t>(name->offset) + name->length;
        WORD count = Be16(b, base + 2);
        size_t strings = base + Be16(b, base + 4);
        bool changed = false;
        for (WORD i = 0; i < count; ++i) {
            size_t rec = base + 6 + 12 * static_cast<size_t>(i);
            if (rec + 12 > end) break;
            WORD platform = Be16(b, rec), nameId = Be16(b, rec + 6);
            WORD length = Be16(b, rec + 8), offset = Be16(b, rec + 10);
            size_t at = strings + offset;
            if (platform != 3 || (nameId != 1 && nameId != 4) || length != 2 * oldName.size() ||
                at + length > end)
                continue;
            bool same = true;
            for (size_t k = 0; k < oldName.size() && same; ++k)
                same = Be16(b, at + 2 * k) == oldName[k];
            if (!same) continue;
            for (size_t k = 0; k < newName.size(); ++k) {
                b[at + 2 * k] = static_cast<uint8_t>(newName[k] >> 8);
                b[at + 2 * k + 1] = static_cast<uint8_t>(newName[k]);
            }
            changed = true;
        }
        if (!changed) continue;
        // The table's checksum: the sum of its big-endian words, the last
        // one padded with zeros.
        DWORD sum = 0;
        for (size_t at = base; at < end; at += 4) {
            DWORD word = 0;
            for (size_t k = 0; k < 4; ++k)
                word = word << 8 | (at + k < end ? b[at + k] : 0);
            sum += word;
        }
        // The directory entry {tag, checksum, offset, length} of the table.
        DWORD numTables = Be16(b, member + 4);
        for (DWORD t = 0; t < numTables; ++t) {
            size_t entry = member + 12 + 16 * static_cast<size_t>(t);
            if (entry + 16 > b.size()) break;
            if ((static_cast<DWORD>(Be16(b, entry)) << 16 | Be16(b, entry + 2)) != name->tag)
                continue;
            for (int k = 0; k < 4; ++k)
                b[entry + 4 + k] = static_cast<uint8_t>(sum >> (24 - 8 * k));
        }
        renamed = true;
    }
    return renamed;
}

EmfJob* EmfJobOf(PDEV* pdev) {
    if (!pdev->emfJob) pdev->emfJob = new (std::nothrow) EmfJob;
    return pdev->emfJob;
}

void FreeEmfJob(PDEV* pdev) {
    delete pdev->emfJob;
    pdev->emfJob = nullptr;
}

void StoreJobError(PDEV* pdev, JobErrorSlot slot, DWORD error) {
    EmfJob* job = EmfJobOf(pdev);
    if (!job || !error) return;
    DWORD& held = job->errors[static_cast<int>(slot)];
    if (!Holds(held)) held = error;
}

bool RecordingPage(const PDEV* pdev) {
    return pdev->emfJob && pdev->emfJob->page.open();
}

BOOL CreateSpoolPackage(PDEV* pdev) {
    EmfJob* job = EmfJobOf(pdev);
    if (!job) return FALSE;
    std::u16string working;
    if (!GetWorkingFolder(pdev, &working)) {
        StoreJobError(pdev, JobErrorSlot::Package, ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    job->spoolFolder = spoolpkg::SpoolFolder(working);
    // A package the job never finishes is swept away at the next logon.
    AddCleanupRunOnce(pdev, job->spoolFolder);
    // The spooler fails the job of a writer that died at its next look, the
    // start of this job; it cannot know the driver's files, so the driver
    // removes here what such jobs left: the packages and print-to-file slots
    // marked by an owner that has ended. Those of a job running in another
    // process carry a live owner and stay; unmarked ones wait for the logon.
    spoolpkg::SweepDeadPackages(job->spoolFolder);
    SweepDeadOutputFiles(job->spoolFolder);
    job->layout = CopyLayoutInputs(pdev);
    uint8_t devmode[spoolpkg::kAnsiDevmodeSize];
    AnsiDevmode(pdev, devmode);
    DWORD e = job->package.Create(
        job->spoolFolder, pdev->jobId, devmode, PrinterName(pdev->printer),
        pdev->docName ? std::u16string(pdev->docName) : u"", job->owner.Token());
    if (e) {
        StoreJobError(pdev, JobErrorSlot::Package, e);
        return FALSE;
    }
    pdev->spoolId = job->package.spoolId();
    return TRUE;
}

BOOL WriteSpoolDevmode(PDEV* pdev) {
    EmfJob* job = EmfJobOf(pdev);
    if (!job) return FALSE;
    uint8_t devmode[spoolpkg::kAnsiDevmodeSize];
    AnsiDevmode(pdev, devmode);
    DWORD e = job->package.WriteDevmode(devmode);
    if (e) StoreJobError(pdev, JobErrorSlot::Package, e);
    return e ? FALSE : TRUE;
}

BOOL AppendSpoolPage(PDEV* pdev) {
    EmfJob* job = EmfJobOf(pdev);
    if (!job) return FALSE;
    DWORD e = job->package.AppendPage(pdev->pageCount);
    if (e) StoreJobError(pdev, JobErrorSlot::Package, e);
    return e ? FALSE : TRUE;
}

BOOL FinishSpoolFile(PDEV* pdev) {
    EmfJob* job = EmfJobOf(pdev);
    if (!job) return FALSE;
    DWORD pages = (pdev->firstPageOnly & 1) ? 1 : pdev->pageCount;
    DWORD e = job->package.Finish(pages);
    if (e) StoreJobError(pdev, JobErrorSlot::Package, e);
    // The spool-side program plays the package in its own process, after
    // this one may have ended: from here it is the program's.
    if (!e && (pdev->modelCaps & caps::SpoolSideProgram))
        spoolpkg::ReleasePackage(job->spoolFolder, job->package.spoolId(), job->owner.Token());
    return e ? FALSE : TRUE;
}

void RemoveJobFolder(PDEV* pdev) {
    if (pdev->emfJob) pdev->emfJob->package.RemoveJobFolder();
}

void DeleteSpoolPackage(PDEV* pdev) {
    EmfJob* job = pdev->emfJob;
    if (!job || job->spoolFolder.empty() || !job->package.spoolId()) return;
    job->page.Abandon();
    job->package.RemoveJobFolder();
    // Every page file that was begun goes, the open one included.
    DWORD pages = std::max(pdev->pageCount, job->openPage);
    spoolpkg::DeleteSpoolPackage(job->spoolFolder, job->package.spoolId(), pages);
}

BOOL OpenEmfPage(PDEV* pdev) {
    EmfJob* job = EmfJobOf(pdev);
    if (!job || !job->package.spoolId()) return FALSE;
    job->recorder.Reset();
    job->layoutScale = ComputeLayoutScale(pdev, job->layout);
    job->geometry = Geometry(pdev);
    job->openPage = pdev->pageCount;
    DWORD e = job->page.Open(
        spoolpkg::PagePath(job->spoolFolder, job->package.spoolId(), pdev->pageCount));
    if (e) {
        job->page.Abandon();
        StoreJobError(pdev, JobErrorSlot::PageWrite, e);
        return FALSE;
    }
    if (!WriteEmfHeader(pdev)) {
        job->page.Abandon();
        return FALSE;
    }
    pdev->pagePackageOpen = 1;
    return TRUE;
}

BOOL WriteEmfHeader(PDEV* pdev) {
    const EmfJob* job = pdev->emfJob;
    if (!job) return FALSE;
    const std::vector<uint8_t> header = spoolpkg::PageHeaderRecord(job->geometry);
    return WriteEmfData(pdev, header.data(), header.size(), true);
}

BOOL WriteEmfData(PDEV* pdev, const void* data, size_t length, bool countsAsRecord) {
    EmfJob* job = pdev->emfJob;
    if (!job || !job->page.open()) return FALSE;
    DWORD e = job->page.Write(data, length, countsAsRecord);
    if (e) StoreJobError(pdev, JobErrorSlot::PageWrite, e);
    return e ? FALSE : TRUE;
}

BOOL CloseEmfPage(PDEV* pdev) {
    EmfJob* job = pdev->emfJob;
    pdev->pagePackageOpen = 0;
    if (!job || !job->page.open()) return FALSE;
    DWORD e = job->page.Close(job->recorder.HandleCount());
    job->recorder.Reset();
    if (e) StoreJobError(pdev, JobErrorSlot::PageWrite, e);
    return e ? FALSE : TRUE;
}

BOOL AddJobFont(PDEV* pdev, FONTOBJ* pfo, WCHAR (&faceName)[spoolpkg::kFaceNameChars]) {
    EmfJob* job = EmfJobOf(pdev);
    if (!job || !pfo || !pfo->iTTUniq || !job->package.spoolId()) return FALSE;
    auto answer = [&](const std::u16string& face) {
        std::memset(faceName, 0, sizeof faceName);
        std::memcpy(faceName, face.data(),
                    std::min(face.size(), spoolpkg::kFaceNameChars - 1) * sizeof(WCHAR));
        return TRUE;
    };
    if (job->listedFontsSpoolId != job->package.spoolId()) {
        job->listedFonts.clear();
        job->listedFontsSpoolId = job->package.spoolId();
    }
    const auto id = static_cast<uint64_t>(pfo->iTTUniq);
    // A font already in the package: its recorded name, without a copy of
    // its file or a read of the list.
    if (auto listed = job->listedFonts.find(id); listed != job->listedFonts.end())
        return answer(listed->second);
    ULONG size = 0;
    const auto* file = static_cast<const uint8_t*>(FONTOBJ_pvTrueTypeFontFile(pfo, &size));
    if (!file || !size) return FALSE;
    spoolpkg::JobFont font;
    font.uniqueId = id;
    font.file = std::span<const uint8_t>(file, size);
    font.alwaysUnique = (pdev->modelCaps & caps::UniqueFontNames) != 0;
    font.seed = GetTickCount();
    std::u16string face(faceName, faceName + std::char_traits<char16_t>::length(faceName));
    if (!spoolpkg::AddJobFont(job->spoolFolder, job->package.spoolId(), std::move(font), &face,
                              RenameFontFile))
        return FALSE;
    job->listedFonts[id] = face;
    return answer(face);
}

void ShowPrintError(PDEV* pdev, DWORD error) {
    if (!error) return;
    const ErrorMessage& m = error == ERROR_NOT_ENOUGH_MEMORY ? kNoMemory
                            : (error == ERROR_HANDLE_DISK_FULL || error == ERROR_DISK_FULL)
                                ? kDiskFull
                                : kFailed;
    EmfJob* job = EmfJobOf(pdev);
    if (job) {
        if (job->shown & m.shownMark) return;
        job->shown |= m.shownMark;
    }
    HMODULE strings = nullptr;
    std::u16string folder;
    if (GetDriverDirectory(pdev->printer, &folder))
        strings = LoadLibraryExW((folder + WidenAscii(kInterfaceLibrary)).c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE);
    std::u16string title = LoadText(strings, kTitleString, u"Error");
    std::u16string text = LoadText(strings, m.string, m.text);
    if (strings) FreeLibrary(strings);
    MessageBoxW(nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONERROR | kServiceNotification);
}

} // namespace inkforge
