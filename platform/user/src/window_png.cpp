// Pictures of windows for people: each window and its controls drawn in the
// classic 3D look with the system colours and the dialog's own font, through
// the platform's GDI into a memory bitmap, then written as a PNG file.
#include <cairo.h>

#include <algorithm>
#include <cstring>

#include "images.h"
#include "platform/text.h"
#include "platform/user_ctl.h"
#include "user_internal.h"
#include "win/gdi_bitmap.h"
#include "win/gdi_dc.h"
#include "win/gdi_text.h"

namespace platform::user::driver {
namespace {

constexpr int kScreenDpi = 96;
constexpr int kPointsPerInch = 72;
constexpr int kDefaultPoints = 8;
constexpr int kCheckBox = 13;

enum Align { kLeft, kCenter, kRight };

// Draws on a memory device context with the system colours and one font.
struct Painter {
    HDC dc;
    LOGFONTW font{}; // the dialog's

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
        SetTextColor(dc, GetSysColor(index));
        SetBkMode(dc, TRANSPARENT);
        ExtTextOutW(dc, x, y, ETO_CLIPPED, &r, shown.c_str(), static_cast<UINT>(shown.size()),
                    nullptr);
        if (heavy) {
            SelectObject(dc, old);
            DeleteObject(heavy);
        }
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

void DrawButton(Painter& p, const Window& w, const RECT& r, HWND h) {
    UINT type = w.style & BS_TYPEMASK;
    int textColor = (w.style & WS_DISABLED) ? COLOR_GRAYTEXT : COLOR_BTNTEXT;
    UINT check = static_cast<UINT>(SendMessageW(h, BM_GETCHECK, 0, 0));
    switch (type) {
    case BS_GROUPBOX: {
        RECT frame{r.left, r.top + 6, r.right, r.bottom};
        p.Line(frame.left, frame.top, frame.right - 2, frame.top, COLOR_BTNSHADOW);
        p.Line(frame.left, frame.top, frame.left, frame.bottom - 2, COLOR_BTNSHADOW);
        p.Line(frame.left, frame.bottom - 2, frame.right - 2, frame.bottom - 2, COLOR_BTNSHADOW);
        p.Line(frame.right - 2, frame.top, frame.right - 2, frame.bottom - 2, COLOR_BTNSHADOW);
        p.Line(frame.left + 1, frame.bottom - 1, frame.right - 1, frame.bottom - 1,
               COLOR_BTNHIGHLIGHT);
        p.Line(frame.right - 1, frame.top + 1, frame.right - 1, frame.bottom - 1,
               COLOR_BTNHIGHLIGHT);
        RECT label{r.left + 8, r.top, r.left + 8 + p.TextWidth(w.text) + 4, r.top + 13};
        p.Fill(label, COLOR_BTNFACE);
        p.Text(w.text, label, 0, textColor);
        return;
    }
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON: {
        int box = kCheckBox;
        LONG top = (r.top + r.bottom - box) / 2;
        RECT b{r.left, top, r.left + box, top + box};
        bool radio = type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
        if (radio) {
            p.Shape_(COLOR_WINDOW, COLOR_BTNSHADOW,
                     [&] { Ellipse(p.dc, b.left, b.top, b.right, b.bottom); });
            if (check)
                p.Shape_(COLOR_WINDOWTEXT, COLOR_WINDOWTEXT,
                         [&] { Ellipse(p.dc, b.left + 4, b.top + 4, b.right - 4, b.bottom - 4); });
        } else {
            p.Fill(b, check == BST_INDETERMINATE ? COLOR_BTNFACE : COLOR_WINDOW);
            p.Edge(b, false);
            if (check) DrawCheckMark(p, b, check == BST_INDETERMINATE);
        }
        p.Text(w.text, RECT{r.left + box + 3, r.top, r.right, r.bottom}, 0, textColor);
        return;
    }
    default: {
        p.Fill(r, COLOR_BTNFACE);
        RECT inner = r;
        if (type == BS_DEFPUSHBUTTON) {
            p.Frame(r, COLOR_WINDOWFRAME);
            inner = Shrink(r, 1);
        }
        p.Edge(inner, true);
        p.Text(w.text, inner, 1, textColor);
        return;
    }
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

void DrawControl(Painter& p, HWND h, const Window& w, const RECT& r) {
    const std::u16string& cls = w.windowClass->name;
    bool disabled = (w.style & WS_DISABLED) != 0;
    int text = disabled ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT;
    if (cls == u"Button") {
        DrawButton(p, w, r, h);
    } else if (cls == u"Edit") {
        p.Fill(r, disabled || (w.style & ES_READONLY) ? COLOR_BTNFACE : COLOR_WINDOW);
        p.Edge(r, false);
        std::u16string shown =
            (w.style & ES_PASSWORD) ? std::u16string(w.text.size(), u'*') : w.text;
        p.Text(shown, Shrink(r, 2), (w.style & ES_RIGHT) ? 2 : (w.style & ES_CENTER) ? 1 : 0, text);
    } else if (cls == u"Static") {
        UINT type = w.style & SS_TYPEMASK;
        if (type == SS_ETCHEDHORZ) {
            p.Line(r.left, r.top, r.right, r.top, COLOR_BTNSHADOW);
            p.Line(r.left, r.top + 1, r.right, r.top + 1, COLOR_BTNHIGHLIGHT);
        } else if (type == SS_ETCHEDFRAME || type == SS_GRAYFRAME || type == SS_BLACKFRAME) {
            p.Edge(r, false);
        } else if (type == SS_ICON || type == SS_BITMAP || type == SS_OWNERDRAW) {
            // Images and owner drawing appear as their place.
            p.Frame(r, COLOR_BTNSHADOW);
        } else {
            int align = type == SS_CENTER ? 1 : type == SS_RIGHT ? 2 : 0;
            p.Text(w.text, RECT{r.left, r.top, r.right, std::min(r.bottom, r.top + 14)}, align,
                   text);
        }
    } else if (cls == u"ListBox" || cls == u"ComboBox") {
        bool combo = cls == u"ComboBox";
        int sel = static_cast<int>(SendMessageW(h, combo ? CB_GETCURSEL : LB_GETCURSEL, 0, 0));
        if (combo) {
            RECT field{r.left, r.top, r.right, r.top + 21};
            p.Fill(field, disabled ? COLOR_BTNFACE : COLOR_WINDOW);
            p.Edge(field, false);
            RECT arrow{field.right - 18, field.top + 2, field.right - 2, field.bottom - 2};
            p.Fill(arrow, COLOR_BTNFACE);
            p.Edge(arrow, true);
            POINT tip[3] = {{arrow.left + 4, arrow.top + 7},
                            {arrow.right - 5, arrow.top + 7},
                            {(arrow.left + arrow.right) / 2 - 1, arrow.top + 10}};
            p.Shape_(COLOR_BTNTEXT, COLOR_BTNTEXT, [&] { Polygon(p.dc, tip, 3); });
            p.Text(w.text, RECT{field.left + 2, field.top, arrow.left, field.bottom}, 0, text);
        } else {
            p.Fill(r, COLOR_WINDOW);
            p.Edge(r, false);
            int count = static_cast<int>(SendMessageW(h, LB_GETCOUNT, 0, 0));
            LONG y = r.top + 2;
            for (int i = 0; i < count && y + 13 <= r.bottom - 2; ++i, y += 13) {
                RECT item{r.left + 2, y, r.right - 2, y + 13};
                if (i == sel) p.Fill(item, COLOR_HIGHLIGHT);
                p.Text(ListItemText(h, false, i), item, 0, i == sel ? COLOR_HIGHLIGHTTEXT : text);
            }
        }
    } else if (cls == u"msctls_trackbar32") {
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
        p.Fill(r, COLOR_SCROLLBAR);
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

void DrawTree(Painter& p, HWND h, POINT origin, bool top) {
    auto w = Find(h);
    if (!w || !(w->style & WS_VISIBLE) || w->windowClass->name == u"tooltips_class32") return;
    RECT r = w->rect;
    if (top) r = {0, 0, r.right - r.left, r.bottom - r.top};
    OffsetRect(&r, origin.x, origin.y);
    RECT in = Insets(w->style, w->exStyle);
    if (top || w->isDialog) {
        if (top) {
            p.Fill(r, COLOR_BTNFACE);
            p.Edge(r, true);
        }
        if ((w->style & WS_CAPTION) == WS_CAPTION) {
            RECT caption{r.left + 3, r.top + 3, r.right - 3, r.top + in.top};
            p.Fill(caption, COLOR_ACTIVECAPTION);
            p.Text(w->text, caption, 0, COLOR_CAPTIONTEXT, true);
        }
    } else {
        DrawControl(p, h, *w, r);
    }
    POINT client{r.left + in.left, r.top + in.top};
    for (HWND c : std::vector<HWND>(w->children))
        DrawTree(p, c, client, false);
}

// The dialog's own font (face and size from its template), or the default
// interface font at the default size.
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

} // namespace

bool DrawWindow(HWND window, HDC dc) {
    auto w = Find(window);
    if (!w || !dc) return false;
    LOGFONTW face = DialogFont(window);
    HFONT font = CreateFontIndirectW(&face);
    if (!font) return false;
    HGDIOBJ oldFont = SelectObject(dc, font);
    Painter p{dc, face};
    p.Fill(RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top}, COLOR_BTNFACE);
    DrawTree(p, window, POINT{0, 0}, true);
    SelectObject(dc, oldFont);
    DeleteObject(font);
    return true;
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
            // The pixels are blue, green, red and a fourth byte: what cairo's
            // opaque format holds, which it writes as a PNG.
            cairo_surface_t* surface = cairo_image_surface_create_for_data(
                static_cast<unsigned char*>(bits), CAIRO_FORMAT_RGB24, width, height, width * 4);
            ok = cairo_surface_write_to_png(surface, hostPath.c_str()) == CAIRO_STATUS_SUCCESS;
            cairo_surface_destroy(surface);
        }
        SelectObject(dc, oldBitmap);
    }
    if (dc) DeleteDC(dc);
    if (picture) DeleteObject(picture);
    return ok;
}

} // namespace platform::user::driver
