// The 1320-byte device-mode image: defaults, merging a caller's device mode
// of any version into it, writing it back in the caller's sizes, the
// spooler's conversions, and the flag that asks for spool-side playback.
#include <algorithm>
#include <cstring>

#include "frontdoor.h"

namespace frontdoor {
namespace {

constexpr DWORD kDefaultPrintQuality = 600;
constexpr short kDefaultScale = 100;
constexpr DWORD kDeviceNameChars = CCHDEVICENAME - 1;
// The four version and size words end here: a device mode must hold them.
constexpr DWORD kVersionWordsEnd = offsetof(DEVMODEW, dmFields);
constexpr DWORD kConvert351Size = DEVMODEW_SIZE_320 + PRIVATE_DEVMODE_SIZE_OLDEST; // 300

// The dmSpecVersion that belongs to a standard size; 0 for a size of its own.
WORD SpecVersionOfSize(WORD size) {
    switch (size) {
    case DEVMODEW_SIZE_320:
        return kSpecVersion320;
    case kDevmodeSize400:
        return kSpecVersion400;
    case DEVMODEW_SIZE:
        return kImageSpecVersion;
    default:
        return 0;
    }
}

// Sheetwright's revision of the image; without the library or its export the
// fields that printing cannot do without are set and FALSE returned.
BOOL Revise(HANDLE printer, LPCVOID modelData, DEVMODEW* old, DEVMODEW* image, DWORD mode) {
    LPVOID own = nullptr;
    if (!modelData) {
        own = MapDriverDataFile(printer);
        if (!own) return FALSE;
        modelData = own;
    }
    HMODULE ui = LoadComponentLibrary(printer, modelData, kIndexSheetwright);
    auto revise = Export<PFN_uiReviseDevmodeEx>(ui, "uiReviseDevmodeEx");
    BOOL ok = FALSE;
    if (revise) {
        ok = revise(printer, modelData, old, image, mode) == 0;
    } else {
        if (mode == 1 || image->dmPrintQuality <= 0)
            image->dmPrintQuality = static_cast<short>(kDefaultPrintQuality);
        image->dmScale = kDefaultScale;
    }
    if (ui) FreeLibrary(ui);
    if (own) GlobalFree(own);
    return ok;
}

// The first of the two calls of a conversion into a buffer of `needed`
// bytes: too small (signed), or no buffer, answers the size.
bool HasRoom(PDEVMODEW out, LONG* needed, DWORD size) {
    if (out && *needed >= static_cast<LONG>(size)) return true;
    *needed = static_cast<LONG>(size);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
}

} // namespace

bool DevmodeFits(const DEVMODEW* dm, size_t available) {
    if (!dm || available < kVersionWordsEnd) return false;
    return dm->dmSize >= kVersionWordsEnd && DevmodeLength(dm) <= available;
}

BOOL MakeDefaultDevmode(LPCVOID modelData, HANDLE printer, DEVMODEW* image, LPCWSTR deviceName) {
    std::memset(image, 0, kImageSize);
    image->dmSpecVersion = kImageSpecVersion;
    image->dmDriverVersion = kImageDriverVersion;
    image->dmSize = DEVMODEW_SIZE;
    image->dmDriverExtra = PRIVATE_DEVMODE_SIZE;
    if (deviceName) lstrcpynW(image->dmDeviceName, deviceName, kDeviceNameChars + 1);
    return Revise(printer, modelData, nullptr, image, 1);
}

BOOL MergeDevmode(LPCVOID modelData, DEVMODEW* image, const DEVMODEW* source, HANDLE printer) {
    if (!source) return TRUE;
    auto* copy = static_cast<DEVMODEW*>(GlobalAlloc(GPTR, kImageSize));
    if (!copy) return FALSE;
    std::memcpy(copy, image, kImageSize);
    BOOL ok = FALSE;
    if (ConvertDevModeParts(source, copy) > 0) ok = Revise(printer, modelData, copy, image, 2);
    GlobalFree(copy);
    return ok;
}

int ConvertDevModeParts(const DEVMODEW* source, DEVMODEW* target) {
    if (!source || !target) return -1;
    // A device mode too short to hold its own size words is not one.
    if (source->dmSize < kVersionWordsEnd || target->dmSize < kVersionWordsEnd) return -1;
    if (!SpecVersionOfSize(source->dmSize) && source->dmSpecVersion == 0) return -1;
    WORD spec = SpecVersionOfSize(target->dmSize);
    if (!spec) spec = target->dmSpecVersion;
    if (spec == 0) return -1;
    const WORD size = target->dmSize, driverVersion = target->dmDriverVersion,
               extra = target->dmDriverExtra;
    DWORD standard = std::min(size, source->dmSize);
    DWORD priv = std::min(extra, source->dmDriverExtra);
    std::memmove(target, source, standard);
    target->dmSpecVersion = spec;
    target->dmDriverVersion = driverVersion;
    target->dmSize = size;
    target->dmDriverExtra = extra;
    std::memmove(reinterpret_cast<BYTE*>(target) + size,
                 reinterpret_cast<const BYTE*>(source) + source->dmSize, priv);
    return static_cast<int>(standard + priv);
}

BOOL CopyDevmodeOut(const DEVMODEW* image, const DEVMODEW* model, DEVMODEW* output) {
    if (!image || !output) return FALSE;
    if (!model) {
        std::memcpy(output, image, DevmodeLength(image));
        return TRUE;
    }
    // The output takes the caller's sizes where they are the smaller ones.
    const DEVMODEW* standard = model->dmSize < image->dmSize ? model : image;
    const DEVMODEW* priv = model->dmDriverExtra < image->dmDriverExtra ? model : image;
    output->dmSize = standard->dmSize;
    output->dmSpecVersion = standard->dmSpecVersion;
    output->dmDriverExtra = priv->dmDriverExtra;
    output->dmDriverVersion = priv->dmDriverVersion;
    return ConvertDevModeParts(image, output) > 0;
}

DWORD UpdateEmfPlaybackFlag(DEVMODEW* dm, PRIVATE_DEVMODE* priv) {
    constexpr DWORD kPlayback = 0x1, kNoPlayback = 0x4;
    enum : WORD { kNup = 1, kBooklet = 2, kPoster = 4, kFitToPaper = 8, kZoom = 16 };
    auto bit = [](DWORD word, int n) { return (word >> n) & 1u; };
    if (priv->EmfMode & kNoPlayback) {
        priv->EmfMode &= ~kPlayback;
        return 0;
    }
    const DWORD a = priv->PrivateFlags, b = priv->FeatureFlags;
    const WORD layout = priv->LayoutKind;
    const bool driverCollates = (dm->dmFields & DM_COPIES) && (dm->dmFields & DM_COLLATE) &&
                                dm->dmCollate == DMCOLLATE_TRUE && dm->dmCopies > 1 &&
                                (!bit(a, 15) || priv->CollateByDriver == 1);
    const bool playback =
        driverCollates || (bit(b, 19) && (priv->WatermarkFlags & 3)) ||
        (bit(b, 18) && (priv->OverlayFlags & 3)) ||
        (bit(b, 2) && layout == kBooklet && (dm->dmFields & DM_DUPLEX) &&
         dm->dmDuplex == DMDUP_HORIZONTAL) ||
        (bit(b, 3) && layout == kNup) || (bit(b, 4) && layout == kPoster) ||
        (bit(b, 0) && layout == kFitToPaper && priv->OutputPaperId != 0) ||
        (bit(a, 12) && priv->ReverseOrder != 0) || (bit(b, 1) && layout == kZoom) ||
        (bit(a, 21) &&
         ((bit(a, 22) && (priv->CoverFlags & 1)) || (bit(a, 23) && (priv->CoverFlags & 2))));
    if (playback)
        priv->EmfMode |= kPlayback;
    else
        priv->EmfMode &= ~kPlayback;
    return playback ? 1 : 0;
}

BOOL ConvertDevMode(LPWSTR printerName, PDEVMODEW in, PDEVMODEW out, LONG* needed, DWORD mode) {
    if (!needed) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    switch (mode) {
    case CDM_CONVERT: {
        // The target's own sizes must fit the buffer the caller gave.
        if (!out || *needed < 0 || out->dmSize < kVersionWordsEnd ||
            static_cast<DWORD>(*needed) < DevmodeLength(out) || ConvertDevModeParts(in, out) <= 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        *needed = static_cast<LONG>(DevmodeLength(out));
        return TRUE;
    }
    case CDM_CONVERT351: {
        if (!HasRoom(out, needed, kConvert351Size)) return FALSE;
        out->dmSpecVersion = kSpecVersion320;
        out->dmSize = DEVMODEW_SIZE_320;
        out->dmDriverVersion = kDriverVersion350;
        out->dmDriverExtra = PRIVATE_DEVMODE_SIZE_OLDEST;
        if (ConvertDevModeParts(in, out) <= 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        *needed = kConvert351Size;
        return TRUE;
    }
    case CDM_DRIVER_DEFAULT: {
        if (!HasRoom(out, needed, kImageSize)) return FALSE;
        *needed = kImageSize;
        HANDLE printer = nullptr;
        if (!OpenPrinterW(printerName, &printer, nullptr)) return FALSE;
        BOOL ok = FALSE;
        if (!CheckDriverFiles(printer, kCheckDriverDefault)) {
            SetLastError(ERROR_FILE_NOT_FOUND);
        } else if (DRIVER_INFO_2W* driver = QueryDriverInfo2(printer)) {
            // A default the UI library did not fill is only stamped: handed
            // out as the printer's default it would send every job on paper
            // and settings nobody chose, so it is refused instead.
            if (MakeDefaultDevmode(nullptr, printer, out, driver->pName)) {
                FORM_INFO_1W form{};
                WCHAR formName[CCHFORMNAME] = {};
                CheckFormName(printer, out, &form, formName);
                ok = TRUE;
            } else {
                SetLastError(ERROR_INVALID_DATA);
            }
            GlobalFree(driver);
        }
        ClosePrinter(printer);
        return ok;
    }
    default:
        return FALSE;
    }
}

} // namespace frontdoor
