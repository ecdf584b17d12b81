// The driver's device-mode image as the graphics core reads it: the 220-byte
// wide standard part followed by the 1100-byte private block that opens with
// the signature. Private fields are named by their byte offset in the block.
#pragma once

#include <cstddef>
#include <cstring>

#include "win/devmode.h"
#include "win/types.h"

namespace inkforge {

constexpr WORD kDevmodeSpecVersion = 0x0401;
constexpr WORD kDevmodeDriverVersion = 0x0500;
constexpr WORD kPublicSize = sizeof(DEVMODEW);
constexpr WORD kPrivateSize = 1100;
constexpr WORD kOldPrivateSize = 908;
// The four characters of the signature as one 32-bit number, the first
// character in the most significant byte (the bytes "DROZ" in memory).
constexpr DWORD kPrivateSignature = 0x5A4F5244;
constexpr DWORD kPrivateVersion = 0x500;

struct DevmodeImage {
    DEVMODEW dm;
    BYTE priv[kPrivateSize];
};
static_assert(sizeof(DevmodeImage) == 1320 && offsetof(DevmodeImage, priv) == 220);

// Offsets in the private block.
namespace priv {
constexpr size_t Signature = 0;
constexpr size_t Version = 4;
constexpr size_t StateBits = 8;        // bit 0 allocated by the UI library; bits 1-3 job state
constexpr size_t PrivateFlags = 12;    // what the model offers (feature word A)
constexpr size_t FeatureFlags = 16;    // feature word B
constexpr size_t JobCheckFlags = 20;   // feature word C
constexpr size_t OptionFlags = 28;     // feature word D
constexpr size_t TotalSheets = 32;     // sheets per copy set of a replayed job
constexpr size_t Carried36 = 36;
constexpr size_t EmfMode = 40;
constexpr size_t AltSourceOn = 48;     // 1: the first page takes the alternate source and media
constexpr size_t AltSource = 50;
constexpr size_t AltMedia = 52;
constexpr size_t OutputPaperId = 56;
constexpr size_t OutputPaperWidth = 58;
constexpr size_t OutputPaperLength = 60;
constexpr size_t MeasureFlags = 64;
constexpr size_t DuplexType = 76;
constexpr size_t DuplexMargin = 78;
constexpr size_t MirrorImage = 84;
constexpr size_t SkipBlankPages = 88;
constexpr size_t CollateByDriver = 90;
constexpr size_t StapleMode = 92;
constexpr size_t OutputBin = 94;
constexpr size_t PunchMode = 96;
constexpr size_t SortMode = 100;
constexpr size_t CoverFlags = 102;
constexpr size_t FrontCoverPrinted = 104;
constexpr size_t FrontCoverSource = 106;
constexpr size_t BackCoverPrinted = 108;
constexpr size_t BackCoverSource = 110;
constexpr size_t JobType = 120;
constexpr size_t DeptCounterFlags = 122;
constexpr size_t JobTypeOptions = 124;
constexpr size_t DeptCode = 128;
constexpr size_t MailboxId = 160;
constexpr size_t SecureBoxId = 192;
constexpr size_t SecurePassword = 224;
constexpr size_t JobTextSize = 32;     // size of each of the four job texts above
constexpr size_t LayoutKind = 256;
constexpr size_t PagesPerSheet = 260;
constexpr size_t PosterAcross = 280;
constexpr size_t PosterDown = 282;
constexpr size_t ColorMode = 296;
constexpr size_t ColorModeAlt = 302;
constexpr size_t Density = 352;
constexpr size_t TextAsBlack = 354;
constexpr size_t ResolutionCode = 360;
constexpr size_t TonerSaveLevel = 366;
constexpr size_t QualityMode = 368;
constexpr size_t ImageReduction = 370;
constexpr size_t GraphicsMode = 372;
constexpr size_t HalftoneKind = 374;
constexpr size_t OverlayFlags = 384;
constexpr size_t FinisherId = 762;     // outer finisher model
constexpr size_t InstalledTrayOffset = 768;
constexpr size_t AutoTrayResolve = 770;
constexpr size_t PriorPrintOn = 844;
constexpr size_t DuplexNotice = 846;
constexpr size_t JobInfoFlags = 940;
constexpr size_t JobName = 944;
constexpr size_t JobNameSize = 84;
constexpr size_t UserName = 1028;
constexpr size_t UserNameSize = 32;
} // namespace priv

inline WORD PrivU16(const DevmodeImage& d, size_t off) {
    WORD v;
    std::memcpy(&v, d.priv + off, sizeof v);
    return v;
}
inline SHORT PrivI16(const DevmodeImage& d, size_t off) { return static_cast<SHORT>(PrivU16(d, off)); }
inline DWORD PrivU32(const DevmodeImage& d, size_t off) {
    DWORD v;
    std::memcpy(&v, d.priv + off, sizeof v);
    return v;
}
inline BYTE PrivU8(const DevmodeImage& d, size_t off) { return d.priv[off]; }
inline void SetPrivU16(DevmodeImage& d, size_t off, WORD v) { std::memcpy(d.priv + off, &v, sizeof v); }
inline void SetPrivU32(DevmodeImage& d, size_t off, DWORD v) { std::memcpy(d.priv + off, &v, sizeof v); }
inline bool PrivBit(const DevmodeImage& d, size_t off, int bit) { return (PrivU32(d, off) >> bit) & 1; }

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
