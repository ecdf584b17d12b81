// CFontDlg: the "Font" dialog of the Quality page. It chooses how TrueType
// fonts go to the printer (bitmap or outline) and whether device fonts may
// stand in for them, on a copy of the image's FontMode word that the page
// stores after OK; it opens the font substitution table dialog, whose
// result is its own file.
#pragma once

#include "local_dlg.h"
#include "sheet_context.h"
#include "resbundle_ids.h"

namespace sheetwright {

// FontMode bits.
inline constexpr WORD kFontOutline = 1u << 0;
inline constexpr WORD kFontBitmap = 1u << 1;
// Bit 2 has no meaning this dialog can name: a download choice keeps it as
// the image had it (an older dialog cleared it on every change).
inline constexpr WORD kFontBit2 = 1u << 2;
inline constexpr WORD kFontNoDeviceFonts = 1u << 3;

// The word after a click on Bitmap (bitmap now selected or not) or Outline.
WORD ChooseFontDownload(WORD mode, BOOL bitmap);

class CFontDlg : public CLocalDlg {
  public:
    enum : int {
        kBitmap = IDC_FONT_BITMAP,
        kOutline = IDC_FONT_OUTLINE,
        kUseDeviceFonts = IDC_FONT_USE_DEVICE_FONTS,
        kSubstitutionButton = IDC_FONT_SUBSTITUTION_BUTTON,
    };
    static constexpr UINT kTemplateId = 350;

    CFontDlg(SheetContext* context, WORD fontMode, CWnd* parent = nullptr);
    WORD FontModeValue() const { return value_; }
    BOOL OnInitDialog() override;

  protected:
    void Refresh();
    void OnBitmap();
    void OnOutline();
    void OnUseDeviceFonts();
    void OnSubstitution();
    void OnHelpButton();
    LRESULT OnHelpMessage(WPARAM wParam, LPARAM lParam);
    LRESULT OnContextMenuMessage(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

  private:
    HWND Item(int id) const { return ::GetDlgItem(m_hWnd, id); }
    BOOL IsChecked(int id) const;

    SheetContext* context_;
    WORD value_;
    BOOL outlineAllowed_ = TRUE, bitmapAllowed_ = TRUE, substitutionShown_ = FALSE;
};

} // namespace sheetwright
