// List controls by item data and the moving, growing, showing and hiding of
// controls that the pages and dialogs share: plain calls on window handles,
// so that any page or dialog class can use them.
#pragma once

#include <string>

#include "driver_env.h"
#include "install_option.h"
#include "devmode_private.h"
#include "win/gdi_bitmap.h"
#include "win/types.h"
#include "win/user.h"

namespace sheetwright {

struct KinsokuChainNode;
class CUserPaper;

inline constexpr DWORD kStringSameAsPaperSize = 7998;

// A row of a combo box: its string, icon and item data.
struct ComboRow {
    DWORD stringId;
    DWORD iconId;
    DWORD itemData;
    DWORD spare;
};
static_assert(sizeof(ComboRow) == 16);

// A row of controls that is shown or closed up as one.
struct ControlRow {
    DWORD controls[4]; // 0: no control
    DWORD shown;
};
static_assert(sizeof(ControlRow) == 20);

// Each empties the box first and returns FALSE only without a box.
BOOL FillComboFromModelList(HMODULE resources, HWND combo, const KinsokuChainNode* first);
BOOL FillComboFromRows(HMODULE resources, HWND combo, const ComboRow* rows, DWORD count);
// The paper-size box: "Same as Paper Size" first when asked (and the image's
// paper is within the model's largest), then the papers of the value chain
// the layout, the installed options and the model's largest size allow,
// each as its name and size. FALSE without a box, a model or an image.
BOOL FillPaperSizeCombo(HMODULE resources, HWND combo, const ModelBlock* binding,
                        const DEVMODE_IMAGEW* image, const KinsokuChainNode* first,
                        const CUserPaper* papers, BOOL withSameAsPaper,
                        const ModelOptionPair* options);
// The first item with that data becomes the selection; FALSE (selection
// unchanged) when there is none.
BOOL SelectComboByData(HWND combo, LPARAM data);
BOOL SelectListByData(HWND list, LPARAM data);
// The selected item's data; CB_ERR (LB_ERR) when nothing is selected.
LRESULT GetComboSelData(HWND combo);
LRESULT GetListSelData(HWND list);

// Moves a control by (dx, dy) in its parent's client coordinates.
void OffsetControl(HWND parent, HWND control, int dx, int dy);
// Shows the rows that are on and closes up the room of those that are off.
void ShowControlRows(HWND dialog, const ControlRow* rows, DWORD count, BOOL vertical);
// Grows a control to a needed {width, height}, anchored by mode; the four
// growths {left, top, right, bottom} when asked. FALSE when nothing grew.
BOOL ResizeControlWidth(HWND parent, HWND control, const DWORD size[2], DWORD growth[4],
                        DWORD mode);
// Grows a control by margins {left, top, right, bottom}: bit 0 of which the
// sides, bit 1 the top and bottom. FALSE when nothing grew.
BOOL InflateControl(HWND parent, HWND control, const DWORD margins[4], DWORD which);

// Registers a control with a tooltip control (the tooltip follows the
// control's own messages). A textOrId up to 65535 is a string of the resource
// library, loaded into *storage; when that string is empty the tooltip is
// given the id and the library instead. A larger value is the text itself.
// TTM_ADDTOOL's answer.
inline constexpr ULONG_PTR kLastStringId = 0xFFFF;
LRESULT AddToolTip(HMODULE resources, HWND tooltip, HWND control, ULONG_PTR textOrId,
                   std::u16string* storage);
// Draws the bitmap centred on (x, y), leaving out the pixels of the
// transparent colour. FALSE when nothing could be drawn.
BOOL DrawBitmapTransparent(HDC dc, int x, int y, HBITMAP bitmap, COLORREF transparent);

// Answers a colour message for a visible edit that is read-only or disabled:
// the button face behind its text, as the pages show such edits. The brush is
// made once into `cache`, which its owner deletes. Null for any other control,
// which then takes the default colours.
HBRUSH ReadOnlyEditBrush(HDC dc, HWND control, HBRUSH* cache);

} // namespace sheetwright
