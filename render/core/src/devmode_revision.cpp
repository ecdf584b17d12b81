// Default device mode, device-mode merge and the revision of foreign private parts.
#include "devmode_revision.h"

#include <cstring>

#include "devmode_forms.h"
#include "model/modelsmith.h"
#include "ui/sheetwright.h"
#include "model_access.h"
#include "pdev.h"
#include "system_access.h"
#include "text_convert.h"
#include "win/base.h"

namespace inkforge {
namespace {

constexpr WORD kSize40 = DEVMODEW_SIZE_320; // the older standard parts
constexpr WORD kSize400 = DEVMODEW_SIZE_400;

WORD VersionForSize(WORD size, WORD own) {
    switch (size) {
    case kSize40:
        return DM_SPECVERSION_320;
    case kSize400:
        return DM_SPECVERSION_400;
    case kPublicSize:
        return kDevmodeSpecVersion;
    default:
        return own;
    }
}

void EmptyPrivate(DevmodeImage* image) {
    std::memset(image->priv, 0, sizeof image->priv);
    SetPrivU32(*image, priv::Signature, kPrivateSignature);
    SetPrivU32(*image, priv::Version, kPrivateVersion);
}

} // namespace

// Both through the package's one conversion, of a whole image of the
// driver's sizes whatever sizes its header states.
void DevmodeWToA(const DevmodeImage& in, AnsiDevmodeImage* out) {
    DevmodeImage whole = in;
    whole.dm.dmSize = kPublicSize;
    whole.dm.dmDriverExtra = kPrivateSize;
    std::memset(out, 0, sizeof *out);
    // The sizes are fixed here; a refusal would leave `out` zeroed.
    (void)driver_devmode::DevModeWToA(&whole.dm, sizeof whole, &out->dm, sizeof *out);
}

void DevmodeAToW(const AnsiDevmodeImage& in, DevmodeImage* out) {
    AnsiDevmodeImage whole = in;
    whole.dm.dmSize = sizeof(DEVMODEA);
    whole.dm.dmDriverExtra = kPrivateSize;
    std::memset(out, 0, sizeof *out);
    // The sizes are fixed here; a refusal would leave `out` zeroed.
    (void)driver_devmode::DevModeAToW(&whole.dm, sizeof whole, &out->dm, sizeof *out);
}

LONG MergeDevmode(const DEVMODEW* source, DEVMODEW* destination) {
    if (!source || !destination) return -1;
    WORD sourceSize = source->dmSize;
    WORD sourceVersion = sourceSize == kSize40 ? DM_SPECVERSION_320 : source->dmSpecVersion;
    if (sourceSize != kSize40 && sourceSize != kSize400 && sourceSize != kPublicSize &&
        sourceVersion == 0)
        return -1;
    WORD version = VersionForSize(destination->dmSize, destination->dmSpecVersion);
    if (version == 0) return -1;
    const size_t copied = driver_devmode::CopyDevmodeImage(source, destination);
    destination->dmSpecVersion = version;
    return static_cast<LONG>(copied);
}

namespace {

// An ANSI device mode of the driver's own sizes for the model library, in the
// physical device's heap (freed by the caller), or null.
AnsiDevmodeImage* NewAnsiImage(PDEV* pdev) {
    auto* image = static_cast<AnsiDevmodeImage*>(
        HeapAlloc(pdev->heap, HEAP_ZERO_MEMORY, sizeof(AnsiDevmodeImage)));
    if (image) {
        image->dm.dmSpecVersion = kDevmodeSpecVersion;
        image->dm.dmDriverVersion = kDevmodeDriverVersion;
        image->dm.dmSize = sizeof(DEVMODEA);
        image->dm.dmDriverExtra = kPrivateSize;
    }
    return image;
}

// The standard part of the model's default device mode from the model
// library, as the UI library would have given it: the paper, source and
// resolution that the PJL header and the page commands both read. The private
// block stays empty but for its signature, as without the UI library before.
bool ModelDefaults(PDEV* pdev, LPCWSTR deviceName, DevmodeImage* image) {
    // The bindings of the physical device, or (when they could not be made
    // when it was enabled) read for this call, as every model query does.
    LPVOID ownData = pdev->modelData ? nullptr : LoadModelData(pdev->printer);
    LPCVOID data = pdev->modelData ? pdev->modelData : ownData;
    HMODULE ownLibrary = pdev->modelsmith || !data
                             ? nullptr
                             : LoadComponentDll(pdev->printer, data, kSelectModelsmith);
    HMODULE library = pdev->modelsmith ? pdev->modelsmith : ownLibrary;
    auto revise = Export<PFN_mdReviseDevmode>(library, "mdReviseDevmode");
    AnsiDevmodeImage* defaults = revise && data ? NewAnsiImage(pdev) : nullptr;
    bool done =
        defaults && revise(data, nullptr, &defaults->dm, 1) == 0 && HasOwnSignature(defaults->priv);
    if (done) {
        DevmodeAToW(*defaults, image);
        CopyWideField(image->dm.dmDeviceName, CCHDEVICENAME, deviceName);
        EmptyPrivate(image);
    }
    if (defaults) HeapFree(pdev->heap, 0, defaults);
    if (ownLibrary) FreeLibrary(ownLibrary);
    if (ownData) GlobalFree(ownData);
    return done;
}

} // namespace

void DefaultDevmode(PDEV* pdev, LPCWSTR deviceName, DevmodeImage* image) {
    std::memset(image, 0, sizeof *image);
    StampHeader(image->dm);
    CopyWideField(image->dm.dmDeviceName, CCHDEVICENAME, deviceName);
    auto revise = Export<PFN_uiReviseDevmodeEx>(pdev->sheetwright, "uiReviseDevmodeEx");
    if (revise && pdev->modelData &&
        revise(pdev->printer, pdev->modelData, nullptr, &image->dm, 1) == 0) {
        DevmodeImage copy;
        std::memset(&copy, 0, sizeof copy);
        StampHeader(copy.dm);
        if (MergeDevmode(&image->dm, &copy.dm) >= 0 &&
            revise(pdev->printer, pdev->modelData, &copy.dm, &image->dm, 2) == 0)
            return;
    } else if (!revise) {
        ModelDefaults(pdev, deviceName, image);
    }
    // The resolution and scale the rest relies on.
    if (image->dm.dmPrintQuality <= 0) image->dm.dmPrintQuality = 600;
    image->dm.dmScale = 100;
    StampHeader(image->dm);
    if (!HasOwnSignature(image->priv)) EmptyPrivate(image);
}

void ReviseForeignPrivate(PDEV* pdev, DevmodeImage* image) {
    auto revise = Export<PFN_mdReviseDevmode>(pdev->modelsmith, "mdReviseDevmode");
    if (revise && pdev->modelData) {
        AnsiDevmodeImage* fresh = NewAnsiImage(pdev);
        AnsiDevmodeImage* old = NewAnsiImage(pdev);
        bool done = false;
        if (fresh && old) {
            // The old one carries the standard part only: its private block has no signature.
            DevmodeImage standard = *image;
            std::memset(standard.priv, 0, sizeof standard.priv);
            DevmodeWToA(standard, old);
            done = revise(pdev->modelData, nullptr, &fresh->dm, 1) == 0 &&
                   revise(pdev->modelData, &old->dm, &fresh->dm, 2) == 0 &&
                   HasOwnSignature(fresh->priv);
            if (done) std::memcpy(image->priv, fresh->priv, kPrivateSize);
        }
        if (fresh) HeapFree(pdev->heap, 0, fresh);
        if (old) HeapFree(pdev->heap, 0, old);
        if (done) return;
    }
    EmptyPrivate(image);
}

} // namespace inkforge
