// The driver's device-mode image as the graphics core reads it: the 220-byte
// wide standard part followed by the 1100-byte private block that opens with
// the signature (the block's layout is the platform's PRIVATE_DEVMODE).
// Private fields are read by their byte offset in the block.
#pragma once

#include <cstddef>
#include <cstring>

#include "win/devmode.h"
#include "devmode_private.h"
#include "win/types.h"

namespace inkforge {

constexpr WORD kDevmodeSpecVersion = kDevmodeImageSpecVersion;
constexpr WORD kDevmodeDriverVersion = kDevmodeImageDriverVersion;
constexpr WORD kPublicSize = DEVMODEW_SIZE;
constexpr WORD kPrivateSize = PRIVATE_DEVMODE_SIZE;
constexpr WORD kOldPrivateSize = PRIVATE_DEVMODE_SIZE_908;
constexpr DWORD kPrivateSignature = PRIVATE_DEVMODE_SIGNATURE;
constexpr DWORD kPrivateVersion = PRIVATE_DEVMODE_VERSION;

// The image with its private block as bytes, read through the offsets below.
struct DevmodeImage {
    DEVMODEW dm;
    BYTE priv[kPrivateSize];
};
static_assert(sizeof(DevmodeImage) == sizeof(DEVMODE_IMAGEW) &&
              offsetof(DevmodeImage, priv) == 220);

// Offsets in the private block.
namespace priv {
#define INKFORGE_PRIV(name, field) constexpr size_t name = offsetof(PRIVATE_DEVMODE, field)
INKFORGE_PRIV(Signature, Signature);
INKFORGE_PRIV(Version, Version);
INKFORGE_PRIV(StateBits, JobStateBits);    // bit 0 allocated by the UI library; bits 1-3 job state
INKFORGE_PRIV(PrivateFlags, PrivateFlags); // what the model offers (feature word A)
INKFORGE_PRIV(FeatureFlags, FeatureFlags); // feature word B
INKFORGE_PRIV(JobCheckFlags, JobCheckFlags);         // feature word C
INKFORGE_PRIV(OptionFlags, OptionFlags);             // feature word D
INKFORGE_PRIV(TotalSheets, TotalSheets);             // sheets per copy set of a replayed job
INKFORGE_PRIV(DuplexMarginFlags, DuplexMarginFlags); // bit 0: the duplex margin is sent
INKFORGE_PRIV(EmfMode, EmfMode);
INKFORGE_PRIV(AltSourceOn,
              AlternateSourceOn); // 1: the first page takes the alternate source and media
INKFORGE_PRIV(AltSource, AlternateSource);
INKFORGE_PRIV(AltMedia, AlternateMediaType);
INKFORGE_PRIV(OutputPaperId, OutputPaperId);
INKFORGE_PRIV(OutputPaperWidth, OutputPaperWidth);
INKFORGE_PRIV(OutputPaperLength, OutputPaperLength);
INKFORGE_PRIV(MeasureFlags, MeasureFlags);
INKFORGE_PRIV(DuplexType, DuplexType);
INKFORGE_PRIV(DuplexMargin, DuplexMargin);
INKFORGE_PRIV(MirrorImage, MirrorImage);
INKFORGE_PRIV(SkipBlankPages, SkipBlankPages);
INKFORGE_PRIV(CollateByDriver, CollateByDriver);
INKFORGE_PRIV(StapleMode, StapleMode);
INKFORGE_PRIV(OutputBin, OutputBin);
INKFORGE_PRIV(PunchMode, PunchMode);
INKFORGE_PRIV(SortMode, SortMode);
INKFORGE_PRIV(CoverFlags, CoverFlags);
INKFORGE_PRIV(FrontCoverPrinted, FrontCoverPrinted);
INKFORGE_PRIV(FrontCoverSource, FrontCoverSource);
INKFORGE_PRIV(BackCoverPrinted, BackCoverPrinted);
INKFORGE_PRIV(BackCoverSource, BackCoverSource);
INKFORGE_PRIV(JobType, JobType);
INKFORGE_PRIV(DeptCounterFlags, DeptCounterFlags);
INKFORGE_PRIV(JobTypeOptions, JobTypeOptions);
INKFORGE_PRIV(DeptCode, DeptCode);
INKFORGE_PRIV(MailboxId, MailboxId);
INKFORGE_PRIV(SecureBoxId, SecureBoxId);
INKFORGE_PRIV(SecurePassword, SecurePassword);
INKFORGE_PRIV(LayoutKind, LayoutKind);
INKFORGE_PRIV(PagesPerSheet, PagesPerSheet);
INKFORGE_PRIV(PosterAcross, PosterGrid[0]);
INKFORGE_PRIV(PosterDown, PosterGrid[1]);
INKFORGE_PRIV(BindingMargin, BindingMargin);
INKFORGE_PRIV(ZoomPercent, ZoomPercent);
INKFORGE_PRIV(PosterOverlap, PosterOverlap);
INKFORGE_PRIV(NupRotation, NupRotation);
INKFORGE_PRIV(BookletRotation, BookletRotation);
INKFORGE_PRIV(ColorMode, ColorMode);
INKFORGE_PRIV(ColorModeAlt, ColorModeAlt);
INKFORGE_PRIV(Density, Density);
INKFORGE_PRIV(TextAsBlack, TextAsBlack);
INKFORGE_PRIV(ResolutionCode, ResolutionCode);
INKFORGE_PRIV(FontMode, FontMode); // how text is sent (FONTMODE_* bits)
INKFORGE_PRIV(TonerSaveLevel, TonerSaveLevel);
INKFORGE_PRIV(QualityMode, QualityMode);
INKFORGE_PRIV(ImageReduction, ImageReduction);
INKFORGE_PRIV(GraphicsMode, GraphicsMode);
INKFORGE_PRIV(HalftoneKind, HalftoneKind);
INKFORGE_PRIV(OverlayFlags, OverlayFlags);
INKFORGE_PRIV(FinisherId, FinisherId); // outer finisher model
INKFORGE_PRIV(InstalledTrayOffset, InstalledTrayOffset);
INKFORGE_PRIV(AutoTrayResolve, AutoTrayResolve);
INKFORGE_PRIV(PriorPrintOn, PriorPrintOn);
INKFORGE_PRIV(DuplexNotice, DuplexNotice);
INKFORGE_PRIV(JobInfoFlags, JobInfoFlags);
INKFORGE_PRIV(JobName, JobName);
INKFORGE_PRIV(UserName, UserName);
#undef INKFORGE_PRIV
constexpr size_t JobTextSize = sizeof(PRIVATE_DEVMODE::DeptCode); // each of the four job texts
constexpr size_t JobNameSize = sizeof(PRIVATE_DEVMODE::JobName);
constexpr size_t UserNameSize = sizeof(PRIVATE_DEVMODE::UserName);
} // namespace priv

inline WORD PrivU16(const DevmodeImage& d, size_t off) {
    WORD v;
    std::memcpy(&v, d.priv + off, sizeof v);
    return v;
}
inline SHORT PrivI16(const DevmodeImage& d, size_t off) {
    return static_cast<SHORT>(PrivU16(d, off));
}
inline DWORD PrivU32(const DevmodeImage& d, size_t off) {
    DWORD v;
    std::memcpy(&v, d.priv + off, sizeof v);
    return v;
}
inline BYTE PrivU8(const DevmodeImage& d, size_t off) {
    return d.priv[off];
}
inline void SetPrivU16(DevmodeImage& d, size_t off, WORD v) {
    std::memcpy(d.priv + off, &v, sizeof v);
}
inline void SetPrivU32(DevmodeImage& d, size_t off, DWORD v) {
    std::memcpy(d.priv + off, &v, sizeof v);
}
inline bool PrivBit(const DevmodeImage& d, size_t off, int bit) {
    return (PrivU32(d, off) >> bit) & 1;
}

// The resolution mode of the private block: 1, 3 and 4 as they stand, anything else 2.
inline WORD ResolutionMode(const DevmodeImage& d) {
    WORD v = PrivU16(d, priv::ResolutionCode);
    return v == 1 || v == 3 || v == 4 ? v : 2;
}

// A private block of the driver's own current layout.
inline bool HasOwnSignature(const BYTE* block) {
    DWORD sig;
    std::memcpy(&sig, block, sizeof sig);
    return sig == kPrivateSignature;
}

// The standard header of the driver's own device mode.
inline void StampHeader(DEVMODEW& dm) {
    dm.dmSpecVersion = kDevmodeSpecVersion;
    dm.dmDriverVersion = kDevmodeDriverVersion;
    dm.dmSize = kPublicSize;
    dm.dmDriverExtra = kPrivateSize;
}

} // namespace inkforge
