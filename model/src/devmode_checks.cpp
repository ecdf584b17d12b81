// The model facts and the paper, source and media checks that the device-mode
// revision relies on.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "devmode_access.h"
#include "model/model_queries.h"
#include "model/modelsmith.h"
#include "win/environment.h"
#include "win/errors.h"

namespace model {

DWORD ModelAsk::Get(int code, int index, int layout, void* out, DWORD size, DWORD* count) const {
    std::memset(out, 0, size);
    DWORD length = size, n = 0;
    DWORD r = GetMyPrinterInfo(data_, code, index, layout, out, &length, &n);
    if (count) *count = n;
    return r;
}

DWORD ModelAsk::Size(int code, int index, int layout, DWORD* size, DWORD* count) const {
    DWORD length = 0, n = 0;
    DWORD r = GetMyPrinterInfo(data_, code, index, layout, nullptr, &length, &n);
    *size = length;
    if (count) *count = n;
    return r;
}

bool ModelAsk::Present(int code) const {
    DWORD size = 0, n = 0;
    return Size(code, 0, 1, &size, &n) == 0 && (size != 0 || n != 0);
}

bool ModelAsk::Answers(int code, int layout, DWORD size) const {
    std::vector<std::uint8_t> buf(size);
    return Get(code, 0, layout, buf.data(), size) == 0;
}

std::uint32_t ModelAsk::First(int code) const {
    // Layout 1 of the codes read this way is at most 140 bytes.
    DWORD size = 0;
    if (Size(code, 0, 1, &size) != 0 || size == 0 || size > 4096) return 0;
    std::vector<std::uint8_t> buf(size);
    if (Get(code, 0, 1, buf.data(), size) != 0 || size < 4) return 0;
    std::uint32_t v;
    std::memcpy(&v, buf.data(), 4);
    return v;
}

bool ModelAsk::Bit(int code, int bit) const {
    return (First(code) >> bit) & 1;
}

bool IsA4Region() {
    char text[16] = {};
    if (GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_ICOUNTRY, text, sizeof text) <= 0)
        return false;
    int code = std::atoi(text);
    if (code == 1 || code == 2 || (code >= 50 && code <= 59) || (code >= 500 && code <= 599))
        return false;
    return true;
}

bool IsWindows95() {
    OSVERSIONINFOA v = {};
    v.dwOSVersionInfoSize = sizeof v;
    if (!GetVersionExA(&v)) return false;
    return v.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && v.dwMajorVersion == 4 &&
           v.dwMinorVersion == 0;
}

bool GetPaperDimensions(const ModelAsk& m, int paper, std::int16_t* width, std::int16_t* length) {
    if (paper == 0 || paper == 256 || paper > 455) return false;
    *width = 0;
    *length = 0;
    std::uint8_t rec[160];
    if (m.Get(kQueryPapers, paper, 4, rec, sizeof rec) != 0) return false;
    std::memcpy(width, rec + 8, 2);
    std::memcpy(length, rec + 10, 2);
    return true;
}

bool CheckSourceEntry(const ModelAsk& m, int source) {
    std::uint8_t tray[4];
    DWORD n = 0;
    if (m.Get(kQueryPaperSources, source, 1, tray, sizeof tray, &n) == 0 && n == 1) {
        std::int16_t id;
        std::memcpy(&id, tray, 2);
        if (id == static_cast<std::int16_t>(source) && static_cast<std::int16_t>(source) == source)
            return true;
    }
    DWORD size = 0;
    if (m.Size(kQueryTrayGroups, 0, 2, &size) != 0 || size == 0) return false;
    std::vector<std::uint8_t> units(size);
    if (m.Get(kQueryTrayGroups, 0, 2, units.data(), size, &n) != 0) return false;
    for (DWORD u = 0; u < n && (u + 1) * 32 <= size; ++u) {
        const std::uint8_t* unit = units.data() + 32 * u;
        std::int16_t count;
        std::memcpy(&count, unit + 14, 2);
        for (int i = 0; i < count && i < 4; ++i) {
            std::int16_t id;
            std::memcpy(&id, unit + 24 + 2 * i, 2);
            if (id == source) return true;
        }
    }
    return false;
}

bool CheckTable22Entry(const ModelAsk& m, std::uint32_t media) {
    std::uint8_t entry[4];
    DWORD n = 0;
    if (m.Get(kQueryMediaTypes, static_cast<std::int16_t>(media), 1, entry, sizeof entry, &n) !=
            0 ||
        n != 1)
        return false;
    std::int16_t id;
    std::memcpy(&id, entry, 2);
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(id)) == media;
}

namespace {

// Whether width and length lie within a limits record (queries 21 and 75).
bool WithinLimits(const ModelAsk& m, int code, int width, int length) {
    std::uint8_t rec[140];
    if (m.Get(code, 0, 1, rec, sizeof rec) != 0) return false;
    auto word = [&](std::size_t off) {
        std::int16_t v;
        std::memcpy(&v, rec + off, 2);
        return static_cast<int>(v);
    };
    // 1/600 inch to 0.1 mm, each division truncating.
    auto mm = [](int v) { return ((v / 6) * 254) / 100; };
    int maxW = std::max(word(4), mm(word(8))), maxL = std::max(word(6), mm(word(10)));
    int minW = std::min(word(12), mm(word(16))), minL = std::min(word(14), mm(word(18)));
    return width >= minW && width <= maxW && length >= minL && length <= maxL;
}

} // namespace

int CheckPaperEntry(const ModelAsk& m, int paper, int width, int length) {
    if (paper == 0) return 0;
    if (paper <= 455 && !(paper == 256 && width > 0 && length > 0)) {
        std::uint8_t entry[4];
        return m.Get(kQueryPapers, paper, 3, entry, sizeof entry) == 0 ? 1 : 0;
    }
    if (WithinLimits(m, 21, width, length)) return 2;
    if (WithinLimits(m, 75, width, length)) return 2;
    return 0;
}

} // namespace model
