// The lstr* family, character case and the wsprintf formatter.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "platform/codepage_ctl.h"
#include "platform/text.h"
#include "win/errors.h"
#include "win/strings.h"

namespace {

// --- case ------------------------------------------------------------------

// Latin Extended-A pairs its letters upper-even/lower-odd, except in the two
// runs where the pairs start on an odd code.
bool OddUpperRun(char16_t c) {
    return (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
}

char16_t ToUpper(char16_t c) {
    if (c >= u'a' && c <= u'z') return c - 32;
    if (c < 0xE0) return c;
    if (c <= 0xFE) return c == 0xF7 ? c : c - 32;
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        bool lower = OddUpperRun(c) ? (c & 1) == 0 : (c & 1) == 1;
        return lower ? c - 1 : c;
    }
    if (c >= 0x3B1 && c <= 0x3CB) return c == 0x3C2 ? 0x3A3 : c - 32;
    if (c >= 0x430 && c <= 0x44F) return c - 32;
    if (c >= 0x450 && c <= 0x45F) return c - 80;
    if (c >= 0xFF41 && c <= 0xFF5A) return c - 32;
    return c;
}

char16_t ToLower(char16_t c) {
    if (c >= u'A' && c <= u'Z') return c + 32;
    if (c < 0xC0) return c;
    if (c <= 0xDE) return c == 0xD7 ? c : c + 32;
    if (c == 0x178) return 0xFF;
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x130 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        bool upper = OddUpperRun(c) ? (c & 1) == 1 : (c & 1) == 0;
        return upper && c != 0x17F ? c + 1 : c;
    }
    if (c >= 0x391 && c <= 0x3AB) return c == 0x3A2 ? c : c + 32;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    if (c >= 0xFF21 && c <= 0xFF3A) return c + 32;
    return c;
}

// --- comparison --------------------------------------------------------------

// The sort weights of one character: class (symbols, digits, letters), the
// letter itself, its accent, its case. Hyphens and apostrophes weigh nothing
// (as in the system's word sort) and only the final ordinal pass sees them.
struct Weight {
    int cls;
    char16_t primary;
    int accent;
    int upper;
};

bool Ignorable(char16_t c) {
    return c == u'-' || c == u'\'';
}

Weight WeightOf(char16_t c) {
    char16_t lower = ToLower(c);
    int upper = lower != c ? 1 : 0;
    if (c >= u'0' && c <= u'9') return {2, c, 0, 0};
    if (lower >= u'a' && lower <= u'z') return {3, lower, 0, upper};
    if (lower >= 0xDF && lower <= 0xFF && lower != 0xF7) {
        // Accented Latin-1 letters sort with their base letter.
        static const char base[] = "saaaaaaaceeeeiiiidnooooo/ouuuuyty";
        return {3, static_cast<char16_t>(base[lower - 0xDF]), lower - 0xDF + 1, upper};
    }
    if (c < 0x100) return {1, c, 0, 0};
    return {3, lower, 0, upper};
}

int Sign(long v) {
    return v < 0 ? -1 : v > 0 ? 1 : 0;
}

int Compare(std::u16string_view a, std::u16string_view b, bool ignoreCase) {
    auto pass = [&](auto key) -> int {
        size_t i = 0, j = 0;
        for (;;) {
            while (i < a.size() && Ignorable(a[i]))
                ++i;
            while (j < b.size() && Ignorable(b[j]))
                ++j;
            bool endA = i == a.size(), endB = j == b.size();
            if (endA || endB) return endA == endB ? 0 : endA ? -1 : 1; // a prefix sorts first
            long d = key(WeightOf(a[i])) - key(WeightOf(b[j]));
            if (d) return Sign(d);
            ++i;
            ++j;
        }
    };
    if (int r = pass([](const Weight& w) { return static_cast<long>(w.cls) << 16 | w.primary; }))
        return r;
    if (int r = pass([](const Weight& w) { return static_cast<long>(w.accent); })) return r;
    if (!ignoreCase)
        if (int r = pass([](const Weight& w) { return static_cast<long>(w.upper); })) return r;
    // Different strings never compare equal.
    for (size_t k = 0; k < a.size() && k < b.size(); ++k) {
        char16_t x = ignoreCase ? ToLower(a[k]) : a[k];
        char16_t y = ignoreCase ? ToLower(b[k]) : b[k];
        if (x != y) return x < y ? -1 : 1;
    }
    return Sign(static_cast<long>(a.size()) - static_cast<long>(b.size()));
}

std::u16string_view View(LPCWSTR s) {
    return s ? std::u16string_view(s) : std::u16string_view();
}

// --- wsprintf ------------------------------------------------------------------

constexpr size_t kMaxOutput = 1023; // characters; the NUL makes 1024

template <class C> struct Sink {
    C* buf;
    size_t n = 0;
    void Put(C c) {
        if (n < kMaxOutput) buf[n++] = c;
    }
    void Put(std::basic_string_view<C> s) {
        for (C c : s)
            Put(c);
    }
    void Pad(C c, size_t count) {
        for (size_t k = 0; k < count && n < kMaxOutput; ++k)
            Put(c);
    }
};

template <class C> std::basic_string<C> Widen(std::string_view s);
template <> std::string Widen<char>(std::string_view s) {
    return std::string(s);
}
template <> std::u16string Widen<char16_t>(std::string_view s) {
    std::u16string out;
    for (char c : s)
        out += static_cast<char16_t>(static_cast<unsigned char>(c));
    return out;
}

// A narrow string argument (ANSI code page) in the output's width.
template <class C> std::basic_string<C> FromNarrow(std::string_view s);
template <> std::string FromNarrow<char>(std::string_view s) {
    return std::string(s);
}
template <> std::u16string FromNarrow<char16_t>(std::string_view s) {
    return platform::AnsiToWide(s);
}
template <class C> std::basic_string<C> FromWide(std::u16string_view s);
template <> std::string FromWide<char>(std::u16string_view s) {
    return platform::WideToAnsi(s);
}
template <> std::u16string FromWide<char16_t>(std::u16string_view s) {
    return std::u16string(s);
}

template <class T> size_t BoundedLength(const T* s, size_t limit) {
    size_t n = 0;
    while (n < limit && s[n])
        ++n;
    return n;
}

std::string Digits(unsigned long long v, unsigned base, bool upperHex) {
    const char* set = upperHex ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string out;
    do {
        out.insert(out.begin(), set[v % base]);
        v /= base;
    } while (v);
    return out;
}

template <class C> int Format(C* out, const C* fmt, va_list& ap) {
    constexpr bool kWide = sizeof(C) == 2;
    Sink<C> sink{out};
    for (const C* p = fmt; *p; ++p) {
        if (*p != C('%')) {
            sink.Put(*p);
            continue;
        }
        ++p;
        if (!*p) break;
        if (*p == C('%')) {
            sink.Put(C('%'));
            continue;
        }
        bool left = false, alt = false, zero = false;
        for (;; ++p) {
            if (*p == C('-'))
                left = true;
            else if (*p == C('#'))
                alt = true;
            else if (*p == C('0'))
                zero = true;
            else
                break;
        }
        size_t width = 0;
        for (; *p >= C('0') && *p <= C('9'); ++p)
            if (width <= kMaxOutput) width = width * 10 + static_cast<size_t>(*p - C('0'));
        bool hasPrecision = false;
        size_t precision = 0;
        if (*p == C('.')) {
            hasPrecision = true;
            for (++p; *p >= C('0') && *p <= C('9'); ++p)
                if (precision <= 0x7FFFFFFF)
                    precision = precision * 10 + static_cast<size_t>(*p - C('0'));
        }
        enum { kDefault, kShort, kLong, k64 } size = kDefault;
        if (*p == C('l')) {
            size = kLong;
            ++p;
        } else if (*p == C('h')) {
            size = kShort;
            ++p;
        } else if (p[0] == C('I') && p[1] == C('6') && p[2] == C('4')) {
            size = k64;
            p += 3;
        }
        C type = *p;
        if (!type) break;

        std::basic_string<C> body;
        std::string sign; // sign or 0x prefix, ahead of zero padding
        bool number = false;
        switch (type) {
        case C('c'):
        case C('C'): {
            int v = va_arg(ap, int);
            bool wideArg = size == kLong || (size != kShort && ((type == C('c')) == kWide));
            if (wideArg)
                body = FromWide<C>(std::u16string(1, static_cast<char16_t>(v)));
            else
                body = FromNarrow<C>(std::string(1, static_cast<char>(v)));
            break;
        }
        case C('s'):
        case C('S'): {
            bool wideArg = size == kLong || (size != kShort && ((type == C('s')) == kWide));
            size_t limit = hasPrecision ? precision : static_cast<size_t>(-1);
            if (wideArg) {
                auto s = va_arg(ap, const char16_t*);
                if (s)
                    body = FromWide<C>(std::u16string_view(s, BoundedLength(s, limit)));
                else
                    body =
                        Widen<C>(std::string_view("(null)").substr(0, std::min<size_t>(limit, 6)));
            } else {
                auto s = va_arg(ap, const char*);
                if (s)
                    body = FromNarrow<C>(std::string_view(s, BoundedLength(s, limit)));
                else
                    body =
                        Widen<C>(std::string_view("(null)").substr(0, std::min<size_t>(limit, 6)));
            }
            break;
        }
        case C('d'):
        case C('i'):
        case C('u'):
        case C('x'):
        case C('X'): {
            number = true;
            bool isSigned = type == C('d') || type == C('i');
            unsigned long long magnitude;
            if (size == k64) {
                long long v = va_arg(ap, long long);
                if (isSigned && v < 0) {
                    sign = "-";
                    magnitude = 0ULL - static_cast<unsigned long long>(v);
                } else {
                    magnitude = static_cast<unsigned long long>(v);
                }
            } else {
                int raw = va_arg(ap, int);
                if (size == kShort)
                    raw = isSigned ? static_cast<short>(raw) : static_cast<unsigned short>(raw);
                if (isSigned && raw < 0) {
                    sign = "-";
                    magnitude = 0ULL - static_cast<unsigned long long>(static_cast<long long>(raw));
                } else {
                    magnitude = static_cast<unsigned>(raw);
                }
            }
            bool hex = type == C('x') || type == C('X');
            std::string digits = Digits(magnitude, hex ? 16 : 10, type == C('X'));
            if (hasPrecision && digits.size() < precision && precision <= kMaxOutput)
                digits.insert(0, precision - digits.size(), '0');
            if (hex && alt && magnitude != 0) sign = type == C('X') ? "0X" : "0x";
            body = Widen<C>(digits);
            break;
        }
        case C('p'): {
            auto v = reinterpret_cast<std::uintptr_t>(va_arg(ap, void*));
            std::string digits = Digits(v, 16, true);
            digits.insert(0, sizeof(void*) * 2 - digits.size(), '0');
            body = Widen<C>(digits);
            break;
        }
        default: // not a type: the character stands for itself
            body = std::basic_string<C>(1, type);
            break;
        }
        size_t length = sign.size() + body.size();
        size_t pad = width > length ? width - length : 0;
        if (left) {
            sink.Put(std::basic_string_view<C>(Widen<C>(sign)));
            sink.Put(std::basic_string_view<C>(body));
            sink.Pad(C(' '), pad);
        } else if (zero && number && !hasPrecision) {
            sink.Put(std::basic_string_view<C>(Widen<C>(sign)));
            sink.Pad(C('0'), pad);
            sink.Put(std::basic_string_view<C>(body));
        } else {
            sink.Pad(C(' '), pad);
            sink.Put(std::basic_string_view<C>(Widen<C>(sign)));
            sink.Put(std::basic_string_view<C>(body));
        }
    }
    out[sink.n] = C(0);
    return static_cast<int>(sink.n);
}

template <class C> int FormatSafely(C* out, const C* fmt, va_list& ap) {
    if (!out) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!fmt) {
        out[0] = C(0);
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    try {
        return Format(out, fmt, ap);
    } catch (const std::bad_alloc&) {
        out[0] = C(0);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

} // namespace

extern "C" {

int WINAPI lstrlenW(LPCWSTR lpString) {
    return static_cast<int>(platform::WideLength(lpString));
}

int WINAPI lstrlenA(LPCSTR lpString) {
    return lpString ? static_cast<int>(std::strlen(lpString)) : 0;
}

LPWSTR WINAPI lstrcpyW(LPWSTR lpString1, LPCWSTR lpString2) {
    if (!lpString1 || !lpString2) return nullptr;
    size_t n = platform::WideLength(lpString2);
    std::memmove(lpString1, lpString2, (n + 1) * sizeof(WCHAR));
    return lpString1;
}

LPWSTR WINAPI lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength) {
    if (!lpString1 || !lpString2) return nullptr;
    if (iMaxLength <= 0) return lpString1;
    size_t n = BoundedLength(lpString2, static_cast<size_t>(iMaxLength) - 1);
    std::memmove(lpString1, lpString2, n * sizeof(WCHAR));
    lpString1[n] = 0;
    return lpString1;
}

LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength) {
    if (!lpString1 || !lpString2) return nullptr;
    if (iMaxLength <= 0) return lpString1;
    size_t n = BoundedLength(lpString2, static_cast<size_t>(iMaxLength) - 1);
    std::memmove(lpString1, lpString2, n);
    lpString1[n] = 0;
    return lpString1;
}

LPWSTR WINAPI lstrcatW(LPWSTR lpString1, LPCWSTR lpString2) {
    if (!lpString1 || !lpString2) return nullptr;
    lstrcpyW(lpString1 + platform::WideLength(lpString1), lpString2);
    return lpString1;
}

int WINAPI lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2) {
    try {
        return Compare(View(lpString1), View(lpString2), false);
    } catch (...) {
        return 0;
    }
}

int WINAPI lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2) {
    try {
        return Compare(View(lpString1), View(lpString2), true);
    } catch (...) {
        return 0;
    }
}

int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2) {
    try {
        return Compare(platform::AnsiToWide(lpString1 ? lpString1 : ""),
                       platform::AnsiToWide(lpString2 ? lpString2 : ""), true);
    } catch (...) {
        return 0;
    }
}

LPWSTR WINAPI CharUpperW(LPWSTR lpsz) {
    auto bits = reinterpret_cast<ULONG_PTR>(lpsz);
    if ((bits >> 16) == 0)
        return reinterpret_cast<LPWSTR>(
            static_cast<ULONG_PTR>(ToUpper(static_cast<char16_t>(bits))));
    for (LPWSTR p = lpsz; *p; ++p)
        *p = ToUpper(*p);
    return lpsz;
}

LPWSTR WINAPI CharLowerW(LPWSTR lpsz) {
    auto bits = reinterpret_cast<ULONG_PTR>(lpsz);
    if ((bits >> 16) == 0)
        return reinterpret_cast<LPWSTR>(
            static_cast<ULONG_PTR>(ToLower(static_cast<char16_t>(bits))));
    for (LPWSTR p = lpsz; *p; ++p)
        *p = ToLower(*p);
    return lpsz;
}

DWORD WINAPI CharUpperBuffW(LPWSTR lpsz, DWORD cchLength) {
    if (!lpsz) return 0;
    for (DWORD i = 0; i < cchLength; ++i)
        lpsz[i] = ToUpper(lpsz[i]);
    return cchLength;
}

DWORD WINAPI CharLowerBuffW(LPWSTR lpsz, DWORD cchLength) {
    if (!lpsz) return 0;
    for (DWORD i = 0; i < cchLength; ++i)
        lpsz[i] = ToLower(lpsz[i]);
    return cchLength;
}

int WINAPI wvsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, va_list arglist) {
    va_list ap;
    va_copy(ap, arglist);
    int n = FormatSafely(lpOut, lpFmt, ap);
    va_end(ap);
    return n;
}

int WINAPI wvsprintfA(LPSTR lpOut, LPCSTR lpFmt, va_list arglist) {
    va_list ap;
    va_copy(ap, arglist);
    int n = FormatSafely(lpOut, lpFmt, ap);
    va_end(ap);
    return n;
}

int WINAPIV wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...) {
    va_list ap;
    va_start(ap, lpFmt);
    int n = FormatSafely(lpOut, lpFmt, ap);
    va_end(ap);
    return n;
}

int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...) {
    va_list ap;
    va_start(ap, lpFmt);
    int n = FormatSafely(lpOut, lpFmt, ap);
    va_end(ap);
    return n;
}
}
