// Pictures of windows drawn through GDI: the system colours where the
// classic look puts them, the dialog's own font, the list view's selection,
// and colours that follow the system's.
#include "platform/user_ctl.h"
#include "user_fixture.h"
#include "win/gdi_bitmap.h"
#include "win/gdi_dc.h"

namespace {

using namespace user_test;
namespace drv = platform::user::driver;

enum Id : WORD { kLabel = 10, kEdit = 11, kFixed = 12, kList = 13 };

std::vector<BYTE> PictureTemplate(WORD points) {
    TemplateBuilder t;
    t.Dialog(DS_SETFONT | WS_POPUP | WS_CAPTION | WS_VISIBLE, 200, 120, u"Picture", points)
        .Item(0x82, nullptr, SS_LEFT, 5, 5, 150, 12, kLabel, u"Paper Size")
        .Item(0x81, nullptr, ES_AUTOHSCROLL | WS_BORDER, 5, 20, 80, 12, kEdit, u"")
        .Item(0x81, nullptr, ES_READONLY | WS_BORDER, 100, 20, 80, 12, kFixed, u"")
        .Item(0, u"SysListView32", LVS_REPORT | LVS_SHOWSELALWAYS | WS_BORDER, 5, 40, 190, 70,
              kList, u"");
    return t.Bytes();
}

class WindowPicture : public UserTest {
  protected:
    HWND Open(WORD points) {
        bytes.push_back(PictureTemplate(points));
        HWND d = CreateDialogIndirectParamW(
            nullptr, reinterpret_cast<const DLGTEMPLATE*>(bytes.back().data()), nullptr, Quiet, 0);
        EXPECT_NE(d, nullptr);
        dialogs.push_back(d);
        return d;
    }
    static INT_PTR CALLBACK Quiet(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }
    void TearDown() override {
        for (HWND d : dialogs)
            DestroyWindow(d);
        UserTest::TearDown();
    }
    std::vector<std::vector<BYTE>> bytes;
    std::vector<HWND> dialogs;
};

TEST_F(WindowPicture, ColoursWhereTheClassicLookPutsThem) {
    HWND dialog = Open(8);
    HWND list = GetDlgItem(dialog, kList);
    LVCOLUMNW c{};
    c.mask = LVCF_TEXT | LVCF_WIDTH;
    c.pszText = const_cast<LPWSTR>(u"Tray");
    c.cx = 150;
    SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&c));
    for (const char16_t* tray : {u"Tray 1", u"Tray 2", u"Tray 3"}) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = 99;
        item.pszText = const_cast<LPWSTR>(tray);
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    ASSERT_TRUE(drv::SelectItem(list, 1));

    Picture pic(dialog);
    EXPECT_EQ(pic.At(pic.width - 10, pic.height - 6), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(pic.At(pic.width / 2, 8), GetSysColor(COLOR_ACTIVECAPTION));
    EXPECT_GT(pic.Count(RECT{3, 3, pic.width / 2, 18}, GetSysColor(COLOR_CAPTIONTEXT)), 10);
    RECT edit = PlaceOf(dialog, GetDlgItem(dialog, kEdit));
    RECT fixed = PlaceOf(dialog, GetDlgItem(dialog, kFixed));
    EXPECT_EQ(pic.At(edit.right - 5, (edit.top + edit.bottom) / 2), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(pic.At(fixed.right - 5, (fixed.top + fixed.bottom) / 2), GetSysColor(COLOR_BTNFACE));

    // The selected row on the highlight, the others on the window colour.
    RECT place = PlaceOf(dialog, list);
    auto rowPixel = [&](int index) {
        RECT r{LVIR_LABEL, 0, 0, 0};
        SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&r));
        return pic.At(place.left + 1 + r.right - 3, place.top + 1 + (r.top + r.bottom) / 2);
    };
    EXPECT_EQ(rowPixel(1), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(rowPixel(0), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(rowPixel(2), GetSysColor(COLOR_WINDOW));
    // The header's button face above the rows.
    EXPECT_EQ(pic.At(place.left + 100, place.top + 10), GetSysColor(COLOR_BTNFACE));

    // The colours follow the system's.
    platform::user::test::SetSysColor(COLOR_BTNFACE, RGB(0, 128, 128));
    Picture teal(dialog);
    EXPECT_EQ(teal.At(teal.width - 10, teal.height - 6), RGB(0, 128, 128));
}

// The label's text is set in the dialog's font: larger in a dialog of 12
// points than in one of 8.
TEST_F(WindowPicture, TextInTheDialogsOwnFont) {
    int ink[2];
    WORD sizes[2] = {8, 12};
    for (int k = 0; k < 2; ++k) {
        HWND dialog = Open(sizes[k]);
        Picture pic(dialog);
        RECT label = PlaceOf(dialog, GetDlgItem(dialog, kLabel));
        ink[k] = pic.RightmostOf(label, GetSysColor(COLOR_WINDOWTEXT)) - label.left;
        EXPECT_GT(ink[k], 20) << sizes[k] << " points";
    }
    // The 12-point text is about half as wide again.
    EXPECT_GT(ink[1] * 10, ink[0] * 13);
}

// A label given a font made from its own (as a program makes its headings
// bold and its links underlined) is drawn in that font's weight and
// underline, at the dialog's face and size.
TEST_F(WindowPicture, TextInTheWeightAndUnderlineOfItsFont) {
    struct Case {
        const char* what;
        LONG weight;
        BYTE underline;
    } cases[] = {{"plain", 0, 0}, {"bold", FW_BOLD, 0}, {"underlined", 0, 1}};
    int ink[3] = {}, widest[3] = {}, rows[3] = {};
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(cases[k].what);
        HWND dialog = Open(8);
        HWND label = GetDlgItem(dialog, kLabel);
        HFONT made = nullptr;
        if (cases[k].weight || cases[k].underline) {
            LOGFONTW lf{};
            HFONT own = reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0));
            ASSERT_EQ(GetObjectW(own, sizeof lf, &lf), static_cast<int>(sizeof lf));
            if (cases[k].weight) lf.lfWeight = cases[k].weight;
            lf.lfUnderline = cases[k].underline;
            made = CreateFontIndirectW(&lf);
            SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(made), FALSE);
        }
        Picture pic(dialog);
        RECT r = PlaceOf(dialog, label);
        const COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
        ink[k] = pic.Count(r, text);
        widest[k] = pic.RightmostOf(r, text) - r.left;
        // The longest run of text-coloured pixels in one row.
        for (int y = r.top; y < r.bottom; ++y) {
            int run = 0;
            for (int x = r.left; x < r.right; ++x) {
                run = pic.At(x, y) == text ? run + 1 : 0;
                rows[k] = std::max(rows[k], run);
            }
        }
        if (made) DeleteObject(made);
    }
    EXPECT_GT(ink[1] * 10, ink[0] * 11) << "bold strokes are heavier";
    // The same size: the bold text is at most a little wider.
    EXPECT_LT(widest[1], widest[0] * 13 / 10);
    EXPECT_GE(rows[2], widest[0] - 2) << "an underline runs under the whole text";
    EXPECT_LT(rows[0], widest[0] / 2);
}

} // namespace
