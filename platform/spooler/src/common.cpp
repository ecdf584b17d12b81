// Shared pieces of the spooler: text and device-mode conversions, answers in
// the two-call protocol, handle lookup, the call log and the test controls.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <deque>
#include <typeinfo>

#include "platform/text.h"
#include "spooler_internal.h"
#include "win/strings.h"

namespace platform::spooler {

// ---- text ---------------------------------------------------------------

std::u16string WideFrom(const char16_t* text) {
    return text ? std::u16string(text) : std::u16string();
}

std::string AnsiFromWide(std::u16string_view text) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::u16string WideFromAnsi(const char* text) {
    if (!text || !*text) return {};
    int len = static_cast<int>(std::strlen(text));
    int n = MultiByteToWideChar(CP_ACP, 0, text, len, nullptr, 0);
    if (n <= 0) return {};
    std::u16string out(static_cast<size_t>(n), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text, len, out.data(), n);
    return out;
}

// ---- device modes -------------------------------------------------------

namespace {

WORD ReadWord(const BYTE* p) {
    WORD w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

void WriteWord(BYTE* p, WORD w) {
    std::memcpy(p, &w, sizeof w);
}

bool CopyDevmode(const void* devmode, size_t sizeOffset, size_t minimum, std::vector<BYTE>* out) {
    const auto* p = static_cast<const BYTE*>(devmode);
    size_t size = ReadWord(p + sizeOffset);
    size_t extra = ReadWord(p + sizeOffset + 2);
    if (size < minimum) return false;
    out->assign(p, p + size + extra);
    return true;
}

// Field groups of the two layouts: device name, the fixed fields up to the
// form name, the form name, and the rest of the public part.
constexpr size_t kWideName = 64, kAnsiName = 32;
constexpr size_t kFixed = 38;
constexpr size_t kWideForm = 64, kAnsiForm = 32;

// A name field of the ANSI layout: up to 31 bytes and a NUL, never cutting a
// double-byte character.
void PutAnsiName(BYTE* field, const BYTE* wideField, size_t wideBytes) {
    std::u16string name;
    for (size_t i = 0; i + 2 <= wideBytes; i += 2) {
        char16_t c = static_cast<char16_t>(wideField[i] | (wideField[i + 1] << 8));
        if (c == 0) break;
        name += c;
    }
    std::string ansi = AnsiFromWide(name);
    size_t n = 0;
    while (n < ansi.size()) {
        size_t step = IsDBCSLeadByte(static_cast<BYTE>(ansi[n])) ? 2 : 1;
        if (n + step > 31) break;
        n += step;
    }
    std::memset(field, 0, 32);
    std::memcpy(field, ansi.data(), n);
}

void PutWideName(BYTE* field, const BYTE* ansiField, size_t ansiBytes) {
    std::string name;
    for (size_t i = 0; i < ansiBytes && ansiField[i]; ++i)
        name += static_cast<char>(ansiField[i]);
    std::u16string wide = WideFromAnsi(name.c_str());
    if (wide.size() > 31) wide.resize(31);
    std::memset(field, 0, 64);
    for (size_t i = 0; i < wide.size(); ++i) {
        field[2 * i] = static_cast<BYTE>(wide[i] & 0xFF);
        field[2 * i + 1] = static_cast<BYTE>(wide[i] >> 8);
    }
}

} // namespace

bool CopyDevmodeW(const void* devmode, std::vector<BYTE>* out) {
    return CopyDevmode(devmode, kDevmodeSizeOffsetW, kDevmodeMinimumW, out);
}

bool CopyDevmodeA(const void* devmode, std::vector<BYTE>* out) {
    return CopyDevmode(devmode, kDevmodeSizeOffsetA, kDevmodeMinimumA, out);
}

bool IsWellFormedDevmodeW(const std::vector<BYTE>& block) {
    if (block.size() < kDevmodeMinimumW) return false;
    size_t size = ReadWord(block.data() + kDevmodeSizeOffsetW);
    size_t extra = ReadWord(block.data() + kDevmodeSizeOffsetW + 2);
    return size >= kDevmodeMinimumW && size + extra == block.size();
}

std::vector<BYTE> DevmodeWideToAnsi(const std::vector<BYTE>& wide) {
    if (!IsWellFormedDevmodeW(wide)) return {};
    size_t wSize = ReadWord(wide.data() + kDevmodeSizeOffsetW);
    size_t extra = ReadWord(wide.data() + kDevmodeSizeOffsetW + 2);
    // The public part loses 32 bytes per name field that it holds.
    size_t formEnd = kWideName + kFixed + kWideForm;
    size_t aSize;
    if (wSize >= formEnd)
        aSize = wSize - 64;
    else if (wSize > kWideName + kFixed)
        aSize = kAnsiName + kFixed + (wSize - kWideName - kFixed + 1) / 2;
    else
        aSize = wSize - 32;
    std::vector<BYTE> ansi(aSize + extra, 0);
    PutAnsiName(ansi.data(), wide.data(), kWideName);
    std::memcpy(ansi.data() + kAnsiName, wide.data() + kWideName,
                std::min(kFixed, wSize - kWideName));
    if (wSize > kWideName + kFixed) {
        std::vector<BYTE> form(64, 0);
        size_t formBytes = std::min(kWideForm, wSize - kWideName - kFixed);
        std::memcpy(form.data(), wide.data() + kWideName + kFixed, formBytes);
        std::vector<BYTE> field(32, 0);
        PutAnsiName(field.data(), form.data(), formBytes);
        std::memcpy(ansi.data() + kAnsiName + kFixed, field.data(),
                    std::min<size_t>(32, aSize - kAnsiName - kFixed));
    }
    if (wSize > formEnd)
        std::memcpy(ansi.data() + kAnsiName + kFixed + kAnsiForm, wide.data() + formEnd,
                    wSize - formEnd);
    std::memcpy(ansi.data() + aSize, wide.data() + wSize, extra);
    WriteWord(ansi.data() + kDevmodeSizeOffsetA, static_cast<WORD>(aSize));
    return ansi;
}

std::vector<BYTE> DevmodeAnsiToWide(const std::vector<BYTE>& ansi) {
    if (ansi.size() < kDevmodeMinimumA) return {};
    size_t aSize = ReadWord(ansi.data() + kDevmodeSizeOffsetA);
    size_t extra = ReadWord(ansi.data() + kDevmodeSizeOffsetA + 2);
    if (aSize < kDevmodeMinimumA || aSize + extra != ansi.size()) return {};
    size_t formEnd = kAnsiName + kFixed + kAnsiForm;
    size_t wSize;
    if (aSize >= formEnd)
        wSize = aSize + 64;
    else if (aSize > kAnsiName + kFixed)
        wSize = kWideName + kFixed + 2 * (aSize - kAnsiName - kFixed);
    else
        wSize = aSize + 32;
    if (wSize > 0xFFFF) return {}; // dmSize would not hold it
    std::vector<BYTE> wide(wSize + extra, 0);
    PutWideName(wide.data(), ansi.data(), kAnsiName);
    std::memcpy(wide.data() + kWideName, ansi.data() + kAnsiName,
                std::min(kFixed, aSize - kAnsiName));
    if (aSize > kAnsiName + kFixed) {
        size_t formBytes = std::min(kAnsiForm, aSize - kAnsiName - kFixed);
        std::vector<BYTE> field(64, 0);
        PutWideName(field.data(), ansi.data() + kAnsiName + kFixed, formBytes);
        std::memcpy(wide.data() + kWideName + kFixed, field.data(),
                    std::min<size_t>(64, wSize - kWideName - kFixed));
    }
    if (aSize > formEnd)
        std::memcpy(wide.data() + kWideName + kFixed + kWideForm, ansi.data() + formEnd,
                    aSize - formEnd);
    std::memcpy(wide.data() + wSize, ansi.data() + aSize, extra);
    WriteWord(wide.data() + kDevmodeSizeOffsetW, static_cast<WORD>(wSize));
    return wide;
}

// ---- answers ------------------------------------------------------------

void Answer::Align(size_t n) {
    while (bytes_.size() % n)
        bytes_.push_back(0);
}

size_t Answer::Record(size_t n) {
    if (bytes_.empty()) bytes_.reserve(1024); // a record and its strings, grown once
    Align(8);
    size_t at = bytes_.size();
    bytes_.resize(at + n, 0);
    return at;
}

void Answer::PointAt(size_t field) {
    fixups_.emplace_back(field, bytes_.size());
}

void Answer::String(size_t field, std::u16string_view text) {
    Align(2);
    PointAt(field);
    // Little-endian UTF-16, as the host keeps it, then the NUL.
    static_assert(std::endian::native == std::endian::little);
    size_t at = bytes_.size();
    bytes_.resize(at + (text.size() + 1) * sizeof(char16_t));
    if (!text.empty()) std::memcpy(bytes_.data() + at, text.data(), text.size() * sizeof(char16_t));
    bytes_[bytes_.size() - 2] = 0;
    bytes_[bytes_.size() - 1] = 0;
}

void Answer::StringA(size_t field, std::string_view text) {
    PointAt(field);
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    bytes_.push_back(0);
}

void Answer::MultiString(size_t field, const std::vector<std::u16string>& list) {
    std::u16string joined;
    for (const auto& s : list) {
        if (s.empty()) continue;
        joined += s;
        joined += u'\0';
    }
    String(field, joined); // String adds the closing empty entry's NUL
    if (joined.empty()) {  // an empty list is two NULs
        bytes_.push_back(0);
        bytes_.push_back(0);
    }
}

void Answer::MultiStringA(size_t field, const std::vector<std::string>& list) {
    std::string joined;
    for (const auto& s : list) {
        if (s.empty()) continue;
        joined += s;
        joined += '\0';
    }
    StringA(field, joined);
    if (joined.empty()) bytes_.push_back(0);
}

void Answer::Block(size_t field, const std::vector<BYTE>& block) {
    Align(8);
    PointAt(field);
    bytes_.insert(bytes_.end(), block.begin(), block.end());
}

bool Answer::Deliver(LPBYTE buffer, DWORD cbBuf, LPDWORD pcbNeeded) const {
    if (!pcbNeeded) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    *pcbNeeded = static_cast<DWORD>(bytes_.size());
    if (cbBuf < bytes_.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    if (!buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    std::memcpy(buffer, bytes_.data(), bytes_.size());
    for (const auto& [field, target] : fixups_) {
        BYTE* p = buffer + target;
        std::memcpy(buffer + field, &p, sizeof p);
    }
    return true;
}

// ---- handles ------------------------------------------------------------

SpoolHandle::~SpoolHandle() {
    if (fd >= 0) ::close(fd);
}

std::shared_ptr<SpoolHandle> FindHandle(HANDLE h) {
    std::shared_ptr<HandleObject> object = h ? LookupHandle(h) : nullptr;
    // The kind is final: one comparison of its type tells it, where a cast
    // would search the object's bases on every call of every page.
    if (!object || typeid(*object) != typeid(SpoolHandle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto* handle = static_cast<SpoolHandle*>(object.get());
    return std::shared_ptr<SpoolHandle>(std::move(object), handle);
}

std::shared_ptr<SpoolHandle> FindPrinterHandle(HANDLE h) {
    auto handle = FindHandle(h);
    if (handle && handle->kind != SpoolHandle::Kind::Printer) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return handle;
}

// ---- the call log and test controls -------------------------------------

namespace {

std::mutex gControlMutex;
// The most recent calls; a long-running writer must not grow it without end.
constexpr size_t kMaxCalls = 65536;
std::deque<test::Call> gCalls;
std::atomic<bool> gRecordCalls{false};
bool gAdministrator = true;
bool gDiscard = false;
struct ShortWritePlan {
    int skip = 0;
    int count = 0;
    DWORD maxBytes = 0;
} gShortWrites;

void ResetControls() {
    std::lock_guard lock(gControlMutex);
    gCalls.clear();
    gRecordCalls = false;
    gAdministrator = true;
    gDiscard = false;
    gShortWrites = {};
}

struct ResetRegistrar {
    ResetRegistrar() { RegisterResetHook(&ResetControls); }
} gResetRegistrar;

} // namespace

bool LoggingCalls() {
    return gRecordCalls.load(std::memory_order_relaxed);
}

void LogCall(test::Call call) {
    std::lock_guard lock(gControlMutex);
    if (gCalls.size() >= kMaxCalls) gCalls.pop_front();
    gCalls.push_back(std::move(call));
}

bool CallerIsAdministrator() {
    std::lock_guard lock(gControlMutex);
    return gAdministrator;
}

bool DiscardingOutput() {
    std::lock_guard lock(gControlMutex);
    return gDiscard;
}

DWORD ShortWriteLimit(DWORD cbBuf) {
    std::lock_guard lock(gControlMutex);
    if (gShortWrites.skip > 0) {
        --gShortWrites.skip;
        return cbBuf;
    }
    if (gShortWrites.count <= 0) return cbBuf;
    --gShortWrites.count;
    return std::min(cbBuf, gShortWrites.maxBytes);
}

} // namespace platform::spooler

namespace platform::spooler::test {

void SetAdministrator(bool administrator) {
    std::lock_guard lock(gControlMutex);
    gAdministrator = administrator;
}

void ShortWriteNext(int count, DWORD maxBytes, int skip) {
    std::lock_guard lock(gControlMutex);
    gShortWrites = {skip, count, maxBytes};
}

void DiscardJobOutput(bool discard) {
    std::lock_guard lock(gControlMutex);
    gDiscard = discard;
}

void RecordCalls(bool on) {
    gRecordCalls = on;
}

std::vector<Call> Calls() {
    std::lock_guard lock(gControlMutex);
    return std::vector<Call>(gCalls.begin(), gCalls.end());
}

void ClearCalls() {
    std::lock_guard lock(gControlMutex);
    gCalls.clear();
}

} // namespace platform::spooler::test
