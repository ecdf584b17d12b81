// The readers of a recorded job: the base that keeps pages, device modes and
// names, the driver's own package and the spooler copies, and the factory.
#include <cstdio>
#include <cstring>

#include "driver_env.h"
#include "emf_job.h"
#include "model/model_queries.h"
#include "overlay_file.h"
#include "package_reader.h"
#include "spool_copies.h"
#include "spool_package.h"
#include "win/base.h"
#include "win/environment.h"
#include "win/files.h"
#include "win/spool.h"
#include "win/strings.h"

namespace metaweave {
namespace {

constexpr WORD kCurrentPrivateSize = PRIVATE_DEVMODE_SIZE;
constexpr WORD kOlderPrivateSize = PRIVATE_DEVMODE_SIZE_908;
constexpr DWORD kAnsiStandardMin = DEVMODEA_SIZE_320;

std::string Format(const char* pattern, const std::string& folder, DWORD id) {
    char name[32];
    std::snprintf(name, sizeof name, pattern, static_cast<unsigned long>(id));
    return folder + name;
}

// An ANSI device mode whose stated sizes fit its bytes.
bool DevmodeFits(const std::vector<BYTE>& dm) {
    if (dm.size() < kAnsiStandardMin) return false;
    const auto* d = reinterpret_cast<const DEVMODEA*>(dm.data());
    return d->dmSize >= kAnsiStandardMin && size_t{d->dmSize} + d->dmDriverExtra <= dm.size();
}

bool AllFit(const std::vector<std::vector<BYTE>>& devmodes) {
    for (const auto& dm : devmodes)
        if (!DevmodeFits(dm)) return false;
    return true;
}

} // namespace

PRIVATE_DEVMODE PrivateOf(const DEVMODEA* dm) {
    PRIVATE_DEVMODE priv{};
    if (!dm) return priv;
    const WORD extra = dm->dmDriverExtra;
    if (extra == kCurrentPrivateSize || extra == kOlderPrivateSize)
        std::memcpy(&priv, reinterpret_cast<const BYTE*>(dm) + dm->dmSize, extra);
    return priv;
}

bool IsCurrentLayout(const DEVMODEA* dm) {
    return dm && dm->dmDriverExtra == kCurrentPrivateSize;
}

bool PageSelected(DWORD selection, DWORD page) {
    switch (selection) {
    case 1:
        return page != 1;
    case 2:
        return page == 1;
    case 3:
        return page % 2 == 1;
    case 4:
        return page % 2 == 0;
    default:
        return true;
    }
}

CZorEmfFile::CZorEmfFile(DWORD kind) : kind_(kind) {
    gdi32_ = LoadLibraryA("GDI32.DLL");
    if (gdi32_) {
        addFont_ = reinterpret_cast<PFN_AddFontMemResourceEx>(
            reinterpret_cast<void (*)()>(GetProcAddress(gdi32_, "AddFontMemResourceEx")));
        removeFont_ = reinterpret_cast<PFN_RemoveFontMemResourceEx>(
            reinterpret_cast<void (*)()>(GetProcAddress(gdi32_, "RemoveFontMemResourceEx")));
    }
}

CZorEmfFile::~CZorEmfFile() {
    CZorEmfFile::Close();
    if (gdi32_) FreeLibrary(gdi32_);
}

void CZorEmfFile::SetModel(const ModelBlock& model) {
    model_ = model;
    query_ = model.modelsmith
                 ? reinterpret_cast<PFN_mdGetMyPrinterInfo>(reinterpret_cast<void (*)()>(
                       GetProcAddress(model.modelsmith, "mdGetMyPrinterInfo")))
                 : nullptr;
}

bool CZorEmfFile::Query(int code, int index, int layout, void* out, DWORD size) const {
    if (!query_ || !model_.modelData) return false;
    DWORD length = size, count = 0;
    return query_(model_.modelData, code, index, layout, out, &length, &count) == 0;
}

bool CZorEmfFile::QueryAll(int code, int index, int layout, std::vector<BYTE>* out) const {
    out->clear();
    if (!query_ || !model_.modelData) return false;
    DWORD length = 0, count = 0;
    if (query_(model_.modelData, code, index, layout, nullptr, &length, &count) != 0 || !length)
        return false;
    out->assign(length, 0);
    if (query_(model_.modelData, code, index, layout, out->data(), &length, &count) != 0) {
        out->clear();
        return false;
    }
    out->resize(std::min<size_t>(length, out->size()));
    return true;
}

BOOL CZorEmfFile::LoadModelSettings() {
    DWORD word = 0;
    if (Query(model::kQueryModelFlags, 0, model::layout::kFixedFirst, &word, sizeof word))
        modelFlags_ = word;
    BYTE booklet[16] = {};
    if (Query(model::kQueryBooklet, 0, model::layout::kFixedFirst, booklet, sizeof booklet))
        std::memcpy(booklet29_, booklet, 4);
    DWORD raster[3] = {};
    if (Query(model::kQueryRasterSettings, 0, model::layout::kFixedThird, raster, sizeof raster))
        oddDuplex_ = raster[2] == 1;
    word = 0;
    if (Query(model::kQuerySecondModelFlags, 0, model::layout::kFixedFirst, &word, sizeof word))
        modelFlags2_ = word;
    return TRUE;
}

void CZorEmfFile::SetWorkFolder(const std::string& folder) {
    workFolder_ = folder;
    workFolderCopy_ = folder;
}

std::string CZorEmfFile::SpoolFolder() const {
    return workFolder_ + "spool\\";
}

std::u16string CZorEmfFile::SpoolFolderW() const {
    const std::string folder = SpoolFolder();
    return sheetwright::AnsiToWide(folder.data(), folder.size());
}

BOOL CZorEmfFile::Open(DWORD spoolId, DWORD flags) {
    Close();
    spoolId_ = spoolId;
    flags_ = flags;
    currentPage_ = 0;
    return TRUE;
}

HENHMETAFILE CZorEmfFile::GetPageMetafile(DWORD) {
    return nullptr;
}

BOOL CZorEmfFile::SelectPage(DWORD page) {
    if (page == 0 || pages_.empty() || page > pages_.size()) return FALSE;
    if (page != currentPage_ && page_) {
        DeleteEnhMetaFile(page_);
        page_ = nullptr;
    }
    currentPage_ = page;
    return TRUE;
}

const DEVMODEA* CZorEmfFile::PageDevmode(DWORD page) const {
    if (page == 0 || page > pages_.size()) return nullptr;
    return reinterpret_cast<const DEVMODEA*>(devmodes_[pages_[page - 1].devmode].data());
}

// The job's device context is made for the first collection that prints:
// one that makes an overlay prints nothing.
HDC CZorEmfFile::CreateJobDC() {
    for (const auto& c : collections_)
        if (!c->makesOverlay()) return c->CreateDC();
    return nullptr;
}

BOOL CZorEmfFile::RestoreJobName(DWORD jobId) {
    if (restoreName_.empty()) return TRUE;
    if (!printer_) {
        PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
        if (!OpenPrinterA(const_cast<LPSTR>(printerName_.c_str()), &printer_, &defaults)) {
            printer_ = nullptr;
            return TRUE;
        }
    }
    DWORD needed = 0;
    GetJobA(printer_, jobId, 1, nullptr, 0, &needed);
    if (!needed) return TRUE;
    std::vector<BYTE> block(needed + restoreName_.size() + 1, 0);
    if (!GetJobA(printer_, jobId, 1, block.data(), needed, &needed)) return TRUE;
    auto* info = reinterpret_cast<JOB_INFO_1A*>(block.data());
    if (info->pDocument && restoreName_ == info->pDocument) return TRUE;
    char* copy = reinterpret_cast<char*>(block.data() + needed);
    std::memcpy(copy, restoreName_.c_str(), restoreName_.size() + 1);
    info->pDocument = copy;
    SetJobA(printer_, jobId, 1, block.data(), 0);
    return TRUE;
}

// The font file mapped read-only for the call, not read: the bytes are the
// system's to copy, so the file need not be in memory here.
HANDLE CZorEmfFile::AddMappedFont(const std::string& path) const {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    LARGE_INTEGER size{};
    HANDLE mapping = nullptr, added = nullptr;
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < (1LL << 31))
        mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping) {
        // The view is of the size asked, or none: a file cut short since
        // maps nothing.
        const auto length = static_cast<SIZE_T>(size.QuadPart);
        if (void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, length)) {
            DWORD faces = 0;
            added = addFont_(view, static_cast<DWORD>(length), nullptr, &faces);
            UnmapViewOfFile(view);
        }
        CloseHandle(mapping);
    }
    CloseHandle(file);
    return added;
}

void CZorEmfFile::LoadJobFonts() {
    std::vector<BYTE> list;
    const std::string spool = SpoolFolder();
    if (!addFont_ || !ReadFileWhole(Format("VLM%05lu.FON", spool, spoolId_), &list)) return;
    std::vector<spoolpkg::FontEntry> fonts;
    std::string error;
    if (!spoolpkg::ReadFontList(list.data(), list.size(), &fonts, &error)) return;
    for (const auto& font : fonts) {
        std::string path = sheetwright::WideToAnsiString(spoolpkg::FontFilePath(
            sheetwright::AnsiToWide(spool.data(), spool.size()), spoolId_, font.uniqueId));
        fonts_.push_back(AddMappedFont(path));
    }
}

void CZorEmfFile::UnloadJobFonts() {
    for (HANDLE f : fonts_)
        if (f && removeFont_) removeFont_(f);
    fonts_.clear();
}

void CZorEmfFile::Close() {
    if (page_) DeleteEnhMetaFile(page_);
    if (overlay_) DeleteEnhMetaFile(overlay_);
    page_ = overlay_ = nullptr;
    overlayName_.clear();
    UnloadJobFonts();
    pages_.clear();
    devmodes_.clear();
    collections_.clear();
    if (printer_) ClosePrinter(printer_);
    printer_ = nullptr;
    spoolId_ = flags_ = currentPage_ = 0;
    printerName_.clear();
    documentName_.clear();
    restoreName_.clear();
    workFolderCopy_.clear();
}

// ---------------------------------------------------------------------------

BOOL CZorEmfFileRTE::Open(DWORD spoolId, DWORD flags) {
    CZorEmfFile::Open(spoolId, flags);
    if (!(flags & kJobPackage)) return FALSE;
    opened_ = true;
    std::vector<BYTE> bytes;
    const std::string index = Format("VLM%05lu.SPL", SpoolFolder(), spoolId);
    if (!ReadFileWhole(index, &bytes)) {
        ShowPrintMessage(kMsgCannotRead);
        return FALSE;
    }
    spoolpkg::PackageIndex package;
    std::string error;
    if (!spoolpkg::ReadPackageIndex(bytes.data(), bytes.size(), &package, &error)) {
        ShowPrintMessage(kMsgCannotRead);
        return FALSE;
    }
    recordedPages_ = static_cast<DWORD>(package.pagePaths.size());
    if (!AllFit(package.devmodes)) {
        ShowPrintMessage(kMsgCannotRead);
        return FALSE;
    }
    devmodes_ = package.devmodes;
    printerName_ = package.printerName;
    documentName_ = package.documentName;
    // Each page takes the device mode recorded last before it; the count at
    // the head limits the pages (a first-page-only job counts one).
    size_t devmode = 0, page = 0, seen = 0;
    // The page files' folder in the wide form the player opens them by,
    // converted once: their own names are ASCII.
    const std::string folder = Format("VLM%05lu\\", SpoolFolder(), spoolId_);
    const std::u16string folderW = sheetwright::AnsiToWide(folder.data(), folder.size());
    for (const auto& r : package.records) {
        if (r.type == spoolpkg::kRecordDevmode) devmode = seen++;
        if (r.type != spoolpkg::kRecordPage) continue;
        if (pages_.size() < package.pageCount) {
            std::string file = OwnPageFile(package.pagePaths[page]);
            pageFilesW_.push_back(
                file.empty() ? std::u16string()
                             : folderW + std::u16string(file.begin() + folder.size(), file.end()));
            pages_.push_back({std::move(file), 0, devmode});
        }
        ++page;
    }
    return TRUE;
}

std::string CZorEmfFileRTE::OwnPageFile(const std::string& recorded) const {
    // Only a page file of this package is played: the recorded path's file
    // name, in the package's own page folder. Any other name plays nothing.
    const std::string name = recorded.substr(recorded.find_last_of("\\/") + 1);
    if (!spoolpkg::IsBareFileName(name) ||
        !spoolpkg::IsPackageFileName(sheetwright::AnsiToWide(name.data(), name.size())) ||
        name.size() < 3 || (name[0] != 'E' && name[0] != 'e'))
        return {};
    return Format("VLM%05lu\\", SpoolFolder(), spoolId_) + name;
}

HENHMETAFILE CZorEmfFileRTE::GetPageMetafile(DWORD page) {
    if (!SelectPage(page)) return nullptr;
    if (!page_ && !pageFilesW_[page - 1].empty())
        page_ = GetEnhMetaFileW(pageFilesW_[page - 1].c_str());
    return page_;
}

void CZorEmfFileRTE::Close() {
    if (page_) DeleteEnhMetaFile(page_);
    page_ = nullptr;
    // Only the package's own files go, by their fixed names, whatever the
    // index says its pages are.
    if (opened_)
        spoolpkg::DeleteSpoolPackage(SpoolFolderW(), spoolId_,
                                     std::max<DWORD>(recordedPages_, PageCount()));
    opened_ = false;
    recordedPages_ = 0;
    pageFilesW_.clear();
    CZorEmfFile::Close();
}

// ---------------------------------------------------------------------------

BOOL CZorEmfFileSpooler::Open(DWORD spoolId, DWORD flags) {
    CZorEmfFile::Open(spoolId, flags);
    shadowPath_ = Format("XLE%05lu.SHD", SpoolFolder(), spoolId);
    spoolPath_ = Format("XLE%05lu.SPL", SpoolFolder(), spoolId);
    const auto kind = static_cast<SpoolerKind>(kind_);
    std::vector<BYTE> shadow;
    std::string error;
    ShadowInfo info;
    SpoolContents contents;
    if (!ReadFileWhole(shadowPath_, &shadow) ||
        !ReadShadowFile(shadow.data(), shadow.size(), kind, &info, &error) ||
        !ReadFileWhole(spoolPath_, &spool_) ||
        !ReadSpoolFile(spool_.data(), spool_.size(), kind, info.devmode, info.pageCount, &contents,
                       &error)) {
        spool_.clear();
        ShowPrintMessage(kMsgCannotRead);
        return FALSE;
    }
    if (!AllFit(contents.devmodes)) {
        ShowPrintMessage(kMsgCannotRead);
        return FALSE;
    }
    printerName_ = info.printerName;
    restoreName_ = info.documentName;
    documentName_ = contents.documentName;
    devmodes_ = std::move(contents.devmodes);
    for (const auto& p : contents.pages)
        pages_.push_back({std::string(), p.recordOffset, p.devmode});
    return TRUE;
}

HENHMETAFILE CZorEmfFileSpooler::GetPageMetafile(DWORD page) {
    if (!SelectPage(page)) return nullptr;
    if (page_) return page_;
    const BYTE* bits = nullptr;
    size_t size = 0;
    std::string error;
    if (!PageRecordBits(spool_.data(), spool_.size(), pages_[page - 1].offset, &bits, &size,
                        &error)) {
        ShowPrintMessage(kMsgCannotRead);
        return nullptr;
    }
    page_ = SetEnhMetaFileBits(static_cast<UINT>(size), bits);
    return page_;
}

void CZorEmfFileSpooler::Close() {
    if (page_) DeleteEnhMetaFile(page_);
    page_ = nullptr;
    spool_.clear();
    if (!shadowPath_.empty()) DeleteFileA(shadowPath_.c_str());
    if (!spoolPath_.empty()) DeleteFileA(spoolPath_.c_str());
    shadowPath_.clear();
    spoolPath_.clear();
    CZorEmfFile::Close();
}

// ---------------------------------------------------------------------------

BOOL CZorEmfFile9x::Open(DWORD spoolId, DWORD flags) {
    CZorEmfFile::Open(spoolId, flags);
    char windows[MAX_PATH] = {};
    const UINT n = GetWindowsDirectoryA(windows, sizeof windows);
    std::string folder = n && n < sizeof windows ? std::string(windows, n) : std::string("C:");
    if (folder.back() != '\\') folder += '\\';
    path_ =
        Format(flags & kJobPackage ? "XLE%05lu.DAT" : "XLE%05lu.SPL", folder + "TEMP\\", spoolId);
    const bool fileCounts = (flags & (kJobPackage | kJobCountsPages)) != 0;
    std::vector<BYTE> bytes;
    Win9xContents contents;
    std::string error;
    if (!ReadFileWhole(path_, &bytes) ||
        !ReadWin9xSpoolFile(bytes.data(), bytes.size(), 0, &contents, &error) ||
        !AllFit(contents.devmodes)) {
        ShowPrintMessage(kMsgCannotRead);
        return FALSE;
    }
    // Only page files beside the spool file go at the close: the file names
    // them, and a name elsewhere is nothing this job made.
    for (const auto& p : contents.pages) {
        const size_t slash = p.path.rfind('\\');
        if (slash != std::string::npos && p.path.find("..") == std::string::npos &&
            lstrcmpiA(p.path.substr(0, slash + 1).c_str(), (folder + "TEMP\\").c_str()) == 0)
            pageFiles_.push_back(p.path);
    }
    // The printer is the one the names record gives, or the first mode's device.
    printerName_ = contents.printerName;
    if (printerName_.empty() && !contents.devmodes.empty()) {
        const auto* dm = reinterpret_cast<const DEVMODEA*>(contents.devmodes[0].data());
        printerName_.assign(
            reinterpret_cast<const char*>(dm->dmDeviceName),
            strnlen(reinterpret_cast<const char*>(dm->dmDeviceName), sizeof dm->dmDeviceName));
    }
    DWORD count = contents.pageCount;
    documentName_ = contents.documentName;
    if (!fileCounts) {
        // The spooler's job counts the pages and names the document.
        count = 0;
        documentName_ = "Untitled";
        HANDLE printer = nullptr;
        if (OpenPrinterA(const_cast<LPSTR>(printerName_.c_str()), &printer, nullptr)) {
            DWORD needed = 0;
            GetJobA(printer, spoolId, 1, nullptr, 0, &needed);
            std::vector<BYTE> job(needed);
            if (needed && GetJobA(printer, spoolId, 1, job.data(), needed, &needed)) {
                const auto* info = reinterpret_cast<const JOB_INFO_1A*>(job.data());
                count = info->TotalPages;
                if (info->pDocument && *info->pDocument) documentName_ = info->pDocument;
            }
            ClosePrinter(printer);
        }
    }
    devmodes_ = std::move(contents.devmodes);
    for (const auto& p : contents.pages)
        if (!count || pages_.size() < count) pages_.push_back({p.path, 0, p.devmode});
    return TRUE;
}

HENHMETAFILE CZorEmfFile9x::GetPageMetafile(DWORD page) {
    if (!SelectPage(page)) return nullptr;
    if (!page_) page_ = GetEnhMetaFileA(pages_[page - 1].path.c_str());
    return page_;
}

void CZorEmfFile9x::Close() {
    if (page_) DeleteEnhMetaFile(page_);
    page_ = nullptr;
    for (const auto& file : pageFiles_)
        DeleteFileA(file.c_str());
    pageFiles_.clear();
    if (!path_.empty()) {
        DeleteFileA(path_.c_str());
        // The copy of the same name in the working folder's spool folder.
        const size_t slash = path_.rfind('\\');
        if (!workFolder_.empty()) DeleteFileA((SpoolFolder() + path_.substr(slash + 1)).c_str());
    }
    path_.clear();
    CZorEmfFile::Close();
}

std::unique_ptr<CZorEmfFile> CreateEmfFile(const EmfJobRecord& record) {
    OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = sizeof v;
    if (!GetVersionExA(&v)) return nullptr;
    if (v.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && v.dwMajorVersion >= 4)
        return std::make_unique<CZorEmfFile9x>();
    if (v.dwPlatformId != VER_PLATFORM_WIN32_NT) return nullptr;
    if (v.dwMajorVersion < 4) return nullptr;
    if (v.dwMajorVersion == 4) return std::make_unique<CZorEmfFileNT>(kReaderNT4);
    if (record.flags & kJobPackage) {
        DWORD kind = v.dwMajorVersion == 5 && v.dwMinorVersion == 0 ? kReader2000 : kReaderXP;
        return std::make_unique<CZorEmfFileRTE>(kind);
    }
    if (v.dwMajorVersion == 5 && v.dwMinorVersion == 0)
        return std::make_unique<CZorEmfFile2K>(kReader2000);
    return std::make_unique<CZorEmfFileXP>(kReaderXP);
}

} // namespace metaweave
