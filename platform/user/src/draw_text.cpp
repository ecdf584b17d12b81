// DrawText: a text laid out in a rectangle as the window manager does it:
// lines at CR and LF, tabs expanded to a tab length in average character
// widths, "&" prefixes removed ("&&" keeps one), alignment, margins, clipping,
// and the measuring form (DT_CALCRECT). Words are not wrapped.
#include <algorithm>
#include <string>
#include <vector>

#include "win/gdi_text.h"
#include "win/user.h"

namespace {

// One line of text after the prefix characters went, in pieces between tabs.
struct TextLine {
    std::u16string text;
    int width = 0;
};

std::u16string RemovePrefixes(const std::u16string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size())
            ++i; // "&&" keeps one '&'
        else if (text[i] == u'&')
            continue;
        out += text[i];
    }
    return out;
}

int Extent(HDC hdc, const char16_t* text, size_t n) {
    SIZE s{};
    if (n) ::GetTextExtentPoint32W(hdc, text, static_cast<int>(n), &s);
    return s.cx;
}

// Calls draw(x, piece) for each piece between tabs (x from the line's start)
// and answers the line's width. Tabs advance to the next multiple of the tab
// width; without tab expansion a tab is an ordinary character.
template <typename Draw>
int LayOut(HDC hdc, const std::u16string& line, bool expandTabs, int tabWidth, Draw draw) {
    if (!expandTabs || tabWidth <= 0) {
        draw(0, line);
        return Extent(hdc, line.data(), line.size());
    }
    int x = 0;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find(u'\t', start);
        std::u16string piece = line.substr(start, tab == std::u16string::npos ? tab : tab - start);
        draw(x, piece);
        x += Extent(hdc, piece.data(), piece.size());
        if (tab == std::u16string::npos) return x;
        x = (x / tabWidth + 1) * tabWidth;
        start = tab + 1;
    }
}

} // namespace

extern "C" {

int WINAPI DrawTextExW(HDC hdc, LPWSTR chars, int count, LPRECT r, UINT format,
                       LPDRAWTEXTPARAMS params) {
    if (!hdc || !chars || !r) return 0;
    const std::u16string whole =
        count < 0 ? std::u16string(chars) : std::u16string(chars, static_cast<size_t>(count));
    constexpr int kDefaultTabChars = 8;
    constexpr UINT kTabLengthShift = 8;
    constexpr UINT kTabLengthMask = 0xFF;
    TEXTMETRICW tm{};
    ::GetTextMetricsW(hdc, &tm);
    int ave = tm.tmAveCharWidth > 0 ? tm.tmAveCharWidth : 1;
    int tabChars = kDefaultTabChars, leftMargin = 0, rightMargin = 0;
    if (params) {
        if ((format & DT_TABSTOP) && params->iTabLength > 0) tabChars = params->iTabLength;
        leftMargin = params->iLeftMargin * ave;
        rightMargin = params->iRightMargin * ave;
    } else if (format & DT_TABSTOP) {
        // The tab length rides in the format's second byte, in place of the flags there.
        tabChars = static_cast<int>((format >> kTabLengthShift) & kTabLengthMask);
        format &= ~(kTabLengthMask << kTabLengthShift);
    }
    const bool expandTabs = (format & DT_EXPANDTABS) != 0;
    const int tabWidth = tabChars * ave;
    std::u16string text = whole;
    if (!(format & DT_NOPREFIX)) text = RemovePrefixes(text);

    std::vector<TextLine> lines;
    if (format & DT_SINGLELINE) {
        lines.push_back({text});
    } else {
        size_t start = 0;
        for (;;) {
            size_t end = text.find_first_of(u"\r\n", start);
            lines.push_back({text.substr(start, end == std::u16string::npos ? end : end - start)});
            if (end == std::u16string::npos) break;
            start = end + 1;
            if (text[end] == u'\r' && start < text.size() && text[start] == u'\n') ++start;
        }
    }
    int lineHeight = tm.tmHeight + ((format & DT_EXTERNALLEADING) ? tm.tmExternalLeading : 0);
    int widest = 0;
    for (auto& line : lines) {
        line.width = LayOut(hdc, line.text, expandTabs, tabWidth, [](int, auto&) {});
        widest = std::max(widest, line.width);
    }
    int height = lineHeight * static_cast<int>(lines.size());
    if (params) params->uiLengthDrawn = static_cast<UINT>(whole.size());
    if (format & DT_CALCRECT) {
        r->right = r->left + leftMargin + widest + rightMargin;
        r->bottom = r->top + height;
        return height;
    }
    int y = r->top;
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER)
            y = r->top + (r->bottom - r->top - height) / 2;
        else if (format & DT_BOTTOM)
            y = r->bottom - height;
    }
    const UINT clip = (format & DT_NOCLIP) ? 0 : ETO_CLIPPED;
    const int left = r->left + leftMargin, right = r->right - rightMargin;
    for (const auto& line : lines) {
        int x = left;
        if (format & DT_CENTER)
            x = left + (right - left - line.width) / 2;
        else if (format & DT_RIGHT)
            x = right - line.width;
        LayOut(hdc, line.text, expandTabs, tabWidth, [&](int at, const std::u16string& piece) {
            if (!piece.empty())
                ::ExtTextOutW(hdc, x + at, y, clip, r, piece.c_str(),
                              static_cast<UINT>(piece.size()), nullptr);
        });
        y += lineHeight;
    }
    // Below a centred or bottom line: how far the text reaches from the top.
    return y - r->top;
}

int WINAPI DrawTextW(HDC hdc, LPCWSTR chars, int count, LPRECT r, UINT format) {
    return DrawTextExW(hdc, const_cast<LPWSTR>(chars), count, r, format, nullptr);
}

} // extern "C"
