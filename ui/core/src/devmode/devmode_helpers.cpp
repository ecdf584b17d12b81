#include "devmode_helpers.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "devcomm/port_info.h"
#include "devcomm/devprobe.h"
#include "kinsoku_rules.h"
#include "model_codes.h"
#include "model_info.h"
#include "user_paper.h"
#include "win/base.h"
#include "win/environment.h"
#include "win/spool.h"

namespace sheetwright {
namespace {

using model::PaperLimitsAnswer;
using model::PaperRecordAnswer;

// The longest side a page may have in dots.
constexpr double kMaxDots = 32767.0;
constexpr DWORD kDefaultZoomMin = 25, kDefaultZoomMax = 400;
constexpr DWORD kDefaultDpi = 600;

WORD LimitsWord(CModelInfo& info, size_t offset) {
    return info.U16(offset);
}

} // namespace

// ---------------------------------------------------------------------------
// Model look-ups.

BOOL GetModelPaperSize(const ModelBlock* binding, WORD paper, WORD* width, WORD* length) {
    if (!width || !length || paper == 0 || paper > kLastModelPaper || paper == kCustomSizePaper)
        return FALSE;
    CModelInfo info(binding, model::kQueryPapers, paper, model::layout::kPaperRecord);
    if (!info.GetData()) {
        *width = *length = 0;
        return FALSE;
    }
    *width = info.U16(offsetof(PaperRecordAnswer, width));
    *length = info.U16(offsetof(PaperRecordAnswer, length));
    return TRUE;
}

WORD GetDefaultPaperId(const ModelBlock* binding, BOOL alternative) {
    CModelInfo info(binding, model::kQueryPapers, 0, model::layout::kPaperDefaults);
    if (!info.GetData()) return 1;
    return info.U16(alternative ? offsetof(model::PaperDefaultsAnswer, a4Region)
                                : offsetof(model::PaperDefaultsAnswer, letterRegion));
}

BOOL GetCustomPaperMaximum(const ModelBlock* binding, WORD* width, WORD* length, BOOL withLong) {
    if (!width || !length) return FALSE;
    CModelInfo custom(binding, model::kQueryCustomPaperLimits, 0, model::layout::kLimitsRecord);
    bool any = custom.GetData() != nullptr;
    if (any) {
        *width = LimitsWord(custom, offsetof(PaperLimitsAnswer, largestWidth));
        *length = LimitsWord(custom, offsetof(PaperLimitsAnswer, largestLength));
    }
    if (withLong) {
        CModelInfo longer(binding, model::kQueryLongPaperLimits, 0, model::layout::kLimitsRecord);
        if (longer.GetData()) {
            WORD w = LimitsWord(longer, offsetof(PaperLimitsAnswer, largestWidth));
            WORD l = LimitsWord(longer, offsetof(PaperLimitsAnswer, largestLength));
            *width = any ? std::max(*width, w) : w;
            *length = any ? std::max(*length, l) : l;
            any = true;
        }
    }
    return any;
}

BOOL GetCustomPaperMinimum(const ModelBlock* binding, WORD* width, WORD* length) {
    if (!width || !length) return FALSE;
    CModelInfo custom(binding, model::kQueryCustomPaperLimits, 0, model::layout::kLimitsRecord);
    CModelInfo longer(binding, model::kQueryLongPaperLimits, 0, model::layout::kLimitsRecord);
    bool haveCustom = custom.GetData() != nullptr, haveLong = longer.GetData() != nullptr;
    if (haveCustom) {
        *width = LimitsWord(custom, offsetof(PaperLimitsAnswer, smallestWidth));
        *length = LimitsWord(custom, offsetof(PaperLimitsAnswer, smallestLength));
    }
    if (haveLong) {
        WORD w = LimitsWord(longer, offsetof(PaperLimitsAnswer, smallestWidth));
        WORD l = LimitsWord(longer, offsetof(PaperLimitsAnswer, smallestLength));
        *width = haveCustom ? std::min(*width, w) : w;
        *length = haveCustom ? std::min(*length, l) : l;
    }
    return haveCustom || haveLong;
}

BOOL IsLongPaper(const ModelBlock* binding, double width, double length, BOOL inMillimetres) {
    CModelInfo longer(binding, model::kQueryLongPaperLimits, 0, model::layout::kLimitsRecord);
    CModelInfo custom(binding, model::kQueryCustomPaperLimits, 0, model::layout::kLimitsRecord);
    if (!longer.GetData() || !custom.GetData()) return FALSE;
    double longest = std::max(width, length);
    if (inMillimetres)
        return static_cast<long>(longest * 10) >
               custom.U16(offsetof(PaperLimitsAnswer, largestLength));
    return static_cast<long>(longest * 600) >
           custom.U16(offsetof(PaperLimitsAnswer, largestLength600));
}

BOOL GetPaperRecord(const ModelBlock* binding, const CUserPaper* papers, WORD paper,
                    PaperRecordAnswer* record) {
    if (!record) return FALSE;
    if (paper < kFirstUserPaper) {
        CModelInfo info(binding, model::kQueryPapers, paper, model::layout::kPaperRecord);
        auto* data = static_cast<const BYTE*>(info.GetData());
        if (!data) return FALSE;
        std::memset(record, 0, sizeof *record);
        std::memcpy(record, data, std::min<size_t>(info.Length(), sizeof *record));
        return TRUE;
    }
    const UserPaperRecord* user = papers ? papers->FindById(paper) : nullptr;
    bool isLong =
        user && IsLongPaper(binding, user->widthTenthMm / 10, user->lengthTenthMm / 10, TRUE);
    CModelInfo limits(binding,
                      isLong ? model::kQueryLongPaperLimits : model::kQueryCustomPaperLimits, 0,
                      model::layout::kLimitsRecord);
    auto* base = static_cast<const BYTE*>(limits.GetData());
    if (!base) return FALSE;
    PaperLimitsAnswer l{};
    std::memcpy(&l, base, std::min<size_t>(limits.Length(), sizeof l));
    std::memset(record, 0, sizeof *record);
    record->id = static_cast<std::int16_t>(paper);
    std::memcpy(record->margins, l.margins, sizeof l.margins);
    std::memcpy(record->turnedMargins, l.turnedMargins, sizeof l.turnedMargins);
    // From the flags on the two records agree field for field.
    std::memcpy(&record->flags, &l.flags,
                sizeof(PaperLimitsAnswer) - offsetof(PaperLimitsAnswer, flags));
    static_assert(sizeof(PaperRecordAnswer) - offsetof(PaperRecordAnswer, flags) ==
                  sizeof(PaperLimitsAnswer) - offsetof(PaperLimitsAnswer, flags));
    if (!user) return FALSE;
    record->slot2 = static_cast<LONG>(user->Unit()) > 0 ? 2 : 1;
    record->width = static_cast<std::int16_t>(user->widthTenthMm);
    record->length = static_cast<std::int16_t>(user->lengthTenthMm);
    record->widthDots = static_cast<std::int16_t>(user->widthHundredthIn * 6);
    record->lengthDots = static_cast<std::int16_t>(user->lengthHundredthIn * 6);
    record->turnedLength = record->length;
    record->turnedWidth = record->width;
    record->turnedLengthDots = record->lengthDots;
    record->turnedWidthDots = record->widthDots;
    return TRUE;
}

BOOL GetOutputPaperDimensions(const ModelBlock* binding, const DEVMODE_IMAGEW* image, WORD* width,
                              WORD* length) {
    if (!binding || !image || !width || !length) return FALSE;
    const PRIVATE_DEVMODE& priv = image->priv;
    const DEVMODEW& dm = image->dm;
    WORD w = 0, l = 0;
    if (priv.OutputPaperId && (priv.PrivateFlags & kOutputPaperOwnSize)) {
        w = static_cast<WORD>(priv.OutputPaperWidth);
        l = static_cast<WORD>(priv.OutputPaperLength);
    } else if (priv.OutputPaperId) {
        if (!GetModelPaperSize(binding, priv.OutputPaperId, &w, &l)) return FALSE;
    } else if (dm.dmFields & (DM_PAPERLENGTH | DM_PAPERWIDTH)) {
        w = static_cast<WORD>(dm.dmPaperWidth);
        l = static_cast<WORD>(dm.dmPaperLength);
    } else if (!GetModelPaperSize(binding, static_cast<WORD>(dm.dmPaperSize), &w, &l)) {
        return FALSE;
    }
    *width = w;
    *length = l;
    return TRUE;
}

BOOL GetZoomRange(const ModelBlock* binding, const CUserPaper* papers, const DEVMODE_IMAGEW* image,
                  DWORD dpi, DWORD* minimum, DWORD* maximum) {
    if (!image || !minimum || !maximum) return FALSE;
    *minimum = *maximum = 100;
    PaperRecordAnswer record{};
    double width, length;
    if (GetPaperRecord(binding, papers, static_cast<WORD>(image->dm.dmPaperSize), &record)) {
        width = static_cast<WORD>(record.width);
        length = static_cast<WORD>(record.length);
    } else if ((image->dm.dmFields & DM_PAPERWIDTH) && (image->dm.dmFields & DM_PAPERLENGTH)) {
        width = image->dm.dmPaperWidth;
        length = image->dm.dmPaperLength;
    } else {
        return FALSE;
    }
    double longest = std::max(width, length);
    if (dpi == 0) dpi = kDefaultDpi;
    double dots = longest / 254.0 * dpi;
    DWORD limit = dots > 0 ? static_cast<DWORD>(kMaxDots * 100.0 / dots) : kDefaultZoomMax;
    CModelInfo zoom(binding, model::kQueryZoom, 0, model::layout::kFixedFirst);
    if (zoom.GetData()) {
        *minimum = zoom.U16(offsetof(model::FixedWordShortsAnswer, first));
        *maximum = zoom.U16(offsetof(model::FixedWordShortsAnswer, second));
    } else {
        *minimum = kDefaultZoomMin;
        *maximum = kDefaultZoomMax;
    }
    if (*maximum > limit) *maximum = limit - limit % 5;
    return TRUE;
}

WORD GetPaperSourceNameId(const ModelBlock* binding, WORD source) {
    CModelInfo tray(binding, model::kQueryPaperSources, source, model::layout::kTrayList);
    if (tray.GetData()) return tray.U16(offsetof(model::IdNameAnswer, nameId));
    CModelInfo feeder(binding, model::kQueryTrayGroups, source, model::layout::kFeederTrayRecord);
    if (feeder.GetData()) return feeder.U16(offsetof(model::IdNameAnswer, nameId));
    return 0;
}

WORD GetMediaTypeNameId(const ModelBlock* binding, WORD media) {
    CModelInfo info(binding, model::kQueryMediaTypes, media, model::layout::kMediaList);
    return info.GetData() ? info.U16(offsetof(model::IdNameAnswer, nameId)) : 0;
}

BOOL ApplyModelDefaultFlags(const ModelBlock* binding, DWORD* flags) {
    if (!flags) return FALSE;
    CModelInfo info(binding, model::kQueryPortDefault, 0, model::layout::kFixedFirst);
    if (!info.GetData() && !(*flags & 0xF000)) *flags |= 0x4000;
    return TRUE;
}

DWORD UnmapModelCodeNine(DWORD code) {
    constexpr DWORD kModelCodes = 9;
    for (DWORD model = 1; model <= kModelCodes; ++model)
        if (MapModelCodeNine(model) == code) return model;
    return 0;
}

// ---------------------------------------------------------------------------
// Device-mode rules.

void FixOversizeOutputPaper(HANDLE printer, const ModelBlock* binding, const CUserPaper* papers,
                            DEVMODE_IMAGEW* image) {
    if (!image) return;
    PRIVATE_DEVMODE& priv = image->priv;
    WORD paper = priv.OutputPaperId ? priv.OutputPaperId : static_cast<WORD>(image->dm.dmPaperSize);
    if (!IsPaperOverMaxSize(binding, paper)) return;
    WORD candidate = 0;
    SHORT width = 0, length = 0;
    bool ownSize = false;
    DEVMODE_IMAGEW stored{};
    if (printer && ReadPrinterInfo2(printer, &stored)) {
        if (stored.priv.OutputPaperId) {
            candidate = stored.priv.OutputPaperId;
            width = stored.priv.OutputPaperWidth;
            length = stored.priv.OutputPaperLength;
            ownSize = (stored.priv.PrivateFlags & kOutputPaperOwnSize) != 0;
        } else {
            candidate = static_cast<WORD>(stored.dm.dmPaperSize);
            width = stored.dm.dmPaperWidth;
            length = stored.dm.dmPaperLength;
            ownSize = (stored.dm.dmFields & (DM_PAPERWIDTH | DM_PAPERLENGTH)) != 0;
        }
    }
    bool missingUser = candidate >= kFirstUserPaper && !(papers && papers->FindById(candidate));
    if (candidate == 0 || IsPaperOverMaxSize(binding, candidate) || missingUser) {
        candidate = GetDefaultPaperId(binding, (priv.MeasureFlags & kA4Region) != 0);
        width = length = 0;
        ownSize = false;
    }
    if (!candidate) return;
    priv.OutputPaperId = candidate;
    priv.OutputPaperWidth = width;
    priv.OutputPaperLength = length;
    if (ownSize)
        priv.PrivateFlags |= kOutputPaperOwnSize;
    else
        priv.PrivateFlags &= ~kOutputPaperOwnSize;
}

void SyncFitToPaperLayout(DEVMODE_IMAGEW* image) {
    if (!image) return;
    PRIVATE_DEVMODE& priv = image->priv;
    if (priv.OutputPaperId && priv.LayoutKind == 0)
        priv.LayoutKind = kLayoutFitToPaper;
    else if (!priv.OutputPaperId && priv.LayoutKind == kLayoutFitToPaper)
        priv.LayoutKind = 0;
}

BOOL IsValidPosterGrid(const DEVMODE_IMAGEW* image) {
    if (!image) return TRUE;
    WORD x = image->priv.PosterGrid[0], y = image->priv.PosterGrid[1];
    if (x == y && x >= 2 && x <= 4) return TRUE;
    if (image->dm.dmOrientation == DMORIENT_PORTRAIT) return x == 1 && y == 2;
    if (image->dm.dmOrientation == DMORIENT_LANDSCAPE) return x == 2 && y == 1;
    return FALSE;
}

void NormalizePosterGrid(DEVMODE_IMAGEW* image) {
    if (!image) return;
    WORD* grid = image->priv.PosterGrid;
    WORD lo = std::min(grid[0], grid[1]), hi = std::max(grid[0], grid[1]);
    if (image->dm.dmOrientation == DMORIENT_PORTRAIT) {
        grid[0] = lo;
        grid[1] = hi;
    } else if (image->dm.dmOrientation == DMORIENT_LANDSCAPE) {
        grid[0] = hi;
        grid[1] = lo;
    }
    if (!IsValidPosterGrid(image)) grid[0] = grid[1] = 2;
}

WORD GetEffectiveOrientation(const DEVMODE_IMAGEW* image) {
    if (!image) return DMORIENT_PORTRAIT;
    const PRIVATE_DEVMODE& priv = image->priv;
    WORD orientation = static_cast<WORD>(image->dm.dmOrientation);
    bool turned = false;
    if (!(priv.EmfMode & 0x4)) {
        WORD n = priv.PagesPerSheet;
        turned = (priv.LayoutKind == kLayoutPagesPerSheet && (n == 2 || n == 6 || n == 8)) ||
                 priv.LayoutKind == kLayoutBooklet ||
                 (priv.LayoutKind == kLayoutPoster && priv.PosterGrid[0] != priv.PosterGrid[1]);
    }
    if (turned) {
        if (orientation == DMORIENT_PORTRAIT) return DMORIENT_LANDSCAPE;
        if (orientation == DMORIENT_LANDSCAPE) return DMORIENT_PORTRAIT;
    }
    return orientation;
}

// ---------------------------------------------------------------------------
// Port, printer and system.

SelPortInfo* CallMakeSelPortInfo(const ModelBlock* binding, LPCWSTR portName) {
    if (!binding || !portName) return nullptr;
    CModelInfo component(binding, model::kQueryComponents, 1, model::layout::kComponentList);
    auto* entry = static_cast<const model::ComponentAnswer*>(component.GetData());
    if (!entry || component.Length() < sizeof *entry) return nullptr;
    std::u16string fileName =
        ComponentFileName(entry->kind, entry->nameTemplate, sizeof entry->nameTemplate);
    component.Release();
    HMODULE devprobe = LoadModuleBeside(binding->modelsmith, fileName.c_str());
    if (!devprobe) return nullptr;
    SelPortInfo* record = nullptr;
    auto make = reinterpret_cast<PFN_MPMakeSelPortInfo>(
        reinterpret_cast<void (*)()>(GetProcAddress(devprobe, "MPMakeSelPortInfo")));
    if (make) {
        char ansi[256] = {};
        WideToAnsi(ansi, portName, sizeof ansi);
        record = make(ansi, 0);
    }
    FreeLibrary(devprobe);
    return record;
}

BOOL LoadSelPortInfo(const ModelBlock* binding, LPCWSTR portName, SelPortHolder* info) {
    if (!info) return FALSE;
    std::memset(info, 0, sizeof *info);
    if (!binding || !portName) return FALSE;
    info->record = CallMakeSelPortInfo(binding, portName);
    if (!info->record) return FALSE;
    info->connection = static_cast<DWORD>(info->record->connection);
    if (info->record->kind >= SELPORT_KIND_FULL) {
        std::memcpy(info->address, info->record->address, sizeof info->address - 1);
        info->address[sizeof info->address - 1] = 0;
    }
    if (info->connection == 3 || info->connection == 4)
        info->addressKind = !info->address[0]                 ? kPortAddressEmpty
                            : std::strchr(info->address, ':') ? kPortAddressWithPort
                                                              : kPortAddressHost;
    return TRUE;
}

BOOL FreeSelPortInfo(SelPortHolder* info) {
    if (!info) return FALSE;
    if (info->record) GlobalFree(info->record);
    info->record = nullptr;
    info->connection = 0;
    info->address[0] = 0;
    return TRUE;
}

BOOL HasPortCapability(const SelPortHolder* info, DWORD capabilities) {
    if (!info) return FALSE;
    DWORD bit;
    switch (info->connection) {
    case 1:
        bit = 0x1000;
        break;
    case 2:
        bit = 0x2000;
        break;
    case 3:
        bit = 0x4000;
        break;
    case 4:
        bit = 0x8000;
        break;
    default:
        return FALSE;
    }
    if (!(capabilities & bit)) return FALSE;
    if (info->addressKind == kPortAddressEmpty) return FALSE;
    if (info->addressKind == kPortAddressWithPort) return (capabilities & 0x10000) != 0;
    return TRUE;
}

BOOL GetPrinterPortName(HANDLE printer, LPWSTR out) {
    if (!out) return FALSE;
    out[0] = 0;
    std::vector<BYTE> block = PrinterInfo2(printer);
    if (block.empty()) return TRUE;
    auto* info = reinterpret_cast<PRINTER_INFO_2W*>(block.data());
    std::u16string name;
    if (info->pServerName && info->pServerName[0])
        name = std::u16string(info->pServerName) + std::u16string(u"\\");
    if (info->pPortName) name += info->pPortName;
    name.resize(std::min<size_t>(name.size(), kPortNameCapacity - 1));
    std::memcpy(out, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
    return TRUE;
}

namespace {
BOOL NameToAnsi(BOOL(WINAPI* get)(LPWSTR, LPDWORD), DWORD capacity, char out[32]) {
    std::memset(out, 0, 32);
    std::vector<WCHAR> name(capacity + 1);
    DWORD size = capacity + 1;
    if (!get(name.data(), &size)) return FALSE;
    name[capacity] = 0;
    WideToAnsi(out, name.data(), 32);
    return TRUE;
}
} // namespace

BOOL GetComputerNameAnsi(char out[32]) {
    return out && NameToAnsi(GetComputerNameW, MAX_COMPUTERNAME_LENGTH, out);
}

BOOL GetUserNameAnsi(char out[32]) {
    return out && NameToAnsi(GetUserNameW, 256, out);
}

BOOL IsLocalPrinter(HANDLE printer) {
    DWORD needed = 0;
    GetPrinterW(printer, 5, nullptr, 0, &needed);
    if (needed < sizeof(PRINTER_INFO_5W)) return FALSE;
    std::vector<BYTE> block(needed);
    if (!GetPrinterW(printer, 5, block.data(), needed, &needed)) return FALSE;
    DWORD attributes = reinterpret_cast<PRINTER_INFO_5W*>(block.data())->Attributes;
    return (attributes & PRINTER_ATTRIBUTE_LOCAL) && !(attributes & PRINTER_ATTRIBUTE_NETWORK);
}

DWORD GetWindowsVersionClass() {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExW(&version)) return 0x400000;
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT) return 0x20000;
    if (version.dwMajorVersion == 4) return 0x80000;
    if (version.dwMajorVersion == 5 && version.dwMinorVersion == 0) return 0x100000;
    return 0x400000;
}

namespace {
constexpr char16_t kShellFolderLibrary[] = u"shfolder.dll";
constexpr char kFolderPathExport[] = "SHGetFolderPathA";
typedef decltype(&SHGetFolderPathA) PFN_SHGetFolderPathA;
constexpr DWORD kLongestUserName = 256;
constexpr DWORD kFirstProfilesUnderRoot = 5; // system major version

// The shell's own answer; FALSE when the library, its export or the call fails.
BOOL ShellDocumentsFolder(std::u16string* out) {
    HMODULE shell = LoadLibraryW(kShellFolderLibrary);
    if (!shell) return FALSE;
    BOOL ok = FALSE;
    auto ask = reinterpret_cast<PFN_SHGetFolderPathA>(
        reinterpret_cast<void (*)()>(GetProcAddress(shell, kFolderPathExport)));
    char path[MAX_PATH] = {};
    if (ask && SUCCEEDED(ask(nullptr, CSIDL_PERSONAL, nullptr, 0, path))) {
        *out = AnsiToWide(path, strnlen(path, MAX_PATH));
        ok = TRUE;
    }
    FreeLibrary(shell);
    return ok;
}
} // namespace

BOOL GetMyDocumentsFolder(std::u16string* out) {
    if (!out) return FALSE;
    if (ShellDocumentsFolder(out)) return TRUE;
    // Without the shell: the profile folder of the system's era, built from
    // the Windows folder's drive and the user's name.
    WCHAR windows[MAX_PATH] = {};
    const UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
    std::u16string path = n > 0 && n < MAX_PATH ? std::u16string(windows, n) : u"C:";
    if (!path.empty() && path.back() == u'\\') path.pop_back();
    WCHAR user[kLongestUserName + 1] = {};
    DWORD size = kLongestUserName + 1;
    if (GetUserNameW(user, &size)) {
        OSVERSIONINFOW version{};
        version.dwOSVersionInfoSize = sizeof version;
        if (GetVersionExW(&version) && version.dwMajorVersion < kFirstProfilesUnderRoot)
            path += u"\\Profiles\\";
        else
            path = path.substr(0, 2) + u"\\Documents and Settings\\";
        path += user;
    }
    *out = path + u"\\My Documents\\";
    return TRUE;
}

HMODULE LoadModuleBeside(HMODULE module, LPCWSTR fileName) {
    if (!module || !fileName) return nullptr;
    WCHAR path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    std::u16string full(path, length);
    size_t slash = full.find_last_of(u"\\/");
    full =
        (slash == std::u16string::npos ? std::u16string() : full.substr(0, slash + 1)) + fileName;
    return LoadLibraryW(full.c_str());
}

} // namespace sheetwright
