// Pictures of windows for people: each window and its controls drawn in the
// classic 3D look with the system colours and the dialog font's size, into a
// PNG file. The graphics engine has no screen surfaces or text output yet, so
// the picture is drawn with cairo, its text in a font file read through
// FreeType (fontconfig's configuration is never loaded: it stays allocated
// for the life of the process).
#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>

#include "images.h"
#include "platform/text.h"
#include "platform/user_ctl.h"
#include "user_internal.h"

namespace platform::user::driver {
namespace {

constexpr double kDefaultFontPixels = 11; // 8 points at 96 pixels per inch
const char* const kFontFiles[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf"};

// The font of one picture; without a font file the picture has no text.
// cairo may hold the face past the picture, so the face is freed when cairo
// lets it go; the FreeType library stays for the process.
class PictureFont {
  public:
    PictureFont() {
        static FT_Library library = [] {
            FT_Library l = nullptr;
            return FT_Init_FreeType(&l) == 0 ? l : nullptr;
        }();
        if (!library) return;
        FT_Face face = nullptr;
        for (const char* file : kFontFiles)
            if (FT_New_Face(library, file, 0, &face) == 0)
                break;
            else
                face = nullptr;
        if (!face) return;
        face_ = cairo_ft_font_face_create_for_ft_face(face, 0);
        static const cairo_user_data_key_t key{};
        if (cairo_font_face_set_user_data(face_, &key, face, [](void* f) {
                FT_Done_Face(static_cast<FT_Face>(f));
            }) != CAIRO_STATUS_SUCCESS) {
            cairo_font_face_destroy(face_);
            FT_Done_Face(face);
            face_ = nullptr;
        }
    }
    ~PictureFont() {
        if (face_) cairo_font_face_destroy(face_);
    }
    PictureFont(const PictureFont&) = delete;
    PictureFont& operator=(const PictureFont&) = delete;
    cairo_font_face_t* Face() const { return face_; }

  private:
    cairo_font_face_t* face_ = nullptr;
};

struct Painter {
    cairo_t* cr;
    cairo_font_face_t* font = nullptr;
    double fontPixels = kDefaultFontPixels;

    void Color(int index) {
        COLORREF c = GetSysColor(index);
        cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
    }
    void Fill(const RECT& r, int index) {
        Color(index);
        cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
        cairo_fill(cr);
    }
    void Line(double x0, double y0, double x1, double y1, int index) {
        Color(index);
        cairo_set_line_width(cr, 1);
        cairo_move_to(cr, x0 + 0.5, y0 + 0.5);
        cairo_line_to(cr, x1 + 0.5, y1 + 0.5);
        cairo_stroke(cr);
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
    void Text(const std::u16string& text, const RECT& r, int align, int index, bool bold = false) {
        std::u16string shown;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == u'&' && i + 1 < text.size()) ++i; // mnemonic marker
            if (text[i] == u'\r' || text[i] == u'\n')
                shown.push_back(u' ');
            else
                shown.push_back(text[i]);
        }
        std::string utf8 = platform::ToUtf8(shown);
        if (!font) return;
        cairo_save(cr);
        cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
        cairo_clip(cr);
        cairo_set_font_face(cr, font);
        cairo_set_font_size(cr, fontPixels);
        (void)bold; // one face: captions are not set in bold
        cairo_text_extents_t ext;
        cairo_text_extents(cr, utf8.c_str(), &ext);
        double x = r.left + 2;
        if (align == 1) x = (r.left + r.right - ext.x_advance) / 2;
        if (align == 2) x = r.right - 2 - ext.x_advance;
        double y = (r.top + r.bottom) / 2.0 + fontPixels / 2.0 - 2;
        Color(index);
        cairo_move_to(cr, x, y);
        cairo_show_text(cr, utf8.c_str());
        cairo_restore(cr);
    }
};

RECT Shrink(RECT r, int d) {
    InflateRect(&r, -d, -d);
    return r;
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
        RECT label{r.left + 8, r.top, r.left + 8 + static_cast<LONG>(w.text.size() * 6 + 4),
                   r.top + 13};
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
        int box = 13;
        LONG top = (r.top + r.bottom - box) / 2;
        RECT b{r.left, top, r.left + box, top + box};
        bool radio = type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
        if (radio) {
            p.Color(COLOR_WINDOW);
            cairo_arc(p.cr, b.left + 6.5, b.top + 6.5, 6, 0, 6.2832);
            cairo_fill_preserve(p.cr);
            p.Color(COLOR_BTNSHADOW);
            cairo_set_line_width(p.cr, 1.5);
            cairo_stroke(p.cr);
            if (check) {
                p.Color(COLOR_WINDOWTEXT);
                cairo_arc(p.cr, b.left + 6.5, b.top + 6.5, 2.5, 0, 6.2832);
                cairo_fill(p.cr);
            }
        } else {
            p.Fill(b, check == BST_INDETERMINATE ? COLOR_BTNFACE : COLOR_WINDOW);
            p.Edge(b, false);
            if (check) {
                p.Color(check == BST_INDETERMINATE ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT);
                cairo_set_line_width(p.cr, 2);
                cairo_move_to(p.cr, b.left + 3, b.top + 6);
                cairo_line_to(p.cr, b.left + 5.5, b.top + 9);
                cairo_line_to(p.cr, b.left + 10, b.top + 3.5);
                cairo_stroke(p.cr);
            }
        }
        p.Text(w.text, RECT{r.left + box + 3, r.top, r.right, r.bottom}, 0, textColor);
        return;
    }
    default: {
        p.Fill(r, COLOR_BTNFACE);
        RECT inner = r;
        if (type == BS_DEFPUSHBUTTON) {
            p.Color(COLOR_WINDOWFRAME);
            cairo_set_line_width(p.cr, 1);
            cairo_rectangle(p.cr, r.left + 0.5, r.top + 0.5, r.right - r.left - 1,
                            r.bottom - r.top - 1);
            cairo_stroke(p.cr);
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
            p.Color(COLOR_BTNSHADOW);
            cairo_set_line_width(p.cr, 1);
            cairo_rectangle(p.cr, r.left + 0.5, r.top + 0.5, r.right - r.left - 1,
                            r.bottom - r.top - 1);
            cairo_stroke(p.cr);
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
            p.Color(COLOR_BTNTEXT);
            cairo_move_to(p.cr, arrow.left + 4, arrow.top + 7);
            cairo_line_to(p.cr, arrow.right - 4, arrow.top + 7);
            cairo_line_to(p.cr, (arrow.left + arrow.right) / 2.0, arrow.top + 11);
            cairo_fill(p.cr);
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

} // namespace

bool SavePng(HWND window, const std::string& hostPath) {
    auto w = Find(window);
    if (!w) return false;
    int width = std::max<LONG>(w->rect.right - w->rect.left, 1);
    int height = std::max<LONG>(w->rect.bottom - w->rect.top, 1);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(surface);
    PictureFont font;
    Painter p{cr, font.Face()};
    if (w->fontPoints) p.fontPixels = w->fontPoints * 96.0 / 72.0;
    p.Fill(RECT{0, 0, width, height}, COLOR_BTNFACE);
    DrawTree(p, window, POINT{0, 0}, true);
    cairo_surface_flush(surface);
    bool ok = cairo_surface_write_to_png(surface, hostPath.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return ok;
}

} // namespace platform::user::driver
