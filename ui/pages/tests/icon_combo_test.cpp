// The icon combo box: rows replaced only when they change, value chains of
// the constraint engine (every value refused leaves no stale choice), the
// selection by value, and the owner drawing: the disabled look with and
// without visual styles, probed pixel by pixel, and an item index past the
// rows drawn as background only.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <vector>

#include "afxdlgs.h"
#include "icon_combo.h"
#include "kinsoku_list.h"
#include "pages_fixture.h"
#include "platform/loader_ctl.h"
#include "platform/user_ctl.h"
#include "user_fixture.h"
#include "win/base.h"
#include "win/gdi_bitmap.h"
#include "win/user.h"

namespace {

using namespace sheetwright;

COLORREF pages_test_pixel(HWND window, int x, int y) {
    return pages_test::WindowPixel(window, x, y);
}
namespace ut = platform::user::test;

constexpr int kComboId = 125;
constexpr COLORREF kFace = RGB(200, 100, 0);
constexpr COLORREF kWindow = RGB(255, 255, 240);

// Rows with labels and icons of the resource library (the 2-up .. 8-up texts).
const IconComboRow kRows[] = {
    {4602, 2210, 2, 0}, {4603, 2212, 4, 0}, {4604, 2213, 6, 0}, {4605, 2216, 8, 0}};

class IconCombo : public ::testing::Test {
  protected:
    void SetUp() override {
        resources_ = LoadLibraryW(u"Z:" PKG_DRIVER_DIR_W u"/Resbundle.DLL");
        ASSERT_NE(resources_, nullptr);
        AfxSetResourceHandle(resources_);
        ut::SetSysColor(COLOR_BTNFACE, kFace);
        ut::SetSysColor(COLOR_WINDOW, kWindow);
    }
    void TearDown() override {
        if (dialog_) DestroyWindow(dialog_);
        AfxSetResourceHandle(nullptr);
        FreeLibrary(resources_);
        EXPECT_EQ(platform::test::ModuleLoadCount(u"uxtheme.dll"), 0);
        EXPECT_EQ(ut::LiveWindows(), 0u);
    }
    // A modeless dialog with the owner-drawn list bound to the combo object.
    void Bind(CPMIconCombo& combo) {
        user_test::TemplateBuilder b;
        b.Dialog(WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_SETFONT, 200, 100, u"Icons")
            .Item(0x85, nullptr,
                  CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS | WS_VSCROLL | WS_TABSTOP,
                  7, 7, 150, 120, kComboId, u"");
        bytes_ = b.Bytes();
        dialog_ = CreateDialogIndirectParamW(
            nullptr, reinterpret_cast<LPCDLGTEMPLATEW>(bytes_.data()), nullptr, Procedure, 0);
        ASSERT_NE(dialog_, nullptr);
        CWnd parent;
        parent.Attach(dialog_);
        ASSERT_TRUE(combo.SubclassDlgItem(kComboId, &parent));
        parent.Detach();
    }
    void Unbind(CPMIconCombo& combo) { combo.UnsubclassWindow(); }
    static INT_PTR CALLBACK Procedure(HWND, UINT message, WPARAM, LPARAM) {
        return message == WM_INITDIALOG;
    }

    HMODULE resources_ = nullptr;
    HWND dialog_ = nullptr;
    std::vector<BYTE> bytes_;
};

// The rows as the control lists them: the item data, in order.
std::vector<LRESULT> Listed(const CPMIconCombo& combo) {
    std::vector<LRESULT> data;
    for (int i = 0; i < combo.GetCount(); ++i)
        data.push_back(combo.GetItemData(i));
    return data;
}

TEST_F(IconCombo, RowsSelectionAndChains) {
    CPMIconCombo combo;
    Bind(combo);
    EXPECT_FALSE(combo.AddItem(nullptr));
    EXPECT_EQ(combo.GetSelRow(), nullptr);
    EXPECT_FALSE(combo.SelectByData(4)); // no rows yet

    ASSERT_TRUE(combo.SetRows(kRows, 4));
    EXPECT_EQ(Listed(combo), (std::vector<LRESULT>{2, 4, 6, 8}));
    EXPECT_EQ(combo.GetCurSel(), CB_ERR);
    EXPECT_EQ(combo.GetSelRow(), nullptr);
    ASSERT_TRUE(combo.SelectByData(6));
    EXPECT_EQ(combo.GetSelData(), 6);
    EXPECT_EQ(combo.GetSelRow()->iconId, 2213u);
    // A value no row has leaves the selection.
    EXPECT_FALSE(combo.SelectByData(5));
    EXPECT_EQ(combo.GetCurSel(), 2);

    // The same rows: nothing is rebuilt, the selection stays.
    IconComboRow same[4];
    std::copy(std::begin(kRows), std::end(kRows), same);
    EXPECT_TRUE(combo.SetRows(same, 4));
    EXPECT_EQ(combo.GetCurSel(), 2);
    // One byte differs: rebuilt, nothing selected.
    same[3].spare = 1;
    EXPECT_TRUE(combo.SetRows(same, 4));
    EXPECT_EQ(combo.GetCurSel(), CB_ERR);
    EXPECT_EQ(combo.GetCount(), 4);

    // More rows than the bytes of an int can hold are refused, not counted.
    EXPECT_FALSE(combo.SetRows(kRows, CPMIconCombo::kMaxRows + 1));
    EXPECT_EQ(combo.GetCount(), 0);
    EXPECT_FALSE(combo.SetRows(kRows, -3));

    // While the list is open nothing is replaced.
    ASSERT_TRUE(combo.SetRows(kRows, 2));
    combo.ShowDropDown(TRUE);
    EXPECT_FALSE(combo.SetRows(kRows, 4));
    EXPECT_EQ(combo.GetCount(), 2);
    combo.ShowDropDown(FALSE);

    // A chain lists its allowed values, sign-extended.
    KinsokuChainNode c3{3, 4604, 2213, 0, nullptr};
    KinsokuChainNode c2{0xFFFF, 4603, 2212, 1, &c3};
    KinsokuChainNode c1{1, 4602, 2210, 0, &c2};
    EXPECT_TRUE(combo.SetValueChain(&c1));
    EXPECT_EQ(Listed(combo), (std::vector<LRESULT>{1, 3}));
    ASSERT_TRUE(combo.SelectByData(3));

    // Every value refused: no stale choice stays on show.
    c1.refused = c3.refused = 1;
    EXPECT_FALSE(combo.SetValueChain(&c1));
    EXPECT_EQ(combo.GetCount(), 0);
    EXPECT_EQ(combo.GetCurSel(), CB_ERR);
    EXPECT_FALSE(combo.IsWindowEnabled());
    // Allowed again: listed and enabled again.
    c2.refused = 0;
    EXPECT_TRUE(combo.SetValueChain(&c1));
    // The item data is the row's 32-bit value, so -1 stays apart from CB_ERR.
    EXPECT_EQ(Listed(combo), (std::vector<LRESULT>{0xFFFFFFFF}));
    ASSERT_TRUE(combo.SelectByData(-1));
    EXPECT_EQ(combo.GetSelData(), 0xFFFFFFFF);
    EXPECT_TRUE(combo.IsWindowEnabled());
    EXPECT_FALSE(combo.SetValueChain(nullptr));
    EXPECT_EQ(combo.GetCount(), 0);
    Unbind(combo);
}

// Draws item `index` of a combo with rows into a fresh 200 x 36 picture.
class ItemPicture {
  public:
    ItemPicture() {
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateBitmap(kWidth, kHeight, 1, 32, nullptr);
        old_ = SelectObject(dc_, bitmap_);
        RECT all{0, 0, kWidth, kHeight};
        HBRUSH white = CreateSolidBrush(RGB(1, 2, 3));
        FillRect(dc_, &all, white);
        DeleteObject(white);
    }
    ~ItemPicture() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    void Draw(CPMIconCombo& combo, UINT index, UINT state, UINT action = ODA_DRAWENTIRE) {
        DRAWITEMSTRUCT d{};
        d.CtlType = ODT_COMBOBOX;
        d.CtlID = kComboId;
        d.itemID = index;
        d.itemAction = action;
        d.itemState = state;
        d.hDC = dc_;
        d.rcItem = {0, 0, kWidth, kHeight};
        combo.DrawItem(&d);
    }
    COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }
    static constexpr int kWidth = 200, kHeight = 36;

  private:
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
};

bool Near(COLORREF a, COLORREF b, int tolerance = 2) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
           std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

COLORREF Half(COLORREF a, COLORREF b) {
    return RGB((GetRValue(a) + GetRValue(b)) / 2, (GetGValue(a) + GetGValue(b)) / 2,
               (GetBValue(a) + GetBValue(b)) / 2);
}

TEST_F(IconCombo, DisabledItemWithAndWithoutThemes) {
    CPMIconCombo combo;
    ASSERT_TRUE(combo.AddItem(&kRows[0]));

    // Where the enabled item's icon is white paper (the icon at (2, 3)).
    ItemPicture enabled;
    enabled.Draw(combo, 0, 0);
    POINT paper{-1, -1};
    for (int y = 3; y < 35 && paper.x < 0; ++y)
        for (int x = 2; x < 34 && paper.x < 0; ++x)
            if (enabled.At(x, y) == RGB(255, 255, 255)) paper = {x, y};
    ASSERT_GE(paper.x, 0) << "the icon shows no paper";
    EXPECT_EQ(enabled.At(190, 30), kWindow);

    const COLORREF lightened = RGB(200 / 2 + 128, 100 / 2 + 128, 0 / 2 + 128);
    struct Case {
        bool themes;
        COLORREF under; // what shows through beside the icon
    };
    for (const Case& c : {Case{true, Half(lightened, kFace)}, Case{false, kFace}}) {
        SCOPED_TRACE(c.themes ? "themes" : "classic");
        ut::SetThemeActive(c.themes);
        ItemPicture disabled;
        disabled.Draw(combo, 0, ODS_DISABLED | ODS_FOCUS | ODS_SELECTED);
        // A black frame, no focus frame over it.
        EXPECT_EQ(disabled.At(0, 0), RGB(0, 0, 0));
        EXPECT_EQ(disabled.At(199, 35), RGB(0, 0, 0));
        EXPECT_EQ(disabled.At(100, 0), RGB(0, 0, 0));
        // Beside the icon and the label: the blend of the face colours.
        EXPECT_TRUE(Near(disabled.At(190, 30), c.under)) << std::hex << disabled.At(190, 30);
        // The icon half transparent, one pixel lower than the enabled one.
        const COLORREF icon = disabled.At(paper.x, paper.y + 1);
        const COLORREF expected = Half(RGB(255, 255, 255), kFace);
        EXPECT_TRUE(Near(icon, expected)) << std::hex << icon;
    }
    EXPECT_EQ(platform::test::ModuleLoadCount(u"uxtheme.dll"), 0);
}

TEST_F(IconCombo, ItemsPastTheRowsDrawOnlyTheirBackground) {
    CPMIconCombo combo;
    ASSERT_TRUE(combo.AddItem(&kRows[0]));
    for (UINT index : {1u, 4u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        ItemPicture picture;
        picture.Draw(combo, index, 0);
        EXPECT_EQ(picture.At(20, 20), kWindow) << index;
        EXPECT_EQ(picture.At(0, 0), RGB(1, 2, 3)) << index;
    }
    // A focus-only request frames the item; other actions draw nothing.
    ItemPicture focus;
    focus.Draw(combo, 0, ODS_FOCUS, ODA_FOCUS);
    EXPECT_EQ(focus.At(20, 20), RGB(1, 2, 3));
    ItemPicture nothing;
    nothing.Draw(combo, 0, 0, 8);
    EXPECT_EQ(nothing.At(0, 0), RGB(1, 2, 3));
    // The icon of the first draw is still there for the next: shared icons
    // are never destroyed.
    ItemPicture again1, again2;
    again1.Draw(combo, 0, 0);
    again2.Draw(combo, 0, 0);
    EXPECT_EQ(again1.At(18, 19), again2.At(18, 19));
    MEASUREITEMSTRUCT m{};
    combo.MeasureItem(&m);
    EXPECT_EQ(m.itemHeight, 36u);
}

// In a framework dialog the parent hands the drawing back to the combo: the
// selection field shows the chosen row's icon and label, as a person sees it.
class ComboDialog : public CDialog {
  public:
    explicit ComboDialog(CPMIconCombo* combo) : combo_(combo) {}
    std::function<void()> onInit;

  protected:
    void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, kComboId, *combo_); }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        if (onInit) onInit();
        return TRUE;
    }

  private:
    CPMIconCombo* combo_;
};

TEST_F(IconCombo, TheDialogDrawsTheSelectionThroughTheCombo) {
    user_test::TemplateBuilder b;
    b.Dialog(WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_SETFONT, 200, 100, u"Icons")
        .Item(0x85, nullptr,
              CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS | WS_VSCROLL | WS_TABSTOP, 7,
              7, 150, 120, kComboId, u"")
        .Item(0x80, nullptr, BS_PUSHBUTTON, 7, 70, 50, 14, IDCANCEL, u"Cancel");
    bytes_ = b.Bytes();
    CPMIconCombo combo;
    ComboDialog dialog(&combo);
    ASSERT_TRUE(dialog.InitModalIndirect(reinterpret_cast<LPCDLGTEMPLATEW>(bytes_.data())));
    dialog.onInit = [&] {
        combo.SetRows(kRows, 4);
        combo.SelectByData(4);
    };
    COLORREF field = 0, beside = 0;
    platform::user::test::AnswerNextModal([&](HWND h) {
        HWND box = GetDlgItem(h, kComboId);
        RECT r{};
        GetWindowRect(box, &r);
        POINT at{r.left, r.top};
        ScreenToClient(h, &at);
        // The picture of the whole dialog, frame and caption included.
        RECT frame{};
        GetWindowRect(h, &frame);
        POINT origin{0, 0};
        ClientToScreen(h, &origin);
        const int dx = origin.x - frame.left, dy = origin.y - frame.top;
        field = pages_test_pixel(h, dx + at.x + 20, dy + at.y + 20);
        beside = pages_test_pixel(h, dx + at.x + 120, dy + at.y + 8);
        if (const std::string folder = pages_test::PictureFolder(); !folder.empty())
            platform::user::driver::SavePng(h, folder + "/icon_combo.png");
        platform::user::driver::PressButton(h, IDCANCEL);
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    // The icon's picture, not the field's plain background.
    EXPECT_NE(field, beside);
}

} // namespace
