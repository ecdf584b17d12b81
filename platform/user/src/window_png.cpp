// The look of the system's controls and of window frames, in the classic 3D
// style with the system colours and the dialog's own font: what the
// controls' WM_PAINT and the default WM_NCPAINT draw. Owner-drawn controls
// ask their parent (WM_DRAWITEM); the parent chooses a control's colours
// (WM_CTLCOLOR*). Pictures of windows for people are what the windows
// painted on their surface, written as PNG files.
#include <png.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "images.h"
#include "platform/text.h"
#include "platform/user_ctl.h"
#include "user_internal.h"
#include "win/gdi_bitmap.h"
#include "win/gdi_dc.h"
#include "win/gdi_text.h"

namespace platform::user {
namespace {

constexpr int kScreenDpi = 96;
constexpr int kPointsPerInch = 72;
constexpr int kDefaultPoints = 8;
constexpr int kCheckBox = 13;

enum Align { kLeft, kCenter, kRight };
// A text colour index meaning: the colour the device context holds (what the
// parent chose in its WM_CTLCOLOR* answer).
constexpr int kDcText = -1;

// Draws on a device context with the system colours and one font.
struct Painter {
    HDC dc;
    LOGFONTW font{}; // the control's

    void Fill(const RECT& r, int index) { FillRect(dc, &r, GetSysColorBrush(index)); }
    void Line(LONG x0, LONG y0, LONG x1, LONG y1, int index) {
        HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(index));
        HGDIOBJ old = SelectObject(dc, pen);
        MoveToEx(dc, x0, y0, nullptr);
        // A line leaves out its last pixel: this one ends on it.
        LineTo(dc, x1 + (x1 > x0 ? 1 : 0), y1 + (y1 > y0 ? 1 : 0));
        SelectObject(dc, old);
        DeleteObject(pen);
    }
    void Frame(const RECT& r, int index) {
        Line(r.left, r.top, r.right - 1, r.top, index);
        Line(r.left, r.top, r.left, r.bottom - 1, index);
        Line(r.left, r.bottom - 1, r.right - 1, r.bottom - 1, index);
        Line(r.right - 1, r.top, r.right - 1, r.bottom - 1, index);
    }
    // A filled shape in one colour, outlined in another.
    template <class Shape> void Shape_(int fill, int outline, Shape shape) {
        HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(outline));
        HGDIOBJ oldPen = SelectObject(dc, pen);
        HGDIOBJ oldBrush = SelectObject(dc, GetSysColorBrush(fill));
        shape();
        SelectObject(dc, oldBrush);
        SelectObject(dc, oldPen);
        DeleteObject(pen);
    }
    // Two-pixel 3D edge: raised (buttons, frames) or sunken (fields).
    void Edge(const RECT& r, bool raised) {
        int outerLight = raised ? COLOR_3DLIGHT : COLOR_BTNSHADOW;
        int outerDark = raised ? COLOR_3DDKSHADOW : COLOR_BTNHIGHLIGHT;
        int innerLight = raised ? COLOR_BTNHIGHLIGHT : COLOR_3DDKSHADOW;
        int innerDark = raised ? COLOR_BTNSHADOW : COLOR_3DLIGHT;
        LONG l = r.left, t = r.top, rt = r.right - 1, b = r.bottom - 1;
        Line(l, t, rt, t, outerLight);
        Line(l, t, l, b, outerLight);
        Line(l, b, rt, b, outerDark);
        Line(rt, t, rt, b, outerDark);
        Line(l + 1, t + 1, rt - 1, t + 1, innerLight);
        Line(l + 1, t + 1, l + 1, b - 1, innerLight);
        Line(l + 1, b - 1, rt - 1, b - 1, innerDark);
        Line(rt - 1, t + 1, rt - 1, b - 1, innerDark);
    }
    // One line of text, centred on the rectangle's height, clipped to it; the
    // mnemonic marker dropped and the underline left out.
    void Text(const std::u16string& text, const RECT& r, int align, int index, bool bold = false) {
        HFONT heavy = nullptr;
        HGDIOBJ old = nullptr;
        if (bold) {
            LOGFONTW lf = font;
            lf.lfWeight = FW_BOLD;
            heavy = CreateFontIndirectW(&lf);
            if (heavy) old = SelectObject(dc, heavy);
        }
        std::u16string shown;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == u'&' && i + 1 < text.size()) ++i;
            shown.push_back(text[i] == u'\r' || text[i] == u'\n' ? u' ' : text[i]);
        }
        SIZE size{};
        GetTextExtentPoint32W(dc, shown.c_str(), static_cast<int>(shown.size()), &size);
        TEXTMETRICW tm{};
        GetTextMetricsW(dc, &tm);
        LONG x = r.left + 2;
        if (align == kCenter) x = (r.left + r.right - size.cx) / 2;
        if (align == kRight) x = r.right - 2 - size.cx;
        LONG y = (r.top + r.bottom - tm.tmHeight) / 2;
        // A colour of its own is this text's alone: the device context's
        // colour stays for what is drawn next (the rows after a selected one).
        const COLORREF before = GetTextColor(dc);
        if (index != kDcText) SetTextColor(dc, GetSysColor(index));
        SetBkMode(dc, TRANSPARENT);
        ExtTextOutW(dc, x, y, ETO_CLIPPED, &r, shown.c_str(), static_cast<UINT>(shown.size()),
                    nullptr);
        SetTextColor(dc, before);
        if (heavy) {
            SelectObject(dc, old);
            DeleteObject(heavy);
        }
    }
    // One line of text with its tabs expanded to the control's stops (pixels
    // from the start of the text), centred on the rectangle's height.
    void TabbedText(const std::u16string& text, const RECT& r, int index,
                    const std::vector<INT>& stops) {
        TEXTMETRICW tm{};
        GetTextMetricsW(dc, &tm);
        LONG x = r.left + 2;
        LONG y = (r.top + r.bottom - tm.tmHeight) / 2;
        TabbedLine(text, x, y, r, index, stops);
    }
    void TabbedLine(const std::u16string& text, LONG x, LONG y, const RECT& clip, int index,
                    const std::vector<INT>& stops) {
        const COLORREF before = GetTextColor(dc);
        if (index != kDcText) SetTextColor(dc, GetSysColor(index));
        SetBkMode(dc, TRANSPARENT);
        int saved = SaveDC(dc);
        IntersectClipRect(dc, clip.left, clip.top, clip.right, clip.bottom);
        TabbedTextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()),
                       static_cast<int>(stops.size()), stops.data(), x);
        RestoreDC(dc, saved);
        SetTextColor(dc, before);
    }
    LONG TabbedWidth(const std::u16string& text, const std::vector<INT>& stops) {
        return LOWORD(GetTabbedTextExtentW(dc, text.c_str(), static_cast<int>(text.size()),
                                           static_cast<int>(stops.size()), stops.data()));
    }
    LONG TextWidth(const std::u16string& text) {
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        return size.cx;
    }
};

RECT Shrink(RECT r, int d) {
    InflateRect(&r, -d, -d);
    return r;
}

// The tick of a check box (grey for the third state).
void DrawCheckMark(Painter& p, const RECT& b, bool indeterminate) {
    HPEN pen =
        CreatePen(PS_SOLID, 2, GetSysColor(indeterminate ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT));
    HGDIOBJ old = SelectObject(p.dc, pen);
    POINT tick[3] = {{b.left + 3, b.top + 6}, {b.left + 5, b.top + 9}, {b.left + 10, b.top + 3}};
    Polyline(p.dc, tick, 3);
    SelectObject(p.dc, old);
    DeleteObject(pen);
}

// The parent's colours for a control (WM_CTLCOLOR*): the brush it answers
// (nullptr: none, the background is left as it is), with the text colour it
// set on the device context. What the parent does not answer takes the
// default handling.
HBRUSH ParentColors(HWND h, HDC dc, UINT message, int textIndex, int backIndex) {
    SetTextColor(dc, GetSysColor(textIndex));
    SetBkColor(dc, GetSysColor(backIndex));
    SetBkMode(dc, OPAQUE);
    HWND parent = GetParent(h);
    LRESULT brush = 0;
    if (parent)
        brush = SendMessageW(parent, message, reinterpret_cast<WPARAM>(dc),
                             reinterpret_cast<LPARAM>(h));
    if (!brush)
        brush = DefWindowProcW(parent ? parent : h, message, reinterpret_cast<WPARAM>(dc),
                               reinterpret_cast<LPARAM>(h));
    return reinterpret_cast<HBRUSH>(brush);
}

void FillWith(HDC dc, const RECT& r, HBRUSH brush) {
    if (brush) FillRect(dc, &r, brush);
}

// The header of top-down 32-bit pixels.
BITMAPINFO TopDownPixels(LONG width, LONG height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    return info;
}

// Premultiplied pixels of an image blended over the device context.
void BlendPixels(HDC dc, const Pixels& image, LONG x, LONG y) {
    if (image.width <= 0 || image.height <= 0) return;
    BITMAPINFO info = TopDownPixels(image.width, image.height);
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!section || !bits) {
        if (section) DeleteObject(section);
        return;
    }
    auto* out = static_cast<DWORD*>(bits);
    for (size_t k = 0; k < image.bgra.size(); ++k) {
        DWORD px = image.bgra[k];
        DWORD a = px >> 24;
        auto channel = [&](int shift) { return (((px >> shift) & 0xFF) * a / 255) << shift; };
        out[k] = (a << 24) | channel(16) | channel(8) | channel(0);
    }
    HDC memory = CreateCompatibleDC(dc);
    if (memory) {
        HGDIOBJ old = SelectObject(memory, section);
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        AlphaBlend(dc, x, y, image.width, image.height, memory, 0, 0, image.width, image.height,
                   blend);
        SelectObject(memory, old);
        DeleteDC(memory);
    }
    DeleteObject(section);
}

// A disabled control's picture, as the system greys it: each pixel's grey,
// halfway to the button face (its transparency kept).
void GreyOut(Pixels* px) {
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    for (DWORD& c : px->bgra) {
        const DWORD red = (c >> 16) & 0xFF, green = (c >> 8) & 0xFF, blue = c & 0xFF;
        const DWORD grey = (red * 30 + green * 59 + blue * 11) / 100;
        c = (c & 0xFF000000u) | (((grey + GetRValue(face)) / 2) << 16) |
            (((grey + GetGValue(face)) / 2) << 8) | ((grey + GetBValue(face)) / 2);
    }
}

// An icon's or a bitmap's pixels (a bitmap's all opaque); false when the
// handle is neither.
bool ImagePixels(HDC dc, HANDLE image, UINT type, Pixels* px) {
    if (!image) return false;
    if (type == IMAGE_ICON || type == IMAGE_CURSOR)
        return IconPixels(static_cast<HICON>(image), px);
    BITMAP bm{};
    if (!GetObjectW(image, sizeof bm, &bm) || bm.bmWidth <= 0 || bm.bmHeight <= 0) return false;
    BITMAPINFO info = TopDownPixels(bm.bmWidth, bm.bmHeight);
    px->width = bm.bmWidth;
    px->height = bm.bmHeight;
    px->bgra.assign(static_cast<size_t>(bm.bmWidth) * static_cast<size_t>(bm.bmHeight), 0);
    if (!GetDIBits(dc, static_cast<HBITMAP>(image), 0, static_cast<UINT>(bm.bmHeight),
                   px->bgra.data(), &info, DIB_RGB_COLORS))
        return false;
    for (DWORD& c : px->bgra)
        c |= 0xFF000000u;
    return true;
}

// An icon or bitmap (IMAGE_ICON, IMAGE_BITMAP) centred in a rectangle, or at
// its top left corner, greyed when disabled; false when the handle is neither.
bool DrawImage(HDC dc, HANDLE image, UINT type, const RECT& r, bool centre, bool disabled = false) {
    if (!image) return false;
    if (type == IMAGE_ICON || type == IMAGE_CURSOR || disabled) {
        Pixels px;
        if (!ImagePixels(dc, image, type, &px)) return false;
        if (disabled) GreyOut(&px);
        LONG x = centre ? (r.left + r.right - px.width) / 2 : r.left;
        LONG y = centre ? (r.top + r.bottom - px.height) / 2 : r.top;
        BlendPixels(dc, px, x, y);
        return true;
    }
    BITMAP bm{};
    if (!GetObjectW(image, sizeof bm, &bm)) return false;
    HDC memory = CreateCompatibleDC(dc);
    if (!memory) return false;
    HGDIOBJ old = SelectObject(memory, image);
    LONG x = centre ? (r.left + r.right - bm.bmWidth) / 2 : r.left;
    LONG y = centre ? (r.top + r.bottom - bm.bmHeight) / 2 : r.top;
    BitBlt(dc, x, y, bm.bmWidth, bm.bmHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    return true;
}

UINT ButtonImageType(const Window& w) {
    return (w.style & BS_BITMAP) ? IMAGE_BITMAP : IMAGE_ICON;
}

// A push button's face, or a check box's or radio button's with BS_PUSHLIKE
// (sunk while checked): its image (BS_ICON, BS_BITMAP) or its text.
void DrawPushButton(Painter& p, const Window& w, const RECT& r, HWND h, bool sunk) {
    UINT type = w.style & BS_TYPEMASK;
    HBRUSH brush = ParentColors(h, p.dc, WM_CTLCOLORBTN, COLOR_BTNTEXT, COLOR_BTNFACE);
    (void)brush; // a push button's face is the system's
    p.Fill(r, COLOR_BTNFACE);
    RECT inner = r;
    if (type == BS_DEFPUSHBUTTON) {
        p.Frame(r, COLOR_WINDOWFRAME);
        inner = Shrink(r, 1);
    }
    p.Edge(inner, !sunk);
    RECT face = Shrink(inner, 2);
    if (sunk) OffsetRect(&face, 1, 1);
    const bool disabled = (w.style & WS_DISABLED) != 0;
    UINT imageType = ButtonImageType(w);
    HANDLE image = reinterpret_cast<HANDLE>(SendMessageW(h, BM_GETIMAGE, imageType, 0));
    if (w.style & (BS_ICON | BS_BITMAP)) {
        if (DrawImage(p.dc, image, imageType, face, true, disabled)) return;
    } else if (Pixels px; !w.text.empty() && ImagePixels(p.dc, image, imageType, &px)) {
        // An image set on a button with text goes before the text, both
        // centred together.
        LONG width = px.width + 4 + p.TextWidth(w.text);
        LONG left = std::max(face.left, (face.left + face.right - width) / 2);
        DrawImage(p.dc, image, imageType, RECT{left, face.top, left + px.width, face.bottom}, true,
                  disabled);
        p.Text(w.text, RECT{left + px.width + 4, face.top, face.right, face.bottom}, 0,
               disabled ? COLOR_GRAYTEXT : kDcText);
        return;
    }
    p.Text(w.text, face, kCenter, disabled ? COLOR_GRAYTEXT : kDcText);
}

void DrawButton(Painter& p, const Window& w, const RECT& r, HWND h) {
    UINT type = w.style & BS_TYPEMASK;
    bool disabled = (w.style & WS_DISABLED) != 0;
    UINT check = static_cast<UINT>(SendMessageW(h, BM_GETCHECK, 0, 0));
    switch (type) {
    case BS_GROUPBOX: {
        // A group box leaves its inside to the controls in it.
        HBRUSH brush = ParentColors(h, p.dc, WM_CTLCOLORSTATIC, COLOR_WINDOWTEXT, COLOR_BTNFACE);
        RECT frame{r.left, r.top + 6, r.right, r.bottom};
        p.Line(frame.left, frame.top, frame.right - 2, frame.top, COLOR_BTNSHADOW);
        p.Line(frame.left, frame.top, frame.left, frame.bottom - 2, COLOR_BTNSHADOW);
        p.Line(frame.left, frame.bottom - 2, frame.right - 2, frame.bottom - 2, COLOR_BTNSHADOW);
        p.Line(frame.right - 2, frame.top, frame.right - 2, frame.bottom - 2, COLOR_BTNSHADOW);
        p.Line(frame.left + 1, frame.bottom - 1, frame.right - 1, frame.bottom - 1,
               COLOR_BTNHIGHLIGHT);
        p.Line(frame.right - 1, frame.top + 1, frame.right - 1, frame.bottom - 1,
               COLOR_BTNHIGHLIGHT);
        if (w.text.empty()) return;
        RECT label{r.left + 8, r.top, r.left + 8 + p.TextWidth(w.text) + 4, r.top + 13};
        FillWith(p.dc, label, brush);
        p.Text(w.text, label, 0, disabled ? COLOR_GRAYTEXT : kDcText);
        return;
    }
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON: {
        if (w.style & BS_PUSHLIKE) {
            DrawPushButton(p, w, r, h, check != BST_UNCHECKED);
            return;
        }
        HBRUSH brush = ParentColors(h, p.dc, WM_CTLCOLORSTATIC, COLOR_WINDOWTEXT, COLOR_BTNFACE);
        FillWith(p.dc, r, brush);
        int box = kCheckBox;
        LONG top = (r.top + r.bottom - box) / 2;
        RECT b{r.left, top, r.left + box, top + box};
        bool radio = type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
        // A disabled box or circle is filled with the button face and
        // marked in grey.
        if (radio) {
            p.Shape_(disabled ? COLOR_BTNFACE : COLOR_WINDOW, COLOR_BTNSHADOW,
                     [&] { Ellipse(p.dc, b.left, b.top, b.right, b.bottom); });
            if (check) {
                const int mark = disabled ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT;
                p.Shape_(mark, mark,
                         [&] { Ellipse(p.dc, b.left + 4, b.top + 4, b.right - 4, b.bottom - 4); });
            }
        } else {
            p.Fill(b, check == BST_INDETERMINATE || disabled ? COLOR_BTNFACE : COLOR_WINDOW);
            p.Edge(b, false);
            if (check) DrawCheckMark(p, b, check == BST_INDETERMINATE || disabled);
        }
        RECT label{r.left + box + 3, r.top, r.right, r.bottom};
        if (w.style & (BS_ICON | BS_BITMAP)) {
            UINT imageType = ButtonImageType(w);
            HANDLE image = reinterpret_cast<HANDLE>(SendMessageW(h, BM_GETIMAGE, imageType, 0));
            if (DrawImage(p.dc, image, imageType, label, true, disabled)) return;
        }
        p.Text(w.text, label, 0, disabled ? COLOR_GRAYTEXT : kDcText);
        return;
    }
    default:
        DrawPushButton(p, w, r, h, (SendMessageW(h, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0);
        return;
    }
}

std::u16string ListItemText(HWND h, bool combo, int index) {
    UINT lenMsg = combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN;
    UINT textMsg = combo ? CB_GETLBTEXT : LB_GETTEXT;
    LRESULT n = SendMessageW(h, lenMsg, static_cast<WPARAM>(index), 0);
    if (n < 0 || n > 4096) return {};
    std::u16string s(static_cast<size_t>(n) + 4, u'\0');
    SendMessageW(h, textMsg, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(s.data()));
    s.resize(platform::WideLength(s.c_str()));
    return s;
}

std::u16string ListViewText(HWND h, int index, int sub) {
    WCHAR buffer[256] = {};
    LVITEMW item{};
    item.iSubItem = sub;
    item.pszText = buffer;
    item.cchTextMax = 256;
    SendMessageW(h, LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    return buffer;
}

// An image of a list view's image list, drawn at a point of the picture.
void DrawListImage(Painter& p, HWND h, int which, int image, POINT at) {
    auto list = reinterpret_cast<HIMAGELIST>(SendMessageW(h, LVM_GETIMAGELIST, which, 0));
    if (list && image >= 0) ImageList_Draw(list, image, p.dc, at.x, at.y, ILD_TRANSPARENT);
}

// A list view as it stands: the header and rows of the report view (with
// check boxes, small images, selection), or the items of the other views.
void DrawListView(Painter& p, HWND h, const Window& w, const RECT& r) {
    p.Fill(r, COLOR_WINDOW);
    p.Edge(r, false);
    RECT in = Insets(w.style, w.exStyle);
    RECT client{r.left + in.left, r.top + in.top, r.right - in.right, r.bottom - in.bottom};
    HRGN clip = CreateRectRgn(client.left, client.top, client.right, client.bottom);
    SelectClipRgn(p.dc, clip);
    bool report = (w.style & LVS_TYPEMASK) == LVS_REPORT;
    DWORD ex = static_cast<DWORD>(SendMessageW(h, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    bool focused = GetFocus() == h;
    int columns = 0;
    if (report && !(w.style & LVS_NOCOLUMNHEADER)) {
        LVCOLUMNW c{};
        WCHAR name[128];
        for (;; ++columns) {
            c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
            c.pszText = name;
            c.cchTextMax = 128;
            if (!SendMessageW(h, LVM_GETCOLUMNW, static_cast<WPARAM>(columns),
                              reinterpret_cast<LPARAM>(&c)))
                break;
            LONG left = 0;
            for (int k = 0; k < columns; ++k)
                left += static_cast<LONG>(
                    SendMessageW(h, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(k), 0));
            RECT button{client.left + left, client.top, client.left + left + c.cx, client.top + 20};
            p.Fill(button, COLOR_BTNFACE);
            p.Edge(button, true);
            int align = (c.fmt & LVCFMT_JUSTIFYMASK) == LVCFMT_RIGHT    ? kRight
                        : (c.fmt & LVCFMT_JUSTIFYMASK) == LVCFMT_CENTER ? kCenter
                                                                        : kLeft;
            p.Text(name, RECT{button.left + 4, button.top, button.right - 4, button.bottom}, align,
                   COLOR_BTNTEXT);
        }
    } else if (report) {
        while (SendMessageW(h, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(columns), 0) > 0)
            ++columns;
    }
    int count = static_cast<int>(SendMessageW(h, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        RECT bounds{LVIR_BOUNDS, 0, 0, 0}, icon{LVIR_ICON, 0, 0, 0}, label{LVIR_LABEL, 0, 0, 0};
        SendMessageW(h, LVM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&bounds));
        SendMessageW(h, LVM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&icon));
        SendMessageW(h, LVM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&label));
        for (RECT* rect : {&bounds, &icon, &label})
            OffsetRect(rect, client.left, client.top);
        if (bounds.top >= client.bottom || bounds.bottom <= client.top) continue;
        LVITEMW item{};
        item.mask = LVIF_STATE | LVIF_IMAGE;
        item.iItem = i;
        item.stateMask = LVIS_SELECTED | LVIS_STATEIMAGEMASK;
        SendMessageW(h, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        bool selected = (item.state & LVIS_SELECTED) && (focused || (w.style & LVS_SHOWSELALWAYS));
        RECT highlight = report && (ex & LVS_EX_FULLROWSELECT)
                             ? RECT{label.left, bounds.top, bounds.right, bounds.bottom}
                             : label;
        if (selected) p.Fill(highlight, focused ? COLOR_HIGHLIGHT : COLOR_BTNFACE);
        int text = selected && focused ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT;
        if (ex & LVS_EX_CHECKBOXES) {
            // The state icon: a small box, ticked when the item is checked.
            LONG mid = (bounds.top + bounds.bottom) / 2;
            LONG x = icon.left - 16;
            RECT box{x + 1, mid - 6, x + 14, mid + 7};
            p.Fill(box, COLOR_WINDOW);
            p.Frame(box, COLOR_WINDOWTEXT);
            if ((item.state >> 12) == 2) DrawCheckMark(p, box, false);
        }
        bool big = (w.style & LVS_TYPEMASK) == LVS_ICON;
        DrawListImage(p, h, big ? LVSIL_NORMAL : LVSIL_SMALL, item.iImage,
                      POINT{icon.left, icon.top});
        if (big) {
            p.Text(ListViewText(h, i, 0), RECT{label.left, label.top, label.right, label.top + 14},
                   kCenter, text);
            continue;
        }
        p.Text(ListViewText(h, i, 0), label, kLeft, text);
        for (int c = 1; report && c < columns; ++c) {
            RECT cell{LVIR_BOUNDS, c, 0, 0};
            if (!SendMessageW(h, LVM_GETSUBITEMRECT, static_cast<WPARAM>(i),
                              reinterpret_cast<LPARAM>(&cell)))
                continue;
            OffsetRect(&cell, client.left, client.top);
            p.Text(ListViewText(h, i, c),
                   RECT{cell.left + 4, cell.top, cell.right - 2, cell.bottom}, kLeft,
                   selected && (ex & LVS_EX_FULLROWSELECT) ? text : COLOR_WINDOWTEXT);
        }
        if (ex & LVS_EX_GRIDLINES)
            p.Line(client.left, bounds.bottom - 1, bounds.right, bounds.bottom - 1, COLOR_BTNFACE);
    }
    SelectClipRgn(p.dc, nullptr);
    DeleteObject(clip);
}

UINT ItemHeight(HWND h, bool combo, int index) {
    LRESULT height =
        SendMessageW(h, combo ? CB_GETITEMHEIGHT : LB_GETITEMHEIGHT, static_cast<WPARAM>(index), 0);
    return height > 0 && height < 1024 ? static_cast<UINT>(height) : 13;
}

ULONG_PTR ItemData(HWND h, bool combo, int index) {
    return static_cast<ULONG_PTR>(
        SendMessageW(h, combo ? CB_GETITEMDATA : LB_GETITEMDATA, static_cast<WPARAM>(index), 0));
}

// WM_DRAWITEM to the owner of a control; the owner draws on `dc`.
void OwnerDraw(HWND h, const Window& w, UINT type, int item, UINT action, UINT state, HDC dc,
               const RECT& r, ULONG_PTR data) {
    DRAWITEMSTRUCT d{
        type, static_cast<UINT>(w.id), static_cast<UINT>(item), action, state, h, dc, r, data};
    if (w.parent)
        SendMessageW(w.parent, WM_DRAWITEM, static_cast<WPARAM>(w.id),
                     reinterpret_cast<LPARAM>(&d));
}

// The items of a list from `first` down a rectangle: drawn by the owner or as
// text, the current one selected.
void DrawItems(Painter& p, HWND h, const Window& w, bool combo, bool owner, const RECT& area,
               int first, int current, bool focused, HDC ownerDc, POINT ownerOrigin) {
    int count = static_cast<int>(SendMessageW(h, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0));
    bool disabled = (w.style & WS_DISABLED) != 0;
    // A list box that takes tab stops lines its items' columns up on them.
    bool tabbed = !combo && (w.style & LBS_USETABSTOPS);
    std::vector<INT> stops = tabbed ? TabStopPixels(h) : std::vector<INT>{};
    LONG y = area.top;
    for (int i = std::max(first, 0); i < count && y < area.bottom; ++i) {
        LONG height = static_cast<LONG>(ItemHeight(h, combo, i));
        RECT item{area.left, y, area.right, y + height};
        y += height;
        bool selected = i == current;
        if (owner) {
            UINT state = (selected ? ODS_SELECTED : 0) | (selected && focused ? ODS_FOCUS : 0) |
                         (disabled ? ODS_DISABLED : 0);
            RECT rc = item;
            OffsetRect(&rc, -ownerOrigin.x, -ownerOrigin.y);
            OwnerDraw(h, w, combo ? ODT_COMBOBOX : ODT_LISTBOX, i, ODA_DRAWENTIRE, state, ownerDc,
                      rc, ItemData(h, combo, i));
            continue;
        }
        if (selected) p.Fill(item, COLOR_HIGHLIGHT);
        int colour = selected ? COLOR_HIGHLIGHTTEXT : disabled ? COLOR_GRAYTEXT : kDcText;
        if (tabbed)
            p.TabbedText(ListItemText(h, combo, i), item, colour, stops);
        else
            p.Text(ListItemText(h, combo, i), item, 0, colour);
    }
}

void DrawListBox(Painter& p, HWND h, const Window& w, const RECT& r, HDC clientDc) {
    bool owner = (w.style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) != 0;
    HBRUSH brush = ParentColors(h, p.dc, WM_CTLCOLORLISTBOX, COLOR_WINDOWTEXT, COLOR_WINDOW);
    FillWith(p.dc, r, brush);
    RECT in = Insets(w.style, w.exStyle);
    if (in.left) p.Edge(r, false);
    RECT client{r.left + in.left, r.top + in.top, r.right - in.right, r.bottom - in.bottom};
    int sel = static_cast<int>(SendMessageW(h, LB_GETCURSEL, 0, 0));
    int top = static_cast<int>(SendMessageW(h, LB_GETTOPINDEX, 0, 0));
    bool focused = GetFocus() == h;
    if (owner && focused && SendMessageW(h, LB_GETCOUNT, 0, 0) == 0) {
        // An empty list with the focus: its owner draws the focus alone.
        RECT rc{0, 0, client.right - client.left, static_cast<LONG>(ItemHeight(h, false, 0))};
        OwnerDraw(h, w, ODT_LISTBOX, -1, ODA_FOCUS, ODS_FOCUS, clientDc, rc, 0);
        return;
    }
    DrawItems(p, h, w, false, owner, client, top, sel, focused, clientDc,
              POINT{client.left, client.top});
}

// A combo box: its field (the owner draws the selection of an owner-drawn
// one) with the arrow button, and, while dropped down, its list below.
void DrawComboBox(Painter& p, HWND h, const Window& w, const RECT& r, HDC clientDc) {
    bool owner = (w.style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) != 0;
    bool disabled = (w.style & WS_DISABLED) != 0;
    bool focused = GetFocus() == h;
    int sel = static_cast<int>(SendMessageW(h, CB_GETCURSEL, 0, 0));
    HBRUSH brush = ParentColors(h, p.dc, WM_CTLCOLOREDIT, COLOR_WINDOWTEXT, COLOR_WINDOW);
    LONG fieldHeight = static_cast<LONG>(ItemHeight(h, true, -1)) + 8;
    RECT field{r.left, r.top, r.right, std::min(r.bottom, r.top + fieldHeight)};
    if (disabled)
        p.Fill(field, COLOR_BTNFACE);
    else
        FillWith(p.dc, field, brush);
    p.Edge(field, false);
    RECT arrow{field.right - 18, field.top + 2, field.right - 2, field.bottom - 2};
    p.Fill(arrow, COLOR_BTNFACE);
    p.Edge(arrow, true);
    LONG mid = (arrow.top + arrow.bottom) / 2;
    POINT tip[3] = {{arrow.left + 4, mid - 1},
                    {arrow.right - 5, mid - 1},
                    {(arrow.left + arrow.right) / 2 - 1, mid + 2}};
    p.Shape_(COLOR_BTNTEXT, COLOR_BTNTEXT, [&] { Polygon(p.dc, tip, 3); });
    RECT inside{field.left + 3, field.top + 3, arrow.left - 1, field.bottom - 3};
    if (owner) {
        UINT state = ODS_COMBOBOXEDIT | (focused ? ODS_SELECTED | ODS_FOCUS : 0) |
                     (disabled ? ODS_DISABLED : 0);
        OwnerDraw(h, w, ODT_COMBOBOX, sel, ODA_DRAWENTIRE, state, clientDc, inside,
                  sel >= 0 ? ItemData(h, true, sel) : 0);
    } else {
        if (focused && (w.style & 3) == CBS_DROPDOWNLIST) p.Fill(inside, COLOR_HIGHLIGHT);
        p.Text(w.text, inside, 0,
               disabled                                       ? COLOR_GRAYTEXT
               : focused && (w.style & 3) == CBS_DROPDOWNLIST ? COLOR_HIGHLIGHTTEXT
                                                              : kDcText);
    }
    if (!SendMessageW(h, CB_GETDROPPEDSTATE, 0, 0)) return;
    // The list drops below the field, over what lies there.
    int count = static_cast<int>(SendMessageW(h, CB_GETCOUNT, 0, 0));
    LONG listHeight = 2;
    for (int i = 0; i < count; ++i)
        listHeight += static_cast<LONG>(ItemHeight(h, true, i));
    RECT list{r.left, field.bottom, r.right, std::min(r.bottom, field.bottom + listHeight)};
    if (list.bottom <= list.top) return;
    HBRUSH listBrush = ParentColors(h, p.dc, WM_CTLCOLORLISTBOX, COLOR_WINDOWTEXT, COLOR_WINDOW);
    FillWith(p.dc, list, listBrush);
    p.Frame(list, COLOR_WINDOWFRAME);
    DrawItems(p, h, w, true, owner, Shrink(list, 1), 0, sel, true, clientDc, POINT{0, 0});
}

void DrawStatic(Painter& p, HWND h, const Window& w, const RECT& r, HDC clientDc) {
    UINT type = w.style & SS_TYPEMASK;
    bool disabled = (w.style & WS_DISABLED) != 0;
    if (type == SS_OWNERDRAW) {
        RECT client;
        GetClientRect(h, &client);
        OwnerDraw(h, w, ODT_STATIC, 0, ODA_DRAWENTIRE, disabled ? ODS_DISABLED : 0, clientDc,
                  client, 0);
        return;
    }
    if (type == SS_ETCHEDHORZ) {
        p.Line(r.left, r.top, r.right, r.top, COLOR_BTNSHADOW);
        p.Line(r.left, r.top + 1, r.right, r.top + 1, COLOR_BTNHIGHLIGHT);
        return;
    }
    if (type == SS_ETCHEDFRAME || type == SS_GRAYFRAME || type == SS_BLACKFRAME) {
        p.Edge(r, false);
        return;
    }
    HBRUSH brush = ParentColors(h, p.dc, WM_CTLCOLORSTATIC, COLOR_WINDOWTEXT, COLOR_BTNFACE);
    FillWith(p.dc, r, brush);
    if (type == SS_ICON || type == SS_BITMAP) {
        UINT imageType = type == SS_ICON ? IMAGE_ICON : IMAGE_BITMAP;
        HANDLE image = reinterpret_cast<HANDLE>(SendMessageW(h, STM_GETIMAGE, imageType, 0));
        if (!image && type == SS_ICON) {
            // An icon set as a cursor or bitmap by STM_SETIMAGE.
            imageType = IMAGE_BITMAP;
            image = reinterpret_cast<HANDLE>(SendMessageW(h, STM_GETIMAGE, imageType, 0));
        }
        DrawImage(p.dc, image, imageType, r, (w.style & SS_CENTERIMAGE) != 0);
        return;
    }
    if (type == SS_BLACKRECT || type == SS_GRAYRECT || type == SS_WHITERECT) {
        p.Fill(r, type == SS_BLACKRECT  ? COLOR_WINDOWFRAME
                  : type == SS_GRAYRECT ? COLOR_BTNSHADOW
                                        : COLOR_WINDOW);
        return;
    }
    // Text as a static lays it out: broken at words unless it is one line.
    UINT format = DT_EXPANDTABS | (type == SS_CENTER  ? DT_CENTER
                                   : type == SS_RIGHT ? DT_RIGHT
                                                      : DT_LEFT);
    if (type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP)
        format |= DT_SINGLELINE;
    else
        format |= DT_WORDBREAK;
    if (w.style & SS_CENTERIMAGE) format = (format & ~DT_WORDBREAK) | DT_SINGLELINE | DT_VCENTER;
    if (w.style & SS_NOPREFIX) format |= DT_NOPREFIX;
    if (disabled) SetTextColor(p.dc, GetSysColor(COLOR_GRAYTEXT));
    SetBkMode(p.dc, TRANSPARENT);
    RECT box = r;
    DrawTextW(p.dc, w.text.c_str(), static_cast<int>(w.text.size()), &box, format);
}

// A multiline edit's text with tabs: each line broken at spaces to the
// width, its tabs expanded to the edit's stops.
void DrawTabbedLines(Painter& p, const std::u16string& text, const RECT& box,
                     const std::vector<INT>& stops) {
    TEXTMETRICW tm{};
    GetTextMetricsW(p.dc, &tm);
    LONG width = box.right - box.left, y = box.top;
    auto put = [&](const std::u16string& line) {
        p.TabbedLine(line, box.left, y, box, kDcText, stops);
        y += tm.tmHeight;
    };
    size_t start = 0;
    while (start <= text.size() && y < box.bottom) {
        size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos) end = text.size();
        std::u16string hard = text.substr(start, end - start);
        if (!hard.empty() && hard.back() == u'\r') hard.pop_back();
        std::u16string line;
        size_t at = 0;
        while (at < hard.size()) {
            size_t space = hard.find(u' ', at);
            size_t next = space == std::u16string::npos ? hard.size() : space + 1;
            std::u16string word = hard.substr(at, next - at);
            if (!line.empty() && p.TabbedWidth(line + word, stops) > width) {
                put(line);
                line.clear();
            }
            line += word;
            at = next;
        }
        put(line);
        start = end + 1;
    }
}

void DrawEdit(Painter& p, HWND h, const Window& w, const RECT& r) {
    bool disabled = (w.style & WS_DISABLED) != 0;
    bool readOnly = (w.style & ES_READONLY) != 0;
    // A read-only or disabled edit asks for a static's colours.
    HBRUSH brush = disabled || readOnly
                       ? ParentColors(h, p.dc, WM_CTLCOLORSTATIC, COLOR_WINDOWTEXT, COLOR_BTNFACE)
                       : ParentColors(h, p.dc, WM_CTLCOLOREDIT, COLOR_WINDOWTEXT, COLOR_WINDOW);
    FillWith(p.dc, r, brush);
    p.Edge(r, false);
    std::u16string shown = (w.style & ES_PASSWORD) ? std::u16string(w.text.size(), u'*') : w.text;
    if ((w.style & ES_MULTILINE) && shown.find(u'\t') != std::u16string::npos) {
        if (disabled) SetTextColor(p.dc, GetSysColor(COLOR_GRAYTEXT));
        DrawTabbedLines(p, shown, Shrink(r, 3), TabStopPixels(h));
        return;
    }
    if (w.style & ES_MULTILINE) {
        RECT box = Shrink(r, 3);
        UINT format = DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS |
                      ((w.style & ES_RIGHT)    ? DT_RIGHT
                       : (w.style & ES_CENTER) ? DT_CENTER
                                               : DT_LEFT);
        if (disabled) SetTextColor(p.dc, GetSysColor(COLOR_GRAYTEXT));
        SetBkMode(p.dc, TRANSPARENT);
        DrawTextW(p.dc, shown.c_str(), static_cast<int>(shown.size()), &box, format);
        return;
    }
    // Scrolled sideways (EM_SCROLLCARET): drawn from the first visible character.
    if (!(w.style & (ES_RIGHT | ES_CENTER))) {
        auto first = static_cast<size_t>(SendMessageW(h, EM_GETFIRSTVISIBLELINE, 0, 0));
        shown.erase(0, std::min(first, shown.size()));
    }
    p.Text(shown, Shrink(r, 2),
           (w.style & ES_RIGHT)    ? kRight
           : (w.style & ES_CENTER) ? kCenter
                                   : kLeft,
           disabled ? COLOR_GRAYTEXT : kDcText);
}

void DrawControl(Painter& p, HWND h, const Window& w, const RECT& r, HDC clientDc) {
    const std::u16string& cls = w.windowClass->name;
    if (cls == u"Button") {
        if ((w.style & BS_TYPEMASK) == BS_OWNERDRAW) {
            RECT client;
            GetClientRect(h, &client);
            LRESULT state = SendMessageW(h, BM_GETSTATE, 0, 0);
            UINT ods = ((state & BST_PUSHED) ? ODS_SELECTED : 0) |
                       ((state & BST_FOCUS) ? ODS_FOCUS : 0) |
                       ((w.style & WS_DISABLED) ? ODS_DISABLED : 0);
            OwnerDraw(h, w, ODT_BUTTON, 0, ODA_DRAWENTIRE, ods, clientDc, client, 0);
            return;
        }
        DrawButton(p, w, r, h);
    } else if (cls == u"Edit") {
        DrawEdit(p, h, w, r);
    } else if (cls == u"Static") {
        DrawStatic(p, h, w, r, clientDc);
    } else if (cls == u"ListBox") {
        DrawListBox(p, h, w, r, clientDc);
    } else if (cls == u"ComboBox") {
        DrawComboBox(p, h, w, r, clientDc);
    } else if (cls == u"msctls_trackbar32") {
        HBRUSH brush = ParentColors(h, p.dc, WM_CTLCOLORSTATIC, COLOR_WINDOWTEXT, COLOR_BTNFACE);
        FillWith(p.dc, r, brush);
        LONG mid = (r.top + r.bottom) / 2;
        RECT channel{r.left + 8, mid - 2, r.right - 8, mid + 2};
        p.Edge(channel, false);
        LONG min = static_cast<LONG>(SendMessageW(h, TBM_GETRANGEMIN, 0, 0));
        LONG max = static_cast<LONG>(SendMessageW(h, TBM_GETRANGEMAX, 0, 0));
        LONG pos = static_cast<LONG>(SendMessageW(h, TBM_GETPOS, 0, 0));
        double f = max > min ? double(pos - min) / double(max - min) : 0;
        LONG x = channel.left + static_cast<LONG>(f * (channel.right - channel.left));
        RECT thumb{x - 5, mid - 10, x + 6, mid + 10};
        p.Fill(thumb, COLOR_BTNFACE);
        p.Edge(thumb, true);
    } else if (cls == u"msctls_updown32") {
        LONG mid = (r.top + r.bottom) / 2;
        RECT up{r.left, r.top, r.right, mid}, down{r.left, mid, r.right, r.bottom};
        p.Fill(r, COLOR_BTNFACE);
        p.Edge(up, true);
        p.Edge(down, true);
    } else if (cls == u"ScrollBar") {
        HBRUSH brush =
            ParentColors(h, p.dc, WM_CTLCOLORSCROLLBAR, COLOR_WINDOWTEXT, COLOR_SCROLLBAR);
        FillWith(p.dc, r, brush);
        p.Edge(r, false);
    } else if (cls == WC_LISTVIEWW) {
        DrawListView(p, h, w, r);
    } else if (cls == u"SysTabControl32") {
        int count = static_cast<int>(SendMessageW(h, TCM_GETITEMCOUNT, 0, 0));
        int sel = static_cast<int>(SendMessageW(h, TCM_GETCURSEL, 0, 0));
        RECT body{r.left, r.top + 20, r.right, r.bottom};
        p.Fill(body, COLOR_BTNFACE);
        p.Edge(body, true);
        for (int i = 0; i < count; ++i) {
            RECT tab;
            if (!SendMessageW(h, TCM_GETITEMRECT, static_cast<WPARAM>(i),
                              reinterpret_cast<LPARAM>(&tab)))
                continue;
            OffsetRect(&tab, r.left, r.top);
            if (i == sel) InflateRect(&tab, 2, 2);
            tab.bottom = r.top + 21;
            p.Fill(tab, COLOR_BTNFACE);
            p.Line(tab.left, tab.top, tab.right - 1, tab.top, COLOR_BTNHIGHLIGHT);
            p.Line(tab.left, tab.top, tab.left, tab.bottom - 1, COLOR_BTNHIGHLIGHT);
            p.Line(tab.right - 1, tab.top, tab.right - 1, tab.bottom - 1, COLOR_3DDKSHADOW);
            WCHAR buf[128] = {};
            TCITEMW item{TCIF_TEXT, 0, 0, buf, 128, -1, 0};
            SendMessageW(h, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
            p.Text(buf, tab, 1, COLOR_BTNTEXT);
        }
    }
}

// The font of the dialog a window belongs to (face and size from its
// template), or the default interface font at the default size.
LOGFONTW DialogFont(HWND window) {
    HWND top = window;
    auto w = Find(top);
    while (w && !w->fontPoints && w->parent) {
        top = w->parent;
        w = Find(top);
    }
    LOGFONTW lf{};
    int points = w && w->fontPoints ? w->fontPoints : kDefaultPoints;
    lf.lfHeight = -(points * kScreenDpi + kPointsPerInch / 2) / kPointsPerInch;
    lf.lfWeight = FW_NORMAL;
    std::u16string face = w && !w->fontFace.empty() ? w->fontFace : u"MS Shell Dlg";
    face.resize(std::min<size_t>(face.size(), LF_FACESIZE - 1));
    std::copy(face.begin(), face.end(), lf.lfFaceName);
    return lf;
}

// Selects a window's font into a device context for its painting: the font
// the program gave it, or its dialog's.
class WindowFont {
  public:
    WindowFont(HWND h, HDC dc) : dc_(dc) {
        auto w = Find(h);
        HFONT given = w ? w->font : nullptr;
        LOGFONTW made{};
        if (given && given != static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)) &&
            GetObjectW(given, sizeof made, &made)) {
            if (made.lfHeight || made.lfFaceName[0]) {
                face_ = made;
                old_ = SelectObject(dc, given);
                return;
            }
        }
        face_ = DialogFont(h);
        // A font made from the stock interface font stands for the dialog's
        // face and size: its own weight, slant, underline and strike-out stay.
        if (given && given != static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)) &&
            !made.lfHeight && !made.lfFaceName[0] && made.lfWeight) {
            face_.lfWeight = made.lfWeight;
            face_.lfItalic = made.lfItalic;
            face_.lfUnderline = made.lfUnderline;
            face_.lfStrikeOut = made.lfStrikeOut;
        }
        own_ = CreateFontIndirectW(&face_);
        if (own_) old_ = SelectObject(dc, own_);
    }
    ~WindowFont() {
        if (old_) SelectObject(dc_, old_);
        if (own_) DeleteObject(own_);
    }
    WindowFont(const WindowFont&) = delete;
    WindowFont& operator=(const WindowFont&) = delete;
    const LOGFONTW& face() const { return face_; }

  private:
    HDC dc_;
    LOGFONTW face_{};
    HFONT own_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

} // namespace

// The text of a single-line edit starts two pixels into its field, which
// lies two pixels inside its window; the caret needs one pixel after it.
constexpr LONG kEditTextInset = 4;

LONG EditTextWidth(HWND edit, const std::u16string& text) {
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return 0;
    LONG width = 0;
    {
        WindowFont font(edit, dc);
        Painter p{dc, font.face()};
        width = p.TextWidth(text);
    }
    DeleteDC(dc);
    return width;
}

LONG EditTextRoom(HWND edit) {
    auto w = Find(edit);
    if (!w) return 0;
    return std::max<LONG>(w->rect.right - w->rect.left - 2 * kEditTextInset - 1, 0);
}

void PaintSystemControl(HWND h) {
    PAINTSTRUCT ps;
    HDC client = BeginPaint(h, &ps);
    if (!client) return;
    // The control's face covers the whole window, its edges included.
    HDC dc = WindowDc(h);
    auto w = Find(h);
    if (dc && w) {
        WindowFont font(h, dc);
        WindowFont ownerFont(h, client);
        Painter p{dc, font.face()};
        RECT r{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
        DrawControl(p, h, *w, r, client);
    }
    if (dc) ReleaseDC(h, dc);
    EndPaint(h, &ps);
}

void PaintFrame(HWND h) {
    auto w = Find(h);
    if (!w) return;
    RECT in = Insets(w->style, w->exStyle);
    bool top = !w->parent;
    if (!top && !in.left && !in.top) return;
    HDC dc = WindowDc(h);
    if (!dc) return;
    {
        WindowFont font(h, dc);
        Painter p{dc, font.face()};
        RECT r{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
        RECT client{in.left, in.top, r.right - in.right, r.bottom - in.bottom};
        // Only the frame: the client area is the window's own to paint.
        HRGN frame = CreateRectRgn(r.left, r.top, r.right, r.bottom);
        HRGN inside = CreateRectRgn(client.left, client.top, client.right, client.bottom);
        CombineRgn(frame, frame, inside, RGN_DIFF);
        SelectClipRgn(dc, frame);
        DeleteObject(inside);
        DeleteObject(frame);
        if (top || (w->style & WS_DLGFRAME) || (w->exStyle & WS_EX_DLGMODALFRAME)) {
            p.Fill(r, COLOR_BTNFACE);
            p.Edge(r, true);
        } else if (w->style & WS_BORDER) {
            p.Frame(r, COLOR_WINDOWFRAME);
        }
        if (w->exStyle & WS_EX_CLIENTEDGE) {
            RECT edge{client.left - 2, client.top - 2, client.right + 2, client.bottom + 2};
            p.Edge(edge, false);
        }
        if ((w->style & WS_CAPTION) == WS_CAPTION) {
            RECT caption{r.left + 3, r.top + 3, r.right - 3, r.top + in.top};
            p.Fill(caption, COLOR_ACTIVECAPTION);
            p.Text(w->text, caption, 0, COLOR_CAPTIONTEXT, true);
        }
    }
    ReleaseDC(h, dc);
}

void EraseDialog(HWND dialog, HDC dc) {
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    auto brush = reinterpret_cast<HBRUSH>(SendMessageW(
        dialog, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(dialog)));
    if (!brush) brush = GetSysColorBrush(COLOR_BTNFACE);
    RECT client;
    GetClientRect(dialog, &client);
    FillRect(dc, &client, brush);
}

} // namespace platform::user

namespace platform::user::driver {

bool DrawWindow(HWND window, HDC dc) {
    if (!Find(window) || !dc) return false;
    // As if the window had just been uncovered: everything of its top-level
    // window painted afresh, in the stacking order.
    HWND top = GetAncestor(window, GA_ROOT);
    if (!top) top = window;
    HDC surface = SurfaceDc(window);
    if (!surface) return false;
    InvalidateTree(top);
    PaintTree(top);
    RECT r;
    GetWindowRect(window, &r);
    BOOL ok = BitBlt(dc, 0, 0, r.right - r.left, r.bottom - r.top, surface, 0, 0, SRCCOPY);
    ReleaseDC(nullptr, surface);
    return ok != FALSE;
}

bool SavePng(HWND window, const std::string& hostPath) {
    auto w = Find(window);
    if (!w) return false;
    int width = std::max<LONG>(w->rect.right - w->rect.left, 1);
    int height = std::max<LONG>(w->rect.bottom - w->rect.top, 1);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = picture ? CreateCompatibleDC(nullptr) : nullptr;
    bool ok = false;
    if (dc && bits) {
        HGDIOBJ oldBitmap = SelectObject(dc, picture);
        if (DrawWindow(window, dc)) {
            // The pixels are blue, green, red and an unused fourth byte; the
            // picture is written as 8-bit RGB.
            const auto* bgrx = static_cast<const unsigned char*>(bits);
            std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
            for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) {
                rgb[3 * i] = bgrx[4 * i + 2];
                rgb[3 * i + 1] = bgrx[4 * i + 1];
                rgb[3 * i + 2] = bgrx[4 * i];
            }
            png_image image{};
            image.version = PNG_IMAGE_VERSION;
            image.width = static_cast<png_uint_32>(width);
            image.height = static_cast<png_uint_32>(height);
            image.format = PNG_FORMAT_RGB;
            ok = png_image_write_to_file(&image, hostPath.c_str(), 0, rgb.data(), 0, nullptr) != 0;
            png_image_free(&image);
        }
        SelectObject(dc, oldBitmap);
    }
    if (dc) DeleteDC(dc);
    if (picture) DeleteObject(picture);
    return ok;
}

} // namespace platform::user::driver
