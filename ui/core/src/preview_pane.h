// CLeftBase: the preview pane on the left of the document pages (control
// 140). The page binds it at dialog initialisation and refreshes it on every
// activation; its vertical offset tells the page where the status-monitor
// button goes below it.
#pragma once

#include "afxwin.h"
#include "sheet_context.h"

namespace sheetwright {

class CLeftBase : public CWnd {
  public:
    // Binds the pane to the sheet; `mode` 1 is the document pages' pane.
    BOOL Init(SheetContext* context, int mode, LPVOID reserved);
    // Shows the working image's settings again.
    void Refresh();
    // Pixels from the pane's top to what the page places below it.
    WORD VerticalOffset() const { return verticalOffset_; }
    // How often the pane was refreshed since it was bound.
    DWORD Refreshes() const { return refreshes_; }

  private:
    SheetContext* context_ = nullptr;
    WORD verticalOffset_ = 0;
    DWORD refreshes_ = 0;
};

} // namespace sheetwright
