// Banding: the engine renders each band of the page into the banding bitmap
// (24, 8 or 1 bit); every finished band is turned into 1-bit rows (24 to 8
// bit gray, then 8 bit to 1 bit through a threshold matrix, both by the tone
// library) and collected in the page's 1-bit image, which goes out as one
// JBIG image at the page's last band. The job holds the page's 1-bit image,
// one band and the band-sized conversion buffers; nothing else.
#include <algorithm>
#include <cstring>
#include <string>

#include "band_dump.h"
#include "emf_job.h"
#include "hooks.h"
#include "imaging_hooks.h"
#include "imaging_state.h"
#include "output_writer.h"
#include "pdev.h"
#include "raster_encode.h"
#include "render_lookups.h"
#include "row_compress.h"
#include "stream_commands.h"
#include "win/base.h"
#include "devmode_private.h"

namespace inkforge {
namespace {

constexpr char kToneLibrary[] = "TONEMILL.DLL";
constexpr WORD kHalftoneOrdered = 1;
constexpr WORD kHalftoneFlat = 8;
constexpr size_t kThresholdLevel = offsetof(PRIVATE_DEVMODE, ThresholdLevel);
constexpr BYTE kWhiteByte = 0xFF;

// The ordered pattern of the 8-to-1 step. Every level 1 to 64 stands once,
// so that each gray step darkens exactly one more cell.
constexpr BYTE kBandBase[8][8] = {
    {6, 16, 52, 58, 63, 48, 22, 8},   {18, 30, 34, 42, 50, 40, 32, 20},
    {46, 38, 26, 10, 12, 29, 36, 54}, {62, 56, 24, 1, 4, 14, 44, 60},
    {64, 47, 21, 7, 5, 15, 51, 57},   {49, 39, 31, 19, 17, 28, 33, 41},
    {11, 27, 35, 53, 45, 37, 25, 9},  {3, 13, 43, 59, 61, 55, 23, 2},
};

std::u16string LibraryFolder() {
    WCHAR path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(DriverModule(), path, MAX_PATH);
    if (!n || n >= MAX_PATH) return {};
    std::u16string file(path, n);
    size_t slash = file.rfind(u'\\');
    return slash == std::u16string::npos ? std::u16string() : file.substr(0, slash + 1);
}

std::u16string Wide(const char* s) {
    std::u16string w;
    for (; *s; ++s)
        w += static_cast<char16_t>(*s);
    return w;
}

template <class F> F Bind(HMODULE m, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(m, name)));
}

bool LoadToneLibrary(ImagingState* st) {
    if (st->tonemill) return true;
    std::u16string folder = LibraryFolder();
    if (folder.empty()) return false;
    st->tonemill = LoadLibraryW((folder + Wide(kToneLibrary)).c_str());
    if (!st->tonemill) return false;
    st->toMono = Bind<PFN_icImageTypeConvertToBWDitherHalftone_speed>(
        st->tonemill, "icImageTypeConvertToBWDitherHalftone_speed");
    st->toGray = Bind<PFN_icImageTypeConvertTo256Gray_speed>(st->tonemill,
                                                             "icImageTypeConvertTo256Gray_speed");
    st->gammaInv = Bind<PFN_icGammaInv>(st->tonemill, "icGammaInv");
    st->allWhite = Bind<PFN_icAllWhiteCheck>(st->tonemill, "icAllWhiteCheck");
    return true;
}

void FreeBuffer(BYTE** p) {
    if (*p) GlobalFree(*p);
    *p = nullptr;
}

// The tests every band call makes first; false: answer without doing anything.
enum class Gate { Fail, Skip, Go };
Gate BandGate(PDEV* pdev) {
    if (!pdev) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return Gate::Fail;
    }
    if (pdev->jobFlags & job::Cancelled) return Gate::Fail;
    if ((pdev->jobFlags & (job::PromptRefused | job::PreCheckTaken)) ||
        ((pdev->firstPageOnly & 1) && pdev->pageCount > 1))
        return Gate::Skip;
    return Gate::Go;
}

void FillWhite(SURFOBJ* band) {
    if (!band || !band->pvScan0) return;
    for (LONG y = 0; y < band->sizlBitmap.cy; ++y)
        std::memset(static_cast<BYTE*>(band->pvScan0) + static_cast<LONGLONG>(y) * band->lDelta,
                    kWhiteByte, static_cast<size_t>(std::abs(band->lDelta)));
}

DWORD PageStride(const ImagingState* st) {
    return static_cast<DWORD>(st->pageWidth) / 8;
}

bool EnsurePage(ImagingState* st) {
    if (st->pageBits) return true;
    st->pageBits = static_cast<BYTE*>(GlobalAlloc(
        GMEM_FIXED, static_cast<size_t>(PageStride(st)) * static_cast<size_t>(st->pageHeight)));
    return st->pageBits != nullptr;
}

// The page's accumulated bytes: `rows` rows added at the band top, less
// both overlap counts.
void CountBandRows(ImagingState* st, LONG rows) {
    if (rows <= 0) return;
    const DWORD pageStride = PageStride(st);
    DWORD bytes = static_cast<DWORD>(rows) * pageStride;
    DWORD overlap = (st->overlapTop + st->overlapBottom) * pageStride;
    st->pageBytes += bytes > overlap ? bytes - overlap : 0;
}

// The band's rows that lie above the page end.
LONG RowsOnPage(const ImagingState* st, LONG bandRows) {
    return std::max<LONG>(
        0, std::min<LONG>(bandRows, st->pageHeight - static_cast<LONG>(st->bandTop)));
}

// Rows of a 1-bit band (stride bytes each) into the page at the band top,
// only those above the page end.
void AddBandRows(ImagingState* st, const BYTE* rows, LONG stride, LONG count) {
    if (!st->pageBits) return;
    const DWORD pageStride = PageStride(st);
    LONG top = static_cast<LONG>(st->bandTop);
    LONG n = RowsOnPage(st, count);
    const DWORD copy = std::min<DWORD>(pageStride, static_cast<DWORD>(std::abs(stride)));
    for (LONG y = 0; y < n; ++y)
        std::memcpy(st->pageBits + static_cast<size_t>(top + y) * pageStride,
                    rows + static_cast<LONGLONG>(y) * stride, copy);
    CountBandRows(st, n);
}

// Lines handed to the tone library per call: the gray rows of one step are
// still in the processor's cache when the halftone reads them. The dither
// phases carry from call to call as from band to band, so the bits are
// those of one call over the whole band.
constexpr LONG kToneStepLines = 32;

BYTE* AllocWhite(size_t bytes) {
    auto* p = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, bytes));
    // A conversion that writes nothing then leaves white paper, not old memory.
    if (p) std::memset(p, kWhiteByte, bytes);
    return p;
}

icImage Descriptor(WORD type, LONG width, LONG lines, BYTE* bits, DWORD stride) {
    icImage d{};
    d.type = type;
    d.width = static_cast<DWORD>(width);
    d.height = d.lines = static_cast<DWORD>(lines);
    d.bits = bits;
    d.stride = stride;
    return d;
}

// The band matrix corrected by the gamma file, made on the first band and
// again only when the halftone kind, level or resolution changed (the gamma
// file is not read for every band).
const icThresholdMatrix& CorrectedBandMatrix(PDEV* pdev, ImagingState* st) {
    const DWORD key = 1u << 31 | DWORD{PrivU16(pdev->devmode, priv::HalftoneKind)} << 20 |
                      DWORD{PrivU16(pdev->devmode, kThresholdLevel)} << 12 |
                      (static_cast<DWORD>(pdev->devmode.dm.dmPrintQuality) & 0xFFF);
    if (st->bandMatrixKey != key) {
        BuildBandMatrix(pdev, &st->bandMatrix);
        BYTE gamma[256];
        ReadGammaTable(pdev, gamma);
        st->gammaInv(gamma, &st->bandMatrix);
        st->bandMatrixKey = key;
    }
    return st->bandMatrix;
}

// The gray rows of `lines` 24-bit band rows into the 8-bit conversion bitmap.
icImage ConvertBandToGray(ImagingState* st, BYTE* rows, DWORD stride, LONG width, LONG lines,
                          DWORD grayStride) {
    const icImage src = Descriptor(IC_TYPE_RGB24, width, lines, rows, stride);
    icImage gray = Descriptor(IC_TYPE_GRAY, width, lines, st->grayBits, grayStride);
    // Its answer is always FALSE: there is nothing to test.
    st->toGray(nullptr, &src, &gray);
    return gray;
}

// Gray rows to 1-bit rows (white first) through the corrected band matrix,
// the dither phases carried on; false when the tone library refused them.
bool HalftoneBandToMono(ImagingState* st, const icThresholdMatrix& m, const icImage& gray,
                        BYTE* monoRows, DWORD monoStride) {
    std::memset(monoRows, kWhiteByte, static_cast<size_t>(monoStride) * gray.lines);
    icImage dst = Descriptor(IC_TYPE_BW, static_cast<LONG>(gray.width),
                             static_cast<LONG>(gray.lines), monoRows, monoStride);
    return st->toMono(&st->phase[0], &st->phase[1], &m, &gray, &dst) != FALSE;
}

// An 8 or 24-bit band to 1 bit, added to the page. False, with the last
// error set, when the band could not be converted: the page would miss it.
bool ConvertBand(PDEV* pdev, ImagingState* st, SURFOBJ* band) {
    const LONG width = band->sizlBitmap.cx, height = band->sizlBitmap.cy;
    const bool colour = band->iBitmapFormat == BMF_24BPP;
    if ((!colour && band->iBitmapFormat != BMF_8BPP) || !band->pvScan0 || band->lDelta <= 0 ||
        width <= 0 || height <= 0 || !st->pageBits) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (!LoadToneLibrary(st)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return false;
    }
    if (!st->toMono || !st->gammaInv || (colour && !st->toGray)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return false;
    }
    BYTE* bandBits = static_cast<BYTE*>(band->pvScan0);
    const DWORD bandStride = static_cast<DWORD>(band->lDelta);
    // Dumps hold the rows above the page end.
    const LONG pageRows = RowsOnPage(st, height);
    AppendBandDump(st, kDumpRawBand, bandBits, band->lDelta, width, pageRows, colour ? 24 : 8);

    // The gray rows of one step (24-bit bands; an 8-bit band is its own gray).
    const DWORD grayStride = (static_cast<DWORD>(width) + 3) & ~3u;
    const LONG step = std::min<LONG>(height, kToneStepLines);
    if (colour && !st->grayBits &&
        !(st->grayBits = AllocWhite(static_cast<size_t>(grayStride) * step))) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    // The 1-bit rows go straight into the page where they are its rows (a
    // width of whole 32-bit words, the band wholly on the page); otherwise
    // through the band-sized 1-bit bitmap, whose rows are copied.
    const DWORD monoStride = (static_cast<DWORD>(width) + 31) / 32 * 4;
    const bool direct =
        width == st->pageWidth && monoStride == PageStride(st) && pageRows == height;
    if (!direct && !st->monoBits &&
        !(st->monoBits = AllocWhite(static_cast<size_t>(monoStride) * height))) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    BYTE* mono =
        direct ? st->pageBits + static_cast<size_t>(st->bandTop) * monoStride : st->monoBits;

    const icThresholdMatrix& m = CorrectedBandMatrix(pdev, st);
    for (LONG top = 0; top < height; top += step) {
        const LONG lines = std::min<LONG>(step, height - top);
        const LONG onPage = std::max<LONG>(0, std::min<LONG>(lines, pageRows - top));
        BYTE* rows = bandBits + static_cast<size_t>(top) * bandStride;
        icImage gray = Descriptor(IC_TYPE_GRAY, width, lines, rows, bandStride);
        if (colour) {
            gray = ConvertBandToGray(st, rows, bandStride, width, lines, grayStride);
            AppendBandDump(st, kDump24To8, st->grayBits, static_cast<LONG>(grayStride), width,
                           onPage, 8);
        }
        BYTE* monoRows = mono + static_cast<size_t>(top) * monoStride;
        if (!HalftoneBandToMono(st, m, gray, monoRows, monoStride)) {
            SetLastError(ERROR_INVALID_DATA);
            return false;
        }
        AppendBandDump(st, kDump8To1, monoRows, static_cast<LONG>(monoStride), width, onPage, 1);
        // The step's band rows are read: white for the next band while in cache.
        std::memset(rows, kWhiteByte, static_cast<size_t>(bandStride) * lines);
    }
    if (direct)
        CountBandRows(st, pageRows);
    else
        AddBandRows(st, st->monoBits, static_cast<LONG>(monoStride), height);
    return true;
}

// The band-sized 8 and 1-bit conversion bitmaps.
void DeleteConvertSurface(ImagingState* st) {
    FreeBuffer(&st->grayBits);
    FreeBuffer(&st->monoBits);
}

// The page's 1-bit image; the banding bitmap itself is the engine's.
void DeleteBandSurface(ImagingState* st) {
    FreeBuffer(&st->pageBits);
    st->bandSurface = nullptr;
}

} // namespace

void BuildBandMatrix(PDEV* pdev, icThresholdMatrix* m) {
    m->width = m->height = 16;
    const WORD kind = PrivU16(pdev->devmode, priv::HalftoneKind);
    const WORD flat = static_cast<WORD>(PrivU16(pdev->devmode, kThresholdLevel) * 4);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            m->cells[y][x] =
                kind == kHalftoneFlat ? flat : static_cast<WORD>(kBandBase[y % 8][x % 8] * 4);
    // Kinds other than the ordered and the flat one take the ordered pattern.
    (void)kHalftoneOrdered;
}

void ReadGammaTable(PDEV* pdev, BYTE table[256]) {
    for (int i = 0; i < 256; ++i)
        table[i] = static_cast<BYTE>(i);
    std::u16string folder = LibraryFolder();
    if (folder.empty()) return;
    const char* name = pdev->devmode.dm.dmPrintQuality == 300 ? "QRL300DF.GMA" : "QRL600DF.GMA";
    HANDLE file = CreateFileW((folder + Wide(name)).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    BYTE buf[256];
    DWORD got = 0;
    if (ReadFile(file, buf, sizeof buf, &got, nullptr) && got == sizeof buf)
        std::memcpy(table, buf, sizeof buf);
    CloseHandle(file);
}

ImagingState* Imaging(PDEV* pdev) {
    if (!pdev) return nullptr;
    if (!pdev->imaging) {
        void* p = HeapAlloc(pdev->heap, HEAP_ZERO_MEMORY, sizeof(ImagingState));
        if (p) pdev->imaging = new (p) ImagingState();
    }
    return pdev->imaging;
}

void FreeImagingState(PDEV* pdev) {
    ImagingState* st = pdev ? pdev->imaging : nullptr;
    if (!st) return;
    DeleteDeviceSurface(pdev);
    if (st->tonemill) FreeLibrary(st->tonemill);
    st->~ImagingState();
    HeapFree(pdev->heap, 0, st);
    pdev->imaging = nullptr;
}

HSURF EnableBandingSurface(PDEV* pdev, SIZEL page) {
    ImagingState* st = Imaging(pdev);
    if (!st) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    st->debug = ReadDebugSettings(LibraryFolder());
    DWORD depth = GetBandBitDepth(pdev);
    // A converted band may be asked for as 8-bit gray instead of 24-bit colour.
    if (depth == 24 && st->debug.pixels == 8) depth = 8;
    const ULONG format = depth == 24 ? BMF_24BPP : depth == 8 ? BMF_8BPP : BMF_1BPP;
    const DWORD stride = RoundRow(BytesForPixels(format, static_cast<DWORD>(page.cx)));
    const DWORD height = BandHeight(static_cast<DWORD>(page.cy), stride,
                                    std::min(pdev->bandBudget, st->debug.maxBandSize));
    if (depth != 1 && !LoadToneLibrary(st)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    HSURF surface = reinterpret_cast<HSURF>(
        EngCreateBitmap(SIZEL{page.cx, static_cast<LONG>(height)}, static_cast<LONG>(stride),
                        format, BMF_TOPDOWN, nullptr));
    if (!surface) return nullptr;
    // Text comes to the driver too: all-text-black and simulated bold.
    const FLONG hooks = HOOK_BITBLT | HOOK_STRETCHBLT | HOOK_COPYBITS | HOOK_STRETCHBLTROP |
                        HOOK_TRANSPARENTBLT | HOOK_GRADIENTFILL | HOOK_TEXTOUT;
    if (!EngAssociateSurface(surface, pdev->hdev, hooks) || !EngMarkBandingSurface(surface)) {
        EngDeleteSurface(surface);
        return nullptr;
    }
    st->bandSurface = surface;
    st->pageWidth = page.cx;
    st->pageHeight = page.cy;
    pdev->bandBitDepth = depth;
    pdev->bandWidth = static_cast<DWORD>(page.cx);
    pdev->bandHeight = height;
    return surface;
}

void DeleteDeviceSurface(PDEV* pdev) {
    ImagingState* st = pdev ? pdev->imaging : nullptr;
    if (!st) return;
    DeleteConvertSurface(st);
    FinishBandDumps(st, st->pageWidth);
    DeleteBandSurface(st);
}

namespace {

// A band that could not be converted fails its page: nothing of it is sent
// (the page would miss the band), the page is closed in the stream and the
// engine hears the error, which the application's EndPage reports.
BOOL FailPage(PDEV* pdev, ImagingState* st, SURFOBJ* pso, POINTL* origin) {
    const DWORD error = GetLastError();
    DeleteConvertSurface(st);
    FinishBandDumps(st, pso->sizlBitmap.cx);
    if (pdev->jobFlags & job::PageOpen) {
        if (!((pdev->firstPageOnly & 1) && pdev->pageCount > 1)) WritePageEnd(pdev);
        pdev->jobFlags &= ~job::PageOpen;
    }
    *origin = POINTL{-1, -1};
    SetLastError(error);
    return FALSE;
}

} // namespace

BOOL APIENTRY DrvStartBanding(SURFOBJ* pso, POINTL* origin) {
    PDEV* pdev = CheckedPdev(pso);
    switch (BandGate(pdev)) {
    case Gate::Fail:
        return FALSE;
    case Gate::Skip:
        *origin = POINTL{0, 0};
        return TRUE;
    case Gate::Go:
        break;
    }
    ImagingState* st = Imaging(pdev);
    if (!st || !EnsurePage(st)) return FALSE;
    pdev->pollSurface = pso;
    RestartAbortTimer(pdev);
    std::memset(st->pageBits, kWhiteByte, static_cast<size_t>(PageStride(st)) * st->pageHeight);
    st->pageBytes = 0;
    st->phase[0] = st->phase[1] = 0;
    FillWhite(pso);
    st->bandTop = 0;
    *origin = POINTL{0, 0};
    return TRUE;
}

BOOL APIENTRY DrvNextBand(SURFOBJ* pso, POINTL* origin) {
    PDEV* pdev = CheckedPdev(pso);
    switch (BandGate(pdev)) {
    case Gate::Fail:
        return FALSE;
    case Gate::Skip:
        *origin = POINTL{-1, -1};
        return TRUE;
    case Gate::Go:
        break;
    }
    ImagingState* st = Imaging(pdev);
    if (!st || !st->pageBits) return FALSE;
    // A job recording its package (one reset to banding after it began)
    // keeps each band as it is in the page file, which its page end closes.
    const bool recording = RecordingPage(pdev);
    if (recording)
        RecordPageImage(pdev, pso, static_cast<LONG>(st->bandTop), st->pageHeight);
    else if (pso->iBitmapFormat == BMF_1BPP)
        AddBandRows(st, static_cast<const BYTE*>(pso->pvScan0), pso->lDelta, pso->sizlBitmap.cy);
    else if (!ConvertBand(pdev, st, pso))
        return FailPage(pdev, st, pso, origin);
    // A converted band is white already.
    if (recording || pso->iBitmapFormat == BMF_1BPP) FillWhite(pso);
    const LONG next = static_cast<LONG>(st->bandTop) + pso->sizlBitmap.cy -
                      static_cast<LONG>(st->overlapTop + st->overlapBottom);
    st->overlapTop = st->overlapBottom = 0;
    if (next < st->pageHeight && next > static_cast<LONG>(st->bandTop)) {
        st->bandTop = static_cast<DWORD>(next);
        *origin = POINTL{0, next};
        return TRUE;
    }
    // The page is complete.
    *origin = POINTL{-1, -1};
    if (recording) return !(pdev->jobFlags & job::Cancelled);
    SURFOBJ page{};
    page.iType = STYPE_BITMAP;
    page.iBitmapFormat = BMF_1BPP;
    page.sizlBitmap = SIZEL{st->pageWidth, st->pageHeight};
    page.pvScan0 = page.pvBits = st->pageBits;
    page.lDelta = static_cast<LONG>(PageStride(st));
    RECTL whole{0, 0, st->pageWidth, st->pageHeight};
    BOOL ok = SendPageImage(pdev, &page, &whole, &whole);
    if (pso->iBitmapFormat != BMF_1BPP) {
        DeleteConvertSurface(st);
        FinishBandDumps(st, pso->sizlBitmap.cx);
    }
    if (pdev->jobFlags & job::PageOpen) {
        if (!((pdev->firstPageOnly & 1) && pdev->pageCount > 1)) WritePageEnd(pdev);
        pdev->jobFlags &= ~job::PageOpen;
    }
    return ok && !(pdev->jobFlags & job::Cancelled);
}

ULONG APIENTRY DrvDitherColor(DHPDEV, ULONG, ULONG, ULONG*) {
    return kBandDitherAnswer;
}

} // namespace inkforge
