// The quarter turn of landscape bands. The landscape band is taken up to 512
// lines at a time (a strip, whole groups of 32 lines); one call of RAW2ROTATE
// turns it into a strip buffer of up to 64 bytes (a cache line) per portrait
// line, which is then copied into the portrait band. Strips that wide keep
// the turn near the speed of copying the page: with 4-byte strips every
// portrait line was visited once per 32 landscape lines. The strip buffer is
// sized from the band's width, so wide pages such as long paper or A3 at
// 1200 dpi fit; a fixed buffer would be overrun by them.
#include "band_rotation.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "hooks.h"
#include "pdev.h"
#include "system_access.h"
#include "win/base.h"

namespace inkforge {
namespace {

struct RotateBlock {
    WORD variant;
    WORD angle;
    DWORD reserved4;
    BYTE* source;
    WORD sourceBits;
    WORD sourceLines;
    DWORD reserved20;
    BYTE* target;
    WORD targetBits;
    WORD targetLines;
    DWORD reserved36;
};
static_assert(sizeof(RotateBlock) == 40 && offsetof(RotateBlock, source) == 8 &&
              offsetof(RotateBlock, sourceBits) == 16 && offsetof(RotateBlock, sourceLines) == 18 &&
              offsetof(RotateBlock, target) == 24 && offsetof(RotateBlock, targetBits) == 32 &&
              offsetof(RotateBlock, targetLines) == 34);

typedef int(WINAPI* PFN_RAW2ROTATE)(RotateBlock* block);

constexpr DWORD kStripLines = 512;
constexpr DWORD kGroupLines = 32; // a band's height is a whole number of these
constexpr DWORD kStripBytes = kStripLines / 8;
constexpr WORD kOrdinalRaw2Rotate = 5;

HMODULE LoadCodec() {
    WCHAR path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(DriverModule(), path, MAX_PATH);
    if (!n || n >= MAX_PATH) return nullptr;
    std::u16string file(path, n);
    size_t slash = file.rfind(u'\\');
    if (slash == std::u16string::npos) return nullptr;
    file.erase(slash + 1);
    for (const char* p = kCodecLibrary; *p; ++p)
        file += static_cast<char16_t>(*p);
    return LoadLibraryW(file.c_str());
}

} // namespace

BOOL RotatePageBitmap(PDEV* pdev, const SURFOBJ* landscape, SURFOBJ* portrait) {
    if (!pdev || !landscape || !portrait || landscape->iBitmapFormat != BMF_1BPP ||
        portrait->iBitmapFormat != BMF_1BPP || !landscape->pvScan0 || !portrait->pvScan0)
        return FALSE;
    const LONG width = landscape->sizlBitmap.cx, height = landscape->sizlBitmap.cy;
    const LONG srcStride = landscape->lDelta, dstStride = portrait->lDelta;
    if (width <= 0 || height <= 0 || height % kGroupLines != 0 || srcStride <= 0 || dstStride <= 0)
        return FALSE;
    // RAW2ROTATE counts a line's bits in 16 bits.
    if (static_cast<ULONGLONG>(srcStride) * 8 > 0xFFFF ||
        static_cast<LONGLONG>(srcStride) * 8 < width)
        return FALSE;
    if (portrait->sizlBitmap.cx < height || portrait->sizlBitmap.cy < width ||
        static_cast<LONGLONG>(dstStride) * 8 < height)
        return FALSE;
    HMODULE codec = LoadCodec();
    if (!codec) return FALSE;
    auto rotate = Export<PFN_RAW2ROTATE>(codec, "RAW2ROTATE");
    if (!rotate) rotate = Export<PFN_RAW2ROTATE>(codec, MAKEINTRESOURCEA(kOrdinalRaw2Rotate));
    // Every column of the source line is a portrait line of the strip.
    const DWORD stripLinesOut = static_cast<DWORD>(srcStride) * 8;
    const size_t stripSize = static_cast<size_t>(stripLinesOut) * kStripBytes;
    HGLOBAL stripBlock = rotate ? GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, stripSize) : nullptr;
    auto* strip = stripBlock ? static_cast<BYTE*>(GlobalLock(stripBlock)) : nullptr;
    if (!strip) {
        if (stripBlock) GlobalFree(stripBlock);
        FreeLibrary(codec);
        return FALSE;
    }
    const auto* src = static_cast<const BYTE*>(landscape->pvScan0);
    auto* dst = static_cast<BYTE*>(portrait->pvScan0);
    const DWORD portraitBytes = static_cast<DWORD>(height) / 8;
    for (DWORD done = 0; done < static_cast<DWORD>(height);) {
        const DWORD lines = std::min(kStripLines, static_cast<DWORD>(height) - done);
        const DWORD bytes = lines / 8; // of each portrait line
        // The strip's first 8 lines land rightmost in its bytes.
        RotateBlock b{};
        b.variant = 0;
        b.angle = 90;
        b.source = const_cast<BYTE*>(src) + static_cast<size_t>(done) * srcStride;
        b.sourceBits = static_cast<WORD>(srcStride * 8);
        b.sourceLines = static_cast<WORD>(lines);
        b.target = strip;
        b.targetBits = static_cast<WORD>(bytes * 8);
        b.targetLines = static_cast<WORD>(stripLinesOut);
        rotate(&b);
        // The first strip is the rightmost bytes of each portrait line.
        done += lines;
        const size_t column = portraitBytes - done / 8;
        for (LONG x = 0; x < width; ++x)
            std::memcpy(dst + static_cast<size_t>(x) * dstStride + column,
                        strip + static_cast<size_t>(x) * bytes, bytes);
    }
    GlobalUnlock(stripBlock);
    GlobalFree(stripBlock);
    FreeLibrary(codec);
    return TRUE;
}

} // namespace inkforge
