// The quarter turn of landscape pages. The codec library turns the whole page
// straight into the portrait bitmap in one call: it blocks the work so that
// each portrait line is written in whole pieces from a cached tile, so a strip
// buffer and a second copy of every byte would only slow it down. Only a
// portrait whose line count is not a multiple of 8 gets its last few lines
// through a small buffer, so that no line past the portrait is written.
#include "band_rotation.h"

#include <cstring>
#include <string>
#include <vector>

#include "hooks.h"
#include "imaging/bitsqueeze.h"
#include "pdev.h"
#include "system_access.h"
#include "win/base.h"

namespace inkforge {
namespace {

constexpr DWORD kGroupLines = 32;   // a landscape page's height is a whole number of these
constexpr DWORD kMaxCount = 0xFFFF; // RAW2ROTATE counts lines and line bits in 16 bits

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

// A quarter turn clockwise of `lines` landscape lines (whole bands of 8) from
// `source` into `portraitLines` portrait lines (a multiple of 8) at `target`.
int Turn(PFN_RAW2ROTATE rotate, const BYTE* source, LONG srcStride, DWORD lines, BYTE* target,
         LONG dstStride, DWORD portraitLines) {
    Raw2RotateBlock b{};
    b.variant = RAW2ROTATE_PLAIN;
    b.angle = 90;
    b.source = const_cast<BYTE*>(source); // only mirrored variants write the source
    b.sourceStride = static_cast<WORD>(srcStride * 8);
    b.sourceLines = static_cast<WORD>(lines);
    b.destination = target;
    b.destinationStride = static_cast<WORD>(dstStride * 8);
    b.destinationLines = static_cast<WORD>(portraitLines);
    return rotate(&b);
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
    if (static_cast<ULONGLONG>(srcStride) * 8 > kMaxCount ||
        static_cast<LONGLONG>(srcStride) * 8 < width ||
        static_cast<ULONGLONG>(dstStride) * 8 > kMaxCount || static_cast<DWORD>(height) > kMaxCount)
        return FALSE;
    if (portrait->sizlBitmap.cx < height || portrait->sizlBitmap.cy < width ||
        static_cast<LONGLONG>(dstStride) * 8 < height)
        return FALSE;
    HMODULE codec = LoadCodec();
    if (!codec) return FALSE;
    auto rotate = Export<PFN_RAW2ROTATE>(codec, "RAW2ROTATE");
    if (!rotate)
        rotate = Export<PFN_RAW2ROTATE>(codec, MAKEINTRESOURCEA(BITSQUEEZE_ORDINAL_RAW2ROTATE));
    if (!rotate) {
        FreeLibrary(codec);
        return FALSE;
    }
    const auto* src = static_cast<const BYTE*>(landscape->pvScan0);
    auto* dst = static_cast<BYTE*>(portrait->pvScan0);
    // Landscape column x is portrait line x; the last landscape line lands in
    // the portrait's first column.
    const DWORD whole = static_cast<DWORD>(width) / 8 * 8;
    BOOL ok = TRUE;
    if (whole) ok = Turn(rotate, src, srcStride, height, dst, dstStride, whole) == T4_STATUS_DONE;
    if (ok && whole < static_cast<DWORD>(width)) {
        // The last byte column: its 8 portrait lines through a buffer, the
        // lines past the portrait's width dropped.
        std::vector<BYTE> rest(static_cast<size_t>(dstStride) * 8);
        ok = Turn(rotate, src + whole / 8, srcStride, height, rest.data(), dstStride, 8) ==
             T4_STATUS_DONE;
        if (ok) {
            const size_t bytes = static_cast<size_t>(height) / 8;
            for (DWORD x = whole; x < static_cast<DWORD>(width); ++x)
                std::memcpy(dst + static_cast<size_t>(x) * dstStride,
                            rest.data() + static_cast<size_t>(x - whole) * dstStride, bytes);
        }
    }
    FreeLibrary(codec);
    return ok;
}

} // namespace inkforge
