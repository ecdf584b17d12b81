#include "devmode_convert.h"

namespace sheetwright {
namespace {

// Bits of the private words the playback decision reads.
constexpr DWORD kCollateModelFlag = 1u << 15;     // PrivateFlags: the device collates
constexpr DWORD kReverseOrderFlag = 1u << 12;     // PrivateFlags
constexpr DWORD kCoverPagesFlag = 1u << 21;       // PrivateFlags
constexpr DWORD kFrontCoverSourceFlag = 1u << 22; // PrivateFlags
constexpr DWORD kBackCoverSourceFlag = 1u << 23;  // PrivateFlags
constexpr DWORD kFitToPaperFlag = 1u << 0;        // FeatureFlags
constexpr DWORD kZoomFlag = 1u << 1;              // FeatureFlags
constexpr DWORD kBookletFlag = 1u << 2;           // FeatureFlags
constexpr DWORD kPagesPerSheetFlag = 1u << 3;     // FeatureFlags
constexpr DWORD kPosterFlag = 1u << 4;            // FeatureFlags
constexpr DWORD kOverlayFlag = 1u << 18;          // FeatureFlags
constexpr DWORD kWatermarkFlag = 1u << 19;        // FeatureFlags

bool LayoutInUse(const PRIVATE_DEVMODE& p) {
    const DWORD f = p.FeatureFlags;
    return ((f & kPagesPerSheetFlag) && p.LayoutKind == kLayoutPagesPerSheet) ||
           ((f & kPosterFlag) && p.LayoutKind == kLayoutPoster) ||
           ((f & kFitToPaperFlag) && p.LayoutKind == kLayoutFitToPaper && p.OutputPaperId != 0) ||
           ((p.PrivateFlags & kReverseOrderFlag) && p.ReverseOrder != 0) ||
           ((f & kZoomFlag) && p.LayoutKind == kLayoutZoom);
}

bool NeedsPlayback(const DEVMODEW& dm, const PRIVATE_DEVMODE& p) {
    const bool collatedCopies = (dm.dmFields & DM_COPIES) && (dm.dmFields & DM_COLLATE) &&
                                dm.dmCollate == DMCOLLATE_TRUE && dm.dmCopies > 1;
    const DWORD a = p.PrivateFlags, b = p.FeatureFlags;
    if (collatedCopies && (!(a & kCollateModelFlag) || p.CollateByDriver == 1)) return true;
    if ((b & kWatermarkFlag) && (p.WatermarkFlags & kEffectOnMask)) return true;
    if ((b & kOverlayFlag) && (p.OverlayFlags & kEffectOnMask)) return true;
    if ((b & kBookletFlag) && p.LayoutKind == kLayoutBooklet && (dm.dmFields & DM_DUPLEX) &&
        dm.dmDuplex == DMDUP_HORIZONTAL)
        return true;
    const bool layout = LayoutInUse(p);
    if (layout) return true;
    if ((a & kCoverPagesFlag) && (a & kFrontCoverSourceFlag) && (p.CoverFlags & kCoverFlagFront))
        return true;
    return (a & kCoverPagesFlag) && (a & kBackCoverSourceFlag) && (p.CoverFlags & kCoverFlagBack);
}

} // namespace

BOOL DecideSpoolPlayback(const DEVMODEW* dm, PRIVATE_DEVMODE* priv) {
    if (!dm || !priv) return FALSE;
    const bool playback = !(priv->EmfMode & kEmfModePlaybackOff) && NeedsPlayback(*dm, *priv);
    if (playback)
        priv->EmfMode |= kEmfModePlayback;
    else
        priv->EmfMode &= ~kEmfModePlayback;
    return playback ? TRUE : FALSE;
}

} // namespace sheetwright
