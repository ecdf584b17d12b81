// The physical device: made from the job's device mode (or a default one),
// reset between pages, and released.
#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "devmode_revision.h"
#include "hooks.h"
#include "model/model_queries.h"
#include "model_access.h"
#include "output_writer.h"
#include "font_download.h"
#include "font_substitution_file.h"
#include "pdev.h"
#include "system_access.h"
#include "render_lookups.h"
#include "text_convert.h"
#include "win/base.h"
#include "win/spool.h"
#include "working_folder.h"

namespace inkforge {
namespace {

constexpr int kDefaultResolution = 600;
constexpr DWORD kBandMemoryBudget = 4u << 20;
constexpr size_t kTrueTypeAnswerSize = 104;
static_assert(kFontSubRecordSize == fontsub::kRecordSize);

void SetDeviceName(PDEV* pdev, LPCWSTR deviceName) {
    std::vector<BYTE> info = PrinterInfo2(pdev->printer);
    LPCWSTR name = deviceName;
    if (!info.empty()) {
        LPCWSTR printerName = reinterpret_cast<const PRINTER_INFO_2W*>(info.data())->pPrinterName;
        if (printerName && printerName[0]) name = printerName;
    }
    CopyWideField(pdev->devmode.dm.dmDeviceName, CCHDEVICENAME, name);
}

// The driver's own private part is taken; any other is made anew by the model.
void TakeDevmode(PDEV* pdev, const DEVMODEW* given) {
    DevmodeImage& d = pdev->devmode;
    std::memset(&d, 0, sizeof d);
    WORD size = given->dmSize;
    std::memcpy(&d.dm, given, std::min<size_t>(size, kPublicSize));
    const BYTE* privatePart = reinterpret_cast<const BYTE*>(given) + size;
    bool own = given->dmDriverExtra == kPrivateSize && HasOwnSignature(privatePart);
    StampHeader(d.dm);
    if (own)
        std::memcpy(d.priv, privatePart, kPrivateSize);
    else
        ReviseForeignPrivate(pdev, &d);
}

void SetResolution(PDEV* pdev, const DEVMODEW* given) {
    DEVMODEW& dm = pdev->devmode.dm;
    ModelAnswer quality(pdev, model::kQueryQualityModes, ResolutionMode(pdev->devmode), 1);
    LONG x = quality.ok() ? static_cast<LONG>(quality.U32(4)) : kDefaultResolution;
    LONG y = quality.ok() ? static_cast<LONG>(quality.U32(8)) : kDefaultResolution;
    if (x <= 0 || x > SHRT_MAX) x = kDefaultResolution;
    if (y <= 0 || y > SHRT_MAX) y = kDefaultResolution;
    dm.dmPrintQuality = static_cast<short>(x);
    dm.dmYResolution = static_cast<short>(y);
    if ((given->dmFields & DM_PRINTQUALITY) && given->dmPrintQuality > 0 &&
        given->dmPrintQuality != x)
        dm.dmPrintQuality = given->dmPrintQuality;
    pdev->resolution = dm.dmPrintQuality;
}

void Clamp(DEVMODEW& dm) {
    if (dm.dmOrientation != 1 && dm.dmOrientation != 2) dm.dmOrientation = 1;
    if (dm.dmScale < 25 || dm.dmScale > 400) dm.dmScale = 100;
    if (dm.dmCopies < 1) dm.dmCopies = 1;
    if (dm.dmColor != 1 && dm.dmColor != 2) dm.dmColor = 2;
    if (dm.dmDuplex < 1 || dm.dmDuplex > 3) dm.dmDuplex = 1;
    if (dm.dmCollate != 0 && dm.dmCollate != 1) dm.dmCollate = 1;
}

void JobTypeRules(PDEV* pdev) {
    static const int kTables[] = {0, 60, 73, 74, 61, 62};
    WORD type = PrivU16(pdev->devmode, priv::JobType);
    if (type < 1 || type > 5) return;
    ModelAnswer rules(pdev, kTables[type], 0, 1);
    if (!rules.ok()) return;
    DWORD f = rules.U32(0);
    if ((f & 6) && (f & 0x80) &&
        !((f & 0x100) && !(PrivU16(pdev->devmode, priv::JobTypeOptions) & 1)))
        pdev->jobFlags |= job::AskJobData;
    if (f & 0x40) {
        std::memset(pdev->devmode.priv + priv::MailboxId, 0, priv::JobTextSize);
        std::memset(pdev->devmode.priv + priv::SecureBoxId, 0, priv::JobTextSize);
        std::memset(pdev->devmode.priv + priv::SecurePassword, 0, priv::JobTextSize);
    }
}

void ModelCapabilities(PDEV* pdev) {
    DWORD caps = 0;
    ModelAnswer quality(pdev, model::kQueryQualityModes, ResolutionMode(pdev->devmode), 1);
    DWORD qf = quality.U32(16);
    if (Bit(qf, 7)) caps |= caps::AnyPatternSize;
    ModelAnswer image(pdev, model::kQueryImageHalftone, 0, 1);
    if (image.U8(0) & 8) caps |= caps::ImageHalftone;
    if (Bit(qf, 8)) caps |= caps::StretchByEngine;
    if (Bit(qf, 9)) caps |= caps::ShrinkByEngine;
    if (Bit(qf, 10)) caps |= caps::StrokeAndFillOnce;
    ModelAnswer keys(pdev, model::kQueryKeys, 16, 1);
    for (DWORD i = 0; i < keys.Entries(8); ++i) {
        size_t e = static_cast<size_t>(i) * 8;
        if (keys.U32(e) != 16) continue;
        DWORD f = keys.U32(e + 4);
        if (Bit(f, 3)) caps |= caps::SpoolSideProgram;
        if (Bit(f, 4)) caps |= caps::KeyFlagBit4;
        if (Bit(f, 6)) caps |= caps::CombinedPrompt;
        if (Bit(f, 11)) caps |= caps::UniqueFontNames;
        break;
    }
    pdev->modelCaps = caps;
    ModelAnswer pjl(pdev, model::kQueryPjlLines, 0, 2);
    pdev->pjlFlags = pjl.U32(0);
}

void PageGeometry(PDEV* pdev) {
    const DEVMODEW& dm = pdev->devmode.dm;
    PaperRect r;
    int layout = dm.dmOrientation == 2 ? kPaperTurned : kPaperPortrait;
    if (!GetPaperInfo(pdev, dm.dmPaperSize, layout, kDefaultResolution, &r, nullptr, nullptr)) {
        r = PaperRect{};
        r.width = 5100;
        r.length = 6600;
        r.left = r.top = 100;
        r.right = 5000;
        r.bottom = 6500;
    }
    auto micrometres = [&](LONG dots) {
        return static_cast<LONG>(static_cast<LONGLONG>(dots) * 25400 / kDefaultResolution * 100 /
                                 dm.dmScale);
    };
    pdev->pageLeft = micrometres(r.left);
    pdev->pageTop = micrometres(r.top);
    pdev->pageRight = micrometres(r.right);
    pdev->pageBottom = micrometres(r.bottom);
    pdev->paperWidth = micrometres(r.width);
    pdev->paperHeight = micrometres(r.length);
    pdev->landscapeFeed = dm.dmOrientation == 2;
}

void DecideMode(PDEV* pdev) {
    DevmodeImage& d = pdev->devmode;
    DWORD modeFlags = PrivU32(d, priv::EmfMode);
    bool candidate = (modeFlags & mode::SpoolSide) && !(modeFlags & mode::ByInterface);
    DWORD state = PrivU32(d, priv::StateBits);
    if ((state & 2) && ((state & 4) || !candidate)) candidate = (state & 8) != 0;
    SetPrivU32(d, priv::StateBits, state & ~0xEu);
    bool graphicsMode = PrivBit(d, priv::FeatureFlags, 16) && PrivU16(d, priv::GraphicsMode) == 1;
    ModelAnswer bandModel(pdev, model::kQueryGraphicsMode, 0, 1);
    if (!candidate && (bandModel.U8(0) & 2) && graphicsMode) {
        pdev->banding = 1;
        modeFlags &= ~mode::SpoolSide;
        pdev->rasterDirection = PrivU16(d, priv::HalftoneKind) == 2 ? 2 : 1;
    } else if (candidate || (graphicsMode && !(modeFlags & mode::ByInterface))) {
        // A job the spool-side player started (ByInterface) is the replay of
        // a recorded one: recording it again would hand it back to the
        // player, job after job.
        modeFlags |= mode::SpoolSide;
    } else {
        modeFlags &= ~mode::SpoolSide;
    }
    pdev->modeFlags = modeFlags;
}

void ReadTrueTypeList(PDEV* pdev) {
    ModelAnswer fonts(pdev, model::kQueryDeviceFonts, 0, 2);
    DWORD n = fonts.Entries(kTrueTypeAnswerSize);
    if (n) {
        pdev->trueTypeFonts = static_cast<TrueTypeFont*>(
            HeapAlloc(pdev->heap, HEAP_ZERO_MEMORY, n * sizeof(TrueTypeFont)));
        if (pdev->trueTypeFonts) {
            for (DWORD i = 0; i < n; ++i) {
                size_t e = static_cast<size_t>(i) * kTrueTypeAnswerSize;
                TrueTypeFont& f = pdev->trueTypeFonts[i];
                std::string face = fonts.Text(e, 63), file = fonts.Text(e + 64, 31);
                std::memcpy(f.faceName, face.data(), face.size());
                std::memcpy(f.fileName, file.data(), file.size());
                f.id = static_cast<WORD>(fonts.U32(e + 96));
            }
            pdev->trueTypeCount = n;
        }
    }
    ModelAnswer handling(pdev, model::kQueryDeviceFonts, 0, 1);
    pdev->glyphSlots = (handling.U32(0) & 0x20) ? 30 : 3;
}

} // namespace

// The font substitution list of the per-user font data file, read through
// the file's one shared reader; a file it refuses leaves the list empty.
void ReadFontDataFile(PDEV* pdev) {
    std::u16string folder;
    if (!GetWorkingFolder(pdev, &folder)) return;
    std::u16string name;
    ModelAnswer components(pdev, model::kQueryComponents, 0, 1);
    for (DWORD i = 0; i < components.Entries(40); ++i) {
        size_t e = static_cast<size_t>(i) * 40;
        if (components.U16(e) == 9) {
            name = FromAnsi(components.Text(e + 8, 16));
            break;
        }
    }
    const std::u16string path = folder + fontsub::FontSubFileName(name);
    std::vector<fontsub::FontSubRecord> subs;
    if (!fontsub::ReadFontSubFile(path.c_str(), &subs)) return;
    auto* records = static_cast<BYTE*>(HeapAlloc(pdev->heap, 0, subs.size() * kFontSubRecordSize));
    if (!records) return;
    std::memcpy(records, subs.data(), subs.size() * kFontSubRecordSize);
    pdev->fontSubs = records;
    pdev->fontSubCount = static_cast<DWORD>(subs.size());
}

namespace {

void RenderingDefaults(PDEV* pdev) {
    pdev->whiteColor = 0xFFFFFF;
    pdev->blackColor = 0;
    static const ULONG kBasic[7] = {0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF,
                                    0xFF00FF, 0x00FFFF, 0xFFFFFF};
    std::memcpy(pdev->basicColors, kBasic, sizeof kBasic);
    LoadGrayWeights(pdev);
    ModelAnswer combined(pdev, model::kQueryModelFlags, 0, 1);
    pdev->combinedOutput = Bit(combined.U32(0), 5);
    ModelAnswer language(pdev, model::kQueryRasterSettings, 0, 2);
    DWORD version = language.U32(0);
    pdev->graphicsVersion =
        version == 0x10001 || version == 0x20000 || version == 0x20001 || version == 0x30000
            ? version
            : 0x10001;
    DWORD level = language.U32(4);
    pdev->graphicsLevel = level == 1 || level == 2 ? level : 1;
    ModelAnswer vector(pdev, model::kQueryRasterSettings, 0, 3);
    pdev->vectorOption = vector.U32(8) == 1;
    pdev->rasterCaps = 0;
    if (pdev->rasterDirection) {
        ModelAnswer raster(pdev, model::kQueryHalftones, static_cast<int>(pdev->rasterDirection),
                           4);
        DWORD f = raster.U32(4);
        if (f & 0x1000000) pdev->rasterCaps |= 1;
        if (f & 0x2000000) pdev->rasterCaps |= 2;
        if (f & 0x4000000) pdev->rasterCaps |= 4;
    }
    pdev->bandBudget = kBandMemoryBudget;
}

SIZEL SurfaceSize(const PDEV* pdev) {
    LONG dpi = pdev->devmode.dm.dmPrintQuality;
    auto pixels = [&](LONG micrometres) {
        LONG v = static_cast<LONG>(static_cast<double>(micrometres) * dpi / 25400.0 + 0.05);
        return std::max<LONG>(32, v / 32 * 32);
    };
    return SIZEL{pixels(pdev->pageRight - pdev->pageLeft),
                 pixels(pdev->pageBottom - pdev->pageTop)};
}

void FillGdiInfo(const PDEV* pdev, ULONG cjCaps, ULONG* caps) {
    if (!caps || cjCaps == 0) return;
    GDIINFO g{};
    SIZEL size = SurfaceSize(pdev);
    LONG dpi = pdev->devmode.dm.dmPrintQuality;
    auto pixels = [&](LONG micrometres) {
        return static_cast<LONG>(static_cast<LONGLONG>(micrometres) * dpi / 25400);
    };
    g.ulVersion = GDI_DRIVER_VERSION;
    g.ulTechnology = DT_RASPRINTER;
    g.ulHorzSize = static_cast<ULONG>(-(pdev->pageRight - pdev->pageLeft));
    g.ulVertSize = static_cast<ULONG>(-(pdev->pageBottom - pdev->pageTop));
    g.ulHorzRes = static_cast<ULONG>(size.cx);
    g.ulVertRes = static_cast<ULONG>(size.cy);
    g.cBitsPixel = 24;
    g.cPlanes = 1;
    g.ulNumColors = 0xFFFFFFFF;
    g.ulLogPixelsX = static_cast<ULONG>(dpi);
    g.ulLogPixelsY = static_cast<ULONG>(dpi);
    g.ulDACRed = g.ulDACGreen = g.ulDACBlue = 8;
    g.ulAspectX = g.ulAspectY = 100;
    g.ulAspectXY = 141;
    g.xStyleStep = g.yStyleStep = 1;
    g.denStyleStep = std::max<LONG>(1, dpi / 50);
    g.ptlPhysOffset = POINTL{pixels(pdev->pageLeft), pixels(pdev->pageTop)};
    g.szlPhysSize = SIZEL{pixels(pdev->paperWidth), pixels(pdev->paperHeight)};
    g.ulDevicePelsDPI = static_cast<ULONG>(dpi);
    g.ulPrimaryOrder = PRIMARY_ORDER_CBA;
    g.ulHTPatternSize = HT_PATSIZE_16x16;
    g.ulHTOutputFormat = HT_FORMAT_24BPP;
    g.flHTFlags = HT_FLAG_HAS_BLACK_DYE;
    std::memcpy(caps, &g, std::min<size_t>(cjCaps, sizeof g));
}

BOOL FillDevInfo(PDEV* pdev, ULONG cjDevInfo, DEVINFO* info) {
    pdev->palette = EngCreatePalette(PAL_RGB, 0, nullptr, 0, 0, 0);
    if (!pdev->palette) return FALSE;
    if (!info || cjDevInfo == 0) return TRUE;
    DEVINFO d{};
    d.flGraphicsCaps = GCAPS_ALTERNATEFILL | GCAPS_WINDINGFILL | GCAPS_HALFTONE;
    // The spool-side road records curves as they come: a flattened curve
    // would be many times the size in the package.
    if ((pdev->modeFlags & mode::SpoolSide) && !pdev->banding) d.flGraphicsCaps |= GCAPS_BEZIERS;
    d.iDitherFormat = BMF_24BPP;
    d.hpalDefault = pdev->palette;
    std::memcpy(info, &d, std::min<size_t>(cjDevInfo, sizeof d));
    return TRUE;
}

void ApplyReapplied(PDEV* pdev) {
    if (!pdev->reapply) return;
    pdev->devmode.dm.dmICMMethod = pdev->reapplyIcmMethod;
    SetPrivU16(pdev->devmode, priv::ColorMode, pdev->reapplyColorMode);
    SetPrivU16(pdev->devmode, priv::ColorModeAlt, pdev->reapplyColorModeAlt);
}

// Moves a string of the old device's heap to the new one.
void MoveString(PDEV* from, PDEV* to, LPWSTR PDEV::*field) {
    HeapFreeString(to, &(to->*field));
    to->*field = HeapString(to, from->*field);
    HeapFreeString(from, &(from->*field));
}

} // namespace

BOOL SetUpDeviceRecord(PDEV* pdev, const DEVMODEW* given, LPCWSTR deviceName) {
    TakeDevmode(pdev, given);
    SetDeviceName(pdev, deviceName);
    SetResolution(pdev, given);
    Clamp(pdev->devmode.dm);
    JobTypeRules(pdev);
    ModelCapabilities(pdev);
    PageGeometry(pdev);
    DecideMode(pdev);
    ReadTrueTypeList(pdev);
    RenderingDefaults(pdev);
    return TRUE;
}

DHPDEV APIENTRY DrvEnablePDEV(DEVMODEW* pdm, LPWSTR, ULONG, HSURF*, ULONG cjCaps, ULONG* pdevcaps,
                              ULONG cjDevInfo, DEVINFO* pdi, HDEV hdev, LPWSTR deviceName,
                              HANDLE hDriver) {
    PDEV* pdev = AllocatePdev();
    if (!pdev) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    pdev->printer = hDriver;
    pdev->hdev = hdev;
    pdev->hdevGiven = hdev;
    TakeCallFailure(); // what an earlier device left is not this one's
    BindLibraries(hDriver, &pdev->sheetwright, &pdev->modelsmith, &pdev->modelData);
    bool ok = DriverModule() != nullptr;
    if (ok) {
        pdev->halftone = static_cast<HalftoneRecord*>(
            HeapAlloc(pdev->heap, HEAP_ZERO_MEMORY, sizeof(HalftoneRecord)));
        ok = pdev->halftone != nullptr;
    }
    if (ok) {
        DevmodeImage fallback;
        const DEVMODEW* given = pdm;
        if (!given) {
            DefaultDevmode(pdev, deviceName, &fallback);
            given = &fallback.dm;
        }
        ok = SetUpDeviceRecord(pdev, given, deviceName);
    }
    if (ok) ReadFontDataFile(pdev);
    ok = ok && FillDevInfo(pdev, cjDevInfo, pdi);
    // A setting read as a default because a call failed for want of memory
    // (or another passing cause) would make a device other than the one asked for.
    if (DWORD failure = TakeCallFailure()) {
        ok = false;
        SetLastError(failure);
    }
    if (!ok) {
        DWORD error = GetLastError();
        DrvDisablePDEV(reinterpret_cast<DHPDEV>(pdev));
        SetLastError(error ? error : static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
        return nullptr;
    }
    FillGdiInfo(pdev, cjCaps, pdevcaps);
    pdev->lastRecorded = pdev->devmode;
    return reinterpret_cast<DHPDEV>(pdev);
}

VOID APIENTRY DrvCompletePDEV(DHPDEV dhpdev, HDEV hdev) {
    PDEV* pdev = CheckedPdev(dhpdev);
    if (!pdev) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return;
    }
    pdev->hdev = hdev ? hdev : pdev->hdevGiven;
}

BOOL APIENTRY DrvResetPDEV(DHPDEV dhpdevOld, DHPDEV dhpdevNew) {
    PDEV* old = CheckedPdev(dhpdevOld);
    PDEV* pdev = CheckedPdev(dhpdevNew);
    if (!old || !pdev) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    pdev->lastRecorded = old->devmode;
    pdev->glyphSlots = old->glyphSlots;
    if (old->jobFlags & job::Started) {
        pdev->lastRecorded = old->lastRecorded;
        pdev->pageCount = old->pageCount;
        pdev->devicePageCount = old->devicePageCount;
        pdev->lastPage = old->lastPage;
        pdev->lastDuplexChangePage = old->lastDuplexChangePage;
        pdev->blank = old->blank;
        pdev->modeFlags = old->modeFlags;
        pdev->spoolId = old->spoolId;
        pdev->jobId = old->jobId;
        pdev->docStarted = old->docStarted;
        pdev->osVersion = old->osVersion;
        pdev->printToDisk = old->printToDisk;
        pdev->pagePackageOpen = old->pagePackageOpen;
        pdev->firstPageOnly = old->firstPageOnly;
        pdev->emfJob = old->emfJob;
        old->emfJob = nullptr;
        pdev->reapply = old->reapply;
        pdev->reapplyIcmMethod = old->reapplyIcmMethod;
        pdev->reapplyColorMode = old->reapplyColorMode;
        pdev->reapplyColorModeAlt = old->reapplyColorModeAlt;
        ApplyReapplied(pdev);
        MoveString(old, pdev, &PDEV::docName);
        MoveString(old, pdev, &PDEV::userName);
        MoveString(old, pdev, &PDEV::machineName);
        MoveString(old, pdev, &PDEV::outputFile);
        MoveString(old, pdev, &PDEV::tempFileName);
        pdev->tempFile = old->tempFile;
        old->tempFile = nullptr;
        pdev->lastPoll = old->lastPoll;
        pdev->rasterCaps = old->rasterCaps;
        CarryFontTable(old, pdev);
        pdev->jobFlags = old->jobFlags | job::CarriedOver;
        pdev->jobFlags &= ~job::PageOpen;
        if (old->pageCount) {
            pdev->devmode.dm.dmFields =
                (pdev->devmode.dm.dmFields & ~DM_DUPLEX) | (old->devmode.dm.dmFields & DM_DUPLEX);
            pdev->devmode.dm.dmDuplex = old->devmode.dm.dmDuplex;
            if (!(old->modeFlags & mode::SpoolSide)) pdev->devmode.dm.dmCollate = 0;
        }
    }
    pdev->pjlCommentsWritten = old->pjlCommentsWritten;
    // The old device's buffered bytes belong to the job that goes on.
    if (old->outUsed && !(old->jobFlags & (job::Cancelled | job::Suppressed))) FlushOutput(old);
    old->outUsed = 0;
    return TRUE;
}

VOID APIENTRY DrvDisablePDEV(DHPDEV dhpdev) {
    PDEV* pdev = CheckedPdev(dhpdev);
    if (!pdev) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return;
    }
    if (pdev->palette) EngDeletePalette(pdev->palette);
    pdev->palette = nullptr;
    pdev->outUsed = 0;
    FreePdev(pdev);
}

DWORD BandHeight(DWORD pageHeight, DWORD stride, DWORD budget) {
    if (pageHeight == 0) return 0;
    DWORD lines = stride ? budget / stride : pageHeight;
    lines = lines / 8 * 8;
    // A band line wider than the budget still gets one band of 8 lines.
    if (lines == 0) lines = 8;
    return std::min(pageHeight, lines);
}

} // namespace inkforge
