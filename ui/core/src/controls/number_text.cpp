// Decimal separator, number text, lengths and the input rule.
#include "number_text.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <limits>

#include "driver_env.h"
#include "win/base.h"

namespace sheetwright {

BOOL GetDecimalSeparator(std::u16string* out) {
    WCHAR buf[8] = {};
    int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buf, 8);
    if (n <= 1 || !buf[0]) {
        *out = u".";
        return FALSE;
    }
    *out = buf;
    return TRUE;
}

void NormaliseDecimalText(std::u16string* text, const std::u16string& separator) {
    if (separator.empty() || separator == u".") return;
    size_t at = 0;
    while ((at = text->find(separator, at)) != std::u16string::npos) {
        text->replace(at, separator.size(), u".");
        at += 1;
    }
}

BOOL LocalizeDecimalText(std::u16string* text, const std::u16string& separator) {
    if (text->empty()) return FALSE;
    if (separator.empty() || separator == u".") return TRUE;
    std::u16string out;
    for (size_t i = 0; i < text->size(); ++i) {
        const char16_t c = (*text)[i];
        if (c == u'.' && i + 1 < text->size() && (*text)[i + 1] >= u'0' && (*text)[i + 1] <= u'9')
            out += separator;
        else
            out += c;
    }
    *text = out;
    return TRUE;
}

LONG TruncateToLong(double value) {
    constexpr LONG kLargest = std::numeric_limits<LONG>::max();
    constexpr LONG kSmallest = std::numeric_limits<LONG>::min();
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(kLargest)) return kLargest;
    if (value <= static_cast<double>(kSmallest)) return kSmallest;
    return static_cast<LONG>(value);
}

std::u16string LeadingPlainNumber(const std::u16string& text, bool sign, bool fraction) {
    auto isDigit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
    auto isBlank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
    size_t at = 0;
    while (at < text.size() && isBlank(text[at]))
        ++at;
    const size_t start = at;
    if (sign && at < text.size() && text[at] == u'-') ++at;
    const size_t digits = at;
    while (at < text.size() && isDigit(text[at]))
        ++at;
    if (at == digits) return {};
    if (fraction && at + 1 < text.size() && text[at] == u'.' && isDigit(text[at + 1])) {
        ++at;
        while (at < text.size() && isDigit(text[at]))
            ++at;
    }
    if (at < text.size() && !isBlank(text[at])) return {};
    std::u16string number = text.substr(start, at - start);
    std::wstring wide(number.begin(), number.end());
    if (fraction) {
        if (!std::isfinite(std::wcstod(wide.c_str(), nullptr))) return {};
    } else {
        errno = 0;
        const long long v = std::wcstoll(wide.c_str(), nullptr, 10);
        if (errno == ERANGE || v < std::numeric_limits<LONG>::min() ||
            v > std::numeric_limits<LONG>::max())
            return {};
    }
    return number;
}

int GetMultiByteLength(const std::u16string& text, int n) {
    size_t end =
        n > 0 && static_cast<size_t>(n) < text.size() ? static_cast<size_t>(n) : text.size();
    int bytes = 0;
    for (size_t i = 0; i < end; ++i)
        bytes += text[i] < 256 ? 1 : 2;
    return bytes;
}

CMMInch::CMMInch() {
    GetDecimalSeparator(&separator_);
}

void CMMInch::SetMM(double mm, BOOL update) {
    mm_ = std::isnan(mm) ? 0 : std::clamp(mm, -kMaxMM, kMaxMM);
    if (update) {
        inch_ = mm_ / 25.4;
        dots_ = TruncateToLong(Resolution() * mm_ / 25.4 + 0.5);
    }
}

void CMMInch::SetInch(double inch, BOOL update) {
    inch_ = std::isnan(inch) ? 0 : std::clamp(inch, -kMaxInch, kMaxInch);
    dots_ = TruncateToLong(Resolution() * inch_);
    if (update) mm_ = inch_ * 25.4;
}

void CMMInch::SetDots() {
    mm_ = dots_ * 25.4 / Resolution();
    inch_ = static_cast<double>(dots_) / Resolution();
}

void CMMInch::ReadText(const std::u16string& text, BOOL mm) {
    std::u16string t = text;
    NormaliseDecimalText(&t, separator_);
    std::wstring w(t.begin(), t.end());
    double v = std::wcstod(w.c_str(), nullptr);
    if (mm)
        SetMM(v, TRUE);
    else
        SetInch(v, TRUE);
}

void CMMInch::Format(const std::u16string& format, double value, std::u16string* out) const {
    // The format is the library's own; only one conversion of it is used.
    std::string f(format.begin(), format.end());
    char buf[64] = {};
    const bool integer = f.find_first_of("diuoxX") != std::string::npos;
    if (integer) {
        const LONG whole = TruncateToLong(value + 0.5);
        if (f.find('l') != std::string::npos)
            std::snprintf(buf, sizeof buf, f.c_str(),
                          static_cast<long>(static_cast<int32_t>(whole)));
        else
            std::snprintf(buf, sizeof buf, f.c_str(),
                          static_cast<int>(static_cast<int16_t>(whole)));
    } else {
        std::snprintf(buf, sizeof buf, f.c_str(), value);
    }
    out->assign(buf, buf + std::strlen(buf));
    LocalizeDecimalText(out, separator_);
}

void FillInputRule(InputRule* rule, DWORD flags, DWORD limit, const char* extra) {
    *rule = {};
    rule->flags = flags;
    rule->limit = limit;
    rule->restricted = (flags & kRuleRestricted) ? 1 : 0;
    if (rule->restricted) {
        rule->digits = (flags & kRuleDigits) ? 1 : 0;
        rule->letters = (flags & kRuleLetters) ? 1 : 0;
        rule->anythingButRefused = (flags & kRuleAnythingButRefused) ? 1 : 0;
        rule->extra = (flags & kRuleExtra) ? 1 : 0;
        if (rule->extra && extra)
            std::strncpy(rule->extraChars, extra, sizeof rule->extraChars - 1);
    }
    std::strncpy(rule->refusedChars, kRefusedCharacters, sizeof rule->refusedChars - 1);
}

bool IsDigitsOnlyRule(const InputRule& rule) {
    return rule.restricted && rule.digits && !rule.letters && !rule.anythingButRefused &&
           (!rule.extra || !rule.extraChars[0]);
}

BOOL IsCharAllowed(WCHAR ch, BOOL singleByteOnly, const InputRule* rule) {
    if (!rule) return FALSE;
    auto inSet = [ch](const char* set, size_t size) {
        for (size_t i = 0; i < size && set[i]; ++i)
            if (static_cast<unsigned char>(set[i]) == ch) return true;
        return false;
    };
    if (rule->anythingButRefused && !inSet(rule->refusedChars, sizeof rule->refusedChars) &&
        !(singleByteOnly && ch >= 256))
        return TRUE;
    if (rule->digits && ch >= u'0' && ch <= u'9') return TRUE;
    if (rule->letters && ((ch >= u'A' && ch <= u'Z') || (ch >= u'a' && ch <= u'z'))) return TRUE;
    if (rule->extra && rule->extraChars[0] && inSet(rule->extraChars, sizeof rule->extraChars) &&
        !(singleByteOnly && ch >= 256))
        return TRUE;
    return FALSE;
}

BOOL AcceptInputChar(WCHAR ch, const std::u16string& keptText, DWORD limit, BOOL singleByteOnly,
                     const InputRule* rule) {
    if (ch < 32 || ch == 127) return TRUE;
    if (limit) {
        std::u16string one(1, ch);
        const std::u16string kept = keptText.substr(0, MAX_PATH);
        if (static_cast<DWORD>(GetMultiByteLength(kept) + GetMultiByteLength(one)) > limit)
            return FALSE;
    }
    if (!rule || !rule->restricted) return TRUE;
    return IsCharAllowed(ch, singleByteOnly, rule);
}

} // namespace sheetwright
