// Text for PJL lines: job texts by the item's string flags, device-mode texts
// within their fields, and the small code maps of the output tray items.
#include <algorithm>
#include <cstring>

#include "pjl.h"
#include "text_convert.h"

namespace inkforge {
namespace {

constexpr size_t kConvertLimit = 260;
constexpr size_t kMaxPjlText = 255;

} // namespace

void PjlBlankControlChars(DWORD flags, std::string* text) {
    size_t n = std::min(text->size(), kConvertLimit);
    for (size_t i = 0; i < n; ++i) {
        auto c = static_cast<unsigned char>((*text)[i]);
        bool keep = true;
        if (c == 127)
            keep = flags & pjlflag::KeepDel;
        else if (c == '"')
            keep = flags & pjlflag::KeepQuote;
        else if (c == 27)
            keep = flags & pjlflag::KeepEsc;
        else if (c == '\r' || c == '\n')
            keep = false;
        else if (c < 32)
            keep = flags & pjlflag::KeepControl;
        if (!keep) (*text)[i] = ' ';
    }
}

std::string PjlTruncateKeepHead(const std::string& text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::u16string wide = FromAnsi(text);
    size_t count = wide.size();
    for (;;) {
        std::string cut = ToAnsi(std::u16string_view(wide).substr(0, count));
        if (cut.size() <= maxBytes) return cut;
        size_t step = std::max<size_t>(1, (cut.size() - maxBytes) / 2);
        count = count > step ? count - step : 0;
    }
}

std::string PjlTruncateKeepTail(const std::string& text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::u16string wide = FromAnsi(text);
    size_t start = 0;
    for (;;) {
        std::string cut = ToAnsi(std::u16string_view(wide).substr(start));
        if (cut.size() <= maxBytes) return cut;
        size_t step = std::max<size_t>(1, (cut.size() - maxBytes) / 2);
        start = std::min(wide.size(), start + step);
    }
}

void PjlConvertString(DWORD flags, DWORD maxLength, LPCWSTR text, CHAR out[kPjlString]) {
    std::memset(out, 0, kPjlString);
    std::string a = text ? CutAnsi(ToAnsi(text), kConvertLimit - 1) : std::string();
    PjlBlankControlChars(flags, &a);
    if ((flags & pjlflag::Truncate) && maxLength) {
        size_t most = std::min<size_t>(maxLength, kMaxPjlText);
        a = (flags & pjlflag::KeepTail) ? PjlTruncateKeepTail(a, most)
                                        : PjlTruncateKeepHead(a, most);
    }
    a = CutAnsi(a, kMaxPjlText);
    std::memcpy(out, a.data(), a.size());
}

std::string PjlDevmodeText(const BYTE* field, size_t fieldSize) {
    std::string t = CutAnsi(FieldText(field, fieldSize), kMaxPjlText);
    for (char& c : t) {
        auto u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127 || u == '"') c = ' ';
    }
    return t;
}

WORD CodeToQuery34Index(WORD code) {
    switch (code) {
    case 0:
        return 1;
    case 1:
        return 2;
    case 2:
        return 5;
    case 257:
        return 3;
    case 513:
        return 4;
    case 514:
        return 6;
    case 769:
        return 7;
    case 770:
        return 8;
    case 771:
        return 9;
    default:
        return 0;
    }
}

WORD Query34IndexToCode(WORD index) {
    switch (index) {
    case 2:
        return 1;
    case 3:
        return 257;
    case 4:
        return 513;
    case 5:
        return 2;
    case 6:
        return 514;
    case 7:
        return 769;
    case 8:
        return 770;
    case 9:
        return 771;
    default:
        return 0;
    }
}

WORD ClampCodeOneToSix(WORD code) {
    return code >= 1 && code <= 6 ? code : 0;
}

} // namespace inkforge
