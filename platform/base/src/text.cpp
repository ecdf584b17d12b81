#include "platform/text.h"

namespace platform {

namespace {

void AppendUtf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

bool EncodeUtf8(std::u16string_view text, bool strict, std::string* out,
                std::vector<size_t>* ends) {
    size_t i = 0;
    if (!ends) {
        // The run of ASCII at the start (most names and paths are ASCII
        // throughout) goes over unit for unit.
        while (i < text.size() && text[i] < 0x80)
            ++i;
        const size_t at = out->size();
        out->resize(at + i);
        for (size_t k = 0; k < i; ++k)
            (*out)[at + k] = static_cast<char>(text[k]);
    }
    for (; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            if (strict) return false;
            c = 0xFFFD;
        }
        AppendUtf8(c, *out);
        if (ends) ends->push_back(out->size());
    }
    return true;
}

bool DecodeUtf8(std::string_view text, bool strict, std::u16string* out) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        unsigned char b = s[i];
        if (b < 0x80) {
            *out += static_cast<char16_t>(b);
            ++i;
            continue;
        }
        size_t need;
        char32_t c;
        unsigned char lo = 0x80, hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
            c = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            c = b & 0x0F;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F; // no surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            c = b & 0x07;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        } else {
            if (strict) return false;
            *out += u'\uFFFD';
            ++i;
            continue;
        }
        size_t k = 1;
        for (; k <= need && i + k < n; ++k) {
            unsigned char t = s[i + k];
            unsigned char tlo = k == 1 ? lo : 0x80, thi = k == 1 ? hi : 0xBF;
            if (t < tlo || t > thi) break;
            c = (c << 6) | (t & 0x3F);
        }
        if (k <= need) {
            if (strict) return false;
            *out += u'\uFFFD';
            i += k;
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            *out += static_cast<char16_t>(0xD800 + (c >> 10));
            *out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            *out += static_cast<char16_t>(c);
        }
        i += need + 1;
    }
    return true;
}

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    EncodeUtf8(text, false, &out);
    return out;
}

std::u16string FromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    DecodeUtf8(text, false, &out);
    return out;
}

char16_t FoldCase(char16_t c) {
    if (c >= u'A' && c <= u'Z') return c + 32;
    if (c < 0xC0) return c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;  // Latin-1
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32; // Greek
    if (c >= 0x410 && c <= 0x42F) return c + 32;               // Cyrillic
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    if (c >= 0xFF21 && c <= 0xFF3A) return c + 32; // full-width Latin
    // Latin Extended-A pairs upper and lower case in neighbouring codes; the
    // upper-case letter is the even one except in 0x139..0x148 and 0x179..0x17E.
    if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return (c & 1) ? c : c + 1;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c + 1 : c;
    if (c == 0x178) return 0xFF;
    return c;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    return true;
}

bool EqualsNoCaseUtf8(std::string_view a, std::string_view b) {
    return EqualsNoCase(FromUtf8(a), FromUtf8(b));
}

size_t WideLength(const char16_t* s) {
    size_t n = 0;
    if (s)
        while (s[n])
            ++n;
    return n;
}

} // namespace platform
