// CWaterMarkDlg: the "Watermark" dialog (template 450). It edits one
// watermark record (a copy of the sheet's, applied by the Effects page after
// OK) with a live preview (CWMBmp: the page, the text at its angle, colour
// and place, its frame; dragged to move it), and keeps the user's named list
// in the watermark file: Save stores or replaces an entry, Delete removes
// one. Without a window it is the holder of that list, which tells whether a
// record is an unchanged stored entry.
#pragma once

#include <string>

#include "afxctl.h"
#include "edit_classes.h"
#include "local_dlg.h"
#include "sheet_context.h"
#include "watermark_file.h"
#include "resbundle_ids.h"

namespace sheetwright {

inline constexpr UINT kWatermarkDialog = 450;
inline constexpr DWORD kWatermarkOnFlag = 0x2;
// Positions in 0.1 mm instead of percent: cleared whenever positions are
// written in percent.
inline constexpr DWORD kWatermarkMillimetreFlag = 0x40;

class CWaterMarkDlg;

// The preview of the watermark on the output paper.
class CWMBmp : public CStatic {
  public:
    static constexpr COLORREF kFrameColor = RGB(0, 65, 132);
    static constexpr int kFrameWidth = 2;

    void Init(CWaterMarkDlg* owner) { owner_ = owner; }
    // The page rectangle in the client area, from the output paper and the
    // largest paper of the model.
    void LayoutPage();
    const RECT& PageRect() const { return page_; }
    // The watermark's place from a point of the client area.
    void MoveTo(POINT point);

  protected:
    void OnPaint();
    BOOL OnEraseBkgnd(CDC*) { return TRUE; }
    void OnMouseMove(UINT flags, CPoint point);
    void OnLButtonDown(UINT flags, CPoint point);
    void OnLButtonUp(UINT flags, CPoint point);
    BOOL OnSetCursor(CWnd* window, UINT hitTest, UINT message);
    DECLARE_MESSAGE_MAP()

  private:
    CWaterMarkDlg* owner_ = nullptr;
    RECT page_{};
    bool dragging_ = false;
    WORD largestWidth_ = 2970, largestLength_ = 4318;
    WORD paperWidth_ = 0, paperLength_ = 0;
};

class CWaterMarkDlg : public CLocalDlg {
  public:
    static constexpr int kList = IDC_WATERMARK_LIST, kDelete = IDC_WATERMARK_DELETE,
                         kName = IDC_WATERMARK_NAME, kSave = IDC_WATERMARK_SAVE,
                         kText = IDC_WATERMARK_TEXT;
    static constexpr int kFace = IDC_WATERMARK_FACE, kFont = IDC_WATERMARK_FONT,
                         kSize = IDC_WATERMARK_SIZE, kSizeSpin = IDC_WATERMARK_SIZE_SPIN,
                         kAngle = IDC_WATERMARK_ANGLE;
    static constexpr int kAngleSpin = IDC_WATERMARK_ANGLE_SPIN, kSwatch = IDC_WATERMARK_SWATCH,
                         kColor = IDC_WATERMARK_COLOR, kTransparent = IDC_WATERMARK_TRANSPARENT;
    static constexpr int kOutline = IDC_WATERMARK_OUTLINE, kNone = IDC_WATERMARK_NONE,
                         kCircle = IDC_WATERMARK_CIRCLE, kSquare = IDC_WATERMARK_SQUARE;
    static constexpr int kPages = IDC_WATERMARK_PAGES, kLayer = IDC_WATERMARK_LAYER,
                         kPreview = IDC_WATERMARK_PREVIEW, kVertical = IDC_WATERMARK_VERTICAL;
    static constexpr int kHorizontal = IDC_WATERMARK_HORIZONTAL, kCenter = IDC_WATERMARK_CENTER;
    static constexpr int kNameChars = 31, kTextChars = 63;

    explicit CWaterMarkDlg(SheetContext* context, CWnd* parent = nullptr);
    ~CWaterMarkDlg() override;

    // The list from the file (an unreadable file gives an empty list that is
    // never written back); always TRUE.
    BOOL ReadWatermarkFile();
    // The whole list to the file; FALSE when it could not be written.
    BOOL WriteWatermarkFile();
    // The working flag word and record into an image (record version 1,
    // size 216, positions in percent).
    void ApplyToDevmode(DEVMODE_IMAGEW* image) const;
    // The stored entry of the record's name (without regard to case) when it
    // equals the record under the dialog's restrictions; null otherwise.
    const WatermarkRecord* FindMatchingWatermark(const WatermarkRecord& record) const;
    // Names without regard to case, the other compared fields byte for byte.
    static BOOL RecordsEqual(const WatermarkRecord& a, const WatermarkRecord& b);
    // The record a new watermark starts from.
    WatermarkRecord DefaultRecord();

    WatermarkRecord& Record() { return record_; }
    DWORD Flags() const { return flags_; }
    const WatermarkList& List() const { return list_; }
    SheetContext* Context() const { return context_; }
    BOOL BorderRestricted() const { return noEffects_; }
    // A new place from the preview: clamped, shown, modified.
    void SetPosition(int horizontal, int vertical);

    BOOL OnInitDialog() override;
    void OnOK() override;

  protected:
    void OnListChange();
    void OnNameChange();
    void OnTextChange();
    void OnSizeChange();
    void OnSizeKillFocus();
    void OnAngleChange();
    void OnAngleKillFocus();
    void OnFont();
    void OnColor();
    void OnPagesChange();
    void OnLayerChange();
    void OnOutlineClick();
    void OnTransparentClick();
    void OnBorder(UINT id);
    void OnCenter();
    void OnSave();
    void OnDelete();
    void OnHelpButton();
    LRESULT OnScroll(WPARAM wParam, LPARAM lParam);
    LRESULT OnHelpMessage(WPARAM wParam, LPARAM lParam);
    LRESULT OnContextMenuMessage(WPARAM wParam, LPARAM lParam);
    LRESULT OnSwatchColor(WPARAM wParam, LPARAM lParam);
    LRESULT OnDestroyMessage(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

  private:
    HWND Item(int id) const { return ::GetDlgItem(m_hWnd, id); }
    std::u16string String(DWORD id);
    std::u16string EditText(int id) const;
    int Message(DWORD textId, const std::u16string& argument, DWORD captionId, UINT style);
    void FillList();
    void SelectEqualEntry();
    void Refresh();
    void Changed();
    // The list written to the file; on failure the message, and the list
    // stays as the person made it.
    void StoreList();

    SheetContext* context_;
    DWORD flags_ = 0;
    WatermarkRecord record_{};
    WatermarkList list_;
    BOOL outlineAllowed_ = TRUE, pagesAllowed_ = TRUE, layerAllowed_ = TRUE;
    WORD defaultFlags_ = 0, defaultLayer_ = 0;
    BOOL noEffects_ = FALSE, noTransparent_ = FALSE;
    BOOL modified_ = FALSE, updating_ = FALSE;
    int selected_ = -1;
    int typing_ = 0; // the edit whose typing changed the record
    HBRUSH swatchBrush_ = nullptr;
    HWND tooltip_ = nullptr;
    std::u16string tipText_;
    CWMBmp preview_;
    CMultiByteLimitEdit nameEdit_, textEdit_;
    CIntEdit sizeEdit_, angleEdit_;
};

} // namespace sheetwright
