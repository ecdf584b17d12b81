#include "devmode_forms.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/codepage_ctl.h"

namespace driver_devmode {
namespace {

// The standard part in three runs: the device name, the fields from
// dmSpecVersion through dmCollate, the form name, and the fields from dmLogPixels
// to the end of the standard part (whatever length dmSize gives it).
constexpr size_t kAnsiMid = offsetof(DEVMODEA, dmSpecVersion);
constexpr size_t kWideMid = offsetof(DEVMODEW, dmSpecVersion);
constexpr size_t kMidBytes = offsetof(DEVMODEA, dmFormName) - kAnsiMid;
constexpr size_t kAnsiFormName = offsetof(DEVMODEA, dmFormName);
constexpr size_t kWideFormName = offsetof(DEVMODEW, dmFormName);
constexpr size_t kAnsiTail = offsetof(DEVMODEA, dmLogPixels);
constexpr size_t kWideTail = offsetof(DEVMODEW, dmLogPixels);
static_assert(kMidBytes == offsetof(DEVMODEW, dmFormName) - kWideMid);
static_assert(kWideTail - kAnsiTail == sizeof(DEVMODEW) - sizeof(DEVMODEA));
static_assert(CCHFORMNAME == CCHDEVICENAME); // both names convert alike
// dmSize and dmDriverExtra stand at the same place relative to the mid run.
constexpr size_t kSizeInMid = offsetof(DEVMODEA, dmSize) - kAnsiMid;
constexpr size_t kExtraInMid = offsetof(DEVMODEA, dmDriverExtra) - kAnsiMid;

WORD ReadWord(const BYTE* p) {
    WORD v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
void WriteWord(BYTE* p, WORD v) {
    std::memcpy(p, &v, sizeof v);
}

// The sizes of a device mode of `bytes` bytes whose mid run starts at `mid`;
// false when they reach past its end or the standard part stops short.
bool CheckedSizes(const BYTE* base, size_t bytes, size_t mid, size_t tail, WORD* size,
                  WORD* extra) {
    if (bytes < mid + kMidBytes) return false;
    *size = ReadWord(base + mid + kSizeInMid);
    *extra = ReadWord(base + mid + kExtraInMid);
    return *size >= tail && size_t{*size} + *extra <= bytes;
}

// A name field: up to its first NUL within the field.
template <typename Char>
std::basic_string_view<Char> FieldText(const BYTE* field, size_t count, Char* copy) {
    std::memcpy(copy, field, count * sizeof(Char));
    size_t n = 0;
    while (n < count && copy[n] != 0)
        ++n;
    return {copy, n};
}

void PutWideName(const BYTE* ansi, BYTE* wide) {
    char text[CCHDEVICENAME];
    std::u16string w = platform::AnsiToWide(FieldText(ansi, CCHDEVICENAME, text));
    if (w.size() > CCHDEVICENAME - 1) w.resize(CCHDEVICENAME - 1);
    std::memset(wide, 0, CCHDEVICENAME * sizeof(WCHAR));
    std::memcpy(wide, w.data(), w.size() * sizeof(WCHAR));
}

void PutAnsiName(const BYTE* wide, BYTE* ansi) {
    char16_t text[CCHDEVICENAME];
    const std::string a = platform::WideToAnsi(FieldText(wide, CCHDEVICENAME, text));
    // Keep the terminator and never cut a double-byte character in two.
    size_t n = 0;
    while (n < a.size()) {
        const size_t len = platform::AnsiCharLength(std::string_view(a).substr(n));
        if (n + len > CCHDEVICENAME - 1) break;
        n += len;
    }
    std::memset(ansi, 0, CCHDEVICENAME);
    std::memcpy(ansi, a.data(), n);
}

} // namespace

namespace {

// Where the runs of the standard part start in one form.
struct Form {
    size_t mid, form, tail;
    void (*putName)(const BYTE* from, BYTE* to); // a name converted into this form
};
constexpr Form kAnsiForm{kAnsiMid, kAnsiFormName, kAnsiTail, PutAnsiName};
constexpr Form kWideForm{kWideMid, kWideFormName, kWideTail, PutWideName};

BOOL Convert(const void* in, size_t inBytes, const Form& source, void* out, size_t outBytes,
             const Form& target) {
    if (!in || !out) return FALSE;
    const auto* from = static_cast<const BYTE*>(in);
    WORD size = 0, extra = 0;
    if (!CheckedSizes(from, inBytes, source.mid, source.tail, &size, &extra)) return FALSE;
    const size_t newSize = size - source.tail + target.tail;
    if (newSize > 0xFFFF || newSize + extra > outBytes) return FALSE;
    std::vector<BYTE> to(newSize + extra, 0);
    target.putName(from, to.data());
    std::memcpy(to.data() + target.mid, from + source.mid, kMidBytes);
    target.putName(from + source.form, to.data() + target.form);
    std::memcpy(to.data() + target.tail, from + source.tail, size - source.tail);
    std::memcpy(to.data() + newSize, from + size, extra);
    WriteWord(to.data() + target.mid + kSizeInMid, static_cast<WORD>(newSize));
    std::memcpy(out, to.data(), to.size());
    return TRUE;
}

} // namespace

BOOL DevModeAToW(const DEVMODEA* in, size_t inBytes, DEVMODEW* out, size_t outBytes) {
    return Convert(in, inBytes, kAnsiForm, out, outBytes, kWideForm);
}

BOOL DevModeWToA(const DEVMODEW* in, size_t inBytes, DEVMODEA* out, size_t outBytes) {
    return Convert(in, inBytes, kWideForm, out, outBytes, kAnsiForm);
}

size_t CopyDevmodeImage(const DEVMODEW* source, DEVMODEW* target) {
    if (!source || !target) return 0;
    const WORD specVersion = target->dmSpecVersion, driverVersion = target->dmDriverVersion;
    const WORD size = target->dmSize, extra = target->dmDriverExtra;
    const WORD sourceSize = source->dmSize;
    const size_t standard = std::min(sourceSize, size);
    const size_t privateBytes = std::min(source->dmDriverExtra, extra);
    auto* to = reinterpret_cast<BYTE*>(target);
    const auto* from = reinterpret_cast<const BYTE*>(source);
    std::memmove(to, from, standard);
    std::memmove(to + size, from + sourceSize, privateBytes);
    target->dmSpecVersion = specVersion;
    target->dmDriverVersion = driverVersion;
    target->dmSize = size;
    target->dmDriverExtra = extra;
    return standard + privateBytes;
}

} // namespace driver_devmode
