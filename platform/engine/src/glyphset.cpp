// EngComputeGlyphSet: which Unicode characters a range of a code page's
// characters stands for, as runs of consecutive characters.
#include <iconv.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "engine_internal.h"
#include "win/errors.h"

namespace platform::engine {
namespace {

// The Unicode character of one byte of a single-byte code page, or 0 when
// the code page has no character there.
WCHAR Decode(iconv_t cd, BYTE byte) {
    char in[1] = {static_cast<char>(byte)};
    size_t inLeft = 1;
    char16_t outBuf[4] = {};
    char* inPtr = in;
    char* outPtr = reinterpret_cast<char*>(outBuf);
    size_t outLeft = sizeof outBuf;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    if (r == static_cast<size_t>(-1) || inLeft != 0) return 0;
    if (sizeof outBuf - outLeft != sizeof(char16_t)) return 0;
    return outBuf[0];
}

} // namespace
} // namespace platform::engine

using namespace platform::engine;

extern "C" FD_GLYPHSET* APIENTRY EngComputeGlyphSet(INT nCodePage, INT nFirstChar, INT cChars) {
    if (nCodePage <= 0 || nFirstChar < 0 || cChars <= 0 || nFirstChar > 0xFFFF ||
        cChars > 0x10000 - nFirstChar) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    char name[32];
    std::snprintf(name, sizeof name, "CP%d", nCodePage);
    iconv_t cd = iconv_open("UTF-16LE", name);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // Each character is one byte of the code page: the low byte of its
    // number, which is also its glyph handle.
    std::vector<std::pair<WCHAR, HGLYPH>> map;
    for (int i = 0; i < cChars; ++i) {
        auto byte = static_cast<BYTE>((nFirstChar + i) & 0xFF);
        WCHAR wc = Decode(cd, byte);
        if (wc || byte == 0) map.emplace_back(wc, static_cast<HGLYPH>(byte));
    }
    iconv_close(cd);
    // Two codes for one character: the first code keeps it.
    std::stable_sort(map.begin(), map.end(), [](auto& a, auto& b) { return a.first < b.first; });
    map.erase(
        std::unique(map.begin(), map.end(), [](auto& a, auto& b) { return a.first == b.first; }),
        map.end());

    std::vector<std::pair<size_t, size_t>> runs; // first index, length
    for (size_t i = 0; i < map.size(); ++i) {
        if (!runs.empty() && runs.back().second < 0xFFFF &&
            map[i].first == map[runs.back().first + runs.back().second - 1].first + 1)
            ++runs.back().second;
        else
            runs.emplace_back(i, 1);
    }
    // One block: the header with its runs, then the glyph handles.
    size_t runCount = std::max<size_t>(runs.size(), 1);
    size_t header = offsetof(FD_GLYPHSET, awcrun) + runCount * sizeof(WCRUN);
    size_t bytes = header + map.size() * sizeof(HGLYPH);
    auto* gs = static_cast<FD_GLYPHSET*>(AllocCounted(bytes, true));
    if (!gs) return nullptr;
    gs->cjThis = static_cast<ULONG>(bytes);
    gs->cGlyphsSupported = static_cast<ULONG>(map.size());
    gs->cRuns = static_cast<ULONG>(runs.size());
    bool eightBit = std::all_of(map.begin(), map.end(), [](auto& e) { return e.second < 256; });
    gs->flAccel = eightBit ? GS_8BIT_HANDLES : GS_16BIT_HANDLES;
    auto* handles = reinterpret_cast<HGLYPH*>(reinterpret_cast<BYTE*>(gs) + header);
    WCRUN* run = gs->awcrun;
    for (size_t r = 0; r < runs.size(); ++r) {
        run[r].wcLow = map[runs[r].first].first;
        run[r].cGlyphs = static_cast<USHORT>(runs[r].second);
        run[r].phg = handles + runs[r].first;
        for (size_t k = 0; k < runs[r].second; ++k)
            handles[runs[r].first + k] = map[runs[r].first + k].second;
    }
    return gs;
}
