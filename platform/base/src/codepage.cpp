// Code pages: tables built once per code page from glibc's iconv, then
// MultiByteToWideChar/WideCharToMultiByte with the system's rules on top.
#include <iconv.h>

#include <array>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "platform/codepage_ctl.h"
#include "platform/core.h"
#include "platform/text.h"
#include "win/errors.h"
#include "win/strings.h"

namespace {

constexpr char16_t kUnmapped = 0;          // in the decoding tables (U+0000 is only ever byte 0)
constexpr std::uint16_t kNoBytes = 0xFFFF; // in the encoding table (no lead byte is 0xFF)

// Character -> byte, or lead << 8 | trail, kNoBytes when the page has none. Kept
// in blocks of 256 characters, made only for the blocks the page reaches: a
// single-byte page reaches a handful, so its table is a few kilobytes where a
// flat one would be 128 KiB written (and faulted in) by every process.
class EncodeMap {
  public:
    std::uint16_t operator[](char16_t c) const {
        const Block* block = blocks_[c >> 8].get();
        return block ? (*block)[c & 0xFF] : kNoBytes;
    }
    // The first code given for a character stays.
    void AddFirst(char16_t c, std::uint16_t code) {
        std::unique_ptr<Block>& block = blocks_[c >> 8];
        if (!block) {
            block = std::make_unique<Block>();
            block->fill(kNoBytes);
        }
        std::uint16_t& held = (*block)[c & 0xFF];
        if (held == kNoBytes) held = code;
    }

  private:
    using Block = std::array<std::uint16_t, 256>;
    std::array<std::unique_ptr<Block>, 256> blocks_;
};

struct PageTable {
    UINT id = 0;
    bool dbcs = false;
    std::array<char16_t, 256> single{}; // a byte alone
    std::array<bool, 256> lead{};
    std::vector<char16_t> pair;     // lead << 8 | trail -> character, kUnmapped when none
    EncodeMap encode;               // character -> byte, or lead << 8 | trail
    char16_t unicodeDefault = u'?'; // what a byte sequence that does not map becomes
};

bool IsTrail(unsigned char b) {
    return b >= 0x40 && b <= 0xFC && b != 0x7F;
}

// One iconv conversion of a short byte sequence to a single UTF-16 unit.
bool Decode(iconv_t cd, const unsigned char* bytes, size_t n, char16_t* out) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char in[4];
    std::memcpy(in, bytes, n);
    char16_t buf[4];
    char* ip = in;
    size_t il = n;
    char* op = reinterpret_cast<char*>(buf);
    size_t ol = sizeof buf;
    if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1) || il != 0) return false;
    // Code pages with combining marks (1255, 1258) hold a letter back until
    // they know no mark follows: the flush hands it over.
    if (iconv(cd, nullptr, nullptr, &op, &ol) == static_cast<size_t>(-1)) return false;
    if (sizeof buf - ol != 2) return false; // more than one unit: not a character of ours
    *out = buf[0];
    return true;
}

std::unique_ptr<PageTable> Build(UINT id) {
    static const std::map<UINT, const char*> names = {
        {437, "CP437"},   {850, "CP850"},   {852, "CP852"},   {866, "CP866"},   {932, "CP932"},
        {1250, "CP1250"}, {1251, "CP1251"}, {1252, "CP1252"}, {1253, "CP1253"}, {1254, "CP1254"},
        {1255, "CP1255"}, {1256, "CP1256"}, {1257, "CP1257"}};
    auto name = names.find(id);
    if (name == names.end()) return nullptr;
    iconv_t cd = iconv_open("UTF-16LE", name->second);
    if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;

    auto cp = std::make_unique<PageTable>();
    cp->id = id;
    cp->dbcs = id == 932;
    if (cp->dbcs) {
        for (int b = 0x81; b <= 0xFC; ++b)
            cp->lead[b] = b <= 0x9F || b >= 0xE0;
        cp->pair.assign(0x10000, kUnmapped);
        cp->unicodeDefault = u'\u30FB';
    }
    for (int b = 0; b < 256; ++b) {
        if (cp->lead[b]) continue;
        unsigned char byte = static_cast<unsigned char>(b);
        char16_t c;
        if (!Decode(cd, &byte, 1, &c)) {
            // Bytes the code page leaves undefined: the system passes them
            // through as U+00xx (932 puts 0xA0 and 0xFD..0xFF in the private use area).
            c = static_cast<char16_t>(b);
            if (cp->dbcs && b >= 0xA0)
                c = b == 0xA0 ? u'\uF8F0' : static_cast<char16_t>(0xF8F1 + (b - 0xFD));
        }
        cp->single[b] = c;
        cp->encode.AddFirst(c, static_cast<std::uint16_t>(b));
    }
    if (cp->dbcs) {
        // Characters with two codes encode as the system does: the standard
        // rows first, then the vendor rows, the duplicate rows 0xED/0xEE last.
        std::vector<int> leads;
        for (int b = 0x81; b <= 0xFC; ++b)
            if (cp->lead[b] && b != 0xED && b != 0xEE) leads.push_back(b);
        leads.push_back(0xED);
        leads.push_back(0xEE);
        for (int l : leads) {
            for (int t = 0x40; t <= 0xFC; ++t) {
                if (!IsTrail(static_cast<unsigned char>(t))) continue;
                unsigned char bytes[2] = {static_cast<unsigned char>(l),
                                          static_cast<unsigned char>(t)};
                char16_t c;
                if (!Decode(cd, bytes, 2, &c) || c == kUnmapped) continue;
                std::uint16_t code = static_cast<std::uint16_t>(l << 8 | t);
                cp->pair[code] = c;
                cp->encode.AddFirst(c, code);
            }
        }
    }
    iconv_close(cd);
    return cp;
}

// Built tables live until the process ends (conversions may run in other
// libraries' static destructors).
struct Tables {
    std::mutex lock;
    std::map<UINT, std::unique_ptr<PageTable>> byId;
};

const PageTable* Table(UINT id) {
    static Tables* tables = new Tables;
    std::lock_guard lock(tables->lock);
    auto it = tables->byId.find(id);
    if (it != tables->byId.end()) return it->second.get();
    auto built = Build(id);
    const PageTable* result = built.get();
    if (built) tables->byId.emplace(id, std::move(built)); // unknown pages are asked again (cheap)
    return result;
}

std::atomic<UINT> gAnsi{1252};
std::atomic<UINT> gOem{437};

void ResetCodePages() {
    gAnsi = 1252;
    gOem = 437;
}

void EnsureResetHook() {
    static const bool registered = (platform::RegisterResetHook(&ResetCodePages), true);
    (void)registered;
}

// The real code page behind CP_ACP and friends; 0 when there is none.
UINT Resolve(UINT codePage) {
    EnsureResetHook();
    switch (codePage) {
    case CP_ACP:
    case CP_THREAD_ACP:
        return gAnsi;
    case CP_OEMCP:
        return gOem;
    case CP_MACCP:
        return 0;
    default:
        return codePage;
    }
}

// --- decoding ---------------------------------------------------------------

bool DecodeTable(const PageTable& cp, const unsigned char* s, size_t n, bool strict,
                 std::u16string& out) {
    size_t i = 0;
    while (i < n) {
        unsigned char b = s[i];
        if (!cp.lead[b]) {
            out += cp.single[b];
            ++i;
            continue;
        }
        if (i + 1 < n && IsTrail(s[i + 1])) {
            char16_t c = cp.pair[static_cast<size_t>(b) << 8 | s[i + 1]];
            if (c == kUnmapped) {
                if (strict) return false;
                c = cp.unicodeDefault;
            }
            out += c;
            i += 2;
            continue;
        }
        // A lead byte without its trail byte (at the end, or before a byte that
        // cannot follow it): the lead byte alone is the bad character.
        if (strict) return false;
        out += cp.unicodeDefault;
        ++i;
    }
    return true;
}

// --- encoding ---------------------------------------------------------------

// Encoded characters are collected whole, so that a short buffer is never
// left holding half of a double-byte character.
struct Encoded {
    std::string bytes;
    std::vector<size_t> ends; // end offset of each character in bytes
};

bool EncodeUtf8(const char16_t* s, size_t n, bool strict, Encoded& out) {
    return platform::EncodeUtf8(std::u16string_view(s, n), strict, &out.bytes, &out.ends);
}

void EncodeTable(const PageTable& cp, const char16_t* s, size_t n, std::string_view defaultChar,
                 bool* usedDefault, Encoded& out) {
    for (size_t i = 0; i < n; ++i) {
        char16_t c = s[i];
        std::uint16_t code = kNoBytes;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            ++i; // a pair is one character, and none of these pages has it
        } else if (!(c >= 0xD800 && c <= 0xDFFF)) {
            code = cp.encode[c];
        }
        if (code == kNoBytes) {
            out.bytes += defaultChar;
            *usedDefault = true;
        } else if (code > 0xFF) {
            out.bytes += static_cast<char>(code >> 8);
            out.bytes += static_cast<char>(code & 0xFF);
        } else {
            out.bytes += static_cast<char>(code);
        }
        out.ends.push_back(out.bytes.size());
    }
}

// The default character as bytes: the first character of lpDefaultChar (two
// bytes when it starts with a lead byte), else the page's own '?'.
std::string DefaultChar(const PageTable& cp, LPCSTR lpDefaultChar) {
    if (!lpDefaultChar || !*lpDefaultChar) return "?";
    auto b = static_cast<unsigned char>(lpDefaultChar[0]);
    if (cp.lead[b] && IsTrail(static_cast<unsigned char>(lpDefaultChar[1])))
        return std::string(lpDefaultChar, 2);
    return std::string(1, lpDefaultChar[0]);
}

} // namespace

namespace platform {

std::u16string AnsiToWide(std::string_view text, UINT codePage) {
    UINT id = Resolve(codePage);
    std::u16string out;
    auto* s = reinterpret_cast<const unsigned char*>(text.data());
    if (id == CP_UTF8) {
        platform::DecodeUtf8(std::string_view(reinterpret_cast<const char*>(s), text.size()), false,
                             &out);
        return out;
    }
    const PageTable* cp = Table(id);
    if (!cp) cp = Table(gAnsi);
    if (!cp) cp = Table(1252);
    if (cp) DecodeTable(*cp, s, text.size(), false, out);
    return out;
}

std::string WideToAnsi(std::u16string_view text, UINT codePage) {
    UINT id = Resolve(codePage);
    Encoded out;
    if (id == CP_UTF8) {
        EncodeUtf8(text.data(), text.size(), false, out);
        return std::move(out.bytes);
    }
    const PageTable* cp = Table(id);
    if (!cp) cp = Table(gAnsi);
    if (!cp) cp = Table(1252);
    bool used = false;
    if (cp) EncodeTable(*cp, text.data(), text.size(), "?", &used, out);
    return std::move(out.bytes);
}

size_t AnsiCharLength(std::string_view text, UINT codePage) {
    if (text.size() < 2) return text.size();
    const PageTable* cp = Table(Resolve(codePage));
    if (cp && cp->lead[static_cast<unsigned char>(text[0])] && text[1] != '\0') return 2;
    return 1;
}

} // namespace platform

namespace platform::test {

bool SetAnsiCodePage(UINT ansiCodePage, UINT oemCodePage) {
    EnsureResetHook();
    if (oemCodePage == 0) oemCodePage = ansiCodePage == 932 ? 932 : 437;
    if (!Table(ansiCodePage) || !Table(oemCodePage)) return false;
    gAnsi = ansiCodePage;
    gOem = oemCodePage;
    return true;
}

} // namespace platform::test

extern "C" {

UINT WINAPI GetACP(void) {
    return Resolve(CP_ACP);
}

UINT WINAPI GetOEMCP(void) {
    return Resolve(CP_OEMCP);
}

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
    PLATFORM_FAULT_POINT("MultiByteToWideChar", 0);
    if (!lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
        (cchWideChar > 0 &&
         (!lpWideCharStr || static_cast<const void*>(lpMultiByteStr) == lpWideCharStr))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    UINT id = Resolve(CodePage);
    const PageTable* cp = nullptr;
    if (id == CP_UTF8) {
        if (dwFlags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) {
            SetLastError(ERROR_INVALID_FLAGS);
            return 0;
        }
    } else {
        constexpr DWORD known =
            MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS;
        if ((dwFlags & ~known) || ((dwFlags & MB_PRECOMPOSED) && (dwFlags & MB_COMPOSITE))) {
            SetLastError(ERROR_INVALID_FLAGS);
            return 0;
        }
        cp = Table(id);
        if (!cp) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
    }
    try {
        size_t n =
            cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
        auto* s = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
        bool strict = dwFlags & MB_ERR_INVALID_CHARS;
        std::u16string out;
        bool ok = cp ? DecodeTable(*cp, s, n, strict, out)
                     : platform::DecodeUtf8(std::string_view(reinterpret_cast<const char*>(s), n),
                                            strict, &out);
        if (!ok) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
        if (out.size() > 0x7FFFFFFF) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        if (cchWideChar == 0) return static_cast<int>(out.size());
        if (out.size() > static_cast<size_t>(cchWideChar)) {
            std::memcpy(lpWideCharStr, out.data(),
                        static_cast<size_t>(cchWideChar) * sizeof(WCHAR));
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        std::memcpy(lpWideCharStr, out.data(), out.size() * sizeof(WCHAR));
        return static_cast<int>(out.size());
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               LPBOOL lpUsedDefaultChar) {
    PLATFORM_FAULT_POINT("WideCharToMultiByte", 0);
    if (!lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
        (cbMultiByte > 0 &&
         (!lpMultiByteStr || static_cast<const void*>(lpWideCharStr) == lpMultiByteStr))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    UINT id = Resolve(CodePage);
    const PageTable* cp = nullptr;
    if (id == CP_UTF8) {
        if (dwFlags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) {
            SetLastError(ERROR_INVALID_FLAGS);
            return 0;
        }
        if (lpDefaultChar || lpUsedDefaultChar) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
    } else {
        constexpr DWORD known =
            WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR | WC_COMPOSITECHECK | WC_NO_BEST_FIT_CHARS;
        if (dwFlags & ~known) {
            SetLastError(ERROR_INVALID_FLAGS);
            return 0;
        }
        cp = Table(id);
        if (!cp) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
    }
    try {
        size_t n = cchWideChar == -1 ? platform::WideLength(lpWideCharStr) + 1
                                     : static_cast<size_t>(cchWideChar);
        Encoded out;
        bool used = false;
        if (cp) {
            EncodeTable(*cp, lpWideCharStr, n, DefaultChar(*cp, lpDefaultChar), &used, out);
        } else if (!EncodeUtf8(lpWideCharStr, n, dwFlags & WC_ERR_INVALID_CHARS, out)) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
        if (lpUsedDefaultChar) *lpUsedDefaultChar = used ? TRUE : FALSE;
        if (out.bytes.size() > 0x7FFFFFFF) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        if (cbMultiByte == 0) return static_cast<int>(out.bytes.size());
        if (out.bytes.size() > static_cast<size_t>(cbMultiByte)) {
            size_t fit = 0;
            for (size_t end : out.ends) {
                if (end > static_cast<size_t>(cbMultiByte)) break;
                fit = end;
            }
            std::memcpy(lpMultiByteStr, out.bytes.data(), fit);
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        std::memcpy(lpMultiByteStr, out.bytes.data(), out.bytes.size());
        return static_cast<int>(out.bytes.size());
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

BOOL WINAPI IsDBCSLeadByteEx(UINT CodePage, BYTE TestChar) {
    UINT id = Resolve(CodePage);
    if (id == CP_UTF8) return FALSE;
    const PageTable* cp = Table(id);
    if (!cp) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return cp->lead[TestChar] ? TRUE : FALSE;
}

BOOL WINAPI IsDBCSLeadByte(BYTE TestChar) {
    return IsDBCSLeadByteEx(CP_ACP, TestChar);
}

LPSTR WINAPI CharNextA(LPCSTR lpsz) {
    if (!lpsz) return nullptr;
    if (!*lpsz) return const_cast<LPSTR>(lpsz);
    if (IsDBCSLeadByte(static_cast<BYTE>(lpsz[0])) && lpsz[1]) return const_cast<LPSTR>(lpsz + 2);
    return const_cast<LPSTR>(lpsz + 1);
}

LPSTR WINAPI CharPrevA(LPCSTR lpszStart, LPCSTR lpszCurrent) {
    if (!lpszStart || !lpszCurrent || lpszCurrent <= lpszStart) return const_cast<LPSTR>(lpszStart);
    // Only a walk from the start knows where the characters begin.
    LPCSTR p = lpszStart;
    for (;;) {
        LPCSTR next = p + ((IsDBCSLeadByte(static_cast<BYTE>(*p)) && p + 1 < lpszCurrent) ? 2 : 1);
        if (next >= lpszCurrent) return const_cast<LPSTR>(p);
        p = next;
    }
}
}
